#include "app/Config.h"

#include "app/StandardLocations.h"

#include <QDebug>
#include <QFileInfo>
#include <QSettings>

namespace {
const QString LanguageKey = QStringLiteral("general/language");
const QString ConsoleKey = QStringLiteral("Console/Enabled");
const QString UpgradeDirKey = QStringLiteral("tavox/upgradeLastDir");
const QString LastPortKey = QStringLiteral("serial/lastPort");
const QString LastBaudKey = QStringLiteral("serial/lastBaud");

// The file holds a few short keys; anything bigger is not a configuration.
const qint64 MaxConfigBytes = 1 << 20;

// zentaro.cfg in UTF-8, so a Chinese folder name survives the next write; ASCII files read and write as before.
class ConfigSettings : public QSettings
{
public:
    ConfigSettings()
        : QSettings(configFilePath(), QSettings::IniFormat)
    {
        setIniCodec("UTF-8");
    }
};

// Why the file must not be opened, or empty when it may (a missing file may: it reads as empty). Checked
// before QSettings reads it, which would block on a FIFO and hold all of a huge file in memory.
QString unusableReason(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    if (info.isDir())
        return QStringLiteral("it is a directory");
    if (!info.isFile())
        return QStringLiteral("it is not a regular file");
    if (info.size() > MaxConfigBytes)
        return QStringLiteral("it is larger than 1 MiB (%1 bytes)").arg(info.size());
    return QString();
}

// Start-up reads the file more than once; the same fault is reported only the first time.
void warnIgnored(const QString &path, const QString &reason)
{
    static QString lastWarning;
    const QString warning = QStringLiteral("[Config] Ignoring %1: %2; defaults apply").arg(path, reason);
    if (warning == lastWarning)
        return;
    lastWarning = warning;
    qWarning().noquote() << warning;
}

bool isReadable()
{
    const QString path = configFilePath();
    const QString reason = unusableReason(path);
    if (reason.isEmpty())
        return true;
    warnIgnored(path, reason);
    return false;
}

QVariant readValue(const QString &key, const QVariant &fallback)
{
    if (!isReadable())
        return fallback;
    const ConfigSettings settings;
    return settings.value(key, fallback);
}

QString saveFailure(const QString &key, const QString &value)
{
    const QString reason = unusableReason(configFilePath());
    if (!reason.isEmpty())
        return reason;
    ConfigSettings settings;
    settings.setValue(key, value);
    settings.sync();
    // A format error only says the old content could not be parsed; the new value was still written.
    return settings.status() == QSettings::AccessError ? QStringLiteral("the file or its folder is not writable")
                                                       : QString();
}

bool writeValue(const QString &key, const QString &value)
{
    const QString failure = saveFailure(key, value);
    if (failure.isEmpty())
        return true;
    qWarning().noquote()
        << QStringLiteral("[Config] Settings could not be saved: %1 (%2)").arg(configFilePath(), failure);
    return false;
}

// Qt writes the group "general" as the section [%General] and reads that back
// as "General/language"; a hand-written [general] section is read as the
// top-level key "language". Accept all three spellings, so the language chosen
// in one run is the language of the next.
QVariant storedLanguage(const QSettings &settings)
{
    if (settings.contains(LanguageKey))
        return settings.value(LanguageKey);
    for (const QString &key : settings.allKeys()) {
        if (key.compare(LanguageKey, Qt::CaseInsensitive) == 0)
            return settings.value(key);
    }
    return settings.value(QStringLiteral("language"));
}
}

QString configFilePath()
{
    return configDirectory() + QStringLiteral("/zentaro.cfg");
}

QString readConfiguredLanguage(const QString &fallback)
{
    if (!isReadable())
        return fallback;
    const ConfigSettings settings;
    const QVariant stored = storedLanguage(settings);
    const QString value = (stored.isValid() ? stored : QVariant(fallback)).toString().trimmed().toLower();
    if (value == QLatin1String("en") || value == QLatin1String("zh"))
        return value;
    return fallback;
}

bool writeConfiguredLanguage(const QString &language)
{
    return writeValue(LanguageKey, language);
}

bool readConsoleEnabled()
{
    return readValue(ConsoleKey, false).toBool();
}

QString readUpgradeLastDir()
{
    return readValue(UpgradeDirKey, QString()).toString();
}

bool writeUpgradeLastDir(const QString &directory)
{
    return writeValue(UpgradeDirKey, directory);
}

QString readLastSerialPort()
{
    return readValue(LastPortKey, QString()).toString();
}

int readLastBaudRate()
{
    bool isNumber = false;
    const int rate = readValue(LastBaudKey, 0).toString().trimmed().toInt(&isNumber);
    return isNumber && rate > 0 ? rate : 0;
}

bool writeLastSerialChoice(const QString &portName, int baudRate)
{
    return writeValue(LastPortKey, portName) && writeValue(LastBaudKey, QString::number(baudRate));
}
