#pragma once

#include <QColor>
#include <QPointer>
#include <QQuickPaintedItem>

class TelemetryHistory;

// Pitch, roll and yaw of a TelemetryHistory as three traces over its window,
// newest on the right, with a scale that takes in every visible value. Painted
// with QPainter into the item's image, which Qt Quick's software renderer
// draws as it is; repainted only when the history announces an update and
// the item is visible.
class TelemetryPlot : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(TelemetryHistory *history READ history WRITE setHistory NOTIFY historyChanged)
    Q_PROPERTY(QColor pitchColor MEMBER m_pitchColor NOTIFY styleChanged)
    Q_PROPERTY(QColor rollColor MEMBER m_rollColor NOTIFY styleChanged)
    Q_PROPERTY(QColor yawColor MEMBER m_yawColor NOTIFY styleChanged)
    Q_PROPERTY(QColor gridColor MEMBER m_gridColor NOTIFY styleChanged)
    Q_PROPERTY(QColor textColor MEMBER m_textColor NOTIFY styleChanged)
    Q_PROPERTY(qreal fontPixelSize MEMBER m_fontPixelSize NOTIFY styleChanged)
    // The scale in use, for the values under the cursor.
    Q_PROPERTY(double minimumValue READ minimumValue NOTIFY scaleChanged)
    Q_PROPERTY(double maximumValue READ maximumValue NOTIFY scaleChanged)

public:
    explicit TelemetryPlot(QQuickItem *parent = nullptr);

    TelemetryHistory *history() const { return m_history; }
    void setHistory(TelemetryHistory *history);
    double minimumValue() const { return m_minimum; }
    double maximumValue() const { return m_maximum; }
    // Where the plot's area lies within the item (for the cursor's read-out).
    Q_INVOKABLE double plotLeft() const;
    Q_INVOKABLE double plotWidth() const;

    void paint(QPainter *painter) override;
    int paints() const { return m_paints; }

signals:
    void historyChanged();
    void styleChanged();
    void scaleChanged();

private:
    void onUpdated();
    void updateScale();
    QRectF plotArea() const;
    void paintGrid(QPainter *painter, const QRectF &area) const;
    void paintTrace(QPainter *painter, const QRectF &area, int axis, const QColor &color) const;

    QPointer<TelemetryHistory> m_history;
    QMetaObject::Connection m_connection;
    QColor m_pitchColor;
    QColor m_rollColor;
    QColor m_yawColor;
    QColor m_gridColor;
    QColor m_textColor;
    qreal m_fontPixelSize = 12;
    double m_minimum = -10;
    double m_maximum = 10;
    int m_paints = 0;
};
