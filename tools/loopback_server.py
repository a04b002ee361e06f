"""What the loopback servers share: the development update server (tools/update-server.py) and the
HTTP client tests' server (tests/tools/http_test_server.py, started with this folder on
PYTHONPATH). Threaded TCP and TLS servers on 127.0.0.1, reading one request, a byte pipe for
proxy tunnels, and serving until stopped with the ports written where the starting script
waits for them.
"""
import os
import select
import signal
import socketserver
import ssl
import threading
import time


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


def read_request_or_none(rfile):
    """read_request, with None also for a connection that broke or sent no request line."""
    try:
        return read_request(rfile)
    except (OSError, ssl.SSLError, ValueError):
        return None


def pipe(a, b):
    """Copies bytes both ways between sockets a and b until either end closes or both stay
    silent for a minute; closes b."""
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
    """A server on a free loopback port that speaks TLS with the certificate CERT and its KEY."""

    def __init__(self, handler, cert, key):
        super().__init__(("127.0.0.1", 0), handler)
        self.ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.ctx.load_cert_chain(cert, key)

    def finish_request(self, request, client_address):
        # The handshake happens in the request's own thread, so a stalled client never blocks
        # the accepting loop.
        try:
            request.settimeout(120)
            tls = self.ctx.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return
        self.RequestHandlerClass(tls, client_address, self)


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
