#pragma once

class QQuickWindow;

// Hooks for running the tool without a person in front of it, each asked for
// through the environment:
//   TAVOX_SCREENSHOT=FILE   save the window to FILE a few seconds after start, then quit
//                           (how ./scripts/run shows the window on a machine without display)
//   TAVOX_STARTUP_PROBE=1   on the first frame, print the time since main() and the
//                           resident memory to standard error, then quit (./scripts/bench)
void markProcessStart();
void armStartupProbes(QQuickWindow *window);
