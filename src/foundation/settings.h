#pragma once

#include <QString>

// The application name that settings live under: the application title when
// it is set, otherwise the executable's name without folder and extension.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);
QString SettingsApplicationName();

// "Software\" + application name + "\" + setting name.
QString SettingKeyPath(const QString &settingName);

// Registry-style access below the user's root; the value is always "String".
QString RegReadString(const QString &keyPath, const QString &defaultValue);
void RegWriteString(const QString &keyPath, const QString &text);
QString ReadSetting(const QString &name, const QString &defaultValue);
void WriteSetting(const QString &name, const QString &text);

// "-1"/"0" are written; a number (non-zero true) or True/False in any case is
// read; anything else is false.
bool SettingTextToBool(const QString &text);

// One named boolean setting with a default text. Caches nothing.
class BoolSetting {
public:
    BoolSetting(QString settingName, QString defaultValue);
    bool ReadBool() const;
    void WriteBool(bool value) const;

    QString SettingName;
    QString DefaultValue;
};
