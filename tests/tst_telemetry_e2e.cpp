// End to end against the simulated controller: whole upgrades, two of the
// upgrade faults it can show, and the heartbeats it sends all the while.
#include "bridge/AppBridge.h"
#include "support/BridgeTestUtils.h"
#include "support/SimProcess.h"

#include <QtTest>

class TestTelemetryE2e : public QObject
{
    Q_OBJECT

private slots:
    void upgrades_data();
    void upgrades();
};

void TestTelemetryE2e::upgrades_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QString>("sign");   // the one message that tells how it went
    QTest::addColumn<int>("progress");

    QTest::newRow("completes") << QStringList() << QStringLiteral("升级完成!") << 100;
    QTest::newRow("wrong sequence") << QStringList{"--fault-wrong-seq", "7"} << QStringLiteral("升级数据包序号不匹配，重发包 7") << 100;
    QTest::newRow("md5 fails") << QStringList{"--fault-verify", "md5"} << QStringLiteral("升级校验失败: 签名=通过, MD5=失败")
                               << 99;   // the last of 3200 packets went out at 99 %
}

void TestTelemetryE2e::upgrades()
{
    QFETCH(QStringList, fault);
    QFETCH(QString, sign);
    QFETCH(int, progress);
    QTemporaryDir dir;
    QFile received(dir.filePath(QStringLiteral("received.bin")));
    SimProcess sim(fault + QStringList{"--save-image", received.fileName(), "--firmware", "2.3.4.5", "--erase-ms", "20"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("zh"));
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_COMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("2.3.4.5"));

    QByteArray image(200 * 1024, '\0');
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32 *>(image.data()), image.size() / 4);
    QFile file(dir.filePath(QStringLiteral("firmware.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(image) == image.size());
    QSignalSpy upgrading(&bridge, &AppBridge::tavoxUpgradingChanged);
    bridge.tavoxStartUpgrade(file.fileName());
    QVERIFY(upgrading.wait(30000));   // a real event loop: polling would cost every packet's round trip
    QCOMPARE(bridge.tavoxUpgradeProgress(), progress);
    QCOMPARE(messageTexts(bridge).count(sign), 1);
    QVERIFY(received.open(QIODevice::ReadOnly) && received.readAll() == image);
    if (progress == 100) {   // the rebooted controller answers the query that follows 3 s later
        QCOMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("-"));
        QTRY_COMPARE_WITH_TIMEOUT(bridge.tavoxFirmwareVersion(), QStringLiteral("2.3.4.5"), 5000);
    }

    QTRY_VERIFY(bridge.hbReceived() && bridge.hbAttiReady() && bridge.hbCrsfValuePresent());   // ready a little after boot
    QVERIFY(qAbs(bridge.hbPitch()) <= 15.0 && qAbs(bridge.hbImuTemp() - 38.5) <= 6.5 && qAbs(bridge.hbSbusLockValue() - 992) <= 300);
    QSignalSpy heartbeat(&bridge, &AppBridge::heartbeatChanged);
    bridge.closeSerial();
    QVERIFY(heartbeat.count() == 1 && !bridge.hbReceived() && bridge.hbPitch() == 0.0);
}

QTEST_MAIN(TestTelemetryE2e)
#include "tst_telemetry_e2e.moc"
