#include "cli/InterruptWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const int HandledSignals[] = {SIGINT, SIGTERM, SIGHUP};

int signalPipe[2] = {-1, -1};

// Never blocks: a burst of signals that fills the pipe is still more than one.
void onSignal(int)
{
    const char byte = 1;
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
    for (const int signal : HandledSignals)
        handleSignal(signal, onSignal);
}

InterruptWatcher::~InterruptWatcher()
{
    for (const int signal : HandledSignals)
        handleSignal(signal, SIG_DFL);
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
}

void InterruptWatcher::onSignalled()
{
    char bytes[16];
    const ssize_t received = ::read(signalPipe[0], bytes, sizeof bytes);
    if (received <= 0)
        return;
    m_count += int(received);
    emit interrupted();
}
