// Throughput of the receive path: pieces appended to a buffer and cut into
// frames exactly as the bridge does on every read from the port.
//
// Prints one tab-separated row for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "protocol/FrameCodec.h"
#include "support/Spread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
const double LineRateBytesPerSecond = 921600.0 / 10.0;
const int HeartbeatPayload = 61;
const int ParamBlockPayload = 36;
const int HeartbeatsPerParamBlock = 9;
const double NoiseShare = 0.01;

struct Options
{
    int megabytes = 16;
    int pieceSize = 64;
    int rounds = 3;
};

QByteArray randomBytes(QRandomGenerator &random, int count)
{
    QByteArray out(count, '\0');
    for (char &byte : out)
        byte = char(random.bounded(256));
    return out;
}

// Heartbeats with a parameter block now and then, and about one byte in a
// hundred of line noise between frames. Returns the number of frames in it.
int buildStream(QByteArray &stream, int targetBytes, QRandomGenerator &random)
{
    stream.reserve(targetBytes + 1024);
    int frames = 0;
    qint64 noiseBytes = 0;
    while (stream.size() < targetBytes) {
        const bool paramBlock = frames % (HeartbeatsPerParamBlock + 1) == HeartbeatsPerParamBlock;
        if (paramBlock)
            stream.append(buildFrameV0(0xC1, randomBytes(random, ParamBlockPayload)));
        else
            stream.append(buildFrameV1(0x01, 0x00, randomBytes(random, HeartbeatPayload)));
        ++frames;
        while (noiseBytes < qint64(stream.size() * NoiseShare)) {
            const int burst = random.bounded(1, 8);
            stream.append(randomBytes(random, burst));
            noiseBytes += burst;
        }
    }
    return frames;
}

// One pass over the stream; returns the number of frames extracted. With
// `statistics`, the link figures are kept on the way, as the bridge keeps them.
int receiveAll(const QByteArray &stream, int pieceSize, ReceiveStatistics *statistics)
{
    QByteArray buffer;
    ParsedFrame frame;
    int frames = 0;
    for (int pos = 0; pos < stream.size(); pos += pieceSize) {
        buffer.append(stream.constData() + pos, std::min(pieceSize, int(stream.size()) - pos));
        if (statistics) {
            while (extractFrame(buffer, frame, *statistics))
                ++frames;
        } else {
            while (extractFrame(buffer, frame))
                ++frames;
        }
    }
    return frames;
}

Options parseOptions(const QStringList &args)
{
    Options options;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const int value = args.at(i + 1).toInt();
        if (args.at(i) == QLatin1String("--megabytes"))
            options.megabytes = std::max(1, value);
        else if (args.at(i) == QLatin1String("--piece"))
            options.pieceSize = std::max(1, value);
        else if (args.at(i) == QLatin1String("--rounds"))
            options.rounds = std::max(1, value);
    }
    return options;
}

// Bytes per second over the rounds; all zero when a round missed frames.
Spread measure(const QByteArray &stream, int expectedFrames, const Options &options, bool counted)
{
    std::vector<double> seconds;
    for (int round = 0; round < options.rounds; ++round) {
        ReceiveStatistics statistics;
        QElapsedTimer timer;
        timer.start();
        const int frames = receiveAll(stream, options.pieceSize, counted ? &statistics : nullptr);
        seconds.push_back(timer.nsecsElapsed() / 1e9);
        if (frames != expectedFrames) {
            std::fprintf(stderr, "receive: %d of %d frames extracted\n", frames, expectedFrames);
            return {};
        }
    }
    const Spread time = spreadOf(seconds);
    return {stream.size() / time.max, stream.size() / time.median, stream.size() / time.min};
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());

    QRandomGenerator random(7);
    QByteArray stream;
    const int expectedFrames = buildStream(stream, options.megabytes * 1000 * 1000, random);

    for (const bool counted : {false, true}) {
        const Spread figures = measure(stream, expectedFrames, options, counted);
        if (figures.median <= 0)
            return 1;
        std::printf("receive, frame cutter alone (%d-byte pieces%s; min %.0fx, max %.0fx)\t%.1f\tMB/s\t%.3f MB/s "
                    "(921600 baud)\t%.0fx\n",
                    options.pieceSize, counted ? ", link figures kept" : "", figures.min / LineRateBytesPerSecond,
                    figures.max / LineRateBytesPerSecond, figures.median / 1e6, LineRateBytesPerSecond / 1e6,
                    figures.median / LineRateBytesPerSecond);
    }
    std::fprintf(stderr, "reproduce: ./scripts/bench receive --megabytes %d --piece %d --rounds %d\n",
                 options.megabytes, options.pieceSize, options.rounds);
    return 0;
}
