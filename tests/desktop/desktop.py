"""A private desktop for tests of the real program: an X server (Xvfb on a free display), optionally fcitx5
with anthy in the D-Bus session the test runs in, and the program itself with a settings file of the test's
own. Every wait polls a condition until a generous deadline; nothing waits a fixed time."""

import os
import shutil
import subprocess
import tempfile
import time

DEADLINE = 30.0  # seconds a condition may take to come true on a loaded machine


def wait_for(what, condition, deadline=DEADLINE, step=0.05):
    """Polls condition() until it returns something true, and returns that; fails after the deadline."""
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(step)


def settings_text(other_data):
    """The program's settings file with the given values of "Other Data" (a dict of name to string)."""
    lines = ["REGEDIT4", "", r"[HKEY_CURRENT_USER\Software\Velmorin\Zuvelo]", "",
             r"[HKEY_CURRENT_USER\Software\Velmorin\Zuvelo\Other Data]"]
    lines += ['"%s"="%s"' % (k, v) for k, v in other_data.items()]
    return "\n".join(lines) + "\n"


class Desktop:
    def __init__(self, width=1024, height=768):
        self.width, self.height = width, height
        self.dir = tempfile.mkdtemp(prefix="zv-desktop-")
        self.procs = []
        self.env = dict(os.environ)
        for name in ("QT_QPA_PLATFORM", "QT_IM_MODULE", "QT_IM_MODULES", "XMODIFIERS", "GTK_IM_MODULE"):
            self.env.pop(name, None)
        self.env.update(HOME=self.dir, XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        XDG_DATA_HOME=os.path.join(self.dir, "data"),
                        XDG_RUNTIME_DIR=os.path.join(self.dir, "run"),
                        GNUPGHOME=os.path.join(self.dir, "gnupg"))
        for d in ("config", "data", "run", "gnupg"):
            os.makedirs(os.path.join(self.dir, d), mode=0o700, exist_ok=True)
        self._start_x()

    def _start_x(self):
        # -displayfd: the server picks a free display and writes its number to our pipe.
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                 "%dx%dx24" % (self.width, self.height), "-nolisten", "tcp"],
                                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.procs.append(xvfb)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            number = pipe.readline().strip()
        if not number:
            raise AssertionError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode()

    def run(self, *args, **kw):
        return subprocess.run(list(args), env=self.env, capture_output=True, **kw)

    def start(self, *args, env=None, log=None):
        e = dict(self.env)
        e.update(env or {})
        out = open(os.path.join(self.dir, log), "wb") if log else subprocess.DEVNULL
        try:
            p = subprocess.Popen(list(args), env=e, stdout=out, stderr=subprocess.STDOUT)
        finally:
            if log:
                out.close()
        self.procs.append(p)
        return p

    def write_settings(self, other_data):
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "zuvelo-pgp")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "registry.reg"), "w", encoding="utf-8") as f:
            f.write(settings_text(other_data))

    def start_program(self, program, args=(), env=None):
        """Starts the program on this display and returns the process once its main window is mapped."""
        e = {"QT_QPA_PLATFORM": "xcb", "LC_ALL": "C.UTF-8", "LANG": "ja_JP.UTF-8"}
        e.update(env or {})
        p = self.start(program, *args, env=e, log="program.log")
        self.window = wait_for("the main window", lambda: self._window_of(p))
        # There is no window manager: give the new window the keyboard focus as one would.
        self.run("xdotool", "windowfocus", "--sync", self.window, check=True)
        return p

    def _window_of(self, p):
        if p.poll() is not None:
            raise AssertionError("the program ended early:\n" + self.log("program.log"))
        r = self.run("xdotool", "search", "--onlyvisible", "--pid", str(p.pid), "--name", "Zuvelo PGP")
        ids = r.stdout.split()
        return ids[0].decode() if ids else None

    def log(self, name):
        try:
            with open(os.path.join(self.dir, name), encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def screenshot(self):
        """The whole screen as (width, height, bytes of RGB triples)."""
        r = self.run("import", "-window", "root", "-depth", "8", "rgb:-")
        if r.returncode != 0 or len(r.stdout) != self.width * self.height * 3:
            raise AssertionError("screenshot failed: " + r.stderr.decode(errors="replace"))
        return self.width, self.height, r.stdout

    def save_screenshot(self, path, width=None, height=None):
        """Saves the screen, or its top left width x height, as a picture."""
        crop = ["-crop", "%dx%d+0+0" % (width, height), "+repage"] if width else []
        self.run("import", "-window", "root", *crop, path, check=True)

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


FCITX_PROFILE = """[Groups/0]
Name=Default
Default Layout=us
DefaultIM=anthy

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=anthy
Layout=

[GroupOrder]
0=Default
"""


def start_fcitx(desktop, active_by_default):
    """fcitx5 with the US keyboard and anthy, on the test's display and D-Bus session. active_by_default
    is fcitx5's own setting for a new input context, so that a test can tell its start-up state from the
    one the program sets."""
    conf = os.path.join(desktop.env["XDG_CONFIG_HOME"], "fcitx5")
    os.makedirs(os.path.join(conf, "conf"), exist_ok=True)
    with open(os.path.join(conf, "profile"), "w") as f:
        f.write(FCITX_PROFILE)
    with open(os.path.join(conf, "config"), "w") as f:
        f.write("[Behavior]\nActiveByDefault=%s\nShareInputState=No\n" % ("True" if active_by_default else "False"))
    desktop.start("fcitx5", "--replace", log="fcitx5.log")
    # Asking the controller before fcitx5 owns its name would have the bus start another copy.
    wait_for("fcitx5 on the bus", lambda: b"true" in desktop.run(
        "dbus-send", "--session", "--print-reply=literal", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
        "org.freedesktop.DBus.NameHasOwner", "string:org.fcitx.Fcitx5").stdout)


def fcitx_call(desktop, method):
    """Calls a method of fcitx5's controller; its printed reply, or None when it could not be called."""
    r = desktop.run("dbus-send", "--session", "--print-reply=literal", "--dest=org.fcitx.Fcitx5", "/controller",
                    "org.fcitx.Fcitx.Controller1." + method)
    return r.stdout.decode().strip() if r.returncode == 0 else None
