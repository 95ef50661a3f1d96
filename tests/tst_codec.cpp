#include "protocol/FrameCodec.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray le32(quint32 value)
{
    QByteArray out;
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((value >> shift) & 0xFF));
    return out;
}

// Header bytes 0-3 of a frame of `length` bytes and `version`, with a correct header sum.
QByteArray header(int length, int version)
{
    QByteArray out;
    const quint16 word = quint16((length & 0x3FF) | (version << 10));
    out.append(char(0xAA));
    out.append(char(word & 0xFF));
    out.append(char(word >> 8));
    out.append(char(sum8(out.constData(), 3)));
    return out;
}

QByteArray withCrc(QByteArray frame)
{
    const quint16 crc = crc16Modbus(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

// Runs the extraction loop the way the bridge does after every piece of input.
QList<ParsedFrame> drain(QByteArray &buffer)
{
    QList<ParsedFrame> frames;
    ParsedFrame frame;
    while (extractFrame(buffer, frame))
        frames.append(frame);
    return frames;
}

QList<ParsedFrame> feed(QByteArray &buffer, const QByteArray &piece)
{
    buffer.append(piece);
    return drain(buffer);
}

const QByteArray ReadRequest = hex("AA0700B1C0496C");
}

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    void builtFramesMatchWorkedExamples_data();
    void builtFramesMatchWorkedExamples();
    void crc16Modbus_data();
    void crc16Modbus();
    void headerWordCarriesLengthBitsAndVersion();
    void builtFramesRoundTrip_data();
    void builtFramesRoundTrip();

    void frameDeliveredByteByByte();
    void twoFramesInOnePiece();
    void garbageBeforeFrameIsDropped();
    void sixGarbageBytesWaitSeventhDropsAll();
    void lengthOutOfRangeDropsOnlySyncByte_data();
    void lengthOutOfRangeDropsOnlySyncByte();
    void rejectedCandidateDoesNotHideFollowingFrame_data();
    void rejectedCandidateDoesNotHideFollowingFrame();
    void falseSyncWithLength300();
    void incompleteFrameIsKept();

    void randomStreamYieldsEveryIntactFrameOnce();
};

void TestCodec::builtFramesMatchWorkedExamples_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("parameter read request") << buildFrameV0(0xC0, {}) << ReadRequest;
    QTest::newRow("version query") << buildFrameV1(0x00, 0x01, {}) << hex("AA0D04BB00000400080001 7D01");
    QTest::newRow("camera position 2") << buildCommandFrame(0xA2, 2, 0, 0, 0)
                                       << hex("AA1800C285A2020000000000000000000000000000006470");
    QTest::newRow("sbus channel write")
        << buildCommandFrame(0xA0, 0x8001, 0x8003, (4u << 16) | 5u, (2u << 16) | 6u)
        << hex("AA1800C285A0018000000380000005000400060002006814");
    QTest::newRow("start upgrade, size 1") << buildFrameV1(0x00, 0x0B, hex("0001000000"))
                                           << hex("AA1204C0000004000800 0B00010000009613");
}

void TestCodec::builtFramesMatchWorkedExamples()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(toHexText(built), toHexText(expected));
}

void TestCodec::crc16Modbus_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");

    QTest::newRow("empty") << QByteArray() << 0 << 0xFFFF;
    QTest::newRow("negative length") << QByteArray("abc") << -3 << 0xFFFF;
    QTest::newRow("check string") << QByteArray("123456789") << 9 << 0x4B37;
    QTest::newRow("read request body") << hex("AA0700B1C0") << 5 << 0x6C49;
    QTest::newRow("prefix only") << hex("AA0700B1C0FFFF") << 5 << 0x6C49;
}

void TestCodec::crc16Modbus()
{
    QFETCH(QByteArray, data);
    QFETCH(int, length);
    QFETCH(int, expected);
    QCOMPARE(int(::crc16Modbus(data.constData(), length)), expected);
}

void TestCodec::headerWordCarriesLengthBitsAndVersion()
{
    const QByteArray big = buildFrameV0(0x42, QByteArray(300 - 7, '\0'));
    QCOMPARE(big.size(), 300);
    QCOMPARE(toHexText(big.left(3)), QStringLiteral("AA 2C 01"));
    QCOMPARE(quint8(big[3]), quint8(0xAA + 0x2C + 0x01));

    const QByteArray v1 = buildFrameV1(0x00, 0x01, {}, 0x1234);
    QCOMPARE(toHexText(v1.mid(4, 2)), QStringLiteral("34 12"));

    const QByteArray minusOne = buildCommandFrame(0xA2, quint32(-1), 0, 0, 0);
    QCOMPARE(toHexText(minusOne.mid(6, 4)), QStringLiteral("FF FF FF FF"));
}

void TestCodec::builtFramesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("commandSet");
    QTest::addColumn<int>("commandId");
    QTest::addColumn<int>("sequence");
    QTest::addColumn<QByteArray>("payload");

    const QByteArray block(36, '\x07');
    QTest::newRow("v0 empty") << buildFrameV0(0xC0, {}) << 0 << 0 << 0xC0 << 0 << QByteArray();
    QTest::newRow("v0 parameter block") << buildFrameV0(0xC1, block) << 0 << 0 << 0xC1 << 0 << block;
    QTest::newRow("v0 largest") << buildFrameV0(0x86, QByteArray(505, '\xAA')) << 0 << 0 << 0x86 << 0
                                << QByteArray(505, '\xAA');
    QTest::newRow("v1 heartbeat") << buildFrameV1(0x01, 0x00, QByteArray(61, '\x11')) << 1 << 1 << 0x00 << 0
                                  << QByteArray(61, '\x11');
    QTest::newRow("v1 ack seq 0xBEEF") << buildFrameV1(0x00, 0x0E, {}, 0xBEEF) << 1 << 0 << 0x0E << 0xBEEF
                                       << QByteArray();
    QTest::newRow("v1 largest") << buildFrameV1(0x00, 0x02, QByteArray(499, '\x01')) << 1 << 0 << 0x02 << 0
                                << QByteArray(499, '\x01');
}

void TestCodec::builtFramesRoundTrip()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, version);
    QFETCH(int, commandSet);
    QFETCH(int, commandId);
    QFETCH(int, sequence);
    QFETCH(QByteArray, payload);

    QByteArray buffer = frame;
    const QList<ParsedFrame> frames = drain(buffer);
    QCOMPARE(frames.size(), 1);
    const ParsedFrame &got = frames.first();
    QVERIFY(got.valid);
    QCOMPARE(int(got.version), version);
    QCOMPARE(int(got.commandSet), commandSet);
    QCOMPARE(int(got.commandId), commandId);
    QCOMPARE(int(got.v1CommandId), version == 1 ? commandId : 0);
    QCOMPARE(int(got.sequence), sequence);
    QCOMPARE(got.payload, payload);
    QVERIFY(buffer.isEmpty());
}

void TestCodec::frameDeliveredByteByByte()
{
    QByteArray buffer;
    for (int i = 0; i < ReadRequest.size() - 1; ++i)
        QVERIFY2(feed(buffer, ReadRequest.mid(i, 1)).isEmpty(), qPrintable(QString::number(i)));
    const QList<ParsedFrame> frames = feed(buffer, ReadRequest.right(1));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(int(frames[0].version), 0);
    QCOMPARE(int(frames[0].commandId), 0xC0);
    QVERIFY(frames[0].payload.isEmpty());
    QVERIFY(buffer.isEmpty());
}

void TestCodec::twoFramesInOnePiece()
{
    QByteArray buffer;
    const QList<ParsedFrame> frames =
        feed(buffer, buildCommandFrame(0x90, 0, 0, 0, 0) + buildFrameV1(0x00, 0x02, hex("0200000105000101")));
    QCOMPARE(frames.size(), 2);
    QCOMPARE(int(frames[0].commandId), 0x85);
    QCOMPARE(int(frames[0].payload.at(0)) & 0xFF, 0x90);
    QCOMPARE(int(frames[1].v1CommandId), 0x02);
    QVERIFY(buffer.isEmpty());
}

void TestCodec::garbageBeforeFrameIsDropped()
{
    QByteArray buffer;
    const QList<ParsedFrame> frames = feed(buffer, hex("001122") + ReadRequest);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(int(frames[0].commandId), 0xC0);
    QVERIFY(buffer.isEmpty());
}

void TestCodec::sixGarbageBytesWaitSeventhDropsAll()
{
    QByteArray buffer;
    QVERIFY(feed(buffer, hex("010203040506")).isEmpty());
    QCOMPARE(buffer.size(), 6);
    QVERIFY(feed(buffer, hex("07")).isEmpty());
    QVERIFY(buffer.isEmpty());
}

void TestCodec::lengthOutOfRangeDropsOnlySyncByte_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::newRow("L = 1023") << hex("AAFF03");
    QTest::newRow("L = 6") << hex("AA0600");
    QTest::newRow("L = 513") << hex("AA0102");
    QTest::newRow("L = 0") << hex("AA0000");
}

void TestCodec::lengthOutOfRangeDropsOnlySyncByte()
{
    QFETCH(QByteArray, prefix);
    // The frame starts right after the false sync byte's header word, so it is
    // found only if the search resumes at the byte after the 0xAA.
    QByteArray buffer;
    const QList<ParsedFrame> frames = feed(buffer, prefix + ReadRequest + hex("010203"));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(int(frames[0].commandId), 0xC0);
    QCOMPARE(buffer, hex("010203"));
}

void TestCodec::rejectedCandidateDoesNotHideFollowingFrame_data()
{
    QTest::addColumn<QByteArray>("rejected");

    QTest::newRow("CRC bytes swapped") << hex("AA0700B1C06C49");

    QByteArray badHeaderSum = ReadRequest;
    badHeaderSum[3] = char(0xB2);
    QTest::newRow("wrong header sum") << badHeaderSum;

    QTest::newRow("version 2") << withCrc(header(11, 2) + hex("0102030405"));
    QTest::newRow("version 1 of 12 bytes") << withCrc(header(12, 1) + hex("000004000800"));
    QTest::newRow("version 1 of 7 bytes") << withCrc(header(7, 1) + hex("00"));
    QTest::newRow("CRC over body only") << header(7, 0) + hex("C0")
                                               + le32(::crc16Modbus(hex("C0").constData(), 1)).left(2);
    QByteArray corruptPayload = buildFrameV0(0xC1, QByteArray(22, '\x01'));
    corruptPayload[10] = char(0x02);
    QTest::newRow("corrupt payload") << corruptPayload;
}

void TestCodec::rejectedCandidateDoesNotHideFollowingFrame()
{
    QFETCH(QByteArray, rejected);
    const QByteArray good = buildFrameV1(0x01, 0x00, QByteArray(22, '\x05'));

    QByteArray buffer;
    QList<ParsedFrame> frames = feed(buffer, rejected + good);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(int(frames[0].commandSet), 1);
    QCOMPARE(frames[0].payload, QByteArray(22, '\x05'));
    QVERIFY(buffer.isEmpty());

    // The same with the good frame starting inside the rejected candidate's length:
    // its first bytes overlap the tail the bad header announced.
    buffer.clear();
    frames = feed(buffer, rejected.left(rejected.size() - 2) + good);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].payload, QByteArray(22, '\x05'));
}

void TestCodec::falseSyncWithLength300()
{
    const QByteArray good = buildCommandFrame(0x91, 0, 0, 0, 0);

    // Header sum wrong: dropped at once, the frame behind it comes out without waiting.
    QByteArray noise = hex("AA2C0100");
    QByteArray buffer;
    QList<ParsedFrame> frames = feed(buffer, hex("1234") + noise + good);
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].payload.left(1), hex("91"));
    QVERIFY(buffer.isEmpty());

    // Header sum right by chance: the candidate may be a real 300-byte frame, so
    // extraction waits for 300 bytes; when its CRC fails the frame inside is still found.
    noise = header(300, 0);
    buffer.clear();
    frames = feed(buffer, noise + good);
    QVERIFY(frames.isEmpty());
    QCOMPARE(buffer.size(), noise.size() + good.size());
    const int missing = 300 - buffer.size();
    frames = feed(buffer, QByteArray(missing - 1, '\x33'));
    QVERIFY(frames.isEmpty());
    frames = feed(buffer, hex("33"));
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].payload.left(1), hex("91"));
    QVERIFY(buffer.size() < 7);
}

void TestCodec::incompleteFrameIsKept()
{
    const QByteArray frame = buildFrameV1(0x01, 0x00, QByteArray(61, '\x00'));
    QByteArray buffer;
    QVERIFY(feed(buffer, hex("5555") + frame.left(40)).isEmpty());
    QCOMPARE(buffer, frame.left(40));
    QCOMPARE(feed(buffer, frame.mid(40)).size(), 1);
    QVERIFY(buffer.isEmpty());
}

namespace {
struct ExpectedFrame
{
    int version;
    int commandSet;
    int commandId;
    int sequence;
    QByteArray payload;
};

QByteArray randomBytes(QRandomGenerator &random, int count, int syncOneIn)
{
    QByteArray out(count, '\0');
    for (char &byte : out)
        byte = random.bounded(syncOneIn) == 0 ? char(0xAA) : char(random.bounded(256));
    return out;
}

// Line noise: random bytes rich in sync bytes, now and then a header that is
// right in every checked byte so that extraction has to wait for its length.
QByteArray lineNoise(QRandomGenerator &random)
{
    QByteArray noise = randomBytes(random, random.bounded(1, 40), 6);
    if (random.bounded(5) == 0)
        noise.insert(random.bounded(noise.size() + 1),
                     header(random.bounded(7, 513), random.bounded(2)) + randomBytes(random, 3, 4));
    return noise;
}

ExpectedFrame randomFrame(QRandomGenerator &random, QByteArray &bytes)
{
    ExpectedFrame expected {};
    const bool large = random.bounded(20) == 0;
    if (random.bounded(2) == 0) {
        expected = {0, 0, int(random.bounded(256)), 0,
                    randomBytes(random, random.bounded(large ? 506 : 40), 8)};
        bytes = buildFrameV0(quint8(expected.commandId), expected.payload);
    } else {
        expected = {1, int(random.bounded(2)), int(random.bounded(256)), int(random.bounded(65536)),
                    randomBytes(random, random.bounded(large ? 500 : 62), 8)};
        bytes = buildFrameV1(quint8(expected.commandSet), quint8(expected.commandId), expected.payload,
                             quint16(expected.sequence));
    }
    return expected;
}

bool sameFrame(const ParsedFrame &got, const ExpectedFrame &expected)
{
    return got.valid && got.version == expected.version && got.commandSet == expected.commandSet
        && got.commandId == expected.commandId && got.sequence == expected.sequence
        && got.payload == expected.payload;
}
}

void TestCodec::randomStreamYieldsEveryIntactFrameOnce()
{
    QRandomGenerator random(20240611);
    QByteArray stream;
    QList<ExpectedFrame> expected;
    for (int i = 0; i < 3000; ++i) {
        if (random.bounded(3) == 0)
            stream.append(lineNoise(random));
        QByteArray bytes;
        const ExpectedFrame frame = randomFrame(random, bytes);
        if (random.bounded(25) == 0) {
            // Noise landing on the frame itself: it must not come out.
            const int at = random.bounded(bytes.size());
            bytes[at] = char(bytes.at(at) ^ (1 + random.bounded(255)));
        } else {
            expected.append(frame);
        }
        stream.append(bytes);
    }
    // Enough quiet line at the end for any waiting false candidate to be decided.
    stream.append(QByteArray(FrameFormat::MaxLength, '\0'));

    QByteArray buffer;
    QList<ParsedFrame> got;
    for (int pos = 0; pos < stream.size();) {
        const int piece = qMin(int(random.bounded(1, 200)), int(stream.size() - pos));
        got.append(feed(buffer, stream.mid(pos, piece)));
        pos += piece;
        QVERIFY2(buffer.size() < FrameFormat::MaxLength, qPrintable(QString::number(buffer.size())));
        if (buffer.size() >= FrameFormat::MinLength) {
            QCOMPARE(quint8(buffer[0]), quint8(0xAA));
            QVERIFY(buffer.size() < ((quint8(buffer[1]) | (quint8(buffer[2]) << 8)) & 0x3FF));
        }
    }

    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(sameFrame(got[i], expected[i]), qPrintable(QStringLiteral("frame %1").arg(i)));
}

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
