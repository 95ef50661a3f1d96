#pragma once

#include <QColor>
#include <QImage>
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
    // The plot paints every pixel of its area, so nothing beneath it is drawn.
    Q_PROPERTY(QColor backgroundColor READ fillColor WRITE setFillColor NOTIFY styleChanged)

public:
    explicit TelemetryPlot(QQuickItem *parent = nullptr);

    TelemetryHistory *history() const { return m_history; }
    void setHistory(TelemetryHistory *history);
    // Where the plot's area lies within the item (for the cursor's read-out).
    Q_INVOKABLE double plotLeft() const;
    Q_INVOKABLE double plotWidth() const;

    void paint(QPainter *painter) override;

signals:
    void historyChanged();
    void styleChanged();
    void scaleChanged();

private:
    void onUpdated();
    void updateScale();
    QRectF plotArea() const;
    void paintGrid(QPainter *painter, const QRectF &area) const;
    // The grid and its labels change only with the size, the scale or the
    // look; they are painted once into an image and copied for each frame.
    const QImage &gridImage();
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
    QImage m_grid;
    bool m_gridStale = true;
};
