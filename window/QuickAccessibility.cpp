#include "window/QuickAccessibility.h"

#include <QAccessible>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <private/qaccessiblequickitem_p.h>
#include <private/qquickitem_p.h>

namespace {

class QuickItemAccessible : public QAccessibleQuickItem
{
public:
    using QAccessibleQuickItem::QAccessibleQuickItem;

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleQuickItem::state();
        if (!item()->isEnabled()) {
            state.disabled = true;
            state.focusable = false;
        }
        return state;
    }

    // Qt reads a value's bounds and step only under its Qt Quick 1 names;
    // Qt Quick Controls 2 and the window's own controls use these.
    QVariant minimumValue() const override { return valueProperty("minimumValue", "from"); }
    QVariant maximumValue() const override { return valueProperty("maximumValue", "to"); }
    QVariant minimumStepSize() const override { return valueProperty("stepSize", "step"); }

    // Qt lists an action twice when QML handles one its role already has.
    QStringList actionNames() const override
    {
        QStringList names = QAccessibleQuickItem::actionNames();
        names.removeDuplicates();
        return names;
    }

    void doAction(const QString &actionName) override
    {
        if (item()->isEnabled())
            QAccessibleQuickItem::doAction(actionName);
    }

protected:
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        // Qt gives a progress bar no value at all.
        if (type == QAccessible::ValueInterface && role() == QAccessible::ProgressBar)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleQuickItem::interface_cast(type);
    }

private:
    QVariant valueProperty(const char *qtName, const char *controlsName) const
    {
        const QVariant value = item()->property(qtName);
        return value.isValid() ? value : item()->property(controlsName);
    }
};

}

QAccessibleInterface *quickAccessibleFactory(const QString &className, QObject *object)
{
    Q_UNUSED(className)
    auto *item = qobject_cast<QQuickItem *>(object);
    // Items nobody made accessible stay out of the tree, as Qt Quick keeps them.
    if (!item || !QQuickItemPrivate::get(item)->isAccessible)
        return nullptr;
    return new QuickItemAccessible(item);
}

void installQuickAccessibility(QQmlEngine &engine)
{
    // Qt Quick installs its own factory when a document first imports it, and
    // the factory installed last is asked first: import it, then install ours.
    QQmlComponent importer(&engine);
    importer.setData("import QtQuick 2.12\nQtObject {}", QUrl());
    QAccessible::removeFactory(quickAccessibleFactory);
    QAccessible::installFactory(quickAccessibleFactory);
}
