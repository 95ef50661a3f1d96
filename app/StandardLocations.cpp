#include "app/StandardLocations.h"

#include <QCoreApplication>
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

QString besideExecutableOr(QStandardPaths::StandardLocation location)
{
    if (!isInstalledCopy() && applicationDirIsWritable())
        return QCoreApplication::applicationDirPath();
    return QStandardPaths::writableLocation(location) + QLatin1String(ProductFolder);
}
}

QString configDirectory()
{
    return besideExecutableOr(QStandardPaths::GenericConfigLocation);
}

QString dataDirectory()
{
    return besideExecutableOr(QStandardPaths::GenericDataLocation);
}
