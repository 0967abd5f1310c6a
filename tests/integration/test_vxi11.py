"""VXI-11 through real third-party clients (pyvisa with the pyvisa-py backend, lxi-tools) and
through a hand-packed RPC client for the protocol's edge cases and for broken input."""

import os
import resource
import shutil
import socket
import struct
import subprocess
import sys
import time
import unittest

from krsim import Instrument, TcpClient, ensure_rpcbind, free_port
import vxi11_rpc as rpc
from vxi11_rpc import RpcClient, RpcError, Vxi11Core, pmap_getport, u32

CORE_PORT, ABORT_PORT = 1024, 1025


BIND_FAILED = "device_core_open() (VXI-11): error in bind()"


def wait_vxi_ready(timeout=20.0, inst=None):
    """Until the core program is registered at 1024 and accepts connections. With inst, a
    service that could not take the port (another instrument holds it) skips the test."""
    deadline = time.monotonic() + timeout
    while True:
        if inst is not None and BIND_FAILED in inst.output:
            raise unittest.SkipTest("VXI-11 ports held by another process")
        try:
            if pmap_getport(rpc.DEVICE_CORE) == CORE_PORT:
                with Vxi11Core():
                    return
        except (OSError, RpcError, AssertionError):
            pass
        if time.monotonic() > deadline:
            raise AssertionError("VXI-11 core program did not come up")
        time.sleep(0.1)


class Vxi11Base(unittest.TestCase):
    args = ()

    @classmethod
    def setUpClass(cls):
        ensure_rpcbind()
        cls.inst = Instrument(args=cls.args)
        cls.inst.wait_running()
        try:
            wait_vxi_ready(inst=cls.inst)
        except unittest.SkipTest:
            cls.inst.close()
            raise
        cls.idn = cls.inst.query("*IDN?")

    @classmethod
    def tearDownClass(cls):
        cls.inst.close()

    def core(self):
        c = Vxi11Core()
        self.addCleanup(c.close)
        return c

    def link(self):
        """A fresh link, destroyed at the end of the test."""
        c = self.core()
        err, lid, _, _ = c.create_link()
        self.assertEqual(err, 0)
        self.addCleanup(lambda: c.destroy_link(lid))
        return c, lid


class ThirdPartyClientsTest(Vxi11Base):
    def test_portmapper_knows_both_programs(self):
        self.assertEqual(pmap_getport(rpc.DEVICE_CORE), CORE_PORT)
        self.assertEqual(pmap_getport(rpc.DEVICE_ASYNC), ABORT_PORT)

    def test_pyvisa_py_queries_and_writes(self):
        import pyvisa
        rm = pyvisa.ResourceManager("@py")
        res = rm.open_resource("TCPIP::127.0.0.1::inst0::INSTR")
        try:
            res.timeout = 5000
            self.assertEqual(res.query("*IDN?").strip(), self.idn)
            res.write("*OPC?;*OPC?")
            self.assertEqual(res.read().strip(), "1;1")
            # A long answer comes through several reads.
            res.write(";".join(["*IDN?"] * 40))
            self.assertEqual(res.read().strip(), ";".join([self.idn] * 40))
            self.assertEqual(res.query("SYST:ERR?").strip(), '0,"No error"')
        finally:
            res.close()
            rm.close()

    @unittest.skipUnless(shutil.which("lxi"), "lxi-tools not installed")
    def test_lxi_tools_scpi(self):
        out = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "*IDN?"], capture_output=True,
                             text=True, timeout=30)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual(out.stdout.strip(), self.idn)


class ProtocolTest(Vxi11Base):
    def test_create_link_names_and_results(self):
        c = self.core()
        err, lid, abort_port, max_recv = c.create_link("INST0")
        self.assertEqual((err, abort_port, max_recv), (0, ABORT_PORT, 1024))
        self.assertEqual(c.destroy_link(lid), 0)
        for name in ("inst1", "", "inst", "gpib0,1"):
            self.assertEqual(c.create_link(name)[0], 3, name)

    def test_third_link_is_refused_until_one_is_destroyed(self):
        c = self.core()
        lids = [c.create_link()[1], c.create_link()[1]]
        err, lid, _, _ = c.create_link()
        self.assertEqual((err, lid), (9, 0))
        self.assertEqual(c.destroy_link(lids[0]), 0)
        err, lid, _, _ = c.create_link()
        self.assertEqual(err, 0)
        self.assertEqual(c.query(lid, "*OPC?\n"), "1\n")
        for x in (lid, lids[1]):
            self.assertEqual(c.destroy_link(x), 0)
        self.assertEqual(c.destroy_link(lids[0]), 4)

    def test_reads_by_request_count_then_end(self):
        c, lid = self.link()
        self.assertEqual(c.write(lid, "*OPC?;*OPC?;*OPC?;*OPC?;*OPC?;*OPC?;SYST:ERR?\n"), (0, 46))
        reads = [c.read(lid, 10) for _ in range(3)]
        self.assertEqual([r[1] for r in reads], [rpc.REASON_REQCNT, rpc.REASON_REQCNT,
                                                 rpc.REASON_END])
        self.assertEqual([len(r[2]) for r in reads], [10, 10, 5])
        self.assertEqual(b"".join(r[2] for r in reads), b'1;1;1;1;1;1;0,"No error"\n')
        self.assertEqual(c.read(lid, 10), (0, rpc.REASON_END, b""))

    def test_end_flag_ends_a_message_without_line_feed(self):
        c, lid = self.link()
        self.assertEqual(c.query(lid, "*IDN?"), self.idn + "\n")

    def test_readstb_and_procedures_without_effect(self):
        c, lid = self.link()
        self.assertEqual(c.readstb(lid), (0, 0))
        self.assertEqual(c.readstb(99999), (0, 0))
        for proc in (rpc.DEVICE_TRIGGER, rpc.DEVICE_CLEAR, rpc.DEVICE_REMOTE, rpc.DEVICE_LOCAL):
            self.assertEqual(c.generic(proc, lid).i32(), 0)
        self.assertEqual(c.call(rpc.DEVICE_LOCK, u32(lid) + u32(0) + u32(0)).i32(), 0)
        self.assertEqual(c.call(rpc.DEVICE_UNLOCK, u32(lid)).i32(), 0)
        self.assertEqual(c.call(rpc.DEVICE_ENABLE_SRQ, u32(lid) + u32(1) + rpc.opaque(b"h")).i32(),
                         0)
        self.assertEqual(c.docmd(lid), (8, b""))
        with RpcClient(ABORT_PORT, rpc.DEVICE_ASYNC) as a:
            self.assertEqual(a.call(rpc.DEVICE_ABORT, u32(lid)).i32(), 0)

    def test_unknown_link_ids(self):
        c = self.core()
        self.assertEqual(c.write(77777, "*OPC?\n"), (4, 0))
        self.assertEqual(c.read(77777), (4, 0, b""))
        self.assertEqual(c.destroy_link(77777), 4)
        self.assertEqual(c.write(-1, "*OPC?\n"), (4, 0))  # the free-channel marker

    def test_interrupt_channel(self):
        c = self.core()
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        self.addCleanup(listener.close)
        port = listener.getsockname()[1]
        loopback = 0x7F000001
        self.assertEqual(c.destroy_intr_chan(), 6)
        self.assertEqual(c.create_intr_chan(loopback, port, family=2), 8)
        self.assertEqual(c.create_intr_chan(loopback, port, prog=rpc.DEVICE_CORE), 8)
        self.assertEqual(c.create_intr_chan(loopback, port, vers=2), 8)
        self.assertEqual(c.create_intr_chan(loopback, port), 0)
        self.assertEqual(c.create_intr_chan(loopback, port), 29)
        self.assertEqual(c.destroy_intr_chan(), 0)
        self.assertEqual(c.destroy_intr_chan(), 6)
        # The channel goes with the connection that created it.
        with Vxi11Core() as gone:
            self.assertEqual(gone.create_intr_chan(loopback, port), 0)
        time.sleep(0.2)
        self.assertEqual(c.create_intr_chan(loopback, port), 0)
        self.assertEqual(c.destroy_intr_chan(), 0)
        listener.close()
        self.assertEqual(c.create_intr_chan(loopback, port), 6)

    def test_write_larger_than_max_recv_size(self):
        c, lid = self.link()
        data = "\n" * 5000 + "*OPC?\n"
        self.assertEqual(c.write(lid, data), (0, len(data)))
        self.assertEqual(c.query(lid, "*OPC?\n"), "1\n1\n")

    def test_takeover_after_inactivity_timeout(self):
        self.inst.send("SYST:COMM:VXI:RTMO 5\n")
        if self.inst.query("SYST:ERR?") != '0,"No error"':
            self.skipTest("SYSTem:COMMunicate:VXI:RTMO not in the command set yet")
        self.addCleanup(lambda: self.inst.query("SYST:COMM:VXI:RTMO INF;*OPC?"))
        a, b, third = self.core(), self.core(), self.core()
        lid_a = a.create_link()[1]
        time.sleep(1)
        lid_b = b.create_link()[1]
        time.sleep(5.5)
        b.write(lid_b, "*OPC?\n")
        b.read(lid_b)
        time.sleep(0.6)
        err, lid, _, _ = third.create_link()
        self.assertEqual(err, 0)
        self.addCleanup(lambda: third.destroy_link(lid))
        self.addCleanup(lambda: b.destroy_link(lid_b))
        self.assertEqual(a.write(lid_a, "*OPC?\n")[0], 4)
        self.assertEqual(third.query(lid, "*OPC?\n"), "1\n")


class BadInputTest(Vxi11Base):
    def assert_still_serving(self):
        with Vxi11Core() as c:
            err, lid, _, _ = c.create_link()
            self.assertEqual(err, 0)
            self.assertEqual(c.query(lid, "*IDN?\n"), self.idn + "\n")
            self.assertEqual(c.destroy_link(lid), 0)
        self.assertEqual(self.inst.query("*OPC?"), "1")

    def test_unknown_procedure_and_version(self):
        c = self.core()
        with self.assertRaises(RpcError) as e:
            c.call(21)
        self.assertEqual(e.exception.accept_stat, rpc.PROC_UNAVAIL)
        c.send_record(c.call_body(rpc.CREATE_LINK, version=7))
        with self.assertRaises(RpcError) as e:
            c.reply()
        self.assertEqual(e.exception.accept_stat, rpc.PROG_MISMATCH)
        # The null procedure answers.
        c.call(0)
        self.assert_still_serving()

    def test_undecodable_arguments(self):
        c = self.core()
        cases = [
            (rpc.CREATE_LINK, u32(0) + u32(0)),                      # cut short
            (rpc.CREATE_LINK, u32(0) + u32(0) + u32(0) + u32(5000) + b"x" * 8),  # name too long
            (rpc.DEVICE_WRITE, u32(1) + u32(0) + u32(0) + u32(8) + u32(0x7FFFFFF0)),
            (rpc.DEVICE_READ, u32(1)),
            (rpc.CREATE_INTR_CHAN, u32(1) + u32(0x10000) + u32(0) + u32(0) + u32(0)),
        ]
        for proc, args in cases:
            with self.assertRaises(RpcError) as e:
                c.call(proc, args)
            self.assertEqual(e.exception.accept_stat, rpc.GARBAGE_ARGS, proc)
        self.assert_still_serving()

    def test_malformed_records_close_only_that_connection(self):
        garbage = [
            u32(0x80000000 | 8) + b"\xff" * 8,                       # not a call
            u32(0x80000000 | 0x7FFFFFFF) + b"abc",                    # absurd length
            b"GET / HTTP/1.0\r\n\r\n",
        ]
        for data in garbage:
            s = socket.create_connection(("127.0.0.1", CORE_PORT), timeout=10)
            s.sendall(data)
            try:
                s.settimeout(3)
                rest = s.recv(100)
            except socket.timeout:
                rest = None
            except ConnectionResetError:
                rest = b""
            s.close()
            self.assertIn(rest, (b"", None))
            self.assert_still_serving()

    def test_client_dying_or_stalling_mid_call(self):
        c = self.core()
        err, lid, _, _ = c.create_link()
        body = c.call_body(rpc.DEVICE_WRITE, u32(lid) + u32(0) + u32(0) + u32(8) +
                           rpc.opaque("*IDN?\n"))
        # Half a record, and the mark of one larger than a receive buffer, then the clients
        # stop sending: others are served at once meanwhile.
        c.sock.sendall(u32(0x80000000 | len(body)) + body[:10])
        silent = socket.create_connection(("127.0.0.1", CORE_PORT), timeout=10)
        self.addCleanup(silent.close)
        silent.sendall(u32(0x80000000 | 0x100000))
        start = time.monotonic()
        self.assert_still_serving()
        self.assertLess(time.monotonic() - start, 1)
        # One dies; the silent one is let go after a few seconds.
        c.close()
        self.assert_still_serving()
        self.assertEqual(silent.recv(1), b"")

    def test_client_dying_before_its_answer_is_read(self):
        c = Vxi11Core()
        err, lid, _, _ = c.create_link()
        c.send_record(c.call_body(rpc.DEVICE_WRITE, u32(lid) + u32(0) + u32(0) + u32(8) +
                                  rpc.opaque(";".join(["*IDN?"] * 10) + "\n")))
        c.close()
        self.assert_still_serving()
        with Vxi11Core() as d:
            self.assertEqual(d.destroy_link(lid), 4)  # it went with the connection

    def test_block_cut_short_ends_with_its_link_or_a_device_clear(self):
        # The client leaves in the middle of a block announcing far more than ever comes...
        with Vxi11Core() as c:
            err, lid, _, _ = c.create_link()
            self.assertEqual(err, 0)
            c.write(lid, "SYST:FIRM:DATA #9999999999abc")
        self.assert_still_serving()
        # ... or clears the device: the same link reads commands again.
        c, lid = self.link()
        c.write(lid, "SYST:FIRM:DATA #9999999999abc")
        self.assertEqual(c.generic(rpc.DEVICE_CLEAR, lid).i32(), 0)
        self.assertEqual(c.query(lid, "*IDN?\n"), self.idn + "\n")

    def test_killed_clients_give_up_their_channels(self):
        script = ("import sys, vxi11_rpc; c = vxi11_rpc.Vxi11Core(); "
                  "print(c.create_link()[0], flush=True); sys.stdin.read()")
        here = os.path.dirname(os.path.abspath(__file__))
        clients = [subprocess.Popen([sys.executable, "-c", script], cwd=here, text=True,
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                   for _ in range(2)]
        for p in clients:
            self.addCleanup(p.stdout.close)
            self.addCleanup(p.stdin.close)
            self.addCleanup(p.wait)
            self.addCleanup(p.kill)
            self.assertEqual(p.stdout.readline(), "0\n")
        for p in clients:
            p.kill()
            p.wait()
        self.assert_still_serving()


class ActivityTest(Vxi11Base):
    args = ("-v",)

    def test_one_burst_gives_one_active_and_later_one_idle(self):
        start = len(self.inst.output)
        c, lid = self.link()
        for _ in range(3):
            c.query(lid, "*OPC?\n")
        self.inst.wait_for("kr_event_indicateLinkActivity(): VXI A active\n", 5, start)
        t0 = time.monotonic()
        self.inst.wait_for("kr_event_indicateLinkActivity(): VXI A idle\n", 15, start)
        self.assertGreater(time.monotonic() - t0, 6)
        self.assertEqual(self.inst.output[start:].count("VXI A idle"), 1)


def resident_bytes(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    raise AssertionError("no VmRSS")


class ConnectionFloodTest(unittest.TestCase):
    FLOOD = 2000

    def test_flood_of_idle_connections_then_every_link_serves_and_memory_returns(self):
        ensure_rpcbind()
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if hard < self.FLOOD + 200:
            self.skipTest("descriptor limit %d" % hard)
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, self.FLOOD + 200), hard))
        self.addCleanup(resource.setrlimit, resource.RLIMIT_NOFILE, (soft, hard))
        with Instrument(port=free_port()) as inst:
            inst.wait_running()
            wait_vxi_ready(inst=inst)
            idn = inst.query("*IDN?")

            def assert_serving(raw=True):
                with Vxi11Core() as c:
                    err, lid, _, _ = c.create_link()
                    self.assertEqual(err, 0)
                    self.assertEqual(c.query(lid, "*IDN?\n"), idn + "\n")
                    self.assertEqual(c.destroy_link(lid), 0)
                if raw:
                    with TcpClient(inst.port) as t:
                        self.assertEqual(t.query("*IDN?"), idn)

            assert_serving()
            before = resident_bytes(inst.proc.pid)
            for _ in range(2):
                flood = []
                for i in range(self.FLOOD):
                    s = socket.socket()
                    s.settimeout(2)
                    try:
                        s.connect(("127.0.0.1", (CORE_PORT, ABORT_PORT, inst.port)[i % 3]))
                    except OSError:
                        pass  # turned away before the connect completed
                    flood.append(s)
                # While they are all there (the raw socket's first one owns it meanwhile).
                assert_serving(raw=False)
                for s in flood:
                    s.close()
                time.sleep(0.5)
            assert_serving()
            grown = resident_bytes(inst.proc.pid) - before
            self.assertLess(grown, 2 << 20, grown)


class ServiceCannotStartTest(unittest.TestCase):
    def test_port_taken_leaves_the_instrument_running(self):
        ensure_rpcbind()
        blocker = socket.socket()
        blocker.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            blocker.bind(("0.0.0.0", CORE_PORT))
            blocker.listen(1)
        except OSError:
            blocker.close()
            self.skipTest("port 1024 is in use")
        try:
            with Instrument() as inst:
                inst.wait_running()
                inst.wait_for("device_core_open() (VXI-11): error in bind() (98)\n")
                self.assertTrue(inst.query("*IDN?").startswith("Korvane AG,"))
                # The abort program still came up.
                deadline = time.monotonic() + 10
                while pmap_getport(rpc.DEVICE_ASYNC) != ABORT_PORT:
                    self.assertLess(time.monotonic(), deadline)
                    time.sleep(0.1)
        finally:
            blocker.close()


if __name__ == "__main__":
    unittest.main()
