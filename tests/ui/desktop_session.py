#!/usr/bin/python3
"""Runs one command in a desktop session of its own: a virtual display
(Xvfb) on the first free display of a range, and a D-Bus session bus, on
which the accessibility bus and any other service the command needs are
started on demand. Everything the session started is stopped afterwards,
whatever the command did.

    desktop_session.py --displays 120-129 -- COMMAND [ARG...]

The command sees DISPLAY, DBUS_SESSION_BUS_ADDRESS and a private
XDG_RUNTIME_DIR; Qt programs draw on the display (QT_QPA_PLATFORM=xcb) and
speak to the accessibility bus (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1). The
exit status is the command's; 77 (a skip for ctest) when Xvfb or
dbus-daemon is not installed.
"""

import argparse
import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
PR_SET_CHILD_SUBREAPER = 36


def log(text):
    print("desktop_session: " + text, file=sys.stderr, flush=True)


def display_range(text):
    first, _, last = text.partition("-")
    return range(int(first), int(last or first) + 1)


def read_line(fd, seconds):
    """What `fd` gives up to a line end, its end or the time limit."""
    data = b""
    deadline = time.monotonic() + seconds
    while not data.endswith(b"\n"):
        readable, _, _ = select.select([fd], [], [], max(0, deadline - time.monotonic()))
        if not readable:
            break
        chunk = os.read(fd, 256)
        if not chunk:
            break
        data += chunk
    return data.decode(errors="replace")


def start_xvfb(displays):
    """The first display of the range that is free and comes up."""
    for number in displays:
        if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
            continue
        ready_read, ready_write = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", ":%d" % number, "-screen", "0", "1600x1000x24", "-nolisten", "tcp",
             "-displayfd", str(ready_write)],
            pass_fds=[ready_write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(ready_write)
        # The number and its line end come in separate writes: the pipe stays
        # open until both are read, or Xvfb ends on the failed write.
        answer = read_line(ready_read, 15)
        os.close(ready_read)
        if answer.strip():
            return xvfb, ":%d" % number
        stop(xvfb)
    return None, None


def start_bus(environment, runtime):
    """A session bus; its address."""
    address_read, address_write = os.pipe()
    bus = subprocess.Popen(
        ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:dir=" + runtime,
         "--print-address=%d" % address_write],
        pass_fds=[address_write], env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(address_write)
    address = read_line(address_read, 15).strip()
    os.close(address_read)
    if not address:
        stop(bus)
        return None, None
    return bus, address


def stop(process, seconds=5):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def children_of(pid):
    """Process ids whose parent is `pid` (from /proc/*/stat)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == pid:
            found.append(int(entry))
    return found


def stop_descendants():
    """Ends every process this session left: services the bus started on
    demand (the accessibility bus and its registry) outlive the bus and,
    this process being their subreaper, come back to it as its children."""
    deadline = time.monotonic() + 10
    sent_kill = False
    while True:
        left = children_of(os.getpid())
        if not left:
            return
        if time.monotonic() > deadline:
            if sent_kill:
                log("left running: %s" % left)
                return
            sent_kill = True
            deadline = time.monotonic() + 5
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL if sent_kill else signal.SIGTERM)
            except ProcessLookupError:
                pass
        time.sleep(0.2)
        for pid in left:
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--displays", default="120-129")
    parser.add_argument("--timeout", type=int, default=600)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")
    for program in ("Xvfb", "dbus-daemon"):
        if not shutil.which(program):
            log("%s is not installed" % program)
            return SKIP

    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    runtime = tempfile.mkdtemp(prefix="quillora-session-")
    os.chmod(runtime, 0o700)
    xvfb = bus = None
    try:
        xvfb, display = start_xvfb(display_range(args.displays))
        if not xvfb:
            log("no display of %s could be started" % args.displays)
            return 1
        environment = dict(os.environ)
        environment.update({
            "DISPLAY": display,
            "XDG_RUNTIME_DIR": runtime,
            "QT_QPA_PLATFORM": "xcb",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        })
        environment.pop("WAYLAND_DISPLAY", None)
        bus, address = start_bus(environment, runtime)
        if not bus:
            log("the session bus did not start")
            return 1
        environment["DBUS_SESSION_BUS_ADDRESS"] = address
        log("display %s, bus %s" % (display, address))
        child = subprocess.Popen(command, env=environment, start_new_session=True)
        try:
            return child.wait(args.timeout)
        except subprocess.TimeoutExpired:
            log("%s took longer than %d s" % (command[0], args.timeout))
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            return 1
    finally:
        stop(bus)
        stop(xvfb)
        stop_descendants()
        shutil.rmtree(runtime, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
