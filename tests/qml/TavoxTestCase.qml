import QtQuick 2.12
import QtTest 1.12

TestCase {
    property Component subject
    // How long a test waits for the simulated controller to answer (ProcessWaitMs of the C++ tests): a wait
    // that succeeds returns as soon as it does, and a busy machine may take its time.
    readonly property int processWaitMs: 30000

    when: windowShown

    function init() { appBridge.reset() }

    function createSubject(properties) {
        var item = createTemporaryObject(subject, parent, properties)
        verify(item !== null, "item created")
        waitForRendering(item)
        return item
    }

    function part(item, name) {
        var found = findChild(item, name)
        verify(found !== null, "no item " + name)
        return found
    }

    function choose(combo, index) {
        combo.currentIndex = index
        combo.activated(index)
    }

    function callCount(name) {
        return appBridge.callNames().filter(function(called) { return called === name }).length
    }

    // A link's health as the service bar reads it: the port open, the link live and clean, but for `values`.
    function linkHealthWith(values) {
        var health = { portOpen: true, linkLost: false, sinceHeartbeatMs: 0, framesPerSecond: 0, bytesPerSecond: 0,
                       crcFailures: 0, headerSumFailures: 0, resyncBytes: 0 }
        for (var name in values)
            health[name] = values[name]
        return health
    }

    function setBridge(values) {
        for (var name in values)
            appBridge[name] = values[name]
    }

    function pressKeys(keys) {
        for (var i = 0; i < keys.length; ++i)
            keyClick(keys[i])
    }

    // The way to the action of an open question: away from Cancel, then Enter.
    function confirmByKeys() { pressKeys([Qt.Key_Tab, Qt.Key_Return]) }

    function typeInto(spin, keys) {
        var field = part(spin, "spinField")
        mouseClick(field)
        field.selectAll()
        pressKeys(keys)
    }
}
