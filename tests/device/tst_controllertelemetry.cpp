// The controller's telemetry on its own: over a link double and a message
// recorder, what it sends, keeps and reports.
#include "device/ControllerTelemetry.h"
#include "protocol/FrameCodec.h"
#include "support/FakeDevice.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <QtTest>

class TestControllerTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void versionQueryIsSentOnlyOverAnOpenLink();
    void heartbeatIsKeptWholeAndLoggedOncePerLink();
    void versionReplyIsNotedAndAnswersTheQuery();
    void unknownRepliesAreRepeatableErrorsOfTheirOwnFlood();
};

void TestControllerTelemetry::versionQueryIsSentOnlyOverAnOpenLink()
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

void TestControllerTelemetry::versionReplyIsNotedAndAnswersTheQuery()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);
    QSignalSpy changed(&telemetry, &ControllerTelemetry::versionsChanged);
    QCOMPARE(telemetry.firmwareVersion(), QStringLiteral("-"));

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
