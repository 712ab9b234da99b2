"""The web app in headless Chromium, as a user meets it.

web_test.py SITE SIMULATOR EXAMPLES [SCREENSHOT]: serves the built site (SITE) on 127.0.0.1,
starts kelvara-sim (SIMULATOR) on a pseudo-terminal, and puts a stand-in for the browser's serial
ports into the page (serial_standin.js) whose port is relayed over a WebSocket to that terminal.
The page is driven by clicks and keys. SCREENSHOT, when given, receives a picture of the page.
"""

import os
import pathlib
import shutil
import sys
import tempfile
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

import web_harness as h
from web_harness import (CAPTURE_SAVES, Relay, Simulator, Site, box, browser, check, control,
                         idle, load, menu, open_example, status, text_of, wait_for, wire_of)

SITE, h.SIMULATOR, EXAMPLES = (pathlib.Path(arg) for arg in sys.argv[1:4])
SCREENSHOT = sys.argv[4] if len(sys.argv) > 4 else None


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
    live = "return document.getElementById('live').textContent"
    # The trial shows plate 1 again: that is said with the message.
    check(wait_for(lambda: driver.execute_script(live) ==
                   "プレート 1 / 全2枚 " + status(driver), 2),
          "the message is announced: %s" % driver.execute_script(live))
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
    h.relay.target, h.relay.sent = sim.link, b""
    example = EXAMPLES / "50枚でOK.dat"
    check(open_example(driver, example.name), "an example opens from the open dialog")
    check(text_of(driver, "LabelPlate") == "1/50", "the example's 50 plates are there")
    started = time.monotonic()
    control(driver, "CommandSendData").click()
    held = driver.execute_script(
        "return [...document.querySelectorAll('.menu .item[data-name=MenuNew],"
        " .menu .item[data-name=MenuOpen]')].map((item) => item.getAttribute('aria-disabled'))")
    check(held == ["true", "true"], "新規作成 and 開く are disabled during the write: %s" % held)
    check(idle(driver), "the write ends")
    took = time.monotonic() - started
    check(status(driver) == "データ書き込み完了", "the write completes: " + status(driver))
    focused = driver.execute_script("return document.activeElement.dataset.name")
    check(focused == "CommandSendData", "the focus is back on データ転送 after the write: %s" % focused)
    check(h.relay.sent.decode() == wire_of(example), "the characters on the line are the desktop's")
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
    h.relay.lose_after = 60
    control(driver, "CommandSendData").click()
    check(idle(driver), "the write ends when the line goes away")
    check(status(driver) == "通信エラーもう一度やってください。", "a lost line asks to try again")
    check(box(driver) is None, "a lost line shows no box")
    sim.stop()


def left_and_hidden(site, folder):
    """A tab that goes to the back keeps the line's pace; a page left mid-write sends no more."""
    sim = Simulator(folder, "web-m2", "--period", "0", "--baud", "9600")
    h.relay.target, h.relay.sent = sim.link, b""
    driver = browser(os.path.join(folder, "hidden-profile"), throttled=True)
    try:
        load(driver, site.url)
        driver.execute_script("window.kelvaraStandIn.granted = true;")
        open_example(driver, "50枚でOK.dat")
        first = driver.current_window_handle
        control(driver, "CommandSendData").click()
        driver.switch_to.new_window("tab")  # the editor's tab goes to the back
        hidden = time.monotonic()
        wait_for(lambda: len(h.relay.sent) >= len(wire_of(EXAMPLES / "50枚でOK.dat")), 20)
        took = time.monotonic() - hidden
        driver.close()
        driver.switch_to.window(first)
        check(driver.execute_script("return document.visibilityState") == "visible", "back in front")
        check(idle(driver) and status(driver) == "データ書き込み完了",
              "a write in a tab at the back completes: " + status(driver))
        check(took < 5, "a write in a tab at the back keeps the line's pace (%.1f s)" % took)
        print("write of 50 plates in a tab at the back: %.2f s" % took, flush=True)
        # Reloaded in the middle of a write: the line is closed and nothing more goes out.
        h.relay.sent = b""
        control(driver, "CommandSendData").click()
        wait_for(lambda: len(h.relay.sent) >= 40, 5)
        driver.refresh()
        load(driver, site.url)
        sent = len(h.relay.sent)
        time.sleep(1)
        check(sent < len(wire_of(EXAMPLES / "50枚でOK.dat")) and len(h.relay.sent) == sent,
              "a page left in the middle of a write sends nothing more")
    finally:
        driver.quit()
        sim.stop()


def files_and_fitting(driver):
    """A save the browser cannot finish says so; the page scales down to fit a small screen."""
    driver.execute_script(
        "window.showSaveFilePicker = async () => ({ name: 'denied.dat', async createWritable() {"
        " throw new DOMException('denied', 'NotAllowedError'); } });")
    before = driver.title
    menu(driver, "MenuFile", "MenuNewSave")
    check(box(driver) == ("エラー", "ファイルを保存できませんでした。", ""),
          "a save the browser refused shows the desktop's box")
    check(driver.title == before, "the title keeps the file it named before the failed save")
    for width, height in ((1366, 768), (768, 1024), (1024, 600)):
        driver.set_window_size(width, height)
        time.sleep(0.3)
        fits = driver.execute_script(
            "const r = document.getElementById('desk').getBoundingClientRect();"
            "const m = document.getElementById('machine').getBoundingClientRect();"
            "return Math.max(r.right, m.right) <= innerWidth + 1 &&"
            " Math.max(r.bottom, m.bottom) <= innerHeight + 1 &&"
            " document.scrollingElement.scrollHeight <= innerHeight");
        check(fits, "the page fits a %d x %d window without scrolling" % (width, height))
    driver.set_window_size(1100, 800)


def chooser_cancelled(driver):
    """The port forgotten, the next transfer asks for one, and the user chooses none."""
    menu(driver, "MenuComPort", "forget")
    check(wait_for(lambda: driver.execute_script("return window.kelvaraStandIn.granted") is False, 5),
          "the port menu forgets the port")
    driver.execute_script("window.kelvaraStandIn.choose = 'cancel';")
    h.relay.sent = b""
    control(driver, "CommandSendData").click()
    check(wait_for(lambda: status(driver) == "ポートが選ばれなかったため、通信しませんでした。", 5),
          "a cancelled port chooser is told on the status line")
    check(h.relay.sent == b"", "nothing is sent when no port is chosen")
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
        errors = driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})
        check(errors.get("installabilityErrors") == [], "the page installs as an app: %s" % errors)
        site.stop()
        load(driver, site.url)
        menu(driver, "MenuComPort", "sim")
        control(driver, "CommandSendData").click()
        check(idle(driver), "a write to the simulator ends offline")
        check(status(driver) == "データ書き込み完了", "the simulator takes a write offline")
    finally:
        driver.quit()


def without_web_serial(site, folder):
    """No Web Serial (Firefox, Safari, an iPad), and no secure context (plain http from a host
    name): the simulator is the port, and a transfer to a serial port says why there is none."""
    driver = browser(os.path.join(folder, "plain-profile"), standin=False,
                     before="delete Navigator.prototype.serial;")
    try:
        load(driver, site.url)
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
    driver = browser(os.path.join(folder, "insecure-profile"), standin=False, host="kelvara.test")
    try:
        load(driver, site.url.replace("127.0.0.1", "kelvara.test"))
        menu(driver, "MenuComPort", "serial")
        control(driver, "CommandRead").click()
        shown = box(driver)
        check(shown is not None and "https" in shown[2], "a page that is no secure context says so")
        control(driver, "CommandClose").click()
        check(wait_for(lambda: driver.find_elements(By.ID, "exited"), 5), "終了 ends the editor")
    finally:
        driver.quit()


def main():
    h.relay = Relay()
    folder = tempfile.mkdtemp(prefix="kelvara-web-")
    site = Site(SITE)
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
                files_and_fitting(driver)
        finally:
            driver.quit()
        left_and_hidden(site, folder)
        without_web_serial(site, folder)
        offline(site, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print("%d failures" % len(h.failures))
    return 1 if h.failures else 0


sys.exit(main())
