#pragma once

#include "device/TextPair.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

class QIODevice;

enum class FirmwareImageError { None, CannotOpen, CannotRead, Empty, TooLarge };

// Reads a firmware image whole, or not at all. Only a regular file is opened:
// a FIFO, socket, device or directory is refused at once instead of blocking
// the window or streaming without end.
FirmwareImageError readFirmwareImage(const QString &path, qint64 maxSize, QByteArray &image);
// The image from an open device, read in pieces; a failed read is an error,
// never the end of the image.
FirmwareImageError readFirmwareImage(QIODevice &device, qint64 maxSize, QByteArray &image);

// Why an image was refused, for the operator.
TextPair firmwareImageProblem(FirmwareImageError error);

// What the operator is shown of an image before it is flashed, so that the
// file about to go into the controller can be told from a similar one. The
// protocol pads a short last packet and lets the sequence number wrap, so any
// size from one byte up to the limit can be flashed; only an empty, oversized
// or unreadable file is refused.
struct FirmwareImageSummary
{
    FirmwareImageError error = FirmwareImageError::CannotOpen;
    qint64 size = 0;
    QDateTime modified;
    QByteArray sha256Hex;
};

FirmwareImageSummary inspectFirmwareImage(const QString &path, qint64 maxSize);
QByteArray firmwareImageSha256Hex(const QByteArray &image);
