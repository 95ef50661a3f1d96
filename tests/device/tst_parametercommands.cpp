// The parameter commands over a link double and a message recorder: the words
// each write sends, what is kept of it, the follow-ups that apply it, the
// blocks read back and what the controller's replies report.
#include "device/ParamFile.h"
#include "device/ParameterCommands.h"
#include "device/SubCommands.h"
#include "protocol/FrameCodec.h"
#include "support/FakeDevice.h"

#include <QSignalSpy>
#include <QtTest>

#include <cstring>
#include <functional>

using Operation = std::function<void(ParameterCommands &)>;
Q_DECLARE_METATYPE(Operation)

namespace {
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

class TestParameterCommands : public QObject
{
    Q_OBJECT

private slots:
    void writes_data();
    void writes();
    void channelWriteIsActivatedRebootedAndReadBack();
    void torqueWriteReboots();
    void writesAreKeptOnlyOnceThePortTookThem();
    void parameterBlocks_data();
    void parameterBlocks();
    void commandReplies_data();
    void commandReplies();
};

// A write: the frames sent, what the operator is told and the fields changed.
void TestParameterCommands::writes_data()
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

void TestParameterCommands::writes()
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

void TestParameterCommands::channelWriteIsActivatedRebootedAndReadBack()
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
}

void TestParameterCommands::torqueWriteReboots()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);

    parameters.writeTorque(100, 200, 300);
    QCOMPARE(link.runFollowUps(), QVector<int> {500});
    QCOMPARE(link.commandsSent(1), QStringList {"91 0 0 0 0"});
    QCOMPARE(messages.english().last(), QStringLiteral("Torque applied, rebooting..."));
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Info);
    QVERIFY(link.followUps.isEmpty());
}

void TestParameterCommands::writesAreKeptOnlyOnceThePortTookThem()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);
    QSignalSpy changed(&parameters, &ParameterCommands::paramsChanged);

    link.open = false;
    parameters.writeCameraPosition(0);
    parameters.writeDirections(Receiver::Sbus, 1, 1, 1);
    QCOMPARE(link.refusals, 2);
    link.open = true;
    link.accepts = false;
    parameters.writeCameraPosition(1);
    parameters.writePhotoVideoChannels(9, 10);
    parameters.writeGimbalConfig(1, 10, 20, 30);
    parameters.writeChannels(Receiver::Sbus, {2, 3, 4, 5, 6, 1, 1, 0, 1});
    QVERIFY(messages.messages.isEmpty());
    QVERIFY(link.followUps.isEmpty());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(valuesOf(parameters.block()), valuesOf(ParamBlock()));
}

// What the tool alone has written (CRSF directions 0 1 1, photo/video channels 3 and 4, SBUS directions
// 1 1 1) and then a block: a block without a segment keeps the tool's values of it.
void TestParameterCommands::parameterBlocks_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("diagnostics");
    QTest::addColumn<QString>("changes");

    const QByteArray base = hex("02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 C8 E8 03 14 15 16 17");
    const QString baseChanges = QStringLiteral(
        "sbus.pitchChannel=2 sbus.yawChannel=3 sbus.centerChannel=4 sbus.mode=5 pwm.pitchChannel=6 pwm.yawChannel=7 "
        "pwm.centerChannel=8 pwm.mode=9 camera.position=10 gimbal.pitchMaxSpeed=11 gimbal.yawMaxSpeed=12 "
        "gimbal.fpvMode=13 sbus.rollChannel=14 gimbal.rollMaxSpeed=15 sbus.lockChannel=16 pwm.lockChannel=200 "
        "gimbal.yawMaxTorque=1000 gimbal.rollMaxTorque=5396 gimbal.pitchMaxTorque=5910 sbus.rollDirection=0 "
        "sbus.yawDirection=0 ");
    const QString merge = QStringLiteral("[DIAG-MERGE] 固件0xC1未含CRSF扩展段, 已保留本地CRSF值 crsfPitch=1 (规避被冲回默认)");
    const QString noCrsf = QStringLiteral(" | crsfPitch=1 roll=1 yaw=1 center=1 lock=1 mode=1 pDir=0 rDir=0 yDir=0");
    const QString crsfValues = QStringLiteral(" | crsfPitch=25 roll=24 yaw=23 center=22 lock=21 mode=0 pDir=1 rDir=0 yDir=0");
    const QByteArray crsf = base + hex("01 00 00 01 00 19 18 17 16 15 00 01 00 00");
    const QString crsfChanges = baseChanges + "pwm.pitchDirection=1 crsf.pitchChannel=25 crsf.rollChannel=24 "
        "crsf.yawChannel=23 crsf.centerChannel=22 crsf.lockChannel=21 crsf.mode=0 crsf.pitchDirection=1 "
        "crsf.rollDirection=0 crsf.yawDirection=0";
    const auto rx = [](int length, const char *present) {
        return QStringLiteral("[DIAG-RX] 0xC1 dataLen=%1 %2").arg(length).arg(QLatin1String(present));
    };

    QTest::newRow("21 bytes: ignored") << "en" << base.left(21) << QStringList() << QString();
    QTest::newRow("22 bytes: segments kept, directions 0") << "en" << base
        << QStringList {rx(22, "crsfPresent=NO photoVideoPresent=NO") + noCrsf, merge}
        << baseChanges + "sbus.pitchDirection=0";
    QTest::newRow("28 bytes: still the base only") << "en" << base + hex("05 06 01 01 01 01")
        << QStringList {rx(28, "crsfPresent=NO photoVideoPresent=NO") + noCrsf, merge}
        << baseChanges + "sbus.pitchDirection=0";
    QTest::newRow("29 bytes: photo/video") << "zh" << base + hex("05 06 01 00 00 00 01")
        << QStringList {rx(29, "crsfPresent=NO photoVideoPresent=YES") + noCrsf, merge}
        << baseChanges + "sbus.photoChannel=5 sbus.videoChannel=6 pwm.yawDirection=1";
    QTest::newRow("36 bytes: CRSF") << "en" << crsf
        << QStringList {rx(36, "crsfPresent=YES photoVideoPresent=NO") + crsfValues} << crsfChanges;
    QTest::newRow("40 bytes read as their first 36") << "en" << crsf + hex("11 12 13 14")
        << QStringList {rx(40, "crsfPresent=YES photoVideoPresent=NO") + crsfValues} << crsfChanges;
}

void TestParameterCommands::parameterBlocks()
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
    QCOMPARE(changedSince(before, parameters.block()), sortedWords(changes));
    if (!diagnostics.isEmpty()) {
        QCOMPARE(messages.messages.first().meaning.topic, MessageTopic::ParamsRead);
        QCOMPARE(messages.messages.first().meaning.answers, OperatorAction::Read | OperatorAction::Command);
    }
}

// Command replies one after the other: what is said, the calibration state after each change of it, the
// sub-commands handed to the observer, and how many of the messages tell a success.
void TestParameterCommands::commandReplies_data()
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

void TestParameterCommands::commandReplies()
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

QTEST_GUILESS_MAIN(TestParameterCommands)
#include "tst_parametercommands.moc"
