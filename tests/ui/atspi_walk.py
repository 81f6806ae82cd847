#!/usr/bin/python3
"""What a screen reader gets: walks every window the program opens over the
real accessibility bus (AT-SPI), as the window host shows them one at a
time, and fails on a control that takes the focus but has no name.

    atspi_walk.py HOST_PROGRAM

Runs inside a desktop session (desktop_session.py). Prints, per window, how
many focusable controls it has and how many of them are named. The rows of
lists, tables and trees are items of their list, not controls, and are read
by the in-process walk; web pages have their own accessibility. Exits 77 (a
skip for ctest) when pyatspi is not installed.
"""

import os
import subprocess
import sys
import time

try:
    import pyatspi
except ImportError:
    print("atspi_walk: pyatspi is not installed (python3-pyatspi)", file=sys.stderr)
    sys.exit(77)

APPLICATION = "QuilloraAtspiHost"
# Their children are rows and cells, or a web page.
CONTAINERS_OF_ITEMS = {
    pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE,
    pyatspi.ROLE_DOCUMENT_WEB, pyatspi.ROLE_DOCUMENT_FRAME,
}
# QUILLORA_LIST_NAMES=1 prints every control with its name.
LIST_CONTROLS = bool(os.environ.get("QUILLORA_LIST_NAMES"))
# Most controls a window may have: the walk ends there rather than run away.
MAX_NODES = 20000


def application(timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == APPLICATION:
                return app
        time.sleep(0.2)
    return None


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def shown_windows(app, timeout=20):
    """The application's windows on screen, once they have controls."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        windows = [app.getChildAtIndex(i) for i in range(app.childCount)]
        windows = [w for w in windows if w is not None and showing(w) and w.childCount > 0]
        if windows:
            return windows
        time.sleep(0.2)
    return []


def describe(node, path):
    return "%s \"%s\" at %s" % (node.getRoleName(), node.name, "/".join(path))


def walk(window):
    """(focusable controls, the unnamed ones as descriptions)."""
    controls = 0
    unnamed = []
    stack = [(window, [window.getRoleName()])]
    visited = 0
    while stack and visited < MAX_NODES:
        node, path = stack.pop()
        visited += 1
        state = node.getState()
        if not state.contains(pyatspi.STATE_SHOWING):
            continue
        if node is not window and state.contains(pyatspi.STATE_FOCUSABLE):
            controls += 1
            if LIST_CONTROLS:
                print("  " + describe(node, path), flush=True)
            if not (node.name or "").strip():
                unnamed.append(describe(node, path))
        if node.getRole() in CONTAINERS_OF_ITEMS:
            continue
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is not None:
                stack.append((child, path + ["%s[%d]" % (child.getRoleName(), i)]))
    return controls, unnamed


def main():
    if len(sys.argv) != 2:
        print("usage: atspi_walk.py HOST_PROGRAM", file=sys.stderr)
        return 2
    host = subprocess.Popen([sys.argv[1]], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    failed = []
    walked = 0
    try:
        app = None
        for line in host.stdout:
            line = line.strip()
            if line == "done":
                break
            if not line.startswith("window "):
                continue
            name = line[len("window "):]
            app = app or application()
            if app is None:
                print("atspi_walk: the program never appeared on the accessibility bus", file=sys.stderr)
                return 1
            windows = shown_windows(app)
            if not windows:
                failed.append("%s: no window on the accessibility bus" % name)
            controls = 0
            unnamed = []
            for window in windows:
                c, u = walk(window)
                controls += c
                unnamed += u
            print("%s: %d focusable controls, %d named" % (name, controls, controls - len(unnamed)), flush=True)
            if controls == 0 and name not in ("Connecting", "Registration wait"):
                failed.append("%s: no focusable control" % name)
            failed += ["%s: %s has no name" % (name, u) for u in unnamed]
            walked += 1
            host.stdin.write("next\n")
            host.stdin.flush()
    finally:
        if host.stdin:
            host.stdin.close()
        try:
            code = host.wait(30)
        except subprocess.TimeoutExpired:
            host.kill()
            code = host.wait()
    if code != 0:
        failed.append("the window host ended with status %d" % code)
    if walked == 0:
        failed.append("no window was walked")
    for f in failed:
        print("FAIL " + f, flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
