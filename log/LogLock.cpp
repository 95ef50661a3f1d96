#include "log/LogLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char LockFileSuffix[] = ".lock";
const off_t WriteTurnByte = 0;
const off_t WriterByte = 1;

std::string lockPath(const std::string &log)
{
    return log + LockFileSuffix;
}

bool lockBytes(int fd, short type, off_t start, off_t length, bool wait)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    int result;
    while ((result = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock)) != 0 && errno == EINTR) { }
    return result == 0;
}

// Whether the locked descriptor is still the file at `path`: a closing writer may have removed it meanwhile.
bool isAtPath(int fd, const std::string &path)
{
    struct stat held {};
    struct stat named {};
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev
        && held.st_ino == named.st_ino;
}

// Taking every byte a writer holds succeeds only while nobody writes the log.
bool lockAgainstWriters(int fd)
{
    return lockBytes(fd, F_WRLCK, WriteTurnByte, WriterByte + 1, false);
}
}

int openLogLock(const std::string &log)
{
    const std::string path = lockPath(log);
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return -1;
        if (!lockBytes(fd, F_RDLCK, WriterByte, 1, true)) {
            ::close(fd);
            return -1;   // a file system without such locks: this process goes on alone
        }
        if (isAtPath(fd, path))
            return fd;
        ::close(fd);
    }
}

void takeWriteTurn(int lockFd)
{
    if (lockFd >= 0)
        lockBytes(lockFd, F_WRLCK, WriteTurnByte, 1, true);
}

void endWriteTurn(int lockFd)
{
    if (lockFd >= 0)
        lockBytes(lockFd, F_UNLCK, WriteTurnByte, 1, true);
}

void closeLogLock(int lockFd, const std::string &log)
{
    if (lockFd < 0)
        return;
    if (lockAgainstWriters(lockFd))
        ::unlink(lockPath(log).c_str());
    ::close(lockFd);
}

bool removeUnwrittenLog(const std::string &log, const std::function<void()> &removeLog)
{
    const std::string path = lockPath(log);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        // Every writer holds its lock file, so a log without one has no writer left.
        if (errno != ENOENT)
            return false;
        removeLog();
        return true;
    }
    const bool unwritten = lockAgainstWriters(fd) && isAtPath(fd, path);
    if (unwritten) {
        removeLog();
        ::unlink(path.c_str());
    }
    ::close(fd);
    return unwritten;
}
