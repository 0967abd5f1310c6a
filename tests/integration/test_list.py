"""List columns over a client: a long frequency list in one program message and its answer in
one response, and list files stored, read and loaded by name."""

import os
import unittest

from krsim import start_with_client

POINTS = 5000


class ListTest(unittest.TestCase):
    def setUp(self):
        self.inst = start_with_client(self, config="1ch-20g")
        self.client = self.inst.client

    def query(self, command):
        return self.client.query(command, timeout=20.0)

    def test_long_list_round_trip_and_list_files_by_name(self):
        hz = [100000000 + 1000 * i for i in range(POINTS)]
        self.client.send("LIST:FREQ " + ",".join(str(f) for f in hz) + ";:LIST:POW -3\n")
        self.assertEqual(self.query("LIST:FREQ:POIN?;:LIST:POW:POIN?"), "%d;1" % POINTS)
        answer = self.query("LIST:FREQ?").split(",")
        self.assertEqual(len(answer), POINTS)
        self.assertEqual([round(float(a)) for a in answer], hz)
        self.assertEqual(self.query("SYST:ERR?"), '0,"No error"')

        self.assertEqual(self.query("MEM:FILE:LIST:STOR 'bench';*OPC?"), "1")
        stored = self.inst.file("/korvane/cust/list/bench").split("\n")
        self.assertEqual(len(stored), POINTS + 1)  # the last line feed ends the last row
        # Power has one entry and the demonstration's dwell and delay four: empty fields after.
        self.assertEqual(stored[1], "100001000.00000000000000000000;;2.000000E-02;1.600000E-02")
        self.assertEqual(stored[4], "100004000.00000000000000000000;;;")
        self.assertEqual(self.query("MEM:FILE:LIST:PEEK? 'bench'"), str(POINTS))

        self.assertEqual(self.query("LIST:FREQ 1GHz,2GHz;:LIST:FREQ:POIN?"), "2")
        self.assertEqual(self.query("MEM:FILE:LIST:LOAD 'bench';:LIST:FREQ:POIN?"), str(POINTS))
        self.assertIn("bench", self.query("MEM:FILE:LIST:LOAD?"))
        self.assertEqual(self.query("SYST:ERR?"), '0,"No error"')

        # Reading the RAM list sends the list in use.
        self.query("LIST:FREQ 1GHz,2GHz;*OPC?")
        self.client.send("MEM:FILE:LIST:READ? '/media/ram/list.csv'\n")
        block = b""
        while block.count(b"\n") < 5:  # four rows and the end of the response
            chunk = self.client.until(b"\n", 20.0)
            if not chunk:
                break
            block += chunk
        self.assertIn(b"\n2000000000.00000000000000000000;;2.000000E-02;", block)
        self.assertEqual(self.query("SYST:ERR?"), '0,"No error"')

        # A failed load leaves the list; a name leaving the directory creates nothing.
        self.query("MEM:FILE:LIST:LOAD 'missing';*OPC?")
        self.assertEqual(self.query("SYST:ERR?"), '-200,"Execution error"')
        self.assertEqual(self.query("LIST:FREQ:POIN?"), "2")
        self.query("MEM:FILE:LIST:STOR '../x';*OPC?")
        self.assertEqual(self.query("SYST:ERR?"), '-200,"Execution error"')
        self.assertFalse(os.path.exists(os.path.join(self.inst.root, "korvane", "cust", "x")))


if __name__ == "__main__":
    unittest.main()
