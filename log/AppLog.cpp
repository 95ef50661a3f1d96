#include "log/AppLog.h"

#include "app/DebugConsole.h"
#include "app/StandardLocations.h"
#include "log/elog.h"
#include "log/LogPruning.h"
#include "log/elog_file.h"

#include <QDebug>
#include <QDir>

#include <cstdlib>
#include <cstring>

namespace {
bool sessionRunning = false;
// Empty (first byte zero) while no log file is open.
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

// The session goes on without its file: records still reach the console, and nothing may name the file.
void giveUpLogFile(int error)
{
    const QString reason = QString::fromLocal8Bit(std::strerror(error));
    qWarning().noquote() << QStringLiteral("[AppLog] Cannot open log file: %1 (%2)")
                                .arg(QString::fromUtf8(logPath), reason);
    logPath[0] = '\0';
}

void writeSessionHeader(const QByteArray &path, int fileError)
{
    elog_output(ELOG_LVL_INFO, Tag, nullptr, nullptr, 0, "%s",
                "========== TAVOX log session start (UTF-8) ==========");
    if (fileError == 0)
        elog_output(ELOG_LVL_INFO, Tag, nullptr, nullptr, 0, "Log file: %s", path.constData());
    else
        elog_output(ELOG_LVL_INFO, Tag, nullptr, nullptr, 0, "Log file could not be opened: %s (%s)",
                    path.constData(), std::strerror(fileError));
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
    if (sessionRunning)
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
    const int fileError = elog_file_open_error();
    if (fileError != 0)
        giveUpLogFile(fileError);
    else
        std::atexit(elog_file_close);   // the last writer of a log takes its lock file away
    LogPruning::prune(directory, QString::fromUtf8(path));
    sessionRunning = true;
    for (uint8_t level = ELOG_LVL_ASSERT; level <= ELOG_LVL_VERBOSE; ++level)
        elog_set_fmt(level, ELOG_FMT_LVL | ELOG_FMT_TAG | ELOG_FMT_TIME);
    elog_start();
    writeSessionHeader(path, fileError);
    return true;
}

bool appLogInit()
{
    return appLogInitIn(stateDirectory());
}

QString appLogEarlierFolder()
{
    const QString earlier = logDirectory(dataDirectory());
    return earlier == logDirectory(stateDirectory()) ? QString() : earlier;
}

QString appLogFilePath()
{
    return logPath[0] != '\0' ? QString::fromUtf8(logPath) : QString();
}

const char *appLogFilePathUtf8()
{
    return logPath[0] != '\0' ? logPath : nullptr;
}
