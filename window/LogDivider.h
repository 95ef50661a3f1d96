#pragma once

#include <QObject>

// The boundary between the panels and the message log, where the operator
// put it: the log's height in design pixels, kept in zentaro.cfg for the next
// start. 0 until the boundary was first moved: the window's own height applies.
// Published to QML as logDivider.
class LogDivider : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int logHeight READ logHeight NOTIFY logHeightChanged)

public:
    explicit LogDivider(QObject *parent = nullptr);

    int logHeight() const { return m_logHeight; }

    // Where a drag or a key left the boundary; saved when it moved. A height
    // below one pixel is no height and changes nothing.
    Q_INVOKABLE void keep(int logHeight);

signals:
    void logHeightChanged();

private:
    int m_logHeight = 0;
};
