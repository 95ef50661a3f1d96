// Heartbeats, the other version-1 replies and firmware upgrades: the plain
// decoder and upgrade session on their own, then the bridge talking to a
// scripted controller on the far side of a real pseudo-terminal.
#include "bridge/AppBridge.h"
#include "device/HeartbeatDecoder.h"
#include "device/UpgradeSession.h"
#include "protocol/FrameCodec.h"
#include "support/BridgeTestUtils.h"
#include "support/MessageCapture.h"
#include "support/PseudoTerminal.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace Cmd = UpgradeCommand;

namespace {
// Bytes 1, 2, 3, ... so that every field decodes to a distinct non-zero value.
QByteArray counting(int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(i + 1));
    return bytes;
}

ParsedFrame parse(QByteArray frame)
{
    ParsedFrame parsed;
    extractFrame(frame, parsed);
    return parsed;
}

// The controller's side of an upgrade: answers every request at once unless it is of
// the kind told to go unanswered. Each reply's command id follows its request's.
struct ScriptedController : QObject
{
    explicit ScriptedController(PseudoTerminal &pty)
    {
        clock.start();
        connect(&pty, &PseudoTerminal::bytesReceived, this, [this, &pty](const QByteArray &bytes) {
            buffer += bytes;
            for (ParsedFrame frame; extractFrame(buffer, frame);) {
                if (frame.version != 1 || frame.commandSet != 0)
                    continue;
                frames << frame;
                arrivalMs << clock.elapsed();
                const int id = frame.v1CommandId;
                const QByteArray result(1, char(id == Cmd::Start ? startResult : verifyResult));
                if (id != ignored && (id == Cmd::Erase || id == Cmd::Start || id == Cmd::Data || id == Cmd::Stop))
                    pty.write(buildFrameV1(0x00, quint8(id + 1), id == Cmd::Start || id == Cmd::Stop ? result : QByteArray(),
                                           id == Cmd::Data ? frame.sequence : 0));
            }
        });
    }

    QVector<int> indexesOf(int id) const
    {
        QVector<int> indexes;
        for (int i = 0; i < frames.size(); ++i)
            if (frames[i].v1CommandId == id)
                indexes << i;
        return indexes;
    }

    int ignored = -1;
    quint8 startResult = 0x00;
    quint8 verifyResult = 0x03;
    QVector<ParsedFrame> frames;   // every general-set frame the tool sent
    QVector<qint64> arrivalMs;
    QByteArray buffer;
    QElapsedTimer clock;
};

// The bridge on one end of a fresh pseudo-terminal, the scripted controller on the other.
struct Rig
{
    bool open(const QString &language)
    {
        bridge.setLanguage(language);
        const bool opened = pty.isValid() && bridge.openSerial(pty.slaveName(), 115200);
        first = messageTexts(bridge).size();
        return opened;
    }

    // Messages since the port was opened, less those of the port list refresh and the timed reads after opening.
    QStringList messages() const
    {
        static const QRegularExpression own(QStringLiteral("^(?!Serial ports refreshed|串口已刷新|Reading parameters|正在读取参数|"
                                                           "Querying version|正在查询版本号)"));
        return messageTexts(bridge).mid(first).filter(own);
    }

    QString writeImage(const QByteArray &image)
    {
        QFile file(dir.filePath(QStringLiteral("image.bin")));
        return file.open(QIODevice::WriteOnly) && file.write(image) == image.size() ? file.fileName() : QString();
    }

    QTemporaryDir dir;
    PseudoTerminal pty;
    ScriptedController controller{pty};
    AppBridge bridge;
    int first = 0;
};
}

class TestTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void decodesHeartbeatBlocksByLength_data();
    void decodesHeartbeatBlocksByLength();
    void publishesEachHeartbeatAsWholeRecord();
    void routesOtherReplies_data();
    void routesOtherReplies();
    void buildsUpgradeFrames();
    void resendsAreCountedPerRequest();
    void checksBeforeStarting_data();
    void checksBeforeStarting();
    void upgradeOutcomes_data();
    void upgradeOutcomes();
    void watchdogResendsThenAborts_data();
    void watchdogResendsThenAborts();
};

void TestTelemetry::decodesHeartbeatBlocksByLength_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("blocks");   // 0 none, 1 attitude and status, 2 + temperature, 3 + SBUS, 4 + PWM, 5 + CRSF
    const int rows[][2] = {{21, 0}, {22, 1}, {34, 1}, {35, 2}, {44, 2}, {45, 3}, {50, 3}, {51, 4}, {60, 4}, {61, 5}};
    for (const auto &row : rows)
        QTest::addRow("%d bytes", row[0]) << row[0] << row[1];
}

void TestTelemetry::decodesHeartbeatBlocksByLength()
{
    QFETCH(int, length);
    QFETCH(int, blocks);
    HeartbeatRecord record;
    record.pitch = 77;   // a failed decode must not leave old values behind
    QCOMPARE(decodeHeartbeat(counting(length), record), blocks > 0);
    const auto field = [blocks](int block, int at) { return qint16(blocks >= block ? (at + 1) | (at + 2) << 8 : 0); };
    QCOMPARE(record.pitch, field(1, 0));
    QCOMPARE(record.jointInnerAngle, field(1, 14));
    QCOMPARE(int(record.imuTemp), blocks >= 2 ? 35 : 0);
    QCOMPARE(record.sbusPitch, field(3, 35));
    QCOMPARE(record.sbusLock, field(3, 43));
    QCOMPARE(record.pwmCenter, field(4, 49));
    QCOMPARE(record.crsfLock, field(5, 59));
    QCOMPARE(record.crsfValuePresent, blocks >= 5);
}

void TestTelemetry::publishesEachHeartbeatAsWholeRecord()
{
    MessageCapture capture;
    Rig rig;
    QVERIFY(rig.open(QStringLiteral("en")));
    QSignalSpy changed(&rig.bridge, &AppBridge::heartbeatChanged);
    QByteArray full = counting(61);
    full.replace(0, 10, QByteArray::fromHex("ffff0000 0000 ff3f00ff"));   // pitch -1, status FF 3F with byte 9 set
    full.replace(34, 3, QByteArray::fromHex("f60080"));                  // temperature, SBUS pitch
    QByteArray partial = counting(45);
    partial.replace(6, 4, QByteArray::fromHex("a00a0000"));              // actuator 2, control mode 1, state 5
    rig.pty.write(buildFrameV1(0x01, 0x00, counting(21)));               // too short: dropped
    rig.pty.write(buildFrameV1(0x01, 0x00, QByteArray::fromHex("0aff00").leftJustified(22, '\0')));
    rig.pty.write(buildFrameV1(0x01, 0x00, full));
    QTRY_COMPARE(changed.count(), 2);
    QCOMPARE(rig.bridge.hbPitch(), -0.01);
    QVERIFY(rig.bridge.hbAttiReady() && rig.bridge.hbJointInitOk() && rig.bridge.hbUnderVolt() && rig.bridge.hbMemsLost());
    QVERIFY(rig.bridge.hbSoftLimit() && rig.bridge.hbReceived() && rig.bridge.hbCrsfValuePresent());
    QCOMPARE(QVector<int>({rig.bridge.hbActuator(), rig.bridge.hbCtrlMode(), rig.bridge.hbStateMachine()}), QVector<int>({3, 3, 15}));
    QCOMPARE(rig.bridge.hbImuTemp(), -10.0);
    QCOMPARE(rig.bridge.hbSbusPitchValue(), -32768);
    QCOMPARE(rig.bridge.hbCrsfLockValue(), 0x3D3C);

    rig.pty.write(buildFrameV1(0x01, 0x00, partial));
    QTRY_COMPARE(changed.count(), 3);
    QCOMPARE(QVector<int>({rig.bridge.hbActuator(), rig.bridge.hbCtrlMode(), rig.bridge.hbStateMachine()}), QVector<int>({2, 1, 5}));
    QVERIFY(!rig.bridge.hbAttiReady() && !rig.bridge.hbSoftLimit() && !rig.bridge.hbCrsfValuePresent());
    QCOMPARE(rig.bridge.hbSbusLockValue(), 0x2D2C);
    QCOMPARE(rig.bridge.hbPwmPitchValue(), 0);
    QCOMPARE(rig.bridge.hbCrsfLockValue(), 0);

    rig.bridge.closeSerial();
    QVERIFY(changed.count() == 4 && !rig.bridge.hbReceived() && rig.bridge.hbSbusLockValue() == 0);
    QVERIFY(rig.bridge.openSerial(rig.pty.slaveName(), 115200));
    rig.pty.write(buildFrameV1(0x01, 0x00, full));
    QTRY_COMPARE(capture.linesContaining(QStringLiteral("[DIAG-HB]")).size(), 2);   // once per connection
    const QString line = capture.linesContaining(QStringLiteral("[DIAG-HB]")).first();
    QVERIFY2(line.endsWith(QStringLiteral("[DIAG-HB] 心跳DATA长度=22B (需>=45才有SBUS值,>=51才有PWM值,>=61才有CRSF值) "
                                          "crsfValuePresent=NO raw: 0A FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                                          "00 00 00 00 00 00")), qPrintable(line));
    QVERIFY(!rig.bridge.messageLog().contains(QLatin1String("[DIAG-HB]")));
}

void TestTelemetry::routesOtherReplies_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("frames");   // each row ends in a version reply: once it is in, all is handled
    QTest::addColumn<QStringList>("messages");

    const auto reply = [](quint8 set, quint8 id, const QByteArray &payload) { return buildFrameV1(set, id, payload); };
    const QByteArray unknowns = reply(0x00, 0xA5, counting(61)) + reply(0x01, 0x05, counting(61))
                                + reply(0x02, 0x00, counting(61)) + reply(0x00, 0x02, QByteArray(8, '\0'));
    QTest::newRow("unknown ids, en") << "en" << unknowns
                                     << QStringList{"Unknown v1 general reply: CMD_ID=0xa5", "Unknown v1 gimbal reply: CMD_ID=0x5",
                                                    "Firmware: 0.0.0.0, Boot: 0.0.0.0"};
    QTest::newRow("unknown ids, zh") << "zh" << reply(0x00, 0x05, {}) + reply(0x01, 0x10, {}) + reply(0x00, 0x02, QByteArray(8, '\0'))
                                     << QStringList{QStringLiteral("收到未知v1通用应答: CMD_ID=0x5"), QStringLiteral("收到未知v1云台应答: CMD_ID=0x10"),
                                                    QStringLiteral("固件版本: 0.0.0.0\uFF0CBoot: 0.0.0.0")};
    const QByteArray usual = QByteArray::fromHex("0200000105000101");
    QTest::newRow("7 bytes ignored, twice the same, zh")
        << "zh" << reply(0x00, 0x02, usual.left(7)) + reply(0x00, 0x02, usual) + reply(0x00, 0x02, usual)
        << QStringList{QStringLiteral("固件版本: 1.1.0.5\uFF0CBoot: 1.0.0.2"), QStringLiteral("固件版本: 1.1.0.5\uFF0CBoot: 1.0.0.2")};
    QTest::newRow("extremes, 12 bytes") << "en" << reply(0x00, 0x02, QByteArray::fromHex("00000000ffffffff6f6f6f6f"))
                                        << QStringList{"Firmware: 255.255.255.255, Boot: 0.0.0.0"};
}

void TestTelemetry::routesOtherReplies()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, frames);
    QFETCH(QStringList, messages);
    Rig rig;
    QVERIFY(rig.open(language));
    QSignalSpy versions(&rig.bridge, &AppBridge::tavoxVersionChanged);
    rig.pty.write(frames);
    QTRY_COMPARE(rig.messages(), messages);
    QCOMPARE(versions.count(), messages.filter(QStringLiteral("Boot: ")).size());
    const QString separator = language == "zh" ? QStringLiteral("\uFF0CBoot: ") : QStringLiteral(", Boot: ");
    QVERIFY(messages.last().endsWith(rig.bridge.tavoxFirmwareVersion() + separator + rig.bridge.tavoxBootVersion()));
    QVERIFY(!rig.bridge.hbReceived());
}

void TestTelemetry::buildsUpgradeFrames()
{
    UpgradeSession session;
    session.load(QByteArray(64, 'x'));
    QCOMPARE(session.packetCount(), 1);
    session.load(QByteArray(1, char(0x5A)));
    QCOMPARE(session.startFrame().toHex(' ').toUpper(), QByteArray("AA 12 04 C0 00 00 04 00 08 00 0B 00 01 00 00 00 96 13"));
    QCOMPARE(session.requestErase().frame, buildFrameV1(0x00, Cmd::Erase, {}));
    QCOMPARE(session.replyTimeoutMs(), 30000);
    session.onEraseDone();
    QCOMPARE(session.replyTimeoutMs(), 2000);
    const QByteArray packet = session.onStartReply(QByteArray(1, '\0')).frame;
    QCOMPARE(packet.left(12).toHex(), QByteArray("aa4d04fb0000100008000d5a"));
    QCOMPARE(parse(packet).payload, QByteArray(1, char(0x5A)) + QByteArray(63, '\0'));   // and the CRC holds
    QCOMPARE(session.replyTimeoutMs(), 2000);
    QCOMPARE(session.onDataAck(0).frame, buildFrameV1(0x00, Cmd::Stop, QByteArray::fromHex("03"), 1));
    QCOMPARE(session.replyTimeoutMs(), 10000);

    // Above 4 MiB the sequence number wraps while the packet index keeps counting.
    const QByteArray image = counting(65538 * 64 - 10);
    session.load(image);
    session.onStartReply(QByteArray(1, '\0'));
    for (int i = 0; i < 65536; ++i)
        session.onDataAck(session.sequence());
    QCOMPARE(session.packetIndex(), 65536);
    QCOMPARE(int(parse(session.dataFrame()).sequence), 0);
    QCOMPARE(parse(session.dataFrame()).payload, image.mid(65536 * 64, 64));
    session.onDataAck(0);
    QCOMPARE(session.onDataAck(1).frame, buildFrameV1(0x00, Cmd::Stop, QByteArray::fromHex("03"), 2));
}

void TestTelemetry::resendsAreCountedPerRequest()
{
    UpgradeSession session;
    session.load(counting(100));
    const QByteArray erase = session.requestErase().frame;
    for (int i = 0; i < 4; ++i)
        QCOMPARE(session.onReplyTimeout().frame, erase);
    const QByteArray start = session.onEraseDone().frame;   // a reply starts the count afresh
    for (int i = 0; i < UpgradeSession::MaxResends; ++i)
        QCOMPARE(session.onReplyTimeout().frame, start);
    const UpgradeSession::Reaction abort = session.onReplyTimeout();
    QVERIFY(abort.endsUpgrade && abort.frame.isEmpty() && !session.awaitingReply());
}

void TestTelemetry::checksBeforeStarting_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("message");

    QTest::newRow("port closed") << "closed" << "en" << "Please open serial port first";
    QTest::newRow("upgrading, port reopened") << "busy" << "en" << "Upgrade in progress, please wait";
    QTest::newRow("missing, zh") << "missing" << "zh" << QStringLiteral("无法打开固件文件");
    QTest::newRow("empty") << "empty" << "en" << "Firmware file is empty";
    QTest::newRow("64 MiB + 1, zh") << "oversized" << "zh" << QStringLiteral("固件文件过大");
    QTest::newRow("endless device") << "device" << "en" << "Firmware file too large";
    QTest::newRow("exactly 64 MiB") << "limit" << "en" << "Starting upgrade, size: 67108864 bytes";
    QTest::newRow("1 byte, zh") << "one" << "zh" << QStringLiteral("开始升级，文件大小: 1 bytes");
}

void TestTelemetry::checksBeforeStarting()
{
    QFETCH(QString, kind);
    QFETCH(QString, language);
    QFETCH(QString, message);
    Rig rig;
    const QHash<QString, qint64> sizes{{"busy", 1}, {"empty", 0}, {"oversized", UpgradeSession::MaxImageSize + 1},
                                       {"limit", UpgradeSession::MaxImageSize}, {"one", 1}};
    const QString path = kind == "device" ? QStringLiteral("/dev/zero") : rig.dir.filePath("image.bin");
    QFile file(path);
    if (sizes.contains(kind))
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(sizes[kind]));   // sparse: cheap even at 64 MiB
    rig.controller.ignored = Cmd::Erase;
    rig.bridge.setLanguage(language);
    QVERIFY(kind == "closed" || rig.open(language));
    if (kind == "busy") {
        rig.bridge.tavoxStartUpgrade(path);
        QTRY_COMPARE(rig.controller.indexesOf(Cmd::Erase).size(), 1);
        rig.bridge.closeSerial();
        QVERIFY(rig.bridge.openSerial(rig.pty.slaveName(), 115200));
    }
    QSignalSpy progress(&rig.bridge, &AppBridge::tavoxUpgradeProgressChanged);
    const int first = messageTexts(rig.bridge).size();
    rig.bridge.tavoxStartUpgrade(path);
    const bool starts = message.endsWith(QLatin1String("bytes"));
    QCOMPARE(messageTexts(rig.bridge).value(first), message);
    QCOMPARE(rig.bridge.tavoxUpgrading(), starts || kind == "busy");
    QCOMPARE(progress.count(), starts ? 1 : 0);
    if (kind == "closed")
        return;
    rig.bridge.tavoxQueryVersion();   // written after anything the start may have sent
    QTRY_VERIFY(!rig.controller.indexesOf(0x01).isEmpty());
    QCOMPARE(rig.controller.indexesOf(Cmd::Erase).size(), starts || kind == "busy" ? 1 : 0);
}

void TestTelemetry::upgradeOutcomes_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("startResult");
    QTest::addColumn<int>("verifyResult");
    QTest::addColumn<QString>("last");
    QTest::addColumn<int>("progress");

    QTest::newRow("0x03: completes, zh") << "zh" << 0 << 0x03 << QStringLiteral("升级完成!") << 100;
    QTest::newRow("0x07: completes") << "en" << 0 << 0x07 << "Upgrade completed!" << 100;
    QTest::newRow("0x01: md5 failed, zh") << "zh" << 0 << 0x01 << QStringLiteral("升级校验失败: 签名=通过, MD5=失败") << 66;
    QTest::newRow("0x02: signature failed") << "en" << 0 << 0x02 << "Upgrade verification failed: sig=FAIL, md5=OK" << 66;
    QTest::newRow("size refused, zh") << "zh" << 1 << 0x03 << QStringLiteral("固件大小超限，升级中止") << 0;
}

void TestTelemetry::upgradeOutcomes()
{
    QFETCH(QString, language);
    QFETCH(int, startResult);
    QFETCH(int, verifyResult);
    QFETCH(QString, last);
    QFETCH(int, progress);
    Rig rig;
    rig.controller.startResult = quint8(startResult);
    rig.controller.verifyResult = quint8(verifyResult);
    rig.bridge.setUpgradeReplyTimeouts({250, 250, 250});   // all shorter than the wait before the reboot
    QVERIFY(rig.open(language));
    QVector<int> progressSeen;
    connect(&rig.bridge, &AppBridge::tavoxUpgradeProgressChanged, this, [&] { progressSeen << rig.bridge.tavoxUpgradeProgress(); });
    QSignalSpy upgrading(&rig.bridge, &AppBridge::tavoxUpgradingChanged);
    const QByteArray image = counting(130);

    rig.bridge.tavoxStartUpgrade(rig.writeImage(image));
    QTRY_COMPARE(upgrading.count(), 2);
    QTest::qWait(300);   // a watchdog wrongly left running would resend by now
    QCOMPARE(rig.messages().last(), last);
    QCOMPARE(progressSeen.last(), progress);
    if (verifyResult != 0x03 || startResult != 0)
        return;
    QCOMPARE(rig.messages(), (QStringList{QStringLiteral("开始升级，文件大小: 130 bytes"), QStringLiteral("正在擦除固件..."),
                                          QStringLiteral("固件擦除完成，发送开始升级请求..."), QStringLiteral("发送开始升级请求..."),
                                          QStringLiteral("开始升级确认，开始传输数据..."), QStringLiteral("发送结束升级请求..."),
                                          QStringLiteral("升级校验通过，发送软复位..."), QStringLiteral("发送软复位指令..."), last}));
    QCOMPARE(progressSeen, (QVector<int>{0, 0, 33, 66, 100}));
    QByteArray received;
    for (int i : rig.controller.indexesOf(Cmd::Data))
        received += rig.controller.frames[i].payload;
    QCOMPARE(received, image + QByteArray(3 * 64 - 130, '\0'));
    const qint64 rebootDelay = rig.controller.arrivalMs[rig.controller.indexesOf(Cmd::SoftReset).value(0)]
                               - rig.controller.arrivalMs[rig.controller.indexesOf(Cmd::Stop).value(0)];
    QVERIFY2(rebootDelay >= 400, qPrintable(QString::number(rebootDelay)));
}

void TestTelemetry::watchdogResendsThenAborts_data()
{
    QTest::addColumn<int>("silentAt");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("resend");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("progress");

    QTest::newRow("erase, zh") << int(Cmd::Erase) << "zh" << QStringLiteral("升级无应答，重发 erase") << 200 << 0;
    QTest::newRow("start") << int(Cmd::Start) << "en" << "No upgrade reply, resending start" << 100 << 0;
    QTest::newRow("data") << int(Cmd::Data) << "en" << "No upgrade reply, resending 0" << 100 << 0;
    QTest::newRow("stop") << int(Cmd::Stop) << "en" << "No upgrade reply, resending stop" << 150 << 66;
}

void TestTelemetry::watchdogResendsThenAborts()
{
    QFETCH(int, silentAt);
    QFETCH(QString, language);
    QFETCH(QString, resend);
    QFETCH(int, timeoutMs);
    QFETCH(int, progress);
    Rig rig;
    rig.controller.ignored = silentAt;
    rig.bridge.setUpgradeReplyTimeouts({200, 150, 100});
    QVERIFY(rig.open(language));
    QSignalSpy upgrading(&rig.bridge, &AppBridge::tavoxUpgradingChanged);
    rig.bridge.tavoxStartUpgrade(rig.writeImage(counting(130)));
    QTRY_COMPARE_WITH_TIMEOUT(upgrading.count(), 2, 10000);
    QCOMPARE(rig.bridge.tavoxUpgradeProgress(), progress);
    QCOMPARE(rig.messages().count(resend), 5);
    QCOMPARE(rig.messages().last(), language == "zh" ? QStringLiteral("升级超时，已中止") : QStringLiteral("Upgrade timed out, aborted"));
    const QVector<int> sent = rig.controller.indexesOf(silentAt);
    QCOMPARE(sent.size(), 6);
    const ParsedFrame &request = rig.controller.frames[sent[0]];
    for (int i : sent)
        QVERIFY(rig.controller.frames[i].payload == request.payload && rig.controller.frames[i].sequence == request.sequence);
    const qint64 span = rig.controller.arrivalMs[sent.last()] - rig.controller.arrivalMs[sent[0]];
    QVERIFY2(span >= 5 * timeoutMs * 8 / 10, qPrintable(QString::number(span)));

    // With no upgrade under way a stray erase-done still asks for a start, but nobody chases the answer.
    rig.controller.ignored = Cmd::Start;
    const int starts = rig.controller.indexesOf(Cmd::Start).size();
    rig.pty.write(buildFrameV1(0x00, Cmd::EraseDone, QByteArray()));
    QTRY_COMPARE(rig.controller.indexesOf(Cmd::Start).size(), starts + 1);
    QTest::qWait(3 * timeoutMs);
    QCOMPARE(rig.controller.indexesOf(silentAt).size(), silentAt == Cmd::Start ? 7 : 6);
    QCOMPARE(rig.messages().filter(resend.section(' ', 0, -2)).size(), 5);
}

QTEST_MAIN(TestTelemetry)
#include "tst_telemetry.moc"
