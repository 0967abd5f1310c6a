"""The chirp over a client on the 20 GHz board: the DDS ramp between the sweep's start and
stop in the time set and in each direction, ended by the fixed mode; a counted chirp's timer;
the values and ranges refused, and the board without a ramp."""

import unittest

from krsim import start_with_client


def chirp(state):
    return state["channels"][0]["chirp"]


class ChirpTest(unittest.TestCase):
    def test_ramp_directions_counted_chirp_and_fixed_mode(self):
        inst = start_with_client(self, config="1ch-20g")
        q = inst.client.query
        self.assertEqual(q("OUTP ON;:FREQ:STAR 10GHz;:FREQ:STOP 10.1GHz;:CHIR:TIME 200us;"
                           ":FREQ:MODE CHIRP;*OPC?"), "1")
        c = chirp(inst.hardware_state(lambda s: chirp(s)["ramping"]))
        self.assertAlmostEqual(float(c["low_hz"]), 10e9, delta=1)
        self.assertAlmostEqual(float(c["high_hz"]), 10.1e9, delta=1)
        self.assertAlmostEqual(c["ramp_time_s"], 200e-6, delta=0.5e-6)
        self.assertEqual(c["direction"], "up")
        # A change while it runs restarts it with the new setting.
        for name, shown in (("DOWN", "down"), ("UPD", "updown"), ("DOWNUP", "downup")):
            self.assertEqual(q("CHIR:DIR %s;*OPC?" % name), "1")
            self.assertEqual(chirp(inst.hardware_state(
                lambda s: chirp(s)["direction"] == shown))["direction"], shown)
        self.assertEqual(q("FREQ:MODE FIX;*OPC?"), "1")
        state = inst.hardware_state(lambda s: not chirp(s)["ramping"])
        self.assertFalse(chirp(state)["ramping"])
        self.assertAlmostEqual(float(state["channels"][0]["frequency_hz"]), 1e9, delta=1)

        # Three chirps of 1 ms each trigger: the timer period holds all three.
        self.assertEqual(q("CHIR:DIR UP;COUN 3;TIME 1ms;:FREQ:MODE CHIRP;*OPC?"), "1")
        state = inst.hardware_state(
            lambda s: chirp(s)["ramping"] and s["channels"][0]["sweep"]["point_time_s"] > 2e-3)
        self.assertAlmostEqual(state["channels"][0]["sweep"]["point_time_s"], 3e-3, delta=1e-8)
        self.assertAlmostEqual(chirp(state)["ramp_time_s"], 1e-3, delta=2e-6)
        self.assertEqual(q("FREQ:MODE?"), "CHIR")
        self.assertEqual(q("SYST:ERR:ALL?"), '0,"No error"')
        inst.close()

    def test_refused_values_and_the_board_without_a_ramp(self):
        inst = start_with_client(self, config="1ch-20g")
        q = inst.client.query
        # The limits clamp; a range wider than the DDS can ramp is refused.
        self.assertEqual(q("CHIR:COUN 0;COUN?;:CHIR:COUN 40000;COUN?;:CHIR:POIN 1;POIN?"),
                         "1;32767;2")
        self.assertEqual(q("FREQ:STAR 10GHz;:FREQ:STOP 20GHz;:FREQ:MODE CHIRP;*OPC?"), "1")
        self.assertEqual(q("SYST:ERR?"), '-221,"Settings conflict"')
        self.assertEqual(q("FREQ:MODE?"), "FIX")
        self.assertFalse(chirp(inst.hardware_state())["ramping"])
        self.assertEqual(q("CHIR:TIME fast;*OPC?"), "1")
        self.assertEqual(q("SYST:ERR?"), '-131,"Invalid suffix"')
        inst.close()

        inst = start_with_client(self, config="1ch-40g")
        self.assertEqual(inst.client.query("FREQ:MODE CHIRP;*OPC?;:SYST:ERR?;:FREQ:MODE?"),
                         '1;-113,"Undefined header";FIX')
        inst.close()

        # The FPGA's timer holds about 21 s: longer counted chirps are refused, not cut.
        inst = start_with_client(self, config="2ch-fs-nec")
        q = inst.client.query
        q("FREQ:STAR 10GHz;:FREQ:STOP 10.1GHz;:CHIR:COUN 30000;:CHIR:TIME 1ms;*OPC?")
        self.assertEqual(q("FREQ:MODE CHIRP;*OPC?;:SYST:ERR?;:FREQ:MODE?"),
                         '1;-222,"Data out of range";FIX')
        inst.close()


if __name__ == "__main__":
    unittest.main()
