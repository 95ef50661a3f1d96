import QtQuick 2.12
import QtQuick.Layouts 1.12

// A parameter panel's Read and Write, enabled only when they make sense.
RowLayout {
    id: row

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property var actions
    property alias readName: readButton.name
    property alias writeName: writeButton.name
    // Why a write restarts the controller; empty when it does not.
    property string rebootText
    // The start of the names of the fields this row writes; empty for all of the panel's.
    property string writtenFields
    // Set while a field holds something that must not be sent.
    property bool inputInvalid: false
    // What is odd about the values to be written ("Pitch and Center both on PWM3"): Write asks first.
    property string warningText
    // What the row reads and writes ("SBUS channels"), so that a screen reader
    // tells its buttons from the other panels'.
    property string subject
    // The panel sends its own values.
    signal writeRequested()

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }
    function named(verbZh, verbEn) {
        return zhText(verbZh + (/^[A-Za-z]/.test(subject) ? " " : "") + subject, verbEn + " " + subject)
    }

    function write() {
        actions.write(rebootText === "" ? "" : function() { return row.rebootText },
                      function() { row.writeRequested() }, writtenFields)
    }

    Layout.fillWidth: true
    spacing: 10 * uiScale

    // Write all sends this row's write as its Write does, the question already answered.
    Connections {
        target: unsavedEdits
        function onWriteRequested(panel, fields) {
            if (!row.actions.edits || row.actions.edits.panel !== panel || row.writtenFields !== fields)
                return
            // A value out of range cannot go; a doubtful one goes only by this row's own Write, which asks.
            if (row.inputInvalid)
                unsavedEdits.refuse(row.zhText("有数值超出范围，请先改正", "A value is out of range; correct it first"))
            else if (row.warningText !== "")
                unsavedEdits.refuse(row.warningText)
            else
                row.actions.sendWrite(function() { row.writeRequested() }, row.writtenFields)
        }
    }

    DeviceButton {
        id: readButton
        name: "readButton"
        uiScale: row.uiScale
        fontFamily: row.fontFamily
        Layout.fillWidth: true
        Layout.minimumWidth: 100 * row.uiScale
        Layout.preferredHeight: 38 * row.uiScale
        text: row.zhText("读取", "Read")
        accessibleName: row.named("读取", "Read")
        blockedReason: linkMonitor.blockedReason
        onClicked: row.actions.read()
    }
    DeviceButton {
        id: writeButton
        name: "writeButton"
        uiScale: row.uiScale
        fontFamily: row.fontFamily
        Layout.fillWidth: true
        Layout.minimumWidth: 100 * row.uiScale
        Layout.preferredHeight: 38 * row.uiScale
        text: row.zhText("写入", "Write")
        accessibleName: row.named("写入", "Write")
        blockedReason: row.inputInvalid
                       ? row.zhText("有数值超出范围，请先改正", "A value is out of range; correct it first")
                       : linkMonitor.writeBlockedReason
        onClicked: {
            if (row.warningText === "") {
                row.write()
                return
            }
            row.actions.confirm.ask(function() { return row.zhText("在" + row.warningText + "的情况下写入？",
                                                                   "Write with " + row.warningText + "?") },
                                    function() { return row.zhText("一个通道同时控制两项功能。", "One channel would drive both functions.") },
                                    function() { return row.zhText("仍然写入", "Write anyway") },
                                    row.write)
        }
    }
}
