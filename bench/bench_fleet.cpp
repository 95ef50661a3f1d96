// Several controllers flashed at once, each on its own port, as a production
// line does it: eight tavox-sim at the line rate, eight tavoxctl upgrades
// started together, then eight `params load` together. Each one's time is set
// against a lone run of the same command in the same run of this benchmark;
// the CPU time of every process taking part (tools and simulators) is summed
// from the kernel's accounting of the children this benchmark reaped. Every
// simulator's received image is compared with the one sent.
//
// Prints tab-separated rows for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "support/Spread.h"
#include "support/ToolRun.h"
#include "support/UpgradeOptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>
#include <sys/resource.h>

namespace {
const int CommandTimeoutMs = 600000;

struct Options : UpgradeOptions
{
    Options() { kibibytes = 256; }
    int units = 8;
};

Options parseOptions(const QStringList &args)
{
    Options options;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (!takeUpgradeOption(args.at(i), args.at(i + 1), options) && args.at(i) == QLatin1String("--units"))
            options.units = qMax(1, args.at(i + 1).toInt());
    }
    return options;
}

QByteArray randomImage(int size)
{
    QByteArray image(size, '\0');
    QRandomGenerator random(11);
    for (char &byte : image)
        byte = char(random.bounded(256));
    return image;
}

struct Unit
{
    QProcess sim;
    QString port;
    QString savedImage;
};

// One simulator per unit, each saving what it receives.
bool startUnits(std::vector<std::unique_ptr<Unit>> &units, int count, const QDir &dir, const Options &options)
{
    units.clear();
    for (int i = 0; i < count; ++i) {
        auto unit = std::make_unique<Unit>();
        unit->savedImage = dir.filePath(QStringLiteral("received-%1.bin").arg(i));
        QFile::remove(unit->savedImage);
        unit->port = startSimulator(unit->sim, {"--flash-size", QString::number(options.kibibytes * 1024), "--baud",
                                                QString::number(options.baud), "--save-image", unit->savedImage});
        if (unit->port.isEmpty())
            return false;
        units.push_back(std::move(unit));
    }
    return true;
}

struct Outcome
{
    bool ok = true;
    std::vector<double> seconds;
    double cpuSeconds = 0;
};

// Runs tavoxctl on every unit at once, `command` after its port options. Each
// one's time runs from its start to its end, or, for an upgrade, from its
// "upgrade: 0 %" line to its "upgrade: 100 %" line, the part the line rate bounds.
Outcome runTogether(const QString &ctl, std::vector<std::unique_ptr<Unit>> &units, const QStringList &command,
                    const Options &options)
{
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    const bool upgrade = command.first() == QLatin1String("upgrade");
    const int count = int(units.size());
    std::vector<std::unique_ptr<QProcess>> tools;
    std::vector<qint64> startMs(size_t(count), -1), endMs(size_t(count), -1);
    std::vector<QByteArray> errors(static_cast<size_t>(count));
    QElapsedTimer clock;
    QEventLoop loop;
    int running = count;
    Outcome outcome;
    clock.start();
    for (int i = 0; i < count; ++i) {
        auto tool = std::make_unique<QProcess>();
        QProcess *process = tool.get();
        QObject::connect(process, &QProcess::readyReadStandardError, [&, i, process] {
            errors[size_t(i)] += process->readAllStandardError();
            if (startMs[size_t(i)] < 0 && errors[size_t(i)].contains("upgrade: 0 %"))
                startMs[size_t(i)] = clock.elapsed();
            if (endMs[size_t(i)] < 0 && errors[size_t(i)].contains("upgrade: 100 %"))
                endMs[size_t(i)] = clock.elapsed();
        });
        QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                         [&, i](int code, QProcess::ExitStatus status) {
                             if (status != QProcess::NormalExit || code != 0) {
                                 std::fprintf(stderr, "fleet: tavoxctl on %s ended with %d:\n%s\n",
                                              qPrintable(units[size_t(i)]->port), code, errors[size_t(i)].constData());
                                 outcome.ok = false;
                             }
                             if (!upgrade) {
                                 startMs[size_t(i)] = 0;
                                 endMs[size_t(i)] = clock.elapsed();
                             }
                             if (--running == 0)
                                 loop.quit();
                         });
        process->start(ctl, QStringList{"-p", units[size_t(i)]->port, "-b", QString::number(options.baud)} + command);
        tools.push_back(std::move(tool));
    }
    QTimer::singleShot(CommandTimeoutMs, &loop, &QEventLoop::quit);
    if (running > 0)
        loop.exec();
    for (auto &tool : tools)
        tool->waitForFinished(CommandTimeoutMs);
    for (auto &unit : units)
        stopProcess(unit->sim);
    for (int i = 0; i < count; ++i) {
        if (startMs[size_t(i)] < 0 || endMs[size_t(i)] < 0)
            outcome.ok = false;
        outcome.seconds.push_back((endMs[size_t(i)] - startMs[size_t(i)]) / 1000.0);
    }
    outcome.cpuSeconds = cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    return outcome;
}

// Whether every simulator saved exactly the image it was sent.
bool imagesIdentical(const std::vector<std::unique_ptr<Unit>> &units, const QByteArray &image)
{
    bool identical = true;
    for (const auto &unit : units) {
        QFile saved(unit->savedImage);
        if (!saved.open(QIODevice::ReadOnly) || saved.readAll() != image) {
            std::fprintf(stderr, "fleet: the simulator on %s did not receive the image sent\n",
                         qPrintable(unit->port));
            identical = false;
        }
    }
    return identical;
}

// The lone run, then all units together; prints their rows.
bool compare(const char *name, const QString &ctl, const QDir &dir, const QStringList &command,
             const Options &options, const QByteArray &image)
{
    std::vector<std::unique_ptr<Unit>> units;
    if (!startUnits(units, 1, dir, options))
        return false;
    const Outcome lone = runTogether(ctl, units, command, options);
    if (!lone.ok || (!image.isEmpty() && !imagesIdentical(units, image)))
        return false;
    if (!startUnits(units, options.units, dir, options))
        return false;
    const Outcome fleet = runTogether(ctl, units, command, options);
    if (!fleet.ok || (!image.isEmpty() && !imagesIdentical(units, image)))
        return false;
    const Spread each = spreadOf(fleet.seconds);
    const double alone = lone.seconds.front();
    std::printf("fleet %s x%d, each (min %.2f, max %.2f)\t%.2f\ts\tlone %.2f s, within 15 %%\t%.3fx (max %.3fx)\n",
                name, options.units, each.min, each.max, each.median, alone, each.median / alone, each.max / alone);
    std::printf("fleet %s x%d, CPU of all processes\t%.2f\ts\tlone %.2f s x%d = %.2f s\t%.3fx\n", name,
                options.units, fleet.cpuSeconds, lone.cpuSeconds, options.units, lone.cpuSeconds * options.units,
                fleet.cpuSeconds / (lone.cpuSeconds * options.units));
    return true;
}

QString writeFile(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
}

// A parameter file as the simulator's controller has it, saved by tavoxctl.
QString savedParams(const QString &ctl, const QDir &dir, const Options &options)
{
    QProcess sim;
    const QString port = startSimulator(sim, {"--baud", QString::number(options.baud)});
    const QString path = dir.filePath(QStringLiteral("params.json"));
    QProcess save;
    save.start(ctl, {"-p", port, "-b", QString::number(options.baud), "params", "save", path});
    const bool saved = !port.isEmpty() && save.waitForFinished(CommandTimeoutMs) && save.exitCode() == 0;
    stopProcess(sim);
    return saved ? path : QString();
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    QTemporaryDir temporary;
    const QDir dir(temporary.path());
    // A copy of tavoxctl keeps its data (snapshots, restarts owed) beside it, here.
    const QString ctl = copyOfBuildProgram(QStringLiteral("tavoxctl"), dir.path());
    const QByteArray image = randomImage(options.kibibytes * 1024);
    const QString imagePath = writeFile(dir, QStringLiteral("image.bin"), image);
    if (ctl.isEmpty() || imagePath.isEmpty())
        return 1;

    const QString kib = QString::number(options.kibibytes) + QStringLiteral(" KiB");
    if (!compare(qPrintable(QStringLiteral("upgrade ") + kib), ctl, dir, {"upgrade", imagePath}, options, image)) {
        std::fprintf(stderr, "fleet: an upgrade failed\n");
        return 1;
    }
    const QString params = savedParams(ctl, dir, options);
    if (params.isEmpty()
        || !compare("params load", ctl, dir, {"params", "load", params, "--yes"}, options, QByteArray())) {
        std::fprintf(stderr, "fleet: a params load failed\n");
        return 1;
    }
    const int snapshots = QDir(dir.filePath(QStringLiteral("snapshots"))).entryList(QDir::Files).size();
    std::printf("fleet snapshots kept, one per upgrade\t%d\tfiles\t%d upgrades\t-\n", snapshots, options.units + 1);
    std::fprintf(stderr, "reproduce: ./scripts/bench fleet --kib %d --baud %d --units %d\n", options.kibibytes,
                 options.baud, options.units);
    return 0;
}
