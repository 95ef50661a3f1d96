#include "app/StandardLocations.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {
const char ProductFolder[] = "/tavox";

bool applicationDirIsWritable()
{
    return ::access(QFile::encodeName(QCoreApplication::applicationDirPath()).constData(), W_OK) == 0;
}

QString besideExecutableOr(QStandardPaths::StandardLocation location)
{
    if (applicationDirIsWritable())
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
