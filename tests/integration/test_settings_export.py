"""The capabilities and settings export through pyvisa-py: the document in its order, a family
the instrument lacks, repeatability, and a save that fails."""

import os
import unittest
import xml.etree.ElementTree as ET

from krsim import start_with_client

ELEMENTS = ["general", "channel_settings", "AVIO", "frequency_settings", "power_settings",
            "sweep_settings", "list_settings", "pulse_modulation_settings", "trigger_settings",
            "chirp_settings", "frequency_modulation_settings", "phase_modulation_settings",
            "frequency_reference_settings", "amplitude_modulation_settings",
            "low_frequency_output_settings"]


class SettingsExportTest(unittest.TestCase):
    def setUp(self):
        try:
            import pyvisa
        except ImportError:
            self.skipTest("pyvisa is not installed (tools/setup.sh installs it)")
        self.inst = start_with_client(self, config="1ch-20g")
        self.inst.client.close()  # one client at a time: pyvisa-py takes over
        manager = pyvisa.ResourceManager("@py")
        self.addCleanup(manager.close)
        self.visa = manager.open_resource("TCPIP::127.0.0.1::%d::SOCKET" % self.inst.port,
                                          read_termination="\n", write_termination="\n",
                                          timeout=10000)
        self.addCleanup(self.visa.close)

    def export(self):
        return bytes(self.visa.query_binary_values("DIAG:CONF?", datatype="B", container=bytes))

    def test_document_order_absent_family_repeat_and_failure(self):
        self.visa.write("FREQ:STAR 3GHz")
        first = self.export()
        root = ET.fromstring(first)
        self.assertEqual(root.tag, "configuration")
        # No fast channel programming on this instrument: no fcp_settings.
        self.assertEqual([e.tag for e in root], ELEMENTS)
        self.assertEqual(root.find("frequency_settings").get("start_frequency"),
                         "3000000000.00000000000000000000")
        am = root.find("amplitude_modulation_settings")
        self.assertEqual([am.get(a) for a in ("depth", "sensitivity", "internal_frequency")],
                         ["", "", ""])
        self.assertEqual({am.get(a) for a in am.keys() if a not in
                          ("depth", "depth_min", "depth_max", "sensitivity",
                           "internal_frequency", "internal_frequency_min",
                           "internal_frequency_max")}, {"0"})
        self.assertEqual(self.export(), first)

        # No replacement file can be made: -200 and no block, never the last export.
        export = os.path.join(self.inst.root, "media/ram/HW_options_configuration.xml")
        os.mkdir(export + ".tmp")
        try:
            self.assertEqual(self.visa.query("DIAG:CONF?;*OPC?"), "1")
        finally:
            os.rmdir(export + ".tmp")
        self.assertEqual(self.visa.query("SYST:ERR?"), '-200,"Execution error"')


if __name__ == "__main__":
    unittest.main()
