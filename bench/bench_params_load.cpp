// Wall-clock time of `tavoxctl params load` as a script meets it, against a
// simulated controller that restarts in its default second: one SBUS channel
// changed (one restart), and every write that restarts the controller (the
// SBUS, PWM and CRSF channels and the torques: four restarts). Each load waits
// for the controller to come back before it goes on, so the figure is the
// restarts' time and what the tool adds to them.
//
// Each case gets a simulator of its own and three measured loads, which put
// the changed file and the original on it in turn, so every load writes. One
// tab-separated row per case for ./scripts/bench:
//   name, figure, unit, reference, ratio to the reference
#include "device/ParamFile.h"
#include "device/ParamRanges.h"
#include "support/ToolRun.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {
const int Runs = 3;
const int CommandTimeoutMs = 60000;
// tavox-sim's default restart, and what a load may add to each.
const double RestartMs = 1000;
const double AddedPerRestartMs = 1000;

struct Case
{
    const char *name;
    QStringList fields;
    double targetMs;
};

// The saved parameters with each of `fields` one more (or, at the top of its range, one less).
bool saveChanged(const QString &saved, const QStringList &fields, const QString &path)
{
    ParamFile::Contents contents;
    ParamFile::Problem problem;
    if (!ParamFile::load(saved, contents, problem))
        return false;
    for (const QString &field : fields) {
        const int value = ParamFile::value(contents.block, field);
        ParamFile::setValue(contents.block, field, ParamRanges::of(field).contains(value + 1) ? value + 1 : value - 1);
    }
    QString error;
    return ParamFile::save(path, contents, error);
}

// The loads of one case, or an empty list after a message.
std::vector<double> measure(const QString &program, const QTemporaryDir &dir, const Case &each)
{
    QProcess sim;
    const QString port = startSimulator(sim, {});
    const QString saved = dir.filePath(QStringLiteral("saved.json"));
    const QString changed = dir.filePath(QStringLiteral("changed.json"));
    if (port.isEmpty() || commandMs(program, {"-p", port, "params", "save", saved}, CommandTimeoutMs) < 0
        || !saveChanged(saved, each.fields, changed)) {
        std::fprintf(stderr, "params-load: no simulator, or its parameters could not be saved and changed\n");
        return {};
    }
    std::vector<double> runs;
    for (int run = 0; run < Runs; ++run) {
        const QString file = run % 2 == 0 ? changed : saved;
        const double ms = commandMs(program, {"-p", port, "params", "load", file, "--yes"}, CommandTimeoutMs);
        if (ms < 0) {
            std::fprintf(stderr, "params-load: the load of %s failed\n", each.name);
            return {};
        }
        runs.push_back(ms);
    }
    stopProcess(sim);
    return runs;
}

void printRow(const Case &each, const std::vector<double> &runs)
{
    const Spread time = spreadOf(runs);
    std::printf("params-load %s (min %.0f, max %.0f)\t%.0f\tms\tat most %.0f ms\t%.3fx\n", each.name, time.min,
                time.max, time.median, each.targetMs, time.median / each.targetMs);
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // A copy keeps its record of owed restarts in its own folder, apart from the build's.
    QTemporaryDir dir;
    const QString program = copyOfBuildProgram(QStringLiteral("tavoxctl"), dir.path());
    if (program.isEmpty()) {
        std::fprintf(stderr, "params-load: tavoxctl could not be copied\n");
        return 1;
    }
    const QStringList everyRestart {"sbus.pitchChannel", "pwm.pitchChannel", "crsf.pitchChannel",
                                    "gimbal.pitchMaxTorque"};
    const Case cases[] = {
        {"one SBUS change", {"sbus.pitchChannel"}, 2500},
        {"every restarting write", everyRestart, everyRestart.size() * (RestartMs + AddedPerRestartMs)},
    };
    for (const Case &each : cases) {
        const std::vector<double> runs = measure(program, dir, each);
        if (runs.empty())
            return 1;
        printRow(each, runs);
    }
    std::fprintf(stderr, "reproduce: ./scripts/bench params-load\n");
    return 0;
}
