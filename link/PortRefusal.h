#pragma once

#include <QString>

// Why the system refused to open a port: carried out of the open so that the
// window's log and tavoxctl tell the operator the same reason in either
// language. A null refusal belongs to a port that opened.
class PortRefusal
{
public:
    enum class Kind { None, InUse, PermissionDenied, NoSuchDevice, NotSerial, BlankName, StaleLock, ExclusiveMode,
                      SystemError };

    PortRefusal() = default;
    // `holder` names the program that has the port ("tavoxctl (pid 4242)"), or
    // is empty when it cannot be found.
    static PortRefusal inUse(const QString &holder);
    // `group` is the group whose members may open the device; empty when
    // joining a group would not help.
    static PortRefusal permissionDenied(const QString &group);
    // `path` is the path the name was read as, named where the name alone
    // does not show it (empty otherwise); `localFile` ("./g1") the file of the
    // working folder that a bare name may have been meant for.
    static PortRefusal noSuchDevice(const QString &path = QString(), const QString &localFile = QString());
    // The path is there, but it is no terminal line: a file, a folder, a pipe, /dev/null.
    static PortRefusal notSerial();
    // The name is empty or blanks alone.
    static PortRefusal blankName();
    // A lock file at `path` names a program that has ended, and this user may
    // not remove it (root's, in a folder where only its owner may).
    static PortRefusal staleLock(const QString &path);
    // The line refuses the open as busy while no program holds it: a program
    // that has ended left it in exclusive mode (TIOCEXCL).
    static PortRefusal exclusiveModeLeft();
    // Any other failure, as the system words it.
    static PortRefusal systemError(const QString &text);

    Kind kind() const { return m_kind; }
    // The holder, the group, the path or the system's text, as the kind has one.
    QString detail() const { return m_detail; }
    bool isNull() const { return m_kind == Kind::None; }

    QString zh() const;
    QString en() const;

private:
    PortRefusal(Kind kind, const QString &detail, const QString &localFile = QString())
        : m_kind(kind), m_detail(detail), m_localFile(localFile) {}
    QString withDetail(const QString &reason) const;
    QString noSuchDeviceZh() const;
    QString noSuchDeviceEn() const;

    Kind m_kind = Kind::None;
    QString m_detail;
    QString m_localFile;
};
