"""The function output carrying the LF generator, as the simulated control board shows it in
the state file; the user DAC source on a control board 1E."""

import unittest

from krsim import start_with_client


class LfOutputTest(unittest.TestCase):
    def test_generator_on_the_function_output(self):
        inst = start_with_client(self, config="1ch-20g")
        q = inst.client.query
        self.assertEqual(q("LFO:SOUR LFG;:LFO:FREQ 1kHz;:LFO:AMPL 1;:LFO:STAT ON;*OPC?"), "1")
        state = inst.hardware_state(until=lambda s: s["function_output"]["enabled"])
        self.assertEqual(state["function_output"], {"source": "lfg", "enabled": True})
        lfg = state["lfg"]
        self.assertTrue(lfg["powered"])
        self.assertEqual(lfg["shape"], "sine")
        # 24-bit word of a 50 MHz clock, DAC word 454 of 2.25 V full scale.
        self.assertAlmostEqual(lfg["frequency_hz"], 1000.0, delta=3.0)
        self.assertAlmostEqual(lfg["amplitude_v"], 454 * 2.25 / 1023, places=4)
        # Below the generator's range the leaf takes its minimum.
        q("LFO:FREQ 5Hz;*OPC?")
        self.assertEqual(float(q("LFO:FREQ?")), 10.0)
        self.assertEqual(q("SYST:ERR?").split(",")[0], "0")
        self.assertEqual(q("LFO:SOUR DAC;:SYST:ERR?").split(",")[0], "-241")
        self.assertEqual(q("LFO:SOUR?"), "LFG")
        q("LFO:STAT OFF;*OPC?")
        state = inst.hardware_state(until=lambda s: not s["lfg"]["powered"])
        self.assertEqual(state["function_output"]["enabled"], False)

    def test_user_dac_on_a_control_board_1e(self):
        inst = start_with_client(self, config="1ch-20g-cont1e")
        q = inst.client.query
        self.assertEqual(q("LFO:SOUR DAC;:LFO:DAC 8000;:LFO:STAT ON;*OPC?"), "1")
        state = inst.hardware_state(until=lambda s: s["function_output"]["source"] == "dac")
        self.assertEqual(state["function_output"], {"source": "dac", "enabled": True})


if __name__ == "__main__":
    unittest.main()
