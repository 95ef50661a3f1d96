#include "bridge/AppBridge.h"
#include "service/ParamBackup.h"
#include "service/ParamRestore.h"
#include "service/ParamWrites.h"
#include "service/UpgradeSnapshot.h"
#include "support/BridgeTestUtils.h"
#include "support/ParamChanges.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int Baud = 921600;

struct Rig
{
    explicit Rig(const QStringList &simArguments = {}) : sim(simArguments) {}

    bool open()
    {
        bridge.setLanguage(QStringLiteral("en"));
        if (!sim.start() || !bridge.openSerial(sim.portName(), Baud))
            return false;
        return QTest::qWaitFor([this] { return bridge.parameters().blocksReceived() > 0
                                               && bridge.tavoxFirmwareVersion() != QLatin1String("-"); }, 10000);
    }

    bool reread()
    {
        const int before = bridge.parameters().blocksReceived();
        return QTest::qWaitFor([&] {
            if (bridge.parameters().blocksReceived() > before)
                return true;
            bridge.tavoxReadParams();
            return QTest::qWaitFor([&] { return bridge.parameters().blocksReceived() > before; }, 1000);
        }, 10000);
    }

    int value(const QString &field) const { return ParamFile::value(bridge.parameters().block(), field); }

    SimProcess sim;
    AppBridge bridge;
};

QStringList fieldsOf(const ParamRestore &restore, int role = ParamRestore::FieldRole)
{
    QStringList column;
    for (int row = 0; row < restore.rowCount(); ++row)
        column << restore.data(restore.index(row), role).toString();
    return column;
}

const QString OtherFirmware = QStringLiteral("2.0.0.1");
const QStringList AnsweringController {QStringLiteral("--verbose"), QStringLiteral("--firmware"), OtherFirmware};
// As a controller in its bootloader: it answers the version query and no parameter read.
const QStringList SilentController = AnsweringController
    + QStringList {QStringLiteral("--fault-silent-params-after"), QStringLiteral("0")};

// The first controller's own tuning, which no other controller starts with.
bool tune(Rig &rig)
{
    rig.bridge.tavoxWriteCameraPosition(1);
    rig.bridge.tavoxWriteGimbalConfig(rig.bridge.tavoxFpvMode(), 44, rig.bridge.tavoxRollMaxSpeed(),
                                      rig.bridge.tavoxYawMaxSpeed());
    return rig.reread() && rig.value(QStringLiteral("camera.position")) == 1
        && rig.value(QStringLiteral("gimbal.pitchMaxSpeed")) == 44;
}

QString firmwareFile(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    return writeFile(path, QByteArray(1000, '\x5a')) ? path : QString();
}

// What `sim` was asked besides parameter reads and the upgrade: every write and restart, by its sub-command.
QString requestsBesidesReads(const SimProcess &sim)
{
    return requestSequence(simReceivedFrames(sim.errorOutput())).remove(QStringLiteral("C0")).simplified();
}

}

class TestBackup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { removeConfigFile(); }
    void restoreRunsRestartingWritesLastEachWaitedFor();
    void backupThenRestoreTheTickedFieldsOnly();
    void restoreWithoutALaterReadVerifiesNothing_data();
    void restoreWithoutALaterReadVerifiesNothing();
    void servicesTakeOnlyTheBlockReadOnThisLink_data();
    void servicesTakeOnlyTheBlockReadOnThisLink();
    void snapshotBeforeUpgradeEndsWithItsLink_data();
    void snapshotBeforeUpgradeEndsWithItsLink();
    void backupBlockOfAnEndedLinkIsNotSaved();
};

void TestBackup::backupThenRestoreTheTickedFieldsOnly()
{
    Rig rig;
    QVERIFY(rig.open());
    QTemporaryDir dir;
    const QString backupPath = dir.filePath(QStringLiteral("backup.json"));
    QString suggested;
    ParamBackup backup(rig.bridge);
    backup.setFileChooser([&](FileDialogMode mode, const QString &, const QString &suggestion, const QString &) {
        suggested = suggestion;
        return mode == FileDialogMode::Save ? backupPath : QString();
    });
    const ParamBlock original = rig.bridge.parameters().block();

    backup.backUp();
    QTRY_VERIFY_WITH_TIMEOUT(!backup.busy(), 10000);
    QCOMPARE(backup.lastPath(), backupPath);
    QVERIFY(suggested.endsWith(QStringLiteral("tavox-params_1.0.0.60_%1.json")
                                   .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")))));
    QCOMPARE(messageTexts(rig.bridge).last(), QStringLiteral("Parameters backed up to %1").arg(backupPath));

    rig.bridge.tavoxWriteGimbalConfig(original.fpvMode, 11, 22, 33);
    rig.bridge.tavoxWriteCameraPosition(1);
    rig.bridge.tavoxWriteTorque(original.pitchMaxTorque + 100, original.rollMaxTorque, original.yawMaxTorque);
    QTRY_COMPARE_WITH_TIMEOUT(rig.bridge.serialLink().session().scheduledCount(), 0, 10000);
    QVERIFY(rig.reread());
    QCOMPARE(rig.value(QStringLiteral("gimbal.rollMaxSpeed")), 22);

    ParamRestore restore(rig.bridge);
    QSignalSpy opened(&restore, &ParamRestore::opened);
    QString opensIn;
    restore.setFileChooser([&](FileDialogMode mode, const QString &, const QString &folder, const QString &) {
        opensIn = folder;
        return mode == FileDialogMode::Open ? backupPath : QString();
    });
    QSignalSpy restored(&restore, &ParamRestore::restored);
    restore.chooseFile();
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opensIn, dir.path());   // where the backup went
    QCOMPARE(fieldsOf(restore), (QStringList {"gimbal.pitchMaxSpeed", "gimbal.rollMaxSpeed", "gimbal.yawMaxSpeed",
                                              "gimbal.pitchMaxTorque", "camera.position"}));
    QCOMPARE(restore.checkedCount(), 5);
    QVERIFY(restore.selectionRestartsController());

    QCOMPARE(fieldsOf(restore, ParamRestore::LabelRole),
             (QStringList {"Pitch Max Speed", "Roll Max Speed", "Yaw Max Speed", "Pitch Torque", "Camera position"}));
    QCOMPARE(restore.data(restore.index(4), ParamRestore::DeviceTextRole).toString(), QStringLiteral("Camera Top"));
    QSignalSpy relabelled(&restore, &QAbstractItemModel::dataChanged);
    rig.bridge.setLanguage(QStringLiteral("zh"));
    QCOMPARE(relabelled.count(), 1);
    QVERIFY(relabelled.first().at(2).value<QVector<int>>().contains(ParamRestore::LabelRole));
    QCOMPARE(fieldsOf(restore, ParamRestore::LabelRole),
             (QStringList {"俯仰最大速度", "横滚最大速度", "航向最大速度", "俯仰最大力矩", "相机位置"}));
    rig.bridge.setLanguage(QStringLiteral("en"));

    restore.setChecked(3, false);
    QVERIFY(!restore.selectionRestartsController());
    restore.setChecked(3, true);
    restore.setChecked(1, false);
    QCOMPARE(restore.checkedCount(), 4);

    restore.writeSelected();
    QTRY_COMPARE_WITH_TIMEOUT(restore.state(), ParamRestore::Verified, 30000);
    QCOMPARE(restore.data(restore.index(0), ParamRestore::VerificationRole).toInt(), int(ParamRestore::Matches));
    QCOMPARE(restore.data(restore.index(1), ParamRestore::VerificationRole).toInt(), int(ParamRestore::NotChecked));
    QCOMPARE(restore.data(restore.index(3), ParamRestore::VerificationRole).toInt(), int(ParamRestore::Matches));
    QCOMPARE(messageTexts(rig.bridge).last(), QStringLiteral("4 parameters restored and verified"));
    QCOMPARE(restored.count(), 1);
    QCOMPARE(restored.first().first().toStringList(), (QStringList {"gimbal.pitchMaxSpeed", "gimbal.yawMaxSpeed",
                                                                    "gimbal.pitchMaxTorque", "camera.position"}));

    QVERIFY(rig.reread());
    QCOMPARE(rig.value(QStringLiteral("gimbal.pitchMaxSpeed")), int(original.pitchMaxSpeed));
    QCOMPARE(rig.value(QStringLiteral("gimbal.yawMaxSpeed")), int(original.yawMaxSpeed));
    QCOMPARE(rig.value(QStringLiteral("gimbal.pitchMaxTorque")), int(original.pitchMaxTorque));
    QCOMPARE(rig.value(QStringLiteral("camera.position")), int(original.cameraPosition));
    QCOMPARE(rig.value(QStringLiteral("gimbal.rollMaxSpeed")), 22);

    // A controller holding a torque of 0 (the bridge writes what it is given) and a snapshot holding one above
    // the motors' rating: neither value goes out.
    rig.bridge.tavoxWriteTorque(0, original.rollMaxTorque, original.yawMaxTorque);
    QTRY_COMPARE_WITH_TIMEOUT(rig.bridge.serialLink().session().scheduledCount(), 0, 10000);
    QVERIFY(rig.reread());
    ParamFile::Contents snapshot = paramFileContentsOf(rig.bridge);
    snapshot.block.pitchMaxTorque = 500;
    snapshot.block.rollMaxTorque = 40000;
    snapshot.block.yawMaxTorque = original.yawMaxTorque + 1;
    ParamRestore ranges(rig.bridge);
    QVERIFY(ranges.showContents(snapshot, QStringLiteral("snapshot.json")));
    QCOMPARE(fieldsOf(ranges), (QStringList {"gimbal.pitchMaxTorque", "gimbal.rollMaxTorque", "gimbal.yawMaxTorque"}));
    QVERIFY(!ranges.data(ranges.index(0), ParamRestore::DeviceInRangeRole).toBool());
    QVERIFY(!ranges.data(ranges.index(1), ParamRestore::FileInRangeRole).toBool());
    QCOMPARE(ranges.statusText(), QStringLiteral("3 fields differ; 1 file value is outside its allowed range and is not written"));
    ranges.setChecked(1, true);
    QCOMPARE(ranges.checkedCount(), 2);

    // Files the controller cannot take are refused before anything is sent.
    QSignalSpy writes(&rig.bridge, &AppBridge::tavoxParamsChanged);
    const QString malformed = dir.filePath(QStringLiteral("malformed.json"));
    QVERIFY(writeFile(malformed, "{\n  \"format\": \"tavox-params\",\n  \"schemaVersion\": 1,\n  \"paramForm\": \"crsf\",\n"));
    QVERIFY(!restore.openFile(malformed));
    QCOMPARE(restore.state(), ParamRestore::Empty);
    QVERIFY(messageTexts(rig.bridge).last().startsWith(QStringLiteral("Cannot restore parameters: ") + malformed));
    snapshot.form = ParamBlockForm::Base;
    QVERIFY(!restore.showContents(snapshot, QStringLiteral("base.json")));
    QCOMPARE(restore.rowCount(), 0);
    QVERIFY(messageTexts(rig.bridge).last().endsWith(QStringLiteral("the file is for parameter form base, the controller uses crsf")));
    restore.writeSelected();
    // Unticked, the controller's 0 would go out with the yaw torque.
    ranges.setChecked(0, false);
    ranges.writeSelected();
    QCOMPARE(writes.count(), 0);
    QCOMPARE(messageTexts(rig.bridge).last(), QStringLiteral("Nothing was written: Pitch Torque (gimbal.pitchMaxTorque) "
                                                             "would be sent too: value 0 out of range 1..30000"));

    ranges.setChecked(0, true);
    ranges.setChecked(2, false);
    ranges.writeSelected();
    QTRY_COMPARE_WITH_TIMEOUT(ranges.state(), ParamRestore::Verified, 30000);
    QCOMPARE(messageTexts(rig.bridge).last(), QStringLiteral("1 parameter restored and verified"));
    QCOMPARE(rig.value(QStringLiteral("gimbal.rollMaxTorque")), int(original.rollMaxTorque));
}

// A file that differs from the controller in every field: the writes that leave the controller running go first;
// then, one receiver at a time, its channels with the activation, restart and reads that follow; the torque and its
// restart last, and the verifying read only once the controller's heartbeat has come back.
void TestBackup::restoreRunsRestartingWritesLastEachWaitedFor()
{
    Rig rig({QStringLiteral("--verbose")});
    QVERIFY(rig.open());
    QTemporaryDir dir;
    ParamFile::Contents file = paramFileContentsOf(rig.bridge);
    file.block = withFieldsChanged(file.block, file.form);
    const QString path = dir.filePath(QStringLiteral("every-field.json"));
    QString error;
    QVERIFY2(ParamFile::save(path, file, error), qPrintable(error));
    ParamRestore restore(rig.bridge);
    QVERIFY(restore.openFile(path));
    QCOMPARE(restore.rowCount(), ParamFile::fieldNames(ParamBlockForm::Crsf).size());
    const int before = simReceivedFrames(rig.sim.errorOutput()).size();

    restore.writeSelected();
    QTRY_VERIFY_WITH_TIMEOUT(restore.state() == ParamRestore::Verified || restore.state() == ParamRestore::Failed, 60000);
    QCOMPARE(restore.state(), ParamRestore::Verified);
    const QVector<SimReceivedFrame> received = simReceivedFrames(rig.sim.errorOutput()).mid(before);
    QCOMPARE(requestSequence(received), QStringLiteral("A2 A3 A4 A0 90 91 C0 A1 90 91 C0 A7 90 91 C0 A5 91 C0"));
    const RestartReturn back = returnFromLastRestart(rig.sim.errorOutput());
    QVERIFY2(back.heartbeatMs >= 0 && back.readMs >= back.heartbeatMs,
             qPrintable(QStringLiteral("heartbeat %1, read %2").arg(back.heartbeatMs).arg(back.readMs)));
}

void TestBackup::restoreWithoutALaterReadVerifiesNothing_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("message");
    QTest::newRow("no read answered after the open")
        << QStringList {QStringLiteral("--fault-silent-params-after"), QStringLiteral("1")}
        << QStringLiteral("camera.position") << QStringLiteral("No parameter block from the controller; nothing verified");
    QTest::newRow("no return from the restart") << QStringList {QStringLiteral("--fault-stay-down")}
                                                << QStringLiteral("gimbal.pitchMaxTorque")
                                                << QStringLiteral("The controller did not come back after its restart; nothing verified");
}

// A controller that answered the read at the open and nothing the restore needs later.
void TestBackup::restoreWithoutALaterReadVerifiesNothing()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QString, field);
    QFETCH(QString, message);
    Rig rig(simArguments);
    QVERIFY(rig.open());
    QTemporaryDir dir;
    ParamRestore restore(rig.bridge);
    ParamFile::Contents file = paramFileContentsOf(rig.bridge);
    file.block = withFieldsChanged(file.block, file.form, QRegularExpression(QRegularExpression::escape(field)));
    const QString path = dir.filePath(QStringLiteral("one-field.json"));
    QString error;
    QVERIFY2(ParamFile::save(path, file, error), qPrintable(error));
    QVERIFY(restore.openFile(path));
    QCOMPARE(restore.statusText(), QStringLiteral("1 field differs"));
    restore.writeSelected();
    QTRY_VERIFY_WITH_TIMEOUT(restore.state() != ParamRestore::Writing && restore.state() != ParamRestore::Verifying,
                             ParamRestore::ReadTimeoutMs + 15000);
    QCOMPARE(restore.state(), ParamRestore::Failed);
    QCOMPARE(messageTexts(rig.bridge).last(), message);
}

// Controller A read and tuned, then the port switched to another controller: the window still shows A's values
// until the other one answers a read.
void TestBackup::servicesTakeOnlyTheBlockReadOnThisLink_data()
{
    QTest::addColumn<bool>("answers");
    QTest::newRow("silent controller") << false;
    QTest::newRow("answering controller") << true;
}

void TestBackup::servicesTakeOnlyTheBlockReadOnThisLink()
{
    QFETCH(bool, answers);
    Rig rig;
    QVERIFY(rig.open());
    QVERIFY(tune(rig));
    QTemporaryDir dir;
    ParamFile::Contents fileOfA = paramFileContentsOf(rig.bridge);
    fileOfA.block.cameraPosition = 0;
    const QString pathOfA = dir.filePath(QStringLiteral("a.json"));
    QString error;
    QVERIFY2(ParamFile::save(pathOfA, fileOfA, error), qPrintable(error));
    ParamRestore restore(rig.bridge);
    QVERIFY(restore.openFile(pathOfA));
    UpgradeSnapshot snapshot(rig.bridge, restore, dir.filePath(QStringLiteral("snapshots")));
    const QString backupPath = dir.filePath(QStringLiteral("backup.json"));
    QString suggested;
    ParamBackup backup(rig.bridge);
    backup.setFileChooser([&](FileDialogMode, const QString &, const QString &suggestion, const QString &) {
        suggested = suggestion;
        return backupPath;
    });
    SimProcess other(answers ? AnsweringController : SilentController);
    QVERIFY(other.start());

    QVERIFY(rig.bridge.openSerial(other.portName(), Baud));
    QTRY_COMPARE_WITH_TIMEOUT(rig.bridge.tavoxFirmwareVersion(), OtherFirmware, ProcessWaitMs);

    restore.writeSelected();
    QCOMPARE(restore.rowCount(), 0);
    QCOMPARE(messageTexts(rig.bridge).last(),
             QStringLiteral("The table was laid out for the controller attached before the port was opened again; "
                            "nothing was written. Open the file again"));
    if (!answers) {
        QVERIFY(!restore.openFile(pathOfA));
        QCOMPARE(restore.rowCount(), 0);
        QCOMPARE(messageTexts(rig.bridge).last(), QStringLiteral("The values shown were read before the port was opened "
                                                                 "again; read the attached controller's parameters first"));
    }

    backup.backUp();
    QTRY_VERIFY_WITH_TIMEOUT(!backup.busy(), ParamBackup::ReadTimeoutMs + ProcessWaitMs);
    ParamFile::Contents saved;
    ParamFile::Problem problem;
    if (answers) {
        QVERIFY2(QFileInfo(suggested).fileName().startsWith(QStringLiteral("tavox-params_2.0.0.1_")), qPrintable(suggested));
        QVERIFY(ParamFile::load(backupPath, saved, problem));
        QCOMPARE(saved.firmwareVersion, OtherFirmware);
        QCOMPARE(int(saved.block.cameraPosition), 0);
    } else {
        QVERIFY(!QFileInfo::exists(backupPath));
        QCOMPARE(messageTexts(rig.bridge).last(), QStringLiteral("No parameter block from the controller; nothing was backed up"));
    }

    QSignalSpy completed(&rig.bridge.upgrade().driver(), &UpgradeDriver::completed);
    rig.bridge.tavoxStartUpgrade(firmwareFile(dir));
    QVERIFY(rig.bridge.tavoxUpgrading());
    if (answers) {
        QCOMPARE(snapshot.snapshots().files(), QStringList {snapshot.snapshotPath()});
        QVERIFY(QFileInfo(snapshot.snapshotPath()).fileName().startsWith(QStringLiteral("2.0.0.1_")));
        QVERIFY(ParamFile::load(snapshot.snapshotPath(), saved, problem));
        QCOMPARE(int(saved.block.cameraPosition), 0);
        QVERIFY(saved.block.pitchMaxSpeed != 44);
    } else {
        QVERIFY(snapshot.snapshots().files().isEmpty());
        QVERIFY(snapshot.snapshotPath().isEmpty());
        QVERIFY(messageTexts(rig.bridge).contains(QStringLiteral("No parameter snapshot for this upgrade: the attached "
                                                                 "controller's parameters were not read since the port was opened")));
        QVERIFY(completed.wait(ProcessWaitMs));
        // The upgraded controller's versions: where a comparison with a snapshot would begin.
        QTRY_COMPARE_WITH_TIMEOUT(rig.bridge.tavoxFirmwareVersion(), OtherFirmware, ProcessWaitMs);
        QVERIFY(runTimersDueWithin(ParamReadBack::ResendIntervalMs));
        QVERIFY(!snapshot.restoreOffered());
    }
    QCOMPARE(requestsBesidesReads(other), QString());
}

void TestBackup::snapshotBeforeUpgradeEndsWithItsLink_data()
{
    QTest::addColumn<int>("switched");   // 0: never, 1: before the comparison, 2: while offered
    QTest::newRow("offered back and restored") << 0;
    QTest::newRow("switched before the comparison") << 1;
    QTest::newRow("switched while offered") << 2;
}

void TestBackup::snapshotBeforeUpgradeEndsWithItsLink()
{
    QFETCH(int, switched);
    Rig rig({QStringLiteral("--reset-params-on-upgrade"), QStringLiteral("--reboot-ms"), QStringLiteral("300")});
    QVERIFY(rig.open());
    QVERIFY(tune(rig));
    QTemporaryDir dir;
    ParamRestore restore(rig.bridge);
    QSignalSpy opened(&restore, &ParamRestore::opened);
    UpgradeSnapshot snapshot(rig.bridge, restore, dir.filePath(QStringLiteral("snapshots")));
    SimProcess answering(AnsweringController);
    QVERIFY(switched == 0 || answering.start());
    QSignalSpy completed(&rig.bridge.upgrade().driver(), &UpgradeDriver::completed);
    rig.bridge.tavoxStartUpgrade(firmwareFile(dir));
    QCOMPARE(snapshot.snapshots().files(), QStringList {snapshot.snapshotPath()});
    QVERIFY(QFileInfo(snapshot.snapshotPath()).fileName().startsWith(QStringLiteral("1.0.0.60_")));
    ParamFile::Contents saved;
    ParamFile::Problem problem;
    QVERIFY(ParamFile::load(snapshot.snapshotPath(), saved, problem));
    QCOMPARE(int(saved.block.cameraPosition), 1);
    QCOMPARE(int(saved.block.pitchMaxSpeed), 44);
    QVERIFY(completed.wait(ProcessWaitMs));

    if (switched != 1) {
        QTRY_VERIFY_WITH_TIMEOUT(snapshot.restoreOffered(), ProcessWaitMs);
        QCOMPARE(rig.value(QStringLiteral("camera.position")), 0);
        QVERIFY(messageTexts(rig.bridge).contains(
            QStringLiteral("The upgrade changed the parameters; those from before it can be restored")));
    }
    if (switched == 0) {
        snapshot.showRestore();
        QCOMPARE(opened.count(), 1);
        QVERIFY(!snapshot.restoreOffered());
        QCOMPARE(restore.sourceName(), QFileInfo(snapshot.snapshotPath()).fileName());
        QCOMPARE(fieldsOf(restore), (QStringList {"gimbal.pitchMaxSpeed", "camera.position"}));
        restore.writeSelected();
        QTRY_VERIFY_WITH_TIMEOUT(restore.state() == ParamRestore::Verified, 20000);
        QCOMPARE(rig.value(QStringLiteral("camera.position")), 1);
        return;
    }

    QVERIFY(rig.bridge.openSerial(answering.portName(), Baud));
    QVERIFY(!snapshot.restoreOffered());
    QVERIFY(messageTexts(rig.bridge).contains(
        QStringLiteral("The port was closed or opened again: the controller's parameters are no longer compared with or "
                       "restored from the snapshot taken before the upgrade; it stays in %1").arg(snapshot.snapshotPath())));
    // Its versions, then a block of its own (not A's tuning): where the comparison would come.
    QTRY_COMPARE_WITH_TIMEOUT(rig.bridge.tavoxFirmwareVersion(), OtherFirmware, ProcessWaitMs);
    QVERIFY(rig.reread());
    QCOMPARE(rig.value(QStringLiteral("camera.position")), 0);
    QVERIFY(runTimersDueWithin(ParamReadBack::ResendIntervalMs));
    QVERIFY(!snapshot.restoreOffered());
    snapshot.showRestore();
    QCOMPARE(opened.count(), 0);
    QCOMPARE(requestsBesidesReads(answering), QString());
}

// The port is switched to another controller in the very turn of the event loop in which the block of a backup
// arrives, before the backup saves it.
void TestBackup::backupBlockOfAnEndedLinkIsNotSaved()
{
    Rig rig;
    QVERIFY(rig.open());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("backup.json"));
    int dialogs = 0;
    ParamBackup backup(rig.bridge);
    backup.setFileChooser([&](FileDialogMode, const QString &, const QString &, const QString &) {
        ++dialogs;
        return path;
    });
    SimProcess answering(AnsweringController);
    QVERIFY(answering.start());
    const int blocksBefore = rig.bridge.parameters().blocksReceived();
    QObject switcher;
    connect(&rig.bridge, &AppBridge::tavoxParamsChanged, &switcher, [&] {
        if (rig.bridge.parameters().blocksReceived() > blocksBefore && rig.bridge.serialLink().portName() != answering.portName())
            rig.bridge.openSerial(answering.portName(), Baud);
    });

    backup.backUp();
    QTRY_VERIFY_WITH_TIMEOUT(rig.bridge.serialLink().portName() == answering.portName() && !backup.busy(), ProcessWaitMs);
    QVERIFY(runTimersDueWithin(0));   // the block's own delivery to the backup
    QCOMPARE(dialogs, 0);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(messageTexts(rig.bridge).contains(QStringLiteral("The serial port closed; nothing was backed up")));
}

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
