#!/usr/bin/python3
"""A blind pupil: plays the real Calvenza by keyboard only while Orca runs, and checks from Orca's
debug file (its SPEECH OUTPUT lines) what was spoken at each step. The exercise itself is read off
the accessibility bus, so that the check knows what Orca should have said.
Usage: orca_pupil.py CALVENZA ORCA_LOG NAME; records under $XDG_DATA_HOME/calvenza, files in $E2E_TMP."""
import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

NUMBER_WORDS = ["uno", "due", "tre", "quattro", "cinque", "sei", "sette", "otto", "nove", "dieci"]
RECORD_NAME, RECORD_POINTS = "Marta", 3


class Orca:
    """What Orca has said, and where its focus went, read from its debug file as it grows."""

    def __init__(self, path):
        self.file, self.pending = open(path, "rb"), b""
        self.utterances, self.focus_moves, self.seen, self.moves_seen = [], [], 0, 0

    def read(self):
        self.pending += self.file.read()
        complete, _, self.pending = self.pending.rpartition(b"\n")
        text = complete.decode("utf-8", "replace").replace("\r\n", "\n")  # a terminal's line ends
        self.utterances += re.findall(r"SPEECH OUTPUT: '(.*?)' ?(?:\{|voice=|$)", text, re.M | re.S)
        self.focus_moves += re.findall(r"Changing locusOfFocus from .*? to \[(.*?) \| (.*?)\]\. Notify",
                                       text, re.S)

    def moved_to(self, role, name):
        """Whether Orca's focus went to that control since the last step."""
        self.read()
        return (role, name) in self.focus_moves[self.moves_seen:]

    def step(self, ready, quiet=1.5, timeout=15.0):
        """Waits for ready(), then for Orca to fall quiet; returns what Orca said since the last
        step. TimeoutError when ready() never came true."""
        deadline = time.time() + timeout
        while not ready():
            if time.time() > deadline:
                raise TimeoutError
            time.sleep(0.1)
        self.read()
        count, still = len(self.utterances), time.time()
        while time.time() < still + quiet and time.time() < deadline + 10:
            time.sleep(0.1)
            self.read()
            if len(self.utterances) != count:
                count, still = len(self.utterances), time.time()
        news = self.utterances[self.seen:]
        self.seen, self.moves_seen = len(self.utterances), len(self.focus_moves)
        return news


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def walk(node):
    for child in node:
        if child is not None:
            yield child
            yield from walk(child)


def has(node, state):
    return node.getState().contains(state)


class Pupil:
    def __init__(self, calvenza, orca_log, name):
        self.name, self.orca, self.steps, self.failures = name, Orca(orca_log), [], []
        log = open(os.environ["E2E_TMP"] + "/calvenza.log", "w")
        self.program = subprocess.Popen([calvenza], stdout=log, stderr=subprocess.STDOUT)
        self.window = None

    def app(self):
        return next((a for a in pyatspi.Registry.getDesktop(0)
                     if a is not None and a.get_process_id() == self.program.pid), None)

    def box(self, text):
        """The program shows a box saying text, and Orca is on its button."""
        return lambda: self.orca.moved_to("push button", "OK") and any(
            b and b.getRoleName() in ("dialog", "alert") and has(b, pyatspi.STATE_ACTIVE)
            and text in [n.name for n in walk(b)] for b in self.app() or [])

    def on(self, role, name):
        """The keyboard is on that control of the window, and Orca's focus followed it."""
        def probe():
            if self.window is None:
                self.window = next((f for f in self.app() or [] if f and f.getRoleName() == "frame"
                                    and any(n.name == "Risultato" for n in walk(f))), None)
            return self.window and self.orca.moved_to(role, name) and any(
                n.getRoleName() == role and n.name.replace("&", "") == name
                and has(n, pyatspi.STATE_FOCUSED) for n in walk(self.window))
        return probe

    def exercise(self):
        """The factors set now, as the hidden factor labels hold them."""
        hidden = [int(n.name) for n in walk(self.window) if n.getRoleName() == "label"
                  and n.name.isdigit() and not has(n, pyatspi.STATE_SHOWING)]
        hidden.remove(8)
        return 8, hidden[0]

    def spoken_exercise(self):
        table, factor = self.exercise()
        return "the exercise", r"\b%d per %s\b" % (table, NUMBER_WORDS[factor - 1])

    def step(self, title, ready, expected=lambda: (), unexpected=()):
        """One step: Orca's words for it, and what must (not) be among them. expected() is asked
        once the program is ready, when the exercise it names is on the bus."""
        def guarded():
            try:
                return ready()
            except GLib.GError:
                return False  # a box closed while it was read: look again
        try:
            said = self.orca.step(guarded)
        except TimeoutError:
            said = self.orca.step(lambda: True)
            self.failures.append("%s: the program or Orca's focus did not get there" % title)
        self.steps.append((title, said))
        text = " | ".join(said)
        for what, pattern in expected():
            if not re.search(pattern, text):
                self.failures.append("%s: Orca did not say %s" % (title, what))
        for what, pattern in unexpected:
            if re.search(pattern, text):
                self.failures.append("%s: Orca said %s" % (title, what))

    def answer(self, right, counts):
        table, factor = self.exercise()
        product = table * factor
        xdotool("type", "--delay", "80", str(product if right else product + 1))
        time.sleep(0.5)
        xdotool("key", "Return")
        verdict = "Esatto" if right else "Sbagliato"
        self.step("%d per %d, risposta %s" % (table, factor, "giusta" if right else "sbagliata"),
                  self.on("push button", "Nuovo calcolo"), lambda: [
                      ("the verdict with the product", r"%s[^|]*\b%d\b" % (verdict, product)),
                      ("the counters", r"(?i)esatte\W+%d\b[^|]*errate\W+%d\b[^|]*totali\W+%d\b" % counts)])

    def next_exercise(self):
        xdotool("key", "Return")
        self.step("Invio su Nuovo calcolo", self.on("text", "Risultato"),
                  lambda: [("the answer box", r"Risultato"), self.spoken_exercise()])

    def play(self):
        self.step("avvio", lambda: self.orca.moved_to("text", "Come ti chiami?"),
                  lambda: [("the name box", r"Come ti chiami\?")])
        xdotool("type", "--delay", "80", self.name)
        self.orca.step(lambda: True, quiet=0.5)  # the letters echoed
        xdotool("key", "Return")
        self.step("nome", self.box(" %s vediamo se sei un vero campione  " % self.name),
                  lambda: [("the greeting", r"vediamo se sei un vero campione")])
        xdotool("key", "Return")
        self.step("saluto chiuso", self.on("text", "Risultato"), lambda: [
            ("the answer box", r"Risultato"), self.spoken_exercise(),
            ("the time left", r"(?i)tempo restante\W+\d"),
            ("the record", r"(?i)record[^|]*%s[^|]*\b%d\b" % (RECORD_NAME, RECORD_POINTS))])
        self.answer(True, (1, 0, 1))
        self.next_exercise()
        self.answer(False, (1, 1, 2))
        self.next_exercise()
        menu = [("a menu", r"(?i)Informazioni|Dedica|menu")]
        xdotool("key", "alt")  # a slip: Alt alone
        self.step("Alt da solo", lambda: True, unexpected=menu)
        xdotool("keydown", "alt", "keydown", "x", "keyup", "alt", "keyup", "x")
        farewell = "Ciao. Ti aspetto per la prossima sfida "
        self.step("Alt+X", self.box(farewell), lambda: [("the farewell", re.escape(farewell))], menu)
        xdotool("key", "Return")
        try:
            status = self.program.wait(10)
        except subprocess.TimeoutExpired:
            status = None
        self.steps.append(("Invio sul saluto", self.orca.step(lambda: True, quiet=1.0)))
        if status != 0:
            self.failures.append("the program did not end after the farewell: status %r" % status)


def main(calvenza, orca_log, name):
    records = os.environ["XDG_DATA_HOME"] + "/calvenza"
    os.makedirs(records, exist_ok=True)
    for prefix, content in (("a", str(RECORD_POINTS)), ("n", RECORD_NAME)):
        with open("%s/%stabkesr8.txt" % (records, prefix), "wb") as f:
            f.write(content.encode() + b"\r\n")
    pupil = Pupil(calvenza, orca_log, name)
    try:
        pupil.play()
    finally:
        if pupil.program.poll() is None:
            pupil.program.kill()
    with open(os.environ["E2E_TMP"] + "/spoken.txt", "w") as f:
        for title, said in pupil.steps:
            print("%s:" % title, file=f)
            for utterance in said:
                print("    «%s»" % utterance, file=f)
    print(open(os.environ["E2E_TMP"] + "/spoken.txt").read(), end="")
    for failure in pupil.failures:
        print("FAIL: " + failure)
    return 1 if pupil.failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
