#!/usr/bin/python3
"""Type SCPI at the simulated GPIB port of a running virtual instrument (with GPIB fitted).

usage: tools/gpib_client.py [--root ROOT] [-c COMMAND ...]
Interactive lines go to the instrument as program messages ending with EOI; answers are
printed as they arrive. ':trigger' sends a group execute trigger, ':clear' a device clear,
':poll' a serial poll, ':signal SOURCE MASK' an interface signal, ':quit' leaves. The root
defaults to $KORVANE_ROOT."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chardev_client import run_bus_client  # noqa: E402

if __name__ == "__main__":
    sys.exit(run_bus_client("gpib", sys.argv[1:], __doc__.splitlines()[0]))
