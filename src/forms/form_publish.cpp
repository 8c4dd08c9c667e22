#include "forms/form_publish.h"

Tform_publish::Tform_publish()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_publish"));
    setWindowTitle(QStringLiteral("Project Options"));
}
