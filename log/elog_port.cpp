#include "log/elog_port.h"

#include "log/elog_file.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <unistd.h>

namespace {
std::recursive_mutex outputLock;
std::recursive_mutex fileLock;

char timeText[32];
char processText[16];
char threadText[16];
}

ElogErrCode elog_port_init(void)
{
    return elog_file_init();
}

void elog_port_output(const char *log, size_t size)
{
    // A terminal takes UTF-8 as it is, so console and redirected output are the same bytes.
    std::fwrite(log, 1, size, stdout);
    std::fflush(stdout);
    elog_file_write(log, size);
}

void elog_port_output_lock(void)
{
    outputLock.lock();
}

void elog_port_output_unlock(void)
{
    outputLock.unlock();
}

void elog_port_file_lock(void)
{
    fileLock.lock();
}

void elog_port_file_unlock(void)
{
    fileLock.unlock();
}

const char *elog_port_get_time(void)
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local {};
    localtime_r(&now.tv_sec, &local);
    std::snprintf(timeText, sizeof timeText, "%04u-%02u-%02u %02u:%02u:%02u.%03u",
                  unsigned(local.tm_year + 1900), unsigned(local.tm_mon + 1), unsigned(local.tm_mday),
                  unsigned(local.tm_hour), unsigned(local.tm_min), unsigned(local.tm_sec),
                  unsigned(now.tv_nsec / 1000000));
    return timeText;
}

const char *elog_port_get_p_info(void)
{
    std::snprintf(processText, sizeof processText, "pid:%lu", static_cast<unsigned long>(getpid()));
    return processText;
}

const char *elog_port_get_t_info(void)
{
    std::snprintf(threadText, sizeof threadText, "tid:%lu", static_cast<unsigned long>(gettid()));
    return threadText;
}
