"""The editor as a screen reader meets it, through the real accessibility bus (AT-SPI).

Run inside a session bus with an X display (ctest runs it so, under xvfb-run and
dbus-run-session):
    accessibility_bus_test.py EDITOR SIMULATOR
It starts the accessibility bus, the simulated machine and the editor, then reads the editor's
tree as a screen reader does (roles, names, descriptions, table structure), presses controls
through their accessible actions and listens to the events a screen reader hears: a cell's name
change, the status messages announced as notifications (a trial run, an undo, a transfer) and
the resting text that is not.

Debian's pyatspi is importable only by /usr/bin/python3.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

EDITOR, SIMULATOR = sys.argv[1], sys.argv[2]
RESTING = "Kelvaraを編集してください。"

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def pump(seconds):
    """Lets events arrive for a while."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def wait_for(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump(0.05)
        result = predicate()
        if result:
            return result
    return None


def walk(obj):
    yield obj
    for child in obj:
        if child is not None:
            yield from walk(child)


def find_application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == name:
            return app
    return None


def press(obj):
    """Clicks a control as a screen reader does: its first action, "Press"."""
    action = obj.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check("Press" in names, f"{obj.name}: no Press action in {names}")
    action.doAction(names.index("Press"))


class Events:
    """What a screen reader hears: name changes and notifications being shown."""

    def __init__(self):
        self.names = []  # (role, name now) of every object whose name changed
        self.shown = []  # name of every notification shown
        pyatspi.Registry.registerEventListener(
            self.on_event, "object:property-change:accessible-name",
            "object:state-changed:showing")

    def on_event(self, event):
        try:
            role, name = event.source.getRoleName(), event.source.name
        except Exception:  # the object went away
            return
        if event.type.startswith("object:property-change:accessible-name"):
            self.names.append((role, name))
        elif role == "notification" and event.detail1 == 1:
            self.shown.append(name)


def check_tables(objects):
    tables = {o.name: o for o in objects if o.getRoleName() == "table"}
    check(sorted(tables) == ["本体のセル", "条件のセル"], f"tables: {sorted(tables)}")
    for title, rows, columns in (("本体", 8, 8), ("条件", 3, 3)):
        table_object = tables.get(title + "のセル")
        if table_object is None:
            continue
        table = table_object.queryTable()
        check((table.nRows, table.nColumns) == (rows, columns),
              f"{title}: {table.nRows} x {table.nColumns}")
        check(table_object.childCount == rows * columns, f"{title}: {table_object.childCount} cells")
        for index, cell in enumerate(table_object):
            row, column = divmod(index, columns)
            value = "OFF" if title == "本体" else "任意"
            itself = " セル自身" if title == "条件" and index == 4 else ""
            expected = f"{title} {row + 1}行{column + 1}列{itself} {value}"
            check(cell.getRoleName() == "table cell" and cell.name == expected,
                  f"cell {index} of {title}: {cell.getRoleName()} {cell.name!r}, not {expected!r}")
            check((table.getRowAtIndex(index), table.getColumnAtIndex(index)) == (row, column),
                  f"{title} cell {index} placed at {table.getRowAtIndex(index)},"
                  f"{table.getColumnAtIndex(index)}")
        check(table.getAccessibleAt(2, 1).name.startswith(f"{title} 3行2列"),
              f"{title}: cell at 3行2列 is {table.getAccessibleAt(2, 1).name!r}")
    return tables


def check_controls(objects):
    buttons = [o.name for o in objects if o.getRoleName() == "push button"]
    check(len(buttons) == len(set(buttons)), f"push buttons with the same name: {buttons}")
    for name in ("本体をランダムにする", "本体をすべてOFF(0)にする", "本体をすべてON(1)にする",
                 "本体を反転する", "条件をランダムにする", "条件をすべてOFF(0)にする",
                 "条件をすべてON(1)にする", "条件をすべて任意にする", "前のプレート", "次のプレート",
                 "現在のプレートを削除", "試しに動かす", "元に戻す", "データ転送", "データ読み込み",
                 "終了"):
        check(name in buttons, f"no push button named {name!r}")
    by_name = {(o.getRoleName(), o.name): o for o in objects}
    box = by_name.get(("text", "プレート番号"))
    if check(box is not None, "no text box named プレート番号"):
        check("全1枚" in box.description, f"plate number box: {box.description!r}")
    check(("image", "Kelvara のロゴ") in by_name, "the logo is not named")
    method = by_name.get(("panel", "変化"))
    if check(method is not None, "no group named 変化"):
        options = [c.name for c in method if c.getRoleName() == "radio button"]
        check(options == ["ON(1)", "OFF(0)", "反転", "ランダム"], f"変化 holds {options}")
    trial = by_name.get(("push button", "試しに動かす"))
    if trial is not None:
        check("F5" in trial.description, f"試しに動かす: {trial.description!r}")
    status = [o for o in objects if o.getRoleName() == "notification"]
    check(len(status) == 1 and status[0].description == "状態メッセージ",
          f"status line: {[(o.name, o.description) for o in status]}")
    return by_name, status[0] if status else None


def run():
    events = Events()
    app = wait_for(lambda: find_application(os.path.basename(EDITOR)), 30)
    if not check(app is not None, "the editor did not appear on the accessibility bus"):
        return
    frame = wait_for(lambda: app.childCount and app[0], 10)
    objects = wait_for(lambda: (lambda o: len(o) > 100 and o)(list(walk(frame))), 10) or []
    check(frame.name == "KelvaraEditor", f"window: {frame.name!r}")

    tables = check_tables(objects)
    by_name, status = check_controls(objects)
    if "本体のセル" not in tables or status is None:
        return
    pump(0.5)  # the editor learns which events are listened to

    # A click changes the cell's name; the screen reader hears it.
    cell = tables["本体のセル"].queryTable().getAccessibleAt(2, 4)
    press(cell)
    check(wait_for(lambda: ("table cell", "本体 3行5列 ON") in events.names, 10),
          f"no name change to 本体 3行5列 ON: {events.names}")

    # Paging: the number box's description follows the plate count.
    press(by_name[("push button", "次のプレート")])
    box = by_name[("text", "プレート番号")]
    check(wait_for(lambda: "全2枚" in box.description, 10), f"after paging: {box.description!r}")

    # Status messages are announced as they appear.
    press(by_name[("push button", "試しに動かす")])
    check(wait_for(lambda: "条件にマッチしたデータを変化させました。" in events.shown, 10),
          f"the trial run's message was not announced: {events.shown}")
    press(by_name[("push button", "元に戻す")])
    check(wait_for(lambda: "試しに動かしたデータをもとにもどしました。" in events.shown, 10),
          f"the undo's message was not announced: {events.shown}")
    # About four seconds later the resting text returns, and is not announced.
    check(wait_for(lambda: status.name == RESTING, 15), f"status stays {status.name!r}")
    pump(0.5)
    check(RESTING not in events.shown, f"the resting text was announced: {events.shown}")

    # A transfer's messages too, from its start to its end.
    press(by_name[("push button", "データ転送")])
    check(wait_for(lambda: "データ書き込み完了" in events.shown, 30),
          f"the transfer's end was not announced: {events.shown}")
    check(events.shown[-2:] == ["書き込みデータ送信中", "データ書き込み完了"],
          f"the transfer's messages: {events.shown}")


def main():
    tmp = tempfile.mkdtemp(prefix="kelvara-a11y-")
    port = os.path.join(tmp, "com1")
    processes = []
    try:
        processes.append(subprocess.Popen(
            ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"]))
        simulator = subprocess.Popen([SIMULATOR, "--link", port, "--period", "0", "--quiet"],
                                     stdout=subprocess.PIPE, text=True)
        processes.append(simulator)
        simulator.stdout.readline()  # the terminal is there
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   KELVARA_COM1=port)
        time.sleep(0.3)  # the accessibility bus is up before the editor looks for it
        processes.append(subprocess.Popen([EDITOR], env=env))
        run()
    finally:
        for process in reversed(processes):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(tmp, ignore_errors=True)
    print(f"{'FAILED' if failures else 'passed'}: {len(failures)} failures", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
