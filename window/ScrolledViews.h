#pragma once

#include <QList>

class QQuickItem;

// The scrolled views of a window (Flickable, ListView, the Flickable inside a
// ScrollView) as the keyboard and the wheel move them: each only as far as
// its content goes.
namespace ScrolledViews {

// The views that hold `item`, innermost first.
QList<QQuickItem *> around(const QQuickItem *item);

// Scrolls the views around `item`, innermost first, just far enough to show
// the item with `margin` above and below it; an item taller than a view shows
// its top. A content wider than its view moves sideways too.
void reveal(QQuickItem *item, qreal margin);

// Moves `view` by up to `distance` pixels (positive: further down the
// content); returns how far it moved, 0 at the end it was moved towards.
qreal scrollBy(QQuickItem *view, qreal distance);

} // namespace ScrolledViews
