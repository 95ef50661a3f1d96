import QtQuick 2.12
import "../panels"

// A combo that shows the controller's choice until the operator changes it,
// and then keeps the operator's choice (marked) until it is written and read
// back, or reverted.
TavoxCombo {
    id: combo

    property var edits
    property string field
    // The controller's value as an index into the model.
    property int device
    // The field's name in a parameter file, for its range.
    property string rangeField
    // The controller's value has no entry: shown as the number it is, marked, until the operator picks one.
    readonly property bool outsideRange: !blank && !edited && !unconfirmed && rangeField !== ""
                                         && !paramRanges.contains(rangeField, device)
    readonly property int revision: edits.revision

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }
    // The option's name, as the combo shows it.
    function optionText(index) {
        return Array.isArray(model) && index >= 0 && index < model.length ? model[index] : "—"
    }

    blank: !linkMonitor.valuesKnown
    outsideText: outsideRange ? String(device) : ""
    // The last controller's values stay readable, greyed, until the next read.
    opacity: linkMonitor.valuesKnown && !linkMonitor.valuesLive ? 0.5 : 1
    edited: { revision; return edits.isEdited(field) }
    unconfirmed: { revision; return edits.isUnconfirmed(field) }
    hint: {
        revision
        if (unconfirmed)
            return zhText("已写入，等待读取确认", "Written; a read will confirm it")
        if (outsideRange)
            return zhText("超出 ", "outside ") + paramRanges.minimum(rangeField) + ".." + paramRanges.maximum(rangeField)
        return edited ? zhText("控制器的值: ", "Controller's value: ") + optionText(edits.device(field)) : ""
    }

    onDeviceChanged: edits.setDevice(field, device)
    // Fields register one by one; one not registered yet has nothing to show.
    onRevisionChanged: {
        var shown = edits.shown(field)
        if (shown !== undefined)
            currentIndex = shown
    }
    onActivated: edits.setShown(field, index)
    Component.onCompleted: {
        edits.setDevice(field, device)
        currentIndex = edits.shown(field)
    }
}
