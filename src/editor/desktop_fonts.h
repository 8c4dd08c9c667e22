#pragma once

#include <QFont>

// The desktop's own fonts, sized in points so that every widget (QScintilla
// included, which reads only point sizes) draws them at the size asked for.
// Code and other fixed-width text: the desktop's fixed-pitch font, or the
// generic monospace family when that one turns out proportional.
QFont CodeFont(qreal points = 10);
// The application's font scaled by `factor` (titles, small print).
QFont ScaledUiFont(qreal factor);
