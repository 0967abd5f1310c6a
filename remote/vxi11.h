// The VXI-11 (TCP/IP instrument protocol) RPC programs: program and procedure numbers, the
// argument and result records and their XDR routines. Integers travel as 32-bit XDR ints;
// unsigned char, unsigned short and bool take a whole XDR unit each.
#pragma once

#include <rpc/rpc.h>

#include <cstdint>

constexpr rpcprog_t DEVICE_CORE = 0x0607AF;
constexpr rpcprog_t DEVICE_ASYNC = 0x0607B0;
constexpr rpcprog_t DEVICE_INTR = 0x0607B1;
constexpr rpcvers_t DEVICE_CORE_VERSION = 1;
constexpr rpcvers_t DEVICE_ASYNC_VERSION = 1;
constexpr rpcvers_t DEVICE_INTR_VERSION = 1;

enum Vxi11Proc : rpcproc_t {
    VXI11_NULLPROC = 0,
    VXI11_DEVICE_ABORT = 1,  // abort program
    VXI11_CREATE_LINK = 10,
    VXI11_DEVICE_WRITE = 11,
    VXI11_DEVICE_READ = 12,
    VXI11_DEVICE_READSTB = 13,
    VXI11_DEVICE_TRIGGER = 14,
    VXI11_DEVICE_CLEAR = 15,
    VXI11_DEVICE_REMOTE = 16,
    VXI11_DEVICE_LOCAL = 17,
    VXI11_DEVICE_LOCK = 18,
    VXI11_DEVICE_UNLOCK = 19,
    VXI11_DEVICE_ENABLE_SRQ = 20,
    VXI11_DEVICE_DOCMD = 22,
    VXI11_DESTROY_LINK = 23,
    VXI11_CREATE_INTR_CHAN = 25,
    VXI11_DESTROY_INTR_CHAN = 26,
    VXI11_DEVICE_INTR_SRQ = 30,  // interrupt program
};

// Error codes of the protocol.
enum Vxi11Error : int32_t {
    VXI11_E_NONE = 0,
    VXI11_E_SYNTAX = 1,
    VXI11_E_NOT_ACCESSIBLE = 3,
    VXI11_E_INVALID_LINK = 4,
    VXI11_E_PARAMETER = 5,
    VXI11_E_NO_CHANNEL = 6,
    VXI11_E_NOT_SUPPORTED = 8,
    VXI11_E_OUT_OF_RESOURCES = 9,
    VXI11_E_LOCKED = 11,
    VXI11_E_NO_LOCK = 12,
    VXI11_E_IO_TIMEOUT = 15,
    VXI11_E_IO_ERROR = 17,
    VXI11_E_INVALID_ADDRESS = 21,
    VXI11_E_ABORT = 23,
    VXI11_E_CHANNEL_ESTABLISHED = 29,
};

// Operation flags.
constexpr int32_t VXI11_FLAG_WAITLOCK = 1;
constexpr int32_t VXI11_FLAG_END = 8;
constexpr int32_t VXI11_FLAG_TERMCHRSET = 128;

// device_read reasons (bit set).
constexpr int32_t VXI11_REASON_REQCNT = 1;
constexpr int32_t VXI11_REASON_CHR = 2;
constexpr int32_t VXI11_REASON_END = 4;

enum Device_AddrFamily : int32_t { DEVICE_TCP = 0, DEVICE_UDP = 1 };

// Upper bounds on variable-length fields, so a hostile length cannot make the decoder
// allocate more than a record can carry.
constexpr u_int VXI11_MAX_DEVICE_NAME = 256;
constexpr u_int VXI11_MAX_DATA = 1u << 20;
constexpr u_int VXI11_MAX_SRQ_HANDLE = 40;

typedef int32_t Device_Link;
typedef int32_t Device_Flags;
typedef int32_t Device_ErrorCode;

struct Device_Error {
    Device_ErrorCode error;
};

struct Create_LinkParms {
    int32_t clientId;
    bool_t lockDevice;
    uint32_t lock_timeout;
    char *device;
};

struct Create_LinkResp {
    Device_ErrorCode error;
    Device_Link lid;
    uint32_t abortPort;  // unsigned short on the wire
    uint32_t maxRecvSize;
};

struct Vxi11Bytes {
    u_int len;
    char *val;
};

struct Device_WriteParms {
    Device_Link lid;
    uint32_t io_timeout;
    uint32_t lock_timeout;
    Device_Flags flags;
    Vxi11Bytes data;
};

struct Device_WriteResp {
    Device_ErrorCode error;
    uint32_t size;
};

struct Device_ReadParms {
    Device_Link lid;
    uint32_t requestSize;
    uint32_t io_timeout;
    uint32_t lock_timeout;
    Device_Flags flags;
    int32_t termChar;  // char on the wire
};

struct Device_ReadResp {
    Device_ErrorCode error;
    int32_t reason;
    Vxi11Bytes data;
};

struct Device_ReadStbResp {
    Device_ErrorCode error;
    uint32_t stb;  // unsigned char on the wire
};

struct Device_GenericParms {
    Device_Link lid;
    Device_Flags flags;
    uint32_t lock_timeout;
    uint32_t io_timeout;
};

struct Device_RemoteFunc {
    uint32_t hostAddr;
    uint32_t hostPort;  // unsigned short on the wire
    uint32_t progNum;
    uint32_t progVers;
    int32_t progFamily;  // Device_AddrFamily
};

struct Device_EnableSrqParms {
    Device_Link lid;
    bool_t enable;
    Vxi11Bytes handle;
};

struct Device_LockParms {
    Device_Link lid;
    Device_Flags flags;
    uint32_t lock_timeout;
};

struct Device_DocmdParms {
    Device_Link lid;
    Device_Flags flags;
    uint32_t io_timeout;
    uint32_t lock_timeout;
    int32_t cmd;
    bool_t network_order;
    int32_t datasize;
    Vxi11Bytes data_in;
};

struct Device_DocmdResp {
    Device_ErrorCode error;
    Vxi11Bytes data_out;
};

extern "C" {
bool_t xdr_Device_Link(XDR *xdrs, Device_Link *objp);
bool_t xdr_Device_Error(XDR *xdrs, Device_Error *objp);
bool_t xdr_Create_LinkParms(XDR *xdrs, Create_LinkParms *objp);
bool_t xdr_Create_LinkResp(XDR *xdrs, Create_LinkResp *objp);
bool_t xdr_Device_WriteParms(XDR *xdrs, Device_WriteParms *objp);
bool_t xdr_Device_WriteResp(XDR *xdrs, Device_WriteResp *objp);
bool_t xdr_Device_ReadParms(XDR *xdrs, Device_ReadParms *objp);
bool_t xdr_Device_ReadResp(XDR *xdrs, Device_ReadResp *objp);
bool_t xdr_Device_ReadStbResp(XDR *xdrs, Device_ReadStbResp *objp);
bool_t xdr_Device_GenericParms(XDR *xdrs, Device_GenericParms *objp);
bool_t xdr_Device_RemoteFunc(XDR *xdrs, Device_RemoteFunc *objp);
bool_t xdr_Device_EnableSrqParms(XDR *xdrs, Device_EnableSrqParms *objp);
bool_t xdr_Device_LockParms(XDR *xdrs, Device_LockParms *objp);
bool_t xdr_Device_DocmdParms(XDR *xdrs, Device_DocmdParms *objp);
bool_t xdr_Device_DocmdResp(XDR *xdrs, Device_DocmdResp *objp);
}
