#include "bridge/AppBridge.h"
#include "device/ParamFile.h"
#include "support/PseudoTerminal.h"

#include <QtTest>

#include <functional>

using Write = std::function<void(AppBridge &)>;
Q_DECLARE_METATYPE(Write)

class TestBridgeParams : public QObject
{
    Q_OBJECT

private slots:
    void argumentsReachTheirFields_data();
    void argumentsReachTheirFields();
};

void TestBridgeParams::argumentsReachTheirFields_data()
{
    QTest::addColumn<Write>("write");
    QTest::addColumn<QString>("fields");   // "group.field=value ..."
    QTest::newRow("SBUS channels keep the stored directions")
        << Write([](AppBridge &b) { b.tavoxWriteSbusDirections(1, 1, 0); b.tavoxWriteSbusChannels(9, 8, 7, 6, 5, 0); })
        << "sbus.pitchChannel=9 sbus.rollChannel=8 sbus.yawChannel=7 sbus.centerChannel=6 sbus.lockChannel=5 sbus.mode=0 "
           "sbus.pitchDirection=1 sbus.rollDirection=1 sbus.yawDirection=0";
    QTest::newRow("PWM ignores roll and keeps the stored directions")
        << Write([](AppBridge &b) { b.tavoxWritePwmDirections(1, 0); b.tavoxWritePwmChannels(1, 2, 3, 4, 5, 6); })
        << "pwm.pitchChannel=1 pwm.yawChannel=3 pwm.centerChannel=4 pwm.lockChannel=5 pwm.mode=6 pwm.pitchDirection=1 "
           "pwm.yawDirection=0";
    QTest::newRow("CRSF channels with directions")
        << Write([](AppBridge &b) { b.tavoxWriteCrsfDirections(0, 1, 0); b.tavoxWriteCrsfChannelsWithDir(7, 6, 5, 4, 3, 2, 1, 0, 1); })
        << "crsf.pitchChannel=7 crsf.rollChannel=6 crsf.yawChannel=5 crsf.centerChannel=4 crsf.lockChannel=3 crsf.mode=2 "
           "crsf.pitchDirection=1 crsf.rollDirection=0 crsf.yawDirection=1";
    QTest::newRow("gimbal, torques, camera, photo/video")
        << Write([](AppBridge &b) {
               b.tavoxWriteGimbalConfig(2, 11, 22, 33); b.tavoxWriteTorque(100, 200, 300); b.tavoxWriteCameraPosition(1);
               b.tavoxSendSbusPhotoVideo(4, 5);
           })
        << "gimbal.fpvMode=2 gimbal.pitchMaxSpeed=11 gimbal.rollMaxSpeed=22 gimbal.yawMaxSpeed=33 gimbal.pitchMaxTorque=100 "
           "gimbal.rollMaxTorque=200 gimbal.yawMaxTorque=300 camera.position=1 sbus.photoChannel=4 sbus.videoChannel=5";
}

void TestBridgeParams::argumentsReachTheirFields()
{
    QFETCH(Write, write);
    QFETCH(QString, fields);
    PseudoTerminal pty;
    AppBridge bridge;
    QVERIFY(bridge.openSerial(pty.slaveName(), 115200));

    write(bridge);
    QStringList values;
    for (const QString &field : fields.split(QLatin1Char(' ')))
        values << QStringLiteral("%1=%2").arg(field.section(QLatin1Char('='), 0, 0))
                      .arg(ParamFile::value(bridge.parameters().block(), field.section(QLatin1Char('='), 0, 0)));
    QCOMPARE(values.join(QLatin1Char(' ')), fields);
}

QTEST_GUILESS_MAIN(TestBridgeParams)
#include "tst_bridgeparams.moc"
