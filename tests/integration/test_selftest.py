"""The self test over a client: it tunes the simulated channels, reads their level controller
and VCO converters, and reports what it found; a stimulus file moves a reading out of its
limits."""

import os
import unittest

from krsim import Instrument

REPORT = "/media/ram/selftest.txt"


def point_lines(report, code="201"):
    """The point lines of channel 1: (power, frequency, controller, vco, failed)."""
    rows = []
    for line in report.split("\r\n"):
        fields = line.split(";")
        if fields[0] == code:
            rows.append((float(fields[1]), float(fields[2]), int(fields[3]), int(fields[6]),
                         int(fields[7])))
    return rows


class SelftestTest(unittest.TestCase):
    def start(self, config):
        inst = Instrument(config=config)
        self.addCleanup(inst.close)
        inst.wait_running()
        return inst

    def stimulus(self, inst, name, value):
        path = os.path.join(inst.root, "sim", name)
        with open(path, "w") as f:
            f.write("%d\n" % value)
        self.addCleanup(lambda: os.path.exists(path) and os.remove(path))

    def test_healthy_channels_pass_and_the_report_holds_every_point(self):
        for config in ("1ch-20g", "1ch-40g", "1ch-20g-pe"):
            with self.subTest(config=config):
                inst = self.start(config)
                self.assertEqual(inst.query("*TST?", timeout=120), "0")
                report = inst.file(REPORT)
                lines = report.split("\r\n")
                self.assertEqual(lines[:2], ["*TST? selftest report", "1;2"])
                self.assertTrue(lines[2].startswith("2;*Korvane"))
                self.assertEqual(lines[5], "5;1;1")
                self.assertEqual(lines[6], "6;100;16200;100;15700")
                self.assertTrue(lines[10].startswith("91;"))
                self.assertEqual(lines[-2:], ["999;0", ""])
                rows = point_lines(report)
                # Three power points (the calibration's zone ends, the last dropped) at
                # every frequency from 300 kHz up to the top in 100 MHz steps.
                powers = sorted({r[0] for r in rows})
                self.assertEqual(len(powers), 3)
                frequencies = sorted({r[1] for r in rows})
                self.assertEqual(frequencies[:3], [300e3, 100e6, 200e6])
                self.assertEqual(len(rows), 3 * len(frequencies))
                self.assertFalse([r for r in rows if r[4]])
                self.assertTrue(any(r[3] > 0 for r in rows), "no VCO reading")
                self.assertEqual(inst.query("TEST:FAST?", timeout=60), "0")
                self.assertEqual(inst.file(REPORT), "*TST? selftest report\r\n999;0\r\n")
                self.assertEqual(inst.query("SYST:ERR?"), '0,"No error"')
                # One instrument at a time: the next would find the VXI-11 ports taken.
                inst.close()

    def test_readings_out_of_limits_fail_except_where_they_do_not_count(self):
        inst = self.start("1ch-20g")
        self.stimulus(inst, "alc-adc-0", 15701)
        self.assertEqual(inst.query("TEST:FULL?", timeout=120), "-1")
        rows = point_lines(inst.file(REPORT))
        top = sorted({r[0] for r in rows})[-2:]
        for power, frequency, controller, _, failed in rows:
            self.assertEqual(controller, 15701)
            # At 10 MHz and below the last two power points are not counted.
            self.assertEqual(failed, 0 if frequency <= 10e6 and power in top else 1,
                             (power, frequency))
        self.assertTrue(inst.file(REPORT).endswith("999;-1\r\n"))
        self.assertEqual(inst.query("TEST:FAST?", timeout=60), "-1")

        # A VCO reading of 0 means no reading; one above its limit fails with bit 1.
        self.stimulus(inst, "alc-adc-0", 8000)
        self.stimulus(inst, "vco-adc-0", 0)
        self.assertEqual(inst.query("TEST:FAST?", timeout=60), "0")
        self.stimulus(inst, "vco-adc-0", 16300)
        self.assertEqual(inst.query("TEST:FAST?", timeout=60), "-2")
        self.assertEqual(inst.query("SYST:ERR?"), '0,"No error"')

        # A report that cannot be written: no test, -1.
        report = os.path.join(inst.root, REPORT.lstrip("/"))
        os.remove(report)
        os.mkdir(report)
        self.assertEqual(inst.query("*TST?", timeout=60), "-1")


if __name__ == "__main__":
    unittest.main()
