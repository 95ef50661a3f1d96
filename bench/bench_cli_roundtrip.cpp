// Wall-clock time of short tavoxctl commands as a script meets them: a
// process started, a port opened, the controller asked and answered, the
// process ended. Against one unpaced simulated controller, so what is left is
// the tool's own time; `tavoxctl --version` gives the process start-up alone.
//
// The commands take turns, ten rounds after one unmeasured round that warms
// the caches; prints one tab-separated row each (the median, with min and max),
// then `info` as a multiple of the start-up alone, for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "support/ToolRun.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {
const int Rounds = 10;
const int CommandTimeoutMs = 30000;
// Beyond the process start-up, `info` should cost little more than its exchange on the wire.
const double InfoOverStartUpTarget = 1.6;

struct Command
{
    const char *name;
    QStringList arguments;
    double targetMs; // 0: none
    std::vector<double> runs;
};

void printRow(const Command &command)
{
    const Spread time = spreadOf(command.runs);
    std::printf("cli-roundtrip %s (min %.1f, max %.1f)\t%.1f\tms\t", command.name, time.min, time.max, time.median);
    if (command.targetMs > 0)
        std::printf("at most %.0f ms\t%.3fx\n", command.targetMs, time.median / command.targetMs);
    else
        std::printf("-\t-\n");
}

void printInfoOverStartUp(const Command &info, const Command &startUp)
{
    const double ratio = spreadOf(info.runs).median / spreadOf(startUp.runs).median;
    std::printf("cli-roundtrip info / --version (medians)\t%.2f\tx\tat most %.1fx\t%.3fx\n", ratio,
                InfoOverStartUpTarget, ratio / InfoOverStartUpTarget);
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString program = buildProgram(QStringLiteral("tavoxctl"));
    QProcess sim;
    const QString port = startSimulator(sim, {});
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("params.json"));
    if (port.isEmpty() || commandMs(program, {"-p", port, "params", "save", saved}, CommandTimeoutMs) < 0) {
        std::fprintf(stderr, "cli-roundtrip: no simulator, or tavoxctl could not save its parameters\n");
        return 1;
    }

    std::vector<Command> commands = {
        {"info", {"-p", port, "info"}, 100, {}},
        {"params get --json", {"-p", port, "params", "get", "--json"}, 100, {}},
        {"params diff", {"-p", port, "params", "diff", saved}, 120, {}},
        {"--version (start-up alone)", {"--version"}, 0, {}},
    };
    for (int round = 0; round <= Rounds; ++round) {
        for (Command &command : commands) {
            const double ms = commandMs(program, command.arguments, CommandTimeoutMs);
            if (ms < 0) {
                std::fprintf(stderr, "cli-roundtrip: tavoxctl %s failed\n", command.name);
                return 1;
            }
            if (round > 0)
                command.runs.push_back(ms);
        }
    }
    stopProcess(sim);
    for (const Command &command : commands)
        printRow(command);
    printInfoOverStartUp(commands.front(), commands.back());
    std::fprintf(stderr, "reproduce: ./scripts/bench cli-roundtrip\n");
    return 0;
}
