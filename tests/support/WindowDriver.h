#pragma once

#include "support/SimProcess.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

class AppBridge;
class QQmlApplicationEngine;
class QQuickItem;
class QQuickWindow;

// The real main window on the real bridge, as start-up builds it, with the
// simulated controller its port list starts on; worked with the mouse and the
// keyboard as an operator would:
//   WindowDriver driver;
//   driver.start();                  // in initTestCase
//   driver.click("serialSwitch");
//   driver.saveFrames("window-connected");
// Every QML warning on the way is kept for VERIFY_NO_QML_WARNINGS().
class WindowDriver
{
public:
    WindowDriver();
    ~WindowDriver();
    WindowDriver(const WindowDriver &) = delete;
    WindowDriver &operator=(const WindowDriver &) = delete;

    // Starts the simulator, then the window at the size start-up gives it, with
    // the port list read; a test's QVERIFY fails if either does not come up.
    void start();
    void stop();
    // Closes the window and opens it again, as the next start would, with the
    // zentaro.cfg the first one left.
    void restart();

    QQuickWindow *window() const;
    AppBridge &bridge() const { return *m_bridge; }
    QQmlApplicationEngine &engine() const { return *m_engine; }
    SimProcess &sim() { return m_sim; }
    const SimProcess &sim() const { return m_sim; }
    QString fontFamily() const { return m_fontFamily; }

    QQuickItem *item(const char *objectName) const;
    QString itemText(const char *objectName) const;
    // The one on screen among items of that name, such as the dialog that is open.
    QQuickItem *shownItem(const char *objectName) const;

    void click(const char *objectName);
    void typeText(const QString &text);
    void resizeWindow(const QSize &size);
    // As the sidebar would, with the port the test brought.
    void openPort(const QString &portName);

    // Saved to the build directory, where the manual says the pictures are.
    void saveFrame(const QString &fileName);
    void saveFrames(const QString &baseName);

    QStringList cutOffButtons(const char *scrolledView = nullptr);

    static QStringList qmlWarnings();

private:
    void load();
    bool nextFrameDrawn();

    SimProcess m_sim;
    QString m_fontFamily;
    std::unique_ptr<AppBridge> m_bridge;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    bool m_recordingWarnings = false;
};

#define VERIFY_NO_QML_WARNINGS()                                                                                  \
    QVERIFY2(WindowDriver::qmlWarnings().isEmpty(), qPrintable(WindowDriver::qmlWarnings().join(QLatin1Char('\n'))))

// Searches the visual tree: items a Repeater makes are not object children of the window.
QQuickItem *findItem(QQuickItem *parent, const QString &objectName);
QQuickItem *nearestFlickable(const QQuickItem *item);
// Cut off when some clipping ancestor (a scroll view, a panel) or the window
// does not show the whole of it.
bool isCutOff(QQuickItem *item);
// Scrolls every view around `item` just far enough to show it, innermost view first.
void scrollIntoView(QQuickItem *item);
// The visible buttons that have a name.
void collectButtons(QQuickItem *parent, QList<QQuickItem *> &buttons);
// The visible focus rings of the window; one is expected, at the focused control.
QList<QQuickItem *> shownFocusRings(QQuickItem *parent);
