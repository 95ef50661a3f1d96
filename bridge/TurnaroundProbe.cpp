#include "bridge/TurnaroundProbe.h"

#include <QFile>

#include <algorithm>

TurnaroundProbe &TurnaroundProbe::instance()
{
    static TurnaroundProbe probe;
    return probe;
}

TurnaroundProbe::TurnaroundProbe()
    : m_path(qEnvironmentVariable("TAVOX_TURNAROUND_FILE"))
{
    m_enabled = !m_path.isEmpty();
    if (!m_enabled)
        return;
    m_clock.start();
    m_microseconds.reserve(1 << 14);
}

// One sample per reply: a later write without a read in between answers none.
void TurnaroundProbe::record()
{
    m_microseconds.push_back(int((m_clock.nsecsElapsed() - m_lastReadNs) / 1000));
    m_lastReadNs = -1;
}

TurnaroundProbe::~TurnaroundProbe()
{
    if (!m_enabled)
        return;
    std::vector<int> sorted = m_microseconds;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&sorted](double share) {
        return sorted.empty() ? 0 : sorted.at(std::min(sorted.size() - 1, size_t(share * double(sorted.size()))));
    };
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QStringLiteral("%1 %2 %3\n").arg(sorted.size()).arg(at(0.5)).arg(at(0.99)).toLatin1());
}
