#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a running application's accessible tree the way a screen reader does, over AT-SPI.

usage: atspi_read.py <application name> [<name of a button to press>]

Prints one line per accessible object with a name:
    role|name|value|minimum|maximum|checked
With a button name, presses that button through its action interface and prints its line again.
Exits 2 when the application does not appear on the accessibility bus within 20 seconds.
"""
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

warnings.filterwarnings("ignore", category=DeprecationWarning)


def find_app(name):
    deadline = time.time() + 20
    while time.time() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == name:
                return app
        time.sleep(0.2)
    return None


def describe(node):
    states = node.get_state_set()
    value = node.get_value_iface()
    if value is not None:
        numbers = "%g|%g|%g" % (value.get_current_value(), value.get_minimum_value(),
                                value.get_maximum_value())
    else:
        numbers = "||"
    return "%s|%s|%s|%d" % (node.get_role_name(), node.get_name(), numbers,
                            states.contains(Atspi.StateType.CHECKED))


def walk(node, found):
    if node.get_name():
        found[node.get_name()] = node
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            walk(child, found)


def main():
    app = find_app(sys.argv[1])
    if app is None:
        print("application not found on the accessibility bus")
        return 2
    found = {}
    walk(app, found)
    for name, node in sorted(found.items()):
        if node is not app:
            print(describe(node))
    if len(sys.argv) > 2:
        button = found.get(sys.argv[2])
        if button is None:
            print("no such button: " + sys.argv[2])
            return 1
        action = button.get_action_iface()
        action.do_action(0)
        time.sleep(0.3)
        print("after press: " + describe(button))
    return 0


if __name__ == "__main__":
    sys.exit(main())
