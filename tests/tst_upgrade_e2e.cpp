// End to end against the simulated controller: whole upgrades, each upgrade
// fault the controller can show, and live heartbeats.
#include "bridge/AppBridge.h"
#include "support/MessageCapture.h"
#include "support/SimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int Baud = 921600;

QByteArray randomImage(int size)
{
    QByteArray image(size, '\0');
    QRandomGenerator generator{quint32(size)};
    for (char &byte : image)
        byte = char(generator.bounded(256));
    return image;
}

QStringList messageTexts(const AppBridge &bridge)
{
    QStringList texts;
    for (const QString &entry : bridge.messageLog().split(QLatin1Char('\n')))
        texts << entry.mid(22);
    return texts;
}

// Runs a real event loop until the spy has seen `count` signals. (The polling
// of QTRY_* sleeps between rounds, which would cost every packet's round trip.)
bool waitForCount(QSignalSpy &spy, int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (spy.count() < count) {
        const qint64 remaining = timeoutMs - timer.elapsed();
        if (remaining <= 0 || !spy.wait(int(remaining)))
            return spy.count() >= count;
    }
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

class TestUpgradeE2e : public QObject
{
    Q_OBJECT

private slots:
    void upgradesImageAndFollowsReboot();
    void endsEachFault_data();
    void endsEachFault();
    void heartbeatsFillProperties_data();
    void heartbeatsFillProperties();

private:
    QString writeImage(const QByteArray &image);

    QTemporaryDir m_dir;
};

QString TestUpgradeE2e::writeImage(const QByteArray &image)
{
    const QString path = m_dir.filePath(QStringLiteral("firmware.bin"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(image) != image.size())
        return QString();
    return path;
}

void TestUpgradeE2e::upgradesImageAndFollowsReboot()
{
    const QString saved = m_dir.filePath(QStringLiteral("received.bin"));
    SimProcess sim({"--save-image", saved, "--firmware", "2.3.4.5", "--boot", "1.0.0.9", "--erase-ms", "200"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QTRY_COMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("2.3.4.5"));

    const QByteArray image = randomImage(200 * 1024);
    MessageCapture capture;
    QSignalSpy versions(&bridge, &AppBridge::tavoxVersionChanged);
    QSignalSpy upgrading(&bridge, &AppBridge::tavoxUpgradingChanged);
    bridge.tavoxStartUpgrade(writeImage(image));
    QVERIFY(bridge.tavoxUpgrading());
    QVERIFY(waitForCount(upgrading, 2, 30000));
    QCOMPARE(messageTexts(bridge).last(), QStringLiteral("Upgrade completed!"));

    QVERIFY(!bridge.tavoxUpgrading());
    QCOMPARE(bridge.tavoxUpgradeProgress(), 100);
    QCOMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("-"));
    QCOMPARE(versions.count(), 1);
    QCOMPARE(readFile(saved), image);
    QCOMPARE(capture.linesContaining(QStringLiteral("[DIAG-HEX] TX(77B)")).size(), 200 * 1024 / 64);
    const QStringList messages = messageTexts(bridge);
    QCOMPARE(messages.filter(QStringLiteral("No upgrade reply")), QStringList());
    QCOMPARE(messages.filter(QStringLiteral("mismatch")), QStringList());

    // The rebooted controller answers the queries that follow at 3 s and 6 s.
    const QString reported = QStringLiteral("Firmware: 2.3.4.5, Boot: 1.0.0.9");
    QTRY_COMPARE_WITH_TIMEOUT(bridge.tavoxFirmwareVersion(), QStringLiteral("2.3.4.5"), 5000);
    QCOMPARE(bridge.tavoxBootVersion(), QStringLiteral("1.0.0.9"));
    QTRY_COMPARE_WITH_TIMEOUT(messageTexts(bridge).count(reported), 3, 5000);
}

void TestUpgradeE2e::endsEachFault_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("sign");   // the message the fault leaves
    QTest::addColumn<int>("signCount");
    QTest::addColumn<bool>("completes");
    QTest::addColumn<int>("progress");

    // 40 packets; packet 8 is sent at 20 %, the last one at 97 %.
    QTest::newRow("wrong sequence") << QStringList{"--fault-wrong-seq", "7"}
                                    << "Upgrade seq mismatch, resending packet 7" << 1 << true << 100;
    QTest::newRow("dropped ack") << QStringList{"--fault-drop-ack", "7"} << "No upgrade reply, resending 7" << 1
                                 << true << 100;
    QTest::newRow("silent after packet 7") << QStringList{"--fault-silent-after", "7"}
                                           << "No upgrade reply, resending 8" << 5 << false << 20;
    QTest::newRow("size refused") << QStringList{"--fault-size-exceeded"}
                                  << "Firmware size exceeded, upgrade aborted" << 1 << false << 0;
    QTest::newRow("flash too small") << QStringList{"--flash-size", "2000"}
                                     << "Firmware size exceeded, upgrade aborted" << 1 << false << 0;
    QTest::newRow("signature fails") << QStringList{"--fault-verify", "sig"}
                                     << "Upgrade verification failed: sig=FAIL, md5=OK" << 1 << false << 97;
    QTest::newRow("md5 fails") << QStringList{"--fault-verify", "md5"}
                               << "Upgrade verification failed: sig=OK, md5=FAIL" << 1 << false << 97;
    QTest::newRow("both fail") << QStringList{"--fault-verify", "both"}
                               << "Upgrade verification failed: sig=FAIL, md5=FAIL" << 1 << false << 97;
}

void TestUpgradeE2e::endsEachFault()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, sign);
    QFETCH(int, signCount);
    QFETCH(bool, completes);
    QFETCH(int, progress);

    const QString saved = m_dir.filePath(QStringLiteral("received.bin"));
    QFile::remove(saved);
    SimProcess sim(arguments + QStringList{"--save-image", saved, "--erase-ms", "20", "--hb-rate", "0"});
    QVERIFY(sim.start());
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    bridge.setUpgradeReplyTimeouts({3000, 3000, 300});
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QTRY_COMPARE(bridge.tavoxFirmwareVersion(), QStringLiteral("1.0.0.60"));

    const QByteArray image = randomImage(40 * 64 - 5);
    MessageCapture capture;
    QSignalSpy upgrading(&bridge, &AppBridge::tavoxUpgradingChanged);
    bridge.tavoxStartUpgrade(writeImage(image));
    QVERIFY(waitForCount(upgrading, 2, 15000));

    const QStringList messages = messageTexts(bridge);
    QCOMPARE(messages.count(sign), signCount);
    QCOMPARE(bridge.tavoxUpgradeProgress(), progress);
    if (completes) {
        QTRY_VERIFY(messageTexts(bridge).contains(QStringLiteral("Upgrade completed!")));
        QCOMPARE(readFile(saved), image);
    } else {
        QVERIFY(!messages.contains(QStringLiteral("Sending reboot command...")));
    }
    if (signCount == UpgradeSession::MaxResends)
        QCOMPARE(messages.last(), QStringLiteral("Upgrade timed out, aborted"));
}

void TestUpgradeE2e::heartbeatsFillProperties_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("hasSbus");
    QTest::addColumn<bool>("hasPwm");
    QTest::addColumn<bool>("hasCrsf");

    QTest::newRow("22 bytes") << 22 << false << false << false;
    QTest::newRow("45 bytes") << 45 << true << false << false;
    QTest::newRow("61 bytes") << 61 << true << true << true;
}

void TestUpgradeE2e::heartbeatsFillProperties()
{
    QFETCH(int, length);
    QFETCH(bool, hasSbus);
    QFETCH(bool, hasPwm);
    QFETCH(bool, hasCrsf);

    SimProcess sim({"--hb-len", QString::number(length), "--hb-rate", "50"});
    QVERIFY(sim.start());
    AppBridge bridge;
    QSignalSpy changed(&bridge, &AppBridge::heartbeatChanged);
    QVERIFY(bridge.openSerial(sim.portName(), Baud));
    QTRY_VERIFY(bridge.hbReceived());
    // The simulated controller reports its attitude ready a little after boot.
    QTRY_VERIFY(bridge.hbAttiReady());
    QVERIFY(bridge.hbJointInitOk());
    QCOMPARE(bridge.hbStateMachine(), 3);
    QCOMPARE(bridge.hbCtrlMode(), 1);
    QVERIFY(qAbs(bridge.hbPitch()) <= 15.0);
    QVERIFY(qAbs(bridge.hbJointInnerAngle()) <= 15.5);

    const auto between = [](int value, int low, int high) { return value >= low && value <= high; };
    QCOMPARE(between(bridge.hbSbusPitchValue(), 692, 1292), hasSbus);
    QCOMPARE(between(bridge.hbSbusLockValue(), 692, 1292), hasSbus);
    QCOMPARE(between(bridge.hbPwmCenterValue(), 1250, 1750), hasPwm);
    QCOMPARE(between(bridge.hbCrsfLockValue(), 692, 1292), hasCrsf);
    QCOMPARE(bridge.hbCrsfValuePresent(), hasCrsf);
    QCOMPARE(bridge.hbImuTemp() >= 32.0 && bridge.hbImuTemp() <= 45.0, length >= 35);
    QVERIFY(changed.count() >= 3);

    changed.clear();
    bridge.closeSerial();
    QCOMPARE(changed.count(), 1);
    QVERIFY(!bridge.hbReceived());
    QCOMPARE(bridge.hbPitch(), 0.0);
    QVERIFY(!bridge.hbCrsfValuePresent());
}

QTEST_MAIN(TestUpgradeE2e)
#include "tst_upgrade_e2e.moc"
