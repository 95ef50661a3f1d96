#include "app/Config.h"
#include "bridge/AppBridge.h"
#include "support/Waiting.h"
#include "support/WindowDriver.h"

#include <QFile>
#include <QQuickItem>
#include <QQuickWindow>
#include <QWheelEvent>
#include <QtTest>

// The main window at a laptop's size, worked with the keyboard and the wheel:
// the control Tab reaches is always in sight, the wheel scrolls what is under
// the pointer and changes only a number being typed in, and the boundary above
// the message log is dragged, moved by keys and found again at the next start.
namespace {
const QSize Laptop(1366, 768);

qreal contentY(const QQuickItem *view)
{
    return view->property("contentY").toReal();
}

bool atEnd(const QQuickItem *view)
{
    const qreal end = view->property("originY").toReal() + view->property("contentHeight").toReal() - view->height();
    return contentY(view) >= end - 0.5;
}

QPointF centreOf(const QQuickItem *item)
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
}

// The first scrolled view in sight inside `container`, such as the page of a stack that is shown.
QQuickItem *visibleView(QQuickItem *container)
{
    for (QQuickItem *child : container->childItems()) {
        if (!child->isVisible())
            continue;
        if (child->inherits("QQuickFlickable"))
            return child;
        if (QQuickItem *found = visibleView(child))
            return found;
    }
    return nullptr;
}

bool isTavoxButton(const QQuickItem *item)
{
    return item && QString::fromLatin1(item->metaObject()->className()).startsWith(QLatin1String("TavoxButton"));
}
}

class WindowInputTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void tabKeepsTheFocusInSight_data();
    void tabKeepsTheFocusInSight();
    void wheelScrollsThePageOverPanels();
    void wheelStepsOnlyAFocusedNumber();
    void logBoundaryIsDraggedAndKept();
    void focusOnABlueButtonIsSeen_data();
    void focusOnABlueButtonIsSeen();

private:
    QQuickWindow *window() const { return m_driver.window(); }
    QQuickItem *item(const char *objectName) const { return m_driver.item(objectName); }
    QQuickItem *page() const { return item("panelScroll"); }
    void wheel(const QPointF &scenePos, int notches);
    void drag(QQuickItem *handle, qreal dy);
    qreal logLineHeight() const;

    WindowDriver m_driver;
};

void WindowInputTest::initTestCase()
{
    m_driver.start();
}

void WindowInputTest::cleanupTestCase()
{
    m_driver.stop();
}

void WindowInputTest::init()
{
    m_driver.resizeWindow(Laptop);
    window()->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    page()->setProperty("contentY", 0);
}

// Down the content for negative notches, as a wheel turned towards the operator.
void WindowInputTest::wheel(const QPointF &scenePos, int notches)
{
    QWheelEvent event(scenePos, window()->mapToGlobal(scenePos.toPoint()), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window(), &event);
}

void WindowInputTest::drag(QQuickItem *handle, qreal dy)
{
    const QPoint from = centreOf(handle).toPoint();
    QTest::mousePress(window(), Qt::LeftButton, Qt::NoModifier, from);
    const int steps = 10;
    for (int step = 1; step <= steps; ++step)
        QTest::mouseMove(window(), from + QPoint(0, qRound(dy * step / steps)));
    QTest::mouseRelease(window(), Qt::LeftButton, Qt::NoModifier, from + QPoint(0, qRound(dy)));
}

// The height of a one-line entry: the shortest entry in sight.
qreal WindowInputTest::logLineHeight() const
{
    const auto *list = item("messageLogArea");
    const auto *content = list->property("contentItem").value<QQuickItem *>();
    qreal shortest = 0;
    for (const QQuickItem *entry : content->childItems()) {
        if (entry->isVisible() && entry->height() > 0 && (shortest == 0 || entry->height() < shortest))
            shortest = entry->height();
    }
    return shortest;
}

// Every stop of a whole round of Tab is wholly in sight, however far down the
// page, a panel's column or the sidebar it lies; Shift+Tab comes back the same way.
void WindowInputTest::tabKeepsTheFocusInSight_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1366x768") << Laptop;
    QTest::newRow("1024x640") << QSize(1024, 640);
}

void WindowInputTest::tabKeepsTheFocusInSight()
{
    QFETCH(QSize, size);
    m_driver.resizeWindow(size);
    QStringList hidden;
    QList<QQuickItem *> visited;
    qreal deepest = 0;
    for (const Qt::KeyboardModifier direction : {Qt::NoModifier, Qt::ShiftModifier}) {
        QQuickItem *first = nullptr;
        for (int presses = 0; presses < 300; ++presses) {
            QTest::keyClick(window(), Qt::Key_Tab, direction);
            QQuickItem *focused = window()->activeFocusItem();
            QVERIFY(focused);
            if (focused == first)
                break;
            if (!first)
                first = focused;
            visited.append(focused);
            deepest = qMax(deepest, contentY(page()));
            if (isCutOff(focused))
                hidden.append(QStringLiteral("%1 (%2)").arg(focused->objectName(), focused->metaObject()->className()));
        }
    }
    QCOMPARE(hidden, QStringList());
    // the round went below the first screenful of panels
    QVERIFY(deepest > 0);
    QVERIFY(visited.contains(item("logHandle")));
}

// Over a panel's column the column scrolls first while it can, then the page;
// over a number field nobody is typing in, the page scrolls and the number stays.
void WindowInputTest::wheelScrollsThePageOverPanels()
{
    QQuickItem *column = visibleView(item("channelStack"));
    QVERIFY(column);
    QVERIFY(contentY(page()) == 0 && !atEnd(page()));
    const QRectF shown = column->mapRectToScene(QRectF(0, 0, column->width(), column->height()))
                             .intersected(page()->mapRectToScene(QRectF(0, 0, page()->width(), page()->height())));
    QVERIFY(!shown.isEmpty());
    for (int notches = 0; notches < 100 && contentY(page()) == 0; ++notches) {
        const qreal columnBefore = contentY(column);
        const bool columnCouldMove = !atEnd(column);
        wheel(shown.center(), -1);
        if (columnCouldMove)
            QVERIFY2(contentY(column) > columnBefore && contentY(page()) == 0, "the column under the pointer first");
    }
    QVERIFY2(contentY(page()) > 0, "the page scrolls over a panel");

    QQuickItem *torque = item("pitchTorque");
    scrollIntoView(torque);
    const int value = torque->property("value").toInt();
    const qreal pageBefore = contentY(page());
    const int towardsTheTop = pageBefore > 0 ? 1 : -1;
    for (int notches = 0; notches < 100 && contentY(page()) == pageBefore; ++notches)
        wheel(centreOf(findItem(torque, QStringLiteral("spinField"))), towardsTheTop);
    QVERIFY(contentY(page()) != pageBefore);
    QCOMPARE(torque->property("value").toInt(), value);
}

void WindowInputTest::wheelStepsOnlyAFocusedNumber()
{
    QQuickItem *torque = item("pitchTorque");
    scrollIntoView(torque);
    QQuickItem *field = findItem(torque, QStringLiteral("spinField"));
    const QPointF point = centreOf(field);
    QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, point.toPoint());
    QVERIFY(field->hasActiveFocus());
    const qreal pageBefore = contentY(page());
    const qreal columnBefore = contentY(nearestFlickable(torque));
    const int value = torque->property("value").toInt();
    wheel(point, 1);
    QCOMPARE(torque->property("value").toInt(), value + 1);
    QCOMPARE(contentY(page()), pageBefore);
    QCOMPARE(contentY(nearestFlickable(torque)), columnBefore);

    // the focus elsewhere, the same field under the pointer leaves its value
    item("logHandle")->forceActiveFocus();
    QVERIFY(!field->hasActiveFocus());
    wheel(point, 1);
    QCOMPARE(torque->property("value").toInt(), value + 1);
}

// Dragged up, the log shows ten lines and more at a laptop's size, the panels
// keep their place above it (and scroll); the height is kept in zentaro.cfg,
// Expand and Collapse come back to it, the arrows move it, and the next start
// opens with it.
void WindowInputTest::logBoundaryIsDraggedAndKept()
{
    QQuickItem *log = item("messageLog");
    QQuickItem *handle = item("logHandle");
    const qreal before = log->height();
    QCOMPARE(readMessageLogHeight(), 0);

    drag(handle, -300);
    QTRY_COMPARE(log->height(), before + 300);
    const qreal dragged = log->height();
    QCOMPARE(readMessageLogHeight(), qRound(dragged));
    QVERIFY(logLineHeight() > 0);
    QVERIFY2(item("messageLogArea")->height() >= 10 * logLineHeight(),
             qPrintable(QStringLiteral("%1 px for lines of %2 px").arg(item("messageLogArea")->height()).arg(logLineHeight())));
    const qreal pageBottom = page()->mapToScene(QPointF(0, page()->height())).y();
    QVERIFY(pageBottom <= handle->mapToScene(QPointF(0, 0)).y());
    QVERIFY2(page()->height() >= 150, qPrintable(QString::number(page()->height())));
    QVERIFY(!isCutOff(log));

    // far beyond the window, the panels keep their strip
    drag(handle, -2000);
    QTRY_VERIFY(log->height() > dragged);
    QVERIFY2(page()->height() >= 150, qPrintable(QString::number(page()->height())));
    const qreal tallest = log->height();
    drag(handle, tallest - dragged);
    QTRY_COMPARE(log->height(), dragged);

    m_driver.click("expandButton");
    QTRY_COMPARE(log->height(), tallest);
    m_driver.click("expandButton");
    QTRY_COMPARE(log->height(), dragged);
    QCOMPARE(readMessageLogHeight(), qRound(dragged));

    handle->forceActiveFocus(Qt::TabFocusReason);
    QTest::keyClick(window(), Qt::Key_Down);
    QTRY_VERIFY(log->height() < dragged);
    const qreal byKeys = log->height();
    QCOMPARE(readMessageLogHeight(), qRound(byKeys));
    QTest::keyClick(window(), Qt::Key_Up);
    QTRY_COMPARE(log->height(), dragged);
    QTest::keyClick(window(), Qt::Key_Down);
    QTRY_COMPARE(log->height(), byKeys);

    m_driver.restart();
    m_driver.resizeWindow(Laptop);
    QCOMPARE(item("messageLog")->height(), byKeys);
    VERIFY_NO_QML_WARNINGS();
}

void WindowInputTest::focusOnABlueButtonIsSeen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1366x768") << Laptop;
    QTest::newRow("1540x960") << QSize(1540, 960);
}

// Pictures, in both languages, of a blue button with the keyboard's ring and
// of the log dragged taller; the ring is the one shown, around that button,
// and the log so dragged shows ten lines and more above panels that scroll.
void WindowInputTest::focusOnABlueButtonIsSeen()
{
    QFETCH(QSize, size);
    QFile::remove(configFilePath());
    m_driver.restart();
    m_driver.resizeWindow(size);
    // entries enough to fill the log dragged taller
    for (int refreshes = 0; refreshes < 12; ++refreshes)
        m_driver.bridge().refreshSerialPorts();
    QQuickItem *focused = nullptr;
    for (int presses = 0; presses < 300 && !isTavoxButton(focused); ++presses) {
        QTest::keyClick(window(), Qt::Key_Tab);
        focused = window()->activeFocusItem();
    }
    QVERIFY(isTavoxButton(focused));
    const QList<QQuickItem *> rings = shownFocusRings(window()->contentItem());
    QCOMPARE(rings.size(), 1);
    QVERIFY(focused->isAncestorOf(rings.first()));
    QVERIFY(!isCutOff(focused));
    const QString name = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    m_driver.saveFrames(QStringLiteral("window-focus-button-") + name);

    drag(item("logHandle"), -250);
    QTRY_VERIFY(item("messageLogArea")->height() >= 10 * logLineHeight());
    // the panels keep the height they need and scroll, at the full size too
    for (const char *panel : {"calibrationPanel", "torquePanel"})
        QVERIFY2(item(panel)->height() >= 305, panel);
    m_driver.saveFrames(QStringLiteral("window-log-dragged-") + name);
    VERIFY_NO_QML_WARNINGS();
}

QTEST_MAIN(WindowInputTest)

#include "tst_windowinput.moc"
