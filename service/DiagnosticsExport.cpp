#include "service/DiagnosticsExport.h"

#include "app/Config.h"
#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "service/LinkEvents.h"
#include "service/ParamWrites.h"
#include "service/SessionRecords.h"
#include "log/AppLog.h"
#include "record/SessionFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include <zip.h>

namespace {
using Omission = DiagnosticsExport::Omission;
const qint64 MaxFileBytes = DiagnosticsExport::MaxFileBytes;
const qint64 MaxRecordingBytes = DiagnosticsExport::MaxRecordingBytes;

// What one file gives the archive.
struct FileRead
{
    bool taken = false;   // `data` goes in: the whole file, or its end when cut
    QByteArray data;
    std::optional<Omission::Reason> shortfall;
    qint64 fileBytes = 0;
    QString systemError;
};

FileRead leftOut(Omission::Reason reason)
{
    FileRead read;
    read.shortfall = reason;
    return read;
}

FileRead unreadable(int error)
{
    FileRead read = leftOut(Omission::Unreadable);
    read.systemError = qt_error_string(error);
    return read;
}

Omission::Reason reasonNotToOpen(mode_t mode)
{
    if (S_ISFIFO(mode))
        return Omission::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return Omission::Device;
    if (S_ISDIR(mode))
        return Omission::Directory;
    return Omission::NotRegular;
}

// Reads on from `offset` to the end, but never more than `bound` + 1 bytes: a file that grows while it
// is read, or whose size is not what stat says (as in /proc), cannot run past the bound either.
bool readBounded(int fd, qint64 offset, qint64 expectedBytes, qint64 bound, QByteArray &data)
{
    const qint64 most = bound + 1;
    data.reserve(int(qMin(expectedBytes, most)));
    char chunk[64 * 1024];
    while (data.size() < most) {
        const size_t wanted = size_t(qMin<qint64>(sizeof chunk, most - data.size()));
        const ssize_t got = pread(fd, chunk, wanted, offset + data.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        data.append(chunk, int(got));
    }
    return true;
}

// A log's newest records are at its end, so a file over the bound goes in as its last `bound` bytes.
// A recording is read from its start: only a start makes a file Wireshark opens.
FileRead readPart(int fd, qint64 sizeBytes, qint64 bound, bool fromStart)
{
    const qint64 offset = fromStart ? 0 : qMax<qint64>(0, sizeBytes - bound);
    FileRead read;
    if (!readBounded(fd, offset, sizeBytes - offset, bound, read.data))
        return unreadable(errno);
    const qint64 over = qMax<qint64>(0, read.data.size() - bound);
    if (fromStart)
        read.data.truncate(int(bound));
    else
        read.data.remove(0, int(over));
    read.taken = true;
    read.fileBytes = offset + over + read.data.size();
    if (read.fileBytes > bound)
        read.shortfall = Omission::Cut;
    return read;
}

// Checked before the file is opened: opening a FIFO waits for a writer, and a device may never end.
// O_NONBLOCK covers a FIFO put in the file's place between the check and the open.
FileRead readForArchive(const QString &path, qint64 bound = MaxFileBytes, bool fromStart = false)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (stat(name.constData(), &info) != 0) {
        const int error = errno;
        const bool nothingThere = error == ENOENT && lstat(name.constData(), &info) != 0;
        return nothingThere ? FileRead() : unreadable(error);
    }
    if (!S_ISREG(info.st_mode))
        return leftOut(reasonNotToOpen(info.st_mode));
    const int fd = open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return unreadable(errno);
    FileRead read;
    if (fstat(fd, &info) != 0)
        read = unreadable(errno);
    else
        read = S_ISREG(info.st_mode) ? readPart(fd, info.st_size, bound, fromStart) : leftOut(reasonNotToOpen(info.st_mode));
    close(fd);
    return read;
}

void addRead(DiagnosticsExport::Contents &contents, const QString &name, const QString &path, FileRead read)
{
    if (read.taken)
        contents.entries.append({name, std::move(read.data)});
    if (read.shortfall)
        contents.omissions.append({name, path, *read.shortfall, read.fileBytes, read.systemError});
}

void addFile(DiagnosticsExport::Contents &contents, const QString &name, const QString &path)
{
    addRead(contents, name, path, readForArchive(path));
}

// A recording as far as it was when the archive was begun: the session's own grows while it is read.
void addRecordingFile(DiagnosticsExport::Contents &contents, const QString &path, qint64 listedBytes)
{
    FileRead read = readForArchive(path, listedBytes, true);
    if (read.shortfall == Omission::Cut)
        read.shortfall.reset();
    addRead(contents, QStringLiteral("recordings/") + QFileInfo(path).fileName(), path, std::move(read));
}

struct Bilingual
{
    QString zh;
    QString en;
};

Bilingual reasonOf(const Omission &omission)
{
    const QString bound = QString::number(MaxFileBytes / (1024 * 1024));
    switch (omission.reason) {
    case Omission::Fifo:
        return {QStringLiteral("它是 FIFO"), QStringLiteral("it is a FIFO")};
    case Omission::Device:
        return {QStringLiteral("它是设备"), QStringLiteral("it is a device")};
    case Omission::Directory:
        return {QStringLiteral("它是文件夹"), QStringLiteral("it is a directory")};
    case Omission::NotRegular:
        return {QStringLiteral("它不是普通文件"), QStringLiteral("it is not a regular file")};
    case Omission::Unreadable:
        return {QStringLiteral("无法读取: %1").arg(omission.systemError),
                QStringLiteral("it cannot be read: %1").arg(omission.systemError)};
    case Omission::OverRecordingBound:
        return {QStringLiteral("录制大于 %1 MiB (%2 字节)，未收入").arg(MaxRecordingBytes / (1024 * 1024)).arg(omission.fileBytes),
                QStringLiteral("the recording is larger than %1 MiB (%2 bytes)")
                    .arg(MaxRecordingBytes / (1024 * 1024))
                    .arg(omission.fileBytes)};
    case Omission::Cut:
        return {QStringLiteral("它大于 %1 MiB (%2 字节)，只收入了最后 %1 MiB").arg(bound).arg(omission.fileBytes),
                QStringLiteral("it is larger than %1 MiB (%2 bytes): only its last %1 MiB are included")
                    .arg(bound)
                    .arg(omission.fileBytes)};
    }
    return {};
}

// In English, like versions.txt: it is read by the service engineer, not the operator.
QByteArray omittedText(const QVector<Omission> &omissions)
{
    QString text = QStringLiteral("Files not in this archive whole:\n");
    for (const Omission &omission : omissions)
        text += QStringLiteral("%1 (%2): %3\n").arg(omission.name, omission.path, reasonOf(omission).en);
    return text.toUtf8();
}

QString zipError(zip_t *archive)
{
    return QString::fromUtf8(zip_strerror(archive));
}

QString openError(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

// libzip writes the archive to a temporary file beside `path` and renames it
// only when everything is in, so a failure leaves an earlier file untouched.
bool writeZip(const QString &path, const QVector<DiagnosticsExport::Entry> &entries, QString &error)
{
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        error = openError(code);
        return false;
    }
    for (const DiagnosticsExport::Entry &entry : entries) {
        zip_source_t *source = zip_source_buffer(archive, entry.data.constData(), zip_uint64_t(entry.data.size()), 0);
        if (!source || zip_file_add(archive, entry.name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
            error = zipError(archive);
            if (source)
                zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        error = zipError(archive);
        zip_discard(archive);
        return false;
    }
    return true;
}
}

DiagnosticsExport::DiagnosticsExport(AppBridge &bridge, QObject *parent)
    : QObject(parent), m_bridge(bridge), m_logFilePath(appLogFilePath()), m_earlierLogFolder(appLogEarlierFolder()),
      m_configFilePath(configFilePath())
{
}

void DiagnosticsExport::setSessionRecords(const SessionMessages *messages, const LinkEvents *linkEvents)
{
    m_sessionMessages = messages;
    m_linkEvents = linkEvents;
}

void DiagnosticsExport::setRecordings(const QString &sessionsFolder, std::function<void()> flushRecording)
{
    m_sessionsFolder = sessionsFolder;
    m_flushRecording = std::move(flushRecording);
}

// Newest first, the session being recorded among them, for as long as they fit the bound together. When not
// even the newest fits, omitted.txt says so; older ones are left out by design.
void DiagnosticsExport::addRecordings(Contents &contents) const
{
    if (!m_flushRecording)
        return;
    m_flushRecording();
    qint64 room = MaxRecordingBytes;
    const QVector<SessionFolder::Session> sessions = SessionFolder(m_sessionsFolder).sessions();
    for (const SessionFolder::Session &session : sessions) {
        if (session.bytes > room) {
            if (room == MaxRecordingBytes)
                contents.omissions.append({QStringLiteral("recordings/") + QFileInfo(session.recording).fileName(),
                                           session.recording, Omission::OverRecordingBound, session.bytes, QString()});
            return;
        }
        room -= session.bytes;
        addRecordingFile(contents, session.recording, QFileInfo(session.recording).size());
        if (!session.notes.isEmpty())
            addRecordingFile(contents, session.notes, QFileInfo(session.notes).size());
    }
}

QString DiagnosticsExport::suggestedName(const QDateTime &time)
{
    return QStringLiteral("tavox-diagnostics_%1.zip").arg(time.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QByteArray DiagnosticsExport::versionsText() const
{
    const bool open = m_bridge.serialOpened();
    QStringList lines {
        QStringLiteral("tool: %1").arg(tavoxVersion()),
        QStringLiteral("firmware: %1").arg(m_bridge.tavoxFirmwareVersion()),
        QStringLiteral("boot: %1").arg(m_bridge.tavoxBootVersion()),
        QStringLiteral("qt: %1").arg(QString::fromLatin1(qVersion())),
        QStringLiteral("system: %1 (%2)").arg(QSysInfo::prettyProductName(), QSysInfo::currentCpuArchitecture()),
        QStringLiteral("port: %1").arg(open ? m_bridge.serialLink().portName() : QStringLiteral("closed")),
        QStringLiteral("parameterBlocks: %1").arg(m_bridge.parameters().blocksReceived()),
        QStringLiteral("exported: %1").arg(QDateTime::currentDateTime().toString(Qt::ISODate)),
    };
    return lines.join(QLatin1Char('\n')).toUtf8() + '\n';
}

QStringList DiagnosticsExport::logFilePaths() const
{
    if (m_logFilePath.isEmpty())
        return {};
    const QFileInfo log(m_logFilePath);
    // The file and the older generations the log keeps beside it: name.0 (the most recent), name.1 …
    // Whatever stands under such a name is listed, so one that is not a file is named, not passed over.
    QStringList paths {m_logFilePath};
    const QStringList older = log.dir().entryList({log.fileName() + QStringLiteral(".[0-9]*")},
                                                  QDir::AllEntries | QDir::System, QDir::Name);
    for (const QString &name : older)
        paths.append(log.dir().filePath(name));
    return paths;
}

// Newest first, for as long as they fit one file's bound together; the newest goes in even when it alone does
// not, cut to its end as any log.
QStringList DiagnosticsExport::earlierLogPaths() const
{
    if (m_earlierLogFolder.isEmpty())
        return {};
    const QFileInfoList logs = QDir(m_earlierLogFolder).entryInfoList(
        {QStringLiteral("tavox_*.log"), QStringLiteral("tavox_*.log.[0-9]*")}, QDir::Files, QDir::Time);
    QStringList paths;
    qint64 room = MaxFileBytes;
    for (const QFileInfo &log : logs) {
        if (log.size() > room && !paths.isEmpty())
            break;
        room -= log.size();
        paths.append(log.filePath());
    }
    return paths;
}

DiagnosticsExport::Contents DiagnosticsExport::contents() const
{
    Contents contents;
    contents.entries.append({QStringLiteral("versions.txt"), versionsText()});
    if (m_bridge.parameters().blocksReceived() > 0)
        contents.entries.append({QStringLiteral("parameters.json"), ParamFile::toJson(paramFileContentsOf(m_bridge))});
    if (m_sessionMessages)
        contents.entries.append({QStringLiteral("session/messages.tsv"), m_sessionMessages->toTabSeparated()});
    if (m_linkEvents)
        contents.entries.append({QStringLiteral("session/link-events.tsv"), m_linkEvents->toTabSeparated()});
    if (!m_configFilePath.isEmpty())
        addFile(contents, QStringLiteral("zentaro.cfg"), m_configFilePath);
    for (const QString &path : logFilePaths() + earlierLogPaths())
        addFile(contents, QStringLiteral("logs/") + QFileInfo(path).fileName(), path);
    addRecordings(contents);
    if (!contents.omissions.isEmpty())
        contents.entries.append({QStringLiteral("omitted.txt"), omittedText(contents.omissions)});
    return contents;
}

void DiagnosticsExport::exportArchive()
{
    if (!m_chooseFile)
        return;
    const QString suggested = QDir::home().filePath(suggestedName(QDateTime::currentDateTime()));
    const QString title = m_bridge.languageSetting().localized(QStringLiteral("导出诊断包"), QStringLiteral("Export diagnostics"));
    const QString filter = m_bridge.languageSetting().localized(QStringLiteral("Zip 压缩包 (*.zip)"), QStringLiteral("Zip archives (*.zip)"));
    const QString path = m_chooseFile(FileDialogMode::Save, title, suggested, filter);
    if (!path.isEmpty())
        exportTo(path);
}

QString DiagnosticsExport::exportedMessage(const QString &shownPath, const QVector<Omission> &omissions) const
{
    const QString exported = m_bridge.languageSetting().localized(QStringLiteral("诊断包已导出到 %1"),
                                                QStringLiteral("Diagnostics exported to %1")).arg(shownPath);
    if (omissions.isEmpty())
        return exported;
    QStringList files;
    for (const Omission &omission : omissions) {
        const Bilingual reason = reasonOf(omission);
        files.append(QStringLiteral("%1 (%2)").arg(omission.name, m_bridge.languageSetting().localized(reason.zh, reason.en)));
    }
    const QString incomplete = m_bridge.languageSetting().localized(QStringLiteral("，但不完整: %1"), QStringLiteral(", incomplete: %1"));
    return exported + incomplete.arg(files.join(QStringLiteral("; ")));
}

bool DiagnosticsExport::exportTo(const QString &path)
{
    const Contents archived = contents();
    QString error;
    const QString shown = QDir::toNativeSeparators(path);
    if (!writeZip(path, archived.entries, error)) {
        m_bridge.messages().report(Message::error(QStringLiteral("无法导出诊断包 %1: %2").arg(shown, error),
                                                 QStringLiteral("Could not export diagnostics to %1: %2").arg(shown, error)));
        return false;
    }
    m_bridge.messages().append(exportedMessage(shown, archived.omissions));
    return true;
}
