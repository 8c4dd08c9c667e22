#pragma once

#include <QDialog>

class Tframe_browser;

// The Run window: shows the project's page after a run without errors. Opens
// maximised. Its browser is silent, so a page's script errors and dialogs never
// stop a run; the frame's menu is the window's context menu and its shortcuts
// work anywhere in the window. Created once, so the page stays between showings.
class Tform_run final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_run)

  public:
    Tform_run();
    ~Tform_run() override;

    // Focus to the URL box, then to the browser, on every activation.
    void FormActivate(QObject *Sender);

    Tframe_browser *frame_browser1;

  protected:
    bool event(QEvent *event) override;
};
