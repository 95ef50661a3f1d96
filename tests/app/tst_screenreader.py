#!/usr/bin/python3
"""The window as a screen reader (Orca) or GUI automation (dogtail) meets it
over AT-SPI: every control shown has a name, and an operator who only has the
accessibility actions connects to the simulated controller, reads the
parameters and switches the language.

It runs on a private desktop: an X server, a session bus with the
accessibility bus and its registry, the simulated controller and the tool.
A test killed outright takes its children with it, and a watchman ends what
they started in turn.

    tst_screenreader.py BINARY_DIR
"""

import ctypes
import importlib.util
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

SKIPPED = 77
NEEDED_PROGRAMS = ["Xvfb", "dbus-daemon", "xprop", "/usr/libexec/at-spi-bus-launcher", "/usr/libexec/at-spi2-registryd"]
PR_SET_PDEATHSIG = 1
PR_SET_CHILD_SUBREAPER = 36
WAIT_SECONDS = 60.0

CONTROL_ROLES = {"push button", "toggle button", "check box", "radio button", "combo box", "spin button",
                 "page tab", "slider", "text", "entry", "menu item"}
# Whatever the window shows, a name made only of these says nothing.
UNNAMED = re.compile(r"^[\s\W\d_]*$")
FAILURES = []

_libc = ctypes.CDLL(None, use_errno=True)



def wait_until(condition, what, timeout=WAIT_SECONDS, interval=0.05):
    """Waits until condition() gives a true value and returns it; raises naming `what` when it never does."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError("gave up waiting for " + what)
        time.sleep(interval)


def _start_watchman(marker):
    """A process that outlives this one only to end every process of the session: those with `marker` in their
    environment, the children of our children among them. It does so when the test ends, however it ends."""
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(write_end)
        os.setsid()
        os.read(read_end, 1)
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/environ" % entry, "rb") as environ:
                    if int(entry) != os.getpid() and marker in environ.read().split(b"\0"):
                        os.kill(int(entry), signal.SIGKILL)
            except OSError:
                continue
        os._exit(0)
    os.close(read_end)
    return write_end


class Session:
    def __init__(self, binary_dir):
        self.binary_dir = binary_dir
        # Orphans of our children (the accessibility bus's own daemon) stay ours to end.
        _libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        self.dir = tempfile.mkdtemp(prefix="tavox-a11y-")
        marker = "TAVOX_A11Y_SESSION=" + self.dir
        self.watchman_pipe = _start_watchman(marker.encode())
        self.env = {
            "TAVOX_A11Y_SESSION": self.dir,
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.dir,
            "XDG_CONFIG_HOME": os.path.join(self.dir, "config"),
            "XDG_DATA_HOME": os.path.join(self.dir, "data"),
            "XDG_CACHE_HOME": os.path.join(self.dir, "cache"),
            "XDG_RUNTIME_DIR": self.dir,
            "LC_ALL": "C.UTF-8",
        }

    def _start(self, arguments, stdout=subprocess.DEVNULL, pass_fds=(), env=None):
        log = open(os.path.join(self.dir, os.path.basename(arguments[0]) + ".log"), "wb")
        process = subprocess.Popen(arguments, stdout=stdout, stderr=log, pass_fds=pass_fds,
                                   env=env or self.env, cwd=self.dir,
                                   preexec_fn=lambda: _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0))
        log.close()
        return process

    def log_of(self, name):
        try:
            with open(os.path.join(self.dir, name + ".log"), errors="replace") as log:
                return log.read()
        except OSError:
            return ""

    def start_display(self):
        read_end, write_end = os.pipe()
        self._start(["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
                     "-screen", "0", "1600x1000x24"], pass_fds=(write_end,))
        os.close(write_end)
        with os.fdopen(read_end) as display:
            number = display.readline().strip()
        if not number:
            raise RuntimeError("Xvfb gave no display: " + self.log_of("Xvfb"))
        self.env["DISPLAY"] = ":" + number

    def start_buses(self):
        bus = self._start(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE)
        address = bus.stdout.readline().decode().strip()
        if not address:
            raise RuntimeError("the session bus did not start: " + self.log_of("dbus-daemon"))
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        os.environ.update(self.env)

        from gi.repository import Gio, GLib
        session = Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)

        def has_owner(connection, name):
            reply = connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                         "NameHasOwner", GLib.Variant("(s)", (name,)), None,
                                         Gio.DBusCallFlags.NONE, -1, None)
            return reply.unpack()[0]

        # Asking for a name before it has an owner would start a second copy.
        self._start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        wait_until(lambda: has_owner(session, "org.a11y.Bus"), "the accessibility bus launcher")
        reply = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None, None,
                                  Gio.DBusCallFlags.NONE, -1, None)
        a11y_address = reply.unpack()[0]
        a11y = Gio.DBusConnection.new_for_address_sync(
            a11y_address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        self._start(["/usr/libexec/at-spi2-registryd"])
        wait_until(lambda: has_owner(a11y, "org.a11y.atspi.Registry"), "the accessibility registry")
        # Qt finds the accessibility bus reliably only on the root window.
        subprocess.run(["xprop", "-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS", a11y_address],
                       env=self.env, check=True)

    def start_simulator(self):
        link = os.path.join(self.dir, "gimbal")
        sim = self._start([os.path.join(self.binary_dir, "tavox-sim"), "--link", link], stdout=subprocess.PIPE)
        if not sim.stdout.readline():
            raise RuntimeError("the simulator did not start: " + self.log_of("tavox-sim"))
        return link

    def start_tool(self, port):
        # Its settings and logs live beside the program: a copy of its own keeps them here.
        program = os.path.join(self.dir, "tavox")
        shutil.copy(os.path.join(self.binary_dir, "tavox"), program)
        os.symlink(os.path.join(self.binary_dir, "lib"), os.path.join(self.dir, "lib"))
        # No language is stored: a Chinese locale starts it in Chinese, as the checks expect.
        env = dict(self.env, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   TAVOX_EXTRA_PORTS=port, LC_ALL="zh_CN.UTF-8")
        self.tool = self._start([program], env=env)

    def close(self):
        # Asked first, the tool lets go of the port as it does for a user who logs out; killed, it would leave its
        # lock file behind, which another user's tool may not remove.
        tool = getattr(self, "tool", None)
        if tool is not None and tool.poll() is None:
            tool.terminate()
            try:
                tool.wait(timeout=WAIT_SECONDS / 4)
            except subprocess.TimeoutExpired:
                pass
        os.close(self.watchman_pipe)
        while True:
            try:
                os.waitpid(-1, 0)
            except ChildProcessError:
                break
        shutil.rmtree(self.dir, ignore_errors=True)


def check(condition, message):
    if not condition:
        FAILURES.append(message)


def has_state(node, state):
    return node.getState().contains(state)


def is_showing(node):
    import pyatspi
    return has_state(node, pyatspi.STATE_SHOWING) and has_state(node, pyatspi.STATE_VISIBLE)


def walk(node):
    for child in filter(None, (node.getChildAtIndex(index) for index in range(node.childCount))):
        if is_showing(child):
            yield child
            yield from walk(child)


def actions_of(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(index) for index in range(action.nActions)]


def press(node, name=None):
    names = actions_of(node)
    wanted = name or next((n for n in names if n in ("Press", "Toggle")), None)
    if wanted not in names:
        raise AssertionError("%r offers no %s action (it offers %s)" % (node.name, name or "press", names))
    node.queryAction().doAction(names.index(wanted))


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except NotImplementedError:
        return ""


def is_control(node):
    import pyatspi
    if node.getRoleName() in ("text", "entry"):
        return has_state(node, pyatspi.STATE_EDITABLE)
    return node.getRoleName() in CONTROL_ROLES


def shown_value(node):
    """What a box holds, as it tells it apart from its name; None when it does not tell."""
    for part in [node] + [node.getChildAtIndex(index) for index in range(node.childCount)]:
        if part is not None and text_of(part):
            return text_of(part)
        if part is not None and part is not node and part.getRoleName() == "label":
            return part.name
    return None


def meaningful_name(node):
    if UNNAMED.match(node.name.strip()):
        return False
    # A box named by what it holds says nothing of what it is for; one that
    # does not give its value apart is named by it.
    if node.getRoleName() == "combo box":
        value = shown_value(node)
        return value is not None and node.name != value
    return True


def application():
    import pyatspi

    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in filter(None, (desktop.getChildAtIndex(index) for index in range(desktop.childCount))):
            for child in filter(None, (app.getChildAtIndex(index) for index in range(app.childCount))):
                if child.name == "TAVOX":
                    return child
        return None
    return wait_until(find, "the window on the accessibility bus")


def find_one_matching(window, matches, what):
    return wait_until(lambda: next((node for node in walk(window) if matches(node)), None), what)


def find_one(window, role, *names):
    return find_one_matching(window, lambda node: node.getRoleName() == role and node.name in names,
                             "a %s named %s" % (role, " or ".join(names)))


def panel_of(node):
    """The nearest panel with a name (a card named by its title), or the window."""
    parent = node.parent
    while parent.getRoleName() not in ("panel", "frame") or not parent.name:
        parent = parent.parent
    return parent.name


def check_every_control_named(window, language):
    import pyatspi
    shown = [node for node in walk(window) if is_control(node)]
    check(len(shown) > 40, "%s: only %d controls shown" % (language, len(shown)))
    # The text field of a combo or spin box is that box.
    named = [(panel_of(node), node.name) for node in shown if node.name != node.parent.name]
    for panel, name in {entry for entry in named if named.count(entry) > 1}:
        check(False, "%s: %d controls named %r in panel %r" % (language, named.count((panel, name)), name, panel))
    for node in shown:
        check(meaningful_name(node), "%s: %s %r (holding %r) has no name of its own"
              % (language, node.getRoleName(), node.name, shown_value(node)))
        if not has_state(node, pyatspi.STATE_ENABLED):
            check(not has_state(node, pyatspi.STATE_SENSITIVE), "%s: %r is disabled yet sensitive" % (language, node.name))
            if node.getRoleName() == "push button":
                check(node.description.strip() != "", "%s: disabled %r does not say why" % (language, node.name))


def step_number_field(window, name):
    spin = find_one(window, "spin button", name)
    value = lambda: spin.queryValue().currentValue
    before = value()
    press(find_one(window, "push button", "增大 " + name))
    wait_until(lambda: value() == before + 1, "%r to step from %s to %s" % (name, before, before + 1))
    press(find_one(window, "push button", "减小 " + name))
    wait_until(lambda: value() == before, "%r to step back to %s" % (name, before))
    press(spin, "Increase")
    wait_until(lambda: value() == before + 1, "%r to step up by its own action" % name)


def connect(window):
    import pyatspi
    port = find_one(window, "combo box", "端口")
    check(shown_value(port).endswith("gimbal"), "the port box offers %r, not the simulator" % shown_value(port))
    serial_switch = find_one(window, "check box", "串口开关")
    press(serial_switch, "Toggle")
    wait_until(lambda: has_state(serial_switch, pyatspi.STATE_CHECKED), "the serial switch to be on")
    wait_until(lambda: not has_state(port, pyatspi.STATE_ENABLED), "the port box to be disabled while connected")
    # The tool reads the parameters and the versions by itself once connected;
    # what the operator asks for next is told apart from those.
    pitch = find_one(window, "combo box", "SBUS 俯仰通道")
    wait_until(lambda: shown_value(pitch) not in (None, "未读取"), "the parameters read on connecting")
    find_one(window, "label", "1.0.0.60")


def read_parameters(window):
    import pyatspi
    latest = find_one_matching(window, lambda node: node.getRoleName() == "notification", "the newest message")
    # From an empty log, whatever the connection reported already.
    press(find_one(window, "push button", "清除"))
    wait_until(lambda: latest.name == "", "the log to be cleared")
    read = find_one(window, "push button", "读取 SBUS 通道")
    wait_until(lambda: has_state(read, pyatspi.STATE_ENABLED), "Read to be enabled once connected")
    press(read)
    wait_until(lambda: latest.name.endswith("参数读取成功"), "the message that the parameters were read")
    log = find_one(window, "list", "消息")
    # The list takes up a burst of entries a few times a second; the notification is at once.
    entries = lambda: [log.getChildAtIndex(index).name for index in range(log.childCount)]
    wait_until(lambda: latest.name in entries(), "the newest message %r among the log's entries" % latest.name)
    speed = find_one(window, "spin button", "俯仰最大速度")
    check(not speed.description.startswith("未读取"), "the pitch speed still says it is not read")
    step_number_field(window, "俯仰最大速度")
    find_one_matching(window, lambda node: node.getRoleName() == "label" and re.match("俯仰 .*°$", node.name),
                      "the live pitch angle")
    check(len([node for node in walk(window) if node.getRoleName() == "label" and "通道值" in node.name]) >= 3,
          "the channel values are not shown")


def write_pwm_pitch_channel(window, zh, channel):
    """Chooses the PWM pitch channel from the box's list, writes it, answers the questions and sees it read back."""
    import pyatspi
    text = lambda cn, en: cn if zh else en
    press(find_one(window, "page tab", text("PWM通道配置", "PWM Channels")))
    box = find_one(window, "combo box", text("PWM 俯仰通道", "PWM pitch channel"))
    press(box, "ShowMenu")
    choice = find_one(window, "list item", channel)
    check(not has_state(choice, pyatspi.STATE_SELECTED) and has_state(choice, pyatspi.STATE_SELECTABLE),
          "%r is shown chosen before it is, or cannot be chosen" % channel)
    press(choice)
    wait_until(lambda: shown_value(box) == channel and not is_showing(choice), "%s to be chosen" % channel)
    press(find_one(window, "push button", text("写入 PWM 通道", "Write PWM channels")))
    if channel == "PWM3":
        # The centre is on PWM3 too.
        press(find_one(window, "push button", text("仍然写入", "Write anyway")))
    press(find_one(window, "push button", text("写入并重启", "Write and restart")))
    # Marked until the controller's own values confirm it.
    wait_until(lambda: box.description == "" and shown_value(box) == channel, "the controller to confirm %s" % channel)


def grow_the_log(window):
    divider = find_one(window, "slider", "Message log height")
    height = divider.queryValue()
    before = height.currentValue
    check(height.minimumValue <= before < height.maximumValue,
          "the log's height %s is not within %s..%s" % (before, height.minimumValue, height.maximumValue))
    press(divider, "Increase")
    wait_until(lambda: height.currentValue > before, "the log to grow from %s" % before)


def switch_language(window):
    import pyatspi
    english = find_one(window, "radio button", "English")
    chinese = find_one(window, "radio button", "中文")
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


def main():
    missing = [program for program in NEEDED_PROGRAMS if shutil.which(program) is None]
    # Only looked for: importing it would join whatever bus is about before ours.
    if importlib.util.find_spec("pyatspi") is None:
        missing.append("pyatspi")
    if missing:
        print("SKIP: no " + ", ".join(missing) + " here (at-spi2-core, python3-pyatspi, dbus-daemon, x11-utils, xvfb)")
        return SKIPPED
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    session = Session(os.path.abspath(sys.argv[1]))
    try:
        session.start_display()
        session.start_buses()
        session.start_tool(session.start_simulator())
        window = application()
        check_every_control_named(window, "zh")
        connect(window)
        read_parameters(window)
        write_pwm_pitch_channel(window, True, "PWM3")
        switch_language(window)
        check_every_control_named(window, "en")
        write_pwm_pitch_channel(window, False, "PWM1")
        grow_the_log(window)
        open_motor_service(window)
    except Exception:
        traceback.print_exc()
        print(session.log_of("tavox")[-6000:])
        return 1
    finally:
        session.close()
    for failure in FAILURES:
        print("FAIL: " + failure)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
