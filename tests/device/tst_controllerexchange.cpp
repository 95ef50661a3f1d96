#include "device/ChannelConflicts.h"
#include "device/ControllerTelemetry.h"
#include "device/GimbalConfig.h"
#include "device/HeartbeatDecoder.h"
#include "device/ParamCodec.h"
#include "device/ParamFile.h"
#include "device/ParamWritePlan.h"
#include "device/ParameterCommands.h"
#include "device/ServiceRequests.h"
#include "device/SubCommands.h"
#include "device/UpgradeControl.h"
#include "device/VersionReply.h"
#include "protocol/FrameCodec.h"
#include "support/FakeDevice.h"
#include "support/ParamChanges.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <functional>

using Operation = std::function<void(ParameterCommands &)>;
Q_DECLARE_METATYPE(Operation)
using Request = std::function<void(ServiceRequests &)>;
Q_DECLARE_METATYPE(Request)

namespace {
QVector<int> numbers(const QVector<ParamWrite> &writes)
{
    QVector<int> values;
    for (ParamWrite write : writes)
        values << int(write);
    return values;
}

QByteArray hex(const char *spaced) { return QByteArray::fromHex(spaced); }

QByteArray progress(float value)
{
    QByteArray payload(5, char(SubCommand::AccelCalib));
    std::memcpy(payload.data() + 1, &value, 4);
    return payload;
}

// Every field of a parameter file as "sbus.pitchChannel=1".
QStringList valuesOf(const ParamBlock &block)
{
    QStringList values;
    for (ParamBlockForm form : {ParamBlockForm::PhotoVideo, ParamBlockForm::Crsf}) {
        for (const QString &field : ParamFile::fieldNames(form))
            values << QStringLiteral("%1=%2").arg(field).arg(ParamFile::value(block, field));
    }
    values.removeDuplicates();
    return values;
}

QStringList changedSince(const QStringList &before, const ParamBlock &block)
{
    QStringList changes = valuesOf(block);
    for (const QString &value : before)
        changes.removeOne(value);
    changes.sort();
    return changes;
}

QStringList sortedWords(const QString &text)
{
    QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    words.sort();
    return words;
}

QStringList texts(const MessageRecorder &messages, const QString &language)
{
    QStringList said;
    for (const Message &message : messages.messages)
        said << (language == QLatin1String("zh") ? message.text.zh : message.text.en);
    return said;
}

int successes(const MessageRecorder &messages)
{
    return int(std::count_if(messages.messages.cbegin(), messages.messages.cend(),
                             [](const Message &message) { return message.meaning.kind == MessageKind::Success; }));
}
}

class TestControllerExchange : public QObject
{
    Q_OBJECT

private slots:
    void gimbalConfigStoresOnlyWhatWasSent();
    void decodesEveryFieldFromItsOwnBytes_data();
    void decodesEveryFieldFromItsOwnBytes();
    void functionsSharingAChannelAreFound_data();
    void functionsSharingAChannelAreFound();
    void restartingWritesGoLastEachOnItsOwn_data();
    void restartingWritesGoLastEachOnItsOwn();
    void writes_data();
    void writes();
    void restartingWritesAreFollowedUp();
    void nothingIsKeptOrSaidBeforeThePortTookIt();
    void parameterBlocks_data();
    void parameterBlocks();
    void commandReplies_data();
    void commandReplies();
    void serviceRequestSendsItsSubCommandAndSaysSo_data();
    void serviceRequestSendsItsSubCommandAndSaysSo();
    void decodesEveryHeartbeatValueFromItsOwnBytes_data();
    void decodesEveryHeartbeatValueFromItsOwnBytes();
    void decodesEachStatusFieldFromItsOwnBits_data();
    void decodesEachStatusFieldFromItsOwnBits();
    void versionIsAskedAndItsReplyNoted();
    void heartbeatIsKeptWholeAndLoggedOncePerLink();
    void unknownRepliesAreRepeatableErrorsOfTheirOwnFlood();
};

void TestControllerExchange::gimbalConfigStoresOnlyWhatWasSent()
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

// Payload byte i holds i + 1, so every field decodes to a value of its own; a torque takes two bytes, low first.
void TestControllerExchange::decodesEveryFieldFromItsOwnBytes_data()
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

void TestControllerExchange::decodesEveryFieldFromItsOwnBytes()
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

void TestControllerExchange::functionsSharingAChannelAreFound_data()
{
    QTest::addColumn<QVector<int>>("pitchYawCenter");
    QTest::addColumn<QString>("conflicts");
    QTest::newRow("each its own") << QVector<int>{1, 2, 3} << QString();
    QTest::newRow("pitch and center") << QVector<int>{3, 2, 3} << QStringLiteral("Pitch+Center@3");
    QTest::newRow("all three") << QVector<int>{2, 2, 2} << QStringLiteral("Pitch+Yaw@2 Pitch+Center@2 Yaw+Center@2");
    QTest::newRow("none is no channel") << QVector<int>{0, 1, 0} << QString();
}

void TestControllerExchange::functionsSharingAChannelAreFound()
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

// A target that differs from the controller in the named fields. A receiver whose channels are written takes its
// directions along.
void TestControllerExchange::restartingWritesGoLastEachOnItsOwn_data()
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

void TestControllerExchange::restartingWritesGoLastEachOnItsOwn()
{
    QFETCH(int, form);
    QFETCH(QString, fields);
    const ParamBlock device;
    const ParamBlock target = withFieldsChanged(device, ParamBlockForm(form), QRegularExpression(fields));
    QTEST(numbers(planParamWrites(device, target, ParamBlockForm(form))), "writes");
}

void TestControllerExchange::writes_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("changes");
    const auto row = [](const char *name, const Operation &operation, const QStringList &frames, const char *language,
                        const QStringList &messages, const char *changes) {
        QTest::newRow(name) << operation << frames << QString::fromLatin1(language) << messages << QString::fromLatin1(changes);
    };
    row("SBUS: bit 15 only from the direction, directions 2 and 3, stored modulo 256",
        [](ParameterCommands &p) { p.writeChannels(Receiver::Sbus, {0x8105, 2, 0xFFFF, 4, 0x1FFFF, 6, 2, 3, 1}); },
        {"A0 105 FFFF 4FFFF 80020006"}, "zh", {"SBUS通道配置已写入"},
        "sbus.pitchChannel=5 sbus.rollChannel=2 sbus.yawChannel=255 sbus.centerChannel=4 sbus.lockChannel=255 sbus.mode=6 "
        "sbus.rollDirection=1 sbus.yawDirection=1");
    row("SBUS directions over the stored channels",
        [](ParameterCommands &p) { p.writeDirections(Receiver::Sbus, 1, 1, 0); }, {"A0 8001 1 10001 80010001"}, "en",
        {"SBUS directions written"}, "sbus.pitchDirection=1 sbus.rollDirection=1");
    row("PWM, then its directions over the stored 8-bit lock",
        [](ParameterCommands &p) {
            p.writeChannels(Receiver::Pwm, {7, 0, 8, 9, 300, 0, 1, 0, 3});
            p.writeDirections(Receiver::Pwm, 0, 0, 1);
        },
        {"A1 8007 8008 9 12C0000", "A1 7 8008 9 2C0000"}, "en", {"PWM channels written", "PWM directions written"},
        "pwm.pitchChannel=7 pwm.yawChannel=8 pwm.centerChannel=9 pwm.lockChannel=44 pwm.mode=0 pwm.yawDirection=1");
    row("CRSF directions, then channels",
        [](ParameterCommands &p) {
            p.writeDirections(Receiver::Crsf, 1, 0, 1);
            p.writeChannels(Receiver::Crsf, {300, 2, 3, 4, 5, 6, 1, 0, 1});
        },
        {"A7 8001 8001 10001 10001", "A7 812C 8003 40005 20006"}, "en", {"CRSF directions written", "CRSF channels written"},
        "crsf.pitchChannel=44 crsf.rollChannel=2 crsf.yawChannel=3 crsf.centerChannel=4 crsf.lockChannel=5 crsf.mode=6 "
        "crsf.pitchDirection=1 crsf.yawDirection=1");
    row("photo/video: whole words", [](ParameterCommands &p) { p.writePhotoVideoChannels(5, -1); },
        {"A6 5 FFFFFFFF 0 0"}, "zh", {"SBUS拍照/录像通道已写入"}, "sbus.photoChannel=5 sbus.videoChannel=255");
    row("gimbal configuration: speeds go pitch, yaw, roll", [](ParameterCommands &p) { p.writeGimbalConfig(1, 10, 20, 30); },
        {"A3 A 1E 14 0", "A4 1 0 0 0"}, "en", {"Gimbal config written"},
        "gimbal.fpvMode=1 gimbal.pitchMaxSpeed=10 gimbal.rollMaxSpeed=20 gimbal.yawMaxSpeed=30");
    row("camera position", [](ParameterCommands &p) { p.writeCameraPosition(2); }, {"A2 2 0 0 0"}, "zh",
        {"相机设置已写入"}, "camera.position=2");
    row("torques go yaw, roll, pitch; stored modulo 65536", [](ParameterCommands &p) { p.writeTorque(70000, 200, 300); },
        {"A5 12C C8 11170 0"}, "en", {"Torque settings written"},
        "gimbal.pitchMaxTorque=4464 gimbal.rollMaxTorque=200 gimbal.yawMaxTorque=300");
}

void TestControllerExchange::writes()
{
    QFETCH(Operation, operation);
    QFETCH(QString, language);
    QFETCH(QStringList, messages);
    QFETCH(QString, changes);
    FakeDeviceLink link;
    MessageRecorder recorder;
    ParameterCommands parameters(link, recorder);
    QSignalSpy changed(&parameters, &ParameterCommands::paramsChanged);
    const QStringList before = valuesOf(parameters.block());

    operation(parameters);
    QTEST(link.commandsSent(), "frames");
    QCOMPARE(texts(recorder, language), messages);
    QCOMPARE(successes(recorder), messages.size());
    QCOMPARE(changed.count(), messages.size());
    QCOMPARE(changedSince(before, parameters.block()), sortedWords(changes));
}

void TestControllerExchange::restartingWritesAreFollowedUp()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);

    parameters.writeChannels(Receiver::Crsf, {2, 3, 4, 5, 6, 1, 1, 0, 1});
    QCOMPARE(messages.diagnostics, QStringList {"[DIAG-TX] 0xA7 写入 crsfPitch=2 roll=3 yaw=4 center=5 lock=6 mode=1 "
                                                "pDir=1 rDir=0 yDir=1 | para1=0x00008002 para2=0x00008004 "
                                                "para3=0x00050006 para4=0x00030001"});
    QCOMPARE(link.runFollowUps(), QVector<int> {500});
    QCOMPARE(link.runFollowUps(), QVector<int> {500});
    QCOMPARE(link.runFollowUps(), (QVector<int> {3000, 6000}));
    QCOMPARE(link.commandsSent(1), (QStringList {"90 0 0 0 0", "91 0 0 0 0", "C0", "C0"}));
    QCOMPARE(messages.english().mid(1, 2), (QStringList {"Auto-activated", "Config applied, rebooting..."}));
    QCOMPARE(messages.messages.at(2).text.zh, QStringLiteral("配置生效，设备重启中..."));

    parameters.writeTorque(100, 200, 300);
    QCOMPARE(link.runFollowUps(), QVector<int> {500});
    QCOMPARE(link.commandsSent().last(), QStringLiteral("91 0 0 0 0"));
    QCOMPARE(messages.english().last(), QStringLiteral("Torque applied, rebooting..."));
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Info);
    QVERIFY(link.followUps.isEmpty());

    // Taken over, a restart is followed by no reads: its owner reads once the controller is back.
    QSignalSpy restartsSent(&parameters, &ParameterCommands::restartSent);
    const ParameterCommands::RestartReadsTaken taken(parameters);
    parameters.writeChannels(Receiver::Sbus, {2, 3, 4, 5, 6, 1, 1, 0, 1});
    QCOMPARE(link.runFollowUps(), QVector<int> {500});
    QCOMPARE(link.runFollowUps(), QVector<int> {500});
    QVERIFY(link.followUps.isEmpty());
    QCOMPARE(restartsSent.count(), 1);
}

void TestControllerExchange::nothingIsKeptOrSaidBeforeThePortTookIt()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);
    ServiceRequests service(link, messages);
    ControllerTelemetry telemetry(link, messages);
    UpgradeControl upgrade(link, messages, telemetry);
    QSignalSpy changed(&parameters, &ParameterCommands::paramsChanged);

    link.open = false;
    parameters.writeCameraPosition(0);
    parameters.writeDirections(Receiver::Sbus, 1, 1, 1);
    service.sendGyroBiasUpdate();
    service.sendMotorHallCalib(7);   // refused for the closed link before the argument is looked at
    telemetry.queryVersion();
    upgrade.start(QStringLiteral("/no/such/firmware.bin"));   // refused before the file is looked at
    QCOMPARE(link.refusals, 6);
    link.open = true;
    link.accepts = false;
    parameters.writeCameraPosition(1);
    parameters.writePhotoVideoChannels(9, 10);
    parameters.writeGimbalConfig(1, 10, 20, 30);
    parameters.writeChannels(Receiver::Sbus, {2, 3, 4, 5, 6, 1, 1, 0, 1});
    service.sendLinearCalib();
    telemetry.queryVersion();
    QVERIFY(link.sent.isEmpty());
    QVERIFY(messages.messages.isEmpty());
    QVERIFY(link.followUps.isEmpty());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(valuesOf(parameters.block()), valuesOf(ParamBlock()));
}

// What the tool alone has written (CRSF directions 0 1 1, photo/video channels 3 and 4, SBUS directions
// 1 1 1) and then a block: a block without a segment keeps the tool's values of it. Only the segments' fields
// and the directions are compared.
void TestControllerExchange::parameterBlocks_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("diagnostics");
    QTest::addColumn<QString>("changes");

    const QByteArray base = hex("02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 C8 E8 03 14 15 16 17");
    const QString merge = QStringLiteral("[DIAG-MERGE] 固件0xC1未含CRSF扩展段, 已保留本地CRSF值 crsfPitch=1 (规避被冲回默认)");
    const QString noCrsf = QStringLiteral(" | crsfPitch=1 roll=1 yaw=1 center=1 lock=1 mode=1 pDir=0 rDir=0 yDir=0");
    const QString crsfValues = QStringLiteral(" | crsfPitch=25 roll=24 yaw=23 center=22 lock=21 mode=0 pDir=1 rDir=0 yDir=0");
    const QByteArray crsf = base + hex("01 00 00 01 00 19 18 17 16 15 00 01 00 00");
    const QString crsfChanges = "sbus.rollDirection=0 sbus.yawDirection=0 pwm.pitchDirection=1 crsf.pitchChannel=25 "
        "crsf.rollChannel=24 crsf.yawChannel=23 crsf.centerChannel=22 crsf.lockChannel=21 crsf.mode=0 "
        "crsf.pitchDirection=1 crsf.rollDirection=0 crsf.yawDirection=0";
    const QString sbusDirections0 = "sbus.pitchDirection=0 sbus.rollDirection=0 sbus.yawDirection=0";
    const auto rx = [](int length, const char *present) {
        return QStringLiteral("[DIAG-RX] 0xC1 dataLen=%1 %2").arg(length).arg(QLatin1String(present));
    };

    QTest::newRow("21 bytes: ignored") << "en" << base.left(21) << QStringList() << QString();
    QTest::newRow("22 bytes: segments kept, directions 0") << "en" << base
        << QStringList {rx(22, "crsfPresent=NO photoVideoPresent=NO") + noCrsf, merge} << sbusDirections0;
    QTest::newRow("28 bytes: still the base only") << "en" << base + hex("05 06 01 01 01 01")
        << QStringList {rx(28, "crsfPresent=NO photoVideoPresent=NO") + noCrsf, merge} << sbusDirections0;
    QTest::newRow("29 bytes: photo/video") << "zh" << base + hex("05 06 01 00 00 00 01")
        << QStringList {rx(29, "crsfPresent=NO photoVideoPresent=YES") + noCrsf, merge}
        << "sbus.photoChannel=5 sbus.videoChannel=6 sbus.rollDirection=0 sbus.yawDirection=0 pwm.yawDirection=1";
    QTest::newRow("36 bytes: CRSF") << "en" << crsf
        << QStringList {rx(36, "crsfPresent=YES photoVideoPresent=NO") + crsfValues} << crsfChanges;
    QTest::newRow("40 bytes read as their first 36") << "en" << crsf + hex("11 12 13 14")
        << QStringList {rx(40, "crsfPresent=YES photoVideoPresent=NO") + crsfValues} << crsfChanges;
}

void TestControllerExchange::parameterBlocks()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, diagnostics);
    QFETCH(QString, changes);
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);
    parameters.writeDirections(Receiver::Crsf, 0, 1, 1);
    parameters.writePhotoVideoChannels(3, 4);
    parameters.writeDirections(Receiver::Sbus, 1, 1, 1);
    parameters.readParams();
    QCOMPARE(link.commandsSent().last(), QStringLiteral("C0"));
    messages.messages.clear();
    messages.diagnostics.clear();
    const QStringList before = valuesOf(parameters.block());

    parameters.handleParamBlock(payload);
    if (!diagnostics.isEmpty())
        diagnostics.prepend(QStringLiteral("[DIAG-HEX] 0xC1 raw data(%1B): %2").arg(payload.size()).arg(toHexText(payload)));
    QCOMPARE(messages.diagnostics, diagnostics);
    QCOMPARE(texts(messages, language),
             diagnostics.isEmpty() ? QStringList() : QStringList {language == "zh" ? "参数读取成功" : "Parameters read OK"});
    QCOMPARE(parameters.blocksReceived(), diagnostics.isEmpty() ? 0 : 1);
    QCOMPARE(link.paramBlocksNoted, parameters.blocksReceived());
    const QRegularExpression segmentOrDirection(QStringLiteral("^(crsf\\.|sbus\\.(photo|video)|\\w+\\.\\w+Direction=)"));
    QCOMPARE(changedSince(before, parameters.block()).filter(segmentOrDirection), sortedWords(changes));
    if (!diagnostics.isEmpty()) {
        QCOMPARE(messages.messages.first().meaning.topic, MessageTopic::ParamsRead);
        QCOMPARE(messages.messages.first().meaning.answers, OperatorAction::Read | OperatorAction::Command);
    }
}

void TestControllerExchange::commandReplies_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QList<QByteArray>>("replies");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QVector<int>>("states");
    QTest::addColumn<int>("succeeded");
    QTest::newRow("named and unnamed") << "en"
        << QList<QByteArray> {hex("90"), hex("8F"), hex("A7 00 00"), hex("80"), hex("9A"), hex("9E"), hex("9F"), hex("7F"),
                              hex("A8"), {}}
        << QStringList {"Activate succeeded", "Accel Calib succeeded", "CRSF Channel succeeded", "Module Disable succeeded"}
        << QVector<int>() << 4;
    QTest::newRow("named, zh; a 0x8F of four bytes is a plain reply") << "zh"
        << QList<QByteArray> {hex("90"), hex("8F 00 00 80"), hex("A5")}
        << QStringList {"激活指令成功", "加速度计校准指令成功", "力矩设置指令成功"} << QVector<int>() << 3;
    QTest::newRow("progress: repeated state silent, -0.7 gives 0, NaN and 2^31 the invalid state") << "en"
        << QList<QByteArray> {progress(2.6f), progress(3.2f), progress(-0.7f), hex("8F 00 00 C0 7F"),
                              progress(2147483520.0f), progress(2147483648.0f)}
        << QStringList {"Accel Calib: DOWN"} << QVector<int> {3, 0, INT_MIN, 2147483520, INT_MIN} << 0;
    QTest::newRow("progress, zh") << "zh" << QList<QByteArray> {progress(7.9f), progress(1.0f)}
        << QStringList {"加速度计校准成功", "加速度计校准: 正放(UP)"} << QVector<int> {8, 1} << 1;
}

void TestControllerExchange::commandReplies()
{
    QFETCH(QString, language);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QVector<int>, states);
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);
    QVector<int> statesSeen;
    connect(&parameters, &ParameterCommands::accelCaliStateChanged, this,
            [&] { statesSeen << parameters.accelCaliState(); });
    QVector<int> observed;
    parameters.setCommandReplyObserver([&observed](quint8 subCommand) { observed << subCommand; });

    QVector<int> replied;
    for (const QByteArray &payload : qAsConst(replies)) {
        parameters.handleCommandReply(payload);
        if (!payload.isEmpty())
            replied << quint8(payload.at(0));
    }
    QTEST(texts(messages, language), "messages");
    QCOMPARE(statesSeen, states);
    QCOMPARE(observed, replied);
    QTEST(successes(messages), "succeeded");
    QVERIFY(link.sent.isEmpty());
}

void TestControllerExchange::serviceRequestSendsItsSubCommandAndSaysSo_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("messages");
    // A calibration is answered by its reply, so says nothing when sent.
    QTest::newRow("calibrations: known types only")
        << Request([](ServiceRequests &s) { for (int type : {2, 6, -1, 0, 99}) s.sendCalibration(type); })
        << QStringList {"8F 0 0 0 0", "9C 0 0 0 0"} << "en" << QStringList();
    QTest::newRow("motor torque: any other direction clears, unknown motor nothing")
        << Request([](ServiceRequests &s) {
               s.sendMotorTorque(1, 0); s.sendMotorTorque(0, 1); s.sendMotorTorque(2, 7); s.sendMotorTorque(7, 0);
           })
        << QStringList {"85 0 0 0 0", "82 0 0 0 0", "8B 0 0 0 0"} << "zh"
        << QStringList {"电机控制: 中框架 正向力矩", "电机控制: 外框架 反向力矩", "电机控制: 内框架 力矩清零"};
    QTest::newRow("motor hall and electrical angle")
        << Request([](ServiceRequests &s) {
               s.sendMotorHallCalib(2); s.sendMotorHallCalib(3); s.sendMotorHallCalib(-1);
               s.sendElecAngleCalib(1, false); s.sendElecAngleCalib(0, true); s.sendElecAngleCalib(5, true);
           })
        << QStringList {"8C 0 0 0 0", "95 0 0 0 0", "92 0 0 0 0"} << "en"
        << QStringList {"Motor hall calibration sent", "Elec angle calib end", "Elec angle calib start"};
    QTest::newRow("hall data, linearisation, gyro bias")
        << Request([](ServiceRequests &s) {
               s.sendHallDataSelect(true); s.sendHallDataSelect(false); s.sendLinearCalib(); s.sendGyroBiasUpdate();
           })
        << QStringList {"98 0 0 0 0", "99 0 0 0 0", "9B 0 0 0 0", "9D 0 0 0 0"} << "zh"
        << QStringList {"已切换为用户校准霍尔数据", "已切换为默认霍尔数据", "电机线性化校准已发送", "陀螺仪偏置更新指令已发送"};
}

void TestControllerExchange::serviceRequestSendsItsSubCommandAndSaysSo()
{
    QFETCH(Request, request);
    QFETCH(QString, language);
    FakeDeviceLink link;
    MessageRecorder messages;
    ServiceRequests service(link, messages);

    request(service);
    QTEST(link.commandsSent(), "commands");
    QTEST(texts(messages, language), "messages");
    for (const Message &message : qAsConst(messages.messages))
        QCOMPARE(message.meaning.kind, MessageKind::Info);
}

void TestControllerExchange::decodesEveryHeartbeatValueFromItsOwnBytes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("blocks");   // 0 none, 1 attitude and status, 2 + temperature, 3 + SBUS, 4 + PWM, 5 + CRSF
    const int rows[][2] = {{21, 0}, {22, 1}, {34, 1}, {35, 2}, {44, 2}, {45, 3}, {50, 3}, {51, 4}, {60, 4}, {61, 5}};
    for (const auto &row : rows)
        QTest::addRow("%d bytes", row[0]) << row[0] << row[1];
}

// Each 16-bit value where the controller puts it, low byte first, once its block has come; with bytes
// 1, 2, 3, ... no two values are alike, so none can take another's place.
void TestControllerExchange::decodesEveryHeartbeatValueFromItsOwnBytes()
{
    QFETCH(int, length);
    QFETCH(int, blocks);
    struct Word
    {
        const char *name;
        qint16 HeartbeatRecord::*member;
        int offset;
    };
    const Word words[] = {
        {"pitch", &HeartbeatRecord::pitch, 0}, {"roll", &HeartbeatRecord::roll, 2}, {"yaw", &HeartbeatRecord::yaw, 4},
        {"outer joint", &HeartbeatRecord::jointOutterAngle, 10},
        {"middle joint", &HeartbeatRecord::jointMiddleAngle, 12},
        {"inner joint", &HeartbeatRecord::jointInnerAngle, 14},
        {"SBUS pitch", &HeartbeatRecord::sbusPitch, 35}, {"SBUS roll", &HeartbeatRecord::sbusRoll, 37},
        {"SBUS yaw", &HeartbeatRecord::sbusYaw, 39}, {"SBUS centre", &HeartbeatRecord::sbusCenter, 41},
        {"SBUS lock", &HeartbeatRecord::sbusLock, 43},
        {"PWM pitch", &HeartbeatRecord::pwmPitch, 45}, {"PWM yaw", &HeartbeatRecord::pwmYaw, 47},
        {"PWM centre", &HeartbeatRecord::pwmCenter, 49},
        {"CRSF pitch", &HeartbeatRecord::crsfPitch, 51}, {"CRSF roll", &HeartbeatRecord::crsfRoll, 53},
        {"CRSF yaw", &HeartbeatRecord::crsfYaw, 55}, {"CRSF centre", &HeartbeatRecord::crsfCenter, 57},
        {"CRSF lock", &HeartbeatRecord::crsfLock, 59},
    };
    HeartbeatRecord record;
    record.pitch = 77;   // a failed decode must not leave old values behind
    QCOMPARE(decodeHeartbeat(countingBytes(length), record), blocks > 0);
    QStringList decoded;
    QStringList expected;
    for (const Word &word : words) {
        const int block = word.offset < 16 ? 1 : word.offset < 45 ? 3 : word.offset < 51 ? 4 : 5;
        decoded << QStringLiteral("%1=%2").arg(word.name).arg(record.*word.member);
        expected << QStringLiteral("%1=%2").arg(word.name).arg(blocks >= block ? (word.offset + 1) | (word.offset + 2) << 8 : 0);
    }
    QCOMPARE(decoded, expected);
    QCOMPARE(int(record.imuTemp), blocks >= 2 ? 35 : 0);
    QCOMPARE(record.crsfValuePresent, blocks >= 5);
}

// The status word (bytes 6-9, low byte first) with one field at its highest value and every other bit clear.
void TestControllerExchange::decodesEachStatusFieldFromItsOwnBits_data()
{
    QTest::addColumn<quint32>("status");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");
    const auto row = [](const char *name, int first, int width, const char *field) {
        QTest::newRow(name) << (((1u << width) - 1) << first) << QString::fromLatin1(field) << int((1u << width) - 1);
    };
    row("attitude ready, bit 0", 0, 1, "attiReady");
    row("joints initialised, bit 1", 1, 1, "jointInitOk");
    row("under voltage, bit 2", 2, 1, "underVolt");
    row("MEMS lost, bit 3", 3, 1, "memsLost");
    row("actuator, bits 4-5", 4, 2, "actuator");
    row("soft limit, bit 6", 6, 1, "softLimit");
    row("control mode, bits 7-8", 7, 2, "ctrlMode");
    row("state machine, bits 9-12", 9, 4, "stateMachine");
    row("bits 13-31 mean nothing", 13, 19, "");
}

void TestControllerExchange::decodesEachStatusFieldFromItsOwnBits()
{
    QFETCH(quint32, status);
    QFETCH(QString, field);
    QFETCH(int, value);
    QByteArray payload(HeartbeatLayout::Minimum, '\0');
    qToLittleEndian(status, payload.data() + 6);
    HeartbeatRecord r;
    QVERIFY(decodeHeartbeat(payload, r));
    const QVector<QPair<QString, int>> decoded{{"attiReady", r.attiReady}, {"jointInitOk", r.jointInitOk},
                                               {"underVolt", r.underVolt}, {"memsLost", r.memsLost},
                                               {"actuator", r.actuator}, {"softLimit", r.softLimit},
                                               {"ctrlMode", r.ctrlMode}, {"stateMachine", r.stateMachine}};
    QStringList actual;
    QStringList expected;
    for (const auto &each : decoded) {
        actual << QStringLiteral("%1=%2").arg(each.first).arg(each.second);
        expected << QStringLiteral("%1=%2").arg(each.first).arg(each.first == field ? value : 0);
    }
    QCOMPARE(actual, expected);
}

void TestControllerExchange::versionIsAskedAndItsReplyNoted()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);

    telemetry.queryVersion();
    QCOMPARE(link.sent, QByteArrayList { buildFrameV1(CommandSet::General, 0x01, QByteArray()) });
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages.first().text.zh, QStringLiteral("正在查询版本号..."));
    QCOMPARE(messages.messages.first().text.en, QStringLiteral("Querying version..."));
    QCOMPARE(messages.messages.first().meaning.kind, MessageKind::Info);

    // The reply: boot in bytes 0-3, firmware in bytes 4-7, each low byte first and shown last.
    messages.messages.clear();
    QSignalSpy changed(&telemetry, &ControllerTelemetry::versionsChanged);

    telemetry.handleVersionReply(countingBytes(7));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(link.versionsNoted, 0);

    telemetry.handleVersionReply(countingBytes(8));
    QCOMPARE(telemetry.bootVersion(), QStringLiteral("4.3.2.1"));
    QCOMPARE(telemetry.firmwareVersion(), QStringLiteral("8.7.6.5"));
    QCOMPARE(link.versionsNoted, 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(messages.messages.size(), 1);
    const Message reply = messages.messages.first();
    QCOMPARE(reply.text.zh, QStringLiteral("固件版本: 8.7.6.5，Boot: 4.3.2.1"));
    QCOMPARE(reply.text.en, QStringLiteral("Firmware: 8.7.6.5, Boot: 4.3.2.1"));
    QCOMPARE(reply.meaning.kind, MessageKind::Success);
    QCOMPARE(reply.meaning.topic, MessageTopic::VersionReply);
    QCOMPARE(reply.meaning.answers, OperatorAction::VersionQuery);

    telemetry.forgetVersions();
    QCOMPARE(telemetry.firmwareVersion(), QStringLiteral("-"));
    QCOMPARE(telemetry.bootVersion(), QStringLiteral("-"));
    QCOMPARE(changed.count(), 2);
}

void TestControllerExchange::heartbeatIsKeptWholeAndLoggedOncePerLink()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);
    QSignalSpy changed(&telemetry, &ControllerTelemetry::heartbeatChanged);

    telemetry.handleHeartbeat(countingBytes(21));   // too short: nothing
    QVERIFY(!telemetry.heartbeatReceived());
    QCOMPARE(changed.count(), 0);

    telemetry.handleHeartbeat(countingBytes(61));
    QVERIFY(telemetry.heartbeatReceived());
    QCOMPARE(telemetry.heartbeat().pitch, qint16(1 | 2 << 8));
    QVERIFY(telemetry.heartbeat().crsfValuePresent);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(messages.diagnostics.size(), 1);

    telemetry.handleHeartbeat(countingBytes(22));
    QVERIFY(!telemetry.heartbeat().crsfValuePresent);   // each heartbeat replaces the last one whole
    QCOMPARE(messages.diagnostics.size(), 1);

    telemetry.resetHeartbeat();
    QVERIFY(!telemetry.heartbeatReceived());
    QCOMPARE(telemetry.heartbeat().pitch, qint16(0));
    QCOMPARE(changed.count(), 3);
    messages.hearsDiagnostics = false;
    telemetry.handleHeartbeat(countingBytes(22));
    QCOMPARE(messages.diagnostics.size(), 1);   // nobody listens: not even built
    QVERIFY(messages.messages.isEmpty());
}

void TestControllerExchange::unknownRepliesAreRepeatableErrorsOfTheirOwnFlood()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);

    telemetry.reportUnknownGeneralReply(0x7e);
    telemetry.reportUnknownGimbalReply(0x05);
    QCOMPARE(messages.english(), (QStringList { QStringLiteral("Unknown v1 general reply: CMD_ID=0x7e"),
                                                QStringLiteral("Unknown v1 gimbal reply: CMD_ID=0x5") }));
    QCOMPARE(messages.messages.at(0).text.zh, QStringLiteral("收到未知v1通用应答: CMD_ID=0x7e"));
    QCOMPARE(messages.messages.at(1).text.zh, QStringLiteral("收到未知v1云台应答: CMD_ID=0x5"));
    for (const Message &message : messages.messages) {
        QCOMPARE(message.meaning.kind, MessageKind::Error);
        QCOMPARE(message.meaning.answers, OperatorAction::None);
    }
    QCOMPARE(messages.floodNames.size(), 2);
    QCOMPARE(messages.floodNames.at(0).en, QStringLiteral("Unknown v1 general reply"));
    QCOMPARE(messages.floodNames.at(1).zh, QStringLiteral("收到未知v1云台应答"));
    QVERIFY(link.sent.isEmpty());
}

QTEST_GUILESS_MAIN(TestControllerExchange)
#include "tst_controllerexchange.moc"
