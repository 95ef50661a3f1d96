#pragma once

#include <QByteArray>
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
