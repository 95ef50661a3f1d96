import QtQuick 2.12
import QtTest 1.12
import Tavox 1.0
import "../../qml/panels"

// The upgrade panel following a real upgrade of the simulated controller.
Item {
    id: scene
    width: 800
    height: 900

    TavoxTestCase {
        name: "UpgradePanelStates"
        subject: Component { UpgradePanel { width: 420; height: 320 } }

        // The failure on a closed port, the reopening and a success are the window's (tst_windowflows) and
        // the monitor's (tst_operator); here what the panel shows of them and its Cancel.
        function test_fileProgressPhaseAndResult() {
            verify(upgradeRig.openPacedController())
            tryCompare(linkMonitor, "valuesLive", true, processWaitMs)
            var panel = createSubject()
            var fileInfo = part(panel, "fileInfo")
            var phase = part(panel, "phaseText")
            var banner = part(panel, "resultBanner")

            verify(upgradeRig.chooseFile(40960))
            compare(fileInfo.text, "fw-1.bin  ·  " + upgradeMonitor.fileSizeText)
            upgradeRig.start()
            tryVerify(function() { return upgradeMonitor.progress > 0 }, processWaitMs)
            verify(phase.visible)
            verify(phase.text.indexOf("40960") > 0, phase.text)
            verify(!fileInfo.visible)
            compare(part(panel, "progressText").text, upgradeMonitor.progress + "%")

            // the versions are the closed link's: dimmed, marked, and why on hover
            upgradeRig.closePort()
            tryCompare(banner, "visible", true)
            compare(part(panel, "resultText").text, upgradeMonitor.resultText)
            verify(!phase.visible)
            var firmware = part(panel, "firmwareVersion")
            compare(firmware.text, appBridge.tavoxFirmwareVersion + " " + upgradeMonitor.versionsNote)
            verify(!firmware.font.bold)
            mouseMove(firmware, 2, 2)
            tryCompare(firmware, "hintShown", true)
            verify(upgradeRig.reopen())
            tryCompare(linkMonitor, "valuesLive", true, processWaitMs)
            tryCompare(firmware, "text", appBridge.tavoxFirmwareVersion, processWaitMs)
            verify(firmware.font.bold)

            // Cancel takes Start's place while flashing, asks first, and leaves the port open
            verify(upgradeRig.chooseFile(40960))
            upgradeRig.start()
            var cancel = part(panel, "cancelUpgradeButton")
            tryVerify(function() { return cancel.visible && cancel.enabled }, processWaitMs)
            verify(!part(panel, "startButton").visible)
            mouseClick(cancel)
            var question = part(panel, "confirmDialog")
            verify(question.text.indexOf("控制器停留在引导程序中，直到一次升级完成") === 0, question.text)
            confirmByKeys()
            tryCompare(upgradeMonitor, "result", UpgradeMonitor.Cancelled)
            verify(banner.visible)
            verify(upgradeMonitor.resultText.indexOf("操作员取消") > 0, upgradeMonitor.resultText)
            verify(upgradeMonitor.resultText.indexOf("检查连接线") < 0, "no cable is to blame")
            compare(linkMonitor.blockedReason, "", "the port stays open")
        }
    }
}
