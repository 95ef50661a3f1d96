#pragma once

#include "device/ParamFile.h"

#include <QDateTime>
#include <QString>

// The parameter files the tool keeps by itself before a firmware upgrade:
// "<version>_<time>.json" in one folder, the newest `Kept` of them.
class ParamSnapshots
{
public:
    static constexpr int Kept = 20;

    explicit ParamSnapshots(const QString &folder) : m_folder(folder) {}

    // "1.0.0.60_20261207-013012.json"; characters a file name cannot hold in
    // the version become "-".
    static QString fileName(const QString &firmwareVersion, const QDateTime &time);
    // The version as a file name may hold it: "unknown" when there is none.
    static QString versionForFileName(const QString &firmwareVersion);

    // Writes the snapshot, then removes the oldest beyond `Kept`. Returns its
    // path, or an empty string with `error` set; a failed write leaves the
    // earlier snapshots as they were.
    QString save(const ParamFile::Contents &contents, const QDateTime &time, QString &error) const;
    // The snapshot files, oldest first.
    QStringList files() const;

private:
    void prune() const;

    QString m_folder;
};
