"""Every query header of the command tree, sent to each ready configuration: each one answers
or queues an error within a second, so no client waits for an answer that never comes."""

import os
import re
import select
import time
import unittest

from krsim import Instrument, TcpClient, free_port

# The self test tunes every channel across its range for seconds; test_selftest checks it.
SLOW = {"*TST?", "TEST:FULL?", "TEST:FAST?"}

# The error query's answer at the end of a response line, after the answer it follows.
ERROR_AT_END = re.compile(rb'(^|;)(-?\d+),"[^"]*"\n$')


def query_headers(listing_dir):
    """The listed headers that have a query form, with optional keywords left out and
    numeric suffixes at their default."""
    headers = []
    for name in ("SCPI_Commands.txt", "SCPI_Not_Supp_Commands.txt"):
        with open(os.path.join(listing_dir, name)) as f:
            for line in f:
                line = line.strip()
                if not (line.endswith("?") or line.endswith("(?)")):
                    continue
                parts = line.replace("(?)", "").rstrip("?").split(":")
                header = ":".join(p for p in parts if not p.startswith("["))
                headers.append(header.replace("<n>", "") + "?")
    return headers


def response(client, timeout=1.0):
    """One response line, read over any definite-length block inside it."""
    data = b""
    deadline = time.monotonic() + timeout
    while not ERROR_AT_END.search(data):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([client.sock], [], [], left)[0]:
            return None
        chunk = client.sock.recv(65536)
        if not chunk:
            return None
        data += chunk
    return data


class QueryWalkTest(unittest.TestCase):
    def test_every_query_answers_or_fails_on_every_ready_configuration(self):
        for config in ("1ch-20g", "4ch-fs-gpib", "1ch-40g"):
            with self.subTest(config=config):
                inst = Instrument(config=config, port=free_port())
                self.addCleanup(inst.close)
                inst.wait_running()
                client = TcpClient(inst.port, timeout=20.0)
                self.addCleanup(client.close)
                self.assertEqual(client.query("DIAG:LIST:CMD;*OPC?", timeout=20.0), "1")
                headers = query_headers(os.path.join(inst.root, "media", "ram"))
                self.assertGreater(len(headers), 5000)
                silent, unanswered = [], []
                for header in headers:
                    if header in SLOW:
                        continue
                    client.send(("*CLS;%s;:SYST:ERR?\n" % header).encode())
                    data = response(client)
                    if data is None:
                        unanswered.append(header)
                        client.quiet(1.0)
                        continue
                    m = ERROR_AT_END.search(data)
                    # The error query's answer alone, "no error": the query said nothing.
                    if m.start() == 0 and m.group(1) == b"" and m.group(2) == b"0":
                        silent.append(header)
                self.assertEqual(unanswered, [])
                self.assertEqual(silent, [])
                inst.close()

    def test_answer_forms(self):
        inst = Instrument(config="1ch-20g", port=free_port())
        self.addCleanup(inst.close)
        inst.wait_running()
        client = TcpClient(inst.port)
        self.addCleanup(client.close)
        # Empty answers are empty lines; a name is stored without its quotes.
        self.assertEqual(client.query("SYST:NAME \"\";:SYST:NAME?"), "")
        self.assertEqual(client.query("SYST:NAME \"Bench 3\";:SYST:NAME?"), "Bench 3")
        # A block answer is a response unit of its own, ended by the terminator.
        self.assertEqual(client.query("DIAG:FW:LOGF?;*OPC?"), "#10;1")
        # Without GPIB its address is not a header of this instrument.
        self.assertEqual(client.query("SYST:COMM:GPIB:ADDR?;:SYST:ERR?"), '-113,"Undefined header"')
        self.assertEqual(client.query("PHAS:STAB?;:SYST:ERR?"), '-113,"Undefined header"')
        self.assertEqual(client.query("SYST:COMM:VXI:RTMO 5 ms;:SYST:COMM:VXI:RTMO?"),
                         "5.000000E-03")
        # The self-test report as a block, line feeds and all.
        with open(os.path.join(inst.root, "media", "ram", "selftest.txt"), "rb") as f:
            report = f.read()
        self.assertGreater(len(report), 0)
        client.send(b"TEST:FULL:REP?;:SYST:ERR?\n")
        length = str(len(report)).encode()
        self.assertEqual(response(client),
                         b"#%d%s%s;0,\"No error\"\n" % (len(length), length, report))
        client.send(b"MEM:RAM:TEST:DATA?;:SYST:ERR?\n")
        pattern = bytes(i & 0xFF for i in range(65536))
        self.assertEqual(response(client), b"#565536" + pattern + b';0,"No error"\n')

    def test_long_messages_are_cut_between_units(self):
        inst = Instrument(config="1ch-20g", port=free_port())
        self.addCleanup(inst.close)
        inst.wait_running()
        client = TcpClient(inst.port, timeout=30.0)
        self.addCleanup(client.close)
        answers = client.query(";".join(["*IDN?"] * 5000), timeout=30.0).split(";")
        self.assertEqual(len(answers), 5000)
        self.assertEqual(len(set(answers)), 1)
        settings = ";".join("FREQ %d MHz" % (1000 + i) for i in range(2000))
        self.assertEqual(client.query(settings + ";:FREQ?;:SYST:ERR?", timeout=30.0),
                         '2999000000.00000000000000000000;0,"No error"')


if __name__ == "__main__":
    unittest.main()
