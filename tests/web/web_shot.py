"""A picture of the web app as it opens: web_shot.py SITE OUT.png (1100 x 800, 100 %)."""

import os
import pathlib
import sys
import tempfile

import web_harness as h

site_folder, out = sys.argv[1], sys.argv[2]
site = h.Site(pathlib.Path(site_folder))
driver = h.browser(os.path.join(tempfile.mkdtemp(prefix="kelvara-shot-"), "profile"), standin=False)
try:
    if not h.load(driver, site.url):
        sys.exit(1)
    driver.execute_script("return new Promise((done) => setTimeout(done, 300))")
    # The window and the machine beside it, without the page's empty rest.
    width, height = driver.execute_script(
        "const d = document.getElementById('window').getBoundingClientRect();"
        "const m = document.getElementById('machine').getBoundingClientRect();"
        "return [Math.ceil(Math.max(d.right, m.right)), Math.ceil(Math.max(d.bottom, m.bottom))]")
    driver.save_screenshot(out)
    os.system("convert '%s' -crop %dx%d+0+0 +repage '%s'" % (out, width, height, out))
finally:
    driver.quit()
    site.stop()
print("saved", out)
