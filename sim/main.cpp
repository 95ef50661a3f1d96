// tavox-sim: a simulated gimbal controller for trying and testing the tool
// without hardware. Run with --help for its flags.
#include "sim/PtyLink.h"
#include "sim/SimDevice.h"
#include "sim/SimHost.h"
#include "sim/SimOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so that the link is removed on the way out.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "tavox-sim: %s\n", qPrintable(message));
    return 2;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavox-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVOX_VERSION));

    QCommandLineParser parser;
    addSimOptions(parser);
    parser.addVersionOption();
    parser.process(app);
    SimOptions options;
    QString error;
    if (!readSimOptions(parser, options, error))
        return fail(error);

    quitOnSignals(app);
    PtyLink link(options.link);
    if (!link.open(error))
        return fail(error);
    if (!options.linkPath.isEmpty() && !link.createLink(options.linkPath, error))
        return fail(error);
    // Whoever reads this line finds the device (and its link) ready; so does
    // whoever reads the next, printed when a hung-up line comes back.
    const auto printDevicePath = [&link] {
        std::printf("%s\n", qPrintable(link.devicePath()));
        std::fflush(stdout);
    };
    printDevicePath();
    QObject::connect(&link, &PtyLink::cameBack, &app, printDevicePath);

    SimDevice device(options.device);
    SimHost host(device, link, options.host);
    return app.exec();
}
