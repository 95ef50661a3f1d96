#pragma once

#include "device/ParamFile.h"

#include <QDateTime>
#include <QString>

// The parameter files the tool keeps by itself before a firmware upgrade:
// "<version>_<time>_<process>.json" in one folder, the newest `Kept` of them. Only
// regular files named as fileName() names them count as snapshots: anything
// else in the folder is never counted, listed or removed.
class ParamSnapshots
{
public:
    static constexpr int Kept = 20;

    explicit ParamSnapshots(const QString &folder) : m_folder(folder) {}

    // "1.0.0.60_20261207-013012-345_4711.json": the time to the millisecond and
    // this process's number; characters a file name cannot hold in the version
    // become "-". Names without the last two, as earlier versions wrote them,
    // still count as snapshots.
    static QString fileName(const QString &firmwareVersion, const QDateTime &time);
    // The version as a file name may hold it: "unknown" when there is none.
    static QString versionForFileName(const QString &firmwareVersion);

    // Writes the snapshot under a name nothing holds yet (a file or a link
    // there is left alone and the save fails), reads it back, and only then
    // removes the oldest beyond `Kept`. Returns its path, or an empty string
    // with `error` set; a failed save leaves the folder as it was.
    QString save(const ParamFile::Contents &contents, const QDateTime &time, QString &error) const;
    // The snapshot files, oldest first.
    QStringList files() const;

private:
    void prune() const;

    QString m_folder;
};
