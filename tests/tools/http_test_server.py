#!/usr/bin/python3
"""Loopback HTTP(S) server that the HTTP client tests steer through the request address.

One process serves four ports on 127.0.0.1 and writes them to STATE/ports:
  https      TLS with a certificate for "localhost" issued by the test authority
  untrusted  TLS with a self-signed certificate for "localhost" (no authority trusts it)
  http       plain HTTP, the target of the https -> http redirect
  proxy      a CONNECT proxy that tunnels to loopback ports only, counting its tunnels

Requests to /r answer what their query asks for (all parameters optional):
  key=K        count the request under K (default: the path); GET /_count?key=K tells the count,
               GET /_last?key=K the last request (method line, headers, blank line, body)
  status=N     status code (200)            reason=T   reason phrase ("X")
  h=Name:Value a response header, repeatable, written as given (leading blanks kept; %xx
               escapes are raw bytes, so bytes above 127 are possible)
  body=N       N body bytes of a fixed non-zero pattern (byte i = i % 251 + 1)
  text=T       the body is T                zero=1     the body's first byte is 0
  cl=N         announce Content-Length N    nocl=1     announce none
  send=N       send only the first N body bytes, then close the connection
  stall=S      read the request, answer nothing for S seconds, then close
  close=1      read the request and close at once without answering
  raw=HEX      write these bytes as the whole response, then close
  huge=N       add a header "X-Huge:" with N bytes of 'x'
  chain=N      N > 0: 302 to the same address with chain=N-1; N = 0: 200 "end of chain"
  loop=1       302 to the very same address
  tohttp=1     302 to http://localhost:<http port>/r?text=plain
Every response carries "Connection: close" unless raw.
"""
import argparse
import os
import select
import signal
import socket
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse

counts = {}
last = {}
tunnels = 0
lock = threading.Lock()
ports = {}
pattern_cache = {}


def pattern_body(n):
    body = pattern_cache.get(n)
    if body is None:
        block = bytes(i % 251 + 1 for i in range(251))
        body = (block * (n // 251 + 1))[:n]
        if len(pattern_cache) > 8:
            pattern_cache.clear()
        pattern_cache[n] = body
    return body


def read_request_or_none(rfile):
    """read_request, with None also for a connection that broke or sent no request line."""
    try:
        return read_request(rfile)
    except (OSError, ssl.SSLError, ValueError):
        return None


def serve(servers, state):
    """Serves each of `servers` (name -> server) on a thread, writes their ports to
    STATE/ports as name=port lines, and waits to be stopped."""
    for srv in servers.values():
        threading.Thread(target=srv.serve_forever, daemon=True).start()
    tmp = os.path.join(state, "ports.tmp")
    with open(tmp, "w") as f:
        for name, srv in servers.items():
            f.write("%s=%d\n" % (name, srv.server_address[1]))
    os.replace(tmp, os.path.join(state, "ports"))
    # Stalled handlers may sleep for a long time: stopping ends the process outright.
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    signal.signal(signal.SIGINT, lambda *_: os._exit(0))
    while True:
        time.sleep(3600)


def read_request(rfile):
    """Returns (method, target, header_bytes, body) or None at end of stream."""
    line = rfile.readline(65537)
    if not line:
        return None
    head = b""
    while True:
        h = rfile.readline(65537)
        if not h or h in (b"\r\n", b"\n"):
            break
        head += h
    length = 0
    for hl in head.split(b"\n"):
        name, _, value = hl.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    body = rfile.read(length) if length else b""
    parts = line.decode("latin-1").split()
    if len(parts) < 2:
        return None
    return parts[0], parts[1], line + head, body


class Handler(socketserver.StreamRequestHandler):
    scheme = "https"

    def handle(self):
        req = read_request_or_none(self.rfile)
        if req is None:
            return
        method, target, head, body = req
        url = urllib.parse.urlsplit(target)
        q = urllib.parse.parse_qs(url.query, keep_blank_values=True, encoding="latin-1")
        one = lambda k, d=None: q[k][0] if k in q else d
        try:
            if url.path == "/_count":
                with lock:
                    n = counts.get(one("key", ""), 0)
                return self.answer(200, [], str(n).encode())
            if url.path == "/_last":
                with lock:
                    r = last.get(one("key", ""), b"")
                return self.answer(200, [], r)
            key = one("key", url.path)
            with lock:
                counts[key] = counts.get(key, 0) + 1
                last[key] = head + b"\r\n" + body
            self.respond(target, one, q)
        except (OSError, ssl.SSLError):
            pass

    def respond(self, target, one, q):
        if one("close"):
            return
        if one("stall"):
            time.sleep(float(one("stall")))
            return
        if one("raw") is not None:
            self.wfile.write(bytes.fromhex(one("raw")))
            return
        status = int(one("status", "200"))
        headers = [h.encode("latin-1") for h in q.get("h", [])]
        if one("huge"):
            headers.append(b"X-Huge: " + b"x" * int(one("huge")))
        body = b""
        if one("chain") is not None:
            n = int(one("chain"))
            if n > 0:
                status = 302
                nxt = target.replace("chain=%d" % n, "chain=%d" % (n - 1), 1)
                headers.append(b"Location: " + self.base().encode() + nxt.encode())
            else:
                body = b"end of chain"
        elif one("loop"):
            status = 302
            headers.append(b"Location: " + self.base().encode() + target.encode())
        elif one("tohttp"):
            status = 302
            headers.append(b"Location: http://localhost:%d/r?text=plain" % ports["http"])
        if one("body"):
            body = pattern_body(int(one("body")))
        if one("text") is not None:
            body = one("text").encode("latin-1")
        if one("zero"):
            body = b"\0" + body[1:] if body else b"\0"
        self.answer(status, headers, body, one("reason", "X"), one("cl"), one("nocl"),
                    one("send"))

    def base(self):
        return "%s://localhost:%d" % (self.scheme, self.server.server_address[1])

    def answer(self, status, headers, body, reason="X", cl=None, nocl=None, send=None):
        out = b"HTTP/1.1 %d %s\r\n" % (status, reason.encode("latin-1"))
        for h in headers:
            out += h + b"\r\n"
        if not nocl:
            out += b"Content-Length: %s\r\n" % (cl.encode() if cl else str(len(body)).encode())
        out += b"Connection: close\r\n\r\n"
        self.wfile.write(out)
        if send is not None:
            body = body[: int(send)]
        # Large bodies go out in pieces so that the client reads while the server writes.
        for i in range(0, len(body), 1 << 20):
            self.wfile.write(body[i : i + (1 << 20)])
        self.wfile.flush()


class PlainHandler(Handler):
    scheme = "http"


class ProxyHandler(socketserver.StreamRequestHandler):
    def handle(self):
        global tunnels
        try:
            req = read_request(self.rfile)
            if req is None:
                return
            method, target = req[0], req[1]
            if method == "GET" and target.endswith("/_tunnels"):
                with lock:
                    n = tunnels
                self.wfile.write(b"HTTP/1.1 200 X\r\nContent-Length: %d\r\nConnection: close"
                                 b"\r\n\r\n%d" % (len(str(n)), n))
                return
            host, _, port = target.rpartition(":")
            if method != "CONNECT" or host not in ("localhost", "127.0.0.1"):
                self.wfile.write(b"HTTP/1.1 403 Loopback only\r\nContent-Length: 0\r\n\r\n")
                return
            upstream = socket.create_connection(("127.0.0.1", int(port)))
            with lock:
                tunnels += 1
            self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
            self.wfile.flush()
            self.pipe(self.connection, upstream)
        except (OSError, ValueError):
            pass

    @staticmethod
    def pipe(a, b):
        socks = [a, b]
        try:
            while True:
                r, _, _ = select.select(socks, [], [], 60)
                if not r:
                    return
                for s in r:
                    data = s.recv(65536)
                    if not data:
                        return
                    (b if s is a else a).sendall(data)
        finally:
            b.close()


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64


class TlsServer(Server):
    def __init__(self, handler, cert, key):
        super().__init__(("127.0.0.1", 0), handler)
        self.ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.ctx.load_cert_chain(cert, key)

    def get_request(self):
        sock, addr = super().get_request()
        return sock, addr

    def finish_request(self, request, client_address):
        # The handshake happens in the request's own thread, so a stalled client never blocks
        # the accepting loop.
        try:
            request.settimeout(120)
            tls = self.ctx.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return
        self.RequestHandlerClass(tls, client_address, self)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--state", required=True)
    a = ap.parse_args()
    st = a.state
    servers = {
        "https": TlsServer(Handler, os.path.join(st, "server.pem"), os.path.join(st, "server.key")),
        "untrusted": TlsServer(Handler, os.path.join(st, "selfsigned.pem"),
                               os.path.join(st, "selfsigned.key")),
        "http": Server(("127.0.0.1", 0), PlainHandler),
        "proxy": Server(("127.0.0.1", 0), ProxyHandler),
    }
    for name, srv in servers.items():
        ports[name] = srv.server_address[1]
    serve(servers, st)

if __name__ == "__main__":
    main()
