#pragma once

#include "log/elog.h"

#include <cstddef>

// What the log core needs from the operating system: locks, the texts for
// time, process and thread, and the console. Implemented for POSIX.

ElogErrCode elog_port_init(void);

// Writes one finished record to standard output and to the log file.
void elog_port_output(const char *log, size_t size);

// Re-entrant: a failed check while a record is being built writes its own record.
void elog_port_output_lock(void);
void elog_port_output_unlock(void);

// Guards the log file; always taken inside the output lock.
void elog_port_file_lock(void);
void elog_port_file_unlock(void);

// Local time "YYYY-MM-DD hh:mm:ss.mmm", "pid:<id>" and "tid:<kernel thread id>".
// The texts live in static buffers: read them under the output lock.
const char *elog_port_get_time(void);
const char *elog_port_get_p_info(void);
const char *elog_port_get_t_info(void);
