import QtQuick 2.12
import QtTest 1.12
import "../../qml/panels"

Item {
    id: scene
    width: 900
    height: 300

    Component {
        id: panelComponent
        MessageLogPanel {
            width: 800
            height: 180
            fontFamily: "Noto Sans CJK SC"
        }
    }

    Component {
        id: clearWatcherComponent
        // Looks at the text area at the moment the bridge is asked to clear.
        Connections {
            property var area
            property var textAtCall: undefined
            target: appBridge
            function onInvoked(name, args) {
                if (name === "clearMessages")
                    textAtCall = area.text
            }
        }
    }

    TestCase {
        name: "MessageLogPanel"
        when: windowShown

        function init() { appBridge.reset() }

        function createPanel() {
            var panel = createTemporaryObject(panelComponent, scene)
            verify(panel !== null)
            return panel
        }

        function area(panel) { return findChild(panel, "messageLogArea") }
        function view(panel) { return findChild(panel, "messageLogScrollView").contentItem }

        function logOfLines(count, prefix) {
            var lines = []
            for (var i = 1; i <= count; ++i)
                lines.push("[2024-05-01 12:00:00] " + prefix + " " + i)
            return lines.join("\n")
        }

        function atEnd(panel) {
            var flick = view(panel)
            return flick.contentHeight > flick.height
                && Math.abs(flick.contentY - (flick.contentHeight - flick.height)) < 1
        }

        function test_showsBridgeLogWhenCreated() {
            appBridge.messageLog = "[2024-05-01 12:00:00] 应用已启动"
            var panel = createPanel()
            compare(area(panel).text, "[2024-05-01 12:00:00] 应用已启动")
        }

        function test_longLogShownAtItsEndWhenCreated() {
            appBridge.messageLog = logOfLines(60, "entry")
            var panel = createPanel()
            tryVerify(function() { return atEnd(panel) })
        }

        function test_everyChangeReplacesTheWholeText() {
            var panel = createPanel()
            appBridge.messageLog = "first"
            compare(area(panel).text, "first")
            appBridge.messageLog = "second\nthird"
            compare(area(panel).text, "second\nthird")
            appBridge.messageLog = ""
            compare(area(panel).text, "")
        }

        function test_followsOnlyTheChangeSignal() {
            var panel = createPanel()
            appBridge.messageLog = "shown"
            area(panel).text = "edited locally"
            appBridge.emitSignal("messageLogChanged")
            compare(area(panel).text, "shown")
        }

        function test_scrollsToEndAfterEveryChangeEvenWhenScrolledUp() {
            var panel = createPanel()
            appBridge.messageLog = logOfLines(40, "entry")
            verify(atEnd(panel))
            compare(area(panel).cursorPosition, area(panel).length)

            view(panel).contentY = 0
            appBridge.messageLog = logOfLines(41, "entry")
            verify(atEnd(panel), "back at the newest line after a change")

            view(panel).contentY = 10
            appBridge.emitSignal("messageLogChanged")
            verify(atEnd(panel), "back at the newest line even when the text is unchanged")
        }

        function test_shortLogDoesNotScroll() {
            var panel = createPanel()
            appBridge.messageLog = "one line"
            compare(view(panel).contentY, 0)
        }

        function test_clear_data() {
            return [
                { tag: "with entries", log: logOfLines(5, "entry") },
                { tag: "empty log", log: "" }
            ]
        }

        function test_clear(data) {
            appBridge.messageLog = data.log
            var panel = createPanel()
            var watcher = createTemporaryObject(clearWatcherComponent, scene, { area: area(panel) })
            mouseClick(findChild(panel, "clearButton"))
            compare(appBridge.callCount("clearMessages"), 1)
            compare(watcher.textAtCall, "", "the area is emptied before the bridge is called")
            compare(area(panel).text, "")
        }

        function test_languageSwitchRelabelsButKeepsLines() {
            appBridge.messageLog = "[2024-05-01 12:00:00] 应用已启动"
            var panel = createPanel()
            compare(findChild(panel, "messageTitle").text, "消息")
            compare(findChild(panel, "clearButton").text, "清除")
            appBridge.language = "en"
            compare(findChild(panel, "messageTitle").text, "Message")
            compare(findChild(panel, "clearButton").text, "Clear")
            compare(area(panel).text, "[2024-05-01 12:00:00] 应用已启动")
        }

        function test_areaIsReadOnly() {
            appBridge.messageLog = "fixed"
            var panel = createPanel()
            mouseClick(area(panel))
            keyClick(Qt.Key_X)
            compare(area(panel).text, "fixed")
        }
    }
}
