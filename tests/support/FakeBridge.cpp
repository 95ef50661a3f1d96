#include "support/FakeBridge.h"

#include <QMetaProperty>

FakeBridge::FakeBridge(QObject *parent)
    : CalibrationDevice(parent)
{
    connect(this, &FakeBridge::accelCaliStateChanged, this, &CalibrationDevice::accelCaliReported);
    connect(this, &FakeBridge::serialOpenedChanged, this, &CalibrationDevice::linkOpenChanged);
    connect(this, &FakeBridge::languageChanged, this, &CalibrationDevice::languageSwitched);
}

QString FakeBridge::localized(const QString &zh, const QString &en) const
{
    return m_language == QLatin1String("zh") ? zh : en;
}

void FakeBridge::record(const char *name, const QVariantList &args)
{
    m_calls.append({QString::fromLatin1(name), args});
}

QStringList FakeBridge::callNames() const
{
    QStringList names;
    for (const auto &call : m_calls)
        names.append(call.first);
    return names;
}

QVariant FakeBridge::lastArgs(const QString &name) const
{
    for (auto it = m_calls.crbegin(); it != m_calls.crend(); ++it) {
        if (it->first == name)
            return it->second;
    }
    return QVariant();
}

void FakeBridge::reset()
{
    const FakeBridge initial;
    const QMetaObject *meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        meta->property(i).write(this, meta->property(i).read(&initial));
    m_calls.clear();
}
