#include "app/ScreenshotOnStart.h"

#include <QCoreApplication>
#include <QImage>
#include <QQuickWindow>
#include <QTimer>

namespace {
// Leaves time for the first port listing, heartbeats and a connection to show.
const int SettleMs = 4000;
}

void saveScreenshotOnStartIfAsked(QQuickWindow *window)
{
    const QString path = qEnvironmentVariable("TAVOX_SCREENSHOT");
    if (path.isEmpty())
        return;
    QTimer::singleShot(SettleMs, window, [window, path] {
        window->grabWindow().save(path);
        QCoreApplication::quit();
    });
}
