// Stand-ins for the character devices outside the firmware: the USBTMC gadget /dev/usbtmc,
// the GPIB interface /dev/gpib and the front-panel controller /dev/krhc.
//
// How they work. The firmware opens the device path resolved under its root prefix and uses
// open/read/write/ioctl/close on it exactly as on the instrument. kr_platform_rt defines
// those five calls (forwarding everything else to the C library through dlsym(RTLD_NEXT)),
// and a path that ends in /dev/usbtmc, /dev/gpib or /dev/krhc behind a non-empty root prefix
// names a simulated device. The descriptor the firmware gets is a real one (an eventfd that
// is readable while input is waiting, so select and poll work on it); reads, writes and
// control requests on it are served by the simulated driver in this process, which follows
// the driver conventions the firmware relies on (length flags, ECANCELED for a device
// clear, the control request numbers below). With an empty prefix (the instrument) every
// call goes to the real device.
//
// The outside world reaches a device through the Unix stream socket "<device path>.sock"
// (for example $ROOT/dev/usbtmc.sock), created when the firmware opens the device and removed
// when it closes it. One client at a time is the host (USB), the controller (GPIB) or the
// panel (krhc); a newer connection replaces an older one. Both directions carry frames:
//
//   byte 0  type     byte 1  flags     bytes 2-3  payload length (big-endian)   payload
//
// Types and flags:
//   'D' data. Flag bit 0 (CHARDEV_FLAG_END): the last byte carries END (GPIB EOI, USBTMC
//       end of message). Bits 4-7: the panel port (krhc: 1 update port, 2 answer port,
//       0 before the controller kind is chosen). Host to device: program message bytes; a
//       GPIB read returns END with the last byte of a frame that has it. Device to host: the
//       firmware's writes; USB sets END on a write without the more-answer bit, GPIB on a
//       write that ends in a line feed.
//   'R' read request, host to device (USB, GPIB): a 4-byte big-endian count of bytes the
//       host is ready to take. The device talks only within this credit, as a USBTMC device
//       sends only on the host's IN requests and a GPIB device only when addressed to talk:
//       a firmware write waits for credit.
//   'T' group execute trigger, host to device (GPIB; USB ignores it).
//   'C' device clear, host to device (USB INITIATE_CLEAR, GPIB DCL/SDC): drops waiting
//       input and makes the firmware's pending or next read or write fail with ECANCELED.
//   'S' serial poll: host to device without payload; the device answers 'S' with one byte,
//       the status byte last published with GPIB_SET_STB.
//   'H' status-byte history (GPIB): host to device without payload; the device answers 'H'
//       with every status byte published since the previous 'H' (the newest 256, oldest
//       first), so a test sees the sequence a change went through, not only its end.
//   'I' interface signal, host to device (GPIB): 2 bytes source and mask, reported to the
//       firmware through the unhandled-signal bit and GPIB_READ_SIGNAL.
//   'K' device to host (GPIB): the firmware acknowledged a group execute trigger.
//   'N' device to host (USB): the serial number the firmware passed to the driver (to the host
//       connected at that moment).
// Unknown frame types are ignored. A krhc write that the panel does not take within 2 s
// fails with EIO (the panel stopped reading) and drops that client; panel updates written
// while no panel client is connected are kept (up to 256 KiB) and replayed to the next one,
// except after a panel client closed its socket: then krhc writes fail with EIO (the panel
// vanished) until another client connects.
#pragma once

#include <cstdint>

// The drivers' control requests and length flags.
#include "gpib_ioctl.h"
#include "krhc_ioctl.h"
#include "usbtmc_ioctl.h"

// Frame types and flags.
constexpr char CHARDEV_FRAME_DATA = 'D';
constexpr char CHARDEV_FRAME_READ = 'R';
constexpr char CHARDEV_FRAME_TRIGGER = 'T';
constexpr char CHARDEV_FRAME_CLEAR = 'C';
constexpr char CHARDEV_FRAME_SERIAL_POLL = 'S';
constexpr char CHARDEV_FRAME_STB_HISTORY = 'H';
constexpr int CHARDEV_STB_HISTORY_MAX = 256;
constexpr char CHARDEV_FRAME_SIGNAL = 'I';
constexpr char CHARDEV_FRAME_GET_ACK = 'K';
constexpr char CHARDEV_FRAME_SERIAL_NUMBER = 'N';
constexpr uint8_t CHARDEV_FLAG_END = 0x01;
constexpr int CHARDEV_PORT_SHIFT = 4;

// A krhc write waits at most this long for the panel to take it.
constexpr int CHARDEV_HC_WRITE_TIMEOUT_MS = 2000;
// A krhc read with nothing arriving returns 0 after this long, as a serial line with a
// read timeout does.
constexpr int CHARDEV_HC_READ_TIMEOUT_MS = 1000;
