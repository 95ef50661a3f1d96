#pragma once

#include <QString>
#include <QtGlobal>

// Sees every byte a link moves, in the pieces the receive path cut them into:
// each frame whole, and each run of bytes thrown away while looking for one.
// The link calls it on its own thread and never waits for it, so whatever
// keeps the bytes must hand slow work (the disk) to another thread.
class FrameTap
{
public:
    enum class Direction : quint8 { Inbound = 1, Outbound = 2 };
    enum class Cut : quint8 { Frame, Dropped };

    virtual ~FrameTap() = default;

    virtual void linkOpened(const QString &portName, int baudRate) = 0;
    // `microsSinceEpoch`: when the bytes crossed the port (for input, when the
    // read that completed them returned).
    virtual void bytesCrossed(Direction direction, Cut cut, const char *data, int size, qint64 microsSinceEpoch) = 0;
    virtual void linkClosed() = 0;
};
