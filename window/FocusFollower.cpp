#include "window/FocusFollower.h"

#include "window/ScrolledViews.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>

namespace {
// Room for the focus ring drawn around a control, and a little air.
const qreal RingMargin = 6;
}

FocusFollower::FocusFollower(QObject *parent)
    : QObject(parent)
{
}

void FocusFollower::setWindow(QQuickWindow *window)
{
    if (window == m_window)
        return;
    disconnect(m_focusChanges);
    m_window = window;
    if (m_window)
        m_focusChanges = connect(m_window, &QQuickWindow::activeFocusItemChanged, this, &FocusFollower::follow);
    emit windowChanged();
}

// A click focuses what is under the pointer: the page stays where the operator is looking.
void FocusFollower::follow()
{
    if (!m_window || QGuiApplication::mouseButtons() != Qt::NoButton)
        return;
    if (QQuickItem *focused = m_window->activeFocusItem())
        ScrolledViews::reveal(focused, RingMargin);
}
