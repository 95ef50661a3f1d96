// The simulated controller, played against over its pseudo-terminal the way
// the tool does: frames built and cut by the project's codec.
#include "protocol/FrameCodec.h"
#include "support/SimProcess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>

namespace {
using FramePredicate = std::function<bool(const ParsedFrame &)>;

const int ReplyTimeoutMs = 3000;

bool isHeartbeat(const ParsedFrame &f)
{
    return f.version == 1 && f.commandSet == 1 && f.v1CommandId == 0x00;
}

FramePredicate generalReply(quint8 id)
{
    return [id](const ParsedFrame &f) { return f.version == 1 && f.commandSet == 0 && f.v1CommandId == id; };
}

FramePredicate v0Frame(quint8 id)
{
    return [id](const ParsedFrame &f) { return f.version == 0 && f.commandId == id; };
}

bool isCommandReply(const ParsedFrame &f)
{
    return f.version == 0 && f.commandId == 0x86 && !f.payload.isEmpty();
}

bool isAccelProgress(const ParsedFrame &f)
{
    return isCommandReply(f) && quint8(f.payload[0]) == 0x8F && f.payload.size() >= 5;
}

float progressValue(const ParsedFrame &f)
{
    quint32 bits = 0;
    for (int i = 4; i >= 1; --i)
        bits = (bits << 8) | quint8(f.payload[i]);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int le16(const QByteArray &bytes, int offset)
{
    return qint16(quint8(bytes[offset]) | (quint8(bytes[offset + 1]) << 8));
}

QByteArray command(quint8 sub, quint32 p1 = 0, quint32 p2 = 0, quint32 p3 = 0, quint32 p4 = 0)
{
    return buildCommandFrame(sub, p1, p2, p3, p4);
}

// The upgrade data packet as the tool assembles it: flags 0x10 instead of 0x04.
QByteArray dataPacket(quint16 sequence, const QByteArray &chunk)
{
    QByteArray frame = buildFrameV1(0x00, 0x0D, chunk.leftJustified(64, '\0'), sequence);
    frame[6] = char(0x10);
    frame.chop(2);
    const quint16 crc = crc16Modbus(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

QByteArray startRequest(quint32 size)
{
    QByteArray payload(1, '\0');
    for (int shift = 0; shift < 32; shift += 8)
        payload.append(char((size >> shift) & 0xFF));
    return buildFrameV1(0x00, 0x0B, payload);
}

QByteArray randomImage(int size)
{
    QByteArray image(size, '\0');
    QRandomGenerator random {quint32(size)};
    for (char &byte : image)
        byte = char(random.bounded(256));
    return image;
}

const QList<int> NamedSubCommands = {
    0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90,
    0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9B, 0x9C, 0x9D, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4,
    0xA5, 0xA6, 0xA7};

// The tool's end of the line: sends frames, keeps every frame received with its
// arrival time, and lets a test wait for the next frame of a kind.
class SimClient
{
public:
    ~SimClient() { m_port.close(); }

    bool open(const QString &portName)
    {
        m_port.setPortName(portName);
        if (!m_port.open(QIODevice::ReadWrite))
            return false;
        m_port.setBaudRate(921600);
        QObject::connect(&m_port, &QSerialPort::readyRead, [this] { read(); });
        m_clock.start();
        return true;
    }

    void send(const QByteArray &bytes)
    {
        m_port.write(bytes);
        m_port.flush();
    }

    // The next frame after the previous match that satisfies `predicate`.
    std::optional<ParsedFrame> next(const FramePredicate &predicate, int timeoutMs = ReplyTimeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            for (; m_cursor < m_frames.size(); ++m_cursor) {
                if (predicate(m_frames[m_cursor].frame))
                    return m_frames[m_cursor++].frame;
            }
            if (deadline.hasExpired())
                return std::nullopt;
            // An event loop rather than polling, so that every read happens as the bytes come.
            QEventLoop loop;
            QObject::connect(&m_port, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
            QTimer::singleShot(int(deadline.remainingTime()), &loop, &QEventLoop::quit);
            loop.exec();
        }
    }

    // Arrival time in ms of the frame last returned by next().
    qint64 lastMatchMs() const { return m_cursor > 0 ? m_frames[m_cursor - 1].atMs : -1; }
    qint64 nowMs() const { return m_clock.elapsed(); }
    QList<int> readSizes() const { return m_readSizes; }
    qint64 rawBytes() const { return m_rawBytes; }
    qint64 frameBytes() const { return m_frameBytes; }

private:
    struct Received
    {
        ParsedFrame frame;
        qint64 atMs;
    };

    void read()
    {
        const QByteArray bytes = m_port.readAll();
        m_readSizes.append(bytes.size());
        m_rawBytes += bytes.size();
        m_buffer.append(bytes);
        ParsedFrame frame;
        while (extractFrame(m_buffer, frame)) {
            m_frameBytes += frame.payload.size() + (frame.version == 0 ? 7 : 13);
            m_frames.append({frame, m_clock.elapsed()});
        }
    }

    QSerialPort m_port;
    QElapsedTimer m_clock;
    QByteArray m_buffer;
    QList<Received> m_frames;
    int m_cursor = 0;
    QList<int> m_readSizes;
    qint64 m_rawBytes = 0;
    qint64 m_frameBytes = 0;
};

struct UpgradeRun
{
    int startResult = -1;
    int verifyResult = -1;
    QList<int> acks;
    int resends = 0;
    bool stalled = false;
};

// Plays the tool's side of an upgrade; a missing acknowledgement is answered by
// sending the packet again after `ackTimeoutMs`, at most `maxResends` times in a row.
UpgradeRun runUpgrade(SimClient &client, const QByteArray &image, int ackTimeoutMs = 400, int maxResends = 2)
{
    UpgradeRun run;
    client.send(buildFrameV1(0x00, 0x03, {}));
    if (!client.next(generalReply(0x04))) {
        run.stalled = true;
        return run;
    }
    client.send(startRequest(quint32(image.size())));
    const auto confirmation = client.next(generalReply(0x0C));
    if (!confirmation || confirmation->payload.isEmpty()) {
        run.stalled = true;
        return run;
    }
    run.startResult = quint8(confirmation->payload[0]);
    if (run.startResult != 0)
        return run;

    const int count = (image.size() + 63) / 64;
    quint16 sequence = 0;
    int silentInARow = 0;
    for (int index = 0; index < count;) {
        client.send(dataPacket(sequence, image.mid(index * 64, 64)));
        const auto ack = client.next(generalReply(0x0E), ackTimeoutMs);
        if (!ack) {
            if (++silentInARow > maxResends) {
                run.stalled = true;
                return run;
            }
            ++run.resends;
            continue;
        }
        silentInARow = 0;
        run.acks.append(ack->sequence);
        if (ack->sequence == sequence) {
            ++index;
            ++sequence;
        } else {
            ++run.resends;
        }
    }
    client.send(buildFrameV1(0x00, 0x0F, QByteArray(1, '\x03'), sequence));
    const auto result = client.next(generalReply(0x10));
    if (result && !result->payload.isEmpty())
        run.verifyResult = quint8(result->payload[0]);
    else
        run.stalled = true;
    return run;
}

QList<int> range(int count)
{
    QList<int> values;
    for (int i = 0; i < count; ++i)
        values.append(i);
    return values;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

#define START_SIM(sim, client)                                                                                  \
    QVERIFY2((sim).start(), qPrintable(SimProcess::program() + QStringLiteral(" did not start")));             \
    QVERIFY2((client).open((sim).portName()), qPrintable((sim).portName()))

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void helpListsEveryFlag();
    void badFlagValueIsRefused_data();
    void badFlagValueIsRefused();
    void linkAndCleanExit_data();
    void linkAndCleanExit();

    void parameterBlockForms_data();
    void parameterBlockForms();
    void writesChangeTheBlock_data();
    void writesChangeTheBlock();
    void namedCommandsAreAnswered();
    void unnamedAndMalformedCommandsAreNot();
    void accelCalibrationReportsEightSteps();
    void versionReply_data();
    void versionReply();

    void heartbeatRateAndLength_data();
    void heartbeatRateAndLength();
    void heartbeatContentIsPlausible();
    void rebootPausesHeartbeats_data();
    void rebootPausesHeartbeats();

    void upgradeStoresTheImage_data();
    void upgradeStoresTheImage();
    void upgradeRefusesOversizedImage_data();
    void upgradeRefusesOversizedImage();
    void faultWrongSequence();
    void faultDropAck();
    void faultSilentAfter();
    void faultVerify_data();
    void faultVerify();

    void noiseBetweenFrames();
    void splitOutput();
    void baudPacesReplies();
    void baudAccountsReceivedBytes();
    void verboseLogsFrames();
};

void TestSim::helpListsEveryFlag()
{
    QProcess help;
    help.start(SimProcess::program(), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(5000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(help.readAllStandardOutput());
    for (const char *flag : {"--link", "--param-form", "--hb-rate", "--hb-len", "--firmware", "--boot",
                             "--accel-step-ms", "--erase-ms", "--flash-size", "--save-image", "--baud",
                             "--fault-wrong-seq", "--fault-drop-ack", "--fault-silent-after",
                             "--fault-size-exceeded", "--fault-verify", "--noise-rate", "--split-output", "--verbose"})
        QVERIFY2(text.contains(QLatin1String(flag)), flag);
}

void TestSim::badFlagValueIsRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("form") << QStringList {"--param-form", "full"};
    QTest::newRow("heartbeat too short") << QStringList {"--hb-len", "21"};
    QTest::newRow("heartbeat too long") << QStringList {"--hb-len", "62"};
    QTest::newRow("version") << QStringList {"--firmware", "1.0.60"};
    QTest::newRow("verify") << QStringList {"--fault-verify", "crc"};
    QTest::newRow("unknown flag") << QStringList {"--fast"};
}

void TestSim::badFlagValueIsRefused()
{
    QFETCH(QStringList, arguments);
    QProcess sim;
    sim.start(SimProcess::program(), arguments);
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY(sim.exitCode() != 0);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
}

void TestSim::linkAndCleanExit_data()
{
    QTest::addColumn<bool>("interrupt");
    QTest::newRow("SIGTERM") << false;
    QTest::newRow("SIGINT") << true;
}

void TestSim::linkAndCleanExit()
{
    QFETCH(bool, interrupt);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("sim.port"));
    SimProcess sim({QStringLiteral("--link"), link});
    QVERIFY(sim.start());
    QVERIFY(sim.portName().startsWith(QLatin1String("/dev/pts/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.portName());

    SimClient client;
    QVERIFY(client.open(link));
    QVERIFY(client.next(isHeartbeat));

    if (interrupt) {
        QCOMPARE(::kill(pid_t(sim.process().processId()), SIGINT), 0);
        QVERIFY(sim.process().waitForFinished(3000));
    }
    QCOMPARE(sim.stop(), 0);
    QVERIFY(!QFileInfo::exists(link));
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSim::parameterBlockForms_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("length");
    QTest::newRow("base") << "base" << 22;
    QTest::newRow("photo") << "photo" << 29;
    QTest::newRow("crsf") << "crsf" << 36;
    QTest::newRow("default") << QString() << 36;
}

void TestSim::parameterBlockForms()
{
    QFETCH(QString, form);
    QFETCH(int, length);
    SimProcess sim(form.isEmpty() ? QStringList() : QStringList {QStringLiteral("--param-form"), form});
    SimClient client;
    START_SIM(sim, client);

    client.send(buildFrameV0(0xC0, {}));
    const auto block = client.next(v0Frame(0xC1));
    QVERIFY(block);
    QCOMPARE(block->payload.size(), length);
    // Channels are numbered from 1 and torques lie in the range the tool offers.
    for (int offset : {0, 1, 2, 4, 5, 6, 12, 14})
        QVERIFY2(block->payload[offset] >= 1, qPrintable(QString::number(offset)));
    for (int offset : {16, 18, 20})
        QVERIFY(le16(block->payload, offset) >= 1 && le16(block->payload, offset) <= 30000);
}

void TestSim::writesChangeTheBlock_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QByteArray>("write");
    // Pairs of (payload offset in the block, expected value).
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("SBUS channels")
        << "crsf" << command(0xA0, 0x8001, 0x8003, (4u << 16) | 5u, (2u << 16) | 6u)
        << QList<int> {0, 1, 1, 3, 2, 4, 3, 6, 12, 2, 14, 5, 22, 1, 23, 0, 24, 1};
    QTest::newRow("SBUS directions in photo form")
        << "photo" << command(0xA0, 0x0001, 0x8003, (4u << 16) | 5u, (0x8002u << 16) | 6u)
        << QList<int> {24, 0, 25, 1, 26, 1};
    QTest::newRow("PWM channels") << "crsf" << command(0xA1, 7, 0x8008, 9, (10u << 16) | 0u)
                                  << QList<int> {4, 7, 5, 8, 6, 9, 7, 0, 15, 10, 25, 0, 26, 1};
    QTest::newRow("CRSF channels") << "crsf" << command(0xA7, 0x800B, 12, (13u << 16) | 14u, (0x800Fu << 16) | 0u)
                                   << QList<int> {27, 11, 28, 15, 29, 12, 30, 13, 31, 14, 32, 0, 33, 1, 34, 1, 35, 0};
    QTest::newRow("photo and video") << "photo" << command(0xA6, 3, 4) << QList<int> {22, 3, 23, 4};
    QTest::newRow("camera position") << "base" << command(0xA2, 1) << QList<int> {8, 1};
    QTest::newRow("speeds pitch, yaw, roll") << "base" << command(0xA3, 10, 30, 20)
                                             << QList<int> {9, 10, 10, 30, 13, 20};
    QTest::newRow("FPV mode") << "base" << command(0xA4, 5) << QList<int> {11, 5};
    QTest::newRow("torques yaw, roll, pitch")
        << "base" << command(0xA5, 300, 200, 100) << QList<int> {16, 0x2C, 17, 0x01, 18, 0xC8, 19, 0, 20, 100, 21, 0};
}

void TestSim::writesChangeTheBlock()
{
    QFETCH(QString, form);
    QFETCH(QByteArray, write);
    QFETCH(QList<int>, expected);
    SimProcess sim({QStringLiteral("--param-form"), form, QStringLiteral("--hb-rate"), QStringLiteral("0")});
    SimClient client;
    START_SIM(sim, client);

    client.send(write + buildFrameV0(0xC0, {}));
    const auto reply = client.next(isCommandReply);
    QVERIFY(reply);
    QCOMPARE(reply->payload[0], write[5]);
    const auto block = client.next(v0Frame(0xC1));
    QVERIFY(block);
    for (int i = 0; i + 1 < expected.size(); i += 2)
        QVERIFY2(quint8(block->payload[expected[i]]) == expected[i + 1],
                 qPrintable(QStringLiteral("byte %1 is %2, expected %3")
                                .arg(expected[i])
                                .arg(quint8(block->payload[expected[i]]))
                                .arg(expected[i + 1])));
}

void TestSim::namedCommandsAreAnswered()
{
    SimProcess sim({QStringLiteral("--hb-rate"), QStringLiteral("0"), QStringLiteral("--accel-step-ms"),
                    QStringLiteral("60000")});
    SimClient client;
    START_SIM(sim, client);

    for (int sub : NamedSubCommands)
        client.send(command(quint8(sub)));
    for (int sub : NamedSubCommands) {
        const auto reply = client.next(isCommandReply);
        QVERIFY2(reply, qPrintable(QString::number(sub, 16)));
        QCOMPARE(int(quint8(reply->payload[0])), sub);
    }
}

void TestSim::unnamedAndMalformedCommandsAreNot()
{
    SimProcess sim({QStringLiteral("--hb-rate"), QStringLiteral("0")});
    SimClient client;
    START_SIM(sim, client);

    for (int sub : {0x00, 0x7F, 0x9A, 0x9E, 0x9F, 0xA8, 0xFF})
        client.send(command(quint8(sub)));
    client.send(buildFrameV0(0x85, QByteArray(1, char(0xA2))));
    client.send(buildFrameV0(0x85, command(0xA2).mid(5, 16)));
    client.send(buildFrameV0(0x85, {}));
    // Replies keep the order of the commands: the marker's reply is the first one.
    client.send(command(0x9C));
    const auto reply = client.next(isCommandReply);
    QVERIFY(reply);
    QCOMPARE(int(quint8(reply->payload[0])), 0x9C);
}

void TestSim::accelCalibrationReportsEightSteps()
{
    const int stepMs = 80;
    SimProcess sim({QStringLiteral("--accel-step-ms"), QString::number(stepMs)});
    SimClient client;
    START_SIM(sim, client);

    client.send(command(0x8F));
    const qint64 sentMs = client.nowMs();
    // The first report is the answer to the command itself.
    const auto answer = client.next(isCommandReply);
    QVERIFY(answer);
    QVERIFY(isAccelProgress(*answer));
    QCOMPARE(progressValue(*answer), 1.0f);
    for (int step = 2; step <= 8; ++step) {
        const auto progress = client.next(isCommandReply);
        QVERIFY2(progress && isAccelProgress(*progress), qPrintable(QString::number(step)));
        QCOMPARE(progressValue(*progress), float(step));
    }
    QVERIFY2(client.lastMatchMs() - sentMs >= 7 * stepMs * 3 / 4, "steps follow the configured pace");
    QVERIFY(!client.next(isCommandReply, 3 * stepMs));
}

void TestSim::versionReply_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("given") << QStringList {"--firmware", "1.1.0.5", "--boot", "1.0.0.2"}
                           << QByteArray::fromHex("0200000105000101");
    QTest::newRow("extremes") << QStringList {"--firmware", "255.255.255.255", "--boot", "0.0.0.0"}
                              << QByteArray::fromHex("00000000FFFFFFFF");
    QTest::newRow("default above 1.0.0.59") << QStringList() << QByteArray::fromHex("020000013C000001");
}

void TestSim::versionReply()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, payload);
    SimProcess sim(arguments);
    SimClient client;
    START_SIM(sim, client);

    client.send(buildFrameV1(0x00, 0x01, {}));
    const auto reply = client.next(generalReply(0x02));
    QVERIFY(reply);
    QCOMPARE(reply->payload.toHex(), payload.toHex());
}

void TestSim::heartbeatRateAndLength_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("length");
    QTest::newRow("default") << 0 << 61;
    QTest::newRow("50 Hz, 22 bytes") << 50 << 22;
    QTest::newRow("10 Hz, 45 bytes") << 10 << 45;
}

void TestSim::heartbeatRateAndLength()
{
    QFETCH(int, rate);
    QFETCH(int, length);
    QStringList arguments;
    if (rate > 0)
        arguments << QStringLiteral("--hb-rate") << QString::number(rate) << QStringLiteral("--hb-len")
                  << QString::number(length);
    const int expectedRate = rate > 0 ? rate : 20;
    SimProcess sim(arguments);
    SimClient client;
    START_SIM(sim, client);

    const auto first = client.next(isHeartbeat);
    QVERIFY(first);
    const qint64 firstMs = client.lastMatchMs();
    const int intervals = expectedRate;
    for (int i = 0; i < intervals; ++i) {
        const auto heartbeat = client.next(isHeartbeat);
        QVERIFY(heartbeat);
        QCOMPARE(heartbeat->payload.size(), length);
    }
    const double measured = intervals * 1000.0 / (client.lastMatchMs() - firstMs);
    QVERIFY2(measured > expectedRate * 0.6 && measured < expectedRate * 1.4, qPrintable(QString::number(measured)));
}

void TestSim::heartbeatContentIsPlausible()
{
    SimProcess sim({QStringLiteral("--hb-rate"), QStringLiteral("50")});
    SimClient client;
    START_SIM(sim, client);

    QList<QByteArray> payloads;
    for (int i = 0; i < 50; ++i) {
        const auto heartbeat = client.next(isHeartbeat);
        QVERIFY(heartbeat);
        payloads.append(heartbeat->payload);
    }
    const QByteArray &last = payloads.last();
    const quint32 status = quint8(last[6]) | quint8(last[7]) << 8 | quint8(last[8]) << 16;
    QVERIFY2(status & 0x1, "attitude ready");
    QVERIFY2(status & 0x2, "joint initialisation done");
    QVERIFY2(!(status & 0x4), "no under-voltage");
    QVERIFY2(!(status & 0x8), "IMU present");
    for (const QByteArray &p : payloads) {
        for (int offset : {0, 2, 4, 10, 12, 14})
            QVERIFY(qAbs(le16(p, offset)) <= 9000);
        QVERIFY(qint8(p[34]) >= 20 && qint8(p[34]) <= 60);
        for (int offset = 35; offset < 45; offset += 2)
            QVERIFY(le16(p, offset) >= 172 && le16(p, offset) <= 1811);
        for (int offset = 45; offset < 51; offset += 2)
            QVERIFY(le16(p, offset) >= 1000 && le16(p, offset) <= 2000);
    }
    // The attitude moves, and smoothly: no jump above a few degrees between heartbeats.
    QVERIFY(le16(payloads.first(), 0) != le16(last, 0));
    for (int i = 1; i < payloads.size(); ++i)
        QVERIFY(qAbs(le16(payloads[i], 0) - le16(payloads[i - 1], 0)) < 300);
    QVERIFY(le16(payloads.first(), 35) != le16(last, 35));
}

void TestSim::rebootPausesHeartbeats_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("replied");
    QTest::newRow("activate") << command(0x90) << true;
    QTest::newRow("reboot") << command(0x91) << true;
    QTest::newRow("soft reset") << buildFrameV1(0x00, 0x00, {}) << false;
}

void TestSim::rebootPausesHeartbeats()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, replied);
    const int rebootMs = 600;
    SimProcess sim({QStringLiteral("--hb-rate"), QStringLiteral("50"), QStringLiteral("--reboot-ms"),
                    QString::number(rebootMs)});
    SimClient client;
    START_SIM(sim, client);

    QVERIFY(client.next(isHeartbeat));
    client.send(request);
    const qint64 sentMs = client.nowMs();
    if (replied)
        QVERIFY(client.next(isCommandReply));
    // Heartbeats already under way when the request went out may still arrive.
    std::optional<ParsedFrame> heartbeat;
    do {
        heartbeat = client.next(isHeartbeat, rebootMs + 2000);
        QVERIFY2(heartbeat, "heartbeats resume");
    } while (client.lastMatchMs() - sentMs < 50);
    QVERIFY2(client.lastMatchMs() - sentMs >= rebootMs * 2 / 3, qPrintable(QString::number(client.lastMatchMs() - sentMs)));
    QVERIFY2(!(heartbeat->payload[6] & 0x1), "attitude not yet ready after a restart");
}

void TestSim::upgradeStoresTheImage_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("1 byte") << 1;
    QTest::newRow("64 bytes") << 64;
    QTest::newRow("1000 bytes") << 1000;
    QTest::newRow("100 KiB") << 100 * 1024;
}

void TestSim::upgradeStoresTheImage()
{
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("image.bin"));
    SimProcess sim({QStringLiteral("--erase-ms"), QStringLiteral("50"), QStringLiteral("--save-image"), saved,
                    QStringLiteral("--reboot-ms"), QStringLiteral("400")});
    SimClient client;
    START_SIM(sim, client);

    const QByteArray image = randomImage(size);
    const UpgradeRun run = runUpgrade(client, image);
    QVERIFY(!run.stalled);
    QCOMPARE(run.startResult, 0);
    QCOMPARE(run.acks, range((size + 63) / 64));
    QCOMPARE(run.resends, 0);
    QCOMPARE(run.verifyResult & 0x3, 0x3);
    QCOMPARE(readFile(saved), image);

    // The reboot that ends an upgrade.
    QVERIFY(client.next(isHeartbeat));
    client.send(buildFrameV1(0x00, 0x00, {}));
    const qint64 resetMs = client.nowMs();
    do {
        QVERIFY(client.next(isHeartbeat, 3000));
    } while (client.lastMatchMs() - resetMs < 60);
    QVERIFY(client.lastMatchMs() - resetMs >= 250);
}

void TestSim::upgradeRefusesOversizedImage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("fits exactly") << QStringList {"--flash-size", "4096"} << 4096 << true;
    QTest::newRow("one byte too many") << QStringList {"--flash-size", "4096"} << 4097 << false;
    QTest::newRow("size-exceeded fault") << QStringList {"--fault-size-exceeded"} << 64 << false;
}

void TestSim::upgradeRefusesOversizedImage()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, size);
    QFETCH(bool, accepted);
    SimProcess sim(arguments << QStringLiteral("--erase-ms") << QStringLiteral("0"));
    SimClient client;
    START_SIM(sim, client);

    client.send(buildFrameV1(0x00, 0x03, {}));
    QVERIFY(client.next(generalReply(0x04)));
    client.send(startRequest(quint32(size)));
    const auto reply = client.next(generalReply(0x0C));
    QVERIFY(reply);
    QCOMPARE(reply->payload.size(), 1);
    QCOMPARE(reply->payload[0] == 0, accepted);
}

void TestSim::faultWrongSequence()
{
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("image.bin"));
    SimProcess sim({QStringLiteral("--fault-wrong-seq"), QStringLiteral("3"), QStringLiteral("--erase-ms"),
                    QStringLiteral("0"), QStringLiteral("--save-image"), saved});
    SimClient client;
    START_SIM(sim, client);

    const QByteArray image = randomImage(6 * 64);
    const UpgradeRun run = runUpgrade(client, image);
    QVERIFY(!run.stalled);
    // Packet 3 is acknowledged as 4 once; sent again it is acknowledged properly and stored once.
    QCOMPARE(run.acks, (QList<int> {0, 1, 2, 4, 3, 4, 5}));
    QCOMPARE(run.verifyResult, 0x03);
    QCOMPARE(readFile(saved), image);
}

void TestSim::faultDropAck()
{
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("image.bin"));
    SimProcess sim({QStringLiteral("--fault-drop-ack"), QStringLiteral("2"), QStringLiteral("--erase-ms"),
                    QStringLiteral("0"), QStringLiteral("--save-image"), saved});
    SimClient client;
    START_SIM(sim, client);

    const QByteArray image = randomImage(5 * 64 + 10);
    const UpgradeRun run = runUpgrade(client, image, 300);
    QVERIFY(!run.stalled);
    QCOMPARE(run.resends, 1);
    QCOMPARE(run.acks, range(6));
    QCOMPARE(run.verifyResult, 0x03);
    QCOMPARE(readFile(saved), image);
}

void TestSim::faultSilentAfter()
{
    SimProcess sim({QStringLiteral("--fault-silent-after"), QStringLiteral("4"), QStringLiteral("--erase-ms"),
                    QStringLiteral("0")});
    SimClient client;
    START_SIM(sim, client);

    const UpgradeRun run = runUpgrade(client, randomImage(10 * 64), 300);
    QVERIFY(run.stalled);
    QCOMPARE(run.acks, range(5));
    // Only upgrade packets go unanswered; the controller itself is alive.
    client.send(buildFrameV1(0x00, 0x01, {}));
    QVERIFY(client.next(generalReply(0x02)));
}

void TestSim::faultVerify_data()
{
    QTest::addColumn<QString>("check");
    QTest::addColumn<int>("result");
    QTest::newRow("signature") << "sig" << 0x02;
    QTest::newRow("MD5") << "md5" << 0x01;
    QTest::newRow("both") << "both" << 0x00;
}

void TestSim::faultVerify()
{
    QFETCH(QString, check);
    QFETCH(int, result);
    SimProcess sim({QStringLiteral("--fault-verify"), check, QStringLiteral("--erase-ms"), QStringLiteral("0")});
    SimClient client;
    START_SIM(sim, client);

    const UpgradeRun run = runUpgrade(client, randomImage(200));
    QVERIFY(!run.stalled);
    QCOMPARE(run.verifyResult, result);
}

void TestSim::noiseBetweenFrames()
{
    SimProcess sim({QStringLiteral("--noise-rate"), QStringLiteral("0.05"), QStringLiteral("--hb-rate"),
                    QStringLiteral("200")});
    SimClient client;
    START_SIM(sim, client);

    for (int i = 0; i < 10; ++i)
        client.send(buildFrameV0(0xC0, {}));
    for (int i = 0; i < 10; ++i)
        QVERIFY2(client.next(v0Frame(0xC1)), "every reply survives the noise");
    QVERIFY(client.next(isHeartbeat));
    for (int i = 0; i < 200; ++i)
        QVERIFY(client.next(isHeartbeat));
    // What is neither a frame nor waiting in the buffer (at most one false candidate) is noise.
    const double noiseShare = double(client.rawBytes() - client.frameBytes()) / client.frameBytes();
    QVERIFY2(noiseShare > 0.03 && noiseShare < 0.12, qPrintable(QString::number(noiseShare)));
}

void TestSim::splitOutput()
{
    SimProcess sim({QStringLiteral("--split-output")});
    SimClient client;
    START_SIM(sim, client);

    for (int i = 0; i < 5; ++i)
        client.send(buildFrameV0(0xC0, {}));
    for (int i = 0; i < 5; ++i)
        QVERIFY(client.next(v0Frame(0xC1)));
    for (int i = 0; i < 10; ++i)
        QVERIFY(client.next(isHeartbeat));
    const QList<int> sizes = client.readSizes();
    const int small = int(std::count_if(sizes.begin(), sizes.end(), [](int size) { return size <= 24; }));
    QVERIFY2(small >= sizes.size() * 3 / 4, qPrintable(QStringLiteral("%1 of %2").arg(small).arg(sizes.size())));
    QVERIFY(sizes.size() >= 10 * 74 / 24);
}

void TestSim::baudPacesReplies()
{
    // Ten 43-byte parameter blocks take about 450 ms at 9600 baud.
    SimProcess sim({QStringLiteral("--baud"), QStringLiteral("9600"), QStringLiteral("--hb-rate"),
                    QStringLiteral("0")});
    SimClient client;
    START_SIM(sim, client);

    QByteArray requests;
    for (int i = 0; i < 10; ++i)
        requests.append(buildFrameV0(0xC0, {}));
    const qint64 sentMs = client.nowMs();
    client.send(requests);
    for (int i = 0; i < 10; ++i)
        QVERIFY(client.next(v0Frame(0xC1)));
    QVERIFY2(client.lastMatchMs() - sentMs >= 350, qPrintable(QString::number(client.lastMatchMs() - sentMs)));
}

void TestSim::baudAccountsReceivedBytes()
{
    // 200 bytes of idle noise ahead of the request take about 210 ms to arrive at 9600 baud.
    SimProcess sim({QStringLiteral("--baud"), QStringLiteral("9600"), QStringLiteral("--hb-rate"),
                    QStringLiteral("0")});
    SimClient client;
    START_SIM(sim, client);

    const qint64 sentMs = client.nowMs();
    client.send(QByteArray(200, '\x55') + buildFrameV1(0x00, 0x01, {}));
    QVERIFY(client.next(generalReply(0x02)));
    QVERIFY2(client.lastMatchMs() - sentMs >= 170, qPrintable(QString::number(client.lastMatchMs() - sentMs)));
}

void TestSim::verboseLogsFrames()
{
    SimProcess sim({QStringLiteral("--verbose"), QStringLiteral("--hb-rate"), QStringLiteral("0")});
    SimClient client;
    START_SIM(sim, client);

    client.send(command(0xA2, 1) + buildFrameV0(0xC0, {}));
    QVERIFY(client.next(v0Frame(0xC1)));
    QTRY_VERIFY(sim.errorOutput().contains(QLatin1String("TX parameter block")));
    const QString log = sim.errorOutput();
    QVERIFY(log.contains(QLatin1String("RX command 0xA2 para 0x00000001")));
    QVERIFY(log.contains(QLatin1String("TX command reply 0xA2")));
    QVERIFY(log.contains(QLatin1String("RX parameter read")));
}

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
