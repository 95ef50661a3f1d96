// Time of a firmware upgrade through tavoxctl, run as a process against the
// simulated controller at the line rate: from the start (the "upgrade: 0 %"
// line, as the image is loaded) to the controller's verdict (the "upgrade:
// 100 %" line), the span the window's figure of bench_upgrade covers. With
// --window-seconds S it is set beside that figure.
//
// The same again with two busy loops keeping both cores of the machine
// occupied, each against the time the bytes alone need on the wire; and the
// tool's own part of each packet's turnaround (from the read notification that
// brought an acknowledgement to the write of the next packet), as tavoxctl
// measures it under TAVOX_TURNAROUND_FILE.
//
// Three runs of each, a fresh simulator each; prints tab-separated rows (the
// median, with min and max) for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "device/UpgradeSession.h"
#include "support/BusyLoops.h"
#include "support/Spread.h"
#include "support/ToolRun.h"
#include "support/UpgradeOptions.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
const int UpgradeTimeoutMs = 600000;
const int BitsPerByte = 10;
const int AckFrameSize = 13;

struct Options : UpgradeOptions
{
    double windowSeconds = 0;
    int runs = 3;
};

Options parseOptions(const QStringList &args)
{
    Options options;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (takeUpgradeOption(args.at(i), args.at(i + 1), options))
            continue;
        if (args.at(i) == QLatin1String("--runs"))
            options.runs = qMax(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--window-seconds"))
            options.windowSeconds = args.at(i + 1).toDouble();
    }
    return options;
}

QString writeImage(const QTemporaryDir &dir, int size)
{
    QByteArray image(size, '\0');
    QRandomGenerator random(11);
    for (char &byte : image)
        byte = char(random.bounded(256));
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(image) == image.size() ? path : QString();
}

struct Turnaround
{
    double medianUs = -1;
    double p99Us = -1;
};

struct Run
{
    double seconds = -1;
    Turnaround turnaround;
};

// The count, median and 99th percentile tavoxctl wrote as it ended.
Turnaround readTurnaround(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    if (fields.size() != 3 || fields.at(0).toInt() <= 0)
        return {};
    return {fields.at(1).toDouble(), fields.at(2).toDouble()};
}

// Seconds from the first progress line to the last, or -1.
double transferSeconds(QProcess &ctl, const QString &port, int baud, const QString &imagePath)
{
    ctl.setReadChannel(QProcess::StandardError);
    ctl.start(buildProgram(QStringLiteral("tavoxctl")),
              {"-p", port, "-b", QString::number(baud), "upgrade", imagePath});
    QElapsedTimer clock;
    clock.start();
    QByteArray errors;
    qint64 startMs = -1;
    qint64 verdictMs = -1;
    while (verdictMs < 0 && ctl.waitForReadyRead(UpgradeTimeoutMs)) {
        errors += ctl.readAllStandardError();
        if (startMs < 0 && errors.contains("upgrade: 0 %"))
            startMs = clock.elapsed();
        if (errors.contains("upgrade: 100 %"))
            verdictMs = clock.elapsed();
    }
    ctl.waitForFinished(UpgradeTimeoutMs);
    const bool ok = ctl.exitStatus() == QProcess::NormalExit && ctl.exitCode() == 0;
    return ok && startMs >= 0 && verdictMs >= 0 ? (verdictMs - startMs) / 1000.0 : -1;
}

Run upgradeOnce(const QTemporaryDir &dir, const Options &options, const QString &imagePath)
{
    // The simulator as the window's figure meets it: its erase time and heartbeats.
    QProcess sim;
    const QString port = startSimulator(
        sim, {"--flash-size", QString::number(qint64(options.kibibytes) * 1024), "--baud", QString::number(options.baud)});
    if (port.isEmpty())
        return {};
    const QString probePath = dir.filePath(QStringLiteral("turnaround.txt"));
    QFile::remove(probePath);
    QProcess ctl;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVOX_TURNAROUND_FILE"), probePath);
    ctl.setProcessEnvironment(environment);
    Run run;
    run.seconds = transferSeconds(ctl, port, options.baud, imagePath);
    stopProcess(sim);
    run.turnaround = readTurnaround(probePath);
    return run;
}

struct Figures
{
    std::vector<double> seconds, medianUs, p99Us;
};

bool runAll(const QTemporaryDir &dir, const Options &options, const QString &imagePath, Figures &figures)
{
    for (int i = 0; i < options.runs; ++i) {
        const Run run = upgradeOnce(dir, options, imagePath);
        if (run.seconds < 0 || run.turnaround.medianUs < 0)
            return false;
        figures.seconds.push_back(run.seconds);
        figures.medianUs.push_back(run.turnaround.medianUs);
        figures.p99Us.push_back(run.turnaround.p99Us);
    }
    return true;
}

void printLoadRows(const char *load, const Figures &figures, const Options &options, double wireSeconds)
{
    const Spread time = spreadOf(figures.seconds);
    std::printf("cli-upgrade %s (min %.2f, max %.2f)\t%.2f\ts\t%.1f s on the wire\t%.3fx\n", load, time.min,
                time.max, time.median, wireSeconds, time.median / wireSeconds);
    const Spread median = spreadOf(figures.medianUs);
    const Spread p99 = spreadOf(figures.p99Us);
    std::printf("cli-upgrade %s, ack to next write, p99 %.0f us (median of runs %.0f-%.0f)\t%.0f\tus\t"
                "tool's part, @%d\t-\n",
                load, p99.median, median.min, median.max, median.median, options.baud);
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    QTemporaryDir dir;
    const qint64 imageSize = qint64(options.kibibytes) * 1024;
    const QString imagePath = writeImage(dir, int(imageSize));

    if (imagePath.isEmpty())
        return 1;
    Figures quiet, loaded;
    bool ok = runAll(dir, options, imagePath, quiet);
    if (ok) {
        const BusyLoops busy;
        ok = runAll(dir, options, imagePath, loaded);
    }
    if (!ok) {
        std::fprintf(stderr, "cli-upgrade: the upgrade through tavoxctl did not complete\n");
        return 1;
    }
    const qint64 packets = (imageSize + UpgradeSession::PacketSize - 1) / UpgradeSession::PacketSize;
    const double wireSeconds =
        double(packets) * (UpgradeSession::DataFrameSize + AckFrameSize) * BitsPerByte / options.baud;
    const Spread time = spreadOf(quiet.seconds);
    if (options.windowSeconds > 0)
        std::printf("cli-upgrade %d KiB @%d (min %.2f, max %.2f)\t%.2f\ts\twindow %.2f s, within 5 %%\t%.3fx\n",
                    options.kibibytes, options.baud, time.min, time.max, time.median, options.windowSeconds,
                    time.median / options.windowSeconds);
    else
        std::printf("cli-upgrade %d KiB @%d (min %.2f, max %.2f)\t%.2f\ts\t-\t-\n", options.kibibytes, options.baud,
                    time.min, time.max, time.median);
    printLoadRows("quiet", quiet, options, wireSeconds);
    printLoadRows("2 cores busy", loaded, options, wireSeconds);
    std::fprintf(stderr, "reproduce: ./scripts/bench cli-upgrade --kib %d --baud %d\n", options.kibibytes,
                 options.baud);
    return 0;
}
