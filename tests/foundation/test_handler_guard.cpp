#include "foundation/errors.h"
#include "foundation/handler_guard.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QObject>

namespace {
// A component with a button's click signal, without linking any widget.
class FakeButton final : public QObject {
    Q_OBJECT
signals:
    void clicked(bool checked = false);
};
} // namespace

TEST(HandlerGuard, ErrorsReachTheErrorBoxAndStopThere)
{
    ScriptedDialogs dialogs;
    bool after = false;
    RunGuarded([] { throw AppError("disk full"); });
    RunGuarded([] { throw 42; }); // not an exception: an empty message
    RunGuarded([&] { after = true; });
    EXPECT_EQ(dialogs.errors, (std::vector<QString>{"disk full", ""}));
    EXPECT_TRUE(after);
}

TEST(HandlerGuard, ClickRunsTheStoredHandlerOnceThroughTheGuard)
{
    ScriptedDialogs dialogs;
    FakeButton button;
    std::vector<QObject *> senders;
    EXPECT_FALSE(ClickHandlerOf(&button));
    SetClickHandler(&button, [&](QObject *sender) { senders.push_back(sender); });
    emit button.clicked();
    EXPECT_EQ(senders, std::vector<QObject *>{&button});

    // The driver's direct call goes to the same handler.
    ClickHandlerOf (&button)(nullptr);
    EXPECT_EQ(senders.size(), 2u);

    // A new handler replaces the old one; a click still runs one handler.
    int second = 0;
    SetClickHandler(&button, [&](QObject *) {
        ++second;
        throw AppError("refused");
    });
    emit button.clicked();
    EXPECT_EQ(senders.size(), 2u);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(dialogs.errors, std::vector<QString>{"refused"});
}

#include "test_handler_guard.moc"
