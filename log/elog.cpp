// Placeholder until the log core lands.
#include "log/elog.h"

ElogErrCode elog_init(void) { return ELOG_NO_ERR; }
void elog_start(void) {}
void elog_set_fmt(uint8_t, size_t) {}
bool get_fmt_enabled(uint8_t, size_t) { return false; }
void elog_output(uint8_t, const char *, const char *, const char *, const long, const char *, ...) {}
size_t elog_strcpy(size_t, char *, const char *) { return 0; }
