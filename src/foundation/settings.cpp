#include "foundation/settings.h"

#include "foundation/settings_store.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
QString &titleSlot()
{
    static QString title;
    return title;
}
const QString ValueName = QStringLiteral("String");
} // namespace

QString ApplicationTitle()
{
    return titleSlot();
}
void SetApplicationTitle(const QString &title)
{
    titleSlot() = title;
}

QString SettingsApplicationName()
{
    if (!titleSlot().isEmpty())
        return titleSlot();
    QString exe = QCoreApplication::applicationFilePath();
    if (exe.isEmpty() && !QCoreApplication::arguments().isEmpty())
        exe = QCoreApplication::arguments().constFirst();
    return QFileInfo(exe).completeBaseName();
}

QString SettingKeyPath(const QString &settingName)
{
    return QStringLiteral("Software\\") + SettingsApplicationName() + u'\\' + settingName;
}

QString RegReadString(const QString &keyPath, const QString &defaultValue)
{
    const QString text = UserSettings().readValue(keyPath, ValueName);
    return text.isEmpty() ? defaultValue : text;
}

void RegWriteString(const QString &keyPath, const QString &text)
{
    UserSettings().writeValue(keyPath, ValueName, text);
}

QString ReadSetting(const QString &name, const QString &defaultValue)
{
    return RegReadString(SettingKeyPath(name), defaultValue);
}

void WriteSetting(const QString &name, const QString &text)
{
    RegWriteString(SettingKeyPath(name), text);
}

bool SettingTextToBool(const QString &text)
{
    bool isNumber = false;
    const qlonglong number = text.trimmed().toLongLong(&isNumber);
    if (isNumber)
        return number != 0;
    return text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
}

BoolSetting::BoolSetting(QString settingName, QString defaultValue)
    : SettingName(std::move(settingName)), DefaultValue(std::move(defaultValue))
{
}

bool BoolSetting::ReadBool() const
{
    return SettingTextToBool(ReadSetting(SettingName, DefaultValue));
}

void BoolSetting::WriteBool(bool value) const
{
    WriteSetting(SettingName, value ? QStringLiteral("-1") : QStringLiteral("0"));
}
