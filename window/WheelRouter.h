#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickWindow>

class QQuickItem;
class QWheelEvent;

// The wheel scrolls what is under the pointer, wherever the pointer is: the
// innermost scrolled view there that can still move that way (the message
// log, a panel's column), and once that one is at its end, the view around
// it (the page). An item under the pointer whose `takesWheel` property is true
// (a number field with the keyboard focus) gets the wheel itself, and so does
// everything over no view that can move. In QML: WheelRouter { window: win }
class WheelRouter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QQuickWindow *window READ window WRITE setWindow NOTIFY windowChanged)

public:
    explicit WheelRouter(QObject *parent = nullptr);

    QQuickWindow *window() const { return m_window; }
    void setWindow(QQuickWindow *window);

signals:
    void windowChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool scrollUnder(const QWheelEvent &wheel);

    QPointer<QQuickWindow> m_window;
};
