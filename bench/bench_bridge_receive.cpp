// Throughput of the whole receive path as the tool runs it: bytes handed to the
// bridge of an open link, cut into frames, decoded and published. The stream is
// what a controller sends while nobody asks it anything: heartbeats, a little
// line noise. Once with the bridge alone, once with the window's bindings
// attached (the QML work a heartbeat causes; nothing is painted while the
// benchmark holds the thread).
//
// Prints tab-separated rows for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "app/Startup.h"
#include "bridge/AppBridge.h"
#include "protocol/FrameCodec.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQmlApplicationEngine>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <pty.h>
#include <unistd.h>
#include <vector>

namespace {
const double LineRateBytesPerSecond = 921600.0 / 10.0;
const int HeartbeatPayload = 61;
const double NoiseShare = 0.01;
const int PieceSize = 64;
const int Rounds = 3;

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

QByteArray heartbeatStream(int targetBytes, int &heartbeats)
{
    QRandomGenerator random(5);
    QByteArray stream;
    stream.reserve(targetBytes + 256);
    heartbeats = 0;
    while (stream.size() < targetBytes) {
        QByteArray payload(HeartbeatPayload, '\0');
        for (char &byte : payload)
            byte = char(random.bounded(256));
        stream.append(buildFrameV1(0x01, 0x00, payload));
        ++heartbeats;
        if (random.generateDouble() < NoiseShare * 70)
            stream.append(char(random.bounded(256)));
    }
    return stream;
}

struct Figures
{
    double min = 0;
    double median = 0;
    double max = 0;
};

Figures measure(AppBridge &bridge, const QByteArray &stream, int heartbeats)
{
    std::vector<double> bytesPerSecond;
    for (int round = 0; round < Rounds; ++round) {
        int received = 0;
        const auto connection = QObject::connect(&bridge, &AppBridge::heartbeatChanged, [&] { ++received; });
        QElapsedTimer timer;
        timer.start();
        for (int pos = 0; pos < stream.size(); pos += PieceSize)
            bridge.onRawBytes(stream.mid(pos, PieceSize));
        const double seconds = timer.nsecsElapsed() / 1e9;
        QObject::disconnect(connection);
        if (received < heartbeats)
            std::fprintf(stderr, "bridge receive: %d of %d heartbeats published\n", received, heartbeats);
        bytesPerSecond.push_back(stream.size() / seconds);
    }
    std::sort(bytesPerSecond.begin(), bytesPerSecond.end());
    return {bytesPerSecond.front(), bytesPerSecond[bytesPerSecond.size() / 2], bytesPerSecond.back()};
}

void printRow(const char *name, const Figures &figures, int heartbeats, int bytes)
{
    const double perHeartbeatUs = 1e6 * bytes / figures.median / heartbeats;
    std::printf("%s (min %.0fx, max %.0fx; %.1f us a heartbeat)\t%.2f\tMB/s\t%.3f MB/s (921600 baud)\t%.0fx\n", name,
                figures.min / LineRateBytesPerSecond, figures.max / LineRateBytesPerSecond, perHeartbeatUs,
                figures.median / 1e6, LineRateBytesPerSecond / 1e6, figures.median / LineRateBytesPerSecond);
}
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler(discardMessages);
    int master = -1;
    int slave = -1;
    char slaveName[256] = {};
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0)
        return 1;
    AppBridge bridge;
    if (!bridge.openSerial(QString::fromLocal8Bit(slaveName), 921600))
        return 1;

    int heartbeats = 0;
    const QByteArray stream = heartbeatStream(4 * 1000 * 1000, heartbeats);
    printRow("receive through the bridge, 64-byte pieces", measure(bridge, stream, heartbeats), heartbeats,
             stream.size());

    QQmlApplicationEngine engine;
    publishToQml(engine, bridge, QString());
    if (!loadMainWindow(engine, QIcon()))
        return 1;
    const QByteArray shorter = stream.left(stream.size() / 8);
    printRow("receive through the bridge, window bindings attached", measure(bridge, shorter, heartbeats / 8),
             heartbeats / 8, shorter.size());
    std::fprintf(stderr, "reproduce: ./scripts/bench receive\n");
    ::close(master);
    ::close(slave);
    return 0;
}
