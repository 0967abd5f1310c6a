"""The front panel through its stand-in device: the start-up dump a panel finds when it
connects, the panel's own commands, the connection lines that USB, GPIB and VXI-11
traffic produce, and a panel that goes away: the link shuts for good, the others serve on."""

import os
import socket
import sys
import time
import unittest

from krsim import Instrument, TcpClient, ensure_rpcbind, free_port

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
from chardev_client import DATA, ChardevClient, socket_path  # noqa: E402

TOUCH_GPIB = "1C0-300B10010-0001"  # touch panel (newer controller) and GPIB fitted
TOUCH = "1C0-300B10000-0001"

WRITE_FAILED = ("Krhc_writeAsync() error: write() failed (maybe no front panel installed?)\n"
                "Krhc_writeAsync() error: write() failed, closing link\n")


class PanelReader:
    def __init__(self, root):
        self.client = ChardevClient(socket_path(root, "krhc"))
        self.lines = []  # (port, line)
        self._partial = {}

    def close(self):
        self.client.close()

    def pump(self, seconds):
        deadline = time.monotonic() + seconds
        while True:
            f = self.client.recv_frame(max(0.0, deadline - time.monotonic()))
            if f is None:
                return
            if f.type != DATA:
                continue
            text = self._partial.pop(f.port, "") + f.payload.decode("latin-1")
            *done, rest = text.split("\n")
            self.lines += [(f.port, line) for line in done]
            if rest:
                self._partial[f.port] = rest

    def wait_line(self, line, timeout=10.0, start=0):
        deadline = time.monotonic() + timeout
        while True:
            for i in range(start, len(self.lines)):
                if self.lines[i][1] == line:
                    return i
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("no line %r in %r" % (line, self.lines[start:]))
            self.pump(min(left, 0.2))

    def updates(self):
        return [line for port, line in self.lines if port == 1]


class FrontPanelTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        ensure_rpcbind()  # before the start, so the VXI-11 programs register
        cls.inst = Instrument(serial=TOUCH_GPIB)
        cls.inst.wait_running()
        cls.panel = PanelReader(cls.inst.root)
        cls.panel.wait_line("DIAG:HC:READ")

    @classmethod
    def tearDownClass(cls):
        cls.panel.close()
        cls.inst.close()

    def test_startup_dump_order(self):
        lines = self.panel.updates()
        self.assertEqual(lines[0], ": ")
        self.assertTrue(lines[1].startswith("mserial-no=" + TOUCH_GPIB + "?"), lines[1])
        self.assertEqual(lines[2], "")  # the serial-number line ends with two line feeds
        self.assertEqual(lines[3], ": ")  # the limits start by resetting the parser again
        ready = lines.index("DIAG:HC:READ")
        self.assertEqual(lines[ready - 1], "NTR:POW")
        self.assertIn("SYST:COMM:GPIB:ADDR 1", lines[:ready])
        self.assertTrue(any(l.startswith("SYST:COMM:SOCK:ADDR \"") for l in lines[:ready]))

    def test_no_am_lines_without_am(self):
        self.assertFalse([l for l in self.panel.updates() if l.startswith("AM:")])

    def test_panel_commands_are_answered_on_the_answer_port(self):
        start = len(self.panel.lines)
        self.panel.client.write("*IDN?\n", port=2)
        i = self.panel.wait_line(self.inst.query("*IDN?"), start=start)
        self.assertEqual(self.panel.lines[i][0], 2)

    def connection_cycle(self, device, name):
        start = len(self.panel.lines)
        with ChardevClient(socket_path(self.inst.root, device)) as c:
            self.assertEqual(c.query("*OPC?"), "1\n")
            connect = self.panel.wait_line("SYST:COMM:CONN " + name, 5, start)
            disconnect = self.panel.wait_line("SYST:COMM:DISC " + name, 10, connect)
            self.assertEqual(c.query("*OPC?"), "1\n")
            self.panel.wait_line("SYST:COMM:CONN " + name, 5, disconnect)
        lines = [l for _, l in self.panel.lines[start:]]
        self.assertEqual(lines.count("SYST:COMM:DISC " + name), 1)

    def test_usb_traffic_connects_and_quiet_disconnects(self):
        self.connection_cycle("usbtmc", "USB")

    def test_gpib_traffic_connects_and_quiet_disconnects(self):
        self.connection_cycle("gpib", "GPIB")

    def test_vxi11_traffic_lights_the_network_indicator(self):
        import vxi11_rpc
        from test_vxi11 import wait_vxi_ready
        wait_vxi_ready(inst=self.inst)
        deadline = time.monotonic() + 20
        while True:
            try:
                core = vxi11_rpc.Vxi11Core()
                break
            except OSError:
                self.assertLess(time.monotonic(), deadline)
                time.sleep(0.2)
        start = len(self.panel.lines)
        with core:
            err, lid, _, _ = core.create_link()
            self.assertEqual(err, 0)
            self.assertEqual(core.query(lid, "*OPC?\n"), "1\n")
            core.destroy_link(lid)
        i = self.panel.wait_line("SYST:COMM:CONN LAN", 5, start)
        self.panel.wait_line("SYST:COMM:DISC LAN", 15, i)


class PanelGoneBase:
    """One instrument per case: a failed update write closes the panel link for good."""

    def setUp(self):
        self.inst = Instrument(serial=TOUCH, port=free_port())
        self.addCleanup(self.inst.close)
        self.inst.wait_running()
        self.panel = PanelReader(self.inst.root)
        self.addCleanup(self.panel.close)
        self.panel.wait_line("DIAG:HC:READ")
        self.tcp = TcpClient(self.inst.port)
        self.addCleanup(self.tcp.close)

    def update(self, text):
        """A raw update line through the socket link; the error it left (0 when sent)."""
        self.tcp.send('DIAG:HC "%s"\n' % text)
        return self.tcp.query("SYST:ERR?")

    def check_link_closed_and_others_serving(self):
        self.inst.wait_for(WRITE_FAILED, 10)
        self.inst.wait_for("Error in HC link, closing link\n", 10)
        # Empty what the failing write left in the error queue.
        for _ in range(40):
            if self.tcp.query("SYST:ERR?") == '0,"No error"':
                break
        # Every later update fails at once, without another attempt at the device.
        for _ in range(3):
            t0 = time.monotonic()
            self.assertEqual(self.update("LATER"), '-200,"Execution error"')
            self.assertLess(time.monotonic() - t0, 1.0)
        self.assertEqual(self.inst.output.count("write() failed, closing link"), 1)
        # The socket and the console links keep serving.
        self.assertEqual(self.tcp.query("*OPC?"), "1")
        self.assertTrue(self.tcp.query("*IDN?"))
        self.assertEqual(self.inst.query("*OPC?"), "1")


class PanelClosesTest(PanelGoneBase, unittest.TestCase):
    def test_closed_panel_fails_the_next_update_write(self):
        self.assertEqual(self.update("BEFORE"), '0,"No error"')
        self.panel.wait_line("BEFORE")
        self.panel.close()
        time.sleep(0.3)  # the stand-in notices the closed socket
        self.assertNotIn("write() failed", self.inst.output)
        self.assertEqual(self.update("AFTER"), '-200,"Execution error"')
        self.check_link_closed_and_others_serving()


class PanelStopsReadingTest(PanelGoneBase, unittest.TestCase):
    def test_panel_that_stops_reading_fails_an_update_write(self):
        self.panel.client.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        line = "X" * 200
        # Nobody reads: the socket fills, one write waits out its time and fails.
        deadline = time.monotonic() + 60
        while "write() failed, closing link" not in self.inst.output:
            self.assertLess(time.monotonic(), deadline, "the update writes never failed")
            self.tcp.send(";".join([':DIAG:HC "%s"' % line] * 4) + "\n")
            self.tcp.query("*OPC?", timeout=10)
        self.check_link_closed_and_others_serving()


if __name__ == "__main__":
    unittest.main()
