#include "scpi/scpi_node.h"

#include <cfloat>
#include <climits>
#include <cstring>
#include <type_traits>

#include "device/krpow.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_link.h"
#include "scpi/scpi_match.h"

namespace {

// How one value type is read, written, compared and bounded.
template <class T>
struct Codec {
    using Value = T;
    int (*parseFn)(const char *text, T *value);
    int (*formatFn)(const T &value, char *out, int size, int *length);
    bool (*lessFn)(const T &a, const T &b);
    T typeMin;
    T typeMax;
    int parse(const char *text, T *value) const { return parseFn(text, value); }
    int format(const T &value, char *out, int size, int *length) const {
        return formatFn(value, out, size, length);
    }
    bool less(const T &a, const T &b) const { return lessFn(a, b); }
};

// Doubles with a unit table and an answer format chosen by the leaf.
struct DblUnitCodec {
    using Value = double;
    const ScpiUnitTable *unit;
    int flags;
    double typeMin = -DBL_MAX;
    double typeMax = DBL_MAX;
    int parse(const char *text, double *value) const {
        return scpi_str2double_unit(text, value, unit);
    }
    int format(const double &value, char *out, int size, int *length) const {
        return scpi_double2strf(value, flags, out, size, length);
    }
    bool less(const double &a, const double &b) const { return a < b; }
};

template <class T>
bool lessPlain(const T &a, const T &b) {
    return a < b;
}

bool lessFreq(const KrFreq &a, const KrFreq &b) {
    return krfreqCompare(&a, &b) < 0;
}
bool lessPow(const KrPow &a, const KrPow &b) {
    return krpowCompare(&a, &b) < 0;
}

int parsePow(const char *text, KrPow *value) {
    return scpi_str2kr_pow(text, value, 0);
}
int formatFreq(const KrFreq &v, char *o, int s, int *l) {
    return scpi_kr_freq2str(&v, o, s, l);
}
int formatPow(const KrPow &v, char *o, int s, int *l) {
    return scpi_kr_pow2str(&v, o, s, l);
}
int formatAngle(const KrAngle &v, char *o, int s, int *l) {
    return scpi_kr_angle2str(&v, o, s, l);
}
int formatTime(const KrTime &v, char *o, int s, int *l) {
    return scpi_kr_time2str(&v, o, s, l);
}
int formatDouble(const double &v, char *o, int s, int *l) {
    return scpi_double2str(v, o, s, l);
}
int formatFloat(const float &v, char *o, int s, int *l) {
    return scpi_float2str(v, o, s, l);
}
int formatInt(const int32_t &v, char *o, int s, int *l) {
    return scpi_int2str(v, o, s, l);
}
int formatUint(const uint32_t &v, char *o, int s, int *l) {
    return scpi_uint2str(v, o, s, l);
}
int formatUlint(const uint64_t &v, char *o, int s, int *l) {
    return scpi_ulint2str(v, o, s, l);
}

const Codec<KrFreq> freqCodec{scpi_str2kr_freq, formatFreq, lessFreq, KrFreq{INT64_MIN, 0},
                              KrFreq{INT64_MAX, UINT64_MAX}};
const Codec<KrPow> powCodec{parsePow, formatPow, lessPow, -FLT_MAX, FLT_MAX};
const Codec<KrAngle> angleCodec{scpi_str2kr_angle, formatAngle, lessPlain<double>, -DBL_MAX,
                                DBL_MAX};
const Codec<KrTime> timeCodec{scpi_str2kr_time, formatTime, lessPlain<double>, -DBL_MAX, DBL_MAX};
const Codec<double> doubleCodec{scpi_str2double, formatDouble, lessPlain<double>, -DBL_MAX,
                                DBL_MAX};
const Codec<float> floatCodec{scpi_str2float, formatFloat, lessPlain<float>, -FLT_MAX, FLT_MAX};
const Codec<int32_t> intCodec{scpi_str2int, formatInt, lessPlain<int32_t>, INT32_MIN, INT32_MAX};
const Codec<uint32_t> uintCodec{scpi_str2uint, formatUint, lessPlain<uint32_t>, 0, UINT32_MAX};
const Codec<uint64_t> ulintCodec{scpi_str2ulint, formatUlint, lessPlain<uint64_t>, 0, UINT64_MAX};

// A getter's value whether it returns the value or a pointer to it (null reads as zero).
template <class T, class R>
T valueOf(R r) {
    if constexpr (std::is_pointer_v<R>) {
        return r ? T(*r) : T{};
    } else {
        return T(r);
    }
}

// The shared pattern. get/getMin/getMax are callables returning the value (or a pointer to it);
// set is a callable taking the value. The has* flags say which exist.
template <class C, class Get, class Min, class Max, class Set>
int valueNode(const C &codec, int state, char *params, char *out, int outSize, int *outLen,
              bool hasGet, Get get, bool hasMin, Min getMin, bool hasMax, Max getMax, bool hasSet,
              Set set) {
    using T = typename C::Value;
    *outLen = 0;
    char *p[1] = {nullptr};
    int found = 0;
    if (state == SCPI_STATE_QUERY) {
        if (!hasGet) return KR_E_UNDEFINED_HEADER;
        // At most one parameter: MINimum or MAXimum.
        int r = _scpi_getParameters(params, 1, p, &found, 0);
        if (r != 0 && r != KR_E_MISSING_PARAMETER) return r;
        T value{};
        if (found == 0) {
            value = valueOf<T>(get());
        } else if (scpi_isParam("MINimum", p[0])) {
            if (!hasMin) return 0;
            value = valueOf<T>(getMin());
        } else if (scpi_isParam("MAXimum", p[0])) {
            if (!hasMax) return 0;
            value = valueOf<T>(getMax());
        } else {
            return KR_E_PARAMETER_NOT_ALLOWED;
        }
        return codec.format(value, out, outSize, outLen);
    }
    if (state != SCPI_STATE_SET) return 0;
    if (!hasSet) return KR_E_UNDEFINED_HEADER;
    T lo = hasMin ? valueOf<T>(getMin()) : codec.typeMin;
    T hi = hasMax ? valueOf<T>(getMax()) : codec.typeMax;
    int r = _scpi_getParameters(params, 1, p, &found, 0);
    if (r != 0) return r;
    T value{};
    if (scpi_isParam("MINimum", p[0])) {
        value = lo;
    } else if (scpi_isParam("MAXimum", p[0])) {
        value = hi;
    } else {
        r = codec.parse(p[0], &value);
        if (r != 0) return r;
    }
    // Out-of-range settings are clamped, not refused.
    if (codec.less(value, lo))
        value = lo;
    else if (codec.less(hi, value))
        value = hi;
    return set(value);
}

// The four plain operations of a typed leaf: getters returning G, a setter taking S.
template <class C, class G, class S>
int plainNode(const C &codec, int state, char *params, char *out, int outSize, int *outLen,
              Device *device, G (*get)(Device *), G (*getMin)(Device *), G (*getMax)(Device *),
              int (*set)(Device *, S)) {
    return valueNode(
        codec, state, params, out, outSize, outLen, get != nullptr, [&] { return get(device); },
        scpi_node_fnRegistered(getMin), [&] { return getMin(device); },
        scpi_node_fnRegistered(getMax), [&] { return getMax(device); }, set != nullptr,
        [&](const typename C::Value &v) {
            if constexpr (std::is_pointer_v<S>)
                return set(device, &v);
            else
                return set(device, v);
        });
}

template <class C, class G, class S>
int indexNode(const C &codec, int state, char *params, char *out, int outSize, int *outLen,
              Device *device, int32_t index, G (*get)(Device *, int32_t),
              G (*getMin)(Device *, int32_t), G (*getMax)(Device *, int32_t),
              int (*set)(Device *, int32_t, S)) {
    return valueNode(
        codec, state, params, out, outSize, outLen, get != nullptr,
        [&] { return get(device, index); }, scpi_node_fnRegistered(getMin),
        [&] { return getMin(device, index); }, scpi_node_fnRegistered(getMax),
        [&] { return getMax(device, index); }, set != nullptr,
        [&](const typename C::Value &v) { return set(device, index, v); });
}

template <class Get, class On, class Off>
int boolNode(int state, char *params, char *out, int outSize, int *outLen, bool hasGet, Get get,
             bool hasSet, On on, Off off) {
    *outLen = 0;
    char *p[1] = {nullptr};
    int found = 0;
    if (state == SCPI_STATE_QUERY) {
        if (!hasGet) return KR_E_UNDEFINED_HEADER;
        int r = _scpi_getParameters(params, 0, p, &found, 0);
        if (r != 0) return r;
        return scpi_bool2str(get(), out, outSize, outLen);
    }
    if (state != SCPI_STATE_SET) return 0;
    if (!hasSet) return KR_E_UNDEFINED_HEADER;
    int r = _scpi_getParameters(params, 1, p, &found, 0);
    if (r != 0) return r;
    int flag = 0;
    r = scpi_str2bool(p[0], &flag);
    if (r != 0) return r;
    return flag ? on() : off();
}

// Operation of a leaf, typed back from its slot address.
template <class F>
F slotValue(const void *slot) {
    return slot ? *static_cast<const F *>(slot) : nullptr;
}

int statusNode(ScpiCall *call) {
    int reg = call->node->leaf.aux / 8;
    StatusRegisterNode node = (StatusRegisterNode)(call->node->leaf.aux % 8);
    DeviceStatusRegisters *block =
        DEVICE_ISREG(getStatusRegisters) ? Device_getStatusRegisters(call->device) : nullptr;
    StatusRegister *r = nullptr;
    if (block) {
        switch (reg) {
            case SCPI_STATUS_OPERATION:
                r = &block->operation;
                break;
            case SCPI_STATUS_OPERATION_SWEEP:
                r = &block->operationSweep;
                break;
            case SCPI_STATUS_OPERATION_WAIT:
                r = &block->operationWait;
                break;
            case SCPI_STATUS_QUESTIONABLE:
                r = &block->questionable;
                break;
            case SCPI_STATUS_QUESTIONABLE_MODULATION:
                r = &block->questionableModulation;
                break;
            case SCPI_STATUS_PULSE_MODULATION:
                r = &block->pulseModulation;
                break;
            case SCPI_STATUS_QUESTIONABLE_POWER:
                r = &block->questionablePower;
                break;
            default:
                break;
        }
    }
    return scpi_node_status_registers(call->state, call->params, call->out, call->outSize,
                                      &call->outLen, call->link, r, node);
}

int enumNode(ScpiCall *call) {
    const ScpiEnumValue *values = static_cast<const ScpiEnumValue *>(call->node->leaf.data);
    char *p[1] = {nullptr};
    int found = 0;
    call->outLen = 0;
    if (call->state == SCPI_STATE_QUERY) {
        int r = _scpi_getParameters(call->params, 0, p, &found, 0);
        if (r != 0) return r;
        for (const ScpiEnumValue *v = values; v && v->keyword; v++) {
            if (!v->is || !scpi_node_slotRegistered(v->is) || !(*v->is)(call->device)) continue;
            int n = scpi_keywordShortLength(v->keyword);
            if (n >= call->outSize) return KR_E_QUERY_ERROR;
            memcpy(call->out, v->keyword, (size_t)n);
            call->out[n] = 0;
            call->outLen = n;
            return 0;
        }
        return 0;
    }
    int r = _scpi_getParameters(call->params, 1, p, &found, call->partial);
    if (r != 0) return r;
    for (const ScpiEnumValue *v = values; v && v->keyword; v++) {
        if (!scpi_isParam(v->keyword, p[0])) continue;
        if (!v->set) return KR_E_ILLEGAL_PARAMETER_VALUE;
        return (*v->set)(call->device);
    }
    return KR_E_ILLEGAL_PARAMETER_VALUE;
}

int actionNode(ScpiCall *call) {
    char *p[1] = {nullptr};
    int found = 0;
    int r = _scpi_getParameters(call->params, 0, p, &found, 0);
    if (r != 0) return r;
    if (call->state == SCPI_STATE_QUERY) {
        int (*state)(Device *) = slotValue<int (*)(Device *)>(call->node->leaf.ops[0]);
        if (!state) return KR_E_UNDEFINED_HEADER;
        return scpi_bool2str(state(call->device), call->out, call->outSize, &call->outLen);
    }
    int (*action)(Device *) = slotValue<int (*)(Device *)>(call->node->leaf.ops[3]);
    return action ? action(call->device) : KR_E_UNDEFINED_HEADER;
}

}  // namespace

bool scpi_node_opRegistered(const void *slotAddress) {
    int r = Device_isSlotAddressRegistered(slotAddress);
    if (r >= 0) return r == 1;
    return slotAddress != nullptr && *static_cast<void *const *>(slotAddress) != nullptr;
}

int scpi_node_freq(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                   const KrFreq *(*get)(Device *), const KrFreq *(*getMin)(Device *),
                   const KrFreq *(*getMax)(Device *), int (*set)(Device *, const KrFreq *)) {
    return plainNode(freqCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_pow(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                  const KrPow *(*get)(Device *), const KrPow *(*getMin)(Device *),
                  const KrPow *(*getMax)(Device *), int (*set)(Device *, const KrPow *)) {
    return plainNode(powCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_angle(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                    const KrAngle *(*get)(Device *), const KrAngle *(*getMin)(Device *),
                    const KrAngle *(*getMax)(Device *), int (*set)(Device *, const KrAngle *)) {
    return plainNode(angleCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_time(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                   const KrTime *(*get)(Device *), const KrTime *(*getMin)(Device *),
                   const KrTime *(*getMax)(Device *), int (*set)(Device *, const KrTime *)) {
    return plainNode(timeCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_double(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                     double (*get)(Device *), double (*getMin)(Device *),
                     double (*getMax)(Device *), int (*set)(Device *, double)) {
    return plainNode(doubleCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_dblunit(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                      const ScpiUnitTable *unit, int format, double (*get)(Device *),
                      double (*getMin)(Device *), double (*getMax)(Device *),
                      int (*set)(Device *, double)) {
    DblUnitCodec codec{unit, format};
    return plainNode(codec, state, params, out, outSize, outLen, device, get, getMin, getMax, set);
}

int scpi_node_float(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                    float (*get)(Device *), float (*getMin)(Device *), float (*getMax)(Device *),
                    int (*set)(Device *, float)) {
    return plainNode(floatCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_int(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                  int32_t (*get)(Device *), int32_t (*getMin)(Device *),
                  int32_t (*getMax)(Device *), int (*set)(Device *, int32_t)) {
    return plainNode(intCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_int32(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                    int32_t (*get)(Device *), int32_t (*getMin)(Device *),
                    int32_t (*getMax)(Device *), int (*set)(Device *, int32_t)) {
    return scpi_node_int(state, params, out, outSize, outLen, device, get, getMin, getMax, set);
}

int scpi_node_uint32(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                     uint32_t (*get)(Device *), uint32_t (*getMin)(Device *),
                     uint32_t (*getMax)(Device *), int (*set)(Device *, uint32_t)) {
    return plainNode(uintCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_uint64(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                     uint64_t (*get)(Device *), uint64_t (*getMin)(Device *),
                     uint64_t (*getMax)(Device *), int (*set)(Device *, uint64_t)) {
    return plainNode(ulintCodec, state, params, out, outSize, outLen, device, get, getMin, getMax,
                     set);
}

int scpi_node_bool(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                   int (*get)(Device *), int (*setOn)(Device *), int (*setOff)(Device *)) {
    return boolNode(
        state, params, out, outSize, outLen, get != nullptr, [&] { return get(device); },
        setOn != nullptr && setOff != nullptr, [&] { return setOn(device); },
        [&] { return setOff(device); });
}

int scpi_node_index_bool(int state, char *params, char *out, int outSize, int *outLen,
                         Device *device, int32_t index, int (*get)(Device *, int32_t),
                         int (*setOn)(Device *, int32_t), int (*setOff)(Device *, int32_t)) {
    return boolNode(
        state, params, out, outSize, outLen, get != nullptr, [&] { return get(device, index); },
        setOn != nullptr && setOff != nullptr, [&] { return setOn(device, index); },
        [&] { return setOff(device, index); });
}

int scpi_node_index_double(int state, char *params, char *out, int outSize, int *outLen,
                           Device *device, int32_t index, double (*get)(Device *, int32_t),
                           double (*getMin)(Device *, int32_t), double (*getMax)(Device *, int32_t),
                           int (*set)(Device *, int32_t, double)) {
    return indexNode(doubleCodec, state, params, out, outSize, outLen, device, index, get, getMin,
                     getMax, set);
}

int scpi_node_index_float(int state, char *params, char *out, int outSize, int *outLen,
                          Device *device, int32_t index, float (*get)(Device *, int32_t),
                          float (*getMin)(Device *, int32_t), float (*getMax)(Device *, int32_t),
                          int (*set)(Device *, int32_t, float)) {
    return indexNode(floatCodec, state, params, out, outSize, outLen, device, index, get, getMin,
                     getMax, set);
}

int scpi_node_index_uint32(int state, char *params, char *out, int outSize, int *outLen,
                           Device *device, int32_t index, uint32_t (*get)(Device *, int32_t),
                           uint32_t (*getMin)(Device *, int32_t),
                           uint32_t (*getMax)(Device *, int32_t),
                           int (*set)(Device *, int32_t, uint32_t)) {
    return indexNode(uintCodec, state, params, out, outSize, outLen, device, index, get, getMin,
                     getMax, set);
}

int scpi_node_string(int state, char *params, char *out, int outSize, int *outLen, Device *device,
                     int size, const char *(*get)(Device *), int (*set)(Device *, const char *)) {
    *outLen = 0;
    char *p[1] = {nullptr};
    int found = 0;
    if (state == SCPI_STATE_QUERY) {
        if (!get) return KR_E_UNDEFINED_HEADER;
        int r = _scpi_getParameters(params, 0, p, &found, 0);
        if (r != 0) return r;
        const char *text = get(device);
        if (!text || !text[0]) return scpi_chararray2str("none", out, outSize, outLen);
        return scpi_buffer2str(text, size > 0 ? size : INT_MAX, out, outSize, outLen);
    }
    if (state != SCPI_STATE_SET) return 0;
    if (!set) return KR_E_UNDEFINED_HEADER;
    int r = _scpi_getParameters(params, 1, p, &found, 0);
    if (r != 0) return r;
    char *text = scpi_unquote(p[0]);
    if (size > 0 && strlen(text) >= (size_t)size) return KR_E_TOO_MUCH_DATA;
    return set(device, text);
}

int scpi_node_status_registers(int state, char *params, char *out, int outSize, int *outLen,
                               ScpiLink *, StatusRegister *reg, StatusRegisterNode node) {
    *outLen = 0;
    if (!reg) return KR_E_UNDEFINED_HEADER;
    return statusregister_handleNode(reg, node, state == SCPI_STATE_QUERY, params, out, outSize,
                                     outLen);
}

int scpi_node_runLeaf(ScpiCall *call) {
    const ScpiLeaf &leaf = call->node->leaf;
    const void *const *ops = leaf.ops;
    Device *d = call->device;
    int st = call->state;
    char *pa = call->params;
    char *o = call->out;
    int os = call->outSize;
    int *ol = &call->outLen;
    switch (leaf.type) {
        case SCPI_LEAF_CUSTOM:
            return leaf.handler ? leaf.handler(call) : KR_E_UNDEFINED_HEADER;
        case SCPI_LEAF_FREQ: {
            using G = const KrFreq *(*)(Device *);
            return scpi_node_freq(st, pa, o, os, ol, d, slotValue<G>(ops[0]), slotValue<G>(ops[1]),
                                  slotValue<G>(ops[2]),
                                  slotValue<int (*)(Device *, const KrFreq *)>(ops[3]));
        }
        case SCPI_LEAF_POW: {
            using G = const KrPow *(*)(Device *);
            return scpi_node_pow(st, pa, o, os, ol, d, slotValue<G>(ops[0]), slotValue<G>(ops[1]),
                                 slotValue<G>(ops[2]),
                                 slotValue<int (*)(Device *, const KrPow *)>(ops[3]));
        }
        case SCPI_LEAF_ANGLE: {
            using G = const KrAngle *(*)(Device *);
            return scpi_node_angle(st, pa, o, os, ol, d, slotValue<G>(ops[0]), slotValue<G>(ops[1]),
                                   slotValue<G>(ops[2]),
                                   slotValue<int (*)(Device *, const KrAngle *)>(ops[3]));
        }
        case SCPI_LEAF_TIME: {
            using G = const KrTime *(*)(Device *);
            return scpi_node_time(st, pa, o, os, ol, d, slotValue<G>(ops[0]), slotValue<G>(ops[1]),
                                  slotValue<G>(ops[2]),
                                  slotValue<int (*)(Device *, const KrTime *)>(ops[3]));
        }
        case SCPI_LEAF_DOUBLE: {
            using G = double (*)(Device *);
            return scpi_node_double(st, pa, o, os, ol, d, slotValue<G>(ops[0]),
                                    slotValue<G>(ops[1]), slotValue<G>(ops[2]),
                                    slotValue<int (*)(Device *, double)>(ops[3]));
        }
        case SCPI_LEAF_DBLUNIT: {
            using G = double (*)(Device *);
            return scpi_node_dblunit(
                st, pa, o, os, ol, d, static_cast<const ScpiUnitTable *>(leaf.data), leaf.aux,
                slotValue<G>(ops[0]), slotValue<G>(ops[1]), slotValue<G>(ops[2]),
                slotValue<int (*)(Device *, double)>(ops[3]));
        }
        case SCPI_LEAF_FLOAT: {
            using G = float (*)(Device *);
            return scpi_node_float(st, pa, o, os, ol, d, slotValue<G>(ops[0]), slotValue<G>(ops[1]),
                                   slotValue<G>(ops[2]),
                                   slotValue<int (*)(Device *, float)>(ops[3]));
        }
        case SCPI_LEAF_INT32: {
            using G = int32_t (*)(Device *);
            return scpi_node_int32(st, pa, o, os, ol, d, slotValue<G>(ops[0]), slotValue<G>(ops[1]),
                                   slotValue<G>(ops[2]),
                                   slotValue<int (*)(Device *, int32_t)>(ops[3]));
        }
        case SCPI_LEAF_UINT32: {
            using G = uint32_t (*)(Device *);
            return scpi_node_uint32(st, pa, o, os, ol, d, slotValue<G>(ops[0]),
                                    slotValue<G>(ops[1]), slotValue<G>(ops[2]),
                                    slotValue<int (*)(Device *, uint32_t)>(ops[3]));
        }
        case SCPI_LEAF_UINT64: {
            using G = uint64_t (*)(Device *);
            return scpi_node_uint64(st, pa, o, os, ol, d, slotValue<G>(ops[0]),
                                    slotValue<G>(ops[1]), slotValue<G>(ops[2]),
                                    slotValue<int (*)(Device *, uint64_t)>(ops[3]));
        }
        case SCPI_LEAF_BOOL: {
            using F = int (*)(Device *);
            return scpi_node_bool(st, pa, o, os, ol, d, slotValue<F>(ops[0]), slotValue<F>(ops[1]),
                                  slotValue<F>(ops[2]));
        }
        case SCPI_LEAF_INDEX_BOOL: {
            using F = int (*)(Device *, int32_t);
            return scpi_node_index_bool(st, pa, o, os, ol, d, call->index, slotValue<F>(ops[0]),
                                        slotValue<F>(ops[1]), slotValue<F>(ops[2]));
        }
        case SCPI_LEAF_INDEX_DOUBLE: {
            using G = double (*)(Device *, int32_t);
            return scpi_node_index_double(st, pa, o, os, ol, d, call->index, slotValue<G>(ops[0]),
                                          slotValue<G>(ops[1]), slotValue<G>(ops[2]),
                                          slotValue<int (*)(Device *, int32_t, double)>(ops[3]));
        }
        case SCPI_LEAF_INDEX_FLOAT: {
            using G = float (*)(Device *, int32_t);
            return scpi_node_index_float(st, pa, o, os, ol, d, call->index, slotValue<G>(ops[0]),
                                         slotValue<G>(ops[1]), slotValue<G>(ops[2]),
                                         slotValue<int (*)(Device *, int32_t, float)>(ops[3]));
        }
        case SCPI_LEAF_INDEX_UINT32: {
            using G = uint32_t (*)(Device *, int32_t);
            return scpi_node_index_uint32(st, pa, o, os, ol, d, call->index, slotValue<G>(ops[0]),
                                          slotValue<G>(ops[1]), slotValue<G>(ops[2]),
                                          slotValue<int (*)(Device *, int32_t, uint32_t)>(ops[3]));
        }
        case SCPI_LEAF_STRING:
            return scpi_node_string(st, pa, o, os, ol, d, leaf.aux,
                                    slotValue<const char *(*)(Device *)>(ops[0]),
                                    slotValue<int (*)(Device *, const char *)>(ops[3]));
        case SCPI_LEAF_STATUS:
            return statusNode(call);
        case SCPI_LEAF_ENUM:
            return enumNode(call);
        case SCPI_LEAF_ACTION:
            return actionNode(call);
        default:
            return KR_E_UNDEFINED_HEADER;
    }
}
