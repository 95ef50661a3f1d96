// tavoxctl end to end as a whole: its version and help, usage errors, the
// port list, info, the language of its messages and where its output goes; the
// real program as a process against the real simulated controller.
#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "support/CtlRun.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Unprivileged.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <sys/stat.h>

Q_DECLARE_METATYPE(PortRefusal)

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void versionAndHelp();
    void usageErrors_data();
    void usageErrors();
    void portsListExtraPortsFirst();
    void unusablePortExitsThreeSayingWhy_data();
    void unusablePortExitsThreeSayingWhy();
    void portOfOthersExitsThreeSayingWhy_data();
    void portOfOthersExitsThreeSayingWhy();
    void portHeldByTheWindowExitsThreeNamingIt();
    void info_data();
    void info();
    void firstExchangeAsksOnceForEachAnswer_data();
    void firstExchangeAsksOnceForEachAnswer();
    void terminalShowsWhatARedirectionGets();
    void writesBeyondTheFileSizeLimitAreReported_data();
    void writesBeyondTheFileSizeLimitAreReported();

private:
    void refusalIsToldInBothLanguages(const std::function<ProgramRun(const QStringList &)> &run, const QString &config,
                                      const QString &port, const PortRefusal &refusal);
};

void TestCli::versionAndHelp()
{
    const ProgramRun version = runCtl({QStringLiteral("--version")});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out.trimmed(), QStringLiteral("tavoxctl ") + tavoxVersion());

    const ProgramRun help = runCtl({QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    for (const char *word : {"params load FILE", "upgrade FILE", "monitor [--seconds N] [--json]", "calibrate KIND",
                             "accel", "gyro", "hall", "linear", "zero", "--port", "--baud", "Exit codes",
                             "6 upgrade verification failed"})
        QVERIFY2(help.out.contains(QLatin1String(word)), word);
}

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
    QTest::newRow("calibration missing") << QStringList{"-p", "/dev/null", "calibrate"} << "wrong number of arguments";
    QTest::newRow("seconds on calibrate") << QStringList{"-p", "/dev/null", "--seconds", "2", "calibrate", "gyro"}
                                          << "--seconds does not apply to calibrate";
    QTest::newRow("zero seconds") << QStringList{"-p", "/dev/null", "monitor", "--seconds", "0"}
                                  << "invalid number of seconds: 0";
    // Timeouts are taken in whole seconds up to a day; more would once have
    // wrapped around as milliseconds in an int (2147484 s to -2147483 ms,
    // 4294968 s to 704 ms).
    const QString timeoutRange = QStringLiteral(" (whole seconds from 1 to 86400)");
    for (const char *timeout : {"86401", "0", "-1", "2147484", "4294968", "5s"})
        QTest::addRow("timeout %s", timeout) << QStringList{"-p", "/dev/null", "-t", timeout, "info"}
                                             << QStringLiteral("invalid timeout: ") + timeout + timeoutRange;
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const ProgramRun run = runCtl(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestCli::portsListExtraPortsFirst()
{
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("TAVOX_EXTRA_PORTS"), QStringLiteral("/tmp/tavox-b, /tmp/tavox-a"));
    const ProgramRun run = runCtl({QStringLiteral("ports")}, environment);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.split(QLatin1Char('\n')).mid(0, 2), (QStringList{"/tmp/tavox-b", "/tmp/tavox-a"}));
}

void TestCli::unusablePortExitsThreeSayingWhy_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<PortRefusal>("refusal");
    QTest::newRow("missing") << "missing" << PortRefusal::noSuchDevice();
    QTest::newRow("regular file") << "regular file" << PortRefusal::notSerial();
    QTest::newRow("folder") << "folder" << PortRefusal::notSerial();
    QTest::newRow("/dev/null") << "/dev/null" << PortRefusal::notSerial();
    QTest::newRow("pipe") << "pipe" << PortRefusal::notSerial();
    // The bridge turns it away before any claim; the reason is still told.
    QTest::newRow("blanks") << "blanks" << PortRefusal::blankName();
}

void TestCli::unusablePortExitsThreeSayingWhy()
{
    QFETCH(QString, place);
    QFETCH(PortRefusal, refusal);
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    QString port = dir.filePath(QStringLiteral("port"));
    if (place == QLatin1String("regular file"))
        QVERIFY(writeFile(port, "not a line"));
    else if (place == QLatin1String("folder"))
        port = dir.path();
    else if (place == QLatin1String("/dev/null"))
        port = place;
    else if (place == QLatin1String("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(port).constData(), 0666), 0);
    else if (place == QLatin1String("blanks"))
        port = QStringLiteral("   ");

    refusalIsToldInBothLanguages([&](const QStringList &arguments) { return runCtl(arguments, englishEnvironment(), ctl); },
                                 dir.filePath(QStringLiteral("zentaro.cfg")), port, refusal);
}

void TestCli::portOfOthersExitsThreeSayingWhy_data()
{
    QTest::addColumn<QString>("shutOut");
    QTest::newRow("its group may open it") << "group";
    QTest::newRow("only its owner may open it") << "owner";
    // No program holds the line, yet the system says it is busy.
    QTest::newRow("exclusive mode left set") << "exclusive";
}

// Run by a user the device refuses: root opens any device, so a test run as
// root runs tavoxctl as "nobody".
void TestCli::portOfOthersExitsThreeSayingWhy()
{
    QFETCH(QString, shutOut);
    SharedFolder folder;
    if (!folder.isReachable())
        QSKIP("the unprivileged user cannot reach the temporary folder; point TMPDIR at a folder every user can pass through");
    const QString ctl = folder.copyProgram(QStringLiteral("tavoxctl"));
    QVERIFY(!ctl.isEmpty());
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    SimProcess sim({"--fault-exclusive-left"});
    QString port = pty.slaveName();
    PortRefusal refusal = PortRefusal::exclusiveModeLeft();
    if (shutOut == QLatin1String("exclusive")) {
        QVERIFY(sim.start());
        port = sim.portName();
        QVERIFY(::chmod(QFile::encodeName(port).constData(), 0666) == 0);   // its mode is no obstacle
    } else {
        const bool groupMayOpen = shutOut == QLatin1String("group");
        QVERIFY(shutOutUnprivileged(port, groupMayOpen));
        refusal = PortRefusal::permissionDenied(groupMayOpen ? groupOf(port) : QString());
    }

    refusalIsToldInBothLanguages([&](const QStringList &arguments) { return folder.run(ctl, arguments, englishEnvironment()); },
                                 folder.filePath(QStringLiteral("zentaro.cfg")), port, refusal);
}

// A copy of the program keeps its zentaro.cfg, and so its language, at `config`.
void TestCli::refusalIsToldInBothLanguages(const std::function<ProgramRun(const QStringList &)> &run,
                                           const QString &config, const QString &port, const PortRefusal &refusal)
{
    const QStringList arguments{QStringLiteral("-p"), port, QStringLiteral("info")};
    QVERIFY(writeFile(config, "[General]\nlanguage=en\n"));
    const ProgramRun english = run(arguments);
    QCOMPARE(english.exitCode, 3);
    QVERIFY2(english.err.contains(QStringLiteral("tavoxctl: cannot open port %1: %2\n").arg(port, refusal.en())),
             qPrintable(english.err));
    QVERIFY(english.out.isEmpty());
    QVERIFY(writeFile(config, "[General]\nlanguage=zh\n"));
    const ProgramRun chinese = run(arguments);
    QCOMPARE(chinese.exitCode, 3);
    QVERIFY2(chinese.err.contains(QStringLiteral("tavoxctl: 无法打开串口 %1: %2\n").arg(port, refusal.zh())),
             qPrintable(chinese.err));
}

// The window (this test's bridge) holds the simulator's line under a link;
// tavoxctl asks for it under the kernel's name.
void TestCli::portHeldByTheWindowExitsThreeNamingIt()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString gimbal = gimbalLink(dir.path(), sim.portName());
    QVERIFY(!gimbal.isEmpty());
    AppBridge window;
    QVERIFY(window.openSerial(gimbal, 921600));

    const QString holder = QStringLiteral("tst_cli (pid %1)").arg(QCoreApplication::applicationPid());
    const ProgramRun english = runOn(sim, {QStringLiteral("info")});
    QCOMPARE(english.exitCode, 3);
    QVERIFY2(english.err.contains(QStringLiteral("cannot open port %1: in use by another program: %2")
                                      .arg(sim.portName(), holder)), qPrintable(english.err));
    QVERIFY(english.out.isEmpty());
    QProcessEnvironment chinese = englishEnvironment();
    chinese.insert(QStringLiteral("LC_ALL"), QStringLiteral("zh_CN.UTF-8"));
    const ProgramRun inChinese = runCtl({QStringLiteral("-p"), sim.portName(), QStringLiteral("info")}, chinese);
    QCOMPARE(inChinese.exitCode, 3);
    QVERIFY2(inChinese.err.contains(QStringLiteral("无法打开串口 %1: 被其他程序占用: %2").arg(sim.portName(), holder)),
             qPrintable(inChinese.err));

    window.closeSerial();
    QCOMPARE(runOn(sim, {QStringLiteral("info")}).exitCode, 0);
}

void TestCli::info_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("fieldCount");
    QTest::newRow("base") << "base" << 19;
    QTest::newRow("photo") << "photo" << 26;
    QTest::newRow("crsf") << "crsf" << 33;
}

void TestCli::info()
{
    QFETCH(QString, form);
    QFETCH(int, fieldCount);
    SimProcess sim({"--param-form", form, "--firmware", "2.3.4.5", "--boot", "1.0.0.9"});
    QVERIFY(sim.start());

    const ProgramRun text = runOn(sim, {QStringLiteral("info")});
    QCOMPARE(text.exitCode, 0);
    QVERIFY2(text.out.contains(QRegularExpression(QStringLiteral("^firmware +2\\.3\\.4\\.5$"),
                                                  QRegularExpression::MultilineOption)), qPrintable(text.out));
    QVERIFY(text.out.contains(QRegularExpression(QStringLiteral("^paramForm +") + form + QLatin1Char('$'),
                                                 QRegularExpression::MultilineOption)));

    const ProgramRun json = runOn(sim, {QStringLiteral("info"), QStringLiteral("--json")});
    QCOMPARE(json.exitCode, 0);
    const QJsonObject root = jsonOf(json.out);
    QCOMPARE(root.value("paramForm").toString(), form);
    QCOMPARE(root.value("device").toObject().value("boot").toString(), QStringLiteral("1.0.0.9"));
    QCOMPARE(root.value("toolVersion").toString(), tavoxVersion());
    int fields = 0;
    for (const QJsonValue &group : root.value("params").toObject())
        fields += group.toObject().size();
    QCOMPARE(fields, fieldCount);
    QCOMPARE(commandsReceived(sim), 0);
}

void TestCli::firstExchangeAsksOnceForEachAnswer_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::newRow("info") << QStringList{"info"} << "^firmware +3\\.1\\.4\\.1$";
    QTest::newRow("info --json") << QStringList{"info", "--json"} << "\"boot\": \"1\\.0\\.0\\.7\"";
    QTest::newRow("params get --json") << QStringList{"params", "get", "--json"} << "\"firmware\": \"3\\.1\\.4\\.1\"";
}

// A controller that answers at once is asked once for its block and once for
// its versions, and nothing more, however the window times its own requests.
void TestCli::firstExchangeAsksOnceForEachAnswer()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    SimProcess sim({"--param-form", "crsf", "--firmware", "3.1.4.1", "--boot", "1.0.0.7", "--verbose"});
    QVERIFY(sim.start());

    SentFrames sent = framesSentBy(sim, arguments);
    const ProgramRun &run = sent.run;
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QRegularExpression(expected, QRegularExpression::MultilineOption)), qPrintable(run.out));
    QVERIFY(run.out.contains(QLatin1String("crsf")));
    QVERIFY(sent.marked);
    sent.frames.sort();
    QCOMPARE(sent.frames, (QStringList{"C0", "version query"}));
}

// A copy of the program in a folder of its own keeps its zentaro.cfg beside it.
// Without --verbose the bridge's message log and its diagnostic lines appear
// nowhere, on a terminal as in a pipe.
void TestCli::terminalShowsWhatARedirectionGets()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const ProgramRun redirected = runOn(sim, {"info"});
    QCOMPARE(redirected.exitCode, 0);

    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());
    QProcess ctl;
    ctl.setProcessEnvironment(englishEnvironment());
    ctl.setStandardOutputFile(terminal.slaveName());
    ctl.start(tavoxctlProgram(), {"-p", sim.portName(), "info"});
    QVERIFY(QTest::qWaitFor([&] { return ctl.state() == QProcess::NotRunning; }, ProcessWaitMs));
    QCOMPARE(ctl.exitCode(), 0);
    QVERIFY(QTest::qWaitFor([&] { return terminal.received().size() >= redirected.out.toUtf8().size(); },
                            ProcessWaitMs));
    QCOMPARE(QString::fromUtf8(terminal.received()), redirected.out);
    QCOMPARE(QString::fromUtf8(ctl.readAllStandardError()), redirected.err);
}

void TestCli::writesBeyondTheFileSizeLimitAreReported_data()
{
    // sh runs the program with files limited to one block, shorter than a
    // parameter file; a message names the file as the script does, $TARGET.
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::newRow("parameter file") << "ulimit -f 1; exec \"$0\" -p \"$PORT\" params save \"$TARGET\""
                                    << "cannot write $TARGET: File too large";
    QTest::newRow("standard output") << "ulimit -f 1; exec \"$0\" -p \"$PORT\" params get --json > \"$TARGET\""
                                     << "cannot write standard output: File too large";
}

void TestCli::writesBeyondTheFileSizeLimitAreReported()
{
    QFETCH(QString, script);
    QFETCH(QString, message);
    SimProcess sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("params.json"));
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("PORT"), sim.portName());
    environment.insert(QStringLiteral("TARGET"), target);
    const ProgramRun run = runProgram(QStringLiteral("sh"), {"-c", script, tavoxctlProgram()}, environment, CtlRunTimeoutMs);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message.replace(QLatin1String("$TARGET"), target)), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
