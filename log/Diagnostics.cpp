#include "log/Diagnostics.h"

#include "app/DebugConsole.h"

#include <QLoggingCategory>

bool diagnosticsHeard()
{
    return isConsoleActive() || QLoggingCategory::defaultCategory()->isDebugEnabled();
}
