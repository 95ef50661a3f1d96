#pragma once

#include "support/Waiting.h"

#include <QByteArray>

#include <functional>

// What a forked child of the test left behind.
struct ChildRun
{
    bool finished = false;   // false: it was still running at the deadline and has been killed
    int status = -1;         // as waitpid() reports it
    QByteArray output;       // its standard output
    QByteArray errors;       // its standard error, where its Qt messages go

    bool succeeded() const;
};

// Runs `body` in a forked child of the test process, which ends with _exit(0) unless the body ends it
// first. Process-wide state (log session, console, privileges) changes there without touching the tests
// that follow, and a body that blocks is killed at the deadline instead of hanging the test. The child's
// Qt messages go to its standard error, not to the test's log; it leaves no core dump.
ChildRun runInChild(const std::function<void()> &body, int deadlineMs = ProcessWaitMs);
