"""The program with a real fcitx5 and anthy under Xvfb: the input method's open state right after start-up
follows IME_Mode, and text under composition is drawn in the stored colours of its entry.

    test_inputmethod.py PROGRAM [SCREENSHOT_FOLDER]

Run inside a D-Bus session of its own (dbus-run-session). With a screenshot folder it also saves the
composition and the candidate window, in horizontal and vertical writing."""

import os
import sys
import unittest

from desktop import Desktop, fcitx_call, start_fcitx, wait_for

PROGRAM = None
SHOTS = None

# Colours stored for the four composition entries (0x00BBGGRR), none of them a default nor a colour the
# rest of the window uses.
IME_COLORS = {
    0: (0x0000C0, 0xD0F0FF),  # text, background
    1: (0x600000, 0x80FF80),
    2: (0x006000, 0xFFD0FF),
    3: (0x404000, 0x00C0FF),
}


def rgb(value):
    return (value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF)


def ime_settings(mode, vertical=False):
    s = {"IME_Mode": "1" if mode else "0", "Vertical": "1" if vertical else "0", "FontName": "Noto Sans Mono CJK JP",
         "FontSize": "20"}
    for n, (text, back) in IME_COLORS.items():
        s["ImeText%d" % n] = str(text)
        s["ImeBackground%d" % n] = str(back)
    return s


def fcitx_state(desktop):
    """fcitx5's state of the input context that last had the focus: 0 none, 1 closed, 2 open."""
    reply = fcitx_call(desktop, "State")
    return int(reply.split()[-1]) if reply else None


def our_context_focused(desktop):
    info = fcitx_call(desktop, "DebugInfo") or ""
    return any("program:zuvelo-pgp " in line and "focus:1" in line for line in info.splitlines())


def colour_area(shot, background, text):
    """Pixels of the background colour, and pixels of the text colour inside their bounding box."""
    width, height, data = shot
    b, t = bytes(rgb(background)), bytes(rgb(text))
    xs, ys, count = [], [], 0
    for i in range(0, len(data), 3):
        if data[i:i + 3] == b:
            count += 1
            xs.append((i // 3) % width)
            ys.append((i // 3) // width)
    if not count:
        return 0, 0
    inner = 0
    for y in range(min(ys), max(ys) + 1):
        row = data[(y * width + min(xs)) * 3:(y * width + max(xs) + 1) * 3]
        inner += sum(1 for i in range(0, len(row), 3) if row[i:i + 3] == t)
    return count, inner


class InputMethodTest(unittest.TestCase):
    def start(self, mode, active_by_default, vertical=False):
        d = Desktop()
        self.addCleanup(d.close)
        start_fcitx(d, active_by_default)
        d.write_settings(ime_settings(mode, vertical))
        d.start_program(PROGRAM, env={"QT_IM_MODULE": "fcitx"})
        wait_for("the editor's input context at fcitx5", lambda: our_context_focused(d))
        return d

    def test_open_state_follows_ime_mode(self):
        # fcitx5 is set up to start new contexts in the other state, so that only the program can bring
        # about the wanted one.
        for mode in (True, False):
            with self.subTest(IME_Mode=mode):
                d = self.start(mode, active_by_default=not mode)
                want = 2 if mode else 1
                wait_for("fcitx5 state %d" % want, lambda: fcitx_state(d) == want)

    def type_keys(self, d, *keys):
        d.run("xdotool", "key", "--window", d.window, "--delay", "60", *keys, check=True)

    def test_composition_colours(self):
        d = self.start(True, active_by_default=False)
        wait_for("an open input method", lambda: fcitx_state(d) == 2)
        # Typing: entry 0 behind and in the characters.
        self.type_keys(d, "k", "a", "n", "j", "i")
        text0, back0 = IME_COLORS[0]
        wait_for("entry 0's colours on screen",
                 lambda: (lambda a: a[0] > 100 and a[1] > 5)(colour_area(d.screenshot(), back0, text0)))
        if SHOTS:
            d.save_screenshot(os.path.join(SHOTS, "composition-typing.png"), 660, 500)
        # Converting: the clause being converted in entry 1.
        self.type_keys(d, "space")
        text1, back1 = IME_COLORS[1]
        wait_for("entry 1's colours on screen",
                 lambda: (lambda a: a[0] > 100 and a[1] > 5)(colour_area(d.screenshot(), back1, text1)))
        if SHOTS:
            self.type_keys(d, "space")  # the candidate window
            wait_for("the candidate window", lambda: d.run("xdotool", "search", "--onlyvisible", "--class",
                                                           "fcitx").stdout.strip())
            d.save_screenshot(os.path.join(SHOTS, "composition-candidates.png"), 660, 500)

    def test_vertical_candidates_picture(self):
        if not SHOTS:
            self.skipTest("pictures only, with a screenshot folder")
        d = self.start(True, active_by_default=False, vertical=True)
        wait_for("an open input method", lambda: fcitx_state(d) == 2)
        self.type_keys(d, "k", "a", "n", "j", "i", "space", "space")
        wait_for("the candidate window", lambda: d.run("xdotool", "search", "--onlyvisible", "--class",
                                                       "fcitx").stdout.strip())
        d.save_screenshot(os.path.join(SHOTS, "vertical-candidates.png"), 760, 500)


if __name__ == "__main__":
    PROGRAM = os.path.abspath(sys.argv[1])
    SHOTS = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    unittest.main(argv=[sys.argv[0], "-v"])
