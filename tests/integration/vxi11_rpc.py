"""A small ONC RPC client over TCP for the VXI-11 programs, packed by hand, so tests can send
exactly the calls (and the broken ones) that they mean."""

import itertools
import socket
import struct

DEVICE_CORE = 0x0607AF
DEVICE_ASYNC = 0x0607B0
DEVICE_INTR = 0x0607B1
PMAP_PROG = 100000
PMAP_GETPORT = 3
IPPROTO_TCP = 6

CREATE_LINK, DEVICE_WRITE, DEVICE_READ, DEVICE_READSTB = 10, 11, 12, 13
DEVICE_TRIGGER, DEVICE_CLEAR, DEVICE_REMOTE, DEVICE_LOCAL = 14, 15, 16, 17
DEVICE_LOCK, DEVICE_UNLOCK, DEVICE_ENABLE_SRQ, DEVICE_DOCMD = 18, 19, 20, 22
DESTROY_LINK, CREATE_INTR_CHAN, DESTROY_INTR_CHAN = 23, 25, 26
DEVICE_ABORT = 1

FLAG_END = 8
REASON_REQCNT, REASON_END = 1, 4

# Reply status words.
MSG_ACCEPTED = 0
SUCCESS, PROG_UNAVAIL, PROG_MISMATCH, PROC_UNAVAIL, GARBAGE_ARGS, SYSTEM_ERR = range(6)


class RpcError(Exception):
    def __init__(self, accept_stat):
        super().__init__("RPC call not successful: accept_stat %d" % accept_stat)
        self.accept_stat = accept_stat


def u32(v):
    return struct.pack(">I", v & 0xFFFFFFFF)


def opaque(data):
    if isinstance(data, str):
        data = data.encode("latin-1")
    pad = (4 - len(data) % 4) % 4
    return u32(len(data)) + data + b"\0" * pad


class Unpacker:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def u32(self):
        v, = struct.unpack_from(">I", self.data, self.pos)
        self.pos += 4
        return v

    def i32(self):
        v, = struct.unpack_from(">i", self.data, self.pos)
        self.pos += 4
        return v

    def opaque(self):
        n = self.u32()
        v = self.data[self.pos:self.pos + n]
        self.pos += n + (4 - n % 4) % 4
        return v


_xids = itertools.count(0x4B560000)


class RpcClient:
    """One TCP connection to one program, version 1."""

    def __init__(self, port, program, host="127.0.0.1", timeout=10.0):
        self.program = program
        self.sock = socket.create_connection((host, port), timeout=timeout)

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def send_record(self, body, last=True):
        self.sock.sendall(u32((0x80000000 if last else 0) | len(body)) + body)

    def call_body(self, proc, args=b"", xid=None, program=None, version=1):
        xid = next(_xids) if xid is None else xid
        return u32(xid) + u32(0) + u32(2) + u32(program or self.program) + u32(version) + \
            u32(proc) + u32(0) + u32(0) + u32(0) + u32(0) + args

    def recv_exact(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise ConnectionError("connection closed by the server")
            data += chunk
        return data

    def recv_record(self):
        data = b""
        while True:
            mark, = struct.unpack(">I", self.recv_exact(4))
            data += self.recv_exact(mark & 0x7FFFFFFF)
            if mark & 0x80000000:
                return data

    def reply(self):
        """Reads one reply and returns an unpacker positioned at the results."""
        u = Unpacker(self.recv_record())
        u.u32()  # xid
        assert u.u32() == 1  # REPLY
        assert u.u32() == MSG_ACCEPTED
        u.u32()  # verifier flavour
        u.opaque()
        stat = u.u32()
        if stat != SUCCESS:
            raise RpcError(stat)
        return u

    def call(self, proc, args=b""):
        self.send_record(self.call_body(proc, args))
        return self.reply()


def pmap_getport(program, host="127.0.0.1"):
    with RpcClient(111, PMAP_PROG, host) as c:
        c.send_record(c.call_body(PMAP_GETPORT, u32(program) + u32(1) + u32(IPPROTO_TCP) + u32(0),
                                  version=2))
        return c.reply().u32()


class Vxi11Core(RpcClient):
    """The core program with one method per procedure; results as tuples."""

    def __init__(self, port=1024, host="127.0.0.1", timeout=10.0):
        super().__init__(port, DEVICE_CORE, host, timeout)

    def create_link(self, device="inst0", client_id=0, lock=False, lock_timeout=0):
        u = self.call(CREATE_LINK, u32(client_id) + u32(int(lock)) + u32(lock_timeout) +
                      opaque(device))
        return u.i32(), u.i32(), u.u32(), u.u32()  # error, lid, abortPort, maxRecvSize

    def write(self, lid, data, flags=FLAG_END, io_timeout=1000, lock_timeout=0):
        u = self.call(DEVICE_WRITE, u32(lid) + u32(io_timeout) + u32(lock_timeout) + u32(flags) +
                      opaque(data))
        return u.i32(), u.u32()  # error, size

    def read(self, lid, request_size=1024, io_timeout=1000, lock_timeout=0, flags=0, term=0):
        u = self.call(DEVICE_READ, u32(lid) + u32(request_size) + u32(io_timeout) +
                      u32(lock_timeout) + u32(flags) + u32(term))
        return u.i32(), u.i32(), u.opaque()  # error, reason, data

    def generic(self, proc, lid, flags=0, lock_timeout=0, io_timeout=1000):
        return self.call(proc, u32(lid) + u32(flags) + u32(lock_timeout) + u32(io_timeout))

    def readstb(self, lid):
        u = self.generic(DEVICE_READSTB, lid)
        return u.i32(), u.u32()

    def destroy_link(self, lid):
        return self.call(DESTROY_LINK, u32(lid)).i32()

    def create_intr_chan(self, host_addr, host_port, prog=DEVICE_INTR, vers=1, family=0):
        return self.call(CREATE_INTR_CHAN, u32(host_addr) + u32(host_port) + u32(prog) +
                         u32(vers) + u32(family)).i32()

    def destroy_intr_chan(self):
        return self.call(DESTROY_INTR_CHAN).i32()

    def docmd(self, lid, cmd=0x20000, data=b""):
        u = self.call(DEVICE_DOCMD, u32(lid) + u32(0) + u32(1000) + u32(0) + u32(cmd) + u32(1) +
                      u32(len(data)) + opaque(data))
        return u.i32(), u.opaque()

    def query(self, lid, text, request_size=1024):
        err, _ = self.write(lid, text)
        assert err == 0, err
        answer = b""
        while True:
            err, reason, data = self.read(lid, request_size)
            assert err == 0, err
            answer += data
            if reason & REASON_END or not data:
                return answer.decode("latin-1")
