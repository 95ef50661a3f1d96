#include "log/LogPruning.h"

#include "log/LogLock.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <map>

namespace {
struct Run
{
    QStringList pieces;   // the log and its rotated pieces, not the lock file
    qint64 bytes = 0;
};

// By the log's name, which begins with its start time, so the newest come last.
std::map<QString, Run> runsIn(const QDir &folder)
{
    static const QRegularExpression piece(QStringLiteral("^(tavox_\\d{8}_\\d{6}\\.log)(\\.\\d+|\\.lock)?$"));
    std::map<QString, Run> runs;
    const QFileInfoList entries = folder.entryInfoList(QDir::Files | QDir::System | QDir::Hidden, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch match = piece.match(entry.fileName());
        if (!match.hasMatch())
            continue;
        Run &run = runs[match.captured(1)];
        run.bytes += entry.size();
        if (match.captured(2) != QLatin1String(".lock"))
            run.pieces.append(entry.filePath());
    }
    return runs;
}

void removeRun(const QString &log, const Run &run)
{
    removeUnwrittenLog(QFile::encodeName(log).toStdString(), [&run] {
        for (const QString &piece : run.pieces)
            QFile::remove(piece);
    });
}
}

void LogPruning::prune(const QString &folder, const QString &currentLog)
{
    const QDir dir(folder);
    const std::map<QString, Run> runs = runsIn(dir);
    const QString current = QFileInfo(currentLog).fileName();
    int keptRuns = 0;
    qint64 keptBytes = 0;
    bool full = false;
    for (auto run = runs.crbegin(); run != runs.crend(); ++run) {
        const auto &[name, pieces] = *run;
        full = full || keptRuns == MaxRuns || keptBytes + pieces.bytes > MaxBytes;
        if (!full || name == current) {
            ++keptRuns;
            keptBytes += pieces.bytes;
        } else {
            removeRun(dir.filePath(name), pieces);
        }
    }
}
