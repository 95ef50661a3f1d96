#include "support/Unprivileged.h"

#include "support/ChildProcess.h"

#include <QDir>
#include <QFile>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const unsigned NobodyId = 65534;
const QFile::Permissions EveryoneReadsAndEnters = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
    | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
const QFile::Permissions EveryoneWrites = EveryoneReadsAndEnters | QFile::WriteGroup | QFile::WriteOther;

bool isRoot()
{
    return ::geteuid() == 0;
}
}

bool becomeUnprivileged()
{
    return !isRoot() || (::setgroups(0, nullptr) == 0 && ::setgid(NobodyId) == 0 && ::setuid(NobodyId) == 0);
}

bool shutOutUnprivileged(const QString &device, bool groupMayOpen)
{
    const QByteArray path = QFile::encodeName(device);
    if (!isRoot())
        return ::chmod(path.constData(), groupMayOpen ? 0060 : 0000) == 0;
    const group *dialout = ::getgrnam("dialout");
    return dialout && ::chown(path.constData(), 0, dialout->gr_gid) == 0
        && ::chmod(path.constData(), groupMayOpen ? 0660 : 0600) == 0;
}

QString groupOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    const group *owner = ::getgrgid(info.st_gid);
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QString();
}

SharedFolder::SharedFolder()
{
    if (!m_dir.isValid() || !QFile::setPermissions(m_dir.path(), EveryoneWrites))
        return;
    const QByteArray path = QFile::encodeName(m_dir.path());
    m_reachable = runInChild([&path] {
        if (!becomeUnprivileged() || ::access(path.constData(), R_OK | W_OK | X_OK) != 0)
            ::_exit(1);
    }).succeeded();
}

QString SharedFolder::copyProgram(const QString &name)
{
    const QString copy = m_dir.filePath(name);
    if (!copyLibraries() || !QFile::copy(QStringLiteral(TAVOX_BINARY_DIR "/") + name, copy))
        return QString();
    return QFile::setPermissions(copy, EveryoneReadsAndEnters) ? copy : QString();
}

// Copied rather than linked, as the build folder may be closed to "nobody"; they go where the programs' run
// path looks for them.
bool SharedFolder::copyLibraries()
{
    if (m_librariesCopied)
        return true;
    const QDir built(QStringLiteral(TAVOX_BINARY_DIR "/lib"));
    const QDir libraries(m_dir.filePath(QStringLiteral("lib")));
    if (!built.mkpath(libraries.path()) || !QFile::setPermissions(libraries.path(), EveryoneReadsAndEnters))
        return false;
    for (const QString &library : built.entryList({QStringLiteral("libtavox_*.so.*")}, QDir::Files)) {
        const QString copy = libraries.filePath(library);
        if (!QFile::copy(built.filePath(library), copy) || !QFile::setPermissions(copy, EveryoneReadsAndEnters))
            return false;
    }
    m_librariesCopied = true;
    return true;
}

ProgramRun SharedFolder::run(const QString &program, const QStringList &arguments, QProcessEnvironment environment,
                             int timeoutMs) const
{
    shareLeakSuppressions(environment);
    if (!isRoot())
        return runProgram(program, arguments, environment, timeoutMs);
    const QString nobody = QString::number(NobodyId);
    return runProgram(QStringLiteral("setpriv"),
                      QStringList{"--reuid", nobody, "--regid", nobody, "--clear-groups", program} + arguments,
                      environment, timeoutMs);
}

// The sanitizer build names its leak suppressions in LSAN_OPTIONS, inside the
// checkout: a program run as "nobody" gets a copy it can read, or it reports
// every leak of Qt's.
void SharedFolder::shareLeakSuppressions(QProcessEnvironment &environment) const
{
    QStringList options = environment.value(QStringLiteral("LSAN_OPTIONS")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (QString &option : options) {
        if (!option.startsWith(QLatin1String("suppressions=")))
            continue;
        const QString shared = m_dir.filePath(QStringLiteral("lsan.supp"));
        if (!QFile::exists(shared) && QFile::copy(option.section(QLatin1Char('='), 1), shared))
            QFile::setPermissions(shared, EveryoneReadsAndEnters);
        option = QStringLiteral("suppressions=") + shared;
    }
    if (!options.isEmpty())
        environment.insert(QStringLiteral("LSAN_OPTIONS"), options.join(QLatin1Char(':')));
}
