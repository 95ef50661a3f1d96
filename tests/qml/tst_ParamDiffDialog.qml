import QtQuick 2.12
import QtTest 1.12
import Tavox 1.0
import "../../qml/dialogs"

// The difference table over a stand-in for the restore: ticks go to the
// restore, writes that restart the controller are asked about first, and each
// row shows what the read-back found.
Item {
    id: scene
    width: 900
    height: 700

    ListModel {
        id: fakeRestore

        property int state: ParamRestore.Ready
        property string sourceName: "backup.json"
        property string statusText: "2 fields differ"
        property int checkedCount: 2
        property bool selectionRestartsController: false
        property int writes: 0
        property int clears: 0

        signal opened()

        function setChecked(row, checked) {
            setProperty(row, "checked", checked)
            checkedCount += checked ? 1 : -1
        }
        function writeSelected() { ++writes }
        function clear() { ++clears }
    }

    TavoxTestCase {
        name: "ParamDiffDialog"
        subject: Component { ParamDiffDialog { restore: fakeRestore } }

        function init() {
            appBridge.reset()
            appBridge.language = "en"
            fakeRestore.state = ParamRestore.Ready
            fakeRestore.checkedCount = 2
            fakeRestore.selectionRestartsController = false
            fakeRestore.writes = 0
            fakeRestore.clears = 0
            if (fakeRestore.count > 0)
                fakeRestore.remove(0, fakeRestore.count)
            fakeRestore.append(row("gimbal.pitchMaxSpeed", "Pitch Max Speed", 11, 60, "0..255"))
            fakeRestore.append(row("gimbal.pitchMaxTorque", "Pitch Torque", 8100, 8000, "1..30000"))
            fakeRestore.append(row("gimbal.rollMaxTorque", "Roll Torque", 10000, 40000, "1..30000"))
        }

        function row(field, label, device, file, range) {
            var low = Number(range.split("..")[0]), high = Number(range.split("..")[1])
            return { field: field, label: label, deviceText: String(device), fileText: String(file), range: range,
                     deviceInRange: device >= low && device <= high, fileInRange: file >= low && file <= high,
                     checked: file >= low && file <= high, verification: ParamRestore.NotChecked }
        }

        // Delegates are made when the list lays itself out.
        function rowPart(dialog, name) {
            tryVerify(function() { return findChild(dialog.contentItem, name) !== null }, 5000, name)
            return findChild(dialog.contentItem, name)
        }

        function openDialog() {
            var dialog = createTemporaryObject(subject, scene)
            verify(dialog !== null)
            fakeRestore.opened()
            tryCompare(dialog, "opened", true)
            return dialog
        }

        function test_rowsTicksAndWrite() {
            var dialog = openDialog()
            // A file's value outside its range: red, with the range, and its row cannot be ticked.
            var outside = findChild(rowPart(dialog, "rowFile_gimbal.rollMaxTorque"), "rangeNote")
            verify(outside.visible)
            compare(outside.text, "outside 1..30000")
            verify(!rowPart(dialog, "rowCheck_gimbal.rollMaxTorque").enabled)
            verify(!findChild(rowPart(dialog, "rowDevice_gimbal.rollMaxTorque"), "rangeNote").visible)
            var write = findChild(dialog.contentItem, "paramDiffWrite")
            compare(write.text, "Write selected (2)")

            // Named as the panel names the field, with the file's key beside it.
            compare(rowPart(dialog, "rowLabel_gimbal.pitchMaxTorque").text, "Pitch Torque")
            compare(rowPart(dialog, "rowKey_gimbal.pitchMaxTorque").text, "gimbal.pitchMaxTorque")

            mouseClick(rowPart(dialog, "rowCheck_gimbal.pitchMaxTorque"))
            compare(fakeRestore.get(1).checked, false)
            compare(write.text, "Write selected (1)")

            mouseClick(write)
            compare(fakeRestore.writes, 1)
        }

        function test_restartingWritesAreConfirmedFirst() {
            fakeRestore.selectionRestartsController = true
            var dialog = openDialog()
            mouseClick(findChild(dialog.contentItem, "paramDiffWrite"))
            compare(fakeRestore.writes, 0)
            var confirm = findChild(dialog, "confirmDialog")
            tryCompare(confirm, "opened", true)
            mouseClick(findChild(confirm.contentItem, "confirmAccept"))
            compare(fakeRestore.writes, 1)
        }

        function test_verificationShownPerRow() {
            var dialog = openDialog()
            fakeRestore.state = ParamRestore.Verified
            fakeRestore.setProperty(0, "verification", ParamRestore.Matches)
            fakeRestore.setProperty(1, "verification", ParamRestore.Differs)
            compare(rowPart(dialog, "rowVerification_gimbal.pitchMaxSpeed").text, "✓ verified")
            compare(rowPart(dialog, "rowVerification_gimbal.pitchMaxTorque").text, "✗ not taken")
            verify(!findChild(dialog.contentItem, "paramDiffWrite").enabled)
            appBridge.language = "zh"
            compare(findChild(dialog.contentItem, "paramDiffTitle").text, "恢复参数: backup.json")

            mouseClick(findChild(dialog.contentItem, "paramDiffClose"))
            tryCompare(dialog, "opened", false)
            verify(fakeRestore.clears > 0)
        }
    }
}
