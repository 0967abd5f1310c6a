#!/usr/bin/python3
"""Be the front panel of a running virtual instrument (with a front panel configured).

usage: tools/krhc_client.py [--root ROOT] [--port N] [--eeprom-count N] [--no-reply]
                            [-c COMMAND ...] [--listen SECONDS]
Shows the update lines the firmware sends ("< " prefix; the start-up dump first, if nobody
took it yet) and the answers to the panel's own commands ("= " prefix). Typed lines go to the
instrument as the panel's SCPI on the answer port (2; 0 for the older controller). The client
answers the older controller's "*IDN?" probe and the "DIAG:EE:WC?" query like a panel does.
-c sends commands and prints what comes back within --listen seconds (default 2), then exits.
Leaving closes the connection as a panel that vanished: the instrument's next update write
fails and it shuts its panel link for good, so a later client gets nothing more.
The root defaults to $KORVANE_ROOT."""

import argparse
import os
import select
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from chardev_client import DATA, ChardevClient, default_root, socket_path  # noqa: E402

PROBE_ANSWER = b"HC0000000000\n"


class Panel:
    def __init__(self, client, eeprom_count, reply=True, out=sys.stdout):
        self.client, self.eeprom_count, self.reply, self.out = client, eeprom_count, reply, out

    def handle(self, frame):
        if frame.type != DATA:
            return
        text = frame.payload.decode("latin-1")
        if frame.port == 2:
            self.out.write("= " + text)
        else:
            for line in text.splitlines(True):
                self.out.write("< " + line)
                if self.reply and line == "*IDN?\n":
                    self.client.write(PROBE_ANSWER, port=0)
                elif self.reply and line == "DIAG:EE:WC?\n":
                    self.client.write("%d\n" % self.eeprom_count, port=1)
        self.out.flush()

    def pump(self, seconds):
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return
            f = self.client.recv_frame(left)
            if f is None:
                return
            self.handle(f)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--root", default=default_root())
    ap.add_argument("--port", type=int, default=2, help="port of the panel's commands")
    ap.add_argument("--eeprom-count", type=int, default=1234)
    ap.add_argument("--no-reply", action="store_true", help="do not answer firmware queries")
    ap.add_argument("-c", "--command", action="append")
    ap.add_argument("--listen", type=float, default=2.0)
    args = ap.parse_args(argv)
    if not args.root:
        ap.error("no simulation root: give --root or set KORVANE_ROOT")
    client = ChardevClient(socket_path(args.root, "krhc"))
    panel = Panel(client, args.eeprom_count, not args.no_reply)
    if args.command:
        panel.pump(0.3)
        for text in args.command:
            client.write(text + "\n", port=args.port)
        panel.pump(args.listen)
        return 0
    while True:
        r, _, _ = select.select([sys.stdin, client], [], [])
        if client in r:
            try:
                panel.pump(0.05)
            except EOFError:
                print("(panel link closed by the instrument)")
                return 1
        if sys.stdin in r:
            line = sys.stdin.readline()
            if not line or line.strip() == ":quit":
                return 0
            client.write(line if line.endswith("\n") else line + "\n", port=args.port)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
