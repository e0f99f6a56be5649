#!/usr/bin/python3
"""Two machines, one pupil, one history on the school's server (run by e2e_run.sh inside
tests/school/pgcluster.sh): Marco misses a fact in a challenge on the first machine; on the second
his ripasso asks that fact first, and goes on while the server is stopped and started again; in
the end every answer of both machines is on the server exactly once. Usage: two_machines.py CALVENZA."""
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
        self.start()

    def watch(self):
        pass  # the wizard's own checks are e2e_run's

    def next(self, how):
        self.focused("push button", "Nuovo calcolo")
        e2e.xdotool("key", "Return")
        self.exercise(how)

    def leave(self):
        e2e.xdotool("key", "alt+x")
        self.dialog("Ciao. Ti aspetto per la prossima sfida ")
        while self.program.poll() is None:  # and a record's box, if there is one
            e2e.xdotool("key", "Return")
            time.sleep(1)


def all_on_server(folders, timeout):
    """Waits until the server has, for each machine, as many answers as the machine's history."""
    psql = sorted(glob.glob("/usr/lib/postgresql/*/bin/psql"))[-1]
    sql = "SELECT machine_id, count(*) FROM calvenza.answers GROUP BY 1"
    for _ in range(timeout * 2):
        there = subprocess.run([psql, "service=calvenza_admin", "-XAtF", " ", "-c", sql], check=True,
                               capture_output=True, text=True).stdout.split()
        there = dict(zip(there[::2], map(int, there[1::2])))
        here = dict(sqlite3.connect("file:%s/calvenza/storia.sqlite?mode=ro" % f, uri=True).execute(
            "SELECT (SELECT machine_id FROM outbox), count(*) FROM answer").fetchone() for f in folders)
        if there == here:
            return here
        time.sleep(0.5)
    e2e.fail("answers on the server %r, on the machines %r" % (there, here))


def cluster(action):
    subprocess.run(["bash", os.environ["PGCLUSTER_SCRIPT"], action, os.environ["CALVENZA_PGCLUSTER"]],
                   check=True)


def main(calvenza):
    first, second = os.environ["E2E_TMP"] + "/uno", os.environ["E2E_TMP"] + "/due"
    one = Machine(calvenza, first, "Marco")
    one.exercise("wrong")
    missed = one.factors
    one.next("right")
    while one.factors == missed:  # a ripasso never begins with the last answer before it
        one.next("right")
    one.leave()
    all_on_server([first], 20)

    two = Machine(calvenza, second, "marco", ["--ripasso"])
    two.exercise("right")
    if two.factors != missed:
        e2e.fail("the ripasso began with %r, not %r missed on the first machine" % (two.factors, missed))
    all_on_server([first, second], 20)  # linked before the server stops
    cluster("stop")
    for _ in range(3):
        two.next("right")
    cluster("start")
    for _ in range(2):
        two.next("right")
    all_on_server([first, second], 90)  # the sender waits longer after each failure
    two.leave()
    counts = all_on_server([first, second], 10)
    if two.program.returncode != 0 or one.program.returncode != 0:
        e2e.fail("a program ended with status %r" % [one.program.returncode, two.program.returncode])
    print("missed %r first, asked first again by the ripasso; answers on the server: %r" % (missed, counts))


if __name__ == "__main__":
    main(sys.argv[1])
