// End to end against the simulated controller: whole upgrades, the upgrade
// faults it can show, and the heartbeats it sends all the while.
#include "bridge/AppBridge.h"
#include "device/UpgradeDriver.h"
#include "support/BridgeTestUtils.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QtTest>

#include <algorithm>

class TestTelemetryE2e : public QObject
{
    Q_OBJECT

private slots:
    void upgrades_data();
    void upgrades();
    void unsolicitedRepliesMoveNothing();
};

namespace {
// The bridge's watchdog: only a reply the simulator is told to delay comes later than this, however busy
// the machine.
const int ReplyTimeoutMs = 2000;

int softResetsReceived(const SimProcess &sim)
{
    return sim.errorOutput().count(QRegularExpression(QStringLiteral(" RX soft reset\\n")));
}
}

void TestTelemetryE2e::upgrades_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QString>("sign");   // the one message that tells how it went
    QTest::addColumn<int>("progress");

    QTest::newRow("completes") << QStringList() << QStringLiteral("升级完成!") << 100;
    QTest::newRow("wrong sequence") << QStringList{"--fault-wrong-seq", "7"} << QStringLiteral("升级数据包序号不匹配，重发包 7") << 100;
    QTest::newRow("md5 fails") << QStringList{"--fault-verify", "md5"} << QStringLiteral("升级校验失败: 签名=通过, MD5=失败")
                               << 99;   // the last of 3200 packets went out at 99 %
    // Slower than the watchdog: the late reply and the reply to the resend both arrive.
    for (const char *kind : {"erase", "start", "data", "stop"})
        QTest::addRow("late %s reply", kind)
            << QStringList{"--fault-late-reply", QStringLiteral("%1:%2").arg(kind).arg(2 * ReplyTimeoutMs)}
            << QStringLiteral("升级完成!") << 100;
    QTest::newRow("duplicated acknowledgements") << QStringList{"--fault-duplicate-acks"} << QStringLiteral("升级完成!") << 100;
}

void TestTelemetryE2e::upgrades()
{
    QFETCH(QStringList, fault);
    QFETCH(QString, sign);
    QFETCH(int, progress);
    QTemporaryDir dir;
    QFile received(dir.filePath(QStringLiteral("received.bin")));
    SimProcess sim(fault + QStringList{"--save-image", received.fileName(), "--firmware", "2.3.4.5", "--erase-ms", "20",
                                       "--verbose"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("zh"));
    bridge.setUpgradeReplyTimeouts({ReplyTimeoutMs, ReplyTimeoutMs, ReplyTimeoutMs});
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_COMPARE_WITH_TIMEOUT(bridge.tavoxFirmwareVersion(), QStringLiteral("2.3.4.5"), ProcessWaitMs);

    const QByteArray image = randomImage(200 * 1024);
    const QString path = dir.filePath(QStringLiteral("firmware.bin"));
    QVERIFY(writeFile(path, image));
    QSignalSpy upgrading(&bridge, &AppBridge::tavoxUpgradingChanged);
    bridge.tavoxStartUpgrade(path);
    QVERIFY(upgrading.wait(2 * ProcessWaitMs));   // a real event loop: polling would cost every packet's round trip
    QCOMPARE(bridge.tavoxUpgradeProgress(), progress);
    QCOMPARE(messageTexts(bridge).count(sign), 1);
    QCOMPARE(messageTexts(bridge).filter(QStringLiteral("升级数据包序号不匹配")).size(), fault.contains("--fault-wrong-seq"));
    QCOMPARE(messageTexts(bridge).filter(QStringLiteral("升级无应答，重发 ")).size(), fault.contains("--fault-late-reply"));
    QVERIFY(received.open(QIODevice::ReadOnly) && received.readAll() == image);
    if (progress == 100) {   // the rebooted controller answers the query that follows 3 s later
        QCOMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("-"));
        QTRY_COMPARE_WITH_TIMEOUT(bridge.tavoxFirmwareVersion(), QStringLiteral("2.3.4.5"), ProcessWaitMs);
        QCOMPARE(softResetsReceived(sim), 1);
        QCOMPARE(upgrading.count(), 2);
    }

    // ready a little after boot
    QTRY_VERIFY_WITH_TIMEOUT(bridge.hbReceived() && bridge.hbAttiReady() && bridge.hbCrsfValuePresent(), ProcessWaitMs);
    QVERIFY(qAbs(bridge.hbPitch()) <= 15.0 && qAbs(bridge.hbImuTemp() - 38.5) <= 6.5 && qAbs(bridge.hbSbusLockValue() - 992) <= 300);
    QSignalSpy heartbeat(&bridge, &AppBridge::heartbeatChanged);
    bridge.closeSerial();
    QVERIFY(heartbeat.count() == 1 && !bridge.hbReceived() && bridge.hbPitch() == 0.0);
}

// Replies nobody asked for (a controller reset into its bootloader, another
// tool) before and after an upgrade send nothing and report nothing.
void TestTelemetryE2e::unsolicitedRepliesMoveNothing()
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

QTEST_MAIN(TestTelemetryE2e)
#include "tst_telemetry_e2e.moc"
