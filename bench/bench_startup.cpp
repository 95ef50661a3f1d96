// Start-up of the real tool as a user sees it: from just before the launcher
// forks and executes build/tavox to the window's first frame on the X server
// of DISPLAY (./scripts/bench runs this under Xvfb), and the peak resident
// memory (VmHWM) by then. The tool's start-up probe reports the moment of its
// first frame on the system-wide monotonic clock, which the launcher also read
// before starting it.
//
//   bench_startup [--runs N] [--renderer software|opengl|chosen]
//
// Prints tab-separated rows for ./scripts/bench: name, figure, unit, reference, ratio.
#include "support/ToolRun.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {
const double FirstFrameTargetMs = 400;
const double PeakTargetMib = 100;

bool startOnce(Renderer renderer, double &firstFrameMs, double &peakMib)
{
    QProcessEnvironment env = toolEnvironment(renderer);
    env.insert(QStringLiteral("TAVOX_STARTUP_PROBE"), QStringLiteral("1"));
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.setStandardOutputFile(QProcess::nullDevice());
    const double before = monotonicMs();
    tool.start(buildProgram(QStringLiteral("tavox")), QStringList());
    if (!tool.waitForFinished(60000)) {
        stopProcess(tool);
        std::fprintf(stderr, "startup: the tool did not report a first frame within a minute\n");
        return false;
    }
    static const QRegularExpression report(
        QStringLiteral("first-frame-monotonic-ms=([0-9.]+) rss-kib=-?[0-9]+ hwm-kib=([0-9]+)"));
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    const QRegularExpressionMatch match = report.match(err);
    if (!match.hasMatch()) {
        std::fprintf(stderr, "startup: no first-frame report from the tool:\n%s\n", qPrintable(err));
        return false;
    }
    firstFrameMs = match.captured(1).toDouble() - before;
    peakMib = match.captured(2).toDouble() / 1024.0;
    return true;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    RunOptions options;
    if (!parseRunOptions(app.arguments(), "startup", options))
        return 2;
    std::vector<double> times;
    std::vector<double> peaks;
    for (int run = 0; run < options.runs; ++run) {
        double firstFrameMs = 0;
        double peakMib = 0;
        if (!startOnce(options.renderer, firstFrameMs, peakMib))
            return 1;
        times.push_back(firstFrameMs);
        peaks.push_back(peakMib);
    }
    const Spread time = spreadOf(times);
    const Spread peak = spreadOf(peaks);
    const QString label = rendererLabel(options.renderer);
    std::printf("startup, exec to first frame, %s (min %.0f, max %.0f)\t%.0f\tms\tunder %.0f ms\t%.2fx\n",
                qPrintable(label), time.min, time.max, time.median, FirstFrameTargetMs, time.median / FirstFrameTargetMs);
    std::printf("startup, peak resident by first frame, %s (min %.0f, max %.0f)\t%.0f\tMiB\tunder %.0f MiB\t%.2fx\n",
                qPrintable(label), peak.min, peak.max, peak.median, PeakTargetMib, peak.median / PeakTargetMib);
    std::fprintf(stderr, "reproduce: ./scripts/bench startup %d %s\n", options.runs, rendererName(options.renderer));
    return 0;
}
