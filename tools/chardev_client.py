"""Client side of the simulated character devices (/dev/usbtmc, /dev/gpib, /dev/krhc): the
Unix socket "<device>.sock" in the simulation root and its frames (type, flags, 16-bit
big-endian length, payload). The framing is described in platform/include/chardev.h."""

import os
import select
import socket
import struct
import time

DATA, READ, TRIGGER, CLEAR, SERIAL_POLL, SIGNAL, GET_ACK, SERIAL_NUMBER, STB_HISTORY = (
    b"D", b"R", b"T", b"C", b"S", b"I", b"K", b"N", b"H")
FLAG_END = 0x01
PORT_SHIFT = 4


def socket_path(root, device):
    """device: "usbtmc", "gpib" or "krhc"."""
    return os.path.join(root, "dev", device + ".sock")


def wait_for_socket(path, timeout=20.0):
    deadline = time.monotonic() + timeout
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            raise TimeoutError("no device socket " + path)
        time.sleep(0.05)


class Frame:
    __slots__ = ("type", "flags", "payload")

    def __init__(self, type_, flags, payload):
        self.type, self.flags, self.payload = type_, flags, payload

    @property
    def end(self):
        return bool(self.flags & FLAG_END)

    @property
    def port(self):
        return self.flags >> PORT_SHIFT

    def __repr__(self):
        return "Frame(%r, %#x, %r)" % (self.type, self.flags, self.payload)


class ChardevClient:
    """One connection to a simulated device: the USB host, the GPIB controller or the panel."""

    def __init__(self, path, timeout=20.0):
        wait_for_socket(path, timeout)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self._buf = b""

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def fileno(self):
        return self.sock.fileno()

    # ---- sending ----
    def send_frame(self, type_, flags=0, payload=b""):
        if isinstance(payload, str):
            payload = payload.encode("latin-1")
        while True:
            part, payload = payload[:0xFFFF], payload[0xFFFF:]
            f = flags if not payload else flags & ~FLAG_END
            self.sock.sendall(type_ + struct.pack(">BH", f, len(part)) + part)
            if not payload:
                return

    def write(self, data, end=True, port=0):
        self.send_frame(DATA, (FLAG_END if end else 0) | (port << PORT_SHIFT), data)

    def request(self, count):
        """Read credit: the device may now talk up to count more bytes."""
        self.send_frame(READ, 0, struct.pack(">I", count))

    def trigger(self):
        self.send_frame(TRIGGER)

    def clear(self):
        self.send_frame(CLEAR)

    def signal(self, source, mask):
        self.send_frame(SIGNAL, 0, bytes([source, mask]))

    # ---- receiving ----
    def recv_frame(self, timeout=10.0):
        """The next frame, or None when none arrived in time. Raises EOFError when the device
        closed the connection."""
        deadline = time.monotonic() + timeout
        while True:
            if len(self._buf) >= 4:
                n = struct.unpack(">H", self._buf[2:4])[0]
                if len(self._buf) >= 4 + n:
                    f = Frame(self._buf[0:1], self._buf[1], self._buf[4:4 + n])
                    self._buf = self._buf[4 + n:]
                    return f
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            r, _, _ = select.select([self.sock], [], [], left)
            if not r:
                return None
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("device closed the connection")
            self._buf += chunk

    def expect(self, type_, timeout=10.0):
        """Skips frames until one of type_ arrives; returns it (or None on timeout)."""
        deadline = time.monotonic() + timeout
        while True:
            f = self.recv_frame(max(0.0, deadline - time.monotonic()))
            if f is None or f.type == type_:
                return f

    def read_message(self, timeout=10.0, credit=1 << 20):
        """Grants credit and collects data until a frame with END; returns the bytes (None on
        timeout)."""
        self.request(credit)
        data = b""
        deadline = time.monotonic() + timeout
        while True:
            f = self.recv_frame(max(0.0, deadline - time.monotonic()))
            if f is None:
                return None
            if f.type == DATA:
                data += f.payload
                if f.end:
                    return data

    def query(self, text, timeout=10.0):
        if not text.endswith("\n"):
            text += "\n"
        self.write(text)
        answer = self.read_message(timeout)
        return None if answer is None else answer.decode("latin-1")

    def serial_poll(self, timeout=10.0):
        self.send_frame(SERIAL_POLL)
        f = self.expect(SERIAL_POLL, timeout)
        return None if f is None else f.payload[0]

    def status_history(self, timeout=10.0):
        """Every status byte published since the last call, oldest first."""
        self.send_frame(STB_HISTORY)
        f = self.expect(STB_HISTORY, timeout)
        return None if f is None else list(f.payload)


# ---- Command-line use -------------------------------------------------------------------------

def default_root():
    return os.environ.get("KORVANE_ROOT", "")


def run_bus_client(device, argv, description):
    """The USB and GPIB clients: type SCPI, see the answers. Lines starting with ':' are
    local commands: :trigger, :clear, :poll, :signal SOURCE MASK, :quit."""
    import argparse
    import sys
    ap = argparse.ArgumentParser(description=description)
    ap.add_argument("--root", default=default_root(),
                    help="simulation root (default: $KORVANE_ROOT)")
    ap.add_argument("-c", "--command", action="append",
                    help="send this program message, print the answer, and exit (repeatable)")
    ap.add_argument("-t", "--timeout", type=float, default=5.0,
                    help="seconds to wait for an answer with -c")
    args = ap.parse_args(argv)
    if not args.root:
        ap.error("no simulation root: give --root or set KORVANE_ROOT")
    client = ChardevClient(socket_path(args.root, device))
    if args.command:
        status = 0
        for text in args.command:
            if "?" in text:
                answer = client.query(text, args.timeout)
                if answer is None:
                    print("(no answer)", file=sys.stderr)
                    status = 1
                else:
                    sys.stdout.write(answer)
            else:
                client.write(text + "\n")
        client.close()
        return status
    client.request(1 << 30)  # a standing read credit: answers show as they come
    print("connected to %s; SCPI lines are sent, :trigger :clear :poll :quit are local"
          % socket_path(args.root, device))
    while True:
        r, _, _ = select.select([sys.stdin, client], [], [])
        if client in r:
            try:
                f = client.recv_frame(0)
            except EOFError:
                print("(device closed)")
                return 1
            while f is not None:
                if f.type == DATA:
                    sys.stdout.write(f.payload.decode("latin-1"))
                elif f.type == SERIAL_POLL:
                    print("(status byte %d)" % f.payload[0])
                elif f.type == GET_ACK:
                    print("(trigger acknowledged)")
                elif f.type == SERIAL_NUMBER:
                    print("(serial number %s)" % f.payload.decode("latin-1"))
                sys.stdout.flush()
                f = client.recv_frame(0) if client._buf else None
        if sys.stdin in r:
            line = sys.stdin.readline()
            if not line or line.strip() == ":quit":
                return 0
            word = line.strip().split()
            if word and word[0] == ":trigger":
                client.trigger()
            elif word and word[0] == ":clear":
                client.clear()
            elif word and word[0] == ":poll":
                client.send_frame(SERIAL_POLL)
            elif word and word[0] == ":signal" and len(word) == 3:
                client.signal(int(word[1], 0), int(word[2], 0))
            else:
                client.write(line if line.endswith("\n") else line + "\n")
