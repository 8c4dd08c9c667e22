#include "forms/form_help.h"

Tform_help::Tform_help()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_help"));
    setWindowTitle(QStringLiteral("php.net"));
    setWindowState(Qt::WindowMaximized);
}
