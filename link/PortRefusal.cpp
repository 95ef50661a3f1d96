#include "link/PortRefusal.h"

PortRefusal PortRefusal::inUse(const QString &holder)
{
    return PortRefusal(Kind::InUse, holder);
}

QString PortRefusal::zh() const
{
    switch (m_kind) {
    case Kind::None:
        return QString();
    case Kind::InUse:
        return withHolder(QStringLiteral("被其他程序占用"));
    }
    return QString();
}

QString PortRefusal::en() const
{
    switch (m_kind) {
    case Kind::None:
        return QString();
    case Kind::InUse:
        return withHolder(QStringLiteral("in use by another program"));
    }
    return QString();
}

QString PortRefusal::withHolder(const QString &reason) const
{
    return m_holder.isEmpty() ? reason : reason + QStringLiteral(": ") + m_holder;
}
