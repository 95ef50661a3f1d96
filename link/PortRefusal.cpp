#include "link/PortRefusal.h"

PortRefusal PortRefusal::inUse(const QString &holder)
{
    return PortRefusal(Kind::InUse, holder);
}

PortRefusal PortRefusal::permissionDenied(const QString &group)
{
    return PortRefusal(Kind::PermissionDenied, group);
}

PortRefusal PortRefusal::noSuchDevice(const QString &path, const QString &localFile)
{
    return PortRefusal(Kind::NoSuchDevice, path, localFile);
}

PortRefusal PortRefusal::notSerial()
{
    return PortRefusal(Kind::NotSerial, QString());
}

PortRefusal PortRefusal::blankName()
{
    return PortRefusal(Kind::BlankName, QString());
}

PortRefusal PortRefusal::staleLock(const QString &path)
{
    return PortRefusal(Kind::StaleLock, path);
}

PortRefusal PortRefusal::exclusiveModeLeft()
{
    return PortRefusal(Kind::ExclusiveMode, QString());
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
        return noSuchDeviceZh();
    case Kind::NotSerial:
        return QStringLiteral("不是串口设备");
    case Kind::BlankName:
        return QStringLiteral("未给出串口名 (名称为空或只有空白)");
    case Kind::StaleLock:
        return QStringLiteral("已结束的程序留下的锁文件 %1 属于其他用户，当前用户无法删除: 请用 sudo rm %1 删除").arg(m_detail);
    case Kind::ExclusiveMode:
        return QStringLiteral("串口仍处于独占模式 (TIOCEXCL)，由已结束的程序留下: 请拔出并重新插入适配器"
                              " (伪终端则需重新启动提供它的程序)");
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
        return noSuchDeviceEn();
    case Kind::NotSerial:
        return QStringLiteral("not a serial device");
    case Kind::BlankName:
        return QStringLiteral("no port name given (the name is empty or blanks alone)");
    case Kind::StaleLock:
        return QStringLiteral("the lock file %1 of a program that has ended belongs to another user, who alone may "
                              "remove it: remove it with sudo rm %1").arg(m_detail);
    case Kind::ExclusiveMode:
        return QStringLiteral("the line is still in exclusive mode (TIOCEXCL), left so by a program that has ended: "
                              "unplug the adapter and plug it in again (for a pseudo-terminal, restart the program "
                              "that serves it)");
    case Kind::SystemError:
        return m_detail;
    }
    return QString();
}

QString PortRefusal::noSuchDeviceZh() const
{
    QString reason = m_detail.isEmpty() ? QStringLiteral("设备不存在") : QStringLiteral("设备 %1 不存在").arg(m_detail);
    if (!m_localFile.isEmpty())
        reason += QStringLiteral(" (当前目录中的文件应写作 %1)").arg(m_localFile);
    return reason;
}

QString PortRefusal::noSuchDeviceEn() const
{
    QString reason = m_detail.isEmpty() ? QStringLiteral("no such device") : QStringLiteral("no such device %1").arg(m_detail);
    if (!m_localFile.isEmpty())
        reason += QStringLiteral(" (%1 names the file in the working folder)").arg(m_localFile);
    return reason;
}

QString PortRefusal::withDetail(const QString &reason) const
{
    return m_detail.isEmpty() ? reason : reason + QStringLiteral(": ") + m_detail;
}
