#pragma once

#include <QDialog>

// A window that opens maximised. The state is set as it is first shown: set
// at construction it makes the window system's window at once, for a window
// most runs never show. Later showings keep what the user made of it.
class MaximisedDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MaximisedDialog)

public:
    MaximisedDialog() : QDialog(nullptr) {}
    void setVisible(bool visible) override;

private:
    bool m_placed = false;
};
