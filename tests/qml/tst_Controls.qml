import QtQuick 2.12
import QtTest 1.12
import Tavox 1.0
import "../../qml/controls"
import "../../qml/dialogs"
import "../../qml/panels"

Item {
    id: scene
    width: 400
    height: 400

    property string language: "zh"

    TavoxTestCase {
        name: "TavoxSpinInput"
        subject: Component { TavoxSpinInput { width: 240; height: 44 } }

        function test_typing_data() {
            return [
                { tag: "letters dropped", keys: "1a2", from: 0, to: 255, typed: "12", value: 12 },
                { tag: "leading zeros", keys: "007", from: 0, to: 255, typed: "007", value: 7, shown: "7" },
                { tag: "emptied shows the value again", keys: [Qt.Key_Backspace], from: 3, to: 99, typed: "", value: 50,
                  shown: "50" },
                { tag: "focus loss finishes too", keys: "42", from: 1, to: 100, typed: "42", value: 42, blur: true }
            ]
        }

        function test_typing(data) {
            var spin = createSubject({ value: 50, from: data.from, to: data.to })
            var input = part(spin, "spinField")
            typeInto(spin, data.keys)
            compare(input.text, data.typed)
            compare(spin.value, 50, "value while typing")
            if (data.blur)
                input.focus = false
            else
                keyClick(Qt.Key_Return)
            compare(spin.value, data.value)
            compare(input.text, data.shown === undefined ? String(data.value) : data.shown)
            verify(!spin.invalid)
        }

        function test_outOfRangeIsShownNotClamped_data() {
            return [
                { tag: "below", keys: "0", from: 1, to: 30000, error: "超出范围，允许 1–30000" },
                { tag: "above a small range", keys: "300", from: 0, to: 255, error: "超出范围，允许 0–255" }
            ]
        }

        function test_outOfRangeIsShownNotClamped(data) {
            var spin = createSubject({ value: 50, from: data.from, to: data.to })
            typeInto(spin, data.keys)
            verify(spin.invalid)
            compare(spin.errorText, data.error)
            tryCompare(spin.errorPopup, "visible", true)
            keyClick(Qt.Key_Return)
            compare(spin.value, 50)
            compare(part(spin, "spinField").text, data.keys, "kept as typed")
            mouseClick(part(spin, "spinUp"))
            compare(spin.value, 51)
            verify(!spin.invalid)
            tryCompare(spin.errorPopup, "visible", false)
        }

        // act: what steps the value, from `value` in 0–30000 unless the row says otherwise.
        function test_stepping_data() {
            function click(name) { return function(spin) { mouseClick(part(spin, name)) } }
            function key(k) { return function(spin) { mouseClick(part(spin, "spinField")); keyClick(k) } }
            return [
                { tag: "up", value: 5, to: 10, act: click("spinUp"), expected: 6 },
                { tag: "up by step clamps to to", value: 8, to: 10, step: 5, act: click("spinUp"), expected: 10 },
                { tag: "down below from clamps", value: 3, from: 1, step: 5, act: click("spinDown"), expected: 1 },
                { tag: "a double click is two", value: 100,
                  act: function(spin) { mouseDoubleClickSequence(part(spin, "spinUp")) }, expected: 102 },
                { tag: "a reader presses a button", value: 100,
                  act: function(spin) { part(spin, "spinDown").Accessible.pressAction() }, expected: 99 },
                { tag: "a reader steps the field", value: 100,
                  act: function(spin) { spin.Accessible.increaseAction() }, expected: 101 },
                { tag: "three notches over the focused field", value: 101, expected: 98,
                  act: function(spin) {
                      mouseClick(part(spin, "spinField"))
                      mouseWheel(spin, spin.width / 3, spin.height / 2, 0, -360)
                  } },
                { tag: "Up", value: 100, act: key(Qt.Key_Up), expected: 101 },
                { tag: "Down", value: 100, act: key(Qt.Key_Down), expected: 99 },
                { tag: "Page Up", value: 100, act: key(Qt.Key_PageUp), expected: 110 },
                { tag: "Page Down", value: 100, act: key(Qt.Key_PageDown), expected: 90 }
            ]
        }

        function test_stepping(data) {
            var spin = createSubject({ value: data.value, from: data.from || 0, to: data.to || 30000, step: data.step || 1 })
            data.act(spin)
            compare(spin.value, data.expected)
            compare(part(spin, "spinField").text, String(data.expected))
        }

        function test_stepButtonsAreNamedForAReader() {
            var spin = createSubject({ value: 100, from: 1, to: 30000 })
            spin.Accessible.name = "Pitch Torque"
            compare(part(spin, "spinDown").Accessible.name, "减小 Pitch Torque")
            compare(spin.Accessible.description, "范围 1–30000")
        }

        function test_holdRepeatsFaster() {
            var spin = createSubject({ value: 1, from: 1, to: 30000 })
            var up = part(spin, "spinUp")
            var timer = findChild(up, "repeatTimer")
            mousePress(up)
            compare(spin.value, 2, "the press itself steps")
            tryVerify(function() { return spin.value > 200 }, 30000)
            mouseRelease(up)
            verify(!timer.running)

            // a small range never jumps by more than a fiftieth of it at a time
            spin.to = 255
            spin.value = 0
            var previous = 0
            var largest = 0
            spin.valueChanged.connect(function() {
                largest = Math.max(largest, spin.value - previous)
                previous = spin.value
            })
            mousePress(up)
            tryCompare(spin, "value", 255, 30000)
            mouseRelease(up)
            verify(largest <= 5, "largest step " + largest)
        }

    }

    TavoxTestCase {
        name: "Keyboard"
        subject: Component {
            Row {
                spacing: 10
                TavoxButton { objectName: "first"; text: "One" }
                TavoxButton { objectName: "second"; text: "Two" }
                ToggleSwitch { objectName: "toggle" }
                TavoxCombo { objectName: "combo"; width: 120; height: 36; model: ["A", "B"] }
            }
        }

        SignalSpy { id: clickedSpy; signalName: "clicked" }
        SignalSpy { id: switchSpy; signalName: "toggled" }

        function test_keysActivate() {
            var row = createSubject()
            var first = part(row, "first")
            var second = part(row, "second")
            var toggle = part(row, "toggle")
            var combo = part(row, "combo")
            mouseClick(first)
            verify(!part(first, "focusRing").visible)

            keyClick(Qt.Key_Tab)
            clickedSpy.target = second
            keyClick(Qt.Key_Return)
            keyClick(Qt.Key_Space)
            compare(clickedSpy.count, 2)

            keyClick(Qt.Key_Tab)
            switchSpy.target = toggle
            keyClick(Qt.Key_Space)
            keyClick(Qt.Key_Return)
            compare(switchSpy.count, 2)
            verify(!toggle.checked)

            keyClick(Qt.Key_Tab)
            keyClick(Qt.Key_Return)
            tryCompare(combo.popup, "opened", true)
            keyClick(Qt.Key_Down)
            keyClick(Qt.Key_Return)
            tryCompare(combo.popup, "visible", false)
            compare(combo.currentText, "B")

            toggle.checked = true
            toggle.enabled = false
            mouseClick(toggle)
            verify(toggle.checked)
            compare(switchSpy.count, 2, "only the operator's changes are told")
        }
    }

    // The ring stands out at 3:1 or more (WCAG's contrast ratio) against
    // every surface a focused control sits on or shows, its outer line
    // against the card and the control, its inner line against the outer.
    TavoxTestCase {
        name: "FocusRing"

        function channel(c) { return c <= 0.03928 ? c / 12.92 : Math.pow((c + 0.055) / 1.055, 2.4) }
        function luminance(colour) {
            return 0.2126 * channel(colour.r) + 0.7152 * channel(colour.g) + 0.0722 * channel(colour.b)
        }
        function contrast(a, b) {
            var la = luminance(a), lb = luminance(b)
            return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05)
        }

        function test_ringColours_data() {
            return [
                { tag: "card", surface: Theme.cardBackground },
                { tag: "window", surface: Theme.windowBackground },
                { tag: "field", surface: Theme.fieldBackground },
                { tag: "blue button", surface: Theme.primary },
                { tag: "pressed button", surface: Theme.primaryPressed },
                { tag: "switch off", surface: Theme.textPlaceholder },
                { tag: "inner line", surface: Theme.focusRingInner }
            ]
        }

        function test_ringColours(data) {
            var ratio = contrast(Theme.focusRing, data.surface)
            verify(ratio >= 3, data.tag + ": " + ratio.toFixed(2))
        }
    }

    TavoxTestCase {
        name: "LogResizeHandle"
        subject: Component {
            LogResizeHandle { width: 300; logHeight: 200; minimumLogHeight: 100; maximumLogHeight: 400 }
        }

        SignalSpy { id: keptSpy; signalName: "kept" }

        function test_dragPastTheBottomKeepsTheMinimum() {
            var handle = createSubject()
            keptSpy.target = handle
            var y = handle.height / 2
            mousePress(handle, 150, y)
            mouseMove(handle, 150, y + 900)
            mouseRelease(handle, 150, y + 900)
            compare(keptSpy.count, 1)
            compare(keptSpy.signalArguments[0][0], 100)
        }
    }

    TavoxTestCase {
        name: "ConfirmDialog"
        subject: Component {
            Row {
                id: asking
                property bool third: false
                property string answer
                TavoxButton {
                    objectName: "asker"
                    text: "Ask"
                    onClicked: question.ask("Sure?", "", "Yes", function() { asking.answer = "yes" },
                                            asking.third ? "Other" : "", function() { asking.answer = "other" })
                }
                ConfirmDialog { id: question }
            }
        }

        function test_answerByKeys_data() {
            return [
                { tag: "Enter at once cancels", keys: [Qt.Key_Return], focused: "confirmCancel", answer: "" },
                { tag: "Tab then Enter confirms", keys: [Qt.Key_Tab, Qt.Key_Return], focused: "confirmAccept", answer: "yes" },
                { tag: "Right then Space confirms", keys: [Qt.Key_Right, Qt.Key_Space], focused: "confirmAccept",
                  answer: "yes" },
                { tag: "Left goes back", keys: [Qt.Key_Right, Qt.Key_Left, Qt.Key_Return], focused: "confirmCancel",
                  answer: "" },
                { tag: "Escape cancels", keys: [Qt.Key_Tab, Qt.Key_Escape], focused: "confirmAccept", answer: "" },
                { tag: "third answer beside Cancel", third: true, keys: [Qt.Key_Tab, Qt.Key_Space],
                  focused: "confirmAlternative", answer: "other" },
                { tag: "Shift+Tab goes round", third: true, keys: [Qt.Key_Backtab, Qt.Key_Return],
                  focused: "confirmAccept", answer: "yes" }
            ]
        }

        function test_answerByKeys(data) {
            var row = createSubject({ third: data.third === true })
            var asker = part(row, "asker")
            var dialog = part(row, "confirmDialog")
            mouseClick(asker)
            tryCompare(dialog, "opened", true)
            for (var i = 0; i + 1 < data.keys.length; ++i)
                keyClick(data.keys[i])
            verify(part(part(dialog.contentItem, data.focused), "focusRing").visible)
            keyClick(data.keys[data.keys.length - 1])
            tryCompare(dialog, "visible", false)
            compare(row.answer, data.answer)
            verify(asker.visualFocus, "back, with its ring")
        }
    }

    TavoxTestCase {
        name: "HintToolTip"
        subject: Component {
            Flickable {
                width: 300
                height: 200
                contentHeight: 600
                TavoxSpinInput { y: 20; width: 200; hint: "Written; a read will confirm it" }
            }
        }

        function test_hintGivesWay_data() {
            return [ { tag: "typing", action: "type" }, { tag: "wheel over the hint", action: "wheel" },
                     { tag: "page scrolled", action: "scroll" } ]
        }

        function test_hintGivesWay(data) {
            var page = createSubject()
            var spin = page.contentItem.children[0]
            var tip = part(spin, "hintToolTip")
            mouseMove(spin, 2, 2)
            tryCompare(tip, "opened", true)
            verify(tip.y >= spin.height, "below the value")
            if (data.action === "type") {
                part(spin, "spinField").forceActiveFocus()
                keyClick(Qt.Key_5)
            } else if (data.action === "wheel") {
                mouseWheel(tip.contentItem, 5, 5, 0, -120)
                tryVerify(function() { return page.contentY > 0 }, 1000, "the page beneath scrolled")
            } else {
                page.contentY = 10
            }
            tryCompare(tip, "visible", false)
        }
    }

    TavoxTestCase {
        name: "SteadyNumber"
        subject: Component { SteadyNumber { font.pixelSize: 13 } }

        function shown(number) { return number.children[0] }

        function test_digitsKeepTheirPlaces() {
            var number = createSubject({ text: "11.11°" })
            var width = number.implicitWidth
            var text = shown(number)
            compare(text.x + text.width, number.width)
            number.text = "-147.90°"
            waitForRendering(number)
            compare(number.implicitWidth, width)
            verify(text.contentWidth <= number.width)
        }
    }

    TavoxTestCase {
        name: "TavoxCombo"
        subject: Component {
            TavoxCombo {
                width: 200
                height: 36
                model: scene.language === "zh" ? ["相机下置", "相机上置"] : ["Camera Bottom", "Camera Top"]
            }
        }

        function init() { scene.language = "zh" }

        function test_indexOutsideModelShowsNothing_data() {
            return [{ tag: "past the end", index: 4 }, { tag: "none", index: -1 }]
        }

        function test_indexOutsideModelShowsNothing(data) {
            var combo = createSubject({ currentIndex: 1 })
            combo.currentIndex = data.index
            compare(combo.contentItem.text, "")
        }

        function test_keysOpenTheList_data() {
            return [
                { tag: "Alt+Down", key: Qt.Key_Down, modifiers: Qt.AltModifier, editable: false, opens: true },
                { tag: "F4", key: Qt.Key_F4, modifiers: Qt.NoModifier, editable: false, opens: true },
                { tag: "Space", key: Qt.Key_Space, modifiers: Qt.NoModifier, editable: false, opens: true },
                { tag: "Alt+Down, editable", key: Qt.Key_Down, modifiers: Qt.AltModifier, editable: true, opens: true },
                { tag: "F4, editable", key: Qt.Key_F4, modifiers: Qt.NoModifier, editable: true, opens: true },
                { tag: "Space, editable, is typed", key: Qt.Key_Space, modifiers: Qt.NoModifier, editable: true, opens: false }
            ]
        }

        // Opened without stepping to another entry; Escape closes it as it was.
        function test_keysOpenTheList(data) {
            var combo = createSubject({ currentIndex: 1, editable: data.editable })
            combo.forceActiveFocus(Qt.TabFocusReason)
            keyClick(data.key, data.modifiers)
            if (data.opens)
                tryCompare(combo.popup, "opened", true)
            else
                verify(combo.editText.indexOf(" ") >= 0, combo.editText)
            verify(combo.popup.visible === data.opens)
            keyClick(Qt.Key_Escape)
            tryCompare(combo.popup, "visible", false)
            compare(combo.currentIndex, 1)
        }

        // The fix for Qt's reset to the first entry whenever the model is replaced.
        function test_retranslatedListKeepsTheChoice() {
            var combo = createSubject({ currentIndex: 1 })
            scene.language = "en"
            compare(combo.contentItem.text, "Camera Top")
            mouseClick(combo)
            tryCompare(combo.popup, "opened", true)
            var list = combo.popup.contentItem
            scene.language = "zh"
            tryVerify(function() { var item = list.itemAt(10, 10); return item && item.text === "相机下置" })
            mouseClick(list.itemAt(10, 10))
            tryCompare(combo.popup, "visible", false)
            compare(combo.contentItem.text, "相机下置")
        }
    }

    TavoxTestCase {
        name: "StatusLine"
        subject: Component { StatusLine { action: "version"; width: 120 } }

        function test_cutOutcomeIsWholeOnHover() {
            var line = createSubject()
            var outcome = "Failed: no reply from the controller within 5 s"
            line.text = outcome
            tryVerify(function() { return line.truncated })
            compare(line.Accessible.name, outcome)
            mouseMove(line, 5, 5)
            tryCompare(line, "wholeTextShown", true)
            line.text = "Done"
            tryCompare(line, "wholeTextShown", false)
        }
    }
}
