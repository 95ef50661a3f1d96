#include "bridge/AppBridge.h"
#include "protocol/FrameCodec.h"
#include "support/PseudoTerminal.h"
#include "support/Waiting.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

namespace {
// An incomplete frame of at most 511 bytes, or fewer than 7 bytes, may wait.
const int ReceiveBufferBound = 518;

QByteArray heartbeat(qint16 pitch)
{
    QByteArray payload(61, '\0');
    payload[0] = char(pitch & 0xFF);
    payload[1] = char((pitch >> 8) & 0xFF);
    return buildFrameV1(0x01, 0x00, payload);
}

// Seeded noise rich in sync bytes, with intact heartbeats between the noise.
struct NoisyStream
{
    QByteArray bytes;
    QVector<double> pitches;
};

NoisyStream noisyStream(int noiseBytes, quint32 seed)
{
    QRandomGenerator rng(seed);
    NoisyStream stream;
    int noise = 0;
    while (noise < noiseBytes) {
        const int run = rng.bounded(600);
        for (int i = 0; i < run; ++i)
            stream.bytes.append(rng.bounded(8) == 0 ? char(0xAA) : char(rng.bounded(256)));
        noise += run;
        const qint16 pitch = qint16(rng.bounded(-18000, 18000));
        stream.bytes.append(heartbeat(pitch));
        stream.pitches.append(pitch / 100.0);
    }
    return stream;
}

struct OpenBridge
{
    OpenBridge()
    {
        bridge.openSerial(pty.slaveName(), 921600);
        QObject::connect(&bridge, &AppBridge::heartbeatChanged, &bridge, [this] {
            if (bridge.hbReceived())
                pitches.append(bridge.hbPitch());
        });
    }
    PseudoTerminal pty;
    AppBridge bridge;
    QVector<double> pitches;
};
}

class TestReceive : public QObject
{
    Q_OBJECT

private slots:
    void everyFrameOnce_data();
    void everyFrameOnce();
};

void TestReceive::everyFrameOnce_data()
{
    QTest::addColumn<quint32>("pieceSeed");   // 0: the whole stream in one burst
    QTest::newRow("random pieces") << 1u;
    // A burst far larger than the serial line could deliver between two frames
    // of the window is cut into slices, with the event loop running in between.
    QTest::newRow("one burst") << 0u;
}

void TestReceive::everyFrameOnce()
{
    QFETCH(quint32, pieceSeed);
    static const NoisyStream stream = noisyStream(20'000'000, 20261206);
    OpenBridge link;
    int ticks = 0;
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
    tick.start();
    if (pieceSeed == 0) {
        link.bridge.serialLink().receive(stream.bytes);
        QVERIFY2(link.pitches.size() < stream.pitches.size(), "the whole burst was handled in one go");
    }
    QRandomGenerator pieces(pieceSeed);
    for (int offset = 0; pieceSeed != 0 && offset < stream.bytes.size();) {
        const int piece = 1 + pieces.bounded(4096);
        link.bridge.serialLink().receive(stream.bytes.mid(offset, piece));
        offset += piece;
        QVERIFY2(link.bridge.serialLink().receiveBuffer().size() <= ReceiveBufferBound,
                 qPrintable(QString::number(link.bridge.serialLink().receiveBuffer().size())));
    }
    QTRY_COMPARE_WITH_TIMEOUT(link.pitches.size(), stream.pitches.size(), ProcessWaitMs);
    QVERIFY(pieceSeed != 0 || ticks > 0);
    QCOMPARE(link.pitches, stream.pitches);
}

QTEST_GUILESS_MAIN(TestReceive)
#include "tst_receive.moc"
