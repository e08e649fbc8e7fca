#!/usr/bin/env python3
"""Looks at the installer's window the way a screen reader does, through AT-SPI.

usage: atspi_probe.py tree DUMP FOLDER   the tree, its roles, names and states, the folder field
                                         reading FOLDER; writes the dump
       atspi_probe.py focused            prints the skin name of the focused control
       atspi_probe.py agree              the licence box's "click" action, twice, and what the
                                         window announces in between
Exits 0 when every check holds; each failed check is printed as "FAIL: ...".
"""

import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# Action names have no newer call in this AT-SPI; the older one says it is deprecated.
warnings.filterwarnings("ignore", category=DeprecationWarning)

APP_NAME = "inkwarden-installer"
WAIT_SECONDS = 20

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


def states(obj):
    return {Atspi.StateType(s).value_nick for s in obj.get_state_set().get_states()}


def has(obj, interface):
    return interface in obj.get_interfaces()


def text_of(obj):
    return Atspi.Text.get_text(obj, 0, -1) if has(obj, "Text") else None


def action_name(obj):
    if has(obj, "Action") and Atspi.Action.get_n_actions(obj) > 0:
        return Atspi.Action.get_action_name(obj, 0)
    return None


def describe(obj):
    line = obj.get_role_name()
    name = obj.get_name()
    if name:
        line += ' "%s"' % name
    ident = obj.get_accessible_id()
    if ident:
        line += " id=" + ident
    line += " [" + " ".join(sorted(states(obj))) + "]"
    if has(obj, "Value"):
        line += " value=%g/%g..%g" % (
            Atspi.Value.get_current_value(obj),
            Atspi.Value.get_minimum_value(obj),
            Atspi.Value.get_maximum_value(obj),
        )
    words = text_of(obj)
    if words is not None and words != name:
        line += ' text="%s"' % words
    action = action_name(obj)
    if action is not None:
        line += " action=" + action
    return line


def walk(obj, depth, lines, by_id):
    lines.append("  " * depth + describe(obj))
    ident = obj.get_accessible_id()
    if ident:
        by_id[ident] = obj
    for i in range(obj.get_child_count()):
        walk(obj.get_child_at_index(i), depth + 1, lines, by_id)


def find_app():
    deadline = time.time() + WAIT_SECONDS
    while time.time() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_name() == APP_NAME and app.get_child_count() > 0:
                return app
        time.sleep(0.2)
    print("FAIL: no application %s on the accessibility bus" % APP_NAME)
    sys.exit(1)


def snapshot():
    lines = []
    by_id = {}
    walk(find_app(), 0, lines, by_id)
    return lines, by_id


def expect(by_id, ident, role, name, has=(), lacks=()):
    obj = by_id.get(ident)
    check(obj is not None, "%s is not in the tree" % ident)
    if obj is None:
        return
    check(obj.get_role_name() == role, "%s is a %s, not a %s" % (ident, obj.get_role_name(), role))
    check(obj.get_name() == name, "%s is named %r, not %r" % (ident, obj.get_name(), name))
    now = states(obj)
    for state in has:
        check(state in now, "%s is not %s (%s)" % (ident, state, " ".join(sorted(now))))
    for state in lacks:
        check(state not in now, "%s is %s" % (ident, state))


def tree(dump_file, folder):
    lines, by_id = snapshot()
    with open(dump_file, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")
    frame = find_app().get_child_at_index(0)
    check(frame.get_role_name() == "frame", "the window is a %s" % frame.get_role_name())
    showing = ("enabled", "sensitive", "showing", "visible")
    expect(by_id, "frame", "panel", "墨守精灵 安装程序", showing)
    expect(by_id, "closebtn", "push button", "关闭", showing + ("focusable",))
    expect(by_id, "tab_page", "page tab list", "安装步骤")
    expect(by_id, "btn_install_start", "push button", "立即安装", showing + ("focusable",))
    expect(by_id, "btn_check_agree", "check box", "同意墨守精灵的",
           showing + ("checkable", "checked", "focusable"))
    expect(by_id, "btn_install_license", "link", "许可协议", showing)
    expect(by_id, "btn_install_custom", "push button", "自定义", showing)
    expect(by_id, "btn_install_custom_icon", "push button", "自定义安装选项", showing)
    expect(by_id, "install_path", "entry", "安装目录", ("showing",), ("enabled",))
    expect(by_id, "btn_dir_select", "push button", "浏览", showing)
    expect(by_id, "btn_check_desk_lnk", "check box", "创建桌面快捷方式", showing + ("checkable",))
    # Only the page on show is in the tree; its tab is selected.
    tabs = [line for line in lines if line.strip().startswith('page tab "')]
    check(len(tabs) == 1 and '"安装设置"' in tabs[0] and "selected" in tabs[0],
          "page tabs: %s" % tabs)
    for hidden in ("btn_install_finish", "btn_install_retry", "progress"):
        check(hidden not in by_id, "%s of a hidden page is in the tree" % hidden)
    entry = by_id.get("install_path")
    check(entry is not None and text_of(entry) == folder, "the folder field reads %r, not %r"
          % (entry is not None and text_of(entry), folder))
    check(action_name(by_id["btn_install_start"]) == "click", "the start button has no click action")
    print("\n".join(lines))


def focused():
    _, by_id = snapshot()
    names = [ident for ident, obj in by_id.items() if "focused" in states(obj)]
    print(" ".join(names))


class Recorder:
    """Keeps the state changes the window announces."""

    def __init__(self):
        self.events = []
        self.listener = Atspi.EventListener.new(self.on_event)
        self.listener.register("object:state-changed")

    def on_event(self, event):
        try:
            ident = event.source.get_accessible_id()
        except GLib.Error:
            ident = ""
        self.events.append((ident, event.type, event.detail1))

    def saw(self, ident, kind, value):
        return (ident, "object:state-changed:" + kind, value) in self.events


def pump_until(condition, seconds=5):
    context = GLib.MainContext.default()
    deadline = time.time() + seconds
    while time.time() < deadline:
        while context.pending():
            context.iteration(False)
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def agree():
    _, by_id = snapshot()
    box = by_id["btn_check_agree"]
    start = by_id["btn_install_start"]
    recorder = Recorder()
    check(Atspi.Action.get_n_actions(box) == 1 and action_name(box) == "click",
          "the licence box's actions")
    check(Atspi.Action.do_action(box, 0), "the click action was refused")
    cleared = pump_until(
        lambda: "checked" not in states(box) and "sensitive" not in states(start)
        and recorder.saw("btn_check_agree", "checked", 0)
        and recorder.saw("btn_install_start", "sensitive", 0)
    )
    check("checked" not in states(box), "the licence box is still checked")
    check("sensitive" not in states(start) and "enabled" not in states(start),
          "the start button is still sensitive")
    check(recorder.saw("btn_check_agree", "checked", 0), "no checked=0 announced")
    check(recorder.saw("btn_install_start", "sensitive", 0), "no sensitive=0 announced")
    check(cleared, "the announcements did not all come")
    # The second click undoes the first.
    check(Atspi.Action.do_action(box, 0), "the second click was refused")
    pump_until(lambda: "checked" in states(box) and "sensitive" in states(start))
    check("checked" in states(box), "the licence box did not come back")
    check("sensitive" in states(start), "the start button did not come back")
    recorder.listener.deregister("object:state-changed")
    print("events: %d" % len(recorder.events))


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "tree" and len(sys.argv) == 4:
        tree(sys.argv[2], sys.argv[3])
    elif command == "focused":
        focused()
    elif command == "agree":
        agree()
    else:
        print(__doc__)
        sys.exit(2)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
