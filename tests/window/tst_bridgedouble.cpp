// What the window's QML tests use of the bridge double is the real bridge's: each property with its type and
// change signal, each signal and invokable with its parameters' types and names.
#include "bridge/AppBridge.h"
#include "support/FakeBridge.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QtTest>

namespace {
// A property with the change signal it has on the real bridge (where it may be constant).
QString described(const QMetaProperty &property, const QMetaProperty &onTheBridge)
{
    return QStringLiteral("%1 %2 %3").arg(QString::fromLatin1(property.typeName()), QString::fromLatin1(property.name()),
                                          onTheBridge.hasNotifySignal() ? QString::fromLatin1(property.notifySignal().name())
                                                                        : QString());
}

QString described(const QMetaMethod &method)
{
    return QStringLiteral("%1 %2 %3").arg(QString::fromLatin1(method.typeName()),
                                          QString::fromLatin1(method.methodSignature()),
                                          QString::fromLatin1(method.parameterNames().join(' ')));
}
}

class TestBridgeDouble : public QObject
{
    Q_OBJECT

private slots:
    void offersTheRealBridgesSurface();
};

void TestBridgeDouble::offersTheRealBridgesSurface()
{
    const QMetaObject &real = AppBridge::staticMetaObject;
    const QMetaObject &fake = FakeBridge::staticMetaObject;
    QStringList doubleOnly;
    for (int i = fake.propertyOffset(); i < fake.propertyCount(); ++i) {
        const QMetaProperty property = fake.property(i);
        const int index = real.indexOfProperty(property.name());
        if (index < 0)
            doubleOnly << QString::fromLatin1(property.name());
        else
            QCOMPARE(described(property, real.property(index)), described(real.property(index), real.property(index)));
    }
    for (int i = fake.methodOffset(); i < fake.methodCount(); ++i) {
        const QMetaMethod method = fake.method(i);
        const int index = real.indexOfMethod(method.methodSignature());
        if (index < 0)
            doubleOnly << QString::fromLatin1(method.methodSignature());
        else
            QCOMPARE(described(method), described(real.method(index)));
    }
    // The double's own controls, and a change signal for the version the bridge holds constant.
    QCOMPARE(doubleOnly, (QStringList {"openSerialResult", "appVersionChanged()", "openSerialResultChanged()",
                                       "callNames()", "lastArgs(QString)", "reset()"}));
}

QTEST_GUILESS_MAIN(TestBridgeDouble)
#include "tst_bridgedouble.moc"
