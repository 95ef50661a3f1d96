#include "app/ScreenshotOnStart.h"

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>

namespace {
// Leaves time for the first port listing, heartbeats and a connection to show.
const int SettleMs = 4000;
}

static QImage renderedWindow(QQuickWindow *window)
{
    QImage image = window->grabWindow();
    // The offscreen platform cannot hand its backing store to the scene
    // graph's grab, but its screen can read the window back.
    if (image.isNull() && window->screen())
        image = window->screen()->grabWindow(window->winId()).toImage();
    return image;
}

void saveScreenshotOnStartIfAsked(QQuickWindow *window)
{
    const QString path = qEnvironmentVariable("TAVOX_SCREENSHOT");
    if (path.isEmpty())
        return;
    QTimer::singleShot(SettleMs, window, [window, path] {
        renderedWindow(window).save(path);
        QCoreApplication::quit();
    });
}
