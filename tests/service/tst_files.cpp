#include "support/ProgramRun.h"
#include "support/Waiting.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void windowOutlivesTheFileSizeLimit();
};

// The window's log passes the limit while it starts: the write fails, and the window carries on to its first
// frame. A copy of the window in a folder of its own keeps its logs there.
void TestFiles::windowOutlivesTheFileSizeLimit()
{
    QTemporaryDir dir;
    const QString window = copyBuiltProgram(QStringLiteral("tavox"), dir.path());
    QVERIFY(!window.isEmpty());
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

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
