#include "device/FirmwareImage.h"
#include "device/UpgradeControl.h"
#include "device/UpgradeDriver.h"
#include "device/UpgradeSession.h"
#include "protocol/FrameCodec.h"
#include "support/FakeDevice.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace Cmd = UpgradeCommand;
using State = UpgradeSession::State;

namespace {
QByteArray counting(int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(i * 7 + 1));
    return bytes;
}

const QByteArray Accepted(1, '\0');
const QByteArray Verified(1, char(0x03));

// A session brought to `state` with a 200-byte image (four packets), the first packet acknowledged when transferring.
void bringTo(UpgradeSession &session, State state)
{
    session.load(counting(200));
    if (state == State::Idle)
        return;
    session.requestErase();
    if (state == State::Erasing)
        return;
    session.onEraseDone();
    if (state == State::Starting)
        return;
    session.onStartReply(Accepted);
    session.onDataAck(0);
    if (state == State::Transferring)
        return;
    for (quint16 sequence = 1; sequence < 4; ++sequence)
        session.onDataAck(sequence);
    if (state == State::Stopping)
        return;
    session.onVerifyResult(Verified);
}

UpgradeSession::Reaction reply(UpgradeSession &session, quint8 id, quint16 sequence = 0)
{
    switch (id) {
    case Cmd::EraseDone:
        return session.onEraseDone();
    case Cmd::StartReply:
        return session.onStartReply(Accepted);
    case Cmd::DataAck:
        return session.onDataAck(sequence);
    default:
        return session.onVerifyResult(Verified);
    }
}

class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 good) : m_good(good) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_good == 0)
            return -1;
        const qint64 count = qMin(maxSize, m_good);
        memset(data, 'f', size_t(count));
        m_good -= count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 m_good;
};
}

class TestUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void framesAndCounters();
    void repliesActOnlyOnTheRequestThatIsOut_data();
    void repliesActOnlyOnTheRequestThatIsOut();
    void lateAndRepeatedRepliesAdvanceOnce();
    void acknowledgementsAcrossTheWrap();
    void resendsThenGivesUp();
    void driverEndsWithTheLink_data();
    void driverEndsWithTheLink();
    void inspectsOnlyWholeRegularFiles_data();
    void inspectsOnlyWholeRegularFiles();
    void failedReadIsNoImage();
    void controlChecksTheStartAndFollowsTheCompletion();
};

void TestUpgrade::framesAndCounters()
{
    UpgradeSession session;
    session.load(QByteArray(64, 'x'));
    QCOMPARE(session.packetCount(), 1);
    session.load(QByteArray(1, char(0x5A)));
    QCOMPARE(session.startFrame().toHex(' ').toUpper(), QByteArray("AA 12 04 C0 00 00 04 00 08 00 0B 00 01 00 00 00 96 13"));
    QCOMPARE(session.requestErase().frame.toHex(' ').toUpper(), QByteArray("AA 0D 04 BB 00 00 04 00 08 00 03 FC C0"));
    session.onEraseDone();
    const QByteArray packet = session.onStartReply(Accepted).frame;
    QCOMPARE(packet.toHex(), QByteArray("aa4d04fb0000100008000d5a") + QByteArray(63, '\0').toHex() + QByteArray("e704"));
    QCOMPARE(session.onDataAck(0).frame.toHex(' ').toUpper(), QByteArray("AA 0E 04 BC 01 00 04 00 08 00 0F 03 6D F8"));
    QCOMPARE(session.state(), State::Stopping);
}

void TestUpgrade::repliesActOnlyOnTheRequestThatIsOut_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("reply");
    QTest::addColumn<bool>("acted");
    const QList<QPair<State, QString>> states{{State::Idle, "idle"}, {State::Erasing, "erasing"},
                                              {State::Starting, "starting"}, {State::Transferring, "transferring"},
                                              {State::Stopping, "stopping"}, {State::Verified, "verified"}};
    const QList<QPair<quint8, QString>> replies{{Cmd::EraseDone, "erase done"}, {Cmd::StartReply, "start reply"},
                                                {Cmd::DataAck, "ack"}, {Cmd::VerifyResult, "verify result"}};
    const QHash<int, int> answers{{int(State::Erasing), Cmd::EraseDone}, {int(State::Starting), Cmd::StartReply},
                                  {int(State::Transferring), Cmd::DataAck}, {int(State::Stopping), Cmd::VerifyResult}};
    for (const auto &state : states) {
        for (const auto &reply : replies)
            QTest::addRow("%s: %s", qPrintable(state.second), qPrintable(reply.second))
                << int(state.first) << int(reply.first) << (answers.value(int(state.first), -1) == reply.first);
    }
}

void TestUpgrade::repliesActOnlyOnTheRequestThatIsOut()
{
    QFETCH(int, state);
    QFETCH(int, reply);
    QFETCH(bool, acted);
    UpgradeSession session;
    bringTo(session, State(state));
    const int packetIndex = session.packetIndex();
    const UpgradeSession::Reaction reaction = ::reply(session, quint8(reply), session.sequence());
    QCOMPARE(reaction.ignored, !acted);
    QCOMPARE(!reaction.frame.isEmpty() || reaction.verified, acted);
    if (!acted) {
        QVERIFY(reaction.messages.isEmpty());
        QCOMPARE(int(session.state()), state);
        QCOMPARE(session.packetIndex(), packetIndex);
    }
}

// A controller slower than the watchdog answers both the request and its resend.
void TestUpgrade::lateAndRepeatedRepliesAdvanceOnce()
{
    UpgradeSession session;
    bringTo(session, State::Erasing);
    QCOMPARE(session.onReplyTimeout().frame, session.eraseFrame());
    const QByteArray start = session.onEraseDone().frame;
    QCOMPARE(start, session.startFrame());
    QCOMPARE(session.onReplyTimeout().frame, start);
    QVERIFY(!session.onStartReply(Accepted).ignored);
    QCOMPARE(session.sequence(), quint16(0));

    QCOMPARE(session.onReplyTimeout().frame.mid(4, 2), QByteArray(2, '\0'));
    QCOMPARE(session.onDataAck(0).frame.mid(4, 2), QByteArray::fromHex("0100"));
    QVERIFY(session.onDataAck(0).ignored);
    QCOMPARE(session.packetIndex(), 1);
    // Every acknowledgement twice, as a chattering controller sends them.
    for (quint16 sequence = 1; sequence < 4; ++sequence) {
        QVERIFY(!session.onDataAck(sequence).frame.isEmpty());
        QVERIFY(session.onDataAck(sequence).ignored);
    }
    QCOMPARE(session.state(), State::Stopping);
    // An acknowledgement ahead of the packet is a real mismatch: resent with the message.
    UpgradeSession ahead;
    bringTo(ahead, State::Transferring);
    const UpgradeSession::Reaction mismatch = ahead.onDataAck(5);
    QCOMPARE(mismatch.messages.value(0).text.en, QStringLiteral("Upgrade seq mismatch, resending packet 1"));
    QCOMPARE(mismatch.frame, ahead.dataFrame());

    QVERIFY(session.onVerifyResult(Verified).verified);
    QVERIFY(session.finish().endsUpgrade);
    QVERIFY(session.finish().frame.isEmpty());   // one reboot, however often asked
    QVERIFY(!session.active());
}

void TestUpgrade::acknowledgementsAcrossTheWrap()
{
    UpgradeSession session;
    const QByteArray image = counting(65538 * 64 - 10);
    session.load(image);
    session.requestErase();
    session.onEraseDone();
    session.onStartReply(Accepted);
    for (int i = 0; i < 65536; ++i)
        session.onDataAck(session.sequence());
    QCOMPARE(session.dataFrame().mid(4, 2), QByteArray(2, '\0'));
    QCOMPARE(session.dataFrame().mid(11, 64), image.mid(65536 * 64, 64));
    QVERIFY(session.onDataAck(65535).ignored);   // the last one before the wrap, late
    QVERIFY(!session.onDataAck(0).ignored);
    QCOMPARE(session.onDataAck(1).frame, buildFrameV1(0x00, Cmd::Stop, QByteArray::fromHex("03"), 2));
}

void TestUpgrade::resendsThenGivesUp()
{
    UpgradeSession session;
    bringTo(session, State::Erasing);
    const QByteArray erase = session.eraseFrame();
    for (int i = 0; i < 4; ++i)
        QCOMPARE(session.onReplyTimeout().frame, erase);
    const QByteArray start = session.onEraseDone().frame;   // a new request starts the count afresh
    for (int i = 0; i < UpgradeSession::MaxResends; ++i)
        QCOMPARE(session.onReplyTimeout().frame, start);
    const UpgradeSession::Reaction abort = session.onReplyTimeout();
    QVERIFY(abort.endsUpgrade && abort.frame.isEmpty() && !session.awaitingReply());
    QCOMPARE(abort.messages.value(0).text.en, QStringLiteral("Upgrade timed out, aborted"));
    QVERIFY(session.onStartReply(Accepted).ignored);   // the late answer finds nothing to continue
    QVERIFY(session.onReplyTimeout().frame.isEmpty());
}

void TestUpgrade::driverEndsWithTheLink_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<QStringList>("said");
    const QString aborted = QStringLiteral("Upgrade aborted: serial port closed");
    QTest::newRow("closed") << int(UpgradeSession::Outcome::LinkClosed) << QStringList {aborted};
    QTest::newRow("lost") << int(UpgradeSession::Outcome::LinkLost)
                          << QStringList {aborted, QStringLiteral("The controller may still be in its bootloader: "
                                                                  "start the upgrade again to finish it")};
    QTest::newRow("cancelled") << int(UpgradeSession::Outcome::Cancelled)
                               << QStringList {QStringLiteral("Upgrade cancelled by the operator; the controller waits in its "
                                                              "bootloader until an upgrade completes — run the upgrade again to finish")};
}

// A lost link leaves a controller that may be waiting in its bootloader, a cancelled upgrade one that surely is.
void TestUpgrade::driverEndsWithTheLink()
{
    QFETCH(int, how);
    QFETCH(QStringList, said);
    UpgradeDriver driver;
    driver.setReplyTimeouts({50, 50, 50});
    QSignalSpy sent(&driver, &UpgradeDriver::frameToSend);
    QVector<int> endings;
    connect(&driver, &UpgradeDriver::ended, this, [&endings](UpgradeSession::Outcome outcome) { endings << int(outcome); });
    QVector<Message> messages;
    connect(&driver, &UpgradeDriver::message, this, [&messages](const Message &message) { messages << message; });
    QSignalSpy activeChanged(&driver, &UpgradeDriver::activeChanged);
    driver.load(counting(200));
    driver.begin();
    QCOMPARE(sent.count(), 1);
    driver.handleReply(ParsedFrame{1, Cmd::EraseDone, 0, 0, Cmd::EraseDone, {}, true});
    QCOMPARE(sent.count(), 2);

    const int before = messages.size();
    if (how == int(UpgradeSession::Outcome::LinkLost))
        driver.abortForLostLink();
    else if (how == int(UpgradeSession::Outcome::LinkClosed))
        driver.abortForClosedLink();
    else
        driver.cancel();
    QVERIFY(!driver.active());
    QCOMPARE(driver.progress(), 0);
    QCOMPARE(activeChanged.count(), 2);
    QCOMPARE(endings, QVector<int>{how});
    QStringList texts;
    for (const Message &message : messages.mid(before))
        texts << message.text.en;
    QCOMPARE(texts, said);
    QCOMPARE(messages[before].meaning.kind, how == int(UpgradeSession::Outcome::Cancelled) ? MessageKind::Warning : MessageKind::Error);
    QVERIFY(runTimersDueWithin(200));   // four watchdog periods: nothing may be resent
    driver.handleReply(ParsedFrame{1, Cmd::StartReply, 0, 0, Cmd::StartReply, Accepted, true});
    QCOMPARE(sent.count(), 2);

    driver.load(counting(10));   // a new upgrade can start at once
    driver.begin();
    QCOMPARE(sent.count(), 3);
    QVERIFY(driver.active());
}

void TestUpgrade::inspectsOnlyWholeRegularFiles_data()
{
    QTest::addColumn<QString>("file");   // in a fresh folder; "" for the folder itself
    QTest::addColumn<int>("size");       // -1: a FIFO; -2: nothing
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QByteArray>("sha256");

    const QString cannotOpen = QStringLiteral("Cannot open firmware file / 无法打开固件文件");
    QTest::newRow("FIFO") << "pipe.bin" << -1 << cannotOpen << QByteArray();
    QTest::newRow("directory") << "" << -2 << cannotOpen << QByteArray();
    QTest::newRow("endless device") << "/dev/zero" << -2 << cannotOpen << QByteArray();
    QTest::newRow("missing") << "missing.bin" << -2 << cannotOpen << QByteArray();
    QTest::newRow("empty") << "empty.bin" << 0 << "Firmware file is empty / 固件文件为空" << QByteArray();
    QTest::newRow("one byte too large") << "big.bin" << 1001 << "Firmware file too large / 固件文件过大" << QByteArray();
    // The last packet is padded: no size up to the limit is refused.
    QTest::newRow("at the limit, not whole packets") << "image.bin" << 1000 << " / "
                                                      << QByteArray("095ecb62e30793ab4b954cd6a0586d0cc91f7ea5b1332694d8da780e98676d78");
}

void TestUpgrade::inspectsOnlyWholeRegularFiles()
{
    QFETCH(QString, file);
    QFETCH(int, size);
    QFETCH(QString, problem);
    QFETCH(QByteArray, sha256);
    QTemporaryDir dir;
    const QString path = file.startsWith(QLatin1Char('/')) ? file : dir.filePath(file);
    const QDateTime modified(QDate(2026, 3, 14), QTime(15, 9, 26));
    if (size == -1)
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QFile image(path);
    if (size >= 0) {
        QVERIFY(image.open(QIODevice::WriteOnly) && image.write(counting(size)) == size && image.flush());
        QVERIFY(image.setFileTime(modified, QFileDevice::FileModificationTime));
        image.close();
    }

    const FirmwareImageSummary summary = inspectFirmwareImage(path, 1000);
    QCOMPARE(firmwareImageProblem(summary.error).en + " / " + firmwareImageProblem(summary.error).zh, problem);
    QCOMPARE(summary.sha256Hex, sha256);
    QCOMPARE(summary.size, sha256.isEmpty() ? 0 : size);
    QCOMPARE(summary.modified, sha256.isEmpty() ? QDateTime() : modified);
}

void TestUpgrade::failedReadIsNoImage()
{
    QByteArray image;
    FailingDevice failing(100 * 1024);
    QCOMPARE(readFirmwareImage(failing, 1024 * 1024, image), FirmwareImageError::CannotRead);
    QVERIFY(image.isEmpty());
}

void TestUpgrade::controlChecksTheStartAndFollowsTheCompletion()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    QVERIFY(writeFile(path, QByteArray(10, 'x')));
    FakeDeviceLink link;
    MessageRecorder messages;
    ControllerTelemetry telemetry(link, messages);
    telemetry.handleVersionReply(QByteArray(8, '\x01'));
    messages.messages.clear();
    UpgradeControl upgrade(link, messages, telemetry);
    QSignalSpy completed(&upgrade.driver(), &UpgradeDriver::completed);
    const auto answer = [&upgrade](quint8 id, const QByteArray &payload = {}) {
        upgrade.driver().handleReply(ParsedFrame { 1, id, 0, 0, id, payload, true });
    };

    upgrade.start(dir.filePath(QStringLiteral("none.bin")));
    QVERIFY(!upgrade.driver().active());
    QVERIFY(link.sent.isEmpty());
    QCOMPARE(messages.english(), QStringList {QStringLiteral("Cannot open firmware file")});
    QCOMPARE(messages.messages.first().meaning.kind, MessageKind::Error);
    QCOMPARE(messages.messages.first().meaning.topic, MessageTopic::UpgradeFailed);
    QCOMPARE(messages.messages.first().meaning.answers, OperatorAction::Upgrade);
    messages.messages.clear();

    upgrade.start(path);
    QVERIFY(upgrade.driver().active());
    QCOMPARE(link.sent.size(), 1);
    ParsedFrame erase;
    QByteArray buffer = link.sent.first();
    QVERIFY(extractFrame(buffer, erase));
    QCOMPARE(int(erase.v1CommandId), int(Cmd::Erase));
    QCOMPARE(messages.english(),
             (QStringList { QStringLiteral("Starting upgrade, size: 10 bytes"),
                            QStringLiteral("Firmware SHA-256: fc11d6f28e59d3cc33c0b14ceb644bf0902ebd63d61218dffe9e7dac7c254542"),
                            QStringLiteral("Erasing firmware...") }));
    upgrade.start(path);
    QCOMPARE(link.sent.size(), 1);
    QCOMPARE(messages.messages.last().text.zh, QStringLiteral("升级正在进行中，请等待"));
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Error);
    QCOMPARE(messages.messages.last().meaning.topic, MessageTopic::None);

    // Completed: one reboot, even for a verdict given twice (the answer to a resent stop).
    answer(Cmd::EraseDone);
    answer(Cmd::StartReply, Accepted);
    answer(Cmd::DataAck);
    answer(Cmd::VerifyResult, Verified);
    answer(Cmd::VerifyResult, Verified);
    QVERIFY(completed.wait(5000));
    QVERIFY(runTimersDueWithin(600));
    QCOMPARE(completed.count(), 1);
    QCOMPARE(link.sent.last(), UpgradeSession::softResetFrame());
    QCOMPARE(link.sent.count(UpgradeSession::softResetFrame()), 1);
    QCOMPARE(messages.english().last(), QStringLiteral("Upgrade completed!"));
    QCOMPARE(messages.messages.last().meaning.kind, MessageKind::Success);
    QCOMPARE(telemetry.firmwareVersion(), QStringLiteral("-"));

    const int sentBefore = link.sent.size();
    QCOMPARE(link.runFollowUps(), (QVector<int> { 3000, 6000 }));
    const QByteArray query = buildFrameV1(CommandSet::General, 0x01, QByteArray());
    QCOMPARE(link.sent.mid(sentBefore), (QByteArrayList { query, query }));

    // Closing the link in the half second before the reboot sends no reboot.
    upgrade.start(path);
    answer(Cmd::EraseDone);
    answer(Cmd::StartReply, Accepted);
    answer(Cmd::DataAck);
    answer(Cmd::VerifyResult, Verified);
    upgrade.driver().abortForClosedLink();
    QVERIFY(runTimersDueWithin(700));
    QCOMPARE(completed.count(), 1);
    QCOMPARE(link.sent.count(UpgradeSession::softResetFrame()), 1);
}

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
