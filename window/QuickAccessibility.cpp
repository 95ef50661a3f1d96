#include "window/QuickAccessibility.h"

#include <QAccessible>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <private/qaccessiblequickitem_p.h>
#include <private/qquickitem_p.h>

namespace {

class QuickItemAccessible : public QAccessibleQuickItem, public QAccessibleEditableTextInterface
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
        // Qt's AT-SPI bridge calls a read-only field editable as well.
        if (role() == QAccessible::EditableText)
            state.editable = !isReadOnly();
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
        // Qt Widgets' combo boxes open their list by this name; readers ask for it.
        if (role() == QAccessible::ComboBox)
            names << QAccessibleActionInterface::showMenuAction();
        names.removeDuplicates();
        return names;
    }

    void doAction(const QString &actionName) override
    {
        if (!item()->isEnabled())
            return;
        if (actionName == QAccessibleActionInterface::showMenuAction() && role() == QAccessible::ComboBox)
            QMetaObject::invokeMethod(item()->property("popup").value<QObject *>(), "open");
        else
            QAccessibleQuickItem::doAction(actionName);
    }

    // Qt Quick's text fields tell their text but take none; a reader types,
    // deletes and replaces through the field's own editing, as a keyboard would.
    void deleteText(int startOffset, int endOffset) override
    {
        if (acceptsEdits())
            QMetaObject::invokeMethod(item(), "remove", Q_ARG(int, startOffset), Q_ARG(int, endOffset));
    }
    void insertText(int offset, const QString &text) override
    {
        if (acceptsEdits())
            QMetaObject::invokeMethod(item(), "insert", Q_ARG(int, offset), Q_ARG(QString, text));
    }
    void replaceText(int startOffset, int endOffset, const QString &text) override
    {
        deleteText(startOffset, endOffset);
        insertText(startOffset, text);
    }

protected:
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        // Qt gives a progress bar no value at all.
        if (type == QAccessible::ValueInterface && role() == QAccessible::ProgressBar)
            return static_cast<QAccessibleValueInterface *>(this);
        if (type == QAccessible::EditableTextInterface && role() == QAccessible::EditableText)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleQuickItem::interface_cast(type);
    }

private:
    bool isReadOnly() const { return item()->property("readOnly").toBool(); }
    bool acceptsEdits() const { return item()->isEnabled() && !isReadOnly(); }

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
