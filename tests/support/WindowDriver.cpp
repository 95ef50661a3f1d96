#include "support/WindowDriver.h"

#include "app/Config.h"
#include "app/Startup.h"
#include "bridge/AppBridge.h"
#include "support/TestLocale.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

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

bool isFlickable(const QQuickItem *item)
{
    return item->inherits("QQuickFlickable");
}

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
}

WindowDriver::WindowDriver()
    : m_sim({QStringLiteral("--verbose"), QStringLiteral("--accel-step-ms"), QStringLiteral("1000")})
{
}

WindowDriver::~WindowDriver()
{
    stop();
}

void WindowDriver::start()
{
    // No language stored, in a Chinese locale: the window starts in Chinese.
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

void WindowDriver::restart()
{
    m_engine.reset();
    m_bridge.reset();
    load();
}

void WindowDriver::load()
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

void WindowDriver::stop()
{
    m_engine.reset();
    m_bridge.reset();
    if (m_recordingWarnings)
        qInstallMessageHandler(g_previousHandler);
    m_recordingWarnings = false;
    QFile::remove(configFilePath());
}

QQuickWindow *WindowDriver::window() const
{
    const QList<QObject *> roots = m_engine->rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
}

QQuickItem *WindowDriver::item(const char *objectName) const
{
    return findItem(window()->contentItem(), QString::fromLatin1(objectName));
}

QString WindowDriver::itemText(const char *objectName) const
{
    const QQuickItem *found = item(objectName);
    return found ? found->property("text").toString() : QStringLiteral("<missing %1>").arg(objectName);
}

QQuickItem *WindowDriver::shownItem(const char *objectName) const
{
    return findVisibleItem(window()->contentItem(), QString::fromLatin1(objectName));
}

void WindowDriver::click(const char *objectName)
{
    QQuickItem *target = item(objectName);
    QVERIFY2(target && target->isVisible() && target->isEnabled(), objectName);
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

// Key by key into whatever has the focus (QTest types whole texts only into widgets).
void WindowDriver::typeText(const QString &text)
{
    for (const QChar character : text)
        QTest::keyClick(window(), character.toLatin1());
}

void WindowDriver::resizeWindow(const QSize &size)
{
    window()->resize(size);
    QTRY_COMPARE(window()->contentItem()->size(), QSizeF(size));
    QVERIFY(nextFrameDrawn());
}

// Layouts settle before the next frame.
bool WindowDriver::nextFrameDrawn()
{
    QSignalSpy frameSwapped(window(), &QQuickWindow::frameSwapped);
    window()->update();
    return frameSwapped.wait(5000);
}

void WindowDriver::openPort(const QString &portName)
{
    QVERIFY(m_bridge->openSerial(portName, 921600));
    QTRY_VERIFY(item("serialSwitch")->property("checked").toBool());
}

void WindowDriver::saveFrame(const QString &fileName)
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

// The picture in the language shown, then in the other one, named <base>-<language>.png.
void WindowDriver::saveFrames(const QString &baseName)
{
    const QString shown = m_bridge->language();
    const QString other = shown == QLatin1String("zh") ? QStringLiteral("en") : QStringLiteral("zh");
    for (const QString &language : {shown, other}) {
        m_bridge->setLanguage(language);
        saveFrame(QStringLiteral("%1-%2.png").arg(baseName, language));
    }
    m_bridge->setLanguage(shown);
}

// The names of the window's buttons that are not wholly on screen without
// scrolling, leaving out those of a view the test has scrolled on purpose.
QStringList WindowDriver::cutOffButtons(const char *scrolledView)
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

QStringList WindowDriver::qmlWarnings()
{
    return g_qmlWarnings;
}

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

QQuickItem *nearestFlickable(const QQuickItem *item)
{
    for (QQuickItem *ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        if (isFlickable(ancestor))
            return ancestor;
    }
    return nullptr;
}

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
