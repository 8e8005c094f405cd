"""Bad files from the update server end to end: digest lists whose INI text is
malformed, and change logs that are not what a plain text should be. The real
updater runs against the local test server; digest lists in silent mode (the
modules it decides to fetch are the server's log), change logs in the real
dialog, headless, read back from its rich-edit control."""

import unittest

from inputrun import Casebook, InputSuite  # first: it finds the shared modules
from e2e_common import MODULES, publish, remote_name  # noqa: E402

SUITE = "input-server"
SILENT = ("--mode", "3")


def digest_values(text):
    """Module name -> listed digest, from a digest list written by the release tool."""
    values = {}
    for line in text.splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            values[key] = value
    return values


class DigestLists(InputSuite):
    book = Casebook(SUITE)

    def publish_list(self, text):
        """Publishes the installed release with `text` (bytes) as its digest list."""
        self.server.add_file("ModelMD5.dll", text)

    def correct_digests(self):
        publish(self.server, {}, self.box.installed)
        with open(self.server.root + "/ModelMD5.dll", "rb") as f:
            return digest_values(f.read().decode("ascii"))

    def run_silent(self, *extra):
        return self.box.run(*SILENT, "--url", self.base, *extra)

    def fetched(self):
        return sorted(r["path"][1:] for r in self.server.log() if r["path"] != "/ModelMD5.dll")

    def test_a_list_without_its_section_is_a_failed_attempt(self):
        digests = self.correct_digests()
        with self.case("digest list without its section",
                       done="every correct key=value line, but no [ModuleVersion] header; then "
                            "the same lines under [Other]",
                       expected="no entry is found, so the file is not taken for a digest list: "
                                "the attempt fails (four in all), nothing is fetched, no marker",
                       inputs=2) as c:
            lines = "".join("%s=%s\r\n" % (k, v) for k, v in digests.items())
            for text in (lines, "[Other]\r\n" + lines):
                self.server.clear_log()
                self.publish_list(text.encode())
                run = self.run_silent()
                self.assertDefined(run, text[:10])
                self.assertEqual([], self.fetched())
                self.assertEqual(4, len([r for r in self.server.log()
                                         if r["path"] == "/ModelMD5.dll"]))
                self.assertFalse(self.folder.exists("UpgradeBackup/qim_s.backup"))
            c.note("both lists: four fetches of the list, no module fetched, no marker, "
                   "exit code 0")

    def test_malformed_entries_decide_module_by_module(self):
        d = self.correct_digests()
        wrong = "0" * 32
        text = "\r\n".join([
            "; a comment naming Yandrel=%s" % wrong,
            "[ModuleVersion]",
            "Quorvel=" + d["Quorvel"],         # duplicate, the first is right
            "Quorvel=" + wrong,
            "Tobrask=" + wrong,                # duplicate, the first is wrong
            "Tobrask=" + d["Tobrask"],
            "Elvarun=" + d["Elvarun"] + "f" * (10000 - 32),  # 10,000 characters
            "Havrost=" + "xyz!" * 8,           # 32 characters, not hexadecimal
            "zentil=" + d["Zentil"],           # key in lower case
            "CORVANE=" + d["Corvane"],         # key in upper case
            "Wextral=   " + d["Wextral"] + "   ",  # blanks around the value
            "Pelmor=",                         # empty value
            "Kavrel=" + d["Kavrel"][:16] + "\x01\x7f\xff\xfe" + d["Kavrel"][20:],
            "Ibrosk",                          # no '=' at all
            "=" + d["Brimsel"],                # no key
            "Brimsel=" + d["Brimsel"],
            "Amblor=" + d["Amblor"],
            "Nirvek=" + d["Nirvek"],
            "Ulstane=" + d["Ulstane"],
            "Yandrel=" + d["Yandrel"],
            "",
        ])
        self.publish_list(text.encode("latin-1"))
        with self.case("digest list entries: duplicates, 10,000 characters, non-hex, key case",
                       done="one list with duplicate keys (right then wrong, wrong then right), a "
                            "10,000-character value, a non-hexadecimal value, keys in lower and "
                            "upper case, blanks around a value, an empty value, control and "
                            "high bytes in a value, a line without '=', a line without a key",
                       expected="the first of duplicate keys counts; keys match whatever their "
                                "case; a value is read as at most 259 characters and compared "
                                "exactly, so anything but the right digest fetches the module; "
                                "a module listed with a well-formed wrong digest (Tobrask) fails "
                                "its check after download and is never staged, so the update "
                                "fails after four attempts",
                       inputs=12) as c:
            run = self.run_silent()
            self.assertDefined(run, "malformed list")
            expected = ["Elvarun.dll", "Havrost.exe", "Ibrosk.dll", "Kavrel.dll", "Pelmor.dll",
                        "Tobrask.dll"]
            self.assertEqual(expected, sorted(set(self.fetched())))
            self.assertEqual(4, self.fetched().count("Tobrask.dll"))
            staged = [n for n in expected if n != "Tobrask.dll"]
            self.assertEqual(staged, self.folder.listing("UpgradeBackup"))
            c.note("fetched exactly %s, four attempts; the right first duplicate, keys in other "
                   "case and a value with blanks around it counted as listed; Tobrask, listed "
                   "with a wrong digest, never staged; no marker; exit code 0"
                   % ", ".join(expected))


class ChangeLogs(InputSuite):
    book = DigestLists.book

    def shown(self, text):
        """Serves `text` as the change log and returns what the dialog's
        change-log box holds, after checking that the run ended well."""
        self.server.add_file("UpdateContent.dll", text)
        run = self.box.run("--mode", "1", "--url", self.base, probe=["describe"])
        self.assertDefined(run, "change log of %d bytes" % len(text))
        self.assertIsNotNone(run.dialog, "no dialog was shown")
        self.assertTrue(run.dialog.upgrade.visible and run.dialog.upgrade.enabled)
        self.assertFalse(self.folder.exists("UpdateContent.dat"))
        return run.dialog.change_log.text

    def test_rtf_looking_text_is_shown_as_it_is(self):
        text = (b"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\b bold\\b0\\par\r\n"
                b"{\\object\\objemb{\\*\\objdata 0105}}\\par}\r\n")
        with self.case("change log that looks like RTF",
                       done="a change log holding RTF control words, groups and an object",
                       expected="shown as plain text, every character as it is; nothing of it "
                                "is interpreted", inputs=1) as c:
            self.assertEqual(text, self.shown(text))
            c.note("the box holds the %d bytes unchanged" % len(text))

    def test_a_change_log_of_one_megabyte_is_shown_whole(self):
        line = "第%05d行：修复了若干问题 fixed several issues 0123456789\r\n"
        text = "".join(line % i for i in range(20000)).encode("gbk")
        with self.case("change log of 1 MB",
                       done="a change log of %d bytes in 20,000 lines of Chinese and ASCII text"
                            % len(text),
                       expected="the dialog shows the whole text, every character intact",
                       inputs=1,
                       mend="the rich-edit control read the text in pieces of a few KB and "
                            "garbled every double-byte character split between two pieces; a "
                            "piece now never ends inside one") as c:
            self.assertGreater(len(text), 1 << 20)
            shown = self.shown(text)
            self.assertEqual(len(text), len(shown))
            if text != shown:
                first = next(i for i, (a, b) in enumerate(zip(text, shown)) if a != b)
                self.fail("first difference at byte %d: %r" % (first, shown[first - 8:first + 8]))
            c.note("the box holds all %d bytes, identical" % len(shown))

    def test_embedded_nul_and_invalid_double_byte_sequences(self):
        with self.case("change log with NUL bytes and invalid GBK bytes",
                       done="lines with an embedded NUL, a lone lead byte at a line end, a lead "
                            "byte before a space, bytes 0x80 and 0xFF, a lead byte as the last "
                            "byte of the file",
                       expected="no crash; the text around each bad byte is shown intact and "
                                "every line keeps its line break", inputs=5) as c:
            text = b"before\x00after\r\n" + "升级".encode("gbk") + b"\r\n"
            self.assertEqual(text, self.shown(text))
            c.note("NUL: the box holds the bytes unchanged, NUL included")
            text = (b"lone lead \x81\r\n" b"lead then space \x81 x\r\n"
                    b"\x80 and \xff\r\n" + "第二".encode("gbk") + b" ok\r\nlast \x81")
            shown = self.shown(text)
            for piece in (b"lone lead ", b"lead then space ", b" and ", "第二".encode("gbk") + b" ok",
                          b"last "):
                self.assertIn(piece, shown)
            # The updater ends the last line too.
            self.assertEqual(text.count(b"\n") + 1, shown.count(b"\n"))
            c.note("invalid bytes: shown as %r; the valid text and all 5 line breaks kept"
                   % shown)


if __name__ == "__main__":
    unittest.main()
