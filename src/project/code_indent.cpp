#include "project/code_indent.h"

#include "project/source_text.h"

QStringList IndentLines(const QStringList &lines)
{
    static const QString Unit = QStringLiteral("    ");
    QStringList result;
    result.reserve(lines.size());
    QString indent;
    for (const QString &line : lines) {
        QString text = TrimControls(line);
        if (text.contains(u'}'))
            indent.chop(Unit.size()); // chop of more than the length empties it
        if (!text.isEmpty())
            text.prepend(indent);
        if (text.contains(u'{'))
            indent += Unit;
        result.append(text);
    }
    return result;
}
