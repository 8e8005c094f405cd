"""docs/publishing.md, run as a publisher would: its sh blocks in order (keys,
a signed release, verifying it through the document's nginx configuration,
rotating the key, withdrawing the release), in a folder of 15 module files, a
change log and a copy of Updater.exe; then what the server and the folder
must show afterwards.

  test_publishing_doc.py RELEASE_TOOL UPDATER_EXE
"""
import os
import pwd
import re
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
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
sys.path.insert(0, os.path.join(REPO, "tests", "server"))

from harness import pattern_bytes  # noqa: E402
from programdir import MODULES  # noqa: E402

RELEASE_TOOL, UPDATER = sys.argv[1:3]
DOC = os.path.join(REPO, "docs", "publishing.md")
PUBLIC_BASE = "https://updates.example.com/app/"
NO_PROXY = urllib.request.build_opener(urllib.request.ProxyHandler({}))

NGINX_MAIN = """daemon off;
{user}pid {work}/nginx.pid;
error_log {work}/error.log warn;
events {{ worker_connections 16; }}
http {{
    access_log off;
    client_body_temp_path {work}/body;
    proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi;
    uwsgi_temp_path {work}/uwsgi;
    scgi_temp_path {work}/scgi;
{server}
}}
"""


def blocks(kind):
    with open(DOC, encoding="utf-8") as f:
        return re.findall(r"```%s\n(.*?)```" % kind, f.read(), re.S)


def fetch(url, headers=None):
    with NO_PROXY.open(urllib.request.Request(url, headers=headers or {}), timeout=10) as r:
        return r.status, r.headers, r.read()


class PublishingDocument(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="publishing-")
        self.addCleanup(shutil.rmtree, self.work, True)
        for folder, seed in (("release", 0), ("previous", 100)):
            os.makedirs(os.path.join(self.work, folder))
            for i, (name, ext, _) in enumerate(MODULES):
                with open(os.path.join(self.work, folder, name + ext), "wb") as f:
                    f.write(pattern_bytes(4000 + 50 * i, seed + i))
        with open(os.path.join(self.work, "notes.txt"), "w", encoding="utf-8") as f:
            f.write("修复了若干问题\n")
        shutil.copy(UPDATER, os.path.join(self.work, "Updater.exe"))
        self.tools = os.path.join(self.work, "bin")
        os.makedirs(self.tools)
        shutil.copy(RELEASE_TOOL, os.path.join(self.tools, "release-tool"))
        self.base = self.start_nginx()

    def start_nginx(self):
        """The document's server block on a loopback port, serving the release
        folder as /app/."""
        (server,) = blocks("nginx")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        served = os.path.join(self.work, "served")
        os.makedirs(served)
        os.symlink(os.path.join(self.work, "release"), os.path.join(served, "app"))
        server = server.replace("listen 80;", "listen 127.0.0.1:%d;" % port)
        server = server.replace("root /srv/updates;", "root %s;" % served)
        nginx_work = os.path.join(self.work, "nginx")
        os.makedirs(nginx_work)
        conf = os.path.join(nginx_work, "nginx.conf")
        with open(conf, "w") as f:
            # Started by root, nginx would serve as "nobody", who cannot read
            # the private temporary folder.
            user = "user %s;\n" % pwd.getpwuid(os.geteuid()).pw_name if os.geteuid() == 0 else ""
            f.write(NGINX_MAIN.format(user=user, work=nginx_work, server=server))
        nginx = subprocess.Popen(["/usr/sbin/nginx", "-p", nginx_work, "-c", conf],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(nginx.wait, 10)
        self.addCleanup(nginx.terminate)
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                self.assertIsNone(nginx.poll(), "nginx did not start; see its error.log")
                time.sleep(0.1)
        return "http://127.0.0.1:%d/app/" % port

    def run_document(self):
        script = "set -euo pipefail\n" + "".join(blocks("sh")).replace(PUBLIC_BASE, self.base)
        env = dict(os.environ, PATH=self.tools + os.pathsep + os.environ["PATH"])
        return subprocess.run(["bash", "-c", script], cwd=self.work, env=env,
                              capture_output=True, text=True, timeout=120)

    def test_the_documented_commands_publish_rotate_and_withdraw(self):
        done = self.run_document()
        self.assertEqual(0, done.returncode, done.stdout + done.stderr)
        # Each verify (the folder, the served URL, after rotating, after
        # withdrawing) found nothing wrong.
        self.assertEqual(4, done.stdout.count("0 problem(s)"), done.stdout)
        self.assertIn(PUBLIC_BASE, "".join(blocks("sh")))

        # The withdrawal serves the previous files under a higher serial,
        # signed with the key of the rotation.
        release = os.path.join(self.work, "release")
        with open(os.path.join(release, "ModelMD5.dll"), "rb") as f:
            self.assertIn(b"\r\nSerial=3\r\n", f.read())
        for name, ext, _ in MODULES:
            with open(os.path.join(self.work, "previous", name + ext), "rb") as f:
                self.assertEqual(f.read(), fetch(self.base + name + ext)[2], name)
        for key, refused in (("publisher2.pub", False), ("publisher.pub", True)):
            checked = subprocess.run([RELEASE_TOOL, "verify", release, "--public-key",
                                      os.path.join(self.work, key)], capture_output=True)
            self.assertEqual(refused, checked.returncode != 0, key)
        shown = subprocess.run([RELEASE_TOOL, "show-key", os.path.join(self.work, "Updater.exe")],
                               capture_output=True, text=True).stdout
        self.assertEqual(1, len(re.findall(r"key \d: [0-9a-f]{128}\n", shown)), shown)

    def test_the_documented_server_serves_ranges_unchanged_and_keeps_the_list_fresh(self):
        self.assertEqual(0, self.run_document().returncode)
        module = self.base + "Quorvel.dll"
        whole = fetch(module)[2]
        status, headers, part = fetch(module, {"Range": "bytes=1000-",
                                               "Accept-Encoding": "gzip, br"})
        self.assertEqual(206, status)
        self.assertEqual("bytes 1000-%d/%d" % (len(whole) - 1, len(whole)),
                         headers["Content-Range"])
        self.assertEqual(whole[1000:], part)
        self.assertIsNone(headers["Content-Encoding"])
        self.assertEqual("application/octet-stream", headers["Content-Type"])
        self.assertEqual("max-age=300", headers["Cache-Control"])
        for name in ("ModelMD5.dll", "UpdateContent.dll"):
            self.assertEqual("no-cache", fetch(self.base + name)[1]["Cache-Control"], name)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
