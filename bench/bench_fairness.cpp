// How long a burst of input keeps the window's thread from everything else,
// measured in the real tool with its window shown on the X server of DISPLAY
// (./scripts/bench runs this under Xvfb): build/tavox is started with --port
// on a pseudo-terminal of this launcher and with its timer probe, a 10 ms
// timer that reports once a second how late its ticks came. When the tool is
// up, 10 MB of heartbeats with line noise are written to the line as fast as
// it takes them. The figure is the worst lateness reported while the burst
// was being received, next to the worst of the quiet seconds before it.
//
//   bench_fairness [--runs N] [--renderer software|opengl|chosen]
//
// Prints tab-separated rows for ./scripts/bench: name, figure, unit, reference, ratio.
#include "protocol/FrameCodec.h"
#include "support/ToolRun.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {
const int BurstBytes = 10 * 1000 * 1000;
const double AllowedLateMs = 50.0;
const int QuietSeconds = 3;
const int ReportWaitMs = 30000;

QByteArray noisyHeartbeats(int size)
{
    QRandomGenerator random(1);
    QByteArray stream;
    stream.reserve(size + 1024);
    while (stream.size() < size) {
        QByteArray payload(61, '\0');
        for (char &byte : payload)
            byte = char(random.bounded(256));
        stream += buildFrameV1(0x01, 0x00, payload);
        for (int noise = random.bounded(4); noise > 0; --noise)
            stream += char(random.bounded(256));
    }
    return stream;
}

// The probe's reports so far: (moment on the monotonic clock, worst lateness).
QList<QPair<double, double>> reports(QProcess &tool, QByteArray &seen)
{
    seen += tool.readAllStandardError();
    static const QRegularExpression line(QStringLiteral("timer-late-ms=([0-9.]+) at-monotonic-ms=([0-9.]+)"));
    QList<QPair<double, double>> found;
    auto matches = line.globalMatch(QString::fromLatin1(seen));
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        found.append({match.captured(2).toDouble(), match.captured(1).toDouble()});
    }
    return found;
}

bool waitForReports(QProcess &tool, QByteArray &seen, int count)
{
    for (int waited = 0; waited < ReportWaitMs; waited += 100) {
        if (reports(tool, seen).size() >= count)
            return true;
        if (tool.state() != QProcess::Running)
            return false;
        tool.waitForReadyRead(100);
    }
    return false;
}

// Drains what the tool sends (a parameter read, a version query) so the line never backs up.
void drain(int master)
{
    char sink[4096];
    while (::read(master, sink, sizeof sink) > 0) {
    }
}

bool writeAll(int master, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            drain(master);
            QThread::usleep(200);
        }
    }
    return true;
}

bool runOnce(Renderer renderer, const QByteArray &burst, double &quietMs, double &burstMs)
{
    int master = -1;
    int slave = -1;
    char slaveName[256] = {};
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0)
        return false;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    QProcessEnvironment env = toolEnvironment(renderer);
    env.insert(QStringLiteral("TAVOX_TIMER_PROBE"), QStringLiteral("1"));
    // Recording the link, as by default: the burst's noise goes to disk as dropped runs.
    const QTemporaryDir home;
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setReadChannel(QProcess::StandardError);
    tool.start(privateToolCopy(home), {QStringLiteral("--port"), QString::fromLocal8Bit(slaveName)});
    QByteArray seen;
    bool ok = tool.waitForStarted(10000) && waitForReports(tool, seen, QuietSeconds);
    double burstStart = 0;
    double burstEnd = 0;
    if (ok) {
        drain(master);
        burstStart = monotonicMs();
        ok = writeAll(master, burst);
        burstEnd = monotonicMs();
        // The report covering the end of the burst.
        ok = ok && waitForReports(tool, seen, reports(tool, seen).size() + 2);
    }
    stopProcess(tool);
    ::close(master);
    ::close(slave);
    if (!ok) {
        std::fprintf(stderr, "fairness: the tool did not run its probe through the burst:\n%s\n", seen.constData());
        return false;
    }
    quietMs = 0;
    burstMs = 0;
    for (const auto &report : reports(tool, seen)) {
        if (report.first < burstStart)
            quietMs = qMax(quietMs, report.second);
        else if (report.first <= burstEnd + 1000)
            burstMs = qMax(burstMs, report.second);
    }
    return true;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    RunOptions options;
    if (!parseRunOptions(app.arguments(), "fairness", options))
        return 2;
    const QByteArray burst = noisyHeartbeats(BurstBytes);
    std::vector<double> quiet;
    std::vector<double> during;
    for (int run = 0; run < options.runs; ++run) {
        double quietMs = 0;
        double burstMs = 0;
        if (!runOnce(options.renderer, burst, quietMs, burstMs))
            return 1;
        quiet.push_back(quietMs);
        during.push_back(burstMs);
    }
    const Spread late = spreadOf(during);
    const Spread idle = spreadOf(quiet);
    const QString label = rendererLabel(options.renderer);
    std::printf("fairness, 10 ms timer in the window during a 10 MB burst, %s (min %.1f, max %.1f)\t%.1f\tms late\t"
                "at most %.0f ms (quiet: %.1f)\t%.2fx\n",
                qPrintable(label), late.min, late.max, late.median, AllowedLateMs, idle.median,
                late.median / AllowedLateMs);
    std::fprintf(stderr, "reproduce: ./scripts/bench fairness %d %s\n", options.runs, rendererName(options.renderer));
    return 0;
}
