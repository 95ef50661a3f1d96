#include "app/Config.h"
#include "app/Startup.h"
#include "app/Version.h"
#include "bridge/AppBridge.h"
#include "support/SimLog.h"
#include "support/SimProcess.h"
#include "support/TestFiles.h"
#include "support/TestLocale.h"
#include "support/Waiting.h"
#include "window/WindowSize.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {
QStringList g_qmlWarnings;
QtMessageHandler g_previousHandler = nullptr;

void recordQmlWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    const bool fromQml = category == QLatin1String("qml") || category == QLatin1String("js")
        || message.contains(QLatin1String("qrc:/")) || message.contains(QLatin1String(".qml"));
    if (type != QtDebugMsg && type != QtInfoMsg && fromQml)
        g_qmlWarnings.append(message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

// Searches the visual tree: items a Repeater makes are not object children of the window.
QQuickItem *findItem(QQuickItem *parent, const QString &objectName, bool visibleOnly = false)
{
    for (QQuickItem *child : parent->childItems()) {
        if (visibleOnly && !child->isVisible())
            continue;
        if (child->objectName() == objectName)
            return child;
        if (QQuickItem *found = findItem(child, objectName, visibleOnly))
            return found;
    }
    return nullptr;
}

QPointF centreOf(const QQuickItem *item)
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
}

QQuickItem *nearestFlickable(const QQuickItem *item)
{
    for (QQuickItem *ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        if (ancestor->inherits("QQuickFlickable"))
            return ancestor;
    }
    return nullptr;
}

// Cut off when some clipping ancestor (a scroll view, a panel) or the window does not show the whole of it.
bool isCutOff(QQuickItem *item)
{
    const QRectF bounds(0, 0, item->width(), item->height());
    for (QQuickItem *ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        const bool bounding = ancestor->clip() || !ancestor->parentItem();
        if (!bounding)
            continue;
        const QRectF inAncestor = item->mapRectToItem(ancestor, bounds);
        if (!QRectF(0, 0, ancestor->width(), ancestor->height()).adjusted(-0.5, -0.5, 0.5, 0.5).contains(inAncestor))
            return true;
    }
    return false;
}

void scrollIntoView(QQuickItem *item)
{
    for (QQuickItem *view = nearestFlickable(item); view; view = nearestFlickable(view)) {
        const auto *content = view->property("contentItem").value<QQuickItem *>();
        const QRectF bounds = item->mapRectToItem(content, QRectF(0, 0, item->width(), item->height()));
        const qreal shownTop = view->property("contentY").toReal();
        qreal top = shownTop;
        if (bounds.top() < shownTop)
            top = bounds.top();
        else if (bounds.bottom() > shownTop + view->height())
            top = bounds.bottom() - view->height();
        const qreal lowest = qMax(0.0, view->property("contentHeight").toReal() - view->height());
        view->setProperty("contentY", qBound(0.0, top, lowest));
    }
}

void collectButtons(QQuickItem *parent, QList<QQuickItem *> &buttons)
{
    for (QQuickItem *child : parent->childItems()) {
        if (!child->isVisible())
            continue;
        if (child->inherits("QQuickAbstractButton") && !child->objectName().isEmpty())
            buttons.append(child);
        collectButtons(child, buttons);
    }
}

QList<QQuickItem *> shownFocusRings(QQuickItem *parent)
{
    QList<QQuickItem *> rings;
    for (QQuickItem *child : parent->childItems()) {
        if (!child->isVisible())
            continue;
        if (child->objectName() == QLatin1String("focusRing"))
            rings.append(child);
        rings.append(shownFocusRings(child));
    }
    return rings;
}

class WindowDriver
{
public:
    ~WindowDriver()
    {
        m_engine.reset();
        m_bridge.reset();
        if (m_recordingWarnings)
            qInstallMessageHandler(g_previousHandler);
        QFile::remove(configFilePath());
    }

    void start()
    {
        QFile::remove(configFilePath());
        useChineseLocale();
        QVERIFY(m_sim.start());
        // listed first, so the port combo starts on the simulator
        qputenv("TAVOX_EXTRA_PORTS", m_sim.portName().toUtf8());
        g_previousHandler = qInstallMessageHandler(recordQmlWarnings);
        m_recordingWarnings = true;
        m_fontFamily = applyAppFont();
        QVERIFY2(m_fontFamily != QLatin1String("Microsoft YaHei"), "no CJK font installed (fonts-noto-cjk)");
        load();
    }

    void restart()
    {
        m_engine.reset();
        m_bridge.reset();
        load();
    }

    QQuickWindow *window() const
    {
        const QList<QObject *> roots = m_engine->rootObjects();
        return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
    }
    AppBridge &bridge() const { return *m_bridge; }
    QQmlApplicationEngine &engine() const { return *m_engine; }
    const SimProcess &sim() const { return m_sim; }
    QString fontFamily() const { return m_fontFamily; }

    QQuickItem *item(const char *objectName) const
    {
        return findItem(window()->contentItem(), QString::fromLatin1(objectName));
    }
    QString itemText(const char *objectName) const
    {
        const QQuickItem *found = item(objectName);
        return found ? found->property("text").toString() : QStringLiteral("<missing %1>").arg(objectName);
    }
    QQuickItem *shownItem(const char *objectName) const
    {
        return findItem(window()->contentItem(), QString::fromLatin1(objectName), true);
    }

    void click(const char *objectName)
    {
        QQuickItem *target = item(objectName);
        QVERIFY2(target && target->isVisible() && target->isEnabled(), objectName);
        QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, centreOf(target).toPoint());
    }

    // Key by key into whatever has the focus (QTest types whole texts only into widgets).
    void typeText(const QString &text)
    {
        for (const QChar character : text)
            QTest::keyClick(window(), character.toLatin1());
    }

    void resizeWindow(const QSize &size)
    {
        // maximised at start on a screen smaller than the layout
        window()->showNormal();
        window()->resize(size);
        QTRY_COMPARE(window()->contentItem()->size(), QSizeF(size));
        QVERIFY(nextFrameDrawn());
    }

    void openPort(const QString &portName)
    {
        QVERIFY(m_bridge->openSerial(portName, 921600));
        QTRY_VERIFY(item("serialSwitch")->property("checked").toBool());
    }

    // Saved to the build directory, where the manual says the pictures are.
    void saveFrame(const QString &fileName)
    {
        QVERIFY(nextFrameDrawn());
        QImage image = window()->grabWindow();
        // The offscreen platform's backing store cannot hand its image to the
        // scene graph's grab, but its screen can read the window back.
        if (image.isNull())
            image = window()->screen()->grabWindow(window()->winId()).toImage();
        QCOMPARE(image.size(), window()->size());
        QVERIFY(image.save(QStringLiteral(TAVOX_BINARY_DIR "/") + fileName));
        // Run on a real (virtual) display with TAVOX_GRAB_SCREEN set, also what
        // that screen shows of the window, at whatever size the screen has.
        if (qEnvironmentVariableIsSet("TAVOX_GRAB_SCREEN")) {
            const QPixmap screen = window()->screen()->grabWindow(0);
            const QString name = QStringLiteral("%1-screen-%2x%3.png")
                                     .arg(fileName.chopped(4)).arg(screen.width()).arg(screen.height());
            QVERIFY(screen.save(QStringLiteral(TAVOX_BINARY_DIR "/") + name));
        }
    }

    void saveFrames(const QString &baseName)
    {
        const QString shown = m_bridge->language();
        const QString other = shown == QLatin1String("zh") ? QStringLiteral("en") : QStringLiteral("zh");
        for (const QString &language : {shown, other}) {
            m_bridge->setLanguage(language);
            saveFrame(QStringLiteral("%1-%2.png").arg(baseName, language));
        }
        m_bridge->setLanguage(shown);
    }

    QStringList cutOffButtons(const char *scrolledView = nullptr)
    {
        if (!nextFrameDrawn())
            return { QStringLiteral("<no frame>") };
        QList<QQuickItem *> buttons;
        collectButtons(window()->contentItem(), buttons);
        const QQuickItem *skipped = scrolledView ? item(scrolledView) : nullptr;
        QStringList cutOff;
        for (QQuickItem *button : qAsConst(buttons)) {
            if (skipped && skipped->isAncestorOf(button))
                continue;
            if (isCutOff(button))
                cutOff.append(button->objectName());
        }
        return cutOff;
    }

private:
    void load()
    {
        m_bridge = std::make_unique<AppBridge>();
        m_engine = std::make_unique<QQmlApplicationEngine>();
        QObject::connect(m_engine.get(), &QQmlEngine::warnings, [](const QList<QQmlError> &warnings) {
            for (const QQmlError &error : warnings)
                g_qmlWarnings.append(error.toString());
        });
        publishToQml(*m_engine, *m_bridge, m_fontFamily);
        m_engine->load(QUrl(QStringLiteral("qrc:/qml/Main.qml")));
        QVERIFY(window());
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        // the first port listing runs once the event loop does
        QTRY_VERIFY(m_bridge->messageLog().count(QLatin1Char('\n')) >= 2);
    }

    // Layouts settle before the next frame.
    bool nextFrameDrawn()
    {
        QSignalSpy frameSwapped(window(), &QQuickWindow::frameSwapped);
        window()->update();
        return frameSwapped.wait(5000);
    }

    SimProcess m_sim {{"--verbose", "--accel-step-ms", "1000"}};
    QString m_fontFamily;
    std::unique_ptr<AppBridge> m_bridge;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    bool m_recordingWarnings = false;
};

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

bool isFlickable(const QQuickItem *item)
{
    return item->inherits("QQuickFlickable");
}

// Where an item may paint: inside its card, inside what clips it, or inside the
// content of the scrolled view that holds it (reached by scrolling).
QQuickItem *boundOf(const QQuickItem *item, const QStringList &cards)
{
    for (QQuickItem *ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        const bool clippedView = isFlickable(ancestor) && (ancestor->clip() || ancestor->parentItem()->clip());
        if (ancestor->clip() || clippedView || cards.contains(ancestor->objectName()))
            return ancestor;
    }
    return nullptr;
}

// What the item paints: a text may run past its own box.
QRectF paintedRect(const QQuickItem *item)
{
    QRectF rect(0, 0, item->width(), item->height());
    if (item->inherits("QQuickText") && item->property("elide").toInt() == Qt::ElideNone)
        rect.setSize(rect.size().expandedTo(QSizeF(item->property("contentWidth").toReal(),
                                                   item->property("contentHeight").toReal())));
    return rect;
}

void collectStrays(QQuickItem *parent, const QStringList &cards, QStringList &strays)
{
    for (QQuickItem *child : parent->childItems()) {
        // A box of no size still shows what it holds, unless it clips.
        if (!child->isVisible() || child->opacity() == 0)
            continue;
        QQuickItem *bound = boundOf(child, cards);
        auto *content = bound && isFlickable(bound) ? bound->property("contentItem").value<QQuickItem *>() : nullptr;
        QRectF room(0, 0, bound->width(), bound->height());
        if (content && content->isAncestorOf(child)) {
            room = QRectF(bound->property("originX").toReal(), bound->property("originY").toReal(),
                          qMax(bound->width(), bound->property("contentWidth").toReal()),
                          qMax(bound->height(), bound->property("contentHeight").toReal()));
            bound = content;
        }
        const QRectF painted = child->mapRectToItem(bound, paintedRect(child));
        const bool paints = child->flags().testFlag(QQuickItem::ItemHasContents) && !painted.isEmpty();
        if (paints && !room.adjusted(-1, -1, 1, 1).contains(painted))
            strays.append(describe(child));
        collectStrays(child, cards, strays);
    }
}

bool isReachedBy(const QQuickItem *control, const QList<QQuickItem *> &focused)
{
    for (const QQuickItem *item = control; item; item = item->parentItem()) {
        if (focused.contains(const_cast<QQuickItem *>(item)))
            return true;
    }
    return false;
}
}

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_driver.start(); }
    void cleanup() { QVERIFY2(g_qmlWarnings.isEmpty(), qPrintable(g_qmlWarnings.join(QLatin1Char('\n')))); }
    void initialSizeFollowsTheScreen_data();
    void initialSizeFollowsTheScreen();
    void minimumSizeFitsEveryScreen_data();
    void minimumSizeFitsEveryScreen();
    void opensAsStartUpBuildsIt();
    void switchConnectsToTheSimulator();
    void outOfRangeTorqueIsShownAndNotSent();
    void sbusWriteActivatesAndReboots();
    void accelCalibrationAdvancesTheFaces();
    void switchOffReleasesThePort();
    void lostPortReconnectsByItself();
    void upgradeLocksOutEveryOtherAction();
    void layoutFitsTheWindow_data();
    void layoutFitsTheWindow();
    void tabReachesEveryControlInSightWithARing_data();
    void tabReachesEveryControlInSightWithARing();
    void wheelScrollsThePageAndStepsOnlyAFocusedNumber();
    void logBoundaryIsDraggedAndKept();
    void smallScreensReachEverythingInsideItsCard_data();
    void smallScreensReachEverythingInsideItsCard();

private:
    QQuickWindow *window() const { return m_driver.window(); }
    AppBridge &bridge() const { return m_driver.bridge(); }
    QQuickItem *item(const char *objectName) const { return m_driver.item(objectName); }
    QString itemText(const char *objectName) const { return m_driver.itemText(objectName); }
    QQuickItem *shownItem(const char *objectName) const { return m_driver.shownItem(objectName); }
    void click(const char *objectName) { m_driver.click(objectName); }
    QQuickItem *page() const { return item("panelScroll"); }
    QStringList facePhases() const;
    bool inCalibrationView(const char *objectName) const;
    QStringList simReceived() const;
    QStringList enabledDeviceActions() const;
    void confirmQuestion();
    void atLaptopSize();
    QObject *windowScale() const;
    void zoomByKeysTo(int percent);
    QList<QQuickItem *> tabRound(Qt::KeyboardModifier direction, QStringList &ringless, QStringList &hidden);
    void wheel(const QPointF &scenePos, int notches);
    void drag(QQuickItem *handle, qreal dy);
    qreal logLineHeight() const;

    WindowDriver m_driver;
    QTemporaryDir m_files;
};

QStringList WindowTest::facePhases() const
{
    QStringList phases;
    for (int face = 1; face <= 6; ++face)
        phases.append(item(qPrintable(QStringLiteral("face%1").arg(face)))->property("phase").toString());
    return phases;
}

// Shown and wholly inside the window: the calibration guide needs no scrolling at any size.
bool WindowTest::inCalibrationView(const char *objectName) const
{
    const QQuickItem *target = item(objectName);
    const QRectF bounds = target->mapRectToScene(QRectF(0, 0, target->width(), target->height()));
    return target->isVisible() && QRectF(QPointF(0, 0), window()->size()).contains(bounds);
}

QStringList WindowTest::simReceived() const
{
    QStringList received;
    const QString marker = QStringLiteral("] RX ");
    for (const QString &line : m_driver.sim().errorOutput().split(QLatin1Char('\n'))) {
        const int at = line.indexOf(marker);
        if (at >= 0)
            received.append(line.mid(at + marker.size()));
    }
    return received;
}

QStringList WindowTest::enabledDeviceActions() const
{
    static const QRegularExpression deviceAction(
        QStringLiteral("^(readButton|writeButton|(sbus|pwm|crsf)(Read|Write)|calibButton.*|startButton|queryButton)$"));
    QList<QQuickItem *> buttons;
    collectButtons(window()->contentItem(), buttons);
    QStringList enabled;
    for (QQuickItem *button : qAsConst(buttons)) {
        if (deviceAction.match(button->objectName()).hasMatch() && button->isEnabled())
            enabled.append(button->objectName());
    }
    return enabled;
}

// As the operator does: a question starts on Cancel, the action is one Tab away.
void WindowTest::confirmQuestion()
{
    QTest::keyClick(window(), Qt::Key_Tab);
    QTest::keyClick(window(), Qt::Key_Return);
}

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
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("room to spare") << QSize(1920, 1040) << 1.0 << QSize(1540, 960);
    QTest::newRow("1366x768 under a panel") << QSize(1366, 728) << 1.0 << QSize(1366, 728);
    QTest::newRow("wide but short") << QSize(2560, 700) << 1.0 << QSize(1540, 700);
    QTest::newRow("narrow but tall") << QSize(1280, 1400) << 1.0 << QSize(1280, 960);
    QTest::newRow("150 %, room to spare") << QSize(3840, 2120) << 1.5 << QSize(2310, 1440);
    QTest::newRow("no area known") << QSize() << 1.0 << QSize(1024, 640);
    QTest::newRow("no area known, 200 %") << QSize() << 2.0 << QSize(2048, 1280);
}

void WindowTest::initialSizeFollowsTheScreen()
{
    QFETCH(QSize, availableArea);
    QFETCH(qreal, scale);
    QTEST(initialWindowSize(scale, availableArea), "expected");
}

// Every screen from 1024x600, at the desktop's and the window's own scales:
// the logical screen is the physical one divided by the desktop's scale, less a taskbar.
void WindowTest::minimumSizeFitsEveryScreen_data()
{
    QTest::addColumn<QSize>("availableArea");
    QTest::addColumn<qreal>("scale");
    for (const QSize &screen : {QSize(1024, 600), QSize(1366, 768), QSize(1920, 1080), QSize(3840, 2160)}) {
        for (const qreal desktop : {1.0, 1.5, 2.0}) {
            const QSize area = (QSizeF(screen) / desktop).toSize() - QSize(0, 30);
            for (const qreal scale : {1.0, 1.5, 2.0})
                QTest::addRow("%dx%d, desktop %g, window %g", screen.width(), screen.height(), desktop, scale) << area << scale;
        }
    }
}

void WindowTest::minimumSizeFitsEveryScreen()
{
    QFETCH(QSize, availableArea);
    QFETCH(qreal, scale);
    const QSize minimum = minimumWindowSize(scale, availableArea);
    const QSize room = availableArea - frameAllowance();
    const QSize floor = (QSizeF(layoutFloor()) * scale).toSize();
    // the layout's floor where it fits, framed; else all the room there is, and the content scrolls
    QCOMPARE(minimum.width(), floor.width() <= room.width() ? floor.width() : room.width());
    QCOMPARE(minimum.height(), floor.height() <= room.height() ? floor.height() : room.height());
    const QSize initial = initialWindowSize(scale, availableArea);
    QVERIFY(QRect(QPoint(), availableArea).contains(QRect(QPoint(), initial)));
    QVERIFY(initial.width() >= minimum.width() && initial.height() >= minimum.height());
    QCOMPARE(fillsTheScreen(scale, availableArea), initial != (QSizeF(designWindowSize()) * scale).toSize());
}

void WindowTest::opensAsStartUpBuildsIt()
{
    // the offscreen screen (800x600) is smaller than the layout: the window takes it, maximised
    const QSize area = window()->screen()->availableGeometry().size();
    QVERIFY(fillsTheScreen(1.0, area) && window()->visibility() == QWindow::Maximized);
    // the pictures below show the layout at the size it was drawn for
    m_driver.resizeWindow(designWindowSize());
    QCOMPARE(window()->property("font").value<QFont>().family(), m_driver.fontFamily());
    QCOMPARE(bridge().messageLog().count(QStringLiteral("请您先打开串口")), 1);
    const QObject *journal =
        m_driver.engine().rootContext()->contextProperty(QStringLiteral("messageJournal")).value<QObject *>();
    QCOMPARE(item("messageLogArea")->property("count"), journal->property("count"));
    QVERIFY(!item("crsfTab")->isVisible());

    QCOMPARE(itemText("linkStatusText"), QStringLiteral("未连接"));
    QCOMPARE(itemText("valuesNote"), QStringLiteral("尚未读取参数"));
    QVERIFY(!item("sbusWrite")->isEnabled());
    QVERIFY(!item("calibButton0")->isEnabled());
    QCOMPARE(item("pitchTorque")->property("blank").toBool(), true);
    QCOMPARE(m_driver.cutOffButtons(), QStringList());
    m_driver.saveFrames(QStringLiteral("window-not-connected"));
}

void WindowTest::switchConnectsToTheSimulator()
{
    QCOMPARE(item("serialPortCombo")->property("currentText").toString(), m_driver.sim().portName());
    click("serialSwitch");
    QTRY_VERIFY_WITH_TIMEOUT(bridge().serialOpened(), ProcessWaitMs);
    QVERIFY(!item("serialPortCombo")->isEnabled());
    QVERIFY(!item("refreshButton")->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(item("sbusPitch")->property("currentText").toString(), QStringLiteral("CH2"), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(item("crsfTab")->isVisible(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(itemText("pitchValue") != QLatin1String("--"), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(item("sbusWrite")->isEnabled(), ProcessWaitMs);
}

void WindowTest::outOfRangeTorqueIsShownAndNotSent()
{
    bridge().setLanguage(QStringLiteral("en"));
    const int alreadyReceived = simReceived().size();
    QQuickItem *torque = item("pitchTorque");
    const int before = torque->property("value").toInt();
    scrollIntoView(findItem(torque, QStringLiteral("spinField")));
    click("pitchTorque");
    QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier);
    m_driver.typeText(QStringLiteral("45000"));
    QTest::keyClick(window(), Qt::Key_Tab);
    QCOMPARE(torque->property("errorText").toString(), QStringLiteral("Out of range, allowed 1–30000"));
    QCOMPARE(torque->property("value").toInt(), before);
    QVERIFY(!findItem(item("torquePanel"), QStringLiteral("writeButton"))->isEnabled());
    m_driver.saveFrame(QStringLiteral("window-out-of-range-en.png"));

    QTest::keyClick(window(), Qt::Key_Backtab);
    QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier);
    m_driver.typeText(QString::number(before));
    QTest::keyClick(window(), Qt::Key_Return);
    QVERIFY(findItem(item("torquePanel"), QStringLiteral("writeButton"))->isEnabled());
    QCOMPARE(simReceived().size(), alreadyReceived);
}

void WindowTest::sbusWriteActivatesAndReboots()
{
    bridge().setLanguage(QStringLiteral("en"));
    const int alreadyReceived = simReceived().size();
    click("sbusRollDir");
    QTest::keyClick(window(), Qt::Key_Up);
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_COMPARE(item("sbusRollDir")->property("currentText").toString(), QStringLiteral("Reversed"));
    QCOMPARE(itemText("editCount"), QStringLiteral("1 unsaved"));
    QCOMPARE(m_driver.cutOffButtons(), QStringList());
    // cancelled by keyboard, the keyboard is back on the button, with the ring
    click("sbusWrite");
    QTRY_VERIFY(shownItem("confirmTitle"));
    m_driver.saveFrames(QStringLiteral("window-confirm"));
    QTest::keyClick(window(), Qt::Key_Escape);
    QTRY_VERIFY(!shownItem("confirmTitle"));
    QVERIFY(item("sbusWrite")->property("visualFocus").toBool());
    QCOMPARE(simReceived().size(), alreadyReceived);
    click("sbusWrite");
    QTRY_VERIFY(shownItem("confirmTitle"));
    confirmQuestion();
    QVERIFY(item("sbusRollDir")->property("unconfirmed").toBool());
    QCOMPARE(itemText("unconfirmedCount"), QStringLiteral("1 to confirm by Read"));

    const QStringList expected = {
        QStringLiteral("command 0xA0 para 0x00008002 0x00008004 0x00050006 0x00010001"),
        QStringLiteral("command 0x90 para 0x00000000 0x00000000 0x00000000 0x00000000"),
        QStringLiteral("command 0x91 para 0x00000000 0x00000000 0x00000000 0x00000000"),
        QStringLiteral("parameter read"),
    };
    QTRY_COMPARE_WITH_TIMEOUT(simReceived().mid(alreadyReceived, 4), expected, ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!item("sbusRollDir")->property("unconfirmed").toBool(), ProcessWaitMs);
    QVERIFY(!item("sbusRollDir")->property("edited").toBool());
    QCOMPARE(item("sbusRollDir")->property("currentText").toString(), QStringLiteral("Reversed"));
}

void WindowTest::accelCalibrationAdvancesTheFaces()
{
    bridge().setLanguage(QStringLiteral("en"));
    click("calibButton2");
    confirmQuestion();
    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("● Place device DOWN"), ProcessWaitMs);
    const QString completed = QStringLiteral("completed");
    const QString pending = QStringLiteral("pending");
    QCOMPARE(facePhases(), (QStringList {completed, completed, QStringLiteral("current"), pending, pending, pending}));
    QCOMPARE(itemText("progressCounter"), QStringLiteral("2/6"));
    for (const char *part : {"caliStatusLabel", "progressCounter", "face1", "face6", "guideCloseButton",
                             "guideActivateButton", "guideRestartButton"})
        QVERIFY2(inCalibrationView(part), part);
    QTRY_COMPARE(findItem(item("face3"), QStringLiteral("picture"))->opacity(), 1.0);
    m_driver.saveFrame(QStringLiteral("window-calibrating.png"));

    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("✓ Done! Click Activate → Restart"),
                              ProcessWaitMs);
    QCOMPARE(facePhases(), QVector<QString>(6, completed).toList());
    click("guideActivateButton");
    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("✓ Activated. Click Restart"), ProcessWaitMs);
    click("guideRestartButton");
    QTRY_VERIFY(shownItem("confirmTitle"));
    confirmQuestion();
    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("✓ Calibration applied; the controller restarted"),
                              2 * ProcessWaitMs);
    click("guideCloseButton");
    QTRY_VERIFY(!shownItem("caliStatusLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(item("sbusWrite")->isEnabled(), ProcessWaitMs);
}

void WindowTest::switchOffReleasesThePort()
{
    bridge().setLanguage(QStringLiteral("en"));
    const int alreadyReceived = simReceived().size();
    click("sbusRollDir");
    QTest::keyClick(window(), Qt::Key_Down);
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_COMPARE(itemText("unsavedSummary"), QStringLiteral("1 unsaved: Channels"));
    // An unwritten edit is asked about, by the window's close as by the switch; the focus starts on Cancel.
    window()->close();
    QTRY_VERIFY(shownItem("confirmAlternative"));
    QVERIFY2(itemText("confirmText").contains(QStringLiteral("Channels: SBUS Roll direction Normal")), qPrintable(itemText("confirmText")));
    m_driver.saveFrames(QStringLiteral("window-unsaved-question"));
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_VERIFY(!shownItem("confirmTitle"));
    QVERIFY(window()->isVisible());
    click("serialSwitch");
    QTRY_VERIFY(shownItem("confirmAlternative"));
    QCOMPARE(simReceived().size(), alreadyReceived);
    QTest::keyClick(window(), Qt::Key_Tab);
    QTest::keyClick(window(), Qt::Key_Tab);
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!bridge().serialOpened(), ProcessWaitMs);
    QVERIFY(simReceived().mid(alreadyReceived).contains(
        QStringLiteral("command 0x91 para 0x00000000 0x00000000 0x00000000 0x00000000")));
    QVERIFY(!item("serialSwitch")->property("checked").toBool());
    QVERIFY(item("serialPortCombo")->isEnabled());
    QVERIFY(!item("writeButton")->isEnabled());
    QCOMPARE(m_driver.cutOffButtons("calScrollView"), QStringList());
    m_driver.saveFrames(QStringLiteral("window-stale"));
}

void WindowTest::lostPortReconnectsByItself()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gimbal"));
    SimProcess returning({"--link", link, "--fault-hangup-after", "1500", "--fault-return-after", "1500",
                          "--fault-return-firmware", "9.9.9.9", "--verbose"});
    QVERIFY(returning.start());
    bridge().setLanguage(QStringLiteral("en"));
    m_driver.openPort(link);
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!bridge().serialOpened(), ProcessWaitMs);
    QVERIFY(item("serialSwitch")->property("checked").toBool());
    click("sbusRollDir");
    QTest::keyClick(window(), Qt::Key_Up);
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_VERIFY(item("sbusRollDir")->property("edited").toBool());
    QVERIFY(!returning.waitForReturn().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(itemText("linkStatusText"),
                              QStringLiteral("Another controller on %1 — firmware 9.9.9.9, was 1.0.0.60").arg(link),
                              ProcessWaitMs);
    QCOMPARE(itemText("editCount"), QStringLiteral("1 unsaved, made for another controller"));
    const int sentBefore = simReceivedFrames(returning.errorOutput()).size();
    click("sbusWrite");
    QTRY_VERIFY(shownItem("confirmTitle"));
    QCOMPARE(itemText("confirmTitle"), QStringLiteral("Write changes made for another controller?"));
    QTest::keyClick(window(), Qt::Key_Escape);
    QTRY_VERIFY(!shownItem("confirmTitle"));
    QCOMPARE(simReceivedFrames(returning.errorOutput()).size(), sentBefore);
    click("revertButton");
    click("serialSwitch");
    QTRY_VERIFY(!bridge().serialOpened());
}

void WindowTest::upgradeLocksOutEveryOtherAction()
{
    bridge().setLanguage(QStringLiteral("en"));
    const QString path = m_files.filePath(QStringLiteral("tavox-fw.bin"));
    QVERIFY(writeFile(path, randomImage(48 * 1024)));
    bridge().setUpgradeFileChooser([path](const QString &, const QString &, const QString &) { return path; });
    // A controller that stops answering mid-transfer, and a watchdog that gives it minutes, keep the upgrade
    // under way for as long as the test needs it, however busy the machine.
    SimProcess stalling({QStringLiteral("--fault-silent-after"), QStringLiteral("100")});
    QVERIFY(stalling.start());
    bridge().setUpgradeReplyTimeouts({30000, 10000, 600000});
    m_driver.openPort(stalling.portName());
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);

    click("browseButton");
    QTRY_COMPARE(itemText("fileInfo"), QStringLiteral("tavox-fw.bin  ·  49152 bytes"));
    click("startButton");
    QTRY_VERIFY(shownItem("confirmText"));
    const auto question = [this] { return shownItem("confirmText")->property("text").toString(); };
    QTRY_VERIFY2(question().contains(QStringLiteral("Firmware now: 1.0.0.60")), qPrintable(question()));
    QVERIFY2(question().contains(QStringLiteral("tavox-fw.bin (49152 bytes)")), qPrintable(question()));
    m_driver.saveFrames(QStringLiteral("window-upgrade-question"));
    confirmQuestion();
    QTRY_VERIFY_WITH_TIMEOUT(itemText("phaseText").startsWith(QStringLiteral("Writing ")), ProcessWaitMs);

    QCOMPARE(enabledDeviceActions(), QStringList());
    QVERIFY(!item("browseButton")->isEnabled());
    QVERIFY(!item("startButton")->isVisible());
    QVERIFY(!item("fileInfo")->isVisible());
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+%$")).match(itemText("progressText")).hasMatch());
    QCOMPARE(m_driver.cutOffButtons("calScrollView"), QStringList());
    m_driver.saveFrames(QStringLiteral("window-upgrading"));

    QTRY_VERIFY(item("cancelUpgradeButton")->isEnabled());
    click("cancelUpgradeButton");
    QTRY_VERIFY(shownItem("confirmText"));
    QCOMPARE(question(), QStringLiteral("The controller waits in its bootloader until an upgrade completes; until then it has "
                                        "no usable firmware. The port stays open to run the upgrade again."));
    confirmQuestion();
    QTRY_COMPARE(itemText("resultText"), QStringLiteral("Upgrade cancelled by the operator; the controller waits in its "
                                                        "bootloader until an upgrade completes — run the upgrade again to finish"));
    QVERIFY(bridge().serialOpened());
    click("startButton");
    QTRY_VERIFY(shownItem("confirmText"));
    confirmQuestion();
    QTRY_VERIFY_WITH_TIMEOUT(itemText("phaseText").startsWith(QStringLiteral("Writing ")), ProcessWaitMs);

    click("serialSwitch");
    QTRY_VERIFY(shownItem("confirmText"));
    QCOMPARE(question(), QStringLiteral("Closing the port aborts the upgrade."));
    QTest::keyClick(window(), Qt::Key_Escape);
    QTRY_VERIFY(!shownItem("confirmText"));
    QVERIFY(bridge().serialOpened() && bridge().tavoxUpgrading());

    click("serialSwitch");
    QTRY_VERIFY(shownItem("confirmText"));
    confirmQuestion();
    QTRY_VERIFY(!bridge().serialOpened());
    QTRY_VERIFY(item("resultBanner")->isVisible());
    QVERIFY2(itemText("resultText").startsWith(QStringLiteral("Upgrade aborted")), qPrintable(itemText("resultText")));
    QCOMPARE(m_driver.cutOffButtons("calScrollView"), QStringList());
    m_driver.saveFrames(QStringLiteral("window-upgrade-failed"));
    QQuickItem *firmware = item("firmwareVersion");
    QCOMPARE(firmware->property("text").toString(), QStringLiteral("1.0.0.60 (last seen)"));
    QVERIFY(!firmware->property("font").value<QFont>().bold());
    QTest::mouseMove(window(), firmware->mapToScene(QPointF(2, 2)).toPoint());
    QTRY_VERIFY(firmware->property("hintShown").toBool());
    bridge().setUpgradeReplyTimeouts({});
    m_driver.openPort(m_driver.sim().portName());
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);
    QVERIFY(!item("resultBanner")->isVisible());
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

void WindowTest::layoutFitsTheWindow()
{
    QFETCH(QSize, size);
    QFETCH(QString, language);

    bridge().setLanguage(language);
    m_driver.resizeWindow(size);
    QTEST(item("panelGrid")->property("columns").toInt(), "columns");
    QTRY_COMPARE(itemText("versionLabel"),
                 (language == QLatin1String("zh") ? QStringLiteral("版本号: ") : QStringLiteral("Version: ")) + tavoxVersion());
    if (size == designWindowSize())
        QCOMPARE(m_driver.cutOffButtons(), QStringList());

    QVERIFY(!isCutOff(item("messageLog")));
    QVERIFY2(item("messageLogArea")->height() >= 80, qPrintable(QString::number(item("messageLogArea")->height())));

    QList<QQuickItem *> boxes;
    collectControls(window()->contentItem(), boxes);
    for (const char *part : {"sidebar", "panelScroll", "messageLog", "calibrationPanel", "channelPanel",
                             "gimbalConfigPanel", "cameraPanel", "torquePanel", "upgradePanel"})
        boxes.append(item(part));
    QCOMPARE(overlapping(boxes), QStringList());

    m_driver.saveFrame(QStringLiteral("window-%1x%2-%3.png").arg(size.width()).arg(size.height()).arg(language));
    m_driver.resizeWindow(designWindowSize());
}

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
    QTest::addColumn<int>("percent");
    QTest::newRow("1366x768") << Laptop << 100;
    QTest::newRow("1024x640") << QSize(1024, 640) << 100;
    QTest::newRow("1024x600 at 200 %: the whole window scrolls") << QSize(1024, 540) << 200;
}

void WindowTest::tabReachesEveryControlInSightWithARing()
{
    QFETCH(QSize, size);
    QFETCH(int, percent);
    bridge().setLanguage(QStringLiteral("en"));
    atLaptopSize();
    zoomByKeysTo(percent);
    m_driver.resizeWindow(size);
    // from the top, wherever the flows above left the focus: on the last control, a Tab before the first
    window()->contentItem()->nextItemInFocusChain(false)->forceActiveFocus(Qt::TabFocusReason);
    QStringList ringless;
    QStringList hidden;
    const QList<QQuickItem *> order = tabRound(Qt::NoModifier, ringless, hidden);
    QCOMPARE(ringless, QStringList());
    QCOMPARE(hidden, QStringList());
    // the round went below the first screenful of panels; Shift+Tab comes back the same way
    QVERIFY(order.contains(item("logHandle")));
    QVERIFY(!tabRound(Qt::ShiftModifier, ringless, hidden).isEmpty());
    QCOMPARE(hidden, QStringList());

    QList<QQuickItem *> controls;
    collectControls(window()->contentItem(), controls);
    // The step buttons of a spin input are worked by its field's keys (Up, Down, PageUp, PageDown).
    const QStringList stepsByKeys {QStringLiteral("spinUp"), QStringLiteral("spinDown")};
    QStringList unreached;
    for (QQuickItem *control : qAsConst(controls)) {
        if (control->isEnabled() && !stepsByKeys.contains(control->objectName()) && !isReachedBy(control, order))
            unreached.append(describe(control));
    }
    QCOMPARE(unreached, QStringList());

    QList<int> positions;
    for (const char *name : {"serialSwitch", "zhChoice", "enChoice", "sbusTab", "clearButton"})
        positions.append(order.indexOf(item(name)));
    QVERIFY2(!positions.contains(-1), qPrintable(QString::number(positions.indexOf(-1))));
    QVERIFY(std::is_sorted(positions.begin(), positions.end()));
    window()->contentItem()->forceActiveFocus();
    zoomByKeysTo(100);
}

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

    zoomByKeysTo(110);
    m_driver.restart();
    m_driver.resizeWindow(Laptop);
    // the zoom is kept too, and the log's kept height grows with it
    QCOMPARE(windowScale()->property("percent").toInt(), 110);
    QCOMPARE(item("messageLog")->height(), byKeys * 1.1);
    zoomByKeysTo(100);
}

QObject *WindowTest::windowScale() const
{
    return m_driver.engine().rootContext()->contextProperty(QStringLiteral("windowScale")).value<QObject *>();
}

void WindowTest::zoomByKeysTo(int percent)
{
    QObject *scale = windowScale();
    QTest::keyClick(window(), Qt::Key_0, Qt::ControlModifier | Qt::KeypadModifier);
    for (int presses = 0; presses < 8 && scale->property("percent").toInt() != percent; ++presses) {
        if (percent > 100)
            QTest::keyClick(window(), Qt::Key_Equal, Qt::ControlModifier);
        else
            QTest::keyClick(window(), Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    }
    QCOMPARE(scale->property("percent").toInt(), percent);
    QCOMPARE(window()->property("uiScale").toReal(), percent / 100.0);
}

// The window maximised on a small screen, its title bar and a taskbar taken off.
void WindowTest::smallScreensReachEverythingInsideItsCard_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("percent");
    QTest::newRow("1024x600") << QSize(1024, 540) << 100;
    QTest::newRow("1024x600, window 150 %") << QSize(1024, 540) << 150;
    QTest::newRow("1024x600, window 200 %") << QSize(1024, 540) << 200;
    QTest::newRow("1366x768, desktop 200 %") << QSize(683, 324) << 100;
    QTest::newRow("1366x768, desktop 150 %, window 75 %") << QSize(910, 452) << 75;
    QTest::newRow("1920x1080, desktop 150 %") << QSize(1280, 642) << 100;
    QTest::newRow("1920x1080, window 150 %") << QSize(1920, 1002) << 150;
}

void WindowTest::smallScreensReachEverythingInsideItsCard()
{
    QFETCH(QSize, size);
    QFETCH(int, percent);
    bridge().setLanguage(QStringLiteral("en"));
    if (!bridge().serialOpened())
        m_driver.openPort(m_driver.sim().portName());
    // with the controller's values in every field
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);
    window()->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    zoomByKeysTo(percent);
    m_driver.resizeWindow(size);
    QCOMPARE(item("zoomInButton")->isEnabled(), percent < 200);
    const QStringList cards {QStringLiteral("windowScroll"), QStringLiteral("sidebar"), QStringLiteral("serviceTools"),
                             QStringLiteral("messageLog"), QStringLiteral("calibrationPanel"),
                             QStringLiteral("channelPanel"), QStringLiteral("gimbalConfigPanel"),
                             QStringLiteral("cameraPanel"), QStringLiteral("torquePanel"), QStringLiteral("upgradePanel")};
    QStringList strays;
    collectStrays(item("windowScroll"), cards, strays);
    QVERIFY2(strays.isEmpty(), qPrintable(strays.join(QLatin1String(", "))));
    m_driver.saveFrame(QStringLiteral("window-%1x%2-at-%3.png").arg(size.width()).arg(size.height()).arg(percent));
    zoomByKeysTo(100);
}

QTEST_MAIN(WindowTest)

#include "tst_window.moc"
