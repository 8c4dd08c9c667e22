#pragma once

#include "forms/maximised_dialog.h"

class BrowserFrame;

// The Run window: shows the project's page after a run without errors. Opens
// maximised. Its browser is silent, so a page's script errors and dialogs never
// stop a run; the frame's menu is the window's context menu and its shortcuts
// work anywhere in the window. Created once, so the page stays between showings.
// Object name `form_run`.
class RunWindow final : public MaximisedDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunWindow)

public:
    RunWindow();
    ~RunWindow() override;

    // Focus to the URL box, then to the browser, on every activation.
    void FormActivate(QObject *Sender);
    // The window's page: its address, navigation and gate.
    BrowserFrame *browser() const { return frame_browser1; }

protected:
    bool event(QEvent *event) override;

private:
    BrowserFrame *frame_browser1;
};
