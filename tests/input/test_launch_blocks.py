"""Bad launch blocks end to end: the host stand-in writes exact bytes into the
mapping "@_ORVAK_UPDATE_@" and starts the real updater, which must end in
defined behaviour every time: no crash, exit code 0, no hang, nothing written
outside its own files, and a base URL that never holds more than 259 bytes."""

import os
import struct
import tempfile
import unittest

from inputrun import Casebook, InputSuite, windows_path

SUITE = "input-launch"


class LaunchBlocks(InputSuite):
    book = Casebook(SUITE)

    def run_block(self, data, probe=("describe", 8000)):
        """Runs the updater on the launch block `data`; by default describes
        and closes its dialog when one is shown."""
        with tempfile.NamedTemporaryFile(prefix="block-", suffix=".bin", delete=False) as f:
            f.write(data)
        try:
            return self.box.run("--block-file", windows_path(f.name), probe=probe)
        finally:
            os.remove(f.name)

    def block(self, mode, url, window=0, terminated=True):
        return struct.pack("<iI", mode, window) + url + (b"\0" if terminated else b"")

    def url_of_length(self, length):
        """A base URL of `length` bytes on the test server, ending in a slash."""
        prefix = self.base.encode()
        return prefix + b"u" * (length - len(prefix) - 1) + b"/"

    def change_log_requests(self):
        return [r["path"] for r in self.server.log() if r["path"].endswith("UpdateContent.dll")]

    def test_blocks_shorter_than_their_header(self):
        with self.case("launch block shorter than 8 bytes",
                       done="blocks of 0, 1, 3, 7 and exactly 8 bytes (no URL at all)",
                       expected="ends silently, or (where the system reports the mapping in whole "
                                "pages, the rest reading as zeros) runs with an empty URL and makes "
                                "no request; never a crash",
                       inputs=5) as c:
            for data in (b"", b"\x01", b"\x01\x00\x00", b"\x01\x00\x00\x00\x00\x00\x00",
                         struct.pack("<iI", 1, 0)):
                run = self.run_block(data)
                self.assertDefined(run, "%d bytes" % len(data))
                self.assertEqual([], self.server.log(), len(data))
                shown = run.dialog is not None
                c.note("%d bytes: %s" % (len(data), "dialog shown, empty change log, no request"
                                         if shown else "ended without a window"))
                if shown:
                    self.assertEqual(b"", run.dialog.change_log.text)

    def test_urls_around_the_limit_and_without_a_terminator(self):
        with self.case("launch block URL of 259, 260 and 5000 bytes, and without NUL",
                       done="mode 1 with base URLs of 259, 260 and 5000 bytes; a URL of 300 bytes "
                            "with no NUL in a mapping of exactly its size; a block of exactly one "
                            "page (4096 bytes) with no NUL anywhere",
                       expected="259 bytes taken whole; longer or unterminated URLs cut to 259 "
                                "bytes; the change log asked for at the cut URL",
                       inputs=5) as c:
            cases = [
                ("259 bytes", self.block(1, self.url_of_length(259)), 259),
                ("260 bytes", self.block(1, self.url_of_length(260)), 259),
                ("5000 bytes", self.block(1, self.url_of_length(5000)), 259),
                ("300 bytes, no NUL", self.block(1, self.url_of_length(300), terminated=False), 259),
                ("a whole page, no NUL",
                 self.block(1, self.url_of_length(4096 - 8), terminated=False), 259),
            ]
            for name, data, used in cases:
                self.server.clear_log()
                run = self.run_block(data)
                self.assertDefined(run, name)
                self.assertIsNotNone(run.dialog, name)
                url = data[8:8 + used]
                expected = url[len(self.base) - 1:] + b"UpdateContent.dll"
                self.assertEqual([expected.decode()], self.change_log_requests(), name)
                c.note("%s: asked for the change log at the first %d bytes" % (name, used))

    def test_urls_that_cannot_be_fetched_end_the_update_as_failed(self):
        failed = "更新失败！".encode("gbk")
        urls = [b"", b"ftp://127.0.0.1/", b"not a url/", b"http://[::1/"]
        with self.case("launch block URL that is no usable address",
                       done="mode 1 with base URLs: empty, ftp://, no scheme, a broken host; "
                            "Upgrade pressed",
                       expected="an empty change log; after Upgrade the attempts fail, the status "
                                "reads 更新失败！ and Upgrade is enabled again",
                       inputs=len(urls)) as c:
            for url in urls:
                def upgrade(prober):
                    offered = prober.describe()
                    self.assertIsNotNone(offered, url)
                    self.assertEqual(b"", offered.change_log.text, url)
                    prober.click(1000)
                    return prober.wait_for(lambda d: d.status.text == failed, 30)

                run = self.run_block(self.block(1, url), probe=upgrade)
                self.assertDefined(run, url)
                self.assertEqual(failed, run.dialog.status.text, url)
                self.assertTrue(run.dialog.upgrade.enabled, url)
                self.assertFalse(self.folder.exists("UpgradeBackup_P"), url)
            c.note("every URL: status 更新失败！, Upgrade enabled again, nothing staged")

    def test_modes_other_than_one_two_and_three(self):
        self.server.add_file("UpdateContent.dll", "log\r\n")
        with self.case("launch block with unknown modes",
                       done="modes 0, 4, -1, 2147483647 and -2147483648 with a good URL",
                       expected="no change-log request; the dialog is shown with all five buttons "
                                "and the template status text; a close request ends it",
                       inputs=5) as c:
            for mode in (0, 4, -1, 2 ** 31 - 1, -2 ** 31):
                self.server.clear_log()
                run = self.run_block(self.block(mode, self.base.encode()))
                self.assertDefined(run, "mode %d" % mode)
                self.assertEqual([], self.change_log_requests(), mode)
                d = run.dialog
                self.assertIsNotNone(d, mode)
                self.assertTrue(all(getattr(d, b).visible for b in
                                    ("upgrade", "dont_upgrade", "exit", "finish", "close")), mode)
                self.assertEqual(b"static", d.status.text, mode)
            c.note("every mode: dialog shown with five buttons and status 'static', no request, "
                   "closed on request with exit code 0")


if __name__ == "__main__":
    unittest.main()
