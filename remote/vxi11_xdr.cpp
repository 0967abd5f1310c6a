#include "remote/vxi11.h"

namespace {

bool_t xdrInt(XDR *xdrs, int32_t *v) {
    return xdr_int(xdrs, v);
}
bool_t xdrUint(XDR *xdrs, uint32_t *v) {
    return xdr_u_int(xdrs, v);
}
// unsigned short and unsigned char occupy one XDR unit; their values are range-checked.
bool_t xdrUintMax(XDR *xdrs, uint32_t *v, uint32_t max) {
    if (!xdr_u_int(xdrs, v)) return FALSE;
    return xdrs->x_op != XDR_DECODE || *v <= max;
}
bool_t xdrBytes(XDR *xdrs, Vxi11Bytes *b, u_int max) {
    return xdr_bytes(xdrs, &b->val, &b->len, max);
}

}  // namespace

bool_t xdr_Device_Link(XDR *xdrs, Device_Link *objp) {
    return xdrInt(xdrs, objp);
}

bool_t xdr_Device_Error(XDR *xdrs, Device_Error *objp) {
    return xdrInt(xdrs, &objp->error);
}

bool_t xdr_Create_LinkParms(XDR *xdrs, Create_LinkParms *objp) {
    return xdrInt(xdrs, &objp->clientId) && xdr_bool(xdrs, &objp->lockDevice) &&
           xdrUint(xdrs, &objp->lock_timeout) &&
           xdr_string(xdrs, &objp->device, VXI11_MAX_DEVICE_NAME);
}

bool_t xdr_Create_LinkResp(XDR *xdrs, Create_LinkResp *objp) {
    return xdrInt(xdrs, &objp->error) && xdrInt(xdrs, &objp->lid) &&
           xdrUintMax(xdrs, &objp->abortPort, 0xFFFF) && xdrUint(xdrs, &objp->maxRecvSize);
}

bool_t xdr_Device_WriteParms(XDR *xdrs, Device_WriteParms *objp) {
    return xdrInt(xdrs, &objp->lid) && xdrUint(xdrs, &objp->io_timeout) &&
           xdrUint(xdrs, &objp->lock_timeout) && xdrInt(xdrs, &objp->flags) &&
           xdrBytes(xdrs, &objp->data, VXI11_MAX_DATA);
}

bool_t xdr_Device_WriteResp(XDR *xdrs, Device_WriteResp *objp) {
    return xdrInt(xdrs, &objp->error) && xdrUint(xdrs, &objp->size);
}

bool_t xdr_Device_ReadParms(XDR *xdrs, Device_ReadParms *objp) {
    return xdrInt(xdrs, &objp->lid) && xdrUint(xdrs, &objp->requestSize) &&
           xdrUint(xdrs, &objp->io_timeout) && xdrUint(xdrs, &objp->lock_timeout) &&
           xdrInt(xdrs, &objp->flags) && xdrInt(xdrs, &objp->termChar);
}

bool_t xdr_Device_ReadResp(XDR *xdrs, Device_ReadResp *objp) {
    return xdrInt(xdrs, &objp->error) && xdrInt(xdrs, &objp->reason) &&
           xdrBytes(xdrs, &objp->data, VXI11_MAX_DATA);
}

bool_t xdr_Device_ReadStbResp(XDR *xdrs, Device_ReadStbResp *objp) {
    return xdrInt(xdrs, &objp->error) && xdrUintMax(xdrs, &objp->stb, 0xFF);
}

bool_t xdr_Device_GenericParms(XDR *xdrs, Device_GenericParms *objp) {
    return xdrInt(xdrs, &objp->lid) && xdrInt(xdrs, &objp->flags) &&
           xdrUint(xdrs, &objp->lock_timeout) && xdrUint(xdrs, &objp->io_timeout);
}

bool_t xdr_Device_RemoteFunc(XDR *xdrs, Device_RemoteFunc *objp) {
    return xdrUint(xdrs, &objp->hostAddr) && xdrUintMax(xdrs, &objp->hostPort, 0xFFFF) &&
           xdrUint(xdrs, &objp->progNum) && xdrUint(xdrs, &objp->progVers) &&
           xdrInt(xdrs, &objp->progFamily);
}

bool_t xdr_Device_EnableSrqParms(XDR *xdrs, Device_EnableSrqParms *objp) {
    return xdrInt(xdrs, &objp->lid) && xdr_bool(xdrs, &objp->enable) &&
           xdrBytes(xdrs, &objp->handle, VXI11_MAX_SRQ_HANDLE);
}

bool_t xdr_Device_LockParms(XDR *xdrs, Device_LockParms *objp) {
    return xdrInt(xdrs, &objp->lid) && xdrInt(xdrs, &objp->flags) &&
           xdrUint(xdrs, &objp->lock_timeout);
}

bool_t xdr_Device_DocmdParms(XDR *xdrs, Device_DocmdParms *objp) {
    return xdrInt(xdrs, &objp->lid) && xdrInt(xdrs, &objp->flags) &&
           xdrUint(xdrs, &objp->io_timeout) && xdrUint(xdrs, &objp->lock_timeout) &&
           xdrInt(xdrs, &objp->cmd) && xdr_bool(xdrs, &objp->network_order) &&
           xdrInt(xdrs, &objp->datasize) && xdrBytes(xdrs, &objp->data_in, VXI11_MAX_DATA);
}

bool_t xdr_Device_DocmdResp(XDR *xdrs, Device_DocmdResp *objp) {
    return xdrInt(xdrs, &objp->error) && xdrBytes(xdrs, &objp->data_out, VXI11_MAX_DATA);
}
