#pragma once

#include "support/Waiting.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the simulated controller for one test:
//   SimProcess sim({"--param-form", "base"});
//   QVERIFY(sim.start());
//   bridge.openSerial(sim.portName(), 921600);
// The process is stopped when the object goes out of scope.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments = {});
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    static QString program();

    // Starts the simulator and waits until it has printed its device path.
    bool start(int timeoutMs = ProcessWaitMs);
    // SIGTERM, then SIGKILL if it does not end in time. Returns the exit code, or -1.
    int stop();

    // Waits until a line hung up under --fault-return-after is back; its new device path (which the kernel may
    // have given the old number again), or empty when it did not come back in time.
    QString waitForReturn(int timeoutMs = ProcessWaitMs);

    QString portName() const { return m_portName; }
    QProcess &process() { return m_process; }
    // Everything the simulator wrote to standard error so far (its --verbose log).
    QString errorOutput() const;

private:
    QString nextLine(int timeoutMs);

    QStringList m_arguments;
    QProcess m_process;
    QTemporaryDir m_dir;
    QString m_portName;
};
