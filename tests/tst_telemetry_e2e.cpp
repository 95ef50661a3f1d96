// End to end against the simulated controller: whole upgrades, two of the
// upgrade faults it can show, and live heartbeats.
#include "bridge/AppBridge.h"
#include "support/BridgeTestUtils.h"
#include "support/SimProcess.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestTelemetryE2e : public QObject
{
    Q_OBJECT

private slots:
    void upgrades_data();
    void upgrades();
    void heartbeatsFillProperties();
};

void TestTelemetryE2e::upgrades_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("imageSize");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("sign");   // the one message that tells how it went
    QTest::addColumn<int>("progress");

    QTest::newRow("200 KiB") << QStringList() << 200 * 1024 << "en" << "Upgrade completed!" << 100;
    QTest::newRow("wrong sequence, zh") << QStringList{"--fault-wrong-seq", "7"} << 40 * 64 - 4 << "zh"
                                        << QStringLiteral("升级数据包序号不匹配，重发包 7") << 100;
    QTest::newRow("md5 fails") << QStringList{"--fault-verify", "md5"} << 40 * 64 - 4 << "en"
                               << "Upgrade verification failed: sig=OK, md5=FAIL" << 97;   // the last packet went out at 97 %
}

void TestTelemetryE2e::upgrades()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, imageSize);
    QFETCH(QString, language);
    QFETCH(QString, sign);
    QFETCH(int, progress);
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("received.bin"));
    SimProcess sim(arguments + QStringList{"--save-image", saved, "--firmware", "2.3.4.5", "--erase-ms", "20", "--hb-rate", "0"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(language);
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    QTRY_COMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("2.3.4.5"));

    QByteArray image(imageSize, '\0');
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32 *>(image.data()), imageSize / 4);
    QFile file(dir.filePath(QStringLiteral("firmware.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == imageSize);
    file.close();
    QSignalSpy upgrading(&bridge, &AppBridge::tavoxUpgradingChanged);
    bridge.tavoxStartUpgrade(file.fileName());
    QVERIFY(upgrading.wait(30000));   // a real event loop: polling would cost every packet's round trip
    QCOMPARE(bridge.tavoxUpgradeProgress(), progress);
    QFile received(saved);
    QVERIFY(received.open(QIODevice::ReadOnly));
    QCOMPARE(received.readAll(), image);
    QCOMPARE(messageTexts(bridge).count(sign), 1);
    if (progress == 100) {
        QCOMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("-"));
        // The rebooted controller answers the query that follows 3 s later.
        QTRY_COMPARE_WITH_TIMEOUT(bridge.tavoxFirmwareVersion(), QStringLiteral("2.3.4.5"), 5000);
    }
}

void TestTelemetryE2e::heartbeatsFillProperties()
{
    SimProcess sim({"--hb-len", "61", "--hb-rate", "50"});
    QVERIFY(sim.start());
    AppBridge bridge;
    QSignalSpy changed(&bridge, &AppBridge::heartbeatChanged);
    QVERIFY(bridge.openSerial(sim.portName(), 921600));
    // The simulated controller reports its attitude ready a little after boot.
    QTRY_VERIFY(bridge.hbReceived() && bridge.hbAttiReady());
    QVERIFY(bridge.hbJointInitOk() && bridge.hbStateMachine() == 3 && bridge.hbCtrlMode() == 1);
    QVERIFY(qAbs(bridge.hbPitch()) <= 15.0 && qAbs(bridge.hbJointInnerAngle()) <= 15.5);
    QVERIFY(bridge.hbImuTemp() >= 32.0 && bridge.hbImuTemp() <= 45.0);
    QVERIFY(bridge.hbSbusLockValue() >= 692 && bridge.hbSbusLockValue() <= 1292);
    QVERIFY(bridge.hbPwmCenterValue() >= 1250 && bridge.hbPwmCenterValue() <= 1750);
    QVERIFY(bridge.hbCrsfLockValue() >= 692 && bridge.hbCrsfLockValue() <= 1292 && bridge.hbCrsfValuePresent());

    changed.clear();
    bridge.closeSerial();
    QCOMPARE(changed.count(), 1);
    QVERIFY(!bridge.hbReceived() && bridge.hbPitch() == 0.0);
}

QTEST_MAIN(TestTelemetryE2e)
#include "tst_telemetry_e2e.moc"
