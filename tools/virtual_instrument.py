"""Virtual instruments for test suites: each one is the firmware in a fresh temporary root,
with a ready configuration or a serial number of your choice, serving SCPI on a raw-socket
port of its own.

    from virtual_instrument import VirtualInstrument

    with VirtualInstrument(config="4ch-fs-gpib") as vi:
        print(vi.resource)         # TCPIP::127.0.0.1::<port>::SOCKET, for pyvisa(-py)
        print(vi.query("*IDN?"))   # a short-lived raw-socket client of its own
        print(vi.root)             # sim/hardware-state.json and the trace live below it

With pytest, the fixture `virtual_instrument` gives one per test (configuration "1ch-20g";
parametrise it indirectly with a configuration name, or a dict of VirtualInstrument's
arguments, for others). Put this folder on PYTHONPATH and import the fixture into the test
module or conftest.py.

Several instances run at once, each on its own port. VXI-11 (ports 1024/1025 and one
registration with the host's portmapper) and the device finder (UDP 9998) exist once per
host: the first instance takes them, later ones say so in one line on standard error and
serve their raw socket only (`vi.vxi11` is then False). For VXI-11 from several instances,
run each test command in a network namespace of its own with run_in_netns().

Only Debian's Python and its packages are needed; pytest only for the fixture.
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
DEFAULT_CONFIG = "1ch-20g"
READY_LINE = "Device is running!\n"


class VirtualInstrumentError(RuntimeError):
    """The instrument could not be started; the message names the cause."""


def default_binary():
    return os.environ.get("KR_FW_BINARY", os.path.join(SOURCE_DIR, "build", "korvane_fw"))


def _make_simroot():
    return os.path.join(SOURCE_DIR, "platform", "make_simroot.sh")


def configurations():
    """The ready configurations: {name: (serial number, description)}."""
    out = subprocess.run([_make_simroot(), "--list"], capture_output=True, text=True,
                         check=True).stdout
    found = {}
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) >= 2:
            found[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
    return found


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


VXI11_PORT = 1024
FINDER_PORT = 9998


def _port_in_use(port, kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("", port))
        except OSError:
            return True
    return False


class VirtualInstrument:
    """One firmware process in its own root. Start it with start() or a `with` block; stop()
    ends the process and removes the root (unless keep_root)."""

    def __init__(self, config=None, serial=None, port=None, binary=None, verbose=False,
                 keep_root=False, startup_timeout=60.0):
        if config and serial:
            raise VirtualInstrumentError("give a configuration or a serial number, not both")
        self.config = config if config or serial else DEFAULT_CONFIG
        self.serial = serial
        self.port = port
        self.binary = binary or default_binary()
        self.verbose = verbose
        self.keep_root = keep_root
        self.startup_timeout = startup_timeout
        self.root = None
        self.vxi11 = None
        self.proc = None
        self._out = bytearray()
        self._cond = threading.Condition()
        self._eof = False

    @property
    def resource(self):
        """The VISA resource string of the raw socket."""
        return "TCPIP::127.0.0.1::%d::SOCKET" % self.port

    @property
    def output(self):
        """What the firmware printed on its console so far."""
        with self._cond:
            return self._out.decode("latin-1")

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self):
        if self.proc is not None:
            raise VirtualInstrumentError("already started")
        if not (os.path.isfile(self.binary) and os.access(self.binary, os.X_OK)):
            raise VirtualInstrumentError(
                "firmware binary not built: %s (build it with tools/setup.sh, or set "
                "KR_FW_BINARY)" % self.binary)
        if self.config:
            known = configurations()
            if self.config not in known:
                raise VirtualInstrumentError("unknown configuration %r; ready ones: %s"
                                             % (self.config, ", ".join(sorted(known))))
            self.serial = known[self.config][0]
        elif not re.fullmatch(r"[0-9A-Z]{3}-[0-9A-Z]{9}-[0-9A-Z]{4}", self.serial):
            raise VirtualInstrumentError("serial number %r is not of the form XXX-XXXXXXXXX-XXXX"
                                         % self.serial)
        if self.port is None:
            self.port = free_port()
        elif _port_in_use(self.port):
            raise VirtualInstrumentError("port %d is in use" % self.port)
        self.root = tempfile.mkdtemp(prefix="korvane-vi-")
        try:
            self._launch()
        except BaseException:
            self.stop()
            raise
        return self

    def _launch(self):
        cmd = [_make_simroot(), self.root, "--port", str(self.port)]
        cmd += ["--config", self.config] if self.config else [self.serial]
        made = subprocess.run(cmd, capture_output=True, text=True)
        if made.returncode != 0:
            raise VirtualInstrumentError("could not prepare the root: %s"
                                         % (made.stderr.strip() or made.stdout.strip()))
        # VXI-11 registers with the portmapper; without one it stays off, the rest runs.
        rpcbind = os.path.join(SOURCE_DIR, "tools", "ensure_rpcbind.sh")
        if os.path.exists(rpcbind):
            subprocess.run([rpcbind], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Whoever holds the host's VXI-11 and finder ports now keeps them.
        vxi11_free = not _port_in_use(VXI11_PORT)
        finder = not _port_in_use(FINDER_PORT, socket.SOCK_DGRAM)
        env = dict(os.environ, KORVANE_ROOT=self.root)
        args = [self.binary] + (["-v"] if self.verbose else [])
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, env=env)
        threading.Thread(target=self._read, args=(self.proc,), daemon=True).start()
        deadline = time.monotonic() + self.startup_timeout
        with self._cond:
            while READY_LINE.encode() not in self._out:
                left = deadline - time.monotonic()
                if self._eof or left <= 0:
                    tail = self._out.decode("latin-1")[-2000:]
                    why = "exited with %s" % self.proc.poll() if self._eof else "did not get ready"
                    raise VirtualInstrumentError("the firmware %s; its last output:\n%s"
                                                 % (why, tail))
                self._cond.wait(left)
        self._await_port(deadline)
        self.vxi11 = vxi11_free and self._await_vxi11(deadline)
        if not self.vxi11 or not finder:
            missing = " and ".join(n for n, ok in (("VXI-11", self.vxi11), ("the device finder",
                                                                             finder)) if not ok)
            print("virtual instrument on port %d: %s held by another instance on this host; "
                  "serving the raw socket only" % (self.port, missing), file=sys.stderr)

    def _await_port(self, deadline):
        while True:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1.0):
                    return
            except OSError:
                if time.monotonic() >= deadline or self.proc.poll() is not None:
                    raise VirtualInstrumentError("the raw socket on port %d never opened"
                                                 % self.port)
                time.sleep(0.05)

    def _await_vxi11(self, deadline):
        """Whether this instance serves VXI-11: its listener opens after the device runs."""
        while "(VXI-11): error" not in self.output and "error in VXI-11" not in self.output:
            try:
                with socket.create_connection(("127.0.0.1", VXI11_PORT), timeout=1.0):
                    return True
            except OSError:
                if time.monotonic() >= deadline or self.proc.poll() is not None:
                    return False
                time.sleep(0.05)
        return False

    def _read(self, proc):
        while True:
            try:
                chunk = proc.stdout.read1(65536)
            except (OSError, ValueError):  # closed by stop()
                chunk = b""
            with self._cond:
                if not chunk:
                    self._eof = True
                    self._cond.notify_all()
                    return
                self._out += chunk
                self._cond.notify_all()

    def query(self, message, timeout=10.0):
        """Sends one program message on a connection of its own and returns the answer line.
        The raw socket serves one client at a time: close other clients first."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(message.encode("latin-1") + b"\n")
            data = b""
            while not data.endswith(b"\n"):
                chunk = s.recv(65536)
                if not chunk:
                    raise VirtualInstrumentError("connection closed before the answer to %r"
                                                 % message)
                data += chunk
        return data[:-1].decode("latin-1")

    def file(self, path):
        """A file below the root, such as "sim/hardware-state.json"."""
        with open(os.path.join(self.root, path.lstrip("/")), "rb") as f:
            return f.read().decode("latin-1")

    def stop(self, timeout=10.0):
        """Ends the process (SIGTERM, then SIGKILL) and removes the root."""
        proc, self.proc = self.proc, None
        if proc is not None:
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(timeout)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
            for f in (proc.stdin, proc.stdout):
                try:
                    f.close()
                except OSError:
                    pass
        if self.root and not self.keep_root:
            shutil.rmtree(self.root, ignore_errors=True)


def run_in_netns(argv, timeout=None):
    """Runs argv (a whole test command) in a network namespace of its own with its loopback
    up and a portmapper of its own, so the instances it starts own the VXI-11 and finder
    ports. Needs root or unprivileged user namespaces; returns the CompletedProcess."""
    # A private /run gives the namespace's portmapper its own lock and socket files.
    # The portmapper runs in the foreground, so it ends with the command.
    script = ('ip link set lo up && mount -t tmpfs tmpfs /run && mkdir -p /run/rpcbind || exit; '
              'rpcbind -f -w 2>/dev/null & rp=$!; sleep 0.2; "$@"; rc=$?; kill $rp; wait $rp; '
              'exit $rc')
    cmd = ["unshare", "--net", "--mount", "--map-root-user", "sh", "-c", script, "sh", *argv]
    if os.geteuid() == 0:
        cmd.remove("--map-root-user")
    return subprocess.run(cmd, timeout=timeout)


try:
    import pytest
except ImportError:  # the fixture needs pytest; the rest does not
    pytest = None

if pytest is not None:
    @pytest.fixture
    def virtual_instrument(request):
        """A started VirtualInstrument; request.param (indirect parametrisation) is a
        configuration name or a dict of VirtualInstrument's arguments."""
        param = getattr(request, "param", None)
        kwargs = param if isinstance(param, dict) else {"config": param or DEFAULT_CONFIG}
        with VirtualInstrument(**kwargs) as vi:
            yield vi
