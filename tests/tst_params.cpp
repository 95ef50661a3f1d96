// Parameter block decoding and merging, command packing, service command
// mappings, reply names and the accelerometer progress conversion.
#include "device/AccelProgress.h"
#include "device/ChannelSettings.h"
#include "device/CommandNames.h"
#include "device/CommandPacking.h"
#include "device/GimbalConfig.h"
#include "device/ParamCodec.h"
#include "device/ServiceCommands.h"
#include "protocol/FrameCodec.h"

#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

Q_DECLARE_METATYPE(CommandWords)
Q_DECLARE_METATYPE(ParamBlock)
Q_DECLARE_METATYPE(std::optional<quint8>)

namespace {
const std::optional<quint8> None = std::nullopt;

QByteArray fromHex(const char *spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

// Payload whose byte i holds `first` + i, so every field shows where it came from.
QByteArray countingPayload(int length, int first = 10)
{
    QByteArray payload;
    for (int i = 0; i < length; ++i)
        payload.append(char(first + i));
    return payload;
}

// The tool's copy as it stands after it wrote CRSF and photo/video values itself.
ParamBlock writtenByTool()
{
    ParamBlock block;
    block.crsfPitchCh = 201;
    block.crsfRollCh = 202;
    block.crsfYawCh = 203;
    block.crsfCenterCh = 204;
    block.crsfLockCh = 205;
    block.crsfMode = 206;
    block.crsfPitchDir = 1;
    block.crsfRollDir = 1;
    block.crsfYawDir = 1;
    block.crsfPresent = true;
    block.sbusPhotoCh = 7;
    block.sbusVideoCh = 8;
    block.photoVideoPresent = true;
    block.sbusPitchDir = 1;
    block.sbusRollDir = 1;
    block.sbusYawDir = 1;
    block.pwmPitchDir = 1;
    block.pwmYawDir = 1;
    return block;
}

ParamBlock decodeOnto(const QByteArray &payload, const ParamBlock &current)
{
    ParamBlock decoded;
    if (decodeParamBlock(payload, decoded))
        keepAbsentSegments(decoded, current);
    return decoded;
}

// Compares the fields an extension may carry, naming the first that differs.
void compareExtensionFields(const ParamBlock &actual, const ParamBlock &expected)
{
    QCOMPARE(actual.sbusPhotoCh, expected.sbusPhotoCh);
    QCOMPARE(actual.sbusVideoCh, expected.sbusVideoCh);
    QCOMPARE(actual.sbusPitchDir, expected.sbusPitchDir);
    QCOMPARE(actual.sbusRollDir, expected.sbusRollDir);
    QCOMPARE(actual.sbusYawDir, expected.sbusYawDir);
    QCOMPARE(actual.pwmPitchDir, expected.pwmPitchDir);
    QCOMPARE(actual.pwmYawDir, expected.pwmYawDir);
    QCOMPARE(actual.crsfPitchCh, expected.crsfPitchCh);
    QCOMPARE(actual.crsfRollCh, expected.crsfRollCh);
    QCOMPARE(actual.crsfYawCh, expected.crsfYawCh);
    QCOMPARE(actual.crsfCenterCh, expected.crsfCenterCh);
    QCOMPARE(actual.crsfLockCh, expected.crsfLockCh);
    QCOMPARE(actual.crsfMode, expected.crsfMode);
    QCOMPARE(actual.crsfPitchDir, expected.crsfPitchDir);
    QCOMPARE(actual.crsfRollDir, expected.crsfRollDir);
    QCOMPARE(actual.crsfYawDir, expected.crsfYawDir);
    QCOMPARE(actual.crsfPresent, expected.crsfPresent);
    QCOMPARE(actual.photoVideoPresent, expected.photoVideoPresent);
}

QByteArray progressPayload(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray payload(1, char(0x8F));
    for (int i = 0; i < 4; ++i)
        payload.append(char((bits >> (8 * i)) & 0xFF));
    return payload;
}
}

class TestParams : public QObject
{
    Q_OBJECT

private slots:
    // Command frames and words.
    void commandFrames_data();
    void commandFrames();
    void commandWords_data();
    void commandWords();
    void pwmIgnoresRoll();

    // Parameter block reply.
    void shortPayloadIsRejected();
    void baseLayout();
    void payloadForms_data();
    void payloadForms();

    // The copy following a write.
    void gimbalConfigStoresWhatWasSent_data();
    void gimbalConfigStoresWhatWasSent();

    // Service commands.
    void calibrationMapping_data();
    void calibrationMapping();
    void motorTorqueMapping_data();
    void motorTorqueMapping();
    void motorCalibMappings_data();
    void motorCalibMappings();

    // Names and texts.
    void commandNames_data();
    void commandNames();
    void commandNameTableIsConsistent();
    void accelCaliTexts_data();
    void accelCaliTexts();
    void motorTexts();

    // Accelerometer progress.
    void progressConversion_data();
    void progressConversion();
    void progressFromPayload();
};

void TestParams::commandFrames_data()
{
    QTest::addColumn<CommandWords>("words");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("SBUS channels with directions")
        << packChannels(Receiver::Sbus, { 1, 2, 3, 4, 5, 6, 1, 0, 1 })
        << fromHex("AA 18 00 C2 85 A0 01 80 00 00 03 80 00 00 05 00 04 00 06 00 02 00 68 14");
    QTest::newRow("camera position 2")
        << packCameraPosition(2)
        << fromHex("AA 18 00 C2 85 A2 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 64 70");
}

void TestParams::commandFrames()
{
    QFETCH(CommandWords, words);
    QFETCH(QByteArray, frame);
    QCOMPARE(toHexText(words.toFrame()), toHexText(frame));
}

void TestParams::commandWords_data()
{
    QTest::addColumn<CommandWords>("words");
    QTest::addColumn<int>("subCommand");
    QTest::addColumn<quint32>("para1");
    QTest::addColumn<quint32>("para2");
    QTest::addColumn<quint32>("para3");
    QTest::addColumn<quint32>("para4");

    QTest::newRow("SBUS layout") << packChannels(Receiver::Sbus, { 11, 12, 13, 14, 15, 16, 0, 1, 0 })
                                 << 0xA0 << 11u << 13u << ((14u << 16) | 15u) << ((0x800Cu << 16) | 16u);
    QTest::newRow("CRSF shares the SBUS layout")
        << packChannels(Receiver::Crsf, { 11, 12, 13, 14, 15, 16, 0, 1, 0 }) << 0xA7 << 11u << 13u
        << ((14u << 16) | 15u) << ((0x800Cu << 16) | 16u);
    QTest::newRow("PWM: centre alone, lock beside mode")
        << packChannels(Receiver::Pwm, { 1, 0, 3, 4, 5, 6, 1, 0, 1 }) << 0xA1 << 0x8001u << 0x8003u << 4u
        << ((5u << 16) | 6u);
    QTest::newRow("direction 2 is sent as 0") << packChannels(Receiver::Sbus, { 1, 1, 1, 1, 1, 1, 2, 2, 2 })
                                              << 0xA0 << 1u << 1u << 0x10001u << 0x10001u;
    QTest::newRow("direction 3 is sent as 1") << packChannels(Receiver::Sbus, { 1, 1, 1, 1, 1, 1, 3, 3, 3 })
                                              << 0xA0 << 0x8001u << 0x8001u << 0x10001u << 0x80010001u;
    QTest::newRow("bit 15 of a channel comes only from its direction")
        << packChannels(Receiver::Sbus, { 0x8005, 0xFFFF, 0x8007, 1, 1, 1, 0, 0, 0 }) << 0xA0 << 5u << 7u
        << 0x10001u << ((0x7FFFu << 16) | 1u);
    QTest::newRow("centre, lock and mode keep their low 16 bits")
        << packChannels(Receiver::Sbus, { 1, 1, 1, 0x12345, 0x1FFFF, -1, 0, 0, 0 }) << 0xA0 << 1u << 1u
        << 0x2345FFFFu << 0x0001FFFFu;
    QTest::newRow("maximum speeds go pitch, yaw, roll") << packMaxSpeeds(10, 20, 30) << 0xA3 << 10u << 30u << 20u << 0u;
    QTest::newRow("FPV mode") << packFpvMode(1) << 0xA4 << 1u << 0u << 0u << 0u;
    QTest::newRow("torques go yaw, roll, pitch") << packTorques(100, 200, 300) << 0xA5 << 300u << 200u << 100u << 0u;
    QTest::newRow("torque beyond 16 bits is sent whole") << packTorques(70000, 0, 0) << 0xA5 << 0u << 0u << 70000u
                                                         << 0u;
    QTest::newRow("photo/video words are the whole arguments")
        << packSbusPhotoVideo(5, -1) << 0xA6 << 5u << 0xFFFFFFFFu << 0u << 0u;
    QTest::newRow("camera position") << packCameraPosition(300) << 0xA2 << 300u << 0u << 0u << 0u;
    QTest::newRow("plain service command") << plainCommand(0x91) << 0x91 << 0u << 0u << 0u << 0u;
}

void TestParams::commandWords()
{
    QFETCH(CommandWords, words);
    QFETCH(int, subCommand);
    QCOMPARE(int(words.subCommand), subCommand);
    QTEST(words.para1, "para1");
    QTEST(words.para2, "para2");
    QTEST(words.para3, "para3");
    QTEST(words.para4, "para4");

    // The frame carries the words little-endian after the sub-command.
    const QByteArray frame = words.toFrame();
    QCOMPARE(frame.size(), 24);
    QCOMPARE(quint8(frame.at(5)), quint8(subCommand));
    QCOMPARE(qFromLittleEndian<quint32>(frame.constData() + 6), words.para1);
    QCOMPARE(qFromLittleEndian<quint32>(frame.constData() + 18), words.para4);
}

void TestParams::pwmIgnoresRoll()
{
    const QByteArray withRoll2 = packChannels(Receiver::Pwm, { 1, 2, 3, 4, 5, 6, 0, 1, 0 }).toFrame();
    const QByteArray withRoll9 = packChannels(Receiver::Pwm, { 1, 9, 3, 4, 5, 6, 0, 0, 0 }).toFrame();
    QCOMPARE(withRoll9, withRoll2);
}

void TestParams::shortPayloadIsRejected()
{
    ParamBlock block = writtenByTool();
    QVERIFY(!decodeParamBlock(countingPayload(21), block));
    QCOMPARE(block.crsfPitchCh, quint8(201));
    QCOMPARE(block.sbusPitchCh, quint8(1));
    QVERIFY(block.crsfPresent);
}

void TestParams::baseLayout()
{
    QByteArray payload = countingPayload(22, 1);
    payload[16] = char(0xE8);
    payload[17] = char(0x03);
    payload[18] = char(0x34);
    payload[19] = char(0x12);
    payload[20] = char(0xFF);
    payload[21] = char(0xFF);
    ParamBlock block;
    QVERIFY(decodeParamBlock(payload, block));
    const quint8 bytes[16] = { block.sbusPitchCh, block.sbusYawCh,    block.sbusCenterCh,   block.sbusMode,
                               block.pwmPitchCh,  block.pwmYawCh,     block.pwmCenterCh,    block.pwmMode,
                               block.cameraPosition, block.pitchMaxSpeed, block.yawMaxSpeed, block.fpvMode,
                               block.sbusRollCh,  block.rollMaxSpeed, block.sbusLockCh,     block.pwmLockCh };
    for (int i = 0; i < 16; ++i)
        QCOMPARE(int(bytes[i]), i + 1);
    QCOMPARE(block.yawMaxTorque, quint16(1000));
    QCOMPARE(block.rollMaxTorque, quint16(0x1234));
    QCOMPARE(block.pitchMaxTorque, quint16(65535));
}

void TestParams::payloadForms_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<ParamBlock>("current");
    QTest::addColumn<ParamBlock>("expected");

    const ParamBlock current = writtenByTool();

    // Base only: the tool's CRSF and photo/video values stay, directions read as 0.
    ParamBlock baseOnly = current;
    baseOnly.sbusPitchDir = baseOnly.sbusRollDir = baseOnly.sbusYawDir = 0;
    baseOnly.pwmPitchDir = baseOnly.pwmYawDir = 0;
    QTest::newRow("22 bytes") << countingPayload(22) << current << baseOnly;
    QTest::newRow("28 bytes") << countingPayload(28) << current << baseOnly;

    ParamBlock photoVideo = current;
    photoVideo.sbusPhotoCh = 5;
    photoVideo.sbusVideoCh = 6;
    photoVideo.sbusPitchDir = 24;
    photoVideo.sbusRollDir = 25;
    photoVideo.sbusYawDir = 26;
    photoVideo.pwmPitchDir = 27;
    photoVideo.pwmYawDir = 28;
    QByteArray photoVideoPayload = countingPayload(29, 0);
    photoVideoPayload[22] = 5;
    photoVideoPayload[23] = 6;
    QTest::newRow("29 bytes") << photoVideoPayload << current << photoVideo;
    QTest::newRow("35 bytes") << photoVideoPayload + countingPayload(6, 90) << current << photoVideo;

    ParamBlock crsf = current;
    crsf.sbusPitchDir = 1;
    crsf.sbusRollDir = 23;
    crsf.sbusYawDir = 24;
    crsf.pwmPitchDir = 25;
    crsf.pwmYawDir = 26;
    crsf.crsfPitchCh = 27;
    crsf.crsfRollCh = 28;
    crsf.crsfYawCh = 29;
    crsf.crsfCenterCh = 30;
    crsf.crsfLockCh = 31;
    crsf.crsfMode = 32;
    crsf.crsfPitchDir = 33;
    crsf.crsfRollDir = 34;
    crsf.crsfYawDir = 35;
    QByteArray crsfPayload = countingPayload(36, 0);
    crsfPayload[22] = 1;
    QTest::newRow("36 bytes") << crsfPayload << current << crsf;
    QTest::newRow("40 bytes read as their first 36") << crsfPayload + countingPayload(4, 99) << current << crsf;

    // A first reply without segments leaves the defaults, not present.
    QTest::newRow("22 bytes onto defaults") << countingPayload(22) << ParamBlock() << ParamBlock();
}

void TestParams::payloadForms()
{
    QFETCH(QByteArray, payload);
    QFETCH(ParamBlock, current);
    QFETCH(ParamBlock, expected);
    const ParamBlock decoded = decodeOnto(payload, current);
    compareExtensionFields(decoded, expected);
    QCOMPARE(decoded.sbusPitchCh, quint8(payload.at(0)));
    QCOMPARE(decoded.pwmLockCh, quint8(payload.at(15)));
}

void TestParams::gimbalConfigStoresWhatWasSent_data()
{
    QTest::addColumn<bool>("speedsSent");
    QTest::addColumn<bool>("fpvModeSent");
    QTest::addColumn<int>("pitchSpeed");
    QTest::addColumn<int>("rollSpeed");
    QTest::addColumn<int>("yawSpeed");
    QTest::addColumn<int>("fpvMode");
    QTest::addColumn<bool>("changed");
    QTest::newRow("both sent") << true << true << 10 << 20 << 30 << 1 << true;
    QTest::newRow("speeds refused") << false << true << 0 << 0 << 0 << 1 << true;
    QTest::newRow("FPV mode refused") << true << false << 10 << 20 << 30 << 0 << true;
    QTest::newRow("both refused") << false << false << 0 << 0 << 0 << 0 << false;
}

void TestParams::gimbalConfigStoresWhatWasSent()
{
    QFETCH(bool, speedsSent);
    QFETCH(bool, fpvModeSent);
    ParamBlock block;
    const bool changed = storeSentGimbalConfig(block, { 1, 10, 20, 30 }, speedsSent, fpvModeSent);
    QTEST(changed, "changed");
    QTEST(int(block.pitchMaxSpeed), "pitchSpeed");
    QTEST(int(block.rollMaxSpeed), "rollSpeed");
    QTEST(int(block.yawMaxSpeed), "yawSpeed");
    QTEST(int(block.fpvMode), "fpvMode");

    // Stored modulo 256.
    storeSentGimbalConfig(block, { 258, 256, -1, 511 }, true, true);
    QCOMPARE(int(block.fpvMode), 2);
    QCOMPARE(int(block.pitchMaxSpeed), 0);
    QCOMPARE(int(block.rollMaxSpeed), 255);
    QCOMPARE(int(block.yawMaxSpeed), 255);
}

void TestParams::calibrationMapping_data()
{
    QTest::addColumn<int>("cmdType");
    QTest::addColumn<std::optional<quint8>>("subCommand");
    QTest::newRow("stop motors") << 0 << std::optional<quint8>(0x9C);
    QTest::newRow("hall") << 1 << std::optional<quint8>(0x8D);
    QTest::newRow("accelerometer") << 2 << std::optional<quint8>(0x8F);
    QTest::newRow("activate") << 3 << std::optional<quint8>(0x90);
    QTest::newRow("reboot") << 4 << std::optional<quint8>(0x91);
    QTest::newRow("zero point") << 5 << std::optional<quint8>(0x8E);
    QTest::newRow("6") << 6 << None;
    QTest::newRow("-1") << -1 << None;
}

void TestParams::calibrationMapping()
{
    QFETCH(int, cmdType);
    QTEST(calibrationSubCommand(cmdType), "subCommand");
}

void TestParams::motorTorqueMapping_data()
{
    QTest::addColumn<int>("motor");
    QTest::addColumn<int>("direction");
    QTest::addColumn<std::optional<quint8>>("subCommand");
    const int directions[] = { 0, 1, 2 };
    for (int motor = 0; motor < 3; ++motor) {
        for (int direction : directions) {
            QTest::addRow("motor %d direction %d", motor, direction)
                << motor << direction << std::optional<quint8>(quint8(0x81 + 4 * motor + direction));
        }
    }
    QTest::newRow("any other direction clears") << 2 << 7 << std::optional<quint8>(0x8B);
    QTest::newRow("negative direction clears") << 0 << -1 << std::optional<quint8>(0x83);
    QTest::newRow("motor 3") << 3 << 0 << None;
    QTest::newRow("motor -1") << -1 << 0 << None;
}

void TestParams::motorTorqueMapping()
{
    QFETCH(int, motor);
    QFETCH(int, direction);
    QTEST(motorTorqueSubCommand(motor, direction), "subCommand");
}

void TestParams::motorCalibMappings_data()
{
    QTest::addColumn<int>("motor");
    QTest::addColumn<std::optional<quint8>>("hall");
    QTest::addColumn<std::optional<quint8>>("elecStart");
    QTest::addColumn<std::optional<quint8>>("elecEnd");
    using O = std::optional<quint8>;
    QTest::newRow("outer") << 0 << O(0x84) << O(0x92) << O(0x93);
    QTest::newRow("middle") << 1 << O(0x88) << O(0x94) << O(0x95);
    QTest::newRow("inner") << 2 << O(0x8C) << O(0x96) << O(0x97);
    QTest::newRow("motor 3") << 3 << None << None << None;
    QTest::newRow("motor -1") << -1 << None << None << None;
}

void TestParams::motorCalibMappings()
{
    QFETCH(int, motor);
    QTEST(motorHallCalibSubCommand(motor), "hall");
    QTEST(elecAngleCalibSubCommand(motor, true), "elecStart");
    QTEST(elecAngleCalibSubCommand(motor, false), "elecEnd");
    QCOMPARE(hallDataSubCommand(true), quint8(0x98));
    QCOMPARE(hallDataSubCommand(false), quint8(0x99));
}

void TestParams::commandNames_data()
{
    QTest::addColumn<int>("subCommand");
    QTest::addColumn<QString>("zh");
    QTest::addColumn<QString>("en");
    QTest::newRow("0x80") << 0x80 << QStringLiteral("模块禁用") << QStringLiteral("Module Disable");
    QTest::newRow("0x81") << 0x81 << QStringLiteral("外框架正向力矩") << QStringLiteral("Outter Fwd Torque");
    QTest::newRow("0x8F") << 0x8F << QStringLiteral("加速度计校准") << QStringLiteral("Accel Calib");
    QTest::newRow("0x90") << 0x90 << QStringLiteral("激活") << QStringLiteral("Activate");
    QTest::newRow("0x91") << 0x91 << QStringLiteral("重启") << QStringLiteral("Reboot");
    QTest::newRow("0x95") << 0x95 << QStringLiteral("中框架电角度校准结束") << QStringLiteral("Middle Elec Calib End");
    QTest::newRow("0x99") << 0x99 << QStringLiteral("切换默认霍尔数据") << QStringLiteral("Use Default Hall Data");
    QTest::newRow("0x9B") << 0x9B << QStringLiteral("电机线性化校准") << QStringLiteral("Linear Calib");
    QTest::newRow("0x9D") << 0x9D << QStringLiteral("陀螺仪偏置更新") << QStringLiteral("Gyro Bias Update");
    QTest::newRow("0xA0") << 0xA0 << QStringLiteral("SBUS通道配置") << QStringLiteral("SBUS Channel");
    QTest::newRow("0xA5") << 0xA5 << QStringLiteral("力矩设置") << QStringLiteral("Max Torque");
    QTest::newRow("0xA6") << 0xA6 << QStringLiteral("SBUS拍照录像") << QStringLiteral("SBUS Photo/Video");
    QTest::newRow("0xA7") << 0xA7 << QStringLiteral("CRSF通道配置") << QStringLiteral("CRSF Channel");
    QTest::newRow("0x7F unnamed") << 0x7F << QString() << QString();
    QTest::newRow("0x9A unnamed") << 0x9A << QString() << QString();
    QTest::newRow("0x9E unnamed") << 0x9E << QString() << QString();
    QTest::newRow("0x9F unnamed") << 0x9F << QString() << QString();
    QTest::newRow("0xA8 unnamed") << 0xA8 << QString() << QString();
    QTest::newRow("0x00 unnamed") << 0x00 << QString() << QString();
}

void TestParams::commandNames()
{
    QFETCH(int, subCommand);
    QFETCH(QString, zh);
    const TextPair name = commandName(quint8(subCommand));
    QCOMPARE(name.isNull(), zh.isNull());
    QCOMPARE(name.zh, zh);
    QTEST(name.en, "en");
}

void TestParams::commandNameTableIsConsistent()
{
    // Every sub-command from 0x80 to 0xA7 has a name except the three gaps.
    int named = 0;
    for (int sub = 0; sub < 256; ++sub) {
        const bool gap = sub == 0x9A || sub == 0x9E || sub == 0x9F;
        const bool expected = sub >= 0x80 && sub <= 0xA7 && !gap;
        QVERIFY2(commandName(quint8(sub)).isNull() != expected, qPrintable(QString::number(sub, 16)));
        named += expected ? 1 : 0;
    }
    QCOMPARE(int(COMMAND_NAMES.size()), named);
}

void TestParams::accelCaliTexts_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("zh");
    QTest::addColumn<QString>("en");
    QTest::newRow("1") << 1 << QStringLiteral("加速度计校准: 正放(UP)") << QStringLiteral("Accel Calib: UP");
    QTest::newRow("2") << 2 << QStringLiteral("加速度计校准: 前面(FRONT)") << QStringLiteral("Accel Calib: FRONT");
    QTest::newRow("3") << 3 << QStringLiteral("加速度计校准: 倒放(DOWN)") << QStringLiteral("Accel Calib: DOWN");
    QTest::newRow("4") << 4 << QStringLiteral("加速度计校准: 后面(BACK)") << QStringLiteral("Accel Calib: BACK");
    QTest::newRow("5") << 5 << QStringLiteral("加速度计校准: 左面(LEFT)") << QStringLiteral("Accel Calib: LEFT");
    QTest::newRow("6") << 6 << QStringLiteral("加速度计校准: 右面(RIGHT)") << QStringLiteral("Accel Calib: RIGHT");
    QTest::newRow("7") << 7 << QStringLiteral("加速度计校准: 计算中...")
                       << QStringLiteral("Accel Calib: Calculating...");
    QTest::newRow("8") << 8 << QStringLiteral("加速度计校准成功") << QStringLiteral("Accel Calib succeeded");
    QTest::newRow("0") << 0 << QString() << QString();
    QTest::newRow("9") << 9 << QString() << QString();
    QTest::newRow("-1") << -1 << QString() << QString();
    QTest::newRow("INT_MIN") << std::numeric_limits<int>::min() << QString() << QString();
}

void TestParams::accelCaliTexts()
{
    QFETCH(int, state);
    const TextPair text = accelCaliText(state);
    QTEST(text.zh, "zh");
    QTEST(text.en, "en");
}

void TestParams::motorTexts()
{
    QCOMPARE(motorFrameName(0).zh, QStringLiteral("外框架"));
    QCOMPARE(motorFrameName(1).en, QStringLiteral("Middle"));
    QCOMPARE(motorFrameName(2).en, QStringLiteral("Inner"));
    QCOMPARE(motorFrameName(0).en, QStringLiteral("Outter"));
    QVERIFY(motorFrameName(3).isNull());
    QCOMPARE(motorTorqueAction(0).en, QStringLiteral("Fwd torque"));
    QCOMPARE(motorTorqueAction(1).zh, QStringLiteral("反向力矩"));
    QCOMPARE(motorTorqueAction(5).en, QStringLiteral("Torque clear"));
    QCOMPARE(motorTorqueAction(-3).zh, QStringLiteral("力矩清零"));
}

void TestParams::progressConversion_data()
{
    QTest::addColumn<float>("progress");
    QTest::addColumn<int>("state");
    const int invalid = std::numeric_limits<int>::min();
    QTest::newRow("2.6") << 2.6f << 3;
    QTest::newRow("3.2") << 3.2f << 3;
    QTest::newRow("7.5") << 7.5f << 8;
    QTest::newRow("-0.7 truncates toward zero") << -0.7f << 0;
    QTest::newRow("-1.5") << -1.5f << -1;
    QTest::newRow("-2.6") << -2.6f << -2;
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << invalid;
    QTest::newRow("+inf") << std::numeric_limits<float>::infinity() << invalid;
    QTest::newRow("-inf") << -std::numeric_limits<float>::infinity() << invalid;
    QTest::newRow("3e9") << 3e9f << invalid;
    QTest::newRow("-3e9") << -3e9f << invalid;
    QTest::newRow("2^31 is out of range") << 2147483648.0f << invalid;
    QTest::newRow("largest float below 2^31") << 2147483520.0f << 2147483520;
    QTest::newRow("-2^31 itself") << -2147483648.0f << invalid;
    QTest::newRow("below -2^31") << -2147483904.0f << invalid;
    QTest::newRow("float max") << std::numeric_limits<float>::max() << invalid;
}

void TestParams::progressConversion()
{
    QFETCH(float, progress);
    QTEST(int(accelStateFromProgress(progress)), "state");
}

void TestParams::progressFromPayload()
{
    QCOMPARE(accelProgressValue(progressPayload(2.6f)), 2.6f);
    QCOMPARE(accelProgressValue(progressPayload(-0.7f)), -0.7f);
    QVERIFY(std::isnan(accelProgressValue(fromHex("8F 00 00 C0 7F"))));
    // 8F, then 3.0f little-endian; trailing bytes are ignored.
    QCOMPARE(accelProgressValue(fromHex("8F 00 00 40 40 FF FF")), 3.0f);
}

QTEST_APPLESS_MAIN(TestParams)
#include "tst_params.moc"
