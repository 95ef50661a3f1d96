// How long the window's event loop can be kept waiting by a burst of input:
// 10 MB of heartbeats and line noise handed to the receive path at once, while a
// 10 ms timer on the same thread records how late each of its ticks comes.
//
// Prints a tab-separated row for ./scripts/bench: name, figure, unit, reference, ratio.
#include "bridge/AppBridge.h"
#include "protocol/FrameCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>
#include <pty.h>
#include <termios.h>

namespace {
const int BurstBytes = 10 * 1000 * 1000;
const int TickMs = 10;
const double AllowedDelayMs = 50.0;

QByteArray noisyHeartbeats(int size, int &frames)
{
    QRandomGenerator rng(1);
    QByteArray stream;
    stream.reserve(size + 1024);
    while (stream.size() < size) {
        QByteArray payload(61, '\0');
        for (char &byte : payload)
            byte = char(rng.bounded(256));
        stream += buildFrameV1(0x01, 0x00, payload);
        ++frames;
        for (int noise = rng.bounded(4); noise > 0; --noise)
            stream += char(rng.bounded(256));
    }
    return stream;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return 1;
    AppBridge bridge;
    if (!bridge.openSerial(QString::fromLocal8Bit(name), 921600))
        return 1;

    int frames = 0;
    const QByteArray burst = noisyHeartbeats(BurstBytes, frames);
    int handled = 0;
    QObject::connect(&bridge, &AppBridge::heartbeatChanged, [&] {
        if (++handled == frames)
            QTimer::singleShot(3 * TickMs, &app, &QCoreApplication::quit);
    });

    QElapsedTimer clock;
    qint64 lastTick = 0;
    double worstLateMs = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worstLateMs = qMax(worstLateMs, (now - lastTick) / 1e6 - TickMs);
        lastTick = now;
    });
    clock.start();
    tick.start(TickMs);
    QTimer::singleShot(50, [&] { bridge.onRawBytes(burst); });
    app.exec();

    std::printf("event loop during a 10 MB burst\t%.1f\tms late\tat most %.0f ms\t%.2fx\n", worstLateMs,
                AllowedDelayMs, worstLateMs / AllowedDelayMs);
    return 0;
}
