#!/usr/bin/python3
"""Prints the accessible tree of a running program as a screen reader sees it.

    scripts/atspi-tree.py [--timeout SECONDS] [--min-nodes N] [--extents] PROCESS_NAME

Reads the AT-SPI bus from outside the program (the bus of the D-Bus session in
DBUS_SESSION_BUS_ADDRESS). The program is the accessible application whose name,
or whose process's command name (/proc/PID/comm), equals PROCESS_NAME. Prints one
line per node, indented two spaces per level:

    role "name" [description] {states} @x,y wxh

(the rectangle in window coordinates only with --extents).

Waits up to --timeout seconds (default 15) for the program to appear on the bus
with at least --min-nodes nodes (default 2: the application and a window), then
prints its tree. Exit status: 0 printed, 1 not found in time, 2 bad usage.
"""

import argparse
import sys
import time

try:
    import pyatspi
except ImportError:  # pragma: no cover - depends on the machine
    sys.exit("atspi-tree: python3-pyatspi is missing (scripts/install-deps.sh --test)")

# Guards against a cycle or a runaway tree in a broken program.
MAX_DEPTH = 40
MAX_NODES = 5000
# States worth showing; the rest (enabled, sensitive, visible...) are noise here.
SHOWN_STATES = {
    pyatspi.STATE_FOCUSED: "focused",
    pyatspi.STATE_FOCUSABLE: "focusable",
    pyatspi.STATE_SELECTED: "selected",
    pyatspi.STATE_SHOWING: "showing",
    pyatspi.STATE_ACTIVE: "active",
}


def one_line(text):
    """Node texts are shown on one line; control characters become escapes."""
    out = []
    for ch in text or "":
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\n":
            out.append("\\n")
        elif ord(ch) < 0x20 or 0x7F <= ord(ch) < 0xA0:
            out.append("\\x%02X" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


def process_name(app):
    try:
        pid = app.get_process_id()
        with open("/proc/%d/comm" % pid, encoding="utf-8", errors="replace") as f:
            return f.read().strip()
    except Exception:  # the process may be gone or not ours to read
        return ""


def find_application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None:
            continue
        try:
            app_name = app.name
        except Exception:
            continue
        if app_name == name or process_name(app) == name:
            return app
    return None


def extents(node):
    try:
        component = node.queryComponent()
        # Position and size apart: some bridges report window-relative extents
        # with the window's own offset added to the size.
        x, y = component.getPosition(pyatspi.WINDOW_COORDS)
        width, height = component.getSize()
        return " @%d,%d %dx%d" % (x, y, width, height)
    except Exception:  # not every node is a component
        return ""


def walk(node, depth, lines, seen, with_extents=False):
    if node is None or len(lines) >= MAX_NODES or depth > MAX_DEPTH:
        return
    try:
        role = node.getRoleName()
        name = node.name
        description = node.description
        states = node.getState()
        shown = [label for state, label in SHOWN_STATES.items() if states.contains(state)]
        count = node.childCount
    except Exception as error:  # a node that vanished while we read it
        lines.append("  " * depth + "<gone: %s>" % type(error).__name__)
        return
    line = "  " * depth + '%s "%s"' % (role.replace(" ", "_"), one_line(name))
    if description:
        line += " [%s]" % one_line(description)
    if shown:
        line += " {%s}" % ",".join(shown)
    if with_extents:
        line += extents(node)
    lines.append(line)
    key = (getattr(node, "path", None), depth)
    if key in seen:
        return
    seen.add(key)
    for i in range(min(count, MAX_NODES)):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        walk(child, depth + 1, lines, seen, with_extents)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("process_name")
    parser.add_argument("--timeout", type=float, default=15.0)
    parser.add_argument("--min-nodes", type=int, default=2)
    parser.add_argument("--extents", action="store_true")
    args = parser.parse_args()

    deadline = time.monotonic() + args.timeout
    lines = []
    while True:
        app = find_application(args.process_name)
        if app is not None:
            lines = []
            walk(app, 0, lines, set(), args.extents)
            if len(lines) >= args.min_nodes:
                break
        if time.monotonic() >= deadline:
            if app is None:
                print("atspi-tree: no accessible application '%s' on the bus" % args.process_name,
                      file=sys.stderr)
            else:
                print("atspi-tree: '%s' shows only %d nodes" % (args.process_name, len(lines)),
                      file=sys.stderr)
                print("\n".join(lines))
            return 1
        time.sleep(0.3)
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
