#include "app/Startup.h"
#include "app/WindowSize.h"
#include "bridge/AppBridge.h"
#include "support/PseudoTerminal.h"
#include "support/SimProcess.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <memory>

// The real main window on the real bridge, as start-up builds it, driven with
// the mouse against the simulated controller: no QML warning along the way,
// and pictures of the connected window and of a calibration in progress.
namespace {
QStringList g_qmlWarnings;
QtMessageHandler g_previousHandler = nullptr;

bool comesFromQml(const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    return category == QLatin1String("qml") || category == QLatin1String("js")
        || message.contains(QLatin1String("qrc:/")) || message.contains(QLatin1String(".qml"));
}

void recordQmlWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && comesFromQml(context, message))
        g_qmlWarnings.append(message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QString configPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/zentaro.cfg");
}

// Searches the visual tree: items a Repeater makes are not object children of the window.
QQuickItem *findItem(QQuickItem *parent, const QString &objectName)
{
    for (QQuickItem *child : parent->childItems()) {
        if (child->objectName() == objectName)
            return child;
        if (QQuickItem *found = findItem(child, objectName))
            return found;
    }
    return nullptr;
}

// The one on screen among items of that name, such as the dialog that is open.
QQuickItem *findVisibleItem(QQuickItem *parent, const QString &objectName)
{
    for (QQuickItem *child : parent->childItems()) {
        if (!child->isVisible())
            continue;
        if (child->objectName() == objectName)
            return child;
        if (QQuickItem *found = findVisibleItem(child, objectName))
            return found;
    }
    return nullptr;
}

// The buttons that ask something of the controller.
bool isDeviceAction(const QString &objectName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(readButton|writeButton|(sbus|pwm|crsf)(Read|Write)|calibButton.*|startButton|queryButton)$"));
    return pattern.match(objectName).hasMatch();
}

QByteArray firmwareImage(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 13);
    return bytes;
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

// Cut off when some clipping ancestor (a scroll view, a panel) or the window
// does not show the whole of it.
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

bool isFlickable(const QQuickItem *item)
{
    return item->inherits("QQuickFlickable");
}

QQuickItem *nearestFlickable(const QQuickItem *item)
{
    for (QQuickItem *ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        if (isFlickable(ancestor))
            return ancestor;
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

// Scrolls every view around `item` just far enough to show it, innermost view first.
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

// The visible focus rings of the window; one is expected, at the focused control.
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

#define VERIFY_NO_QML_WARNINGS() QVERIFY2(g_qmlWarnings.isEmpty(), qPrintable(g_qmlWarnings.join(QLatin1Char('\n'))))

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void initialSizeFollowsTheScreen_data();
    void initialSizeFollowsTheScreen();
    void opensAsStartUpBuildsIt();
    void switchConnectsToTheSimulator();
    void grabsConnectedWindow_data();
    void grabsConnectedWindow();
    void layoutFitsTheWindow_data();
    void layoutFitsTheWindow();
    void tabReachesEveryControlWithARing();
    void outOfRangeTorqueIsShownAndNotSent();
    void sbusWriteActivatesAndReboots();
    void accelCalibrationAdvancesTheFaces();
    void switchOffReleasesThePort();
    void vanishedDeviceTurnsTheSwitchOff();
    void silentLineIsNoAnswer();
    void heartbeatsStopAndComeBack();
    void upgradeLocksOutEveryOtherAction();
    void upgradeSucceeds();

private:
    QQuickWindow *window() const;
    QQuickItem *item(const char *objectName) const;
    QString itemText(const char *objectName) const;
    QStringList facePhases() const;
    bool inCalibrationView(const char *objectName) const;
    QStringList simReceived() const;
    void click(const char *objectName);
    void saveFrame(const QString &fileName);
    QStringList cutOffButtons(const char *scrolledView = nullptr);
    void resizeWindow(const QSize &size);
    QStringList unreachableControls();
    QList<QQuickItem *> tabOrder(QStringList &ringless);
    QStringList enabledDeviceActions() const;
    QQuickItem *shownItem(const char *objectName) const;
    QObject *upgradeMonitor() const;
    void saveFrames(const QString &baseName);
    void saveQuestionFrames(const QString &baseName, const char *asker);
    void openPort(const QString &portName);
    void typeText(const QString &text);

    QTemporaryDir m_files;
    // Slow enough a line for an upgrade to be watched.
    SimProcess m_paced {{QStringLiteral("--baud"), QStringLiteral("115200")}};

    SimProcess m_sim {{QStringLiteral("--verbose"), QStringLiteral("--accel-step-ms"), QStringLiteral("1000")}};
    QString m_fontFamily;
    std::unique_ptr<AppBridge> m_bridge;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
};

void WindowTest::initTestCase()
{
    QFile::remove(configPath());
    QVERIFY(m_sim.start());
    // listed first, so the port combo starts on the simulator
    qputenv("TAVOX_EXTRA_PORTS", m_sim.portName().toUtf8());
    g_previousHandler = qInstallMessageHandler(recordQmlWarnings);

    m_fontFamily = applyAppFont();
    QVERIFY2(m_fontFamily != QLatin1String("Microsoft YaHei"), "no CJK font installed (fonts-noto-cjk)");

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

void WindowTest::cleanupTestCase()
{
    m_engine.reset();
    m_bridge.reset();
    qInstallMessageHandler(g_previousHandler);
    QFile::remove(configPath());
}

QQuickWindow *WindowTest::window() const
{
    const QList<QObject *> roots = m_engine->rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
}

QQuickItem *WindowTest::item(const char *objectName) const
{
    return findItem(window()->contentItem(), QString::fromLatin1(objectName));
}

QString WindowTest::itemText(const char *objectName) const
{
    const QQuickItem *found = item(objectName);
    return found ? found->property("text").toString() : QStringLiteral("<missing %1>").arg(objectName);
}

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

// Every frame the simulator received, described by its --verbose log, oldest first.
QStringList WindowTest::simReceived() const
{
    QStringList received;
    const QString marker = QStringLiteral("] RX ");
    for (const QString &line : m_sim.errorOutput().split(QLatin1Char('\n'))) {
        const int at = line.indexOf(marker);
        if (at >= 0)
            received.append(line.mid(at + marker.size()));
    }
    return received;
}

void WindowTest::click(const char *objectName)
{
    QQuickItem *target = item(objectName);
    QVERIFY2(target && target->isVisible() && target->isEnabled(), objectName);
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

void WindowTest::saveFrame(const QString &fileName)
{
    QSignalSpy frameSwapped(window(), &QQuickWindow::frameSwapped);
    window()->update();
    QVERIFY(frameSwapped.wait(5000));
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

void WindowTest::resizeWindow(const QSize &size)
{
    window()->resize(size);
    QTRY_COMPARE(window()->contentItem()->size(), QSizeF(size));
    // Layouts settle before the next frame.
    QSignalSpy frameSwapped(window(), &QQuickWindow::frameSwapped);
    window()->update();
    QVERIFY(frameSwapped.wait(5000));
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

// The names of the window's buttons that are not wholly on screen without
// scrolling, leaving out those of a view the test has scrolled on purpose.
QStringList WindowTest::cutOffButtons(const char *scrolledView)
{
    // Layouts settle before the next frame.
    QSignalSpy frameSwapped(window(), &QQuickWindow::frameSwapped);
    window()->update();
    if (!frameSwapped.wait(5000))
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

QStringList WindowTest::enabledDeviceActions() const
{
    QList<QQuickItem *> buttons;
    collectButtons(window()->contentItem(), buttons);
    QStringList enabled;
    for (QQuickItem *button : qAsConst(buttons)) {
        if (isDeviceAction(button->objectName()) && button->isEnabled())
            enabled.append(button->objectName());
    }
    return enabled;
}

QObject *WindowTest::upgradeMonitor() const
{
    return m_engine->rootContext()->contextProperty(QStringLiteral("upgradeMonitor")).value<QObject *>();
}

QQuickItem *WindowTest::shownItem(const char *objectName) const
{
    return findVisibleItem(window()->contentItem(), QString::fromLatin1(objectName));
}

// The picture in the language shown, then in the other one, named <base>-<language>.png.
void WindowTest::saveFrames(const QString &baseName)
{
    const QString shown = m_bridge->language();
    const QString other = shown == QLatin1String("zh") ? QStringLiteral("en") : QStringLiteral("zh");
    for (const QString &language : {shown, other}) {
        m_bridge->setLanguage(language);
        saveFrame(QStringLiteral("%1-%2.png").arg(baseName, language));
    }
    m_bridge->setLanguage(shown);
}

// The question `asker` opens, asked and pictured in each language, then cancelled.
void WindowTest::saveQuestionFrames(const QString &baseName, const char *asker)
{
    const QString shown = m_bridge->language();
    for (const QString &language : {QStringLiteral("zh"), QStringLiteral("en")}) {
        m_bridge->setLanguage(language);
        click(asker);
        QTRY_VERIFY(shownItem("confirmTitle"));
        saveFrame(QStringLiteral("%1-%2.png").arg(baseName, language));
        QTest::keyClick(window(), Qt::Key_Escape);
        QTRY_VERIFY(!shownItem("confirmTitle"));
    }
    m_bridge->setLanguage(shown);
}

// As the sidebar would, with the port the test brought.
void WindowTest::openPort(const QString &portName)
{
    QVERIFY(m_bridge->openSerial(portName, 921600));
    QTRY_VERIFY(item("serialSwitch")->property("checked").toBool());
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
    resizeWindow(designWindowSize());
    QCOMPARE(window()->color(), QColor(QStringLiteral("#f5f7fa")));
    QCOMPARE(window()->property("font").value<QFont>().family(), m_fontFamily);
    QCOMPARE(m_bridge->messageLog().count(QStringLiteral("请您先打开串口")), 1);
    // the bridge's first entry, written before the window existed, is in the window's log
    const QObject *journal = m_engine->rootContext()->contextProperty(QStringLiteral("messageJournal")).value<QObject *>();
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
    QCOMPARE(cutOffButtons(), QStringList());
    saveFrames(QStringLiteral("window-not-connected"));
}

void WindowTest::switchConnectsToTheSimulator()
{
    QCOMPARE(item("serialPortCombo")->property("currentText").toString(), m_sim.portName());
    QCOMPARE(itemText("pitchValue"), QStringLiteral("--"));

    click("serialSwitch");
    QTRY_VERIFY_WITH_TIMEOUT(m_bridge->serialOpened(), ProcessWaitMs);
    QVERIFY(item("serialSwitch")->property("checked").toBool());
    QVERIFY(!item("serialPortCombo")->isEnabled());
    QVERIFY(!item("serialBaudCombo")->isEnabled());
    QVERIFY(!item("refreshButton")->isEnabled());

    // the simulator's parameters reach the combos, its version shows the CRSF tab
    QTRY_COMPARE_WITH_TIMEOUT(item("sbusPitch")->property("currentText").toString(), QStringLiteral("CH2"), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(item("crsfTab")->isVisible(), ProcessWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(itemText("pitchValue") != QLatin1String("--"), ProcessWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(itemText("linkStatusText"), QStringLiteral("已连接 %1 — 固件 1.0.0.60").arg(m_sim.portName()),
                              ProcessWaitMs);
    QVERIFY(item("sbusWrite")->isEnabled());
    QVERIFY(simReceived().contains(QStringLiteral("parameter read")));
    QVERIFY(simReceived().contains(QStringLiteral("version query")));
    VERIFY_NO_QML_WARNINGS();
}

void WindowTest::grabsConnectedWindow_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("crsfTab");
    QTest::addColumn<QString>("attitude");

    QTest::newRow("zh") << "zh" << QStringLiteral("版本号: 1.0.5") << QStringLiteral("CRSF通道配置") << QStringLiteral("就绪");
    QTest::newRow("en") << "en" << "Version: 1.0.5" << "CRSF Channels" << "Ready";
}

void WindowTest::grabsConnectedWindow()
{
    QFETCH(QString, language);
    QFETCH(QString, version);
    QFETCH(QString, crsfTab);
    QFETCH(QString, attitude);

    m_bridge->setLanguage(language);
    QTRY_COMPARE(itemText("versionLabel"), version);
    QTRY_COMPARE(itemText("crsfTab"), crsfTab);
    QTRY_COMPARE(itemText("attitudeText"), attitude);

    QCOMPARE(cutOffButtons(), QStringList());
    saveFrame(QStringLiteral("window-connected-%1.png").arg(language));
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

    m_bridge->setLanguage(language);
    resizeWindow(size);
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

    saveFrame(QStringLiteral("window-%1x%2-%3.png").arg(size.width()).arg(size.height()).arg(language));
    resizeWindow(designWindowSize());
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
        const bool ringAtFocus = rings.size() == 1
            && (rings.first()->parentItem()->isAncestorOf(focused) || focused->isAncestorOf(rings.first()));
        if (!ringAtFocus)
            ringless.append(QStringLiteral("%1 (%2 rings)").arg(describe(focused)).arg(rings.size()));
        order.append(focused);
    }
    return order;
}

void WindowTest::tabReachesEveryControlWithARing()
{
    m_bridge->setLanguage(QStringLiteral("en"));
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

// Key by key into whatever has the focus (QTest types whole texts only into widgets).
void WindowTest::typeText(const QString &text)
{
    for (const QChar character : text)
        QTest::keyClick(window(), character.toLatin1());
}

// Typed above the range, a torque stays as typed, says the range and holds
// the write back: nothing reaches the controller until it is corrected.
void WindowTest::outOfRangeTorqueIsShownAndNotSent()
{
    const int alreadyReceived = simReceived().size();
    QQuickItem *torque = item("pitchTorque");
    const int before = torque->property("value").toInt();
    QQuickItem *field = findItem(torque, QStringLiteral("spinField"));
    scrollIntoView(field);
    click("pitchTorque");
    QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier);
    typeText(QStringLiteral("45000"));
    QTest::keyClick(window(), Qt::Key_Tab);
    QVERIFY(torque->property("invalid").toBool());
    QCOMPARE(torque->property("errorText").toString(), QStringLiteral("Out of range, allowed 1–30000"));
    QCOMPARE(torque->property("value").toInt(), before);
    QVERIFY(!findItem(item("torquePanel"), QStringLiteral("writeButton"))->isEnabled());
    saveFrame(QStringLiteral("window-out-of-range-en.png"));

    QTest::keyClick(window(), Qt::Key_Backtab);
    QVERIFY(field->hasActiveFocus());
    QCOMPARE(shownFocusRings(window()->contentItem()).size(), 1);
    QTest::keyClick(window(), Qt::Key_A, Qt::ControlModifier);
    typeText(QString::number(before));
    QTest::keyClick(window(), Qt::Key_Return);
    QVERIFY(!torque->property("invalid").toBool());
    QVERIFY(findItem(item("torquePanel"), QStringLiteral("writeButton"))->isEnabled());
    QCOMPARE(simReceived().size(), alreadyReceived);
    VERIFY_NO_QML_WARNINGS();
}

void WindowTest::sbusWriteActivatesAndReboots()
{
    const int alreadyReceived = simReceived().size();
    // the operator's choice: roll reversed, everything else as read from the device
    click("sbusRollDir");
    QTest::keyClick(window(), Qt::Key_Up);
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_COMPARE(item("sbusRollDir")->property("currentText").toString(), QStringLiteral("Reversed"));
    QVERIFY(item("sbusRollDir")->property("edited").toBool());
    QCOMPARE(itemText("editCount"), QStringLiteral("1 unsaved"));
    QCOMPARE(cutOffButtons(), QStringList());
    saveQuestionFrames(QStringLiteral("window-discard"), "sbusRead");
    saveQuestionFrames(QStringLiteral("window-confirm"), "sbusWrite");
    QCOMPARE(simReceived().size(), alreadyReceived);
    QVERIFY(item("sbusRollDir")->property("edited").toBool());
    click("sbusWrite");
    // the write restarts the controller: nothing goes out before the operator confirms
    QTRY_VERIFY(item("confirmTitle") && item("confirmTitle")->isVisible());
    QCOMPARE(itemText("confirmTitle"), QStringLiteral("Write and restart the controller?"));
    QCOMPARE(simReceived().size(), alreadyReceived);
    QTest::keyClick(window(), Qt::Key_Return);
    // sent, and waiting for the controller's own values to confirm it
    QVERIFY(item("sbusRollDir")->property("unconfirmed").toBool());
    QCOMPARE(itemText("unconfirmedCount"), QStringLiteral("1 to confirm by Read"));

    const QStringList expected = {
        QStringLiteral("command 0xA0 para 0x00008002 0x00008004 0x00050006 0x00010001"),
        QStringLiteral("command 0x90 para 0x00000000 0x00000000 0x00000000 0x00000000"),
        QStringLiteral("command 0x91 para 0x00000000 0x00000000 0x00000000 0x00000000"),
        QStringLiteral("parameter read"),
    };
    QTRY_COMPARE_WITH_TIMEOUT(simReceived().mid(alreadyReceived, 4), expected, ProcessWaitMs);
    QVERIFY(m_bridge->messageLog().contains(QStringLiteral("SBUS channels written")));
    // the re-read after the restart brought the written value back: settled
    QTRY_VERIFY_WITH_TIMEOUT(!item("sbusRollDir")->property("unconfirmed").toBool(), ProcessWaitMs);
    QVERIFY(!item("sbusRollDir")->property("edited").toBool());
    QCOMPARE(item("sbusRollDir")->property("currentText").toString(), QStringLiteral("Reversed"));
    VERIFY_NO_QML_WARNINGS();
}

void WindowTest::accelCalibrationAdvancesTheFaces()
{
    click("calibButton2");
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("● Place device DOWN"), ProcessWaitMs);
    // its steps are the controller's answer
    QCOMPARE(itemText("calibrationStatus"), QStringLiteral("Done"));
    const QString completed = QStringLiteral("completed");
    const QString pending = QStringLiteral("pending");
    QCOMPARE(facePhases(), (QStringList {completed, completed, QStringLiteral("current"), pending, pending, pending}));
    QCOMPARE(itemText("progressCounter"), QStringLiteral("2/6"));
    for (const char *part : {"caliStatusLabel", "progressCounter", "face1", "face6", "guideCloseButton",
                             "guideActivateButton", "guideRestartButton"})
        QVERIFY2(inCalibrationView(part), part);
    // the picture of the face to place has faded in
    QTRY_COMPARE(findItem(item("face3"), QStringLiteral("picture"))->opacity(), 1.0);
    saveFrame(QStringLiteral("window-calibrating.png"));

    QTRY_COMPARE_WITH_TIMEOUT(itemText("caliStatusLabel"), QStringLiteral("✓ Done! Click Activate → Restart"),
                              ProcessWaitMs);
    QCOMPARE(facePhases(), QVector<QString>(6, completed).toList());
    QCOMPARE(itemText("progressCounter"), QStringLiteral("6/6"));
    QVERIFY(item("guideActivateButton")->isEnabled());
    // the result stays until the operator closes it
    QCOMPARE(itemText("guideCloseButton"), QStringLiteral("Close"));
    click("guideCloseButton");
    QTRY_VERIFY(!shownItem("caliStatusLabel"));
    VERIFY_NO_QML_WARNINGS();
}

void WindowTest::switchOffReleasesThePort()
{
    QVERIFY(!itemText("channelsStatus").isEmpty());
    click("serialSwitch");
    QTRY_VERIFY(!m_bridge->serialOpened());
    // what became of the last write belongs to the connection that is gone
    QCOMPARE(itemText("channelsStatus"), QString());
    QVERIFY(!item("serialSwitch")->property("checked").toBool());
    QVERIFY(item("serialPortCombo")->isEnabled());
    QCOMPARE(itemText("pitchValue"), QStringLiteral("--"));
    QCOMPARE(itemText("attitudeText"), QStringLiteral("N/A"));
    // the last controller's values stay, labelled as such, and cannot be written
    QCOMPARE(itemText("linkStatusText"), QStringLiteral("Not connected"));
    QVERIFY(itemText("valuesNote").startsWith(QStringLiteral("Values read at ")));
    QVERIFY(!item("writeButton")->isEnabled());
    QCOMPARE(cutOffButtons("calScrollView"), QStringList());
    saveFrames(QStringLiteral("window-stale"));
}

void WindowTest::vanishedDeviceTurnsTheSwitchOff()
{
    click("serialSwitch");
    QTRY_VERIFY_WITH_TIMEOUT(m_bridge->serialOpened(), ProcessWaitMs);

    QCOMPARE(m_sim.stop(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!m_bridge->serialOpened(), ProcessWaitMs);
    QVERIFY(!item("serialSwitch")->property("checked").toBool());
    QVERIFY(item("refreshButton")->isEnabled());
    QCOMPARE(itemText("linkStatusText"), QStringLiteral("Port lost: %1").arg(m_sim.portName()));
    saveFrame(QStringLiteral("window-port-lost-en.png"));
    VERIFY_NO_QML_WARNINGS();
}

void WindowTest::silentLineIsNoAnswer()
{
    m_bridge->setLanguage(QStringLiteral("en"));
    PseudoTerminal line;
    QVERIFY(line.isValid());
    openPort(line.slaveName());
    QCOMPARE(itemText("linkStatusText"), QStringLiteral("Connecting to %1…").arg(line.slaveName()));
    QTRY_COMPARE(itemText("linkStatusText"), QStringLiteral("No answer from the controller on %1").arg(line.slaveName()));
    QVERIFY(!item("writeButton")->isEnabled());
    saveFrames(QStringLiteral("window-no-answer"));
    click("serialSwitch");
    QTRY_VERIFY(!m_bridge->serialOpened());
    VERIFY_NO_QML_WARNINGS();
}

// Heartbeats stop while the port stays open, and come back. They stop four seconds after the simulator's
// start, long after it reports ready even on a busy machine.
void WindowTest::heartbeatsStopAndComeBack()
{
    m_bridge->setLanguage(QStringLiteral("en"));
    SimProcess pausing({QStringLiteral("--fault-heartbeat-gap"), QStringLiteral("4000:3000")});
    QVERIFY(pausing.start());
    openPort(pausing.portName());
    QTRY_COMPARE_WITH_TIMEOUT(itemText("attitudeText"), QStringLiteral("Ready"), ProcessWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(itemText("linkStatusText"),
                              QStringLiteral("Link lost: no heartbeat on %1").arg(pausing.portName()), ProcessWaitMs);
    QVERIFY(m_bridge->serialOpened());
    for (const char *status : {"attitudeText", "jointText", "voltageText", "imuText", "motorText"})
        QCOMPARE(itemText(status), QStringLiteral("No data"));
    QCOMPARE(item("attitudeDot")->property("color").value<QColor>(), item("motorDot")->property("color").value<QColor>());
    saveFrames(QStringLiteral("window-link-lost"));

    QTRY_VERIFY_WITH_TIMEOUT(itemText("linkStatusText").startsWith(QStringLiteral("Connected to %1").arg(pausing.portName())),
                             ProcessWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(itemText("attitudeText"), QStringLiteral("Ready"), ProcessWaitMs);
    click("serialSwitch");
    QTRY_VERIFY(!m_bridge->serialOpened());
    VERIFY_NO_QML_WARNINGS();
}

void WindowTest::upgradeLocksOutEveryOtherAction()
{
    m_bridge->setLanguage(QStringLiteral("en"));
    const QString path = m_files.filePath(QStringLiteral("tavox-fw.bin"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(firmwareImage(48 * 1024)) == 48 * 1024);
    file.close();
    m_bridge->setUpgradeFileChooser([path](const QString &, const QString &, const QString &) { return path; });
    // A controller that stops answering mid-transfer, and a watchdog that gives it minutes, keep the upgrade
    // under way for as long as the test needs it, however busy the machine.
    SimProcess stalling({QStringLiteral("--fault-silent-after"), QStringLiteral("100")});
    QVERIFY(stalling.start());
    m_bridge->setUpgradeReplyTimeouts({30000, 10000, 600000});
    openPort(stalling.portName());
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);

    click("browseButton");
    QTRY_COMPARE(itemText("fileInfo"), QStringLiteral("tavox-fw.bin  ·  49152 bytes"));
    QCOMPARE(itemText("progressText"), QStringLiteral("0%"));
    click("startButton");
    QTRY_VERIFY(shownItem("confirmText"));
    // The question names the firmware of this link once the paced controller has reported it.
    const auto question = [this] { return shownItem("confirmText")->property("text").toString(); };
    QTRY_VERIFY2(question().contains(QStringLiteral("Firmware now: 1.0.0.60")), qPrintable(question()));
    QVERIFY2(question().contains(QStringLiteral("tavox-fw.bin (49152 bytes)")), qPrintable(question()));
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_VERIFY(m_bridge->tavoxUpgrading());
    QTRY_VERIFY_WITH_TIMEOUT(itemText("phaseText").startsWith(QStringLiteral("Writing ")), ProcessWaitMs);

    QCOMPARE(enabledDeviceActions(), QStringList());
    QVERIFY(!item("browseButton")->isEnabled());
    QCOMPARE(cutOffButtons("calScrollView"), QStringList());
    saveFrames(QStringLiteral("window-upgrading"));

    // the switch asks first; Escape keeps the port and the upgrade
    click("serialSwitch");
    QTRY_VERIFY(shownItem("confirmText"));
    QCOMPARE(shownItem("confirmText")->property("text").toString(), QStringLiteral("Closing the port aborts the upgrade."));
    QTest::keyClick(window(), Qt::Key_Escape);
    QTRY_VERIFY(!shownItem("confirmText"));
    QVERIFY(m_bridge->serialOpened() && m_bridge->tavoxUpgrading());
    QVERIFY(item("serialSwitch")->property("checked").toBool());

    click("serialSwitch");
    QTRY_VERIFY(shownItem("confirmText"));
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_VERIFY(!m_bridge->serialOpened());
    QTRY_VERIFY(item("resultBanner")->isVisible());
    QVERIFY2(itemText("resultText").startsWith(QStringLiteral("Upgrade aborted: serial port closed")), qPrintable(itemText("resultText")));
    QVERIFY(!item("serialSwitch")->property("checked").toBool());
    QCOMPARE(cutOffButtons("calScrollView"), QStringList());
    saveFrames(QStringLiteral("window-upgrade-failed"));
    m_bridge->setUpgradeReplyTimeouts({});
    // the result stays until the next upgrade
    QVERIFY(m_paced.start());
    openPort(m_paced.portName());
    QTRY_VERIFY_WITH_TIMEOUT(item("writeButton")->isEnabled(), ProcessWaitMs);
    QVERIFY(item("resultBanner")->isVisible());
    VERIFY_NO_QML_WARNINGS();
}

void WindowTest::upgradeSucceeds()
{
    m_bridge->setLanguage(QStringLiteral("en"));
    click("startButton");
    QTRY_VERIFY(shownItem("confirmText"));
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_VERIFY(m_bridge->tavoxUpgrading());
    QVERIFY(!item("resultBanner")->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(item("resultBanner")->isVisible(), 2 * ProcessWaitMs);
    QCOMPARE(itemText("resultText"), QStringLiteral("Upgrade succeeded; the controller is restarting"));
    QCOMPARE(upgradeMonitor()->property("progress").toInt(), 100);
    QCOMPARE(cutOffButtons("calScrollView"), QStringList());
    saveFrames(QStringLiteral("window-upgrade-succeeded"));

    // another file starts from nothing
    click("browseButton");
    QTRY_VERIFY(!item("resultBanner")->isVisible());
    QVERIFY(item("progressRow")->isVisible());
    QCOMPARE(itemText("progressText"), QStringLiteral("0%"));
    VERIFY_NO_QML_WARNINGS();
}

QTEST_MAIN(WindowTest)

#include "tst_window.moc"
