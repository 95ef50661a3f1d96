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
            verify(figures.text.indexOf("last heartbeat ") > 0, figures.text)
            appBridge.language = "zh"
            compare(part(tools, "linkHealthState").text, "链路正常")
            compare(part(tools, "backupButton").text, "备份参数")
            compare(part(tools, "restoreButton").text, "恢复参数")
            compare(part(tools, "exportDiagnosticsButton").text, "导出诊断包")
            verify(!part(tools, "restoreSnapshotButton").visible)
        }

        function test_plotsDrawerLivesOnlyWhileOpen() {
            var tools = createSubject()
            var loader = part(tools, "plotsLoader")
            compare(loader.item, null)
            compare(telemetryHistory.active, false)

            mouseClick(part(tools, "plotsButton"))
            verify(loader.item !== null)
            var drawer = findChild(loader.item, "plotsDrawer")
            verify(drawer !== null)
            tryCompare(drawer, "opened", true)
            compare(telemetryHistory.active, true)
            var before = telemetryHistory.sampleCount
            tryVerify(function() { return telemetryHistory.sampleCount > before }, processWaitMs)

            var pause = findChild(drawer.contentItem, "plotPause")
            compare(pause.text, "Pause")
            mouseClick(pause)
            compare(telemetryHistory.paused, true)
            compare(pause.text, "Resume")
            var frozen = telemetryHistory.sampleCount
            // Between two refreshes of the link's figures lies a whole second of heartbeats, such as the
            // history took in a moment ago.
            tick.clear()
            tryCompare(tick, "count", 2, processWaitMs)
            compare(telemetryHistory.sampleCount, frozen)
            mouseClick(pause)
            compare(telemetryHistory.paused, false)

            keyClick(Qt.Key_Escape)
            tryCompare(loader, "active", false)
            compare(telemetryHistory.active, false)
        }
    }
}
