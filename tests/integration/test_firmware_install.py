"""Firmware installation as a client drives it: the package uploaded as block data, then the
update query; a compatible package ends the process the orderly way after the installer has
been started, an incompatible or an interrupted one is deleted and never installed."""

import os
import time
import unittest

from krsim import TcpClient, start_with_client

PACKAGE = "root/rivezarudorade.tar"


def package(models):
    return b"\x1f\x8b binary part\n" + b"x" * 300 + b"\npackage_device," + models + b",end\n"


def block(data):
    length = str(len(data)).encode()
    return b"SYST:FIRM:DATA #" + str(len(length)).encode() + length + data + b"\n"


class FirmwareInstallTest(unittest.TestCase):
    def test_packages_are_checked_and_only_a_complete_compatible_one_installs(self):
        inst = start_with_client(self, config="1ch-20g")
        q = inst.client.query
        package_file = os.path.join(inst.root, PACKAGE)
        # A model that only contains the instrument's name is another model.
        inst.client.send(block(package(b"ORBX20GX,ORBX20")))
        self.assertEqual(q("SYST:FIRM:UPD?"), "0")
        self.assertFalse(os.path.exists(package_file))

        # An upload cut off by the client going away leaves no package to install.
        data = block(package(b"ORBX20G"))
        inst.client.send(data[:len(data) // 2])
        time.sleep(0.2)
        inst.client.close()
        inst.client = TcpClient(inst.port, timeout=20.0)
        self.addCleanup(inst.client.close)
        self.assertEqual(inst.client.query("SYST:FIRM:UPD?"), "0")
        self.assertFalse(os.path.exists(package_file))
        self.assertEqual(inst.client.query("SYST:ERR?"), '0,"No error"')

        # A complete, compatible package: the installer starts and the process ends the
        # way SIGTERM ends it, about 2 s after the answer.
        inst.client.send(data)
        self.assertEqual(inst.client.query("SYST:FIRM:UPD?"), "1")
        answered = time.monotonic()
        self.assertEqual(inst.proc.wait(15), 0)
        self.assertGreater(time.monotonic() - answered, 1.5)
        self.assertIn("exit_KR()", inst.output)
        self.assertEqual(inst.file("media/ram/kr_framework_status").strip(),
                         "exit_success")
        self.assertIn("janitor.sh", inst.file("media/ram/sim_actions.log"))


if __name__ == "__main__":
    unittest.main()
