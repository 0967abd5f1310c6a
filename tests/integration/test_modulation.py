"""FM, PM, FSK and AM of the 40 GHz board's RF DAC on the FS controller, as the simulated FPGA
describes the table or the ADC scaling it was given."""

import unittest

from krsim import start_with_client

CONFIG = "1ch-40g-mod"


def channel(inst, until):
    return inst.hardware_state(until=lambda s: until(s["channels"][0]))["channels"][0]


def running(kind, source="internal"):
    return lambda c: c["fm"] is not None and c["fm"]["kind"] == kind and c["fm"]["source"] == source


class ModulationTest(unittest.TestCase):
    def test_internal_tables(self):
        inst = start_with_client(self, config=CONFIG)
        q = inst.client.query
        q("FREQ 10 GHz;*OPC?")
        carrier = channel(inst, lambda c: abs(float(c["frequency_hz"] or 0) - 1e10) < 1)["frequency_hz"]
        q("FM:DEV 1 MHz;:FM:INT:FREQ 10 kHz;:FM:STAT ON;*OPC?")
        fm = channel(inst, running("fm"))["fm"]
        self.assertAlmostEqual(fm["deviation_hz"] / 1e6, 1.0, places=3)
        self.assertAlmostEqual(fm["rate_hz"] / 1e4, 1.0, places=3)
        self.assertEqual((fm["samples"], fm["sample_period_s"]), (3536, 1.81e-6))
        # One modulation at a time, and none beside a sweep.
        self.assertEqual(q("PM:STAT ON;:SYST:ERR?").split(",")[0], "-221")
        self.assertEqual(q("FREQ:MODE SWE;:SYST:ERR?").split(",")[0], "-221")
        self.assertEqual(q("FREQ:MODE?"), "FIX")
        # 100 kHz: the table spans 512 periods to reach 2000 samples.
        q("FM:INT:FREQ 100 kHz;*OPC?")
        fm = channel(inst, lambda c: c["fm"] and c["fm"]["samples"] == 2829)["fm"]
        self.assertAlmostEqual(fm["rate_hz"] / 1e5, 1.0, places=3)
        # Off: the carrier comes back exactly.
        q("FM:STAT OFF;*OPC?")
        self.assertEqual(channel(inst, lambda c: c["fm"] is None)["frequency_hz"], carrier)
        # PM, and a carrier change under it that the table follows.
        q("PM:DEV 0.5;:PM:INT:FREQ 1 kHz;:PM:STAT ON;*OPC?")
        pm = channel(inst, running("pm"))["fm"]
        self.assertAlmostEqual(pm["deviation_rad"], 0.5, places=3)
        self.assertAlmostEqual(pm["rate_hz"], 1000.0, delta=0.5)
        q("FREQ 12 GHz;*OPC?")
        self.assertEqual(q("PM:STAT?;:SYST:ERR?"), '1;0,"No error"')
        q("PM:STAT OFF;*OPC?")
        c = channel(inst, lambda c: c["fm"] is None)
        self.assertAlmostEqual(float(c["frequency_hz"]), 12e9, delta=1e-3)
        # 0.01 Hz: the ADC clock, then doubled periods until fewer than 8001 samples.
        q("FM:INT:FREQ 0.01 Hz;:FM:STAT ON;*OPC?")
        fm = channel(inst, running("fm"))["fm"]
        self.assertLess(fm["samples"], 8001)
        self.assertAlmostEqual(fm["sample_period_s"] / (3.91e-6 * 4096), 1.0, places=3)
        self.assertAlmostEqual(fm["rate_hz"] / 0.01, 1.0, places=2)
        self.assertEqual(q("SYST:ERR?").split(",")[0], "0")

    def test_external_scaling(self):
        inst = start_with_client(self, config=CONFIG)
        q = inst.client.query
        q("FREQ 10 GHz;:FM:SOUR EXT;:FM:SENS 20000;:FM:STAT ON;*OPC?")
        fm = channel(inst, running("fm", "external"))["fm"]
        self.assertAlmostEqual(fm["sensitivity_hz_per_v"] / 20000, 1.0, places=4)
        self.assertEqual(fm["adc_mode"], "normal")
        q("FM:COUP DC;:FM:CENT 9;*OPC?")
        dc = channel(inst, lambda c: c["fm"] is not None and c["fm"]["adc_mode"] == "dc")
        self.assertEqual(dc["fm"]["gain"], 0)
        q("FM:STAT OFF;:FSK:DEV 100 kHz;:FSK:STAT ON;*OPC?")
        fsk = channel(inst, running("fsk", "external"))["fm"]
        self.assertAlmostEqual(fsk["deviation_hz"] / 1e5, 1.0, places=4)
        self.assertEqual(fsk["adc_mode"], "binary")
        q("FSK:STAT OFF;:PM:SOUR EXT;:PM:SENS 2;:PM:STAT ON;*OPC?")
        pm = channel(inst, running("pm", "external"))["fm"]
        self.assertAlmostEqual(pm["sensitivity_rad_per_v"] / 2, 1.0, places=4)
        # Too sensitive for the factor field: refused, nothing left running.
        q("PM:STAT OFF;*OPC?")
        self.assertEqual(q("PM:SENS 1e9;:PM:STAT ON;:SYST:ERR?").split(",")[0], "-222")
        self.assertEqual(q("PM:STAT?"), "0")
        self.assertIsNone(channel(inst, lambda c: c["fm"] is None)["fm"])

    def test_internal_am(self):
        inst = start_with_client(self, config=CONFIG)
        q = inst.client.query
        q("FREQ 10 GHz;:POW 0;:OUTP ON;:AM:DEPT 0.5;:AM:INT:FREQ 1 kHz;:AM:STAT ON;*OPC?")
        am = channel(inst, lambda c: c["am"] is not None)["am"]
        self.assertAlmostEqual(am["depth"], 0.5, delta=0.05)
        self.assertAlmostEqual(am["rate_hz"], 1000.0, delta=1.0)
        self.assertEqual(q("FM:STAT ON;:SYST:ERR?").split(",")[0], "-221")
        q("AM:STAT OFF;*OPC?")
        self.assertIsNone(channel(inst, lambda c: c["am"] is None)["am"])

    def test_standard_controller_has_none(self):
        # An operation the device lacks is accepted and does nothing, as every such setting.
        inst = start_with_client(self, config="1ch-40g")
        q = inst.client.query
        self.assertEqual(q("FM:STAT ON;:FCP:CONT:LIST ON;:FM:STAT?;:FCP:CONT:LIST?"), "0;0")


if __name__ == "__main__":
    unittest.main()
