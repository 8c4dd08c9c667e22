#include "editor/desktop_fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>

QFont CodeFont(qreal points)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(points);
    if (!QFontInfo(font).fixedPitch()) {
        font.setFamily(QStringLiteral("monospace"));
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    }
    return font;
}

QFont ScaledUiFont(qreal factor)
{
    QFont font = QApplication::font();
    const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : 9;
    font.setPointSizeF(points * factor);
    return font;
}
