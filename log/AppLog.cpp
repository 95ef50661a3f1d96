#include "log/AppLog.h"

#include "app/DebugConsole.h"
#include "log/elog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>

#include <cstring>

namespace {
// Empty (first byte zero) while no session runs.
char logPath[512];

const char LogDirSuffix[] = "/logs";
const char FilePrefix[] = "/tavox_";
const char TimeStampPattern[] = "yyyyMMdd_HHmmss";
const char FileExtension[] = ".log";
const char Tag[] = "app";

QString logDirectory(const QString &appDir)
{
    return appDir + QLatin1String(LogDirSuffix);
}

void writeSessionHeader()
{
    elog_output(ELOG_LVL_INFO, Tag, nullptr, nullptr, 0, "%s",
                "========== TAVOX log session start (UTF-8) ==========");
    elog_output(ELOG_LVL_INFO, Tag, nullptr, nullptr, 0, "Log file: %s", logPath);
    elog_output(ELOG_LVL_INFO, Tag, nullptr, nullptr, 0, "Debug console: %s",
                isConsoleActive() ? "attached" : "off");
}
}

QByteArray appLogSessionPath(const QString &appDir, const QDateTime &start)
{
    const QString path = logDirectory(appDir) + QLatin1String(FilePrefix)
        + start.toString(QLatin1String(TimeStampPattern)) + QLatin1String(FileExtension);
    return QDir::toNativeSeparators(path).toUtf8();
}

bool appLogPathFits(const QByteArray &path)
{
    return size_t(path.size()) + 1 < sizeof logPath;
}

bool appLogInitIn(const QString &appDir)
{
    if (logPath[0] != '\0')
        return true;

    const QString directory = logDirectory(appDir);
    if (!QDir().mkpath(directory)) {
        qWarning() << "[AppLog] Failed to create log directory:" << directory;
        return false;
    }
    const QByteArray path = appLogSessionPath(appDir, QDateTime::currentDateTime());
    if (!appLogPathFits(path)) {
        qWarning() << "[AppLog] Log path too long:" << QString::fromUtf8(path);
        return false;
    }
    std::memcpy(logPath, path.constData(), size_t(path.size()) + 1);

    if (elog_init() != ELOG_NO_ERR) {
        qWarning() << "[AppLog] elog_init failed";
        logPath[0] = '\0';
        return false;
    }
    for (uint8_t level = ELOG_LVL_ASSERT; level <= ELOG_LVL_VERBOSE; ++level)
        elog_set_fmt(level, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
    elog_start();
    writeSessionHeader();
    return true;
}

bool appLogInit()
{
    return appLogInitIn(QCoreApplication::applicationDirPath());
}

QString appLogFilePath()
{
    return logPath[0] != '\0' ? QString::fromUtf8(logPath) : QString();
}

const char *appLogFilePathUtf8()
{
    return logPath[0] != '\0' ? logPath : nullptr;
}
