#include "app/Config.h"

#include "app/StandardLocations.h"
#include "device/WholeFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>

namespace {
const QString LanguageKey = QStringLiteral("General/language");
const QString ConsoleKey = QStringLiteral("Console/Enabled");
const QString UpgradeDirKey = QStringLiteral("tavox/upgradeLastDir");
const QString ParamsDirKey = QStringLiteral("tavox/paramsLastDir");
const QString LastPortKey = QStringLiteral("serial/lastPort");
const QString LastBaudKey = QStringLiteral("serial/lastBaud");
const QString ReconnectKey = QStringLiteral("serial/reconnect");
const QString MessageLogHeightKey = QStringLiteral("window/messageLogHeight");
const QString WindowScaleKey = QStringLiteral("window/scale");
const QString RecordingEnabledKey = QStringLiteral("recording/enabled");
const QString RecordingMaxSessionsKey = QStringLiteral("recording/maxSessions");
const QString RecordingMaxMiBKey = QStringLiteral("recording/maxMiB");
const QString RecordingFullUpgradeKey = QStringLiteral("recording/fullUpgrade");

// The file holds a few short keys; anything bigger is not a configuration.
const qint64 MaxConfigBytes = 1 << 20;

// zentaro.cfg in UTF-8, so a Chinese folder name survives the next write; ASCII files read and write as before.
class ConfigSettings : public QSettings
{
public:
    explicit ConfigSettings(const QString &path = configFilePath())
        : QSettings(path, QSettings::IniFormat)
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

// QSettings writes one line for each key it holds, under "[section]" lines and with empty lines between
// sections, the last one ending the file: a file cut short has fewer, or ends inside one.
bool holdsEveryKey(const QByteArray &written, int keys)
{
    int keyLines = 0;
    for (const QByteArray &line : written.split('\n')) {
        if (!line.isEmpty() && !line.startsWith('['))
            ++keyLines;
    }
    return keyLines == keys && (keys == 0 || written.endsWith('\n'));
}

// The file's bytes with `key` set, as QSettings writes them, or why there are none. QSettings writes through a
// buffered QSaveFile whose failed flush Qt 5.15 does not report (a full disk or a file size limit cuts the file
// short behind a success), so it edits a scratch copy, whose bytes count only when they hold every key.
// Content Qt cannot parse is no failure: the new value is written with whatever could be read.
QString editedContent(const QByteArray &content, const QString &key, const QString &value, QByteArray &edited)
{
    const QTemporaryDir scratch;
    if (!scratch.isValid())
        return QStringLiteral("no temporary folder for the edit (%1)").arg(scratch.errorString());
    const QString copy = scratch.filePath(QStringLiteral("zentaro.cfg"));
    QString error;
    if (!WholeFile::replace(copy, content, error))
        return error;
    ConfigSettings settings(copy);
    settings.setValue(key, value);
    settings.sync();
    QFile copied(copy);
    if (settings.status() == QSettings::AccessError || !copied.open(QIODevice::ReadOnly))
        return QStringLiteral("its edited copy in %1 could not be written").arg(QDir::tempPath());
    edited = copied.readAll();
    if (!holdsEveryKey(edited, settings.allKeys().size()))
        return QStringLiteral("its edited copy in %1 was cut short").arg(QDir::tempPath());
    return QString();
}

QString saveFailure(const QString &key, const QString &value)
{
    const QString path = configFilePath();
    const QString reason = unusableReason(path);
    if (!reason.isEmpty())
        return reason;
    QByteArray content;
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return file.errorString();
        content = file.readAll();
    }
    QByteArray edited;
    const QString failure = editedContent(content, key, value, edited);
    if (!failure.isEmpty())
        return failure;
    if (!QDir().mkpath(QFileInfo(path).path()))
        return QStringLiteral("its folder cannot be created");
    QString error;
    return WholeFile::replace(path, edited, error) ? QString() : error;
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

// Qt writes the group "General" as the section [%General] and reads that back
// under the same name, so a write replaces the value it read (any other case
// of the name would be read back as "General" and written as a second
// section). Earlier builds wrote "general/language", and a hand-written
// [general] section is read as the top-level key "language". Accept every
// spelling, so the language chosen in one run is the language of the next.
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
    if (!stored.isValid())
        return fallback;
    return stored.toString().trimmed().toLower() == QLatin1String("en") ? QStringLiteral("en") : QStringLiteral("zh");
}

namespace {
bool isPlainCLocale(const QString &name)
{
    return name.isEmpty() || name == QLatin1String("C") || name.startsWith(QLatin1String("C."))
        || name == QLatin1String("POSIX");
}

bool isChinese(const QString &localeName)
{
    return QLocale(localeName).language() == QLocale::Chinese;
}

QString messagesLocaleName()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    return QString();
}
}

QString localeLanguage()
{
    const QString locale = messagesLocaleName();
    if (isPlainCLocale(locale))
        return QStringLiteral("en");
    for (const QString &entry : qEnvironmentVariable("LANGUAGE").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (isChinese(entry))
            return QStringLiteral("zh");
        if (QLocale(entry).language() == QLocale::English)
            return QStringLiteral("en");
    }
    return isChinese(locale) ? QStringLiteral("zh") : QStringLiteral("en");
}

QString startLanguage()
{
    return readConfiguredLanguage(localeLanguage());
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

QString readParamsLastDir()
{
    return readValue(ParamsDirKey, QString()).toString();
}

bool writeParamsLastDir(const QString &directory)
{
    return writeValue(ParamsDirKey, directory);
}

QString readLastSerialPort()
{
    return readValue(LastPortKey, QString()).toString();
}

namespace {
// A hand-edited value that is not a whole number above zero reads as 0, "none kept".
int readPositiveNumber(const QString &key)
{
    bool isNumber = false;
    const int number = readValue(key, 0).toString().trimmed().toInt(&isNumber);
    return isNumber && number > 0 ? number : 0;
}
}

int readLastBaudRate()
{
    return readPositiveNumber(LastBaudKey);
}

bool writeLastSerialChoice(const QString &portName, int baudRate)
{
    return writeValue(LastPortKey, portName) && writeValue(LastBaudKey, QString::number(baudRate));
}

bool readReconnectEnabled()
{
    return readValue(ReconnectKey, true).toBool();
}

bool writeReconnectEnabled(bool enabled)
{
    return writeValue(ReconnectKey, enabled ? QStringLiteral("true") : QStringLiteral("false"));
}

int readMessageLogHeight()
{
    return readPositiveNumber(MessageLogHeightKey);
}

bool writeMessageLogHeight(int height)
{
    return writeValue(MessageLogHeightKey, QString::number(height));
}

double readWindowScale()
{
    bool isNumber = false;
    const double scale = readValue(WindowScaleKey, 0).toString().trimmed().toDouble(&isNumber);
    return isNumber && scale > 0 ? scale : 0;
}

bool writeWindowScale(double scale)
{
    return writeValue(WindowScaleKey, QString::number(scale));
}

bool readRecordingEnabled()
{
    return readValue(RecordingEnabledKey, true).toBool();
}

int readRecordingMaxSessions(int fallback)
{
    const int stored = readPositiveNumber(RecordingMaxSessionsKey);
    return stored > 0 ? stored : fallback;
}

int readRecordingMaxMiB(int fallback)
{
    const int stored = readPositiveNumber(RecordingMaxMiBKey);
    return stored > 0 ? stored : fallback;
}

bool readRecordingFullUpgrade()
{
    return readValue(RecordingFullUpgradeKey, false).toBool();
}
