#include "device/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// As many links as the kernel follows before it gives up.
const int MaxLinkDepth = 40;

QString systemError(int code)
{
    return qt_error_string(code);
}

bool fail(QString &error, int code)
{
    error = systemError(code);
    return false;
}

// The file being written, beside the one it becomes: hidden, and removed unless it has been given its name.
class TemporaryFile
{
public:
    explicit TemporaryFile(const QString &target) : m_target(QFileInfo(target)) {}
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    ~TemporaryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }

    // With the permissions of any new file (0666 less the umask), unless `mode` (of the file it replaces) is given.
    bool open(QString &error, int mode = -1)
    {
        const QByteArray prefix = QFile::encodeName(m_target.path() + QLatin1String("/.") + m_target.fileName());
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_path = prefix + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            m_fd = ::open(m_path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        if (m_fd < 0) {
            const int code = errno;
            m_path.clear();
            return fail(error, code);
        }
        return mode < 0 || ::fchmod(m_fd, mode_t(mode)) == 0 || fail(error, errno);
    }

    // Every byte written, synced and closed.
    bool write(const QByteArray &bytes, QString &error)
    {
        const char *next = bytes.constData();
        size_t left = size_t(bytes.size());
        while (left > 0) {
            const ssize_t written = ::write(m_fd, next, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return fail(error, written < 0 ? errno : EIO);
            next += written;
            left -= size_t(written);
        }
        if (::fsync(m_fd) != 0)
            return fail(error, errno);
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 || errno == EINTR || fail(error, errno);
    }

    bool renameTo(const QString &path, QString &error)
    {
        if (::rename(m_path.constData(), QFile::encodeName(path).constData()) != 0)
            return fail(error, errno);
        m_path.clear();
        syncFolder();
        return true;
    }

    // Where the file system cannot rename without replacing, a hard link takes the name just as exclusively.
    bool renameToNew(const QString &path, QString &error)
    {
        const QByteArray name = QFile::encodeName(path);
        if (::renameat2(AT_FDCWD, m_path.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE) == 0) {
            m_path.clear();
        } else if ((errno != EINVAL && errno != ENOSYS) || ::link(m_path.constData(), name.constData()) != 0) {
            return fail(error, errno);
        }
        syncFolder();
        return true;
    }

private:
    // The new name lasts through a power cut. The earlier file is gone by now, so a failure here is not worth
    // reporting as a failed save.
    void syncFolder() const
    {
        const int folder = ::open(QFile::encodeName(m_target.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0)
            return;
        ::fsync(folder);
        ::close(folder);
    }

    QFileInfo m_target;
    QByteArray m_path;
    int m_fd = -1;
};

// The end of the chain of links at `path`: the file a save there replaces.
bool followLinks(QString &path, QString &error)
{
    for (int depth = 0; depth < MaxLinkDepth; ++depth) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            return true;
        path = info.symLinkTarget();
    }
    return fail(error, ELOOP);
}

// The permissions the replacement takes over, -1 when nothing stands at `path` yet.
bool replaceableMode(const QString &path, int &mode, QString &error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        mode = -1;
        return errno == ENOENT || fail(error, errno);
    }
    if (S_ISDIR(status.st_mode))
        return fail(error, EISDIR);
    if (!S_ISREG(status.st_mode)) {
        error = QStringLiteral("Not a regular file");
        return false;
    }
    if (::access(name.constData(), W_OK) != 0)
        return fail(error, errno);
    mode = int(status.st_mode & 07777);
    return true;
}
}

namespace WholeFile {
bool replace(const QString &path, const QByteArray &bytes, QString &error)
{
    QString target = path;
    int mode = -1;
    if (!followLinks(target, error) || !replaceableMode(target, mode, error))
        return false;
    TemporaryFile file(target);
    return file.open(error, mode) && file.write(bytes, error) && file.renameTo(target, error);
}

bool create(const QString &path, const QByteArray &bytes, QString &error)
{
    TemporaryFile file(path);
    return file.open(error) && file.write(bytes, error) && file.renameToNew(path, error);
}
}
