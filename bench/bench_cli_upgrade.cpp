// Time of a firmware upgrade through tavoxctl, run as a process against the
// simulated controller at the line rate: from the start (the "upgrade: 0 %"
// line, as the image is loaded) to the controller's verdict (the "upgrade:
// 100 %" line), the span the window's figure of bench_upgrade covers. With
// --window-seconds S it is set beside that figure.
//
// Three runs, a fresh simulator each; prints one tab-separated row (the median,
// with min and max) for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "support/ToolRun.h"

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
const int Runs = 3;

struct Options
{
    int kibibytes = 1024;
    int baud = 921600;
    double windowSeconds = 0;
};

Options parseOptions(const QStringList &args)
{
    Options options;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--kib"))
            options.kibibytes = qMax(1, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--baud"))
            options.baud = qMax(1200, args.at(i + 1).toInt());
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

// Seconds from the first progress line to the last, or -1.
double transferSeconds(const QString &port, int baud, const QString &imagePath)
{
    QProcess ctl;
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
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    QTemporaryDir dir;
    const qint64 imageSize = qint64(options.kibibytes) * 1024;
    const QString imagePath = writeImage(dir, int(imageSize));

    std::vector<double> runs;
    for (int run = 0; run < Runs; ++run) {
        // The simulator as the window's figure meets it: its erase time and heartbeats.
        QProcess sim;
        const QString port = startSimulator(
            sim, {"--flash-size", QString::number(imageSize), "--baud", QString::number(options.baud)});
        if (imagePath.isEmpty() || port.isEmpty())
            return 1;
        const double seconds = transferSeconds(port, options.baud, imagePath);
        stopProcess(sim);
        if (seconds < 0) {
            std::fprintf(stderr, "cli-upgrade: the upgrade through tavoxctl did not complete\n");
            return 1;
        }
        runs.push_back(seconds);
    }
    const Spread time = spreadOf(runs);
    if (options.windowSeconds > 0)
        std::printf("cli-upgrade %d KiB @%d (min %.2f, max %.2f)\t%.2f\ts\twindow %.2f s, within 5 %%\t%.3fx\n",
                    options.kibibytes, options.baud, time.min, time.max, time.median, options.windowSeconds,
                    time.median / options.windowSeconds);
    else
        std::printf("cli-upgrade %d KiB @%d (min %.2f, max %.2f)\t%.2f\ts\t-\t-\n", options.kibibytes, options.baud,
                    time.min, time.max, time.median);
    std::fprintf(stderr, "reproduce: ./scripts/bench cli-upgrade --kib %d --baud %d\n", options.kibibytes,
                 options.baud);
    return 0;
}
