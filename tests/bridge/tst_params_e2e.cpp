// Parameters and commands end to end: the real bridge against the simulated controller
// tavox-sim, which answers, applies writes and reboots as the controller does.
#include "bridge/AppBridge.h"
#include "support/BridgeTestUtils.h"
#include "support/SimProcess.h"

#include <QtTest>

namespace {
// The named parameter properties ("SbusPitchCh" for tavoxSbusPitchCh), space-separated.
QString values(const AppBridge &bridge, const QString &names)
{
    QStringList values;
    for (const QString &name : names.split(QLatin1Char(' ')))
        values << bridge.property(qPrintable(QStringLiteral("tavox") + name)).toString();
    return values.join(QLatin1Char(' '));
}
}

class TestParamsEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void readCalibrateAndWrite();
};

void TestParamsEndToEnd::readCalibrateAndWrite()
{
    SimProcess sim({ "--hb-rate", "0", "--accel-step-ms", "100" });
    QVERIFY2(sim.start(), "tavox-sim did not start");
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));

    // The read after opening fills base, directions and CRSF segment; the version reply comes after it.
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

QTEST_GUILESS_MAIN(TestParamsEndToEnd)
#include "tst_params_e2e.moc"
