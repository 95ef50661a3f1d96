// Upgrade replies in any order and with any content, while an upgrade runs:
// one byte picks the reply, two bytes its header sequence, then its payload.
#include "FuzzBridge.h"

#include "bridge/AppBridge.h"
#include "protocol/FrameCodec.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

namespace {
QString imagePath()
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("image.bin"));
    if (!QFile::exists(path)) {
        QFile image(path);
        image.open(QIODevice::WriteOnly);
        image.write(QByteArray(200, '\x5A'));
    }
    return path;
}

// A reply may end the upgrade; the next input then finds a new one running.
void keepUpgradeRunning()
{
    if (FuzzBridge::bridge().tavoxUpgrading())
        return;
    FuzzBridge::bridge().tavoxStartUpgrade(imagePath());
    FuzzBridge::settle();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const quint8 replies[] = { 0x04, 0x0C, 0x0E, 0x10 };
    keepUpgradeRunning();
    if (size < 3)
        return 0;
    const quint16 sequence = quint16(data[1] | (data[2] << 8));
    const QByteArray payload(reinterpret_cast<const char *>(data + 3), int(qMin<size_t>(size - 3, 499)));
    FuzzBridge::feed(buildFrameV1(0x00, replies[data[0] % 4], payload, sequence), 1);
    return 0;
}
