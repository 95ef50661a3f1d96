#pragma once

#include <functional>
#include <string>

// The lock file <log>.lock beside a log, shared by the processes that write the log (two started in the same
// second). Each holds its byte 1 shared for as long as it writes the log, so a live run can be told from a
// finished one, and takes its byte 0 exclusively around every change to the log. These are open-file-description
// locks: unlike flock, one process can hold one byte shared and take another exclusively on a single descriptor.
// The last writer removes the file when it closes the log; whoever waited on a lock file meanwhile finds it gone
// and opens the new one, so all writers always lock one and the same file.

// The lock file opened and held for writing `log`, or -1 when none can be made (the writer then goes on alone).
int openLogLock(const std::string &log);
void takeWriteTurn(int lockFd);
void endWriteTurn(int lockFd);
// Lets go of the lock file, and removes it when no other process writes the log.
void closeLogLock(int lockFd, const std::string &log);

// Runs `removeLog` and removes the lock file, while no process writes `log`; false when one does.
bool removeUnwrittenLog(const std::string &log, const std::function<void()> &removeLog);
