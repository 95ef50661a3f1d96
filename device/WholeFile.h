#pragma once

#include <QByteArray>
#include <QString>

// Every file the tool saves goes through here, so that a save that reports success has its bytes on disk. Qt's
// QSaveFile (and QSettings, which uses it) buffers a small file and writes it while committing, where Qt 5.15
// loses a failed write and renames the short file over the earlier one: a full disk or a file size limit then
// empties the file behind a success. These write to a temporary file beside the target, check every write,
// sync, and only then give the file its name; on any failure the temporary file goes and whatever stood at the
// name is left exactly as it was. `error` gets the system's reason ("No space left on device", "File too
// large"); the process must ignore SIGXFSZ for a file size limit to show as a failed write.
namespace WholeFile {
// Replaces the file at `path`, or creates it. A symbolic link there keeps pointing where it did, and the file
// it names is replaced. A file that may not be written, or anything but a regular file, is refused.
bool replace(const QString &path, const QByteArray &bytes, QString &error);

// Creates `path` only where nothing stands: never over a file, never through a symbolic link, even one that
// points nowhere ("File exists").
bool create(const QString &path, const QByteArray &bytes, QString &error);
}
