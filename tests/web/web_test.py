"""The web app in headless Chromium, as a user meets it.

web_test.py SITE SIMULATOR EXAMPLES [SCREENSHOT]: serves the built site (SITE) on 127.0.0.1,
starts kelvara-sim (SIMULATOR) on a pseudo-terminal, and puts a stand-in for the browser's serial
ports into the page (serial_standin.js) whose port is relayed over a WebSocket to that terminal.
The page is driven by clicks and keys. SCREENSHOT, when given, receives a picture of the page.
"""

import asyncio
import functools
import http.server
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import termios
import threading
import time
import tty

import websockets
from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

SITE, SIMULATOR, EXAMPLES = (pathlib.Path(arg) for arg in sys.argv[1:4])
SCREENSHOT = sys.argv[4] if len(sys.argv) > 4 else None
HERE = pathlib.Path(__file__).parent
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def wait_for(predicate, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if result := predicate():
            return result
        time.sleep(0.02)
    return None


# ---- What the desktop editor puts on the line for a data file (the check's own reading) -------

def values_of(path):
    text = pathlib.Path(path).read_text()
    return [int(v) for v in text.replace("\r\n", ",").replace("\n", ",").split(",") if v != ""]


def wire_of(path):
    """The characters a write of the data file's document sends, in order."""
    v = values_of(path)
    mode, _, count = v[0:3]
    pattern = v[3:67]
    rows = "".join("%X%X" % (8 * p[0] + 4 * p[1] + 2 * p[2] + p[3], 8 * p[4] + 4 * p[5] + 2 * p[6] + p[7])
                   for p in (pattern[r * 8:r * 8 + 8] for r in range(8)))
    if mode == 1:
        return "ff" + rows
    plates = ""
    at = 67 + 10  # past record 0: nine cells and a method
    for _ in range(count):
        c, m = v[at:at + 9], v[at + 9]
        at += 10
        pair = lambda a, b: "%x" % (4 * a + b)
        plates += pair(c[0], c[1]) + pair(c[2], c[3]) + pair(c[4], c[5]) + pair(c[6], c[7])
        plates += "%x0" % (4 * c[8] + m)
    return "%02X" % count + rows + plates


# ---- The machine behind the stand-in's port ------------------------------------------------

class Simulator:
    def __init__(self, folder, name, *flags):
        self.link = os.path.join(folder, name)
        self.process = subprocess.Popen(
            [str(SIMULATOR), "--quiet", "--link", self.link, *flags],
            stdout=subprocess.PIPE, text=True)
        self.process.stdout.readline()
        wait_for(lambda: os.path.islink(self.link), 10)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Relay:
    """WebSocket to the simulator's terminal, both ways, noting what the page sent."""

    def __init__(self):
        self.target = None
        self.sent = b""
        self.lose_after = None  # bytes sent after which the line goes away
        self.loop = asyncio.new_event_loop()
        self.ready = threading.Event()
        threading.Thread(target=self._run, daemon=True).start()
        self.ready.wait(10)

    def _run(self):
        asyncio.set_event_loop(self.loop)
        server = self.loop.run_until_complete(websockets.serve(self._serve, "127.0.0.1", 0))
        self.port = server.sockets[0].getsockname()[1]
        self.ready.set()
        self.loop.run_forever()

    async def _serve(self, socket, path=None):
        fd = os.open(self.target, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(fd)
        termios.tcflush(fd, termios.TCIOFLUSH)
        loop = asyncio.get_running_loop()
        queue = asyncio.Queue()

        def readable():
            try:
                data = os.read(fd, 4096)
            except OSError:
                return
            if data:
                queue.put_nowait(data)

        loop.add_reader(fd, readable)

        async def to_page():
            while True:
                await socket.send(await queue.get())

        forward = asyncio.ensure_future(to_page())
        try:
            async for message in socket:
                self.sent += message
                os.write(fd, message)
                if self.lose_after is not None and len(self.sent) >= self.lose_after:
                    self.lose_after = None
                    await socket.close()
                    break
        except websockets.ConnectionClosed:
            pass
        finally:
            forward.cancel()
            loop.remove_reader(fd)
            os.close(fd)


class Site:
    def __init__(self):
        handler = functools.partial(QuietHandler, directory=str(SITE))
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".mjs": "text/javascript", ".wasm": "application/wasm",
                      ".webmanifest": "application/manifest+json"}

    def log_message(self, *args):
        pass


# ---- The browser -----------------------------------------------------------------------------

def browser(profile, standin=True, before=""):
    options = Options()
    for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                "--window-size=1100,800", "--disable-background-networking", "--no-first-run",
                "--disable-component-update", "--disable-sync", "--lang=ja",
                "--user-data-dir=" + profile):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    script = before
    if standin:
        script += "window.kelvaraStandIn = { url: 'ws://127.0.0.1:%d/' };" % relay.port
        script += (HERE / "serial_standin.js").read_text()
    if script:
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": script})
    return driver


def load(driver, url):
    driver.get(url)
    return check(wait_for(lambda: driver.execute_script("return document.body.dataset.ready")),
                 "the page becomes editable at " + url)


def control(driver, name, index=None):
    selector = '[data-name="%s"]' % name
    if index is not None:
        selector += '[data-index="%d"]' % index
    return driver.find_element(By.CSS_SELECTOR, "#client " + selector)


def text_of(driver, name):
    return driver.execute_script(
        "return document.querySelector('#client [data-name=\"%s\"]').textContent" % name)


def status(driver):
    return text_of(driver, "LabelMes")


def menu(driver, title, item):
    driver.find_element(By.CSS_SELECTOR, '[data-menu="%s"]' % title).click()
    driver.find_element(By.CSS_SELECTOR, '.menu:not([hidden]) [data-name="%s"]' % item).click()


def box(driver):
    """The open box's title, text and details, closed with OK; None when none opens."""
    found = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "dialog[open] .buttons"), 5)
    if not found:
        return None
    title, text, details = driver.execute_script(
        "const d = document.querySelector('dialog[open]');"
        "return [d.querySelector('h1').textContent, d.querySelector('.text').textContent,"
        " d.querySelector('.details')?.textContent || ''];")
    found[0].find_element(By.TAG_NAME, "button").click()
    return title, text, details


def idle(driver, seconds=30):
    """Waits for the transfer buttons to be usable again, as after a transfer."""
    return wait_for(lambda: control(driver, "CommandSendData").is_enabled() and
                    control(driver, "CommandRead").is_enabled(), seconds)


def open_example(driver, name):
    menu(driver, "MenuFile", "MenuOpen")
    wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "dialog[open] .list button"))
    for button in driver.find_elements(By.CSS_SELECTOR, "dialog[open] .list button"):
        if button.text == name:
            button.click()
            break
    return wait_for(lambda: name in driver.title, 5)


CAPTURE_SAVES = """
window.kelvaraSaved = {};
window.showSaveFilePicker = async (options) => {
  const name = window.kelvaraSaveAs || options.suggestedName;
  return { name, async createWritable() {
    let text = '';
    return { async write(data) { text += data; }, async close() { window.kelvaraSaved[name] = text; } };
  } };
};
"""


# ---- The cases -------------------------------------------------------------------------------

def drawing_and_trial_run(driver):
    """Cells by clicks and keys, paging by keys, the trial run by F5; what a screen reader reads."""
    control(driver, "CommandMa", 9).click()
    check(control(driver, "CommandMa", 9).text == "1", "a click turns a pattern cell on")
    check(control(driver, "CommandMa", 9).get_attribute("aria-label") == "本体 2行2列 ON",
          "the cell is named by place and value")
    control(driver, "CommandMa", 9).click()
    # The grid is one tab stop: Tab from the mode options reaches its current cell; the arrows
    # move within it (wrapping at its edges), Space toggles.
    first = control(driver, "CommandMa", 0)
    driver.execute_script("arguments[0].focus()", first)
    first.send_keys(Keys.ARROW_LEFT)
    wait_for(lambda: driver.switch_to.active_element.get_attribute("data-index") == "7", 2)
    check(driver.switch_to.active_element.get_attribute("data-index") == "7",
          "← from the first cell wraps to the last of its row")
    driver.switch_to.active_element.send_keys(Keys.SPACE)
    check(wait_for(lambda: control(driver, "CommandMa", 7).text == "1", 2), "Space toggles the cell")
    check(control(driver, "CommandMa", 7).get_attribute("tabindex") == "0",
          "the focused cell is the grid's tab stop")
    driver.switch_to.active_element.send_keys(Keys.PAGE_DOWN)
    check(wait_for(lambda: text_of(driver, "LabelPlate") == "2/2", 2), "PageDown adds a plate")
    driver.switch_to.active_element.send_keys(Keys.F5)
    check(wait_for(lambda: status(driver) == "条件にマッチしたデータを変化させました。", 2),
          "F5 runs the trial and its message shows")
    check(wait_for(lambda: driver.execute_script(
        "return document.getElementById('live').textContent") == status(driver), 2),
        "the message is announced")
    check(control(driver, "CommandRe").is_enabled(), "undo is enabled after a trial run")
    check(wait_for(lambda: status(driver) == "Kelvaraを編集してください。", 8),
          "the resting text returns after about four seconds")
    control(driver, "CommandDel").click()
    control(driver, "CommandDel").click()
    check(box(driver) == ("エラー", "これ以上プレートを削除できません", ""),
          "deleting the only plate shows the desktop's box")


def write_and_read_back(driver, folder):
    """50 plates to the machine behind the stand-in and back, the line's characters the desktop's."""
    sim = Simulator(folder, "web-m1", "--period", "0", "--baud", "9600")
    relay.target, relay.sent = sim.link, b""
    example = EXAMPLES / "50枚でOK.dat"
    check(open_example(driver, example.name), "an example opens from the open dialog")
    check(text_of(driver, "LabelPlate") == "1/50", "the example's 50 plates are there")
    started = time.monotonic()
    control(driver, "CommandSendData").click()
    check(idle(driver), "the write ends")
    took = time.monotonic() - started
    check(status(driver) == "データ書き込み完了", "the write completes: " + status(driver))
    check(relay.sent.decode() == wire_of(example), "the characters on the line are the desktop's")
    check(driver.execute_script("return window.kelvaraStandIn.options") ==
          {"baudRate": 9600, "dataBits": 8, "parity": "none", "stopBits": 1, "flowControl": "none"},
          "the port opens at 9600,n,8,1 without flow control")
    check(driver.execute_script("return window.kelvaraStandIn.signals") == {"requestToSend": False},
          "RTS is lowered")
    menu(driver, "MenuFile", "MenuNew")
    check(text_of(driver, "LabelPlate") == "1/1", "a new document")
    control(driver, "CommandRead").click()
    check(idle(driver), "the read ends")
    check(status(driver) == "データ読み出し完了", "the read completes: " + status(driver))
    driver.execute_script(CAPTURE_SAVES + "window.kelvaraSaveAs = 'back.dat';")
    menu(driver, "MenuFile", "MenuNewSave")
    saved = wait_for(lambda: driver.execute_script("return window.kelvaraSaved['back.dat']"), 5)
    check(saved is not None and saved.encode() == example.read_bytes(),
          "the document read back saves to the example's bytes")
    check("back.dat" in driver.title, "the title names the saved file")
    print("write of 50 plates through the stand-in: %.2f s" % took, flush=True)
    # The line goes away in the middle of a write: one failure, no box.
    relay.lose_after = 60
    control(driver, "CommandSendData").click()
    check(idle(driver), "the write ends when the line goes away")
    check(status(driver) == "通信エラーもう一度やってください。", "a lost line asks to try again")
    check(box(driver) is None, "a lost line shows no box")
    sim.stop()


def chooser_cancelled(driver):
    """The port forgotten, the next transfer asks for one, and the user chooses none."""
    menu(driver, "MenuComPort", "forget")
    check(wait_for(lambda: driver.execute_script("return window.kelvaraStandIn.granted") is False, 5),
          "the port menu forgets the port")
    driver.execute_script("window.kelvaraStandIn.choose = 'cancel';")
    relay.sent = b""
    control(driver, "CommandSendData").click()
    check(wait_for(lambda: status(driver) == "ポートが選ばれなかったため、通信しませんでした。", 5),
          "a cancelled port chooser is told on the status line")
    check(relay.sent == b"", "nothing is sent when no port is chosen")
    driver.execute_script("window.kelvaraStandIn.choose = 'port';")


def simulator_in_the_page(driver):
    """A glider in life game mode to the machine in the page, which runs it; read back."""
    menu(driver, "MenuFile", "MenuNew")
    menu(driver, "MenuComPort", "sim")
    control(driver, "OptionMode(1)").click()
    for cell in (1, 10, 16, 17, 18):
        control(driver, "CommandMa", cell).click()
    control(driver, "CommandSendData").click()
    check(idle(driver), "the life game mode transfer to the simulator ends")
    check(status(driver) == "ライフゲームモード送信完了", "the simulator takes life game mode")
    holds = lambda: driver.execute_script("return document.querySelector('#machine p').textContent")
    check(holds() == "ライフゲームモード", "the simulator shows what it holds")
    first = driver.execute_script(
        "return [...document.querySelectorAll('#machine .cells span')].map(s => s.className).join()")
    check(wait_for(lambda: driver.execute_script(
        "return [...document.querySelectorAll('#machine .cells span')].map(s => s.className).join()")
        != first, 3), "the simulator runs the glider")
    control(driver, "CommandRead").click()
    check(idle(driver), "the read from the simulator ends")
    check(status(driver) == "データ読み出し完了", "the simulator answers the read")
    check(sum(control(driver, "CommandMa", i).text == "1" for i in range(64)) == 5,
          "the glider comes back with its five cells")


def offline(site, folder):
    """Once opened, the page works with the server gone: the service worker has the site."""
    driver = browser(os.path.join(folder, "offline-profile"))
    try:
        load(driver, site.url)
        check(wait_for(lambda: driver.execute_script(
            "return navigator.serviceWorker.controller !== null || "
            "(navigator.serviceWorker.ready.then(() => location.reload()), false)"), 10),
            "the service worker takes the page")
        load(driver, site.url)
        site.stop()
        load(driver, site.url)
        menu(driver, "MenuComPort", "sim")
        control(driver, "CommandSendData").click()
        check(idle(driver), "a write to the simulator ends offline")
        check(status(driver) == "データ書き込み完了", "the simulator takes a write offline")
    finally:
        driver.quit()


def without_web_serial(url, folder):
    driver = browser(os.path.join(folder, "plain-profile"), standin=False,
                     before="delete Navigator.prototype.serial;")
    try:
        load(driver, url)
        items = driver.execute_script(
            "return [...document.querySelectorAll('.menu .item[role=menuitemradio]')]"
            ".map(i => [i.dataset.name, i.getAttribute('aria-checked')])")
        check(items == [["sim", "true"], ["serial", "false"]],
              "without Web Serial the simulator is the port: %s" % items)
        menu(driver, "MenuComPort", "serial")
        control(driver, "CommandSendData").click()
        shown = box(driver)
        check(shown is not None and shown[:2] == ("通信エラー", "ポートオープンエラー発生") and
              "Chrome または Edge" in shown[2], "a transfer says which browsers reach the device")
    finally:
        driver.quit()


relay = Relay()


def main():
    folder = tempfile.mkdtemp(prefix="kelvara-web-")
    site = Site()
    try:
        driver = browser(os.path.join(folder, "profile"))
        try:
            if load(driver, site.url):
                if SCREENSHOT:
                    driver.set_window_size(1100, 800)
                    driver.save_screenshot(SCREENSHOT)
                drawing_and_trial_run(driver)
                write_and_read_back(driver, folder)
                chooser_cancelled(driver)
                simulator_in_the_page(driver)
        finally:
            driver.quit()
        without_web_serial(site.url, folder)
        offline(site, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print("%d failures" % len(failures))
    return 1 if failures else 0


sys.exit(main())
