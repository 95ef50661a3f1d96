import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// The foot of the sidebar: the two QR codes (left out when the window is too
// short for them beside the status), the zoom, the language switch and the version.
ColumnLayout {
    id: root

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    property bool showCodes: true

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    // Worked out rather than read from the layout, which counts nothing hidden.
    readonly property real codesHeight: 2 * (dp(140) + dp(2) + Math.ceil(captionMetrics.height)) + dp(8) + dp(8)
    // From the rows' parts, not the rows: a layout's height read while a zoom
    // changes every size would be read while it is being laid out.
    readonly property real heightWithoutCodes: Math.max(dp(22), languageMetrics.height)
                                               + versionLabel.implicitHeight + dp(6)

    FontMetrics {
        id: languageMetrics
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        font.bold: true
    }
    FontMetrics {
        id: captionMetrics
        font.family: root.fontFamily
        font.pixelSize: root.dp(12)
    }

    spacing: 0

    component QrCode: ColumnLayout {
        property alias source: qrImage.source
        property alias caption: captionLabel.text

        Layout.alignment: Qt.AlignHCenter
        spacing: root.dp(2)

        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: root.dp(140)
            Layout.preferredHeight: root.dp(140)
            radius: root.dp(4)
            color: Theme.fieldBackground
            border.width: 1
            border.color: Theme.borderLight

            Image {
                id: qrImage
                anchors.centerIn: parent
                width: root.dp(128)
                height: root.dp(128)
                sourceSize.width: width
                sourceSize.height: height
                fillMode: Image.PreserveAspectFit
            }
        }
        Label {
            id: captionLabel
            Layout.alignment: Qt.AlignHCenter
            font.family: root.fontFamily
            font.pixelSize: root.dp(12)
            color: Theme.textSecondary
        }
    }

    // Clicked, or with Tab focus Space or Enter.
    component LanguageChoice: Text {
        id: choice
        property string code

        readonly property bool active: appBridge.language === code
        function choose() { appBridge.language = code }

        activeFocusOnTab: true
        Keys.onSpacePressed: choose()
        Keys.onReturnPressed: choose()
        Keys.onEnterPressed: choose()
        // One of two radio buttons, named in its own language.
        Accessible.role: Accessible.RadioButton
        Accessible.name: code === "zh" ? "中文" : "English"
        Accessible.checkable: true
        Accessible.checked: active
        Accessible.onPressAction: choose()
        Accessible.onToggleAction: choose()
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        font.bold: active
        color: active ? Theme.primary : Theme.textSecondary

        FocusRing { shown: choice.activeFocus; uiScale: root.uiScale; radius: root.dp(4) }

        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: choice.choose()
        }
    }

    // A small flat button of the zoom row; `why` says why it is disabled.
    component ZoomButton: FlatButton {
        id: zoomButton
        property string shortcut
        property string why

        Layout.preferredHeight: root.dp(22)
        Layout.minimumWidth: root.dp(24)
        padding: root.dp(3)
        font.family: root.fontFamily
        font.pixelSize: root.dp(13)
        focusPolicy: Qt.TabFocus
        textColor: Theme.textRegular
        uiScale: root.uiScale
        Accessible.description: enabled ? shortcut : why
        HintToolTip { wanted: zoomButton.hovered; text: zoomButton.Accessible.name + " (" + zoomButton.shortcut + ")" }
    }

    ColumnLayout {
        id: codes
        objectName: "qrCodes"
        visible: root.showCodes
        Layout.fillWidth: true
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: root.dp(6)
        Layout.bottomMargin: root.dp(2)
        spacing: root.dp(8)

        QrCode {
            objectName: "wechatQr"
            source: "qrc:/icon/png/mwrWx.png"
            caption: root.zhText("微信公众号", "WeChat")
        }
        QrCode {
            objectName: "bilibiliQr"
            source: "qrc:/icon/png/mwrBliBli.png"
            caption: "bilibili"
        }
    }

    // The zoom and the language share a line, so the codes keep their room.
    RowLayout {
        id: controlsRow
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: root.showCodes ? 0 : root.dp(6)
        spacing: root.dp(12)

        RowLayout {
            objectName: "zoomRow"
            spacing: root.dp(2)

            ZoomButton {
                objectName: "zoomOutButton"
                text: "−"
                shortcut: "Ctrl+−"
                Accessible.name: root.zhText("缩小", "Zoom out")
                why: root.zhText("已是最小 (75 %)", "Already the smallest (75 %)")
                enabled: windowScale.canZoomOut
                onClicked: windowScale.zoomOut()
            }
            ZoomButton {
                objectName: "zoomResetButton"
                Layout.minimumWidth: root.dp(44)
                text: windowScale.percent + " %"
                shortcut: "Ctrl+0"
                Accessible.name: root.zhText("缩放 ", "Zoom ") + windowScale.percent + " %"
                                 + root.zhText("，恢复实际大小 (100 %)", ", back to actual size (100 %)")
                onClicked: windowScale.resetZoom()
            }
            ZoomButton {
                objectName: "zoomInButton"
                text: "+"
                shortcut: "Ctrl++"
                Accessible.name: root.zhText("放大", "Zoom in")
                why: root.zhText("已是最大 (200 %)", "Already the largest (200 %)")
                enabled: windowScale.canZoomIn
                onClicked: windowScale.zoomIn()
            }
        }

        RowLayout {
            spacing: root.dp(8)

            LanguageChoice { objectName: "zhChoice"; code: "zh"; text: "中文" }
            Rectangle {
                Layout.preferredWidth: root.dp(1)
                Layout.preferredHeight: root.dp(14)
                color: Theme.borderBase
            }
            LanguageChoice { objectName: "enChoice"; code: "en"; text: "EN" }
        }
    }

    Label {
        id: versionLabel
        objectName: "versionLabel"
        Layout.alignment: Qt.AlignHCenter
        Layout.bottomMargin: root.dp(6)
        text: root.zhText("版本号: ", "Version: ") + String(appBridge.appVersion).replace(/^v/, "")
        font.family: root.fontFamily
        font.pixelSize: root.dp(12)
        color: Theme.textSecondary
    }
}
