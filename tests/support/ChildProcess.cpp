#include "support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QByteArray contentOf(QTemporaryFile &file)
{
    QFile reader(file.fileName());
    return reader.open(QIODevice::ReadOnly) ? reader.readAll() : QByteArray();
}

[[noreturn]] void runChild(const std::function<void()> &body, int output, int errors)
{
    dup2(output, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    qInstallMessageHandler(nullptr);
    const rlimit noCoreDump {};
    setrlimit(RLIMIT_CORE, &noCoreDump);
    body();
    std::fflush(stdout);
    _exit(0);
}
}

bool ChildRun::succeeded() const
{
    return finished && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ChildRun runInChild(const std::function<void()> &body, int deadlineMs)
{
    QTemporaryFile output;
    QTemporaryFile errors;
    ChildRun run;
    if (!output.open() || !errors.open())
        return run;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0)
        runChild(body, output.handle(), errors.handle());
    const QDeadlineTimer deadline(deadlineMs);
    while (!(run.finished = waitpid(pid, &run.status, WNOHANG) == pid) && !deadline.hasExpired())
        QTest::qWait(10);
    if (!run.finished) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    run.output = contentOf(output);
    run.errors = contentOf(errors);
    return run;
}
