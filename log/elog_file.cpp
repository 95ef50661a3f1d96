#include "log/elog_file.h"

#include "log/AppLog.h"
#include "log/LogLock.h"
#include "log/elog_port.h"

#include <QDebug>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char DefaultFileName[] = "/tmp/log_file.log";
const size_t DefaultMaxSize = 0x100000;
const int DefaultMaxRotate = 5;
const unsigned char ByteOrderMark[] = { 0xEF, 0xBB, 0xBF };
// While rotation keeps failing it is tried again once per tenth of the size limit written, and the file may
// grow to twice the limit before records are dropped.
const size_t RetryDivisor = 10;
const size_t GrowthFactorWhileFailing = 2;

bool initOk = false;
int fd = -1;
int lockFd = -1;
int openError = ENOENT;
std::string fileName;
size_t maxSize = 0;
int maxRotate = 0;
bool rotationFailing = false;
size_t bytesSinceFailedRotation = 0;
unsigned long droppedRecords = 0;

class FileLock
{
public:
    FileLock() { elog_port_file_lock(); }
    ~FileLock() { elog_port_file_unlock(); }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
};

// Two processes started in the same second write the same file. Everything one of them does to it (open,
// append, cut back, rotate) happens in its turn, so neither sees the other half-way.
class WriteTurn
{
public:
    WriteTurn() { takeWriteTurn(lockFd); }
    ~WriteTurn() { endWriteTurn(lockFd); }
    WriteTurn(const WriteTurn &) = delete;
    WriteTurn &operator=(const WriteTurn &) = delete;
};

QString describeError(const char *what, const std::string &path)
{
    return QString::fromLatin1(what) + QLatin1Char(' ') + QString::fromStdString(path) + QStringLiteral(": ")
        + QString::fromLocal8Bit(std::strerror(errno));
}

bool exists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}

std::string generationName(int generation)
{
    return fileName + "." + std::to_string(generation);
}

// A file whose size cannot be told or means nothing (a device, a pipe) is never rotated.
size_t fileSize()
{
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? size_t(info.st_size) : 0;
}

// False once another process has rotated the file this one still writes to.
bool isCurrentFile()
{
    struct stat held {};
    struct stat named {};
    return fstat(fd, &held) == 0 && stat(fileName.c_str(), &named) == 0 && held.st_dev == named.st_dev
        && held.st_ino == named.st_ino;
}

bool cutBack(size_t written)
{
    const off_t end = lseek(fd, 0, SEEK_CUR);
    return end >= off_t(written) && ftruncate(fd, end - off_t(written)) == 0;
}

// One write() per record: with O_APPEND the kernel puts it at the end in one piece. A short write (a full
// disk, a file size limit) is cut back to the record's start, so a torn record never runs into the next.
bool appendRecord(const char *log, size_t size)
{
    ssize_t written;
    do
        written = ::write(fd, log, size);
    while (written < 0 && errno == EINTR);
    if (written == ssize_t(size))
        return true;
    if (written > 0)
        cutBack(size_t(written));
    return false;
}

void closeIfOpen(int &file)
{
    if (file >= 0)
        ::close(file);
    file = -1;
}

// Opens the file by its name for appending, in place of the open one. Only the process that creates it
// writes the byte order mark, so a file another process has just made never gets a second one. On failure
// the open file stays and the reason is returned.
QString openCurrentFile()
{
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC;
    int opened = ::open(fileName.c_str(), flags | O_CREAT | O_EXCL, 0666);
    const bool created = opened >= 0;
    if (!created && errno == EEXIST)
        opened = ::open(fileName.c_str(), flags);
    if (opened < 0) {
        openError = errno;
        return describeError("cannot open", fileName);
    }
    closeIfOpen(fd);
    fd = opened;
    openError = 0;
    if (created)
        appendRecord(reinterpret_cast<const char *>(ByteOrderMark), sizeof ByteOrderMark);
    return QString();
}

// Moves every generation one down and the current file to generation 0; the oldest generation is deleted.
// Stops at the first rename that fails and returns why.
QString shiftGenerations()
{
    for (int n = maxRotate - 1; n >= 0; --n) {
        const std::string target = generationName(n);
        const std::string source = n > 0 ? generationName(n - 1) : fileName;
        if (exists(target))
            std::remove(target.c_str());
        if (exists(source) && std::rename(source.c_str(), target.c_str()) != 0)
            return describeError("cannot rename", source) + QStringLiteral(" (to ") + QString::fromStdString(target)
                + QLatin1Char(')');
    }
    return QString();
}

QString rotate()
{
    const QString shiftFailure = shiftGenerations();
    return shiftFailure.isEmpty() ? openCurrentFile() : shiftFailure;
}

void noteRotation(const QString &failure)
{
    if (failure.isEmpty()) {
        rotationFailing = false;
        return;
    }
    if (!rotationFailing)
        qWarning().noquote() << QStringLiteral("[elog] rotation failed: ") + failure;
    rotationFailing = true;
    bytesSinceFailedRotation = 0;
}

// Rotates the file, or takes up the one another process has rotated to. A rotation that fails is not tried
// for every record but once per tenth of the size limit, so a lasting fault costs little.
void bringBelowLimit(size_t recordSize)
{
    if (rotationFailing) {
        bytesSinceFailedRotation += recordSize;
        if (bytesSinceFailedRotation < maxSize / RetryDivisor)
            return;
    }
    noteRotation(isCurrentFile() ? rotate() : openCurrentFile());
}

void reportDroppedRecords()
{
    if (droppedRecords == 0)
        return;
    qWarning().noquote() << QStringLiteral("[elog] %1 records dropped: the log file %2 could not take them")
                                .arg(droppedRecords)
                                .arg(QString::fromStdString(fileName));
    droppedRecords = 0;
}
}

ElogErrCode elog_file_init(void)
{
    if (initOk)
        return ELOG_NO_ERR;
    const char *sessionPath = appLogFilePathUtf8();
    ElogFileCfg cfg {};
    cfg.name = sessionPath != nullptr && sessionPath[0] != '\0' ? sessionPath : DefaultFileName;
    cfg.max_size = DefaultMaxSize;
    cfg.max_rotate = DefaultMaxRotate;
    elog_file_config(&cfg);
    initOk = true;
    return ELOG_NO_ERR;
}

void elog_file_config(const ElogFileCfg *cfg)
{
    const FileLock lock;
    elog_file_close();
    fileName = cfg->name != nullptr ? cfg->name : "";
    maxSize = cfg->max_size;
    maxRotate = cfg->max_rotate;
    rotationFailing = false;
    droppedRecords = 0;
    if (fileName.empty())
        return;
    lockFd = openLogLock(fileName);
    const WriteTurn turn;
    openCurrentFile();
}

void elog_file_close(void)
{
    const FileLock lock;
    closeIfOpen(fd);
    closeLogLock(lockFd, fileName);
    lockFd = -1;
    openError = ENOENT;
}

int elog_file_open_error(void)
{
    const FileLock lock;
    return fd >= 0 ? 0 : openError;
}

void elog_file_write(const char *log, size_t size)
{
    if (!initOk)
        elog_assert_failed("init_ok", "elog_file_write", 128);
    if (log == nullptr)
        elog_assert_failed("log", "elog_file_write", 129);

    const FileLock lock;
    if (fd < 0)
        return;
    const WriteTurn turn;
    if (fileSize() > maxSize)
        bringBelowLimit(size);
    if (fileSize() + size > maxSize * GrowthFactorWhileFailing || !appendRecord(log, size)) {
        ++droppedRecords;
        return;
    }
    reportDroppedRecords();
}
