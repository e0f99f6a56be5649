#!/usr/bin/python3
"""A scripted pupil: plays the real Calvenza with the keyboard (xdotool) and reads it back over the
accessibility bus, as a screen reader would; controls are found by role and content, never by order.
Usage: pupil.py CALVENZA TABLE NAME; records under $XDG_DATA_HOME/calvenza, notes in $E2E_TMP."""
import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

INTRODUCTION = ("Allora attenzione, iniziamo la nostra avventura con la tabellina dell'otto. Io detto e "
                "tu scrivi il risultato nello spazio sotto di me. Mi raccomando inserisci il risultato e "
                "premi invio e poi aspetta che io finisca di parlare e premi ancora invio per avere la "
                "domanda successiva")
INTRO_WORDS = set(re.findall(r"[\w']{6,}", INTRODUCTION.lower()))
NUMBER_WORDS = ["uno", "due", "tre", "quattro", "cinque", "sei", "sette", "otto", "nove", "dieci"]
# The eight's dozen: some right, some wrong, an empty, an absurd and a markup answer among them.
PLAN = "right wrong right absurd right empty right markup right wrong right right".split()
CLOCK = r"\d\d[:.]\d\d[:.]\d\d$"


def fail(message):
    print("FAIL: " + message, flush=True)
    subprocess.run(["import", "-window", "root", os.environ["E2E_TMP"] + "/fail.png"])
    sys.exit(1)


def note(event):
    with open(os.environ["E2E_TMP"] + "/events", "a") as f:
        f.write("%s %.3f\n" % (event, time.time()))


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def walk(node):
    for child in node:
        if child is not None:
            yield child
            yield from walk(child)


def has(node, state):
    return node.getState().contains(state)


def showing(node):
    return has(node, pyatspi.STATE_SHOWING)


def centre(node):
    e = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x + e.width / 2, e.y + e.height / 2)


class Pupil:
    def __init__(self, calvenza, table, name, options=()):
        self.table, self.name, self.answered = table, name, 0
        self.app = self.window = self.answer_box = self.wizard = None
        self.intro_over, self.first_word, self.after_intro = False, False, set()
        log = open("%s/calvenza-%d.log" % (os.environ["E2E_TMP"], table), "w")
        args = [calvenza] + ([] if table == 8 else ["--tabellina", str(table)]) + list(options)
        self.program = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT)
        self.app = self.wait("the program on the accessibility bus", lambda: next(
            (a for a in pyatspi.Registry.getDesktop(0)
             if a is not None and a.get_process_id() == self.program.pid), None))

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
        """All along: the wizard never takes the keyboard, his balloon holds one utterance."""
        if self.wizard is None:
            self.wizard = next((f for f in self.app or [] if f and f.name == "Mago Merlino"), None)
            return
        if has(self.wizard, pyatspi.STATE_ACTIVE):
            fail("the wizard's window took the keyboard")
        said = self.wizard.description
        if said and not self.first_word:
            self.first_word = True
            note("first_word_%d" % self.table)
        if self.table != 8 or not said:
            return
        # A long speech shows its latest words after "… ".
        self.intro_over |= said.removeprefix("… ") not in INTRODUCTION
        if self.intro_over and self.answered >= 2:
            self.after_intro.add(said)
            if INTRO_WORDS & set(re.findall(r"[\w']+", said.lower())):
                fail("after two exercises the balloon still holds the introduction: %r" % said)
            # A dozen answers' longest saying, in one balloon: "Esatto", the name, the product.
            if len(said) > len("Esatto %s 80" % self.name):
                fail("the balloon holds more than one utterance: %r" % said)

    def dialog(self, text, timeout=20.0):
        """The box that says text, once it has the keyboard (Qt's and the X server's), and its
        buttons' captions. Qt may call a box active that the X server never gave the keys to."""
        def probe():
            for box in self.app:
                if box and box.getRoleName() in ("dialog", "alert") and has(box, pyatspi.STATE_ACTIVE) \
                        and text in [n.name for n in walk(box) if n.getRoleName() == "label"] \
                        and x_focus() == box.name:
                    return box, [n.name for n in walk(box) if n.getRoleName() == "push button"]
        return self.wait("a box saying %r with the X keyboard focus" % text, probe, timeout)

    def focused(self, role, name):
        self.wait("the keyboard on %s %r" % (role, name), lambda: any(
            n.getRoleName() == role and n.name.replace("&", "") == name and has(n, pyatspi.STATE_FOCUSED)
            for n in walk(self.window)))

    def labels(self):
        return {(n.name, centre(n)) for n in walk(self.window)
                if n.getRoleName() == "label" and showing(n)}

    def label(self, pattern):
        return next((n for n, _ in self.labels() if re.match(pattern, n)), None)

    def start(self):
        box, buttons = self.dialog("Come ti chiami?")
        if "Annulla" not in buttons or "OK" not in buttons:
            fail("the name box's buttons are not in Italian: %r" % buttons)
        name_box = centre(box)
        xdotool("type", "--delay", "60", self.name)
        xdotool("key", "Return")
        self.dialog(" %s vediamo se sei un vero campione  " % self.name)
        xdotool("key", "Return")
        note("greeting_closed_%d" % self.table)

        self.window, self.answer_box = self.wait("the main window", lambda: next(
            ((f, n) for f in self.app if f and showing(f) for n in walk(f)
             if n.getRoleName() == "text" and n.name == "Risultato"), None))
        e = self.window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        if not (e.x < name_box[0] < e.x + e.width and e.y < name_box[1] < e.y + e.height):
            fail("the name box opened at %r, not over the window at %r" % (name_box, tuple(e)))

    def exercise(self, how):
        """Answers one exercise as planned: right, wrong, empty, absurd or markup."""
        self.wait("an empty answer box with the keyboard", lambda: has(self.answer_box, pyatspi.STATE_FOCUSED)
                  and self.answer_box.queryText().characterCount == 0)
        before = self.labels()
        xdotool("key", "BackSpace")  # any key shows the factors
        shown = self.wait("the factors", lambda: {l for l in self.labels() - before if l[0].isdigit()})
        factors = self.factors = [int(n) for n, _ in sorted(shown, key=lambda l: l[1])]  # left to right
        if len(factors) != 2 or factors[0] != self.table:
            fail("factors shown: %r, table %d" % (factors, self.table))
        product = self.table * factors[1]
        typed = {"right": str(product), "wrong": str(product + 1), "empty": "",
                 "absurd": "99999999999999999999%d?!x;" % product, "markup": "<b>%d</b>" % product}[how]
        xdotool("type", "--delay", "40", typed)
        self.wait("%r in the answer box" % typed,
                  lambda: self.answer_box.queryText().getText(0, -1) == typed)
        xdotool("key", "Return")
        verdict = "Esatto. Sei forte!!!" if how == "right" else "Sbagliato!! %d" % product
        self.wait("the verdict %r" % verdict, lambda: self.label("Esatto|Sbagliato") == verdict)
        if shown & self.labels():
            fail("the factors are still shown after Enter")
        self.answered += 1
        return how == "right"

    def enter_again(self):
        """Back in the answer box, Enter twice on the exercise already judged: nothing changes."""
        before = {l for l in self.labels() if not re.match(CLOCK, l[0])}
        xdotool("mousemove", *(str(int(c)) for c in centre(self.answer_box)), "click", "1")
        self.wait("the keyboard back in the answer box",
                  lambda: has(self.answer_box, pyatspi.STATE_FOCUSED))
        xdotool("key", "Return", "Return")
        time.sleep(1)
        after = {l for l in self.labels() if not re.match(CLOCK, l[0])}
        if after != before:
            fail("Enter again on a judged exercise changed the window: %r" % (after ^ before))

    def exit(self):
        xdotool("mousemove", *(str(int(c)) for c in centre(next(
            n for n in walk(self.window)
            if n.getRoleName() == "push button" and n.name.replace("&", "") == "Exit"))), "click", "1")
        self.farewell()

    def farewell(self, timeout=20.0):
        self.dialog("Ciao. Ti aspetto per la prossima sfida ", timeout)
        xdotool("key", "Return")
        self.dialog('Ok ho registrato il tuo record, C A M P I O N E"')
        xdotool("key", "Return")
        try:
            status = self.program.wait(10)
        except subprocess.TimeoutExpired:
            fail("the program did not end after the farewell")
        note("program_ended_%d" % self.table)
        if status != 0:
            fail("the program ended with status %d" % status)


def x_focus():
    """The name of the window holding the X keyboard focus, if it has one."""
    focus = subprocess.run(["xdotool", "getwindowfocus", "getwindowname"], capture_output=True, text=True)
    return focus.stdout.rstrip("\n") if focus.returncode == 0 else None


def play(calvenza, table, name):
    pupil = Pupil(calvenza, table, name)
    try:
        pupil.start()
        if table != 8:
            words = "tabellina del " + NUMBER_WORDS[table - 1]
            pupil.wait(repr(words), lambda: pupil.wizard and words in pupil.wizard.description, 30)
        clock = pupil.wait("the clock", lambda: pupil.label(CLOCK))
        # A shortened challenge: two answers, then the clock brings the farewell.
        timed = "CALVENZA_CHALLENGE_SECONDS" in os.environ
        plan = PLAN if table == 8 else ["right", "right"] if timed else ["right"]
        rights, start = 0, time.time()
        for i, how in enumerate(plan):
            if i:
                pupil.focused("push button", "Nuovo calcolo")
                xdotool("key", "Return")
            rights += pupil.exercise(how)
            # A quick pace, about 2.5 s an exercise, whatever the wizard is still saying.
            pupil.wait("the pace", lambda: time.time() >= start + 2.5 * (i + 1), timeout=5)
        later = pupil.label(CLOCK)
        if not later or re.sub(r"\D", "", later) >= re.sub(r"\D", "", clock):
            fail("the clock did not count down: %r, then %r" % (clock, later))
        if table == 8:
            # He must go on well past the introduction for the balloon checks to count.
            pupil.wait("five sayings after the introduction", lambda: len(pupil.after_intro) >= 5, 90)
        if timed:
            pupil.enter_again()  # counted once: the record and the export say 2, not 4
            pupil.farewell(int(os.environ["CALVENZA_CHALLENGE_SECONDS"]) + 10)
        else:
            pupil.exit()
    finally:
        if pupil.program.poll() is None:
            pupil.program.kill()
    for prefix, expected in (("a", b"%d\r\n" % rights), ("n", name.encode() + b"\r\n")):
        path = "%s/calvenza/%stabkesr%d.txt" % (os.environ["XDG_DATA_HOME"], prefix, table)
        content = open(path, "rb").read()
        if content != expected:
            fail("%s holds %r, not %r" % (path, content, expected))
    print("table %d: %d right of %d, record stored" % (table, rights, len(plan)), flush=True)


if __name__ == "__main__":
    play(sys.argv[1], int(sys.argv[2]), sys.argv[3])
