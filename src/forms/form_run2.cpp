#include "forms/form_run2.h"

Tform_run2::Tform_run2()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_run2"));
    setWindowTitle(QStringLiteral("PHPMyAdmin"));
    setWindowState(Qt::WindowMaximized);
}
