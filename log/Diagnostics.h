#pragma once

// Whether a diagnostic line ("[DIAG-…]") would reach anyone: the debug console,
// or Qt's debug output unless the user switched it off (QT_LOGGING_RULES).
// Diagnostic lines do not go to the log file, so when neither listens a caller
// can skip formatting them; a line that is written reads the same either way.
bool diagnosticsHeard();
