"""What a server can make the updater write or hold, end to end. The real
dialog runs where the product's limits apply; the engine's driver runs in the
updater's place where the test lowers a limit through the driver's knobs."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from dialogrun import CHANGE_LOG, DONT_UPGRADE, DialogRun
from e2e_common import ENGINE_DRIVER
from faults_common import Facts, FaultCase, new_release, publish
from programdir import WINE_RUN, HostRun, windows_path

HARNESS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "server", "harness.py")
MIB = 1 << 20
ENDLESS = {"no_length": True, "repeat_to": 1 << 30}  # 200, no length, 1 GiB
ROOTS = "/etc/ssl/certs/ca-certificates.crt"  # where Wine reads the trusted roots


class Bounds(FaultCase):
    suite = "bounds"

    def setUp(self):
        super().setUp()
        self.new = new_release(self.installed, ["Quorvel", "Zentil"])
        publish(self.server, self.new, self.installed)

    def zentil(self, log=None):
        return sorted((r for r in (log or self.server.log()) if r["path"] == "/Zentil.dll"),
                      key=lambda r: r["time"])

    def most_sent(self, path):
        return max([r["sent"] for r in self.server.log(path)] or [0])

    def staged(self):
        return [n for n in self.leftovers() if n.startswith("UpgradeBackup")]

    def finish(self, case, done, expected, mend, facts, run, host, note="", installs=False,
               count=True):
        if installs:
            changed, corrupted = self.installed_report(self.new)
            facts.expect(changed == ["Quorvel.dll", "Zentil.dll"], "installed %s" % changed)
            facts.expect(host.has("restarted"), "the host was not restarted")
        else:
            self.expect_nothing_installed(facts, self.new)
        self.record(case, done=done, expected=expected, facts=facts, new=self.new, mend=mend,
                    happened=self.describe(run, host, self.new, note, count_attempts=count))


class DialogBounds(Bounds):
    def test_digest_list_without_length_past_4_mib(self):
        self.server.set_rules({"/ModelMD5.dll": ENDLESS})
        watched, host = self.run_dialog()
        facts, most = Facts(), self.most_sent("/ModelMD5.dll")
        self.expect_failure_shown(facts, watched, host)
        facts.expect(4 * MIB <= most < 32 * MIB, "a list answer sent %d bytes" % most)
        facts.expect(not self.zentil() and not self.leftovers(), "left %s" % self.leftovers())
        self.finish("digest list without length past 4 MiB", "ModelMD5.dll: 200, no length, 1 GiB",
                    "each attempt stops at 4 MiB, no Version.tmp; failure after 4 attempts",
                    "the list is bounded and its partial file removed", facts, watched, host,
                    "largest answer %.1f MiB" % (most / MIB))

    def test_change_log_past_4_mib(self):
        self.server.add_file("UpdateContent.dll", "新版本\r\n".encode("gbk") * 1000)
        self.server.set_rules({"/UpdateContent.dll": ENDLESS})
        run = DialogRun(self.folder, "--mode", 1, "--url", self.base, timeout=90)
        run.find()
        shown, left = run.text(CHANGE_LOG), self.leftovers()
        run.press(DONT_UPGRADE)
        host, facts, most = run.wait(), Facts(), self.most_sent("/UpdateContent.dll")
        facts.expect(shown == "" and not left, "shown %d chars, left %s" % (len(shown), left))
        facts.expect(4 * MIB <= most < 32 * MIB, "the change log sent %d bytes" % most)
        self.finish("change log past 4 MiB", "UpdateContent.dll: 200, no length, 1 GiB",
                    "stops at 4 MiB: no text, no UpdateContent.dat; the update is offered",
                    "the change log is fetched and read only within 4 MiB", facts, None, host,
                    "box %d chars; largest answer %.1f MiB" % (len(shown), most / MIB))

    def test_206_without_a_total(self):
        self.new = new_release(self.installed, ["Quorvel", "Zentil"], size=400000)
        publish(self.server, self.new, self.installed)
        self.server.set_rules({"/Zentil.dll": [{"cut_at": 150000}, {"unknown_total": 1000}]})
        watched, host = self.run_dialog()
        asked = [(r["range"], r["status"]) for r in self.zentil()]
        facts = Facts()
        self.expect_installed(facts, watched, host, self.new, attempts=2)
        facts.expect(asked == [(None, 200), ("bytes=150000-", 206), (None, 200)], str(asked))
        self.finish("206 whose total is *", "Zentil cut at 150000; the retry's range answered "
                    "206 with 1000 bytes, bytes 150000-150999/*",
                    "fetched whole in the same attempt: success after 2 attempts",
                    "a 206 without a total restarts the module whole", facts, watched, host,
                    "Zentil %s" % asked, installs=True)

    def test_success_statuses_that_carry_no_file(self):
        self.server.add_file("UpdateContent.dll", b"the new version")
        self.server.set_rules({"/UpdateContent.dll": {"status": 203, "body": "not the log"},
                               "/Zentil.dll": {"status": 204, "body": ""}})
        shown = []
        watched, host = self.run_dialog(on_offer=lambda run: shown.append(run.text(CHANGE_LOG)))
        facts = Facts()
        self.expect_failure_shown(facts, watched, host)
        facts.expect(shown == [""], "change log shown %r" % shown)
        facts.expect(self.staged() == ["UpgradeBackup_P/Quorvel.dll.tmp"], str(self.staged()))
        self.finish("203 change log and 204 module", "UpdateContent.dll answered 203 with a "
                    "body, Zentil.dll 204 every time", "no change log shown, Zentil never "
                    "staged, failure after 4 attempts", "only 200 or a usable 206 is written",
                    facts, watched, host, "change log shown %r" % shown)


class DriverBounds(Bounds):
    updater = ENGINE_DRIVER

    def run_driver(self, knobs=(), url=None, wrapper=()):
        """The host with the driver as its updater, until every program ended."""
        env = dict(os.environ, **{k: str(v) for k, v in dict(knobs).items()})
        started = time.monotonic()
        process = subprocess.Popen(
            list(wrapper) + [WINE_RUN, windows_path(self.folder.file("Tevrane.exe")), "--mode",
                             "1", "--url", url or self.base, "--exit-with-updater"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=env)
        try:
            code = process.wait(timeout=100)
        except subprocess.TimeoutExpired:
            process.kill()
            code = "timeout"
        self.folder.wait_for_programs(10)
        return HostRun(code, self.folder.host_log(), time.monotonic() - started,
                       self.folder.host_stderr())

    def expect_failed(self, facts, host, staged=()):
        facts.expect(self.attempts() == 4, "%d attempts" % self.attempts())
        facts.expect(not host.has("exit-event-set"), "the host was told to exit")
        facts.expect(self.staged() == list(staged), "staged %s" % self.staged())

    def test_module_of_unknown_size_past_its_bound(self):
        self.server.set_rules({"/Zentil.dll": ENDLESS})
        host = self.run_driver({"DRIVER_MODULE_UNANNOUNCED_MAX": MIB})
        facts, most = Facts(), self.most_sent("/Zentil.dll")
        self.expect_failed(facts, host, ["UpgradeBackup_P/Quorvel.dll.tmp"])
        facts.expect(MIB <= most < 32 * MIB, "a Zentil answer sent %d bytes" % most)
        self.finish("module of unknown size past its bound", "Zentil.dll: 200, no length, 1 GiB; "
                    "the 512 MiB bound lowered to 1 MiB", "Zentil stops at the bound and its "
                    "file is removed; failure after 4 attempts", "modules of unstated size are "
                    "bounded", facts, None, host, "largest answer %.1f MiB" % (most / MIB))

    def test_too_little_free_space(self):
        host = self.run_driver({"DRIVER_MODULE_FREE_FLOOR": 1 << 62})
        facts = Facts()
        self.expect_failed(facts, host)
        self.finish("too little free space", "the free space to keep raised from 64 MiB to 4 EiB",
                    "no module written; failure after 4 attempts", "nothing is written that "
                    "would leave less than the floor free", facts, None, host)

    def test_trickle(self):
        self.server.set_rules({"/Zentil.dll": {"rate": 200, "pieces": 5, "times": 1}})
        host = self.run_driver({"DRIVER_TRICKLE_WINDOW_MS": 1000})
        asked = [(r["range"], r["sent"]) for r in self.zentil()]
        # The retry resumes what arrived (the server may have sent a piece more).
        resumed = len(asked) == 2 and asked[0][1] < 2000 and asked[1][0] and \
            0 < int(asked[1][0][6:-1]) <= asked[0][1]
        facts = Facts()
        facts.expect(self.attempts() == 2 and resumed, "%d attempts, Zentil %s" % (
            self.attempts(), asked))
        self.finish("trickle", "Zentil.dll sent once at 200 B/s in pieces every 200 ms; 1 KiB "
                    "per window, lowered from 60 s to 1 s", "the first attempt fails within the "
                    "window, the retry resumes; both installed", "a body bringing less than "
                    "1 KiB in any window fails", facts, None, host, "Zentil %s" % asked,
                    installs=True)

    def test_https_redirect_to_http_refused(self):
        if subprocess.run(["unshare", "-m", "true"], stderr=subprocess.DEVNULL).returncode:
            self.skipTest("no private mount namespace to trust a test certificate in")
        folder = tempfile.mkdtemp(prefix="bounds-tls-")
        try:
            shutil.copytree(self.server.root, os.path.join(folder, "files"))
            with open(os.path.join(folder, "rules.json"), "w") as f:
                json.dump({"/Zentil.dll": {"redirect": self.server.url("Zentil.dll")}}, f)
            subprocess.run([sys.executable, HARNESS, "start", folder, "--tls-name", "localhost",
                            "--rules", os.path.join(folder, "rules.json")],
                           check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(folder, "port")) as f:
                url = "https://localhost:%d/" % int(f.read())
            host = self.run_driver(url=url, wrapper=trusting(folder))
            with open(os.path.join(folder, "log.jsonl")) as f:
                tls = [json.loads(line) for line in f]
        finally:
            subprocess.run([sys.executable, HARNESS, "stop", folder], stdout=subprocess.DEVNULL)
            shutil.rmtree(folder, ignore_errors=True)
        lists = len([r for r in tls if r["path"] == "/ModelMD5.dll"])
        moved = [r["status"] for r in self.zentil(tls)]
        facts = Facts()
        facts.expect(lists == 4 and moved == [302] * 4, "%d lists, Zentil %s" % (lists, moved))
        facts.expect(not self.zentil() and not host.has("exit-event-set"), "fetched over http")
        self.finish("https redirect to http refused", "https base URL (a certificate trusted "
                    "for this run); Zentil.dll redirects to itself on plain http", "nothing "
                    "fetched over http; failure after 4 attempts", "https never redirects to "
                    "http", facts, None, host, "%d lists, Zentil %s" % (lists, moved), count=False)


def trusting(folder):
    """A command prefix that runs a program in its own mount namespace, where
    the trusted roots also hold the certificate in `folder`."""
    bundle = os.path.join(folder, "roots.pem")
    with open(bundle, "wb") as out:
        for part in (ROOTS, os.path.join(folder, "cert.pem")):
            with open(part, "rb") as f:
                out.write(f.read() + b"\n")
    return ["unshare", "-m", "sh", "-c", 'mount --bind "$0" %s && exec "$@"' % ROOTS, bundle]


if __name__ == "__main__":
    unittest.main()
