#pragma once

#include <QElapsedTimer>
#include <QString>

#include <vector>

// How long the tool takes from the read notification that brought a reply to
// the write of whatever it sends next: the part of a request-and-reply exchange
// (an upgrade's packet and its acknowledgement) that is the tool's own. Off
// unless TAVOX_TURNAROUND_FILE names a file, where the count, median and 99th
// percentile in microseconds are written as the process ends; when off, each
// read and write costs one test of a flag.
class TurnaroundProbe
{
public:
    static TurnaroundProbe &instance();
    ~TurnaroundProbe();

    void noteRead()
    {
        if (m_enabled)
            m_lastReadNs = m_clock.nsecsElapsed();
    }
    // The bytes handed over have gone to the port.
    void noteWritten()
    {
        if (m_enabled && m_lastReadNs >= 0)
            record();
    }

private:
    TurnaroundProbe();
    void record();

    bool m_enabled = false;
    QString m_path;
    QElapsedTimer m_clock;
    qint64 m_lastReadNs = -1;
    std::vector<int> m_microseconds;
};
