"""Fast channel programming on an FS configuration: a list recorded into the FPGA's blocks
plays the point a list word selects; a frequency word plays its band's block; the enabling
rules and the unsupported FCPort leaves answer over SCPI."""

import csv
import io
import os
import socket
import unittest

from krsim import start_with_client

POINTS_HZ = [1500000000, 2500000000, 7000000000, 12000000000, 3300000000]


def control(inst, line):
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        s.settimeout(5)
        s.connect(os.path.join(inst.root, "sim", "control.sock"))
        s.sendall(line.encode() + b"\n")
        return s.recv(100).decode().strip()


def near(state, hz):
    """The channel's output within the synthesizer's resolution of hz."""
    f = state["channels"][0]["frequency_hz"]
    return f is not None and abs(float(f) - hz) < 10


class FcpTest(unittest.TestCase):
    def setUp(self):
        self.inst = start_with_client(self, config="2ch-fs-nec")
        self.q = self.inst.client.query

    def state(self, until):
        return self.inst.hardware_state(until, timeout=20.0)

    def test_list_word_plays_its_point(self):
        q = self.q
        self.assertEqual(q("LIST:FREQ %s;*OPC?" % ",".join(str(f) for f in POINTS_HZ)), "1")
        self.assertEqual(q("FCP:CONT:LIST ON;*OPC?", timeout=60), "1")
        self.assertEqual(q("FCP:CONT:LIST?;FREQ?;AMPL?"), "1;0;0")
        fcp = self.state(lambda s: s["channels"][0]["fcp"]["enabled"])["channels"][0]["fcp"]
        self.assertEqual((fcp["mode"], fcp["blocks"], fcp["address_range"]),
                         ("list", len(POINTS_HZ) + 1, 0x1400))
        # Word control excludes list control; nothing changes. A sweep would take the blocks'
        # stream: refused; a fixed frequency waits for the end of FCP.
        self.assertEqual(q("FCP:CONT:FREQ ON;:SYST:ERR?"), '-221,"Settings conflict"')
        self.assertEqual(q("FCP:CONT:LIST?;FREQ?"), "1;0")
        self.assertEqual(q("FREQ:MODE SWE;:SYST:ERR?"), '-221,"Settings conflict"')
        self.assertEqual(q("FREQ 2 GHz;:SYST:ERR?"), '0,"No error"')

        self.assertEqual(control(self.inst, "fcp-word lw 2"), "ok")
        s = self.state(lambda s: near(s, POINTS_HZ[2]))
        self.assertTrue(near(s, POINTS_HZ[2]), s["channels"][0])
        self.assertEqual(s["channels"][0]["fcp"]["last_word"], {"kind": "lw", "value": 2})
        # Past the list: ignored.
        self.assertEqual(control(self.inst, "fcp-word lw 5"), "ok")
        self.assertIsNone(self.state(lambda s: s["channels"][0]["fcp"]["last_word"]["value"] == 5)
                          ["channels"][0]["fcp"]["block"])
        rows = csv.DictReader(io.StringIO(self.inst.file("/sim/output-trace.csv")))
        self.assertTrue(any(r["channel"] == "0" and
                            abs(float(r["frequency_hz"]) - POINTS_HZ[2]) < 10 for r in rows))

        # Off again: the channel is on its fixed frequency, the one set meanwhile.
        self.assertEqual(q("FCP:CONT:LIST OFF;*OPC?", timeout=60), "1")
        s = self.state(lambda s: not s["channels"][0]["fcp"]["enabled"] and near(s, 2e9))
        self.assertTrue(near(s, 2e9), s["channels"][0])
        self.assertEqual(q("SYST:ERR:ALL?"), '0,"No error"')

    def test_frequency_word_plays_its_band(self):
        q = self.q
        self.assertEqual(q("FCP:MODE 8;:FCP:MODE?"), "8")
        self.assertEqual(q("FCP:MODE 16;:FCP:MODE?"), "16")
        self.assertEqual(q("FCP:CONT:FREQ ON;*OPC?", timeout=120), "1")
        fcp = self.state(lambda s: s["channels"][0]["fcp"]["enabled"])["channels"][0]["fcp"]
        self.assertEqual(fcp["mode"], "fw")
        self.assertEqual(fcp["frequency_entries"], 4096)
        # 5 GHz is a band edge of the plan: a word just above it plays that band's block.
        self.assertEqual(control(self.inst, "fcp-word fw 5100"), "ok")
        self.assertTrue(near(self.state(lambda s: near(s, 5e9)), 5e9))
        # The loop-back test word reaches the interface as a frequency word as well.
        self.assertEqual(q("DIAG:FCPO16BIT:FWM 10.5GHz;*OPC?"), "1")
        self.assertTrue(near(self.state(lambda s: near(s, 10e9)), 10e9))
        self.assertEqual(q("SYST:ERR:ALL?"), '0,"No error"')
        # The rest of FCPort is not supported: an error, not a hang.
        self.assertEqual(q("FCP:DIR?;:SYST:ERR?"), '-113,"Undefined header"')


if __name__ == "__main__":
    unittest.main()
