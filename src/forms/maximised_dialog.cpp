#include "forms/maximised_dialog.h"

void MaximisedDialog::setVisible(bool visible)
{
    if (visible && !m_placed) {
        m_placed = true;
        setWindowState(windowState() | Qt::WindowMaximized);
    }
    QDialog::setVisible(visible);
}
