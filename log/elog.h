#pragma once

#include <cstddef>
#include <cstdint>

// Log core: formats one record per call and hands it to the console (or
// standard output) and the rotating log file. Process-wide state, free functions.

#define ELOG_LVL_ASSERT 0
#define ELOG_LVL_ERROR 1
#define ELOG_LVL_WARN 2
#define ELOG_LVL_INFO 3
#define ELOG_LVL_DEBUG 4
#define ELOG_LVL_VERBOSE 5

#define ELOG_FMT_LVL (1u << 0)
#define ELOG_FMT_TAG (1u << 1)
#define ELOG_FMT_TIME (1u << 2)
#define ELOG_FMT_P_INFO (1u << 3)
#define ELOG_FMT_T_INFO (1u << 4)
#define ELOG_FMT_DIR (1u << 5)
#define ELOG_FMT_FUNC (1u << 6)
#define ELOG_FMT_LINE (1u << 7)

#define ELOG_LINE_BUF_SIZE 1024

typedef enum {
    ELOG_NO_ERR,
} ElogErrCode;

ElogErrCode elog_init(void);
void elog_start(void);
void elog_set_fmt(uint8_t level, size_t set);
bool get_fmt_enabled(uint8_t level, size_t set);
void elog_output(uint8_t level, const char *tag, const char *file, const char *func,
                 const long line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 6, 7)))
#endif
    ;
size_t elog_strcpy(size_t cur_len, char *dst, const char *src);

// A failed argument check: writes the level-0 record "(<expression>) has assert
// failed at <function>:<line>." with the tag "elog" and stops the program. The
// function names and line numbers of the checks are fixed texts, so a record
// reads the same whatever build or platform wrote it.
[[noreturn]] void elog_assert_failed(const char *expression, const char *function, long line);
