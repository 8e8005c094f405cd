#!/usr/bin/python3
"""The skinned dialog on a real X display (Xvfb).

Runs SkinShowcase in a Wine session of its own, takes a screenshot of it with
its command buttons in the states normal, hover (the real pointer is moved over
the second one), pressed and disabled, checks the pixels against the built-in
pictures, and drags the window by its band with the X pointer: a press on row
30 (the band's last row) moves it, a press on row 31 does not.

The screenshot is left as skin-showcase.png in the build folder.

A Wine session picks its display driver once, when its desktop starts, so this
cannot share the headless session of the other tests: it runs in a second
prefix that shares the first one's drive but has its own registry files and
so its own wine server.
"""
import os
import select
import shutil
import subprocess
import sys
import time

from PIL import Image

SOURCE = os.environ["TEST_SOURCE_DIR"]
BUILD = os.environ["TEST_BINARY_DIR"]
SHOWCASE = sys.argv[1]
MAIN_PREFIX = os.path.join(BUILD, "wineprefix")
PREFIX = os.path.join(BUILD, "wineprefix-display")
WINESERVER = "/usr/lib/wine/wineserver"


def make_display_prefix():
    stamp = os.path.join(MAIN_PREFIX, ".project-settings")
    own = os.path.join(PREFIX, "system.reg")
    if os.path.exists(own) and os.path.getmtime(own) >= os.path.getmtime(stamp):
        return
    shutil.rmtree(PREFIX, ignore_errors=True)
    os.makedirs(os.path.join(PREFIX, "dosdevices"))
    for name in ("system.reg", "user.reg", "userdef.reg", ".update-timestamp"):
        shutil.copy2(os.path.join(MAIN_PREFIX, name), PREFIX)
    os.symlink("../wineprefix/drive_c", os.path.join(PREFIX, "drive_c"))
    os.symlink("../drive_c", os.path.join(PREFIX, "dosdevices", "c:"))
    os.symlink("/", os.path.join(PREFIX, "dosdevices", "z:"))


def start_xvfb():
    """Starts Xvfb on a free display; returns the process and the display name.

    Xvfb writes its display number to the pipe each time it (re)starts its
    server and dies when it cannot, so the pipe is kept open for its lifetime."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp", "-br", "-noreset"],
                            pass_fds=[write_end], stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(BUILD, "skin-showcase-xvfb.log"), "wb"))
    os.close(write_end)
    ready, _, _ = select.select([read_end], [], [], 20)
    if not ready:
        xvfb.kill()
        sys.exit("Xvfb did not start")
    number = os.read(read_end, 16).decode().split()[0]
    xvfb.display_pipe = read_end
    return xvfb, ":" + number


class Showcase:
    def __init__(self, display):
        env = dict(os.environ, DISPLAY=display)
        command = ('. "$0/scripts/wine-env.sh"; export WINEPREFIX="$1"; exec "$WINE" "$2"')
        self.env = env
        self.process = subprocess.Popen(["bash", "-c", command, SOURCE, PREFIX, SHOWCASE],
                                        env=dict(env, BUILD=BUILD), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.buffer = b""

    def line(self, timeout):
        deadline = time.time() + timeout
        while b"\n" not in self.buffer:
            left = deadline - time.time()
            ready, _, _ = select.select([self.process.stdout], [], [], max(left, 0))
            if not ready:
                raise TimeoutError("no answer from the showcase")
            chunk = os.read(self.process.stdout.fileno(), 4096)
            if not chunk:
                raise EOFError("the showcase ended")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode().strip()

    def where(self, timeout=10):
        self.process.stdin.write(b"where\n")
        self.process.stdin.flush()
        rects = {}
        while True:
            words = self.line(timeout).split()
            if words == ["end"]:
                return rects
            rects[words[0]] = tuple(int(w) for w in words[1:5])

    def quit(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.close()
            self.process.wait(20)
        except Exception:
            self.process.kill()


def xdotool(display, *args):
    subprocess.run(["xdotool"] + [str(a) for a in args], env=dict(os.environ, DISPLAY=display),
                   check=True, timeout=20)


def wait_until_painted(display, window, timeout=20):
    """Takes screenshots until the title band is blue (the first paint can
    come a little after the window appears)."""
    deadline = time.time() + timeout
    while True:
        shot = screenshot(display)
        r, g, b = shot.getpixel((window[0] + 150, window[1] + 4))[:3]
        if b > 150 and r < 100:
            return
        if time.time() > deadline:
            raise TimeoutError("the dialog was never painted")
        time.sleep(0.3)


def screenshot(display, path=None):
    target = path or os.path.join(BUILD, "skin-showcase-screen.png")
    done = subprocess.run(["import", "-window", "root", target],
                          env=dict(os.environ, DISPLAY=display), capture_output=True, timeout=30)
    if done.returncode != 0:
        raise RuntimeError("import failed: " + done.stderr.decode(errors="replace"))
    return Image.open(target).convert("RGB")


def near(a, b, tolerance):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def main():
    make_display_prefix()
    xvfb, display = start_xvfb()
    showcase = None
    failures = []
    try:
        showcase = Showcase(display)
        rects = showcase.where(timeout=60)
        window = rects["window"]
        wait_until_painted(display, window)

        # Hover: the real pointer over the second button.
        b1 = rects["button1"]
        xdotool(display, "mousemove", (b1[0] + b1[2]) // 2, (b1[1] + b1[3]) // 2)
        time.sleep(1.0)
        shot = screenshot(display)
        crop = shot.crop(window)
        crop.save(os.path.join(BUILD, "skin-showcase.png"))

        strip = Image.open(os.path.join(SOURCE, "res", "images", "command_buttons.png"))
        strip = strip.convert("RGBA")
        for i in range(4):
            b = rects["button%d" % i]
            if (b[2] - b[0], b[3] - b[1]) != (66, 23):
                failures.append("button%d is %dx%d" % (i, b[2] - b[0], b[3] - b[1]))
            for (x, y) in ((6, 4), (60, 18)):
                expected = strip.getpixel((66 * i + x, y))[:3]
                got = shot.getpixel((b[0] + x, b[1] + y))
                if not near(expected, got, 6):
                    failures.append("button%d (%d,%d): expected frame %d colour %s, got %s"
                                    % (i, x, y, i, expected, got))
        c = rects["close"]
        if not near(shot.getpixel((c[0] + 16, c[1] + 10)), (255, 255, 255), 30):
            failures.append("close cross centre is %s" % (shot.getpixel((c[0] + 16, c[1] + 10)),))
        band = shot.getpixel((c[0] + 2, c[1] + 12))
        if not (band[2] > 150 and band[0] < 100):
            failures.append("the close button's ground is %s, not the blue band" % (band,))
        # The rounded corner lets the black root show; the next pixels are the frame.
        if shot.getpixel((window[0], window[1])) != (0, 0, 0):
            failures.append("top-left corner pixel is %s" % (shot.getpixel(window[:2]),))
        if shot.getpixel((window[0] + 3, window[1])) == (0, 0, 0):
            failures.append("the window's top edge is missing next to the corner")

        # The drag band: rows 0 to 30 move the window, row 31 does not.
        for row, moves in ((30, True), (31, False)):
            before = showcase.where()["window"]
            x, y = before[0] + 150, before[1] + row
            xdotool(display, "mousemove", x, y)
            time.sleep(0.3)
            xdotool(display, "mousedown", 1)
            time.sleep(0.3)
            for step in range(1, 5):
                xdotool(display, "mousemove", x + 10 * step, y + 6 * step)
                time.sleep(0.1)
            time.sleep(0.3)
            xdotool(display, "mouseup", 1)
            time.sleep(0.5)
            after = showcase.where()["window"]
            moved = (after[0] - before[0], after[1] - before[1])
            if moves and moved != (40, 24):
                failures.append("a press on row %d moved the window by %s" % (row, moved))
            if not moves and moved != (0, 0):
                failures.append("a press on row %d moved the window by %s" % (row, moved))
    finally:
        if showcase:
            showcase.quit()
        subprocess.run([WINESERVER, "-k"], env=dict(os.environ, WINEPREFIX=PREFIX),
                       stderr=subprocess.DEVNULL)
        xvfb.kill()
        xvfb.wait()
        os.close(xvfb.display_pipe)
    for f in failures:
        print("FAIL:", f)
    if failures:
        sys.exit(1)
    print("screenshot:", os.path.join(BUILD, "skin-showcase.png"))


if __name__ == "__main__":
    main()
