"""An update of a program folder against a local nginx, under Wine.

    demo.py [--mode 1|2|3] [--skin] [--keep] [--xvfb] [--rate KB] [--out DIR]

Installs an old release (15 modules, the updater, the sample host as
"Tevrane.exe" with the host kit's DLL) in a program folder under demo-out/,
publishes a new release with the release tool on a private nginx, and lets the
host start the updater. With a display attached, you click through the dialog;
without one (or with --xvfb) the demo runs its own Xvfb, clicks Upgrade and
Finish itself and saves screenshots. Mode 3 is silent: the modules are staged,
then the host is started again and applies the stage at its start (with a
screenshot of what it says when Xvfb is at hand). The exit code is 0 only when
the update completed and the files equal the new release.
"""

import argparse
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import demo_release  # noqa: E402
import skin_files  # noqa: E402
import xdisplay  # noqa: E402
from demo_release import MODULES  # noqa: E402
from dialog_driver import (BUILT_IN_BUTTON, TITLE, WINDOW_WAIT, DialogDriver,  # noqa: E402
                           DriveError, wait_for, wait_until)
from e2e_common import old_release, publish, remote_name  # noqa: E402
from nginx_server import NginxServer  # noqa: E402
from programdir import HostRun, ProgramFolder, windows_path  # noqa: E402


class DemoError(Exception):
    pass


def say(text):
    print("demo: " + text, flush=True)


def shown_path(path):
    relative = os.path.relpath(path)
    return path if relative.startswith("..") else relative


def require(*tools):
    missing = [t for t in tools if not shutil.which(t)]
    if missing:
        raise DemoError("missing on this machine: %s (scripts/setup.sh installs them)"
                        % ", ".join(missing))


HOST_TITLE = "Tevrane (sample host)"
MARK = ".demo-output"  # marks a folder that the demo may empty on its next run


def run_folder(out, keep):
    """The folder of this run: `out` made anew, or with --keep a new numbered
    folder inside it beside the earlier runs. A folder that holds anything
    but an earlier demo's output is never emptied."""
    if keep:
        os.makedirs(out, exist_ok=True)
        n = 1
        while os.path.exists(os.path.join(out, "run-%d" % n)):
            n += 1
        out = os.path.join(out, "run-%d" % n)
    elif os.path.isdir(out) and os.listdir(out):
        if not os.path.exists(os.path.join(out, MARK)):
            raise DemoError("%s is not empty and not an earlier demo's output; not emptying it"
                            % out)
        shutil.rmtree(out)
    os.makedirs(out, exist_ok=True)
    open(os.path.join(out, MARK), "w").close()
    return out


def built_programs(build):
    programs = {
        "updater": os.path.join(build, "app", "Updater.exe"),
        "host": os.path.join(build, "samples", "host", "SampleHost.exe"),
        "host kit": os.path.join(build, "hostkit", "hostkit.dll"),
        "release tool": os.path.join(build, "native", "release-tool"),
        "desktop helper": os.path.join(build, "tools", "demo", "OwnDesktop.exe"),
    }
    missing = [path for path in programs.values() if not os.path.exists(path)]
    if missing:
        raise DemoError("not built: %s (run make build)" % ", ".join(missing))
    return programs


def release_digests(tool, folder, files):
    """Module name -> (remote file, size, digest) of `files` (module name ->
    bytes), written under their remote names into `folder`."""
    os.makedirs(folder, exist_ok=True)
    for module in MODULES:
        if module[0] in files:
            with open(os.path.join(folder, remote_name(module)), "wb") as f:
                f.write(files[module[0]])
    done = subprocess.run([tool, "--allow-missing", folder], capture_output=True, text=True)
    if done.returncode != 0:
        raise DemoError("release tool: " + done.stderr.strip())
    return demo_release.parse_digests(done.stdout)


def transfer_bound(changed, rate, limit):
    """Seconds to allow for all transfers: four attempts of the largest
    module at `rate` bytes per second (0: unlimited) and a minute more, but
    at most `limit`."""
    largest = max(len(d) for d in changed.values())
    return min(limit, 60 + (4 * largest // rate if rate else 0))


def digest_lines(changed, old, new, header):
    lines = []
    for name, _, local in MODULES:
        if name in changed:
            before = old.get(name, ("", 0, "(none)"))
            after = new.get(name, ("", 0, "(not listed)"))
            lines.append("  %-8s %-12s %8d -> %8d bytes  %s -> %s"
                         % (name, local, before[1], after[1], before[2], after[2]))
    return [header % len(lines) + " (module, installed file, size, old -> new digest):"] + lines


class Demo:
    def __init__(self, args):
        self.args = args
        build = os.path.abspath(args.build)
        os.environ["BUILD"] = build  # scripts/wine-run uses this build's Wine prefix
        self.programs = built_programs(build)
        if args.updater and not os.path.isfile(args.updater):
            raise DemoError("no program %s to run as the updater" % args.updater)
        require("nginx")
        self.out = run_folder(os.path.abspath(args.out), args.keep)
        self.folder = ProgramFolder(updater=args.updater or self.programs["updater"],
                                    host=self.programs["host"],
                                    path=os.path.join(self.out, "program"))
        shutil.copy(self.programs["host kit"], self.folder.file("hostkit.dll"))
        self.server = NginxServer(os.path.join(self.out, "release"),
                                  os.path.join(self.out, "nginx"), rate=args.rate * 1024)
        self.installed = self.changed = self.old = self.new = None
        self.window_seen_at = None

    # ---- set-up -----------------------------------------------------------
    def install_old_release(self):
        self.installed = old_release(self.folder.read("Tevrane.exe"))
        self.folder.install_modules(self.installed)
        say("program folder %s: old release of %d modules"
            % (shown_path(self.folder.path), len(MODULES)))
        if self.args.skin:
            say("skin 1 selected: " + ", ".join(skin_files.write_skin(self.folder.path)))
        by_module = {name: self.installed[local] for name, _, local in MODULES}
        self.old = release_digests(self.programs["release tool"],
                                   os.path.join(self.out, "old-release"), by_module)

    def publish_new_release(self):
        self.changed = demo_release.new_release(self.installed)
        output = publish(self.server, self.changed, self.installed,
                         changelog=demo_release.CHANGELOG, tool=self.programs["release tool"])
        self.new = demo_release.parse_digests(output)
        speed = "%d KB/s per connection" % self.args.rate if self.args.rate else "full speed"
        say("new release on %s (%s): %d changed modules, %d KB, ModelMD5.dll, UpdateContent.dll"
            % (self.server.base_url, speed, len(self.changed),
               sum(len(d) for d in self.changed.values()) // 1024))

    def host_args(self, mode, timeout):
        return ["--url", self.server.base_url, "--check", str(mode),
                "--close-after", str(int(timeout * 1000))]

    # ---- what the run shows so far ----------------------------------------
    def host_log(self):
        return HostRun(None, self.folder.host_log(), 0)

    def updater_gone(self, host):
        """Why the dialog can no longer appear on the display, or None while
        it still may."""
        run = self.host_log()
        if run.has("updater-exited"):
            return "the updater ended (%s) without showing it" % run.details("updater-exited")[0]
        if host.poll() is not None:
            return "the host ended with code %s" % host.returncode
        if run.has("updater-window-visible"):
            self.window_seen_at = self.window_seen_at or time.monotonic()
            if time.monotonic() - self.window_seen_at > 10:
                return ("the updater shows its window (%s), but not on this display"
                        % run.details("updater-window-visible")[0])
        return None

    def staged_bytes(self):
        total = 0
        for name in self.changed:
            path = self.folder.file("%s/%s.tmp" % (demo_release.STAGING_FOLDER,
                                                   demo_release.local_name(name)))
            total += os.path.getsize(path) if os.path.exists(path) else 0
        return total

    def all_fetched(self):
        return demo_release.all_transferred(self.server.requests(), self.changed)

    # ---- the runs -----------------------------------------------------------
    def run_silent(self):
        say("the host starts the updater in silent mode")
        timeout = self.args.timeout
        # No window is shown, so no display is handed on.
        os.environ.pop("DISPLAY", None)
        run = self.folder.run_host(*self.host_args(3, timeout), "--quit-with-updater",
                                   timeout=timeout + 10)
        problems = demo_release.check_staged(self.folder, self.installed, self.changed)
        if run.updater_exit_code() is None:
            problems.append("the updater did not end (host: %s)" % run.returncode)
        if run.has("updater-window-visible"):
            problems.append("the updater showed a window in silent mode")
        lines = digest_lines(self.changed, self.old, self.new,
                             "Staged %%d modules in %s\\" % demo_release.SILENT_FOLDER)
        if demo_release.marker_key(self.folder) == "1":
            lines.append('The marker "%s\\qim_s.backup" was written ([SUpgrade] Key=1).'
                         % demo_release.SILENT_FOLDER)
        lines.append("The updater installs nothing in silent mode: the host applies the stage "
                     "at its next start.")
        if not problems:
            applied, more = self.apply_stage_at_restart()
            lines += applied
            problems += more
        done = ("The silent update completed: the staged files equalled the new release byte "
                "for byte, and the host, started again, installed them.")
        return lines, problems, done

    def apply_stage_at_restart(self):
        """Starts the host again, as a user would; the host applies the stage at
        its start and says so (on an own Xvfb, with a screenshot)."""
        say("the host is started again and applies the silent stage")
        shot = None
        with contextlib.ExitStack() as stack:
            stack.callback(self.folder.wait_for_programs, 3)
            env, launcher = dict(os.environ), ()
            if shutil.which("Xvfb") and shutil.which("import") and shutil.which("xdotool"):
                xvfb = xdisplay.Xvfb(log_path=os.path.join(self.out, "xvfb.log")).start()
                stack.callback(xvfb.stop)
                env["DISPLAY"] = xvfb.display
                # On a desktop of its own, as in the interactive run.
                launcher = (windows_path(self.programs["desktop helper"]),
                            "UpdaterDemo-%d" % os.getpid())
            host = self.folder.start_host(env=env, launcher=launcher)
            stack.callback(lambda: host.poll() is None and host.kill())
            wait_until(lambda: self.host_log().has("stage"), 60, "the host's start")
            if "DISPLAY" in env:
                shot = self.shoot_host(xdisplay.Screen(env["DISPLAY"]))
        run = self.host_log()
        result = run.details("stage")[0]
        lines = ["At its next start the host applied the stage: %s." % result]
        problems = demo_release.check_installed(
            self.folder, demo_release.expected_files(self.installed, self.changed))
        if not result.startswith("result=HOSTKIT_OK "):
            problems.append("the host did not apply the stage (%s)" % result)
        if self.folder.exists(demo_release.SILENT_FOLDER):
            problems.append("%s\\ is still there" % demo_release.SILENT_FOLDER)
        if shot:
            lines.append("Screenshot: " + shown_path(shot))
        return lines, problems

    def shoot_host(self, screen, name="silent-applied.png"):
        window = screen.wait_for_window(HOST_TITLE, WINDOW_WAIT)
        geometry = screen.geometry(window)
        screen.wait_still(geometry)
        os.makedirs(os.path.join(self.out, "screenshots"), exist_ok=True)
        return screen.screenshot(os.path.join(self.out, "screenshots", name), geometry)

    def run_interactive(self):
        args = self.args
        user_display = os.environ.get("DISPLAY", "")
        automatic = args.xvfb or not xdisplay.display_reachable(user_display)
        if automatic and user_display and not args.xvfb:
            say("the display %s does not answer" % user_display)
        shot_dir = os.path.join(self.out, "screenshots")
        with contextlib.ExitStack() as stack:
            stack.callback(self.folder.wait_for_programs, 3)  # ends what is left on failure
            if automatic:
                require("Xvfb", "xdotool", "import")
                xvfb = xdisplay.Xvfb(log_path=os.path.join(self.out, "xvfb.log")).start()
                stack.callback(xvfb.stop)
                display = xvfb.display
                say("own X server on %s (Xvfb, 1024 x 768)" % display)
            else:
                require("xdotool")
                display = user_display
            say("the host starts the updater in mode %d" % args.mode)
            start = time.monotonic()
            # On a desktop of its own the host and the updater use this display
            # whatever other programs of the Wine session do (see OwnDesktop.cpp).
            desktop = [windows_path(self.programs["desktop helper"]),
                       "UpdaterDemo-%d" % os.getpid()]
            host = self.folder.start_host(*self.host_args(args.mode, args.timeout + 60),
                                          env=dict(os.environ, DISPLAY=display), launcher=desktop)
            stack.callback(lambda: host.poll() is None and host.kill())
            screen = xdisplay.Screen(display)
            if automatic:
                os.makedirs(shot_dir)
                button = skin_files.button_frame_size() if args.skin else BUILT_IN_BUTTON
                DialogDriver(screen, shot_dir, button, lambda: self.updater_gone(host),
                             self.staged_bytes, self.all_fetched, say).run(
                    transfer_bound(self.changed, args.rate * 1024, args.timeout))
            else:
                screen.wait_for_window(TITLE, WINDOW_WAIT, lambda: self.updater_gone(host))
                say("the dialog is on your display %s: press 升级 (Upgrade), then 完成 "
                    "(Finish); waiting up to %d s" % (display, args.timeout))

            def ended():  # the host has exited, or the updater ended without Finish
                run = self.host_log()
                return host.poll() is not None or (run.has("updater-exited")
                                                   and not run.has("exit-event-set"))

            wait_until(ended, 60 if automatic else args.timeout, "the host's exit")
            if host.poll() is not None:
                # The updater starts the host again just before it ends.
                wait_for(lambda: self.host_log().has("restarted")
                         or self.host_log().has("updater-exited"), 30)
                wait_for(lambda: self.host_log().has("restarted"), 5)
                if automatic and self.host_log().has("restarted"):
                    with contextlib.suppress(xdisplay.DisplayError):
                        self.shoot_host(screen, "restarted.png")
                # The sample host stays open after its restart until it is closed.
                self.folder.wait_for_programs(5)
            run = HostRun(host.poll(), self.folder.host_log(), time.monotonic() - start)
        shots = sorted(os.listdir(shot_dir)) if os.path.isdir(shot_dir) else []

        problems = demo_release.check_installed(
            self.folder, demo_release.expected_files(self.installed, self.changed))
        host_lines, host_problems = demo_release.host_outcome(run)
        lines = digest_lines(self.changed, self.old, self.new, "Updated %d modules") + host_lines
        if shots:
            lines.append("Screenshots: " + ", ".join(shown_path(os.path.join(shot_dir, s))
                                                     for s in shots))
        done = "The update completed: the installed files equal the new release byte for byte."
        return lines, host_problems + problems, done

    def run(self):
        self.install_old_release()
        with contextlib.ExitStack() as stack:
            self.server.start()
            stack.callback(self.server.stop)
            self.publish_new_release()
            lines, problems, done = (self.run_silent() if self.args.mode == 3
                                     else self.run_interactive())
        print()
        print("\n".join(lines))
        print("Host log: %s; server log: %s"
              % (shown_path(self.folder.file("host.log")),
                 shown_path(os.path.join(self.server.work, "access.log"))))
        if problems:
            print("\nThe update did not complete:")
            print("\n".join("  - " + p for p in problems))
            return 1
        print("\n" + done)
        return 0


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mode", type=int, choices=(1, 2, 3), default=1,
                        help="launch mode: 1 optional (default), 2 mandatory, 3 silent")
    parser.add_argument("--skin", action="store_true",
                        help="select skin 1 (a green skin folder) through SetConfig.ini")
    parser.add_argument("--keep", action="store_true",
                        help="keep earlier runs: write into a new run-N inside the output folder")
    parser.add_argument("--xvfb", action="store_true",
                        help="use an own Xvfb and click automatically even with a display")
    parser.add_argument("--rate", type=int, default=400,
                        help="server speed per connection in KB/s (0: unlimited; default 400)")
    parser.add_argument("--timeout", type=int, default=600,
                        help="longest wait for the update in seconds (default 600)")
    parser.add_argument("--out", default=os.path.join(REPO, "demo-out"),
                        help="output folder (default: demo-out in the repository)")
    parser.add_argument("--build", default=os.environ.get("BUILD") or os.path.join(REPO, "build"),
                        help="build folder (default: $BUILD or build)")
    parser.add_argument("--updater", help="run this program in place of the built updater")
    args = parser.parse_args(argv)
    if args.rate < 0 or args.timeout <= 0:
        parser.error("--rate must be 0 or more and --timeout more than 0")
    return args


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    # A terminated demo still ends its programs and servers on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    demo = None
    try:
        demo = Demo(args)
        return demo.run()
    except (DemoError, DriveError, xdisplay.DisplayError, RuntimeError) as e:
        print("demo: error: %s" % e, file=sys.stderr)
        if demo is not None:
            print("demo: what the run left is in %s" % shown_path(demo.out), file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("demo: interrupted", file=sys.stderr)
        return 130


if __name__ == "__main__":
    sys.exit(main())
