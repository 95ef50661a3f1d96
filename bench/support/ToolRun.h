#pragma once

#include "app/ProcessFigures.h"
#include "support/Spread.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class QTemporaryDir;

#include <functional>
#include <vector>

// Shared by the benchmarks that run the real tool as its users do: a separate
// process with its window shown (under Xvfb), measured from outside through
// /proc, so nothing of the launcher or the simulator is charged to it.

// The build's executables, found from the benchmark's own place (build/bench).
QString buildProgram(const QString &name);
// A copy of the build's executable `name` in `folder`, with a link to the
// build's libraries beside it, where its run path looks; empty when it cannot be made.
QString copyOfBuildProgram(const QString &name, const QString &folder);
// A copy of build/tavox in `dir`, which keeps its settings and its data (the
// recordings of the link, on unless `recording` is false) there, apart from
// the build's own. Empty when it cannot be made.
QString privateToolCopy(const QTemporaryDir &dir, bool recording = true);

// Milliseconds from the start of the process to its end, with its output
// dropped, or -1 after its error output when it failed or outlived `timeoutMs`.
double commandMs(const QString &program, const QStringList &arguments, int timeoutMs);

// The scene graph renderers a window is measured on.
enum class Renderer { Software, OpenGl, AsChosen };
Renderer rendererNamed(const QString &name, bool &known);
QString rendererLabel(Renderer renderer);
const char *rendererName(Renderer renderer);   // as the benchmarks' --renderer takes it
// The environment that makes the tool use `renderer` on the X server of
// DISPLAY: the software backend; Qt's OpenGL renderer on Mesa's llvmpipe
// (QSG_RHI=0 is an explicit user setting, which the tool honours, and keeps
// Qt on its direct OpenGL path); or whatever the tool picks for this machine.
QProcessEnvironment toolEnvironment(Renderer renderer);

// The options every window benchmark takes, --runs N and --renderer NAME, and
// any other --name value pair that `other` accepts (it returns false for one
// it does not know). Says what it refused, under the benchmark's name.
struct RunOptions
{
    int runs = 3;
    Renderer renderer = Renderer::AsChosen;
};
using OtherOption = std::function<bool(const QString &name, const QString &value)>;
bool parseRunOptions(const QStringList &args, const char *benchmark, RunOptions &options,
                     const OtherOption &other = {});

// CPU time (user and system) of a running process; its memory is statusKib's.
double cpuSecondsOf(qint64 pid);

// User and system CPU time, in seconds, as the kernel accounts it: `who` is
// RUSAGE_SELF for this process, RUSAGE_CHILDREN for its children that ended.
double cpuSeconds(int who);
// Whether the process has `device` open (compared by the file it resolves to).
bool holdsOpen(qint64 pid, const QString &device);

// tavox-sim started with `arguments`, its log thrown away; empty port on failure.
QString startSimulator(QProcess &sim, const QStringList &arguments);
void stopProcess(QProcess &process);
