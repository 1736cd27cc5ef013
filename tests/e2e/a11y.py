#!/usr/bin/python3
"""The player as a screen reader sees it, through AT-SPI with pyatspi.

Run by a11y.sh, which has started the player with two songs, random play on
and its key boxes set, and passes E2E_PID, ICON (the tray icon's window),
E2E_LINKS (the URL handler's log) and E2E_SONGS (the songs, a line each).
Every step waits for what it expects, with generous bounds; a failure names
what was seen instead.
"""

import os
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402
import pyatspi  # noqa: E402

PID = int(os.environ["E2E_PID"])
ICON = os.environ["ICON"]
LINKS = os.environ["E2E_LINKS"]
SONGS = os.environ["E2E_SONGS"].splitlines()

SETTINGS = "Settings - Keys config and other options."
ABOUT = "Quellora v1.1 Free - AbouT -"
ADD_DIRECTORY = "Add directory to list - escape to quit or enter to continue -"
MAIL_SUBJECT = "?subject=From%20Quellora%20v1.1"


class Failure(Exception):
    pass


# Every event the player sends that a screen reader acts on: (type, source's
# path, detail1), in order; and the source's role and name at that moment.
events = []
sources = {}


def record(event):
    try:
        events.append((event.type, event.source.path, event.detail1))
        sources[event.source.path] = (event.source.getRole(), event.source.name)
    except GLib.Error:  # the source may be gone already
        pass


def pump():
    context = GLib.MainContext.default()
    while context.iteration(False):
        pass


def wait_for(what, condition, seconds=20):
    """Polls condition until it gives something true, and returns that.
    What it waits for is a text, or a function that tells it at the end."""
    end = time.monotonic() + seconds
    last_error = None
    while True:
        pump()
        try:
            result = condition()
            if result:
                return result
        except GLib.Error as error:  # an object went away while it was read
            last_error = error
        if time.monotonic() > end:
            what = what() if callable(what) else what
            raise Failure(what + (f" ({last_error})" if last_error else ""))
        time.sleep(0.05)


def children(acc):
    return [acc.getChildAtIndex(i) for i in range(acc.childCount)]


def walk(acc):
    for child in children(acc):
        if child is not None:
            yield child
            yield from walk(child)


def has(acc, state):
    return acc.getState().contains(state)


def find_all(root, role, name=None):
    return [a for a in walk(root) if a.getRole() == role and (name is None or a.name == name)]


def need(root, role, name=None):
    found = find_all(root, role, name)
    if not found:
        raise Failure(f"no {Atspi.role_get_name(role)} {name!r} in {root.name!r}")
    return found[0]


def window(app, role, name):
    """The window of that role and caption while it is on screen."""
    for child in children(app):
        if child is not None and child.getRole() == role and child.name == name and has(child, pyatspi.STATE_SHOWING):
            return child
    return None


def action(acc, name):
    actions = acc.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if name not in names:
        raise Failure(f"{acc.name!r} has the actions {names}, not {name!r}")
    actions.doAction(names.index(name))


def text(acc):
    return acc.queryText().getText(0, -1)


def key(*keys):
    subprocess.run(["xdotool", "key", *keys], check=True)


SPOT = [14]


def click_icon():
    # Each click lands away from the one before, so two are never a double click.
    SPOT[0] = 4 if SPOT[0] == 14 else 14
    subprocess.run(["xdotool", "mousemove", "--window", ICON, str(SPOT[0]), str(SPOT[0]), "click", "1"], check=True)


def describe(acc):
    return f"{acc.getRoleName()} {acc.name!r}"


def focused_objects(app):
    return [a for a in walk(app) if has(a, pyatspi.STATE_FOCUSED)]


def last_focus():
    for kind, path, detail in reversed(events):
        if kind == "object:state-changed:focused" and detail == 1:
            return path
    return None


def expect_focus(app, what, accept):
    """The last focus event names an accepted object, and only accepted
    objects say they are focused, in every window of the player."""
    def settled():
        focused = focused_objects(app)
        return last_focus() in {a.path for a in walk(app) if accept(a)} and focused and all(map(accept, focused))
    try:
        wait_for(what, settled)
    except Failure:
        shown = ", ".join(describe(a) for a in focused_objects(app)) or "nothing"
        role, name = sources.get(last_focus(), (None, None))
        raise Failure(f"{what}: focused are {shown}; the last focus event came from {role} {name!r}")


def is_list_or_item(playlist):
    return lambda a: a.path == playlist.path or (a.getRole() == pyatspi.ROLE_LIST_ITEM and a.parent.path == playlist.path)


def links_logged():
    with open(LINKS) as log:
        return log.read().splitlines()


def main_window_steps(app, main):
    names = ("Play", "Pause", "Stop", "Config", "About", "ExiT", "Minimize")
    buttons = {name: need(main, pyatspi.ROLE_PUSH_BUTTON, name) for name in names}
    playlist = need(main, pyatspi.ROLE_LIST, "Mp3 list")
    items = [(c.getRole(), c.name) for c in children(playlist)]
    if items != [(pyatspi.ROLE_LIST_ITEM, song) for song in SONGS]:
        raise Failure(f"the list holds {items}")
    gauge = need(main, pyatspi.ROLE_PROGRESS_BAR, "Progress")
    value = gauge.queryValue()
    if (value.currentValue, value.minimumValue, value.maximumValue) != (0, 0, 100):
        raise Failure(f"the idle gauge reads {value.currentValue} of {value.minimumValue}..{value.maximumValue}")
    # The status line is the window's one label, empty while nothing plays.
    labels = find_all(main, pyatspi.ROLE_LABEL)
    if [label.name for label in labels] != [""]:
        raise Failure(f"labels of the idle window: {[label.name for label in labels]}")
    status = labels[0]

    # The list has the focus from the start; Tab moves it to "ExiT", the
    # next in the tab order, and Shift+Tab back.
    in_list = is_list_or_item(playlist)
    wait_for("the list's focus at start", lambda: focused_objects(app) and all(map(in_list, focused_objects(app))))
    key("Tab")
    expect_focus(app, "after Tab", lambda a: a.path == buttons["ExiT"].path)
    key("shift+Tab")
    expect_focus(app, "after Shift+Tab", in_list)

    # "Play" through its action, with random play on: the first pick is the first song.
    action(buttons["Play"], "Press")
    playing = f"Playing <{SONGS[0]}>"
    wait_for(lambda: f"the status line reads {status.name!r}, not {playing!r}", lambda: status.name == playing)
    wait_for("the status line's change is announced",
             lambda: ("object:property-change:accessible-name", status.path, 0) in events)

    # While it plays the gauge's value is the whole percentage, rising, announced.
    def gauge_value():
        now = gauge.queryValue().currentValue
        return now if 0 < now < 100 and now == int(now) else None
    first = wait_for("the gauge to move while the song plays", gauge_value)
    wait_for(f"the gauge to go on from {first}", lambda: (gauge_value() or 0) > first)
    wait_for("the gauge's changes are announced",
             lambda: any(e[:2] == ("object:property-change:accessible-value", gauge.path) for e in events))
    return buttons, playlist


def settings_steps(app, buttons, playlist):
    action(buttons["Config"], "Press")
    dialog = wait_for("the settings dialog", lambda: window(app, pyatspi.ROLE_DIALOG, SETTINGS))
    expected = [("Play random mp3", "/"), ("Play next mp3", "F5"), ("Play last mp3", "none"),
                ("Pause/Resume", "*"), ("Stop mp3", "none"), ("Application Exit", "none"),
                ("Volume +", "+"), ("Volume -", "-")]
    boxes = find_all(dialog, pyatspi.ROLE_COMBO_BOX)
    seen = [(box.name, text(box)) for box in boxes]
    if seen != expected:
        raise Failure(f"the key boxes read {seen}")
    for box, (name, _) in zip(boxes, expected):
        labels = [r.getTarget(0).name for r in box.getRelationSet()
                  if r.getRelationType() == pyatspi.RELATION_LABELLED_BY]
        if labels != [name + " :"]:
            raise Failure(f"{name!r} is labelled by {labels}")
    check = need(dialog, pyatspi.ROLE_CHECK_BOX, "Play random mp3s")
    if not has(check, pyatspi.STATE_CHECKED):
        raise Failure("random play is on, but its box is not checked")
    for name in ("Ok", "Defaults", "Cancel"):
        need(dialog, pyatspi.ROLE_PUSH_BUTTON, name)

    expect_focus(app, "in the settings dialog", lambda a: a.path == boxes[0].path)
    key("Tab")
    expect_focus(app, "after Tab in the settings dialog", lambda a: a.path == boxes[1].path)
    key("Escape")
    wait_for("Escape hides the settings dialog", lambda: not window(app, pyatspi.ROLE_DIALOG, SETTINGS))
    expect_focus(app, "back from the settings dialog", is_list_or_item(playlist))


def about_steps(app, main, buttons, playlist):
    def open_box():
        action(buttons["About"], "Press")
        return wait_for("the About box", lambda: window(app, pyatspi.ROLE_DIALOG, ABOUT))

    def back_from_tray(what):
        wait_for(f"{what}: the box hides and the window goes to the tray",
                 lambda: not window(app, pyatspi.ROLE_DIALOG, ABOUT) and not has(main, pyatspi.STATE_SHOWING))
        click_icon()
        wait_for(f"{what}: the tray icon brings the window back", lambda: has(main, pyatspi.STATE_SHOWING))
        expect_focus(app, f"{what}: back from the tray", is_list_or_item(playlist))

    box = open_box()
    addresses = ["https://quellora.example.org/", "player@quellora.example.org",
                 "skins@quellora.example.org", "bugs@quellora.example.org"]
    links = find_all(box, pyatspi.ROLE_LINK)
    if [link.name for link in links] != addresses:
        raise Failure(f"the About box's links: {[describe(link) for link in links]}")
    ok = need(box, pyatspi.ROLE_PUSH_BUTTON, "Ok")
    expect_focus(app, "in the About box", lambda a: a.path == ok.path)
    # From the keyboard: Tab to the web address, Enter opens it.
    key("Tab")
    expect_focus(app, "after Tab in the About box", lambda a: a.path == links[0].path)
    key("Return")
    wait_for(lambda: f"Enter on the link: the desktop got {links_logged()}", lambda: links_logged() == addresses[:1])
    back_from_tray("the web link")

    # Through the link's action, as a screen reader activates it.
    box = open_box()
    action(find_all(box, pyatspi.ROLE_LINK, addresses[1])[0], "Press")
    mail = "mailto:" + addresses[1] + MAIL_SUBJECT
    wait_for(lambda: f"the mail link's action: the desktop got {links_logged()}",
             lambda: links_logged() == [addresses[0], mail])
    back_from_tray("the mail link")

    # Escape on a focused link only closes the box.
    box = open_box()
    # Tab only once the box has the keyboard: before, it would go elsewhere.
    ok = need(box, pyatspi.ROLE_PUSH_BUTTON, "Ok")
    expect_focus(app, "in the About box again", lambda a: a.path == ok.path)
    key("Tab")
    expect_focus(app, "Tab in the About box again", lambda a: a.path == find_all(box, pyatspi.ROLE_LINK)[0].path)
    key("Escape")
    wait_for("Escape on a link hides the About box", lambda: not window(app, pyatspi.ROLE_DIALOG, ABOUT))
    expect_focus(app, "back from the About box", is_list_or_item(playlist))
    if not has(main, pyatspi.STATE_SHOWING) or len(links_logged()) != 2:
        raise Failure(f"Escape minimised the window or opened a link: {links_logged()}")


def menu_steps(app, playlist):
    # The menu key opens the list's menu; Down, Down and Enter take its
    # second entry, which opens the add-directory dialog.
    def entry_focused(name):
        return any(kind == "object:state-changed:focused" and detail == 1
                   and sources.get(path) == (pyatspi.ROLE_MENU_ITEM, name) for kind, path, detail in events[start:])

    def shown_windows():
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(PID)],
                               capture_output=True, text=True)
        return set(found.stdout.split())
    before = shown_windows()
    start = len(events)
    key("Menu")
    # Down only once the menu's window is up: before, the list would take it.
    wait_for("the menu key opens the list's menu", lambda: shown_windows() - before)
    key("Down")
    wait_for("Down in the menu reaches \"Add file\"", lambda: entry_focused("Add file"))
    key("Down")
    wait_for("Down in the menu reaches \"Add directory\"", lambda: entry_focused("Add directory"))
    key("Return")
    dialog = wait_for("the add-directory dialog", lambda: window(app, pyatspi.ROLE_DIALOG, ADD_DIRECTORY))
    edit = [a for a in walk(dialog) if a.name == "Directory"]
    if not edit or edit[0].getRole() not in (pyatspi.ROLE_ENTRY, pyatspi.ROLE_TEXT):
        raise Failure(f"the folder box: {[describe(a) for a in walk(dialog)]}")
    for name in ("Browse", "Ok", "Cancel"):
        need(dialog, pyatspi.ROLE_PUSH_BUTTON, name)
    expect_focus(app, "in the add-directory dialog", lambda a: a.path == edit[0].path)
    key("Escape")
    wait_for("Escape hides the add-directory dialog", lambda: not window(app, pyatspi.ROLE_DIALOG, ADD_DIRECTORY))
    expect_focus(app, "back from the add-directory dialog", is_list_or_item(playlist))


def main():
    desktop = pyatspi.Registry.getDesktop(0)
    for kind in ("object:state-changed:focused", "object:property-change:accessible-name",
                 "object:property-change:accessible-value"):
        pyatspi.Registry.registerEventListener(record, kind)

    def player():
        for app in children(desktop):
            if app is not None and app.get_process_id() == PID:
                return app
        return None
    app = wait_for("the player on the accessibility bus", player, 30)
    # Read every name and state afresh: they are what is checked.
    app.set_cache_mask(Atspi.Cache.NONE)
    main_window = wait_for("the main window", lambda: window(app, pyatspi.ROLE_FRAME, "Quellora"))

    buttons, playlist = main_window_steps(app, main_window)
    settings_steps(app, buttons, playlist)
    about_steps(app, main_window, buttons, playlist)
    menu_steps(app, playlist)


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        sys.exit(1)
    print("the screen reader's view: all checks passed")
