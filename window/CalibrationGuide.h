#pragma once

#include "device/TextPair.h"
#include "window/CalibrationDevice.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <optional>

class AppBridge;

// The six-face accelerometer calibration as the operator is guided through
// it: started here, it follows the controller's progress reports face by
// face, says so when the controller falls silent, and keeps the result until
// the operator closes it. The controller has no command that stops a
// calibration, so cancelling only ends the guide: later reports of that run
// are not followed, and the log says so. A run the link ends under is
// interrupted: the guide stays, showing the face it reached, until the
// operator retries or closes it, and the controller's later reports of that
// run, which went on without the operator, are not followed either. When a
// cancelled or interrupted run still ends in the controller's success report,
// the guide says whose result that is.
class CalibrationGuide : public QObject
{
    Q_OBJECT
    Q_PROPERTY(CalibrationDevice *source READ source WRITE setSource    NOTIFY sourceChanged)
    Q_PROPERTY(int      timeoutMs   READ timeoutMs   WRITE setTimeoutMs NOTIFY timeoutMsChanged)
    Q_PROPERTY(State    state       READ state       NOTIFY changed)
    Q_PROPERTY(bool     active      READ active      NOTIFY changed)
    Q_PROPERTY(bool     running     READ running     NOTIFY changed)
    Q_PROPERTY(int      step        READ step        NOTIFY changed)
    Q_PROPERTY(int      doneCount   READ doneCount   NOTIFY changed)
    Q_PROPERTY(QString  instruction READ instruction NOTIFY changed)
    Q_PROPERTY(QString  interruption READ interruption NOTIFY changed)

public:
    // Placing: the operator is to place the face `step` (1 to 6) up.
    enum State { Idle, Waiting, Placing, Computing, Succeeded, TimedOut, Interrupted };
    Q_ENUM(State)

    // The controller reports a step every few seconds; this much silence means it has stopped.
    static constexpr int DefaultTimeoutMs = 10000;
    static constexpr int FaceCount = 6;
    static constexpr int ComputingStep = 7;
    static constexpr int SucceededStep = 8;

    explicit CalibrationGuide(QObject *parent = nullptr);

    // A guide over the bridge, whose log receives the guide's messages.
    static CalibrationGuide *overBridge(AppBridge &bridge, QObject *parent);

    CalibrationDevice *source() const { return m_source; }
    void setSource(CalibrationDevice *source);
    int timeoutMs() const { return m_timeout.interval(); }
    void setTimeoutMs(int ms);

    State state() const { return m_state; }
    bool active() const { return m_state != Idle; }
    bool running() const { return m_state == Waiting || m_state == Placing || m_state == Computing; }
    // The last step the controller reported in this run: -1 none yet, 1 to 6 the face, 7 computing, 8 done.
    int step() const { return m_step; }
    int doneCount() const;
    QString instruction() const;
    // Where the link ended the last run started here, from then until the next
    // start, closed or not; empty when it did not.
    QString interruption() const;
    // The controller's calibration reports belong to a run the operator
    // cancelled or the link interrupted: from then until the next start.
    bool reportsCancelledRun() const { return m_unfollowedRunGoesOn; }

    // Asks the controller to calibrate and follows it from the first face. With
    // no port open the bridge refuses (and says why) and the guide stays idle.
    Q_INVOKABLE bool start();
    // After a silence or an interruption: asks again from the first face.
    Q_INVOKABLE bool retry() { return start(); }
    // Ends the guide: a run still under way is cancelled, a finished or interrupted one dismissed.
    Q_INVOKABLE void close();

signals:
    void sourceChanged();
    void timeoutMsChanged();
    void changed();
    // A line for the message log, in the current language.
    void logMessage(const QString &text);

private:
    void onProgress();
    void onOpenedChanged();
    void onTimeout();
    void interrupt();
    void stopFollowing();
    void noteUnfollowedRunFinished();
    QString localized(const QString &zh, const QString &en) const;
    QString faceInstruction() const;
    TextPair whereInterrupted() const;
    bool sourceOpened() const;
    bool underWay() const { return running() || m_state == TimedOut; }
    void setState(State state);
    enum Applied { NotApplied, Activated, Restarted };
    QString resultInstruction() const;
    void noteApplied(Applied step);

    QPointer<CalibrationDevice> m_source;
    State m_state = Idle;
    int m_step = -1;
    // The step the last run had reached when the link ended under it.
    std::optional<int> m_interruptedAt;
    bool m_unfollowedRunGoesOn = false;
    bool m_unfollowedRunFinished = false;
    Applied m_applied = NotApplied;
    QTimer m_timeout;
};
