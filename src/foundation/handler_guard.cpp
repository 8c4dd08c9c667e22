#include "foundation/handler_guard.h"

#include "foundation/errors.h"
#include "foundation/user_dialogs.h"

#include <QMetaMethod>

namespace {
const char *const HandlerProperty = "quillstoneClickHandler";

// Carries a component's click signal to its stored handler. The layer links
// no widgets, so the signal is found by its signature: an action's
// triggered(bool) or a button's clicked(bool).
class ClickRelay final : public QObject {
    Q_OBJECT

public:
    explicit ClickRelay(QObject *component) : QObject(component) {}

public slots:
    void relay()
    {
        QObject *component = parent();
        RunGuarded([component] {
            if (ClickFunction handler = ClickHandlerOf(component))
                handler(component);
        });
    }
};

QMetaMethod clickSignalOf(const QObject *component)
{
    const QMetaObject *type = component->metaObject();
    for (const char *signature : {"triggered(bool)", "clicked(bool)"}) {
        const int index = type->indexOfSignal(signature);
        if (index >= 0)
            return type->method(index);
    }
    return {};
}
} // namespace

void RunGuarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (...) {
        const QString message = exceptionMessage(std::current_exception());
        try {
            Dialogs().showError(message);
        } catch (...) {
            // The error box itself failed; there is nobody left to tell.
        }
    }
}

void SetClickHandler(QObject *component, ClickFunction handler)
{
    const bool connected = ClickHandlerOf(component) != nullptr;
    component->setProperty(HandlerProperty, QVariant::fromValue(ClickHandler{std::move(handler)}));
    // A second handler replaces the first; the click stays connected once.
    if (connected)
        return;
    const QMetaMethod signal = clickSignalOf(component);
    if (!signal.isValid())
        return;
    auto *relay = new ClickRelay(component);
    const QMetaObject *relayType = relay->metaObject();
    QObject::connect(component, signal, relay,
                     relayType->method(relayType->indexOfSlot("relay()")));
}

ClickFunction ClickHandlerOf(const QObject *component)
{
    const QVariant value = component->property(HandlerProperty);
    if (!value.isValid())
        return {};
    return value.value<ClickHandler>().function;
}

#include "handler_guard.moc"
