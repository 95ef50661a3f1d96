// Time of a firmware upgrade through the bridge against the simulated
// controller: once paced at the line rate, next to the time the bytes alone
// need on the wire and to a bare client (no event loop, no bridge) driving the
// same simulator, and once unpaced, for the tool's own cost per packet.
//
// Prints tab-separated rows for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "bridge/AppBridge.h"
#include "device/UpgradeSession.h"
#include "protocol/FrameCodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {
const int BitsPerByte = 10;
const int AckFrameSize = 13;
const int BareClientPackets = 2048;

struct Options
{
    int kibibytes = 1024;
    int baud = 921600;
};

struct Run
{
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
};

Options parseOptions(const QStringList &args)
{
    Options options;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const int value = args.at(i + 1).toInt();
        if (args.at(i) == QLatin1String("--kib"))
            options.kibibytes = qMax(1, value);
        else if (args.at(i) == QLatin1String("--baud"))
            options.baud = qMax(1200, value);
    }
    return options;
}

double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The diagnostic lines are still formatted, as in the tool; only printing them is skipped.
void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

struct Simulator
{
    QProcess process;
    QString port;

    bool start(qint64 flashSize, int paceBaud)
    {
        QStringList arguments{"--hb-rate", "0", "--erase-ms", "0", "--flash-size", QString::number(flashSize)};
        if (paceBaud > 0)
            arguments << "--baud" << QString::number(paceBaud);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../tavox-sim"), arguments);
        if (!process.waitForStarted(5000) || !process.waitForReadyRead(5000))
            return false;
        port = QString::fromLocal8Bit(process.readLine()).trimmed();
        return !port.isEmpty();
    }

    ~Simulator()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
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

// The same exchange written straight to the port, one blocking reply at a
// time: what the simulator's pacing allows before any tool cost is added.
double bareClientSecondsPerPacket(int paceBaud)
{
    Simulator sim;
    if (!sim.start(BareClientPackets * UpgradeSession::PacketSize, paceBaud))
        return -1;
    const int fd = ::open(sim.port.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    termios settings {};
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);

    UpgradeSession session;
    session.load(QByteArray(BareClientPackets * UpgradeSession::PacketSize, char(0x5A)));
    QByteArray buffer;
    const auto exchange = [&](const QByteArray &frame, quint8 reply) {
        return ::write(fd, frame.constData(), size_t(frame.size())) == frame.size() && awaitReply(fd, buffer, reply);
    };
    bool ok = exchange(session.eraseFrame(), UpgradeCommand::EraseDone)
              && exchange(session.startFrame(), UpgradeCommand::StartReply);
    QElapsedTimer timer;
    timer.start();
    for (int packet = 0; ok && packet < BareClientPackets; ++packet) {
        ok = exchange(session.dataFrame(), UpgradeCommand::DataAck);
        session.onDataAck(session.sequence());
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    ::close(fd);
    return ok ? seconds / BareClientPackets : -1;
}

// From the start request to the controller's verdict: the part of an upgrade
// that the line rate bounds (the reboot that follows is a fixed delay).
Run upgradeOnce(const QString &imagePath, qint64 imageSize, int paceBaud)
{
    Simulator sim;
    if (!sim.start(imageSize, paceBaud))
        return {};
    Run run;
    AppBridge bridge;
    if (!bridge.openSerial(sim.port, paceBaud > 0 ? paceBaud : 921600)
        || !waitFor([&] { return bridge.tavoxFirmwareVersion() != QLatin1String("-"); }, 5000))
        return run;
    QElapsedTimer timer;
    const double cpuBefore = processCpuSeconds();
    timer.start();
    bridge.tavoxStartUpgrade(imagePath);
    run.ok = waitFor([&] { return bridge.tavoxUpgradeProgress() == 100; }, 600000);
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.cpuSeconds = processCpuSeconds() - cpuBefore;
    return run;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(discardMessages);
    const Options options = parseOptions(app.arguments());

    QTemporaryDir dir;
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

    const Run paced = upgradeOnce(imagePath, imageSize, options.baud);
    const Run unpaced = upgradeOnce(imagePath, imageSize, 0);
    const double barePerPacket = bareClientSecondsPerPacket(options.baud);
    if (!paced.ok || !unpaced.ok || barePerPacket <= 0) {
        std::fprintf(stderr, "upgrade: the simulated upgrade did not complete\n");
        return 1;
    }

    std::printf("upgrade %d KiB @%d\t%.2f\ts\t%.1f s on the wire\t%.3fx\n", options.kibibytes, options.baud,
                paced.seconds, wireSeconds, paced.seconds / wireSeconds);
    const double pacedPerPacket = paced.seconds / packets;
    std::printf("upgrade @%d, per packet\t%.3f\tms\tbare client %.3f ms, same sim\t%.3fx\n", options.baud,
                pacedPerPacket * 1e3, barePerPacket * 1e3, pacedPerPacket / barePerPacket);
    std::printf("upgrade unpaced, per packet\t%.1f\tus\twall, tool and simulator\t-\n", unpaced.seconds / packets * 1e6);
    std::printf("upgrade unpaced, tool CPU\t%.1f\tus\tper packet, this process\t-\n",
                unpaced.cpuSeconds / packets * 1e6);
    return 0;
}
