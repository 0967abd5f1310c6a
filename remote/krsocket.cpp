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
#include "core/krpath.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_link.h"

namespace {

// The opened server, for the operations that the command set reaches without a record.
KrSocket *activeServer = nullptr;
KrSocket idleServer;  // takes timeout settings made before the server is opened

char currentIpAddress[INET_ADDRSTRLEN + 1] = "0.0.0.0";

constexpr int privilegedPorts = 1024;
constexpr int privilegedPortOffset = 2000;
constexpr int unboundRetrySeconds = 5;

KrSocket *timeoutServer() {
    return activeServer ? activeServer : &idleServer;
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

void setOption(int fd, int level, int name) {
    int one = 1;
    setsockopt(fd, level, name, &one, sizeof(one));
}

// Writes all bytes unless a write fails. 0 or -1.
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
    if (server->echoLength > 0)
        sendAll(server->clientFd[slot], server->echoOut, server->echoLength);
    server->echoLength = 0;
}

void executeAndAnswer(KrSocket *server, ScpiLink *link, int slot) {
    int more;
    do {
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        more = Krsocket_write(server, link, slot);
    } while (more);
}

void closeClient(KrSocket *server, ScpiLink *link, int slot) {
    close(server->clientFd[slot]);
    server->clientFd[slot] = -1;
    server->echo[slot] = {};
    server->staged[slot] = 0;
    flushLink(link);
    // Listening again before the event is applied: a client that reconnects at once is
    // queued instead of refused. It is accepted only after the event.
    Krsocket_openListenSocket(server);
    krcommEvent(link, 2);  // KREV_DISCONNECT_LAN
    server->resetRequested = 0;
}

// Reads what one client sent into the link, has the main loop execute it and answers that
// client. The read never blocks: the link's lock is held across it. false when the client
// has gone (its slot is then closed).
bool serveSlot(KrSocket *server, ScpiLink *link, int slot) {
    int fd = server->clientFd[slot];
    char *ptr;
    int room = krcommOpenCmd(link, &ptr);
    ssize_t n = room > 0 ? recv(fd, ptr, (size_t)room, MSG_DONTWAIT) : 0;
    int err = errno;
    int got = n > 0 ? (int)n : 0;
    if (got > 0 && scpi_link_isQueryEchoEnabled(link)) collectEchoes(server, slot, ptr, got);
    krcommCloseCmd(link, got);
    sendEchoes(server, slot);
    if (room <= 0 || got > 0) {
        // Without room the link only needs serving: it frees the room itself.
        executeAndAnswer(server, link, slot);
        return true;
    }
    if (n < 0 && (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)) return true;
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

// Multi-client mode: reads into the connection's stage, then moves its whole lines into the
// shared link and answers them on this connection. false when the client has gone.
bool serveStagedSlot(KrSocket *server, ScpiLink *link, int slot) {
    char *stage = server->stage[slot];
    int &staged = server->staged[slot];
    ssize_t n = recv(server->clientFd[slot], stage + staged, (size_t)(KRSOCKET_STAGE_SIZE - staged),
                     MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
    if (n <= 0) {
        closeClient(server, link, slot);
        return false;
    }
    if (scpi_link_isQueryEchoEnabled(link)) {
        collectEchoes(server, slot, stage + staged, (int)n);
        sendEchoes(server, slot);
    }
    staged += (int)n;
    // The link is empty between services; a piece that does not fit is moved after the
    // service that makes room for it.
    for (int pass = 0, ready = forwardable(server, slot); ready > 0 && pass < 64; pass++) {
        char *ptr;
        int room = krcommOpenCmd(link, &ptr);
        int moved = room < ready ? room : ready;
        if (moved > 0) memcpy(ptr, stage, (size_t)moved);
        krcommCloseCmd(link, moved > 0 ? moved : 0);
        if (moved > 0) {
            staged -= moved;
            memmove(stage, stage + moved, (size_t)staged);
            ready -= moved;
        }
        executeAndAnswer(server, link, slot);
    }
    return true;
}

void readSingle(KrSocket *server, ScpiLink *link) {
    int bits = Krsocket_wait(server, link);
    if (bits <= 0) return;
    if (bits & KRSOCKET_WAIT_LISTEN) {
        Krsocket_accept(server, link);
        if (!timeoutIsZero(server->timeoutSeconds, server->timeoutMicroseconds))
            Krsocket_closeListenSocket(server);
        return;
    }
    if ((bits & KRSOCKET_WAIT_CLIENT) && server->clientFd[0] >= 0) serveSlot(server, link, 0);
}

void readMulti(KrSocket *server, ScpiLink *link) {
    int bits = Krsocket_wait(server, link);
    if (bits <= 0) return;
    if (bits & KRSOCKET_WAIT_LISTEN) {
        printd("Krsocket_read_multi(): pending incoming connection %i\n", clientsInUse(server));
        Krsocket_accept(server, link);
        if (!timeoutIsZero(server->timeoutSeconds, server->timeoutMicroseconds) &&
            clientsInUse(server) == KRSOCKET_MAX_CLIENTS)
            Krsocket_closeListenSocket(server);
        return;
    }
    if (!(bits & KRSOCKET_WAIT_CLIENT)) return;
    for (int slot = 0; slot < KRSOCKET_MAX_CLIENTS; slot++) {
        int fd = server->clientFd[slot];
        if (fd < 0 || !FD_ISSET(fd, &server->readSet)) continue;
        // The slots after a closed one wait for the next step.
        if (!serveStagedSlot(server, link, slot)) break;
    }
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
    if (fd >= FD_SETSIZE) {
        close(fd);  // select cannot watch it
        fd = -1;
    }
    if (fd < 0) {
        printd("%s", error);
        server->resetRequested = 0;
        return -1;
    }
    setOption(fd, SOL_SOCKET, SO_REUSEADDR);
    setOption(fd, IPPROTO_TCP, TCP_NODELAY);
    server->clientFd[slot] = fd;
    server->echo[slot] = {};
    server->staged[slot] = 0;
    krcommEvent(link, 1);  // KREV_CONNECT_LAN
    server->resetRequested = 0;
    return 0;
}

// Receives one chunk from a slot into the file; acknowledges it. Returns the bytes read
// (0 or less: the client is gone) and whether the chunk held the final slash.
int receiveChunk(int clientFd, int fileFd, bool *slash) {
    char chunk[KRSOCKET_RCM_CHUNK];
    ssize_t n = recv(clientFd, chunk, sizeof(chunk), 0);
    *slash = false;
    if (n <= 0) {
        sendTerminator(clientFd);
        return (int)n;
    }
    const char *end = static_cast<const char *>(memchr(chunk, '/', (size_t)n));
    *slash = end != nullptr;
    ssize_t keep = end ? end - chunk : n;
    if (fileFd >= 0 && keep > 0 && write(fileFd, chunk, (size_t)keep) != keep)
        printd("Krsocket_rcmReceiveFile(): error writing the file\n");
    sendTerminator(clientFd);
    return (int)n;
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
    for (int &fd : server->clientFd)
        fd = -1;
    for (auto &line : server->echo)
        line = {};
    for (int &n : server->staged)
        n = 0;
    server->echoLength = 0;
    server->port = port;
    server->requestedPort = 0;
    server->timeoutSeconds = KRSOCKET_TIMEOUT_INFINITE;
    server->timeoutMicroseconds = 0;
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

int Krsocket_wait(KrSocket *server, ScpiLink *) {
    const int32_t seconds = server->timeoutSeconds, microseconds = server->timeoutMicroseconds;
    const bool multi = isMultiClient();
    const bool zero = timeoutIsZero(seconds, microseconds);
    const bool infinite = seconds == KRSOCKET_TIMEOUT_INFINITE;
    struct timeval left = {seconds, microseconds};
    int r;
    for (;;) {
        fd_set *set = &server->readSet;
        FD_ZERO(set);
        int maxFd = -1;
        auto watch = [&](int fd) {
            if (fd < 0) return;
            FD_SET(fd, set);
            if (fd > maxFd) maxFd = fd;
        };
        int used = clientsInUse(server);
        if (multi) {
            for (int fd : server->clientFd)
                watch(fd);
            if (used < KRSOCKET_MAX_CLIENTS) watch(server->listenFd);
        } else {
            watch(server->clientFd[0]);
            watch(server->listenFd);
        }
        watch(server->wakePipe[0]);
        const bool connected = multi ? used > 0 : server->clientFd[0] >= 0;
        const bool timed = !zero && connected && !infinite;
        // Nothing to listen on and nobody connected: try the listener again now and then.
        const bool unbound = server->listenFd < 0 && !connected;
        struct timeval retry = {unboundRetrySeconds, 0};
        r = select(maxFd + 1, set, nullptr, nullptr, timed ? &left : unbound ? &retry : nullptr);
        if (r == 0 && unbound && !timed) {
            Krsocket_openListenSocket(server);
            return 0;
        }
        if (r == 0) {
            if (!multi) printd("Krsocket_wait(): timed out, opening listening socket\n");
            Krsocket_openListenSocket(server);
            left = {seconds, microseconds};
            errno = EAGAIN;
            if (!connected) return 0;
            continue;
        }
        if (r < 0) {
            if ((errno == EAGAIN || errno == EINTR) && connected) continue;
            return 0;
        }
        break;
    }
    fd_set *set = &server->readSet;
    if (server->wakePipe[0] >= 0 && FD_ISSET(server->wakePipe[0], set)) {
        char byte;
        if (read(server->wakePipe[0], &byte, 1) < 0) printd("Krsocket_wait(): wake pipe\n");
        applyPortChange(server);
        if (server->resetRequested) return KRSOCKET_WAIT_RESET;
    }
    int result = 0;
    if (multi) {
        for (int fd : server->clientFd) {
            if (fd >= 0 && FD_ISSET(fd, set)) {
                result |= KRSOCKET_WAIT_CLIENT;
                break;
            }
        }
        if (!zero && clientsInUse(server) == KRSOCKET_MAX_CLIENTS)
            Krsocket_closeListenSocket(server);
    } else {
        int fd = server->clientFd[0];
        if (fd >= 0 && FD_ISSET(fd, set)) {
            result |= KRSOCKET_WAIT_CLIENT;
            // Data from the client: the silence starts again, nobody may take over now.
            if (!zero) Krsocket_closeListenSocket(server);
        }
    }
    if (server->listenFd >= 0 && FD_ISSET(server->listenFd, set)) result |= KRSOCKET_WAIT_LISTEN;
    return result;
}

int Krsocket_accept(KrSocket *server, ScpiLink *link) {
    if (!isMultiClient()) {
        if (server->clientFd[0] >= 0) {
            printd("Krsocket_accept(): closing (hijacking) inactive connection\n");
            close(server->clientFd[0]);
            server->clientFd[0] = -1;
            // The displaced client's unfinished line must not prefix the new client's first.
            flushLink(link);
        }
        return acceptInto(server, link, 0, "Krsocket_accept(): error in accept()\n");
    }
    for (int slot = 0; slot < KRSOCKET_MAX_CLIENTS; slot++)
        if (server->clientFd[slot] < 0)
            return acceptInto(server, link, slot, "Krsocket_accept_multi(): error in accept()\n");
    server->resetRequested = 0;
    return -1;
}

int Krsocket_write(KrSocket *server, ScpiLink *link, int slot) {
    int fd = (slot >= 0 && slot < KRSOCKET_MAX_CLIENTS) ? server->clientFd[slot] : -1;
    bool failed = fd < 0;
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
        if (!failed && sendAll(fd, server->txBuf, n) != 0) failed = true;
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
        listen(fd, 1) == 0) {
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
    KrSocket *server = timeoutServer();
    server->timeoutSeconds = (int32_t)(us / 1000000u);
    server->timeoutMicroseconds = (int32_t)(us % 1000000u);
    return 0;
}

double Krsocket_getInactivityTimeout() {
    KrSocket *server = timeoutServer();
    return server->timeoutSeconds + server->timeoutMicroseconds * 0.000001;
}

double Krsocket_getInactivityTimeoutMin() {
    return 0;
}
double Krsocket_getInactivityTimeoutMax() {
    return 1000000;
}

int Krsocket_setInactivityTimeoutInfinite() {
    KrSocket *server = timeoutServer();
    server->timeoutSeconds = KRSOCKET_TIMEOUT_INFINITE;
    server->timeoutMicroseconds = 0;
    return 0;
}

bool Krsocket_isInactivityTimeoutInfinite() {
    return timeoutServer()->timeoutSeconds == KRSOCKET_TIMEOUT_INFINITE;
}

namespace {

int sendResolved(KrSocket *server, const char *resolved) {
    int fd = server->clientFd[0];
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

int receiveResolved(KrSocket *server, const char *resolved) {
    krstuffWriteKr();
    int file = resolved ? open(resolved, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : -1;
    const bool multi = isMultiClient();
    bool resetDeferred = false;
    for (bool more = true; more;) {
        if (multi) printd("waiting\n");
        int bits = Krsocket_wait(server, nullptr);
        if (bits == KRSOCKET_WAIT_RESET) {
            // A server reset waits until the file is in; the socket thread carries it out.
            resetDeferred = true;
            continue;
        }
        if (bits < 0 || (bits & KRSOCKET_WAIT_LISTEN) || !(bits & KRSOCKET_WAIT_CLIENT)) break;
        if (!multi) {
            bool slash;
            if (receiveChunk(server->clientFd[0], file, &slash) <= 0) break;
            more = !slash;
            continue;
        }
        for (int fd : server->clientFd) {
            if (fd < 0 || !FD_ISSET(fd, &server->readSet)) continue;
            bool slash;
            more = receiveChunk(fd, file, &slash) > 0 && !slash;
        }
    }
    int r = KR_E_EXECUTION_ERROR;
    if (file >= 0) {
        r = write(file, "\n", 1) == 1 ? 0 : KR_E_EXECUTION_ERROR;
        if (close(file) != 0) r = KR_E_EXECUTION_ERROR;
        chmod(resolved, 0777);
    }
    krstuffProtectKr();
    if (multi) printf("file written\n");
    if (resetDeferred) Krsocket_reset(server);
    return r;
}

}  // namespace

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
