#pragma once

#include "forms/maximised_dialog.h"

class BrowserFrame;

// The local server's database administration page. Opens maximised. It never
// navigates by itself: created once, its browser keeps the last page between
// showings, and the frame's shortcuts work while the browser has the focus.
// Object name `form_run2`.
class DatabaseAdminWindow final : public MaximisedDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DatabaseAdminWindow)

public:
    DatabaseAdminWindow();
    ~DatabaseAdminWindow() override;
    // The window's page: its address, navigation and gate.
    BrowserFrame *browser() const { return frame_browser1; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    BrowserFrame *frame_browser1;
};
