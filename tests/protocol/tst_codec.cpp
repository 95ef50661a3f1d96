#include "protocol/FrameCodec.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
const auto fromHex = [](const char *text) { return QByteArray::fromHex(text); };

// Header bytes 0-3 of a frame of `length` bytes and `version`, with a correct header sum.
QByteArray header(int length, int version)
{
    const QByteArray start = fromHex("AA") + char(length & 0xFF) + char((version << 2) | (length >> 8));
    return start + char(sum8(start.constData(), 3));
}

QByteArray withCrc(const QByteArray &data, int length = std::numeric_limits<int>::max())
{
    const quint16 crc = crc16Modbus(data.constData(), qMin(length, data.size()));
    return data.left(length) + char(crc & 0xFF) + char(crc >> 8);
}

// The frames that one piece of input completes, built again to compare byte for
// byte; counted in `counted` unless it is null, and in `records` one by one.
QByteArray feed(QByteArray &buffer, const QByteArray &piece, ReceiveStatistics *counted, quint64 &records)
{
    QByteArray frames;
    ParsedFrame f;
    for (buffer += piece; counted ? extractFrame(buffer, f, *counted) : extractFrame(buffer, f); ++records)
        frames += !f.valid || (f.version == 1 && f.v1CommandId != f.commandId) ? QByteArray("invalid record")
                  : f.version == 0 ? buildFrameV0(f.commandId, f.payload)
                                   : buildFrameV1(f.commandSet, f.commandId, f.payload, f.sequence);
    return frames;
}

// Bytes 0x00 to 0x7F over and over: no sync byte among them.
QByteArray patterned(int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(i % 0x80));
    return bytes;
}

// A count that depends on how the input was cut: a candidate whose CRC fails
// when it arrives whole is dropped uncounted when a frame inside it completes first.
const int Uncounted = -1;

const QByteArray ReadRequest = fromHex("AA0700B1C0496C");
const QByteArray Good = buildFrameV1(0x01, 0x00, QByteArray(22, '\x05'), 0x0102);

// Frames of all kinds and sizes in noise rich in sync bytes and false headers,
// some hit by the noise; `intact` gets the frames that were not.
QByteArray randomNoisyStream(QByteArray &intact)
{
    QRandomGenerator random(20240611);
    QByteArray stream;
    const auto noise = [&](int count) {
        QByteArray out;
        while (out.size() < count)
            out += random.bounded(6) ? char(random.bounded(256)) : char(0xAA);
        return out;
    };
    for (int i = 0; i < 3000; ++i) {
        stream += noise(random.bounded(3) == 0 ? random.bounded(1, 40) : 0)
                  + (random.bounded(15) == 0 ? header(random.bounded(7, 513), random.bounded(2)) : QByteArray());
        const QByteArray payload = noise(random.bounded(random.bounded(20) == 0 ? 500 : 62));
        const quint8 id = quint8(random.bounded(256));
        QByteArray frame = id & 2 ? buildFrameV0(id, payload) : buildFrameV1(id & 1, id, payload, id * 251);
        if (random.bounded(25) == 0)
            frame.data()[random.bounded(frame.size())] ^= char(1 + random.bounded(255));
        else
            intact += frame;
        stream += frame;
    }
    // No padding at the end: a false frame start must not hold up the frames behind it.
    intact += ReadRequest;
    return stream + ReadRequest;
}

void addRandomNoisyStreamRow()
{
    QByteArray intact;
    const QByteArray stream = randomNoisyStream(intact);
    QTest::newRow("random noisy stream") << stream << intact << QByteArray() << Uncounted << Uncounted;
}
}

class TestCodec : public QObject
{
    Q_OBJECT

private slots:
    void bytes_data()
    {
        QTest::addColumn<QByteArray>("built");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char *name, const QByteArray &built, const char *expected) {
            QTest::newRow(name) << built << fromHex(expected);
        };
        row("read request", buildFrameV0(0xC0, {}), "AA0700B1C0496C");
        row("version query", buildFrameV1(0x00, 0x01, {}), "AA0D04BB000004000800017D01");
        row("camera 2", buildCommandFrame(0xA2, 2, 0, 0, 0), "AA1800C285A2020000000000000000000000000000006470");
        row("sbus write", buildCommandFrame(0xA0, 0x8001, 0x8003, (4u << 16) | 5u, (2u << 16) | 6u),
            "AA1800C285A0018000000380000005000400060002006814");
        row("start upgrade", buildFrameV1(0x00, 0x0B, fromHex("0001000000")), "AA1204C00000040008000B00010000009613");
        row("300 bytes", buildFrameV0(0x42, QByteArray(293, '\0')).left(4), "AA2C01D7");
        row("sequence", buildFrameV1(0x00, 0x01, {}, 0x1234).mid(4, 2), "3412");
        row("word -1", buildCommandFrame(0xA2, quint32(-1), 0, 0, 0).mid(6, 4), "FFFFFFFF");
        row("CRC, negative length", withCrc("abc", -3), "FFFF");
        row("CRC check string", withCrc("123456789"), "313233343536373839374B");
    }

    void bytes()
    {
        QFETCH(QByteArray, built);
        QFETCH(QByteArray, expected);
        QCOMPARE(toHexText(built), toHexText(expected));
    }

    // Every byte is consumed either in a frame or counted as thrown away.
    void resynchronisation_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<QByteArray>("rest");
        QTest::addColumn<int>("headerSumFailures");
        QTest::addColumn<int>("crcFailures");
        QTest::newRow("two frames") << fromHex("001122") + Good + ReadRequest << Good + ReadRequest << QByteArray() << 0 << 0;
        QTest::newRow("six garbage bytes wait") << fromHex("010203040506") << QByteArray() << fromHex("010203040506") << 0 << 0;
        QTest::newRow("seven are dropped") << fromHex("01020304050607") << QByteArray() << QByteArray() << 0 << 0;
        QTest::newRow("wrong header sum, L = 300: no wait") << fromHex("AA2C0100") + Good << Good << QByteArray() << 1 << 0;
        // On a quiet request/response line the announced 400 bytes never come.
        QTest::newRow("false 400-byte start, then a reply and silence") << header(400, 0) + Good << Good << QByteArray()
                                                                        << 0 << 0;
        QTest::newRow("two false starts before a reply") << header(300, 1) + header(450, 0) + ReadRequest
                                                         << ReadRequest << QByteArray() << 0 << 0;
        QTest::newRow("a reply still arriving waits") << header(400, 0) + Good.left(20) << QByteArray()
                                                      << header(400, 0) + Good.left(20) << 0 << 0;

        // No header sum fails among these; the CRC failures, the candidate whole and with its CRC cut off.
        struct Rejected {
            const char *name;
            QByteArray bytes;
            int crcFailuresAfter;
            int crcFailuresInside;
        };
        const QList<Rejected> rejected {
            {"L = 1023", fromHex("AAFF03"), 0, 0}, {"L = 6", fromHex("AA0600"), 0, 0}, {"L = 513", fromHex("AA0102"), 0, 0},
            {"CRC swapped", fromHex("AA0700B1C06C49"), 1, 1}, {"CRC of body only", header(7, 0) + withCrc(fromHex("C0")), 1, 1},
            {"version 2", withCrc(header(11, 2) + fromHex("0102030405")), 0, 1},
            {"version 1 of 12 bytes", withCrc(header(12, 1) + fromHex("000004000800")), 0, 1},
            // A false sync byte in noise whose header sum is right by chance, announcing 300 bytes.
            {"false 300-byte candidate", header(300, 0) + QByteArray(60, '\x33'), Uncounted, Uncounted}};
        const QByteArray tail = QByteArray(300, '\x33') + ReadRequest;
        const QByteArray found = Good + ReadRequest;
        for (const Rejected &bad : rejected) {
            QTest::addRow("%s, after", bad.name) << bad.bytes + Good + tail << found << QByteArray() << 0
                                                 << bad.crcFailuresAfter;
            QTest::addRow("%s, inside", bad.name) << bad.bytes.chopped(2) + Good + tail << found << QByteArray() << 0
                                                  << bad.crcFailuresInside;
        }
        // The length field may announce up to 512 bytes, in either version; one more
        // is no frame, however well formed.
        const QByteArray longestV0 = buildFrameV0(0x42, patterned(512 - FrameFormat::V0Overhead));
        const QByteArray longestV1 = buildFrameV1(0x01, 0x42, patterned(512 - FrameFormat::V1Overhead), 0x0102);
        QTest::newRow("512 bytes, version 0: the longest frame")
            << longestV0 + ReadRequest << longestV0 + ReadRequest << QByteArray() << 0 << 0;
        QTest::newRow("512 bytes, version 1: the longest frame")
            << longestV1 + ReadRequest << longestV1 + ReadRequest << QByteArray() << 0 << 0;
        QTest::newRow("513 bytes, version 0: too long")
            << buildFrameV0(0x42, patterned(513 - FrameFormat::V0Overhead)) + ReadRequest << ReadRequest << QByteArray()
            << 0 << 0;
        QTest::newRow("513 bytes, version 1: too long")
            << buildFrameV1(0x01, 0x42, patterned(513 - FrameFormat::V1Overhead)) + ReadRequest << ReadRequest
            << QByteArray() << 0 << 0;
        addRandomNoisyStreamRow();
    }

    // The same outcome whole, byte by byte and in random pieces, counted or not.
    void resynchronisation()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, frames);
        QFETCH(QByteArray, rest);
        QFETCH(int, headerSumFailures);
        QFETCH(int, crcFailures);
        for (const bool counting : {false, true}) {
            for (const int piece : {int(input.size()), 1, 0}) {
                QByteArray buffer;
                QByteArray found;
                ReceiveStatistics counted;
                quint64 records = 0;
                for (int pos = 0, size = piece; pos < input.size(); pos += size) {
                    size = piece ? piece : 1 + pos % 197;
                    found += feed(buffer, input.mid(pos, size), counting ? &counted : nullptr, records);
                    QVERIFY2(buffer.size() < FrameFormat::MaxLength, qPrintable(QString::number(buffer.size())));
                }
                QCOMPARE(toHexText(found), toHexText(frames));
                QCOMPARE(buffer, rest);
                if (!counting)
                    continue;
                QCOMPARE(counted.frames, records);
                QCOMPARE(counted.resyncBytes, quint64(input.size() - rest.size() - frames.size()));
                QVERIFY(headerSumFailures == Uncounted || counted.headerSumFailures == quint64(headerSumFailures));
                QVERIFY(crcFailures == Uncounted || counted.crcFailures == quint64(crcFailures));
                QCOMPARE(counted.bytesReceived, quint64(0));
            }
        }
    }

    // One record serves frame after frame, its payload buffer reused: payloads a
    // handler kept stay as they were, longer and shorter frames (and empty ones)
    // come out whole, and a record without a frame has no payload.
    void reusedRecordLeavesKeptPayloadsAlone()
    {
        QRandomGenerator random(19);
        QList<QByteArray> sent;
        QByteArray buffer;
        for (int length : {61, 36, 0, 512 - FrameFormat::V1Overhead, 1, 22}) {
            QByteArray payload(length, '\0');
            for (char &byte : payload)
                byte = char(random.bounded(256));
            sent.append(payload);
            buffer += length % 2 ? buildFrameV1(0x01, 0x00, payload) : buildFrameV0(CommandId::ParamBlock, payload);
        }
        ParsedFrame record;
        QList<QByteArray> kept;
        while (extractFrame(buffer, record))
            kept.append(record.payload);
        QCOMPARE(kept, sent);
        QVERIFY(!record.valid);
        QVERIFY(record.payload.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
