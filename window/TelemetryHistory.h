#pragma once

#include <QElapsedTimer>
#include <QMetaProperty>
#include <QObject>
#include <QVariantMap>
#include <QVector>

class DisplayRhythm;

// Pitch, roll and yaw of the last `WindowSeconds`, one sample per heartbeat,
// in a ring that never grows. Recording costs one copy per heartbeat; the
// `updated` signal that makes a plot repaint comes only while a plot is
// `active`, when the window's `DisplayRhythm` brings the live values up to
// date, so plot and values repaint in the same frame. Paused, the history
// keeps what it has and takes nothing new.
//
// `source` is any object with hbPitch, hbRoll, hbYaw and hbReceived: the
// bridge, or a test's double.
class TelemetryHistory : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool paused READ paused WRITE setPaused NOTIFY pausedChanged)
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)
    Q_PROPERTY(int sampleCount READ sampleCount NOTIFY updated)
    Q_PROPERTY(double windowSeconds READ windowSeconds CONSTANT)

public:
    static constexpr int WindowSeconds = 30;
    // Room for a heartbeat rate of up to 100 Hz over the whole window.
    static constexpr int Capacity = WindowSeconds * 100;

    struct Sample
    {
        qint64 ms = 0;   // on the history's own clock
        float pitch = 0;
        float roll = 0;
        float yaw = 0;
    };

    TelemetryHistory(QObject &source, DisplayRhythm &rhythm, QObject *parent = nullptr);

    bool paused() const { return m_paused; }
    void setPaused(bool paused);
    bool active() const { return m_active; }
    void setActive(bool active);
    double windowSeconds() const { return WindowSeconds; }
    int sampleCount() const { return m_count; }
    // Oldest first; `i` from 0 to sampleCount() - 1.
    const Sample &sample(int i) const { return m_ring[(m_first + i) % Capacity]; }
    // The time the plot's right edge stands for: now, or the moment of pausing.
    qint64 endMs() const;
    // The sample nearest `secondsBeforeEnd` before the right edge:
    // {secondsAgo, pitch, roll, yaw}, or an empty map when none lies within half a second.
    Q_INVOKABLE QVariantMap sampleAt(double secondsBeforeEnd) const;
    Q_INVOKABLE void clear();

    // How many updates have been announced (for measurements and tests).
    int updatesAnnounced() const { return m_updatesAnnounced; }

signals:
    void pausedChanged();
    void activeChanged();
    void updated();

private:
    void record();
    void onDue();
    void append(const Sample &sample);
    void dropOlderThan(qint64 ms);
    void announce();

    QObject &m_source;
    // Looked up once: a heartbeat then reads its values without a name search.
    QMetaProperty m_received;
    QMetaProperty m_pitch;
    QMetaProperty m_roll;
    QMetaProperty m_yaw;
    QVector<Sample> m_ring;
    int m_first = 0;
    int m_count = 0;
    bool m_paused = false;
    bool m_active = false;
    qint64 m_pausedAtMs = 0;
    bool m_unannounced = false;
    QElapsedTimer m_clock;
    int m_updatesAnnounced = 0;
};
