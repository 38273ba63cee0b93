#!/usr/bin/python3
"""Presses a button of a running app through the accessibility bus, as a screen reader user would.

Usage: press-button.py APP_NAME BUTTON_NAME [TIMEOUT_SECONDS]
Waits until an application called APP_NAME shows a push button named BUTTON_NAME that can be
pressed, presses it and exits 0; exits 1 with the buttons it saw when none appears in time.
The app must run with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 on the same session bus.
"""
import sys
import time

import pyatspi


def push_buttons(node, depth=0):
    if node is None or depth > 40:
        return
    try:
        if node.getRole() == pyatspi.ROLE_PUSH_BUTTON:
            yield node
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:  # a widget that went away while we walked the tree
        return
    for child in children:
        yield from push_buttons(child, depth + 1)


def pressable(button):
    states = button.getState()
    return states.contains(pyatspi.STATE_SHOWING) and states.contains(pyatspi.STATE_ENABLED)


def find_button(app_name, button_name, seen):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]:
        if app is None or app.name != app_name:
            continue
        for button in push_buttons(app):
            seen.add(button.name)
            if button.name == button_name and pressable(button):
                return button
    return None


def main():
    app_name, button_name = sys.argv[1], sys.argv[2]
    deadline = time.monotonic() + float(sys.argv[3] if len(sys.argv) > 3 else 60)
    seen = set()
    while time.monotonic() < deadline:
        button = find_button(app_name, button_name, seen)
        if button is not None:
            action = button.queryAction()
            action.doAction(0)
            print(f'pressed "{button_name}" in {app_name}')
            return 0
        time.sleep(0.5)
    print(f'no pressable "{button_name}" button in {app_name}; buttons seen: {sorted(seen)}', file=sys.stderr)
    return 1


if __name__ == '__main__':
    sys.exit(main())
