// The raw SCPI TCP server: one client at a time or up to 20 (the device configuration's
// client mode, read afresh at every step), an inactivity timeout after which a silent client
// may be displaced, answers written back to the connection that asked, and the slash-ended
// file transfer used by a few legacy commands. The UDP device finder is in krsocket_bcast.h.
//
// The listener stays open: a connection beyond the clients allowed is accepted and reset at
// once, after a client that has already left has been seen off (closing the listener while
// the slots are taken refused a client reconnecting before the server noticed the last one
// go). Answers are sent without waiting: a client that does not read has them queued and is
// not read from until it takes them, so it never holds up the others.
//
// The socket thread runs Krsocket_handle forever. The main loop reaches the record through
// the file transfers, the port change and the timeout; the supervision thread through
// Krsocket_reset. Between threads only the wake pipe signals.
#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>

#include "remote/krsocket_bcast.h"

struct ScpiLink;

constexpr int KRSOCKET_MAX_CLIENTS = 20;
constexpr int32_t KRSOCKET_TIMEOUT_INFINITE = 2147483647;  // seconds
constexpr int KRSOCKET_RCM_CHUNK = 128;
// Results of Krsocket_wait: bit set, or woken by a reset.
constexpr int KRSOCKET_WAIT_LISTEN = 1 << 0;  // a connection is pending
constexpr int KRSOCKET_WAIT_CLIENT = 1 << 1;  // a client has data or takes queued answers
constexpr int KRSOCKET_WAIT_RESET = -256;
// Longest query line sent back with query echo; a longer one is echoed cut.
constexpr int KRSOCKET_ECHO_LINE = 256;
constexpr int KRSOCKET_TX_SIZE = 2048;
// Multi-client mode: what one connection sent that is not yet a whole line. Only whole lines
// (or a full stage) enter the shared link, so two clients' bytes never make one command.
constexpr int KRSOCKET_STAGE_SIZE = 1024;
// Answers a connection's socket did not take at once. A client whose queue would overflow
// is dropped.
constexpr int KRSOCKET_QUEUE_SIZE = 16384;

// Query echo: the line being received on one connection.
struct KrSocketEchoLine {
    char text[KRSOCKET_ECHO_LINE];
    int length;
    bool query;
};

struct KrSocket {
    int listenFd;                        // -1 while closed
    int clientFd[KRSOCKET_MAX_CLIENTS];  // -1 free; single-client mode uses slot 0 only
    int port;
    // Filled by every wait: the wake pipe, the listener, then one entry per slot.
    struct pollfd polled[KRSOCKET_MAX_CLIENTS + 2];
    int wakePipe[2];  // read end, write end
    std::atomic<uint8_t> resetRequested;
    // 2147483647 s: infinite; 0 s 0 us: a silent client never blocks a new one.
    std::atomic<int32_t> timeoutSeconds;
    std::atomic<int32_t> timeoutMicroseconds;
    std::atomic<int> requestedPort;  // a port change for the socket thread, 0 none
    KrSocketEchoLine echo[KRSOCKET_MAX_CLIENTS];
    char echoOut[KRSOCKET_TX_SIZE];  // echoed queries waiting to be sent
    int echoLength;
    char stage[KRSOCKET_MAX_CLIENTS][KRSOCKET_STAGE_SIZE];
    int staged[KRSOCKET_MAX_CLIENTS];
    char txBuf[KRSOCKET_TX_SIZE];               // answer bytes taken out of the link before sending
    long long lastHeard[KRSOCKET_MAX_CLIENTS];  // monotonic ns of a slot's last bytes in
    char queue[KRSOCKET_MAX_CLIENTS][KRSOCKET_QUEUE_SIZE];
    int queued[KRSOCKET_MAX_CLIENTS];
    bool failed[KRSOCKET_MAX_CLIENTS];  // send failed or queue full: closed after its service
    // The slot and link whose commands the main loop is executing now (-1, null between):
    // a file transfer talks to that connection only.
    std::atomic<int> servingSlot;
    std::atomic<ScpiLink *> servingLink;
    int blockSlot;  // the connection whose block receive the link is in, -1 none
};

// A file receive ends when the client stays silent this long, or when the whole transfer
// takes longer: the main loop, which serves every other link, waits meanwhile.
constexpr int KRSOCKET_RCM_SILENCE_MS = 3000;
constexpr int KRSOCKET_RCM_TOTAL_MS = 30000;
// Largest file a client may send; a longer one is refused as a whole.
constexpr long KRSOCKET_RCM_MAX_BYTES = 16L << 20;

// Start-up: initialise the record (infinite timeout) and open the listening socket.
void Krsocket_open(KrSocket *server, int port);
// Closes every socket and the wake pipe (tests and tools: the firmware's server lives for
// the process). The pump must have stopped.
void Krsocket_close(KrSocket *server);
// Socket thread: one pump step.
void Krsocket_handle(KrSocket *server, ScpiLink *link);
void Krsocket_read(KrSocket *server, ScpiLink *link);
// Socket thread (link null: a new connection waits in the backlog): waits for a pending connection
// or client data. Bits above, 0 for nothing, or KRSOCKET_WAIT_RESET.
int Krsocket_wait(KrSocket *server, ScpiLink *link);
int Krsocket_accept(KrSocket *server, ScpiLink *link);
// Sends the link's pending answer to one slot, or queues what the socket does not take, and
// consumes it (also when sending fails). Returns the link's more-answer-follows flag.
int Krsocket_write(KrSocket *server, ScpiLink *link, int slot);
int Krsocket_openListenSocket(KrSocket *server);
void Krsocket_closeListenSocket(KrSocket *server);
// Any thread: interrupts a wait; the pump step then waits afresh.
int Krsocket_reset(KrSocket *server);
// The server opened by Krsocket_open (the firmware's one), null before; the command set
// reaches the file transfer through it.
KrSocket *Krsocket_getServer();
// Main loop: the listener moves to the new port (closed, 1 s pause, reopened) on the socket
// thread; connections stay. Does nothing before Krsocket_open.
void Krsocket_changePort(int port);

// The timeout of the opened server, in seconds.
int Krsocket_setInactivityTimeout(double seconds);
double Krsocket_getInactivityTimeout();
double Krsocket_getInactivityTimeoutMin();
double Krsocket_getInactivityTimeoutMax();
int Krsocket_setInactivityTimeoutInfinite();
bool Krsocket_isInactivityTimeoutInfinite();

// Main loop: whether link is the one whose commands the socket thread has handed over now
// (a file transfer has a client to talk to).
bool Krsocket_isServing(const KrSocket *server, const ScpiLink *link);

// Main loop, while the socket thread waits for the link to be served. Sends a file (firmware
// path) to the client being served (slot 0 outside a service) without one final line feed,
// then "/\n". 0, or -200 when the file cannot be read (the terminator is still sent).
int Krsocket_rcmSendFile(KrSocket *server, const char *path);
// Receives "<content>/" from the same client, acknowledging each chunk with "/\n", and stores
// the content and a line feed. The file is replaced only by a complete transfer: 0, or -200
// when the file cannot be created (the data is still consumed and acknowledged), or when the
// client leaves, stays silent, sends too much or takes too long (the old file stays).
int Krsocket_rcmReceiveFile(KrSocket *server, const char *path);
// The same for a client-supplied name, which must stay inside the firmware directory dir.
int Krsocket_rcmSendFileIn(KrSocket *server, const char *dir, const char *name);
int Krsocket_rcmReceiveFileIn(KrSocket *server, const char *dir, const char *name);

// The instrument's IPv4 address ("eth0:avahi", else "eth0") into buffer (at least 17
// bytes); "0.0.0.0" and -1 when unknown.
int KrsocketGetMyAddr(char *buffer);
// Supervision thread: 1 when the address differs from the last one seen (then remembered).
int Krsocket_hasAddressChanged(char *buffer);
int KrsocketPrintMyAddr();
