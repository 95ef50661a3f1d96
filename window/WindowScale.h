#pragma once

#include <QObject>
#include <QSize>
#include <QTimer>

// How large the operator zoomed the window: every size of the layout is drawn
// `scale` times its design size, in steps from 75 % to 200 %. Kept in
// zentaro.cfg for the next start, once the keys come to rest (a save waits
// for the disk, a step must not), and at the latest when it goes. The
// window's minimum size follows the scale within the screen's available area,
// which the window tells it.
// Published to QML as windowScale.
class WindowScale : public QObject
{
    Q_OBJECT
    Q_PROPERTY(qreal scale READ scale NOTIFY scaleChanged)
    Q_PROPERTY(int percent READ percent NOTIFY scaleChanged)
    Q_PROPERTY(bool canZoomIn READ canZoomIn NOTIFY scaleChanged)
    Q_PROPERTY(bool canZoomOut READ canZoomOut NOTIFY scaleChanged)
    Q_PROPERTY(QSize availableArea READ availableArea WRITE setAvailableArea NOTIFY sizesChanged)
    Q_PROPERTY(QSize minimumSize READ minimumSize NOTIFY sizesChanged)
    Q_PROPERTY(bool fillsTheScreen READ fillsTheScreen NOTIFY sizesChanged)

public:
    explicit WindowScale(QObject *parent = nullptr);
    ~WindowScale() override;

    // The stored scale on the nearest step; 1.0 when none is stored or it is
    // not one the steps reach.
    static qreal storedScale();

    qreal scale() const { return m_scale; }
    int percent() const { return qRound(m_scale * 100); }
    bool canZoomIn() const;
    bool canZoomOut() const;
    QSize availableArea() const { return m_availableArea; }
    void setAvailableArea(const QSize &area);
    QSize minimumSize() const;
    // Maximised at start: the area is smaller than the layout drawn at this scale.
    bool fillsTheScreen() const;

    // One step larger or smaller; nothing at the end of the steps.
    Q_INVOKABLE void zoomIn();
    Q_INVOKABLE void zoomOut();
    Q_INVOKABLE void resetZoom();

signals:
    void scaleChanged();
    void sizesChanged();

private:
    void setScale(qreal scale);
    void save();

    qreal m_scale = 1.0;
    QSize m_availableArea;
    QTimer m_saveTimer;
};
