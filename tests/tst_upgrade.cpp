// Firmware upgrade: the session's frames and decisions on their own, then the
// bridge driving a scripted controller on the far side of a real pseudo-terminal.
#include "app/Config.h"
#include "bridge/AppBridge.h"
#include "device/UpgradeSession.h"
#include "protocol/FrameCodec.h"
#include "support/PseudoTerminal.h"

#include <QElapsedTimer>

#include <algorithm>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Reaction = UpgradeSession::Reaction;

namespace {
QByteArray patternImage(int size)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 7 + 3) & 0xFF);
    return image;
}

ParsedFrame parse(const QByteArray &frame)
{
    QByteArray buffer = frame;
    ParsedFrame parsed;
    extractFrame(buffer, parsed);
    return parsed;
}

QStringList englishOf(const Reaction &reaction)
{
    QStringList texts;
    for (const UpgradeSession::Text &text : reaction.messages)
        texts << text.en;
    return texts;
}

QStringList chineseOf(const Reaction &reaction)
{
    QStringList texts;
    for (const UpgradeSession::Text &text : reaction.messages)
        texts << text.zh;
    return texts;
}

// A session that has been told the erase and the start went through.
void startTransfer(UpgradeSession &session, const QByteArray &image)
{
    session.load(image);
    session.setActive(true);
    session.requestErase();
    session.onEraseDone();
    session.onStartReply(QByteArray(1, '\0'));
}

QStringList messageTexts(const AppBridge &bridge)
{
    QStringList texts;
    for (const QString &entry : bridge.messageLog().split(QLatin1Char('\n')))
        texts << entry.mid(22);
    return texts;
}

// Entries from `first` on, less the version queries that run on timers of their own.
QStringList messagesFrom(const AppBridge &bridge, int first)
{
    QStringList texts = messageTexts(bridge).mid(first);
    texts.removeAll(QStringLiteral("Querying version..."));
    texts.removeAll(QStringLiteral("正在查询版本号..."));
    return texts;
}

// The controller's side of the upgrade, answering each request at once unless told to stay silent.
class ScriptedController : public QObject
{
public:
    explicit ScriptedController(PseudoTerminal &pty)
        : m_pty(pty)
    {
        connect(&pty, &PseudoTerminal::bytesReceived, this, [this](const QByteArray &bytes) { take(bytes); });
    }

    bool answerErase = true;
    bool answerStart = true;
    bool ackData = true;
    bool answerStop = true;
    quint8 startResult = 0x00;
    quint8 verifyResult = 0x03;

    QVector<ParsedFrame> frames;   // every general-set frame the tool sent
    QVector<QByteArray> rawFrames;
    QVector<qint64> arrivalMs;
    QElapsedTimer clock;

    int count(quint8 id) const
    {
        return int(std::count_if(frames.cbegin(), frames.cend(),
                                 [id](const ParsedFrame &frame) { return frame.v1CommandId == id; }));
    }

    QVector<QByteArray> raw(quint8 id) const
    {
        QVector<QByteArray> result;
        for (int i = 0; i < frames.size(); ++i)
            if (frames[i].v1CommandId == id)
                result << rawFrames[i];
        return result;
    }

    qint64 firstArrival(quint8 id) const
    {
        for (int i = 0; i < frames.size(); ++i)
            if (frames[i].v1CommandId == id)
                return arrivalMs[i];
        return -1;
    }

    qint64 lastArrival(quint8 id) const
    {
        for (int i = frames.size() - 1; i >= 0; --i)
            if (frames[i].v1CommandId == id)
                return arrivalMs[i];
        return -1;
    }

    QByteArray receivedImage() const
    {
        QByteArray image;
        for (const ParsedFrame &frame : frames)
            if (frame.v1CommandId == UpgradeCommand::Data)
                image += frame.payload;
        return image;
    }

private:
    void take(const QByteArray &bytes)
    {
        if (!clock.isValid())
            clock.start();
        m_buffer += bytes;
        for (;;) {
            const QByteArray before = m_buffer;
            ParsedFrame frame;
            if (!extractFrame(m_buffer, frame))
                break;
            if (frame.version != 1 || frame.commandSet != 0)
                continue;
            const int consumed = before.size() - m_buffer.size();
            const int length = frame.payload.size() + 13;
            rawFrames << before.mid(consumed - length, length);
            frames << frame;
            arrivalMs << clock.elapsed();
            answer(frame);
        }
    }

    void answer(const ParsedFrame &frame)
    {
        switch (frame.v1CommandId) {
        case UpgradeCommand::Erase:
            if (answerErase)
                reply(UpgradeCommand::EraseDone, QByteArray());
            break;
        case UpgradeCommand::Start:
            if (answerStart)
                reply(UpgradeCommand::StartReply, QByteArray(1, char(startResult)));
            break;
        case UpgradeCommand::Data:
            if (ackData)
                reply(UpgradeCommand::DataAck, QByteArray(), frame.sequence);
            break;
        case UpgradeCommand::Stop:
            if (answerStop)
                reply(UpgradeCommand::VerifyResult, QByteArray(1, char(verifyResult)));
            break;
        default:
            break;
        }
    }

    void reply(quint8 id, const QByteArray &payload, quint16 sequence = 0)
    {
        m_pty.write(buildFrameV1(0x00, id, payload, sequence));
    }

    PseudoTerminal &m_pty;
    QByteArray m_buffer;
};
}

class TestUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // The session on its own.
    void startRequestCarriesImageSize();
    void requestFrames_data();
    void requestFrames();
    void dataPacketLayout_data();
    void dataPacketLayout();
    void progressFollowsPackets_data();
    void progressFollowsPackets();
    void mismatchedAckResendsExpectedPacket();
    void sequenceWrapsWhileIndexCounts();
    void startReply_data();
    void startReply();
    void verificationResult_data();
    void verificationResult();
    void timeoutResendsPendingRequest_data();
    void timeoutResendsPendingRequest();
    void replyResetsResendCount();

    // The bridge over a pseudo-terminal.
    void selectsUpgradeFile_data();
    void selectsUpgradeFile();
    void cancelledChoiceChangesNothing();
    void refusesStartWithPortClosed();
    void checksImageBeforeStarting_data();
    void checksImageBeforeStarting();
    void refusesSecondStart();
    void completesUpgrade_data();
    void completesUpgrade();
    void watchdogResendsThenAborts_data();
    void watchdogResendsThenAborts();
    void watchdogAbortsWhenPortClosed();
    void watchdogStaysQuietInNormalUpgrade();
    void watchdogIdleWithoutUpgrade();

private:
    // Opens the link and lets its first exchange (parameter read, version
    // query) pass, so that what follows in the log belongs to the test.
    bool openLink(const QString &language);
    QStringList upgradeMessages() const { return messagesFrom(*m_bridge, m_firstEntry); }
    QString writeImage(const QByteArray &image);

    int m_firstEntry = 0;
    QTemporaryDir *m_dir = nullptr;
    PseudoTerminal *m_pty = nullptr;
    ScriptedController *m_controller = nullptr;
    AppBridge *m_bridge = nullptr;
};

void TestUpgrade::init()
{
    m_dir = new QTemporaryDir;
    m_pty = new PseudoTerminal;
    m_controller = new ScriptedController(*m_pty);
    m_bridge = new AppBridge;
}

void TestUpgrade::cleanup()
{
    delete m_bridge;
    delete m_controller;
    delete m_pty;
    delete m_dir;
    m_bridge = nullptr;
    m_controller = nullptr;
    m_pty = nullptr;
    m_dir = nullptr;
}

bool TestUpgrade::openLink(const QString &language)
{
    m_bridge->setLanguage(language);
    if (!m_pty->isValid() || !m_bridge->openSerial(m_pty->slaveName(), 115200))
        return false;
    if (!QTest::qWaitFor([this] { return m_controller->count(0x01) >= 1; }, 5000))
        return false;
    m_firstEntry = messageTexts(*m_bridge).size();
    return true;
}

QString TestUpgrade::writeImage(const QByteArray &image)
{
    const QString path = m_dir->filePath(QStringLiteral("image.bin"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return QString();
    return path;
}

void TestUpgrade::startRequestCarriesImageSize()
{
    UpgradeSession session;
    session.load(QByteArray(1, char(0x5A)));
    QCOMPARE(session.startFrame().toHex(' ').toUpper(), QByteArray("AA 12 04 C0 00 00 04 00 08 00 0B 00 01 00 00 00 96 13"));
    QCOMPARE(session.packetCount(), 1);
}

void TestUpgrade::requestFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("commandId");
    QTest::addColumn<int>("sequence");
    QTest::addColumn<QByteArray>("payload");

    UpgradeSession session;
    startTransfer(session, patternImage(200));
    for (int packet = 0; packet < 4; ++packet)
        session.onDataAck(session.sequence());

    QTest::newRow("erase") << session.eraseFrame() << 0x03 << 0 << QByteArray();
    QTest::newRow("start, 200 bytes") << session.startFrame() << 0x0B << 0 << QByteArray::fromHex("00c8000000");
    QTest::newRow("stop after 4 packets") << session.stopFrame() << 0x0F << 4 << QByteArray::fromHex("03");
    QTest::newRow("soft reset") << UpgradeSession::softResetFrame() << 0x00 << 0 << QByteArray();
}

void TestUpgrade::requestFrames()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, commandId);
    QFETCH(int, sequence);
    QFETCH(QByteArray, payload);

    const ParsedFrame parsed = parse(frame);
    QVERIFY(parsed.valid);
    QCOMPARE(int(parsed.version), 1);
    QCOMPARE(int(parsed.commandSet), 0);
    QCOMPARE(int(parsed.v1CommandId), commandId);
    QCOMPARE(int(parsed.sequence), sequence);
    QCOMPARE(parsed.payload, payload);
    QCOMPARE(frame.mid(6, 3), QByteArray::fromHex("040008"));
}

void TestUpgrade::dataPacketLayout_data()
{
    QTest::addColumn<int>("imageSize");
    QTest::addColumn<int>("packetCount");
    QTest::addColumn<int>("packetIndex");
    QTest::addColumn<QByteArray>("data");

    const QByteArray image = patternImage(65);
    QTest::newRow("1 byte") << 1 << 1 << 0 << image.left(1) + QByteArray(63, '\0');
    QTest::newRow("64 bytes") << 64 << 1 << 0 << image.left(64);
    QTest::newRow("65 bytes, first") << 65 << 2 << 0 << image.left(64);
    QTest::newRow("65 bytes, second") << 65 << 2 << 1 << image.mid(64, 1) + QByteArray(63, '\0');
}

void TestUpgrade::dataPacketLayout()
{
    QFETCH(int, imageSize);
    QFETCH(int, packetCount);
    QFETCH(int, packetIndex);
    QFETCH(QByteArray, data);

    UpgradeSession session;
    startTransfer(session, patternImage(imageSize));
    for (int i = 0; i < packetIndex; ++i)
        session.onDataAck(session.sequence());
    QCOMPARE(session.packetCount(), packetCount);

    const QByteArray frame = session.dataFrame();
    QCOMPARE(frame.size(), 77);
    QCOMPARE(frame.left(4), QByteArray::fromHex("aa4d04fb"));
    QCOMPARE(frame.mid(4, 2), QByteArray::fromHex(packetIndex == 0 ? "0000" : "0100"));
    QCOMPARE(frame.mid(6, 5), QByteArray::fromHex("100008000d"));
    QCOMPARE(frame.mid(11, 64), data);
    const ParsedFrame parsed = parse(frame);
    QVERIFY(parsed.valid);
    QCOMPARE(parsed.payload, data);
}

void TestUpgrade::progressFollowsPackets_data()
{
    QTest::addColumn<int>("imageSize");
    QTest::addColumn<QVector<int>>("progressPerPacket");

    QTest::newRow("one packet") << 10 << QVector<int>{0};
    QTest::newRow("three packets") << 130 << QVector<int>{0, 33, 66};
    QTest::newRow("150 packets stay below 100") << 150 * 64 << [] {
        QVector<int> values;
        for (int i = 0; i < 150; ++i)
            values << qMin(i * 100 / 150, 99);
        return values;
    }();
}

void TestUpgrade::progressFollowsPackets()
{
    QFETCH(int, imageSize);
    QFETCH(QVector<int>, progressPerPacket);

    UpgradeSession session;
    session.load(patternImage(imageSize));
    session.setActive(true);
    session.requestErase();
    session.onEraseDone();
    QVector<int> seen;
    Reaction reaction = session.onStartReply(QByteArray(1, '\0'));
    while (parse(reaction.frame).v1CommandId == UpgradeCommand::Data) {
        QVERIFY(reaction.progressUpdated);
        seen << session.progress();
        reaction = session.onDataAck(session.sequence());
    }
    QCOMPARE(seen, progressPerPacket);
    QCOMPARE(englishOf(reaction), QStringList{QStringLiteral("Sending stop upgrade request...")});
    QVERIFY(!reaction.progressUpdated);
    QCOMPARE(session.progress(), progressPerPacket.last());

    reaction = session.onVerifyResult(QByteArray(1, char(0x03)));
    QVERIFY(reaction.progressUpdated);
    QVERIFY(reaction.verified);
    QCOMPARE(session.progress(), 100);
}

void TestUpgrade::mismatchedAckResendsExpectedPacket()
{
    UpgradeSession session;
    startTransfer(session, patternImage(640));
    for (int i = 0; i < 4; ++i)
        session.onDataAck(session.sequence());
    const QByteArray expectedPacket = session.dataFrame();

    const Reaction reaction = session.onDataAck(5);
    QCOMPARE(englishOf(reaction), QStringList{QStringLiteral("Upgrade seq mismatch, resending packet 4")});
    QCOMPARE(chineseOf(reaction), QStringList{QStringLiteral("升级数据包序号不匹配，重发包 4")});
    QCOMPARE(reaction.frame, expectedPacket);
    QCOMPARE(session.packetIndex(), 4);
    QCOMPARE(int(session.sequence()), 4);
}

void TestUpgrade::sequenceWrapsWhileIndexCounts()
{
    const int packets = 65536 + 2;
    const QByteArray image = patternImage(packets * 64 - 10);
    UpgradeSession session;
    startTransfer(session, image);
    QCOMPARE(session.packetCount(), packets);
    for (int i = 0; i < 65536; ++i)
        session.onDataAck(session.sequence());

    QCOMPARE(session.packetIndex(), 65536);
    QCOMPARE(int(session.sequence()), 0);
    const ParsedFrame wrapped = parse(session.dataFrame());
    QCOMPARE(int(wrapped.sequence), 0);
    QCOMPARE(wrapped.payload, image.mid(65536 * 64, 64));

    session.onDataAck(0);
    const Reaction last = session.onDataAck(1);
    QCOMPARE(session.packetIndex(), packets);
    QCOMPARE(int(parse(last.frame).v1CommandId), int(UpgradeCommand::Stop));
    QCOMPARE(int(parse(last.frame).sequence), 2);
}

void TestUpgrade::startReply_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("english");
    QTest::addColumn<QStringList>("chinese");
    QTest::addColumn<int>("sentId");   // -1: nothing sent
    QTest::addColumn<bool>("ends");

    QTest::newRow("accepted") << QByteArray(1, '\0') << QStringList{"Upgrade confirmed, transmitting data..."}
                              << QStringList{QStringLiteral("开始升级确认，开始传输数据...")} << 0x0D << false;
    QTest::newRow("too large") << QByteArray::fromHex("01") << QStringList{"Firmware size exceeded, upgrade aborted"}
                               << QStringList{QStringLiteral("固件大小超限，升级中止")} << -1 << true;
    QTest::newRow("empty payload") << QByteArray() << QStringList() << QStringList() << -1 << false;
}

void TestUpgrade::startReply()
{
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, english);
    QFETCH(QStringList, chinese);
    QFETCH(int, sentId);
    QFETCH(bool, ends);

    UpgradeSession session;
    session.load(patternImage(300));
    session.setActive(true);
    session.requestErase();
    session.onEraseDone();
    const Reaction reaction = session.onStartReply(payload);
    QCOMPARE(englishOf(reaction), english);
    QCOMPARE(chineseOf(reaction), chinese);
    QCOMPARE(reaction.frame.isEmpty() ? -1 : int(parse(reaction.frame).v1CommandId), sentId);
    QCOMPARE(reaction.endsUpgrade, ends);
    QCOMPARE(session.progress(), 0);
}

void TestUpgrade::verificationResult_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("chinese");

    QTest::newRow("0x00") << QByteArray::fromHex("00") << false << "Upgrade verification failed: sig=FAIL, md5=FAIL"
                          << QStringLiteral("升级校验失败: 签名=失败, MD5=失败");
    QTest::newRow("0x01") << QByteArray::fromHex("01") << false << "Upgrade verification failed: sig=OK, md5=FAIL"
                          << QStringLiteral("升级校验失败: 签名=通过, MD5=失败");
    QTest::newRow("0x02") << QByteArray::fromHex("02") << false << "Upgrade verification failed: sig=FAIL, md5=OK"
                          << QStringLiteral("升级校验失败: 签名=失败, MD5=通过");
    QTest::newRow("0x03") << QByteArray::fromHex("03") << true << "Upgrade verified, sending reboot..."
                          << QStringLiteral("升级校验通过，发送软复位...");
    QTest::newRow("0x07") << QByteArray::fromHex("07ff") << true << "Upgrade verified, sending reboot..."
                          << QStringLiteral("升级校验通过，发送软复位...");
    QTest::newRow("empty") << QByteArray() << false << QString() << QString();
}

void TestUpgrade::verificationResult()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, verified);
    QFETCH(QString, english);
    QFETCH(QString, chinese);

    UpgradeSession session;
    startTransfer(session, patternImage(130));
    session.onDataAck(0);
    session.onDataAck(1);
    session.onDataAck(2);
    const Reaction reaction = session.onVerifyResult(payload);
    QCOMPARE(englishOf(reaction), english.isEmpty() ? QStringList() : QStringList{english});
    QCOMPARE(chineseOf(reaction), chinese.isEmpty() ? QStringList() : QStringList{chinese});
    QCOMPARE(reaction.verified, verified);
    QCOMPARE(reaction.endsUpgrade, !verified && !payload.isEmpty());
    QCOMPARE(session.progress(), verified ? 100 : 66);
    QVERIFY(reaction.frame.isEmpty());
    // Nothing is awaited once the controller has given its verdict.
    QCOMPARE(session.awaitingReply(), payload.isEmpty());
}

void TestUpgrade::timeoutResendsPendingRequest_data()
{
    QTest::addColumn<int>("stage");   // replies received before the silence
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("timeoutMs");

    QTest::newRow("erase") << 0 << "erase" << 3000;
    QTest::newRow("start") << 1 << "start" << 100;
    QTest::newRow("first packet") << 2 << "0" << 100;
    QTest::newRow("second packet") << 3 << "1" << 100;
    QTest::newRow("stop") << 4 << "stop" << 700;
}

void TestUpgrade::timeoutResendsPendingRequest()
{
    QFETCH(int, stage);
    QFETCH(QString, name);
    QFETCH(int, timeoutMs);

    UpgradeSession session;
    session.setReplyTimeouts({3000, 700, 100});
    session.load(patternImage(100));
    session.setActive(true);
    Reaction sent = session.requestErase();
    const QVector<std::function<Reaction()>> replies{
        [&] { return session.onEraseDone(); },
        [&] { return session.onStartReply(QByteArray(1, '\0')); },
        [&] { return session.onDataAck(0); },
        [&] { return session.onDataAck(1); },
    };
    for (int i = 0; i < stage; ++i)
        sent = replies[i]();
    QVERIFY(session.awaitingReply());
    QCOMPARE(session.replyTimeoutMs(), timeoutMs);

    for (int resend = 1; resend <= UpgradeSession::MaxResends; ++resend) {
        const Reaction reaction = session.onReplyTimeout();
        QCOMPARE(englishOf(reaction), QStringList{QStringLiteral("No upgrade reply, resending ") + name});
        QCOMPARE(chineseOf(reaction), QStringList{QStringLiteral("升级无应答，重发 ") + name});
        QCOMPARE(reaction.frame, sent.frame);
        QVERIFY(reaction.awaitsReply);
        QVERIFY(!reaction.endsUpgrade);
    }
    const Reaction abort = session.onReplyTimeout();
    QCOMPARE(englishOf(abort), QStringList{QStringLiteral("Upgrade timed out, aborted")});
    QCOMPARE(chineseOf(abort), QStringList{QStringLiteral("升级超时，已中止")});
    QVERIFY(abort.frame.isEmpty());
    QVERIFY(abort.endsUpgrade);
    QVERIFY(!abort.progressUpdated);
    QVERIFY(!session.awaitingReply());
}

void TestUpgrade::replyResetsResendCount()
{
    UpgradeSession session;
    session.load(patternImage(100));
    session.setActive(true);
    session.requestErase();
    for (int i = 0; i < 4; ++i)
        session.onReplyTimeout();
    QCOMPARE(session.resendCount(), 4);
    session.onEraseDone();
    QCOMPARE(session.resendCount(), 0);
    for (int i = 0; i < UpgradeSession::MaxResends; ++i)
        QVERIFY(!session.onReplyTimeout().endsUpgrade);
    QVERIFY(session.onReplyTimeout().endsUpgrade);
}

void TestUpgrade::selectsUpgradeFile_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("title");

    QTest::newRow("en") << "en" << "Select firmware";
    QTest::newRow("zh") << "zh" << QStringLiteral("选择固件文件");
}

void TestUpgrade::selectsUpgradeFile()
{
    QFETCH(QString, language);
    QFETCH(QString, title);

    m_bridge->setLanguage(language);
    writeUpgradeLastDir(QStringLiteral("/srv/images"));
    QStringList asked;
    const QString chosen = m_dir->filePath(QStringLiteral("main.bin"));
    m_bridge->setUpgradeFileChooser([&](const QString &dialogTitle, const QString &startDir, const QString &filter) {
        asked << dialogTitle << startDir << filter;
        return chosen;
    });
    QSignalSpy changed(m_bridge, &AppBridge::tavoxUpgradeFilePathChanged);

    m_bridge->tavoxSelectUpgradeFile();
    QCOMPARE(asked, (QStringList{title, QStringLiteral("/srv/images"), QStringLiteral("Binary (*.bin);;All (*.*)")}));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_bridge->tavoxUpgradeFilePath(), chosen);
    QCOMPARE(readUpgradeLastDir(), QFileInfo(m_dir->path()).absoluteFilePath());
}

void TestUpgrade::cancelledChoiceChangesNothing()
{
    m_bridge->setUpgradeFileChooser([](const QString &, const QString &, const QString &) {
        return QStringLiteral("/srv/images/first.bin");
    });
    m_bridge->tavoxSelectUpgradeFile();
    writeUpgradeLastDir(QStringLiteral("/elsewhere"));

    m_bridge->setUpgradeFileChooser([](const QString &, const QString &, const QString &) { return QString(); });
    QSignalSpy changed(m_bridge, &AppBridge::tavoxUpgradeFilePathChanged);
    m_bridge->tavoxSelectUpgradeFile();
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_bridge->tavoxUpgradeFilePath(), QStringLiteral("/srv/images/first.bin"));
    QCOMPARE(readUpgradeLastDir(), QStringLiteral("/elsewhere"));
}

void TestUpgrade::refusesStartWithPortClosed()
{
    m_bridge->setLanguage(QStringLiteral("en"));
    QSignalSpy progress(m_bridge, &AppBridge::tavoxUpgradeProgressChanged);
    m_bridge->tavoxStartUpgrade(writeImage(patternImage(100)));
    QCOMPARE(messageTexts(*m_bridge).last(), QStringLiteral("Please open serial port first"));
    QVERIFY(!m_bridge->tavoxUpgrading());
    QCOMPARE(progress.count(), 0);
}

void TestUpgrade::checksImageBeforeStarting_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("starts");

    QTest::newRow("missing") << "missing" << "en" << "Cannot open firmware file" << false;
    QTest::newRow("missing, zh") << "missing" << "zh" << QStringLiteral("无法打开固件文件") << false;
    QTest::newRow("directory") << "directory" << "en" << "Cannot open firmware file" << false;
    QTest::newRow("empty") << "empty" << "en" << "Firmware file is empty" << false;
    QTest::newRow("empty, zh") << "empty" << "zh" << QStringLiteral("固件文件为空") << false;
    QTest::newRow("64 MiB + 1") << "oversized" << "en" << "Firmware file too large" << false;
    QTest::newRow("64 MiB + 1, zh") << "oversized" << "zh" << QStringLiteral("固件文件过大") << false;
    QTest::newRow("endless device") << "device" << "en" << "Firmware file too large" << false;
    QTest::newRow("exactly 64 MiB") << "limit" << "en" << "Starting upgrade, size: 67108864 bytes" << true;
    QTest::newRow("1 byte, zh") << "one" << "zh" << QStringLiteral("开始升级，文件大小: 1 bytes") << true;
}

void TestUpgrade::checksImageBeforeStarting()
{
    QFETCH(QString, kind);
    QFETCH(QString, language);
    QFETCH(QString, message);
    QFETCH(bool, starts);

    QString path = m_dir->filePath(QStringLiteral("image.bin"));
    if (kind == QLatin1String("directory")) {
        path = m_dir->path();
    } else if (kind == QLatin1String("device")) {
        path = QStringLiteral("/dev/zero");
    } else if (kind != QLatin1String("missing")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const qint64 sizes[] = {0, UpgradeSession::MaxImageSize + 1, UpgradeSession::MaxImageSize, 1};
        const QStringList kinds{"empty", "oversized", "limit", "one"};
        QVERIFY(file.resize(sizes[kinds.indexOf(kind)]));   // sparse: cheap even at 64 MiB
    }
    m_controller->answerErase = false;
    QVERIFY(openLink(language));
    QSignalSpy progress(m_bridge, &AppBridge::tavoxUpgradeProgressChanged);

    m_bridge->tavoxStartUpgrade(path);
    QCOMPARE(upgradeMessages().first(), message);
    QCOMPARE(m_bridge->tavoxUpgrading(), starts);
    QCOMPARE(progress.count(), starts ? 1 : 0);

    // The version query is written after anything the start may have sent.
    m_bridge->tavoxQueryVersion();
    QTRY_COMPARE(m_controller->count(0x01), 2);
    QCOMPARE(m_controller->count(UpgradeCommand::Erase), starts ? 1 : 0);
}

void TestUpgrade::refusesSecondStart()
{
    m_controller->answerErase = false;
    QVERIFY(openLink(QStringLiteral("en")));
    const QString path = writeImage(patternImage(100));
    m_bridge->tavoxStartUpgrade(path);
    QVERIFY(m_bridge->tavoxUpgrading());
    QTRY_COMPARE(m_controller->count(UpgradeCommand::Erase), 1);

    QSignalSpy progress(m_bridge, &AppBridge::tavoxUpgradeProgressChanged);
    m_bridge->tavoxStartUpgrade(path);
    QCOMPARE(messageTexts(*m_bridge).last(), QStringLiteral("Upgrade in progress, please wait"));

    m_bridge->closeSerial();
    QVERIFY(m_bridge->openSerial(m_pty->slaveName(), 115200));
    m_bridge->tavoxStartUpgrade(path);
    QCOMPARE(messageTexts(*m_bridge).last(), QStringLiteral("Upgrade in progress, please wait"));
    QCOMPARE(progress.count(), 0);
    QVERIFY(m_bridge->tavoxUpgrading());
    QTest::qWait(100);
    QCOMPARE(m_controller->count(UpgradeCommand::Erase), 1);
}

void TestUpgrade::completesUpgrade_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("followReboot");

    QTest::newRow("en") << "en"
                        << QStringList{"Starting upgrade, size: 130 bytes",
                                       "Erasing firmware...",
                                       "Firmware erased, sending start upgrade...",
                                       "Sending start upgrade request...",
                                       "Upgrade confirmed, transmitting data...",
                                       "Sending stop upgrade request...",
                                       "Upgrade verified, sending reboot...",
                                       "Sending reboot command...",
                                       "Upgrade completed!"}
                        << true;
    QTest::newRow("zh") << "zh"
                        << QStringList{QStringLiteral("开始升级，文件大小: 130 bytes"),
                                       QStringLiteral("正在擦除固件..."),
                                       QStringLiteral("固件擦除完成，发送开始升级请求..."),
                                       QStringLiteral("发送开始升级请求..."),
                                       QStringLiteral("开始升级确认，开始传输数据..."),
                                       QStringLiteral("发送结束升级请求..."),
                                       QStringLiteral("升级校验通过，发送软复位..."),
                                       QStringLiteral("发送软复位指令..."),
                                       QStringLiteral("升级完成!")}
                        << false;
}

void TestUpgrade::completesUpgrade()
{
    QFETCH(QString, language);
    QFETCH(QStringList, messages);
    QFETCH(bool, followReboot);

    QVERIFY(openLink(language));
    m_pty->write(buildFrameV1(0x00, 0x02, QByteArray::fromHex("0200000105000101")));
    QTRY_COMPARE(m_bridge->tavoxFirmwareVersion(), QStringLiteral("1.1.0.5"));
    m_firstEntry = messageTexts(*m_bridge).size();

    QVector<int> progressSeen;
    connect(m_bridge, &AppBridge::tavoxUpgradeProgressChanged, this,
            [&] { progressSeen << m_bridge->tavoxUpgradeProgress(); });
    QSignalSpy upgrading(m_bridge, &AppBridge::tavoxUpgradingChanged);
    QSignalSpy versions(m_bridge, &AppBridge::tavoxVersionChanged);
    const QByteArray image = patternImage(130);

    m_bridge->tavoxStartUpgrade(writeImage(image));
    QTRY_COMPARE(m_controller->count(UpgradeCommand::SoftReset), 1);
    QCOMPARE(upgradeMessages(), messages);
    QCOMPARE(progressSeen, (QVector<int>{0, 0, 33, 66, 100}));
    QCOMPARE(upgrading.count(), 2);
    QVERIFY(!m_bridge->tavoxUpgrading());
    QCOMPARE(versions.count(), 1);
    QCOMPARE(m_bridge->tavoxFirmwareVersion(), QStringLiteral("-"));
    QCOMPARE(m_bridge->tavoxBootVersion(), QStringLiteral("-"));

    QCOMPARE(m_controller->receivedImage(), image + QByteArray(3 * 64 - 130, '\0'));
    const QVector<ParsedFrame> &frames = m_controller->frames;
    QCOMPARE(int(frames[frames.size() - 2].v1CommandId), int(UpgradeCommand::Stop));
    QCOMPARE(int(frames[frames.size() - 2].sequence), 3);
    const qint64 rebootDelay = m_controller->lastArrival(UpgradeCommand::SoftReset)
                               - m_controller->lastArrival(UpgradeCommand::Stop);
    QVERIFY2(rebootDelay >= 400, qPrintable(QString::number(rebootDelay)));

    if (!followReboot)
        return;
    const qint64 resetAt = m_controller->lastArrival(UpgradeCommand::SoftReset);
    QTRY_COMPARE_WITH_TIMEOUT(m_controller->count(0x01), 3, 9000);
    const qint64 lastQueryDelay = m_controller->lastArrival(0x01) - resetAt;
    QVERIFY2(lastQueryDelay >= 5500 && lastQueryDelay < 8000, qPrintable(QString::number(lastQueryDelay)));
    QCOMPARE(upgradeMessages().size(), messages.size());
}

void TestUpgrade::watchdogResendsThenAborts_data()
{
    QTest::addColumn<int>("silentAt");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("progress");

    QTest::newRow("erase") << int(UpgradeCommand::Erase) << "erase" << 0;
    QTest::newRow("start") << int(UpgradeCommand::Start) << "start" << 0;
    QTest::newRow("data") << int(UpgradeCommand::Data) << "0" << 0;
    QTest::newRow("stop") << int(UpgradeCommand::Stop) << "stop" << 66;
}

void TestUpgrade::watchdogResendsThenAborts()
{
    QFETCH(int, silentAt);
    QFETCH(QString, name);
    QFETCH(int, progress);

    const int timeoutMs = 150;
    m_controller->answerErase = silentAt != UpgradeCommand::Erase;
    m_controller->answerStart = silentAt != UpgradeCommand::Start;
    m_controller->ackData = silentAt != UpgradeCommand::Data;
    m_controller->answerStop = silentAt != UpgradeCommand::Stop;
    m_bridge->setUpgradeReplyTimeouts({timeoutMs, timeoutMs, timeoutMs});
    QVERIFY(openLink(QStringLiteral("en")));
    QSignalSpy upgrading(m_bridge, &AppBridge::tavoxUpgradingChanged);

    m_bridge->tavoxStartUpgrade(writeImage(patternImage(130)));
    QTRY_COMPARE_WITH_TIMEOUT(upgrading.count(), 2, 10000);
    QVERIFY(!m_bridge->tavoxUpgrading());
    QCOMPARE(m_bridge->tavoxUpgradeProgress(), progress);

    const QStringList messages = upgradeMessages();
    QCOMPARE(messages.count(QStringLiteral("No upgrade reply, resending ") + name), 5);
    QCOMPARE(messages.last(), QStringLiteral("Upgrade timed out, aborted"));
    const QVector<QByteArray> sent = m_controller->raw(quint8(silentAt));
    QCOMPARE(sent.size(), 6);
    QVERIFY(std::all_of(sent.cbegin(), sent.cend(), [&](const QByteArray &frame) { return frame == sent.first(); }));
    const qint64 span = m_controller->lastArrival(quint8(silentAt)) - m_controller->firstArrival(quint8(silentAt));
    QVERIFY2(span >= 5 * timeoutMs * 8 / 10, qPrintable(QString::number(span)));

    // Nothing more comes once it has given up, and a new start is accepted.
    QTest::qWait(3 * timeoutMs);
    QCOMPARE(m_controller->raw(quint8(silentAt)).size(), 6);
    m_controller->answerErase = m_controller->answerStart = m_controller->ackData = m_controller->answerStop = true;
    m_bridge->tavoxStartUpgrade(writeImage(patternImage(130)));
    QTRY_COMPARE(m_controller->count(UpgradeCommand::SoftReset), 1);
}

void TestUpgrade::watchdogAbortsWhenPortClosed()
{
    m_controller->answerErase = false;
    m_bridge->setUpgradeReplyTimeouts({100, 100, 100});
    QVERIFY(openLink(QStringLiteral("en")));
    m_bridge->tavoxStartUpgrade(writeImage(patternImage(130)));
    m_bridge->closeSerial();
    QTRY_VERIFY_WITH_TIMEOUT(!m_bridge->tavoxUpgrading(), 5000);

    const QStringList messages = upgradeMessages();
    QCOMPARE(messages.count(QStringLiteral("No upgrade reply, resending erase")), 5);
    QCOMPARE(messageTexts(*m_bridge).count(QStringLiteral("Please open serial port first")), 5);
    QCOMPARE(messages.last(), QStringLiteral("Upgrade timed out, aborted"));
}

void TestUpgrade::watchdogStaysQuietInNormalUpgrade()
{
    // Every timeout is shorter than the half second before the reboot.
    m_bridge->setUpgradeReplyTimeouts({250, 250, 250});
    QVERIFY(openLink(QStringLiteral("en")));
    m_bridge->tavoxStartUpgrade(writeImage(patternImage(64 * 40 + 1)));
    QTRY_VERIFY_WITH_TIMEOUT(messageTexts(*m_bridge).contains(QStringLiteral("Upgrade completed!")), 10000);
    QTest::qWait(300);

    QCOMPARE(upgradeMessages().filter(QStringLiteral("No upgrade reply")), QStringList());
    QCOMPARE(m_controller->count(UpgradeCommand::Erase), 1);
    QCOMPARE(m_controller->count(UpgradeCommand::Data), 41);
    QCOMPARE(m_controller->count(UpgradeCommand::Stop), 1);
}

void TestUpgrade::watchdogIdleWithoutUpgrade()
{
    m_controller->answerStart = false;
    m_bridge->setUpgradeReplyTimeouts({50, 50, 50});
    QVERIFY(openLink(QStringLiteral("en")));
    // A stray erase-done still asks for a start, as the controller expects, but
    // with no upgrade under way nobody chases the answer.
    m_pty->write(buildFrameV1(0x00, UpgradeCommand::EraseDone, QByteArray()));
    QTRY_COMPARE(m_controller->count(UpgradeCommand::Start), 1);
    QTest::qWait(400);
    QCOMPARE(m_controller->count(UpgradeCommand::Start), 1);
    QCOMPARE(upgradeMessages().filter(QStringLiteral("No upgrade reply")), QStringList());
    QVERIFY(!m_bridge->tavoxUpgrading());
}

QTEST_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
