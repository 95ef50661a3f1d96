// tavoxctl as a whole, the real program against the real simulated controller.
#include "app/Version.h"
#include "link/PortClaim.h"
#include "support/CtlRun.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_sim.start()); }
    void usageErrors_data();
    void usageErrors();
    void portsListExtraPortsFirst();
    void refusedPortExitsThreeSayingWhyInEitherLanguage();
    void infoAsksOnceForEachAnswer();
    void terminalShowsWhatARedirectionGets();
    void writesBeyondTheFileSizeLimitAreReported();

private:
    SimProcess m_sim{{"--param-form", "photo", "--firmware", "3.1.4.1", "--boot", "1.0.0.7", "--verbose"}};
};

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"-p", "/dev/null", "reboot"} << "unknown command";
    QTest::newRow("missing file") << QStringList{"-p", "/dev/null", "params", "load"} << "wrong number of arguments";
    QTest::newRow("no port") << QStringList{"info"} << "-p PORT is required";
    QTest::newRow("option of another command") << QStringList{"-p", "/dev/null", "params", "save", "x.json", "--json"}
                                               << "--json does not apply to params save";
    QTest::newRow("bad baud") << QStringList{"-p", "/dev/null", "-b", "fast", "info"} << "invalid baud rate: fast";
    QTest::newRow("unknown option") << QStringList{"--colour", "ports"} << "colour";
    QTest::newRow("unknown calibration") << QStringList{"-p", "/dev/null", "calibrate", "magnet"}
                                         << "unknown calibration: magnet (known: accel, gyro, hall, linear, zero)";
    QTest::newRow("zero seconds") << QStringList{"-p", "/dev/null", "monitor", "--seconds", "0"}
                                  << "invalid number of seconds: 0";
    // Timeouts are taken in whole seconds up to a day; more would once have
    // wrapped around as milliseconds in an int (4294968 s to 704 ms).
    for (const char *timeout : {"86401", "0", "4294968", "5s"})
        QTest::addRow("timeout %s", timeout) << QStringList{"-p", "/dev/null", "-t", timeout, "info"}
                                             << QStringLiteral("invalid timeout: %1 (whole seconds from 1 to 86400)").arg(timeout);
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const ProgramRun run = runCtl(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message) && run.out.isEmpty(), qPrintable(run.err));
}

void TestCli::portsListExtraPortsFirst()
{
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("TAVOX_EXTRA_PORTS"), QStringLiteral("/tmp/tavox-b, /tmp/tavox-a"));
    const ProgramRun run = runCtl({QStringLiteral("ports")}, environment);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.split(QLatin1Char('\n')).mid(0, 2), (QStringList{"/tmp/tavox-b", "/tmp/tavox-a"}));
}

// A copy of the program keeps its zentaro.cfg, and so its language, beside it.
// The port in use is held by this test, which tavoxctl names.
void TestCli::refusedPortExitsThreeSayingWhyInEitherLanguage()
{
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QString config = dir.filePath(QStringLiteral("zentaro.cfg"));
    const QString port = dir.filePath(QStringLiteral("port"));
    QVERIFY(writeFile(config, "[General]\nlanguage=en\n"));
    const ProgramRun english = runCtl({"-p", port, "info"}, englishEnvironment(), ctl);
    QCOMPARE(english.exitCode, 3);
    QVERIFY2(english.err.contains(QStringLiteral("tavoxctl: cannot open port %1: %2\n").arg(port, PortRefusal::noSuchDevice().en()))
                 && english.out.isEmpty(),
             qPrintable(english.err));

    PseudoTerminal line;
    QSerialPort held;
    PortRefusal refusal;
    QVERIFY(line.isValid() && claimPort(held, line.slaveName(), QIODevice::ReadWrite, refusal));
    QVERIFY(writeFile(config, "[General]\nlanguage=zh\n"));
    const ProgramRun chinese = runCtl({"-p", line.slaveName(), "info"}, englishEnvironment(), ctl);
    QCOMPARE(chinese.exitCode, 3);
    QVERIFY2(chinese.err.contains(QStringLiteral("tavoxctl: 无法打开串口 %1: 被其他程序占用: tst_cli (pid %2)\n")
                                      .arg(line.slaveName()).arg(QCoreApplication::applicationPid())),
             qPrintable(chinese.err));
}

// A controller that answers at once is asked once for its block and once for
// its versions, and nothing more, however the window times its own requests.
void TestCli::infoAsksOnceForEachAnswer()
{
    const QVector<QPair<QStringList, QString>> runs = {
        {{"info"}, "^firmware +3\\.1\\.4\\.1$"},
        {{"info", "--json"}, "\"boot\": \"1\\.0\\.0\\.7\""},
        {{"params", "get", "--json"}, "\"firmware\": \"3\\.1\\.4\\.1\""}};
    for (const auto &[arguments, expected] : runs) {
        SentFrames sent = framesSentBy(m_sim, arguments);
        QVERIFY2(sent.run.exitCode == 0, qPrintable(sent.run.err));
        QVERIFY2(sent.run.out.contains(QRegularExpression(expected, QRegularExpression::MultilineOption))
                     && sent.run.out.contains(QLatin1String("photo")),
                 qPrintable(sent.run.out));
        QVERIFY(sent.marked);
        sent.frames.sort();
        QCOMPARE(sent.frames, (QStringList{"C0", "version query"}));
    }
    const ProgramRun json = runOn(m_sim, {"info", "--json"});
    QCOMPARE(jsonOf(json.out).value("toolVersion").toString(), tavoxVersion());
}
// Without --verbose the bridge's message log and its diagnostic lines appear
// nowhere, on a terminal as in a pipe.
void TestCli::terminalShowsWhatARedirectionGets()
{
    const ProgramRun redirected = runOn(m_sim, {"info"});
    QCOMPARE(redirected.exitCode, 0);

    PseudoTerminal terminal;
    QProcess ctl;
    ctl.setProcessEnvironment(englishEnvironment());
    ctl.setStandardOutputFile(terminal.slaveName());
    ctl.start(tavoxctlProgram(), {"-p", m_sim.portName(), "info"});
    QVERIFY(QTest::qWaitFor([&] { return ctl.state() == QProcess::NotRunning; }, ProcessWaitMs));
    QCOMPARE(ctl.exitCode(), 0);
    QVERIFY(QTest::qWaitFor([&] { return terminal.received().size() >= redirected.out.toUtf8().size(); },
                            ProcessWaitMs));
    QCOMPARE(QString::fromUtf8(terminal.received()), redirected.out);
    QCOMPARE(QString::fromUtf8(ctl.readAllStandardError()), redirected.err);
}

// sh runs the program with files limited to one block, shorter than its output.
void TestCli::writesBeyondTheFileSizeLimitAreReported()
{
    QTemporaryDir dir;
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("PORT"), m_sim.portName());
    environment.insert(QStringLiteral("TARGET"), dir.filePath(QStringLiteral("params.json")));
    const ProgramRun run = runProgram(QStringLiteral("sh"),
                                      {"-c", "ulimit -f 1; exec \"$0\" -p \"$PORT\" params get --json > \"$TARGET\"",
                                       tavoxctlProgram()},
                                      environment, CtlRunTimeoutMs);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QLatin1String("cannot write standard output: File too large")), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
