#include "app/handler_guard.h"

#include "foundation/errors.h"
#include "foundation/user_dialogs.h"

#include <QAbstractButton>
#include <QAction>

namespace {
const char *const HandlerProperty = "quillstoneClickHandler";
}

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
    component->setProperty(HandlerProperty, QVariant::fromValue(ClickHandler{handler}));
    if (auto *action = qobject_cast<QAction *>(component)) {
        QObject::connect(action, &QAction::triggered, action,
                         [action] { RunGuarded([action] { ClickHandlerOf(action)(action); }); });
    } else if (auto *button = qobject_cast<QAbstractButton *>(component)) {
        QObject::connect(button, &QAbstractButton::clicked, button,
                         [button] { RunGuarded([button] { ClickHandlerOf(button)(button); }); });
    }
}

ClickFunction ClickHandlerOf(const QObject *component)
{
    const QVariant value = component->property(HandlerProperty);
    if (!value.isValid())
        return {};
    return value.value<ClickHandler>().function;
}
