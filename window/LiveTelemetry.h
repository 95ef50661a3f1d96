#pragma once

#include <QMetaProperty>
#include <QQmlPropertyMap>
#include <QVector>

class DisplayRhythm;

// The heartbeat's values as the window shows them: the same names as the
// bridge's hb* properties, each with its own change signal, brought up to date
// when the window's `DisplayRhythm` says so and only where a value really
// changed. The bridge announces every heartbeat with one signal for all its
// values, so a binding on it would re-run at the controller's rate even for a
// value that has not moved; bindings on this map re-run only for what moved.
//
// `source` is any object with those properties: the bridge, or a test's double.
class LiveTelemetry : public QQmlPropertyMap
{
    Q_OBJECT

public:
    LiveTelemetry(QObject &source, DisplayRhythm &rhythm, QObject *parent = nullptr);

    // How many times the map has been brought up to date (for measurements).
    int publications() const { return m_publications; }

private:
    void publish();

    struct LiveValue
    {
        QString key;
        QMetaProperty property;
    };

    QObject &m_source;
    QVector<LiveValue> m_values;
    int m_publications = 0;
};
