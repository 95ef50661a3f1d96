#include "window/WheelRouter.h"

#include "window/ScrolledViews.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStyleHints>
#include <QWheelEvent>

#include <algorithm>

namespace {
// A notch of the wheel (120 units) moves as many lines as the desktop asks, of this height.
const qreal LineHeight = 20;
const qreal UnitsPerNotch = 120;

bool shows(const QQuickItem *item, const QPointF &scenePoint)
{
    return item->isVisible() && item->isEnabled() && item->contains(item->mapFromScene(scenePoint));
}

// The visible children of `parent`, the one drawn on top first: the higher
// z, and of two alike the later.
QList<QQuickItem *> topFirst(const QQuickItem *parent)
{
    QList<QQuickItem *> children;
    const QList<QQuickItem *> all = parent->childItems();
    for (auto child = all.crbegin(); child != all.crend(); ++child) {
        if ((*child)->isVisible())
            children.append(*child);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](const QQuickItem *a, const QQuickItem *b) { return a->z() > b->z(); });
    return children;
}

// The topmost item at the point, as the eye sees it, and nothing a clipping
// parent hides. `parent` itself counts only when `parentCounts`.
QQuickItem *itemAt(QQuickItem *parent, const QPointF &scenePoint, bool parentCounts)
{
    if (parent->clip() && !parent->contains(parent->mapFromScene(scenePoint)))
        return nullptr;
    for (QQuickItem *child : topFirst(parent)) {
        if (QQuickItem *found = itemAt(child, scenePoint, true))
            return found;
    }
    return parentCounts && shows(parent, scenePoint) ? parent : nullptr;
}

// The layers of the window (its content, the popups' overlay) are glass: the
// overlay covers the window whenever it holds a popup, open or not.
QQuickItem *itemAt(const QQuickWindow &window, const QPointF &scenePoint)
{
    for (QQuickItem *layer : topFirst(window.contentItem())) {
        if (QQuickItem *found = itemAt(layer, scenePoint, false))
            return found;
    }
    return nullptr;
}

bool takesWheel(const QQuickItem *item)
{
    for (; item; item = item->parentItem()) {
        if (item->property("takesWheel").toBool())
            return true;
    }
    return false;
}

// Pixels down the content: a touchpad says how far, a wheel how many notches.
qreal distanceOf(const QWheelEvent &wheel)
{
    if (!wheel.pixelDelta().isNull())
        return -wheel.pixelDelta().y();
    return -wheel.angleDelta().y() / UnitsPerNotch * QGuiApplication::styleHints()->wheelScrollLines() * LineHeight;
}
}

WheelRouter::WheelRouter(QObject *parent)
    : QObject(parent)
{
}

void WheelRouter::setWindow(QQuickWindow *window)
{
    if (window == m_window)
        return;
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    if (m_window)
        m_window->installEventFilter(this);
    emit windowChanged();
}

bool WheelRouter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Wheel)
        return scrollUnder(*static_cast<QWheelEvent *>(event));
    return QObject::eventFilter(watched, event);
}

// True when a view took the wheel; otherwise it goes on to the items as usual.
bool WheelRouter::scrollUnder(const QWheelEvent &wheel)
{
    const qreal distance = distanceOf(wheel);
    if (distance == 0 || wheel.modifiers() != Qt::NoModifier)
        return false;
    QQuickItem *under = itemAt(*m_window, wheel.position());
    if (!under || takesWheel(under))
        return false;
    QList<QQuickItem *> views = ScrolledViews::around(under);
    if (under->inherits("QQuickFlickable"))
        views.prepend(under);
    for (QQuickItem *view : qAsConst(views)) {
        if (ScrolledViews::scrollBy(view, distance) != 0)
            return true;
    }
    return false;
}
