#include "support/SerialLock.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/wait.h>
#include <unistd.h>

namespace {
// The folders QSerialPort tries, in its order.
const QStringList LockFolders = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                 "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};

QString lockName(const QString &port)
{
    QString name = port;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}
}

QString serialLockFile(const QString &port)
{
    for (const QString &folder : LockFolders) {
        const QString path = folder + QLatin1Char('/') + lockName(port);
        if (QFile::exists(path))
            return path;
    }
    return QString();
}

QString writeUucpLock(const QString &port, qint64 pid)
{
    for (const QString &folder : LockFolders) {
        QFile lock(folder + QLatin1Char('/') + lockName(port));
        if (QFileInfo(folder).isWritable() && lock.open(QIODevice::WriteOnly | QIODevice::NewOnly)
            && lock.write(QString::asprintf("%10lld\n", pid).toLatin1()) > 0)
            return lock.fileName();
    }
    return QString();
}

qint64 pidInLock(const QString &path)
{
    QFile lock(path);
    return !path.isEmpty() && lock.open(QIODevice::ReadOnly) ? lock.readLine().trimmed().toLongLong() : 0;
}

qint64 endedProcessId()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}
