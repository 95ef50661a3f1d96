#pragma once

#include <QByteArray>
#include <QString>

// Whole-file helpers for tests that build their own files: empty on failure.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

// A firmware image of `size` bytes in which no byte follows from the ones
// before it, so a packet sent twice, skipped or out of place changes what
// arrives; the same for a size in every run, so a failure can be run again.
QByteArray randomImage(int size);

// Bytes 1, 2, 3, ... so that every field of a decoded record gets a distinct non-zero value.
QByteArray countingBytes(int length);

// A symbolic link `dir`/gimbal to `port`, as a udev rule or a simulator's
// --link names a line; empty when it cannot be made.
QString gimbalLink(const QString &dir, const QString &port);
