#pragma once

// How long a test waits for what happens outside its own thread: another process (the simulator, a program
// the test runs, a forked child) to start, answer or end, or the kernel to report the state of a line. A wait
// that succeeds returns as soon as it does, so only a failing test waits this long; the length leaves room for
// a machine busy with other work.
constexpr int ProcessWaitMs = 30000;

// Runs the event loop until a precise timer of `ms`, started now, has fired. Qt fires due timers in the order
// they fell due, however late it gets round to them, so by then every timer of this thread that fell due
// earlier has fired too: a test that shows something timed does not happen within `ms` needs no margin for a
// busy machine. (A coarse timer may fall due up to 5 % after its interval.) False when the timer has not fired
// within ProcessWaitMs.
bool runTimersDueWithin(int ms);
