// Start-up of the real tool as a user sees it, from just before the launcher
// forks and executes build/tavox, on the X server of DISPLAY (./scripts/bench
// runs this under an Xvfb of its own):
// - to the window's first painted pixel, read from the X server every 2 ms
//   (the moment the operator sees something), with the peak resident memory
//   (VmHWM) at that moment;
// - to the first frame as the tool's own start-up probe reports it (the
//   moment on the system-wide monotonic clock, which the launcher also read
//   before starting it), with its peak by then;
// - then, apart from start-up, a zoom step: from the operator's change of the
//   window's scale to the next frame the window shows, over every step up to
//   200 % and down to 75 %, the tool's own report (a copy of the tool keeps
//   the zoom it stores away from the build's settings);
// - and in runs of their own, the peak resident memory after the first file
//   dialog: the one the window's exports and backups open, opened after the
//   first frame and cancelled once it has painted (the tool's own report).
//
//   bench_startup [--runs N] [--renderer software|opengl|chosen]
//
// Prints tab-separated rows for ./scripts/bench: name, figure, unit, reference, ratio.
#include "support/PaintedWindow.h"
#include "support/ToolRun.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {
const double FirstPixelTargetMs = 300;
const double FirstFrameTargetMs = 400;
const double PeakTargetMib = 100;
const double ZoomStepTargetMs = 100;
const int PollMs = 2;
const int GiveUpMs = 60000;

struct Moment
{
    double ms = 0;
    double peakMib = 0;
};

bool firstPixel(Renderer renderer, PaintedWindowWatch &screen, Moment &moment)
{
    QProcess tool;
    tool.setProcessEnvironment(toolEnvironment(renderer));
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setStandardErrorFile(QProcess::nullDevice());
    const double before = monotonicMs();
    tool.start(buildProgram(QStringLiteral("tavox")), QStringList());
    const qint64 pid = tool.processId();
    bool painted = false;
    while (pid > 0 && !painted && monotonicMs() - before < GiveUpMs && tool.state() != QProcess::NotRunning) {
        painted = screen.hasPainted(pid);
        if (painted) {
            moment.ms = monotonicMs() - before;
            moment.peakMib = statusKib(QString::number(pid), "VmHWM") / 1024.0;
        } else {
            QThread::msleep(PollMs);
        }
    }
    stopProcess(tool);
    if (!painted)
        std::fprintf(stderr, "startup: the tool's window showed no painted pixel (%s)\n",
                     pid > 0 ? "within a minute, or it ended" : "it did not start");
    return painted;
}

// The tool run with one of its probes switched on, to its end: its standard
// error in `err`, or false after a message when it did not end within a minute.
bool runProbe(const QString &program, Renderer renderer, const char *probe, const char *what, double &startedMs,
              QString &err)
{
    QProcessEnvironment env = toolEnvironment(renderer);
    env.insert(QString::fromLatin1(probe), QStringLiteral("1"));
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.setStandardOutputFile(QProcess::nullDevice());
    startedMs = monotonicMs();
    tool.start(program, QStringList());
    if (!tool.waitForFinished(GiveUpMs)) {
        stopProcess(tool);
        std::fprintf(stderr, "startup: the tool did not %s within a minute\n", what);
        return false;
    }
    err = QString::fromLocal8Bit(tool.readAllStandardError());
    return true;
}

bool firstFrameReport(Renderer renderer, Moment &moment)
{
    double before = 0;
    QString err;
    if (!runProbe(buildProgram(QStringLiteral("tavox")), renderer, "TAVOX_STARTUP_PROBE", "report a first frame", before,
                  err))
        return false;
    static const QRegularExpression report(
        QStringLiteral("first-frame-monotonic-ms=([0-9.]+) rss-kib=-?[0-9]+ hwm-kib=([0-9]+)"));
    const QRegularExpressionMatch match = report.match(err);
    if (!match.hasMatch()) {
        std::fprintf(stderr, "startup: no first-frame report from the tool:\n%s\n", qPrintable(err));
        return false;
    }
    moment.ms = match.captured(1).toDouble() - before;
    moment.peakMib = match.captured(2).toDouble() / 1024.0;
    return true;
}

bool zoomSteps(Renderer renderer, std::vector<double> &stepsMs)
{
    const QTemporaryDir dir;
    const QString copy = dir.isValid() ? privateToolCopy(dir) : QString();
    if (copy.isEmpty()) {
        std::fprintf(stderr, "startup: no private copy of the tool for the zoom steps\n");
        return false;
    }
    double started = 0;
    QString err;
    if (!runProbe(copy, renderer, "TAVOX_ZOOM_PROBE", "finish its zoom steps", started, err))
        return false;
    static const QRegularExpression report(QStringLiteral("zoom-step-ms=([0-9.]+)"));
    const size_t before = stepsMs.size();
    for (auto match = report.globalMatch(err); match.hasNext();)
        stepsMs.push_back(match.next().captured(1).toDouble());
    if (stepsMs.size() == before)
        std::fprintf(stderr, "startup: no zoom steps reported by the tool:\n%s\n", qPrintable(err));
    return stepsMs.size() > before;
}

bool fileDialogPeak(Renderer renderer, double &peakMib)
{
    double started = 0;
    QString err;
    if (!runProbe(buildProgram(QStringLiteral("tavox")), renderer, "TAVOX_DIALOG_PROBE", "close its file dialog", started,
                  err))
        return false;
    static const QRegularExpression report(QStringLiteral("file-dialog-closed rss-kib=-?[0-9]+ hwm-kib=([0-9]+)"));
    const QRegularExpressionMatch match = report.match(err);
    if (!match.hasMatch()) {
        std::fprintf(stderr, "startup: no report of a closed file dialog from the tool:\n%s\n", qPrintable(err));
        return false;
    }
    peakMib = match.captured(1).toDouble() / 1024.0;
    return true;
}

void printPeakRow(const char *endpoint, const QString &label, const std::vector<double> &peaksMib)
{
    const Spread peak = spreadOf(peaksMib);
    std::printf("startup, peak resident by %s, %s (min %.0f, max %.0f)\t%.0f\tMiB\tunder %.0f MiB\t%.2fx\n", endpoint,
                qPrintable(label), peak.min, peak.max, peak.median, PeakTargetMib, peak.median / PeakTargetMib);
}

void printRows(const char *endpoint, const QString &label, const std::vector<Moment> &moments, double targetMs)
{
    std::vector<double> times;
    std::vector<double> peaks;
    for (const Moment &moment : moments) {
        times.push_back(moment.ms);
        peaks.push_back(moment.peakMib);
    }
    const Spread time = spreadOf(times);
    std::printf("startup, exec to %s, %s (min %.0f, max %.0f)\t%.0f\tms\tunder %.0f ms\t%.2fx\n", endpoint,
                qPrintable(label), time.min, time.max, time.median, targetMs, time.median / targetMs);
    printPeakRow(endpoint, label, peaks);
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    RunOptions options;
    if (!parseRunOptions(app.arguments(), "startup", options))
        return 2;
    PaintedWindowWatch screen;
    if (!screen.isConnected()) {
        std::fprintf(stderr, "startup: cannot read the X server of DISPLAY=%s\n", qPrintable(qEnvironmentVariable("DISPLAY")));
        return 1;
    }
    std::vector<Moment> pixels(size_t(options.runs));
    std::vector<Moment> frames(size_t(options.runs));
    for (Moment &pixel : pixels) {
        if (!firstPixel(options.renderer, screen, pixel))
            return 1;
    }
    for (Moment &frame : frames) {
        if (!firstFrameReport(options.renderer, frame))
            return 1;
    }
    std::vector<double> zoomStepsMs;
    for (int run = 0; run < options.runs; ++run) {
        if (!zoomSteps(options.renderer, zoomStepsMs))
            return 1;
    }
    std::vector<double> dialogPeaksMib(size_t(options.runs));
    for (double &peak : dialogPeaksMib) {
        if (!fileDialogPeak(options.renderer, peak))
            return 1;
    }
    const QString label = rendererLabel(options.renderer);
    printRows("first painted pixel", label, pixels, FirstPixelTargetMs);
    printRows("first frame (the tool's own report)", label, frames, FirstFrameTargetMs);
    printPeakRow("the first file dialog, opened and cancelled after the first frame", label, dialogPeaksMib);
    const Spread zoom = spreadOf(zoomStepsMs);
    // Every step must keep within the target: the figure is the slowest.
    std::printf("zoom step, scale change to the next frame, %s (slowest of %zu, median %.0f)\t%.0f\tms\tunder %.0f ms\t%.2fx\n",
                qPrintable(label), zoomStepsMs.size(), zoom.median, zoom.max, ZoomStepTargetMs,
                zoom.max / ZoomStepTargetMs);
    std::fprintf(stderr, "reproduce: ./scripts/bench startup %d %s\n", options.runs, rendererName(options.renderer));
    return 0;
}
