"""The test-suite kit (tools/virtual_instrument.py): several instances at once, each with its
own serial number, port and root; clear errors and no process left behind; the README's
pytest example as written."""

import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import unittest

from krsim import BINARY, SOURCE_DIR

sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
from virtual_instrument import VirtualInstrument, VirtualInstrumentError  # noqa: E402


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # A zombie still answers kill(0): look at its state.
    with open("/proc/%d/stat" % pid) as f:
        return f.read().split(") ", 1)[1][0] != "Z"


class VirtualInstrumentTest(unittest.TestCase):
    def test_three_instances_at_once_each_with_its_own_root(self):
        configs = ("1ch-20g", "4ch-fs-gpib", "1ch-40g")
        started = []
        with VirtualInstrument(config=configs[0], binary=BINARY) as a, \
                VirtualInstrument(config=configs[1], binary=BINARY) as b, \
                VirtualInstrument(config=configs[2], binary=BINARY) as c:
            started = [a, b, c]
            self.assertEqual(len({vi.port for vi in started}), 3)
            # The first instance has the host's VXI-11 ports, the others say they lack them.
            self.assertEqual([vi.vxi11 for vi in started], [True, False, False])
            for vi in started:
                self.assertRegex(vi.resource, r"^TCPIP::127\.0\.0\.1::\d+::SOCKET$")
                self.assertIn(vi.serial, vi.query("*IDN?"))
                state = json.loads(vi.file("sim/hardware-state.json"))
                self.assertEqual(len(state["channels"]), {"1ch-20g": 1, "4ch-fs-gpib": 4,
                                                          "1ch-40g": 1}[vi.config])
        for vi in started:
            self.assertIsNone(vi.proc)
            self.assertFalse(os.path.exists(vi.root))

    def test_a_failure_inside_the_block_leaves_no_process(self):
        pid = root = None
        with self.assertRaises(ZeroDivisionError):
            with VirtualInstrument(binary=BINARY) as vi:
                pid, root = vi.proc.pid, vi.root
                1 / 0
        self.assertFalse(alive(pid))
        self.assertFalse(os.path.exists(root))

    def test_bad_requests_name_their_cause(self):
        cases = {
            "unknown configuration 'no-such'": dict(config="no-such"),
            "firmware binary not built": dict(binary="/nonexistent/korvane_fw"),
            "not of the form": dict(serial="abc"),
        }
        for cause, kwargs in cases.items():
            with self.subTest(cause=cause):
                kwargs.setdefault("binary", BINARY)
                with self.assertRaisesRegex(VirtualInstrumentError, re.escape(cause)):
                    VirtualInstrument(**kwargs).start()
        with socket.socket() as busy:
            busy.bind(("", 0))
            busy.listen(1)
            port = busy.getsockname()[1]
            with self.assertRaisesRegex(VirtualInstrumentError, "port %d is in use" % port):
                VirtualInstrument(port=port, binary=BINARY).start()

    def test_readme_pytest_example_passes_as_written(self):
        with open(os.path.join(SOURCE_DIR, "README.md")) as f:
            readme = f.read()
        section = readme.split("## Use it from a test suite", 1)[1]
        example = re.search(r"```python\n(.*?)```", section, re.S).group(1)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "test_example.py")
            with open(path, "w") as f:
                f.write(example)
            env = dict(os.environ, PYTHONPATH=os.path.join(SOURCE_DIR, "tools"),
                       KR_FW_BINARY=BINARY)
            run = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                                  path], cwd=d, env=env, capture_output=True, text=True,
                                 timeout=300)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)


if __name__ == "__main__":
    unittest.main()
