"""The command set over the raw SCPI socket: headers of every subtree reach their leaves, the
compound path is remembered within a message, channels are selected by suffix, and leaves whose
device operations no module provides answer through the fallbacks."""

import os
import unittest
import xml.etree.ElementTree as ET

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

    def test_settings_export_as_block_and_its_failure(self):
        c = self.client
        c.send("FREQ:STAR 3GHz;:DIAG:CONF?\n")
        answer = c.until(b"</configuration>\n", timeout=10)
        digits = int(answer[1:2])
        self.assertEqual(int(answer[2:2 + digits]), len(answer) - 2 - digits)
        self.assertEqual(c.line(), "\n")  # the message terminator after the block
        root = ET.fromstring(answer[2 + digits:])
        self.assertEqual(root.find("frequency_settings").get("start_frequency"),
                         "3000000000.00000000000000000000")
        self.assertEqual(root.find("channel_settings").get("num_channels_supported"), "2")
        # No replacement file can be made: an error and no block, not the last export.
        export = os.path.join(self.inst.root, "media/ram/HW_options_configuration.xml")
        os.mkdir(export + ".tmp")
        try:
            self.assertEqual(c.query("DIAG:CONF?;*OPC?"), "1")
        finally:
            os.rmdir(export + ".tmp")
        self.assertEqual(self.errors(), '-200,"Execution error"')

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


if __name__ == "__main__":
    unittest.main()
