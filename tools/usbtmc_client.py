#!/usr/bin/python3
"""Type SCPI at the simulated USBTMC port of a running virtual instrument.

usage: tools/usbtmc_client.py [--root ROOT] [-c COMMAND ...]
Interactive lines go to the instrument as program messages; answers are printed as they
arrive. ':clear' sends a device clear, ':quit' leaves. The root defaults to $KORVANE_ROOT."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chardev_client import run_bus_client  # noqa: E402

if __name__ == "__main__":
    sys.exit(run_bus_client("usbtmc", sys.argv[1:], __doc__.splitlines()[0]))
