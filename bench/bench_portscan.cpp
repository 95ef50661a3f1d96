// What following the ports costs: the look the window takes every second
// while it is open, and the whole scan of the system's serial ports with their
// stable names that follows when the look finds a change.
//
//   bench_portscan [--scans N]
//
// Three runs of N scans (default 200). Prints tab-separated rows for
// ./scripts/bench: name, figure, unit, reference, ratio.
#include "link/PortWatcher.h"
#include "support/Spread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <vector>

namespace {
const int Runs = 3;

double microsecondsPerScan(int scans, int &portsFound)
{
    const PortScanPlaces places = systemPortPlaces();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < scans; ++i)
        portsFound = scanPorts(places).size();
    return double(clock.nsecsElapsed()) / 1000.0 / scans;
}

double microsecondsPerLook(int looks)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray print;
    for (int i = 0; i < looks; ++i)
        print = PortWatcher::systemFingerprint();
    return double(clock.nsecsElapsed()) / 1000.0 / looks;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = args.indexOf(QStringLiteral("--scans"));
    const int scans = at > 0 && at + 1 < args.size() ? qMax(1, args.at(at + 1).toInt()) : 200;

    int portsFound = 0;
    std::vector<double> perScan;
    std::vector<double> perLook;
    for (int run = 0; run < Runs; ++run) {
        perScan.push_back(microsecondsPerScan(scans, portsFound));
        perLook.push_back(microsecondsPerLook(scans * 10));
    }
    const Spread scan = spreadOf(perScan);
    const Spread look = spreadOf(perLook);
    const double looksPerSecond = 1000.0 / PortWatcher::ScanIntervalMs;
    std::printf("port list scan (%d ports)\t%.0f / %.0f / %.0f\tus\twhen a look finds a change\t-\n", portsFound,
                scan.min, scan.median, scan.max);
    std::printf("port list look, every %d ms\t%.1f / %.1f / %.1f\tus\t-\t-\n", PortWatcher::ScanIntervalMs, look.min,
                look.median, look.max);
    std::printf("port list followed, idle window\t%.4f\t%% core\tscanning every second instead: %.2f %%\t%.0fx less\n",
                look.median * looksPerSecond / 1e6 * 100.0, scan.median * looksPerSecond / 1e6 * 100.0,
                scan.median / look.median);
    std::fprintf(stderr, "reproduce: %s --scans %d\n", qPrintable(args.first()), scans);
    return 0;
}
