// The input describes a run of frames whose header sums and CRCs are right, so
// every decoder behind the checks is reached: per frame, one byte picks the
// protocol version and command, one byte the payload length, then the payload.
#include "FuzzBridge.h"

#include "protocol/FrameCodec.h"

#include <QByteArray>

namespace {
QByteArray frameFor(quint8 selector, const QByteArray &payload, quint16 sequence)
{
    static const quint8 v0Commands[] = { 0xC1, 0x86, 0xC0, 0x85, 0x42 };
    static const quint8 v1Commands[] = { 0x02, 0x04, 0x0C, 0x0E, 0x10, 0x00, 0x05, 0xA5 };
    if (selector & 0x80) {
        const quint8 set = (selector >> 3) & 0x03;
        return buildFrameV1(set, v1Commands[selector % sizeof v1Commands], payload, sequence);
    }
    return buildFrameV0(v0Commands[selector % sizeof v0Commands], payload);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray stream;
    size_t pos = 0;
    quint16 sequence = 0;
    while (pos + 2 <= size) {
        const quint8 selector = data[pos];
        const size_t length = qMin<size_t>(data[pos + 1], size - pos - 2);
        stream += frameFor(selector, QByteArray(reinterpret_cast<const char *>(data + pos + 2), int(length)),
                           sequence++);
        pos += 2 + length;
    }
    FuzzBridge::feed(stream, quint32(size));
    return 0;
}
