"""The channel device end to end: settings sent over SCPI, checked in the simulated hardware
state (what the chips produce), not in the firmware's own variables."""

import json
import os
import re
import time
import unittest
from fractions import Fraction

from krsim import start_with_client

STANDARD_1C = "1C0-000710000-0008"  # 20 GHz board revision 1C, one channel
STANDARD_1A = "1C0-000510000-0009"  # 20 GHz board revision 1A
TWO_CHANNELS = "1C0-000B20000-0007"


def exact(text):
    """A decimal text as an exact fraction (the state file writes 20 fraction digits)."""
    return Fraction(text)


def dds_step(channel):
    """The tuning step at the output: one word of the synthesizing DDS (or DAC), scaled by
    the loop. Generous on the 20 GHz boards that divide the VCO by N1."""
    if channel.get("board") == "40g":
        return Fraction(1, 1000)
    clock = exact(channel["dds_clock_hz"])
    if channel["path"] == "direct" or not channel["r"]:
        return clock / 2**32
    return clock / 2**32 * channel["n2"] / channel["r"]


class ChannelTest(unittest.TestCase):
    def start(self, **kw):
        """The instrument, with its queries going over the raw socket (the console also
        carries the firmware's own messages)."""
        inst = start_with_client(self, **kw)
        inst.query = lambda command, timeout=20.0: inst.client.query(command, timeout)
        return inst

    def state(self, inst, until=None, timeout=10.0):
        """The simulated hardware state once until(state) holds."""
        last = inst.hardware_state(until, timeout)
        if last is None or (until is not None and not until(last)):
            self.fail("simulated state never matched; last: %s" % json.dumps(last, indent=1))
        return last

    def settle(self, inst, command):
        """Sends a program message and waits until the instrument has worked it off."""
        self.assertEqual(inst.query(command + ";*OPC?"), "1")

    def errors(self, inst):
        found = []
        for _ in range(20):
            e = inst.query("SYST:ERR?")
            if e.startswith("0,"):
                return found
            found.append(e)
        return found

    def tuned(self, inst, channel, hz, timeout=10.0):
        """Waits until channel (0-based) synthesizes hz within one tuning step; returns it."""
        want = exact(hz)

        def close(s):
            ch = s["channels"][channel]
            return ch["frequency_hz"] is not None and abs(exact(ch["frequency_hz"]) - want) <= dds_step(ch)

        return self.state(inst, close, timeout)["channels"][channel]


class ReadyConfigurationTest(ChannelTest):
    """What a person does first: set a frequency, switch RF on, look at the hardware."""

    def test_frequency_and_rf_on_every_ready_configuration(self):
        for config in ("1ch-20g", "4ch-fs-gpib", "1ch-40g"):
            with self.subTest(config=config):
                inst = self.start(config=config)
                self.settle(inst, "FREQ 12.345678901234GHz;:OUTP ON")
                ch = self.tuned(inst, 0, "12345678901.234")
                self.state(inst, lambda s: s["channels"][0]["rf"] == "on")
                # The instrument reports what the hardware really makes.
                reported = exact(inst.query("SOUR:FREQ:EXAC?"))
                self.assertLessEqual(abs(reported - exact(ch["frequency_hz"])), Fraction(1, 10**6))
                self.assertEqual(self.errors(inst), [])
                inst.close()


class BoardGenerationTest(ChannelTest):
    """Every output-board module tunes its simulated board."""

    SERIALS = [
        ("generic 12 GHz", "1B0-000310000-0012"),
        ("generic 6 GHz 1B1", "1A0-000210000-0015"),
        ("20 GHz 1A", STANDARD_1A),
        ("20 GHz 3B digital", "1C0-000M10000-0014"),
        ("40 GHz 2B digital", "1E0-000T10000-0013"),
    ]

    def test_each_board_tunes(self):
        for name, serial in self.SERIALS:
            with self.subTest(board=name):
                inst = self.start(serial=serial)
                self.settle(inst, "FREQ 3.3GHz;:OUTP ON")
                ch = self.tuned(inst, 0, "3300000000")
                self.state(inst, lambda s: s["channels"][0]["rf"] == "on")
                reported = exact(inst.query("SOUR:FREQ:EXAC?"))
                self.assertLessEqual(abs(reported - exact(ch["frequency_hz"])), Fraction(1, 10**6))
                self.assertEqual(self.errors(inst), [])
                inst.close()


class FrequencyPlanTest(ChannelTest):
    """Paths and exact frequencies across the bands of the 20 GHz board."""

    ROWS = [
        # frequency text, hertz as a decimal, path
        ("100 MHz", "100000000", "direct"),
        ("139.999999 MHz", "139999999", "direct"),
        ("140 MHz", "140000000", "band0"),
        ("2.999 GHz", "2999000000", "band0"),
        ("3 GHz", "3000000000", "band1"),
        ("7 GHz", "7000000000", "band2"),
        ("20 GHz", "20000000000", "band2"),
        ("1.000000000000000001 GHz", "1000000000.000000001", "band0"),
        ("12.345678901234 GHz", "12345678901.234", "band2"),
    ]

    def check_rows(self, serial):
        inst = self.start(serial=serial)
        self.settle(inst, "OUTP ON")
        for text, hz, path in self.ROWS:
            with self.subTest(serial=serial, frequency=text):
                self.settle(inst, "FREQ " + text)
                ch = self.tuned(inst, 0, hz)
                self.assertEqual(ch["path"], path)
                self.assertEqual(ch["rf"], "on")
        self.assertEqual(self.errors(inst), [])

    def test_revision_1c(self):
        self.check_rows(STANDARD_1C)

    def test_revision_1a(self):
        self.check_rows(STANDARD_1A)

    def test_filters_of_the_low_bands(self):
        inst = self.start(serial=STANDARD_1C)
        for text, hz, filt in (("100 MHz", "100000000", 0), ("300 MHz", "300000000", 1),
                               ("500 MHz", "500000000", 2), ("1 GHz", "1000000000", 4),
                               ("2 GHz", "2000000000", 5), ("2.5 GHz", "2500000000", 6)):
            with self.subTest(frequency=text):
                self.settle(inst, "FREQ " + text)
                self.assertEqual(self.tuned(inst, 0, hz)["filter"], filt)

    def test_out_of_range_is_clamped_without_error(self):
        inst = self.start(serial=STANDARD_1C)
        self.settle(inst, "FREQ 50 GHz")
        self.tuned(inst, 0, "20100000000")
        self.assertEqual(self.errors(inst), [])
        self.assertEqual(Fraction(inst.query("FREQ?")), Fraction(20100000000))


class RfStateTest(ChannelTest):
    def test_rf_off_silences_the_output(self):
        inst = self.start(serial=STANDARD_1C)
        self.assertNotEqual(self.state(inst)["channels"][0]["rf"], "on")
        self.settle(inst, "OUTP ON")
        self.state(inst, lambda s: s["channels"][0]["rf"] == "on")
        self.assertEqual(inst.query("OUTP?"), "1")
        self.settle(inst, "OUTP OFF")
        self.state(inst, lambda s: s["channels"][0]["rf"] != "on")
        self.assertEqual(inst.query("OUTP?"), "0")
        # A frequency change with RF off retunes but keeps the output silent.
        self.settle(inst, "FREQ 5 GHz")
        ch = self.tuned(inst, 0, "5000000000")
        self.assertNotEqual(ch["rf"], "on")


class SourceSelectionTest(ChannelTest):
    def test_suffix_beyond_the_channel_count(self):
        inst = self.start(serial=TWO_CHANNELS)
        self.settle(inst, "SOUR2:FREQ 3 GHz;:SOUR1:FREQ 2 GHz")
        self.tuned(inst, 1, "3000000000")
        self.tuned(inst, 0, "2000000000")
        inst.query("SOUR3:FREQ 4 GHz;*OPC?")
        self.assertEqual([e.split(",")[0] for e in self.errors(inst)], ["-114"])
        # Nothing changed, and a command without suffix still acts on channel 1.
        self.settle(inst, "FREQ 6 GHz")
        self.tuned(inst, 0, "6000000000")
        self.assertEqual(Fraction(inst.query("SOUR2:FREQ?")), Fraction(3000000000))

    def test_each_channel_of_the_four_channel_instrument(self):
        inst = self.start(config="4ch-fs-gpib")
        for c in range(4):
            self.settle(inst, "SOUR%d:FREQ %d GHz;:OUTP%d ON" % (c + 1, c + 2, c + 1))
        for c in range(4):
            with self.subTest(channel=c + 1):
                self.tuned(inst, c, str((c + 2) * 10**9))
                self.state(inst, lambda s, c=c: s["channels"][c]["rf"] == "on")
        inst.query("SOUR5:FREQ 1 GHz;*OPC?")
        self.assertEqual([e.split(",")[0] for e in self.errors(inst)], ["-114"])


class StoredSettingsTest(ChannelTest):
    def test_sav_and_rcl_restore_frequency_power_and_rf(self):
        inst = self.start(serial=TWO_CHANNELS)
        self.settle(inst, "SOUR1:FREQ 4.5 GHz;:SOUR2:FREQ 7.25 GHz;:SOUR2:POW -5;:OUTP2 ON;*SAV 3")
        self.settle(inst, "SOUR1:FREQ 1 GHz;:SOUR2:FREQ 1 GHz;:SOUR2:POW 0;:OUTP2 OFF")
        self.settle(inst, "*RCL 3")
        self.tuned(inst, 0, "4500000000")
        self.tuned(inst, 1, "7250000000")
        self.state(inst, lambda s: s["channels"][1]["rf"] == "on")
        self.assertEqual(float(inst.query("SOUR2:POW?")), -5.0)
        self.assertEqual(self.errors(inst), [])


class ReferenceTest(ChannelTest):
    def test_external_reference_steps_and_reapplies_every_channel(self):
        inst = self.start(serial=TWO_CHANNELS)
        self.settle(inst, "SOUR1:FREQ 2 GHz;:SOUR2:FREQ 3 GHz")
        self.settle(inst, "ROSC:SOUR EXT;:ROSC:EXT:FREQ 100MHz")
        self.state(inst, lambda s: s["reference"]["source"] == "external"
                   and exact(s["reference"]["frequency_hz"]) == 100000000)
        self.assertEqual(Fraction(inst.query("ROSC:EXT:FREQ?")), Fraction(100000000))
        self.tuned(inst, 0, "2000000000")
        self.tuned(inst, 1, "3000000000")
        self.settle(inst, "ROSC:SOUR INT")
        self.state(inst, lambda s: s["reference"]["source"] == "internal")


class SupervisionTest(ChannelTest):
    """Board temperatures set in the emulated sensor from outside the process."""

    def heat(self, inst, celsius):
        os.makedirs(os.path.join(inst.root, "sim"), exist_ok=True)
        with open(os.path.join(inst.root, "sim", "temperature-0"), "w") as f:
            f.write("%g\n" % celsius)

    def questionable(self, inst):
        return int(inst.query("STAT:QUES:COND?"))

    def wait_questionable(self, inst, bit, on, timeout=15.0):
        deadline = time.monotonic() + timeout
        while bool(self.questionable(inst) & bit) != on:
            if time.monotonic() > deadline:
                self.fail("questionable bit %d never became %s" % (bit, on))
            time.sleep(0.2)

    def test_over_temperature_shuts_rf_down_and_recovers(self):
        inst = self.start(serial=STANDARD_1C)
        self.settle(inst, "OUTP ON")
        self.state(inst, lambda s: s["channels"][0]["rf"] == "on")
        self.heat(inst, 80)
        self.wait_questionable(inst, 16, True)
        # The controller's switch blanks every output as the boards power down.
        self.state(inst, lambda s: s["channels"][0]["rf"] == "off" and s["channels"][0]["blanking"])
        self.assertEqual(inst.query("OUTP?"), "0")
        # Between the fan thresholds the shutdown holds.
        self.heat(inst, 31)
        time.sleep(5)
        self.assertTrue(self.questionable(inst) & 16)
        self.heat(inst, 25)
        self.wait_questionable(inst, 16, False)
        # RF stays off until someone switches it on again.
        self.assertEqual(inst.query("OUTP?"), "0")
        self.settle(inst, "OUTP ON")
        self.state(inst, lambda s: s["channels"][0]["rf"] == "on" and not s["channels"][0]["blanking"])


class HardwareLogTest(ChannelTest):
    def test_frequency_setting_shows_in_the_log_at_once(self):
        inst = self.start(serial=STANDARD_1C)
        path = os.path.join(inst.root, "sim", "hardware.log")
        start = os.path.getsize(path)
        sent = time.monotonic()
        self.settle(inst, "FREQ 1 GHz")
        pattern = re.compile(r"^[0-9.]+ #[0-9]+ ch1 AD9910 PROFILE0 = 0x[0-9A-F]{16} ftw=[0-9]+ "
                             r".*frequency_hz=[0-9.]+$", re.M)
        while True:
            with open(path) as f:
                f.seek(start)
                if pattern.search(f.read()):
                    break
            self.assertLess(time.monotonic() - sent, 1.0, "no PROFILE0 line in the log")
            time.sleep(0.02)


ULN_REFERENCE = "2C0-003B10000-0001"  # 20 GHz board 2B with the ultra-low-noise reference


class DeviceSlotTest(ChannelTest):
    def test_quick_blank_of_a_path_change_blanks_and_releases(self):
        inst = self.start(config="1ch-20g")
        log = os.path.join(inst.root, "sim", "hardware.log")
        self.settle(inst, "OUTP ON;:FREQ 2 GHz")
        self.tuned(inst, 0, "2000000000")
        with open(log) as f:
            before = f.read().count("blanking=true")
        # Band 0 to band 1: the path needs its settling time, so the change is blanked.
        self.settle(inst, "FREQ 5 GHz")
        self.tuned(inst, 0, "5000000000")
        with open(log) as f:
            self.assertGreater(f.read().count("blanking=true"), before)
        # The release came behind it: the next update shows the output on again.
        self.settle(inst, "FREQ 5.001 GHz")
        ch = self.tuned(inst, 0, "5001000000")
        self.assertEqual((ch["rf"], ch["blanking"]), ("on", False))
        self.assertEqual(self.errors(inst), [])

    def test_phase_compensation_limits_board_power_and_reference_slots(self):
        inst = self.start(serial=ULN_REFERENCE)
        self.assertEqual(float(inst.query("PHAS:COMP? MAX")), 1.0)
        self.assertEqual(float(inst.query("PHAS:COMP? MIN")), -1.0)
        self.settle(inst, "DIAG:BOAR:POW -5")
        self.assertEqual(float(inst.query("DIAG:BOAR:POW?")), -5.0)
        self.settle(inst, "ROSC:EXT:VAR:FREQ 12 MHz")
        self.assertEqual(Fraction(inst.query("ROSC:EXT:VAR:FREQ?")), 12000000)
        self.settle(inst, "ROSC:EXT:VAR:FREQ 1 GHz")  # clamped to the PLL's range
        self.assertEqual(Fraction(inst.query("ROSC:EXT:VAR:FREQ?")),
                         Fraction(inst.query("ROSC:EXT:VAR:FREQ? MAX")))
        self.settle(inst, "ROSC:COUT ON")
        self.assertEqual(inst.query("ROSC:COUT?"), "1")
        self.settle(inst, "ROSC:COUT:STAT OFF")
        self.assertEqual(inst.query("ROSC:COUT?"), "0")
        self.assertEqual(self.errors(inst), [])
        inst.close()
        # The standard reference board has neither.
        inst = self.start(config="1ch-20g")
        inst.query("ROSC:COUT ON;:ROSC:EXT:VAR:FREQ 12 MHz;*OPC?")
        self.assertEqual([e.split(",")[0] for e in self.errors(inst)], ["-113", "-113"])

    def test_diagnostic_leaves_read_the_device(self):
        inst = self.start(config="4ch-fs-gpib")
        self.assertEqual(inst.query("DIAG:TEMP:ALL:NAME?"), "CONT,CH1,CH2,CH3,CH4")
        self.assertEqual(len(inst.query("DIAG:TEMP:ALL?").split(",")), 5)
        # The band edges, their count and the band of the output agree.
        edges = [Fraction(e) for e in inst.query("DIAG:FREQ:BANDS:LIST?").split(",")]
        self.assertEqual(int(inst.query("DIAG:FREQ:BANDS?")), len(edges))
        self.settle(inst, "FREQ 4.5 GHz")
        self.assertEqual(int(inst.query("DIAG:FREQ:BANDS:ALC?")),
                         sum(1 for e in edges if e <= 4500000000))
        n1, n2 = int(inst.query("DIAG:PLL:IDIV?")), int(inst.query("DIAG:PLL:NDIV?"))
        self.assertEqual(int(inst.query("DIAG:PLL:MDIV?")), n1 * n2)
        self.assertEqual(inst.query("DIAG:SN?"), "1C0-0B0B40010-0002")
        self.assertEqual(inst.query("DIAG:FS:REG? 0"), "0")
        self.settle(inst, "DIAG:FS:SSTR 0A0B;:DIAG:RES:SCOP 2;:DIAG:LED:READ ON")
        self.assertEqual(self.errors(inst), [])
        # Dividers are read-only, odd stream text and an unknown reset cause are refused.
        inst.query("DIAG:PLL:NDIV 3;:DIAG:FS:SSTR 0A0;:DIAG:RES:SCOP 3;*OPC?")
        self.assertEqual([e.split(",")[0] for e in self.errors(inst)], ["-113", "-224", "-224"])

    def test_dds_loop_filter_and_reference_diagnostics_reach_the_chips(self):
        inst = self.start(config="1ch-20g")
        log = os.path.join(inst.root, "sim", "hardware.log")
        self.settle(inst, "FREQ 100 MHz")  # the direct path: the DDS is the output
        self.tuned(inst, 0, "100000000")
        word = int(inst.query("DIAG:DDS:FTW?"))
        self.settle(inst, "DIAG:DDS:FTW:STEP -1000")
        self.assertEqual(int(inst.query("DIAG:DDS:FTW?")), word - 1000)
        self.state(inst, lambda s: s["channels"][0]["ftw"] == word - 1000)
        self.settle(inst, "DIAG:DDS:TUNE 50 MHz")
        self.tuned(inst, 0, "50000000")
        self.settle(inst, "DIAG:DDS:FSC 200;:DIAG:DDS:OUTP OFF")
        self.assertEqual((inst.query("DIAG:DDS:FSC?"), inst.query("DIAG:DDS:OUTP?")), ("200", "0"))
        # Both writes reach the log in this order, the power-down after the current.
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            with open(log) as f:
                text = f.read()
            if re.search(r"AD9910 AUX_DAC = 0x000000C8\n(.*\n)*.*AD9910 CFR1 = .* powered_down=true", text):
                break
            time.sleep(0.02)
        else:
            self.fail("no full-scale current and power-down in the log")
        self.settle(inst, "DIAG:DDS:OUTP ON;:DIAG:PLL:LOOP 700")
        self.state(inst, lambda s: abs(s["channels"][0]["loop_filter_ohm"] - 700) < 4)
        # The reference loop sits in the middle of its converter's range while locked.
        self.assertLess(abs(int(inst.query("DIAG:REF:ADC:VTUN?")) - 8192), 2048)
        self.assertEqual(self.errors(inst), [])
        # Beyond half the DDS clock, a board that takes no comparison frequency, no converter
        # at the phase detector.
        inst.query("DIAG:DDS:TUNE 600 MHz;:DIAG:PLL:FREQ 1 GHz;:DIAG:REF:ADC:PD?;*OPC?")
        self.assertEqual([e.split(",")[0] for e in self.errors(inst)], ["-222", "-113", "-113"])



def calibration_table():
    """Two frequencies and two powers: the smallest table that validates."""
    return ("32512;0;1000000000;20000000000\n"
            "-100;100;100\n-100;7;7\n-100;1000;1100\n"
            "100;101;101\n100;7;7\n100;2000;2100\n")


def block(data):
    length = str(len(data))
    return "#%d%s%s" % (len(length), length, data)


class CalibrationFileTest(ChannelTest):
    def test_each_channel_has_its_own_file(self):
        inst = self.start(config="4ch-fs-gpib")
        # Without the root's factory tables only the file written here exists.
        for n in range(4):
            path = os.path.join(inst.root, "korvane", "dev", "calibration%d.csv" % n)
            if os.path.exists(path):
                os.remove(path)
        table = calibration_table()
        self.settle(inst, "DIAG2:CAL:WRIT " + block(table))
        self.assertEqual(self.errors(inst), [])
        with open(os.path.join(inst.root, "korvane", "dev", "calibration1.csv")) as f:
            self.assertEqual(f.read(), table)
        self.assertFalse(os.path.exists(os.path.join(inst.root, "korvane", "dev",
                                                     "calibration0.csv")))
        inst.client.send(b"DIAG2:CAL:READ?\n")
        answer = block(table) + "\n"
        self.assertEqual(inst.client.until(answer[-20:]).decode(), answer)
        self.settle(inst, "DIAG2:CAL:LOAD")
        self.assertEqual(self.errors(inst), [])
        # A broken table is not reported as loaded; a missing one neither.
        self.settle(inst, "DIAG2:CAL:WRIT " + block("32512;0;12a\n"))
        self.settle(inst, "DIAG3:CAL:LOAD")
        self.assertEqual([e.split(",")[0] for e in self.errors(inst)], ["-200", "-200"])


if __name__ == "__main__":
    unittest.main()
