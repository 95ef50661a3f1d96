import QtQuick 2.12

// Asked before something that would leave the window's unwritten edits
// behind: Write writes them all and then goes on, Discard throws them away
// and goes on, Cancel leaves everything as it was. A write that fails does
// not go on: its reason is in the message log and the edits stay.
ConfirmDialog {
    id: question

    // Set while the edits are written for the step asked about.
    property var proceedAfterWrite: null

    // `title` and `lead` functions returning the question and what comes before the edits; `proceed` what
    // follows an answer other than Cancel.
    function askBefore(title, lead, writeText, proceed) {
        ask(title,
            function() { return (lead ? lead() + "\n" : "") + unsavedEdits.details },
            writeText,
            function() {
                question.proceedAfterWrite = proceed
                unsavedEdits.writeAll()
            },
            function() { return question.zhText("放弃", "Discard") },
            function() {
                unsavedEdits.discard()
                if (proceed)
                    proceed()
            })
    }

    objectName: "unsavedQuestion"

    Connections {
        target: unsavedEdits
        function onWritten() {
            var proceed = question.proceedAfterWrite
            question.proceedAfterWrite = null
            if (proceed)
                proceed()
        }
        function onWriteFailed() { question.proceedAfterWrite = null }
    }
}
