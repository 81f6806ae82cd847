#!/usr/bin/python3
"""What a title search and a page of a column cost on a large community.

Usage: read_cost.py SERVER [QUESTIONS] [ROUNDS]

Builds a community of QUESTIONS questions (default 300,000) over the 41
columns, each with one to three answers: SERVER (a varnel-server binary)
makes the schema and the demo members on a fresh SQLite file, then the rows
are written straight into the file. The server is started again on it and
each kind of call is made ROUNDS times (default 15), every call with values
of its own so that no rendered answer serves it; the median and the slowest
time a call took, seen by the caller over a kept-alive connection, are
printed per kind, with the server's CPU time per call. The database is kept
in a temporary folder and removed at the end.

Titles are five words of a 500-word vocabulary, and every third title also
holds "printer": a search finds about 1% of the questions for a vocabulary
word, a third of them for "printer", none for a word that is not there.
"""
import http.client
import os
import random
import re
import shutil
import signal
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time
from xml.sax.saxutils import escape

PATH = "/Varnel/Web/Services/VarnelServices.asmx"


def start(server, db, files, extra):
    proc = subprocess.Popen([server, "--port", "0", "--db", db, "--files", files] + extra,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    first = proc.stdout.readline()
    m = re.match(r"varnel-server listening on http://([^:]+):(\d+)", first)
    if not m:
        proc.kill()
        sys.exit("unexpected first line: %r" % first)
    for line in proc.stdout:
        if line.strip() == "varnel-server ready":
            break
    return proc, m.group(1), int(m.group(2))


def stop(proc):
    proc.send_signal(signal.SIGTERM)
    proc.wait(timeout=60)


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def fill(db, questions, seed=20261209):
    rnd = random.Random(seed)
    vocabulary = ["".join(rnd.choice("bcdfghjklmnprstvz") + rnd.choice("aeiou") for _ in range(3))
                  for _ in range(500)]
    con = sqlite3.connect(db)
    members = [row[0] for row in con.execute("SELECT id FROM members")]
    now = int(time.time())
    first = con.execute("SELECT COALESCE(MAX(id), 0) FROM questions").fetchone()[0] + 1
    rows, answers = [], []
    for i in range(questions):
        words = rnd.sample(vocabulary, 5)
        if i % 3 == 0:
            words[rnd.randrange(5)] = "printer"
        column = 1 + i % 41
        zone = 1 if column <= 10 else 2 if column <= 20 else 3 if column <= 30 else 4
        posted = now - (questions - i) * 200
        qid = first + i
        asker = rnd.choice(members)
        rows.append((qid, asker, column, zone, " ".join(words).capitalize(), "What should I do?",
                     rnd.randrange(40, 201), posted, posted + 3600))
        for a in range(rnd.randrange(1, 4)):
            answers.append((qid, rnd.choice(members), "Try this.", posted + 60 * (a + 1)))
    with con:
        con.executemany("INSERT INTO questions(id, asker_id, column_id, zone, title, body, points, posted, closed) "
                        "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)", rows)
        con.executemany("INSERT INTO answers(question_id, answerer_id, body, posted) VALUES(?, ?, ?, ?)", answers)
    con.execute("ANALYZE")
    con.close()
    return vocabulary


class Caller:
    def __init__(self, address, port, host):
        self.conn = http.client.HTTPConnection(address, port, timeout=120)
        self.ns = "http://%s/Services/VarnelServices" % host
        self.user = os.environ.get("VARNEL_SERVICE_USER", "QuilloraAgent")
        self.password = os.environ.get("VARNEL_SERVICE_PASSWORD", "k7Varnel#2007-svc")

    def call(self, op, params):
        fields = "".join("<%s>%s</%s>" % (k, escape(str(v)), k) for k, v in params)
        body = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Header>'
                '<CredentialSoapHeader xmlns="%s"><Username>%s</Username><Password>%s</Password>'
                '</CredentialSoapHeader></soap:Header><soap:Body><%s xmlns="%s">%s</%s></soap:Body></soap:Envelope>'
                % (self.ns, escape(self.user), escape(self.password), op, self.ns, fields, op)).encode()
        t0 = time.perf_counter()
        self.conn.request("POST", PATH, body, {"Content-Type": "text/xml; charset=utf-8"})
        answer = self.conn.getresponse()
        text = answer.read().decode()
        took = time.perf_counter() - t0
        if answer.status != 200:
            sys.exit("%s answered %d: %s" % (op, answer.status, text[:300]))
        total = re.search(r"<totalCount>(\d+)</totalCount>", text)
        return took, int(total.group(1)) if total else -1


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    server = sys.argv[1]
    questions = int(sys.argv[2]) if len(sys.argv) > 2 else 300000
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 15
    work = tempfile.mkdtemp(prefix="varnel-read-cost-")
    try:
        db, files = os.path.join(work, "community.db"), os.path.join(work, "files")
        proc, _, _ = start(server, db, files, ["--demo"])
        stop(proc)
        t0 = time.time()
        vocabulary = fill(db, questions)
        print("community of %d questions written in %.0f s" % (questions, time.time() - t0))

        # Servers that have a read budget are measured without it: the cost
        # of a call is what is wanted here, not the limit.
        helptext = subprocess.run([server, "--help"], capture_output=True, text=True).stdout
        extra = ["--read-ms-per-second", "0"] if "--read-ms-per-second" in helptext else []
        proc, address, port = start(server, db, files, extra)
        caller = Caller(address, port, address)
        rnd = random.Random(7)
        kinds = [
            ("title search, all columns, 'printer' (1/3 match)",
             lambda i: ("GetSearchForumPostsByTitle",
                        [("forumID", 0), ("keyword", "printer"), ("pageSize", 15), ("currentPageIndex", i + 1)])),
            ("title search, all columns, one word (1% match)",
             lambda i: ("GetSearchForumPostsByTitle",
                        [("forumID", 0), ("keyword", rnd.choice(vocabulary)), ("pageSize", 15),
                         ("currentPageIndex", 1)])),
            ("title search, all columns, no match",
             lambda i: ("GetSearchForumPostsByTitle",
                        [("forumID", 0), ("keyword", "zzq%d" % i), ("pageSize", 15), ("currentPageIndex", 1)])),
            ("column page 1..N",
             lambda i: ("GetForumPostListByColumn",
                        [("forumColumnID", 1 + i % 41), ("pageSize", 15), ("currentPageIndex", 1 + i // 41)])),
            ("column page 400 (deep)",
             lambda i: ("GetForumPostListByColumn",
                        [("forumColumnID", 1 + i % 41), ("pageSize", 15), ("currentPageIndex", 400)])),
        ]
        caller.call(*kinds[3][1](0))  # warm the file cache
        print("%-52s %9s %9s %9s %8s" % ("call", "median ms", "max ms", "CPU ms", "total"))
        for name, make in kinds:
            times, cpu0 = [], cpu_seconds(proc.pid)
            total = 0
            for i in range(rounds):
                took, total = caller.call(*make(i))
                times.append(took * 1000)
            cpu = (cpu_seconds(proc.pid) - cpu0) * 1000 / rounds
            print("%-52s %9.1f %9.1f %9.1f %8d" % (name, statistics.median(times), max(times), cpu, total))
        stop(proc)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
