#include "app/Config.h"

#include <QCoreApplication>
#include <QSettings>

namespace {
const QString LanguageKey = QStringLiteral("general/language");
const QString ConsoleKey = QStringLiteral("Console/Enabled");
const QString UpgradeDirKey = QStringLiteral("tavox/upgradeLastDir");
}

QString configFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/zentaro.cfg");
}

QString readConfiguredLanguage(const QString &fallback)
{
    QSettings settings(configFilePath(), QSettings::IniFormat);
    const QString value = settings.value(LanguageKey, fallback).toString().trimmed().toLower();
    if (value == QLatin1String("en") || value == QLatin1String("zh"))
        return value;
    return fallback;
}

void writeConfiguredLanguage(const QString &language)
{
    QSettings settings(configFilePath(), QSettings::IniFormat);
    settings.setValue(LanguageKey, language);
}

bool readConsoleEnabled()
{
    QSettings settings(configFilePath(), QSettings::IniFormat);
    return settings.value(ConsoleKey, false).toBool();
}

QString readUpgradeLastDir()
{
    QSettings settings(configFilePath(), QSettings::IniFormat);
    return settings.value(UpgradeDirKey).toString();
}

void writeUpgradeLastDir(const QString &directory)
{
    QSettings settings(configFilePath(), QSettings::IniFormat);
    settings.setValue(UpgradeDirKey, directory);
}
