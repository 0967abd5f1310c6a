#include "remote/krvxi.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <rpc/pmap_clnt.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/kr_event.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "scpi/scpi_link.h"

KrVxiLink vxilink = {nullptr, KR_VXI_LID_FREE,        0, nullptr, KR_VXI_LID_FREE, 0, 1,
                     nullptr, KR_VXI_TIMEOUT_INFINITE};

namespace {

constexpr const char *kDeviceName = "inst0";
// A client that stops mid-record must not hold up the others: each connection assembles its
// records without blocking, up to this size (the largest write plus its header), and is
// closed when a record or its reply has not got through in this time.
constexpr u_int kMaxRecord = VXI11_MAX_DATA + 1024;
constexpr uint32_t kStallTimeoutMs = 3000;
// Connections kept at once; beyond it the oldest idle one makes room, or the newcomer is
// turned away. Clients need two each (core and abort), and there are two channels.
constexpr size_t kMaxConnections = 64;
// Passes of the main loop without room appearing before a write gives up (the answer must be
// read first).
constexpr int kWriteStallPasses = 3;
// How long the interrupt channel may take to connect back to the client.
constexpr int kIntrConnectTimeoutMs = 3000;

// Traffic re-arms the channel's activity indication. Only when it has counted down: the
// indication takes the device access lock, which every query would otherwise wait for.
void indicateTraffic(ScpiLink *link) {
    int *counter = link == vxilink.linkA ? &vxiALinkActivity : &vxiBLinkActivity;
    if (__atomic_load_n(counter, __ATOMIC_RELAXED) < 5) kr_event_indicateLinkActivity(link);
}

// The connection whose call is being served (0: none) and the one that created each channel's
// link: a client that goes away without destroy_link must not hold its channel.
uint64_t servingConnection = 0;
uint64_t intrChannelOwner = 0;  // the connection that created the interrupt channel
uint64_t channelOwner[2] = {0, 0};

uint32_t nextLidAfter(uint32_t lid) {
    return lid >= KR_VXI_LID_MAX ? 1 : lid + 1;
}

uint32_t nowMs() {
    return (uint32_t)kr_abstime_ms();
}

// Active while younger than the timeout; wrap-safe on the 32-bit millisecond clock.
bool channelActive(uint32_t last, uint32_t now) {
    return now - last < vxilink.inactivityTimeout;
}

// A new client must not receive what its predecessor left unread (or half sent). The main loop
// serves a VXI link only while this thread waits for it, so the link is idle here.
void flushChannel(ScpiLink *link) {
    if (!link || !link->cmdBuf) return;
    pthread_mutex_lock(&link->bufLock);
    scpi_link_flush(link);
    pthread_mutex_unlock(&link->bufLock);
}

void bindChannel(int channel, uint32_t *lid) {
    uint32_t id = vxilink.nextLid;
    uint32_t now = nowMs();
    flushChannel(channel == 0 ? vxilink.linkA : vxilink.linkB);
    channelOwner[channel] = servingConnection;
    if (channel == 0) {
        vxilink.lidA = id;
        vxilink.lastActivityA = now;
    } else {
        vxilink.lidB = id;
        vxilink.lastActivityB = now;
    }
    // The next id must not be one a channel still holds, or two clients would share a channel.
    uint32_t next = nextLidAfter(id);
    while (next == vxilink.lidA || next == vxilink.lidB)
        next = nextLidAfter(next);
    vxilink.nextLid = next;
    *lid = id;
}

}  // namespace

void kr_vxi_link_init(ScpiLink *linkA, ScpiLink *linkB) {
    vxilink.linkA = linkA;
    vxilink.linkB = linkB;
    vxilink.lidA = KR_VXI_LID_FREE;
    vxilink.lidB = KR_VXI_LID_FREE;
    vxilink.lastActivityA = 0;
    vxilink.lastActivityB = 0;
    vxilink.nextLid = 1;
    vxilink.intrClient = nullptr;
    vxilink.inactivityTimeout = KR_VXI_TIMEOUT_INFINITE;
    channelOwner[0] = channelOwner[1] = 0;
}

int kr_vxi_link_open(uint32_t *lid) {
    if (vxilink.lidA == KR_VXI_LID_FREE) {
        bindChannel(0, lid);
        return 1;
    }
    if (vxilink.lidB == KR_VXI_LID_FREE) {
        bindChannel(1, lid);
        return 1;
    }
    if (vxilink.inactivityTimeout == KR_VXI_TIMEOUT_INFINITE) return 0;
    uint32_t now = nowMs();
    bool activeA = channelActive(vxilink.lastActivityA, now);
    bool activeB = channelActive(vxilink.lastActivityB, now);
    int channel;
    if (activeA) {
        if (activeB) return 0;
        channel = 1;
    } else if (now - vxilink.lastActivityA > now - vxilink.lastActivityB) {
        channel = 0;  // A was used less recently
    } else {
        if (activeB) return 0;
        channel = 1;
    }
    printd("kr_vxi_link_open(): reconnect on VXI link %s (inactivity timeout)\n",
           channel == 0 ? "A" : "B");
    bindChannel(channel, lid);
    return 1;
}

ScpiLink *kr_vxi_link_get(uint32_t lid) {
    if (lid == KR_VXI_LID_FREE) return nullptr;  // never matches a free channel
    if (lid == vxilink.lidA) {
        vxilink.lastActivityA = nowMs();
        return vxilink.linkA;
    }
    if (lid == vxilink.lidB) {
        vxilink.lastActivityB = nowMs();
        return vxilink.linkB;
    }
    return nullptr;
}

// What the client left half done (a block receive above all) ends with its link, so that the
// next client's bytes are read as commands.
void kr_vxi_link_close(uint32_t lid) {
    if (lid == KR_VXI_LID_FREE) return;
    ScpiLink *links[2] = {vxilink.linkA, vxilink.linkB};
    uint32_t *lids[2] = {&vxilink.lidA, &vxilink.lidB};
    for (int channel = 0; channel < 2; channel++) {
        if (*lids[channel] != lid) continue;
        *lids[channel] = KR_VXI_LID_FREE;
        if (links[channel] && links[channel]->cmdBuf) krcommEndSession(links[channel]);
    }
}

void kr_vxi_link_setIntrChanClient(CLIENT *client) {
    vxilink.intrClient = client;
}

CLIENT *kr_vxi_link_getIntrChanClient() {
    return vxilink.intrClient;
}

int kr_vxi_setInactivityTimeout(double seconds) {
    if (!(seconds > 0)) seconds = 0;  // also NaN
    if (seconds > KR_VXI_TIMEOUT_MAX_S) seconds = KR_VXI_TIMEOUT_MAX_S;
    vxilink.inactivityTimeout = (uint32_t)(seconds * 1000.0);
    return 0;
}

KrTime *kr_vxi_getInactivityTimeout() {
    static KrTime value;
    value = vxilink.inactivityTimeout / 1000.0;
    return &value;
}

KrTime *kr_vxi_getInactivityTimeoutMin() {
    static KrTime value = 0;
    return &value;
}

KrTime *kr_vxi_getInactivityTimeoutMax() {
    static KrTime value = KR_VXI_TIMEOUT_MAX_S;
    return &value;
}

int kr_vxi_setInactivityTimeoutInfinite() {
    vxilink.inactivityTimeout = KR_VXI_TIMEOUT_INFINITE;
    return 0;
}

int kr_vxi_isInactivityTimeoutInfinite() {
    return vxilink.inactivityTimeout == KR_VXI_TIMEOUT_INFINITE ? 1 : 0;
}

void kr_vxi_error() {
    printf("Fatal error in VXI-11 link, shutting down VXI-11\n");
    pthread_exit(nullptr);
}

// ---- Procedures -------------------------------------------------------------------------

Create_LinkResp *create_link_1_svc(Create_LinkParms *parms, struct svc_req *) {
    static Create_LinkResp result;
    printd("create_link_1_svc() (VXI-11)\n");
    result = {};
    if (!parms->device || strcasecmp(parms->device, kDeviceName) != 0) {
        result.error = VXI11_E_NOT_ACCESSIBLE;
        return &result;
    }
    uint32_t lid = 0;
    if (!kr_vxi_link_open(&lid)) {
        printd("create_link_1_svc() (VXI-11): failed as no link is available\n");
        result.error = VXI11_E_OUT_OF_RESOURCES;
        return &result;
    }
    result.error = VXI11_E_NONE;
    result.lid = (Device_Link)lid;
    result.abortPort = KR_VXI_ABORT_PORT;
    result.maxRecvSize = KR_VXI_MAX_RECV_SIZE;
    return &result;
}

Device_WriteResp *device_write_1_svc(Device_WriteParms *parms, struct svc_req *) {
    static Device_WriteResp result;
    printd("device_write_1_svc() (VXI-11)\n");
    result = {};
    ScpiLink *link = kr_vxi_link_get((uint32_t)parms->lid);
    if (!link) {
        printd("device_write_1_svc() (VXI-11): invalid link ID\n");
        result.error = VXI11_E_INVALID_LINK;
        return &result;
    }
    indicateTraffic(link);
    // END on the last byte ends the program message also without a line feed, as clients that
    // send bare commands expect.
    bool end = (parms->flags & VXI11_FLAG_END) != 0;
    u_int len = parms->data.len;
    u_int done = 0;
    int stalls = 0;
    do {
        char *ptr;
        int room = krcommOpenCmd(link, &ptr);
        int copied = (int)(len - done) < room ? (int)(len - done) : room;
        if (copied > 0) memcpy(ptr, parms->data.val + done, (size_t)copied);
        done += (u_int)copied;
        if (end && copied > 0 && done == len && parms->data.val[len - 1] != '\n')
            krcommEndCmd(link, copied);
        krcommCloseCmd(link, copied);
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        // A command buffer that stays full is waiting for its answer to be read, which cannot
        // happen while this call holds the VXI thread.
        stalls = copied > 0 ? 0 : stalls + 1;
        if (stalls >= kWriteStallPasses && done < len) {
            printd("device_write_1_svc() (VXI-11): no room, %u of %u bytes taken\n", done, len);
            result.error = VXI11_E_IO_TIMEOUT;
            result.size = done;
            return &result;
        }
    } while (done < len);
    result.error = VXI11_E_NONE;
    result.size = len;
    return &result;
}

Device_ReadResp *device_read_1_svc(Device_ReadParms *parms, struct svc_req *) {
    static Device_ReadResp result;
    // A copy: the reply is encoded after the link has been released.
    static char data[KR_VXI_MAX_RECV_SIZE + SCPI_ANS_OVERFLOW_RESERVE];
    printd("device_read_1_svc() (VXI-11)\n");
    result = {};
    result.data.val = data;
    ScpiLink *link = kr_vxi_link_get((uint32_t)parms->lid);
    if (!link) {
        printd("device_read_1_svc() (VXI-11): invalid link ID\n");
        result.error = VXI11_E_INVALID_LINK;
        return &result;
    }
    indicateTraffic(link);
    char *ans;
    // An answer already waiting (the write's last pass produced it) is taken as it is; only
    // otherwise does the main loop run a pass for the channel first.
    int avail = krcommPeekAns(link, &ans, nullptr);
    if (avail <= 0) {
        krcommClearAns(link, 0, nullptr);
        scpi_link_doHandle(link);
        scpi_link_waitHandled(link);
        avail = krcommPeekAns(link, &ans, nullptr);
    }
    uint32_t count = avail > 0 ? (uint32_t)avail : 0;
    if (count > parms->requestSize) count = parms->requestSize;
    if (count > sizeof(data)) count = sizeof(data);
    memcpy(data, ans, count);
    int more = 0;
    krcommClearAns(link, (int)count, &more);
    bool rest = more || (uint32_t)(avail > 0 ? avail : 0) > count;
    result.error = VXI11_E_NONE;
    if (count == parms->requestSize)
        result.reason = VXI11_REASON_REQCNT;
    else if (parms->requestSize != 0 && !rest)
        result.reason = VXI11_REASON_END;
    result.data.len = count;
    return &result;
}

Device_ReadStbResp *device_readstb_1_svc(Device_GenericParms *, struct svc_req *) {
    static Device_ReadStbResp result;
    printd("device_readstb_1_svc() (VXI-11)\n");
    result = {VXI11_E_NONE, 0};
    return &result;
}

namespace {

Device_Error *noError(const char *name) {
    static Device_Error result;
    printd("%s() (VXI-11)\n", name);
    result.error = VXI11_E_NONE;
    return &result;
}

}  // namespace

Device_Error *device_trigger_1_svc(Device_GenericParms *, struct svc_req *) {
    return noError("device_trigger_1_svc");
}
// A device clear ends a transfer in progress and drops what the link holds.
Device_Error *device_clear_1_svc(Device_GenericParms *parms, struct svc_req *) {
    ScpiLink *link = kr_vxi_link_get((uint32_t)parms->lid);
    if (link && link->cmdBuf) krcommClear(link);
    return noError("device_clear_1_svc");
}
Device_Error *device_remote_1_svc(Device_GenericParms *, struct svc_req *) {
    return noError("device_remote_1_svc");
}
Device_Error *device_local_1_svc(Device_GenericParms *, struct svc_req *) {
    return noError("device_local_1_svc");
}
Device_Error *device_lock_1_svc(Device_LockParms *, struct svc_req *) {
    return noError("device_lock_1_svc");
}
Device_Error *device_unlock_1_svc(Device_Link *, struct svc_req *) {
    return noError("device_unlock_1_svc");
}
Device_Error *device_enable_srq_1_svc(Device_EnableSrqParms *, struct svc_req *) {
    return noError("device_enable_srq_1_svc");
}
Device_Error *device_abort_1_svc(Device_Link *, struct svc_req *) {
    return noError("device_abort_1_svc");
}

// No command is performed; answering keeps clients from waiting for their RPC timeout.
Device_DocmdResp *device_docmd_1_svc(Device_DocmdParms *, struct svc_req *) {
    static Device_DocmdResp result;
    printd("device_docmd_1_svc() (VXI-11)\n");
    result = {};
    result.error = VXI11_E_NOT_SUPPORTED;
    return &result;
}

Device_Error *destroy_link_1_svc(Device_Link *lid, struct svc_req *) {
    static Device_Error result;
    printd("destroy_link_1_svc() (VXI-11)\n");
    if (kr_vxi_link_get((uint32_t)*lid)) {
        kr_vxi_link_close((uint32_t)*lid);
        result.error = VXI11_E_NONE;
    } else {
        result.error = VXI11_E_INVALID_LINK;
    }
    return &result;
}

Device_Error *create_intr_chan_1_svc(Device_RemoteFunc *parms, struct svc_req *) {
    static Device_Error result;
    printd("create_intr_chan_1_svc() (VXI-11)\n");
    result.error = kr_device_intr_clnt_create(parms->hostAddr, parms->hostPort, parms->progNum,
                                              parms->progVers, (uint32_t)parms->progFamily);
    if (result.error == VXI11_E_NONE) intrChannelOwner = servingConnection;
    printd("create_intr_chan_1_svc() (VXI-11): returning error code %d\n", result.error);
    return &result;
}

Device_Error *destroy_intr_chan_1_svc(void *, struct svc_req *) {
    static Device_Error result;
    printd("destroy_intr_chan_1_svc() (VXI-11)\n");
    CLIENT *client = kr_vxi_link_getIntrChanClient();
    if (!client) {
        result.error = VXI11_E_NO_CHANNEL;
    } else {
        clnt_destroy(client);
        kr_vxi_link_setIntrChanClient(nullptr);
        result.error = VXI11_E_NONE;
    }
    printd("destroy_intr_chan_1_svc() (VXI-11): returning error code %d\n", result.error);
    return &result;
}

namespace {

// A connected TCP socket to addr within the timeout, or -1. A client address that does not
// answer must not hold the VXI thread for minutes.
int connectBounded(const struct sockaddr_in *addr, int timeoutMs) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int r = connect(fd, reinterpret_cast<const struct sockaddr *>(addr), sizeof(*addr));
    if (r < 0 && errno == EINPROGRESS) {
        struct pollfd pfd = {fd, POLLOUT, 0};
        int err = 0;
        socklen_t len = sizeof(err);
        if (poll(&pfd, 1, timeoutMs) == 1 &&
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
            r = 0;
    }
    if (r < 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, flags);
    return fd;
}

}  // namespace

int kr_device_intr_clnt_create(uint32_t hostAddr, uint32_t hostPort, uint32_t progNum,
                               uint32_t progVers, uint32_t progFamily) {
    if (progFamily >= 2) {
        printd("kr_device_intr_clnt_create(): error: family neither TCP nor UDP\n");
        return VXI11_E_NOT_SUPPORTED;
    }
    if (progNum != DEVICE_INTR) {
        printd("kr_device_intr_clnt_create(): error: invalid program number\n");
        return VXI11_E_NOT_SUPPORTED;
    }
    if (progVers != DEVICE_INTR_VERSION) {
        printd("kr_device_intr_clnt_create(): error: invalid program version\n");
        return VXI11_E_NOT_SUPPORTED;
    }
    if (kr_vxi_link_getIntrChanClient()) {
        printd("kr_device_intr_clnt_create(): error: established before\n");
        return VXI11_E_CHANNEL_ESTABLISHED;
    }
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(hostAddr);
    addr.sin_port = htons((uint16_t)hostPort);
    CLIENT *client = nullptr;
    // Port 0 would make the RPC library ask the client's portmapper, with long timeouts.
    if (hostPort != 0) {
        if (progFamily == DEVICE_UDP) {
            printd("kr_device_intr_clnt_create(): trying to establish UDP channel\n");
            int sock = RPC_ANYSOCK;
            client = clntudp_create(&addr, progNum, progVers, timeval{3, 0}, &sock);
        } else {
            printd("kr_device_intr_clnt_create(): trying to establish TCP channel\n");
            int sock = connectBounded(&addr, kIntrConnectTimeoutMs);
            if (sock >= 0) {
                client = clnttcp_create(&addr, progNum, progVers, &sock, 0, 0);
                if (client)
                    clnt_control(client, CLSET_FD_CLOSE, nullptr);
                else
                    close(sock);
            }
        }
    }
    if (!client) {
        printd("kr_device_intr_clnt_create(): error: establishing channel failed\n");
        return VXI11_E_NO_CHANNEL;
    }
    kr_vxi_link_setIntrChanClient(client);
    printd("kr_device_intr_clnt_create(): success\n");
    return VXI11_E_NONE;
}

// ---- Dispatch -----------------------------------------------------------------------------

namespace {

bool_t xdrNothing(XDR *, void *) {
    return TRUE;
}

typedef void *(*Vxi11Handler)(void *argument, struct svc_req *request);

struct Vxi11Procedure {
    rpcproc_t number;
    xdrproc_t decodeArgument;
    xdrproc_t encodeResult;
    Vxi11Handler handler;
};

template <class R, class A>
Vxi11Handler handler(R *(*fn)(A *, struct svc_req *)) {
    return reinterpret_cast<Vxi11Handler>(fn);
}

#define VXI11_PROC(number, arg, res, fn) \
    { number, reinterpret_cast<xdrproc_t>(arg), reinterpret_cast<xdrproc_t>(res), handler(fn) }

const Vxi11Procedure coreProcedures[] = {
    VXI11_PROC(VXI11_CREATE_LINK, xdr_Create_LinkParms, xdr_Create_LinkResp, create_link_1_svc),
    VXI11_PROC(VXI11_DEVICE_WRITE, xdr_Device_WriteParms, xdr_Device_WriteResp, device_write_1_svc),
    VXI11_PROC(VXI11_DEVICE_READ, xdr_Device_ReadParms, xdr_Device_ReadResp, device_read_1_svc),
    VXI11_PROC(VXI11_DEVICE_READSTB, xdr_Device_GenericParms, xdr_Device_ReadStbResp,
               device_readstb_1_svc),
    VXI11_PROC(VXI11_DEVICE_TRIGGER, xdr_Device_GenericParms, xdr_Device_Error,
               device_trigger_1_svc),
    VXI11_PROC(VXI11_DEVICE_CLEAR, xdr_Device_GenericParms, xdr_Device_Error, device_clear_1_svc),
    VXI11_PROC(VXI11_DEVICE_REMOTE, xdr_Device_GenericParms, xdr_Device_Error, device_remote_1_svc),
    VXI11_PROC(VXI11_DEVICE_LOCAL, xdr_Device_GenericParms, xdr_Device_Error, device_local_1_svc),
    VXI11_PROC(VXI11_DEVICE_LOCK, xdr_Device_LockParms, xdr_Device_Error, device_lock_1_svc),
    VXI11_PROC(VXI11_DEVICE_UNLOCK, xdr_Device_Link, xdr_Device_Error, device_unlock_1_svc),
    VXI11_PROC(VXI11_DEVICE_ENABLE_SRQ, xdr_Device_EnableSrqParms, xdr_Device_Error,
               device_enable_srq_1_svc),
    VXI11_PROC(VXI11_DEVICE_DOCMD, xdr_Device_DocmdParms, xdr_Device_DocmdResp, device_docmd_1_svc),
    VXI11_PROC(VXI11_DESTROY_LINK, xdr_Device_Link, xdr_Device_Error, destroy_link_1_svc),
    VXI11_PROC(VXI11_CREATE_INTR_CHAN, xdr_Device_RemoteFunc, xdr_Device_Error,
               create_intr_chan_1_svc),
    VXI11_PROC(VXI11_DESTROY_INTR_CHAN, xdrNothing, xdr_Device_Error, destroy_intr_chan_1_svc),
};

const Vxi11Procedure asyncProcedures[] = {
    VXI11_PROC(VXI11_DEVICE_ABORT, xdr_Device_Link, xdr_Device_Error, device_abort_1_svc),
};

#undef VXI11_PROC

union Vxi11Argument {
    Create_LinkParms createLink;
    Device_WriteParms write;
    Device_ReadParms read;
    Device_GenericParms generic;
    Device_LockParms lock;
    Device_Link lid;
    Device_EnableSrqParms enableSrq;
    Device_DocmdParms docmd;
    Device_RemoteFunc remoteFunc;
};

const Vxi11Procedure *findProcedure(rpcprog_t program, rpcproc_t number) {
    const Vxi11Procedure *begin = program == DEVICE_CORE ? coreProcedures : asyncProcedures;
    const Vxi11Procedure *end =
        program == DEVICE_CORE ? std::end(coreProcedures) : std::end(asyncProcedures);
    for (const Vxi11Procedure *p = begin; p != end; ++p)
        if (p->number == number) return p;
    return nullptr;
}

// The reply to one call, record mark included, appended to out. False when even a system
// error reply cannot be encoded.
bool encodeReply(std::string *out, uint32_t xid, enum accept_stat stat, xdrproc_t encode,
                 void *result) {
    // The largest reply is a read's answer with its headers.
    static char buf[4 + 256 + KR_VXI_MAX_RECV_SIZE + SCPI_ANS_OVERFLOW_RESERVE];
    struct rpc_msg reply = {};
    reply.rm_xid = xid;
    reply.rm_direction = REPLY;
    reply.rm_reply.rp_stat = MSG_ACCEPTED;
    reply.acpted_rply.ar_verf = _null_auth;
    reply.acpted_rply.ar_stat = stat;
    if (stat == PROG_MISMATCH) {
        reply.acpted_rply.ar_vers.low = DEVICE_CORE_VERSION;
        reply.acpted_rply.ar_vers.high = DEVICE_CORE_VERSION;
    } else if (stat == SUCCESS) {
        reply.acpted_rply.ar_results.where = reinterpret_cast<caddr_t>(result);
        reply.acpted_rply.ar_results.proc = encode;
    }
    XDR xdrs;
    xdrmem_create(&xdrs, buf + 4, sizeof(buf) - 4, XDR_ENCODE);
    bool ok = xdr_replymsg(&xdrs, &reply);
    u_int len = xdr_getpos(&xdrs);
    xdr_destroy(&xdrs);
    if (!ok) return stat != SYSTEM_ERR && encodeReply(out, xid, SYSTEM_ERR, nullptr, nullptr);
    uint32_t mark = htonl(0x80000000u | len);
    memcpy(buf, &mark, 4);
    out->append(buf, len + 4);
    return true;
}

// Decodes and serves one whole record, appending the reply. False when the record is not an
// RPC call, which ends the connection.
bool serveRecord(std::vector<char> &record, uint64_t connection, std::string *out) {
    XDR xdrs;
    xdrmem_create(&xdrs, record.data(), (u_int)record.size(), XDR_DECODE);
    char authArea[2 * MAX_AUTH_BYTES];
    struct rpc_msg call = {};
    call.rm_call.cb_cred.oa_base = authArea;
    call.rm_call.cb_verf.oa_base = authArea + MAX_AUTH_BYTES;
    if (!xdr_callmsg(&xdrs, &call)) {
        xdr_destroy(&xdrs);
        return false;
    }
    const struct call_body &body = call.rm_call;
    bool ok;
    const Vxi11Procedure *proc = nullptr;
    if (body.cb_prog != DEVICE_CORE && body.cb_prog != DEVICE_ASYNC) {
        ok = encodeReply(out, call.rm_xid, PROG_UNAVAIL, nullptr, nullptr);
    } else if (body.cb_vers != DEVICE_CORE_VERSION) {
        ok = encodeReply(out, call.rm_xid, PROG_MISMATCH, nullptr, nullptr);
    } else if (body.cb_proc == VXI11_NULLPROC) {
        ok = encodeReply(out, call.rm_xid, SUCCESS, reinterpret_cast<xdrproc_t>(xdrNothing),
                         nullptr);
    } else if (!(proc = findProcedure(body.cb_prog, body.cb_proc))) {
        ok = encodeReply(out, call.rm_xid, PROC_UNAVAIL, nullptr, nullptr);
    } else {
        Vxi11Argument argument;
        memset(&argument, 0, sizeof(argument));
        if (!proc->decodeArgument(&xdrs, &argument)) {
            ok = encodeReply(out, call.rm_xid, GARBAGE_ARGS, nullptr, nullptr);
        } else {
            struct svc_req request = {};
            request.rq_prog = body.cb_prog;
            request.rq_vers = body.cb_vers;
            request.rq_proc = body.cb_proc;
            servingConnection = connection;
            void *result = proc->handler(&argument, &request);
            servingConnection = 0;
            ok = encodeReply(out, call.rm_xid, SUCCESS, proc->encodeResult, result);
        }
        // Also whatever the decoder allocated before it failed.
        xdr_free(proc->decodeArgument, reinterpret_cast<char *>(&argument));
    }
    xdr_destroy(&xdrs);
    return ok;
}

// One client connection: the record being assembled and the replies not yet sent.
struct Connection {
    int fd;
    uint64_t id;
    std::vector<char> record;
    unsigned char mark[4];
    u_int markLen;       // bytes of the current fragment's mark received
    u_int fragmentLeft;  // bytes of the current fragment still to come
    bool lastFragment;
    bool inRecord;         // a record has begun and is not complete
    uint32_t recordSince;  // nowMs() at its first byte
    std::string out;
    uint32_t outSince;  // nowMs() when the replies last made progress
};

// Milliseconds until the connection counts as stalled, or -1 while it waits for nothing.
int stallLeft(const Connection &c, uint32_t now) {
    int left = -1;
    for (int k = 0; k < 2; k++) {
        if (!(k == 0 ? c.inRecord : !c.out.empty())) continue;
        uint32_t age = now - (k == 0 ? c.recordSince : c.outSince);
        int l = age < kStallTimeoutMs ? (int)(kStallTimeoutMs - age) : 0;
        if (left < 0 || l < left) left = l;
    }
    return left;
}

// Takes received bytes, serving each record as it completes. False: close the connection.
bool receive(Connection &c, const char *data, size_t len) {
    size_t i = 0;
    while (i < len) {
        if (!c.inRecord) {
            c.inRecord = true;
            c.recordSince = nowMs();
        }
        if (c.markLen < 4) {
            c.mark[c.markLen++] = (unsigned char)data[i++];
            if (c.markLen < 4) continue;
            uint32_t mark;
            memcpy(&mark, c.mark, 4);
            mark = ntohl(mark);
            c.lastFragment = (mark & 0x80000000u) != 0;
            c.fragmentLeft = mark & 0x7FFFFFFFu;
            if (c.fragmentLeft > kMaxRecord - c.record.size()) return false;
        } else {
            size_t n = len - i < c.fragmentLeft ? len - i : c.fragmentLeft;
            c.record.insert(c.record.end(), data + i, data + i + n);
            i += n;
            c.fragmentLeft -= (u_int)n;
        }
        if (c.fragmentLeft > 0) continue;
        c.markLen = 0;
        if (!c.lastFragment) continue;
        if (c.out.empty()) c.outSince = nowMs();
        if (!serveRecord(c.record, c.id, &c.out)) return false;
        c.inRecord = false;
        c.record.clear();
        // A large write's buffer is not kept for the connection's lifetime.
        if (c.record.capacity() > 65536) std::vector<char>().swap(c.record);
    }
    return true;
}

// Sends what it can of the pending replies. False: close the connection.
bool sendPending(Connection &c) {
    while (!c.out.empty()) {
        ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        c.out.erase(0, (size_t)n);
        c.outSince = nowMs();
    }
    return true;
}

// Reads one batch: a client sending a large write takes turns with the others.
bool receiveAvailable(Connection &c) {
    static char chunk[65536];
    ssize_t n = recv(c.fd, chunk, sizeof(chunk), MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    return n > 0 && receive(c, chunk, (size_t)n) && sendPending(c);
}

void closeConnection(Connection &c) {
    printd("kr_vxi_link_run(): connection closed\n");
    close(c.fd);
    c.fd = -1;
    uint32_t lids[2] = {vxilink.lidA, vxilink.lidB};
    for (int channel = 0; channel < 2; channel++)
        if (lids[channel] != KR_VXI_LID_FREE && channelOwner[channel] == c.id) {
            printd("kr_vxi_link_run(): link %u destroyed with its connection\n", lids[channel]);
            kr_vxi_link_close(lids[channel]);
        }
    CLIENT *intr = kr_vxi_link_getIntrChanClient();
    if (intr && intrChannelOwner == c.id) {
        printd("kr_vxi_link_run(): interrupt channel destroyed with its connection\n");
        clnt_destroy(intr);
        kr_vxi_link_setIntrChanClient(nullptr);
    }
}

// Whether a connection holds nothing: no channel, no interrupt channel, no call under way.
bool idle(const Connection &c) {
    for (int channel = 0; channel < 2; channel++) {
        uint32_t lid = channel == 0 ? vxilink.lidA : vxilink.lidB;
        if (lid != KR_VXI_LID_FREE && channelOwner[channel] == c.id) return false;
    }
    bool intr = kr_vxi_link_getIntrChanClient() && intrChannelOwner == c.id;
    return !intr && !c.inRecord && c.out.empty();
}

// Room for one more connection: the oldest idle one is closed when all places are taken.
// False when every connection is busy.
bool makeRoom(std::vector<Connection> &connections) {
    if (connections.size() < kMaxConnections) return true;
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        if (!idle(*it)) continue;
        printd("kr_vxi_link_run(): oldest idle connection closed for a new one\n");
        closeConnection(*it);
        connections.erase(it);
        return true;
    }
    return false;
}

std::vector<int> listeners;

// Creates, binds and registers one service. Returns -1 when the socket cannot be had.
int svcInit(rpcprog_t program, unsigned short port, const char *openName, const char *initName,
            const char *programName) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        printf("%s (VXI-11): error opening socket (%d)\n", openName, errno);
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    struct sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof(addr)) < 0) {
        printf("%s (VXI-11): error in bind() (%d)\n", openName, errno);
        close(fd);
        return -1;
    }
    if (listen(fd, SOMAXCONN) < 0) {
        fprintf(stderr, "%s(): cannot create tcp service.", initName);
        kr_vxi_error();
    }
    pmap_unset(program, 1);
    if (!pmap_set(program, 1, IPPROTO_TCP, port)) {
        fprintf(stderr, "%s(): unable to register (%s, %s_VERSION, tcp).", initName, programName,
                programName);
        kr_vxi_error();
    }
    listeners.push_back(fd);
    return 0;
}

}  // namespace

int kr_device_core_svc_init() {
    return svcInit(DEVICE_CORE, KR_VXI_CORE_PORT, "device_core_open()", "kr_device_core_svc_init",
                   "DEVICE_CORE");
}

int kr_device_async_svc_init() {
    // The abort program reports itself under the core program's name.
    return svcInit(DEVICE_ASYNC, KR_VXI_ABORT_PORT, "kr_device_async_svc()",
                   "kr_device_async_svc_init", "DEVICE_CORE");
}

void kr_vxi_link_run() {
    kr_device_core_svc_init();
    kr_device_async_svc_init();
    std::vector<Connection> connections;
    std::vector<struct pollfd> fds;
    uint64_t lastId = 0;
    uint32_t acceptPausedUntil = 0;
    bool acceptPaused = false;
    for (;;) {
        uint32_t now = nowMs();
        if (acceptPaused && (int32_t)(now - acceptPausedUntil) >= 0) acceptPaused = false;
        int timeout = acceptPaused ? 100 : -1;
        fds.clear();
        for (int fd : listeners)
            fds.push_back({acceptPaused ? -1 : fd, POLLIN, 0});
        for (Connection &c : connections) {
            // Pending replies are sent before more calls are taken from the same client.
            fds.push_back({c.fd, (short)(c.out.empty() ? POLLIN : POLLOUT), 0});
            int left = stallLeft(c, now);
            if (left >= 0 && (timeout < 0 || left < timeout)) timeout = left;
        }
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            fprintf(stderr, "kr_vxi_link_run(): poll failed (%d)", errno);
            kr_vxi_error();
        }
        // Connections first, in the order they came: a client that has gone is let go before
        // a newer one asks for its channel.
        now = nowMs();
        for (size_t i = 0; i < connections.size(); i++) {
            Connection &c = connections[i];
            short revents = fds[listeners.size() + i].revents;
            bool ok = true;
            if (revents & (POLLIN | POLLHUP | POLLERR))
                ok = c.out.empty() ? receiveAvailable(c) : sendPending(c);
            else if (revents & POLLOUT)
                ok = sendPending(c);
            if (ok && stallLeft(c, nowMs()) == 0) {
                printd("kr_vxi_link_run(): connection stalled\n");
                ok = false;
            }
            if (!ok) closeConnection(c);
        }
        std::erase_if(connections, [](const Connection &c) { return c.fd < 0; });
        for (size_t i = 0; i < listeners.size(); i++) {
            if (!(fds[i].revents & POLLIN)) continue;
            int fd;
            while ((fd = accept4(listeners[i], nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >=
                   0) {
                if (!makeRoom(connections)) {
                    printd("kr_vxi_link_run(): connection turned away, all are busy\n");
                    close(fd);
                    continue;
                }
                Connection c = {};
                c.fd = fd;
                c.id = ++lastId;
                connections.push_back(std::move(c));
            }
            // Out of descriptors: try again shortly rather than spin on the waiting client.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                acceptPaused = true;
                acceptPausedUntil = now + 100;
            }
        }
    }
}
