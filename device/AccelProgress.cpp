#include "device/AccelProgress.h"

#include <cstring>
#include <limits>

namespace {
// Both bounds are exact powers of two, so they are exact floats too.
constexpr float IntRangeEnd = 2147483648.0f;
constexpr float IntRangeStart = -2147483648.0f;
}

qint32 accelStateFromProgress(float progress)
{
    const float rounded = progress + 0.5f;
    // Written so that NaN fails the test as well.
    if (!(rounded >= IntRangeStart && rounded < IntRangeEnd))
        return std::numeric_limits<qint32>::min();
    return qint32(rounded);
}

float accelProgressValue(const QByteArray &payload)
{
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= quint32(quint8(payload.at(1 + i))) << (8 * i);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
