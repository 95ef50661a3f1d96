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

        function test_fileProgressPhaseAndResult() {
            verify(upgradeRig.openPacedController())
            tryCompare(linkMonitor, "valuesLive", true, processWaitMs)
            var panel = createSubject()
            var fileInfo = part(panel, "fileInfo")
            var phase = part(panel, "phaseText")
            var banner = part(panel, "resultBanner")
            var progress = part(panel, "progressText")

            verify(upgradeRig.chooseFile(40960))
            compare(fileInfo.text, "fw-1.bin  ·  " + upgradeMonitor.fileSizeText)
            verify(upgradeMonitor.fileSizeText.indexOf("40960 ") === 0)
            verify(fileInfo.visible)
            compare(progress.text, "0%")

            upgradeRig.start()
            tryVerify(function() { return phase.visible && upgradeMonitor.phase === UpgradeMonitor.Writing }, processWaitMs)
            tryVerify(function() { return upgradeMonitor.progress > 0 }, processWaitMs)
            verify(phase.text.indexOf("40960") > 0, phase.text)
            verify(!fileInfo.visible)
            compare(progress.text, upgradeMonitor.progress + "%")

            // the operator closes the port mid-way: the failure, with what to do, stays
            upgradeRig.closePort()
            tryCompare(banner, "visible", true)
            compare(upgradeMonitor.result, UpgradeMonitor.Failed)
            compare(part(panel, "resultText").text, upgradeMonitor.resultText)
            verify(!phase.visible)
            verify(!part(panel, "progressRow").visible)
            // the versions are the closed link's: dimmed, marked, and why on hover
            var firmware = part(panel, "firmwareVersion")
            verify(upgradeMonitor.versionsNote !== "")
            compare(firmware.text, appBridge.tavoxFirmwareVersion + " " + upgradeMonitor.versionsNote)
            verify(!firmware.font.bold)
            mouseMove(firmware, 2, 2)
            tryCompare(firmware, "hintShown", true)
            verify(upgradeMonitor.versionsStaleHint !== "")
            // a new open ends the result: it may be another controller
            verify(upgradeRig.reopen())
            verify(!banner.visible)
            compare(progress.text, "0%")
            tryCompare(linkMonitor, "valuesLive", true, processWaitMs)
            tryCompare(firmware, "text", appBridge.tavoxFirmwareVersion, processWaitMs)
            verify(firmware.font.bold)
            verify(!firmware.hintShown)

            // a new file starts from nothing
            verify(upgradeRig.chooseFile(40960))
            verify(!banner.visible)
            verify(fileInfo.visible)
            compare(progress.text, "0%")

            // Cancel takes Start's place while flashing, asks first, and leaves the port open
            upgradeRig.start()
            var cancel = part(panel, "cancelUpgradeButton")
            tryVerify(function() { return cancel.visible && cancel.enabled }, processWaitMs)
            verify(!part(panel, "startButton").visible)
            mouseClick(cancel)
            var question = part(panel, "confirmDialog")
            verify(question.opened)
            verify(question.text.indexOf("控制器停留在引导程序中，直到一次升级完成") === 0, question.text)
            confirmByKeys()
            tryCompare(upgradeMonitor, "result", UpgradeMonitor.Cancelled)
            verify(banner.visible)
            verify(upgradeMonitor.resultText.indexOf("操作员取消") > 0, upgradeMonitor.resultText)
            verify(upgradeMonitor.resultText.indexOf("检查连接线") < 0, "no cable is to blame")
            compare(linkMonitor.blockedReason, "", "the port stays open")

            // the success banner follows the restarted controller once it answers
            verify(upgradeRig.chooseFile(4096))
            upgradeRig.start()
            tryCompare(upgradeMonitor, "result", UpgradeMonitor.Succeeded, processWaitMs)
            verify(banner.visible)
            var restarting = upgradeMonitor.resultText
            tryVerify(function() { return part(panel, "resultText").text !== restarting }, processWaitMs)
            verify(upgradeMonitor.resultText.indexOf(upgradeMonitor.currentFirmware) > 0)
            verify(upgradeRig.chooseFile(4096))
            compare(progress.text, "0%")
            verify(!banner.visible)
        }
    }
}
