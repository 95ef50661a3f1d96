// Time of a firmware upgrade through the bridge against the simulated
// controller as operators meet it (its erase time and heartbeats, the tool's
// diagnostic lines written to a log file): paced at the line rate, next to the
// time the bytes alone need on the wire and to a bare client (no event loop, no
// bridge) running the same upgrade against the same simulator; paced again with
// two busy loops taking both cores; and unpaced, for the tool's own cost per
// packet; and paced once more with the link recorded, as every session is by
// default. Three runs of each, min / median / max.
//
// Prints tab-separated rows for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "bridge/AppBridge.h"
#include "device/UpgradeSession.h"
#include "protocol/FrameCodec.h"
#include "record/SessionRecorder.h"
#include "support/BusyLoops.h"
#include "support/ToolRun.h"
#include "support/UpgradeOptions.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {
const int BitsPerByte = 10;
const int AckFrameSize = 13;
const int Runs = 3;

struct Run
{
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
};

UpgradeOptions parseOptions(const QStringList &args)
{
    UpgradeOptions options;
    for (int i = 1; i + 1 < args.size(); i += 2)
        takeUpgradeOption(args.at(i), args.at(i + 1), options);
    return options;
}

// The tool writes every message and diagnostic line to its log file; so does the benchmark.
FILE *diagnostics = nullptr;

void writeDiagnostic(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const QByteArray line = message.toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), diagnostics);
    std::fputc('\n', diagnostics);
}

// Blocks in the event loop until `condition` holds, checked whenever `signal` fires.
template<typename Signal>
bool waitFor(const AppBridge &bridge, Signal signal, const std::function<bool()> &condition, int timeoutMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    QObject::connect(&bridge, signal, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}

struct Simulator
{
    QProcess process;
    QString port;

    bool start(qint64 flashSize, int paceBaud)
    {
        QStringList arguments{"--flash-size", QString::number(flashSize)};
        if (paceBaud > 0)
            arguments << "--baud" << QString::number(paceBaud);
        port = startSimulator(process, arguments);
        return !port.isEmpty();
    }

    ~Simulator() { stopProcess(process); }
};

// Blocks until a general-set reply with `commandId` has been read.
bool awaitReply(int fd, QByteArray &buffer, quint8 commandId)
{
    for (;;) {
        ParsedFrame frame;
        while (extractFrame(buffer, frame))
            if (frame.version == 1 && frame.v1CommandId == commandId)
                return true;
        pollfd ready {fd, POLLIN, 0};
        if (::poll(&ready, 1, 5000) <= 0)
            return false;
        char chunk[512];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buffer.append(chunk, int(n));
    }
}

// The same upgrade written straight to the port, one blocking reply at a
// time: what the simulator's pacing allows before any tool cost is added.
double bareClientSeconds(const QByteArray &image, int paceBaud)
{
    Simulator sim;
    if (!sim.start(image.size(), paceBaud))
        return -1;
    const int fd = ::open(sim.port.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios settings {};
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);

    UpgradeSession session;
    session.load(image);
    QByteArray buffer;
    const auto exchange = [&](const QByteArray &frame, quint8 reply) {
        return ::write(fd, frame.constData(), size_t(frame.size())) == frame.size() && awaitReply(fd, buffer, reply);
    };
    QElapsedTimer timer;
    timer.start();
    bool ok = exchange(session.requestErase().frame, UpgradeCommand::EraseDone);
    session.onEraseDone();
    ok = ok && exchange(session.startFrame(), UpgradeCommand::StartReply);
    session.onStartReply(QByteArray(1, '\0'));
    for (int packet = 0; ok && packet < session.packetCount(); ++packet) {
        ok = exchange(session.dataFrame(), UpgradeCommand::DataAck);
        session.onDataAck(session.sequence());
    }
    ok = ok && exchange(session.stopFrame(), UpgradeCommand::VerifyResult);
    const double seconds = timer.nsecsElapsed() / 1e9;
    ::close(fd);
    return ok ? seconds : -1;
}

// From the start request to the controller's verdict: the part of an upgrade
// that the line rate bounds (the reboot that follows is a fixed delay).
// `recordings`, when given, is the folder the link is recorded into.
Run upgradeOnce(const QString &imagePath, qint64 imageSize, int paceBaud, const QString &recordings = QString())
{
    Simulator sim;
    if (!sim.start(imageSize, paceBaud))
        return {};
    Run run;
    AppBridge bridge;
    SessionRecorder recorder(bridge.messages(), recordings, RecordingSettings());
    if (!recordings.isEmpty())
        bridge.serialLink().setFrameTap(&recorder);
    // The recorder goes first: the link it taps must not outlive it still tapped.
    const auto untap = qScopeGuard([&] {
        bridge.closeSerial();
        bridge.serialLink().setFrameTap(nullptr);
    });
    if (!bridge.openSerial(sim.port, paceBaud > 0 ? paceBaud : 921600)
        || !waitFor(bridge, &AppBridge::tavoxVersionChanged,
                    [&] { return bridge.tavoxFirmwareVersion() != QLatin1String("-"); }, 5000))
        return run;
    QElapsedTimer timer;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    timer.start();
    bridge.tavoxStartUpgrade(imagePath);
    run.ok = waitFor(bridge, &AppBridge::tavoxUpgradeProgressChanged,
                     [&] { return bridge.tavoxUpgradeProgress() == 100; }, 600000);
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.cpuSeconds = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    return run;
}

QString spreadText(const Spread &spread, double scale, const char *format)
{
    return QStringLiteral("min %1, max %2").arg(QString::asprintf(format, spread.min * scale),
                                                QString::asprintf(format, spread.max * scale));
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const UpgradeOptions options = parseOptions(app.arguments());
    QTemporaryDir dir;
    diagnostics = std::fopen(QFile::encodeName(dir.filePath(QStringLiteral("tool.log"))).constData(), "w");
    if (!diagnostics)
        return 1;
    qInstallMessageHandler(writeDiagnostic);

    const qint64 imageSize = qint64(options.kibibytes) * 1024;
    QByteArray image(int(imageSize), '\0');
    QRandomGenerator random(11);
    for (char &byte : image)
        byte = char(random.bounded(256));
    const QString imagePath = dir.filePath(QStringLiteral("image.bin"));
    QFile file(imagePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();

    const qint64 packets = (imageSize + UpgradeSession::PacketSize - 1) / UpgradeSession::PacketSize;
    const double wireSeconds =
        double(packets) * (UpgradeSession::DataFrameSize + AckFrameSize) * BitsPerByte / options.baud;

    std::vector<double> paced, pacedCpu, bare, unpaced, unpacedCpu, loaded, recorded, recordedCpu;
    for (int run = 0; run < Runs; ++run) {
        const Run withTool = upgradeOnce(imagePath, imageSize, options.baud);
        const double alone = bareClientSeconds(image, options.baud);
        const Run flatOut = upgradeOnce(imagePath, imageSize, 0);
        const Run withRecording = upgradeOnce(imagePath, imageSize, options.baud, dir.filePath(QStringLiteral("sessions")));
        if (!withTool.ok || !flatOut.ok || !withRecording.ok || alone <= 0) {
            std::fprintf(stderr, "upgrade: the simulated upgrade did not complete\n");
            return 1;
        }
        paced.push_back(withTool.seconds);
        pacedCpu.push_back(withTool.cpuSeconds / packets);
        bare.push_back(alone);
        unpaced.push_back(flatOut.seconds / packets);
        unpacedCpu.push_back(flatOut.cpuSeconds / packets);
        recorded.push_back(withRecording.seconds);
        recordedCpu.push_back(withRecording.cpuSeconds / packets);
    }
    {
        const BusyLoops busy;
        for (int run = 0; run < Runs; ++run) {
            const Run underLoad = upgradeOnce(imagePath, imageSize, options.baud);
            if (!underLoad.ok) {
                std::fprintf(stderr, "upgrade: the simulated upgrade did not complete with both cores busy\n");
                return 1;
            }
            loaded.push_back(underLoad.seconds);
        }
    }
    const Spread tool = spreadOf(paced);
    const Spread baseline = spreadOf(bare);
    std::printf("upgrade %d KiB @%d, median of %d (%s)\t%.2f\ts\t%.1f s on the wire\t%.3fx\n", options.kibibytes,
                options.baud, Runs, qPrintable(spreadText(tool, 1, "%.2f")), tool.median, wireSeconds,
                tool.median / wireSeconds);
    std::printf("upgrade @%d against the simulator alone (%s)\t%.2f\ts\tbare client %.2f s, same sim\t%.3fx\n",
                options.baud, qPrintable(spreadText(baseline, 1, "%.2f")), tool.median, baseline.median,
                tool.median / baseline.median);
    const Spread busy = spreadOf(loaded);
    std::printf("upgrade @%d, 2 cores busy (%s)\t%.2f\ts\t%.1f s on the wire\t%.3fx\n", options.baud,
                qPrintable(spreadText(busy, 1, "%.2f")), busy.median, wireSeconds, busy.median / wireSeconds);
    const Spread cpu = spreadOf(pacedCpu);
    std::printf("upgrade @%d, tool CPU per packet (%s)\t%.1f\tus\tthis process\t-\n", options.baud,
                qPrintable(spreadText(cpu, 1e6, "%.1f")), cpu.median * 1e6);
    const Spread withRecording = spreadOf(recorded);
    std::printf("upgrade @%d, link recorded (%s)\t%.2f\ts\tnot recorded %.2f s\t%.3fx\n", options.baud,
                qPrintable(spreadText(withRecording, 1, "%.2f")), withRecording.median, tool.median,
                withRecording.median / tool.median);
    const Spread recordedPerPacket = spreadOf(recordedCpu);
    std::printf("upgrade @%d, link recorded, tool CPU per packet (%s)\t%.1f\tus\tnot recorded %.1f us\t%.3fx\n",
                options.baud, qPrintable(spreadText(recordedPerPacket, 1e6, "%.1f")), recordedPerPacket.median * 1e6,
                cpu.median * 1e6, recordedPerPacket.median / cpu.median);
    const Spread flat = spreadOf(unpaced);
    std::printf("upgrade unpaced, per packet (%s)\t%.1f\tus\twall, tool and simulator\t-\n",
                qPrintable(spreadText(flat, 1e6, "%.1f")), flat.median * 1e6);
    const Spread flatCpu = spreadOf(unpacedCpu);
    std::printf("upgrade unpaced, tool CPU per packet (%s)\t%.1f\tus\tthis process\t-\n",
                qPrintable(spreadText(flatCpu, 1e6, "%.1f")), flatCpu.median * 1e6);
    std::fprintf(stderr, "reproduce: ./scripts/bench upgrade --kib %d --baud %d\n", options.kibibytes, options.baud);
    std::fclose(diagnostics);
    return 0;
}
