"""Starts the real firmware binary in a temporary simulation root and talks to it as a
client does. Used by the integration tests."""

import json
import os
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

SOURCE_DIR = os.environ.get(
    "KR_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BINARY = os.environ.get("KR_FW_BINARY", os.path.join(SOURCE_DIR, "build", "korvane_fw"))


def ensure_rpcbind():
    """Starts the portmapper when it is not running: the VXI-11 server registers with it and
    its clients look the ports up there."""
    subprocess.run([os.path.join(SOURCE_DIR, "tools", "ensure_rpcbind.sh")], check=True)


_rpcbind_checked = False


def _ensure_rpcbind_once():
    global _rpcbind_checked
    # A network namespace of its own has no portmapper, and its tests do not use VXI-11.
    if not _rpcbind_checked and not in_own_netns():
        ensure_rpcbind()
        _rpcbind_checked = True


FINDER_PORT = 9998


def make_root(serial=None, config=None):
    """A fresh simulation root with a serial number or one of the ready configurations
    (platform/make_simroot.sh --list)."""
    root = tempfile.mkdtemp(prefix="krsim-")
    cmd = [os.path.join(SOURCE_DIR, "platform", "make_simroot.sh"), root]
    if serial:
        cmd.append(serial)
    if config:
        cmd += ["--config", config]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return root


class Instrument:
    """One firmware process. Its console (standard input and output) is a pipe."""

    def __init__(self, args=(), serial=None, files=None, root=None, config=None, port=None,
                 mses=0):
        """port: the SCPI socket server's TCP port (written to eth0_other_conf with the client
        mode mses); None keeps the instrument's default."""
        self.own_root = root is None
        self.root = root or make_root(serial, config)
        self.port = port
        files = dict(files or {})
        if port is not None:
            files.setdefault("/korvane/dev/conf/eth0_other_conf", "port %d\nmses %d\n" % (port, mses))
        for path, content in files.items():
            full = os.path.join(self.root, path.lstrip("/"))
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write(content)
        # Without a portmapper the VXI-11 link reports its fatal error on the console, in
        # the middle of whatever a test reads there; every instance starts alike whatever
        # test ran before.
        _ensure_rpcbind_once()
        env = dict(os.environ, KORVANE_ROOT=self.root)
        self.proc = subprocess.Popen([BINARY, *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
        self._out = bytearray()
        self._lock = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        while True:
            chunk = self.proc.stdout.read1(65536)
            with self._lock:
                if not chunk:
                    self._eof = True
                    self._lock.notify_all()
                    return
                self._out += chunk
                self._lock.notify_all()

    @property
    def output(self):
        with self._lock:
            return self._out.decode("latin-1")

    def wait_for(self, text, timeout=20.0, start=0):
        """Waits until text appears in the output after index start; returns the index just
        past it."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while True:
                i = self._out.decode("latin-1").find(text, start)
                if i >= 0:
                    return i + len(text)
                left = deadline - time.monotonic()
                if left <= 0 or getattr(self, "_eof", False):
                    raise AssertionError("no %r in output:\n%s" % (text, self._out.decode("latin-1")))
                self._lock.wait(left)

    def wait_running(self):
        return self.wait_for("Device is running!\n")

    def send(self, data):
        if isinstance(data, str):
            data = data.encode("latin-1")
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def query(self, command, timeout=10.0):
        """Sends one program message on the console and returns the next response line."""
        start = len(self._out)
        self.send(command + "\n")
        end = self.wait_for("\n", timeout, start)
        return self.output[start:end - 1]

    def file(self, path):
        with open(os.path.join(self.root, path.lstrip("/")), "rb") as f:
            return f.read().decode("latin-1")

    def hardware_state(self, until=None, timeout=10.0):
        """The simulated hardware state (sim/hardware-state.json) once until(state) holds, or
        the last one read when it never did (None when none could be read)."""
        path = os.path.join(self.root, "sim", "hardware-state.json")
        deadline = time.monotonic() + timeout
        last = None
        while True:
            try:
                with open(path) as f:
                    last = json.load(f)
            except (OSError, ValueError):
                last = None
            if last is not None and (until is None or until(last)):
                return last
            if time.monotonic() >= deadline:
                return last
            time.sleep(0.03)

    def stop(self, sig=signal.SIGTERM, timeout=10.0):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return self.proc.wait()

    def close(self):
        self.stop(signal.SIGKILL)
        self._reader.join(5)
        for stream in (self.proc.stdin, self.proc.stdout):
            try:
                stream.close()
            except OSError:
                pass
        if self.own_root:
            shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def free_port(kind=socket.SOCK_STREAM):
    """A loopback port nobody uses at the moment."""
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class TcpClient:
    """A raw-socket SCPI client. Raises ConnectionRefusedError when the server refuses."""

    def __init__(self, port, host="127.0.0.1", timeout=5.0):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self._buf = bytearray()

    def send(self, data):
        if isinstance(data, str):
            data = data.encode("latin-1")
        self.sock.sendall(data)

    def until(self, text, timeout=5.0):
        """Bytes up to and including text; whatever came (b"" at the end of the connection
        marks it with EOF) when the time is up."""
        if isinstance(text, str):
            text = text.encode("latin-1")
        deadline = time.monotonic() + timeout
        while text not in self._buf:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.sock], [], [], left)[0]:
                break
            try:
                chunk = self.sock.recv(65536)
            except ConnectionResetError:
                chunk = b""
            if not chunk:
                self._buf += b"<EOF>"
                break
            self._buf += chunk
        i = self._buf.find(text)
        end = len(self._buf) if i < 0 else i + len(text)
        out = bytes(self._buf[:end])
        del self._buf[:end]
        return out

    def line(self, timeout=5.0):
        return self.until(b"\n", timeout).decode("latin-1")

    def quiet(self, timeout=0.3):
        """Whatever arrives within the time."""
        return self.until(b"\x00never\x00", timeout)

    def query(self, command, timeout=5.0):
        self.send(command + "\n")
        return self.line(timeout).rstrip("\n")

    def closed_by_peer(self, timeout=5.0):
        return self.until(b"<EOF>", timeout).endswith(b"<EOF>")

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def connect_soon(port, timeout=5.0):
    """Connects, retrying while the server has not yet reopened its listener."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            return TcpClient(port)
        except ConnectionRefusedError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.02)


def finder_query(payload=b"", port=FINDER_PORT, host="127.0.0.1", timeout=1.0):
    """Sends one datagram to the device finder; its reply, or None."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(payload, (host, port))
        if not select.select([s], [], [], timeout)[0]:
            return None
        return s.recv(4096)


def in_own_netns():
    return os.environ.get("KR_OWN_NETNS") == "1"


def netns_available():
    try:
        probe = subprocess.run(["unshare", "--net", "--map-root-user", "true"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError:
        return False
    return probe.returncode == 0


def run_in_own_netns(argv, timeout=300):
    """Runs argv in a network namespace of its own (loopback only), so that fixed ports
    such as the finder's are not shared with anything else. None when namespaces are not
    available here."""
    if not netns_available():
        return None
    script = 'ip link set lo up && exec "$@"'
    return subprocess.run(["unshare", "--net", "--map-root-user", "sh", "-c", script, "sh", *argv],
                          env=dict(os.environ, KR_OWN_NETNS="1"), stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=timeout)


def start_with_client(test, **kw):
    """An instrument on a free raw-socket port, running, with a TcpClient as inst.client;
    both are closed when the unittest.TestCase test ends. kw go to Instrument."""
    inst = Instrument(port=free_port(), **kw)
    test.addCleanup(inst.close)
    inst.wait_running()
    inst.client = TcpClient(inst.port, timeout=20.0)
    test.addCleanup(inst.client.close)
    return inst
