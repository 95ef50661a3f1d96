// Parameter reads, writes, commands and their replies through the bridge over a real
// pseudo-terminal, the timed activate-and-reboot sequences, and what only the pure functions show.
#include "bridge/AppBridge.h"
#include "service/ParamWrites.h"
#include "device/ChannelConflicts.h"
#include "device/CommandPacking.h"
#include "device/GimbalConfig.h"
#include "device/ParamCodec.h"
#include "device/ParamWritePlan.h"
#include "protocol/FrameCodec.h"
#include "support/BridgeTestUtils.h"
#include "support/MessageCapture.h"
#include "support/ParamChanges.h"
#include "support/PseudoTerminal.h"

#include <QtTest>

#include <cstring>
#include <functional>

using Operation = std::function<void(AppBridge &)>;
Q_DECLARE_METATYPE(Operation)

namespace {
const quint8 CommandReply = 0x86;
const QString Changed = QStringLiteral("<tavoxParamsChanged>");

QByteArray hex(const char *spaced) { return QByteArray::fromHex(spaced); }

QByteArray progress(float value)
{
    QByteArray payload(5, char(0x8F));
    std::memcpy(payload.data() + 1, &value, 4);
    return payload;
}

// A command frame as its sub-command and words ("A0 8001 1 10001 80010001"), any other frame as its id ("C0").
QString describe(const ParsedFrame &frame)
{
    if (frame.commandId != 0x85)
        return QString::number(frame.commandId, 16).toUpper();
    QStringList words { QString::number(quint8(frame.payload.at(0)), 16) };
    for (int i = 1; i + 4 <= frame.payload.size(); i += 4)
        words << QString::number(qFromLittleEndian<quint32>(frame.payload.constData() + i), 16);
    return words.join(QLatin1Char(' ')).toUpper();
}

// Every parameter property as "SbusPitchCh=1", sorted.
QStringList parameters(const AppBridge &bridge)
{
    QStringList values;
    const QMetaObject *meta = bridge.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.notifySignal().name() == "tavoxParamsChanged")
            values << QStringLiteral("%1=%2").arg(property.name() + 5).arg(property.read(&bridge).toInt());
    }
    values.sort();
    return values;
}

QStringList changedSince(const QStringList &before, const AppBridge &bridge)
{
    QStringList changes = parameters(bridge);
    for (const QString &value : before)
        changes.removeOne(value);
    return changes;
}

QStringList writeNames(const QVector<ParamWrite> &writes)
{
    QStringList names;
    for (ParamWrite write : writes)
        names << paramWriteName(write).en;
    return names;
}

// The payload of a command frame as the controller cuts it off the line.
QByteArray commandPayload(const QByteArray &frame)
{
    QByteArray buffer = frame;
    ParsedFrame parsed;
    return extractFrame(buffer, parsed) && parsed.commandId == CommandId::Command ? parsed.payload : QByteArray();
}

QStringList sortedWords(const QString &text)
{
    QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    words.sort();
    return words;
}

// A bridge on the tool end of a pseudo-terminal; records every frame arriving at the device end
// and every line the bridge echoes, with marks for its parameter and calibration signals.
class Link
{
public:
    explicit Link(const QString &language)
        : m_reboot(language == QLatin1String("zh") ? QStringLiteral("重启指令成功") : QStringLiteral("Reboot succeeded"))
    {
        QObject::connect(&pty, &PseudoTerminal::bytesReceived, &pty, [this](const QByteArray &bytes) {
            m_pending += bytes;
            ParsedFrame frame;
            while (extractFrame(m_pending, frame))
                sent << describe(frame);
        });
        QObject::connect(&bridge, &AppBridge::tavoxParamsChanged, &bridge, [] { qDebug().noquote() << Changed; });
        QObject::connect(&bridge, &AppBridge::accelCaliStateChanged, &bridge,
                         [this] { qDebug().nospace() << "<accelCaliState " << bridge.accelCaliState() << '>'; });
        bridge.setLanguage(language);
        QVERIFY(bridge.openSerial(pty.slaveName(), 115200));
        QCoreApplication::processEvents(); // the port listing queued by the constructor
        capture.clear();
    }

    void reply(quint8 commandId, const QByteArray &payload) { QVERIFY(pty.write(buildFrameV0(commandId, payload))); }

    // Once everything replied so far is handled (a reboot reply, always reported, comes last): the
    // echoed lines without stamps, sent-frame dumps and the entries of the exchange after opening.
    QStringList settledLines()
    {
        static const QRegularExpression stamp(QStringLiteral("^\\[[-\\d: ]{19}\\] "));
        static const QStringList startup = { QStringLiteral("Reading parameters..."), QStringLiteral("正在读取参数..."),
                                             QStringLiteral("Querying version..."), QStringLiteral("正在查询版本号...") };
        QStringList own;
        reply(CommandReply, hex("91"));
        const bool settled = QTest::qWaitFor([&] {
            own.clear();
            for (QString line : capture.lines()) {
                if (!line.remove(stamp).startsWith(QLatin1String("[DIAG-HEX] TX")) && !startup.contains(line))
                    own << line;
            }
            return own.value(own.size() - 1) == m_reboot;
        });
        return settled ? own.mid(0, own.size() - 1) : own;
    }

    // The command frames sent since the last call.
    QStringList commands()
    {
        // 0x42 is never used by the controller: once it arrives, all sent before it has too.
        bridge.serialLink().send(buildFrameV0(0x42, QByteArray()));
        if (!QTest::qWaitFor([this] { return sent.value(sent.size() - 1) == QLatin1String("42"); }))
            return { QStringLiteral("fence lost") };
        const QStringList commandFrames = sent.filter(QStringLiteral(" "));
        sent.clear();
        return commandFrames;
    }

    MessageCapture capture;
    PseudoTerminal pty;
    AppBridge bridge;
    QStringList sent;

private:
    QString m_reboot;
    QByteArray m_pending;
};

}

class TestParams : public QObject
{
    Q_OBJECT

private slots:
    void workedFrames();
    void packedValuesSitWhereTheControllerReadsThem_data();
    void packedValuesSitWhereTheControllerReadsThem();
    void gimbalConfigStoresOnlyWhatWasSent();
    void decodesEveryFieldFromItsOwnBytes_data();
    void decodesEveryFieldFromItsOwnBytes();
    void functionsSharingAChannelAreFound_data();
    void functionsSharingAChannelAreFound();
    void restartingWritesGoLastEachOnItsOwn_data();
    void restartingWritesGoLastEachOnItsOwn();
    void directionsRideWithTheirReceiversChannelWrite_data();
    void directionsRideWithTheirReceiversChannelWrite();
    void exchanges_data();
    void exchanges();
    void parameterBlocks_data();
    void parameterBlocks();
};

void TestParams::workedFrames()
{
    QCOMPARE(toHexText(packChannels(Receiver::Sbus, { 1, 2, 3, 4, 5, 6, 1, 0, 1 }).toFrame()),
             QStringLiteral("AA 18 00 C2 85 A0 01 80 00 00 03 80 00 00 05 00 04 00 06 00 02 00 68 14"));
    QCOMPARE(toHexText(packCameraPosition(2).toFrame()),
             QStringLiteral("AA 18 00 C2 85 A2 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 64 70"));
}

// Each value read back from its own word of the frame, all of them distinct, so
// no two can trade places unseen.
void TestParams::packedValuesSitWhereTheControllerReadsThem_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("subCommand");
    QTest::addColumn<int>("word");   // para1 to para4
    QTest::addColumn<int>("value");
    const QByteArray speeds = packMaxSpeeds(11, 22, 33).toFrame();
    QTest::newRow("speeds: pitch in para1") << speeds << 0xA3 << 1 << 11;
    QTest::newRow("speeds: yaw in para2") << speeds << 0xA3 << 2 << 33;
    QTest::newRow("speeds: roll in para3") << speeds << 0xA3 << 3 << 22;
    QTest::newRow("speeds: para4 unused") << speeds << 0xA3 << 4 << 0;
    const QByteArray torques = packTorques(1001, 2002, 3003).toFrame();
    QTest::newRow("torques: yaw in para1") << torques << 0xA5 << 1 << 3003;
    QTest::newRow("torques: roll in para2") << torques << 0xA5 << 2 << 2002;
    QTest::newRow("torques: pitch in para3") << torques << 0xA5 << 3 << 1001;
    QTest::newRow("torques: para4 unused") << torques << 0xA5 << 4 << 0;
}

void TestParams::packedValuesSitWhereTheControllerReadsThem()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, subCommand);
    QFETCH(int, word);
    QFETCH(int, value);
    const QByteArray payload = commandPayload(frame);
    QCOMPARE(payload.size(), 17);
    QCOMPARE(int(quint8(payload.at(0))), subCommand);
    QCOMPARE(qFromLittleEndian<quint32>(payload.constData() + 1 + (word - 1) * 4), quint32(value));
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

// A target that differs from the controller in the named fields: the writes
// that leave the controller running go first, then the restarting ones, each
// on its own, the torque last. A receiver whose channels are written takes its
// directions along.
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

void TestParams::restartingWritesGoLastEachOnItsOwn_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("CRSF form, every field") << int(ParamBlockForm::Crsf) << "."
        << writeNames({ParamWrite::CameraPosition, ParamWrite::GimbalConfig, ParamWrite::SbusChannels,
                       ParamWrite::PwmChannels, ParamWrite::CrsfChannels, ParamWrite::Torque});
    QTest::newRow("photo/video form, every field") << int(ParamBlockForm::PhotoVideo) << "."
        << writeNames({ParamWrite::CameraPosition, ParamWrite::GimbalConfig, ParamWrite::SbusPhotoVideo,
                       ParamWrite::SbusChannels, ParamWrite::PwmChannels, ParamWrite::Torque});
    QTest::newRow("CRSF form, every field but channels and modes") << int(ParamBlockForm::Crsf)
        << "^(?!.*(Channel|\\.mode)$)"
        << writeNames({ParamWrite::CameraPosition, ParamWrite::GimbalConfig, ParamWrite::SbusDirections,
                       ParamWrite::PwmDirections, ParamWrite::CrsfDirections, ParamWrite::Torque});
    QTest::newRow("base form: torque, channels, camera") << int(ParamBlockForm::Base)
        << "^(gimbal\\.rollMaxTorque|pwm\\.mode|sbus\\.lockChannel|camera\\.position)$"
        << writeNames({ParamWrite::CameraPosition, ParamWrite::SbusChannels, ParamWrite::PwmChannels,
                       ParamWrite::Torque});
}

void TestParams::restartingWritesGoLastEachOnItsOwn()
{
    QFETCH(int, form);
    QFETCH(QString, fields);
    const ParamBlock device;
    const ParamBlock target = withFieldsChanged(device, ParamBlockForm(form), QRegularExpression(fields));
    QTEST(writeNames(planParamWrites(device, target, ParamBlockForm(form))), "writes");
}

// One channel and one direction of the same receiver changed: its channel
// write carries the directions, so no direction write of its own goes out.
// Only a direction changed: the direction write alone, with no restart.
void TestParams::directionsRideWithTheirReceiversChannelWrite_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QStringList>("writes");
    QTest::newRow("SBUS") << "^sbus\\.(pitchChannel|yawDirection)$" << writeNames({ParamWrite::SbusChannels});
    QTest::newRow("PWM") << "^pwm\\.(centerChannel|pitchDirection)$" << writeNames({ParamWrite::PwmChannels});
    QTest::newRow("CRSF") << "^crsf\\.(lockChannel|rollDirection)$" << writeNames({ParamWrite::CrsfChannels});
    QTest::newRow("SBUS mode and a direction") << "^sbus\\.(mode|rollDirection)$"
                                               << writeNames({ParamWrite::SbusChannels});
    QTest::newRow("SBUS direction alone") << "^sbus\\.yawDirection$" << writeNames({ParamWrite::SbusDirections});
    QTest::newRow("PWM direction alone") << "^pwm\\.yawDirection$" << writeNames({ParamWrite::PwmDirections});
    QTest::newRow("CRSF direction alone") << "^crsf\\.pitchDirection$" << writeNames({ParamWrite::CrsfDirections});
}

void TestParams::directionsRideWithTheirReceiversChannelWrite()
{
    QFETCH(QString, fields);
    const ParamBlock device;
    const ParamBlock target = withFieldsChanged(device, ParamBlockForm::Crsf, QRegularExpression(fields));
    QTEST(writeNames(planParamWrites(device, target, ParamBlockForm::Crsf)), "writes");
}

// An operation and then command replies from the controller: the frames sent, the lines echoed
// (entries, diagnostics, signal marks) in order, and the parameters changed.
void TestParams::exchanges_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("changes");
    const auto row = [](const char *name, const char *language, const Operation &operation, const QStringList &commands,
                        const QStringList &lines, const char *changes = "", const QList<QByteArray> &replies = {}) {
        QTest::newRow(name) << QString::fromLatin1(language) << operation << replies << commands << lines
                            << QString::fromLatin1(changes);
    };
    const auto replies = [&row](const char *name, const char *language, const QList<QByteArray> &payloads,
                                const QStringList &lines) { row(name, language, [](AppBridge &) {}, {}, lines, "", payloads); };
    row("SBUS: bit 15 only from the direction, directions 2 and 3, stored modulo 256", "zh",
        [](AppBridge &b) { b.tavoxWriteSbusChannelsWithDir(0x8105, 2, 0xFFFF, 4, 0x1FFFF, 6, 2, 3, 1); },
        { "A0 105 FFFF 4FFFF 80020006" }, { Changed, "SBUS通道配置已写入" },
        "SbusPitchCh=5 SbusRollCh=2 SbusYawCh=255 SbusCenterCh=4 SbusLockCh=255 SbusMode=6 SbusRollDir=1 SbusYawDir=1");
    row("SBUS channels keep the stored directions", "en",
        [](AppBridge &b) { b.tavoxWriteSbusDirections(1, 1, 0); b.tavoxWriteSbusChannels(9, 8, 7, 6, 5, 0); },
        { "A0 8001 1 10001 80010001", "A0 8009 7 60005 80080000" },
        { Changed, "SBUS directions written", Changed, "SBUS channels written" },
        "SbusPitchCh=9 SbusRollCh=8 SbusYawCh=7 SbusCenterCh=6 SbusLockCh=5 SbusMode=0 SbusPitchDir=1 SbusRollDir=1");
    row("PWM, then its directions over the stored 8-bit lock", "en",
        [](AppBridge &b) { b.tavoxWritePwmChannelsWithDir(7, 8, 9, 300, 0, 1, 3); b.tavoxWritePwmDirections(0, 1); },
        { "A1 8007 8008 9 12C0000", "A1 7 8008 9 2C0000" },
        { Changed, "PWM channels written", Changed, "PWM directions written" },
        "PwmPitchCh=7 PwmYawCh=8 PwmCenterCh=9 PwmLockCh=300 PwmMode=0 PwmYawDir=1");
    row("PWM ignores roll", "zh",
        [](AppBridge &b) { b.tavoxWritePwmChannels(1, 2, 3, 4, 5, 6); b.tavoxWritePwmChannels(1, 9, 3, 4, 5, 6); },
        { "A1 1 3 4 50006", "A1 1 3 4 50006" }, { Changed, "PWM通道配置已写入", Changed, "PWM通道配置已写入" },
        "PwmYawCh=3 PwmCenterCh=4 PwmLockCh=5 PwmMode=6");
    row("CRSF directions, then channels with them", "en",
        [](AppBridge &b) { b.tavoxWriteCrsfDirections(1, 0, 1); b.tavoxWriteCrsfChannels(300, 2, 3, 4, 5, 6); },
        { "A7 8001 8001 10001 10001", "A7 812C 8003 40005 20006" },
        { Changed, "CRSF directions written", Changed,
          "[DIAG-TX] 0xA7 写入 crsfPitch=300 roll=2 yaw=3 center=4 lock=5 mode=6 pDir=1 rDir=0 yDir=1 | "
          "para1=0x0000812c para2=0x00008003 para3=0x00040005 para4=0x00020006",
          "CRSF channels written" },
        "CrsfPitchCh=44 CrsfRollCh=2 CrsfYawCh=3 CrsfCenterCh=4 CrsfLockCh=5 CrsfMode=6 CrsfPitchDir=1 CrsfYawDir=1");
    row("photo/video: whole words", "zh", [](AppBridge &b) { b.tavoxSendSbusPhotoVideo(5, -1); },
        { "A6 5 FFFFFFFF 0 0" }, { Changed, "SBUS拍照/录像通道已写入" }, "SbusPhotoCh=5 SbusVideoCh=255");
    row("gimbal configuration: speeds go pitch, yaw, roll", "en",
        [](AppBridge &b) { b.tavoxWriteGimbalConfig(1, 10, 20, 30); }, { "A3 A 1E 14 0", "A4 1 0 0 0" },
        { Changed, "Gimbal config written" }, "FpvMode=1 PitchMaxSpeed=10 RollMaxSpeed=20 YawMaxSpeed=30");
    row("camera position", "zh", [](AppBridge &b) { b.tavoxWriteCameraPosition(2); }, { "A2 2 0 0 0" },
        { Changed, "相机设置已写入" }, "CameraPosition=2");
    row("torques go yaw, roll, pitch; stored modulo 65536", "en",
        [](AppBridge &b) { b.tavoxWriteTorque(70000, 200, 300); }, { "A5 12C C8 11170 0" },
        { Changed, "Torque settings written" }, "PitchMaxTorque=4464 RollMaxTorque=200 YawMaxTorque=300");
    row("calibrations: known types only, no message", "en",
        [](AppBridge &b) { for (int type : { 2, 6, -1, 0 }) b.tavoxSendCalibration(type); },
        { "8F 0 0 0 0", "9C 0 0 0 0" }, {});
    row("motor torque: any other direction clears", "zh",
        [](AppBridge &b) { b.tavoxSendMotorTorque(1, 0); b.tavoxSendMotorTorque(0, 1); b.tavoxSendMotorTorque(2, 7);
                           b.tavoxSendMotorTorque(3, 0); },
        { "85 0 0 0 0", "82 0 0 0 0", "8B 0 0 0 0" },
        { "电机控制: 中框架 正向力矩", "电机控制: 外框架 反向力矩", "电机控制: 内框架 力矩清零" });
    row("motor hall and electrical angle", "en",
        [](AppBridge &b) {
            b.tavoxSendMotorHallCalib(2); b.tavoxSendMotorHallCalib(3);
            b.tavoxSendElecAngleCalib(1, false); b.tavoxSendElecAngleCalib(0, true); b.tavoxSendElecAngleCalib(5, true);
        },
        { "8C 0 0 0 0", "95 0 0 0 0", "92 0 0 0 0" },
        { "Motor hall calibration sent", "Elec angle calib end", "Elec angle calib start" });
    row("hall data, linearisation, gyro bias", "zh",
        [](AppBridge &b) {
            b.tavoxSendHallDataSelect(true); b.tavoxSendHallDataSelect(false);
            b.tavoxSendLinearCalib(); b.tavoxSendGyroBiasUpdate();
        },
        { "98 0 0 0 0", "99 0 0 0 0", "9B 0 0 0 0", "9D 0 0 0 0" },
        { "已切换为用户校准霍尔数据", "已切换为默认霍尔数据", "电机线性化校准已发送", "陀螺仪偏置更新指令已发送" });
    replies("replies named and unnamed", "en",
            { hex("90"), hex("8F"), hex("A7 00 00"), hex("80"), hex("9A"), hex("9E"), hex("9F"), hex("7F"), hex("A8"), {} },
            { "Activate succeeded", "Accel Calib succeeded", "CRSF Channel succeeded", "Module Disable succeeded" });
    replies("replies named, zh; a 0x8F of four bytes is a plain reply", "zh",
            { hex("90"), hex("8F 00 00 80"), hex("A5") }, { "激活指令成功", "加速度计校准指令成功", "力矩设置指令成功" });
    replies("progress: repeated state silent, -0.7 gives 0, NaN and 2^31 the invalid state", "en",
            { progress(2.6f), progress(3.2f), progress(-0.7f), hex("8F 00 00 C0 7F"), progress(2147483520.0f),
              progress(2147483648.0f) },
            { "<accelCaliState 3>", "Accel Calib: DOWN", "<accelCaliState 0>", "<accelCaliState -2147483648>",
              "<accelCaliState 2147483520>", "<accelCaliState -2147483648>" });
    replies("progress, zh", "zh", { progress(7.9f), progress(1.0f) },
            { "<accelCaliState 8>", "加速度计校准成功", "<accelCaliState 1>", "加速度计校准: 正放(UP)" });
}

void TestParams::exchanges()
{
    QFETCH(QString, language);
    QFETCH(Operation, operation);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QString, changes);
    Link link(language);
    const QStringList before = parameters(link.bridge);

    operation(link.bridge);
    for (const QByteArray &payload : replies)
        link.reply(CommandReply, payload);
    QTEST(link.settledLines(), "lines");
    QCOMPARE(changedSince(before, link.bridge), sortedWords(changes));
    QTEST(link.commands(), "commands");
}

void TestParams::parameterBlocks_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("diagnostics");
    QTest::addColumn<QString>("changes");

    const QByteArray base = hex("02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 C8 E8 03 14 15 16 17");
    const QString baseChanges = QStringLiteral(
        "SbusPitchCh=2 SbusYawCh=3 SbusCenterCh=4 SbusMode=5 PwmPitchCh=6 PwmYawCh=7 PwmCenterCh=8 PwmMode=9 "
        "CameraPosition=10 PitchMaxSpeed=11 YawMaxSpeed=12 FpvMode=13 SbusRollCh=14 RollMaxSpeed=15 SbusLockCh=16 "
        "PwmLockCh=200 YawMaxTorque=1000 RollMaxTorque=5396 PitchMaxTorque=5910 PwmRollCh=6 SbusRollDir=0 SbusYawDir=0 ");
    const QString merge = QStringLiteral("[DIAG-MERGE] 固件0xC1未含CRSF扩展段, 已保留本地CRSF值 crsfPitch=1 (规避被冲回默认)");
    const QString noCrsf = QStringLiteral(" | crsfPitch=1 roll=1 yaw=1 center=1 lock=1 mode=1 pDir=0 rDir=0 yDir=0");
    const QString crsfValues = QStringLiteral(" | crsfPitch=25 roll=24 yaw=23 center=22 lock=21 mode=0 pDir=1 rDir=0 yDir=0");
    const QByteArray crsf = base + hex("01 00 00 01 00 19 18 17 16 15 00 01 00 00");
    const QString crsfChanges = baseChanges + "PwmPitchDir=1 CrsfPitchCh=25 CrsfRollCh=24 CrsfYawCh=23 CrsfCenterCh=22 "
                                              "CrsfLockCh=21 CrsfMode=0 CrsfPitchDir=1 CrsfRollDir=0 CrsfYawDir=0";

    QTest::newRow("21 bytes: ignored") << "en" << base.left(21) << QStringList() << QString();
    QTest::newRow("22 bytes: segments kept, directions 0") << "en" << base
        << QStringList { "[DIAG-RX] 0xC1 dataLen=22 crsfPresent=NO photoVideoPresent=NO" + noCrsf, merge }
        << baseChanges + "SbusPitchDir=0";
    QTest::newRow("28 bytes: still the base only") << "en" << base + hex("05 06 01 01 01 01")
        << QStringList { "[DIAG-RX] 0xC1 dataLen=28 crsfPresent=NO photoVideoPresent=NO" + noCrsf, merge }
        << baseChanges + "SbusPitchDir=0";
    QTest::newRow("29 bytes: photo/video") << "zh" << base + hex("05 06 01 00 00 00 01")
        << QStringList { "[DIAG-RX] 0xC1 dataLen=29 crsfPresent=NO photoVideoPresent=YES" + noCrsf, merge }
        << baseChanges + "SbusPhotoCh=5 SbusVideoCh=6 PwmYawDir=1";
    QTest::newRow("36 bytes: CRSF") << "en" << crsf
        << QStringList { "[DIAG-RX] 0xC1 dataLen=36 crsfPresent=YES photoVideoPresent=NO" + crsfValues } << crsfChanges;
    QTest::newRow("40 bytes read as their first 36") << "en" << crsf + hex("11 12 13 14")
        << QStringList { "[DIAG-RX] 0xC1 dataLen=40 crsfPresent=YES photoVideoPresent=NO" + crsfValues } << crsfChanges;
}

void TestParams::parameterBlocks()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, diagnostics);
    QFETCH(QString, changes);
    Link link(language);
    // Values only the tool has written: a block without their segment keeps them.
    link.bridge.tavoxWriteCrsfDirections(0, 1, 1);
    link.bridge.tavoxSendSbusPhotoVideo(3, 4);
    link.bridge.tavoxWriteSbusDirections(1, 1, 1);
    link.capture.clear();
    const QStringList before = parameters(link.bridge);

    link.reply(0xC1, payload);
    QStringList expected;
    if (!diagnostics.isEmpty()) {
        expected << QStringLiteral("[DIAG-HEX] 0xC1 raw data(%1B): %2").arg(payload.size()).arg(toHexText(payload))
                 << diagnostics << Changed
                 << (language == QLatin1String("zh") ? QStringLiteral("参数读取成功") : QStringLiteral("Parameters read OK"));
    }
    QCOMPARE(link.settledLines(), expected);
    QCOMPARE(changedSince(before, link.bridge), sortedWords(changes));
}

QTEST_GUILESS_MAIN(TestParams)
#include "tst_params.moc"
