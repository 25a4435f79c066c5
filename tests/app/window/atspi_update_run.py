#!/usr/bin/python3
"""One update run of the real window, driven as a screen reader's user drives it, over the
accessibility bus (AT-SPI).

    atspi_update_run.py keyboard|press

keyboard: keys only (Tab and Shift+Tab on the ready screen, Return on "Update", Space on "OK");
press:    the big button's "Press" action only, no key and no pointer.

scripts/test-accessibility starts it with the program on DISPLAY, the accessibility bus up and a
simulated controller plugged in. Every wait has its limit; the first check that fails is printed with
what the bus told meanwhile, and the exit code is 1.
"""
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
import pyatspi  # noqa: E402  (needs the version chosen first)
from gi.repository import Atspi, GLib  # noqa: E402

APP_NAME = "LumaroCtrlUpdate"
READY_LINE = "Your device will update to the latest software version"
DONE_LINE = "Update Complete ! You can remove Lumaro Controller from PC now."
RUN_LIMIT_S = 60  # an update takes about ten seconds, the program's own wait for its disk included


class CheckFailed(Exception):
    pass


class Bus:
    """What the bus told while the run went on: names, descriptions, values and focus, in order."""

    TOLD = ("object:property-change:accessible-name", "object:property-change:accessible-description",
            "object:property-change:accessible-value", "object:value-changed", "object:state-changed:focused")

    def __init__(self, limit_s):
        self.limit_s = limit_s  # of the whole run: each wait's limit ends with it at the latest
        self.end = time.monotonic() + limit_s
        self.told = []
        for kind in self.TOLD:
            pyatspi.Registry.registerEventListener(self._on_event, kind)

    def _on_event(self, event):
        source = event.source
        try:
            role = source.getRoleName()
            if event.type.startswith("object:state-changed:focused"):
                if event.detail1:
                    self.told.append(("focus", source, role, source.name))
            # Qt's event carries the object, not the text: read it as a screen reader does.
            elif event.type.startswith("object:property-change:accessible-name"):
                self.told.append(("name", source, role, fresh(source).name))
            elif event.type.startswith("object:property-change:accessible-description"):
                self.told.append(("description", source, role, fresh(source).description))
            else:
                self.told.append(("value", source, role, source.queryValue().currentValue))
        except (GLib.Error, NotImplementedError):
            self.told.append(("gone", source, event.type, ""))  # the object left before it could be read

    def pump(self):
        context = GLib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def of(self, what, node, start=0):
        return [value for kind, source, _, value in self.told[start:] if kind == what and source == node]

    def last(self, count):
        return [(kind, role, value) for kind, _, role, value in self.told[-count:]]

    def wait(self, what, limit_s, predicate):
        """Pumps the bus until predicate() holds; fails with `what` after limit_s seconds, or sooner
        where the run's time is up."""
        deadline = min(time.monotonic() + limit_s, self.end)
        while True:
            self.pump()
            try:
                if predicate():
                    return
            except GLib.Error:
                pass  # a call refused while the window changes: asked again
            if time.monotonic() >= deadline:
                if deadline == self.end:
                    raise CheckFailed("%s: not before the run's %g s were up" % (what, self.limit_s))
                raise CheckFailed("%s: not within %g s" % (what, limit_s))
            time.sleep(0.05)


def fresh(node):
    """The node read from the program, not from this client's cache: what is asked is what it says now."""
    node.clearCache()
    return node


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def extents(node):
    try:
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    except NotImplementedError:
        return None
    return (box.x, box.y, box.width, box.height)


def has(node, state):
    return fresh(node).getState().contains(state)


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == APP_NAME:
            return app
    return None


def key(name):
    subprocess.run(["xdotool", "key", name], check=True, timeout=10)


def press_action(button):
    action = button.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Press" not in names:
        raise CheckFailed("the button %r offers no Press action (it offers %s)" % (button.name, names))
    action.doAction(names.index("Press"))


def find(frame, role, name):
    """The one object of that role and name in the window, else None."""
    found = [node for node in walk(frame) if node.getRoleName() == role and node.name == name]
    return found[0] if len(found) == 1 else None


def check_nothing_outside(frame):
    """Nothing showing lies outside the window's frame: a screen reader reads nothing the eye cannot
    see there."""
    box = extents(frame)
    if box is None or box[2] <= 0 or box[3] <= 0:
        raise CheckFailed("the window's frame has no extents: %r" % (box,))
    fx, fy, fw, fh = box
    outside = []
    for node in walk(frame):
        if node == frame or not node.getState().contains(pyatspi.STATE_SHOWING):
            continue
        e = extents(node)
        if e and (e[0] < fx or e[1] < fy or e[0] + e[2] > fx + fw or e[1] + e[3] > fy + fh):
            outside.append("[%s] %r at %s" % (node.getRoleName(), node.name, e))
    if outside:
        outside.sort(key=lambda line: "] '' at" in line)  # the named first: they say what it is
        raise CheckFailed("%d objects showing outside the window at %s: %s"
                          % (len(outside), box, "; ".join(outside[:8])))


def run(mode, bus):
    bus.wait("the program on the accessibility bus", 20, lambda: application() is not None)
    frames = [child for child in application() if child is not None and child.getRoleName() in ("frame", "window")]
    if len(frames) != 1:
        raise CheckFailed("the program should show one window, the bus shows %d" % len(frames))
    frame = frames[0]
    button = bar = None

    def ready():
        nonlocal button, bar
        button = find(fresh(frame), "push button", "Update")
        bar = find(frame, "progress bar", "Progress")
        return button is not None and bar is not None and button.description == READY_LINE
    try:
        bus.wait("the ready screen", 15, ready)
    except CheckFailed as failed:
        raise CheckFailed("%s: want one [push button] 'Update' described %r and one [progress bar] 'Progress'; "
                          "the window holds %s" % (failed, READY_LINE, [
                              (node.getRoleName(), node.name, node.description) for node in walk(frame)
                              if node.getRoleName() in ("push button", "progress bar")][:10])) from None
    check_nothing_outside(fresh(frame))
    bus.wait("the keyboard focus on the big button on the ready screen", 5, lambda: has(button, pyatspi.STATE_FOCUSED))
    print("  ready: [push button] 'Update', %r, focused; nothing showing outside the window" % READY_LINE)

    told_from = len(bus.told)
    if mode == "keyboard":
        for name in ("Tab", "Tab", "shift+Tab", "Tab", "Return"):
            key(name)
    else:
        press_action(button)

    def strays():
        return [(role, name) for kind, node, role, name in bus.told[told_from:] if kind == "focus" and node != button]
    try:
        bus.wait("the button named 'Updating' after the press", 10, lambda: fresh(button).name == "Updating")
    except CheckFailed as failed:
        raise CheckFailed("%s%s" % (failed, "; the focus went to %s" % strays() if strays() else "")) from None
    bus.pump()  # what was told before the name: a Tab's focus change comes before the Return's effect
    if strays():
        raise CheckFailed("the focus left the big button for %s" % strays())
    if mode == "keyboard" and not has(button, pyatspi.STATE_FOCUSED):
        raise CheckFailed("the big button lost the keyboard focus to Tab")
    print("  updating: the button reads 'Updating'" + (", Tab kept the focus on it" if mode == "keyboard" else ""))

    values = []

    def done():
        if fresh(button).name == "Updating":
            values.append(bar.queryValue().currentValue)
        return button.name == "OK" and button.description == DONE_LINE
    try:
        bus.wait("the done screen", 40, done)
    except CheckFailed as failed:
        raise CheckFailed("%s: the button reads %r, %r; want 'OK', %r"
                          % (failed, button.name, button.description, DONE_LINE)) from None
    if not values or max(values) <= 0 or max(values) > 100:
        raise CheckFailed("the progress bar's values read during the update: %s (want some above 0, none above 100)"
                          % sorted(set(values)))
    bus.wait("the names 'Updating' then 'OK' told, each once", 5,
             lambda: bus.of("name", button, told_from) == ["Updating", "OK"])
    bus.wait("the completion line told", 5, lambda: DONE_LINE in bus.of("description", button, told_from))
    if not any(v > 0 for v in bus.of("value", bar, told_from)):
        raise CheckFailed("no change of the progress bar's value was told")
    print("  done: [push button] 'OK', %r; the progress read up to %g" % (DONE_LINE, max(values)))

    if mode == "keyboard":
        bus.wait("the keyboard focus on 'OK'", 5, lambda: has(button, pyatspi.STATE_FOCUSED))
        key("space")
    else:
        press_action(button)
    bus.wait("the program gone from the bus after 'OK'", 10, lambda: application() is None)
    print("  OK ended the program")


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in ("keyboard", "press"):
        sys.exit("usage: atspi_update_run.py keyboard|press")
    # A busy machine may keep the program from answering within libatspi's 0.8 s.
    Atspi.set_timeout(10000, 15000)
    bus = Bus(RUN_LIMIT_S)
    try:
        run(sys.argv[1], bus)
    except (CheckFailed, GLib.Error, subprocess.SubprocessError) as failed:
        bus.pump()
        print("FAIL: %s" % failed)
        print("  last told on the bus: %s" % (bus.last(20) or "nothing"))
        sys.exit(1)


if __name__ == "__main__":
    main()
