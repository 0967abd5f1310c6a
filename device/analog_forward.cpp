// Forwarding slots of the channel device: operations that the output board (of the current
// channel) or the reference board performs on their own. An operation the fitted board lacks
// answers -113; predicates and getters of a missing operation answer 0.
#include "device/analog_device.h"

#include <cstring>

#include "device/device.h"
#include "device/device_board.h"
#include "modulation/multi_pulse.h"
#include "scpi/scpi_errorcodes.h"

namespace {

OrbxxxgOutBoard *out(Device *device) {
    return device->current->boardPtr;
}
OrbxxxgRefBoard *ref(Device *device) {
    return device->ref;
}

// A missing board operation counts as an unregistered call, so that a query that could not
// answer because of it is told -113 rather than left waiting.
int missing() {
    Device_unregisteredFunctionCalls++;
    return KR_E_UNDEFINED_HEADER;
}

#define OUT_CALL(op, ...) \
    (BOARD_ORBXXXG_OUT_ISREG(op) ? BOARD_ORBXXXG_OUT_##op(out(device), ##__VA_ARGS__) : missing())
#define REF_CALL(op, ...) \
    (BOARD_ORBXXXG_REF_ISREG(op) ? BOARD_ORBXXXG_REF_##op(ref(device), ##__VA_ARGS__) : missing())

// Kinds of forwarding, by the device slot's signature.
#define FWD_ACTION(B, dev, op)      \
    int fwd_##dev(Device *device) { \
        return B##_CALL(op);        \
    }
#define FWD_PREDICATE(B, dev, op)   \
    int fwd_##dev(Device *device) { \
        int r = B##_CALL(op);       \
        return r > 0 ? 1 : 0;       \
    }
#define FWD_ARG(B, dev, op, T)           \
    int fwd_##dev(Device *device, T v) { \
        return B##_CALL(op, v);          \
    }
#define FWD_GET_PTR(B, dev, op, T, scratch)            \
    const T *fwd_##dev(Device *device) {               \
        scratch = T{};                                 \
        if (B##_CALL(op, &scratch) < 0) scratch = T{}; \
        return &scratch;                               \
    }
#define FWD_GET_VALUE(B, dev, op, T)       \
    T fwd_##dev(Device *device) {          \
        T v{};                             \
        if (B##_CALL(op, &v) < 0) v = T{}; \
        return v;                          \
    }

#include "device/analog_forward.def"

// The next value above or below the reference frequency in use.
const KrFreq *fwd_getReferenceFrequencyLower(Device *device) {
    KrFreq now{};
    REF_CALL(getReferenceFrequency, &now);
    if (REF_CALL(getReferenceFrequencyLower, &now, &globalKrFreq) < 0) globalKrFreq = now;
    return &globalKrFreq;
}
const KrFreq *fwd_getReferenceFrequencyHigher(Device *device) {
    KrFreq now{};
    REF_CALL(getReferenceFrequency, &now);
    if (REF_CALL(getReferenceFrequencyHigher, &now, &globalKrFreq) < 0) globalKrFreq = now;
    return &globalKrFreq;
}
const char *fwd_getSynthesizerLutFilename(Device *device) {
    const char *name = "";
    if (OUT_CALL(getSynthesizerLutFilename, &name) < 0 || !name) name = "";
    return name;
}
int fwd_getSpurs(Device *device, char *text, int32_t size) {
    return OUT_CALL(getSpurs, text, size);
}
int fwd_notifyState(Device *device, uint32_t what, int32_t value) {
    // A trigger change can restart a pulse train, which follows the trigger mode.
    multi_pulse_notifyState(device, what);
    // Boards that keep no state of their own are not told.
    return BOARD_ORBXXXG_OUT_ISREG(notifyState) ? OUT_CALL(notifyState, what, value) : 0;
}
double fwd_getAbsoluteRoscTuning(Device *device) {
    double v = 0;
    if (REF_CALL(getReferenceTuning, &v) < 0) v = 0;
    return v;
}
int fwd_setAbsoluteRoscTuning(Device *device, double v) {
    return REF_CALL(setReferenceTuning, v);
}
// The reference output carries 10 MHz or 100 MHz.
const KrFreq *fwd_getReferenceOutputFrequencyMin(Device *) {
    globalKrFreq = KrFreq{10000000, 0};
    return &globalKrFreq;
}
const KrFreq *fwd_getReferenceOutputFrequencyMax(Device *) {
    globalKrFreq = KrFreq{100000000, 0};
    return &globalKrFreq;
}
int fwd_slip_phs(Device *device) {
    return REF_CALL(slip_phs, 1);
}

#undef FWD_ACTION
#undef FWD_PREDICATE
#undef FWD_ARG
#undef FWD_GET_PTR
#undef FWD_GET_VALUE

// Each forwarded slot with its forwarder and whether the board performs the operation.
typedef void (*AnyFunction)();
struct Forwarded {
    const void *slot;
    AnyFunction forwarder;
    bool (*boardHas)();
};
#define FWD_ENTRY(B, dev, op, ...)                             \
    {&Device_##dev, reinterpret_cast<AnyFunction>(&fwd_##dev), \
     &BOARD_ORBXXXG_##B##_isRegistered_##op},
#define FWD_ACTION FWD_ENTRY
#define FWD_PREDICATE FWD_ENTRY
#define FWD_ARG FWD_ENTRY
#define FWD_GET_PTR FWD_ENTRY
#define FWD_GET_VALUE FWD_ENTRY
const Forwarded forwarded[] = {
#include "device/analog_forward.def"
};
#undef FWD_ENTRY
#undef FWD_ACTION
#undef FWD_PREDICATE
#undef FWD_ARG
#undef FWD_GET_PTR
#undef FWD_GET_VALUE

// A slot still holding its forwarder is provided when the board has the operation; a module
// that replaced the forwarder performs it itself.
int forwardProvided(const void *slot) {
    for (const Forwarded &f : forwarded) {
        if (f.slot != slot) continue;
        AnyFunction current;
        memcpy(&current, slot, sizeof current);
        return current == f.forwarder ? (f.boardHas() ? 1 : 0) : -1;
    }
    return -1;
}

}  // namespace

void analog_registerForwardingFunctions() {
    Device_setForwardCheck(forwardProvided);
#define FWD_REGISTER(B, dev, op, ...) Device_##dev = fwd_##dev;
#define FWD_ACTION FWD_REGISTER
#define FWD_PREDICATE FWD_REGISTER
#define FWD_ARG FWD_REGISTER
#define FWD_GET_PTR FWD_REGISTER
#define FWD_GET_VALUE FWD_REGISTER
#include "device/analog_forward.def"
#undef FWD_REGISTER
    Device_getReferenceFrequencyLower = fwd_getReferenceFrequencyLower;
    Device_getReferenceFrequencyHigher = fwd_getReferenceFrequencyHigher;
    Device_getSynthesizerLutFilename = fwd_getSynthesizerLutFilename;
    Device_getSpurs = fwd_getSpurs;
    Device_notifyState = fwd_notifyState;
    Device_slip_phs = fwd_slip_phs;
    Device_getAbsoluteRoscTuning = fwd_getAbsoluteRoscTuning;
    Device_setAbsoluteRoscTuning = fwd_setAbsoluteRoscTuning;
    Device_getReferenceOutputFrequencyMin = fwd_getReferenceOutputFrequencyMin;
    Device_getReferenceOutputFrequencyMax = fwd_getReferenceOutputFrequencyMax;
}
