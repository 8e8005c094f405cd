"""The demo's parts on their own, without Wine: judging a run's outcome, the
skin images, the button places, the private nginx, the X helpers and the
clean-up of helper programs. Needs nginx, Xvfb, xdotool and ImageMagick
(scripts/setup.sh installs them)."""

import io
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tools", "demo"))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import children  # noqa: E402
import demo_release  # noqa: E402
import nginx_server  # noqa: E402
import skin_files  # noqa: E402
import xdisplay  # noqa: E402
from dialog_driver import button_rects  # noqa: E402
from PIL import Image  # noqa: E402
from programdir import HostRun, ProgramFolder  # noqa: E402

BUILD = os.environ.get("TEST_BINARY_DIR", os.path.join(REPO, "build"))
_direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def fetch(url, range_=None):
    request = urllib.request.Request(url, headers={"Range": range_} if range_ else {})
    with _direct.open(request, timeout=30) as answer:
        return answer.status, answer.read()


class Outcome(unittest.TestCase):
    """The checks that decide the demo's exit code."""

    def setUp(self):
        self.folder = ProgramFolder(updater="", host="")
        self.addCleanup(shutil.rmtree, self.folder.path, True)
        self.installed = {local: b"old " + local.encode() for _, _, local in demo_release.MODULES}
        self.folder.install_modules(self.installed)
        self.changed = {"Quorvel": b"new Q", "Nirvek": b"new host"}

    def stage_silently(self, marker="[SUpgrade]\r\nKey=1\r\n"):
        self.folder.write("UpgradeBackup/Quorvel.dll", b"new Q")
        self.folder.write("UpgradeBackup/Tevrane.exe", b"new host")
        if marker is not None:
            self.folder.write("UpgradeBackup/qim_s.backup", marker)

    def test_silent_staging(self):
        self.stage_silently()
        self.assertEqual([], demo_release.check_staged(self.folder, self.installed, self.changed))
        # Each fault is named: a short file, a stray file, an installed file touched.
        self.folder.write("UpgradeBackup/Tevrane.exe", b"new ho")
        self.folder.write("UpgradeBackup/Stray.dll", b"x")
        self.folder.write("Zentil.dll", b"changed")
        problems = demo_release.check_staged(self.folder, self.installed, self.changed)
        self.assertEqual(3, len(problems), problems)
        self.assertIn("UpgradeBackup/Tevrane.exe differs", problems[0])
        self.assertIn("Stray.dll", problems[1])
        self.assertIn("Zentil.dll differs", problems[2])

    def test_silent_marker_must_say_key_1(self):
        for marker, expected in ((None, "was not written"), ("[SUpgrade]\r\nKey=0\r\n", "Key=0"),
                                 ("not an ini [file", "was not written"),
                                 ("[Other]\r\nKey=1\r\n", "was not written")):
            with self.subTest(marker=marker):
                if self.folder.exists(demo_release.MARKER):
                    os.remove(self.folder.file(demo_release.MARKER))
                self.stage_silently(marker)
                problems = demo_release.check_staged(self.folder, self.installed, self.changed)
                self.assertEqual(1, len(problems), problems)
                self.assertIn(expected, problems[0])

    def test_interactive_install(self):
        expected = demo_release.expected_files(self.installed, self.changed)
        self.assertEqual(b"new host", expected["Tevrane.exe"])
        self.assertEqual(b"old Zentil.dll", expected["Zentil.dll"])
        problems = demo_release.check_installed(self.folder, expected)
        self.assertEqual(["Quorvel.dll differs from the new release",
                          "Tevrane.exe differs from the new release"], problems)
        self.folder.install_modules({"Quorvel.dll": b"new Q", "Tevrane.exe": b"new host"})
        self.assertEqual([], demo_release.check_installed(self.folder, expected))
        self.folder.write("UpgradeBackup_P/Quorvel.dll.tmp", b"left")
        os.remove(self.folder.file("Kavrel.dll"))
        problems = demo_release.check_installed(self.folder, expected)
        self.assertEqual(["Kavrel.dll is missing", "the staging folder UpgradeBackup_P is still "
                          "there (Quorvel.dll.tmp)"], problems)

    def test_host_log(self):
        def outcome(*events):
            return demo_release.host_outcome(
                HostRun(0, "".join("%d %s\r\n" % (10 * i, e) for i, e in enumerate(events)), 1))

        lines, problems = outcome("start mode=1", "updater-started pid=5", "exit-event-set",
                                  "host-exit", "updater-exited code=0", "restarted cwd=Z:\\p")
        self.assertEqual([], problems)
        self.assertIn("restarted (cwd=Z:\\p)", lines[-1])
        # Declined: the updater ended and nothing else happened.
        _, problems = outcome("start mode=1", "updater-exited code=0")
        self.assertEqual(["the host's exit event was never set (the updater ended, code=0)",
                          "the host was not restarted"], problems)
        # A restart before the host has gone does not count.
        _, problems = outcome("exit-event-set", "restarted cwd=x", "host-exit")
        self.assertEqual(["a host was started before the first one had exited"], problems)

    def test_release_tool_digests_are_read_back(self):
        tool = os.path.join(BUILD, "native", "release-tool")
        folder = tempfile.mkdtemp(prefix="demo-digests-")
        self.addCleanup(shutil.rmtree, folder, True)
        for name, data in (("Quorvel.dll", b"a" * 10), ("Nirvek.exe", b"")):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        output = subprocess.run([tool, "--allow-missing", folder], capture_output=True,
                                text=True, check=True).stdout
        digests = demo_release.parse_digests(output)
        self.assertEqual(["Nirvek", "Quorvel"], sorted(digests))
        self.assertEqual(("Quorvel.dll", 10), digests["Quorvel"][:2])
        self.assertEqual(("Nirvek.exe", 0), digests["Nirvek"][:2])
        self.assertRegex(digests["Quorvel"][2], "^[0-9a-f]{32}$")
        self.assertEqual({}, demo_release.parse_digests("wrote x: 0 modules\nQuorvel x 1 short\n"))

    def test_transfers_add_up_across_a_resume(self):
        changed = {"Quorvel": b"x" * 100, "Zentil": b""}
        log = [{"uri": "/Quorvel.dll", "status": 200, "bytes": 60},
               {"uri": "/Zentil.dll", "status": 200, "bytes": 0}]
        self.assertFalse(demo_release.all_transferred(log, changed))
        self.assertFalse(demo_release.all_transferred(
            log + [{"uri": "/Quorvel.dll", "status": 416, "bytes": 40}], changed))
        self.assertTrue(demo_release.all_transferred(
            log + [{"uri": "/Quorvel.dll", "status": 206, "bytes": 40}], changed))
        self.assertFalse(demo_release.all_transferred(log[:1], {"Zentil": b""}))


class SkinImages(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="demo-skin-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.written = skin_files.write_skin(self.dir, index=1)

    def image(self, name):
        path = os.path.join(self.dir, "qimtools", "Skin", "Skin1", *name.split("/"))
        with open(path, "rb") as f:
            data = f.read()
        Image.open(io.BytesIO(data)).verify()  # checksums and structure
        return Image.open(io.BytesIO(data)).convert("RGBA")

    def test_settings_select_the_folder_that_was_written(self):
        with open(os.path.join(self.dir, "SetConfig.ini"), "rb") as f:
            self.assertEqual(b"[SkinSet]\r\nSkinIndex=1\r\n", f.read())
        self.assertEqual(5, len(self.written))
        for name, (width, height, _) in skin_files.SKIN_IMAGES.items():
            self.assertEqual((width, height), self.image(name).size, name)

    def test_images_have_the_shapes_the_dialog_expects(self):
        backdrop = self.image("General/PopupBoxBk.png")
        self.assertEqual(backdrop.getpixel((4, 0)), backdrop.getpixel((0, 40)))  # border
        self.assertEqual(skin_files.BAND + (255,), backdrop.getpixel((4, 29)))
        self.assertEqual(skin_files.BODY + (255,), backdrop.getpixel((4, 30)))
        cross = self.image("General/Close_Normal.png")
        self.assertEqual(0, cross.getpixel((0, 0))[3])
        self.assertEqual(255, cross.getpixel((16, 10))[3])
        self.assertEqual(255, cross.getpixel((12, 6))[3])  # on a diagonal
        self.assertEqual(0, cross.getpixel((16, 6))[3])  # between the bars
        strip = self.image("General/BoxBtn_S.png")
        self.assertEqual((66, 23), skin_files.button_frame_size())
        borders = [strip.getpixel((66 * i + 30, 0)) for i in range(4)]
        self.assertEqual(4, len(set(borders)), "each of the four states looks different")

    def test_a_png_needs_a_size(self):
        with self.assertRaises(ValueError):
            skin_files.png_bytes(0, 5, lambda x, y: (0, 0, 0, 0))


class Places(unittest.TestCase):
    def test_buttons_follow_the_frame_size(self):
        self.assertEqual(((128, 292, 66, 23), (209, 292, 66, 23)),
                         button_rects((300, 320), (66, 23)))
        self.assertEqual(((100, 285, 80, 30), (195, 285, 80, 30)),
                         button_rects((300, 320), (80, 30)))
        self.assertEqual((161, 303), xdisplay.centre((128, 292, 66, 23)))

    def test_client_origin_with_and_without_a_frame(self):
        self.assertEqual((362, 224), xdisplay.client_origin((362, 224, 300, 320), (300, 320)))
        self.assertEqual((103, 222), xdisplay.client_origin((100, 200, 306, 345), (300, 320)))
        self.assertEqual((5, 6), xdisplay.client_origin((5, 6, 200, 100), (300, 320)))

    def test_geometry_answer(self):
        text = "WINDOW=4194305\nX=362\nY=224\nWIDTH=300\nHEIGHT=320\nSCREEN=0\n"
        self.assertEqual((362, 224, 300, 320), xdisplay.parse_geometry(text))
        with self.assertRaises(xdisplay.DisplayError):
            xdisplay.parse_geometry("X=1\nY=2\n")


class Nginx(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="demo-nginx-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def server(self, name, rate=0):
        server = nginx_server.NginxServer(os.path.join(self.dir, name, "root"),
                                          os.path.join(self.dir, name, "work"), rate=rate)
        self.addCleanup(server.stop)
        return server

    def test_serves_ranges_logs_transfers_and_stops(self):
        data = bytes(range(256)) * 400
        one, two = self.server("one").start(), self.server("two").start()
        self.assertNotEqual(one.port, two.port)
        one.add_file("sub/Quorvel.dll", data)
        self.assertEqual((200, data), fetch(one.base_url + "sub/Quorvel.dll"))
        self.assertEqual((206, data[1000:]), fetch(one.base_url + "sub/Quorvel.dll",
                                                   "bytes=1000-"))
        with open(os.path.join(one.work, "access.log"), "a") as f:
            f.write('{"uri":"/half')  # a line still being written
        self.assertEqual([("/sub/Quorvel.dll", 200, len(data), ""),
                          ("/sub/Quorvel.dll", 206, len(data) - 1000, "bytes=1000-")],
                         [(r["uri"], r["status"], r["bytes"], r["range"]) for r in one.requests()])
        self.assertEqual([], two.requests())
        process = one.process
        one.stop()
        self.assertIsNotNone(process.poll())
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", one.port), timeout=2)

    def test_rate_limit_slows_each_transfer(self):
        # 300 KB at 100 KB/s cannot arrive in under two seconds. (A lower
        # bound only: a slow machine cannot fail it.)
        slow = self.server("slow", rate=100 * 1024).start()
        slow.add_file("a.bin", b"\0" * (300 * 1024))
        start = time.monotonic()
        self.assertEqual(300 * 1024, len(fetch(slow.base_url + "a.bin")[1]))
        self.assertGreater(time.monotonic() - start, 2.0)

    def test_refuses_what_it_cannot_serve(self):
        for root, rate in (("/a b", 0), ("/a;b", 0), ("/r", -1), ("/r", 1.5)):
            with self.subTest(root=root, rate=rate), self.assertRaises(ValueError):
                nginx_server.config_text(root, "/w", 1, rate)

    def test_a_taken_port_is_reported_with_nginx_own_words(self):
        holder = socket.socket()
        holder.bind(("127.0.0.1", 0))
        holder.listen()
        self.addCleanup(holder.close)
        port = holder.getsockname()[1]
        original = nginx_server.free_port
        nginx_server.free_port = lambda: port
        self.addCleanup(setattr, nginx_server, "free_port", original)
        with self.assertRaisesRegex(RuntimeError, "in use"):
            self.server("taken").start(attempts=1)


class Helpers(unittest.TestCase):
    def test_helper_programs_end_when_the_demo_is_killed(self):
        script = ("import sys, time; sys.path.insert(0, %r); import children; "
                  "p = children.start(['sleep', '60']); print(p.pid, flush=True); time.sleep(60)"
                  % os.path.join(REPO, "tools", "demo"))
        parent = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE)
        child = int(parent.stdout.readline())
        parent.kill()
        parent.wait()
        parent.stdout.close()
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and _alive(child):
            time.sleep(0.05)
        self.assertFalse(_alive(child), "the helper outlived the killed demo")

    def test_stop_kills_a_helper_that_ignores_sigterm(self):
        process = children.start([sys.executable, "-c",
                                  "import signal, time; signal.signal(signal.SIGTERM, "
                                  "signal.SIG_IGN); print(1, flush=True); time.sleep(60)"],
                                 stdout=subprocess.PIPE)
        process.stdout.readline()
        start = time.monotonic()
        self.assertEqual(-9, children.stop(process, grace=0.5))
        self.assertLess(time.monotonic() - start, 10)
        process.stdout.close()


def _alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


class Display(unittest.TestCase):
    def test_xvfb_starts_on_free_displays_and_stops(self):
        with xdisplay.Xvfb() as one, xdisplay.Xvfb(640, 480) as two:
            self.assertNotEqual(one.display, two.display)
            self.assertTrue(xdisplay.display_reachable(one.display))
            screen = xdisplay.Screen(two.display)
            path = os.path.join(tempfile.mkdtemp(prefix="demo-shot-"), "root.png")
            self.addCleanup(shutil.rmtree, os.path.dirname(path), True)
            with Image.open(screen.screenshot(path)) as shot:
                self.assertEqual((640, 480), shot.size)
            with Image.open(screen.screenshot(path, (10, 20, 30, 40))) as shot:
                self.assertEqual((30, 40), shot.size)
            self.assertEqual(30 * 40 * 3, len(screen.pixels((10, 20, 30, 40))))
            self.assertTrue(screen.wait_still((0, 0, 50, 50), quiet=0.3, timeout=5))
        self.assertFalse(xdisplay.display_reachable(one.display))
        self.assertFalse(xdisplay.display_reachable(""))

    def test_waiting_for_a_window_is_bounded(self):
        with xdisplay.Xvfb() as x:
            screen = xdisplay.Screen(x.display)
            start = time.monotonic()
            with self.assertRaisesRegex(xdisplay.DisplayError,
                                        'no window "Updater" appeared on :\\d+ within 1 s'):
                screen.wait_for_window("Updater", 1)
            self.assertLess(time.monotonic() - start, 10)
            # A window that can no longer come ends the wait at once, with the reason.
            with self.assertRaisesRegex(xdisplay.DisplayError, "the updater ended"):
                screen.wait_for_window("Updater", 600, gone=lambda: "the updater ended")


if __name__ == "__main__":
    unittest.main()
