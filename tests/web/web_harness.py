"""What the web app's test and benchmark share: the built site served on 127.0.0.1, kelvara-sim
on a pseudo-terminal, a WebSocket relay from the stand-in for the browser's serial ports
(serial_standin.js) to that terminal, and headless Chromium driving the page."""

import asyncio
import functools
import http.server
import os
import pathlib
import shutil
import subprocess
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

HERE = pathlib.Path(__file__).parent
failures = []
SIMULATOR = None  # set by the program that uses this
relay = None      # the Relay, once started


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
    def __init__(self, folder):
        handler = functools.partial(QuietHandler, directory=str(folder))
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

def browser(profile, standin=True, before="", throttled=False, host=None):
    options = Options()
    if host:
        # A host name that reaches this computer but is no secure context, as a school's plain
        # http server would be.
        options.add_argument("--host-resolver-rules=MAP %s 127.0.0.1" % host)
    if throttled:
        # As a browser on a desk runs a tab that is not in front: its timers held back.
        options.add_experimental_option("excludeSwitches", [
            "disable-background-timer-throttling", "disable-backgrounding-occluded-windows",
            "disable-renderer-backgrounding"])
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


