// Firmware upgrades and the other version-1 replies through the bridge: a scripted controller over a real
// pseudo-terminal for each way an upgrade ends.
#include "app/Config.h"
#include "bridge/AppBridge.h"
#include "device/FirmwareImage.h"
#include "device/UpgradeSession.h"
#include "protocol/FrameCodec.h"
#include "support/BridgeTestUtils.h"
#include "support/MessageCapture.h"
#include "support/PseudoTerminal.h"
#include "support/TestFiles.h"

#include <QtTest>

namespace Cmd = UpgradeCommand;

namespace {
// The bridge on one end of a fresh pseudo-terminal; on the other the controller's side of an
// upgrade, which answers each request at once unless its reply was taken out of `replies`.
struct Rig
{
    explicit Rig(const QString &language)
    {
        bridge.setLanguage(language);
        QObject::connect(&pty, &PseudoTerminal::bytesReceived, &pty, [this](const QByteArray &bytes) {
            buffer += bytes;
            for (ParsedFrame frame; extractFrame(buffer, frame);) {
                if (frame.version != 1 || frame.commandSet != 0)
                    continue;
                sent[frame.v1CommandId] << frame;
                if (replies.contains(frame.v1CommandId))   // each reply's command id follows its request's
                    pty.write(buildFrameV1(0x00, frame.v1CommandId + 1, replies[frame.v1CommandId], frame.sequence));
            }
        });
    }

    bool open()
    {
        const bool opened = pty.isValid() && bridge.openSerial(pty.slaveName(), 115200);
        first = messageTexts(bridge).size();
        return opened;
    }

    // Messages since the port was opened, less those of the port list refresh and the timed reads after opening.
    QStringList messages() const
    {
        static const QRegularExpression own(QStringLiteral("^(?!Serial ports refreshed|串口已刷新|Reading parameters|"
                                                           "正在读取参数|Querying version|正在查询版本号)"));
        return messageTexts(bridge).mid(first).filter(own);
    }

    QTemporaryDir dir;
    PseudoTerminal pty;
    AppBridge bridge;
    QHash<int, QByteArray> replies{
        {Cmd::Erase, {}}, {Cmd::Start, QByteArray(1, 0x00)}, {Cmd::Data, {}}, {Cmd::Stop, QByteArray(1, 0x03)}};
    QHash<int, QVector<ParsedFrame>> sent;   // the general-set frames the tool sent, by command id
    QByteArray buffer;
    int first = 0;
};

}

class TestBridgeUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void heartbeatReachesTheWindow();
    void choosingAFileRemembersItsFolder();
    void runsUpgrade_data();
    void runsUpgrade();
};

void TestBridgeUpgrade::heartbeatReachesTheWindow()
{
    MessageCapture capture;
    Rig rig(QStringLiteral("en"));
    const AppBridge &bridge = rig.bridge;
    QVERIFY(rig.open());
    QSignalSpy heartbeats(&bridge, &AppBridge::heartbeatChanged);
    // Pitch -1, status FF 3F with byte 9 set, then temperature -10 and SBUS pitch 00 80.
    const QByteArray heartbeat
        = countingBytes(61).replace(0, 10, QByteArray::fromHex("ffff00000000ff3f00ff")).replace(34, 3, "\xf6\x00\x80", 3);
    rig.pty.write(buildFrameV1(0x01, 0x00, heartbeat));
    QTRY_COMPARE(heartbeats.count(), 1);
    QCOMPARE(bridge.hbPitch(), -0.01);
    QVERIFY(bridge.hbAttiReady() && bridge.hbUnderVolt() && bridge.hbSoftLimit() && bridge.hbCrsfValuePresent());
    QCOMPARE(QVector<int>({bridge.hbActuator(), bridge.hbCtrlMode(), bridge.hbStateMachine()}), QVector<int>({3, 3, 15}));
    QCOMPARE(bridge.hbImuTemp(), -10.0);
    QCOMPARE(bridge.hbSbusPitchValue(), -32768);
    QCOMPARE(bridge.hbCrsfLockValue(), 0x3D3C);
    // The heartbeat's raw bytes are a diagnostic: echoed, never in the operator's log.
    QCOMPARE(capture.linesContaining(QStringLiteral("[DIAG-HB]")).size(), 1);
    QVERIFY(!bridge.messageLog().contains(QLatin1String("[DIAG-HB]")));
}

void TestBridgeUpgrade::choosingAFileRemembersItsFolder()
{
    removeConfigFile();
    writeUpgradeLastDir(QStringLiteral("/srv/images"));
    AppBridge bridge;
    bridge.setLanguage(QStringLiteral("en"));
    QStringList asked;
    QString answer = QStringLiteral("/data/fw/main.bin");
    bridge.setUpgradeFileChooser([&](const QString &title, const QString &dir, const QString &filter) {
        asked = QStringList { title, dir, filter };
        return answer;
    });
    QSignalSpy changed(&bridge, &AppBridge::tavoxUpgradeFilePathChanged);
    bridge.tavoxSelectUpgradeFile();   // no port needed
    QCOMPARE(asked, (QStringList { "Select firmware", "/srv/images", "Binary (*.bin);;All (*.*)" }));
    QCOMPARE(bridge.tavoxUpgradeFilePath(), answer);
    QCOMPARE(readUpgradeLastDir(), QStringLiteral("/data/fw"));

    answer.clear();   // cancelled
    bridge.tavoxSelectUpgradeFile();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(bridge.tavoxUpgradeFilePath(), QStringLiteral("/data/fw/main.bin"));
    QCOMPARE(readUpgradeLastDir(), QStringLiteral("/data/fw"));
    removeConfigFile();
}

void TestBridgeUpgrade::runsUpgrade_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("reply");   // the byte the controller answers that request with; -1: no answer
    QTest::addColumn<QString>("resend");
    QTest::addColumn<QString>("last");
    QTest::addColumn<int>("progress");

    const QString aborted = QStringLiteral("Upgrade timed out, aborted");
    QTest::newRow("0x03: completes, zh") << "zh" << int(Cmd::Stop) << 0x03 << QString() << QStringLiteral("升级完成!") << 100;
    QTest::newRow("0x07: completes") << "en" << int(Cmd::Stop) << 0x07 << QString() << "Upgrade completed!" << 100;
    QTest::newRow("0x01: md5 failed, zh") << "zh" << int(Cmd::Stop) << 0x01 << QString() << QStringLiteral("升级校验失败: 签名=通过, MD5=失败") << 66;
    QTest::newRow("0x02: signature failed") << "en" << int(Cmd::Stop) << 0x02 << QString() << "Upgrade verification failed: sig=FAIL, md5=OK" << 66;
    QTest::newRow("size refused, zh") << "zh" << int(Cmd::Start) << 0x01 << QString() << QStringLiteral("固件大小超限，升级中止") << 0;
    QTest::newRow("no erase reply, zh") << "zh" << int(Cmd::Erase) << -1 << QStringLiteral("升级无应答，重发 erase")
                                        << QStringLiteral("升级超时，已中止") << 0;
    QTest::newRow("no data ack") << "en" << int(Cmd::Data) << -1 << "No upgrade reply, resending 0" << aborted << 0;
    QTest::newRow("no stop reply") << "en" << int(Cmd::Stop) << -1 << "No upgrade reply, resending stop" << aborted << 66;
}

void TestBridgeUpgrade::runsUpgrade()
{
    QFETCH(QString, language);
    QFETCH(int, request);
    QFETCH(int, reply);
    QFETCH(QString, resend);
    QFETCH(QString, last);
    QFETCH(int, progress);
    Rig rig(language);
    rig.replies[request] = QByteArray(1, char(reply));
    if (reply < 0)
        rig.replies.remove(request);
    rig.bridge.setUpgradeReplyTimeouts({200, 150, 100});   // all shorter than the wait before the reboot
    QVERIFY(rig.open());
    QVector<int> progressSeen;
    connect(&rig.bridge, &AppBridge::tavoxUpgradeProgressChanged, this,
            [&] { progressSeen << rig.bridge.tavoxUpgradeProgress(); });
    QSignalSpy upgrading(&rig.bridge, &AppBridge::tavoxUpgradingChanged);
    QElapsedTimer clock;
    clock.start();
    QFile image(rig.dir.filePath(QStringLiteral("image.bin")));
    QVERIFY(image.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && image.write(countingBytes(130)) == 130);
    rig.bridge.tavoxStartUpgrade(image.fileName());
    QTRY_COMPARE(upgrading.count(), 2);
    const qint64 elapsed = clock.elapsed();
    QTest::qWait(300);   // a watchdog wrongly left running would resend by now
    const QStringList messages = rig.messages();
    QCOMPARE(messages.last(), last);
    QCOMPARE(progressSeen.last(), progress);
    QCOMPARE(messages.count(resend), resend.isEmpty() ? 0 : 5);

    if (reply < 0) {
        const QVector<ParsedFrame> sent = rig.sent.value(request);
        QVERIFY(sent.size() == 6 && std::all_of(sent.cbegin(), sent.cend(), [&](const ParsedFrame &frame) {
                    return frame.payload == sent[0].payload && frame.sequence == sent[0].sequence; }));
        const int timeoutMs = request == Cmd::Erase ? 200 : request == Cmd::Stop ? 150 : 100;
        QVERIFY2(elapsed >= 5 * timeoutMs, qPrintable(QString::number(elapsed)));   // six waits for a reply
        return;
    }
    if (request != Cmd::Stop || reply != 0x03)
        return;
    QCOMPARE(messages, (QStringList{QStringLiteral("开始升级，文件大小: 130 bytes"),
                                    QStringLiteral("固件 SHA-256: ") + firmwareImageSha256Hex(countingBytes(130)),
                                    QStringLiteral("正在擦除固件..."),
                                    QStringLiteral("固件擦除完成，发送开始升级请求..."), QStringLiteral("发送开始升级请求..."),
                                    QStringLiteral("开始升级确认，开始传输数据..."), QStringLiteral("发送结束升级请求..."),
                                    QStringLiteral("升级校验通过，发送软复位..."), QStringLiteral("发送软复位指令..."), last}));
    QCOMPARE(progressSeen, (QVector<int>{0, 0, 33, 66, 100}));
    QVERIFY2(elapsed >= 450, qPrintable(QString::number(elapsed)));   // the reboot waits half a second after the verdict
    QTRY_COMPARE(rig.sent.value(Cmd::SoftReset).size(), 1);
}

QTEST_MAIN(TestBridgeUpgrade)
#include "tst_bridgeupgrade.moc"
