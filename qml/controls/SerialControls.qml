import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0
import "../dialogs"
import "../panels"

// Port, baud rate and the serial switch, with the state of the link below.
// The port list follows the system by itself and takes a typed path; the
// port and rate of the last successful open are chosen again next time.
ColumnLayout {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    readonly property var baudRates: ["921600", "115200"]
    readonly property string typedPort: serialPortCombo.editText.trim()
    // Asked again whenever the list changes.
    readonly property bool typedPortPresent: portCatalog.portNames, portCatalog.isPresent(typedPort)

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    function chosenPortIndex() {
        return portCatalog.portNames.indexOf(portCatalog.chosenName)
    }

    function portHint(port) {
        var lines = [port, portCatalog.kernelName(port), portCatalog.details(port)]
        return lines.filter(function(line) { return line !== "" }).join("\n")
    }

    // The kernel's name beside a stable one, or that the port is not there.
    function portNote(port) {
        if (port === "")
            return ""
        return portCatalog.isPresent(port) ? portCatalog.kernelName(port) : zhText("不在", "absent")
    }

    function refreshPorts() {
        appBridge.refreshSerialPorts()
        portCatalog.rescan()
    }

    function linkColor() {
        if (linkMonitor.otherController)
            return Theme.warning
        switch (linkMonitor.state) {
        case LinkMonitor.Connected: return Theme.success
        case LinkMonitor.Connecting: return Theme.primary
        case LinkMonitor.Reconnecting:
        case LinkMonitor.Restarting: return Theme.warning
        case LinkMonitor.NotConnected: return Theme.info
        default: return Theme.danger
        }
    }

    // On while a port is open, and while a lost one is waited for.
    function linkWanted() {
        return appBridge.serialOpened || autoReconnect.waiting
    }

    function applySerialSwitch(checked) {
        if (!checked && autoReconnect.waiting) {
            autoReconnect.stop()
            return
        }
        if (!checked && appBridge.tavoxUpgrading) {
            serialSwitch.checked = true
            confirm.ask(function() { return zhText("关闭串口？", "Close the port?") },
                        function() {
                            return zhText("关闭串口会中止正在进行的固件升级。", "Closing the port aborts the upgrade.")
                        },
                        function() { return zhText("关闭并中止升级", "Close and abort") },
                        function() { appBridge.closeSerial() })
            return
        }
        if (!checked && unsavedEdits.count > 0) {
            serialSwitch.checked = true
            unsavedQuestion.askBefore(function() { return zhText("关闭串口前写入修改？", "Write the changes before closing the port?") },
                                      null, function() { return zhText("写入", "Write") },
                                      function() { appBridge.closeSerial() })
            return
        }
        if (!checked) {
            appBridge.closeSerial()
            return
        }
        var baudRate = parseInt(serialBaudCombo.currentText, 10)
        if (root.typedPort === "" || isNaN(baudRate)) {
            root.refreshPorts()
            serialSwitch.checked = false
            return
        }
        portCatalog.choose(root.typedPort)
        var portName = portCatalog.pathOf(root.typedPort)
        if (appBridge.openSerial(portName, baudRate))
            portCatalog.remember(portName, baudRate)
        else
            serialSwitch.checked = false
    }

    spacing: dp(10)

    // A port that the bridge closes (for example one that vanished) turns the
    // switch off, unless the port is waited for to come back.
    Connections {
        target: appBridge
        function onSerialOpenedChanged() { serialSwitch.checked = root.linkWanted() }
    }
    Connections {
        target: autoReconnect
        function onWaitingChanged() { serialSwitch.checked = root.linkWanted() }
    }

    ConfirmDialog { id: confirm; uiScale: root.uiScale; fontFamily: root.fontFamily }
    UnsavedQuestion { id: unsavedQuestion; uiScale: root.uiScale; fontFamily: root.fontFamily }

    // Reconnection belongs to the port, and beside its heading it costs the
    // sidebar no height: the codes below still fit the window's drawn size.
    RowLayout {
        Layout.fillWidth: true

        SectionHeading {
            Layout.fillWidth: true
            text: root.zhText("端口", "Port")
            uiScale: root.uiScale
            fontFamily: root.fontFamily
        }
        CheckBox {
            id: reconnectCheck
            objectName: "reconnectCheck"
            Layout.preferredHeight: root.dp(20)
            padding: 0
            spacing: root.dp(4)
            text: root.zhText("自动重连", "Auto-reconnect")
            font.family: root.fontFamily
            font.pixelSize: root.dp(13)
            checked: autoReconnect.enabled
            onToggled: autoReconnect.enabled = checked
            indicator.width: root.dp(16)
            indicator.height: root.dp(16)

            FocusRing { shown: reconnectCheck.visualFocus; uiScale: root.uiScale }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: root.dp(6)

        TavoxCombo {
            id: serialPortCombo
            objectName: "serialPortCombo"
            Layout.fillWidth: true
            // Long names are cut short here, in their middle where paths in
            // one folder differ; the tooltip has them whole.
            Layout.preferredWidth: 1
            Layout.preferredHeight: root.dp(36)
            uiScale: root.uiScale
            fontFamily: root.fontFamily
            editable: true
            // The list changes as ports come and go; the choice stays.
            keepIndexOnNewModel: false
            model: portCatalog.portNames
            currentIndex: root.chosenPortIndex()
            enabled: !serialSwitch.checked
            Accessible.name: root.zhText("端口", "Port")
            Accessible.description: editText
            hint: editText === "" || !hovered ? "" : root.portHint(editText)
            entryHint: root.portHint
            entryNote: root.portNote
            entryElide: Text.ElideMiddle
            // Stable names are long: the open list reaches over the panel beside.
            popupWidth: root.dp(380)
            onModelChanged: currentIndex = root.chosenPortIndex()
            onActivated: portCatalog.choose(textAt(index))
            // Enter connects as the switch does, with its checks and its messages.
            onAccepted: {
                serialSwitch.checked = true
                root.applySerialSwitch(true)
            }
        }

        Button {
            id: refreshButton
            objectName: "refreshButton"
            Layout.preferredWidth: root.dp(36)
            Layout.preferredHeight: root.dp(36)
            // Drawn from a picture: the application's font has no arrow in a circle.
            Accessible.name: root.zhText("刷新", "Refresh")
            padding: root.dp(9)
            enabled: !serialSwitch.checked
            Accessible.description: enabled ? "" : root.zhText("串口打开时不能刷新", "Not while the port is open")
            onClicked: root.refreshPorts()
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()

            background: Rectangle {
                radius: root.dp(6)
                color: refreshButton.pressed ? Theme.borderBase : Theme.fieldBackground
                border.width: 1
                border.color: Theme.borderBase
                FocusRing { shown: refreshButton.visualFocus; uiScale: root.uiScale }
            }
            contentItem: Image {
                source: "qrc:/icon/png/refresh.png"
                sourceSize: Qt.size(64, 64)
                fillMode: Image.PreserveAspectFit
                smooth: true
                mipmap: true
                opacity: refreshButton.enabled ? 1 : 0.4
            }
        }
    }

    // The port's note hangs under the port, on the heading's line below: its
    // line costs the sidebar no height, and nothing moves when "Port absent" shows.
    RowLayout {
        Layout.fillWidth: true
        spacing: root.dp(6)

        SectionHeading { text: root.zhText("波特率", "Baud Rate"); uiScale: root.uiScale; fontFamily: root.fontFamily }
        Label {
            objectName: "portNoteText"
            Layout.fillWidth: true
            Layout.preferredWidth: 1
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: -root.dp(6)
            horizontalAlignment: Text.AlignRight
            text: root.typedPort === "" ? "" : root.typedPortPresent ? portCatalog.kernelName(root.typedPort)
                                                                      : root.zhText("端口不在", "Port absent")
            elide: Text.ElideRight
            font.family: root.fontFamily
            font.pixelSize: root.dp(12)
            color: root.typedPortPresent ? Theme.textSecondary : Theme.danger
        }
    }

    TavoxCombo {
        id: serialBaudCombo
        objectName: "serialBaudCombo"
        Layout.fillWidth: true
        Layout.preferredHeight: root.dp(36)
        uiScale: root.uiScale
        fontFamily: root.fontFamily
        model: root.baudRates
        Accessible.name: root.zhText("波特率", "Baud Rate")
        currentIndex: Math.max(0, root.baudRates.indexOf(String(portCatalog.lastBaud)))
        enabled: !serialSwitch.checked
    }

    RowLayout {
        Layout.fillWidth: true

        Label {
            id: serialSwitchLabel
            objectName: "serialSwitchLabel"
            Layout.fillWidth: true
            text: root.zhText("串口开关", "Serial Switch")
            font.family: root.fontFamily
            font.pixelSize: root.dp(16)
        }

        ToggleSwitch {
            id: serialSwitch
            objectName: "serialSwitch"
            Accessible.name: serialSwitchLabel.text
            uiScale: root.uiScale
            onToggled: root.applySerialSwitch(checked)
        }
    }

    RowLayout {
        objectName: "linkStatusBox"
        Layout.fillWidth: true
        spacing: root.dp(6)

        Rectangle {
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: root.dp(4)
            Layout.preferredWidth: root.dp(10)
            Layout.preferredHeight: root.dp(10)
            radius: root.dp(5)
            color: root.linkColor()
        }
        Label {
            id: linkStatusText
            objectName: "linkStatusText"
            Layout.fillWidth: true
            // Room for two whole lines whatever the text, so the sidebar's
            // height never depends on where the text wraps. Measured with
            // Chinese and Latin letters on each line: a fallback font for
            // either may make a line taller than the font's own metrics say.
            Layout.preferredWidth: 1
            Layout.preferredHeight: Math.ceil(twoLines.implicitHeight)
            maximumLineCount: 2
            elide: Text.ElideRight
            wrapMode: Text.Wrap
            font.family: root.fontFamily
            font.pixelSize: root.dp(13)
            color: Theme.textPrimary
            readonly property bool wholeTextShown: linkWholeText.visible
            Accessible.name: linkMonitor.statusText
            Text { id: twoLines; visible: false; font: linkStatusText.font; text: "已A\n已A" }
            HintToolTip {
                id: linkWholeText
                wanted: (linkStatusText.truncated || linkStatusText.text !== linkMonitor.statusText) && linkHover.hovered
                text: linkMonitor.statusText
            }
            HoverHandler { id: linkHover }

            // The firmware is what the line is read for: a long port name in
            // it gives way first, in its middle, before the end is cut.
            function fitted(whole, port) {
                fitProbe.width = width
                fitProbe.text = whole
                if (!fitProbe.truncated || port === "" || whole.indexOf(port) < 0)
                    return whole
                for (var room = width; room > 0; room -= root.dp(8)) {
                    portShortener.elideWidth = room
                    fitProbe.text = whole.replace(port, portShortener.elidedText)
                    if (!fitProbe.truncated)
                        return fitProbe.text
                }
                return whole
            }
            function fit() { text = fitted(linkMonitor.statusText, linkMonitor.portName) }
            onWidthChanged: fit()
            onFontChanged: fit()
            Component.onCompleted: fit()
            Connections { target: linkMonitor; function onChanged() { linkStatusText.fit() } }
            TextMetrics { id: portShortener; font: linkStatusText.font; text: linkMonitor.portName; elide: Text.ElideMiddle }
            Text {
                id: fitProbe
                visible: false
                font: linkStatusText.font
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
            }
        }
    }
}
