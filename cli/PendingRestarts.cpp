#include "cli/PendingRestarts.h"

#include "device/WholeFile.h"
#include "link/PortScanner.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
const QString PortKey = QStringLiteral("port");
const QString DeviceKey = QStringLiteral("device");
const QString FirmwareKey = QStringLiteral("firmware");
const QString BootKey = QStringLiteral("boot");
const QString CommandKey = QStringLiteral("command");
const QString WritesKey = QStringLiteral("writes");
// A record names a port, a controller, a command and four writes: far less than this.
const qint64 MaxRecordBytes = 4096;

struct RestartingWrite
{
    ParamWrite write;
    QString name;
};

const QVector<RestartingWrite> &restartingWrites()
{
    static const QVector<RestartingWrite> all = {
        {ParamWrite::SbusChannels, QStringLiteral("sbusChannels")},
        {ParamWrite::PwmChannels, QStringLiteral("pwmChannels")},
        {ParamWrite::CrsfChannels, QStringLiteral("crsfChannels")},
        {ParamWrite::Torque, QStringLiteral("torque")},
    };
    return all;
}

bool formHas(ParamBlockForm form, ParamWrite write)
{
    return write != ParamWrite::CrsfChannels || form == ParamBlockForm::Crsf;
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

dev_t deviceOf(const QString &path)
{
    struct stat info {};
    return ::stat(encoded(path).constData(), &info) == 0 && S_ISCHR(info.st_mode) ? info.st_rdev : dev_t(0);
}

QString deviceText(dev_t device)
{
    return QStringLiteral("%1:%2").arg(::major(device)).arg(::minor(device));
}

// "136-3-" for /dev/pts/3: what every record of the device's file name begins with.
QString devicePrefix(dev_t device)
{
    return QStringLiteral("%1-%2-").arg(::major(device)).arg(::minor(device));
}

// The versions in a file name; the record itself says exactly whose it is.
QString fileNamePart(const QString &text)
{
    return QString(text).replace(QRegularExpression(QStringLiteral("[^0-9A-Za-z._-]")), QStringLiteral("_"));
}

bool isController(const QJsonObject &record, const PendingRestarts::Controller &controller)
{
    return record.value(FirmwareKey).toString() == controller.firmware && record.value(BootKey).toString() == controller.boot;
}

// The record at `path`, never through a link, never waiting on a pipe or a
// device, never larger than a record is; false with `error` set otherwise.
bool readRecord(const QString &path, QJsonObject &record, QString &error)
{
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ELOOP ? QStringLiteral("a symbolic link") : qt_error_string(errno);
        return false;
    }
    struct stat info {};
    QByteArray bytes;
    if (::fstat(fd, &info) != 0)
        error = qt_error_string(errno);
    else if (!S_ISREG(info.st_mode))
        error = QStringLiteral("not a regular file");
    else if (info.st_size > MaxRecordBytes)
        error = QStringLiteral("larger than a record (%1 bytes)").arg(info.st_size);
    else {
        bytes.resize(int(MaxRecordBytes) + 1);
        const ssize_t length = ::read(fd, bytes.data(), size_t(bytes.size()));
        bytes.resize(int(qMax<ssize_t>(length, 0)));
        if (length < 0 || length > MaxRecordBytes)
            error = length < 0 ? qt_error_string(errno) : QStringLiteral("larger than a record");
    }
    ::close(fd);
    if (!error.isEmpty())
        return false;
    QJsonParseError parsed {};
    record = QJsonDocument::fromJson(bytes, &parsed).object();
    if (parsed.error == QJsonParseError::NoError && record.value(WritesKey).isArray())
        return true;
    error = QStringLiteral("not a record of restarts");
    return false;
}

bool fileStandsAt(const QString &path, struct stat &info)
{
    return ::lstat(encoded(path).constData(), &info) == 0;
}

bool removeFile(const QString &path, QString &error)
{
    if (::unlink(encoded(path).constData()) == 0 || errno == ENOENT)
        return true;
    error = QStringLiteral("cannot remove %1: %2").arg(QDir::toNativeSeparators(path), qt_error_string(errno));
    return false;
}

// A link in the record's place is removed, never written through; a record
// already there is replaced whole; anything else is left alone.
bool writeRecord(const QString &path, const QByteArray &bytes, QString &error)
{
    struct stat info {};
    const bool exists = fileStandsAt(path, info);
    if (exists && S_ISLNK(info.st_mode) && !removeFile(path, error))
        return false;
    bool written = false;
    if (exists && S_ISREG(info.st_mode))
        written = WholeFile::replace(path, bytes, error);
    else if (!exists || S_ISLNK(info.st_mode))
        written = WholeFile::create(path, bytes, error);
    else
        error = QStringLiteral("not a regular file");
    if (!written)
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), error);
    return written;
}
}

PendingRestarts::PendingRestarts(const QString &folder, const QString &port, const Controller &controller,
                                 const QString &command)
    : m_folder(folder), m_port(portPathOf(port)), m_device(deviceOf(m_port)), m_controller(controller),
      m_command(command)
{
    m_path = QDir(folder).filePath(devicePrefix(m_device) + fileNamePart(controller.firmware) + QLatin1Char('-')
                                   + fileNamePart(controller.boot) + QStringLiteral(".json"));
    readAll();
}

void PendingRestarts::readAll()
{
    const QStringList names = QDir(m_folder).entryList({QStringLiteral("*.json")},
                                                       QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString path = QDir(m_folder).filePath(name);
        if (path != m_path)
            readOther(path);
    }
    struct stat info {};
    if (fileStandsAt(m_path, info))
        readOwn();
}

// Its own record unreadable, the port is taken to owe this controller every restart.
void PendingRestarts::readOwn()
{
    QJsonObject record;
    QString error;
    if (!readRecord(m_path, record, error))
        m_unreadable = error;
    else if (!isController(record, m_controller) || record.value(DeviceKey).toString() != deviceText(m_device))
        m_unreadable = QStringLiteral("a record of another port or controller");
    else if (!addWrites(record.value(WritesKey).toArray()))
        m_unreadable = QStringLiteral("names an unknown write");
}

// Another controller's record for this device, or a record made through the
// same path when it led to another device. Records that cannot be read are
// not this controller's to judge.
void PendingRestarts::readOther(const QString &path)
{
    QJsonObject record;
    QString error;
    if (!readRecord(path, record, error))
        return;
    const bool sameDevice = QFileInfo(path).fileName().startsWith(devicePrefix(m_device))
                            && record.value(DeviceKey).toString() == deviceText(m_device);
    const bool samePort = record.value(PortKey).toString() == m_port;
    // A record from before records named their controller: its device path tells whether it is this line's.
    const bool earlierForm = !record.contains(FirmwareKey) && deviceOf(record.value(DeviceKey).toString()) == m_device;
    if (earlierForm || ((sameDevice || samePort) && isController(record, m_controller))) {
        m_absorbed.append(path);
        if (!addWrites(record.value(WritesKey).toArray()))
            m_unreadable = QStringLiteral("%1 names an unknown write").arg(QDir::toNativeSeparators(path));
    } else if (sameDevice || samePort) {
        m_foreign.append({{record.value(FirmwareKey).toString(), record.value(BootKey).toString()},
                          record.value(CommandKey).toString(), path});
    }
}

bool PendingRestarts::addWrites(const QJsonArray &names)
{
    bool allKnown = true;
    for (const QJsonValue &name : names) {
        const auto known = std::find_if(restartingWrites().begin(), restartingWrites().end(),
                                        [&](const RestartingWrite &each) { return each.name == name.toString(); });
        if (known == restartingWrites().end())
            allKnown = false;
        else
            m_writes.append(known->write);
    }
    return allKnown;
}

QVector<ParamWrite> PendingRestarts::writesFor(ParamBlockForm form) const
{
    QVector<ParamWrite> writes;
    for (const RestartingWrite &each : restartingWrites()) {
        if ((!m_unreadable.isEmpty() || m_writes.contains(each.write)) && formHas(form, each.write))
            writes.append(each.write);
    }
    return writes;
}

bool PendingRestarts::save(const QVector<ParamWrite> &writes, QString &error) const
{
    if (!removeAbsorbed(error))
        return false;
    if (writes.isEmpty()) {
        struct stat info {};
        // Only a record of its own goes; whatever else stands there was never one.
        return !fileStandsAt(m_path, info) || !(S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) || removeFile(m_path, error);
    }
    if (!QDir().mkpath(m_folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    QJsonArray names;
    for (const RestartingWrite &each : restartingWrites()) {
        if (writes.contains(each.write))
            names.append(each.name);
    }
    const QJsonObject record{{PortKey, m_port},
                             {DeviceKey, deviceText(m_device)},
                             {FirmwareKey, m_controller.firmware},
                             {BootKey, m_controller.boot},
                             {CommandKey, m_command},
                             {WritesKey, names}};
    return writeRecord(m_path, QJsonDocument(record).toJson(), error);
}

// What this controller's records of the port under another device held is its own record's now.
bool PendingRestarts::removeAbsorbed(QString &error) const
{
    return std::all_of(m_absorbed.begin(), m_absorbed.end(), [&](const QString &path) { return removeFile(path, error); });
}
