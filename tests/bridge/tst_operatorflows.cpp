#include "bridge/AppBridge.h"
#include "device/UpgradeDriver.h"
#include "record/SessionRecorder.h"
#include "support/FakeDevice.h"
#include "support/BridgeTestUtils.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QtTest>

#include <algorithm>

namespace {
// The named parameter properties ("SbusPitchCh" for tavoxSbusPitchCh), space-separated.
QString values(const AppBridge &bridge, const QString &names, const QString &prefix = QStringLiteral("tavox"))
{
    QStringList values;
    for (const QString &name : names.split(QLatin1Char(' ')))
        values << bridge.property(qPrintable(prefix + name)).toString();
    return values.join(QLatin1Char(' '));
}

int softResetsReceived(const SimProcess &sim)
{
    return sim.errorOutput().count(QRegularExpression(QStringLiteral(" RX soft reset\\n")));
}
}

class TestOperatorFlows : public QObject
{
    Q_OBJECT

private slots:
    void readCalibrateAndWrite();
    void unsolicitedRepliesMoveNothing();
    void replayedSessionLooksTheSame();
};

void TestOperatorFlows::readCalibrateAndWrite()
{
    SimProcess sim({ "--hb-rate", "0", "--accel-step-ms", "100" });
    QVERIFY2(sim.start(), "tavox-sim did not start");
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));

    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_VERIFY_WITH_TIMEOUT(!messageTexts(bridge).filter(QStringLiteral("Firmware: ")).isEmpty(), 5000);
    QCOMPARE(values(bridge, QStringLiteral("SbusPitchCh SbusYawCh SbusLockCh PwmCenterCh CameraPosition PitchMaxSpeed "
                                           "FpvMode YawMaxTorque PitchMaxTorque SbusYawDir PwmYawDir CrsfYawCh CrsfYawDir")),
             QStringLiteral("2 4 6 3 0 60 1 12000 8000 1 1 4 1"));

    bridge.clearMessages();
    QList<int> states;
    connect(&bridge, &AppBridge::accelCaliStateChanged, this, [&] { states << bridge.accelCaliState(); });
    bridge.tavoxSendCalibration(2);
    QTRY_COMPARE_WITH_TIMEOUT(bridge.accelCaliState(), 8, 5000);
    QCOMPARE(states, (QList<int> { 1, 2, 3, 4, 5, 6, 7, 8 }));
    QCOMPARE(messageTexts(bridge), (QStringList { "Accel Calib: UP", "Accel Calib: FRONT", "Accel Calib: DOWN",
                                                  "Accel Calib: BACK", "Accel Calib: LEFT", "Accel Calib: RIGHT",
                                                  "Accel Calib: Calculating...", "Accel Calib succeeded" }));

    // A SBUS write, applied by the reboot and reported back by both reads 3 s and 6 s after it.
    bridge.clearMessages();
    bridge.tavoxWriteSbusChannelsWithDir(9, 8, 7, 6, 5, 0, 0, 1, 0);
    QTRY_COMPARE_WITH_TIMEOUT(messageTexts(bridge).count(QStringLiteral("Parameters read OK")), 2, 15000);
    QCOMPARE(messageTexts(bridge), (QStringList { "SBUS channels written", "SBUS Channel succeeded", "Auto-activated",
                                                  "Activate succeeded", "Config applied, rebooting...",
                                                  "Reboot succeeded", "Reading parameters...", "Parameters read OK",
                                                  "Reading parameters...", "Parameters read OK" }));
    QCOMPARE(values(bridge, QStringLiteral("SbusPitchCh SbusRollCh SbusYawCh SbusCenterCh SbusLockCh SbusMode "
                                           "SbusPitchDir SbusRollDir SbusYawDir CrsfLockCh PwmCenterCh")),
             QStringLiteral("9 8 7 6 5 0 0 1 0 6 3"));
}

// Replies nobody asked for (a controller reset into its bootloader, another
// tool) before and after an upgrade send nothing and report nothing.
void TestOperatorFlows::unsolicitedRepliesMoveNothing()
{
    QTemporaryDir dir;
    QFile received(dir.filePath(QStringLiteral("received.bin")));
    SimProcess sim({"--fault-unsolicited-upgrade-replies", "--save-image", received.fileName(), "--erase-ms", "20",
                    "--hb-rate", "0", "--verbose"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    const QStringList upgradeWords{"erase", "start upgrade", "Upgrade", "upgrade", "packet"};
    const auto upgradeMessages = [&bridge, &upgradeWords] {
        QStringList found;
        for (const QString &text : messageTexts(bridge)) {
            if (std::any_of(upgradeWords.cbegin(), upgradeWords.cend(), [&](const QString &w) { return text.contains(w); }))
                found << text;
        }
        return found;
    };
    QSignalSpy ignored(&bridge.upgrade().driver(), &UpgradeDriver::diagnostic);
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_VERIFY_WITH_TIMEOUT(sim.errorOutput().count(QStringLiteral("TX erase done")) >= 4, ProcessWaitMs);
    QVERIFY(upgradeMessages().isEmpty());
    QVERIFY(!sim.errorOutput().contains(QStringLiteral("RX start upgrade")));
    QVERIFY(!bridge.tavoxUpgrading());

    // The bursts go on whatever the tool does, so the upgrade starts just after the bridge has passed over
    // one: its erase request reaches the controller long before the next is due, however busy the machine.
    const QByteArray image = randomImage(20 * 1024);
    const QString path = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(path, image));
    ignored.clear();
    while (ignored.isEmpty() || !ignored.last().at(0).toString().contains(QStringLiteral("ignored reply 0x10")))
        QVERIFY(ignored.wait(ProcessWaitMs));
    QSignalSpy upgrading(&bridge, &AppBridge::tavoxUpgradingChanged);
    bridge.tavoxStartUpgrade(path);
    QTRY_COMPARE_WITH_TIMEOUT(upgrading.count(), 2, ProcessWaitMs);
    QCOMPARE(messageTexts(bridge).count(QStringLiteral("Upgrade completed!")), 1);
    QVERIFY(received.open(QIODevice::ReadOnly) && received.readAll() == image);

    const int messagesAfter = upgradeMessages().size();
    const int bursts = sim.errorOutput().count(QStringLiteral("TX erase done"));
    QTRY_VERIFY_WITH_TIMEOUT(sim.errorOutput().count(QStringLiteral("TX erase done")) >= bursts + 4, ProcessWaitMs);
    QCOMPARE(upgradeMessages().size(), messagesAfter);
    QCOMPARE(softResetsReceived(sim), 1);
    QCOMPARE(sim.errorOutput().count(QStringLiteral("RX erase request")), 1);
}

// A session recorded against the simulator and then replayed by it, strictly, brings a bridge to the
// same versions, parameter block and, at the same heartbeat, attitude and status.
void TestOperatorFlows::replayedSessionLooksTheSame()
{
    const QString state = QStringLiteral("tavoxFirmwareVersion tavoxBootVersion tavoxSbusPitchCh tavoxPitchMaxSpeed "
                                         "tavoxYawMaxTorque tavoxCrsfYawCh hbPitch hbRoll hbYaw hbAttiReady "
                                         "hbStateMachine hbImuTemp hbSbusPitchValue");
    const int heartbeats = 12;
    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("session.pcapng"));
    QString recorded;
    {
        SimProcess sim({"--firmware", "1.2.3.4", "--boot", "1.0.0.9", "--param-form", "base", "--hb-rate", "10"});
        MessageRecorder messages;
        SessionRecorder recorder(messages, dir.path(), RecordingSettings());
        recorder.setTargetFile(recording);
        AppBridge bridge;
        bridge.serialLink().setFrameTap(&recorder);
        QVERIFY(sim.start() && bridge.openSerial(sim.portName(), 921600));
        int seen = 0;
        connect(&bridge, &AppBridge::heartbeatChanged, this, [&] {
            if (++seen == heartbeats) {
                recorded = values(bridge, state, {});
                bridge.closeSerial();
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(!recorded.isEmpty(), ProcessWaitMs);
        QVERIFY(recorder.flush(ProcessWaitMs));
    }
    SimProcess sim({"--replay", recording, "--replay-strict"});
    AppBridge bridge;
    QVERIFY(sim.start() && bridge.openSerial(sim.portName(), 921600));
    int seen = 0;
    QString replayed;
    connect(&bridge, &AppBridge::heartbeatChanged, this, [&] {
        if (++seen == heartbeats)
            replayed = values(bridge, state, {});
    });
    QTRY_VERIFY_WITH_TIMEOUT(!replayed.isEmpty(), ProcessWaitMs);
    QCOMPARE(replayed, recorded);
    QVERIFY2(recorded.startsWith(QStringLiteral("1.2.3.4 1.0.0.9 2 60 12000 1 ")), qPrintable(recorded));
}

QTEST_MAIN(TestOperatorFlows)
#include "tst_operatorflows.moc"
