#pragma once

#include <QString>

// Why the system refused to open a port: carried out of the open so that the
// window's log and tavoxctl tell the operator the same reason in either
// language. A null refusal belongs to a port that opened.
class PortRefusal
{
public:
    enum class Kind { None, InUse, PermissionDenied, NoSuchDevice, NotSerial, SystemError };

    PortRefusal() = default;
    // `holder` names the program that has the port ("tavoxctl (pid 4242)"), or
    // is empty when it cannot be found.
    static PortRefusal inUse(const QString &holder);
    // `group` is the group whose members may open the device; empty when
    // joining a group would not help.
    static PortRefusal permissionDenied(const QString &group);
    static PortRefusal noSuchDevice();
    // The path is there, but it is no terminal line: a file, a folder, a pipe, /dev/null.
    static PortRefusal notSerial();
    // Any other failure, as the system words it.
    static PortRefusal systemError(const QString &text);

    Kind kind() const { return m_kind; }
    // The holder, the group or the system's text, as the kind has one.
    QString detail() const { return m_detail; }
    bool isNull() const { return m_kind == Kind::None; }

    QString zh() const;
    QString en() const;

private:
    PortRefusal(Kind kind, const QString &detail) : m_kind(kind), m_detail(detail) {}
    QString withDetail(const QString &reason) const;

    Kind m_kind = Kind::None;
    QString m_detail;
};
