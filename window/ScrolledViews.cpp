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
    }
}

qreal scrollBy(QQuickItem *view, qreal distance)
{
    const qreal before = number(view, "contentY");
    moveTo(view, before + distance);
    return number(view, "contentY") - before;
}

} // namespace ScrolledViews
