"""Starts the real firmware binary in a temporary simulation root and talks to it as a
client does. Used by the integration tests."""

import os
import shutil
import signal
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


def make_root(serial=None):
    root = tempfile.mkdtemp(prefix="krsim-")
    cmd = [os.path.join(SOURCE_DIR, "platform", "make_simroot.sh"), root]
    if serial:
        cmd.append(serial)
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return root


class Instrument:
    """One firmware process. Its console (standard input and output) is a pipe."""

    def __init__(self, args=(), serial=None, files=None, root=None):
        self.own_root = root is None
        self.root = root or make_root(serial)
        for path, content in (files or {}).items():
            full = os.path.join(self.root, path.lstrip("/"))
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w") as f:
                f.write(content)
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
