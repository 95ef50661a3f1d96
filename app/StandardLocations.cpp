#include "app/StandardLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {
const char ProductFolder[] = "/tavox";

// The layout `cmake --install` and the Debian package lay down: <prefix>/<bindir>/tavox beside
// <prefix>/<libdir>/tavox/. A build tree or a portable folder has its libraries elsewhere.
bool isInstalledCopy()
{
    const QString programs = QCoreApplication::applicationDirPath();
    const QString binFolder = QStringLiteral("/" TAVOX_INSTALL_BINDIR);
    if (!programs.endsWith(binFolder))
        return false;
    const QString prefix = programs.chopped(binFolder.size());
    return QFileInfo(prefix + QStringLiteral("/" TAVOX_PRIVATE_LIBDIR)).isDir();
}

bool applicationDirIsWritable()
{
    return ::access(QFile::encodeName(QCoreApplication::applicationDirPath()).constData(), W_OK) == 0;
}

bool keptBesideExecutable()
{
    return !isInstalledCopy() && applicationDirIsWritable();
}

QString besideExecutableOr(QStandardPaths::StandardLocation location)
{
    if (keptBesideExecutable())
        return QCoreApplication::applicationDirPath();
    return QStandardPaths::writableLocation(location) + QLatin1String(ProductFolder);
}
}

QString userStateHome()
{
    const QString set = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    if (QDir::isAbsolutePath(set))
        return set;
    return QDir::homePath() + QStringLiteral("/.local/state");
}

QString configDirectory()
{
    return besideExecutableOr(QStandardPaths::GenericConfigLocation);
}

QString dataDirectory()
{
    return besideExecutableOr(QStandardPaths::GenericDataLocation);
}

QString stateDirectory()
{
    return keptBesideExecutable() ? QCoreApplication::applicationDirPath() : userStateHome() + QLatin1String(ProductFolder);
}
