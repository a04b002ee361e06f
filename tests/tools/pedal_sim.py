#!/usr/bin/python3
"""Serial foot-switch simulator for the Wine-run pedal tests.

    pedal_sim.py start STATE PREFIX   start the simulator in the background; its control port
                                      ends up in STATE/port
    pedal_sim.py stop STATE           stop it, by its process id

Each simulated port is the far end of a pseudo-terminal. The Windows side reaches it as COMn
through the Wine prefix PREFIX: a stable path STATE/comN points at the terminal, the prefix's
dosdevices/comN points at that path (the test also names it under HKLM\\Software\\Wine\\Ports,
so that Wine's mount manager keeps the mapping when it restarts). While "pressed" every byte the
program sends comes straight back; while "released" nothing does. "unplug" closes the terminal
and leaves an empty directory at the stable path, so that opening the port fails as it does on
Windows when the device is gone. A fresh line starts at 9600 baud 8N2 (Linux forces eight
bits without parity on pseudo-terminals), so the test sees the program set 19200 8N1.

The test steers it over a loopback TCP connection, one line per request, one line per answer:
    open N           make (or remake) the port COMN, released; answers "ok <stable path>"
    press N | release N
    queue N K        put K extra bytes into the program's input queue
    unplug N | plug N
    notaline N       close the terminal and point the stable path at a plain file: the port
                     opens but has no line settings to read
    holders N        how many open files anywhere on the host refer to what the stable path
                     leads to (the simulator's own excepted): a handle the program forgot to
                     close keeps one open in Wine
    settings N       "baud B bits D parity none|odd|even stop 1|2" as the program left the line
    received N       "count C last X": bytes the program sent since the last "clear" (X in hex)
    clear N
Every request first takes in what the program has written, so its answer reflects every call
the program made before asking.
"""
import os
import select
import signal
import socket
import subprocess
import sys
import termios
import time
import tty
import fcntl
import struct

BAUDS = {getattr(termios, "B%d" % b): b for b in (
    300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200) if hasattr(termios, "B%d" % b)}


class Port:
    def __init__(self, number, state, prefix):
        self.number = number
        self.link = os.path.join(state, "com%d" % number)
        self.dosdevice = os.path.join(prefix, "dosdevices", "com%d" % number)
        self.master = self.slave = None
        self.target = None
        self.pressed = False
        self.count = 0
        self.last = None

    def plug(self):
        self.unplug()
        self.master, self.slave = os.openpty()
        # A fresh line at 9600 baud with two stop bits, raw: the program must set 19200 and one
        # stop bit itself. (Linux keeps every pseudo-terminal at eight bits without parity,
        # whatever is asked of it, so those two settings cannot be seen changing here.)
        tty.setraw(self.slave)
        attrs = termios.tcgetattr(self.slave)
        attrs[2] |= termios.CSTOPB | termios.CREAD | termios.CLOCAL
        attrs[4] = attrs[5] = termios.B9600
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        os.set_blocking(self.master, False)
        self.target = os.ttyname(self.slave)
        replace_with_link(self.link, self.target)
        replace_with_link(self.dosdevice, self.link)

    def unplug(self):
        for fd in (self.master, self.slave):
            if fd is not None:
                os.close(fd)
        self.master = self.slave = None
        self.target = None
        if os.path.islink(self.link) or os.path.isfile(self.link):
            os.unlink(self.link)
        if not os.path.isdir(self.link):
            os.mkdir(self.link)

    def not_a_line(self):
        self.unplug()
        os.rmdir(self.link)
        self.target = self.link + ".notaline"
        open(self.target, "w").close()
        os.symlink(self.target, self.link)

    def holders(self):
        if self.target is None:
            return 0
        target = os.path.realpath(self.target)
        count = 0
        for pid in os.listdir("/proc"):
            if not pid.isdigit() or int(pid) == os.getpid():
                continue
            try:
                fds = os.listdir("/proc/%s/fd" % pid)
            except OSError:
                continue
            for fd in fds:
                try:
                    if os.readlink("/proc/%s/fd/%s" % (pid, fd)) == target:
                        count += 1
                except OSError:
                    pass
        return count

    def waiting(self):
        """Bytes in the program's input queue."""
        return struct.unpack("i", fcntl.ioctl(self.slave, termios.FIONREAD, b"\0" * 4))[0]

    def feed(self, data):
        """Puts `data` into the program's input queue and returns once the program can see it."""
        before = self.waiting()
        os.write(self.master, data)
        deadline = time.monotonic() + 0.5
        while self.waiting() < before + len(data) and time.monotonic() < deadline:
            time.sleep(0.0002)

    def pump(self):
        """Takes in what the program wrote; loops it back while pressed."""
        if self.master is None:
            return
        while True:
            try:
                data = os.read(self.master, 4096)
            except (BlockingIOError, OSError):
                return
            if not data:
                return
            self.count += len(data)
            self.last = data[-1]
            # Straight back, as the closed switch does: a program that polls every few
            # milliseconds takes the bytes before feed() could see them queued.
            if self.pressed:
                os.write(self.master, data)

    def settings(self):
        attrs = termios.tcgetattr(self.master)
        cflag = attrs[2]
        size = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}[cflag & termios.CSIZE]
        parity = "none" if not cflag & termios.PARENB else (
            "odd" if cflag & termios.PARODD else "even")
        stop = 2 if cflag & termios.CSTOPB else 1
        return "baud %s bits %d parity %s stop %d" % (BAUDS.get(attrs[4], attrs[4]), size, parity, stop)


def replace_with_link(path, target):
    if os.path.isdir(path) and not os.path.islink(path):
        os.rmdir(path)
    elif os.path.lexists(path):
        os.unlink(path)
    os.symlink(target, path)


def serve(state, prefix):
    ports = {}
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    with open(os.path.join(state, "port.tmp"), "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    os.rename(os.path.join(state, "port.tmp"), os.path.join(state, "port"))
    clients = {}
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    def answer(line):
        words = line.split()
        if len(words) < 2:
            return "error bad request"
        verb, number = words[0], int(words[1])
        if verb == "open":
            port = ports.setdefault(number, Port(number, state, prefix))
            port.pressed = False
            port.count, port.last = 0, None
            port.plug()
            return "ok " + port.link
        port = ports.get(number)
        if port is None:
            return "error no port %d" % number
        port.pump()
        if verb == "press":
            port.pressed = True
        elif verb == "release":
            port.pressed = False
        elif verb == "queue" and port.master is not None:
            port.feed(b"Q" * int(words[2]))
        elif verb == "unplug":
            port.unplug()
        elif verb == "notaline":
            port.not_a_line()
        elif verb == "holders":
            return "holders %d" % port.holders()
        elif verb == "plug":
            port.plug()
        elif verb == "settings" and port.master is not None:
            return port.settings()
        elif verb == "received":
            return "count %d last %s" % (port.count, "-" if port.last is None else "%02x" % port.last)
        elif verb == "clear":
            port.count, port.last = 0, None
        else:
            return "error cannot %s now" % verb
        return "ok"

    while True:
        masters = {p.master: p for p in ports.values() if p.master is not None}
        readable, _, _ = select.select([listener] + list(clients) + list(masters), [], [], 1.0)
        for fd in readable:
            if fd in masters:
                masters[fd].pump()
        for sock in readable:
            if sock is listener:
                conn, _ = listener.accept()
                conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                clients[conn] = b""
            elif sock in clients:
                try:
                    data = sock.recv(4096)
                except ConnectionError:  # a test that ended without saying goodbye
                    data = b""
                if not data:
                    del clients[sock]
                    sock.close()
                    continue
                clients[sock] += data
                while b"\n" in clients[sock]:
                    line, clients[sock] = clients[sock].split(b"\n", 1)
                    try:
                        reply = answer(line.decode().strip())
                    except Exception as e:  # a bad request must not end the simulator
                        reply = "error %s" % e
                    try:
                        sock.sendall(reply.encode() + b"\n")
                    except ConnectionError:
                        break


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    verb, state = sys.argv[1], os.path.abspath(sys.argv[2])
    pidfile = os.path.join(state, "pid")
    if verb == "stop":
        try:
            with open(pidfile) as f:
                pid = int(f.read())
            os.kill(pid, signal.SIGTERM)
            for _ in range(50):
                os.kill(pid, 0)
                time.sleep(0.05)
            os.kill(pid, signal.SIGKILL)
        except (FileNotFoundError, ProcessLookupError, ValueError):
            pass
        for name in ("pid", "port"):
            if os.path.exists(os.path.join(state, name)):
                os.unlink(os.path.join(state, name))
    elif verb == "start":
        prefix = sys.argv[3]
        os.makedirs(state, exist_ok=True)
        if os.path.exists(os.path.join(state, "port")):
            os.unlink(os.path.join(state, "port"))
        # Detached, with its output in a file: CTest waits for the pipes it handed out.
        with open(os.path.join(state, "log"), "w") as log:
            child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state, prefix],
                                     stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                     start_new_session=True, close_fds=True)
        with open(pidfile, "w") as f:
            f.write("%d\n" % child.pid)
        for _ in range(100):
            if os.path.exists(os.path.join(state, "port")):
                return
            if child.poll() is not None:
                break
            time.sleep(0.05)
        sys.exit("pedal simulator did not start (see %s/log)" % state)
    elif verb == "serve":
        serve(state, sys.argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
