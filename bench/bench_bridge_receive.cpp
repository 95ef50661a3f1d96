// Throughput of the whole receive path as the tool runs it: bytes handed to the
// bridge of an open link, cut into frames, decoded and published. The stream is
// what a controller sends while nobody asks it anything (a parameter block comes
// only when requested): heartbeats, a little line noise. Each 64-byte piece is
// one read from the port, and the event loop takes a turn after each, as in the
// tool, so timers (the window's coalesced updates among them) run on time.
// Once with the bridge alone, once with the real Main.qml loaded and liveTelemetry
// published as the tool does (the QML work heartbeats cause, and the window's
// painting on the offscreen platform), and the heap allocations a heartbeat costs;
// then the bridge alone with the link recorded, as every session is by default,
// and what that costs a heartbeat in CPU, the recorder's own thread included.
//
// Prints tab-separated rows for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "app/Startup.h"
#include "bridge/AppBridge.h"
#include "protocol/FrameCodec.h"
#include "record/SessionRecorder.h"
#include "support/Spread.h"
#include "support/ToolRun.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQmlApplicationEngine>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

// Every heap allocation of the process is counted on its way to the C library.
extern "C" void *__libc_malloc(size_t size);
extern "C" void *__libc_realloc(void *pointer, size_t size);
static std::atomic<long> heapAllocations {0};
extern "C" void *malloc(size_t size)
{
    heapAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
extern "C" void *realloc(void *pointer, size_t size)
{
    heapAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

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

struct Round
{
    double bytesPerSecond = 0;
    long allocations = 0;
};

Round receiveOnce(AppBridge &bridge, const QByteArray &stream, int heartbeats)
{
    int received = 0;
    const auto connection = QObject::connect(&bridge, &AppBridge::heartbeatChanged, [&] { ++received; });
    const long allocationsBefore = heapAllocations.load();
    QElapsedTimer timer;
    timer.start();
    int reads = 0;
    for (int pos = 0; pos < stream.size(); pos += PieceSize, ++reads) {
        // A buffer of its own, as a read from the port returns it.
        bridge.serialLink().receive(stream.mid(pos, PieceSize));
        QCoreApplication::processEvents();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const long allocations = heapAllocations.load() - allocationsBefore - reads;
    QObject::disconnect(connection);
    if (received < heartbeats)
        std::fprintf(stderr, "bridge receive: %d of %d heartbeats published\n", received, heartbeats);
    return {stream.size() / seconds, allocations};
}

Spread measure(AppBridge &bridge, const QByteArray &stream, int heartbeats, long &allocations)
{
    std::vector<double> bytesPerSecond;
    std::vector<long> allocationCounts;
    for (int round = 0; round < Rounds; ++round) {
        const Round result = receiveOnce(bridge, stream, heartbeats);
        bytesPerSecond.push_back(result.bytesPerSecond);
        allocationCounts.push_back(result.allocations);
    }
    std::sort(allocationCounts.begin(), allocationCounts.end());
    allocations = allocationCounts[allocationCounts.size() / 2];
    return spreadOf(bytesPerSecond);
}

void printRows(const char *name, const Spread &figures, int heartbeats, int bytes, long allocations)
{
    const double perHeartbeatUs = 1e6 * bytes / figures.median / heartbeats;
    std::printf("%s (min %.0fx, max %.0fx; %.1f us a heartbeat)\t%.2f\tMB/s\t%.3f MB/s (921600 baud), 100x\t%.0fx\n",
                name, figures.min / LineRateBytesPerSecond, figures.max / LineRateBytesPerSecond, perHeartbeatUs,
                figures.median / 1e6, LineRateBytesPerSecond / 1e6, figures.median / LineRateBytesPerSecond);
    std::printf("%s: heap allocations a heartbeat, besides the read's own buffer\t%.2f\tallocs\t"
                "%.2f heartbeats a 64-byte read\t-\n",
                name, double(allocations) / heartbeats, double(heartbeats) * PieceSize / bytes);
}

// The process's CPU a heartbeat over the rounds of `measure`, every thread's.
double cpuUsPerHeartbeat(AppBridge &bridge, const QByteArray &stream, int heartbeats, SessionRecorder *recorder)
{
    long allocations = 0;
    const double before = cpuSeconds(RUSAGE_SELF);
    measure(bridge, stream, heartbeats, allocations);
    if (recorder && !recorder->flush(30000))
        std::fprintf(stderr, "bridge receive: the recording was not written in time\n");
    return (cpuSeconds(RUSAGE_SELF) - before) * 1e6 / (double(Rounds) * heartbeats);
}

// The same stream with the link recorded, beside it unrecorded, on a link opened again for each.
void printRecordingRows(AppBridge &bridge, const QString &port, const QByteArray &stream, int heartbeats)
{
    const QTemporaryDir dir;
    SessionRecorder recorder(bridge.messages(), dir.path(), RecordingSettings());
    const double bare = cpuUsPerHeartbeat(bridge, stream, heartbeats, nullptr);
    bridge.serialLink().setFrameTap(&recorder);
    bridge.openSerial(port, 921600);
    const double recorded = cpuUsPerHeartbeat(bridge, stream, heartbeats, &recorder);
    bridge.closeSerial();
    bridge.serialLink().setFrameTap(nullptr);
    bridge.openSerial(port, 921600);
    const double share = (recorded - bare) * 200 / 1e4;
    std::printf("receive through the bridge, link recorded: CPU a heartbeat, every thread\t%.2f\tus\t"
                "not recorded %.2f us; at 200 Hz the recording takes %.3f %% of a core\t%.2fx\n",
                recorded, bare, share, recorded / bare);
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
    long allocations = 0;
    Spread figures = measure(bridge, stream, heartbeats, allocations);
    printRows("receive through the bridge, 64-byte pieces", figures, heartbeats, stream.size(), allocations);
    printRecordingRows(bridge, QString::fromLocal8Bit(slaveName), stream, heartbeats);

    QQmlApplicationEngine engine;
    publishToQml(engine, bridge, QString());
    if (!loadMainWindow(engine, QIcon()))
        return 1;
    // The same stream's first eighth, ending on a whole frame.
    int shorterHeartbeats = 0;
    const QByteArray shorter = heartbeatStream(stream.size() / 8, shorterHeartbeats);
    figures = measure(bridge, shorter, shorterHeartbeats, allocations);
    printRows("receive through the bridge, window bindings attached", figures, shorterHeartbeats, shorter.size(),
              allocations);
    std::fprintf(stderr, "reproduce: ./scripts/bench receive\n");
    ::close(master);
    ::close(slave);
    return 0;
}
