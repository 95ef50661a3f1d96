#pragma once

#include <QProcess>

#include <array>

// Two processes that never sleep, as a machine busy with a build has them:
// both cores of the benchmark machine taken while the object lives.
class BusyLoops
{
public:
    BusyLoops();
    ~BusyLoops();
    BusyLoops(const BusyLoops &) = delete;
    BusyLoops &operator=(const BusyLoops &) = delete;

private:
    std::array<QProcess, 2> m_loops;
};
