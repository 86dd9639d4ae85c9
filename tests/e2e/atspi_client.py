#!/usr/bin/python3
"""A screen reader's view of the running program, for the end-to-end scripts.

It talks to the real accessibility bus (at-spi2-core) with pyatspi, as Orca
does, and finds everything by its accessible name:
  atspi_client.py wait                  waits until the program's window is there
  atspi_client.py press NAME            does the control's first action (press, toggle)
  atspi_client.py focus NAME            gives NAME the keyboard
  atspi_client.py text NAME             prints the text (or name) of NAME
  atspi_client.py states NAME           prints its states, one per line
  atspi_client.py role NAME             prints its role
  atspi_client.py value NAME            prints its current value
  atspi_client.py set NAME VALUE        sets its value (a slider)
  atspi_client.py extents NAME          prints x y width height on the screen
  atspi_client.py names                 prints every name with its role, as a tree
Exit status 3 when NAME is not found.
"""
import sys
import time

import pyatspi

APP = "Quillon"


def application(timeout=20.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == APP and app.childCount > 0:
                return app
        time.sleep(0.1)
    sys.exit("atspi_client: no application named %s on the accessibility bus" % APP)


def walk(node):
    yield node
    try:
        children = list(node)
    except Exception:
        return
    for child in children:
        if child is not None:
            yield from walk(child)


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def find(name, timeout=10.0):
    """The showing object named NAME (the sheet's controls hide the ones under it)."""
    end = time.monotonic() + timeout
    while True:
        app = application()
        matches = [n for n in walk(app) if n.name == name]
        shown = [n for n in matches if showing(n)]
        if shown or (matches and time.monotonic() >= end):
            return (shown or matches)[0]
        if time.monotonic() >= end:
            print("atspi_client: nothing named %r" % name, file=sys.stderr)
            sys.exit(3)
        time.sleep(0.1)


def do_action(node, wanted=None):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    index = 0 if wanted is None else names.index(wanted)
    if not action.doAction(index):
        sys.exit("atspi_client: %s refused %s" % (node.name, names[index]))


def main(argv):
    command = argv[1] if len(argv) > 1 else "wait"
    if command == "wait":
        application()
        find("Record", 20.0)
    elif command == "press":
        do_action(find(argv[2]))
    elif command == "focus":
        # The window may still be on its way to being active: ask again
        # until the object says it has the keyboard.
        end = time.monotonic() + 10.0
        while True:
            node = find(argv[2])
            try:
                action = node.queryAction()
                names = [action.getName(i) for i in range(action.nActions)]
            except NotImplementedError:
                names = []
            if "SetFocus" in names:
                do_action(node, "SetFocus")
            else:
                node.queryComponent().grabFocus()
            time.sleep(0.1)
            if find(argv[2]).getState().contains(pyatspi.STATE_FOCUSED):
                break
            if time.monotonic() >= end:
                sys.exit("atspi_client: %s did not take the keyboard" % argv[2])
    elif command == "text":
        node = find(argv[2])
        try:
            text = node.queryText()
            print(text.getText(0, -1))
        except NotImplementedError:
            print(node.name)
    elif command == "states":
        for state in find(argv[2]).getState().getStates():
            print(pyatspi.stateToString(state))
    elif command == "role":
        print(find(argv[2]).getRoleName())
    elif command == "value":
        print(int(round(find(argv[2]).queryValue().currentValue)))
    elif command == "set":
        find(argv[2]).queryValue().currentValue = float(argv[3])
    elif command == "extents":
        box = find(argv[2]).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        print(box.x, box.y, box.width, box.height)
    elif command == "names":
        def show(node, depth):
            print("  " * depth + "%s: %r" % (node.getRoleName(), node.name))
            for child in node:
                if child is not None:
                    show(child, depth + 1)
        show(application(), 0)
    else:
        sys.exit("atspi_client: unknown command %r" % command)


if __name__ == "__main__":
    main(sys.argv)
