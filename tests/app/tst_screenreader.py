#!/usr/bin/python3
"""The window as a screen reader (Orca) or GUI automation (dogtail) meets it
over AT-SPI: every control shown has a name, and an operator who only has the
accessibility actions connects to the simulated controller, reads the
parameters and switches the language.

    tst_screenreader.py BINARY_DIR
"""

import importlib.util
import os
import re
import shutil
import signal
import sys
import traceback

# Nothing is written beside the sources, which may not be writable.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from screenreader_session import Session, wait_until  # noqa: E402

SKIPPED = 77
NEEDED_PROGRAMS = ["Xvfb", "dbus-daemon", "xprop", "/usr/libexec/at-spi-bus-launcher", "/usr/libexec/at-spi2-registryd"]

CONTROL_ROLES = {"push button", "toggle button", "check box", "radio button", "combo box", "spin button",
                 "page tab", "slider", "text", "entry", "menu item"}
# Whatever the window shows, a name made only of these says nothing.
UNNAMED = re.compile(r"^[\s\W\d_]*$")
FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)
    return condition


def role_of(node):
    return node.getRoleName()


def states_of(node):
    return node.getState()


def is_showing(node):
    import pyatspi
    state = states_of(node)
    return state.contains(pyatspi.STATE_SHOWING) and state.contains(pyatspi.STATE_VISIBLE)


def walk(node, found=None):
    found = [] if found is None else found
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is None or not is_showing(child):
            continue
        found.append(child)
        walk(child, found)
    return found


def actions_of(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(index) for index in range(action.nActions)]


def press(node, name=None):
    action = node.queryAction()
    names = [action.getName(index) for index in range(action.nActions)]
    wanted = name or next((n for n in names if n in ("Press", "Toggle")), None)
    if wanted not in names:
        raise AssertionError("%s %r offers no %s action (it offers %s)" % (role_of(node), node.name, name or "press",
                                                                         names))
    action.doAction(names.index(wanted))


def value_of(node):
    try:
        return node.queryValue().currentValue
    except NotImplementedError:
        return None


def text_of(node):
    try:
        text = node.queryText()
    except NotImplementedError:
        return ""
    return text.getText(0, -1)


def is_control(node):
    import pyatspi
    role = role_of(node)
    if role in ("text", "entry"):
        return states_of(node).contains(pyatspi.STATE_EDITABLE)
    return role in CONTROL_ROLES


def shown_value(node):
    """What a box holds, as it tells it apart from its name; None when it does not tell."""
    if text_of(node):
        return text_of(node)
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is None:
            continue
        if text_of(child):
            return text_of(child)
        if role_of(child) == "label":
            return child.name
    return None


def meaningful_name(node):
    name = node.name.strip()
    if UNNAMED.match(name):
        return False
    # A box named by what it holds says nothing of what it is for; one that
    # does not give its value apart is named by it.
    if role_of(node) == "combo box":
        value = shown_value(node)
        return value is not None and name != value
    return True


def application(window_title="TAVOX"):
    import pyatspi

    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            if app is None:
                continue
            for frame in range(app.childCount):
                child = app.getChildAtIndex(frame)
                if child is not None and child.name == window_title:
                    return child
        return None
    return wait_until(find, "the window on the accessibility bus")


def controls(window):
    return [node for node in walk(window) if is_control(node)]


def find_one(window, role, *names):
    def search():
        for node in walk(window):
            if role_of(node) == role and node.name in names:
                return node
        return None
    return wait_until(search, "a %s named %s" % (role, " or ".join(names)))


def missing_tools():
    missing = [program for program in NEEDED_PROGRAMS if shutil.which(program) is None]
    # Only looked for: importing it would join whatever bus is about before ours.
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("pyatspi")
    return missing


def main():
    binary_dir = os.path.abspath(sys.argv[1])
    if missing_tools():
        print("SKIP: no " + ", ".join(missing_tools()) + " here (at-spi2-core, python3-pyatspi, dbus-daemon, x11-utils, xvfb)")
        return SKIPPED
    # Ended from outside, it still ends everything it started.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    session = Session(binary_dir)
    try:
        session.start_display()
        session.start_buses()
        port = session.start_simulator()
        session.start_tool(port)
        run_checks(application())
    except Exception:
        traceback.print_exc()
        print(session.log_of("tavox")[-2000:])
        print(session.tool_log()[-6000:])
        return 1
    finally:
        session.close()
    for failure in FAILURES:
        print("FAIL: " + failure)
    return 1 if FAILURES else 0


def has_state(node, state):
    return states_of(node).contains(state)


def find_one_matching(window, matches, what):
    def search():
        return next((node for node in walk(window) if matches(node)), None)
    return wait_until(search, what)


def check_every_control_named(window, language):
    import pyatspi
    shown = controls(window)
    check(len(shown) > 40, "%s: only %d controls shown" % (language, len(shown)))
    for node in shown:
        check(meaningful_name(node), "%s: %s %r (holding %r) has no name of its own"
              % (language, role_of(node), node.name, shown_value(node)))
        if not has_state(node, pyatspi.STATE_ENABLED):
            check(not has_state(node, pyatspi.STATE_SENSITIVE), "%s: %r is disabled yet sensitive" % (language, node.name))
            if role_of(node) == "push button":
                check(node.description.strip() != "", "%s: disabled %r does not say why" % (language, node.name))


def step_number_field(window, name):
    import pyatspi
    spin = find_one(window, "spin button", name)
    before = value_of(spin)
    increase = "Increase " + name if name.isascii() else "增大 " + name
    button = find_one(window, "push button", increase)
    press(button)
    wait_until(lambda: value_of(spin) == before + 1, "%r to step from %s to %s" % (name, before, before + 1))
    press(find_one(window, "push button", increase.replace("Increase", "Decrease").replace("增大", "减小")))
    wait_until(lambda: value_of(spin) == before, "%r to step back to %s" % (name, before))
    spin.queryAction().doAction(actions_of(spin).index("Increase"))
    wait_until(lambda: value_of(spin) == before + 1, "%r to step up by its own action" % name)
    check(has_state(spin, pyatspi.STATE_ENABLED), "%r is enabled" % name)


def connect(window):
    import pyatspi
    port = find_one(window, "combo box", "端口")
    check(shown_value(port).endswith("gimbal"), "the port box offers %r, not the simulator" % shown_value(port))
    serial_switch = find_one(window, "check box", "串口开关")
    check(not has_state(serial_switch, pyatspi.STATE_CHECKED), "the serial switch starts on")
    press(serial_switch, "Toggle")
    wait_until(lambda: has_state(serial_switch, pyatspi.STATE_CHECKED), "the serial switch to be on")
    wait_until(lambda: not has_state(port, pyatspi.STATE_ENABLED), "the port box to be disabled while connected")
    # The tool reads the parameters and the versions by itself once connected;
    # what the operator asks for next is told apart from those.
    pitch = find_one(window, "combo box", "俯仰")
    wait_until(lambda: shown_value(pitch) not in (None, "未读取"), "the parameters read on connecting")
    find_one_matching(window, lambda node: role_of(node) == "label" and node.name == "1.0.0.60",
                      "the firmware version queried on connecting")


def read_parameters(window):
    import pyatspi
    latest = find_one_matching(window, lambda node: role_of(node) == "notification", "the newest message")
    # From an empty log, whatever the connection reported already.
    press(find_one(window, "push button", "清除"))
    wait_until(lambda: latest.name == "", "the log to be cleared")
    read = find_one(window, "push button", "读取")
    wait_until(lambda: has_state(read, pyatspi.STATE_ENABLED), "Read to be enabled once connected")
    press(read)
    wait_until(lambda: latest.name.endswith("参数读取成功"), "the message that the parameters were read")
    pitch = find_one(window, "combo box", "俯仰")
    check(shown_value(pitch) != pitch.name, "the pitch channel box is named by its value")
    log = find_one(window, "list", "消息")
    entries = [log.getChildAtIndex(index).name for index in range(log.childCount)]
    check(latest.name in entries, "the newest message %r is not among the log's entries" % latest.name)
    speed = find_one(window, "spin button", "俯仰最大速度")
    check(not speed.description.startswith("未读取"), "the pitch speed still says it is not read")
    step_number_field(window, "俯仰最大速度")
    wait_until(lambda: find_one_matching(window, lambda node: role_of(node) == "label" and node.name.startswith("俯仰 ")
                                         and node.name.endswith("°"), "the pitch angle"), "the live pitch angle")
    check(len([node for node in walk(window) if role_of(node) == "label" and "通道值" in node.name]) >= 3,
          "the channel values are not shown")


def switch_language(window):
    import pyatspi
    english = find_one(window, "radio button", "English")
    chinese = find_one(window, "radio button", "中文")
    check(has_state(chinese, pyatspi.STATE_CHECKED), "Chinese is not the checked language")
    press(english)
    wait_until(lambda: has_state(english, pyatspi.STATE_CHECKED), "English to be the checked language")
    check(not has_state(chinese, pyatspi.STATE_CHECKED), "Chinese is still checked")
    find_one(window, "check box", "Serial Switch")
    find_one(window, "combo box", "Baud Rate")


def open_motor_service(window):
    import pyatspi
    press(find_one(window, "push button", "Motor service…"))
    linearisation = find_one(window, "push button", "Motor linearisation calibration")
    for motor in ("outer", "middle", "inner"):
        forward = find_one(window, "push button", "Forward test torque on the %s frame motor (hold)" % motor)
        check("Press" in actions_of(forward), "the %s motor's test torque offers no press" % motor)
        check(has_state(forward, pyatspi.STATE_ENABLED), "the %s motor's test torque is disabled while connected" % motor)
    check_every_control_named(window, "en, motor service")
    press(find_one(window, "push button", "Close (Esc)"))
    wait_until(lambda: not is_showing(linearisation), "the motor service drawer to close")


def run_checks(window):
    check_every_control_named(window, "zh")
    connect(window)
    read_parameters(window)
    switch_language(window)
    check_every_control_named(window, "en")
    open_motor_service(window)


if __name__ == "__main__":
    sys.exit(main())
