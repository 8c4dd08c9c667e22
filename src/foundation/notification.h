#pragma once

#include <functional>

class QObject;

// A single-receiver event: at most one bound callable, which receives the
// sender. Raising an unbound notification does nothing.
class Notification {
public:
    using Handler = std::function<void(QObject *sender)>;

    void bind(Handler handler) { m_handler = std::move(handler); }
    void unbind() { m_handler = nullptr; }
    bool isBound() const { return static_cast<bool>(m_handler); }
    void raise(QObject *sender = nullptr) const
    {
        if (m_handler)
            m_handler(sender);
    }

private:
    Handler m_handler;
};
