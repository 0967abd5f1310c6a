// The front-panel controller link on /dev/krhc. The panel sends SCPI program messages like any
// remote client (link "HC Front Panel"); the firmware writes update lines to it. The older
// controller (HC mode) talks on one port; the newer one (STM mode) multiplexes the update
// port 1 (update lines, replies to firmware queries) and the answer port 2 (answers to the
// panel's own commands).
#pragma once

#include <pthread.h>

struct ScpiLink;

constexpr int KRHC_REPLY_SIZE = 32;

struct KrHc {
    int readFd;            // /dev/krhc read-only, -1 when closed
    int writeFd;           // /dev/krhc write-only, -1 when closed
    pthread_mutex_t lock;  // device writes, port selection and reads
    unsigned char txPort;  // the port the driver transmits on
    int stmMode;
    int displayDisabled;
    char reply[KRHC_REPLY_SIZE];  // replies on the update port (STM mode)
    int replyLength;              // at most KRHC_REPLY_SIZE - 1
    int bytesSent;
};

// Start-up.
void Krhc_init(KrHc *hc);
int Krhc_open(KrHc *hc, const char *path = "/dev/krhc", int retries = 0);
// HC thread: one pass; -1 when the device is not open.
int Krhc_handle(KrHc *hc, ScpiLink *link);
// Any thread: one update, on the update port. 0, or -1 (and the link closed for good).
int Krhc_writeAsync(KrHc *hc, int n, const char *bytes);
int Krhc_read(KrHc *hc, int n, char *buffer);
// hc->lock held.
int Krhc_setTxPort(KrHc *hc, int port);
void Krhc_close(KrHc *hc);
int Krhc_connected(const KrHc *hc);
