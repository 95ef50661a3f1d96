// tavoxctl params, the real program against the real simulated controller and real files.
#include "device/ParamFile.h"
#include "support/CtlRun.h"
#include "support/ParamChanges.h"
#include "support/PseudoTerminal.h"
#include "support/SavedParams.h"
#include "support/SerialLock.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
// The simulator for loads that restart it: its frame log, no heartbeats to crowd it, quick restarts.
const QStringList RestartingSim{"--verbose", "--hb-rate", "0", "--reboot-ms", "100"};

}

class TestCliParams : public QObject
{
    Q_OBJECT

private slots:
    void saveDiffLoadRoundTrip();
    void loadRunsRestartingWritesLastEachWaitedFor();
    void loadEndsWhenTheControllerDoesNotComeBack();
    void loadFinishesTheStepInFlight();
    void loadStoppedMidStepIsRepairedUnderAnotherName();
    void badParameterFiles_data();
    void badParameterFiles();
};

// Diff and a dry run show the same changes and write nothing; so does a load
// that may not restart the controller (no --yes and no terminal, a question
// answered with Ctrl-C, a file of another form); then the load writes them,
// and a second load finds nothing to do.
void TestCliParams::saveDiffLoadRoundTrip()
{
    SimProcess sim({"--verbose", "--hb-rate", "0"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("unit.json"));
    QCOMPARE(runOn(sim, {"params", "save", saved}).exitCode, 0);
    const QJsonObject params = jsonOf(QString::fromUtf8(readFile(saved))).value("params").toObject();
    const int sbusPitch = params.value("sbus").toObject().value("pitchChannel").toInt();
    const int camera = params.value("camera").toObject().value("position").toInt();
    const int fpvMode = params.value("gimbal").toObject().value("fpvMode").toInt();
    const QString wanted = dir.filePath(QStringLiteral("wanted.json"));
    QVERIFY(writeFile(wanted, withValues(readFile(saved), {{"sbus.pitchChannel", sbusPitch % 16 + 1},
                                                          {"camera.position", 1 - camera},
                                                          {"gimbal.fpvMode", (fpvMode + 1) % 8}})));

    const ProgramRun diff = runOn(sim, {"params", "diff", wanted});
    QCOMPARE(diff.exitCode, 0);
    QCOMPARE(diff.out.count(QLatin1Char('\n')), 3);
    QVERIFY(diff.out.contains(QStringLiteral("sbus.pitchChannel: %1 -> %2").arg(sbusPitch).arg(sbusPitch % 16 + 1)));
    QCOMPARE(runOn(sim, {"params", "load", wanted, "--dry-run"}).out, diff.out);
    const ProgramRun unasked = runOn(sim, {"params", "load", wanted});
    QCOMPARE(unasked.exitCode, 2);
    QVERIFY2(unasked.err.contains(QLatin1String("--yes")), qPrintable(unasked.err));

    PseudoTerminal terminal;
    RunningCtl asked(tavoxctlProgram(), {"-p", sim.portName(), "params", "load", wanted}, terminal.slaveName());
    QVERIFY(asked.waitForMessage(QStringLiteral("Continue? [y/N]")));
    asked.signal(SIGINT);
    QCOMPARE(asked.finish(), 130);
    QVERIFY2(asked.messages().contains(QLatin1String("interrupted; nothing was written")), qPrintable(asked.messages()));

    ParamFile::Contents otherForm;
    ParamFile::Problem problem;
    QVERIFY(ParamFile::load(wanted, otherForm, problem));
    otherForm.form = otherForm.form == ParamBlockForm::Base ? ParamBlockForm::Crsf : ParamBlockForm::Base;
    const QString foreign = dir.filePath(QStringLiteral("foreign.json"));
    QString error;
    QVERIFY2(ParamFile::save(foreign, otherForm, error), qPrintable(error));
    QCOMPARE(runOn(sim, {"params", "load", foreign, "--yes"}).exitCode, 2);
    QCOMPARE(commandsReceived(sim), 0);

    const ProgramRun load = runOn(sim, {"params", "load", wanted, "--yes"});
    QVERIFY2(load.exitCode == 0 && load.err.contains(QLatin1String("written and verified")), qPrintable(load.err));
    const ProgramRun after = runOn(sim, {"params", "get", "--json"});
    QCOMPARE(jsonOf(after.out).value("params"), jsonOf(QString::fromUtf8(readFile(wanted))).value("params"));

    const int writes = commandsReceived(sim);
    const ProgramRun again = runOn(sim, {"params", "load", wanted, "--yes"});
    QVERIFY2(again.exitCode == 0 && again.out.isEmpty() && again.err.contains(QLatin1String("No differences")),
             qPrintable(again.err));
    QCOMPARE(commandsReceived(sim), writes);
}

// A file that differs from the controller in every field: the writes that
// leave the controller running go first; then, one receiver at a time, its
// channels with the activation and restart, and a read once the controller is
// back; the torque and its restart last, and the verifying read only once the
// controller's heartbeat has come back.
void TestCliParams::loadRunsRestartingWritesLastEachWaitedFor()
{
    SimProcess sim({"--param-form", "photo", "--verbose"});
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

    const ProgramRun load = runOn(sim, {"params", "load", path, "--yes"});
    QVERIFY2(load.exitCode == 0, qPrintable(load.err));
    const QVector<SimReceivedFrame> received = simReceivedFrames(sim.errorOutput()).mid(before);
    QCOMPARE(requestSequence(received), QStringLiteral("C0 A2 A3 A4 A6 A0 90 91 C0 A1 90 91 C0 A5 91 C0"));
    const RestartReturn back = returnFromLastRestart(sim.errorOutput());
    QVERIFY2(back.heartbeatMs >= 0 && back.readMs >= back.heartbeatMs,
             qPrintable(QStringLiteral("heartbeat %1, read %2").arg(back.heartbeatMs).arg(back.readMs)));
}

// Silent after its activation, the controller never comes back: the load gives
// up once the restart's allowance has passed, writes nothing more, and keeps
// the channels owed.
void TestCliParams::loadEndsWhenTheControllerDoesNotComeBack()
{
    SimProcess sim({"--verbose", "--fault-stay-down"});
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QString wanted = dir.filePath(QStringLiteral("wanted.json"));
    QVERIFY(saveWithFieldsRaised(sim, wanted, {"sbus.pitchChannel", "gimbal.pitchMaxTorque"}));
    const int before = simReceivedFrames(sim.errorOutput()).size();

    const ProgramRun load = runCtl({"-p", sim.portName(), "-t", "1", "params", "load", wanted, "--yes"},
                                   englishEnvironment(), ctl);
    QCOMPARE(load.exitCode, 5);
    QVERIFY2(load.err.contains(QLatin1String("no reply from the controller (waiting for its return from the restart)")),
             qPrintable(load.err));
    QCOMPARE(requestSequence(simReceivedFrames(sim.errorOutput()).mid(before)), QStringLiteral("C0 A0 90 91"));
    QCOMPARE(QDir(dir.filePath(QStringLiteral("pending-restarts"))).entryList(QDir::Files).size(), 1);
}

// Interrupted while the controller takes its new SBUS channels, the load still
// activates and restarts it, then stops short of the torques and says so. Run
// again, it has the torques alone to write: the channels are done.
void TestCliParams::loadFinishesTheStepInFlight()
{
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
    load.signal(SIGTERM);
    QCOMPARE(load.finish(), 130);
    QVERIFY2(load.messages().contains(QLatin1String("  written: the SBUS channels and directions\n"
                                                    "  not written: the maximum torques\n")),
             qPrintable(load.messages()));
    const QString sequence = requestSequence(simReceivedFrames(sim.errorOutput()).mid(before));
    QVERIFY2(sequence.startsWith(QLatin1String("C0 A0 90 91")) && !sequence.contains(QLatin1String("A5")),
             qPrintable(sequence));
    QVERIFY(portReleased(lock, sim.portName()));

    const ProgramRun again = runCtl({"-p", sim.portName(), "params", "load", wanted, "--dry-run"}, englishEnvironment(), ctl);
    QVERIFY2(again.out.startsWith(QLatin1String("gimbal.pitchMaxTorque: ")) && again.out.count(QLatin1Char('\n')) == 1,
             qPrintable(again.out));
    QVERIFY2(!again.err.contains(QLatin1String("An earlier load")), qPrintable(again.err));
}

// The channels are on the controller, their activation is not: the values read
// back as the file's, and only the record of the first load, made through a
// link to the port, tells the second, made by the device's own name, that it
// must activate them. A record owed to another controller and one that cannot
// be read are named, never acted on; a port lost mid-step ends the load as any lost port does.
void TestCliParams::loadStoppedMidStepIsRepairedUnderAnotherName()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    SimProcess sim(RestartingSim + QStringList{"--link", link});
    QVERIFY(sim.start());
    const QString ctl = privateCtl(dir);
    QVERIFY(!ctl.isEmpty());
    const QString wanted = dir.filePath(QStringLiteral("wanted.json"));
    QVERIFY(saveWithFieldsRaised(sim, wanted, {"sbus.pitchChannel"}));

    // Once the simulator has the channels it is held still, so that nothing but the second Ctrl-C ends the step.
    RunningCtl load(ctl, {"-p", link, "params", "load", wanted, "--yes"});
    QVERIFY(load.waitForMessage(QStringLiteral("Writing the SBUS channels")));
    QVERIFY(QTest::qWaitFor([&] { return sim.errorOutput().contains(QLatin1String("RX command 0xA0")); }, ProcessWaitMs));
    const pid_t simPid = pid_t(sim.process().processId());
    ::kill(simPid, SIGSTOP);
    load.signal(SIGINT);
    const bool hurried = load.waitForMessage(QStringLiteral("interrupt again (Ctrl-C) to stop at once"));
    load.signal(SIGINT);
    const int exitCode = load.finish();
    ::kill(simPid, SIGCONT);
    QVERIFY(hurried);
    QCOMPARE(exitCode, 130);
    QVERIFY(portReleased(serialLockFile(sim.portName()), sim.portName()));
    const QString messages = load.messages();
    QVERIFY2(messages.contains(QLatin1String("stopped at once during the write of")), qPrintable(messages));
    QVERIFY2(messages.contains(QLatin1String("may hold the new values of the SBUS channels and directions")),
             qPrintable(messages));
    const QString rerun = QStringLiteral("tavoxctl -p %1 -b 921600 params load %2 --yes").arg(link, wanted);
    QVERIFY(messages.contains(rerun));
    const QDir records(dir.filePath(QStringLiteral("pending-restarts")));
    QCOMPARE(records.entryList(QDir::Files).size(), 1);
    const QString record = records.filePath(records.entryList(QDir::Files).first());
    QVERIFY(writeFile(QString(record).replace(QLatin1String(".json"), QLatin1String("-other.json")),
                      readFile(record).replace("1.0.0.60", "2.0.0.1")));

    const ProgramRun again = runCtl({"-p", sim.portName(), "params", "load", wanted, "--yes"}, englishEnvironment(), ctl);
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QVERIFY2(again.err.contains(QLatin1String("An earlier load on this port may not have applied the SBUS channels")),
             qPrintable(again.err));
    QVERIFY2(again.err.contains(QLatin1String("owes restarts to another controller (firmware 2.0.0.1, boot 1.0.0.2), "
                                              "not to the one answering (firmware 1.0.0.60, boot 1.0.0.2)")),
             qPrintable(again.err));
    QVERIFY(again.err.contains(QStringLiteral("Connect that controller and run:\n  ") + rerun));
    const QString sequence = requestSequence(simReceivedFrames(sim.errorOutput()));
    QVERIFY2(sequence.endsWith(QLatin1String("A0 90 91 C0")), qPrintable(sequence));

    const ProgramRun third = runCtl({"-p", link, "params", "load", wanted, "--yes"}, englishEnvironment(), ctl);
    QVERIFY2(third.exitCode == 0 && third.err.contains(QLatin1String("No differences")), qPrintable(third.err));

    QVERIFY(QFile::link(wanted, record));
    const ProgramRun unread = runCtl({"-p", link, "params", "load", wanted, "--dry-run"}, englishEnvironment(), ctl);
    QVERIFY2(unread.err.contains(QStringLiteral("cannot read the record of restarts owed on this port, %1 (a symbolic link")
                                     .arg(record)),
             qPrintable(unread.err));

    RunningCtl lost(ctl, {"-p", link, "params", "load", wanted, "--yes"});
    QVERIFY(lost.waitForMessage(QStringLiteral("Writing the SBUS channels")));
    sim.process().kill();
    QCOMPARE(lost.finish(), 3);
}

void TestCliParams::badParameterFiles_data()
{
    // How a valid file is spoiled: "whole:TEXT" replaces it, "KEY=VALUE" gives the
    // first KEY another value, "KEY>NAME" renames the first KEY, "missing" removes the file.
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("message");
    QTest::newRow("malformed") << "whole:{\n  \"format\": \"tavox-params\",\n  \"schemaVersion\": 1,,\n}"
                               << "line 3: not valid JSON";
    QTest::newRow("not an object") << "whole:[1, 2]" << "line 1: must be a JSON object";
    QTest::newRow("missing field") << "whole:{\"format\": \"tavox-params\", \"schemaVersion\": 1,\n"
                                      "\"paramForm\": \"crsf\",\n\"params\": {}}"
                                   << "line 3: field params.sbus.pitchChannel: missing";
    QTest::newRow("not a number") << "position=\"top\"" << "field params.camera.position: must be a whole number";
    QTest::newRow("fraction") << "mode=1.5" << "field params.crsf.mode: must be a whole number";
    QTest::newRow("unknown field") << "fpvMode>followMode" << "field params.gimbal.followMode: unknown field";
    QTest::newRow("other format") << "format=\"other\"" << "field format: not a TAVOX parameter file";
    QTest::newRow("newer schema") << "schemaVersion=7" << "field schemaVersion: schema version 7 is newer";
    QTest::newRow("unknown form") << "paramForm=\"full\"" << "field paramForm: must be base, photo or crsf";
    QTest::newRow("missing file") << "missing" << "no such file";
}

// The file is refused before the port is opened: a port that does not exist is never reached.
void TestCliParams::badParameterFiles()
{
    QFETCH(QString, edit);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("unit.json"));
    ParamFile::Contents valid;
    valid.form = ParamBlockForm::Crsf;
    valid.block.pitchMaxTorque = valid.block.rollMaxTorque = valid.block.yawMaxTorque = 1;
    QString text = QString::fromUtf8(ParamFile::toJson(valid));
    int editedLine = 0;
    if (edit.startsWith(QLatin1String("whole:"))) {
        text = edit.mid(6);
    } else if (edit != QLatin1String("missing")) {
        const QStringList parts = edit.split(QRegularExpression(QStringLiteral("[=>]")));
        const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\"%1\": ([^,\n]+)").arg(parts.at(0))).match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        editedLine = text.left(match.capturedStart()).count(QLatin1Char('\n')) + 1;
        text.replace(match.capturedStart(), match.capturedLength(),
                     edit.contains(QLatin1Char('>')) ? QStringLiteral("\"%1\": %2").arg(parts.at(1), match.captured(1))
                                                     : QStringLiteral("\"%1\": %2").arg(parts.at(0), parts.at(1)));
    }
    QVERIFY(edit == QLatin1String("missing") || writeFile(path, text.toUtf8()));

    const ProgramRun run = runCtl({"-p", dir.filePath(QStringLiteral("no-port")), "params", "load", path, "--yes"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(editedLine == 0 || run.err.contains(path + QStringLiteral(", line %1:").arg(editedLine)), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(TestCliParams)
#include "tst_cliparams.moc"
