#include "forms/form_files.h"

Tform_files::Tform_files()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_files"));
    setWindowTitle(QStringLiteral("Project Files"));
}
