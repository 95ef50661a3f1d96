#include "support/BusyLoops.h"

BusyLoops::BusyLoops()
{
    for (QProcess &loop : m_loops)
        loop.start(QStringLiteral("sh"), {"-c", "while :; do :; done"});
}

BusyLoops::~BusyLoops()
{
    for (QProcess &loop : m_loops) {
        loop.kill();
        loop.waitForFinished();
    }
}
