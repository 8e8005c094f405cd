"""The dialog driver's clicks land on the buttons of a real Wine window on an
own Xvfb: a stand-in window with the dialog's size, title and button places,
without a frame (as the skinned dialog) and with one.

usage: test_dialog_clicks.py CLICK_TARGET_EXE OWN_DESKTOP_EXE"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tools", "demo"))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import xdisplay  # noqa: E402
from dialog_driver import BUILT_IN_BUTTON, DialogDriver, wait_for  # noqa: E402
from programdir import WINE_RUN, windows_path  # noqa: E402

CLICK_TARGET, OWN_DESKTOP = (sys.argv[1:3] + ["", ""])[:2]


class Clicks(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="demo-clicks-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.xvfb = xdisplay.Xvfb().start()
        self.addCleanup(self.xvfb.stop)
        self.log = os.path.join(self.dir, "clicks.log")

    def start(self, *args):
        process = subprocess.Popen(
            [WINE_RUN, windows_path(OWN_DESKTOP), "DemoClicks-%d" % os.getpid(),
             windows_path(CLICK_TARGET), windows_path(self.log), *args],
            env=dict(os.environ, DISPLAY=self.xvfb.display), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: process.poll() is None and process.kill())
        return process

    def clicks(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return f.read().split()

    def test_upgrade_then_the_right_hand_button(self):
        for frame in ((), ("framed",)):
            with self.subTest(frame=frame):
                if os.path.exists(self.log):
                    os.remove(self.log)
                process = self.start(*frame)
                driver = DialogDriver(xdisplay.Screen(self.xvfb.display), self.dir,
                                      BUILT_IN_BUTTON, lambda: None, lambda: True,
                                      lambda: True, say=lambda _: None)
                driver.find()
                if not frame:
                    self.assertEqual((362, 224, 300, 320), driver.geometry)  # centred
                else:
                    self.assertGreater(driver.geometry[3], 320)
                driver.press(0, "upgrade")
                self.assertTrue(wait_for(lambda: self.clicks() == ["upgrade"], 10),
                                self.clicks())
                driver.press(1, "right")
                self.assertTrue(wait_for(lambda: self.clicks() == ["upgrade", "right"], 10),
                                self.clicks())
                self.assertEqual(0, process.wait(20))

    def test_the_whole_drive_with_screenshots(self):
        self.start()
        # The update "starts" with the Upgrade click and "ends" once the
        # progress has been photographed.
        driver = DialogDriver(xdisplay.Screen(self.xvfb.display), self.dir, BUILT_IN_BUTTON,
                              lambda: None, lambda: "upgrade" in self.clicks(),
                              lambda: os.path.exists(os.path.join(self.dir, "progress.png")),
                              say=lambda _: None)
        driver.run(transfer_timeout=30)
        self.assertTrue(wait_for(lambda: self.clicks() == ["upgrade", "right"], 10), self.clicks())
        for name in ("offer.png", "progress.png", "success.png"):
            with open(os.path.join(self.dir, name), "rb") as f:
                self.assertEqual(b"\x89PNG", f.read(4), name)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
