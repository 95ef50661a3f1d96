// The parameter commands on their own: over a link double and a message
// recorder, the frames each write sends, the follow-ups that apply it, what is
// kept, and what the controller's replies report.
#include "device/ParameterCommands.h"
#include "device/SubCommands.h"
#include "protocol/FrameCodec.h"
#include "support/FakeDevice.h"

#include <QSignalSpy>
#include <QtTest>

#include <cstring>

namespace {
QByteArray frameOf(quint8 subCommand)
{
    return plainCommand(subCommand).toFrame();
}

QByteArray accelProgress(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray payload(1, char(SubCommand::AccelCalib));
    for (int i = 0; i < 4; ++i)
        payload.append(char(bits >> (8 * i)));
    return payload;
}
}

class TestParameterCommands : public QObject
{
    Q_OBJECT

private slots:
    void readAndBlockArrival();
    void channelWriteIsActivatedRebootedAndReadBack();
    void writesAreKeptOnlyOnceThePortTookThem();
    void torqueWriteReboots();
    void commandRepliesAreReportedAndObserved();
    void accelerometerProgressIsReportedOncePerStep();
};

void TestParameterCommands::readAndBlockArrival()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);
    QSignalSpy changed(&parameters, &ParameterCommands::paramsChanged);

    parameters.readParams();
    QCOMPARE(link.sent, QByteArrayList { buildFrameV0(CommandId::ParamRead, QByteArray()) });
    QCOMPARE(messages.english(), QStringList { QStringLiteral("Reading parameters...") });

    parameters.handleParamBlock(QByteArray(21, '\x03'));   // shorter than the base: nothing
    QCOMPARE(parameters.blocksReceived(), 0);
    QCOMPARE(changed.count(), 0);

    QByteArray block(22, '\x00');
    block[0] = 7;   // the SBUS pitch channel
    parameters.handleParamBlock(block);
    QCOMPARE(parameters.blocksReceived(), 1);
    QCOMPARE(link.paramBlocksNoted, 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(int(parameters.block().sbusPitchCh), 7);
    const Message read = messages.messages.last();
    QCOMPARE(read.text.zh, QStringLiteral("参数读取成功"));
    QCOMPARE(read.text.en, QStringLiteral("Parameters read OK"));
    QCOMPARE(read.meaning.kind, MessageKind::Success);
    QCOMPARE(read.meaning.topic, MessageTopic::ParamsRead);
    QCOMPARE(read.meaning.answers, OperatorAction::Read | OperatorAction::Command);
}

void TestParameterCommands::channelWriteIsActivatedRebootedAndReadBack()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);
    const ChannelSettings settings { 2, 3, 4, 5, 6, 1, 1, 0, 1 };

    parameters.writeChannels(Receiver::Crsf, settings);
    QCOMPARE(link.sent, QByteArrayList { packChannels(Receiver::Crsf, settings).toFrame() });
    QCOMPARE(int(parameters.block().crsfRollCh), 3);
    QCOMPARE(messages.english(), QStringList { QStringLiteral("CRSF channels written") });
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Success);
    QCOMPARE(messages.messages.last().meaning.answers, OperatorAction::Command);
    QCOMPARE(messages.diagnostics.size(), 1);   // the CRSF words as written

    QCOMPARE(link.runFollowUps(), QVector<int> { 500 });
    QCOMPARE(link.sent.last(), frameOf(SubCommand::Activate));
    QCOMPARE(link.runFollowUps(), QVector<int> { 500 });
    QCOMPARE(link.sent.last(), frameOf(SubCommand::Reboot));
    QCOMPARE(link.runFollowUps(), (QVector<int> { 3000, 6000 }));
    const QByteArray read = buildFrameV0(CommandId::ParamRead, QByteArray());
    QCOMPARE(link.sent.mid(3), (QByteArrayList { read, read }));
    QCOMPARE(messages.english().mid(1, 2),
             (QStringList { QStringLiteral("Auto-activated"), QStringLiteral("Config applied, rebooting...") }));
    QCOMPARE(messages.messages.at(2).text.zh, QStringLiteral("配置生效，设备重启中..."));
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
    parameters.writeCameraPosition(0);
    parameters.writePhotoVideoChannels(9, 10);
    parameters.writeGimbalConfig(1, 10, 20, 30);
    QVERIFY(messages.messages.isEmpty());
    QVERIFY(link.followUps.isEmpty());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(int(parameters.block().cameraPosition), int(ParamBlock().cameraPosition));
    QCOMPARE(int(parameters.block().sbusPhotoCh), 0);

    link.accepts = true;
    parameters.writePhotoVideoChannels(9, 10);
    QCOMPARE(link.sent, QByteArrayList { packSbusPhotoVideo(9, 10).toFrame() });
    QCOMPARE(int(parameters.block().sbusVideoCh), 10);
    QVERIFY(parameters.block().photoVideoPresent);
    QCOMPARE(messages.messages.last().text.zh, QStringLiteral("SBUS拍照/录像通道已写入"));
    parameters.writeGimbalConfig(1, 10, 20, 30);
    QCOMPARE(link.sent.mid(1),
             (QByteArrayList { packMaxSpeeds(10, 20, 30).toFrame(), packFpvMode(1).toFrame() }));
    QCOMPARE(messages.english().last(), QStringLiteral("Gimbal config written"));
    QCOMPARE(changed.count(), 2);
}

void TestParameterCommands::torqueWriteReboots()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);

    parameters.writeTorque(100, 200, 300);
    QCOMPARE(link.sent, QByteArrayList { packTorques(100, 200, 300).toFrame() });
    QCOMPARE(int(parameters.block().rollMaxTorque), 200);
    QCOMPARE(link.runFollowUps(), QVector<int> { 500 });
    QCOMPARE(link.sent.last(), frameOf(SubCommand::Reboot));
    QCOMPARE(messages.english(), (QStringList { QStringLiteral("Torque settings written"),
                                                QStringLiteral("Torque applied, rebooting...") }));
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Info);
    QVERIFY(link.followUps.isEmpty());
}

void TestParameterCommands::commandRepliesAreReportedAndObserved()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);
    QVector<int> observed;
    parameters.setCommandReplyObserver([&observed](quint8 subCommand) { observed << subCommand; });

    parameters.handleCommandReply(QByteArray(1, char(0xA5)));
    parameters.handleCommandReply(QByteArray(1, char(0x01)));   // no name: observed, not reported
    QCOMPARE(observed, (QVector<int> { 0xA5, 0x01 }));
    QCOMPARE(messages.messages.size(), 1);
    const Message reply = messages.messages.first();
    QCOMPARE(reply.text.zh, QStringLiteral("力矩设置指令成功"));
    QCOMPARE(reply.text.en, QStringLiteral("Max Torque succeeded"));
    QCOMPARE(reply.meaning.kind, MessageKind::Success);
    QCOMPARE(reply.meaning.topic, MessageTopic::CommandReply);
    QCOMPARE(reply.meaning.answers, OperatorAction::Command);
    QVERIFY(link.sent.isEmpty());
}

void TestParameterCommands::accelerometerProgressIsReportedOncePerStep()
{
    FakeDeviceLink link;
    MessageRecorder messages;
    ParameterCommands parameters(link, messages);
    QSignalSpy changed(&parameters, &ParameterCommands::accelCaliStateChanged);

    parameters.handleCommandReply(accelProgress(2.0f));
    parameters.handleCommandReply(accelProgress(2.2f));   // the same step again
    QCOMPARE(parameters.accelCaliState(), 2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(messages.english(), QStringList { QStringLiteral("Accel Calib: FRONT") });
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Info);
    QCOMPARE(messages.messages.last().meaning.topic, MessageTopic::CommandReply);

    parameters.handleCommandReply(accelProgress(8.0f));
    QCOMPARE(messages.messages.last().text.zh, QStringLiteral("加速度计校准成功"));
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Success);
    QCOMPARE(changed.count(), 2);
}

QTEST_GUILESS_MAIN(TestParameterCommands)
#include "tst_parametercommands.moc"
