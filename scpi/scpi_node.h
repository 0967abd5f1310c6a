// The typed node handlers: the common pattern of most leaves. A query answers the value, or
// with the single parameter MINimum or MAXimum the limit (when the device has it); a set takes
// exactly one parameter, MINimum and MAXimum select the limits, anything else is converted by
// the type's parser and clamped to the limits without an error before the setter is called.
// An absent limit is no bound (the type's own range).
//
// Operations given as null are forms the leaf does not have (-113). Operations that are
// declared but not registered are still called: their fallback answers harmlessly and counts
// the call for the unregistered-call report. Limits are only used when registered.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include <cstdint>

#include "device/device.h"
#include "scpi/scpi_status.h"
#include "scpi/scpi_tree.h"

struct ScpiLink;

// Slot and function registration tests for the typed handlers.
template <class R, class... A>
bool scpi_node_fnRegistered(R (*fn)(A...)) {
    return fn != nullptr && fn != &Device_fallback<R, A...>;
}
template <class R, class... A>
bool scpi_node_slotRegistered(R (**slot)(A...)) {
    return slot != nullptr && scpi_node_fnRegistered(*slot);
}
// A slot known only by its address (the listing): looked up in the device tables. Addresses
// that are no device slot count as registered when they hold a function.
bool scpi_node_opRegistered(const void *slotAddress);

// The registers of the device's status block, in block order, and the leaf's packing of
// register and node.
enum ScpiStatusRegisterId : int16_t {
    SCPI_STATUS_OPERATION,
    SCPI_STATUS_OPERATION_SWEEP,
    SCPI_STATUS_OPERATION_WAIT,
    SCPI_STATUS_QUESTIONABLE,
    SCPI_STATUS_QUESTIONABLE_MODULATION,
    SCPI_STATUS_PULSE_MODULATION,
    SCPI_STATUS_QUESTIONABLE_POWER,
};
constexpr int16_t scpi_statusLeaf(ScpiStatusRegisterId reg, StatusRegisterNode node) {
    return (int16_t)(reg * 8 + node);
}

// Runs the leaf the matcher found; returns the unit result.
int scpi_node_runLeaf(ScpiCall *call);

// state is SCPI_STATE_QUERY or SCPI_STATE_SET; *outLen gets the answer length.
int scpi_node_freq(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                   const KrFreq *(*get)(Device *), const KrFreq *(*getMin)(Device *),
                   const KrFreq *(*getMax)(Device *), int (*set)(Device *, const KrFreq *));
int scpi_node_pow(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                  const KrPow *(*get)(Device *), const KrPow *(*getMin)(Device *),
                  const KrPow *(*getMax)(Device *), int (*set)(Device *, const KrPow *));
int scpi_node_angle(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                    const KrAngle *(*get)(Device *), const KrAngle *(*getMin)(Device *),
                    const KrAngle *(*getMax)(Device *), int (*set)(Device *, const KrAngle *));
int scpi_node_time(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                   const KrTime *(*get)(Device *), const KrTime *(*getMin)(Device *),
                   const KrTime *(*getMax)(Device *), int (*set)(Device *, const KrTime *));
int scpi_node_double(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                     double (*get)(Device *), double (*getMin)(Device *),
                     double (*getMax)(Device *), int (*set)(Device *, double));
int scpi_node_dblunit(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                      const ScpiUnitTable *unit, int format, double (*get)(Device *),
                      double (*getMin)(Device *), double (*getMax)(Device *),
                      int (*set)(Device *, double));
int scpi_node_float(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                    float (*get)(Device *), float (*getMin)(Device *), float (*getMax)(Device *),
                    int (*set)(Device *, float));
int scpi_node_int(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                  int32_t (*get)(Device *), int32_t (*getMin)(Device *),
                  int32_t (*getMax)(Device *), int (*set)(Device *, int32_t));
int scpi_node_int32(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                    int32_t (*get)(Device *), int32_t (*getMin)(Device *),
                    int32_t (*getMax)(Device *), int (*set)(Device *, int32_t));
int scpi_node_uint32(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                     uint32_t (*get)(Device *), uint32_t (*getMin)(Device *),
                     uint32_t (*getMax)(Device *), int (*set)(Device *, uint32_t));
int scpi_node_uint64(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                     uint64_t (*get)(Device *), uint64_t (*getMin)(Device *),
                     uint64_t (*getMax)(Device *), int (*set)(Device *, uint64_t));
// Both setters must exist for the set form.
int scpi_node_bool(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                   int (*get)(Device *), int (*setOn)(Device *), int (*setOff)(Device *));
int scpi_node_index_bool(int state, char *params, char *out, int outSize, int *outLen,
                         Device *device, int32_t index, int (*get)(Device *, int32_t),
                         int (*setOn)(Device *, int32_t), int (*setOff)(Device *, int32_t));
int scpi_node_index_double(int state, char *params, char *out, int outSize, int *outLen,
                           Device *device, int32_t index, double (*get)(Device *, int32_t),
                           double (*getMin)(Device *, int32_t), double (*getMax)(Device *, int32_t),
                           int (*set)(Device *, int32_t, double));
int scpi_node_index_float(int state, char *params, char *out, int outSize, int *outLen,
                          Device *device, int32_t index, float (*get)(Device *, int32_t),
                          float (*getMin)(Device *, int32_t), float (*getMax)(Device *, int32_t),
                          int (*set)(Device *, int32_t, float));
int scpi_node_index_uint32(int state, char *params, char *out, int outSize, int *outLen,
                           Device *device, int32_t index, uint32_t (*get)(Device *, int32_t),
                           uint32_t (*getMin)(Device *, int32_t),
                           uint32_t (*getMax)(Device *, int32_t),
                           int (*set)(Device *, int32_t, uint32_t));
// A text of at most size - 1 characters (surrounding quotes removed); an empty text answers
// "none".
int scpi_node_string(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                     int size, const char *(*get)(Device *), int (*set)(Device *, const char *));
// One node of a STATus:<register> subtree; a missing register makes it an undefined header.
int scpi_node_status_registers(int state, char *params, char *out, int outSize, int *outLen,
                               ScpiLink *link, StatusRegister *reg, StatusRegisterNode node);
