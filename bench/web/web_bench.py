"""The web app's figures, printed (never asserted): the size of its folder, how soon the page can
be edited, a 50-plate write and read through the stand-in for the browser's serial port beside
the native kelvara on the same simulator, and trial runs a second in WebAssembly beside native.

web_bench.py WEB_BUILD NATIVE_BUILD (build/web and build/default).
"""

import gzip
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests" / "web"))
import web_harness as h  # noqa: E402

WEB, NATIVE = (pathlib.Path(arg).resolve() for arg in sys.argv[1:3])
SITE = WEB / "site"
EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "50枚でOK.dat"
h.SIMULATOR = NATIVE / "tools" / "kelvara-sim" / "kelvara-sim"
KELVARA = NATIVE / "tools" / "kelvara" / "kelvara"
RUNS = 5

TIMED = """
const done = arguments[0];
const label = document.querySelector('#client [data-name="LabelMes"]');
const start = performance.now();
new MutationObserver((changes, observer) => {
  if (label.textContent === done || label.textContent.startsWith('通信エラー')) {
    observer.disconnect();
    window.kelvaraTook = performance.now() - start;
  }
}).observe(label, { childList: true, characterData: true, subtree: true });
window.kelvaraTook = null;
document.querySelector('#client [data-name="' + arguments[1] + '"]').click();
"""


def sizes():
    page = ["index.html", "app.js", "clock.js", "style.css", "sw.js", "manifest.webmanifest",
            "kelvara_web.mjs", "kelvara_web.wasm"]
    raw = gz = 0
    for name in page:
        data = (SITE / name).read_bytes()
        raw += len(data)
        gz += len(gzip.compress(data, 9))
    total = sum(f.stat().st_size for f in SITE.rglob("*") if f.is_file())
    total_gz = sum(len(gzip.compress(f.read_bytes(), 9)) for f in SITE.rglob("*") if f.is_file())
    print("folder: %d files, %.1f KB (%.1f KB gzipped)" %
          (sum(1 for f in SITE.rglob("*") if f.is_file()), total / 1024, total_gz / 1024))
    print("page, scripts and module: %.1f KB (%.1f KB gzipped); the help page, examples, "
          "pictures and icons aside" % (raw / 1024, gz / 1024))


def median(values):
    return statistics.median(values)


def main():
    sizes()
    h.relay = h.Relay()
    folder = tempfile.mkdtemp(prefix="kelvara-bench-")
    site = h.Site(SITE)
    loads = []
    for run in range(RUNS):
        driver = h.browser(os.path.join(folder, "profile-%d" % run))
        h.load(driver, site.url)
        loads.append(driver.execute_script("return window.kelvaraReadyAt"))
        driver.quit()
    print("navigation to an editable page (a new profile each time): median %.0f ms (%s)" %
          (median(loads), ", ".join("%.0f" % v for v in loads)))

    sim = h.Simulator(folder, "bench-m1", "--period", "0", "--baud", "9600")
    h.relay.target = sim.link
    driver = h.browser(os.path.join(folder, "profile"))
    h.load(driver, site.url)
    driver.execute_script("window.kelvaraStandIn.granted = true;")
    h.open_example(driver, EXAMPLE.name)
    web = {"write": [], "read": []}
    for run in range(RUNS + 1):
        for kind, button, done in (("write", "CommandSendData", "データ書き込み完了"),
                                   ("read", "CommandRead", "データ読み出し完了")):
            driver.execute_script(TIMED, done, button)
            took = h.wait_for(lambda: driver.execute_script("return window.kelvaraTook"), 30)
            h.idle(driver)
            if run > 0:  # the first of each warms the page up
                web[kind].append(took / 1000)
    driver.quit()
    native = {"write": [], "read": []}
    env = dict(os.environ, KELVARA_COM1=sim.link)
    back = os.path.join(folder, "back.dat")
    for run in range(RUNS):
        for kind, args in (("write", ["send", str(EXAMPLE)]), ("read", ["read", "-o", back])):
            start = time.monotonic()
            subprocess.run([str(KELVARA), *args], env=env, check=True, capture_output=True)
            native[kind].append(time.monotonic() - start)
    sim.stop()
    # The line's floor on a pseudo-terminal: the simulator answers at once, so a write is its
    # 52 pauses of 10 ms; a read is the reply's 320 characters at 9600 baud (1.042 ms each).
    floors = {"write": 0.520, "read": 320 * 10 / 9600}
    for kind in ("write", "read"):
        w, n = median(web[kind]), median(native[kind])
        print("%s of 50 plates: web %.3f s, native kelvara %.3f s (process start included): "
              "%.2f x native; floor %.3f s: web %.2f x, native %.2f x" %
              (kind, w, n, w / n, floors[kind], w / floors[kind], n / floors[kind]))
    for program in (NATIVE / "bench" / "simulation" / "steps_per_second",):
        print("native:\n" + subprocess.run([str(program)], capture_output=True, text=True).stdout)
    wasm = WEB / "bench" / "web" / "steps_per_second_wasm.js"
    print("WebAssembly (Node):\n" + subprocess.run(
        ["node", "--no-experimental-fetch", str(wasm)], capture_output=True, text=True).stdout)
    site.stop()


main()
