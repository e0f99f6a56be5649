#!/usr/bin/python3
"""A blind pupil: plays the real Calvenza by keyboard only while Orca runs, and checks from Orca's
debug file (its SPEECH OUTPUT lines) what was spoken at each step; the exercise is read off the
accessibility bus, to know what Orca should have said.
Usage: orca_pupil.py CALVENZA ORCA_LOG NAME; the record under $XDG_DATA_HOME, notes in $E2E_TMP."""
import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

from pupil import has, walk, xdotool

NUMBER_WORDS = ["uno", "due", "tre", "quattro", "cinque", "sei", "sette", "otto", "nove", "dieci"]
RECORD_NAME, RECORD_POINTS = "Marta", 3
MENU = [("a menu", r"(?i)Informazioni|Dedica|menu")]
ENGLISH = [("a key's English name", r"Return")]


class Orca:
    """What Orca has said, and where its focus went, read from its debug file as it grows."""

    def __init__(self, path):
        self.file, self.pending = open(path, "rb"), b""
        self.said, self.moves, self.said_seen, self.moves_seen = [], [], 0, 0

    def read(self):
        self.pending += self.file.read()
        complete, _, self.pending = self.pending.rpartition(b"\n")
        text = complete.decode("utf-8", "replace").replace("\r\n", "\n")  # a terminal's line ends
        self.said += re.findall(r"SPEECH OUTPUT: '(.*?)' ?(?:\{|voice=|$)", text, re.M | re.S)
        self.moves += re.findall(r"Changing locusOfFocus from .*? to \[(.*?) \| (.*?)\]\. Notify", text, re.S)

    def moved_to(self, role, name):
        self.read()
        return (role, name) in self.moves[self.moves_seen:]

    def moved_to_one(self, role, start):
        self.read()
        return any(r == role and n.startswith(start) for r, n in self.moves[self.moves_seen:])

    def step(self, ready, quiet=1.5, timeout=15.0):
        """Waits for ready(), then for Orca to fall quiet; what it said since the last step."""
        deadline = time.time() + timeout
        while not ready():
            if time.time() > deadline:
                raise TimeoutError
            time.sleep(0.1)
        count, still = -1, time.time()
        while time.time() < still + quiet and time.time() < deadline + 10:
            self.read()
            if len(self.said) != count:
                count, still = len(self.said), time.time()
            time.sleep(0.1)
        news = self.said[self.said_seen:]
        self.said_seen, self.moves_seen = len(self.said), len(self.moves)
        return news


class Pupil:
    def __init__(self, calvenza, orca_log, name):
        self.name, self.orca, self.steps, self.failures = name, Orca(orca_log), [], []
        log = open(os.environ["E2E_TMP"] + "/calvenza.log", "w")
        self.program = subprocess.Popen([calvenza], stdout=log, stderr=subprocess.STDOUT)
        self.window = None

    def app(self):
        return next((a for a in pyatspi.Registry.getDesktop(0)
                     if a is not None and a.get_process_id() == self.program.pid), [])

    def box(self, text):
        """The program shows a box saying text, and Orca is on its button."""
        return lambda: self.orca.moved_to("push button", "OK") and any(
            b and b.getRoleName() in ("dialog", "alert") and has(b, pyatspi.STATE_ACTIVE)
            and text in [n.name for n in walk(b)] for b in self.app())

    def on(self, role, name):
        """The keyboard is on that control of the window, and Orca's focus followed it."""
        def probe():
            self.window = self.window or next((f for f in self.app() if f and f.getRoleName() == "frame"
                                               and any(n.name == "Risultato" for n in walk(f))), None)
            return self.window and self.orca.moved_to(role, name) and any(
                n.getRoleName() == role and n.name == name and has(n, pyatspi.STATE_FOCUSED)
                for n in walk(self.window))
        return probe

    def exercise(self):
        """The table and the factor, as the hidden factor labels hold them."""
        hidden = [int(n.name) for n in walk(self.window) if n.getRoleName() == "label"
                  and n.name.isdigit() and not has(n, pyatspi.STATE_SHOWING)]
        hidden.remove(8)
        return 8, hidden[0]

    def spoken_exercise(self):
        table, factor = self.exercise()
        return "the exercise", r"\b%d per %s\b" % (table, NUMBER_WORDS[factor - 1])

    def step(self, title, ready, expected=lambda: (), unexpected=()):
        """Orca's words for one step, and what must (not) be among them; expected() is asked once
        the program is ready, when the exercise it names is on the bus."""
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
        self.failures += ["%s: Orca did not say %s" % (title, what)
                          for what, pattern in expected() if not re.search(pattern, text)]
        self.failures += ["%s: Orca said %s" % (title, what)
                          for what, pattern in unexpected if re.search(pattern, text)]

    def answer(self, right, counts):
        table, factor = self.exercise()
        product = table * factor
        xdotool("type", "--delay", "80", str(product if right else product + 1))
        time.sleep(0.5)
        xdotool("key", "Return")
        verdict = "Esatto" if right else "Sbagliato"
        if not right:
            self.missed = factor
        self.step("%d per %d, risposta %s" % (table, factor, "giusta" if right else "sbagliata"),
                  self.on("push button", "Nuovo calcolo"), lambda: [
                      ("the verdict with the product", r"%s[^|]*\b%d\b" % (verdict, product)),
                      ("the counters", r"(?i)esatte\W+%d\b[^|]*errate\W+%d\b[^|]*totali\W+%d\b" % counts)]
                  + [("the hint", r"Premi Invio per il prossimo esercizio")] * (counts[2] == 1), ENGLISH)
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
            ("the record", r"Il record è di %s, con %d punti" % (RECORD_NAME, RECORD_POINTS)),
            ("the hint", r"Scrivi il risultato e premi Invio")], ENGLISH)
        self.answer(True, (1, 0, 1))
        self.answer(False, (1, 1, 2))
        xdotool("key", "alt")  # a slip: Alt alone
        self.step("Alt da solo", lambda: True, unexpected=MENU)
        xdotool("keydown", "alt", "keydown", "x", "keyup", "alt", "keyup", "x")
        farewell = "Ciao. Ti aspetto per la prossima sfida "
        self.step("Alt+X", self.box(farewell), lambda: [("the farewell", re.escape(farewell))], MENU)
        xdotool("key", "Return")
        try:
            status = self.program.wait(10)
        except subprocess.TimeoutExpired:
            status = None
        self.steps.append(("Invio sul saluto", self.orca.step(lambda: True, quiet=1.0)))
        if status != 0:
            self.failures.append("the program did not end after the farewell: status %r" % status)

    def read_register(self, calvenza):
        """The register of this computer, by keyboard: what a blind teacher hears of the class."""
        log = open(os.environ["E2E_TMP"] + "/registro.log", "w")
        self.program = subprocess.Popen([calvenza, "--registro"], stdout=log, stderr=subprocess.STDOUT)
        # Orca lands on the table, or at once on its first cell: either will do.
        self.step("registro", lambda: self.orca.moved_to("table", "Gli alunni")
                  or self.orca.moved_to_one("table cell", self.name),
                  lambda: [("the pupils' table", r"Gli alunni")])
        xdotool("key", "--delay", "300", "Right", "Right", "Right")
        self.step("registro, le risposte dell'alunno",
                  lambda: self.orca.moved_to_one("table cell", "%s, risposte" % self.name),
                  lambda: [("the column and his answers", r"%s, risposte questa settimana: 2\b" % self.name)])
        xdotool("key", "alt+t")
        self.step("registro, la tavola della classe",
                  lambda: self.orca.moved_to("table", "La tavola pitagorica della classe")
                  or self.orca.moved_to_one("table cell", "1 per 1"),
                  lambda: [("the class's tavola", r"La tavola pitagorica della classe")])
        xdotool("key", "--delay", "300", *(["Down"] * 7 + ["Right"] * (self.missed - 1)))
        fact = "8 per %d" % self.missed
        self.step("registro, %s" % fact, lambda: self.orca.moved_to_one("table cell", fact + ":"),
                  lambda: [("the fact he missed", r"%s: la sanno 0 bambini su 1; la sbagliano spesso %s"
                            % (fact, self.name))])
        xdotool("key", "Escape")
        try:
            status = self.program.wait(10)
        except subprocess.TimeoutExpired:
            status = None
        if status != 0:
            self.failures.append("the register did not close on Esc: status %r" % status)


def main(calvenza, orca_log, name):
    records = os.environ["XDG_DATA_HOME"] + "/calvenza"
    os.makedirs(records, exist_ok=True)
    for prefix, content in (("a", str(RECORD_POINTS)), ("n", RECORD_NAME)):
        with open("%s/%stabkesr8.txt" % (records, prefix), "wb") as f:
            f.write(content.encode() + b"\r\n")
    pupil = Pupil(calvenza, orca_log, name)
    try:
        pupil.play()
        pupil.read_register(calvenza)
    finally:
        if pupil.program.poll() is None:
            pupil.program.kill()
    for title, said in pupil.steps:
        print("%s:\n%s" % (title, "".join("    «%s»\n" % s for s in said)), end="")
    for failure in pupil.failures:
        print("FAIL: " + failure)
    return 1 if pupil.failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
