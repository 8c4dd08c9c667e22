#include "foundation/text_utils.h"

#include "foundation/errors.h"

void SplitByDelimiter(const QString &text, const QString &separator, QStringList &list)
{
    list.clear();
    if (text.isEmpty())
        return;
    // An empty separator would be found at every position and never advance.
    if (separator.isEmpty())
        throw AppError(QStringLiteral("SplitByDelimiter: the separator is empty"));
    qsizetype start = 0;
    for (;;) {
        const qsizetype found = text.indexOf(separator, start);
        if (found < 0) {
            list.append(text.mid(start));
            return;
        }
        list.append(text.mid(start, found - start));
        start = found + separator.size();
    }
}
