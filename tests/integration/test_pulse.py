"""Pulse modulation over a client on every ready configuration: the simulated output pulses
with the times set, also in the output trace; a pulse train on the configuration that has
them, holding the sweep engine; the pattern's limits."""

import os
import subprocess
import unittest

from krsim import SOURCE_DIR, start_with_client


def configurations():
    listing = subprocess.run([os.path.join(SOURCE_DIR, "platform", "make_simroot.sh"), "--list"],
                             check=True, capture_output=True, text=True).stdout
    return [line.split()[0] for line in listing.splitlines() if line.strip()]


class PulseTest(unittest.TestCase):
    def test_pulsed_output_with_its_times_on_every_configuration(self):
        for config in configurations():
            with self.subTest(config=config):
                inst = start_with_client(self, config=config)
                q = inst.client.query
                self.assertEqual(q("OUTP ON;:PULM:INT:PER 1ms;:PULM:INT:PWID 100us;"
                                   ":PULM:STAT ON;*OPC?"), "1")
                pulse = inst.hardware_state(
                    lambda s: s["channels"][0]["rf"] == "pulsed")["channels"][0]["pulse"]
                self.assertAlmostEqual(pulse["period_s"], 1e-3, delta=1e-9)
                self.assertAlmostEqual(pulse["width_s"], 100e-6, delta=31e-9)
                self.assertEqual(q("SYST:ERR:ALL?"), '0,"No error"')
                trace = inst.file("/sim/output-trace.csv")
                self.assertIn(",pulsed,", trace)
                inst.close()

    def test_train_and_pattern_limits(self):
        inst = start_with_client(self, config="1ch-fs-trains")
        q = inst.client.query
        self.assertEqual(q("OUTP ON;:PULM:INT:PER 100us;:PULM:INT:PWID 1us;"
                           ":PULM:INT:DOUB:DEL 10us;:PULM:INT:DOUB:WIDT 2us;"
                           ":PULM:INT:DOUB:STAT ON;:PULM:STAT ON;*OPC?"), "1")
        train = inst.hardware_state(lambda s: len(s["channels"][0]["pulse"]["train"]) == 2)[
            "channels"][0]["pulse"]["train"]
        self.assertAlmostEqual(train[0]["width_s"], 1e-6, delta=1e-9)
        self.assertAlmostEqual(train[0]["gap_s"], 9e-6, delta=1e-8)
        self.assertAlmostEqual(train[1]["width_s"], 2e-6, delta=1e-9)
        self.assertAlmostEqual(train[1]["gap_s"], 88e-6, delta=1e-8)
        # The train holds the sweep engine: a sweep cannot start beside it.
        self.assertEqual(q("FREQ:MODE SWE;*OPC?"), "1")
        self.assertEqual(q("SYST:ERR?"), '-221,"Settings conflict"')
        self.assertEqual(q("FREQ:MODE FIX;*OPC?"), "1")
        self.assertEqual(q("PULM:BITS '%s';*OPC?" % ("F" * 513)), "1")
        self.assertEqual(q("PULM:BITS '12G4';:PULM:BITS?"), "12")
        self.assertEqual([e.split(",")[0] for e in q("SYST:ERR:ALL?").split('",')],
                         ["-223", "-224"])


if __name__ == "__main__":
    unittest.main()
