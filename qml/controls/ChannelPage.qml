import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Tavox 1.0

// One receiver's page of the channel panel: a row per input with its
// channel, its direction and its live value, then Read and Write. The
// columns have fixed widths, so a choice or a value never moves them. Live
// values are bound only while `liveShown`: a hidden page costs nothing.
ScrollView {
    id: page

    property real uiScale: 1.0
    property string fontFamily: "Source Han Sans SC"
    // Object names start with `prefix`; bridge names carry `receiver` ("Sbus").
    property string prefix
    property string receiver
    // Each row: { key: "Pitch", zh, en, kind: "channel" | "mode" | "lockFunction", direction, live }
    property var rows: []
    property var channelOptions: []
    property var modeLabels: []
    property var lockFunctionLabels: []
    property var dirLabels: []
    property var edits
    property var actions
    property string rebootText
    property bool liveShown: false

    signal writeRequested()

    function dp(v) { return v * uiScale }
    function zhText(cn, en) { return appBridge.language === "zh" ? cn : en }

    function rowItem(key) {
        for (var i = 0; i < rowRepeater.count; ++i) {
            var item = rowRepeater.itemAt(i)
            if (item && item.row.key === key)
                return item
        }
        return null
    }
    // What a row's combo shows, as the write sends it: a channel's index is its number.
    function choice(key) { return rowItem(key).choice.currentIndex }
    function direction(key) { return rowItem(key).direction.currentIndex }

    // The channel functions as the combos show them, for the check of shared channels.
    function channelUses() {
        var uses = []
        for (var i = 0; i < rowRepeater.count; ++i) {
            var item = rowRepeater.itemAt(i)
            if (item && item.row.kind === "channel")
                uses.push({ key: item.row.key, zh: item.row.zh, en: item.row.en, channel: item.choice.currentIndex })
        }
        return uses
    }
    // Before the first read the combos show placeholders, all on the first channel: nothing to judge.
    readonly property var conflicts: {
        // Named again in the new language.
        appBridge.language
        return channelCheck.check(linkMonitor.valuesKnown ? channelUses() : [], prefix === "pwm" ? "PWM" : "CH")
    }

    function deviceChoice(row) {
        if (row.kind === "mode")
            return appBridge["tavox" + receiver + "Mode"]
        if (row.kind === "lockFunction")
            return appBridge["tavox" + receiver + "LockCh"]
        // A channel the list has no entry for keeps its number, so the combo shows it marked.
        return appBridge["tavox" + receiver + row.key + "Ch"]
    }

    // The parameter file's name of a row's field ("sbus.pitchChannel"), or of its direction.
    function rangeField(row, direction) {
        var group = receiver.toLowerCase() + "."
        var key = row.key.charAt(0).toLowerCase() + row.key.slice(1)
        if (direction)
            return group + key + "Direction"
        if (row.kind === "mode")
            return group + "mode"
        return group + (row.kind === "lockFunction" ? "lock" : key) + "Channel"
    }
    // A row shows a controller's value its list has no entry for: nothing is written until it is chosen anew.
    readonly property bool showsOutsideRange: {
        var outside = false
        for (var i = 0; i < rowRepeater.count; ++i) {
            var item = rowRepeater.itemAt(i)
            if (item && (item.choice.outsideRange || (item.direction && item.direction.outsideRange)))
                outside = true
        }
        return outside
    }

    // A screen reader names a row's combo by receiver, row and what it picks: no two combos of the panel alike.
    readonly property string receiverName: prefix.toUpperCase()
    function comboName(row, direction) {
        var what = direction ? zhText("方向", " direction") : row.kind === "channel" ? zhText("通道", " channel") : ""
        return receiverName + " " + zhText(row.zh, row.en.toLowerCase()) + what
    }

    function choices(row) {
        if (row.kind === "mode")
            return modeLabels
        return row.kind === "lockFunction" ? lockFunctionLabels : channelOptions
    }

    readonly property real columnGap: dp(10)
    // As wide as the longest label, up to a limit past which a label wraps.
    readonly property real labelWidth: {
        var widest = 0
        for (var i = 0; i < rows.length; ++i)
            widest = Math.max(widest, labelMetrics.advanceWidth(zhText(rows[i].zh, rows[i].en)))
        return Math.min(dp(70), Math.ceil(widest))
    }
    // The channel, direction and value columns share the rest equally when
    // that leaves every choice whole; when it is tight the value gives way
    // first, and the choices get what their longest entries need.
    readonly property real sharedWidth: pageColumn.width - labelWidth - 3 * columnGap
    readonly property real channelNeeds: widestText(channelOptions) + dp(42)
    readonly property real directionNeeds: widestText(dirLabels) + dp(42)
    readonly property bool equalColumns: sharedWidth / 3 >= Math.max(channelNeeds, directionNeeds)
    readonly property real valueWidth: equalColumns ? sharedWidth / 3
                                                    : Math.max(dp(52), sharedWidth - channelNeeds - directionNeeds)
    readonly property real comboWidth: equalColumns ? sharedWidth / 3
                                                    : (sharedWidth - valueWidth) * channelNeeds / (channelNeeds + directionNeeds)
    readonly property real directionWidth: sharedWidth - valueWidth - comboWidth

    function widestText(texts) {
        var widest = 0
        for (var i = 0; i < texts.length; ++i)
            widest = Math.max(widest, labelMetrics.advanceWidth(texts[i]))
        return Math.ceil(widest)
    }

    FontMetrics {
        id: labelMetrics
        font.family: page.fontFamily
        font.pixelSize: page.dp(16)
    }

    clip: true
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
    ScrollBar.vertical.policy: ScrollBar.AsNeeded
    // Followed, not bound: on a hidden page a re-translated label re-wraps
    // while the column's height is being read, which a binding takes for a loop.
    contentHeight: 0
    // The columns take their widths from the page's, never the other way round.
    contentWidth: 0

    component ChannelCombo: TrackedCombo {
        edits: page.edits
        field: objectName
        uiScale: page.uiScale
        fontFamily: page.fontFamily
        Layout.preferredHeight: page.dp(36)
    }

    ColumnLayout {
        id: pageColumn
        width: page.width - page.dp(20)
        height: Math.max(page.contentHeight, page.availableHeight)
        spacing: page.dp(6)
        function followHeight() { page.contentHeight = implicitHeight }
        // Once the change that caused it is over (a zoom changes every size at once).
        onImplicitHeightChanged: Qt.callLater(followHeight)
        Component.onCompleted: followHeight()

        Repeater {
            id: rowRepeater
            model: page.rows

            RowLayout {
                id: rowLayout
                readonly property var row: modelData
                readonly property alias choice: choiceCombo
                readonly property var direction: directionLoader.item
                readonly property string label: page.zhText(row.zh, row.en)
                readonly property string liveName: "hb" + page.receiver + row.key + "Value"
                readonly property bool livePresent: page.liveShown && (page.receiver === "Crsf" ? liveTelemetry.hbCrsfValuePresent
                                                                               : liveTelemetry.hbReceived)

                Layout.fillWidth: true
                spacing: page.columnGap

                // A long label (the PWM centre second function) wraps rather
                // than squeezing the combos.
                Label {
                    Layout.preferredWidth: page.labelWidth
                    Layout.maximumWidth: page.labelWidth
                    text: rowLayout.label
                    wrapMode: Text.WordWrap
                    font.family: page.fontFamily
                    font.pixelSize: page.dp(16)
                }
                ChannelCombo {
                    id: choiceCombo
                    objectName: page.prefix + rowLayout.row.key
                    Layout.preferredWidth: rowLayout.row.direction ? page.comboWidth
                                           : rowLayout.row.live ? page.comboWidth + page.columnGap + page.directionWidth
                                           : page.sharedWidth + 2 * page.columnGap
                    model: page.choices(rowLayout.row)
                    Accessible.name: page.comboName(rowLayout.row, false)
                    device: page.deviceChoice(rowLayout.row)
                    rangeField: page.rangeField(rowLayout.row, false)

                    Rectangle {
                        objectName: page.prefix + rowLayout.row.key + "Conflict"
                        anchors.fill: parent
                        visible: page.conflicts.keys.indexOf(rowLayout.row.key) >= 0
                        color: Theme.transparent
                        radius: page.dp(6)
                        border.width: 2
                        border.color: Theme.danger
                    }
                }
                Loader {
                    id: directionLoader
                    active: rowLayout.row.direction
                    visible: active
                    Layout.preferredWidth: page.directionWidth
                    Layout.preferredHeight: page.dp(36)
                    sourceComponent: ChannelCombo {
                        objectName: page.prefix + rowLayout.row.key + "Dir"
                        model: page.dirLabels
                        Accessible.name: page.comboName(rowLayout.row, true)
                        device: appBridge["tavox" + page.receiver + rowLayout.row.key + "Dir"]
                        rangeField: page.rangeField(rowLayout.row, true)
                    }
                }
                Rectangle {
                    objectName: page.prefix + rowLayout.row.key + "Value"
                    // The value shown; "--" without a heartbeat or while the page is hidden.
                    readonly property string value: rowLayout.livePresent
                                                    ? String(liveTelemetry[rowLayout.liveName]) : "--"
                    visible: rowLayout.row.live
                    Accessible.role: Accessible.StaticText
                    Accessible.name: page.comboName(rowLayout.row, false) + page.zhText("值 ", " value ") + value
                    Layout.preferredWidth: page.valueWidth
                    Layout.preferredHeight: page.dp(36)
                    radius: page.dp(6)
                    color: Theme.fieldBackground
                    border.width: 1
                    border.color: Theme.borderLight

                    SteadyNumber {
                        anchors.centerIn: parent
                        text: parent.value
                        widest: Theme.widestChannelValue
                        alignment: Qt.AlignHCenter
                        font.family: page.fontFamily
                        font.pixelSize: page.dp(16)
                        color: Theme.textRegular
                    }
                }
            }
        }

        Item {
            Layout.fillHeight: true
            Layout.preferredHeight: page.dp(8)
        }

        ReadWriteRow {
            uiScale: page.uiScale
            warningText: page.conflicts.text
            fontFamily: page.fontFamily
            actions: page.actions
            rebootText: page.rebootText
            readName: page.prefix + "Read"
            writeName: page.prefix + "Write"
            writtenFields: page.prefix
            subject: page.zhText(page.receiverName + " 通道", page.receiverName + " channels")
            inputInvalid: page.showsOutsideRange
            onWriteRequested: page.writeRequested()
        }
    }
}
