#include "app/InterruptWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
struct HandledSignal
{
    int number;
    const char *name;
};

const HandledSignal HandledSignals[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};

int signalPipe[2] = {-1, -1};

// Each signal as one byte, its number. Never blocks: a burst of signals that
// fills the pipe is still more than one.
void onSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void handleSignal(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}
}

InterruptWatcher::InterruptWatcher(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    ::fcntl(signalPipe[1], F_SETFL, ::fcntl(signalPipe[1], F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterruptWatcher::onSignalled);
    for (const HandledSignal &handled : HandledSignals)
        handleSignal(handled.number, onSignal);
}

InterruptWatcher::~InterruptWatcher()
{
    for (const HandledSignal &handled : HandledSignals)
        handleSignal(handled.number, SIG_IGN);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
}

QString InterruptWatcher::signalName(int signal)
{
    for (const HandledSignal &handled : HandledSignals) {
        if (handled.number == signal)
            return QString::fromLatin1(handled.name);
    }
    return QString();
}

void InterruptWatcher::onSignalled()
{
    char bytes[16];
    const ssize_t received = ::read(signalPipe[0], bytes, sizeof bytes);
    if (received <= 0)
        return;
    if (m_count == 0)
        m_firstSignal = bytes[0];
    m_latestSignal = bytes[received - 1];
    m_count += int(received);
    emit interrupted();
}
