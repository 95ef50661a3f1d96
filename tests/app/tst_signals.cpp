// The window's command line where there is no display, and the signals that
// close it: the real programs, the window against the real simulated
// controller on a pseudo-terminal.
#include "app/ClosingSteps.h"
#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "link/PortClaim.h"
#include "support/ProgramRun.h"
#include "support/SerialLock.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/Waiting.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
// The environment without a display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM removed.
QProcessEnvironment environmentWithoutDisplay()
{
    QProcessEnvironment environment = englishEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

// The real window as a process of its own, headless (Qt's own -platform offscreen), from a copy of the program
// in a folder of its own, where its zentaro.cfg and logs/ then are.
class WindowProcess : public RunningProgram
{
public:
    explicit WindowProcess(const QStringList &arguments)
        : m_arguments(QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")} + arguments)
    {
    }
    ~WindowProcess() { end(); }   // before its folder goes

    bool start()
    {
        // The libraries the copy loads are still found through the build's run path.
        const QString program = m_dir.filePath(QStringLiteral("tavox"));
        if (!QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/tavox"), program))
            return false;
        QProcessEnvironment environment = environmentWithoutDisplay();
        environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        m_process.setProcessEnvironment(environment);
        // Files, not pipes: a window whose output nobody reads must never stall on a full pipe.
        m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("stdout.log")));
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.log")));
        m_process.start(program, m_arguments);
        return m_process.waitForStarted(ProcessWaitMs);
    }

    // The messages of its log file's records (level, tag and time taken off), in order.
    QStringList logRecords() const
    {
        const QDir logs(m_dir.filePath(QStringLiteral("logs")));
        const QStringList files = logs.entryList({QStringLiteral("tavox_*.log")}, QDir::Files, QDir::Name);
        if (files.isEmpty())
            return {};
        static const QRegularExpression record(QStringLiteral("^[A-Z]/\\S+\\s+\\[[^\\]]+\\] (.*)$"));
        QStringList texts;
        QString content = QString::fromUtf8(readFile(logs.filePath(files.last())));
        if (content.startsWith(QChar(0xFEFF)))
            content.remove(0, 1);
        for (const QString &line : content.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = record.match(line);
            texts.append(match.hasMatch() ? match.captured(1) : line);
        }
        return texts;
    }

private:
    QTemporaryDir m_dir;
    QStringList m_arguments;
};

bool portClaimable(const QString &portName)
{
    QSerialPort port;
    PortRefusal refusal;
    return claimPort(port, portName, QIODevice::ReadWrite, refusal);
}
}

class TestSignals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowAnswersWithoutADisplay_data();
    void windowAnswersWithoutADisplay();
    void signalClosesTheWindow_data();
    void signalClosesTheWindow();
    void closingFinishesTheWriteInFlight();

private:
    // One controller for the windows the signals close in turn: each must leave its port free for the next.
    SimProcess m_sim {{"--verbose"}};
};

void TestSignals::initTestCase()
{
    QVERIFY(m_sim.start());
}

void TestSignals::windowAnswersWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString version = QStringLiteral("tavox %1\n").arg(tavoxVersion());
    const QString usage = QStringLiteral("Usage: tavox [options]\n"
                                         "The TAVOX gimbal controller's configuration and service tool.\n\n"
                                         "Options:\n"
                                         "  --port <PORT>  Open serial port PORT as soon as the window is up.\n"
                                         "  --baud <N>     Baud rate for --port (default 921600).\n"
                                         "  -h, --help     Show these options and quit.\n"
                                         "  -v, --version  Show the version and quit.\n");
    QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << QString();
    QTest::newRow("-v after Qt's -platform") << QStringList{"-platform", "offscreen", "-v"} << 0 << version << QString();
    QTest::newRow("stray word after Qt's -reverse") << QStringList{"-reverse", "COM7"} << 2 << QString()
                                                    << QStringLiteral("Unexpected argument: COM7\n\n") + usage;
}

// Answered before Qt looks for a display, and without a file written: the
// copy's folder holds the copy alone afterwards (no logs/, no zentaro.cfg).
void TestSignals::windowAnswersWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("tavox"));
    QVERIFY(QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/tavox"), program));
    const ProgramRun run = runProgram(program, arguments, environmentWithoutDisplay());
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"tavox"});
}

void TestSignals::signalClosesTheWindow_data()
{
    QTest::addColumn<QVector<int>>("sent");
    QTest::addColumn<QStringList>("causes");
    QTest::newRow("SIGTERM (a logout)") << QVector<int>{SIGTERM} << QStringList{"SIGTERM"};
    QTest::newRow("SIGHUP (its terminal closed)") << QVector<int>{SIGHUP} << QStringList{"SIGHUP"};
    QTest::newRow("SIGINT (Ctrl-C)") << QVector<int>{SIGINT} << QStringList{"SIGINT"};
    // However far the window has got with the first when the second comes.
    // Both may be pending before the window runs again, and the kernel then
    // delivers the lower-numbered SIGHUP first: either may be the cause.
    QTest::newRow("SIGTERM, then SIGHUP at once") << QVector<int>{SIGTERM, SIGHUP} << QStringList{"SIGTERM", "SIGHUP"};
}

// The signal closes the window as its close button does: the port closed by
// the tool, its lock file gone and the port free for the next program, the
// log ended by its end record, exit status 0.
void TestSignals::signalClosesTheWindow()
{
    QFETCH(QVector<int>, sent);
    QFETCH(QStringList, causes);
    const QString versionQuery = QStringLiteral("RX version query");
    const int queried = m_sim.errorOutput().count(versionQuery);
    WindowProcess window({"--port", m_sim.portName()});
    QVERIFY(window.start());
    // Opened and asked the controller's version: connected as from the sidebar.
    QTRY_VERIFY_WITH_TIMEOUT(m_sim.errorOutput().count(versionQuery) > queried, ProcessWaitMs);
    const QString lock = serialLockFile(m_sim.portName());

    for (const int signal : sent)
        window.signal(signal);
    QCOMPARE(window.finish(), 0);

    if (!lock.isEmpty())
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
    QVERIFY(portClaimable(m_sim.portName()));
    const QStringList records = window.logRecords();
    QVERIFY2(records.size() >= 2, qPrintable(records.join('\n')));
    const QRegularExpression endRecord(QStringLiteral("^========== TAVOX log session end \\(closed by (\\w+)\\) ==========$"));
    const QRegularExpressionMatch ended = endRecord.match(records.last());
    QVERIFY2(ended.hasMatch(), qPrintable(records.last()));
    const QString cause = ended.captured(1);
    QVERIFY2(causes.contains(cause), qPrintable(records.last()));
    QVERIFY2(records.contains(cause + QStringLiteral(": closing the window")), qPrintable(records.join('\n')));
}

// Closed a moment after a channel write was confirmed, the tool stays until the write's activation and restart
// have gone out: the controller never keeps values it did not apply.
void TestSignals::closingFinishesTheWriteInFlight()
{
    SimProcess sim({"--verbose", "--hb-rate", "0"});
    QVERIFY(sim.start());
    AppBridge bridge(nullptr, AppBridge::FirstExchange::LeftToCaller);
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    bridge.tavoxWriteSbusChannels(2, 3, 4, 5, 6, 1);
    QCOMPARE(bridge.parameters().owedRestart(), OwedRestart::ActivateAndReboot);

    finishStepsInFlight(bridge);

    QCOMPARE(bridge.parameters().owedRestart(), OwedRestart::None);
    QTRY_COMPARE_WITH_TIMEOUT(requestSequence(simReceivedFrames(sim.errorOutput())), QStringLiteral("A0 90 91"),
                              ProcessWaitMs);
}

QTEST_GUILESS_MAIN(TestSignals)
#include "tst_signals.moc"
