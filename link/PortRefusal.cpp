#include "link/PortRefusal.h"

PortRefusal PortRefusal::inUse(const QString &holder)
{
    return PortRefusal(Kind::InUse, holder);
}

PortRefusal PortRefusal::permissionDenied(const QString &group)
{
    return PortRefusal(Kind::PermissionDenied, group);
}

PortRefusal PortRefusal::noSuchDevice()
{
    return PortRefusal(Kind::NoSuchDevice, QString());
}

PortRefusal PortRefusal::notSerial()
{
    return PortRefusal(Kind::NotSerial, QString());
}

PortRefusal PortRefusal::systemError(const QString &text)
{
    // Lower case like the reasons of our own, unless the text opens with an abbreviation.
    QString reason = text;
    if (reason.size() > 1 && reason.at(1).isLower())
        reason[0] = reason.at(0).toLower();
    return PortRefusal(Kind::SystemError, reason);
}

QString PortRefusal::zh() const
{
    switch (m_kind) {
    case Kind::None:
        return QString();
    case Kind::InUse:
        return withDetail(QStringLiteral("被其他程序占用"));
    case Kind::PermissionDenied:
        if (m_detail.isEmpty())
            return QStringLiteral("权限不足");
        return QStringLiteral("权限不足: 请用 sudo usermod -aG %1 $USER 将当前用户加入 %1 组，然后重新登录").arg(m_detail);
    case Kind::NoSuchDevice:
        return QStringLiteral("设备不存在");
    case Kind::NotSerial:
        return QStringLiteral("不是串口设备");
    case Kind::SystemError:
        return m_detail;
    }
    return QString();
}

QString PortRefusal::en() const
{
    switch (m_kind) {
    case Kind::None:
        return QString();
    case Kind::InUse:
        return withDetail(QStringLiteral("in use by another program"));
    case Kind::PermissionDenied:
        if (m_detail.isEmpty())
            return QStringLiteral("permission denied");
        return QStringLiteral("permission denied: add yourself to the group %1 with sudo usermod -aG %1 $USER, "
                              "then log in again").arg(m_detail);
    case Kind::NoSuchDevice:
        return QStringLiteral("no such device");
    case Kind::NotSerial:
        return QStringLiteral("not a serial device");
    case Kind::SystemError:
        return m_detail;
    }
    return QString();
}

QString PortRefusal::withDetail(const QString &reason) const
{
    return m_detail.isEmpty() ? reason : reason + QStringLiteral(": ") + m_detail;
}
