#include "window/ScrolledViews.h"

#include <QQuickItem>
#include <QtMath>

namespace {
bool isView(const QQuickItem *item)
{
    return item->inherits("QQuickFlickable");
}

qreal number(const QQuickItem *view, const char *name)
{
    return view->property(name).toReal();
}

// contentY runs from the top of the content (less the top margin) to where
// its bottom (with the bottom margin) meets the bottom of the view.
qreal topmost(const QQuickItem *view)
{
    return number(view, "originY") - number(view, "topMargin");
}

qreal lowest(const QQuickItem *view)
{
    const qreal bottom = number(view, "originY") + number(view, "contentHeight") + number(view, "bottomMargin");
    return qMax(topmost(view), bottom - view->height());
}

void moveTo(QQuickItem *view, qreal contentY)
{
    view->setProperty("contentY", qBound(topmost(view), contentY, lowest(view)));
}

// Sideways only as far as a content wider than its view goes (the whole
// window's, zoomed on a narrow screen).
void moveSidewaysTo(QQuickItem *view, qreal contentX)
{
    const qreal leftmost = number(view, "originX");
    const qreal rightmost = qMax(leftmost, leftmost + number(view, "contentWidth") - view->width());
    view->setProperty("contentX", qBound(leftmost, contentX, rightmost));
}

void revealSideways(QQuickItem *view, const QRectF &bounds)
{
    const qreal shownLeft = number(view, "contentX");
    if (bounds.left() < 0 || bounds.width() > view->width())
        moveSidewaysTo(view, shownLeft + bounds.left());
    else if (bounds.right() > view->width())
        moveSidewaysTo(view, shownLeft + bounds.right() - view->width());
}
}

namespace ScrolledViews {

QList<QQuickItem *> around(const QQuickItem *item)
{
    QList<QQuickItem *> views;
    for (QQuickItem *ancestor = item ? item->parentItem() : nullptr; ancestor; ancestor = ancestor->parentItem()) {
        if (isView(ancestor))
            views.append(ancestor);
    }
    return views;
}

void reveal(QQuickItem *item, qreal margin)
{
    for (QQuickItem *view : around(item)) {
        const QRectF bounds = item->mapRectToItem(view, QRectF(0, 0, item->width(), item->height()))
                                  .adjusted(0, -margin, 0, margin);
        const qreal shownTop = number(view, "contentY");
        if (bounds.top() < 0 || bounds.height() > view->height())
            moveTo(view, shownTop + bounds.top());
        else if (bounds.bottom() > view->height())
            moveTo(view, shownTop + bounds.bottom() - view->height());
        revealSideways(view, bounds);
    }
}

qreal scrollBy(QQuickItem *view, qreal distance)
{
    const qreal before = number(view, "contentY");
    moveTo(view, before + distance);
    return number(view, "contentY") - before;
}

} // namespace ScrolledViews
