// The controller's telemetry on its own: the heartbeat and version decoders, and over a link
// double and a message recorder, what it sends, keeps and reports.
#include "device/ControllerTelemetry.h"
#include "device/HeartbeatDecoder.h"
#include "device/VersionReply.h"
#include "protocol/FrameCodec.h"
#include "support/FakeDevice.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

class TestControllerTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void decodesEveryHeartbeatValueFromItsOwnBytes_data();
    void decodesEveryHeartbeatValueFromItsOwnBytes();
    void decodesEachStatusFieldFromItsOwnBits_data();
    void decodesEachStatusFieldFromItsOwnBits();
    void versionIsAskedOnlyOverAnOpenLinkAndItsReplyNoted();
    void heartbeatIsKeptWholeAndLoggedOncePerLink();
    void unknownRepliesAreRepeatableErrorsOfTheirOwnFlood();
};

void TestControllerTelemetry::decodesEveryHeartbeatValueFromItsOwnBytes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("blocks");   // 0 none, 1 attitude and status, 2 + temperature, 3 + SBUS, 4 + PWM, 5 + CRSF
    const int rows[][2] = {{21, 0}, {22, 1}, {34, 1}, {35, 2}, {44, 2}, {45, 3}, {50, 3}, {51, 4}, {60, 4}, {61, 5}};
    for (const auto &row : rows)
        QTest::addRow("%d bytes", row[0]) << row[0] << row[1];
}

// Each 16-bit value where the controller puts it, low byte first, once its block has come; with bytes
// 1, 2, 3, ... no two values are alike, so none can take another's place.
void TestControllerTelemetry::decodesEveryHeartbeatValueFromItsOwnBytes()
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

// The status word (bytes 6-9, low byte first) with one field at its highest
// value and every other bit clear: that field alone shows it.
void TestControllerTelemetry::decodesEachStatusFieldFromItsOwnBits_data()
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

void TestControllerTelemetry::decodesEachStatusFieldFromItsOwnBits()
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

void TestControllerTelemetry::versionIsAskedOnlyOverAnOpenLinkAndItsReplyNoted()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);

    link.open = false;
    telemetry.queryVersion();
    QCOMPARE(link.refusals, 1);
    QVERIFY(link.sent.isEmpty());
    QVERIFY(messages.messages.isEmpty());

    link.open = true;
    link.accepts = false;
    telemetry.queryVersion();
    QVERIFY(messages.messages.isEmpty());   // a frame the port refused is no query under way

    link.accepts = true;
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

void TestControllerTelemetry::heartbeatIsKeptWholeAndLoggedOncePerLink()
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

void TestControllerTelemetry::unknownRepliesAreRepeatableErrorsOfTheirOwnFlood()
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

QTEST_GUILESS_MAIN(TestControllerTelemetry)
#include "tst_controllertelemetry.moc"
