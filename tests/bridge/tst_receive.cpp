// The receive path under random input and bursts, through the real bridge.
#include "bridge/AppBridge.h"
#include "protocol/FrameCodec.h"
#include "support/PseudoTerminal.h"

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
    void randomInputInAnyPiecesGivesEveryFrameOnce();
    void burstYieldsToTheEventLoop();
};

void TestReceive::randomInputInAnyPiecesGivesEveryFrameOnce()
{
    const NoisyStream stream = noisyStream(20'000'000, 20261206);
    for (quint32 pieceSeed : { 1u, 2u }) {
        OpenBridge link;
        QRandomGenerator pieces(pieceSeed);
        for (int offset = 0; offset < stream.bytes.size();) {
            const int piece = 1 + pieces.bounded(4096);
            link.bridge.serialLink().receive(stream.bytes.mid(offset, piece));
            offset += piece;
            QVERIFY2(link.bridge.serialLink().receiveBuffer().size() <= ReceiveBufferBound,
                     qPrintable(QString::number(link.bridge.serialLink().receiveBuffer().size())));
        }
        QTRY_COMPARE(link.pitches.size(), stream.pitches.size());
        QCOMPARE(link.pitches, stream.pitches);
    }
}

// A burst far larger than the serial line could deliver between two frames of
// the window is cut into slices, with the event loop running in between.
void TestReceive::burstYieldsToTheEventLoop()
{
    const NoisyStream stream = noisyStream(10'000'000, 7);
    OpenBridge link;
    int ticks = 0;
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
    tick.start();

    link.bridge.serialLink().receive(stream.bytes);
    QVERIFY2(link.pitches.size() < stream.pitches.size(), "the whole burst was handled in one go");
    QTRY_COMPARE_WITH_TIMEOUT(link.pitches.size(), stream.pitches.size(), 60000);
    QVERIFY(ticks > 0);
    QCOMPARE(link.pitches, stream.pitches);
}

QTEST_GUILESS_MAIN(TestReceive)
#include "tst_receive.moc"
