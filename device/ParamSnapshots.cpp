#include "device/ParamSnapshots.h"

#include "device/WholeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <sys/stat.h>

namespace {
const char TimeFormat[] = "yyyyMMdd-HHmmss";
const char MillisecondFormat[] = "zzz";

// The time in the name of a snapshot this tool wrote (to the millisecond; "000" for the names of earlier
// versions, which had none), or an empty string for any other entry of the folder: a name the tool would not
// make (another program's file, a copy), or anything but a regular file (a link, whatever it points at, is
// never one).
QString snapshotTime(const QDir &folder, const QString &name)
{
    static const QRegularExpression SnapshotName(
        QStringLiteral("^(.+)_(\\d{8}-\\d{6})(?:-(\\d{3})_\\d+)?\\.json$"));
    const QRegularExpressionMatch match = SnapshotName.match(name);
    if (!match.hasMatch() || ParamSnapshots::versionForFileName(match.captured(1)) != match.captured(1)
        || !QDateTime::fromString(match.captured(2), QLatin1String(TimeFormat)).isValid())
        return QString();
    struct stat status {};
    const bool regular = ::lstat(QFile::encodeName(folder.filePath(name)).constData(), &status) == 0
        && S_ISREG(status.st_mode);
    if (!regular)
        return QString();
    const QString milliseconds = match.captured(3);
    return match.captured(2) + QLatin1Char('-') + (milliseconds.isEmpty() ? QStringLiteral("000") : milliseconds);
}

// Only a snapshot that reads back as what was saved may push the oldest out.
// Compared as text: a controller's value outside its range is kept as it was
// read, though no file holding it is ever loaded to be written.
bool readsBackAs(const QString &path, const ParamFile::Contents &contents, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read back %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.readAll() != ParamFile::toJson(contents)) {
        error = QStringLiteral("%1 does not read back as it was written").arg(path);
        return false;
    }
    return true;
}
}

QString ParamSnapshots::versionForFileName(const QString &firmwareVersion)
{
    QString version = firmwareVersion.trimmed();
    if (version.isEmpty() || version == QLatin1String("-"))
        return QStringLiteral("unknown");
    return version.replace(QRegularExpression(QStringLiteral("[^0-9A-Za-z.+-]")), QStringLiteral("-"));
}

// Several tavoxctl flashing controllers of one version at once save their snapshots in the same
// millisecond now and then: the process's number keeps their names apart.
QString ParamSnapshots::fileName(const QString &firmwareVersion, const QDateTime &time)
{
    return versionForFileName(firmwareVersion) + QLatin1Char('_') + time.toString(QLatin1String(TimeFormat))
        + QLatin1Char('-') + time.toString(QLatin1String(MillisecondFormat)) + QLatin1Char('_')
        + QString::number(QCoreApplication::applicationPid()) + QStringLiteral(".json");
}

QString ParamSnapshots::save(const ParamFile::Contents &contents, const QDateTime &time, QString &error) const
{
    if (!QDir().mkpath(m_folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(m_folder));
        return QString();
    }
    const QString path = QDir(m_folder).filePath(fileName(contents.firmwareVersion, time));
    if (!WholeFile::create(path, ParamFile::toJson(contents), error)) {
        error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), error);
        return QString();
    }
    if (!readsBackAs(path, contents, error)) {
        QFile::remove(path);
        return QString();
    }
    prune();
    return path;
}

// Sorted by the time in the name rather than by the file's own times, which a
// copy or a restore from a backup would change.
QStringList ParamSnapshots::files() const
{
    const QDir folder(m_folder);
    QVector<QPair<QString, QString>> snapshots;   // time, name
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden)) {
        const QString time = snapshotTime(folder, name);
        if (!time.isEmpty())
            snapshots.append({time, name});
    }
    std::sort(snapshots.begin(), snapshots.end());
    QStringList paths;
    for (const auto &snapshot : snapshots)
        paths.append(folder.filePath(snapshot.second));
    return paths;
}

void ParamSnapshots::prune() const
{
    const QStringList all = files();
    for (int i = 0; i < all.size() - Kept; ++i)
        QFile::remove(all.at(i));
}
