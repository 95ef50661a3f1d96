#include "device/FirmwareImage.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const qint64 ReadPieceSize = 64 * 1024;

// Opened without blocking, so a FIFO with no writer cannot hold the caller.
int openRegularFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}
}

FirmwareImageError readFirmwareImage(const QString &path, qint64 maxSize, QByteArray &image)
{
    image.clear();
    const int fd = openRegularFile(path);
    if (fd < 0)
        return FirmwareImageError::CannotOpen;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FirmwareImageError::CannotOpen;
    }
    if (file.size() > maxSize)
        return FirmwareImageError::TooLarge;
    return readFirmwareImage(file, maxSize, image);
}

// At most `maxSize` + 1 bytes are held: enough to tell that an image is too
// large, even one whose file grows while it is read.
FirmwareImageError readFirmwareImage(QIODevice &device, qint64 maxSize, QByteArray &image)
{
    image.clear();
    image.reserve(int(qBound<qint64>(0, device.size(), maxSize + 1)));
    QByteArray piece(int(ReadPieceSize), Qt::Uninitialized);
    while (image.size() <= maxSize) {
        const qint64 count = device.read(piece.data(), qMin<qint64>(piece.size(), maxSize + 1 - image.size()));
        if (count < 0) {
            image.clear();
            return FirmwareImageError::CannotRead;
        }
        if (count == 0)
            break;
        image.append(piece.constData(), int(count));
    }
    if (image.size() > maxSize) {
        image.clear();
        return FirmwareImageError::TooLarge;
    }
    return image.isEmpty() ? FirmwareImageError::Empty : FirmwareImageError::None;
}

TextPair firmwareImageProblem(FirmwareImageError error)
{
    switch (error) {
    case FirmwareImageError::None:
        break;
    case FirmwareImageError::CannotOpen:
        return { QStringLiteral("无法打开固件文件"), QStringLiteral("Cannot open firmware file") };
    case FirmwareImageError::CannotRead:
        return { QStringLiteral("无法读取固件文件"), QStringLiteral("Cannot read firmware file") };
    case FirmwareImageError::TooLarge:
        return { QStringLiteral("固件文件过大"), QStringLiteral("Firmware file too large") };
    case FirmwareImageError::Empty:
        return { QStringLiteral("固件文件为空"), QStringLiteral("Firmware file is empty") };
    }
    return {};
}

FirmwareImageSummary inspectFirmwareImage(const QString &path, qint64 maxSize)
{
    FirmwareImageSummary summary;
    QByteArray image;
    summary.error = readFirmwareImage(path, maxSize, image);
    if (summary.error != FirmwareImageError::None)
        return summary;
    summary.size = image.size();
    summary.modified = QFileInfo(path).lastModified();
    summary.sha256Hex = firmwareImageSha256Hex(image);
    return summary;
}

QByteArray firmwareImageSha256Hex(const QByteArray &image)
{
    return QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
}
