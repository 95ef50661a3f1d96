#pragma once

class QQuickWindow;

// Hooks for running the tool without a person in front of it, each asked for
// through the environment:
//   TAVOX_SCREENSHOT=FILE   save the window to FILE a few seconds after start, then quit
//                           (how ./scripts/run shows the window on a machine without display)
//   TAVOX_STARTUP_PROBE=1   on the first frame, print to standard error the time since
//                           main(), the moment on the system's monotonic clock (so a
//                           launcher can time from before it started the process), the
//                           resident memory and its peak, then quit (./scripts/bench startup)
//   TAVOX_TIMER_PROBE=1     run a 10 ms timer beside the window and print once a second
//                           how late its latest ticks came (./scripts/bench fairness)
//   TAVOX_ZOOM_PROBE=1      after the first frame, zoom the window one step at a time up to
//                           its largest and down to its smallest, print to standard error
//                           the time from each change to the frame that shows it, then quit
//                           (./scripts/bench startup)
//   TAVOX_DIALOG_PROBE=1    after the first frame, open the file dialog of the window's exports,
//                           cancel it once it has painted, print to standard error the
//                           resident memory and its peak, then quit (./scripts/bench startup)
//   TAVOX_OPEN_VIEW=NAME    open the view (a Loader) of that object name at start, as an
//                           operator would (./scripts/bench soak ... on: the live plots)
void markProcessStart();
void armStartupProbes(QQuickWindow *window);
