#pragma once

#include "window/MotorDevice.h"

#include <QObject>
#include <QPointer>

class AppBridge;

// The motor service commands as the operator gives them. A test torque runs
// only while it is held: hold() starts it and remembers the motor, release()
// clears it once. It is cleared too when another motor is held, before any
// other motor command, when the program ends and when this object goes. A
// controller behind a UART cannot tell that its USB adapter was pulled or the
// port closed, and keeps the torque: a hold the link ends under is released
// here at once, and its clear is owed to the controller until a port opens
// again, when it goes out before anything else. Holding needs the operator's
// confirmation, given once for the program's run.
class MotorService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(MotorDevice *device              READ device              WRITE setDevice NOTIFY deviceChanged)
    Q_PROPERTY(int          holding             READ holding             NOTIFY holdingChanged)
    Q_PROPERTY(bool         torqueTestConfirmed READ torqueTestConfirmed NOTIFY torqueTestConfirmedChanged)

public:
    enum Motor { NoMotor = -1, Outer, Middle, Inner };
    Q_ENUM(Motor)
    enum Direction { Forward = MotorDevice::ForwardTorque, Reverse = MotorDevice::ReverseTorque };
    Q_ENUM(Direction)
    static constexpr int MotorCount = 3;

    explicit MotorService(QObject *parent = nullptr);
    ~MotorService() override;

    static MotorService *overBridge(AppBridge &bridge, QObject *parent);

    MotorDevice *device() const { return m_device; }
    void setDevice(MotorDevice *device);
    // The motor under a test torque, or NoMotor.
    int holding() const { return m_holding; }
    bool torqueTestConfirmed() const { return m_torqueTestConfirmed; }

    // The operator has been told that a motor will turn, and goes on.
    Q_INVOKABLE void confirmTorqueTest();
    // Starts a test torque on `motor`; false, and nothing sent, before the
    // confirmation, for an unknown motor or direction, or with no port open.
    Q_INVOKABLE bool hold(int motor, int direction);
    Q_INVOKABLE void release();
    Q_INVOKABLE void calibrateHall(int motor);
    Q_INVOKABLE void calibrateElecAngle(int motor, bool start);
    Q_INVOKABLE void useHallData(bool user);
    Q_INVOKABLE void calibrateLinearity();
    Q_INVOKABLE void updateGyroBias();

signals:
    void deviceChanged();
    void holdingChanged();
    void torqueTestConfirmedChanged();

private:
    static bool isMotor(int motor) { return motor >= 0 && motor < MotorCount; }
    void setHolding(int motor, int direction);
    void onLinkOpenChanged();
    void oweClear(int motor);
    void sendOwedClear();
    void releaseBeforeExit();

    QPointer<MotorDevice> m_device;
    int m_holding = NoMotor;
    int m_clearOwedTo = NoMotor;
    int m_direction = Forward;
    bool m_torqueTestConfirmed = false;
};
