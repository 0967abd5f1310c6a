"""Sweeps played on the simulated hardware, judged from the output trace (sim/output-trace.csv):
every point at the programmed dwell in exact timer ticks, in the programmed order, started
at once, by *TRG or by an edge at the external trigger input (sim/control.sock)."""

import csv
import io
import os
import socket
import time
import unittest

from krsim import start_with_client


def points(inst):
    """Channel 0's played points in play order: the tick at which each began and the last
    trace row of it (what the point settled at)."""
    try:
        rows = csv.DictReader(io.StringIO(inst.file("sim/output-trace.csv")))
    except FileNotFoundError:
        return []
    out = {}
    for r in rows:
        p = int(r["point"])
        if r["channel"] == "0" and p >= 0:
            out.setdefault(p, dict(r, start=int(r["tick"])))["last"] = r
    # The newest point may still be changing.
    return [dict(v["last"], tick=v["start"]) for _, v in sorted(out.items())][:-1]


def control(inst, line):
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        s.settimeout(5)
        s.connect(os.path.join(inst.root, "sim", "control.sock"))
        s.sendall(line.encode() + b"\n")
        return s.recv(100).decode().strip()


class SweepTest(unittest.TestCase):
    def start(self, config="1ch-20g"):
        return start_with_client(self, config=config)

    def played(self, inst, count, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            got = points(inst)
            if len(got) >= count:
                return got
            time.sleep(0.05)
        return points(inst)

    def test_frequency_sweep_plays_every_point_at_its_dwell(self):
        # The standard controller's point timer and the FS FPGA's, each in its own ticks.
        for config in ("1ch-20g", "4ch-fs-gpib"):
            with self.subTest(config=config):
                self.check_frequency_sweep(self.start(config), config == "1ch-20g")

    def check_frequency_sweep(self, inst, generated_while_playing):
        q = inst.client.query
        self.assertEqual(q("OUTP ON;:FREQ:STAR 1GHz;STOP 2GHz;:SWE:POIN 5;DWEL 2ms;"
                           ":FREQ:MODE SWE;*OPC?"), "1")
        got = self.played(inst, 16)
        self.assertGreaterEqual(len(got), 16)
        # Only the FPGA marks where a pass ends.
        sweep = inst.hardware_state(
            None if generated_while_playing else
            lambda s: s["channels"][0]["sweep"]["passes"] >= 3)["channels"][0]["sweep"]
        tick_hz = sweep["tick_hz"]
        if generated_while_playing:
            self.assertIsNone(sweep["passes"])
        else:
            self.assertGreaterEqual(sweep["passes"], 3)
        ticks = [int(r["tick"]) for r in got]
        self.assertEqual({b - a for a, b in zip(ticks, ticks[1:])}, {round(2e-3 * tick_hz)})
        hz = [round(float(r["frequency_hz"]) / 1e6) for r in got]
        first = hz.index(1000, 1)
        self.assertEqual(hz[first:first + 10], [1000, 1250, 1500, 1750, 2000] * 2)
        self.assertTrue(all(r["rf"] == "on" for r in got))
        self.assertEqual(q("FREQ:MODE?"), "SWE")
        # The FS controller repeats one queued pass; the standard one's points are generated
        # as the sweep plays.
        progress = set()
        for _ in range(40 if generated_while_playing else 0):
            progress.add(q("SWE:PROG?"))
            time.sleep(0.02)
        self.assertEqual(len(progress) > 1, generated_while_playing)
        self.assertEqual(q("FREQ:MODE FIX;*OPC?"), "1")
        state = inst.hardware_state(lambda s: not s["channels"][0]["sweep"]["timer"])
        self.assertFalse(state["channels"][0]["sweep"]["timer"])
        self.assertEqual(q("SYST:ERR?"), '0,"No error"')
        inst.close()

    def test_list_plays_each_point_with_its_own_dwell(self):
        inst = self.start()
        q = inst.client.query
        self.assertEqual(q("OUTP ON;:LIST:FREQ 1GHz,2GHz,3GHz,4GHz,5GHz;POW -10,-5,0,-20,-30;"
                           "DWEL 1ms,2ms,1ms,3ms,1ms;DEL 0;:FREQ:MODE LIST;:POW:MODE LIST;*OPC?"),
                         "1")
        got = self.played(inst, 11)[:11]
        ticks = [int(r["tick"]) for r in got]
        ms = [round((b - a) / 132.096e6 * 1e3, 6) for a, b in zip(ticks, ticks[1:])]
        self.assertEqual(ms, [1, 2, 1, 3, 1] * 2)
        self.assertEqual([round(float(r["frequency_hz"]) / 1e9) for r in got[:5]], [1, 2, 3, 4, 5])
        self.assertEqual([round(float(r["output_dbm"])) for r in got[:5]], [-10, -5, 0, -20, -30])
        # A playing list is not edited; columns of different lengths are refused.
        self.assertEqual(q("LIST:DEL 0,0;:SYST:ERR?"), '-221,"Settings conflict"')
        self.assertEqual(q("FREQ:MODE FIX;:POW:MODE FIX;*OPC?"), "1")
        self.assertEqual(q("LIST:DEL 0,0;:FREQ:MODE LIST;*OPC?"), "1")
        self.assertEqual(q("SYST:ERR?"), '-226,"Lists not same length"')
        self.assertEqual(q("FREQ:MODE?;:LIST:FREQ:POIN?"), "FIX;5")

    def test_power_sweep_down_reaches_each_level(self):
        inst = self.start()
        q = inst.client.query
        self.assertEqual(q("OUTP ON;:FREQ 5GHz;:POW:STAR -20;STOP 0;:SWE:POIN 3;DWEL 5ms;"
                           "DIR DOWN;:POW:MODE SWE;*OPC?"), "1")
        got = self.played(inst, 6)
        levels = [round(float(r["output_dbm"])) if r["output_dbm"] != "off" else None
                  for r in got[:6]]
        self.assertEqual(levels, [0, -10, -20] * 2)
        self.assertEqual(q("POW:MODE FIX;:SWE:DIR UP;:SYST:ERR?"), '0,"No error"')

    def test_held_alc_and_fast_transitions(self):
        inst = self.start()
        q = inst.client.query
        # The preset of a sweep with the ALC held is a list of its own.
        user = q("LIST:FREQ?")
        self.assertEqual(q("OUTP ON;:POW:ALC ON;:POW:ALC:HOLD ON;:FREQ:STAR 1GHz;STOP 3GHz;"
                           ":SWE:POIN 3;DWEL 2ms;:FREQ:MODE SWE;*OPC?"), "1")
        hz = [round(float(r["frequency_hz"]) / 1e9) for r in self.played(inst, 4)[:3]]
        self.assertEqual(hz, [1, 2, 3])
        self.assertEqual(q("FREQ:MODE FIX;:POW:ALC:HOLD OFF;*OPC?"), "1")
        self.assertEqual(q("LIST:FREQ?"), user)
        inst.close()
        # A step the fast-transition option cannot make in the point time lengthens it and
        # flags the timing as questionable while the sweep runs.
        inst = self.start("2ch-fs-nec")
        q = inst.client.query
        self.assertEqual(q("OUTP ON;:FREQ:STAR 1GHz;STOP 10GHz;:SWE:POIN 2;DWEL 30us;"
                           ":FREQ:MODE SWE;*OPC?"), "1")
        self.assertEqual(q("STAT:QUES:COND?"), "4")
        self.assertEqual(q("FREQ:MODE FIX;*OPC?"), "1")
        self.assertEqual(q("STAT:QUES:COND?;:SYST:ERR?"), '0;0,"No error"')
        # In a list each step gets the point time it needs: 30 us within 2.2 GHz, else 100 us.
        self.assertEqual(q("LIST:FREQ 1GHz,1.1GHz,5GHz;:LIST:DWEL 30us,30us,30us;"
                           ":LIST:DEL 0,0,0;:FREQ:MODE LIST;*OPC?"), "1")
        self.assertEqual(q("STAT:QUES:COND?"), "4")
        ticks = {round(float(r["frequency_hz"]) / 1e8):
                 int(r["dwell_ticks"]) + int(r["delay_ticks"]) for r in self.played(inst, 7)[1:]}
        self.assertEqual(ticks, {10: 20000, 11: 6000, 50: 20000})
        self.assertEqual(q("FREQ:MODE FIX;*OPC?"), "1")

    def test_sweep_waits_for_its_trigger(self):
        inst = self.start()
        q = inst.client.query
        for source, fire in (("BUS", lambda: q("*TRG;*OPC?")),
                             ("EXT", lambda: control(inst, "external pos"))):
            with self.subTest(source=source):
                self.assertEqual(q("TRIG:SOUR %s;:OUTP ON;:SWE:POIN 3;DWEL 1ms;"
                                   ":FREQ:MODE SWE;*OPC?" % source), "1")
                time.sleep(0.3)
                self.assertEqual(
                    inst.hardware_state()["channels"][0]["sweep"]["points_played"], 0)
                fire()
                state = inst.hardware_state(
                    lambda s: s["channels"][0]["sweep"]["points_played"] >= 3)
                self.assertGreaterEqual(state["channels"][0]["sweep"]["points_played"], 3)
                self.assertEqual(q("FREQ:MODE FIX;:SYST:ERR?"), '0,"No error"')
        # A point trigger advances one point per trigger; a gate holds the timer while low.
        self.assertEqual(q("TRIG:SOUR BUS;TYPE POIN;:SWE:POIN 5;:FREQ:MODE SWE;*OPC?"), "1")
        for _ in range(3):
            q("*TRG;*OPC?")

        def played(state):
            return state["channels"][0]["sweep"]["points_played"]
        self.assertEqual(played(inst.hardware_state(lambda s: played(s) == 3, 3.0)), 3)
        time.sleep(0.3)
        self.assertEqual(played(inst.hardware_state()), 3)
        self.assertEqual(q("FREQ:MODE FIX;:TRIG:SOUR IMM;TYPE GATE;:FREQ:MODE SWE;*OPC?"), "1")
        time.sleep(0.3)
        self.assertEqual(played(inst.hardware_state()), 0)
        self.assertEqual(control(inst, "gate 1"), "ok")
        self.assertGreater(played(inst.hardware_state(lambda s: played(s) > 5)), 5)
        self.assertEqual(q("FREQ:MODE FIX;:SYST:ERR?"), '0,"No error"')
        self.assertEqual(control(inst, "nonsense"), "error: unknown stimulus")
        self.assertEqual(q("LFO:SOUR HIGH;*OPC?"), "1")
        self.assertEqual(inst.hardware_state(
            lambda s: s["trigger"]["output"] == "high")["trigger"]["output"], "high")


if __name__ == "__main__":
    unittest.main()
