#!/usr/bin/python3
"""A scripted pupil: drives the real Calvenza window through the keyboard (xdotool) and reads it
back through the accessibility bus, as a screen reader would."""

import os
import subprocess
import sys
import time

import pyatspi

# The window's controls in the order it creates them: assistive technology lists them so.
CONTROLS = ["Txtnome1", "Text7", "Text6", "Command3", "Text3", "Text1", "cmdNext", "cmdExit1",
            "lblMessage", "lblconto", "lblNum1", "Label10", "lblNum2", "Image1", "Label11",
            "Label14", "lblnome1", "Label12", "lblnome", "Label13", "lblpunti", "Label1",
            "Label3", "lblScore2", "lblScore1", "lblScore", "Label6"]


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def key(*names):
    subprocess.run(["xdotool", "key", "--delay", "60", *names], check=True)
    time.sleep(0.25)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "60", text], check=True)
    time.sleep(0.25)


def wait_for(what, probe, timeout=20.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.2)
    fail("timed out waiting for " + what)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "calvenza":
            return app
    return None


def frames(app):
    return [f for f in app if f is not None and f.getRoleName() in ("frame", "dialog", "alert")]


def main_window(app):
    for f in frames(app):
        if f.name.strip() == "CALVENZA":
            return f
    return None


def controls(window):
    area = next(c for c in window if c is not None and c.getRoleName() == "filler")
    children = [c for c in area if c is not None]
    if len(children) != len(CONTROLS):
        fail("expected %d controls, found %d" % (len(CONTROLS), len(children)))
    return dict(zip(CONTROLS, children))


def text_of(accessible):
    if accessible.getRoleName() == "text":
        t = accessible.queryText()
        return t.getText(0, t.characterCount)
    return accessible.name


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def dialog_text(app):
    for f in frames(app):
        if f.name == "Calvenza" and showing(f):
            labels = []

            def walk(o):
                for c in o:
                    if c is None:
                        continue
                    if c.getRoleName() == "label" and c.name:
                        labels.append(c.name)
                    walk(c)
            walk(f)
            return labels
    return None


class Pupil:
    def __init__(self):
        self.app = wait_for("the program on the accessibility bus", application)

    def answer_name(self, name):
        labels = wait_for("the name box", lambda: dialog_text(self.app))
        if "Come ti chiami?" not in labels:
            fail("name box shows %r" % labels)
        if name:
            type_text(name)
        key("Return")
        labels = wait_for("the greeting", lambda: [l for l in (dialog_text(self.app) or [])
                                                  if "campione" in l])
        expected = " %s vediamo se sei un vero campione  " % name
        if labels[0] != expected:
            fail("greeting %r, expected %r" % (labels[0], expected))
        key("Return")
        self.window = wait_for("the main window", lambda: main_window(self.app))
        self.c = controls(self.window)
        wait_for("the first exercise", lambda: text_of(self.c["Text3"]) == "")

    def balloon(self):
        """What the wizard's balloon shows now."""
        for f in self.app:
            if f is not None and f.name == "Mago Merlino":
                return " ".join(c.name for c in f if c is not None and c.name)
        return ""

    def read(self, name):
        return text_of(self.c[name])

    def answer(self, how):
        """how: 'right', 'wrong' or 'empty'. Returns the product the window showed."""
        key("BackSpace")  # any key shows the factors
        if not (showing(self.c["lblNum2"]) and showing(self.c["lblNum1"])):
            fail("factors not shown after the first key")
        first, second = int(self.read("lblNum1")), int(self.read("lblNum2"))
        product = first * second
        if how == "right":
            type_text(str(product))
        elif how == "wrong":
            type_text(str(product + 1))
        key("Return")
        if showing(self.c["lblNum2"]):
            fail("factors still shown after Enter")
        return product

    def next_exercise(self):
        key("Return")  # the focus is on the next-exercise button now
        wait_for("a cleared answer box", lambda: self.read("Text3") == "")

    def exit(self):
        key("alt+x")
        labels = wait_for("the farewell", lambda: [l for l in (dialog_text(self.app) or [])
                                                  if l.startswith("Ciao")])
        if labels[0] != "Ciao. Ti aspetto per la prossima sfida ":
            fail("farewell %r" % labels[0])
        key("Return")


def play(name, plan, expect_record_points, expect_record_name):
    pupil = Pupil()
    pupil.answer_name(name)
    shown_points = pupil.read("lblpunti")
    shown_name = pupil.read("lblnome")
    if shown_points != expect_record_points or shown_name != expect_record_name:
        fail("record shown %r %r, expected %r %r" % (shown_points, shown_name,
                                                       expect_record_points, expect_record_name))
    rights = wrongs = 0
    for i, how in enumerate(plan):
        product = pupil.answer(how)
        message = pupil.read("lblMessage")
        if how == "right":
            rights += 1
            if message != "Esatto. Sei forte!!!":
                fail("verdict %r after a right answer" % message)
        else:
            wrongs += 1
            if message != "Sbagliato!! %d" % product:
                fail("verdict %r after a %s answer to %d" % (message, how, product))
        if i == 0:
            # The reaction waits behind the introduction and the dictation, then shows up word
            # by word in his balloon.
            word = "Esatto" if how == "right" else "Sbagliato"
            wait_for("the wizard saying %s and %d" % (word, product),
                     lambda: word in pupil.balloon() and str(product) in pupil.balloon(),
                     timeout=90)
        counts = (pupil.read("lblScore"), pupil.read("lblScore1"), pupil.read("lblScore2"))
        if counts != (str(rights), str(wrongs), str(rights + wrongs)):
            fail("counters %r after %d right, %d wrong" % (counts, rights, wrongs))
        if i + 1 < len(plan):
            pupil.next_exercise()
    print("played: %d right, %d wrong" % (rights, wrongs), flush=True)
    if pupil.read("lblconto") in ("", "00.07.00"):
        fail("the clock is not running: %r" % pupil.read("lblconto"))
    pupil.exit()
    if rights > int("0" + "".join(ch for ch in expect_record_points if ch.isdigit())):
        labels = wait_for("the record message",
                          lambda: [l for l in (dialog_text(pupil.app) or []) if "C A M P" in l])
        if labels[0] != 'Ok ho registrato il tuo record, C A M P I O N E"':
            fail("record message %r" % labels[0])
        key("Return")


if __name__ == "__main__":
    # pupil.py NAME PLAN EXPECTED_POINTS EXPECTED_NAME, PLAN like "right,wrong,empty,right"
    play(sys.argv[1], sys.argv[2].split(","), sys.argv[3].encode().decode("unicode_escape"),
         sys.argv[4].encode().decode("unicode_escape"))
    print("ok", flush=True)
