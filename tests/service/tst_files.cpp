// The programs at the edges of the disk, end to end: the window started under
// a file size limit, and the command line given a file with a key twice.
#include "support/CtlRun.h"
#include "support/ProgramRun.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A parameter file as `params save` writes it, with `extra` inserted as a line of its own after the line
// holding `after`; the line numbers of both.
struct EditedFile
{
    QByteArray text;
    int afterLine = 0;
    int extraLine = 0;
};

EditedFile withLineAfter(const QByteArray &text, const QByteArray &after, const QByteArray &extra)
{
    QList<QByteArray> lines = text.split('\n');
    int index = 0;
    while (index < lines.size() && !lines.at(index).contains(after))
        ++index;
    lines.insert(index + 1, extra);
    return {lines.join('\n'), index + 1, index + 2};
}
}

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void windowOutlivesTheFileSizeLimit();
    void loadOfAKeyGivenTwiceWritesNothing();
};

// The window's log passes the limit while it starts: the write fails, and the window carries on to its first
// frame. A copy of the window in a folder of its own keeps its logs there.
void TestFiles::windowOutlivesTheFileSizeLimit()
{
    QTemporaryDir dir;
    const QString window = dir.filePath(QStringLiteral("tavox"));
    QVERIFY(QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/tavox"), window));
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    environment.insert(QStringLiteral("TAVOX_STARTUP_PROBE"), QStringLiteral("1"));
    // A cache of its own and empty, so the limited run is the one that would fill it.
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));

    const ProgramRun run = runProgram(QStringLiteral("/bin/sh"),
                                      {QStringLiteral("-c"), QStringLiteral("ulimit -f 1; exec \"$0\""), window},
                                      environment, ProcessWaitMs);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("first-frame-ms=")), qPrintable(run.err));
    const QFileInfoList logs = QDir(dir.filePath(QStringLiteral("logs"))).entryInfoList({QStringLiteral("*.log")});
    QCOMPARE(logs.size(), 1);
    // 512 bytes in the blocks of dash, 1024 in those of bash
    QVERIFY2(logs.first().size() > 0 && logs.first().size() <= 1024, qPrintable(QString::number(logs.first().size())));

    // Nothing the limited run left behind keeps the next start from coming up.
    const ProgramRun next = runProgram(window, {}, environment, ProcessWaitMs);
    QVERIFY2(next.exitCode == 0, qPrintable(next.err));
    QVERIFY2(next.err.contains(QStringLiteral("first-frame-ms=")), qPrintable(next.err));
}

// The command line refuses the file before a single write. The simulator logs every command it receives: the
// same change given once is written, and logged.
void TestFiles::loadOfAKeyGivenTwiceWritesNothing()
{
    SimProcess sim({QStringLiteral("--verbose")});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("golden.json"));
    const QStringList port {QStringLiteral("-p"), sim.portName()};
    const ProgramRun saved = runProgram(tavoxctlProgram(), port + QStringList {"params", "save", path}, englishEnvironment(),
                                       ProcessWaitMs);
    QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
    const QByteArray original = readFile(path);
    const QRegularExpressionMatch fpvMode = QRegularExpression(QStringLiteral("\"fpvMode\": (\\d+)"))
                                                .match(QString::fromUtf8(original));
    QVERIFY(fpvMode.hasMatch());
    const QByteArray changed = "        \"fpvMode\": " + QByteArray::number((fpvMode.captured(1).toInt() + 1) % 8) + ",";
    const EditedFile edited = withLineAfter(original, "\"fpvMode\"", changed);
    QVERIFY(writeFile(path, edited.text));

    const QStringList load {QStringLiteral("params"), QStringLiteral("load"), path, QStringLiteral("--yes")};
    const ProgramRun refused = runProgram(tavoxctlProgram(), port + load, englishEnvironment(), ProcessWaitMs);
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.err.contains(QStringLiteral("%1, line %2: field params.gimbal.fpvMode: given twice (first on "
                                                 "line %3)").arg(path).arg(edited.extraLine).arg(edited.afterLine)),
             qPrintable(refused.err));
    QCOMPARE(commandsReceived(sim), 0);

    QList<QByteArray> lines = edited.text.split('\n');
    lines.removeAt(edited.afterLine - 1);
    QVERIFY(writeFile(path, lines.join('\n')));
    const ProgramRun written = runProgram(tavoxctlProgram(), port + load, englishEnvironment(), ProcessWaitMs);
    QVERIFY2(written.exitCode == 0, qPrintable(written.err));
    QTRY_VERIFY_WITH_TIMEOUT(commandsReceived(sim) > 0, ProcessWaitMs);
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
