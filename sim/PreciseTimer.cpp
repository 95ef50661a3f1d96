#include "sim/PreciseTimer.h"

#include <QSocketNotifier>

#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {
qint64 monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}
}

PreciseTimer::PreciseTimer(QObject *parent)
    : QObject(parent), m_fd(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PreciseTimer::expire);
}

PreciseTimer::~PreciseTimer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void PreciseTimer::start(qint64 delayNs, qint64 spinNs)
{
    if (m_fd < 0)
        return;
    m_dueNs = monotonicNs() + delayNs;
    m_spinNs = spinNs;
    // An all-zero expiry would disarm the timer instead of firing it.
    const qint64 ns = qMax<qint64>(1, delayNs - spinNs);
    itimerspec due {};
    due.it_value.tv_sec = time_t(ns / 1'000'000'000);
    due.it_value.tv_nsec = long(ns % 1'000'000'000);
    timerfd_settime(m_fd, 0, &due, nullptr);
}

void PreciseTimer::expire()
{
    std::uint64_t expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) != sizeof expirations)
        return;
    while (m_spinNs > 0 && monotonicNs() < m_dueNs) {
        // the last few microseconds, awake
    }
    emit timeout();
}
