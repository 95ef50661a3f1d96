// tavoxctl end to end: the real program as a process against the real
// simulated controller, with real files in temporary folders.
#include "app/Version.h"
#include "device/ParamFile.h"
#include "support/ParamChanges.h"
#include "support/ProgramRun.h"
#include "support/PseudoTerminal.h"
#include "support/SerialLock.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/Waiting.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
const int RunTimeoutMs = 60000;
// How long tavoxctl lets a controller restart after the torque write before reading it back.
const int RestartSettleMs = 3000;

using Run = ProgramRun;

Run runCtl(const QStringList &arguments, const QProcessEnvironment &environment = englishEnvironment(),
           const QString &program = tavoxctlProgram())
{
    return runProgram(program, arguments, environment, RunTimeoutMs);
}

Run runOn(SimProcess &sim, const QStringList &arguments)
{
    return runCtl(QStringList{QStringLiteral("-p"), sim.portName()} + arguments);
}

QJsonObject jsonOf(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Commands the simulator received: every write goes out as one of them.
int commandsReceived(const SimProcess &sim)
{
    return sim.errorOutput().count(QRegularExpression(QStringLiteral("RX command 0x")));
}

QByteArray randomImage(int size)
{
    QByteArray image(size, '\0');
    QRandomGenerator random(17);
    for (char &byte : image)
        byte = char(random.bounded(256));
    return image;
}

// The JSON objects of a run's output, one a line; an empty list when a line is not one.
QVector<QJsonObject> jsonLines(const QString &text)
{
    QVector<QJsonObject> objects;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return {};
        objects.append(document.object());
    }
    return objects;
}

bool within(const QJsonValue &value, double low, double high)
{
    return value.isDouble() && value.toDouble() >= low && value.toDouble() <= high;
}

// Every value of a receiver's channels, as the simulator swings them around their centre.
bool channelsWithin(const QJsonObject &channels, int count, double low, double high)
{
    if (channels.size() != count)
        return false;
    for (const QJsonValue &value : channels) {
        if (!within(value, low, high))
            return false;
    }
    return true;
}

// A saved file with some of its values changed.
QByteArray withValues(const QByteArray &saved, const QVector<QPair<QString, int>> &values)
{
    QJsonObject root = QJsonDocument::fromJson(saved).object();
    QJsonObject params = root.value(QStringLiteral("params")).toObject();
    for (const auto &value : values) {
        const QStringList path = value.first.split(QLatin1Char('.'));
        QJsonObject group = params.value(path.at(0)).toObject();
        group.insert(path.at(1), value.second);
        params.insert(path.at(0), group);
    }
    root.insert(QStringLiteral("params"), params);
    return QJsonDocument(root).toJson();
}

// A copy of tavoxctl in `dir`, which keeps its data (snapshots, the record of
// restarts still owed) there, apart from every other test's.
QString privateCtl(const QTemporaryDir &dir)
{
    const QString copy = dir.filePath(QStringLiteral("tavoxctl"));
    return QFile::copy(tavoxctlProgram(), copy) ? copy : QString();
}

// The controller's parameters saved to `path` with each of `fields` one more
// than the controller holds.
bool saveWithFieldsRaised(SimProcess &sim, const QString &path, const QStringList &fields)
{
    if (runOn(sim, {"params", "save", path}).exitCode != 0)
        return false;
    const QJsonObject params = jsonOf(QString::fromUtf8(readAll(path))).value("params").toObject();
    QVector<QPair<QString, int>> raised;
    for (const QString &field : fields) {
        const QStringList names = field.split(QLatin1Char('.'));
        raised.append({field, params.value(names.at(0)).toObject().value(names.at(1)).toInt() + 1});
    }
    return writeFile(path, withValues(readAll(path), raised));
}

// The simulator for loads that restart it: its frame log, no heartbeats to crowd it, quick restarts.
const QStringList RestartingSim{"--verbose", "--hb-rate", "0", "--reboot-ms", "100"};

// tavoxctl at work while the test reads its messages and signals it.
class RunningCtl
{
public:
    // `input`, when given, becomes its standard input (a terminal's device).
    RunningCtl(const QString &program, const QStringList &arguments, const QString &input = QString())
    {
        m_process.setProcessEnvironment(englishEnvironment());
        if (!input.isEmpty())
            m_process.setStandardInputFile(input);
        m_process.start(program, arguments);
    }

    ~RunningCtl()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished();
    }

    bool waitForMessage(const QString &text)
    {
        return QTest::qWaitFor([&] { return messages().contains(text); }, ProcessWaitMs);
    }

    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }

    // Its exit code; -1 when it did not end or was killed by a signal.
    int finish()
    {
        if (!m_process.waitForFinished(ProcessWaitMs) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }

    QString messages()
    {
        m_messages += QString::fromUtf8(m_process.readAllStandardError());
        return m_messages;
    }

private:
    QProcess m_process;
    QString m_messages;
};

// Whether `port` is free again after a tavoxctl ended: the lock file seen
// while it had the port open is gone; where QSerialPort made none, another
// tavoxctl opens the port.
bool portReleased(const QString &lockWhileOpen, const QString &port)
{
    if (!lockWhileOpen.isEmpty())
        return !QFile::exists(lockWhileOpen);
    return runCtl({"-p", port, "params", "get"}).exitCode == 0;
}

QStringList snapshotsIn(const QTemporaryDir &dir)
{
    QStringList paths;
    for (const QString &name : QDir(dir.filePath(QStringLiteral("snapshots"))).entryList(QDir::Files))
        paths.append(dir.filePath(QStringLiteral("snapshots/") + name));
    return paths;
}
}

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void versionAndHelp();
    void usageErrors_data();
    void usageErrors();
    void portsListExtraPortsFirst();
    void missingPortExitsThree();
    void info_data();
    void info();
    void saveDiffLoadRoundTrip();
    void loadRunsRestartingWritesLastEachWaitedFor();
    void loadFinishesTheStepInFlight_data();
    void loadFinishesTheStepInFlight();
    void secondInterruptStopsAtOnceAndTheNextLoadRepairs();
    void lostPortLeavesTheRestartOwed();
    void loadWithoutYesRefusesWhenStdinIsNoTerminal();
    void loadInterruptedAtItsQuestionWritesNothing();
    void badParameterFiles_data();
    void badParameterFiles();
    void fileForAnotherFormIsRefused();
    void languageFollowsConfigurationThenLocale();
    void upgradeWritesTheImage();
    void upgradeFailures_data();
    void upgradeFailures();
    void upgradeKeepsASnapshot_data();
    void upgradeKeepsASnapshot();
    void upgradeWithoutParameterBlockTakesNoSnapshot();
    void interruptedUpgradeLeavesBootloader_data();
    void interruptedUpgradeLeavesBootloader();
    void monitorJson_data();
    void monitorJson();
    void monitorText();
    void monitorEnds_data();
    void monitorEnds();
    void monitorEndsOnInterrupt_data();
    void monitorEndsOnInterrupt();
    void monitorEndsWhenItsReaderGoes();
    void longestTimeoutIsTaken();
    void terminalShowsWhatARedirectionGets();
    void writesBeyondTheFileSizeLimitAreReported_data();
    void writesBeyondTheFileSizeLimitAreReported();
    void calibrateAccelWalksTheSixFaces();
    void calibrateIsAcknowledged_data();
    void calibrateIsAcknowledged();
    void calibrateSilentController_data();
    void calibrateSilentController();
};

void TestCli::versionAndHelp()
{
    const Run version = runCtl({QStringLiteral("--version")});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out.trimmed(), QStringLiteral("tavoxctl ") + tavoxVersion());

    const Run help = runCtl({QStringLiteral("--help")});
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
    const Run run = runCtl(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestCli::portsListExtraPortsFirst()
{
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("TAVOX_EXTRA_PORTS"), QStringLiteral("/tmp/tavox-b, /tmp/tavox-a"));
    const Run run = runCtl({QStringLiteral("ports")}, environment);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.split(QLatin1Char('\n')).mid(0, 2), (QStringList{"/tmp/tavox-b", "/tmp/tavox-a"}));
}

void TestCli::missingPortExitsThree()
{
    const Run run = runCtl({QStringLiteral("-p"), QStringLiteral("/dev/tavox-no-such-port"), QStringLiteral("info")});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains(QLatin1String("cannot open port /dev/tavox-no-such-port")), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
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

    const Run text = runOn(sim, {QStringLiteral("info")});
    QCOMPARE(text.exitCode, 0);
    QVERIFY2(text.out.contains(QRegularExpression(QStringLiteral("^firmware +2\\.3\\.4\\.5$"),
                                                  QRegularExpression::MultilineOption)), qPrintable(text.out));
    QVERIFY(text.out.contains(QRegularExpression(QStringLiteral("^paramForm +") + form + QLatin1Char('$'),
                                                 QRegularExpression::MultilineOption)));

    const Run json = runOn(sim, {QStringLiteral("info"), QStringLiteral("--json")});
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

void TestCli::saveDiffLoadRoundTrip()
{
    SimProcess sim({"--verbose"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("unit.json"));
    QCOMPARE(runOn(sim, {"params", "save", saved}).exitCode, 0);
    const QJsonObject original = jsonOf(QString::fromUtf8(readAll(saved)));
    const QJsonObject params = original.value("params").toObject();
    const int sbusPitch = params.value("sbus").toObject().value("pitchChannel").toInt();
    const int camera = params.value("camera").toObject().value("position").toInt();
    const int fpvMode = params.value("gimbal").toObject().value("fpvMode").toInt();

    const QString wanted = dir.filePath(QStringLiteral("wanted.json"));
    QVERIFY(writeFile(wanted, withValues(readAll(saved), {{"sbus.pitchChannel", sbusPitch % 16 + 1},
                                                          {"camera.position", 1 - camera},
                                                          {"gimbal.fpvMode", (fpvMode + 1) % 8}})));

    const Run diff = runOn(sim, {"params", "diff", wanted});
    QCOMPARE(diff.exitCode, 0);
    const QStringList changes = diff.out.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(changes.size(), 3);
    QVERIFY(changes.contains(QStringLiteral("sbus.pitchChannel: %1 -> %2").arg(sbusPitch).arg(sbusPitch % 16 + 1)));

    const Run dryRun = runOn(sim, {"params", "load", wanted, "--dry-run"});
    QCOMPARE(dryRun.exitCode, 0);
    QCOMPARE(dryRun.out, diff.out);
    QCOMPARE(commandsReceived(sim), 0);

    const Run load = runOn(sim, {"params", "load", wanted, "--yes"});
    QVERIFY2(load.exitCode == 0, qPrintable(load.err));
    QVERIFY(load.err.contains(QLatin1String("written and verified")));

    const Run after = runOn(sim, {"params", "get", "--json"});
    QCOMPARE(jsonOf(after.out).value("params"), jsonOf(QString::fromUtf8(readAll(wanted))).value("params"));

    const int writes = commandsReceived(sim);
    const Run again = runOn(sim, {"params", "load", wanted, "--yes"});
    QCOMPARE(again.exitCode, 0);
    QVERIFY(again.out.isEmpty());
    QVERIFY(again.err.contains(QLatin1String("No differences")));
    QCOMPARE(commandsReceived(sim), writes);
}

// A file that differs from the controller in every field: the writes that
// leave the controller running go first; then, one receiver at a time, its
// channels with the activation, restart and reads that follow; the torque and
// its restart last, and the verifying read only once the controller has had
// time to come back.
void TestCli::loadRunsRestartingWritesLastEachWaitedFor()
{
    SimProcess sim({"--param-form", "photo", "--hb-rate", "0", "--verbose"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("every-field.json"));
    QCOMPARE(runOn(sim, {"params", "save", path}).exitCode, 0);
    ParamFile::Contents contents;
    ParamFile::Problem problem;
    QVERIFY(ParamFile::load(path, contents, problem));
    contents.block = withFieldsChanged(contents.block, contents.form);
    QString error;
    QVERIFY2(ParamFile::save(path, contents, error), qPrintable(error));
    const int before = simReceivedFrames(sim.errorOutput()).size();

    const Run load = runOn(sim, {"params", "load", path, "--yes"});
    QVERIFY2(load.exitCode == 0, qPrintable(load.err));
    QVERIFY(load.err.contains(QLatin1String("written and verified")));
    const QVector<SimReceivedFrame> received = simReceivedFrames(sim.errorOutput()).mid(before);
    QCOMPARE(requestSequence(received), QStringLiteral("C0 A2 A3 A4 A6 A0 90 91 C0 A1 90 91 C0 A5 91 C0"));
    // Half the wait at least, however late a busy machine lets the simulator read either frame.
    const qint64 settledMs = msFromLastRebootToRead(received);
    QVERIFY2(settledMs >= RestartSettleMs / 2, qPrintable(QString::number(settledMs)));
}

void TestCli::loadFinishesTheStepInFlight_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl-C") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// Interrupted while the controller takes its new SBUS channels, the load still
// activates and restarts it, then stops short of the torques and says so. Run
// again, it has the torques alone to write: the channels are done.
void TestCli::loadFinishesTheStepInFlight()
{
    QFETCH(int, signal);
    SimProcess sim(RestartingSim);
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QString wanted = dir.filePath(QStringLiteral("wanted.json"));
    QVERIFY(saveWithFieldsRaised(sim, wanted, {"sbus.pitchChannel", "gimbal.pitchMaxTorque"}));
    const int before = simReceivedFrames(sim.errorOutput()).size();

    RunningCtl load(ctl, {"-p", sim.portName(), "params", "load", wanted, "--yes"});
    QVERIFY(load.waitForMessage(QStringLiteral("Writing the SBUS channels")));
    const QString lock = serialLockFile(sim.portName());
    load.signal(signal);
    QCOMPARE(load.finish(), 130);
    QVERIFY2(load.messages().contains(QLatin1String("  written: the SBUS channels and directions\n"
                                                    "  not written: the maximum torques\n")),
             qPrintable(load.messages()));
    const QString sequence = requestSequence(simReceivedFrames(sim.errorOutput()).mid(before));
    QVERIFY2(sequence.startsWith(QLatin1String("C0 A0 90 91")) && !sequence.contains(QLatin1String("A5")),
             qPrintable(sequence));
    QVERIFY(portReleased(lock, sim.portName()));

    const Run again = runCtl({"-p", sim.portName(), "params", "load", wanted, "--dry-run"}, englishEnvironment(), ctl);
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.out.count(QLatin1Char('\n')), 1);
    QVERIFY2(again.out.startsWith(QLatin1String("gimbal.pitchMaxTorque: ")), qPrintable(again.out));
    QVERIFY2(!again.err.contains(QLatin1String("An earlier load")), qPrintable(again.err));
}

// The channels are on the controller, their activation is not: the values read
// back as the file's, and only the record of the first load tells the second
// that it must activate them, whether it names the port by a link to it (as
// /dev/serial/by-id/… is) or by the device itself. The simulator is held still
// while the load is interrupted, so that nothing but the second Ctrl-C can end
// the step.
void TestCli::secondInterruptStopsAtOnceAndTheNextLoadRepairs()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    SimProcess sim(RestartingSim + QStringList{"--link", link});
    QVERIFY(sim.start());
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QString wanted = dir.filePath(QStringLiteral("wanted.json"));
    QVERIFY(saveWithFieldsRaised(sim, wanted, {"sbus.pitchChannel"}));

    RunningCtl load(ctl, {"-p", link, "params", "load", wanted, "--yes"});
    QVERIFY(load.waitForMessage(QStringLiteral("Writing the SBUS channels")));
    QTRY_VERIFY_WITH_TIMEOUT(sim.errorOutput().contains(QLatin1String("RX command 0xA0")), ProcessWaitMs);
    const QString lock = serialLockFile(sim.portName());
    const pid_t simPid = pid_t(sim.process().processId());
    ::kill(simPid, SIGSTOP);
    load.signal(SIGINT);
    QVERIFY(load.waitForMessage(QStringLiteral("interrupt again (Ctrl-C) to stop at once")));
    load.signal(SIGINT);
    const int exitCode = load.finish();
    ::kill(simPid, SIGCONT);
    QCOMPARE(exitCode, 130);
    QVERIFY2(load.messages().contains(QLatin1String("may hold the new values of the SBUS channels and directions")),
             qPrintable(load.messages()));
    QVERIFY(load.messages().contains(QStringLiteral("Run the same load again to repair it")));
    QVERIFY(load.messages().contains(QStringLiteral("params load ") + wanted + QStringLiteral(" --yes")));
    QVERIFY(portReleased(lock, sim.portName()));

    const Run again = runCtl({"-p", sim.portName(), "params", "load", wanted, "--yes"}, englishEnvironment(), ctl);
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QVERIFY2(again.err.contains(QLatin1String("Writing the SBUS channels")), qPrintable(again.err));
    QVERIFY(again.err.contains(QLatin1String("written and verified")));
    const QString sequence = requestSequence(simReceivedFrames(sim.errorOutput()));
    QVERIFY2(sequence.endsWith(QLatin1String("A0 90 91 C0")), qPrintable(sequence));

    const Run third = runCtl({"-p", link, "params", "load", wanted, "--yes"}, englishEnvironment(), ctl);
    QVERIFY2(third.exitCode == 0 && third.err.contains(QLatin1String("No differences")), qPrintable(third.err));
    QVERIFY(!third.err.contains(QLatin1String("Writing")));
}

// The controller goes away while it takes its new channels (a pulled cable)
// and comes back as another device behind the same link, as a replugged
// adapter does behind /dev/serial/by-id: the next load through the link owes
// it the activation.
void TestCli::lostPortLeavesTheRestartOwed()
{
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    const QString wanted = dir.filePath(QStringLiteral("wanted.json"));
    {
        SimProcess first({"--hb-rate", "0", "--link", link});
        QVERIFY(first.start());
        QVERIFY(saveWithFieldsRaised(first, wanted, {"sbus.pitchChannel"}));
        RunningCtl load(ctl, {"-p", link, "params", "load", wanted, "--yes"});
        QVERIFY(load.waitForMessage(QStringLiteral("Writing the SBUS channels")));
        first.process().kill();
        QCOMPARE(load.finish(), 3);
        QVERIFY2(load.messages().contains(QLatin1String("may hold the new values of the SBUS channels and directions")),
                 qPrintable(load.messages()));
    }
    SimProcess second({"--hb-rate", "0", "--link", link});
    QVERIFY(second.start());
    const Run dryRun = runCtl({"-p", link, "params", "load", wanted, "--dry-run"}, englishEnvironment(), ctl);
    QCOMPARE(dryRun.exitCode, 0);
    QVERIFY2(dryRun.err.contains(QLatin1String("An earlier load on this port may not have applied the SBUS channels "
                                               "and directions")),
             qPrintable(dryRun.err));
}

void TestCli::loadWithoutYesRefusesWhenStdinIsNoTerminal()
{
    SimProcess sim({"--verbose"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("unit.json"));
    QCOMPARE(runOn(sim, {"params", "save", saved}).exitCode, 0);
    QVERIFY(writeFile(saved, withValues(readAll(saved), {{"gimbal.pitchMaxTorque", 1234}})));

    const Run run = runOn(sim, {"params", "load", saved});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QLatin1String("--yes")), qPrintable(run.err));
    QCOMPARE(commandsReceived(sim), 0);
}

// On a terminal the load asks before writes that restart the controller;
// Ctrl-C is no answer to go on with.
void TestCli::loadInterruptedAtItsQuestionWritesNothing()
{
    SimProcess sim({"--verbose", "--hb-rate", "0"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString wanted = dir.filePath(QStringLiteral("wanted.json"));
    QVERIFY(saveWithFieldsRaised(sim, wanted, {"sbus.pitchChannel"}));
    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());

    RunningCtl load(tavoxctlProgram(), {"-p", sim.portName(), "params", "load", wanted}, terminal.slaveName());
    QVERIFY(load.waitForMessage(QStringLiteral("Continue? [y/N]")));
    load.signal(SIGINT);
    QCOMPARE(load.finish(), 130);
    QVERIFY2(load.messages().contains(QLatin1String("interrupted; nothing was written")), qPrintable(load.messages()));
    QCOMPARE(commandsReceived(sim), 0);
}

void TestCli::badParameterFiles_data()
{
    // How a saved file is spoiled: "whole:TEXT" replaces it, "KEY=VALUE" gives the
    // first KEY another value, "KEY>NAME" renames the first KEY, "missing" removes the file.
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("message");
    QTest::newRow("malformed") << "whole:{\n  \"format\": \"tavox-params\",\n  \"schemaVersion\": 1,,\n}"
                               << "line 3: not valid JSON";
    QTest::newRow("not an object") << "whole:[1, 2]" << "line 1: must be a JSON object";
    QTest::newRow("missing field") << "whole:{\"format\": \"tavox-params\", \"schemaVersion\": 1,\n"
                                      "\"paramForm\": \"crsf\",\n\"params\": {}}"
                                   << "line 3: field params.sbus.pitchChannel: missing";
    QTest::newRow("out of range") << "pitchMaxTorque=70000"
                                  << "field params.gimbal.pitchMaxTorque: value 70000 out of range 0..65535";
    QTest::newRow("negative") << "pitchChannel=-1" << "field params.crsf.pitchChannel: value -1 out of range 0..255";
    QTest::newRow("direction out of range") << "yawDirection=2"
                                            << "field params.crsf.yawDirection: value 2 out of range 0..1";
    QTest::newRow("not a number") << "position=\"top\"" << "field params.camera.position: must be a whole number";
    QTest::newRow("fraction") << "mode=1.5" << "field params.crsf.mode: must be a whole number";
    QTest::newRow("unknown field") << "fpvMode>followMode" << "field params.gimbal.followMode: unknown field";
    QTest::newRow("other format") << "format=\"other\"" << "field format: not a TAVOX parameter file";
    QTest::newRow("newer schema") << "schemaVersion=7" << "field schemaVersion: schema version 7 is newer";
    QTest::newRow("unknown form") << "paramForm=\"full\"" << "field paramForm: must be base, photo or crsf";
    QTest::newRow("missing file") << "missing" << "no such file";
}

void TestCli::badParameterFiles()
{
    QFETCH(QString, edit);
    QFETCH(QString, message);
    SimProcess sim({"--verbose"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unit.json"));
    QCOMPARE(runOn(sim, {"params", "save", path}).exitCode, 0);
    QString text = QString::fromUtf8(readAll(path));
    int editedLine = 0;
    if (edit == QLatin1String("missing")) {
        QVERIFY(QFile::remove(path));
    } else if (edit.startsWith(QLatin1String("whole:"))) {
        text = edit.mid(6);
    } else {
        const bool rename = edit.contains(QLatin1Char('>'));
        const QStringList parts = edit.split(QRegularExpression(QStringLiteral("[=>]")));
        const QRegularExpression key(QStringLiteral("\"%1\": ([^,\n]+)").arg(parts.at(0)));
        const QRegularExpressionMatch match = key.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        editedLine = text.left(match.capturedStart()).count(QLatin1Char('\n')) + 1;
        text.replace(match.capturedStart(), match.capturedLength(),
                     rename ? QStringLiteral("\"%1\": %2").arg(parts.at(1), match.captured(1))
                            : QStringLiteral("\"%1\": %2").arg(parts.at(0), parts.at(1)));
    }
    if (edit != QLatin1String("missing"))
        QVERIFY(writeFile(path, text.toUtf8()));

    for (const QStringList &command : {QStringList{"params", "diff", path}, QStringList{"params", "load", path, "--yes"}}) {
        const Run run = runOn(sim, command);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        if (editedLine > 0)
            QVERIFY2(run.err.contains(path + QStringLiteral(", line %1:").arg(editedLine)), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }
    QCOMPARE(commandsReceived(sim), 0);
}

void TestCli::fileForAnotherFormIsRefused()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.json"));
    {
        SimProcess photo({"--param-form", "photo"});
        QVERIFY(photo.start());
        QCOMPARE(runOn(photo, {"params", "save", path}).exitCode, 0);
    }
    SimProcess crsf({"--param-form", "crsf", "--verbose"});
    QVERIFY(crsf.start());
    const int formLine = readAll(path).split('\n').indexOf(QByteArray("    \"paramForm\": \"photo\",")) + 1;
    QVERIFY(formLine > 0);
    const Run run = runOn(crsf, {"params", "load", path, "--yes"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("line %1: field paramForm: the file is for parameter form photo, "
                                             "the controller uses crsf").arg(formLine)), qPrintable(run.err));
    QCOMPARE(commandsReceived(crsf), 0);
}

// A copy of the program in a folder of its own keeps its zentaro.cfg beside it.
void TestCli::languageFollowsConfigurationThenLocale()
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("tavoxctl"));
    QVERIFY(QFile::copy(tavoxctlProgram(), copy));
    const QStringList arguments{"-p", "/dev/tavox-no-such-port", "info"};

    QProcessEnvironment chinese = englishEnvironment();
    chinese.insert(QStringLiteral("LC_ALL"), QStringLiteral("zh_CN.UTF-8"));
    QVERIFY(runCtl(arguments, chinese, copy).err.contains(QStringLiteral("无法打开串口")));
    QVERIFY(runCtl(arguments, englishEnvironment(), copy).err.contains(QLatin1String("cannot open port")));

    QVERIFY(writeFile(dir.filePath(QStringLiteral("zentaro.cfg")), "[General]\nlanguage=zh\n"));
    const Run configured = runCtl(arguments, englishEnvironment(), copy);
    QCOMPARE(configured.exitCode, 3);
    QVERIFY(configured.err.contains(QStringLiteral("无法打开串口")));
}

void TestCli::upgradeWritesTheImage()
{
    QTemporaryDir dir;
    const QString received = dir.filePath(QStringLiteral("received.bin"));
    SimProcess sim({"--hb-rate", "0", "--erase-ms", "0", "--save-image", received});
    QVERIFY(sim.start());
    const QByteArray image = randomImage(200 * 1024);
    const QString path = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(path, image));

    const Run run = runOn(sim, {"upgrade", path});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(run.err.contains(QLatin1String("upgrade: 50 %")));
    QVERIFY(run.err.contains(QLatin1String("Upgrade completed")));
    QTRY_COMPARE(readAll(received), image);
}

void TestCli::upgradeFailures_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("silent controller") << QStringList{"--fault-silent-after", "3"} << 5 << "Upgrade timed out";
    QTest::newRow("verification fails") << QStringList{"--fault-verify", "md5"} << 6
                                        << "Upgrade verification failed: sig=OK, md5=FAIL";
    QTest::newRow("size refused") << QStringList{"--fault-size-exceeded"} << 4 << "Firmware size exceeded";
    QTest::newRow("port hangs up") << QStringList{"--fault-hangup-after", "500"} << 3 << "serial port closed";
}

void TestCli::upgradeFailures()
{
    QFETCH(QStringList, faults);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    SimProcess sim(QStringList{"--hb-rate", "0", "--erase-ms", "0", "--baud", "115200"} + faults);
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(path, randomImage(64 * 1024)));

    const Run run = runOn(sim, {"upgrade", path});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!run.err.contains(QLatin1String("Upgrade completed")));
}

void TestCli::upgradeKeepsASnapshot_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<bool>("changed");
    QTest::newRow("parameters reset") << QStringList{"--reset-params-on-upgrade"} << true;
    QTest::newRow("parameters kept") << QStringList{} << false;
}

// The camera position moved away from the firmware's default first, so that
// an upgrade that resets the parameters changes them.
void TestCli::upgradeKeepsASnapshot()
{
    QFETCH(QStringList, simulator);
    QFETCH(bool, changed);
    SimProcess sim(QStringList{"--hb-rate", "0", "--erase-ms", "0", "--reboot-ms", "100"} + simulator);
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QString tuned = dir.filePath(QStringLiteral("tuned.json"));
    QVERIFY(saveWithFieldsRaised(sim, tuned, {"camera.position"}));
    QCOMPARE(runOn(sim, {"params", "load", tuned}).exitCode, 0);
    const QString image = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(image, randomImage(8 * 1024)));

    const Run run = runCtl({"-p", sim.portName(), "upgrade", image}, englishEnvironment(), ctl);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QStringList snapshots = snapshotsIn(dir);
    QCOMPARE(snapshots.size(), 1);
    QVERIFY2(run.err.contains(QStringLiteral("Parameters before the upgrade saved to ") + snapshots.first()),
             qPrintable(run.err));
    QCOMPARE(jsonOf(QString::fromUtf8(readAll(snapshots.first()))).value("params"),
             jsonOf(QString::fromUtf8(readAll(tuned))).value("params"));
    const QString restore = QStringLiteral("tavoxctl -p %1 -b 921600 params load %2").arg(sim.portName(), snapshots.first());
    QCOMPARE(run.err.contains(restore), changed);
    QCOMPARE(run.err.contains(QLatin1String("The parameters are the same as before the upgrade")), !changed);
}

// A controller that answers no read (one waiting in its bootloader) is
// upgraded all the same, and the tool says it kept nothing.
void TestCli::upgradeWithoutParameterBlockTakesNoSnapshot()
{
    SimProcess sim({"--hb-rate", "0", "--erase-ms", "0", "--fault-silent-params-after", "0"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QString image = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(image, randomImage(8 * 1024)));

    const Run run = runCtl({"-p", sim.portName(), "upgrade", image}, englishEnvironment(), ctl);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("no snapshot of its parameters was taken")), qPrintable(run.err));
    QVERIFY(snapshotsIn(dir).isEmpty());
}

void TestCli::interruptedUpgradeLeavesBootloader_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl-C") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// SIGHUP is a closed terminal or a dropped SSH session.
void TestCli::interruptedUpgradeLeavesBootloader()
{
    QFETCH(int, signal);
    SimProcess sim({"--hb-rate", "0", "--erase-ms", "0", "--baud", "115200", "--verbose"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(path, randomImage(128 * 1024)));

    RunningCtl upgrade(tavoxctlProgram(), {"-p", sim.portName(), "upgrade", path});
    QVERIFY(upgrade.waitForMessage(QStringLiteral("upgrade: 10 %")));
    const QString lock = serialLockFile(sim.portName());
    upgrade.signal(signal);
    QCOMPARE(upgrade.finish(), 130);
    QVERIFY2(upgrade.messages().contains(QLatin1String("stays in its bootloader")), qPrintable(upgrade.messages()));
    QVERIFY(upgrade.messages().contains(QLatin1String("run the upgrade again")));
    QVERIFY(!sim.errorOutput().contains(QLatin1String("RX soft reset")));
    QVERIFY(!sim.errorOutput().contains(QLatin1String("RX stop upgrade")));
    QVERIFY(portReleased(lock, sim.portName()));
}

void TestCli::monitorJson_data()
{
    QTest::addColumn<QStringList>("line");
    QTest::addColumn<bool>("noisy");
    QTest::newRow("clean line") << QStringList{} << false;
    QTest::newRow("noisy line") << QStringList{"--noise-rate", "0.2"} << true;
}

// Values within what the simulator sends: attitude swings of 15, 4 and 30
// degrees, an IMU between 32 and 45 degrees, receivers around their centres,
// 20 heartbeats a second.
void TestCli::monitorJson()
{
    QFETCH(QStringList, line);
    QFETCH(bool, noisy);
    SimProcess sim(line);
    QVERIFY(sim.start());

    const Run run = runOn(sim, {"monitor", "--seconds", "2", "--json"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QVector<QJsonObject> reports = jsonLines(run.out);
    QCOMPARE(reports.size(), 2);
    for (const QJsonObject &report : reports) {
        const QJsonObject attitude = report.value("attitude").toObject();
        QVERIFY(within(attitude.value("pitch"), -15, 15));
        QVERIFY(within(attitude.value("roll"), -4, 4));
        QVERIFY(within(attitude.value("yaw"), -30, 30));
        QCOMPARE(report.value("joints").toObject().keys(), (QStringList{"inner", "middle", "outer"}));
        QVERIFY(within(report.value("imuTemperature"), 32, 45));
        const QJsonObject status = report.value("status").toObject();
        QCOMPARE(status.size(), 8);
        QVERIFY(status.value("attitudeReady").isBool());
        QVERIFY(within(status.value("stateMachine"), 1, 3));
        const QJsonObject receivers = report.value("receivers").toObject();
        QVERIFY(channelsWithin(receivers.value("sbus").toObject(), 5, 692, 1292));
        QVERIFY(channelsWithin(receivers.value("pwm").toObject(), 3, 1250, 1750));
        QVERIFY(channelsWithin(receivers.value("crsf").toObject(), 5, 692, 1292));

        const QJsonObject link = report.value("link").toObject();
        // A busy machine bunches frames or thins them out within one second; only an order of magnitude is fixed.
        QVERIFY2(within(link.value("framesPerSecond"), 1, 200), qPrintable(run.out));
        QVERIFY(within(link.value("bytesPerSecond"), 10 * 74, 1e6));
        QVERIFY(within(link.value("sinceHeartbeatMs"), 0, 5000));
        QVERIFY(link.value("frames").toDouble() >= 1);
        const double failures = link.value("crcFailures").toDouble() + link.value("headerSumFailures").toDouble()
                                + link.value("resyncBytes").toDouble();
        if (!noisy)
            QCOMPARE(failures, 0.0);
    }
    const QJsonObject last = reports.last().value("link").toObject();
    if (noisy)
        QVERIFY2(last.value("resyncBytes").toDouble() > 0, qPrintable(run.out));
    QVERIFY(last.value("frames").toDouble() > reports.first().value("link").toObject().value("frames").toDouble());
}

void TestCli::monitorText()
{
    SimProcess sim({"--hb-len", "45"});
    QVERIFY(sim.start());
    const Run run = runOn(sim, {"monitor", "--seconds", "1"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QStringList lines = run.out.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines.at(0).startsWith(QLatin1String("pitch ")) && lines.at(0).contains(QStringLiteral(" °C")),
             qPrintable(run.out));
    QVERIFY(lines.at(2).contains(QRegularExpression(QStringLiteral("^  receivers SBUS( \\d+){5}   PWM 0 0 0$"))));
    QVERIFY(lines.at(3).contains(QRegularExpression(QStringLiteral(
        "^  link [\\d.]+ frames/s .* CRC failures 0 .* last heartbeat \\d+ ms ago$"))));
}

void TestCli::monitorEnds_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no heartbeat") << QStringList{"--hb-rate", "0"} << 5 << "waiting for a heartbeat";
    QTest::newRow("port lost") << QStringList{"--fault-hangup-after", "1500"} << 3 << "serial port was lost";
}

void TestCli::monitorEnds()
{
    QFETCH(QStringList, simulator);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    SimProcess sim(simulator);
    QVERIFY(sim.start());
    const Run run = runOn(sim, {"-t", "1", "monitor", "--json"});
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!jsonLines(run.out).isEmpty() || run.out.isEmpty());
}

void TestCli::monitorEndsOnInterrupt_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl-C") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestCli::monitorEndsOnInterrupt()
{
    QFETCH(int, signal);
    SimProcess sim;
    QVERIFY(sim.start());
    QProcess ctl;
    ctl.setProcessEnvironment(englishEnvironment());
    ctl.start(tavoxctlProgram(), {"-p", sim.portName(), "monitor", "--json"});
    QString out;
    QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(ctl.readAllStandardOutput())).contains(QLatin1Char('\n')),
                             ProcessWaitMs);
    const QString lock = serialLockFile(sim.portName());
    ::kill(pid_t(ctl.processId()), signal);
    QVERIFY(ctl.waitForFinished(ProcessWaitMs));
    QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ctl.exitCode(), 0);
    QVERIFY(!jsonLines(out + QString::fromUtf8(ctl.readAllStandardOutput())).isEmpty());
    QVERIFY(portReleased(lock, sim.portName()));
}

// `tavoxctl monitor | head -n 1`: the report after the one head took finds the
// pipe closed and ends the monitor as Ctrl-C does, with its port closed.
void TestCli::monitorEndsWhenItsReaderGoes()
{
    SimProcess sim;
    QVERIFY(sim.start());
    QTemporaryDir dir;
    QProcessEnvironment environment = englishEnvironment();
    environment.insert(QStringLiteral("STATUS"), dir.filePath(QStringLiteral("status")));
    QProcess pipeline;
    pipeline.setProcessEnvironment(environment);
    pipeline.start(QStringLiteral("sh"), {"-c", "{ \"$0\" \"$@\"; echo $? > \"$STATUS\"; } | head -n 1", tavoxctlProgram(),
                                          "-p", sim.portName(), "monitor", "--json"});
    QVERIFY(QTest::qWaitFor([&] { return pipeline.canReadLine(); }, ProcessWaitMs));
    const QString lock = serialLockFile(sim.portName());
    QVERIFY(pipeline.waitForFinished(ProcessWaitMs));
    QCOMPARE(jsonLines(QString::fromUtf8(pipeline.readAll())).size(), 1);
    QCOMPARE(readAll(dir.filePath(QStringLiteral("status"))).trimmed(), QByteArray("0"));
    QVERIFY(portReleased(lock, sim.portName()));
}

// A day, the longest timeout, is a day: the monitor waits for its heartbeat
// instead of giving up at once.
void TestCli::longestTimeoutIsTaken()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const Run run = runOn(sim, {"-t", "86400", "monitor", "--seconds", "1", "--json"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(jsonLines(run.out).size(), 1);
}

// Without --verbose the bridge's message log and its diagnostic lines appear
// nowhere, on a terminal as in a pipe.
void TestCli::terminalShowsWhatARedirectionGets()
{
    SimProcess sim;
    QVERIFY(sim.start());
    const Run redirected = runOn(sim, {"info"});
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
    const Run run = runProgram(QStringLiteral("sh"), {"-c", script, tavoxctlProgram()}, environment, RunTimeoutMs);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message.replace(QLatin1String("$TARGET"), target)), qPrintable(run.err));
}

void TestCli::calibrateAccelWalksTheSixFaces()
{
    SimProcess sim({"--accel-step-ms", "50", "--verbose"});
    QVERIFY(sim.start());
    const Run run = runOn(sim, {"calibrate", "accel"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.err.trimmed().split(QLatin1Char('\n')),
             (QStringList{"face 1 of 6: Accel Calib: UP", "face 2 of 6: Accel Calib: FRONT", "face 3 of 6: Accel Calib: DOWN",
                          "face 4 of 6: Accel Calib: BACK", "face 5 of 6: Accel Calib: LEFT",
                          "face 6 of 6: Accel Calib: RIGHT", "Accel Calib: Calculating...", "Accel Calib succeeded"}));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(commandsReceived(sim), 1);
}

void TestCli::calibrateIsAcknowledged_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("subCommand");
    QTest::addColumn<QString>("name");
    QTest::newRow("gyro") << "gyro" << "9D" << "Gyro Bias Update";
    QTest::newRow("hall") << "hall" << "8D" << "Hall Calib";
    QTest::newRow("linear") << "linear" << "9B" << "Linear Calib";
    QTest::newRow("zero") << "zero" << "8E" << "Zero Calib";
}

void TestCli::calibrateIsAcknowledged()
{
    QFETCH(QString, kind);
    QFETCH(QString, subCommand);
    QFETCH(QString, name);
    SimProcess sim({"--verbose"});
    QVERIFY(sim.start());
    const Run run = runOn(sim, {"calibrate", kind});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.err.trimmed(), name + QStringLiteral(" succeeded"));
    QCOMPARE(commandsReceived(sim), 1);
    QVERIFY2(sim.errorOutput().contains(QStringLiteral("RX command 0x") + subCommand), qPrintable(sim.errorOutput()));
}

void TestCli::calibrateSilentController_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::newRow("accel") << "accel" << "Accel Calib";
    QTest::newRow("gyro") << "gyro" << "Gyro Bias Update";
    QTest::newRow("zero") << "zero" << "Zero Calib";
}

// A port with nothing answering on it: the command goes out, no reply comes.
void TestCli::calibrateSilentController()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    PseudoTerminal silent;
    QVERIFY(silent.isValid());
    const Run run = runCtl({"-p", silent.slaveName(), "-t", "1", "calibrate", kind});
    QCOMPARE(run.exitCode, 5);
    QVERIFY2(run.err.contains(QStringLiteral("no reply from the controller (waiting for %1)").arg(name)),
             qPrintable(run.err));
    QVERIFY(!run.err.contains(QLatin1String("succeeded")));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
