#!/usr/bin/python3
"""The development update server (tools/update-server.sh) serving a copy of the maker's site.

Every request goes through curl with the server's own authority as the only trusted one, as the
program's requests check certificates strictly.
"""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SERVER = os.path.join(ROOT, "tools", "update-server.sh")
VERSION = "/vexo/PHP/Quillodrome/Version.php"
HOST = "www.brenvale.fr"
env = {}


def start(**extra):
    subprocess.run([SERVER, "start", env["state"], env["site"]], check=True,
                   env=dict(os.environ, **extra))
    with open(os.path.join(env["state"], "ports")) as f:
        env.update(line.strip().split("=") for line in f if "=" in line)


def curl(path, *args, proxy=False):
    """(status, headers as a lower-case dict, body bytes) of one request."""
    if proxy:
        where = ["--proxy", "http://127.0.0.1:%s" % env["proxy"], "https://%s%s" % (HOST, path)]
    else:
        where = ["https://localhost:%s%s" % (env["https"], path)]
    out = subprocess.run(["curl", "-s", "--path-as-is", "--cacert",
                          os.path.join(env["state"], "ca.pem"), "-D", "-", *args, *where],
                         stdout=subprocess.PIPE, check=True).stdout
    # With the proxy, curl shows the tunnel's answer before the server's own.
    while out.startswith(b"HTTP/1.1 200 Connection established"):
        out = out.split(b"\r\n\r\n", 1)[1]
    head, _, body = out.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = {k.strip().lower(): v.strip() for k, _, v in (h.partition(":") for h in lines[1:])}
    return int(lines[0].split()[1]), headers, body


def write_ini(text):
    with open(os.path.join(env["site"], "vexo/PHP/Quillodrome/version.ini"), "w") as f:
        f.write(text)


class SiteTest(unittest.TestCase):
    """Each case starts from a site that announces 1.0.0.2 and driver 02.12.28."""

    def setUp(self):
        write_ini("program=1.0.0.2\ndriver=02.12.28\n")


class VersionScript(SiteTest):
    def test_same_reply_for_any_method_query_and_route(self):
        for args, path, proxy in [((), VERSION, False), ((), VERSION + "?v=1.0.0.1&x", False),
                                  (("-d", "version=1.0.0.1"), VERSION, False),
                                  (("-X", "POST"), VERSION + "?q", False),
                                  ((), VERSION, True)]:
            with self.subTest(args=args, path=path, proxy=proxy):
                status, _, body = curl(path, *args, proxy=proxy)
                self.assertEqual(status, 200)
                self.assertEqual(body, b"Quillodrome:1.0.0.2-02.12.28;\r\n")
                self.assertEqual(body[:11], b"Quillodrome")
                self.assertEqual(body[12:-3], b"1.0.0.2-02.12.28")

    def test_reads_the_versions_afresh_on_every_request(self):
        write_ini("; announced after the release\nprogram = 2.10.0.0\ndriver = 0a.12.29\n")
        self.assertEqual(curl(VERSION)[2], b"Quillodrome:2.10.0.0-0a.12.29;\r\n")

    def test_missing_or_wrong_versions_announce_nothing(self):
        for ini in [None, "", "program=1.0.0.2\n", "driver=02.12.28\n",
                    "program=1.0.2\ndriver=02.12.28\n", "program=1.0.0.2\ndriver=0A.12.28\n",
                    "program=1.0.0.2-x\ndriver=02.12.28\n", "[[[ not an ini\n=\n",
                    "program[]=1.0.0.2\ndriver=02.12.28\n",
                    "program=1.0.0.2\ndriver[x]=02.12.28\ndriver[y]=02.12.29\n"]:
            with self.subTest(ini=ini):
                if ini is None:
                    os.unlink(os.path.join(env["site"], "vexo/PHP/Quillodrome/version.ini"))
                else:
                    write_ini(ini)
                status, _, body = curl(VERSION)
                self.assertEqual(status, 503)
                self.assertFalse(body.startswith(b"Quillodrome"), body)
                self.assertNotIn(b"Warning", body)
                self.assertNotIn(b"Array", body)
                self.assertNotIn(env["site"].encode(), body)

    def test_script_labels_its_reply_as_plain_text_and_never_shows_warnings(self):
        # php-cli cannot report header(); PHP's own web server does, as the maker's host would,
        # here showing PHP's warnings in the page as a careless host does.
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        php = subprocess.Popen(["php", "-d", "display_errors=1", "-d", "error_reporting=-1",
                                "-S", "127.0.0.1:%d" % port, "-t", env["site"]],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def get():
            return subprocess.run(["curl", "-s", "-D", "-", "http://127.0.0.1:%d%s" %
                                   (port, VERSION)], stdout=subprocess.PIPE).stdout
        try:
            for _ in range(50):
                out = get()
                if out:
                    break
                time.sleep(0.1)
            self.assertIn(b"Content-Type: text/plain", out)
            self.assertTrue(out.endswith(b"\r\n\r\nQuillodrome:1.0.0.2-02.12.28;\r\n"), out)
            # Keys written as lists are not versions: 503, and no warning naming the folders.
            for ini in ["program[]=1.0.0.2\ndriver=02.12.28\n",
                        "program=1.0.0.2\ndriver[x]=02.12.28\n"]:
                with self.subTest(ini=ini):
                    write_ini(ini)
                    out = get()
                    self.assertTrue(out.startswith(b"HTTP/1.1 503"), out)
                    self.assertNotIn(b"Warning", out)
                    self.assertNotIn(env["site"].encode(), out)
        finally:
            php.terminate()
            php.wait()


class Files(SiteTest):
    def test_installer_download_is_exact(self):
        for proxy in (False, True):
            status, headers, body = curl("/vexo/download/Pedalvane.exe", proxy=proxy)
            self.assertEqual(status, 200)
            self.assertEqual(body, env["installer"])
            self.assertEqual(headers["content-length"], str(len(env["installer"])))
            self.assertEqual(headers["content-type"], "application/octet-stream")

    def test_refused_paths(self):
        secret = os.path.join(env["outside"], "secret.txt")
        for path, status in [
            ("/vexo/download/QuillodromeUpdateFr.exe", 404), ("/nothing/", 404),
            ("/vexo/download/", 404), ("/vexo/", 404),
            ("/../outside/secret.txt", 404), ("/vexo/../../outside/secret.txt", 404),
            ("/%2e%2e/outside/secret.txt", 404), ("/vexo/%2E%2E/%2e%2e/outside/secret.txt", 404),
            ("/..%2foutside/secret.txt", 404), ("/" + secret, 404), ("/%2f" + secret[1:], 404),
            ("/link-out/secret.txt", 404), ("/secret-link.txt", 404),
            ("/.htaccess", 403), ("/vexo/PHP/Quillodrome/version.ini", 403),
        ]:
            with self.subTest(path=path):
                got, _, body = curl(path)
                self.assertEqual(got, status)
                self.assertNotIn(b"do not serve", body)
                self.assertNotIn(b"Pedalvane", body)

    def test_folder_serves_its_index_only(self):
        status, headers, body = curl("/vexo/recherche/projets/Quillodrome/")
        self.assertEqual(status, 200)
        self.assertTrue(headers["content-type"].startswith("text/html"))
        with open(os.path.join(env["site"], "vexo/recherche/projets/Quillodrome/index.html"),
                  "rb") as f:
            self.assertEqual(body, f.read())
        status, headers, _ = curl("/vexo/recherche/projets/Quillodrome")
        self.assertEqual((status, headers["location"]), (301, "/vexo/recherche/projets/"
                                                         "Quillodrome/"))

    def test_proxy_refuses_plain_requests(self):
        out = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "--proxy",
                              "http://127.0.0.1:%s" % env["proxy"], "http://%s/" % HOST],
                             stdout=subprocess.PIPE).stdout
        self.assertEqual(out, b"502")

    def test_requests_are_logged(self):
        curl(VERSION + "?logged=1", "-d", "a=b", proxy=True)
        curl("/vexo/missing.htm?x")
        curl("", "--request-target", "https://%s:443%s?absolute" % (HOST, VERSION))
        with open(os.path.join(env["state"], "requests.log")) as f:
            lines = f.read().splitlines()
        self.assertIn("CONNECT %s:443 200" % HOST, lines)
        self.assertIn("POST %s?logged=1 200" % VERSION, lines)
        self.assertIn("GET /vexo/missing.htm?x 404", lines)
        self.assertIn("GET %s?absolute 200" % VERSION, lines)


class Certificates(SiteTest):
    def names(self):
        return subprocess.run(["openssl", "x509", "-noout", "-ext", "subjectAltName", "-in",
                               os.path.join(env["state"], "server.pem")],
                              stdout=subprocess.PIPE, text=True).stdout

    def test_authority_is_kept_across_restarts_and_host_names(self):
        with open(os.path.join(env["state"], "ca.der"), "rb") as f:
            authority = f.read()
        try:
            start(QD_UPDATE_HOST="updates.example.test")
            self.assertIn("DNS:updates.example.test", self.names())
            self.assertIn("DNS:localhost", self.names())
        finally:
            start()
        self.assertIn("DNS:" + HOST, self.names())
        with open(os.path.join(env["state"], "ca.der"), "rb") as f:
            self.assertEqual(f.read(), authority)
        self.assertEqual(curl(VERSION, proxy=True)[0], 200)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--state", required=True)
    a, rest = ap.parse_known_args()
    work = tempfile.mkdtemp(prefix="qd-site-")
    try:
        env.update(state=a.state, site=os.path.join(work, "site"),
                   outside=os.path.join(work, "outside"))
        os.makedirs(env["outside"])
        with open(os.path.join(env["outside"], "secret.txt"), "w") as f:
            f.write("do not serve\n")
        shutil.copytree(os.path.join(ROOT, "site"), env["site"])
        os.makedirs(os.path.join(env["site"], "vexo/download"), exist_ok=True)
        os.makedirs(os.path.join(env["site"], "nothing"))
        env["installer"] = bytes(range(256)) * 40 + b"\0MZ\r\n"
        with open(os.path.join(env["site"], "vexo/download/Pedalvane.exe"), "wb") as f:
            f.write(env["installer"])
        os.symlink(env["outside"], os.path.join(env["site"], "link-out"))
        os.symlink(os.path.join(env["outside"], "secret.txt"),
                   os.path.join(env["site"], "secret-link.txt"))
        start()
        prog = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
        return 0 if prog.result.wasSuccessful() else 1
    finally:
        subprocess.run([SERVER, "stop", a.state])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
