#pragma once

#include "log/elog.h"

#include <cstddef>

// Appends every record to the session's log file and rotates it: once the file
// has grown past max_size, the next record starts a new file and the older
// ones move down to <name>.0 (newest) ... <name>.<max_rotate - 1> (oldest).
// Processes sharing one file take turns through the lock file <name>.lock
// (see LogLock.h).

typedef struct {
    const char *name;  // path of the current file; copied, so it need not outlive the call
    size_t max_size;   // bytes
    int max_rotate;    // number of older generations kept
} ElogFileCfg;

ElogErrCode elog_file_init(void);
void elog_file_config(const ElogFileCfg *cfg);
void elog_file_write(const char *log, size_t size);
// Closes the file; later records go nowhere until the next elog_file_config.
void elog_file_close(void);

// Why no file is open (an errno value), or 0 while one is.
int elog_file_open_error(void);
