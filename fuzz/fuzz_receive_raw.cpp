// Arbitrary bytes through the receive path, cut into pieces chosen by the input.
#include "FuzzBridge.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const quint32 seed = quint32(data[0]) | (quint32(data[1]) << 8);
    FuzzBridge::feed(QByteArray(reinterpret_cast<const char *>(data + 2), int(size - 2)), seed);
    return 0;
}
