#include "app/Version.h"
#include "app/WindowSize.h"
#include "bridge/AppBridge.h"
#include "support/WindowDriver.h"
#include "support/Waiting.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QtTest>

#include <algorithm>

// The main window as start-up builds it: its size on screens of every kind,
// its layout at the sizes operators use, and the keyboard reaching every
// control; pictures of it before and after it is connected to the simulated
// controller, in both languages, and without a QML warning.
namespace {
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
    void grabsConnectedWindow_data();
    void grabsConnectedWindow();
    void layoutFitsTheWindow_data();
    void layoutFitsTheWindow();
    void tabReachesEveryControlWithARing();

private:
    QQuickWindow *window() const { return m_driver.window(); }
    QQuickItem *item(const char *objectName) const { return m_driver.item(objectName); }
    QString itemText(const char *objectName) const { return m_driver.itemText(objectName); }
    void switchOnOnce();
    QStringList unreachableControls();
    QList<QQuickItem *> tabOrder(QStringList &ringless);

    WindowDriver m_driver;
};

void WindowTest::initTestCase()
{
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
    QCOMPARE(window()->title(), QStringLiteral("TAVOX"));
    QCOMPARE(window()->size(), initialWindowSize(window()->screen()->availableGeometry().size()));
    QCOMPARE(window()->minimumSize(), QSize(1024, 640));
    // the pictures below show the layout at the size it was drawn for
    m_driver.resizeWindow(designWindowSize());
    QCOMPARE(window()->color(), QColor(QStringLiteral("#f5f7fa")));
    QCOMPARE(window()->property("font").value<QFont>().family(), m_driver.fontFamily());
    QCOMPARE(m_driver.bridge().messageLog().count(QStringLiteral("请您先打开串口")), 1);
    // the bridge's first entry, written before the window existed, is in the window's log
    const QObject *journal =
        m_driver.engine().rootContext()->contextProperty(QStringLiteral("messageJournal")).value<QObject *>();
    QCOMPARE(item("messageLogArea")->property("count"), journal->property("count"));
    QString shownLog;
    QVERIFY(QMetaObject::invokeMethod(const_cast<QObject *>(journal), "plainText", Q_RETURN_ARG(QString, shownLog)));
    QVERIFY2(shownLog.contains(QStringLiteral("] 应用已启动\n")), qPrintable(shownLog));
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

void WindowTest::grabsConnectedWindow_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("crsfTab");
    QTest::addColumn<QString>("attitude");

    // The version as the build states it, without the bridge's leading "v".
    QTest::newRow("zh") << "zh" << QStringLiteral("版本号: ") + tavoxVersion() << QStringLiteral("CRSF通道配置") << QStringLiteral("就绪");
    QTest::newRow("en") << "en" << "Version: " + tavoxVersion() << "CRSF Channels" << "Ready";
}

void WindowTest::grabsConnectedWindow()
{
    QFETCH(QString, language);
    QFETCH(QString, version);
    QFETCH(QString, crsfTab);
    QFETCH(QString, attitude);

    switchOnOnce();
    m_driver.bridge().setLanguage(language);
    QTRY_COMPARE(itemText("versionLabel"), version);
    QTRY_COMPARE(itemText("crsfTab"), crsfTab);
    QTRY_COMPARE(itemText("attitudeText"), attitude);

    QCOMPARE(m_driver.cutOffButtons(), QStringList());
    m_driver.saveFrame(QStringLiteral("window-connected-%1.png").arg(language));
    VERIFY_NO_QML_WARNINGS();
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

// Every control is on screen or a scroll away, none covers another, and the
// message log keeps a few lines in sight.
void WindowTest::layoutFitsTheWindow()
{
    QFETCH(QSize, size);
    QFETCH(QString, language);

    m_driver.bridge().setLanguage(language);
    m_driver.resizeWindow(size);
    QTEST(item("panelGrid")->property("columns").toInt(), "columns");

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

// Tab from the first control on: the items that take the focus, in order,
// until it comes round again. Each shows its ring, and only its own.
QList<QQuickItem *> WindowTest::tabOrder(QStringList &ringless)
{
    QList<QQuickItem *> order;
    QQuickItem *first = nullptr;
    for (int presses = 0; presses < 500; ++presses) {
        QTest::keyClick(window(), Qt::Key_Tab);
        QQuickItem *focused = window()->activeFocusItem();
        if (!focused || focused == first)
            break;
        if (!first)
            first = focused;
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

void WindowTest::tabReachesEveryControlWithARing()
{
    m_driver.bridge().setLanguage(QStringLiteral("en"));
    window()->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    QStringList ringless;
    const QList<QQuickItem *> order = tabOrder(ringless);
    QVERIFY(!order.isEmpty());
    QCOMPARE(ringless, QStringList());

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

QTEST_MAIN(WindowTest)

#include "tst_window.moc"
