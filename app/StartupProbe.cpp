#include "app/StartupProbe.h"

#include "app/ProcessFigures.h"
#include "window/ServiceTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QPixmap>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {
// Leaves time for the first port listing, heartbeats and a connection to show.
const int ScreenshotSettleMs = 4000;

QElapsedTimer &sinceMain()
{
    static QElapsedTimer timer;
    return timer;
}

const int ProbeTickMs = 10;
const int ProbeReportMs = 1000;

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
        std::fprintf(stderr, "first-frame-ms=%lld first-frame-monotonic-ms=%.3f rss-kib=%ld hwm-kib=%ld\n",
                     sinceMain().elapsed(), monotonicMs(), statusKib(QStringLiteral("self"), "VmRSS"),
                     statusKib(QStringLiteral("self"), "VmHWM"));
        QCoreApplication::quit();
    });
}

// How long the window's thread keeps a timer waiting: each report gives the
// worst lateness of the ticks since the previous one.
struct TimerLateness
{
    QElapsedTimer clock;
    qint64 lastTickNs = 0;
    qint64 lastReportNs = 0;
    double worstLateMs = 0;

    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        worstLateMs = qMax(worstLateMs, (now - lastTickNs) / 1e6 - ProbeTickMs);
        lastTickNs = now;
        if (now - lastReportNs < qint64(ProbeReportMs) * 1000000)
            return;
        std::fprintf(stderr, "timer-late-ms=%.1f at-monotonic-ms=%.3f\n", worstLateMs, monotonicMs());
        worstLateMs = 0;
        lastReportNs = now;
    }
};

void armTimerProbe(QQuickWindow *window)
{
    auto lateness = std::make_shared<TimerLateness>();
    lateness->clock.start();
    auto *timer = new QTimer(window);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, window, [lateness] { lateness->tick(); });
    timer->start(ProbeTickMs);
}

// Up to the largest step and down to the smallest, a step a frame.
struct ZoomSteps
{
    QObject *scale = nullptr;
    bool goingUp = true;
    QElapsedTimer sinceChange;

    bool next()
    {
        goingUp = goingUp && scale->property("canZoomIn").toBool();
        if (!goingUp && !scale->property("canZoomOut").toBool())
            return false;
        sinceChange.start();
        QMetaObject::invokeMethod(scale, goingUp ? "zoomIn" : "zoomOut");
        return true;
    }
};

void armZoomProbe(QQuickWindow *window)
{
    const QQmlEngine *engine = qmlEngine(window);
    auto steps = std::make_shared<ZoomSteps>();
    steps->scale = engine ? engine->rootContext()->contextProperty(QStringLiteral("windowScale")).value<QObject *>() : nullptr;
    if (!steps->scale) {
        std::fprintf(stderr, "TAVOX_ZOOM_PROBE: no windowScale to zoom\n");
        return;
    }
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [steps] {
        if (steps->sinceChange.isValid())
            std::fprintf(stderr, "zoom-step-ms=%.3f\n", steps->sinceChange.nsecsElapsed() / 1e6);
        if (!steps->next()) {
            QMetaObject::invokeMethod(steps->scale, "resetZoom");
            QCoreApplication::quit();
        }
    });
}

// Cancels the first file dialog once it has painted, as an operator who changed their mind.
class FileDialogCanceller : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto *widget = qobject_cast<QWidget *>(watched);
        auto *dialog = widget ? qobject_cast<QFileDialog *>(widget->window()) : nullptr;
        if (event->type() == QEvent::Paint && dialog && !m_cancelled) {
            m_cancelled = true;
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_cancelled = false;
};

// The dialog the window's exports and backups open, after the first frame, as an
// operator's first export would.
void armFileDialogProbe(QQuickWindow *window)
{
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [window] {
        static bool opened = false;
        if (opened)
            return;
        opened = true;
        // Not inside the frame's own signal: the dialog runs an event loop of its own.
        QTimer::singleShot(0, window, [] {
            FileDialogCanceller canceller;
            QCoreApplication::instance()->installEventFilter(&canceller);
            desktopFileChooser()(FileDialogMode::Save, QStringLiteral("TAVOX_DIALOG_PROBE"), QDir::homePath(),
                                 QStringLiteral("All (*)"));
            QCoreApplication::instance()->removeEventFilter(&canceller);
            std::fprintf(stderr, "file-dialog-closed rss-kib=%ld hwm-kib=%ld\n", statusKib(QStringLiteral("self"), "VmRSS"),
                         statusKib(QStringLiteral("self"), "VmHWM"));
            QCoreApplication::quit();
        });
    });
}

// A view the operator would open by hand, opened for a measurement of its cost.
void openView(QQuickWindow *window, const QString &objectName)
{
    QObject *view = window->findChild<QObject *>(objectName);
    if (!view || !view->setProperty("active", true))
        std::fprintf(stderr, "TAVOX_OPEN_VIEW: no view %s to open\n", qPrintable(objectName));
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
    if (qEnvironmentVariableIsSet("TAVOX_TIMER_PROBE"))
        armTimerProbe(window);
    if (qEnvironmentVariableIsSet("TAVOX_ZOOM_PROBE"))
        armZoomProbe(window);
    if (qEnvironmentVariableIsSet("TAVOX_DIALOG_PROBE"))
        armFileDialogProbe(window);
    const QString view = qEnvironmentVariable("TAVOX_OPEN_VIEW");
    if (!view.isEmpty())
        openView(window, view);
}
