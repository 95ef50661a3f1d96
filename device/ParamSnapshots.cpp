#include "device/ParamSnapshots.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace {
const char TimeFormat[] = "yyyyMMdd-HHmmss";
}

QString ParamSnapshots::versionForFileName(const QString &firmwareVersion)
{
    QString version = firmwareVersion.trimmed();
    if (version.isEmpty() || version == QLatin1String("-"))
        return QStringLiteral("unknown");
    return version.replace(QRegularExpression(QStringLiteral("[^0-9A-Za-z.+-]")), QStringLiteral("-"));
}

QString ParamSnapshots::fileName(const QString &firmwareVersion, const QDateTime &time)
{
    return versionForFileName(firmwareVersion) + QLatin1Char('_') + time.toString(QLatin1String(TimeFormat))
        + QStringLiteral(".json");
}

QString ParamSnapshots::save(const ParamFile::Contents &contents, const QDateTime &time, QString &error) const
{
    if (!QDir().mkpath(m_folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(m_folder));
        return QString();
    }
    const QString path = QDir(m_folder).filePath(fileName(contents.firmwareVersion, time));
    if (!ParamFile::save(path, contents, error))
        return QString();
    prune();
    return path;
}

// Sorted by the time in the name rather than by the file's own times, which a
// copy or a restore from a backup would change.
QStringList ParamSnapshots::files() const
{
    QStringList names = QDir(m_folder).entryList({QStringLiteral("*_*.json")}, QDir::Files);
    const auto timeOf = [](const QString &name) { return name.section(QLatin1Char('_'), -1); };
    std::sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        return timeOf(a) != timeOf(b) ? timeOf(a) < timeOf(b) : a < b;
    });
    for (QString &name : names)
        name = QDir(m_folder).filePath(name);
    return names;
}

void ParamSnapshots::prune() const
{
    const QStringList all = files();
    for (int i = 0; i < all.size() - Kept; ++i)
        QFile::remove(all.at(i));
}
