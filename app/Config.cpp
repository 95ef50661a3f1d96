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

// Qt writes the group "general" as the section [%General] and reads that back
// as "General/language"; a hand-written [general] section is read as the
// top-level key "language". Accept all three spellings, so the language chosen
// in one run is the language of the next.
static QVariant storedLanguage(const QSettings &settings)
{
    if (settings.contains(LanguageKey))
        return settings.value(LanguageKey);
    for (const QString &key : settings.allKeys()) {
        if (key.compare(LanguageKey, Qt::CaseInsensitive) == 0)
            return settings.value(key);
    }
    return settings.value(QStringLiteral("language"));
}

QString readConfiguredLanguage(const QString &fallback)
{
    QSettings settings(configFilePath(), QSettings::IniFormat);
    const QVariant stored = storedLanguage(settings);
    const QString value = (stored.isValid() ? stored : QVariant(fallback)).toString().trimmed().toLower();
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
