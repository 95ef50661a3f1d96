#pragma once

#include <QtGlobal>

// What the receive path has made of the bytes of one link: how many became
// frames and how many were lost to line faults. Counters only grow; a reader
// that wants rates keeps an earlier copy and subtracts.
struct ReceiveStatistics
{
    quint64 bytesReceived = 0;
    quint64 frames = 0;
    // Candidates whose length looked right but whose header sum did not add up.
    quint64 headerSumFailures = 0;
    // Complete candidates with a good header whose CRC did not match.
    quint64 crcFailures = 0;
    // Bytes thrown away while searching for a frame start, including the
    // bytes of the failed candidates above.
    quint64 resyncBytes = 0;

    ReceiveStatistics operator-(const ReceiveStatistics &earlier) const
    {
        return {bytesReceived - earlier.bytesReceived, frames - earlier.frames,
                headerSumFailures - earlier.headerSumFailures, crcFailures - earlier.crcFailures,
                resyncBytes - earlier.resyncBytes};
    }
};
