#pragma once

#include <QElapsedTimer>
#include <QMetaProperty>
#include <QQmlPropertyMap>
#include <QTimer>
#include <QVector>

// The heartbeat's values as the window shows them: the same names as the
// bridge's hb* properties, each with its own change signal, published at most
// `MaxUpdatesPerSecond` times a second and only when the value really changed.
// The bridge announces every heartbeat with one signal for all its values, so
// a binding on it would re-run at the controller's rate even for a value that
// has not moved; bindings on this map re-run only for what moved.
//
// `source` is any object with those properties and a heartbeatChanged() signal.
class LiveTelemetry : public QQmlPropertyMap
{
    Q_OBJECT

public:
    static constexpr int MaxUpdatesPerSecond = 10;

    explicit LiveTelemetry(QObject &source, QObject *parent = nullptr);

    // How many times the map has been brought up to date (for measurements).
    int publications() const { return m_publications; }

private slots:
    void onHeartbeat();

private:
    void publish();

    struct LiveValue
    {
        QString key;
        QMetaProperty property;
    };

    QObject &m_source;
    QVector<LiveValue> m_values;
    QTimer m_pending;
    QElapsedTimer m_sinceLastPublication;
    int m_publications = 0;
};
