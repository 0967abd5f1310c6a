"""The command set over the raw SCPI socket: headers of every subtree reach their leaves, the
compound path is remembered within a message, channels are selected by suffix, and leaves whose
device operations no module provides answer through the fallbacks."""

import os
import unittest

from krsim import Instrument, TcpClient, free_port

NO_ERROR = '0,"No error"'
UNDEFINED = '-113,"Undefined header"'


class CommandSetTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Two channels, so that the suffixes 1 and 2 of the examples both exist.
        cls.inst = Instrument(port=free_port(), serial="1C0-000B20000-0001")
        cls.inst.wait_running()
        cls.client = TcpClient(cls.inst.port)

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        cls.inst.close()

    def errors(self):
        return self.client.query("SYST:ERR:ALL?")

    def test_compound_path_memory(self):
        c = self.client
        for message in ("SOUR:FREQ:CW 1GHz;MODE CW", "SOUR2:FREQ:CW 1GHz;STEP 1MHz;MODE FIX",
                        "FREQ:STAR 1GHz;STOP 2GHz;:POW:STAR -10;STOP 0"):
            c.send(message + "\n")
            self.assertEqual(self.errors(), NO_ERROR, message)
        # The path stays below FREQuency: MODE is found there, a root header is not.
        c.send("SOUR:FREQ:CW 1GHz;STAT:OPER:ENAB 1\n")
        self.assertEqual(self.errors(), UNDEFINED)
        # A leading colon starts again at the root.
        c.send("SOUR:FREQ:CW 1GHz;:STAT:OPER:ENAB 1\n")
        self.assertEqual(self.errors(), NO_ERROR)

    def test_queries_answer_or_queue_an_error(self):
        c = self.client
        rows = {
            "SOUR:AM:STATe?": "0",
            "SYST:COMM:LAN:RTMO?": "INF",
            "mrf/": "0",
            "*OPC?": "1",
        }
        for query, answer in rows.items():
            self.assertEqual(c.query(query), answer, query)
        self.assertEqual(self.errors(), NO_ERROR)
        # Leaves of other instrument kinds: no made-up answer, -113 instead.
        for query in ("SENS:PN:REFerences3?",
                      "CALC:AN:FN:PN:TRACe:NOISe:SPUR:POWer:FREQuency?"):
            self.assertEqual(c.query(query + ";:SYST:ERR?"), '-113,"Undefined header"', query)
        self.assertRegex(c.query("*OPT?"), r"^[0-9A-Z,]+$")

    def test_every_root_is_reached(self):
        c = self.client
        for message in ("OUTP2:STAT OFF", "OUTP:BLAN ON", "MEM:FILE:LIST:DEL ALL", "DISP:ENAB 1",
                        "MEAS:NOIS:FD", "CONF:MODE PN", "SENS:PN:RESet", "TRIG:SOUR IMM",
                        "TRIG:SEQ:DEL 1ms", "INIT:CONT ON", "ABOR", "UNIT:POW DBM",
                        "STAT:NOIS ON", "DIAG2:LED:ON", "SOUR:PULM:INT:PER 1us",
                        "POW:LEV:IMM:AMPL -3", "*WAI", "*TRG", "SYST:LOCK", "SYST:LOCK:REL"):
            c.send(message + "\n")
            self.assertEqual(self.errors(), NO_ERROR, message)

    def test_refusals(self):
        c = self.client
        for message, error in (("NO:SUCH:HEADER", UNDEFINED), ("FREQ:EXAC 1GHz", UNDEFINED),
                               ("CALC:PN:TRAC:TAU:NOIS?", UNDEFINED),
                               ("alcadcx/", UNDEFINED),
                               ("*IDN? 1", '-108,"Parameter not allowed"'),
                               ("TRIG:SOUR NEVER", '-224,"Illegal parameter value"'),
                               # No front panel is connected to take a raw update line.
                               ("DIAG:HC 'SYST:LOCK'", '-200,"Execution error"')):
            c.send(message + "\n")
            self.assertEqual(self.errors(), error, message)
        # The key trigger is dropped silently when it does not come from the front panel.
        c.send("TRIG:KEY\n")
        self.assertEqual(self.errors(), NO_ERROR)

    def test_listing_holds_every_documented_header(self):
        self.assertEqual(self.client.query("DIAG:LIST:CMD;*OPC?", timeout=20.0), "1")
        ram = os.path.join(self.inst.root, "media", "ram")
        listed = set()
        for name in ("SCPI_Commands.txt", "SCPI_Not_Supp_Commands.txt"):
            with open(os.path.join(ram, name)) as f:
                listed.update(f.read().splitlines())
        here = os.path.dirname(os.path.abspath(__file__))
        with open(os.path.join(here, "..", "scpi", "documented_headers.txt")) as f:
            documented = [h for h in f.read().splitlines() if h and not h.startswith("#")]
        self.assertGreater(len(documented), 150)
        self.assertEqual([h for h in documented if h not in listed], [])


if __name__ == "__main__":
    unittest.main()
