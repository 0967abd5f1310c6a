"""The alternate mnemonic command set through real links: output and level over the raw socket,
a frequency list stepped by group execute trigger over GPIB with the status bytes a GPIB
controller sees, and SCPI untouched beside it."""

import os
import sys
import unittest

from krsim import start_with_client

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
from chardev_client import GET_ACK, ChardevClient, socket_path

GPIB_CONFIG = "4ch-fs-gpib"


class AlternateCommandsTest(unittest.TestCase):
    def setUp(self):
        self.inst = start_with_client(self, config=GPIB_CONFIG)
        self.q = self.inst.client.query

    def errors(self):
        found = []
        while True:
            e = self.q("SYST:ERR?")
            if e.startswith("0,"):
                return found
            found.append(e.split(",")[0])

    def test_output_level_and_queries_without_the_scpi_tree(self):
        rf = lambda s: s["channels"][0]["rf"]
        self.inst.client.send("RF1\n")
        self.inst.hardware_state(lambda s: rf(s) == "on")
        self.assertEqual(self.q("OUTP?"), "1")
        self.inst.client.send("rf0 L1 -7.5 DM\n")  # two mnemonics in one unit, any case
        self.inst.hardware_state(lambda s: rf(s) != "on")
        self.assertEqual(float(self.q("POW?")), -7.5)

        self.assertEqual(self.q("FREQ 1.5GHz;OF1"), "1500.000000000")
        self.assertEqual(self.q("FREQ 500kHz;OF1"), "0.500000000000")
        self.assertRegex(self.q("OI"), r"^3692 0\.00[ 0-9]\d\.\d\d-110\.014\.02\.070000002A$")
        self.assertEqual(self.q("OZN"), self.q("OZS"))
        self.assertEqual(self.errors(), [])
        # Not mnemonics: SCPI reports them as its own.
        self.assertEqual(self.q("L1;*OPC?"), "1")
        self.assertEqual(self.q("OF2;*OPC?"), "1")
        self.assertEqual(self.errors(), ["-113", "-113"])

    def test_list_stepped_by_trigger_with_status_bytes(self):
        self.assertEqual(self.q("LIST:FREQ 9GHz;*OPC?"), "1")
        with ChardevClient(socket_path(self.inst.root, "gpib")) as c:
            c.write("ZL001 1GH 2.5 GH, 3000 MH\n")
            c.write("GTF\n")
            seen = []
            for _ in range(4):
                c.trigger()
                self.assertIsNotNone(c.expect(GET_ACK, 5))
                seen.append(float(c.query("FREQ?")))
            self.assertEqual(seen, [1e9, 2.5e9, 3e9, 1e9])
            self.assertEqual(c.status_history()[-2:], [68, 64])
            # *TRG steps on from where the triggers left the list.
            seen = [float(c.query("*TRG;FREQ?")) for _ in range(3)]
            self.assertEqual(seen, [2.5e9, 3e9, 1e9])
            c.status_history()
            c.write("RF1\n")
            self.assertEqual(c.query("*OPC?"), "1\n")
            self.assertEqual(c.status_history(), [68, 64])
            c.write("LS1;ZS2\n")
            self.assertEqual(float(c.query("FREQ?")), 3e9)
            self.assertEqual(c.status_history(), [69, 64])
            self.assertEqual(c.serial_poll(), 64)
            c.write("STB 17\n")
            self.assertEqual(c.query("*OPC?"), "1\n")
            self.assertEqual(c.serial_poll(), 17)
            c.write("*CLS\n")
            self.assertEqual(c.query("*OPC?"), "1\n")
            self.assertEqual(c.serial_poll(), 0)
            # A list value that does not convert aborts the list, as over SCPI.
            c.write("ZL 1GH XYZ\n")
            self.assertEqual(c.query("LIST:FREQ:POIN?"), "0\n")
            c.write("ZS7\n")  # no such point: nothing changes
            self.assertEqual(float(c.query("FREQ?")), 3e9)
            # Not listening: the trigger goes to the instrument's own trigger system.
            c.write("GTO\n")
            c.trigger()
            self.assertIsNotNone(c.expect(GET_ACK, 5))
            self.assertEqual(float(c.query("FREQ?")), 3e9)
        self.assertEqual(self.errors(), ["-113"])


if __name__ == "__main__":
    unittest.main()
