// The simulated controller, played against over its pseudo-terminal with the project's codec.
#include "protocol/FrameCodec.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/Waiting.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {
// Frame kinds: version 0 by command id; version 1 as 0x100 + id (general set) or 0x200 + id (gimbal set).
const int VersionReply = 0x102, EraseDone = 0x104, StartReply = 0x10C, DataAck = 0x10E, VerifyResult = 0x110;
const int Heartbeat = 0x200, ParamBlock = 0xC1, CommandReply = 0x86;
const int UnknownGeneral = 0x17E, UnknownGimbal = 0x255, NoKind = -1;
// How long the test's tool waits for a reply before it sends the request again: long enough that only a
// simulator told to be late is, however busy the machine.
const int WatchdogMs = 1000;
// How much later than its time a busy machine may deliver a frame.
const int LateMs = 400;
// --split-output writes pieces of at most this many bytes, a millisecond apart.
const int SplitPieceBytes = 24;

int kindOf(const ParsedFrame &f)
{
    return f.version == 0 ? f.commandId : ((f.commandSet + 1) << 8) | f.v1CommandId;
}

int firstByte(const QByteArray &payload)
{
    return payload.isEmpty() ? -1 : quint8(payload[0]);
}

// An upgrade reply as the traces name it; empty for any other frame.
QString upgradeReply(const ParsedFrame &f)
{
    switch (kindOf(f)) {
    case EraseDone:
        return QStringLiteral("erased");
    case StartReply:
        return QStringLiteral("start %1").arg(firstByte(f.payload));
    case DataAck:
        return QStringLiteral("ack %1").arg(f.sequence);
    case VerifyResult:
        return QStringLiteral("verify %1").arg(firstByte(f.payload));
    default:
        return {};
    }
}

// The upgrade data packet as the tool assembles it: flags 0x10 instead of 0x04.
QByteArray dataPacket(quint16 sequence, const QByteArray &chunk)
{
    QByteArray frame = buildFrameV1(0x00, 0x0D, chunk.leftJustified(64, '\0'), sequence).chopped(2);
    frame[6] = char(0x10);
    const quint16 crc = crc16Modbus(frame);
    return frame + char(crc & 0xFF) + char(crc >> 8);
}

// An upgrade started, then `count` packets acknowledged in order, then the verdict if any.
QStringList answers(int count, const QString &verdict = {})
{
    QStringList out {"start 0"};
    for (int i = 0; i < count; ++i)
        out << QStringLiteral("ack %1").arg(i);
    return verdict.isEmpty() ? out : out << verdict;
}

class SimClient
{
public:
    ~SimClient() { ::close(m_fd); }

    bool open(const QString &portName)
    {
        m_fd = ::open(QFile::encodeName(portName).constData(), O_RDWR | O_NOCTTY);
        termios raw {};
        cfmakeraw(&raw);
        m_clock.start();
        return m_fd >= 0 && tcsetattr(m_fd, TCSANOW, &raw) == 0;
    }

    bool send(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    std::optional<ParsedFrame> next(int kind, int timeoutMs = ProcessWaitMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (ParsedFrame f;;) {
            while (extractFrame(m_buffer, f, m_received)) {
                m_frameBytes += f.payload.size() + (f.version == 0 ? 7 : 13);
                ++framesSeen[kindOf(f)];
                if (kindOf(f) == kind)
                    return f;
                passOver(f);
            }
            if (!readMore(deadline))
                return std::nullopt;
        }
    }

    // The acknowledgement of the packet in flight, or a wrong one; late and repeated
    // acknowledgements of packets already acknowledged are passed over.
    std::optional<ParsedFrame> nextAck(quint16 sequence, int timeoutMs)
    {
        std::optional<ParsedFrame> reply;
        while ((reply = next(DataAck, timeoutMs)) && reply->sequence < sequence)
            passOver(*reply);
        return reply;
    }

    bool readUntil(const std::function<bool()> &done, int timeoutMs = ProcessWaitMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!done() && !deadline.hasExpired())
            next(NoKind, 50);
        return done();
    }

    bool waitForPassedOver(int count)
    {
        return readUntil([&] { return passedOver.size() >= count; }) && passedOver.size() == count;
    }

    bool waitForHangup(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        pollfd ready {m_fd, POLLIN, 0};
        char chunk[4096];
        while (::poll(&ready, 1, int(deadline.remainingTime())) > 0) {
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            // A terminal whose other side has gone reads end-of-file or, racing the hang-up, EIO.
            if (n <= 0)
                return n == 0 || errno == EIO;
        }
        return false;
    }

    qint64 nowMs() const { return m_clock.elapsed(); }
    double noiseShare() const { return double(m_received.resyncBytes) / m_frameBytes; }
    const ReceiveStatistics &received() const { return m_received; }
    qint64 lastReadMs = 0;   // when the frame last returned had arrived
    QHash<int, int> framesSeen;   // by kind
    QStringList passedOver;       // upgrade replies not acted on, in order

private:
    void passOver(const ParsedFrame &f)
    {
        if (const QString reply = upgradeReply(f); !reply.isEmpty())
            passedOver << reply;
    }

    bool readMore(const QDeadlineTimer &deadline)
    {
        pollfd ready {m_fd, POLLIN, 0};
        char chunk[4096];
        const ssize_t n = ::poll(&ready, 1, int(deadline.remainingTime())) > 0 ? ::read(m_fd, chunk, 4096) : 0;
        if (n <= 0)
            return false;
        m_buffer.append(chunk, int(n));
        lastReadMs = m_clock.elapsed();
        return true;
    }

    ReceiveStatistics m_received;
    qint64 m_frameBytes = 0;
    int m_fd = -1;
    QElapsedTimer m_clock;
    QByteArray m_buffer;
};

std::optional<ParsedFrame> request(SimClient &client, const QByteArray &frame, int kind)
{
    std::optional<ParsedFrame> reply;
    for (const int waitMs : {WatchdogMs, ProcessWaitMs}) {
        if (!client.send(frame) || (reply = client.next(kind, waitMs)))
            break;
    }
    return reply;
}

QByteArray startRequest(int size)
{
    QByteArray start(5, '\0');
    qToLittleEndian(quint32(size), start.data() + 1);
    return buildFrameV1(0x00, 0x0B, start);
}

QByteArray stopRequest(quint16 sequence)
{
    return buildFrameV1(0x00, 0x0F, QByteArray(1, '\x03'), sequence);
}

// The tool's side of an upgrade and the replies it acted on, as a correct tool does it: a request
// not answered within the watchdog goes again, a packet not acknowledged goes again (at most twice
// in a row), and a reply to a step already taken is passed over.
QStringList runUpgrade(SimClient &client, const QByteArray &image)
{
    std::optional<ParsedFrame> reply;
    if (!request(client, buildFrameV1(0x00, 0x03, {}), EraseDone)
        || !(reply = request(client, startRequest(image.size()), StartReply)))
        return {"no start reply"};
    QStringList trace {upgradeReply(*reply)};
    const bool started = reply->payload.at(0) == 0;
    quint16 sequence = 0;
    for (int silent = 0; started && sequence * 64 < image.size();) {
        client.send(dataPacket(sequence, image.mid(sequence * 64, 64)));
        if (!(reply = client.nextAck(sequence, WatchdogMs)) && ++silent > 2)
            return trace;
        if (reply)
            trace << upgradeReply(*reply);
        sequence += reply && reply->sequence == sequence;
    }
    if (started && (reply = request(client, stopRequest(sequence), VerifyResult)))
        trace << upgradeReply(*reply);
    return trace;
}
}

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    // A request and the frames of one kind it brings, in order (payload prefixes), taking about `ms` if given;
    // then no further reply, and a clean exit on SIGTERM.
    void exchanges_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QVector<QByteArray>>("replies");
        QTest::addColumn<int>("payloadSize");
        QTest::addColumn<int>("ms");

        const QByteArray read = buildFrameV0(0xC0, {});
        const QByteArray query = buildFrameV1(0x00, 0x01, {});
        const auto command = [](quint8 sub) { return buildCommandFrame(sub, 1, 0, 0, 0); };
        using Replies = QVector<QByteArray>;
        QTest::newRow("base") << QStringList {"--param-form", "base"} << read << ParamBlock << Replies(1) << 22 << 0;
        QTest::newRow("named") << QStringList() << command(0xA2) + command(0x81) + command(0x90) << CommandReply
                               << Replies {"\xA2", "\x81", "\x90"} << 1 << 0;
        QTest::newRow("unnamed and malformed: no reply")
            << QStringList() << command(0x9A) + buildFrameV0(0x85, "\xA2") + buildFrameV0(0x85, {}) + command(0x9C)
            << CommandReply << Replies {"\x9C"} << 1 << 0;
        Replies steps(8, QByteArray(5, '\x8F'));   // reports 1.0f to 8.0f
        for (int i = 0; i < 8; ++i)
            qToLittleEndian(float(i + 1), steps[i].data() + 1);
        QTest::newRow("accelerometer calibration")
            << QStringList {"--accel-step-ms", "60"} << command(0x8F) << CommandReply << steps << 5 << 7 * 60;
        QTest::newRow("version") << QStringList {"--firmware", "1.1.0.5", "--boot", "1.0.0.2"} << query << VersionReply
                                 << Replies {QByteArray::fromHex("0200000105000101")} << 8 << 0;
        QTest::newRow("heartbeats, 50 Hz") << QStringList {"--hb-rate", "50", "--hb-len", "22"} << QByteArray()
                                           << Heartbeat << Replies(51) << 22 << 1000;
        // 430 bytes of replies take 448 ms at 9600 baud.
        QTest::newRow("9600 baud") << QStringList {"--baud", "9600", "--hb-rate", "0"} << read.repeated(10) << ParamBlock
                                   << Replies(10) << 36 << 448;
        QTest::newRow("noise") << QStringList {"--noise-rate", "0.05", "--hb-rate", "200"} << read.repeated(10)
                               << ParamBlock << Replies(10) << 36 << 0;
        QTest::newRow("split output") << QStringList {"--split-output"} << read.repeated(40) << ParamBlock
                                      << Replies(40) << 36 << 0;
        // Before every reply four bytes whose header, its sum right, announces more than the quiet line holds.
        QTest::newRow("false frame starts") << QStringList {"--fault-false-sync", "--hb-rate", "0"} << read.repeated(2)
                                            << ParamBlock << Replies(2) << 36 << 0;
        QTest::newRow("every third CRC bad") << QStringList {"--fault-bad-crc", "3", "--hb-rate", "0"}
                                             << read.repeated(6) << ParamBlock << Replies(4) << 36 << 0;
    }

    void exchanges()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, request);
        QFETCH(int, kind);
        QFETCH(QVector<QByteArray>, replies);
        QFETCH(int, payloadSize);
        QFETCH(int, ms);
        SimProcess sim(arguments);
        SimClient client;
        QVERIFY(sim.start() && client.open(sim.portName()));

        const qint64 sentMs = client.nowMs();
        QVERIFY(client.send(request));
        for (const QByteArray &expected : replies) {
            const auto reply = client.next(kind);
            QVERIFY(reply);
            QCOMPARE(reply->payload.size(), payloadSize);
            QCOMPARE(reply->payload.left(expected.size()).toHex(), expected.toHex());
        }
        // No sooner than the line and the schedule allow; later by as much as a busy machine makes it.
        const qint64 tookMs = client.lastReadMs - sentMs;
        QVERIFY2(ms == 0 || (tookMs >= ms * 0.7 && tookMs <= ms * 1.5 + LateMs), qPrintable(QString::number(tookMs)));
        QVERIFY(kind == Heartbeat || !client.next(kind, 500));
        // In pieces a millisecond apart the replies take that long at least; whole, they would come at the
        // line's pace, all within a few milliseconds.
        const int replyBytes = replies.size() * (payloadSize + 7);
        const int pauses = (replyBytes + SplitPieceBytes - 1) / SplitPieceBytes - 1;
        QVERIFY2(!arguments.contains("--split-output") || tookMs >= pauses - 1, qPrintable(QString::number(tookMs)));

        const double noise = client.noiseShare();
        QVERIFY2(!arguments.contains("--noise-rate") || (noise > 0.03 && noise < 0.12),
                 qPrintable(QString::number(noise)));
        const ReceiveStatistics &line = client.received();
        QVERIFY(!arguments.contains("--fault-false-sync")
                || (line.resyncBytes == 4u * replies.size() && line.headerSumFailures + line.crcFailures == 0));
        QVERIFY(!arguments.contains("--fault-bad-crc") || line.crcFailures == 2);
        QCOMPARE(sim.stop(), 0);
    }

    void upgrades_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QStringList>("passedOver");
        const QStringList none;
        QTest::newRow("whole image") << QStringList() << 10000 << answers(157, "verify 3") << none;
        QTest::newRow("wrong sequence once") << QStringList {"--fault-wrong-seq", "3"} << 6 * 64
                                             << QStringList {"start 0", "ack 0", "ack 1", "ack 2", "ack 4", "ack 3",
                                                             "ack 4", "ack 5", "verify 3"}
                                             << none;
        QTest::newRow("acknowledgement dropped once") << QStringList {"--fault-drop-ack", "2"} << 5 * 64 + 10
                                                      << answers(6, "verify 3") << none;
        QTest::newRow("silent after packet 4") << QStringList {"--fault-silent-after", "4"} << 640
                                               << answers(5) << none;
        QTest::newRow("size exceeded") << QStringList {"--fault-size-exceeded"} << 64 << QStringList("start 1")
                                       << none;
        QTest::newRow("one byte too many") << QStringList {"--flash-size", "4096"} << 4097 << QStringList("start 1")
                                           << none;
        QTest::newRow("signature fails") << QStringList {"--fault-verify", "sig"} << 200
                                         << answers(4, "verify 2") << none;
        // The late reply comes after the watchdog has resent the request, which is answered at once.
        const int late = 2 * WatchdogMs;
        const std::pair<const char *, const char *> lateReplies[] = {
            {"erase", "erased"}, {"start", "start 0"}, {"data", "ack 0"}, {"stop", "verify 3"}};
        for (const auto &[request, reply] : lateReplies)
            QTest::newRow(qPrintable(QStringLiteral("late %1 reply, resent").arg(request)))
                << QStringList {"--fault-late-reply", QStringLiteral("%1:%2").arg(request).arg(late)} << 1000
                << answers(16, "verify 3") << QStringList(reply);
        QTest::newRow("acknowledgements twice") << QStringList {"--fault-duplicate-acks"} << 10 * 64 - 1
                                                << answers(10, "verify 3") << QStringList(answers(10).mid(1));
    }

    // Whenever the upgrade reaches its verdict, the image saved is the one sent, whatever else came.
    void upgrades()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, size);
        QFETCH(QStringList, answers);
        QFETCH(QStringList, passedOver);
        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("image.bin"));
        SimProcess sim(arguments + QStringList {"--erase-ms", "20", "--save-image", saved});
        SimClient client;
        QVERIFY(sim.start() && client.open(sim.portName()));

        const QByteArray image = randomImage(size);
        QCOMPARE(runUpgrade(client, image), answers);
        QVERIFY(client.waitForPassedOver(passedOver.size()));
        QCOMPARE(client.passedOver, passedOver);
        QCOMPARE(readFile(saved) == image, answers.last().startsWith("verify"));
    }

    // Requests that come twice, as when a tool resends one whose reply was late, are each answered
    // and leave the transfer as it was, even a start request once data has begun.
    void resentRequests()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("image.bin"));
        SimProcess sim({"--erase-ms", "200", "--hb-rate", "0", "--save-image", saved});
        SimClient client;
        QVERIFY(sim.start() && client.open(sim.portName()));
        const QByteArray image = randomImage(4 * 64);
        const auto packet = [&](quint16 sequence) { return dataPacket(sequence, image.mid(sequence * 64, 64)); };

        QVERIFY(client.send(buildFrameV1(0x00, 0x03, {}).repeated(2) + startRequest(image.size()) + packet(0)
                            + packet(1) + startRequest(image.size()) + packet(1) + packet(2) + packet(3)
                            + stopRequest(4).repeated(2)));
        client.waitForPassedOver(11);
        QCOMPARE(client.passedOver, QStringList({"start 0", "ack 0", "ack 1", "start 0", "ack 1", "ack 2", "ack 3",
                                                 "verify 3", "verify 3", "erased", "erased"}));
        QCOMPARE(readFile(saved), image);
    }

    // One of each upgrade reply every 250 ms, but not while an upgrade is under way: from its erase
    // request to its verification result, or until the tool has been quiet for two seconds.
    void unsolicitedUpgradeReplies()
    {
        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("image.bin"));
        // The erase outlasts the period, so a burst would fall inside the upgrade.
        SimProcess sim({"--fault-unsolicited-upgrade-replies", "--hb-rate", "0", "--erase-ms", "300", "--save-image",
                        saved});
        SimClient client;
        QElapsedTimer sinceLaunch;
        sinceLaunch.start();
        QVERIFY(sim.start() && client.open(sim.portName()));

        // Bursts come one period apart from the simulator's start, so by the third the launch is at least
        // three periods ago.
        QVERIFY(client.readUntil([&] { return client.passedOver.size() >= 3 * 4; }));
        QVERIFY2(sinceLaunch.elapsed() >= 3 * 250, qPrintable(QString::number(sinceLaunch.elapsed())));
        const int bursts = client.passedOver.size() / 4;
        const int firstAck = client.passedOver.value(2).mid(4).toInt();
        for (int i = 0; i < bursts; ++i)
            QCOMPARE(client.passedOver.mid(4 * i, 4),
                     QStringList({"erased", "start 0", QStringLiteral("ack %1").arg(firstAck + i), "verify 3"}));

        // Just after a burst: the next one is due long after the erase request has arrived.
        const QByteArray image = randomImage(20 * 64);
        QVERIFY(client.next(VerifyResult));
        client.passedOver.clear();
        QCOMPARE(runUpgrade(client, image), answers(20, "verify 3"));
        QVERIFY2(client.passedOver.isEmpty(), qPrintable(client.passedOver.join(", ")));
        QCOMPARE(readFile(saved), image);
        QVERIFY(client.next(EraseDone));

        QVERIFY(client.next(VerifyResult));
        const qint64 erasedMs = client.nowMs();
        QVERIFY(client.send(buildFrameV1(0x00, 0x03, {})));
        QVERIFY(client.next(EraseDone));
        QVERIFY(client.next(StartReply));
        QVERIFY2(client.nowMs() - erasedMs >= 1500, qPrintable(QString::number(client.nowMs() - erasedMs)));
    }

    // The line is hung up the given time after the tool's first bytes: its reads end in end-of-file. Told to
    // come back, it returns on a new device behind the same link, once: the controller kept its state
    // meanwhile, so an upgrade begun before the hang-up takes its next packet after it.
    void hangUpAndReturn()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("sim.port"));
        const QString saved = dir.filePath(QStringLiteral("image.bin"));
        const int hangupMs = 2000;
        SimProcess sim({"--fault-hangup-after", QString::number(hangupMs), "--fault-return-after", "300", "--link",
                        link, "--erase-ms", "20", "--save-image", saved});
        SimClient before;
        QVERIFY(sim.start() && before.open(link));
        const QByteArray image = randomImage(3 * 64);
        QVERIFY(request(before, buildFrameV1(0x00, 0x03, {}), EraseDone));
        QVERIFY(request(before, startRequest(image.size()), StartReply));
        for (quint16 sequence = 0; sequence < 2; ++sequence) {
            QVERIFY(before.send(dataPacket(sequence, image.mid(sequence * 64, 64))));
            QVERIFY(before.nextAck(sequence, ProcessWaitMs));
        }
        QVERIFY(before.waitForHangup(ProcessWaitMs));

        const QString returned = sim.waitForReturn();
        QVERIFY(!returned.isEmpty() && returned != sim.portName());   // the old one is still held open
        QCOMPARE(QFileInfo(link).symLinkTarget(), returned);
        SimClient after;
        QVERIFY(after.open(link));
        QVERIFY(after.send(dataPacket(2, image.mid(2 * 64, 64))));
        QVERIFY(after.nextAck(2, ProcessWaitMs));
        const auto verdict = request(after, stopRequest(3), VerifyResult);
        QVERIFY(verdict);
        QCOMPARE(upgradeReply(*verdict), QStringLiteral("verify 3"));
        QCOMPARE(readFile(saved), image);
        QVERIFY(!after.waitForHangup(2 * hangupMs));
        QCOMPARE(sim.stop(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // Heartbeats pause for the gap and come back by themselves; requests are answered meanwhile. The gap
    // is far longer than any stall of a busy machine, which the test would take for it.
    void heartbeatGap()
    {
        const int gapMs = 2000;
        const int periodMs = 50;
        SimProcess sim({"--fault-heartbeat-gap", QStringLiteral("1000:%1").arg(gapMs)});
        SimClient client;
        QVERIFY(sim.start() && client.open(sim.portName()));
        QVERIFY(client.next(Heartbeat));
        qint64 lastHeartbeatMs = client.nowMs();
        while (client.nowMs() < 8000 && client.next(Heartbeat, gapMs / 3))
            lastHeartbeatMs = client.nowMs();
        QVERIFY(client.nowMs() < 8000);

        const int heartbeatsBefore = client.framesSeen.value(Heartbeat);
        QVERIFY(client.send(buildFrameV1(0x00, 0x01, {})));
        QVERIFY(client.next(VersionReply));
        QCOMPARE(client.framesSeen.value(Heartbeat), heartbeatsBefore);

        QVERIFY(client.next(Heartbeat));
        // From the last heartbeat before the gap to the first after it, each delivered as late as the
        // machine made it.
        const qint64 pauseMs = client.nowMs() - lastHeartbeatMs;
        QVERIFY2(pauseMs >= gapMs + periodMs - LateMs && pauseMs <= gapMs + periodMs + LateMs,
                 qPrintable(QString::number(pauseMs)));
    }

    // About 1000 unknown version-1 replies a second, general and gimbal set in turn, and the
    // simulator still answers.
    void unknownFlood()
    {
        SimProcess sim({"--fault-unknown-flood", "--hb-rate", "0"});
        SimClient client;
        QElapsedTimer sinceLaunch;
        sinceLaunch.start();
        QVERIFY(sim.start() && client.open(sim.portName()));

        // A second's worth comes, never more than one a millisecond since the launch.
        const auto flood = [&client] {
            return client.framesSeen.value(UnknownGeneral) + client.framesSeen.value(UnknownGimbal);
        };
        QVERIFY(client.readUntil([&] { return flood() >= 1000; }));
        const int general = client.framesSeen.value(UnknownGeneral);
        const int gimbal = client.framesSeen.value(UnknownGimbal);
        QVERIFY2(general + gimbal <= sinceLaunch.elapsed() + 1 && qAbs(general - gimbal) <= 1,
                 qPrintable(QStringLiteral("%1 + %2").arg(general).arg(gimbal)));
        QVERIFY(client.send(buildFrameV1(0x00, 0x01, {})));
        QVERIFY(client.next(VersionReply));
    }

    void badFaultOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown request") << QStringList {"--fault-late-reply", "reboot:100"}
                                         << QStringLiteral("--fault-late-reply takes erase, start, data or stop");
        QTest::newRow("negative gap") << QStringList {"--fault-heartbeat-gap", "100:-1"}
                                      << QStringLiteral("--fault-heartbeat-gap takes a start and a length of 0 to 600000 ms");
        QTest::newRow("hang-up time") << QStringList {"--fault-hangup-after", "soon"}
                                      << QStringLiteral("--fault-hangup-after takes a whole number from 0 to 600000");
        QTest::newRow("return without hang-up") << QStringList {"--fault-return-after", "300"}
                                                << QStringLiteral("--fault-return-after needs --fault-hangup-after");
    }

    void badFaultOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        SimProcess sim(arguments);
        QVERIFY(!sim.start());
        QCOMPARE(sim.stop(), 2);
        QVERIFY2(sim.errorOutput().contains(message), qPrintable(sim.errorOutput()));
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
