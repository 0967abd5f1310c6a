"""The output level over a client: POW reaches the simulated output through the calibration on
every ready configuration, and a power change never overshoots on its way (judged from the
level trace; the simulator's overshoot monitor groups latches by hardware time, which a loaded
host stretches)."""

import os
import re
import unittest

from krsim import start_with_client

LEVEL_LINE = re.compile(r"ch1 LEVEL (\w+) = (\S+) ioupdate=(\d+) output_dbm=(\S+)")


def dbm(ch):
    """The output power; off reads as far below any setting."""
    v = ch.get("output_dbm")
    return -999.0 if v is None else v


class LevelTest(unittest.TestCase):
    def start(self, config):
        return start_with_client(self, config=config)

    def channel(self, inst, until, timeout=3.0):
        state = inst.hardware_state(lambda s: until(s["channels"][0]), timeout)
        return state["channels"][0] if state else None

    def test_power_reaches_the_output_on_every_ready_configuration(self):
        for config in ("1ch-20g", "1ch-20g-pe", "1ch-40g", "4ch-fs-gpib"):
            with self.subTest(config=config):
                inst = self.start(config)
                self.assertEqual(inst.client.query("OUTP ON;*OPC?"), "1")
                missed = []
                for frequency in ("100MHz", "5GHz", "19GHz"):
                    for power in (-90, -60, -30, -10, 0, 10, 20, 30):
                        self.assertEqual(inst.client.query(
                            "FREQ %s;:POW %d;*OPC?" % (frequency, power)), "1")

                        def reached(ch):
                            # The 40 GHz board holds its loop in low-power mode.
                            return (abs(dbm(ch) - power) <= 0.5
                                    and (ch["levelled"] or power < -20))
                        ch = self.channel(inst, reached)
                        if not reached(ch):
                            missed.append((frequency, power, ch.get("output_dbm")))
                self.assertEqual(missed, [])
                self.assertEqual(inst.client.query("SYST:ERR?"), '0,"No error"')
                inst.close()  # one instrument at a time

    def test_diagnostic_and_service_words_reach_the_chips(self):
        inst = self.start("1ch-20g")
        q = inst.client.query
        self.assertEqual(q("OUTP ON;:FREQ 5GHz;:DIAG:ALC:DAC 5000;:DIAG:ALC:DAC?"), "5000")
        self.assertEqual(self.channel(inst, lambda ch: ch["alc_dac"] == 5000)["alc_dac"], 5000)
        cases = (("DIAG:TAX 1,7.5", {"attenuation_b_db": 7.5}),
                 ("ta=40", {"attenuation_a_db": 31.5, "attenuation_b_db": 8.5}),
                 ("DIAG:POW:MIN", {"attenuation_a_db": 31.5, "alc_dac": 0}),
                 ("DIAG:POW:MAX", {"attenuation_a_db": 0.0, "alc_dac": 16383}))
        for command, stages in cases:
            with self.subTest(command=command):
                self.assertEqual(q(command + ";*OPC?" if ":" in command else command) or "1",
                                 "1")
                ch = self.channel(inst, lambda ch: all(ch[k] == v for k, v in stages.items()))
                self.assertEqual({k: ch[k] for k in stages}, stages)
        # The next power change starts from what the chips hold and levels again.
        self.assertEqual(q("DIAG:ALC:MARG 0;:POW -10;*OPC?"), "1")
        self.assertLessEqual(abs(dbm(self.channel(inst, lambda ch: abs(dbm(ch) + 10) <= 0.5))
                                 + 10), 0.5)
        self.assertEqual(q("SYST:ERR?"), '0,"No error"')
        self.assertEqual(q("POW:ATT 20;:SYST:ERR?"), '-241,"Hardware missing"')

    def test_power_extension_held_by_hand_keeps_the_level(self):
        inst = self.start("1ch-20g-pe")
        q = inst.client.query
        self.assertEqual(q("OUTP ON;:FREQ 5GHz;:POW -30;:POW:ATT:AUTO OFF;:POW:ATT 20;*OPC?"), "1")
        ch = self.channel(inst, lambda ch: ch["power_extension"]["attenuation_db"] == 20.0)
        self.assertEqual(ch["power_extension"]["attenuation_db"], 20.0)
        self.assertLessEqual(abs(dbm(ch) + 30), 0.5)
        self.assertEqual(q("POW:ATT?;:POW:ATT:AUTO?"), "20.000000;0")
        self.assertEqual(q("POW:ATT:AUTO ON;*OPC?"), "1")
        ch = self.channel(inst, lambda ch: ch["power_extension"]["attenuation_db"] != 20.0)
        self.assertLessEqual(abs(dbm(ch) + 30), 0.5)
        self.assertEqual(q("SYST:ERR?"), '0,"No error"')

    def test_lowering_never_raises_a_stage_before_the_update_and_raising_waits_for_it(self):
        for config in ("1ch-20g", "4ch-fs-gpib"):
            with self.subTest(config=config):
                inst = self.start(config)
                self.check_make_before_break(inst)
                inst.close()

    def check_make_before_break(self, inst):
        log = os.path.join(inst.root, "sim", "hardware.log")
        self.assertEqual(inst.client.query("OUTP ON;:FREQ 5GHz;:POW 0;*OPC?"), "1")
        self.channel(inst, lambda ch: abs(dbm(ch)) <= 0.5)
        for old, new in ((0, -10), (-10, 0), (0, -40), (-40, 5)):
            start = os.path.getsize(log)
            self.assertEqual(inst.client.query("POW %d;*OPC?" % new), "1")
            self.channel(inst, lambda ch: abs(dbm(ch) - new) <= 0.5)
            with open(log) as f:
                f.seek(start)
                lines = [LEVEL_LINE.search(l) for l in f]
            latches = [m for m in lines if m]
            self.assertTrue(latches, (old, new))
            first = int(latches[0].group(3))
            for m in latches:
                out = float(m.group(4))
                # No moment louder than both ends; lowering is never louder than before.
                self.assertLessEqual(out, max(old, new) + 0.1, m.group(0))
                if int(m.group(3)) == first and new > old:
                    self.assertLessEqual(out, old + 0.1, m.group(0))


if __name__ == "__main__":
    unittest.main()
