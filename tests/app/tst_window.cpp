#include "app/Config.h"
#include "app/Version.h"
#include "app/WindowSize.h"
#include "bridge/AppBridge.h"
#include "support/WindowDriver.h"
#include "support/Waiting.h"

#include <QFile>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QWheelEvent>
#include <QtTest>

#include <algorithm>

// The main window as start-up builds it: its size on screens of every kind,
// its layout at the sizes operators use, the keyboard reaching every control
// in sight, the wheel scrolling what is under the pointer and changing only a
// number being typed in, and the boundary above the message log dragged, moved
// by keys and found again at the next start; pictures of it before and after it
// is connected to the simulated controller, in both languages, and without a
// QML warning.
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

// What the operator can press, pick or type into. Parts of another control
// (a combo's text, a button's label) count as that control; a mouse area that
// only shows a tooltip is no control.
bool isControl(const QQuickItem *item)
{
    if (item->inherits("QQuickMouseArea"))
        return item->property("acceptedButtons").toInt() != Qt::NoButton;
    return item->inherits("QQuickAbstractButton") || item->inherits("QQuickComboBox")
        || item->inherits("QQuickTextInput") || item->inherits("QQuickSpinBox") || item->inherits("QQuickSlider");
}

void collectControls(QQuickItem *parent, QList<QQuickItem *> &controls)
{
    for (QQuickItem *child : parent->childItems()) {
        if (!child->isVisible() || child->width() <= 0 || child->height() <= 0)
            continue;
        if (isControl(child))
            controls.append(child);
        else
            collectControls(child, controls);
    }
}

QString describe(const QQuickItem *item)
{
    if (!item->objectName().isEmpty())
        return item->objectName();
    QString path = QString::fromLatin1(item->metaObject()->className()).section(QLatin1Char('_'), 0, 0);
    for (const QQuickItem *ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        if (!ancestor->objectName().isEmpty())
            return ancestor->objectName() + QLatin1Char('/') + path;
    }
    return path;
}

// Boxes that share a scrolled view (or the window) are compared in its
// coordinates; a box never overlaps what it contains.
QStringList overlapping(const QList<QQuickItem *> &boxes)
{
    QStringList pairs;
    for (int i = 0; i < boxes.size(); ++i) {
        for (int j = i + 1; j < boxes.size(); ++j) {
            QQuickItem *a = boxes[i];
            QQuickItem *b = boxes[j];
            QQuickItem *scope = nearestFlickable(a);
            if (scope != nearestFlickable(b) || a->isAncestorOf(b) || b->isAncestorOf(a))
                continue;
            QQuickItem *frame = scope ? scope->property("contentItem").value<QQuickItem *>() : nullptr;
            const QRectF first = a->mapRectToItem(frame, QRectF(0, 0, a->width(), a->height()));
            const QRectF second = b->mapRectToItem(frame, QRectF(0, 0, b->width(), b->height()));
            const QRectF common = first.intersected(second);
            if (common.width() > 0.5 && common.height() > 0.5)
                pairs.append(describe(a) + QLatin1String(" / ") + describe(b));
        }
    }
    return pairs;
}

// A control is reached when it, or the item that takes its keys, has the focus.
bool isReachedBy(const QQuickItem *control, const QList<QQuickItem *> &focused)
{
    for (const QQuickItem *item = control; item; item = item->parentItem()) {
        if (focused.contains(const_cast<QQuickItem *>(item)))
            return true;
    }
    return false;
}

// The step buttons of a spin input are worked by its field's keys (Up, Down, PageUp, PageDown).
bool stepsByKeys(const QQuickItem *control)
{
    return control->objectName() == QLatin1String("spinUp") || control->objectName() == QLatin1String("spinDown");
}
}

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void initialSizeFollowsTheScreen_data();
    void initialSizeFollowsTheScreen();
    void opensAsStartUpBuildsIt();
    void layoutFitsTheWindow_data();
    void layoutFitsTheWindow();
    void tabReachesEveryControlInSightWithARing_data();
    void tabReachesEveryControlInSightWithARing();
    void wheelScrollsThePageAndStepsOnlyAFocusedNumber();
    void logBoundaryIsDraggedAndKept();

private:
    QQuickWindow *window() const { return m_driver.window(); }
    QQuickItem *item(const char *objectName) const { return m_driver.item(objectName); }
    QString itemText(const char *objectName) const { return m_driver.itemText(objectName); }
    QQuickItem *page() const { return item("panelScroll"); }
    void switchOnOnce();
    void atLaptopSize();
    QStringList unreachableControls();
    QList<QQuickItem *> tabRound(Qt::KeyboardModifier direction, QStringList &ringless, QStringList &hidden);
    void wheel(const QPointF &scenePos, int notches);
    void drag(QQuickItem *handle, qreal dy);
    qreal logLineHeight() const;

    WindowDriver m_driver;
};

void WindowTest::initTestCase()
{
    QFile::remove(configFilePath());
    m_driver.start();
}

void WindowTest::cleanupTestCase()
{
    m_driver.stop();
}

// The pictures of the connected window show the simulator's values: the
// switch is on and the first of them are in.
void WindowTest::switchOnOnce()
{
    if (m_driver.bridge().serialOpened())
        return;
    m_driver.click("serialSwitch");
    QTRY_VERIFY_WITH_TIMEOUT(m_driver.bridge().serialOpened(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(item("crsfTab")->isVisible(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(itemText("pitchValue") != QLatin1String("--"), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(item("sbusWrite")->isEnabled(), ProcessWaitMs);
}

// The controls that stay cut off even when their views are scrolled to them;
// the views are put back as they were.
QStringList WindowTest::unreachableControls()
{
    QList<QQuickItem *> controls;
    collectControls(window()->contentItem(), controls);
    QStringList unreachable;
    for (QQuickItem *control : qAsConst(controls)) {
        QList<QPair<QQuickItem *, qreal>> scrolled;
        for (QQuickItem *view = nearestFlickable(control); view; view = nearestFlickable(view))
            scrolled.append({view, view->property("contentY").toReal()});
        scrollIntoView(control);
        if (isCutOff(control))
            unreachable.append(describe(control));
        for (const auto &view : qAsConst(scrolled))
            view.first->setProperty("contentY", view.second);
    }
    return unreachable;
}

// Active, at a laptop's size, the page scrolled to its top.
void WindowTest::atLaptopSize()
{
    m_driver.resizeWindow(Laptop);
    window()->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    page()->setProperty("contentY", 0);
}

// Down the content for negative notches, as a wheel turned towards the operator.
void WindowTest::wheel(const QPointF &scenePos, int notches)
{
    QWheelEvent event(scenePos, window()->mapToGlobal(scenePos.toPoint()), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(window(), &event);
}

void WindowTest::drag(QQuickItem *handle, qreal dy)
{
    const QPoint from = centreOf(handle).toPoint();
    QTest::mousePress(window(), Qt::LeftButton, Qt::NoModifier, from);
    const int steps = 10;
    for (int step = 1; step <= steps; ++step)
        QTest::mouseMove(window(), from + QPoint(0, qRound(dy * step / steps)));
    QTest::mouseRelease(window(), Qt::LeftButton, Qt::NoModifier, from + QPoint(0, qRound(dy)));
}

// The height of a one-line entry: the shortest entry in sight.
qreal WindowTest::logLineHeight() const
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

void WindowTest::initialSizeFollowsTheScreen_data()
{
    QTest::addColumn<QSize>("availableArea");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("room to spare") << QSize(1920, 1040) << QSize(1540, 960);
    QTest::newRow("exactly enough") << QSize(1540, 960) << QSize(1540, 960);
    QTest::newRow("1366x768 under a panel") << QSize(1366, 728) << QSize(1366, 728);
    QTest::newRow("1920x1080 at 125 %") << QSize(1536, 824) << QSize(1536, 824);
    QTest::newRow("wide but short") << QSize(2560, 700) << QSize(1540, 700);
    QTest::newRow("narrow but tall") << QSize(1280, 1400) << QSize(1280, 960);
    QTest::newRow("below the minimum") << QSize(800, 600) << QSize(1024, 640);
    QTest::newRow("no area known") << QSize() << QSize(1024, 640);
}

void WindowTest::initialSizeFollowsTheScreen()
{
    QFETCH(QSize, availableArea);
    QTEST(initialWindowSize(availableArea), "expected");
}

void WindowTest::opensAsStartUpBuildsIt()
{
    VERIFY_NO_QML_WARNINGS();
    QCOMPARE(window()->size(), initialWindowSize(window()->screen()->availableGeometry().size()));
    // the pictures below show the layout at the size it was drawn for
    m_driver.resizeWindow(designWindowSize());
    QCOMPARE(window()->property("font").value<QFont>().family(), m_driver.fontFamily());
    QCOMPARE(m_driver.bridge().messageLog().count(QStringLiteral("请您先打开串口")), 1);
    // the journal's entries, the bridge's first among them (tst_operator), are the window's log
    const QObject *journal =
        m_driver.engine().rootContext()->contextProperty(QStringLiteral("messageJournal")).value<QObject *>();
    QCOMPARE(item("messageLogArea")->property("count"), journal->property("count"));
    QVERIFY(!item("crsfTab")->isVisible());

    // nothing attached yet: said so, no values, no device action
    QCOMPARE(itemText("linkStatusText"), QStringLiteral("未连接"));
    QCOMPARE(itemText("valuesNote"), QStringLiteral("尚未读取参数"));
    QVERIFY(!item("sbusWrite")->isEnabled());
    QVERIFY(!item("calibButton0")->isEnabled());
    QCOMPARE(item("pitchTorque")->property("blank").toBool(), true);
    QCOMPARE(m_driver.cutOffButtons(), QStringList());
    m_driver.saveFrames(QStringLiteral("window-not-connected"));
}

void WindowTest::layoutFitsTheWindow_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("columns");

    const QList<QPair<QSize, int>> sizes = {
        {QSize(1024, 640), 2}, {QSize(1366, 768), 2}, {QSize(1536, 864), 3}, {QSize(1540, 960), 3}};
    for (const auto &size : sizes) {
        for (const char *language : {"zh", "en"}) {
            QTest::addRow("%dx%d %s", size.first.width(), size.first.height(), language)
                << size.first << QString::fromLatin1(language) << size.second;
        }
    }
}

// Connected to the simulator: every control is on screen or a scroll away, none
// covers another, the message log keeps a few lines in sight, and the build's
// version is in the language chosen.
void WindowTest::layoutFitsTheWindow()
{
    QFETCH(QSize, size);
    QFETCH(QString, language);

    switchOnOnce();
    m_driver.bridge().setLanguage(language);
    m_driver.resizeWindow(size);
    QTEST(item("panelGrid")->property("columns").toInt(), "columns");
    QTRY_COMPARE(itemText("versionLabel"),
                 (language == QLatin1String("zh") ? QStringLiteral("版本号: ") : QStringLiteral("Version: ")) + tavoxVersion());
    // at the size it was drawn for, every button is in sight without scrolling
    if (size == designWindowSize())
        QCOMPARE(m_driver.cutOffButtons(), QStringList());

    QVERIFY(!isCutOff(item("messageLog")));
    QVERIFY2(item("messageLogArea")->height() >= 80, qPrintable(QString::number(item("messageLogArea")->height())));
    QCOMPARE(unreachableControls(), QStringList());

    QList<QQuickItem *> boxes;
    collectControls(window()->contentItem(), boxes);
    for (const char *part : {"sidebar", "panelScroll", "messageLog", "calibrationPanel", "channelPanel",
                             "gimbalConfigPanel", "cameraPanel", "torquePanel", "upgradePanel"})
        boxes.append(item(part));
    QCOMPARE(overlapping(boxes), QStringList());

    m_driver.saveFrame(QStringLiteral("window-%1x%2-%3.png").arg(size.width()).arg(size.height()).arg(language));
    m_driver.resizeWindow(designWindowSize());
    VERIFY_NO_QML_WARNINGS();
}

// Tab from the first control on, or Shift+Tab: the items that take the focus, in order, until it comes round
// again. Each is wholly in sight, however far down the page, a panel's column or the sidebar it lies, and shows
// its ring, and only its own.
QList<QQuickItem *> WindowTest::tabRound(Qt::KeyboardModifier direction, QStringList &ringless, QStringList &hidden)
{
    QList<QQuickItem *> order;
    QQuickItem *first = nullptr;
    for (int presses = 0; presses < 500; ++presses) {
        QTest::keyClick(window(), Qt::Key_Tab, direction);
        QQuickItem *focused = window()->activeFocusItem();
        if (!focused || focused == first)
            break;
        if (!first)
            first = focused;
        if (isCutOff(focused))
            hidden.append(describe(focused));
        const QList<QQuickItem *> rings = shownFocusRings(window()->contentItem());
        // A control draws its ring in its background, beside the part that
        // has the focus: the text field of an editable combo.
        const QQuickItem *ringOwner = rings.isEmpty() ? nullptr : rings.first()->parentItem();
        const QQuickItem *control = ringOwner ? ringOwner->parentItem() : nullptr;
        const bool inControlsBackground = control && control->property("background").value<QQuickItem *>() == ringOwner;
        const bool ringAtFocus = rings.size() == 1
            && (ringOwner->isAncestorOf(focused) || focused->isAncestorOf(rings.first())
                || (inControlsBackground && control->isAncestorOf(focused)));
        if (!ringAtFocus)
            ringless.append(QStringLiteral("%1 (%2 rings)").arg(describe(focused)).arg(rings.size()));
        order.append(focused);
    }
    return order;
}

void WindowTest::tabReachesEveryControlInSightWithARing_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("1366x768") << Laptop;
    QTest::newRow("1024x640") << QSize(1024, 640);
}

void WindowTest::tabReachesEveryControlInSightWithARing()
{
    QFETCH(QSize, size);
    m_driver.bridge().setLanguage(QStringLiteral("en"));
    atLaptopSize();
    m_driver.resizeWindow(size);
    QStringList ringless;
    QStringList hidden;
    const QList<QQuickItem *> order = tabRound(Qt::NoModifier, ringless, hidden);
    QVERIFY(!order.isEmpty());
    QCOMPARE(ringless, QStringList());
    QCOMPARE(hidden, QStringList());
    // the round went below the first screenful of panels; Shift+Tab comes back the same way
    QVERIFY(order.contains(item("logHandle")));
    QVERIFY(!tabRound(Qt::ShiftModifier, ringless, hidden).isEmpty());
    QCOMPARE(hidden, QStringList());

    QList<QQuickItem *> controls;
    collectControls(window()->contentItem(), controls);
    QStringList unreached;
    for (QQuickItem *control : qAsConst(controls)) {
        if (control->isEnabled() && !stepsByKeys(control) && !isReachedBy(control, order))
            unreached.append(describe(control));
    }
    QCOMPARE(unreached, QStringList());

    // in reading order: the sidebar from the top, then the panels
    QList<int> positions;
    for (const char *name : {"serialSwitch", "zhChoice", "enChoice", "sbusTab", "clearButton"})
        positions.append(order.indexOf(item(name)));
    QVERIFY2(!positions.contains(-1), qPrintable(QString::number(positions.indexOf(-1))));
    QVERIFY(std::is_sorted(positions.begin(), positions.end()));
    window()->contentItem()->forceActiveFocus();
    VERIFY_NO_QML_WARNINGS();
}

// Over a panel's column the column scrolls first while it can, then the page; over a number field nobody is
// typing in, the page scrolls and the number stays.
void WindowTest::wheelScrollsThePageAndStepsOnlyAFocusedNumber()
{
    atLaptopSize();
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
    QQuickItem *field = findItem(torque, QStringLiteral("spinField"));
    scrollIntoView(torque);
    const int value = torque->property("value").toInt();
    qreal pageBefore = contentY(page());
    const int towardsTheTop = pageBefore > 0 ? 1 : -1;
    for (int notches = 0; notches < 100 && contentY(page()) == pageBefore; ++notches)
        wheel(centreOf(field), towardsTheTop);
    QVERIFY(contentY(page()) != pageBefore);
    QCOMPARE(torque->property("value").toInt(), value);

    // clicked into, the field takes the wheel: one step a notch, and nothing scrolls
    scrollIntoView(torque);
    const QPointF point = centreOf(field);
    QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, point.toPoint());
    QVERIFY(field->hasActiveFocus());
    pageBefore = contentY(page());
    const qreal columnBefore = contentY(nearestFlickable(torque));
    wheel(point, 1);
    QCOMPARE(torque->property("value").toInt(), value + 1);
    QCOMPARE(contentY(page()), pageBefore);
    QCOMPARE(contentY(nearestFlickable(torque)), columnBefore);
}

// Dragged up, the log shows ten lines and more at a laptop's size, the panels
// keep their place above it (and scroll); the height is kept in zentaro.cfg,
// Expand and Collapse come back to it, the arrows move it, and the next start
// opens with it.
void WindowTest::logBoundaryIsDraggedAndKept()
{
    atLaptopSize();
    QQuickItem *log = item("messageLog");
    QQuickItem *handle = item("logHandle");
    const qreal before = log->height();
    QCOMPARE(readMessageLogHeight(), 0);

    drag(handle, -300);
    QTRY_COMPARE(log->height(), before + 300);
    const qreal dragged = log->height();
    QCOMPARE(readMessageLogHeight(), qRound(dragged));
    QVERIFY(logLineHeight() > 0);
    QVERIFY(item("messageLogArea")->height() >= 10 * logLineHeight());
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

QTEST_MAIN(WindowTest)

#include "tst_window.moc"
