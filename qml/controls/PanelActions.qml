import QtQuick 2.12
import Tavox 1.0

// Read and write as every parameter panel does them: a read that would throw
// away the operator's edits asks first, a write that reboots the controller
// asks first, and both report in the panel's status line under `name`.
// Written fields wait for the controller's next parameter block to confirm
// them, whether a write's own re-read or a Read brings it.
QtObject {
    id: actions

    property string name
    property var edits
    property var confirm

    readonly property Connections readBack: Connections {
        target: linkMonitor
        function onParametersArrived() { actions.edits.confirmWritten() }
    }
    readonly property Connections restore: Connections {
        target: paramRestore
        function onRestored(fields) { actions.edits.settleRestored(fields) }
    }

    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    Component.onCompleted: {
        actionFeedback.followEdits(name, edits)
        unsavedEdits.watch(edits)
    }

    function read() {
        var count = edits ? edits.count : 0
        if (count === 0) {
            sendRead()
            return
        }
        confirm.ask(function() {
                        return zhText("放弃 " + count + " 项未写入的修改？", "Discard " + count + " unsaved changes?")
                    },
                    function() {
                        return zhText("重新读取会用控制器的值替换本面板中未写入的修改。",
                                      "Reading again replaces this panel's unsaved changes with the controller's values.")
                    },
                    function() { return zhText("放弃并读取", "Discard and read") },
                    function() { edits.revert(); sendRead() })
    }

    function sendRead() {
        actionFeedback.begin(name, ActionFeedback.ParamsRead)
        appBridge.tavoxReadParams()
    }

    // `rebootText` empty: the write applies without a restart; a function
    // returning the text keeps an open question in the current language. `fields`: the
    // start of the names of the fields `send` writes, empty for all.
    function write(rebootText, send, fields) {
        if (edits && edits.madeForOtherController) {
            askForOtherController(rebootText, send, fields)
            return
        }
        if (rebootText === "") {
            sendWrite(send, fields)
            return
        }
        confirm.ask(function() { return zhText("写入并重启控制器？", "Write and restart the controller?") },
                    rebootText, function() { return zhText("写入并重启", "Write and restart") },
                    function() { sendWrite(send, fields) })
    }

    // Edits made for the controller that answered before go to this one only when the operator says so, with the
    // values named.
    function askForOtherController(rebootText, send, fields) {
        confirm.ask(function() { return zhText("写入为另一台控制器所做的修改？", "Write changes made for another controller?") },
                    function() {
                        var text = zhText("这些修改是在固件 " + controllerWatch.previousFirmware + " 的控制器连接时所做，现在连接的是固件 "
                                          + appBridge.tavoxFirmwareVersion + " 的控制器: " + edits.editedSummary("zh") + "。",
                                          "These changes were made while the controller with firmware "
                                          + controllerWatch.previousFirmware + " was attached; the one on the link now has firmware "
                                          + appBridge.tavoxFirmwareVersion + ": " + edits.editedSummary("en") + ".")
                        return rebootText === "" ? text : text + "\n" + rebootText()
                    },
                    function() { return zhText("写入这台控制器", "Write to this controller") },
                    function() { sendWrite(send, fields) })
    }

    function sendWrite(send, fields) {
        actionFeedback.begin(name, ActionFeedback.CommandReply)
        edits.markWritten(fields)
        send()
    }
}
