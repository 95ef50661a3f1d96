// One payload decoder, reached through the bridge's dispatch with a checked frame.
#include "FuzzBridge.h"

#include "protocol/FrameCodec.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray payload(reinterpret_cast<const char *>(data), int(qMin<size_t>(size, 499)));
    FuzzBridge::feed(buildFrameV1(1, 0x00, payload), 1);
    return 0;
}
