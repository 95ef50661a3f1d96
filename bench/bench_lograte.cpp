// What a busy message log costs the window: the real build/tavox with its
// window shown on the X server of DISPLAY (./scripts/bench runs this under
// Xvfb), started with --port on a simulated controller that acknowledges a
// command nobody sent, a given number of times a second, so that every
// acknowledgement is one entry of the log. After a warm-up, the tool's own CPU
// time is read from /proc over the measuring window and divided by the
// entries it wrote then, counted in its standard error, where each entry is echoed.
//
//   bench_lograte [--seconds N] [--runs N] [--rate N] [--renderer software|opengl|chosen]
//
// Three runs (default) of N seconds each (default 10) at N entries a second
// (default 400), a fresh tool and simulator for each; the simulator sends no
// heartbeats, so nearly all the tool does is log. Prints tab-separated rows
// for ./scripts/bench: name, figure, unit, reference, ratio.
#include "support/ToolRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {
const int WarmUpMs = 5000;
const double TargetMsPerEntry = 0.3;

struct Options : RunOptions
{
    Options() { renderer = Renderer::Software; }
    int seconds = 10;
    int rate = 400;
};

struct RunFigures
{
    double msPerEntry = 0;
    double entriesPerSecond = 0;
};

bool parseOptions(const QStringList &args, Options &options)
{
    return parseRunOptions(args, "log-rate", options, [&options](const QString &name, const QString &value) {
        if (name == QLatin1String("--seconds"))
            options.seconds = qMax(1, value.toInt());
        else if (name == QLatin1String("--rate"))
            options.rate = qBound(1, value.toInt(), 1000);
        else
            return false;
        return true;
    });
}

// Time passes for the tool, not in an event loop of the launcher's own.
void waitMs(int ms)
{
    QThread::msleep(ulong(ms));
}

// The acknowledgements the tool has logged so far, in either language.
qint64 entriesLogged(const QString &echoPath)
{
    QFile echo(echoPath);
    if (!echo.open(QIODevice::ReadOnly))
        return -1;
    qint64 entries = 0;
    while (!echo.atEnd()) {
        const QByteArray line = echo.readLine();
        if (line.contains("Gyro Bias Update succeeded") || line.contains("陀螺仪偏置更新指令成功"))
            ++entries;
    }
    return entries;
}

bool runOnce(const Options &options, RunFigures &figures)
{
    QProcess sim;
    const QString port = startSimulator(
        sim, {QStringLiteral("--hb-rate"), QStringLiteral("0"), QStringLiteral("--fault-command-acks"),
              QString::number(options.rate)});
    if (port.isEmpty()) {
        std::fprintf(stderr, "log-rate: tavox-sim did not start\n");
        return false;
    }
    const QTemporaryDir home;
    const QString program = privateToolCopy(home);
    const QString echoPath = home.filePath(QStringLiteral("echo.txt"));
    QProcess tool;
    tool.setProcessEnvironment(toolEnvironment(options.renderer));
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setStandardErrorFile(echoPath);
    tool.start(program, {QStringLiteral("--port"), port});
    const qint64 pid = tool.waitForStarted(10000) ? tool.processId() : 0;
    waitMs(WarmUpMs);
    if (pid <= 0 || tool.state() != QProcess::Running || !holdsOpen(pid, port)) {
        std::fprintf(stderr, "log-rate: the tool did not come up connected to %s\n", qPrintable(port));
        stopProcess(tool);
        stopProcess(sim);
        return false;
    }
    const double cpuStart = cpuSecondsOf(pid);
    const qint64 entriesStart = entriesLogged(echoPath);
    QElapsedTimer window;
    window.start();
    waitMs(options.seconds * 1000);
    const double cpuEnd = cpuSecondsOf(pid);
    const qint64 entriesEnd = entriesLogged(echoPath);
    const double seconds = window.nsecsElapsed() / 1e9;
    const bool stillConnected = tool.state() == QProcess::Running && holdsOpen(pid, port);
    stopProcess(tool);
    stopProcess(sim);
    const qint64 entries = entriesEnd - entriesStart;
    if (!stillConnected || cpuStart < 0 || cpuEnd < 0 || entriesStart < 0 || entries <= 0) {
        std::fprintf(stderr, "log-rate: the tool lost its link, ended or logged nothing during the run\n");
        return false;
    }
    figures.msPerEntry = (cpuEnd - cpuStart) * 1000.0 / double(entries);
    figures.entriesPerSecond = double(entries) / seconds;
    return true;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(app.arguments(), options))
        return 2;

    std::vector<double> perEntry;
    std::vector<double> logged;
    for (int run = 0; run < options.runs; ++run) {
        RunFigures figures;
        if (!runOnce(options, figures))
            return 1;
        perEntry.push_back(figures.msPerEntry);
        logged.push_back(figures.entriesPerSecond);
    }
    const Spread spread = spreadOf(perEntry);
    const QString label = QStringLiteral("log-rate %1 entries/s, %2").arg(options.rate).arg(rendererLabel(options.renderer));
    std::printf("%s: window CPU per entry (min %.3f, max %.3f)\t%.3f\tms\tat most %.1f ms\t%.2fx\n", qPrintable(label),
                spread.min, spread.max, spread.median, TargetMsPerEntry, spread.median / TargetMsPerEntry);
    std::printf("%s: entries logged\t%.0f\t/s\tall %d sent\t%.2fx\n", qPrintable(label), spreadOf(logged).median,
                options.rate, spreadOf(logged).median / options.rate);
    std::fprintf(stderr, "reproduce: ./scripts/bench log-rate --seconds %d --runs %d --rate %d --renderer %s\n",
                 options.seconds, options.runs, options.rate, rendererName(options.renderer));
    return 0;
}
