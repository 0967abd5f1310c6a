// The GPIB transport on /dev/gpib: the pump that feeds the link "GPIB" (with END, group
// execute trigger and signal flags folded into the read length), the status byte for serial
// polls and the connection supervisor.
#pragma once

#include <cstdint>

struct ScpiLink;

// Transport record (one instance). Zeroed apart from the descriptor when opened.
struct KrGpib {
    int fd = -1;        // -1 when closed
    int countdown = 0;  // 2 on traffic, decremented by each supervision pass
    unsigned char connected = 0;
};

// Diagnostic counters of the pump, for post-mortem inspection.
extern int gpibState;    // 1-4 reading, 100-104 executing and answering, 200/201 writing
extern int getRecv;      // group execute triggers received
extern int ackGetIoctl;  // acknowledgements sent

// Start-up: opens the device (resolved under the root). 0 or -1.
int krgpib_open(KrGpib *gpib, const char *path = "/dev/gpib");
// GPIB thread: one pass; -1 when the driver reports a fault, else 0.
int krgpib_handle(KrGpib *gpib, ScpiLink *link);
// GPIB thread: sends the pending answer. Returns the more-answer flag or a negative write result.
int krgpib_write(KrGpib *gpib, ScpiLink *link);
int krgpib_read(KrGpib *gpib, int n, char *buffer);
void krgpib_close(KrGpib *gpib);
// GPIB thread (activity 1) and supervision thread (activity 0, every 2 s).
void krgpib_check_connection(KrGpib *gpib, ScpiLink *link, int activity);
// Main loop: publishes the status byte a serial poll answers.
int krgpib_sendStb(KrGpib *gpib, uint8_t stb);
int krgpib_sendAckGet(KrGpib *gpib);
// The alternate command set's way to the status byte: the opened GPIB device, if any.
int updateStb(uint8_t stb);
