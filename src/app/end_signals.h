#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// A logout or a plain `kill` ends the program with SIGTERM, a closed terminal
// with SIGHUP, Ctrl+C in it with SIGINT. While this object lives, such a
// signal first runs `beforeEnd` on the event loop's thread; the program then
// ends by the same signal, as it would have without it, asking nothing that
// nobody may be there to answer. A second signal ends it at once. Does
// nothing where the system has no such signals.
class EndSignals final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EndSignals)

public:
    explicit EndSignals(std::function<void()> beforeEnd, QObject *parent = nullptr);
    ~EndSignals() override;

private:
    void arrived();

    std::function<void()> m_beforeEnd;
    QSocketNotifier *m_notifier = nullptr;
    int m_pair[2] = {-1, -1};
};
