#!/usr/bin/python3
"""Two machines, one pupil, one history on the school's server (run by e2e_run.sh inside
tests/school/pgcluster.sh): Marco misses a fact in a challenge on the first machine; on the second his ripasso asks that fact
first, and goes on while the server is stopped and started again; in the end every answer of both
machines is on the server exactly once. Usage: two_machines.py CALVENZA."""
import glob
import os
import sqlite3
import subprocess
import sys
import time

import pupil as e2e


class Machine(e2e.Pupil):
    def __init__(self, calvenza, folder, name, options=()):
        os.environ["XDG_DATA_HOME"] = os.environ["E2E_TMP"] = folder
        os.makedirs(folder, exist_ok=True)
        super().__init__(calvenza, 8, name, options)

    def watch(self):
        pass  # the wizard's own checks are e2e_run's

    def next_exercise(self, how):
        self.focused("push button", "Nuovo calcolo")
        e2e.xdotool("key", "Return")
        self.exercise(how)

    def leave(self):
        e2e.xdotool("key", "alt+x")
        self.dialog("Ciao. Ti aspetto per la prossima sfida ")
        for _ in range(10):  # and a record's box, if there is one
            e2e.xdotool("key", "Return")
            if self.program.poll() is not None or time.sleep(1):
                break
        if self.program.wait(10) != 0:
            e2e.fail("the program ended with status %d" % self.program.returncode)


def on_server():
    psql = sorted(glob.glob("/usr/lib/postgresql/*/bin/psql"))[-1]
    rows = subprocess.run([psql, "service=calvenza_admin", "-XAtF", " ", "-c",
                           "SELECT machine_id, count(*) FROM calvenza.answers GROUP BY 1"],
                          check=True, capture_output=True, text=True).stdout.split("\n")
    return dict((m, int(n)) for m, n in (r.split() for r in rows if r))


def on_machine(folder):
    db = sqlite3.connect("file:%s/calvenza/storia.sqlite?mode=ro" % folder, uri=True)
    return db.execute("SELECT machine_id FROM outbox").fetchone()[0], \
        db.execute("SELECT count(*) FROM answer").fetchone()[0]


def all_on_server(folders, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        there, here = on_server(), dict(on_machine(f) for f in folders)
        if there == here:
            return here
        time.sleep(0.5)
    e2e.fail("answers on the server %r, on the machines %r" % (there, here))


def cluster(action):
    subprocess.run(["bash", os.environ["PGCLUSTER_SCRIPT"], action, os.environ["CALVENZA_PGCLUSTER"]],
                   check=True)


def main(calvenza):
    root = os.environ["E2E_TMP"]
    first, second = root + "/uno", root + "/due"
    one = Machine(calvenza, first, "Marco")
    one.start()
    one.exercise("wrong")
    missed = one.factors
    # A ripasso never begins with the very last answer before it.
    one.next_exercise("right")
    while one.factors == missed:
        one.next_exercise("right")
    one.leave()
    all_on_server([first], 20)

    two = Machine(calvenza, second, "marco", ["--ripasso"])
    two.start()
    two.exercise("right")
    if two.factors != missed:
        e2e.fail("the ripasso began with %r, not %r missed on the first machine" % (two.factors, missed))
    all_on_server([first, second], 20)  # linked before the server stops
    cluster("stop")
    for _ in range(3):
        two.next_exercise("right")
    cluster("start")
    for _ in range(2):
        two.next_exercise("right")
    counts = all_on_server([first, second], 90)  # the sender waits longer after each failure
    two.leave()
    counts = all_on_server([first, second], 10)
    print("missed %r first, asked first again by the ripasso; answers on the server: %r" % (missed, counts))


if __name__ == "__main__":
    main(sys.argv[1])
