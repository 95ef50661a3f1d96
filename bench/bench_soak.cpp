// The real tool as operators run it: build/tavox with its window shown on the X
// server of DISPLAY (./scripts/bench runs this under Xvfb), started with
// --port on a simulated controller sending heartbeats at a given rate. After a
// warm-up, the tool's own CPU time and resident memory are read from /proc
// over the measuring window. The simulator's log goes to /dev/null and the
// launcher is a separate process, so neither is charged to the tool.
//
//   bench_soak [--seconds N] [--runs N] [--hz N] [--renderer software|opengl|chosen] [--plots on|off]
//              [--recording on|off]
//
// Three runs (default) of N seconds each (default 20), a fresh tool and
// simulator for each. `--plots on` opens the live plots drawer as the tool
// starts. Each run's tool is a copy in a folder of its own, which keeps its
// settings and its recordings of the link (on, as by default, unless
// `--recording off`) apart from the build's. Prints tab-separated rows for ./scripts/bench: name,
// figure, unit, reference, ratio.
#include "support/ToolRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {
const int WarmUpMs = 5000;

struct Options : RunOptions
{
    Options() { renderer = Renderer::Software; }
    int seconds = 20;
    int hz = 20;
    bool plots = false;
    bool recording = true;
};

struct RunFigures
{
    double cpuPercent = 0;
    double rssStartKib = 0;
    double rssGrowthKib = 0;
};

bool isSwitch(const QString &value)
{
    return value == QLatin1String("on") || value == QLatin1String("off");
}

bool parseOptions(const QStringList &args, Options &options)
{
    return parseRunOptions(args, "soak", options, [&options](const QString &name, const QString &value) {
        if (name == QLatin1String("--seconds"))
            options.seconds = qMax(1, value.toInt());
        else if (name == QLatin1String("--hz"))
            options.hz = qMax(1, value.toInt());
        else if (name == QLatin1String("--plots") && isSwitch(value))
            options.plots = value == QLatin1String("on");
        else if (name == QLatin1String("--recording") && isSwitch(value))
            options.recording = value == QLatin1String("on");
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

bool runOnce(const Options &options, RunFigures &figures)
{
    QProcess sim;
    const QString port = startSimulator(sim, {QStringLiteral("--hb-rate"), QString::number(options.hz)});
    if (port.isEmpty()) {
        std::fprintf(stderr, "soak: tavox-sim did not start\n");
        return false;
    }
    const QTemporaryDir home;
    const QString program = privateToolCopy(home, options.recording);
    QProcess tool;
    QProcessEnvironment environment = toolEnvironment(options.renderer);
    if (options.plots)
        environment.insert(QStringLiteral("TAVOX_OPEN_VIEW"), QStringLiteral("plotsLoader"));
    tool.setProcessEnvironment(environment);
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(program, {QStringLiteral("--port"), port});
    const qint64 pid = tool.waitForStarted(10000) ? tool.processId() : 0;
    waitMs(WarmUpMs);
    if (pid <= 0 || tool.state() != QProcess::Running || !holdsOpen(pid, port)) {
        std::fprintf(stderr, "soak: the tool did not come up connected to %s\n", qPrintable(port));
        stopProcess(tool);
        stopProcess(sim);
        return false;
    }
    const double cpuStart = cpuSecondsOf(pid);
    const long rssStart = statusKib(QString::number(pid), "VmRSS");
    QElapsedTimer window;
    window.start();
    waitMs(options.seconds * 1000);
    const double cpuEnd = cpuSecondsOf(pid);
    const long rssEnd = statusKib(QString::number(pid), "VmRSS");
    const double seconds = window.nsecsElapsed() / 1e9;
    const bool stillConnected = tool.state() == QProcess::Running && holdsOpen(pid, port);
    stopProcess(tool);
    stopProcess(sim);
    if (!stillConnected || cpuStart < 0 || cpuEnd < 0) {
        std::fprintf(stderr, "soak: the tool lost its link or ended during the run\n");
        return false;
    }
    figures.cpuPercent = (cpuEnd - cpuStart) / seconds * 100.0;
    figures.rssStartKib = rssStart;
    figures.rssGrowthKib = rssEnd - rssStart;
    return true;
}

// The targets set for the window: with the software renderer, and for the
// window under Xvfb without a GPU whatever it draws with.
double cpuTarget(Renderer renderer, int hz)
{
    const bool slow = hz <= 20;
    if (renderer == Renderer::Software)
        return slow ? 1.5 : 5.0;
    return slow ? 2.0 : 8.0;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(app.arguments(), options))
        return 2;

    std::vector<double> cpu;
    std::vector<double> growth;
    std::vector<double> resident;
    for (int run = 0; run < options.runs; ++run) {
        RunFigures figures;
        if (!runOnce(options, figures))
            return 1;
        cpu.push_back(figures.cpuPercent);
        growth.push_back(figures.rssGrowthKib);
        resident.push_back(figures.rssStartKib / 1024.0);
    }
    const Spread cpuSpread = spreadOf(cpu);
    const Spread growthSpread = spreadOf(growth);
    const QString label = QStringLiteral("soak %1 Hz, %2%3%4")
                              .arg(options.hz)
                              .arg(rendererLabel(options.renderer),
                                   options.plots ? QStringLiteral(", live plots shown") : QString(),
                                   options.recording ? QString() : QStringLiteral(", link not recorded"));
    const double target = cpuTarget(options.renderer, options.hz);
    // With the plots the target is relative: the same run with the drawer closed.
    if (options.plots)
        std::printf("%s: tool CPU (min %.1f, max %.1f)\t%.1f\t%%core\tat most 2 points above the drawer closed\t-\n",
                    qPrintable(label), cpuSpread.min, cpuSpread.max, cpuSpread.median);
    else
        std::printf("%s: tool CPU (min %.1f, max %.1f)\t%.1f\t%%core\tat most %.1f %%\t%.2fx\n", qPrintable(label),
                    cpuSpread.min, cpuSpread.max, cpuSpread.median, target, cpuSpread.median / target);
    std::printf("%s: resident growth in %d s (min %+.0f, max %+.0f)\t%+.0f\tKiB\tfrom %.0f MiB, under 5 %%\t%+.2f%%\n",
                qPrintable(label), options.seconds, growthSpread.min, growthSpread.max, growthSpread.median,
                spreadOf(resident).median, growthSpread.median / (spreadOf(resident).median * 1024.0) * 100.0);
    std::fprintf(stderr, "reproduce: ./scripts/bench soak %d %s %d %s %s\n", options.seconds * options.runs,
                 rendererName(options.renderer), options.hz, options.plots ? "on" : "off",
                 options.recording ? "on" : "off");
    return 0;
}
