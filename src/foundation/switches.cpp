#include "foundation/switches.h"

#include <QCoreApplication>
#include <QLocale>

namespace {
std::optional<QStringList> &parametersOverride()
{
    static std::optional<QStringList> value;
    return value;
}

// Index of the first parameter (from 1) equal to the word, or -1.
int indexOfSwitch(const QStringList &parameters, const QString &word)
{
    const QString wanted = LocaleLower(word);
    for (int i = 1; i < parameters.size(); ++i) {
        if (LocaleLower(parameters.at(i)) == wanted)
            return i;
    }
    return -1;
}
} // namespace

QString LocaleLower(const QString &text)
{
    return QLocale::system().toLower(text);
}

QStringList ProgramParameters()
{
    if (parametersOverride())
        return *parametersOverride();
    return QCoreApplication::arguments();
}

void SetProgramParametersOverride(std::optional<QStringList> parameters)
{
    parametersOverride() = std::move(parameters);
}

bool HasSwitch(const QStringList &parameters, const QString &word)
{
    return indexOfSwitch(parameters, word) >= 0;
}

QString SwitchValue(const QStringList &parameters, const QString &word)
{
    const int i = indexOfSwitch(parameters, word);
    if (i < 0 || i + 1 >= parameters.size())
        return QString();
    return parameters.at(i + 1);
}

int SwitchInt(const QStringList &parameters, const QString &word, int defaultValue)
{
    QString text = SwitchValue(parameters, word);
    // Decimal digits with an optional sign, nothing else.
    if (text.isEmpty())
        return defaultValue;
    int start = (text.at(0) == u'+' || text.at(0) == u'-') ? 1 : 0;
    if (start == text.size())
        return defaultValue;
    for (int i = start; i < text.size(); ++i) {
        if (text.at(i) < u'0' || text.at(i) > u'9')
            return defaultValue;
    }
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

bool HasSwitch(const QString &word)
{
    return HasSwitch(ProgramParameters(), word);
}
QString SwitchValue(const QString &word)
{
    return SwitchValue(ProgramParameters(), word);
}
int SwitchInt(const QString &word, int defaultValue)
{
    return SwitchInt(ProgramParameters(), word, defaultValue);
}
