#include "support/Waiting.h"

#include <QSignalSpy>
#include <QTimer>

bool runTimersDueWithin(int ms)
{
    QTimer marker;
    marker.setSingleShot(true);
    marker.setTimerType(Qt::PreciseTimer);
    QSignalSpy fired(&marker, &QTimer::timeout);
    marker.start(ms);
    return fired.wait(ProcessWaitMs);
}
