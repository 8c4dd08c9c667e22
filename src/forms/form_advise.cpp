#include "forms/form_advise.h"

#include "forms/window_placement.h"

Tform_advise::Tform_advise()
    : QDialog(nullptr)
{
    setObjectName(QStringLiteral("form_advise"));
    setWindowTitle(QStringLiteral("form_advise"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    resize(751, 580);
    MoveToScreenTopLeft(this);
}
