// The simulated controller, played against over its pseudo-terminal with the project's codec.
#include "protocol/FrameCodec.h"
#include "support/SimProcess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
// Frame kinds: version 0 by command id; version 1 as 0x100 + id (general set) or 0x200 + id (gimbal set).
const int VersionReply = 0x102, EraseDone = 0x104, StartReply = 0x10C, DataAck = 0x10E, VerifyResult = 0x110;
const int Heartbeat = 0x200, ParamBlock = 0xC1, CommandReply = 0x86;

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

// The tool's end of the line, read while a test waits for a frame.
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

    // The next frame of `kind`; frames of other kinds before it are passed over.
    std::optional<ParsedFrame> next(int kind, int timeoutMs = 3000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (ParsedFrame f;;) {
            while (extractFrame(m_buffer, f)) {
                m_frameBytes += f.payload.size() + (f.version == 0 ? 7 : 13);
                if ((f.version == 0 ? f.commandId : ((f.commandSet + 1) << 8) | f.v1CommandId) == kind)
                    return f;
            }
            pollfd ready {m_fd, POLLIN, 0};
            char chunk[4096];
            const ssize_t n = ::poll(&ready, 1, int(deadline.remainingTime())) > 0 ? ::read(m_fd, chunk, 4096) : 0;
            if (n <= 0)
                return std::nullopt;
            m_buffer.append(chunk, int(n));
            ++reads;
            smallReads += n <= 24;
            m_readBytes += n;
            lastReadMs = m_clock.elapsed();
        }
    }

    qint64 nowMs() const { return m_clock.elapsed(); }
    // Bytes dropped as line noise so far, per byte of the frames found.
    double noiseShare() const { return double(m_readBytes - m_buffer.size() - m_frameBytes) / m_frameBytes; }
    qint64 lastReadMs = 0;   // when the frame last returned had arrived
    int reads = 0;
    int smallReads = 0;

private:
    qint64 m_readBytes = 0;
    qint64 m_frameBytes = 0;
    int m_fd = -1;
    QElapsedTimer m_clock;
    QByteArray m_buffer;
};

// The tool's side of an upgrade and what the controller answered; a packet not acknowledged as sent goes
// again, at most twice in a row.
QStringList runUpgrade(SimClient &client, const QByteArray &image)
{
    QByteArray start(5, '\0');
    qToLittleEndian(quint32(image.size()), start.data() + 1);
    std::optional<ParsedFrame> reply;
    if (!client.send(buildFrameV1(0x00, 0x03, {})) || !client.next(EraseDone)
        || !client.send(buildFrameV1(0x00, 0x0B, start)) || !(reply = client.next(StartReply)))
        return {"no start reply"};
    QStringList trace {QStringLiteral("start %1").arg(quint8(reply->payload.at(0)))};
    const bool started = reply->payload.at(0) == 0;
    quint16 sequence = 0;
    for (int silent = 0; started && sequence * 64 < image.size();) {
        client.send(dataPacket(sequence, image.mid(sequence * 64, 64)));
        if (!(reply = client.next(DataAck, 300)) && ++silent > 2)
            return trace;
        if (reply)
            trace << QStringLiteral("ack %1").arg(reply->sequence);
        sequence += reply && reply->sequence == sequence;
    }
    if (started && client.send(buildFrameV1(0x00, 0x0F, QByteArray(1, '\x03'), sequence))
        && (reply = client.next(VerifyResult)))
        trace << QStringLiteral("verify %1").arg(quint8(reply->payload.at(0)));
    return trace;
}
}

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    // A request and the frames of one kind it brings, in order (payload prefixes), taking about `ms` if given;
    // then no further reply, and a clean exit on SIGTERM. The port is reached through --link.
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
        QTest::newRow("photo") << QStringList {"--param-form", "photo"} << read << ParamBlock << Replies(1) << 29 << 0;
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
        QTest::newRow("heartbeats, 20 Hz") << QStringList() << QByteArray() << Heartbeat << Replies(21) << 61 << 1000;
        QTest::newRow("heartbeats, 50 Hz") << QStringList {"--hb-rate", "50", "--hb-len", "22"} << QByteArray()
                                           << Heartbeat << Replies(51) << 22 << 1000;
        // 430 bytes of replies take 448 ms at 9600 baud; 200 bytes ahead of a request 208 ms, its reply 22 ms.
        const QStringList slowLine {"--baud", "9600", "--hb-rate", "0"};
        QTest::newRow("9600 out") << slowLine << read.repeated(10) << ParamBlock << Replies(10) << 36 << 448;
        QTest::newRow("9600 in") << slowLine << QByteArray(200, 'U') + query << VersionReply << Replies(1) << 8 << 230;
        QTest::newRow("noise") << QStringList {"--noise-rate", "0.05", "--hb-rate", "200"} << read.repeated(10)
                               << ParamBlock << Replies(10) << 36 << 0;
        QTest::newRow("split output") << QStringList {"--split-output"} << read.repeated(5) << ParamBlock << Replies(5)
                                      << 36 << 0;
    }

    void exchanges()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, request);
        QFETCH(int, kind);
        QFETCH(QVector<QByteArray>, replies);
        QFETCH(int, payloadSize);
        QFETCH(int, ms);
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("sim.port"));
        SimProcess sim(arguments + QStringList {"--link", link});
        SimClient client;
        QVERIFY(sim.start() && client.open(link));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.portName());

        const qint64 sentMs = client.nowMs();
        QVERIFY(client.send(request));
        for (const QByteArray &expected : replies) {
            const auto reply = client.next(kind);
            QVERIFY(reply);
            QCOMPARE(reply->payload.size(), payloadSize);
            QCOMPARE(reply->payload.left(expected.size()).toHex(), expected.toHex());
        }
        const qint64 tookMs = client.lastReadMs - sentMs;
        QVERIFY2(ms == 0 || (tookMs >= ms * 0.7 && tookMs <= ms * 1.5), qPrintable(QString::number(tookMs)));
        QVERIFY(kind == Heartbeat || !client.next(kind, 200));

        const double noise = client.noiseShare();
        QVERIFY2(!arguments.contains("--noise-rate") || (noise > 0.03 && noise < 0.12),
                 qPrintable(QString::number(noise)));
        QVERIFY(!arguments.contains("--split-output") || client.smallReads >= client.reads * 3 / 4);
        QCOMPARE(sim.stop(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void upgrades_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("answers");
        QTest::newRow("whole image") << QStringList() << 10000 << answers(157, "verify 3");
        QTest::newRow("wrong sequence once") << QStringList {"--fault-wrong-seq", "3"} << 6 * 64
                                             << QStringList {"start 0", "ack 0", "ack 1", "ack 2", "ack 4", "ack 3",
                                                             "ack 4", "ack 5", "verify 3"};
        QTest::newRow("acknowledgement dropped once") << QStringList {"--fault-drop-ack", "2"} << 5 * 64 + 10
                                                      << answers(6, "verify 3");
        QTest::newRow("silent after packet 4") << QStringList {"--fault-silent-after", "4"} << 640
                                               << answers(5);
        QTest::newRow("size exceeded") << QStringList {"--fault-size-exceeded"} << 64 << QStringList("start 1");
        QTest::newRow("one byte too many") << QStringList {"--flash-size", "4096"} << 4097 << QStringList("start 1");
        QTest::newRow("signature fails") << QStringList {"--fault-verify", "sig"} << 200
                                         << answers(4, "verify 2");
        QTest::newRow("both checks fail") << QStringList {"--fault-verify", "both"} << 200
                                          << answers(4, "verify 0");
    }

    // Whenever the upgrade reaches its verdict, the image saved is the one sent.
    void upgrades()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, size);
        QFETCH(QStringList, answers);
        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("image.bin"));
        SimProcess sim(arguments + QStringList {"--erase-ms", "20", "--save-image", saved});
        SimClient client;
        QVERIFY(sim.start() && client.open(sim.portName()));

        QVector<quint32> words(size / 4 + 1);
        QRandomGenerator(quint32(size)).fillRange(words.data(), words.size());
        const QByteArray image(reinterpret_cast<const char *>(words.constData()), size);
        QCOMPARE(runUpgrade(client, image), answers);
        QFile file(saved);
        QCOMPARE(file.open(QIODevice::ReadOnly) && file.readAll() == image, answers.last().startsWith("verify"));
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
