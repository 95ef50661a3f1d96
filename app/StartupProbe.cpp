#include "app/StartupProbe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {
// Leaves time for the first port listing, heartbeats and a connection to show.
const int ScreenshotSettleMs = 4000;

QElapsedTimer &sinceMain()
{
    static QElapsedTimer timer;
    return timer;
}

long residentKib()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

QImage renderedWindow(QQuickWindow *window)
{
    QImage image = window->grabWindow();
    // The offscreen platform cannot hand its backing store to the scene
    // graph's grab, but its screen can read the window back.
    if (image.isNull() && window->screen())
        image = window->screen()->grabWindow(window->winId()).toImage();
    return image;
}

void armScreenshot(QQuickWindow *window, const QString &path)
{
    QTimer::singleShot(ScreenshotSettleMs, window, [window, path] {
        renderedWindow(window).save(path);
        QCoreApplication::quit();
    });
}

void armFirstFrameReport(QQuickWindow *window)
{
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [] {
        static bool reported = false;
        if (reported)
            return;
        reported = true;
        std::fprintf(stderr, "first-frame-ms=%lld rss-kib=%ld\n", sinceMain().elapsed(), residentKib());
        QCoreApplication::quit();
    });
}
}

void markProcessStart()
{
    sinceMain().start();
}

void armStartupProbes(QQuickWindow *window)
{
    const QString screenshot = qEnvironmentVariable("TAVOX_SCREENSHOT");
    if (!screenshot.isEmpty())
        armScreenshot(window, screenshot);
    if (qEnvironmentVariableIsSet("TAVOX_STARTUP_PROBE"))
        armFirstFrameReport(window);
}
