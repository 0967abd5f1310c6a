"""The GPIB link through its stand-in device: END without line feed, group execute trigger
alone, serial poll, interface signals, chunked answers, device clear during an answer."""

import time
import unittest

from krsim import Instrument
from test_usbtmc import LONG, UsbtmcTest
from chardev_client import DATA, GET_ACK, ChardevClient, socket_path

GPIB_SERIAL = "1C0-000B10010-0001"  # position 11 '1': GPIB fitted


class GpibTest(UsbtmcTest):
    device = "gpib"
    serial = GPIB_SERIAL

    def test_end_without_line_feed_ends_the_message(self):
        c = self.client()
        c.write("*OPC?", end=True)
        self.assertEqual(c.read_message(), b"1\n")
        # Without END (and without a line feed) the message waits.
        c.write("*OPC?", end=False)
        c.request(100)
        self.assertIsNone(c.recv_frame(1.0))
        c.write(";*OPC?", end=True)
        f = c.expect(DATA)
        self.assertEqual(f.payload, b"1;1\n")
        self.assertTrue(f.end)

    def test_trigger_alone_is_acknowledged_and_the_link_goes_on(self):
        c = self.client()
        c.trigger()
        self.assertIsNotNone(c.expect(GET_ACK, 5), "no GET acknowledgement")
        c.trigger()
        c.trigger()
        self.assertIsNotNone(c.expect(GET_ACK, 5))
        self.assertIsNotNone(c.expect(GET_ACK, 5))
        self.assertEqual(c.query("*OPC?"), "1\n")

    def test_serial_poll_answers_the_published_status_byte(self):
        c = self.client()
        self.assertEqual(c.serial_poll(), 0)

    def test_empty_read_with_only_end_changes_nothing(self):
        c = self.client()
        c.write(b"", end=True)
        self.assertEqual(c.query("*OPC?"), "1\n")


class GpibSignalTest(unittest.TestCase):
    def test_unhandled_signals_are_drained(self):
        with Instrument(args=("-v",), serial=GPIB_SERIAL) as inst:
            inst.wait_running()
            with ChardevClient(socket_path(inst.root, "gpib")) as c:
                c.signal(0x12, 0x34)
                c.signal(0x56, 0x78)
                c.write("*OPC?\n")
                self.assertEqual(c.read_message(), b"1\n")
            inst.wait_for("received a signal not handled in the GPIB kernel module\n")
            inst.wait_for("        source: 12, mask: 34\n")
            inst.wait_for("        source: 56, mask: 78\n")


del UsbtmcTest  # run here only through the subclass

if __name__ == "__main__":
    unittest.main()
