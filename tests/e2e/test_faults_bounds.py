"""What a server can make the updater write or hold, end to end: bodies past
their bound, too little free space, trickling transfers, answers that do not
carry the file, and an https update moved to plain http. The real dialog runs
where the product's own limits are met; the engine's driver runs in the
updater's place where a limit is lowered for the test through its knobs.
Each case records its row in the "bounds" casebook."""

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

HERE = os.path.dirname(os.path.abspath(__file__))
HARNESS = os.path.join(HERE, "..", "server", "harness.py")
MIB = 1 << 20
ENDLESS = {"no_length": True, "repeat_to": 1 << 30}  # no length, and no end in sight
SYSTEM_ROOTS = "/etc/ssl/certs/ca-certificates.crt"


class BoundsCase(FaultCase):
    suite = "bounds"

    def publish_two(self, size=40000):
        new = new_release(self.installed, ["Quorvel", "Zentil"], size=size)
        publish(self.server, new, self.installed)
        return new

    def module_requests(self, name, log=None):
        records = log if log is not None else self.server.log()
        return sorted((r for r in records if r["path"] == "/" + name), key=lambda r: r["time"])

    def most_sent(self, path):
        return max([r["sent"] for r in self.server.log(path)] or [0])

    def staged(self):
        return [name for name in self.leftovers() if name.startswith("UpgradeBackup")]


class DialogBounds(BoundsCase):
    """The real updater and its dialog, with the product's limits."""

    def test_digest_list_without_length_past_4_mib(self):
        new = self.publish_two()
        self.server.set_rules({"/ModelMD5.dll": ENDLESS})
        watched, host = self.run_dialog()
        facts = Facts()
        self.expect_failure_shown(facts, watched, host)
        fetched = [r["path"] for r in self.server.log()
                   if r["path"] not in ("/ModelMD5.dll", "/UpdateContent.dll")]
        facts.expect(not fetched, "modules fetched: %s" % fetched)
        most = self.most_sent("/ModelMD5.dll")
        facts.expect(4 * MIB <= most < 16 * MIB, "one answer of the list ran to %d bytes" % most)
        facts.expect(not self.folder.exists("Version.tmp"), "Version.tmp left")
        self.expect_nothing_installed(facts, new)
        self.record("digest list without length past 4 MiB",
                    done="ModelMD5.dll answered 200 without Content-Length, a body of 1 GiB",
                    expected="each attempt stops the list at 4 MiB and removes it; update failed "
                             "after 4 attempts; nothing fetched or installed",
                    facts=facts, new=new,
                    mend="the list is bounded at 4 MiB and a failed list leaves no Version.tmp",
                    happened=self.describe(watched, host, new,
                                           "largest answer sent %.1f MiB" % (most / MIB)))

    def test_change_log_past_4_mib(self):
        new = self.publish_two()
        self.server.add_file("UpdateContent.dll", "新版本的改进\r\n".encode("gbk") * 1000)
        self.server.set_rules({"/UpdateContent.dll": ENDLESS})
        run = DialogRun(self.folder, "--mode", 1, "--url", self.base, timeout=90)
        run.find()
        shown = run.text(CHANGE_LOG)
        left_while_offered = self.leftovers()
        run.press(DONT_UPGRADE)
        host = run.wait()
        facts = Facts()
        facts.expect(shown == "", "the change-log box shows %d characters" % len(shown))
        facts.expect(not left_while_offered, "left while offered: %s" % left_while_offered)
        most = self.most_sent("/UpdateContent.dll")
        facts.expect(4 * MIB <= most < 16 * MIB, "the change log ran to %d bytes" % most)
        facts.expect(self.attempts() == 0, "%d attempts" % self.attempts())
        self.expect_nothing_installed(facts, new)
        self.record("change log past 4 MiB",
                    done="UpdateContent.dll answered 200 without Content-Length, a body of 1 GiB; "
                         "Don't upgrade pressed",
                    expected="the transfer stops at 4 MiB: no text shown, no UpdateContent.dat "
                             "left, the dialog offers the update as usual",
                    facts=facts, new=new,
                    mend="the change log is fetched and read only within 4 MiB",
                    happened=self.describe(None, host, new, "box %d characters; largest answer "
                                           "sent %.1f MiB" % (len(shown), most / MIB)))

    def test_206_without_a_total(self):
        new = self.publish_two(size=400000)
        # The first request is cut; the retry's range is answered with 1000
        # bytes and the total "*"; later requests are served normally.
        self.server.set_rules({"/Zentil.dll": [{"cut_at": 150000}, {"unknown_total": 1000}]})
        watched, host = self.run_dialog()
        requests = [(r["range"], r["status"]) for r in self.module_requests("Zentil.dll")]
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=2)
        facts.expect(requests == [(None, 200), ("bytes=150000-", 206), (None, 200)],
                     "Zentil requests %s" % requests)
        self.record("206 whose total is *",
                    done="Zentil.dll cut after 150000 bytes; the retry's range answered 206 with "
                         "1000 bytes and Content-Range bytes 150000-150999/*",
                    expected="the continuation is not taken as the file's end: the module is "
                             "fetched whole in the same attempt; success after 2 attempts",
                    facts=facts, new=new,
                    mend="a 206 without a total restarts the module whole instead of staging a "
                         "file cut at the range's end",
                    happened=self.describe(watched, host, new, "Zentil requests %s" % requests))

    def test_success_statuses_that_carry_no_file(self):
        new = self.publish_two()
        self.server.add_file("UpdateContent.dll", "the new version".encode())
        self.server.set_rules({"/UpdateContent.dll": {"status": 203, "body": "not the change log"},
                               "/Zentil.dll": {"status": 204, "body": ""}})
        shown = []
        watched, host = self.run_dialog(on_offer=lambda run: shown.append(run.text(CHANGE_LOG)))
        zentil = [r["status"] for r in self.module_requests("Zentil.dll")]
        facts = Facts()
        self.expect_failure_shown(facts, watched, host)
        facts.expect(shown == [""], "the change-log box shows %r" % shown)
        facts.expect(zentil == [204] * 4, "Zentil answers %s" % zentil)
        facts.expect(not self.folder.exists("UpgradeBackup_P/Zentil.dll.tmp"), "Zentil staged")
        self.expect_nothing_installed(facts, new)
        self.record("203 change log and 204 module",
                    done="UpdateContent.dll answered 203 with a body; Zentil.dll answered 204 "
                         "to every request",
                    expected="neither counts as the file: no change log shown, Zentil never "
                             "staged, update failed after 4 attempts, nothing installed changed",
                    facts=facts, new=new,
                    mend="only 200 (or a usable 206) is written; other 2xx answers fail",
                    happened=self.describe(watched, host, new, "change log shown %r; Zentil "
                                           "answers %s" % (shown, zentil)))


class DriverBounds(BoundsCase):
    """The engine's driver in the updater's place, with a limit lowered."""

    updater = ENGINE_DRIVER

    def run_driver(self, knobs=None, url=None, wrapper=(), timeout=90):
        """Runs the host, whose updater runs the attempts and Finish after a
        success, and waits for every program; returns the HostRun."""
        env = dict(os.environ, **{k: str(v) for k, v in (knobs or {}).items()})
        if os.path.exists(self.folder.file("host.log")):
            os.remove(self.folder.file("host.log"))
        started = time.monotonic()
        process = subprocess.Popen(
            list(wrapper) + [WINE_RUN, windows_path(self.folder.file("Tevrane.exe")), "--mode",
                             "1", "--url", url or self.base, "--exit-with-updater", "--timeout",
                             str(timeout * 1000)],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=env)
        try:
            code = process.wait(timeout=timeout + 10)
        except subprocess.TimeoutExpired:
            process.kill()
            code = "timeout"
        self.folder.wait_for_programs(10)
        return HostRun(code, self.folder.host_log(), time.monotonic() - started)

    def expect_failed_run(self, facts, host, attempts=4):
        facts.expect(self.attempts() == attempts, "%d attempts" % self.attempts())
        facts.expect(not host.has("exit-event-set"), "the host was told to exit")

    def test_module_of_unknown_size_past_its_bound(self):
        new = self.publish_two()
        self.server.set_rules({"/Zentil.dll": ENDLESS})
        host = self.run_driver({"DRIVER_MODULE_UNANNOUNCED_MAX": MIB})
        most = self.most_sent("/Zentil.dll")
        facts = Facts()
        self.expect_failed_run(facts, host)
        facts.expect(len(self.module_requests("Zentil.dll")) == 4, "Zentil not asked 4 times")
        facts.expect(MIB <= most < 8 * MIB, "one answer of Zentil ran to %d bytes" % most)
        facts.expect(self.staged() == ["UpgradeBackup_P/Quorvel.dll.tmp"],
                     "staged: %s" % self.staged())
        self.expect_nothing_installed(facts, new)
        self.record("module of unknown size past its bound",
                    done="Zentil.dll answered 200 without Content-Length, 1 GiB; the bound for a "
                         "module of unstated size lowered from 512 MiB to 1 MiB",
                    expected="each attempt stops Zentil at the bound and removes its partial "
                             "file; update failed after 4 attempts; nothing installed changed",
                    facts=facts, new=new,
                    mend="a module of unstated size is bounded; its oversized file is removed",
                    happened=self.describe(None, host, new, "largest Zentil answer sent %.1f "
                                           "MiB" % (most / MIB)))

    def test_too_little_free_space(self):
        new = self.publish_two()
        host = self.run_driver({"DRIVER_MODULE_FREE_FLOOR": 1 << 62})
        facts = Facts()
        self.expect_failed_run(facts, host)
        facts.expect(len(self.module_requests("Zentil.dll")) == 4, "Zentil not asked 4 times")
        facts.expect(not self.staged(), "staged: %s" % self.staged())
        self.expect_nothing_installed(facts, new)
        self.record("too little free space",
                    done="the free space a module's transfer must leave raised to 4 EiB, more "
                         "than any volume has",
                    expected="no module file is written; update failed after 4 attempts; "
                             "nothing installed changed",
                    facts=facts, new=new,
                    mend="nothing is written when the volume would keep less than the floor "
                         "(64 MiB) free",
                    happened=self.describe(None, host, new))

    def test_trickle(self):
        new = self.publish_two()
        self.server.set_rules({"/Zentil.dll": {"rate": 200, "pieces": 5, "times": 1}})
        host = self.run_driver({"DRIVER_TRICKLE_WINDOW_MS": 1000})
        requests = self.module_requests("Zentil.dll")
        ranges = [(r["range"], r["status"], r["sent"]) for r in requests]
        changed, corrupted = self.installed_report(new)
        facts = Facts()
        facts.expect(self.attempts() == 2, "%d attempts" % self.attempts())
        # The retry resumes from what arrived (the server may have sent a
        # piece more that was never read).
        resumed = requests[1]["range"] if len(requests) == 2 else None
        offset = int(resumed[6:-1]) if resumed and resumed.startswith("bytes=") else 0
        facts.expect(len(requests) == 2 and requests[0]["sent"] < 2000 and
                     0 < offset <= requests[0]["sent"], "Zentil requests %s" % ranges)
        facts.expect(changed == ["Quorvel.dll", "Zentil.dll"] and not corrupted,
                     "installed %s, corrupted %s" % (changed, corrupted))
        facts.expect(host.has("restarted"), "the host was not restarted")
        self.record("trickle",
                    done="Zentil.dll (40101 bytes) sent at 200 bytes/s in pieces every 200 ms "
                         "(below the receive time-out) once; 1 KiB must arrive in every "
                         "window, lowered from 60 s to 1 s",
                    expected="the trickle fails the first attempt within the window, the retry "
                             "resumes the bytes received; both modules installed",
                    facts=facts, new=new,
                    mend="a body that brings less than 1 KiB in any window fails",
                    happened=self.describe(None, host, new, "Zentil requests %s" % ranges))

    def test_https_redirect_to_http_refused(self):
        new = self.publish_two()
        if subprocess.run(["unshare", "-m", "true"], stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("no private mount namespace here to trust a test certificate in")
        folder = tempfile.mkdtemp(prefix="bounds-tls-")
        try:
            shutil.copytree(self.server.root, os.path.join(folder, "files"))
            rules = os.path.join(folder, "rules.json")
            with open(rules, "w") as f:
                json.dump({"/Zentil.dll": {"redirect": self.server.url("Zentil.dll")}}, f)
            subprocess.run([sys.executable, HARNESS, "start", folder, "--tls-name", "localhost",
                            "--rules", rules, "--lifetime", "300"],
                           check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(folder, "port")) as f:
                port = int(f.read())
            host = self.run_driver(url="https://localhost:%d/" % port,
                                   wrapper=trusting(folder))
            tls_log = read_log(os.path.join(folder, "log.jsonl"))
        finally:
            subprocess.run([sys.executable, HARNESS, "stop", folder], stdout=subprocess.DEVNULL)
            shutil.rmtree(folder, ignore_errors=True)
        lists = [r for r in tls_log if r["path"] == "/ModelMD5.dll"]
        moved = [r["status"] for r in self.module_requests("Zentil.dll", tls_log)]
        plain = self.module_requests("Zentil.dll")
        facts = Facts()
        facts.expect(len(lists) == 4, "%d attempts over https" % len(lists))
        facts.expect(moved == [302] * 4, "Zentil over https answered %s" % moved)
        facts.expect(not plain, "Zentil fetched over plain http %d times" % len(plain))
        facts.expect(not host.has("exit-event-set"), "the host was told to exit")
        facts.expect(not self.folder.exists("UpgradeBackup_P/Zentil.dll.tmp"), "Zentil staged")
        self.expect_nothing_installed(facts, new)
        self.record("https redirect to http refused",
                    done="base URL https:// (a certificate trusted for this run); Zentil.dll "
                         "redirects (302) to the same file over plain http",
                    expected="the redirect is refused: nothing fetched over http, update failed "
                             "after 4 attempts, nothing installed changed",
                    facts=facts, new=new,
                    mend="a redirect from https to anything but https is refused",
                    happened=self.describe(None, host, new, "over https: %d lists, Zentil %s; "
                                           "Zentil requests over http: %d" % (
                                               len(lists), moved, len(plain)),
                                           count_attempts=False))


def trusting(folder):
    """A command prefix that runs a program in a mount namespace of its own in
    which the system's trusted roots also hold the certificate in `folder`
    (Wine reads them from there); the machine's own trust is not touched."""
    bundle = os.path.join(folder, "roots.pem")
    with open(bundle, "wb") as out:
        for part in (SYSTEM_ROOTS, os.path.join(folder, "cert.pem")):
            with open(part, "rb") as f:
                out.write(f.read() + b"\n")
    return ["unshare", "-m", "sh", "-c",
            'mount --bind "$0" %s && exec "$@"' % SYSTEM_ROOTS, bundle]


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


if __name__ == "__main__":
    unittest.main()
