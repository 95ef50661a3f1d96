// Long run of the real tool, offscreen, against the simulated controller sending
// 200 heartbeats a second with 1 % line noise, with a parameter read every second.
// Reports frames handled and lost, resident memory at start and end, and the
// tool's CPU use as a share of one core.
//
//   bench_soak [--seconds N] [--hb-rate N] [--plots]
// (defaults 600 s, 200 Hz); --plots keeps the live plots drawer open.
// Prints tab-separated rows for ./scripts/bench: name, figure, unit, reference, ratio.
#include "app/Startup.h"
#include "bridge/AppBridge.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {
const int DefaultHeartbeatRate = 200;
const int WarmUpMs = 5000;

long residentKib()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int secondsOption(const QStringList &args)
{
    const int at = args.indexOf(QStringLiteral("--seconds"));
    return at >= 0 ? qMax(10, args.value(at + 1).toInt()) : 600;
}

int heartbeatRateOption(const QStringList &args)
{
    const int at = args.indexOf(QStringLiteral("--hb-rate"));
    return at >= 0 ? qMax(1, args.value(at + 1).toInt()) : DefaultHeartbeatRate;
}

bool openPlots(QQmlApplicationEngine &engine)
{
    QObject *loader = engine.rootObjects().first()->findChild<QObject *>(QStringLiteral("plotsLoader"));
    return loader && loader->setProperty("active", true);
}

// Frames of the given kinds the simulator sent after it received the marker:
// the version query the tool sends when it starts counting, the second one of
// the run (the first follows the open).
int framesSentAfterMarker(const QByteArray &log, const QList<QByteArray> &kinds)
{
    int count = 0;
    int queries = 0;
    bool counting = false;
    for (const QByteArray &line : log.split('\n')) {
        if (line.contains("] RX version query"))
            counting = ++queries == 2 || counting;
        if (!counting || !line.contains("] TX "))
            continue;
        for (const QByteArray &kind : kinds)
            count += line.contains(kind) ? 1 : 0;
    }
    return count;
}
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int seconds = secondsOption(app.arguments());
    const int heartbeatRate = heartbeatRateOption(app.arguments());
    const bool plots = app.arguments().contains(QStringLiteral("--plots"));

    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../tavox-sim"),
              { QStringLiteral("--hb-rate"), QString::number(heartbeatRate), QStringLiteral("--noise-rate"),
                QStringLiteral("0.01"), QStringLiteral("--verbose") });
    if (!sim.waitForReadyRead(10000)) {
        std::fprintf(stderr, "soak: tavox-sim did not start\n");
        return 1;
    }
    const QString port = QString::fromLocal8Bit(sim.readLine().trimmed());

    AppBridge bridge;
    QQmlApplicationEngine engine;
    publishToQml(engine, bridge, resolveAppFontFamily());
    engine.load(QUrl(QStringLiteral("qrc:/qml/Main.qml")));
    if (engine.rootObjects().isEmpty() || !bridge.openSerial(port, 921600))
        return 1;
    if (plots && !openPlots(engine)) {
        std::fprintf(stderr, "soak: no live plots to open\n");
        return 1;
    }

    bool counting = false;
    int heartbeats = 0;
    int paramBlocks = 0;
    QObject::connect(&bridge, &AppBridge::heartbeatChanged, [&] { heartbeats += counting && bridge.hbReceived(); });
    QObject::connect(&bridge, &AppBridge::tavoxParamsChanged, [&] { paramBlocks += counting; });
    QTimer reads;
    QObject::connect(&reads, &QTimer::timeout, &bridge, &AppBridge::tavoxReadParams);
    reads.start(1000);

    long rssStart = 0;
    double cpuStart = 0;
    QElapsedTimer measured;
    QTimer::singleShot(WarmUpMs, [&] {
        bridge.tavoxQueryVersion();
        counting = true;
        rssStart = residentKib();
        cpuStart = cpuSeconds();
        measured.start();
    });
    QTimer::singleShot(WarmUpMs + seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();

    const double cpuShare = (cpuSeconds() - cpuStart) / (measured.elapsed() / 1000.0) * 100.0;
    const long rssEnd = residentKib();
    reads.stop();
    // Stop the controller first and take in what it sent until it ended.
    sim.terminate();
    QObject::connect(&sim, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), [&] {
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    });
    app.exec();
    const QByteArray simLog = sim.readAllStandardError();
    const int sent = framesSentAfterMarker(simLog, { "heartbeat,", "parameter block," });
    const int handled = heartbeats + paramBlocks;

    std::printf("soak: frames handled (%d s)\t%d\tframes\t%d sent by the controller\t%.4f\n", seconds, handled, sent,
                sent ? double(handled) / sent : 0.0);
    std::printf("soak: frames lost\t%d\tframes\t0 (counts may differ by a frame in flight)\t-\n", sent - handled);
    std::printf("soak: resident memory\t%ld -> %ld\tKiB\tgrowth under 5 %%\t%+.1f%%\n", rssStart, rssEnd,
                rssStart ? (rssEnd - rssStart) * 100.0 / rssStart : 0.0);
    std::printf("soak: CPU at %d Hz%s\t%.1f\t%%core\ttarget under 5 %%\t%.2fx\n", heartbeatRate,
                plots ? " (live plots shown)" : "", cpuShare,
                cpuShare / 5.0);
    return 0;
}
