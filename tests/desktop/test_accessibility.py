"""What a screen reader reads of the real program over the accessibility bus (AT-SPI) under Xvfb: the
status panels' texts, the options dialog's date/time sample, and where the characters of vertical writing
stand on screen.

    test_accessibility.py PROGRAM

Run inside a D-Bus session of its own (dbus-run-session)."""

import os
import re
import sys
import unittest

import pyatspi
from gi.repository import Atspi, GLib

from desktop import Desktop, wait_for

PROGRAM = None


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def find(app, predicate):
    for node in walk(app):
        try:
            if predicate(node):
                return node
        except Exception:
            continue
    return None


class AccessibilityTest(unittest.TestCase):
    def start(self, settings, text):
        d = Desktop(800, 600)
        self.addCleanup(d.close)
        d.write_settings(settings)
        path = os.path.join(d.dir, "doc.txt")
        with open(path, "wb") as f:
            f.write(text.encode("cp932"))
        p = d.start_program(PROGRAM, [path], env={"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        app = wait_for("the program on the accessibility bus", lambda: application(p.pid))
        return d, app

    def panel(self, app, role):
        return wait_for("the panel " + role, lambda: find(
            app, lambda n: n.getRole() == pyatspi.ROLE_LABEL and n.description == role))

    def test_status_panels_and_vertical_positions(self):
        d, app = self.start({"Vertical": "1", "FontName": "Noto Sans Mono CJK JP", "FontSize": "20"},
                            "あいう\r\nえお")
        # The panels read as their texts; what each is stands in the description.
        for role, text in (("文書のサイズ", "0KB (12 バイト)"), ("カーソルの位置", "1行、1列"),
                           ("変更の有無", ""), ("ヒント", "レディ")):
            with self.subTest(panel=role):
                label = self.panel(app, role)
                wait_for("%s reading %r (now %r)" % (role, text, label.name), lambda: label.name == text)

        editor = wait_for("the editor", lambda: find(
            app, lambda n: n.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY) and n.queryText().characterCount == 6))
        t = editor.queryText()
        self.assertEqual(t.getText(0, -1), "あいう\nえお")
        box = [t.getCharacterExtents(i, pyatspi.DESKTOP_COORDS) for i in range(6)]
        x, y, w, h = box[0]
        self.assertGreater(w * h, 0, box)
        # Down the first column: the same x, y growing by a cell.
        for i in (1, 2):
            with self.subTest(char=i):
                self.assertLessEqual(abs(box[i][0] - x), 1, box)
                self.assertGreaterEqual(box[i][1], box[i - 1][1] + box[i - 1][3] - 1, box)
        # The second paragraph is the next column, to the left, starting at the top again.
        self.assertLessEqual(box[4][0] + box[4][2], x + 1, box)
        self.assertLessEqual(abs(box[4][1] - y), 1, box)
        self.assertGreater(box[5][1], box[4][1], box)
        # A point on a character leads back to it.
        for i in (1, 5):
            with self.subTest(point_on=i):
                bx, by, bw, bh = box[i]
                self.assertEqual(t.getOffsetAtPoint(bx + bw // 2, by + bh // 2, pyatspi.DESKTOP_COORDS), i)

        # Moving the caret through the bus: the position panel follows and is read anew.
        t.setCaretOffset(5)
        label = self.panel(app, "カーソルの位置")
        wait_for("the caret panel after the move (now %r)" % label.name, lambda: label.name == "2行、2列")

    def test_date_time_sample(self):
        d, app = self.start({}, "")
        item = wait_for("the Options menu item", lambda: find(
            app, lambda n: n.getRole() == pyatspi.ROLE_MENU_ITEM and n.name.startswith("オプション")))
        # The dialog is modal: the program answers the action only once the dialog has closed, so the
        # call is not waited for.
        Atspi.set_timeout(500, -1)
        try:
            item.queryAction().doAction(0)
        except GLib.GError:
            pass
        finally:
            Atspi.set_timeout(-1, -1)
        sample = wait_for("the date/time sample", lambda: find(
            app, lambda n: n.getRole() == pyatspi.ROLE_LABEL and n.description == "サンプル"))
        # The stored default format, yy/mm/dd hh:nn:ss.
        wait_for("the sample's text as its name (now %r)" % sample.name,
                 lambda: re.fullmatch(r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d", sample.name))


if __name__ == "__main__":
    PROGRAM = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0], "-v"])
