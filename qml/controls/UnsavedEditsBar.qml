import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../dialogs"

// The window's one account of the edits not written yet, and Write all.
ColumnLayout {
    id: bar

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    visible: unsavedEdits.count > 0
    spacing: dp(6)

    ConfirmDialog { id: confirm; uiScale: bar.uiScale; fontFamily: bar.fontFamily }

    Label {
        objectName: "unsavedSummary"
        Layout.fillWidth: true
        text: unsavedEdits.summary
        wrapMode: Text.Wrap
        font.family: bar.fontFamily
        font.pixelSize: bar.dp(13)
        color: Theme.warning
    }
    DeviceButton {
        name: "writeAllButton"
        uiScale: bar.uiScale
        fontFamily: bar.fontFamily
        Layout.fillWidth: true
        Layout.preferredHeight: bar.dp(34)
        text: bar.zhText("全部写入", "Write all")
        blockedReason: unsavedEdits.writing ? bar.zhText("正在写入…", "Writing…") : linkMonitor.writeBlockedReason
        onClicked: confirm.ask(function() { return bar.zhText("全部写入？", "Write all changes?") },
                               function() { return unsavedEdits.details },
                               function() { return bar.zhText("全部写入", "Write all") },
                               function() { unsavedEdits.writeAll() })
    }
}
