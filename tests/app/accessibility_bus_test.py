"""The editor as a screen reader meets it, through the real accessibility bus (AT-SPI).

accessibility_bus_test.py EDITOR SIMULATOR, inside a session bus (ctest runs it under
dbus-run-session); it starts a virtual display of its own. Debian's pyatspi is importable only by
/usr/bin/python3.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from gi.repository import Gio, GLib

EDITOR, SIMULATOR = sys.argv[1], sys.argv[2]
PORT = None  # the simulator's terminal, as COM1 names it
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def wait_for(predicate, seconds):
    """Lets events arrive until predicate() holds; returns its value, or None."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while GLib.MainContext.default().iteration(False):
            pass
        if result := predicate():
            return result
        time.sleep(0.05)
    return None


def accessibility_bus_up():
    """True once the accessibility bus launcher answers on the session bus."""
    try:
        Gio.bus_get_sync(Gio.BusType.SESSION).call_sync(
            "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None, None,
            Gio.DBusCallFlags.NO_AUTO_START, 1000, None)
        return True
    except GLib.Error:
        return False


def walk(obj):
    yield obj
    for child in obj:
        if child is not None:
            yield from walk(child)


def press(obj):
    """Clicks a control as a screen reader does, through its "Press" action."""
    action = obj.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if check("Press" in names, f"{obj.name}: actions {names}"):
        action.doAction(names.index("Press"))


def run():
    global pyatspi
    import pyatspi  # connects to the accessibility bus

    heard = {"names": [], "shown": []}  # name changes; notifications shown

    def on_event(event):
        try:
            role, name = event.source.getRoleName(), event.source.name
        except Exception:  # gone already
            return
        if "accessible-name" in event.type:
            heard["names"].append(name)
        elif role == "notification" and event.detail1 == 1:
            heard["shown"].append(name)

    pyatspi.Registry.registerEventListener(on_event, "object:property-change:accessible-name",
                                           "object:state-changed:showing")
    program = os.path.basename(EDITOR)
    app = wait_for(lambda: next((a for a in pyatspi.Registry.getDesktop(0)
                                 if a is not None and a.name == program), None), 30)
    if not check(app is not None, "the editor is not on the accessibility bus: "
                 f"{[a.name for a in pyatspi.Registry.getDesktop(0) if a is not None]}"):
        return
    objects = wait_for(lambda: (lambda o: len(o) > 100 and o)(list(walk(app))), 10) or []
    named = {(o.getRoleName(), o.name): o for o in objects}
    notices = [o for o in objects if o.getRoleName() == "notification"]
    check(any(o.name == "KelvaraEditor" for o in notices),
          f"the status line's name is not what it shows at start-up: {[o.name for o in notices]}")
    # What a COM number reaches is its menu entry's description, as its tooltip shows.
    ports = {o.name: o for o in objects if o.name in ("COM1", "COM2")}
    check(len(ports) == 2 and PORT in ports["COM1"].description and
          "何も接続されていません" in ports["COM2"].description,
          f"the port menu's descriptions: {[(n, o.description) for n, o in ports.items()]}")

    # The grids are tables whose cells say where they are and what they hold.
    for title, rows, columns, value in (("本体", 8, 8, "OFF"), ("条件", 3, 3, "任意")):
        grid = named.get(("table", title + "のセル"))
        if not check(grid is not None, f"no table {title}のセル"):
            continue
        table = grid.queryTable()
        check((table.nRows, table.nColumns, grid.childCount) == (rows, columns, rows * columns),
              f"{title}: {table.nRows} x {table.nColumns}, {grid.childCount} cells")
        for index, cell in enumerate(grid):
            row, column = divmod(index, columns)
            itself = " セル自身" if title == "条件" and index == 4 else ""
            expected = f"{title} {row + 1}行{column + 1}列{itself} {value}"
            check((cell.getRoleName(), cell.name) == ("table cell", expected),
                  f"{cell.getRoleName()} {cell.name!r} is not {expected!r}")
            check((table.getRowAtIndex(index), table.getColumnAtIndex(index)) == (row, column),
                  f"{expected} is not at its row and column")

    # Every button says what it does; no two share a name.
    buttons = [o.name for o in objects if o.getRoleName() == "push button"]
    check(len(buttons) == len(set(buttons)), f"buttons sharing a name: {buttons}")
    for name in ("本体をランダムにする", "条件をランダムにする", "本体をすべてOFF(0)にする",
                 "条件をすべてOFF(0)にする", "条件をすべて任意にする", "前のプレート", "次のプレート",
                 "現在のプレートを削除", "試しに動かす", "元に戻す", "データ転送", "終了"):
        check(name in buttons, f"no button {name!r}")
    box = named.get(("text", "プレート番号"))
    check(box is not None and "全1枚" in box.description, "the plate number box")
    check(("image", "Kelvara のロゴ") in named, "the logo is not named")
    method = named.get(("panel", "変化"))
    check(method is not None and [o.getRoleName() for o in method] == ["radio button"] * 4,
          "the change methods are not a named group")
    status = [o for o in notices if o.name != "プレート 1 / 全1枚"]
    if not check(len(status) == 1 and box is not None and len(buttons) == len(set(buttons)),
                 f"the status line: {[o.name for o in notices]}"):
        return
    check("F5" in named[("push button", "試しに動かす")].description, "the trial run's key")
    time.sleep(0.5)  # the editor learns which events are listened to

    # A click is heard as the cell's new name; paging as the box's new description.
    press(named[("table", "本体のセル")].queryTable().getAccessibleAt(2, 4))
    check(wait_for(lambda: "本体 3行5列 ON" in heard["names"], 10), f"heard {heard['names']}")
    press(named[("push button", "次のプレート")])
    check(wait_for(lambda: "全2枚" in box.description, 10), f"after paging: {box.description}")
    # The plate now shown is said, once, also when paging added it.
    check(wait_for(lambda: "プレート 2 / 全2枚" in heard["shown"], 10),
          f"the plate shown is not announced: {heard['shown']}")
    check(heard["shown"].count("プレート 2 / 全2枚") == 1, f"announced twice: {heard['shown']}")

    # Messages are announced as they appear; the resting text that returns is not. (A handler
    # reads the name when the event arrives, so a quick transfer's first message may read as
    # its last: count those.)
    shown = heard["shown"]
    for button, message in (("試しに動かす", "条件にマッチしたデータを変化させました。"),
                            ("元に戻す", "試しに動かしたデータをもとにもどしました。")):
        press(named[("push button", button)])
        check(wait_for(lambda: message in shown, 10), f"{message} not heard: {shown}")
    before = len(shown)
    press(named[("push button", "データ転送")])
    check(wait_for(lambda: len(shown) == before + 2 and shown[-1] == "データ書き込み完了", 30),
          f"a transfer's two messages not heard: {shown}")
    check(wait_for(lambda: status[0].name == "Kelvaraを編集してください。", 15), "no resting text")
    wait_for(lambda: False, 0.5)
    check(len(shown) == before + 2, f"more than the transfer's two messages announced: {shown}")

def start_display():
    """A virtual X display on a number the server picks itself, so parallel runs never meet."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "800x600x24",
                               "-nolisten", "tcp"], pass_fds=[write])
    os.close(write)
    with os.fdopen(read) as answer:
        return server, ":" + answer.readline().strip()


def main():
    global PORT
    tmp = tempfile.mkdtemp(prefix="kelvara-a11y-")
    port = PORT = os.path.join(tmp, "com1")
    server, display = start_display()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", KELVARA_COM1=port)
    processes = [server, subprocess.Popen(["/usr/libexec/at-spi-bus-launcher",
                                           "--launch-immediately"], env=env)]
    try:
        processes.append(subprocess.Popen([SIMULATOR, "--link", port, "--period", "0", "--quiet"],
                                          stdout=subprocess.PIPE, text=True))
        processes[-1].stdout.readline()  # the terminal is there
        # The editor and this test look for the accessibility bus once, when they start.
        if check(wait_for(accessibility_bus_up, 30), "the accessibility bus did not start"):
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
    print(f"{len(failures)} failures", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
