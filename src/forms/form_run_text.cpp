#include "forms/form_run_text.h"

Tform_run_text::Tform_run_text()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_run_text"));
    setWindowTitle(QStringLiteral("form_run_text"));
    setWindowState(Qt::WindowMaximized);
}
