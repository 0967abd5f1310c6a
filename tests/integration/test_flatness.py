"""The user flatness table over a client: its correction reaches the simulated output, and a
stored table comes back by name."""

import os
import unittest

from krsim import start_with_client


class FlatnessTest(unittest.TestCase):
    def setUp(self):
        self.inst = start_with_client(self, config="1ch-20g")
        self.client = self.inst.client

    def query(self, command):
        return self.client.query(command, timeout=20.0)

    def output_dbm(self, until, timeout=3.0):
        def value(state):
            return state["channels"][0].get("output_dbm")
        state = self.inst.hardware_state(lambda s: value(s) is not None and until(value(s)),
                                         timeout)
        return value(state) if state else None

    def test_correction_reaches_the_output_and_tables_are_stored_by_name(self):
        self.assertEqual(self.query("OUTP ON;:FREQ 1.5GHz;:POW -10;*OPC?"), "1")
        plain = self.output_dbm(lambda v: abs(v + 10) <= 0.5)
        self.assertAlmostEqual(plain, -10, delta=0.5)

        self.assertEqual(self.query(
            "CORR:FLAT:PAIR 1GHz,1;PAIR 2GHz,3;STAT ON;*OPC?"), "1")
        self.assertEqual(self.query("CORR:FLAT:STAT?;MODE?;POIN?"), "1;INT;2")
        raised = self.output_dbm(lambda v: abs(v - plain - 2) <= 0.5)
        self.assertAlmostEqual(raised - plain, 2.0, delta=0.5)
        self.assertEqual(self.query("CORR:FLAT:PAIR? 1"),
                         "2000000000.00000000000000000000,3.000000")

        self.assertEqual(self.query("MEM:FILE:CORR:FLAT:STOR 'bench';*OPC?"), "1")
        self.assertEqual(self.query("CORR:FLAT:PRES;POIN?"), "0")
        self.assertEqual(self.query("MEM:FILE:CORR:FLAT:LOAD 'bench';:CORR:FLAT:POIN?"), "2")
        self.assertEqual(self.query("SYST:ERR?"), '0,"No error"')
        # A name leaving the directory is refused and creates nothing.
        self.query("MEM:FILE:CORR:FLAT:STOR '../x';*OPC?")
        self.assertEqual(self.query("SYST:ERR?"), '-200,"Execution error"')
        self.assertFalse(os.path.exists(os.path.join(self.inst.root, "korvane", "cust", "x")))


if __name__ == "__main__":
    unittest.main()
