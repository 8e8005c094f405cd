"""Clicks through the update dialog on an X display: Upgrade, then Finish once
every module has arrived, with a screenshot of each state. Where the buttons
are follows from the dialog's built-in layout and the button frame size."""

import os
import time

import xdisplay

TITLE = "Updater"
DIALOG_SIZE = (300, 320)
BUILT_IN_BUTTON = (66, 23)
WINDOW_WAIT = 60  # seconds from the host's start until the dialog shows


class DriveError(RuntimeError):
    pass


def button_rects(dialog_size, button_size):
    """Client rectangles (x, y, width, height) of the Upgrade button and of
    the right-hand button (Don't upgrade / Exit software / Finish)."""
    w, h = dialog_size
    bw, bh = button_size
    return (w - 2 * bw - 40, h - bh - 5, bw, bh), (w - bw - 25, h - bh - 5, bw, bh)


def wait_for(condition, timeout, poll=0.1):
    """Whether `condition()` became true within `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() >= deadline:
            return False
        time.sleep(poll)
    return True


def wait_until(condition, timeout, what, poll=0.1):
    """Like wait_for, but raises DriveError naming `what` on time-out."""
    if not wait_for(condition, timeout, poll):
        raise DriveError("%s did not happen within %d s" % (what, timeout))


class DialogDriver:
    """`gone()` says why the dialog can no longer appear (or None);
    `started()` whether the first bytes of the update have arrived;
    `fetched()` whether every changed module has been transferred."""

    def __init__(self, screen, shots, button_size, gone, started, fetched, say=print):
        self.screen, self.shots, self.say = screen, shots, say
        self.gone, self.started, self.fetched = gone, started, fetched
        self.buttons = button_rects(DIALOG_SIZE, button_size)
        self.geometry = None

    def find(self):
        window = self.screen.wait_for_window(TITLE, WINDOW_WAIT, self.gone)
        self.geometry = self.screen.geometry(window)
        self.say("dialog found: window 0x%x at (%d, %d), %d x %d" % ((window,) + self.geometry))
        if self.geometry[2:] != DIALOG_SIZE:
            self.say("note: the dialog is not %d x %d; the clicks allow for a frame" % DIALOG_SIZE)

    def press(self, which, name):
        x, y = xdisplay.centre(self.buttons[which])
        origin = xdisplay.client_origin(self.geometry, DIALOG_SIZE)
        self.say("pressing %s at client (%d, %d)" % (name, x, y))
        self.screen.click((origin[0] + x, origin[1] + y))

    def shoot(self, name, settle=True):
        if settle and not self.screen.wait_still(self.geometry):
            self.say("note: the dialog was still changing for %s" % name)
        path = os.path.join(self.shots, name)
        self.screen.screenshot(path, self.geometry)
        return path

    def run(self, transfer_timeout):
        self.find()
        self.shoot("offer.png")
        self.press(0, "升级 (Upgrade)")
        wait_until(lambda: self.started() or self.fetched(), 30, "the first staged bytes")
        time.sleep(0.5)
        self.shoot("progress.png", settle=False)
        if self.fetched():
            self.say("note: the transfers had ended before the progress screenshot "
                     "(a lower --rate slows them)")
        wait_until(self.fetched, transfer_timeout, "the transfer of every changed module", 0.25)
        time.sleep(0.5)  # the last completion reaches the dialog
        self.shoot("success.png")
        self.press(1, "完成 (Finish)")
