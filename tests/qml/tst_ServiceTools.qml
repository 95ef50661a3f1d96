import QtQuick 2.12
import QtTest 1.12
import Tavox 1.0
import "../../qml/controls"

// The service bar over the real link to the simulated controller: its health
// line, and the live plots drawer that exists and records only while open.
Item {
    id: scene
    width: 1200
    height: 800

    SignalSpy { id: tick; target: linkHealth; signalName: "changed" }

    // As wide as the service bar of a 1366-pixel window.
    Component { id: narrowBar; ServiceTools { width: 1108 } }

    TavoxTestCase {
        name: "ServiceTools"
        subject: Component { ServiceTools { width: 1100 } }

        function init() {
            appBridge.reset()
            appBridge.language = "en"
        }

        function test_linkHealthLine() {
            var tools = createSubject()
            tryCompare(part(tools, "linkHealthState"), "text", "Link OK", processWaitMs)
            tryVerify(function() { return linkHealth.framesPerSecond > 0 }, processWaitMs)
            var figures = part(tools, "linkHealthFigures")
            verify(figures.text.indexOf(" frames/s · ") > 0, figures.text)
            verify(part(tools, "linkHealthHeartbeat").text.indexOf("last heartbeat ") === 0)
            appBridge.language = "zh"
            compare(part(tools, "linkHealthState").text, "链路正常")
        }

        // The link lost, in a bar as wide as a 1366-pixel window gives it: the state
        // and the heartbeat's age stay whole, only the other figures give way,
        // and the whole line is there on hover and for a screen reader.
        function test_lostLinkKeepsItsWordsInANarrowWindow_data() {
            return [{ tag: "en", language: "en", state: "Link lost — no heartbeat", heartbeat: "last heartbeat 7400 ms",
                      figuresCut: true },
                    { tag: "zh", language: "zh", state: "链路中断 — 无心跳", heartbeat: "距上次心跳 7400 ms",
                      figuresCut: false }]
        }
        function test_lostLinkKeepsItsWordsInANarrowWindow(data) {
            appBridge.language = data.language
            var tools = createTemporaryObject(narrowBar, scene)
            waitForRendering(tools)
            var view = part(tools, "linkHealthView")
            // the port open and no heartbeat for 7.4 s, on a line with faults
            view.health = linkHealthWith({ linkLost: true, sinceHeartbeatMs: 7400, bytesPerSecond: 12, crcFailures: 1250,
                                           headerSumFailures: 318, resyncBytes: 40960 })
            var state = part(tools, "linkHealthState")
            var heartbeat = part(tools, "linkHealthHeartbeat")
            var figures = part(tools, "linkHealthFigures")
            compare(state.text, data.state)
            compare(heartbeat.text, data.heartbeat)
            // Laid out again for the new words at the next polish.
            tryVerify(function() { return state.width >= state.implicitWidth && heartbeat.width >= heartbeat.implicitWidth })
            verify(!state.truncated && !heartbeat.truncated)
            // Clear of the buttons beside it, which keep their words too.
            var backup = part(tools, "backupButton")
            verify(heartbeat.mapToItem(tools, heartbeat.width, 0).x <= backup.mapToItem(tools, 0, 0).x)
            verify(!backup.contentItem.truncated)
            compare(figures.truncated, data.figuresCut)
            compare(view.Accessible.name, data.state + " · " + data.heartbeat + " · " + figures.text)
            mouseMove(figures, 5, 5)
            tryCompare(view, "wholeTextShown", data.figuresCut)
        }

        function test_plotsDrawerLivesOnlyWhileOpen() {
            var tools = createSubject()
            var loader = part(tools, "plotsLoader")
            compare(telemetryHistory.active, false)

            var button = part(tools, "plotsButton")
            button.forceActiveFocus(Qt.TabFocusReason)
            keyClick(Qt.Key_Space)
            var drawer = part(loader.item, "plotsDrawer")
            tryCompare(drawer, "opened", true)
            compare(telemetryHistory.active, true)
            var before = telemetryHistory.sampleCount
            tryVerify(function() { return telemetryHistory.sampleCount > before }, processWaitMs)

            var pause = part(drawer.contentItem, "plotPause")
            mouseClick(pause)
            compare(pause.text, "Resume")
            var frozen = telemetryHistory.sampleCount
            // Between two refreshes of the link's figures lies a whole second of heartbeats, such as the
            // history took in a moment ago.
            tick.clear()
            tryCompare(tick, "count", 2, processWaitMs)
            compare(telemetryHistory.sampleCount, frozen)

            keyClick(Qt.Key_Escape)
            tryCompare(loader, "active", false)
            compare(telemetryHistory.active, false)
            // the keyboard that opened the drawer finds itself back on the button
            tryCompare(button, "activeFocus", true)
            verify(button.visualFocus)
        }
    }
}
