#include "support/ArchiveEntries.h"

#include "support/ProgramRun.h"
#include "support/Waiting.h"

#include <QProcess>

QStringList archivedNames(const QString &archive)
{
    const ProgramRun listing = runProgram(QStringLiteral("unzip"), {QStringLiteral("-Z1"), archive},
                                          QProcessEnvironment::systemEnvironment());
    QStringList names = listing.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    names.sort();
    return listing.exitCode == 0 ? names : QStringList {QStringLiteral("unzip failed: ") + listing.err};
}

QByteArray archived(const QString &archive, const QString &name)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, name});
    return unzip.waitForFinished(ProcessWaitMs) && unzip.exitCode() == 0 ? unzip.readAllStandardOutput() : QByteArray();
}

QVector<QStringList> archivedTable(const QString &archive, const QString &name)
{
    QVector<QStringList> rows;
    for (const QString &line : QString::fromUtf8(archived(archive, name)).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        rows.append(line.split(QLatin1Char('\t')));
    return rows;
}
