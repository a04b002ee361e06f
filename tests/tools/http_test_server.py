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

Run it with tools/ on PYTHONPATH (tests/tools/http_test_env.sh does): it is built on the loopback
server parts it shares with the development update server.
"""
import argparse
import os
import socket
import socketserver
import ssl
import threading
import time
import urllib.parse

from loopback_server import Server, TlsServer, pipe, read_request, read_request_or_none, serve

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
            pipe(self.connection, upstream)
        except (OSError, ValueError):
            pass


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
