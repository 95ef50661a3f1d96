// What the pure functions of the parameters decide: the words a packed command
// carries, the fields a block decodes to, channels shared by two functions, and
// the order in which a restore's writes go.
#include "device/ChannelConflicts.h"
#include "device/CommandPacking.h"
#include "device/GimbalConfig.h"
#include "device/ParamCodec.h"
#include "device/ParamWritePlan.h"
#include "protocol/FrameCodec.h"
#include "support/ParamChanges.h"

#include <QtTest>

namespace {
QVector<int> numbers(const QVector<ParamWrite> &writes)
{
    QVector<int> values;
    for (ParamWrite write : writes)
        values << int(write);
    return values;
}
}

class TestParams : public QObject
{
    Q_OBJECT

private slots:
    void workedFrames();
    void gimbalConfigStoresOnlyWhatWasSent();
    void decodesEveryFieldFromItsOwnBytes_data();
    void decodesEveryFieldFromItsOwnBytes();
    void functionsSharingAChannelAreFound_data();
    void functionsSharingAChannelAreFound();
    void restartingWritesGoLastEachOnItsOwn_data();
    void restartingWritesGoLastEachOnItsOwn();
};

void TestParams::workedFrames()
{
    QCOMPARE(toHexText(packChannels(Receiver::Sbus, { 1, 2, 3, 4, 5, 6, 1, 0, 1 }).toFrame()),
             QStringLiteral("AA 18 00 C2 85 A0 01 80 00 00 03 80 00 00 05 00 04 00 06 00 02 00 68 14"));
    QCOMPARE(toHexText(packCameraPosition(2).toFrame()),
             QStringLiteral("AA 18 00 C2 85 A2 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 64 70"));
}

// A refused frame is never shown as the controller's setting.
void TestParams::gimbalConfigStoresOnlyWhatWasSent()
{
    const auto stored = [](bool speedsSent, bool fpvModeSent) {
        ParamBlock block;
        const bool changed = storeSentGimbalConfig(block, { 257, 10, 20, -1 }, speedsSent, fpvModeSent);
        return QStringLiteral("%1: FPV %2, speeds %3 %4 %5").arg(changed ? "changed" : "unchanged").arg(block.fpvMode)
            .arg(block.pitchMaxSpeed).arg(block.rollMaxSpeed).arg(block.yawMaxSpeed);
    };
    QCOMPARE(stored(true, true), QStringLiteral("changed: FPV 1, speeds 10 20 255"));
    QCOMPARE(stored(false, true), QStringLiteral("changed: FPV 1, speeds 0 0 0"));
    QCOMPARE(stored(true, false), QStringLiteral("changed: FPV 0, speeds 10 20 255"));
    QCOMPARE(stored(false, false), QStringLiteral("unchanged: FPV 0, speeds 0 0 0"));
}

// Payload byte i holds i + 1, so every field decodes to a value of its own; a
// torque takes two bytes, low first.
void TestParams::decodesEveryFieldFromItsOwnBytes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("layout");   // "field@offset ..."
    const QString base = QStringLiteral(
        "sbus.pitchChannel@0 sbus.yawChannel@1 sbus.centerChannel@2 sbus.mode@3 pwm.pitchChannel@4 pwm.yawChannel@5 "
        "pwm.centerChannel@6 pwm.mode@7 camera.position@8 gimbal.pitchMaxSpeed@9 gimbal.yawMaxSpeed@10 "
        "gimbal.fpvMode@11 sbus.rollChannel@12 gimbal.rollMaxSpeed@13 sbus.lockChannel@14 pwm.lockChannel@15 "
        "gimbal.yawMaxTorque@16 gimbal.rollMaxTorque@18 gimbal.pitchMaxTorque@20");
    QTest::newRow("base, 22 bytes") << 22 << base;
    QTest::newRow("photo/video, 29 bytes")
        << 29 << base + " sbus.photoChannel@22 sbus.videoChannel@23 sbus.pitchDirection@24 sbus.rollDirection@25 "
                        "sbus.yawDirection@26 pwm.pitchDirection@27 pwm.yawDirection@28";
    QTest::newRow("CRSF, 36 bytes")
        << 36 << base + " sbus.pitchDirection@22 sbus.rollDirection@23 sbus.yawDirection@24 pwm.pitchDirection@25 "
                        "pwm.yawDirection@26 crsf.pitchChannel@27 crsf.rollChannel@28 crsf.yawChannel@29 "
                        "crsf.centerChannel@30 crsf.lockChannel@31 crsf.mode@32 crsf.pitchDirection@33 "
                        "crsf.rollDirection@34 crsf.yawDirection@35";
}

void TestParams::decodesEveryFieldFromItsOwnBytes()
{
    QFETCH(int, length);
    QFETCH(QString, layout);
    QByteArray payload;
    for (int i = 0; i < length; ++i)
        payload.append(char(i + 1));
    ParamBlock block;
    QVERIFY(decodeParamBlock(payload, block));

    QStringList decoded;
    QStringList expected;
    for (const QString &entry : layout.split(QLatin1Char(' '))) {
        const QString field = entry.section(QLatin1Char('@'), 0, 0);
        const int offset = entry.section(QLatin1Char('@'), 1).toInt();
        const int value = field.endsWith(QLatin1String("Torque")) ? (offset + 1) | (offset + 2) << 8 : offset + 1;
        expected << QStringLiteral("%1=%2").arg(field).arg(value);
        decoded << QStringLiteral("%1=%2").arg(field).arg(ParamFile::value(block, field));
    }
    QCOMPARE(decoded, expected);
    QCOMPARE(ParamFile::fieldNames(paramBlockFormOf(block)).size(), expected.size());   // no field left out
}

void TestParams::functionsSharingAChannelAreFound_data()
{
    QTest::addColumn<QVector<int>>("pitchYawCenter");
    QTest::addColumn<QString>("conflicts");
    QTest::newRow("each its own") << QVector<int>{1, 2, 3} << QString();
    QTest::newRow("pitch and center") << QVector<int>{3, 2, 3} << QStringLiteral("Pitch+Center@3");
    QTest::newRow("all three") << QVector<int>{2, 2, 2} << QStringLiteral("Pitch+Yaw@2 Pitch+Center@2 Yaw+Center@2");
    QTest::newRow("none is no channel") << QVector<int>{0, 1, 0} << QString();
}

void TestParams::functionsSharingAChannelAreFound()
{
    QFETCH(QVector<int>, pitchYawCenter);
    QFETCH(QString, conflicts);
    const QVector<ChannelUse> uses = {{QStringLiteral("Pitch"), pitchYawCenter[0]},
                                      {QStringLiteral("Yaw"), pitchYawCenter[1]},
                                      {QStringLiteral("Center"), pitchYawCenter[2]}};
    QStringList found;
    for (const ChannelConflict &conflict : channelConflicts(uses))
        found << QStringLiteral("%1+%2@%3").arg(conflict.first, conflict.second).arg(conflict.channel);
    QCOMPARE(found.join(QLatin1Char(' ')), conflicts);
}

// A target that differs from the controller in the named fields: the writes
// that leave the controller running go first, then the restarting ones, each
// on its own, the torque last. A receiver whose channels are written takes its
// directions along.
void TestParams::restartingWritesGoLastEachOnItsOwn_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QVector<int>>("writes");
    QTest::newRow("CRSF form, every field") << int(ParamBlockForm::Crsf) << "."
        << numbers({ParamWrite::CameraPosition, ParamWrite::GimbalConfig, ParamWrite::SbusChannels,
                       ParamWrite::PwmChannels, ParamWrite::CrsfChannels, ParamWrite::Torque});
    QTest::newRow("photo/video form, every field") << int(ParamBlockForm::PhotoVideo) << "."
        << numbers({ParamWrite::CameraPosition, ParamWrite::GimbalConfig, ParamWrite::SbusPhotoVideo,
                       ParamWrite::SbusChannels, ParamWrite::PwmChannels, ParamWrite::Torque});
    QTest::newRow("CRSF form, every field but channels and modes") << int(ParamBlockForm::Crsf)
        << "^(?!.*(Channel|\\.mode)$)"
        << numbers({ParamWrite::CameraPosition, ParamWrite::GimbalConfig, ParamWrite::SbusDirections,
                       ParamWrite::PwmDirections, ParamWrite::CrsfDirections, ParamWrite::Torque});
    QTest::newRow("base form: torque, channels, camera") << int(ParamBlockForm::Base)
        << "^(gimbal\\.rollMaxTorque|pwm\\.mode|sbus\\.lockChannel|camera\\.position)$"
        << numbers({ParamWrite::CameraPosition, ParamWrite::SbusChannels, ParamWrite::PwmChannels,
                       ParamWrite::Torque});
    // One channel and one direction of the same receiver changed: its channel write carries the directions,
    // so no direction write of its own goes out. Only a direction changed: the direction write alone.
    const auto crsf = [](const char *name, const char *fields, ParamWrite write) {
        QTest::newRow(name) << int(ParamBlockForm::Crsf) << fields << numbers({write});
    };
    crsf("SBUS channel and direction", "^sbus\\.(pitchChannel|yawDirection)$", ParamWrite::SbusChannels);
    crsf("PWM channel and direction", "^pwm\\.(centerChannel|pitchDirection)$", ParamWrite::PwmChannels);
    crsf("CRSF channel and direction", "^crsf\\.(lockChannel|rollDirection)$", ParamWrite::CrsfChannels);
    crsf("SBUS mode and a direction", "^sbus\\.(mode|rollDirection)$", ParamWrite::SbusChannels);
    crsf("SBUS direction alone", "^sbus\\.yawDirection$", ParamWrite::SbusDirections);
    crsf("PWM direction alone", "^pwm\\.yawDirection$", ParamWrite::PwmDirections);
    crsf("CRSF direction alone", "^crsf\\.pitchDirection$", ParamWrite::CrsfDirections);
}

void TestParams::restartingWritesGoLastEachOnItsOwn()
{
    QFETCH(int, form);
    QFETCH(QString, fields);
    const ParamBlock device;
    const ParamBlock target = withFieldsChanged(device, ParamBlockForm(form), QRegularExpression(fields));
    QTEST(numbers(planParamWrites(device, target, ParamBlockForm(form))), "writes");
}

QTEST_GUILESS_MAIN(TestParams)
#include "tst_params.moc"
