#include "log/elog.h"

#include "log/elog_port.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const size_t LevelCount = ELOG_LVL_VERBOSE + 1;
const char *const LevelPrefix[LevelCount] = { "A/", "E/", "W/", "I/", "D/", "V/" };
const size_t TagColumnWidth = 8;
const size_t LineTextSize = 5;

bool initOk = false;
bool outputEnabled = false;
uint8_t filterLevel = ELOG_LVL_VERBOSE;
size_t enabledFmtSet[LevelCount] = {};

// One buffer for every record: records are built under the output lock.
char logBuf[ELOG_LINE_BUF_SIZE];

class OutputLock
{
public:
    OutputLock() { elog_port_output_lock(); }
    ~OutputLock() { elog_port_output_unlock(); }
    OutputLock(const OutputLock &) = delete;
    OutputLock &operator=(const OutputLock &) = delete;
};

size_t append(size_t len, const char *text)
{
    return len + elog_strcpy(len, logBuf + len, text);
}

size_t appendTag(size_t len, const char *tag)
{
    len = append(len, tag);
    for (size_t width = std::strlen(tag); width < TagColumnWidth; ++width)
        len = append(len, " ");
    return append(len, " ");
}

size_t appendBracketInfo(uint8_t level, size_t len)
{
    const bool time = get_fmt_enabled(level, ELOG_FMT_TIME);
    const bool process = get_fmt_enabled(level, ELOG_FMT_P_INFO);
    const bool thread = get_fmt_enabled(level, ELOG_FMT_T_INFO);
    if (!time && !process && !thread)
        return len;
    len = append(len, "[");
    if (time) {
        len = append(len, elog_port_get_time());
        if (process || thread)
            len = append(len, " ");
    }
    if (process) {
        len = append(len, elog_port_get_p_info());
        if (thread)
            len = append(len, " ");
    }
    if (thread)
        len = append(len, elog_port_get_t_info());
    return append(len, "] ");
}

size_t appendSourcePosition(uint8_t level, size_t len, const char *file, const char *func, long line)
{
    const bool showFile = get_fmt_enabled(level, ELOG_FMT_DIR) && file != nullptr;
    const bool showFunc = get_fmt_enabled(level, ELOG_FMT_FUNC) && func != nullptr;
    const bool showLine = get_fmt_enabled(level, ELOG_FMT_LINE) && line != 0;
    if (!showFile && !showFunc && !showLine)
        return len;
    len = append(len, "(");
    if (showFile) {
        len = append(len, file);
        if (showFunc)
            len = append(len, ":");
        else if (showLine)
            len = append(len, " ");
    }
    if (showLine) {
        char lineText[LineTextSize];
        std::snprintf(lineText, sizeof lineText, "%ld", line);
        len = append(len, lineText);
        if (showFunc)
            len = append(len, " ");
    }
    if (showFunc)
        len = append(len, func);
    return append(len, ")");
}

size_t appendMessage(size_t len, const char *format, va_list args)
{
    const int written = std::vsnprintf(logBuf + len, ELOG_LINE_BUF_SIZE - len, format, args);
    if (written < 0 || len + size_t(written) > ELOG_LINE_BUF_SIZE)
        return ELOG_LINE_BUF_SIZE;
    return len + size_t(written);
}

size_t appendLineFeed(size_t len)
{
    if (len + 1 > ELOG_LINE_BUF_SIZE)
        len = ELOG_LINE_BUF_SIZE - 1;
    return append(len, "\n");
}
}

void elog_assert_failed(const char *expression, const char *function, long line)
{
    elog_output(ELOG_LVL_ASSERT, "elog", nullptr, nullptr, 0, "(%s) has assert failed at %s:%ld.", expression,
                function, line);
    std::abort();
}

ElogErrCode elog_init(void)
{
    if (initOk)
        return ELOG_NO_ERR;
    const ElogErrCode result = elog_port_init();
    if (result != ELOG_NO_ERR)
        return result;
    filterLevel = ELOG_LVL_VERBOSE;
    initOk = true;
    return ELOG_NO_ERR;
}

void elog_start(void)
{
    if (initOk)
        outputEnabled = true;
}

void elog_set_fmt(uint8_t level, size_t set)
{
    if (level > ELOG_LVL_VERBOSE)
        elog_assert_failed("level <= ELOG_LVL_VERBOSE", "elog_set_fmt", 320);
    enabledFmtSet[level] = set;
}

bool get_fmt_enabled(uint8_t level, size_t set)
{
    if (level > ELOG_LVL_VERBOSE)
        elog_assert_failed("level <= ELOG_LVL_VERBOSE", "get_fmt_enabled", 735);
    return (enabledFmtSet[level] & set) != 0;
}

void elog_output(uint8_t level, const char *tag, const char *file, const char *func, const long line,
                 const char *format, ...)
{
    if (level > ELOG_LVL_VERBOSE)
        elog_assert_failed("level <= ELOG_LVL_VERBOSE", "elog_output", 574);
    if (!outputEnabled || level > filterLevel)
        return;
    if (tag == nullptr)
        elog_assert_failed("tag != ((void *)0)", "elog_get_filter_tag_lvl", 480);

    const OutputLock lock;
    size_t len = 0;
    if (get_fmt_enabled(level, ELOG_FMT_LVL))
        len = append(len, LevelPrefix[level]);
    if (get_fmt_enabled(level, ELOG_FMT_TAG))
        len = appendTag(len, tag);
    len = appendBracketInfo(level, len);
    len = appendSourcePosition(level, len, file, func, line);

    va_list args;
    va_start(args, format);
    len = appendMessage(len, format, args);
    va_end(args);

    len = appendLineFeed(len);
    elog_port_output(logBuf, len);
}

size_t elog_strcpy(size_t cur_len, char *dst, const char *src)
{
    if (dst == nullptr)
        elog_assert_failed("dst", "elog_strcpy", 44);
    if (src == nullptr)
        elog_assert_failed("src", "elog_strcpy", 45);
    size_t copied = 0;
    while (src[copied] != '\0' && cur_len + copied < ELOG_LINE_BUF_SIZE) {
        dst[copied] = src[copied];
        ++copied;
    }
    return copied;
}
