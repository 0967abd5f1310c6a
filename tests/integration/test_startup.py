"""The firmware process as a whole: command line, start-up order, console link, power-on
settings file, signals and the run-state file."""

import os
import random
import shutil
import signal
import subprocess
import time
import unittest

from krsim import BINARY, Instrument, make_root

STARTUP_ORDER = [
    "Boot delay (OCXO startup time)... \n",
    "Done. (Boot delay)\n",
    "Device = ",
    "Initialising SCPI link list...\n",
    "Done. (Initialising SCPI link list)\n",
    "Initialising Device...\n",
    "device_init done...\n",
    "Initialising HC link...\n",
    "Done. (Initialising HC link)\n",
    "Done. (Initialising Device)\n",
    "Init console link, processing device defaults command file\n",
    "Init socket link\n",
    "Init VXI links\n",
    "Start VXI thread\n",
    "Init USB link...\n",
    "Done. (Initialising USB link)\n",
    "Init GPIB link...\n",
    "Done. (Initialising GPIB link)\n",
    "\nDevice is running!\n",
]


def link_names(output):
    return [line.split("<", 1)[1].rstrip(">") for line in output.splitlines()
            if "link name: <" in line]


class StartupTest(unittest.TestCase):
    def test_startup_messages_in_order_and_console_answers(self):
        with Instrument() as inst:
            inst.wait_running()
            out = inst.output
            pos = 0
            for message in STARTUP_ORDER:
                i = out.find(message, pos)
                self.assertGreaterEqual(i, 0, "missing or out of order: %r\n%s" % (message, out))
                pos = i + len(message)
            self.assertIn("    Device without HC\n", out)
            self.assertIn("    Device without GPIB\n", out)
            self.assertEqual(link_names(out), ["File", "Console", "Socket Port 18",
                                               "VXI-11 Channel A", "VXI-11 Channel B", "USB"])
            idn = inst.query("*IDN?")
            self.assertEqual(idn, "Korvane AG,ORBX20G,1C0-000B10000-0001,0.4.204")
            self.assertEqual(inst.query("*IDN?;*OPC?"), idn + ";1")
            self.assertEqual(inst.file("/media/ram/kr_framework_status").strip(), "running")
            self.assertEqual(inst.file("/media/ram/selftest.txt"), "*TST? selftest report\r\n1;0\r\n")

    def test_front_panel_and_gpib_links_when_configured(self):
        # Position 4 '4': HC panel on the newer controller; position 11 '1': GPIB fitted.
        with Instrument(serial="1C0-400B10010-0001") as inst:
            inst.wait_running()
            out = inst.output
            self.assertIn("    Device with HC\n", out)
            self.assertIn("    Device with GPIB\n", out)
            self.assertEqual(link_names(out)[0], "HC Front Panel")
            self.assertEqual(link_names(out)[-1], "GPIB")

    def test_sigterm_leaves_exit_success(self):
        with Instrument() as inst:
            inst.wait_running()
            self.assertEqual(inst.stop(signal.SIGTERM), 0)
            # exit_KR sends itself a SIGTERM that another thread may take: it must not
            # start a second exit (which rewrote the run state as the process ended).
            self.assertEqual(inst.output.count("SIGINT or SIGTERM\n"), 1)
            self.assertEqual(inst.output.count("exit_KR()\n"), 1)
            self.assertEqual(inst.file("/media/ram/kr_framework_status").strip(), "exit_success")

    def test_unexpected_signal_leaves_exit_failure(self):
        with Instrument() as inst:
            inst.wait_running()
            inst.stop(signal.SIGUSR1)
            self.assertIn("Got signal 10\n", inst.output)
            self.assertEqual(inst.output.count("exit_KR()\n"), 1)
            self.assertEqual(inst.file("/media/ram/kr_framework_status").strip(), "exit_failure")

    def test_ignored_signal_keeps_running(self):
        with Instrument() as inst:
            inst.wait_running()
            inst.proc.send_signal(signal.SIGPIPE)
            inst.wait_for("Signal 13: broken pipe (ignored)\n")
            self.assertEqual(inst.query("*OPC?"), "1")

    def test_sigterm_during_storage_scripts_ends_with_exit_success(self):
        # Every *SAV runs the storage scripts through the shell; a SIGTERM that lands there
        # used to deadlock its handler on the shell lock.
        for run in range(20):
            with self.subTest(run=run), Instrument() as inst:
                inst.wait_running()
                inst.send("*SAV 1\n" * 200)
                time.sleep(random.uniform(0.0, 0.05))
                self.assertEqual(inst.stop(signal.SIGTERM), 0)
                self.assertEqual(inst.file("/media/ram/kr_framework_status"), "exit_success\n")

    def test_broken_console_is_ignored_and_sigterm_still_ends(self):
        root = make_root()
        try:
            out_r, out_w = os.pipe()
            proc = subprocess.Popen([BINARY], stdin=subprocess.PIPE, stdout=out_w,
                                    stderr=subprocess.STDOUT, env=dict(os.environ, KORVANE_ROOT=root))
            os.close(out_w)
            seen = b""
            while b"Device is running!" not in seen:
                seen += os.read(out_r, 65536)
            os.close(out_r)
            proc.stdin.write(b"*IDN?\n" * 50)
            proc.stdin.flush()
            time.sleep(0.3)
            cpu = lambda: sum(int(v) for v in open("/proc/%d/stat" % proc.pid).read()
                              .rsplit(")", 1)[1].split()[11:13])
            before = cpu()
            time.sleep(1.0)
            self.assertLess(cpu() - before, 20, "a thread spins on the broken console")
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(10), 0)
            with open(os.path.join(root, "media/ram/kr_framework_status")) as f:
                self.assertEqual(f.read(), "exit_success\n")
        finally:
            if proc.poll() is None:
                proc.kill()
            shutil.rmtree(root, ignore_errors=True)


class CommandLineTest(unittest.TestCase):
    def test_verbose(self):
        with Instrument(args=["-v"]) as inst:
            inst.wait_running()
            self.assertTrue(inst.output.startswith("verbose mode\n"))

    def test_fallback_mode(self):
        files = {"/korvane/cust/sav0": "*OPC?\n"}
        with Instrument(args=["-f"], files=files) as inst:
            inst.wait_running()
            out = inst.output
            self.assertTrue(out.startswith("fallback mode\n"))
            self.assertIn("loadDefaultSettings(): skipped (fallback mode)\n", out)
            self.assertEqual(inst.query("*IDN?"), "Korvane AG,DEVICE,1C0-000B10000-RECO,0.4.204")

    def test_arguments_that_change_nothing(self):
        for args in (["-vd"], ["-v", "-f"], ["-x"], ["v"]):
            with self.subTest(args=args), Instrument(args=args) as inst:
                inst.wait_running()
                out = inst.output
                self.assertNotIn("verbose mode", out)
                self.assertNotIn("fallback mode", out)
                self.assertEqual(inst.proc.poll(), None)  # not daemonised: still our child

    def test_boot_delay_file(self):
        with Instrument(files={"/korvane/dev/bootdelay": "75"}) as inst:  # out of range: 0
            inst.wait_running()


class PowerOnSettingsTest(unittest.TestCase):
    def test_settings_file_runs_on_file_link_and_its_errors_are_dropped(self):
        files = {"/korvane/cust/sav0": "*OPC?\nBOGUS:COMMAND\n*IDN?;*OPC?\n"}
        with Instrument(files=files) as inst:
            inst.wait_running()
            out = inst.output
            begin = out.index("Init console link, processing device defaults command file\n")
            end = out.index("Init socket link\n")
            self.assertIn("1\n", out[begin:end])
            self.assertIn(";1\n", out[begin:end])
            self.assertEqual(inst.query("SYST:ERR?"), '0,"No error"')

    def test_kill_during_sav_leaves_the_old_or_the_new_settings(self):
        root = make_root()
        try:
            sav0 = os.path.join(root, "korvane/cust/sav0")
            for run in range(60):
                with Instrument(root=root) as inst:
                    inst.wait_running()
                    if run:
                        # The restart came up with the settings stored last.
                        self.assertEqual(float(inst.query("FREQ?")), 1000000000 + run - 1)
                    inst.send("FREQ %d;*SAV 0;*OPC?\n" % (1000000000 + run))
                    inst.wait_for("1\n", start=len(inst.output))
                    inst.send(("FREQ %d;*SAV 0\n" % (2000000000 + run)) * 20)
                    time.sleep(random.uniform(0.0, 0.03))
                    inst.proc.kill()
                    inst.proc.wait()
                    content = open(sav0).read()
                    self.assertTrue(content.endswith("\n\n"), repr(content))
                    self.assertIn(":OUTP1:STAT", content)
                    if "2000000" in content:
                        # A later *SAV completed before the kill: restore the one the next
                        # run expects.
                        with open(sav0, "w") as f:
                            f.write(content.replace(":SOUR1:FREQ 2", ":SOUR1:FREQ 1"))
        finally:
            shutil.rmtree(root, ignore_errors=True)

    def test_console_errors_are_reported(self):
        with Instrument() as inst:
            inst.wait_running()
            inst.send("NOSUCH\n")
            self.assertEqual(inst.query("SYST:ERR?"), '-113,"Undefined header"')


if __name__ == "__main__":
    unittest.main()
