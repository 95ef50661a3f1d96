// Placeholder until the log session lands.
#include "log/AppLog.h"

bool appLogInit() { return false; }
QString appLogFilePath() { return QString(); }
const char *appLogFilePathUtf8() { return nullptr; }
