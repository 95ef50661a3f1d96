#pragma once

#include <QString>

// Why the system refused to open a port, when it says: carried out of the
// open so that the window's log and tavoxctl can tell the operator in either
// language. A null refusal means the system gave no reason worth naming.
class PortRefusal
{
public:
    enum class Kind { None, InUse };

    PortRefusal() = default;
    // `holder` names the program that has the port ("tavoxctl (pid 4242)"), or
    // is empty when it cannot be found.
    static PortRefusal inUse(const QString &holder);

    Kind kind() const { return m_kind; }
    QString holder() const { return m_holder; }
    bool isNull() const { return m_kind == Kind::None; }

    QString zh() const;
    QString en() const;

private:
    PortRefusal(Kind kind, const QString &holder) : m_kind(kind), m_holder(holder) {}
    QString withHolder(const QString &reason) const;

    Kind m_kind = Kind::None;
    QString m_holder;
};
