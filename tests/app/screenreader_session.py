"""A private desktop for the window, as a screen reader meets it: an X server,
a session bus with the accessibility bus and its registry, the simulated
controller and the tool. close() ends them all; a test killed outright takes
its children with it, and a watchman ends what they started in turn."""

import ctypes
import os
import shutil
import signal
import subprocess
import tempfile
import time

PR_SET_PDEATHSIG = 1
PR_SET_CHILD_SUBREAPER = 36
WAIT_SECONDS = 60.0

_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    # A test killed outright takes its children with it.
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


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


def _marked_processes(marker):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as environ:
                if marker in environ.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            continue
    return found


def _kill_all(pids):
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def _start_watchman(marker):
    """A process that outlives this one only to end every process of the session."""
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(write_end)
        os.setsid()
        os.read(read_end, 1)  # returns when the test has ended, however it ended
        _kill_all(_marked_processes(marker))
        os._exit(0)
    os.close(read_end)
    return pid, write_end


def _descendants(pid):
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(parent, []).append(int(entry))
    found, queue = [], [pid]
    while queue:
        for child in children.get(queue.pop(), []):
            found.append(child)
            queue.append(child)
    return found


class Session:
    def __init__(self, binary_dir):
        self.binary_dir = binary_dir
        # Orphans of our children (the accessibility bus's own daemon) stay ours to end.
        _libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        self.dir = tempfile.mkdtemp(prefix="tavox-a11y-")
        marker = "TAVOX_A11Y_SESSION=" + self.dir
        self.watchman, self.watchman_pipe = _start_watchman(marker.encode())
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
        self.processes = []

    def _start(self, arguments, stdout=subprocess.DEVNULL, pass_fds=(), env=None, name=None):
        log = open(os.path.join(self.dir, (name or os.path.basename(arguments[0])) + ".log"), "wb")
        process = subprocess.Popen(arguments, stdout=stdout, stderr=log, pass_fds=pass_fds,
                                   env=env or self.env, cwd=self.dir, preexec_fn=_die_with_parent)
        log.close()
        self.processes.append(process)
        return process

    def log_of(self, name):
        try:
            with open(os.path.join(self.dir, name + ".log"), errors="replace") as log:
                return log.read()
        except OSError:
            return ""

    def tool_log(self):
        """The tool's own log of the session, as the operator's log shows it."""
        logs = os.path.join(self.dir, "logs")
        text = ""
        for name in sorted(os.listdir(logs)) if os.path.isdir(logs) else []:
            with open(os.path.join(logs, name), errors="replace") as log:
                text += log.read()
        return text

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
        # No language is stored: a Chinese locale starts it in Chinese, as the checks expect.
        env = dict(self.env, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   TAVOX_EXTRA_PORTS=port, LC_ALL="zh_CN.UTF-8")
        self.tool = self._start([program], env=env)

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            if process.stdout:
                process.stdout.close()
        _kill_all([pid for pid in _descendants(os.getpid()) if pid != self.watchman])
        os.close(self.watchman_pipe)
        while True:
            try:
                os.waitpid(-1, 0)
            except ChildProcessError:
                break
        shutil.rmtree(self.dir, ignore_errors=True)
