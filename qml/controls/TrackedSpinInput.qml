import QtQuick 2.12
import "../panels"

// A spin input that shows the controller's value until the operator changes
// it, and then keeps the operator's value (marked) until it is written and
// read back, or reverted.
TavoxSpinInput {
    id: spin

    property var edits
    property string field
    // The controller's value, as the bridge holds it.
    property int device
    readonly property int revision: edits.revision

    // As the field itself would show it, with the range it takes.
    function valueText(v) { return v === undefined ? "—" : v + " (" + from + "–" + to + ")" }

    blank: !linkMonitor.valuesKnown
    // The last controller's values stay readable, greyed, until the next read.
    opacity: linkMonitor.valuesKnown && !linkMonitor.valuesLive ? 0.5 : 1
    edited: { revision; return edits.isEdited(field) }
    unconfirmed: { revision; return edits.isUnconfirmed(field) }
    hint: {
        revision
        if (unconfirmed)
            return zhText("已写入，等待读取确认", "Written; a read will confirm it")
        return edited ? zhText("控制器的值: ", "Controller's value: ") + valueText(edits.device(field)) : ""
    }

    onDeviceChanged: edits.setDevice(field, device)
    // Fields register one by one; one not registered yet has nothing to show.
    onRevisionChanged: {
        var shown = edits.shown(field)
        if (shown !== undefined)
            value = shown
    }
    onValueChanged: edits.setShown(field, value)
    Component.onCompleted: {
        edits.setDevice(field, device)
        value = edits.shown(field)
    }
}
