#!/usr/bin/python3
"""The maker's web host on loopback, for trying the update path and the help pages locally.

One process serves two ports on 127.0.0.1 and writes them to STATE/ports:
  https  TLS with STATE/server.pem (issued by the development authority for the maker's host
         name and localhost); serves the site folder as the maker's host does
  proxy  an HTTP CONNECT proxy that tunnels every host:port to the https port, so a client
         configured with this proxy reaches the maker's host name here; plain proxy requests
         (GET http://...) are answered 502

The site folder, read afresh on every request:
  *.php          run with `php -f` in the script's folder; the method, query and body reach the
                 script as $_SERVER, $_GET, $_POST and standard input; a status set with
                 http_response_code() is kept, a fatal error answers 500. php-cli cannot tell
                 what header() set, so the reply is labelled with PHP's default type.
  other files    200 with Content-Length and a type from the extension (GET and HEAD)
  folders        their index.html (a folder asked for without its final slash is redirected
                 first, as the maker's host does); never a listing
  .dot files, *.ini, anything outside the folder, missing things: 403 or 404
Every request is appended to STATE/requests.log as one line "METHOD PATH STATUS", the path with
its query (a request in absolute form, "https://host/path", counts by its path); the proxy adds
"CONNECT host:port 200" for each tunnel and "METHOD URL 502" for each plain request.
"""
import argparse
import os
import socket
import socketserver
import subprocess
import threading
import urllib.parse

from loopback_server import Server, TlsServer, pipe, read_request_or_none, serve

TYPES = {
    ".htm": "text/html; charset=UTF-8",
    ".html": "text/html; charset=UTF-8",
    ".css": "text/css; charset=UTF-8",
    ".txt": "text/plain; charset=UTF-8",
    ".md": "text/plain; charset=UTF-8",
    ".png": "image/png",
    ".jpg": "image/jpeg",
    ".jpeg": "image/jpeg",
    ".gif": "image/gif",
    ".svg": "image/svg+xml",
    ".ico": "image/x-icon",
    ".pdf": "application/pdf",
    ".exe": "application/octet-stream",
    ".zip": "application/zip",
}
PHP_TYPE = "text/html; charset=UTF-8"
PHP_SECONDS = 30
REASONS = {200: "OK", 301: "Moved Permanently", 403: "Forbidden", 404: "Not Found",
           405: "Method Not Allowed", 500: "Internal Server Error", 502: "Bad Gateway",
           504: "Gateway Timeout"}

# Fills the request variables a web server would give the script, and reports the status it set.
PHP_PRELUDE = r"""<?php
$_SERVER['REQUEST_METHOD'] = getenv('REQUEST_METHOD');
$_SERVER['QUERY_STRING'] = getenv('QUERY_STRING');
$_SERVER['REQUEST_URI'] = getenv('REQUEST_URI');
parse_str((string)getenv('QUERY_STRING'), $_GET);
if (stripos((string)getenv('CONTENT_TYPE'), 'application/x-www-form-urlencoded') === 0)
    parse_str(file_get_contents('php://stdin'), $_POST);
$_REQUEST = array_merge($_GET, $_POST);
register_shutdown_function(function () {
    file_put_contents(getenv('QD_STATUS_FILE'), (string)http_response_code());
});
"""

log_lock = threading.Lock()
config = {}


def log_request(method, target, status):
    with log_lock:
        with open(config["requests"], "a", encoding="latin-1") as f:
            f.write("%s %s %d\n" % (method, target, status))


def resolve(path):
    """The file or folder under the site that a decoded request path names, or None."""
    if "\0" in path or not path.startswith("/"):
        return None
    site = config["site"]
    full = os.path.realpath(os.path.join(site, path.lstrip("/")))
    if full != site and not full.startswith(site + os.sep):
        return None
    return full


def hidden(full):
    rel = os.path.relpath(full, config["site"])
    return any(part.startswith(".") and part != "." for part in rel.split(os.sep)) or \
        full.lower().endswith(".ini")


def run_php(script, method, target, query, headers, body):
    env = dict(os.environ)
    status_file = os.path.join(config["state"], "php-status.%d" % threading.get_ident())
    env.update(REQUEST_METHOD=method, QUERY_STRING=query, REQUEST_URI=target,
               CONTENT_TYPE=headers.get("content-type", ""), CONTENT_LENGTH=str(len(body)),
               SCRIPT_FILENAME=script, QD_STATUS_FILE=status_file)
    try:
        os.unlink(status_file)
    except OSError:
        pass
    # Errors go to the server's log, as display_errors=Off on the maker's host keeps them out
    # of the reply.
    cmd = ["php", "-d", "display_errors=stderr", "-d", "auto_prepend_file=" + config["prelude"],
           "-f", script]
    try:
        done = subprocess.run(cmd, input=body, cwd=os.path.dirname(script), env=env,
                              stdout=subprocess.PIPE, timeout=PHP_SECONDS)
    except subprocess.TimeoutExpired:
        return 504, b""
    try:
        with open(status_file) as f:
            status = int(f.read() or 200)
        os.unlink(status_file)
    except (OSError, ValueError):
        status = 200
    if done.returncode == 255:
        status = 500
    return status, done.stdout


class SiteHandler(socketserver.StreamRequestHandler):
    def handle(self):
        req = read_request_or_none(self.rfile)
        if req is None:
            return
        method, target, head, body = req
        # Some clients (Wine's WinHTTP through a proxy tunnel) send the absolute form
        # "https://host:port/path"; the log and the scripts see the path and query alone.
        url = urllib.parse.urlsplit(target)
        if url.scheme:
            target = urllib.parse.urlunsplit(("", "", url.path or "/", url.query, ""))
        try:
            status = self.respond(method, target, head, body)
        except (OSError, ValueError):
            status = 0
        log_request(method, target, status)

    def respond(self, method, target, head, body):
        url = urllib.parse.urlsplit(target)
        path = urllib.parse.unquote(url.path, encoding="latin-1")
        full = resolve(path)
        if full is None or not os.path.exists(full):
            return self.answer(404, method, b"Not Found\n")
        if hidden(full):
            return self.answer(403, method, b"Forbidden\n")
        if os.path.isdir(full):
            if not os.path.isfile(os.path.join(full, "index.html")):
                return self.answer(404, method, b"Not Found\n")
            if not url.path.endswith("/"):
                where = url.path + "/" + ("?" + url.query if url.query else "")
                return self.answer(301, method, b"", extra=[("Location", where)])
            full = os.path.join(full, "index.html")
        if not os.path.isfile(full):
            return self.answer(404, method, b"Not Found\n")
        if full.endswith(".php"):
            headers = {}
            for line in head.decode("latin-1").split("\r\n")[1:]:
                name, _, value = line.partition(":")
                headers[name.strip().lower()] = value.strip()
            status, out = run_php(full, method, target, url.query, headers, body)
            return self.answer(status, method, out, PHP_TYPE)
        if method not in ("GET", "HEAD"):
            return self.answer(405, method, b"", extra=[("Allow", "GET, HEAD")])
        with open(full, "rb") as f:
            data = f.read()
        kind = TYPES.get(os.path.splitext(full)[1].lower(), "application/octet-stream")
        return self.answer(200, method, data, kind)

    def answer(self, status, method, body, kind="text/plain; charset=UTF-8", extra=()):
        out = "HTTP/1.1 %d %s\r\n" % (status, REASONS.get(status, "Status"))
        out += "Content-Type: %s\r\nContent-Length: %d\r\n" % (kind, len(body))
        for name, value in extra:
            out += "%s: %s\r\n" % (name, value)
        out += "Connection: close\r\n\r\n"
        self.wfile.write(out.encode("latin-1"))
        if method != "HEAD":
            for i in range(0, len(body), 1 << 20):
                self.wfile.write(body[i:i + (1 << 20)])
        self.wfile.flush()
        return status


class TunnelHandler(socketserver.StreamRequestHandler):
    def handle(self):
        req = read_request_or_none(self.rfile)
        if req is None:
            return
        method, target = req[0], req[1]
        if method != "CONNECT":
            self.wfile.write(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n"
                             b"Connection: close\r\n\r\n")
            log_request(method, target, 502)
            return
        try:
            upstream = socket.create_connection(("127.0.0.1", config["https_port"]))
        except OSError:
            self.wfile.write(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
            log_request(method, target, 502)
            return
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        self.wfile.flush()
        log_request(method, target, 200)
        try:
            pipe(self.connection, upstream)
        except OSError:
            pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--state", required=True)
    ap.add_argument("--site", required=True)
    a = ap.parse_args()
    st = os.path.realpath(a.state)
    config.update(state=st, site=os.path.realpath(a.site),
                  requests=os.path.join(st, "requests.log"),
                  prelude=os.path.join(st, "php-prelude.php"))
    with open(config["prelude"], "w") as f:
        f.write(PHP_PRELUDE)
    https = TlsServer(SiteHandler, os.path.join(st, "server.pem"), os.path.join(st, "server.key"))
    proxy = Server(("127.0.0.1", 0), TunnelHandler)
    config["https_port"] = https.server_address[1]
    print("serving %s on https=%d proxy=%d" % (config["site"], https.server_address[1],
                                                proxy.server_address[1]), flush=True)
    serve({"https": https, "proxy": proxy}, st)

if __name__ == "__main__":
    main()
