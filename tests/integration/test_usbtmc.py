"""The USBTMC link through its stand-in device: answers with END, chunked answers with the
more-bit, device clear during an answer, and no busy threads."""

import os
import sys
import time
import unittest

from krsim import Instrument

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
from chardev_client import CLEAR, DATA, ChardevClient, socket_path  # noqa: E402

LONG = ";".join(["*IDN?"] * 70)


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class UsbtmcTest(unittest.TestCase):
    """Also run for GPIB by test_gpib."""

    device = "usbtmc"
    serial = None

    @classmethod
    def setUpClass(cls):
        cls.inst = Instrument(serial=cls.serial)
        cls.inst.wait_running()
        cls.idn = cls.inst.query("*IDN?")

    @classmethod
    def tearDownClass(cls):
        cls.inst.close()

    def client(self):
        c = ChardevClient(socket_path(self.inst.root, self.device))
        self.addCleanup(c.close)
        return c

    def frames_until_end(self, c, timeout=10):
        frames = []
        deadline = time.monotonic() + timeout
        while True:
            f = c.recv_frame(max(0, deadline - time.monotonic()))
            self.assertIsNotNone(f, "answer incomplete: %r" % frames)
            if f.type == DATA:
                frames.append(f)
                if f.end:
                    return frames

    def test_query_answer_ends_with_end(self):
        c = self.client()
        self.assertEqual(c.query("*IDN?"), self.idn + "\n")
        self.assertEqual(c.query("*OPC?;*OPC?"), "1;1\n")

    def test_long_answer_in_chunks_with_end_only_on_the_last(self):
        c = self.client()
        c.write(LONG + "\n")
        c.request(1 << 20)
        frames = self.frames_until_end(c)
        self.assertGreaterEqual(len(frames), 3)
        self.assertEqual([f.end for f in frames], [False] * (len(frames) - 1) + [True])
        self.assertEqual(b"".join(f.payload for f in frames).decode(),
                         ";".join([self.idn] * 70) + "\n")

    def test_device_clear_during_an_answer(self):
        c = self.client()
        c.write(LONG + "\n")
        c.request(100)
        first = c.expect(DATA)
        self.assertEqual(len(first.payload), 100)
        self.assertFalse(first.end)
        c.send_frame(CLEAR)
        time.sleep(0.3)
        # Nothing of the old answer follows; the next query gets a fresh answer.
        self.assertEqual(c.query("*OPC?"), "1\n")
        self.assertEqual(c.query("SYST:ERR?"), '0,"No error"\n')

    def test_host_gone_mid_answer_leaves_the_link_working(self):
        c = ChardevClient(socket_path(self.inst.root, self.device))
        c.write(LONG + "\n")
        c.request(10)
        c.expect(DATA)
        c.close()
        time.sleep(0.3)
        d = self.client()
        answer = d.query("*OPC?")
        # What the departed host left unread may come first, as a message of its own; the new
        # query is answered after it.
        for _ in range(10):
            if answer is None or answer.endswith("1\n"):
                break
            more = d.read_message(5.0)
            if more is None:
                break
            answer += more.decode("latin-1")
        self.assertTrue(answer and answer.endswith("1\n"), answer)
        self.assertEqual(self.inst.query("*OPC?"), "1")

    def test_idle_instrument_uses_no_cpu(self):
        c = self.client()
        self.assertEqual(c.query("*OPC?"), "1\n")
        before = cpu_seconds(self.inst.proc.pid)
        time.sleep(3)
        self.assertLess(cpu_seconds(self.inst.proc.pid) - before, 0.3)


if __name__ == "__main__":
    unittest.main()


class ConsoleAtEndTest(unittest.TestCase):
    def test_closed_standard_input_does_not_spin_and_other_links_go_on(self):
        with Instrument() as inst:
            inst.wait_running()
            inst.proc.stdin.close()
            time.sleep(0.5)
            before = cpu_seconds(inst.proc.pid)
            time.sleep(3)
            self.assertLess(cpu_seconds(inst.proc.pid) - before, 0.3)
            with ChardevClient(socket_path(inst.root, "usbtmc")) as c:
                self.assertEqual(c.query("*OPC?"), "1\n")
