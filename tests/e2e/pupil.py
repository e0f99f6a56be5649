#!/usr/bin/python3
"""A scripted pupil: plays the real Calvenza with the keyboard (xdotool) and reads it back over the
accessibility bus, as a screen reader would. Controls are found by role and content, never by order.
Usage: pupil.py CALVENZA TABLE NAME (records under $XDG_DATA_HOME/calvenza, notes in $E2E_TMP)."""

import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

INTRODUCTION = ("Allora attenzione, iniziamo la nostra avventura con la tabellina dell'otto. Io detto "
                "e tu scrivi il risultato nello spazio sotto di me. Mi raccomando inserisci il risultato "
                "e premi invio e poi aspetta che io finisca di parlare e premi ancora invio per avere la "
                "domanda successiva")
INTRO_WORDS = {w.lower() for w in re.findall(r"[\w']{6,}", INTRODUCTION)}
NUMBER_WORDS = ["uno", "due", "tre", "quattro", "cinque", "sei", "sette", "otto", "nove", "dieci"]
# The eight's dozen: right, wrong, an empty answer, an absurd one and one in markup among them.
PLAN = ["right", "wrong", "right", "absurd", "right", "", "right", "markup", "right", "wrong",
        "right", "right"]
CLOCK = re.compile(r"^\d\d[:.]\d\d[:.]\d\d$")


def fail(message):
    print("FAIL: " + message, flush=True)
    subprocess.run(["import", "-window", "root", os.environ.get("E2E_TMP", "/tmp") + "/fail.png"])
    sys.exit(1)


def note(event):
    with open(os.environ["E2E_TMP"] + "/events", "a") as f:
        f.write("%s %.3f\n" % (event, time.time()))


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)


def walk(node):
    for child in node:
        if child is not None:
            yield child
            yield from walk(child)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def centre(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x + e.width / 2, e.y + e.height / 2)


class Pupil:
    def __init__(self, calvenza, table, name):
        self.table, self.name = table, name
        self.log = open("%s/calvenza-%d.log" % (os.environ["E2E_TMP"], table), "w")
        args = [calvenza] if table == 8 else [calvenza, "--tabellina", str(table)]
        self.program = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT)
        self.app = self.window = self.answer_box = self.wizard = None
        self.after_intro = set()  # what he said once the introduction was over
        self.intro_over = False
        self.first_word = False
        self.answered = 0
        self.wait("the program on the accessibility bus", self.find_app)

    def find_app(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.program.pid:
                self.app = app
                return app

    def wait(self, what, probe, timeout=20.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                self.watch()
                value = probe()
            except GLib.GError:
                value = None  # a box closed while it was being read: look again
            if value:
                return value
            time.sleep(0.1)
        fail("timed out waiting for " + what)

    def watch(self):
        """Checks made all along: the wizard never takes the keyboard, his balloon says one thing."""
        if self.wizard is None:
            self.wizard = next((f for f in self.app or [] if f is not None and f.name == "Mago Merlino"),
                               None)
            return
        if self.wizard.getState().contains(pyatspi.STATE_ACTIVE):
            fail("the wizard's window took the keyboard")
        said = self.wizard.description
        if said and not self.first_word:
            self.first_word = True
            note("first_word_%d" % self.table)
        if self.table != 8 or not said:
            return
        if not INTRODUCTION.startswith(said):
            self.intro_over = True
        if self.intro_over and self.answered >= 2:
            self.after_intro.add(said)
            if INTRO_WORDS & {w.lower() for w in re.findall(r"[\w']+", said)}:
                fail("after two exercises the balloon still holds the introduction: %r" % said)
            # A dozen answers never reach the third praise (at ten): "Sei grande" is the longest.
            if len(said) > max(len("Sei grande"), len(self.name)):
                fail("the balloon holds more than one utterance: %r" % said)

    def dialog(self, text):
        """The labels and buttons of the box on screen that says text, once it shows."""
        def probe():
            for box in self.app:
                if box is None or box.getRoleName() not in ("dialog", "alert") or not showing(box):
                    continue
                labels = [n.name for n in walk(box) if n.getRoleName() == "label"]
                if text in labels:
                    return box, [n.name for n in walk(box) if n.getRoleName() == "push button"]
        return self.wait("a box saying %r" % text, probe)

    def labels(self):
        return [n for n in walk(self.window) if n.getRoleName() == "label" and showing(n)]

    def label(self, pattern):
        return next((n.name for n in self.labels() if re.match(pattern, n.name)), None)

    def start(self):
        box, buttons = self.dialog("Come ti chiami?")
        if "Annulla" not in buttons or "OK" not in buttons:
            fail("the name box's buttons are not in Italian: %r" % buttons)
        name_box_centre = centre(box)
        subprocess.run(["xdotool", "type", "--delay", "60", self.name], check=True)
        key("Return")
        self.dialog(" %s vediamo se sei un vero campione  " % self.name)
        key("Return")
        note("greeting_closed_%d" % self.table)

        def main_window():
            for frame in self.app:
                box = next((n for n in walk(frame) if n.getRoleName() == "text"
                            and n.name == "Risultato"), None) if frame is not None else None
                if box is not None and showing(frame):
                    self.window, self.answer_box = frame, box
                    return True
        self.wait("the main window", main_window)
        x, y = centre(self.window)
        if abs(name_box_centre[0] - x) > 60 or abs(name_box_centre[1] - y) > 60:
            fail("the name box opened at %r, not over the window at %r" % (name_box_centre, (x, y)))

    def answer_box_ready(self):
        text = self.answer_box.queryText()
        return (text.characterCount == 0
                and self.answer_box.getState().contains(pyatspi.STATE_FOCUSED))

    def exercise(self, how):
        """Answers one exercise as planned; returns True when it was a right answer."""
        self.wait("an empty answer box with the keyboard", self.answer_box_ready)
        before = {(n.name, centre(n)) for n in self.labels()}
        key("BackSpace")  # any key shows the factors
        shown = self.wait("the factors", lambda: {
            (n, c) for n, c in {(n.name, centre(n)) for n in self.labels()} - before if n.isdigit()})
        factors = [int(n) for n, _ in sorted(shown, key=lambda f: f[1])]  # left to right
        if len(factors) != 2 or factors[0] != self.table:
            fail("factors shown: %r, table %d" % (factors, self.table))
        product = self.table * factors[1]
        typed = {"right": str(product), "wrong": str(product + 1), "": "",
                 "absurd": "99999999999999999999" + str(product) + "?!x;",
                 "markup": "<b>%d</b>" % product}[how]
        if typed:
            subprocess.run(["xdotool", "type", "--delay", "40", typed], check=True)
        self.wait("%r in the answer box" % typed,
                  lambda: self.answer_box.queryText().getText(0, -1) == typed)
        key("Return")
        verdict = "Esatto. Sei forte!!!" if how == "right" else "Sbagliato!! %d" % product
        self.wait("the verdict %r" % verdict, lambda: self.label(r"Esatto|Sbagliato") == verdict)
        if shown & {(n.name, centre(n)) for n in self.labels()}:
            fail("the factors are still shown after Enter")
        self.answered += 1
        return how == "right"

    def exit(self):
        exit_button = next(n for n in walk(self.window) if n.getRoleName() == "push button"
                           and n.name.replace("&", "") == "Exit")
        x, y = centre(exit_button)
        subprocess.run(["xdotool", "mousemove", str(int(x)), str(int(y)), "click", "1"], check=True)
        self.dialog("Ciao. Ti aspetto per la prossima sfida ")
        key("Return")
        self.dialog('Ok ho registrato il tuo record, C A M P I O N E"')
        key("Return")
        try:
            status = self.program.wait(10)
        except subprocess.TimeoutExpired:
            self.program.kill()
            fail("the program did not end after the farewell")
        note("program_ended_%d" % self.table)
        if status != 0:
            fail("the program ended with status %d" % status)


def play(calvenza, table, name):
    pupil = Pupil(calvenza, table, name)
    try:
        pupil.start()
        plan = PLAN if table == 8 else ["right"]
        if table != 8:
            pupil.wait("the introduction of the %s" % NUMBER_WORDS[table - 1],
                       lambda: pupil.wizard and "tabellina del %s" % NUMBER_WORDS[table - 1]
                       in pupil.wizard.description,
                       timeout=30)
        clock = pupil.wait("the clock", lambda: pupil.label(CLOCK.pattern))
        rights, start = 0, time.time()
        for i, how in enumerate(plan):
            rights += pupil.exercise(how)
            # At a quick pace, about 2.5 s an exercise, whatever the wizard is still saying.
            pupil.wait("the pace", lambda: time.time() >= start + 2.5 * (i + 1), timeout=5)
            if i + 1 < len(plan):
                key("Return")  # the keyboard is on the next-exercise button now
        later = pupil.label(CLOCK.pattern)
        if not later or re.sub(r"\D", "", later) >= re.sub(r"\D", "", clock):
            fail("the clock did not count down: %r, then %r" % (clock, later))
        if table == 8:
            # He must have gone on well past the introduction for the balloon checks to count.
            pupil.wait("five things said after the introduction", lambda: len(pupil.after_intro) >= 5,
                       timeout=90)
        pupil.exit()
    finally:
        if pupil.program.poll() is None:
            pupil.program.kill()
    records = os.environ["XDG_DATA_HOME"] + "/calvenza/"
    for prefix, expected in (("a", b"%d\r\n" % rights), ("n", name.encode() + b"\r\n")):
        path = records + "%stabkesr%d.txt" % (prefix, table)
        with open(path, "rb") as f:
            content = f.read()
        if content != expected:
            fail("%s holds %r, not %r" % (path, content, expected))
    print("table %d: %d right of %d, record stored" % (table, rights, len(plan)), flush=True)


if __name__ == "__main__":
    play(sys.argv[1], int(sys.argv[2]), sys.argv[3])
