// The VXI-11 server: the core program on TCP 1024 and the abort program on TCP 1025, both
// registered with the portmapper, device name "inst0". Every link a client creates is bound
// to one of two SCPI links, "VXI-11 Channel A" and "VXI-11 Channel B"; a third client may take
// over a channel that has been idle longer than the inactivity timeout, and a link goes with
// the connection that created it. All requests are served one at a time on the VXI thread,
// each once its whole record has arrived.
#pragma once

#include <rpc/rpc.h>

#include <cstdint>

#include "device/krquantity.h"
#include "remote/vxi11.h"

struct ScpiLink;

constexpr uint32_t KR_VXI_LID_FREE = 0xFFFFFFFFu;
constexpr uint32_t KR_VXI_TIMEOUT_INFINITE = 0xFFFFFFFFu;
constexpr uint32_t KR_VXI_LID_MAX = 100000;  // link ids run from 1 to this, then wrap
constexpr unsigned short KR_VXI_CORE_PORT = 1024;
constexpr unsigned short KR_VXI_ABORT_PORT = 1025;
constexpr uint32_t KR_VXI_MAX_RECV_SIZE = 1024;
constexpr double KR_VXI_TIMEOUT_MAX_S = 1000000.0;

// The channel table.
struct KrVxiLink {
    ScpiLink *linkA;
    uint32_t lidA;           // KR_VXI_LID_FREE when the channel is free
    uint32_t lastActivityA;  // kr_abstime_ms() of the last use
    ScpiLink *linkB;
    uint32_t lidB;
    uint32_t lastActivityB;
    uint32_t nextLid;
    CLIENT *intrClient;
    uint32_t inactivityTimeout;  // ms; KR_VXI_TIMEOUT_INFINITE = never taken over
};
extern KrVxiLink vxilink;

// Start-up, before the VXI thread exists.
void kr_vxi_link_init(ScpiLink *linkA, ScpiLink *linkB);
// VXI thread body: creates both services and serves their connections; never returns.
void kr_vxi_link_run();
// Ends the VXI thread; the rest of the instrument keeps running.
[[noreturn]] void kr_vxi_error();

// Channel management (VXI thread). open returns 1 with *lid bound, 0 when no channel is
// available.
int kr_vxi_link_open(uint32_t *lid);
// The channel's link for lid (stamping its activity), or null.
ScpiLink *kr_vxi_link_get(uint32_t lid);
void kr_vxi_link_close(uint32_t lid);
void kr_vxi_link_setIntrChanClient(CLIENT *client);
CLIENT *kr_vxi_link_getIntrChanClient();

// The takeover timeout (SYSTem:COMMunicate:VXI:RTMO), main loop. Getters return a pointer
// to a value to copy at once, as the time-valued node handlers take it.
int kr_vxi_setInactivityTimeout(double seconds);
KrTime *kr_vxi_getInactivityTimeout();
KrTime *kr_vxi_getInactivityTimeoutMin();
KrTime *kr_vxi_getInactivityTimeoutMax();
int kr_vxi_setInactivityTimeoutInfinite();
int kr_vxi_isInactivityTimeoutInfinite();

// Service creation (VXI thread): 0, or -1 when the socket cannot be opened or bound.
int kr_device_core_svc_init();
int kr_device_async_svc_init();
// Opens the interrupt channel back to a client; returns a VXI-11 error code.
int kr_device_intr_clnt_create(uint32_t hostAddr, uint32_t hostPort, uint32_t progNum,
                               uint32_t progVers, uint32_t progFamily);

// Procedure handlers (VXI thread). Each returns its static result record.
Create_LinkResp *create_link_1_svc(Create_LinkParms *parms, struct svc_req *request);
Device_WriteResp *device_write_1_svc(Device_WriteParms *parms, struct svc_req *request);
Device_ReadResp *device_read_1_svc(Device_ReadParms *parms, struct svc_req *request);
Device_ReadStbResp *device_readstb_1_svc(Device_GenericParms *parms, struct svc_req *request);
Device_Error *device_trigger_1_svc(Device_GenericParms *parms, struct svc_req *request);
Device_Error *device_clear_1_svc(Device_GenericParms *parms, struct svc_req *request);
Device_Error *device_remote_1_svc(Device_GenericParms *parms, struct svc_req *request);
Device_Error *device_local_1_svc(Device_GenericParms *parms, struct svc_req *request);
Device_Error *device_lock_1_svc(Device_LockParms *parms, struct svc_req *request);
Device_Error *device_unlock_1_svc(Device_Link *lid, struct svc_req *request);
Device_Error *device_enable_srq_1_svc(Device_EnableSrqParms *parms, struct svc_req *request);
Device_DocmdResp *device_docmd_1_svc(Device_DocmdParms *parms, struct svc_req *request);
Device_Error *destroy_link_1_svc(Device_Link *lid, struct svc_req *request);
Device_Error *create_intr_chan_1_svc(Device_RemoteFunc *parms, struct svc_req *request);
Device_Error *destroy_intr_chan_1_svc(void *unused, struct svc_req *request);
Device_Error *device_abort_1_svc(Device_Link *lid, struct svc_req *request);
