#pragma once

#include <QObject>
#include <QString>

// What the calibration guide needs of the controller: whether the link is
// open, the calibration step last reported, the operator's language and the
// request that starts a calibration. The bridge provides it through
// CalibrationGuide::overBridge; the window's tests through their bridge double.
class CalibrationDevice : public QObject
{
    Q_OBJECT

public:
    // The bridge's tavoxSendCalibration number of the accelerometer calibration.
    static constexpr int AccelCalibrationCommand = 2;

    using QObject::QObject;

    virtual bool linkOpen() const = 0;
    // 1 to 6 the face, 7 computing, 8 done; anything else no calibration step.
    virtual int accelCaliState() const = 0;
    virtual QString localized(const QString &zh, const QString &en) const = 0;
    // With no port open the request is refused, and the operator told why.
    virtual void requestAccelCalibration() = 0;
    // Whether the controller's progress reports go into the message log; a
    // device without a log of its own has nothing to leave out.
    virtual void setProgressLogged(bool) {}

signals:
    // Every report of the controller, a repeated one too.
    void accelCaliReported();
    void linkOpenChanged();
    void languageSwitched();
    // The controller acknowledged an Activate, a Restart: what a result needs to be applied.
    void activationAcknowledged();
    void restartAcknowledged();
};
