#include "forms/form_all_functions.h"

Tform_all_functions::Tform_all_functions()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_all_functions"));
    setWindowTitle(QStringLiteral("Project Functions"));
}
