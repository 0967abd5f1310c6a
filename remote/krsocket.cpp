#include "remote/krsocket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "core/kr_event.h"
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "scpi/scpi_block.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_link.h"

namespace {

// The opened server, for the operations that the command set reaches without a record.
KrSocket *activeServer = nullptr;
// The timeout settings made before the server is opened (a whole server record would only
// hold these).
std::atomic<int32_t> idleTimeoutSeconds{0}, idleTimeoutMicroseconds{0};

char currentIpAddress[INET_ADDRSTRLEN + 1] = "0.0.0.0";

constexpr int privilegedPorts = 1024;
constexpr int privilegedPortOffset = 2000;
constexpr int unboundRetrySeconds = 5;
// Room for the connections that arrive together, the 20 of the multi-client mode and more:
// with a short backlog the kernel falls back to SYN cookies and a client's first bytes can
// be lost.
constexpr int listenBacklog = SOMAXCONN;
// The services a client that has left gets to send its last bytes before it is closed.
constexpr int finalServices = 4096;
constexpr int pollWake = 0, pollListen = 1, pollSlots = 2;

struct Timeout {
    std::atomic<int32_t> &seconds, &microseconds;
};

Timeout timeoutSetting() {
    if (activeServer) return {activeServer->timeoutSeconds, activeServer->timeoutMicroseconds};
    return {idleTimeoutSeconds, idleTimeoutMicroseconds};
}

bool isMultiClient() {
    return device_config_getMses() == 1;
}

bool timeoutIsZero(int32_t seconds, int32_t microseconds) {
    return seconds == 0 && microseconds == 0;
}

int clientsInUse(const KrSocket *server) {
    int used = 0;
    for (int fd : server->clientFd)
        used += fd >= 0;
    return used;
}

int freeSlot(const KrSocket *server) {
    for (int slot = 0; slot < KRSOCKET_MAX_CLIENTS; slot++)
        if (server->clientFd[slot] < 0) return slot;
    return -1;
}

short slotEvents(const KrSocket *server, int slot) {
    return server->polled[pollSlots + slot].revents;
}

void setOption(int fd, int level, int name) {
    int one = 1;
    setsockopt(fd, level, name, &one, sizeof(one));
}

// Writes all bytes unless a write fails, waiting as long as it takes (the file transfer).
// 0 or -1.
int sendAll(int fd, const char *data, int n) {
    while (n > 0) {
        ssize_t w = send(fd, data, (size_t)n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return -1;
        data += w;
        n -= (int)w;
    }
    return 0;
}

// Writes what the socket takes now. The bytes written, or -1 when the connection failed.
int sendNow(int fd, const char *data, int n) {
    int done = 0;
    while (done < n) {
        ssize_t w = send(fd, data + done, (size_t)(n - done), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (w < 0) return -1;
        done += (int)w;
    }
    return done;
}

// Sends behind whatever the slot has queued; the rest joins the queue. A failed connection
// or a full queue marks the slot failed (it is closed after the service).
void sendQueued(KrSocket *server, int slot, const char *data, int n) {
    int fd = server->clientFd[slot];
    int &queued = server->queued[slot];
    if (fd < 0 || server->failed[slot] || n <= 0) return;
    int sent = queued == 0 ? sendNow(fd, data, n) : 0;
    if (sent >= 0 && n - sent <= KRSOCKET_QUEUE_SIZE - queued) {
        memcpy(server->queue[slot] + queued, data + sent, (size_t)(n - sent));
        queued += n - sent;
        return;
    }
    server->failed[slot] = true;
}

// Sends what the slot has queued, as far as the socket takes it.
void sendQueue(KrSocket *server, int slot) {
    int &queued = server->queued[slot];
    int sent = queued > 0 ? sendNow(server->clientFd[slot], server->queue[slot], queued) : 0;
    if (sent < 0) {
        server->failed[slot] = true;
        return;
    }
    queued -= sent;
    memmove(server->queue[slot], server->queue[slot] + sent, (size_t)queued);
}

// The file transfer writes directly: answers queued before it go first.
void drainQueue(KrSocket *server, int slot) {
    int fd = server->clientFd[slot];
    if (fd >= 0 && server->queued[slot] > 0 && !server->failed[slot])
        sendAll(fd, server->queue[slot], server->queued[slot]);
    server->queued[slot] = 0;
}

void sendTerminator(int fd) {
    if (fd >= 0) sendAll(fd, "/\n", 2);
}

void flushLink(ScpiLink *link) {
    char *unused;
    krcommOpenCmd(link, &unused);
    scpi_link_flush(link);
    krcommCloseCmd(link, 0);
}

// Query echo, memory only (the link's lock may be held): collects the received lines and
// queues each complete query for sending.
void collectEchoes(KrSocket *server, int slot, const char *data, int n) {
    KrSocketEchoLine &line = server->echo[slot];
    for (int i = 0; i < n; i++) {
        if (data[i] == '\n') {
            if (line.query && server->echoLength + line.length + 1 <= KRSOCKET_TX_SIZE) {
                memcpy(server->echoOut + server->echoLength, line.text, (size_t)line.length);
                server->echoLength += line.length;
                server->echoOut[server->echoLength++] = '\n';
            }
            line.length = 0;
            line.query = false;
            continue;
        }
        if (data[i] == '?') line.query = true;
        if (line.length < KRSOCKET_ECHO_LINE) line.text[line.length++] = data[i];
    }
}

void sendEchoes(KrSocket *server, int slot) {
    sendQueued(server, slot, server->echoOut, server->echoLength);
    server->echoLength = 0;
}

void executeAndAnswer(KrSocket *server, ScpiLink *link, int slot) {
    int more;
    server->servingSlot = slot;
    server->servingLink = link;
    do {
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        more = Krsocket_write(server, link, slot);
    } while (more);
    server->servingLink = nullptr;
    server->servingSlot = -1;
    // The connection that started a block receive is the one whose leaving ends it.
    if (!scpi_exec_receivingBlockData(link))
        server->blockSlot = -1;
    else if (server->blockSlot < 0)
        server->blockSlot = slot;
}

void clearSlot(KrSocket *server, int slot, int fd) {
    server->clientFd[slot] = fd;
    server->echo[slot] = {};
    server->staged[slot] = 0;
    server->queued[slot] = 0;
    server->failed[slot] = false;
    server->lastHeard[slot] = scpi_link_nowNs();
}

// What the client left half done ends with it; in multi-client mode the link holds no part
// of another client's line between services, unless that client is in a block receive.
void endClientSession(KrSocket *server, ScpiLink *link, int slot) {
    if (!isMultiClient() || slot == server->blockSlot) {
        server->blockSlot = -1;
        krcommEndSession(link);
    } else {
        flushLink(link);
    }
}

void closeClient(KrSocket *server, ScpiLink *link, int slot) {
    close(server->clientFd[slot]);
    clearSlot(server, slot, -1);
    endClientSession(server, link, slot);
    krcommEvent(link, KREV_DISCONNECT_LAN);
    server->resetRequested = 0;
}

// Reads what one client sent into the link, has the main loop execute it and answers that
// client. The read never blocks: the link's lock is held across it. false when the client
// has gone (its slot is then closed).
bool serveSlot(KrSocket *server, ScpiLink *link, int slot) {
    if (server->queued[slot] > 0) {
        // Nothing more is read until the client has taken its answers.
        sendQueue(server, slot);
    } else {
        int fd = server->clientFd[slot];
        char *ptr;
        int room = krcommOpenCmd(link, &ptr);
        ssize_t n = room > 0 ? recv(fd, ptr, (size_t)room, MSG_DONTWAIT) : 0;
        int err = errno;
        int got = n > 0 ? (int)n : 0;
        if (got > 0 && scpi_link_isQueryEchoEnabled(link)) collectEchoes(server, slot, ptr, got);
        krcommCloseCmd(link, got);
        if (got > 0) server->lastHeard[slot] = scpi_link_nowNs();
        sendEchoes(server, slot);
        if (room <= 0 || got > 0) {
            // Without room the link only needs serving: it frees the room itself.
            executeAndAnswer(server, link, slot);
        } else if (!(n < 0 && (err == EAGAIN || err == EWOULDBLOCK || err == EINTR))) {
            server->failed[slot] = true;
        }
    }
    if (!server->failed[slot]) return true;
    closeClient(server, link, slot);
    return false;
}

// The staged bytes that may enter the link: up to the last line feed, or the whole stage
// when it is full without one (an over-long line goes on in pieces, as in single-client mode).
int forwardable(const KrSocket *server, int slot) {
    const char *stage = server->stage[slot];
    int n = server->staged[slot];
    for (int i = n; i > 0; i--)
        if (stage[i - 1] == '\n') return i;
    return n == KRSOCKET_STAGE_SIZE ? n : 0;
}

// Moves the slot's whole staged lines into the shared link and answers them on this
// connection, until its answers back up. It stops only where the link holds no part of a
// line: another client's bytes would join it.
void forwardStaged(KrSocket *server, ScpiLink *link, int slot) {
    char *stage = server->stage[slot];
    int &staged = server->staged[slot];
    bool lineOpen = false;
    // The link is empty between services; a piece that does not fit is moved after the
    // service that makes room for it.
    for (int pass = 0, ready = forwardable(server, slot); ready > 0 && pass < 64; pass++) {
        if (!lineOpen && (server->queued[slot] > 0 || server->failed[slot])) break;
        char *ptr;
        int room = krcommOpenCmd(link, &ptr);
        int moved = room < ready ? room : ready;
        if (moved > 0) memcpy(ptr, stage, (size_t)moved);
        krcommCloseCmd(link, moved > 0 ? moved : 0);
        if (moved > 0) {
            lineOpen = stage[moved - 1] != '\n';
            staged -= moved;
            memmove(stage, stage + moved, (size_t)staged);
            ready -= moved;
        }
        executeAndAnswer(server, link, slot);
    }
}

// Multi-client mode: takes queued answers further or reads into the connection's stage,
// then forwards its whole lines. false when the client has gone.
bool serveStagedSlot(KrSocket *server, ScpiLink *link, int slot) {
    char *stage = server->stage[slot];
    int &staged = server->staged[slot];
    if (server->queued[slot] > 0) {
        sendQueue(server, slot);
    } else if (staged < KRSOCKET_STAGE_SIZE) {
        ssize_t n = recv(server->clientFd[slot], stage + staged,
                         (size_t)(KRSOCKET_STAGE_SIZE - staged), MSG_DONTWAIT);
        if (n > 0) {
            if (scpi_link_isQueryEchoEnabled(link)) {
                collectEchoes(server, slot, stage + staged, (int)n);
                sendEchoes(server, slot);
            }
            staged += (int)n;
            server->lastHeard[slot] = scpi_link_nowNs();
        } else if (!(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))) {
            server->failed[slot] = true;
        }
    }
    if (server->queued[slot] == 0) forwardStaged(server, link, slot);
    if (!server->failed[slot]) return true;
    closeClient(server, link, slot);
    return false;
}

bool serveAny(KrSocket *server, ScpiLink *link, int slot) {
    return isMultiClient() ? serveStagedSlot(server, link, slot) : serveSlot(server, link, slot);
}

// Whether a client has left (or shut its sending side): its end of file waits behind
// whatever it sent last.
bool peerLeft(int fd) {
    struct pollfd p = {fd, POLLRDHUP, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

// Before a new connection is judged against the slots: a client that has left is served
// its last bytes and closed, so that the newcomer is not turned away in its place.
void seeOffLeftClients(KrSocket *server, ScpiLink *link) {
    for (int slot = 0; slot < KRSOCKET_MAX_CLIENTS; slot++) {
        if (server->clientFd[slot] < 0 || !peerLeft(server->clientFd[slot])) continue;
        // Answers it does not take no longer matter: it is closed with them.
        for (int i = 0; i < finalServices && server->clientFd[slot] >= 0; i++)
            if (server->queued[slot] > 0 || !serveAny(server, link, slot)) break;
        if (server->clientFd[slot] >= 0) closeClient(server, link, slot);
    }
}

// Single-client mode: the client in the slot may be displaced by a new one.
bool mayTakeOver(const KrSocket *server, int slot) {
    const int32_t seconds = server->timeoutSeconds, microseconds = server->timeoutMicroseconds;
    if (seconds == KRSOCKET_TIMEOUT_INFINITE) return false;
    long long silent = scpi_link_nowNs() - server->lastHeard[slot];
    return silent >= seconds * 1000000000LL + microseconds * 1000LL;
}

// A connection beyond the clients allowed: accepted and reset, so that its first read or
// write fails at once instead of waiting unserved.
void turnAway(KrSocket *server) {
    int fd = accept4(server->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    struct linger reset = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
    close(fd);
    printd("Krsocket: connection turned away, all clients connected\n");
}

void readSingle(KrSocket *server, ScpiLink *link) {
    int bits = Krsocket_wait(server, link);
    if (bits <= 0) return;
    if ((bits & KRSOCKET_WAIT_CLIENT) && server->clientFd[0] >= 0) serveSlot(server, link, 0);
    if (!(bits & KRSOCKET_WAIT_LISTEN)) return;
    if (server->clientFd[0] >= 0) seeOffLeftClients(server, link);
    if (server->clientFd[0] >= 0 && !mayTakeOver(server, 0))
        turnAway(server);
    else
        Krsocket_accept(server, link);
}

void readMulti(KrSocket *server, ScpiLink *link) {
    int bits = Krsocket_wait(server, link);
    if (bits <= 0) return;
    if (bits & KRSOCKET_WAIT_CLIENT) {
        for (int slot = 0; slot < KRSOCKET_MAX_CLIENTS; slot++)
            if (server->clientFd[slot] >= 0 && slotEvents(server, slot))
                serveStagedSlot(server, link, slot);
    }
    if (!(bits & KRSOCKET_WAIT_LISTEN)) return;
    printd("Krsocket_read_multi(): pending incoming connection %i\n", clientsInUse(server));
    if (freeSlot(server) < 0) seeOffLeftClients(server, link);
    if (freeSlot(server) < 0)
        turnAway(server);
    else
        Krsocket_accept(server, link);
}

// The wake pipe was readable: a port change is carried out here, on the socket thread.
void applyPortChange(KrSocket *server) {
    int port = server->requestedPort.exchange(0);
    if (!port) return;
    server->port = port;
    Krsocket_closeListenSocket(server);
    sleep(1);
    Krsocket_openListenSocket(server);
}

int acceptInto(KrSocket *server, ScpiLink *link, int slot, const char *error) {
    int fd = accept4(server->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        printd("%s", error);
        server->resetRequested = 0;
        return -1;
    }
    setOption(fd, SOL_SOCKET, SO_REUSEADDR);
    setOption(fd, IPPROTO_TCP, TCP_NODELAY);
    clearSlot(server, slot, fd);
    krcommEvent(link, KREV_CONNECT_LAN);
    server->resetRequested = 0;
    return 0;
}

constexpr int interfaceRoom = 10;

// The interfaces of the instrument (room for 10). Their count, or -1 (printed with who).
int listInterfaces(struct ifreq reqs[interfaceRoom], const char *who) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        printd("%s(): socket failed\n", who);
        return -1;
    }
    struct ifconf conf = {};
    conf.ifc_len = interfaceRoom * (int)sizeof(struct ifreq);
    conf.ifc_req = reqs;
    int r = ioctl(fd, SIOCGIFCONF, &conf);
    close(fd);
    if (r != 0) {
        printd("%s(): ioctl failed\n", who);
        return -1;
    }
    return conf.ifc_len / (int)sizeof(struct ifreq);
}

const char *interfaceAddress(const struct ifreq &req, char *text) {
    const struct sockaddr_in *in = reinterpret_cast<const sockaddr_in *>(&req.ifr_addr);
    return inet_ntop(AF_INET, &in->sin_addr, text, INET_ADDRSTRLEN);
}

}  // namespace

void Krsocket_open(KrSocket *server, int port) {
    server->resetRequested = 0;
    server->listenFd = -1;
    for (int slot = 0; slot < KRSOCKET_MAX_CLIENTS; slot++)
        clearSlot(server, slot, -1);
    server->echoLength = 0;
    server->port = port;
    server->requestedPort = 0;
    server->timeoutSeconds = KRSOCKET_TIMEOUT_INFINITE;
    server->timeoutMicroseconds = 0;
    server->servingSlot = -1;
    server->servingLink = nullptr;
    server->blockSlot = -1;
    if (pipe2(server->wakePipe, O_CLOEXEC) != 0) {
        printd("Krsocket_open(): error creating the wake pipe (%d)\n", errno);
        server->wakePipe[0] = server->wakePipe[1] = -1;
    }
    activeServer = server;
    // The address at start is the reference: only a later change resets the server.
    KrsocketGetMyAddr(currentIpAddress);
    Krsocket_openListenSocket(server);
}

void Krsocket_close(KrSocket *server) {
    Krsocket_closeListenSocket(server);
    for (int &fd : server->clientFd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    for (int &fd : server->wakePipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    if (activeServer == server) activeServer = nullptr;
}

void Krsocket_handle(KrSocket *server, ScpiLink *link) {
    Krsocket_read(server, link);
    server->resetRequested = 0;
}

void Krsocket_read(KrSocket *server, ScpiLink *link) {
    if (isMultiClient())
        readMulti(server, link);
    else
        readSingle(server, link);
}

int Krsocket_wait(KrSocket *server, ScpiLink *link) {
    const bool multi = isMultiClient();
    struct pollfd *p = server->polled;
    for (;;) {
        p[pollWake] = {server->wakePipe[0], POLLIN, 0};
        // A file receive, and the multi-client mode with all slots taken and no timeout to
        // turn a newcomer away for, leave new connections in the backlog.
        const bool full = freeSlot(server) < 0;
        const bool backlog =
            !link ||
            (multi && full && timeoutIsZero(server->timeoutSeconds, server->timeoutMicroseconds));
        p[pollListen] = {backlog ? -1 : server->listenFd, POLLIN, 0};
        for (int slot = 0; slot < KRSOCKET_MAX_CLIENTS; slot++) {
            int fd = multi || slot == 0 ? server->clientFd[slot] : -1;
            // A client with answers queued is not read from until it has taken them.
            p[pollSlots + slot] = {fd, (short)(server->queued[slot] > 0 ? POLLOUT : POLLIN), 0};
        }
        // Nothing to listen on: try the listener again now and then.
        int wait = server->listenFd < 0 ? unboundRetrySeconds * 1000 : -1;
        int r = poll(p, KRSOCKET_MAX_CLIENTS + pollSlots, wait);
        if (r == 0) {
            Krsocket_openListenSocket(server);
            return 0;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return 0;
        break;
    }
    const int listened = p[pollListen].fd;
    if (p[pollWake].revents & POLLIN) {
        char byte;
        if (read(server->wakePipe[0], &byte, 1) < 0) printd("Krsocket_wait(): wake pipe\n");
        applyPortChange(server);
        if (server->resetRequested) return KRSOCKET_WAIT_RESET;
    }
    int result = 0;
    for (int slot = 0; slot < KRSOCKET_MAX_CLIENTS; slot++)
        if (server->clientFd[slot] >= 0 && slotEvents(server, slot)) result |= KRSOCKET_WAIT_CLIENT;
    // The listener may have moved to another port meanwhile.
    if (listened >= 0 && listened == server->listenFd && (p[pollListen].revents & POLLIN))
        result |= KRSOCKET_WAIT_LISTEN;
    return result;
}

int Krsocket_accept(KrSocket *server, ScpiLink *link) {
    if (!isMultiClient()) {
        if (server->clientFd[0] >= 0) {
            printd("Krsocket_accept(): closing (hijacking) inactive connection\n");
            close(server->clientFd[0]);
            clearSlot(server, 0, -1);
            // The displaced client's unfinished line must not prefix the new client's first.
            endClientSession(server, link, 0);
        }
        return acceptInto(server, link, 0, "Krsocket_accept(): error in accept()\n");
    }
    int slot = freeSlot(server);
    if (slot >= 0)
        return acceptInto(server, link, slot, "Krsocket_accept_multi(): error in accept()\n");
    server->resetRequested = 0;
    return -1;
}

int Krsocket_write(KrSocket *server, ScpiLink *link, int slot) {
    const bool valid = slot >= 0 && slot < KRSOCKET_MAX_CLIENTS;
    int more = 0;
    for (;;) {
        // Copied out under the link's lock and sent after releasing it: a slow client
        // never holds the lock.
        char *ptr;
        int len = krcommPeekAns(link, &ptr, &more);
        int n = len < KRSOCKET_TX_SIZE ? len : KRSOCKET_TX_SIZE;
        if (n > 0) memcpy(server->txBuf, ptr, (size_t)n);
        krcommClearAns(link, n > 0 ? n : 0, &more);
        if (n <= 0) break;
        if (valid) sendQueued(server, slot, server->txBuf, n);
    }
    return more;
}

int Krsocket_openListenSocket(KrSocket *server) {
    if (server->listenFd != -1) return 0;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        printd("Krsocket_openListenSocket(): error opening socket (%d)\n", errno);
        return -1;
    }
    setOption(fd, SOL_SOCKET, SO_REUSEADDR);
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons((uint16_t)server->port);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0 &&
        listen(fd, listenBacklog) == 0) {
        server->listenFd = fd;
        return 0;
    }
    int err = errno;
    close(fd);
    if (err == EACCES)
        printd("Krsocket_openListenSocket() error: bind error EACCES\n");
    else if (err == EADDRINUSE)
        printd("Krsocket_openListenSocket() error: bind error EADDRINUSE\n");
    else
        printd("Krsocket_openListenSocket() error: bind error %d\n", err);
    if (server->port < privilegedPorts) {
        char hint[160];
        snprintf(hint, sizeof(hint),
                 "su -c \"iptables -t nat -A PREROUTING -p tcp --dport %d -j REDIRECT "
                 "--to-ports %d\"",
                 server->port, server->port + privilegedPortOffset);
        server->listenFd = -1;
        server->port += privilegedPortOffset;
        int r = Krsocket_openListenSocket(server);
        printd("krsockOpen(): please note: need root privileges to bind() to a port <1024\n");
        printd("krsockOpen(): trying again using a port >= 1024, will use port %d\n", server->port);
        printd("%s\n", hint);
        // Under a simulation root the shell finds only the root's stand-ins.
        krstuffSystem(hint);
        return r;
    }
    printd("krsockOpen(): error in bind() (%d)\n", err);
    return -1;
}

void Krsocket_closeListenSocket(KrSocket *server) {
    if (server->listenFd < 0) return;
    close(server->listenFd);
    server->listenFd = -1;
}

int Krsocket_reset(KrSocket *server) {
    server->resetRequested = 1;
    const char zero = 0;
    return write(server->wakePipe[1], &zero, 1) == 1 ? 0 : -1;
}

KrSocket *Krsocket_getServer() {
    return activeServer;
}

void Krsocket_changePort(int port) {
    KrSocket *server = activeServer;
    if (!server) return;
    server->requestedPort = port;
    const char zero = 0;
    if (write(server->wakePipe[1], &zero, 1) != 1) printd("Krsocket_changePort(): wake failed\n");
}

int Krsocket_setInactivityTimeout(double seconds) {
    uint64_t us = seconds > 0 ? (uint64_t)(seconds * 1000000.0) : 0;
    Timeout t = timeoutSetting();
    t.seconds = (int32_t)(us / 1000000u);
    t.microseconds = (int32_t)(us % 1000000u);
    return 0;
}

double Krsocket_getInactivityTimeout() {
    Timeout t = timeoutSetting();
    return t.seconds + t.microseconds * 0.000001;
}

double Krsocket_getInactivityTimeoutMin() {
    return 0;
}
double Krsocket_getInactivityTimeoutMax() {
    return 1000000;
}

int Krsocket_setInactivityTimeoutInfinite() {
    Timeout t = timeoutSetting();
    t.seconds = KRSOCKET_TIMEOUT_INFINITE;
    t.microseconds = 0;
    return 0;
}

bool Krsocket_isInactivityTimeoutInfinite() {
    return timeoutSetting().seconds == KRSOCKET_TIMEOUT_INFINITE;
}

namespace {

// The connection a transfer talks to: the one whose command runs, slot 0 outside a service.
int transferSlot(const KrSocket *server) {
    int slot = server->servingSlot;
    return slot >= 0 && slot < KRSOCKET_MAX_CLIENTS ? slot : 0;
}

int sendResolved(KrSocket *server, const char *resolved) {
    const int slot = transferSlot(server);
    const int fd = server->clientFd[slot];
    drainQueue(server, slot);
    int file = resolved ? open(resolved, O_RDONLY | O_CLOEXEC) : -1;
    if (file < 0) {
        sendTerminator(fd);
        return KR_E_EXECUTION_ERROR;
    }
    // The last byte read is held back: a final line feed is not sent.
    char chunk[KRSOCKET_RCM_CHUNK];
    int held = 0;
    for (;;) {
        ssize_t n = read(file, chunk + held, sizeof(chunk) - (size_t)held);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        int total = held + (int)n;
        if (fd >= 0) sendAll(fd, chunk, total - 1);
        chunk[0] = chunk[total - 1];
        held = 1;
    }
    close(file);
    if (held && chunk[0] != '\n' && fd >= 0) sendAll(fd, chunk, 1);
    sendTerminator(fd);
    return 0;
}

// Whether the transfer's client has sent something within ms (false: silent or failed).
bool chunkArrives(int fd, int ms) {
    struct pollfd p = {fd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, ms);
    } while (r < 0 && errno == EINTR);
    return r > 0;
}

// What one receive brought in, up to its final slash.
struct Received {
    bool complete = false;  // the slash arrived
    long bytes = 0;         // content bytes, slash excluded
};

// Reads "<content>/" from one connection into file (null: consumed only), acknowledging
// every chunk. Ends at the slash, or when the client leaves, is silent or takes too long.
Received receiveContent(int fd, FILE *file) {
    Received got;
    const long long start = scpi_link_nowNs();
    while (fd >= 0) {
        long long left = KRSOCKET_RCM_TOTAL_MS - (scpi_link_nowNs() - start) / 1000000;
        int wait = left < KRSOCKET_RCM_SILENCE_MS ? (int)left : KRSOCKET_RCM_SILENCE_MS;
        if (wait <= 0 || !chunkArrives(fd, wait)) {
            printd("Krsocket_rcmReceiveFile(): client silent, transfer abandoned\n");
            break;
        }
        char chunk[KRSOCKET_RCM_CHUNK];
        ssize_t n = recv(fd, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        sendTerminator(fd);
        if (n <= 0) break;
        const char *end = static_cast<const char *>(memchr(chunk, '/', (size_t)n));
        size_t keep = end ? (size_t)(end - chunk) : (size_t)n;
        got.bytes += (long)keep;
        if (file && got.bytes <= KRSOCKET_RCM_MAX_BYTES && fwrite(chunk, 1, keep, file) != keep)
            printd("Krsocket_rcmReceiveFile(): error writing the file\n");
        if (end) {
            got.complete = true;
            break;
        }
    }
    return got;
}

// The new content goes to a replacement file, renamed over the old one only when the whole
// transfer arrived: an abandoned one leaves the file as it was.
int receiveResolved(KrSocket *server, const char *resolved) {
    const int slot = transferSlot(server);
    drainQueue(server, slot);
    krstuffWriteKr();
    FILE *file = resolved ? krstuffOpenReplacement(resolved) : nullptr;
    Received got = receiveContent(server->clientFd[slot], file);
    int r = KR_E_EXECUTION_ERROR;
    if (file && got.complete && got.bytes <= KRSOCKET_RCM_MAX_BYTES && fputc('\n', file) != EOF) {
        r = krstuffCommitReplacement(file, resolved);
        if (r == 0) chmod(resolved, 0777);
    } else if (file) {
        krstuffDiscardReplacement(file, resolved);
    }
    krstuffProtectKr();
    if (r == 0 && isMultiClient()) printf("file written\n");
    return r;
}

}  // namespace

bool Krsocket_isServing(const KrSocket *server, const ScpiLink *link) {
    return link && server->servingLink == link;
}

int Krsocket_rcmSendFile(KrSocket *server, const char *path) {
    KrPath resolved(path ? path : "");
    return sendResolved(server, path && resolved.ok() ? resolved.c_str() : nullptr);
}

int Krsocket_rcmReceiveFile(KrSocket *server, const char *path) {
    KrPath resolved(path ? path : "");
    return receiveResolved(server, path && resolved.ok() ? resolved.c_str() : nullptr);
}

int Krsocket_rcmSendFileIn(KrSocket *server, const char *dir, const char *name) {
    char path[KR_PATH_MAX];
    bool inside = krpath_joinInside(dir, name, path, sizeof(path)) == 0;
    return sendResolved(server, inside ? path : nullptr);
}

int Krsocket_rcmReceiveFileIn(KrSocket *server, const char *dir, const char *name) {
    char path[KR_PATH_MAX];
    // A name that leaves the directory still has its data consumed, as an unwritable file.
    bool inside = krpath_joinInside(dir, name, path, sizeof(path)) == 0;
    return receiveResolved(server, inside ? path : nullptr);
}

int KrsocketGetMyAddr(char *buffer) {
    snprintf(buffer, INET_ADDRSTRLEN + 1, "0.0.0.0");
    struct ifreq reqs[interfaceRoom];
    int count = listInterfaces(reqs, "KrsocketGetMyAddr");
    const struct ifreq *chosen = nullptr;
    for (const char *wanted : {"eth0:avahi", "eth0"})
        for (int i = 0; i < count && !chosen; i++)
            if (strncmp(reqs[i].ifr_name, wanted, IFNAMSIZ) == 0) chosen = &reqs[i];
    if (!chosen || !interfaceAddress(*chosen, buffer)) {
        snprintf(buffer, INET_ADDRSTRLEN + 1, "0.0.0.0");
        return -1;
    }
    return 0;
}

int Krsocket_hasAddressChanged(char *buffer) {
    KrsocketGetMyAddr(buffer);
    if (strcmp(buffer, currentIpAddress) == 0) return 0;
    snprintf(currentIpAddress, sizeof(currentIpAddress), "%s", buffer);
    return 1;
}

int KrsocketPrintMyAddr() {
    struct ifreq reqs[interfaceRoom];
    int count = listInterfaces(reqs, "KrsocketPrintMyAddr");
    if (count < 0) return -1;
    printd("    Listening on %d interfaces:\n", count);
    for (int i = 0; i < count; i++) {
        char text[INET_ADDRSTRLEN] = "";
        interfaceAddress(reqs[i], text);
        printd("        %s (%s)\n", reqs[i].ifr_name, text);
    }
    printd("    Active links:\n");
    printd("        VXI-11 portmapper on port 111\n");
    printd("        Socket\n");
    printd("        Console\n");
    printd("        Front Panel\n");
    return 0;
}
