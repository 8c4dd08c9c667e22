#include "forms/form_run.h"

Tform_run::Tform_run()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_run"));
    setWindowTitle(QStringLiteral("Run"));
    setWindowState(Qt::WindowMaximized);
}
