#include "support/SerialLock.h"

#include <QFile>
#include <QStringList>

namespace {
// The folders QSerialPort tries, in its order.
const QStringList LockFolders = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                 "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};
}

QString serialLockFile(const QString &port)
{
    QString name = port;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &folder : LockFolders) {
        const QString path = folder + QStringLiteral("/LCK..") + name;
        if (QFile::exists(path))
            return path;
    }
    return QString();
}
