"""The instrument on the LAN: the raw SCPI socket server in both client modes, its answers to
bad input, the file transfer, the device finder and the stored port settings, each against
the real firmware in a temporary root on a free port of its own."""

import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import time
import unittest

from krsim import (FINDER_PORT, Instrument, TcpClient, connect_soon, finder_query, free_port,
                   in_own_netns, netns_available, run_in_own_netns)

# Where a firmware block is received to.
FIRMWARE_PACKAGE = "root/rivezarudorade.tar"
IDN = "Korvane AG,ORBX20G,1C0-000B10000-0001,0.4.204"
# Maker, model (with an optional bracketed extension), serial number, version: no spaces.
IDN_SHAPE = re.compile(r"^[^,\s]+( [^,\s]+)*,[^,\s]+,\d[0-9A-Z]{2}-[0-9A-Z]{9}-[0-9A-Z]{4},"
                       r"\d+\.\d+\.\d+$")


def lan_instrument(mses=0, **kwargs):
    return Instrument(port=free_port(), mses=mses, **kwargs)


def turned_away(port):
    """Whether a connection beyond the clients allowed is accepted and reset at once."""
    try:
        with TcpClient(port) as c:
            c.send("*OPC?\n")
            return c.closed_by_peer()
    except (ConnectionResetError, BrokenPipeError):
        return True


def command_known(client, command):
    """Sends a setting and tells whether the command tree took it (not an undefined header)."""
    client.send(command + "\n")
    return not client.query("SYST:ERR?").startswith("-113,")


class SocketServerTest(unittest.TestCase):
    def test_identification_text_and_shape(self):
        with lan_instrument() as inst:
            inst.wait_running()
            self.assertIn("link name: <Socket Port %d>" % inst.port, inst.output)
            with TcpClient(inst.port) as c:
                idn = c.query("*IDN?")
                self.assertEqual(idn, IDN)
                self.assertRegex(idn, IDN_SHAPE)
                self.assertEqual(c.query("*IDN?;*OPC?"), IDN + ";1")
        for config, serial in (("4ch-fs-gpib", "1C0-0B0B40010-0002"),
                               ("1ch-40g", "1E0-000L10000-0003")):
            with lan_instrument(config=config) as inst:
                inst.wait_running()
                with TcpClient(inst.port) as c:
                    idn = c.query("*IDN?")
                    self.assertRegex(idn, IDN_SHAPE)
                    self.assertEqual(idn.split(",")[2], serial)

    def test_error_queue_after_an_unknown_header(self):
        with lan_instrument() as inst:
            inst.wait_running()
            with TcpClient(inst.port) as c:
                c.send("NO:SUCH:HEADER\n")
                self.assertEqual(c.query("SYST:ERR?"), '-113,"Undefined header"')
                self.assertEqual(c.query("SYST:ERR?"), '0,"No error"')

    def test_compound_path_memory(self):
        with lan_instrument() as inst:
            inst.wait_running()
            with TcpClient(inst.port) as c:
                # A unit continues below the last one's path; a colon restarts at the root.
                c.send("FREQ:MODE FIX;CW 2 GHz;:POW:LEV -3;:FREQ?;:POW?\n")
                self.assertEqual(c.line().rstrip("\n"),
                                 "2000000000.00000000000000000000;-3.000000")
                self.assertEqual(c.query("SYST:ERR?"), '0,"No error"')
                c.send("POW -4;LEV -5\n")  # after a leaf at the root, the root
                self.assertEqual(c.query("SYST:ERR?"), '-113,"Undefined header"')
                self.assertEqual(c.query("POW?"), "-4.000000")

    def test_single_client_turns_a_second_away_and_takes_every_reconnect(self):
        with lan_instrument() as inst:
            inst.wait_running()
            first = TcpClient(inst.port)
            self.assertEqual(first.query("*OPC?"), "1")
            self.assertTrue(turned_away(inst.port))
            self.assertEqual(first.query("*OPC?"), "1")
            first.close()
            # Each connection made right after the last one closed is taken, none refused.
            for i in range(200):
                with TcpClient(inst.port) as c:
                    self.assertEqual(c.query("*IDN?"), IDN, i)

    def test_silent_client_is_taken_over_after_the_timeout(self):
        with lan_instrument() as inst:
            inst.wait_running()
            with TcpClient(inst.port) as first:
                self.assertTrue(command_known(first, "SYST:COMM:LAN:RTMO 1"))
                self.assertEqual(first.query("*OPC?"), "1")
                time.sleep(0.3)
                self.assertTrue(turned_away(inst.port))
                time.sleep(1.2)
                with TcpClient(inst.port) as second:
                    self.assertEqual(second.query("*IDN?"), IDN)
                self.assertTrue(first.closed_by_peer())

    def test_twenty_clients_get_their_own_answers(self):
        with lan_instrument(mses=1) as inst:
            inst.wait_running()
            asks = ["STAT:QUES:ENAB %d;:STAT:QUES:ENAB?\n" % (i + 1) for i in range(20)]
            clients = []

            def connect_and_ask(i, start):
                start.wait()
                try:  # a connection the kernel does not take at once waits 1 s for a retry
                    clients[i] = TcpClient(inst.port, timeout=0.5)
                    clients[i].send(asks[i])
                except OSError as e:
                    clients[i] = e

            try:
                # All connect at once, and each first write is answered; three times over.
                for _ in range(3):
                    for c in clients:
                        c.close()
                    clients[:], start = [None] * 20, threading.Barrier(20)
                    threads = [threading.Thread(target=connect_and_ask, args=(i, start))
                               for i in range(20)]
                    for t in threads:
                        t.start()
                    for t in threads:
                        t.join()
                    for i, c in enumerate(clients):
                        self.assertIsInstance(c, TcpClient, i)
                        self.assertEqual(c.line(timeout=2).rstrip("\n"), str(i + 1), i)
                # One asks: only that one hears the answer.
                self.assertEqual(clients[3].query("*IDN?"), IDN)
                for i, c in enumerate(clients):
                    if i != 3:
                        self.assertEqual(c.quiet(0.05), b"", i)
                # All at once, byte by byte: each connection's part of a line stays its own.
                for k in range(max(map(len, asks))):
                    for i, c in enumerate(clients):
                        if k < len(asks[i]):
                            c.send(asks[i][k])
                for i, c in enumerate(clients):
                    self.assertEqual(c.line().rstrip("\n"), str(i + 1), i)
                self.assertTrue(turned_away(inst.port))
                clients.pop(7).close()
                with TcpClient(inst.port) as late:
                    self.assertEqual(late.query("*OPC?"), "1")
            finally:
                for c in clients:
                    if isinstance(c, TcpClient):
                        c.close()

    def test_a_client_that_never_reads_holds_up_nobody(self):
        with lan_instrument(mses=1) as inst:
            inst.wait_running()
            with socket.socket() as hog:
                # A small window: its answers back up after a few thousand.
                hog.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                hog.connect(("127.0.0.1", inst.port))
                hog.setblocking(False)
                others = [TcpClient(inst.port) for _ in range(19)]
                sent = 0
                for n in range(1000):
                    # Queries as long as the instrument takes them, no answer read.
                    try:
                        while True:
                            sent += hog.send(b"*IDN?\n" * 1000)
                    except BlockingIOError:
                        pass
                    for c in others:
                        c.send("*OPC?\n")
                    for i, c in enumerate(others):
                        self.assertEqual(c.line(timeout=2), "1\n", (n, i, sent))
                for c in others:
                    c.close()

    def test_megabyte_without_line_feed_then_normal_service(self):
        for mses in (0, 1):
            with lan_instrument(mses=mses) as inst:
                inst.wait_running()
                with TcpClient(inst.port) as c:
                    c.send(b"x" * (1 << 20))
                    c.send(b"\n")
                    self.assertEqual(c.query("*IDN?", timeout=30), IDN)
                with TcpClient(inst.port) as c:
                    self.assertEqual(c.query("*IDN?"), IDN)

    def test_binary_garbage_then_normal_service(self):
        with lan_instrument() as inst:
            inst.wait_running()
            with TcpClient(inst.port) as c:
                c.send(os.urandom(200000) + bytes(range(256)) + b"\n")
                time.sleep(0.3)
                c.quiet()
                self.assertEqual(c.query("*IDN?"), IDN)

    def test_streamed_commands_keep_their_order(self):
        """Hundreds of command buffers' worth of settings in one stream, with queries between
        them: every answer arrives, in order, with the value the settings before it left,
        in both client modes."""
        for mses in (0, 1):
            with lan_instrument(mses=mses) as inst:
                inst.wait_running()
                with TcpClient(inst.port, timeout=60) as c:
                    lines, expected = [], []
                    for i in range(30000):
                        lines.append("STAT:QUES:ENAB %d" % (i % 30011))
                        if i % 97 == 96:
                            lines.append("STAT:QUES:ENAB?")
                            expected.append(str(i % 30011))
                    lines.append("*OPC?")
                    c.send("\n".join(lines) + "\n")
                    answers = [c.line(timeout=60).strip() for _ in expected]
                    self.assertEqual(answers, expected, "mses %d" % mses)
                    self.assertEqual(c.line(timeout=60).strip(), "1")
                    self.assertEqual(c.query("SYST:ERR?"), '0,"No error"')

    def test_client_leaving_mid_message_or_block_leaves_nothing_behind(self):
        # A block announcing far more bytes than ever come ends with its client.
        block = "SYST:FIRM:DATA #9999999999abc"
        for mses, left in ((0, "*ID"), (1, "*ID"), (0, block)):
            with self.subTest(mses=mses, left=left), lan_instrument(mses=mses) as inst:
                inst.wait_running()
                with TcpClient(inst.port) as c:
                    c.send(left)
                    time.sleep(0.2)
                with connect_soon(inst.port) as c:
                    self.assertEqual(c.query("*IDN?"), IDN)
                    self.assertEqual(c.query("SYST:ERR?"), '0,"No error"')
                self.assertFalse(os.path.exists(os.path.join(inst.root, FIRMWARE_PACKAGE)))

    def test_calibration_file_transfer(self):
        with lan_instrument(files={"/korvane/dev/calibration0.csv": "f,p\n1e9,-3.5\n"}) as inst:
            inst.wait_running()
            with TcpClient(inst.port) as c:
                c.send("tcg/\n")
                self.assertEqual(c.until(b"/\n", timeout=2), b"f,p\n1e9,-3.5/\n")
                c.send("tcs/\n")
                time.sleep(0.3)  # the command is read on its own before the file follows
                c.send("f,p\n2e9,-1.0/")
                self.assertEqual(c.until(b"/\n"), b"/\n")
                self.assertEqual(c.query("*OPC?"), "1")
            self.assertEqual(inst.file("/korvane/dev/calibration0.csv"), "f,p\n2e9,-1.0\n")

    def test_stalled_calibration_transfer_holds_up_nobody_and_keeps_the_file(self):
        with lan_instrument(files={"/korvane/dev/calibration0.csv": "f,p\n1e9,-3.5\n"}) as inst:
            inst.wait_running()
            with TcpClient(inst.port) as c:
                c.send("tcs/\n")
                time.sleep(0.3)
                c.send("f,p\n9e9")  # and then nothing more
                start = time.monotonic()
                self.assertIn("Korvane AG", inst.query("*IDN?", timeout=6))
                self.assertLess(time.monotonic() - start, 4.5)
                self.assertEqual(c.until(b"/\n"), b"/\n")
                self.assertTrue(c.query("SYST:ERR?").startswith("-200,"))
            self.assertEqual(inst.file("/korvane/dev/calibration0.csv"), "f,p\n1e9,-3.5\n")


class ThirdPartyClientTest(unittest.TestCase):
    """The raw socket as common instrument-control tools use it."""

    def open_visa(self, manager, port):
        return manager.open_resource("TCPIP::127.0.0.1::%d::SOCKET" % port, read_termination="\n",
                                     write_termination="\n", timeout=5000)

    def test_pyvisa_py_socket_resource(self):
        try:
            import pyvisa
        except ImportError:
            self.skipTest("pyvisa is not installed (tools/setup.sh installs it)")
        manager = pyvisa.ResourceManager("@py")
        try:
            with lan_instrument() as inst:
                inst.wait_running()
                visa = self.open_visa(manager, inst.port)
                self.assertEqual(visa.query("*IDN?"), IDN)
                visa.write("NO:SUCH:HEADER")
                self.assertEqual(visa.query("SYST:ERR?"), '-113,"Undefined header"')
                self.assertEqual(visa.query("*IDN?;*OPC?"), IDN + ";1")
                # One client at a time: pyvisa-py reports the turning away at open or first use.
                with self.assertRaises((pyvisa.errors.VisaIOError, OSError)):
                    self.open_visa(manager, inst.port).query("*IDN?")
                visa.close()
                visa = self.open_visa(manager, inst.port)
                self.assertEqual(visa.query("*OPC?"), "1")
                visa.close()
            with lan_instrument(mses=1) as inst:
                inst.wait_running()
                sessions = [self.open_visa(manager, inst.port) for _ in range(5)]
                for i, visa in enumerate(sessions):
                    visa.write("*IDN?" if i % 2 else "*OPC?")
                for i, visa in enumerate(sessions):
                    self.assertEqual(visa.read(), IDN if i % 2 else "1", i)
                for visa in sessions:
                    visa.close()
        finally:
            manager.close()

    def lxi(self, port, *args):
        result = subprocess.run(["lxi", *args, "-a", "127.0.0.1", "-p", str(port), "-r"],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
        return result.returncode, result.stdout.decode("latin-1")

    def test_lxi_tools_raw_mode(self):
        if not shutil.which("lxi"):
            self.skipTest("lxi-tools are not installed (tools/setup.sh installs them)")
        with lan_instrument() as inst:
            inst.wait_running()
            # Every call is a connection of its own: the single-client server takes each in turn.
            self.assertEqual(self.lxi(inst.port, "scpi", "*IDN?"), (0, IDN + "\n"))
            self.assertEqual(self.lxi(inst.port, "scpi", "NO:SUCH:HEADER")[0], 0)
            self.assertEqual(self.lxi(inst.port, "scpi", "SYST:ERR?"),
                             (0, '-113,"Undefined header"\n'))
            code, out = self.lxi(inst.port, "benchmark", "-c", "200")
            self.assertEqual(code, 0, out)
            rate = re.search(r"Result: ([0-9.]+) requests/second", out)
            self.assertIsNotNone(rate, out)
            self.assertGreater(float(rate.group(1)), 0)


class FixedPortTest(unittest.TestCase):
    """Tests of fixed ports (the finder's 9998, the default 18). Where this machine offers
    network namespaces they run in one of their own (see OwnNetworkRunner); elsewhere on the
    shared network when the port is free."""

    @classmethod
    def setUpClass(cls):
        if not in_own_netns() and netns_available():
            raise unittest.SkipTest("run in a network namespace of their own by OwnNetworkRunner")

    def port_free(self, port, kind):
        with socket.socket(socket.AF_INET, kind) as s:
            try:
                s.bind(("0.0.0.0", port))
                return True
            except OSError:
                return False

    def test_finder_answers_only_an_empty_datagram(self):
        if not in_own_netns() and not self.port_free(FINDER_PORT, socket.SOCK_DGRAM):
            self.skipTest("UDP %d is in use on this machine" % FINDER_PORT)
        with lan_instrument(files={"/korvane/cust/model_name_ext": "[LAB]"}) as inst:
            inst.wait_running()
            reply = finder_query(b"")
            self.assertIsNotNone(reply)
            self.assertEqual(len(reply), 111)
            self.assertEqual(reply[:21], bytes(21))
            self.assertEqual(reply[21:51], b"ORBX20G[LAB]".ljust(30, b"\0"))
            self.assertEqual(reply[51:80], b"1C0-000B10000-0001".ljust(29, b"\0"))
            self.assertEqual(reply[80:], bytes(31))
            for payload in (b"x", b"\0", b"discover" * 10):
                self.assertIsNone(finder_query(payload, timeout=0.3), payload)
            self.assertEqual(len(finder_query(b"")), 111)

    def test_stored_port_out_of_range_is_corrected_and_written_back(self):
        if not in_own_netns() and not self.port_free(18, socket.SOCK_STREAM):
            self.skipTest("TCP 18 is in use on this machine")
        files = {"/korvane/dev/conf/eth0_other_conf": "port 70000\nmses 5\n"}
        with Instrument(files=files) as inst:
            inst.wait_running()
            self.assertEqual(inst.file("/korvane/dev/conf/eth0_other_conf"), "port 18\nmses 0\n")
            self.assertIn("link name: <Socket Port 18>", inst.output)
            served = 18 if os.geteuid() == 0 or in_own_netns() else 2018
            with connect_soon(served) as c:
                self.assertEqual(c.query("*IDN?"), IDN)


class OwnNetworkRunner(unittest.TestCase):
    def test_fixed_port_tests_in_a_network_of_their_own(self):
        if in_own_netns():
            self.skipTest("already inside")
        result = run_in_own_netns([sys.executable, "-m", "unittest", "-v",
                                   "test_lan.FixedPortTest"])
        if result is None:
            self.skipTest("no network namespaces here: FixedPortTest runs on the shared network")
        output = result.stdout.decode("latin-1")
        sys.stderr.write(output)
        self.assertEqual(result.returncode, 0, output)
        self.assertNotIn("skipped", output)


if __name__ == "__main__":
    unittest.main()
