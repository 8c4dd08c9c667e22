#pragma once

#include <QDialog>

class Tframe_browser;

// The local server's database administration page. Opens maximised. It never
// navigates by itself: created once, its browser keeps the last page between
// showings, and the frame's shortcuts work while the browser has the focus.
class Tform_run2 final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Tform_run2)

  public:
    Tform_run2();
    ~Tform_run2() override;

    Tframe_browser *frame_browser1;

  protected:
    void keyPressEvent(QKeyEvent *event) override;
};
