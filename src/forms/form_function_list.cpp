#include "forms/form_function_list.h"

Tform_function_list::Tform_function_list()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_function_list"));
    setWindowTitle(QStringLiteral("Function List"));
}
