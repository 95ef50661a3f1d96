#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickWindow>

class QQuickItem;

// Keeps the control the keyboard moved to in sight: whenever the focus goes
// to another item of `window` other than by a mouse press, every scrolled
// view around it (a panel's column, the page, the sidebar) scrolls just far
// enough to show it with its focus ring. In QML: FocusFollower { window: win }
class FocusFollower : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QQuickWindow *window READ window WRITE setWindow NOTIFY windowChanged)

public:
    explicit FocusFollower(QObject *parent = nullptr);

    QQuickWindow *window() const { return m_window; }
    void setWindow(QQuickWindow *window);

signals:
    void windowChanged();

private:
    void follow();

    QPointer<QQuickWindow> m_window;
    QMetaObject::Connection m_focusChanges;
};
