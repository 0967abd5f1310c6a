#include "frontpanel/krhcupdate.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device.h"
#include "frontpanel/krhc.h"
#include "remote/krsocket.h"
#include "scpi/scpi_convert.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"

KrHc *krhcs = nullptr;

namespace {

constexpr int kValueMax = 1024;
constexpr int kLineMax = kValueMax + 128;
constexpr int kEepromPolls = 100;
constexpr useconds_t kEepromPollUs = 10000;

template <class R, class... A>
bool registered(R (*fn)(A...)) {
    return fn && fn != &Device_fallback<R, A...>;
}

// "<header> <value>\n" to the panel.
int sendLine(const char *header, const char *value) {
    char line[kLineMax];
    int n = snprintf(line, sizeof(line), "%s %s\n", header, value);
    if (n < 0) return -1;
    if (n >= (int)sizeof(line)) n = (int)sizeof(line) - 1;
    return Krhcupdate_n(n, line);
}

// The value of any getter as a plain number.
double asNumber(double v) {
    return v;
}
double asNumber(float v) {
    return v;
}
double asNumber(const KrFreq *f) {
    double d = 0;
    return f ? krfreq2double(f, &d) : 0;
}
template <class T>
requires std::is_floating_point_v<T>
double asNumber(const T *p) {
    return p ? (double)*p : 0;
}

// How each kind of value is written on the panel.
struct Freq {
    static void format(const KrFreq *v, char *out, int size) {
        int len = 0;
        scpi_kr_freq2str(v, out, size, &len);
    }
};
struct Pow {
    // The device value in dBm, without the user's unit or offset.
    static void format(const KrPow *v, char *out, int size) {
        int len = 0;
        scpi_kr_pow2strf(v, SCPI_FORMAT_DEVICE_UNITS | SCPI_FORMAT_TWO_DECIMALS, out, size, &len);
    }
};
struct Time {
    static void format(const KrTime *v, char *out, int size) {
        int len = 0;
        scpi_kr_time2strf(v, SCPI_FORMAT_FIXED, out, size, &len);
    }
};
struct Angle {
    static void format(const KrAngle *v, char *out, int size) {
        int len = 0;
        scpi_kr_angle2strf(v, SCPI_FORMAT_FIXED, out, size, &len);
    }
};
struct Number {
    template <class T>
    static void format(T v, char *out, int size) {
        int len = 0;
        scpi_double2strf(asNumber(v), SCPI_FORMAT_FIXED, out, size, &len);
    }
};
struct Count {
    static void format(uint32_t v, char *out, int size) {
        int len = 0;
        scpi_uint2str(v, out, size, &len);
    }
};
struct State {
    static void format(int v, char *out, int size) {
        int len = 0;
        scpi_bool2str(v ? 1 : 0, out, size, &len);
    }
};

// "<header> <value>" from a getter; an input's or connector's getter also takes its number.
template <class Kind, class R, class... A>
int sendAs(const char *header, R (*get)(Device *, A...), Device *device,
           std::type_identity_t<A>... args) {
    if (!Krhc_connected(krhcs) || !registered(get)) return -1;
    char value[kValueMax];
    Kind::format(get(device, args...), value, sizeof(value));
    return sendLine(header, value);
}

// The header of an input's or connector's message: its format with the number put in.
struct NumberedHeader {
    NumberedHeader(const char *format, int number) { snprintf(text, sizeof(text), format, number); }
    char text[64];
};

// A member of an input's or connector's choice.
int enumMemberAt(int (*is)(Device *, int32_t), const char *format, Device *device, int number) {
    if (!Krhc_connected(krhcs) || !registered(is)) return -1;
    return is(device, number) ? Krhcupdate(NumberedHeader(format, number).text) : 0;
}

// Choice member sent when the predicate is false (the two-valued fixed lines).
int enumMemberNot(int (*is)(Device *), const char *line, Device *device) {
    if (!Krhc_connected(krhcs) || !registered(is)) return -1;
    return is(device) ? 0 : Krhcupdate(line);
}

Device *parserDevice(Device *device) {
    return device ? device : (parser ? parser->device : nullptr);
}

}  // namespace

void Krhcupdate_init(KrHc *hc) {
    krhcs = hc;
}

int Krhcupdate_n(int n, const char *bytes) {
    if (!Krhc_connected(krhcs)) return -1;
    return Krhc_writeAsync(krhcs, n, bytes);
}

int Krhcupdate(const char *text) {
    char line[kLineMax];
    int n = snprintf(line, sizeof(line), "%s\n", text);
    if (n >= (int)sizeof(line)) n = (int)sizeof(line) - 1;
    return Krhcupdate_n(n, line);
}

int hcupdate(const char *text) {
    return Krhcupdate(text);
}

int hcupdate_tFreq(const char *header, const KrFreq *(*get)(Device *), Device *device) {
    return sendAs<Freq>(header, get, device);
}

int hcupdate_tPow(const char *header, const KrPow *(*get)(Device *), Device *device) {
    return sendAs<Pow>(header, get, device);
}

int hcupdate_tTime(const char *header, const KrTime *(*get)(Device *), Device *device) {
    return sendAs<Time>(header, get, device);
}

int hcupdate_tAngle(const char *header, const KrAngle *(*get)(Device *), Device *device) {
    return sendAs<Angle>(header, get, device);
}

int hcupdate_tDouble(const char *header, double (*get)(Device *), Device *device) {
    return sendAs<Number>(header, get, device);
}

int hcupdate_tFloat(const char *header, float (*get)(Device *), Device *device) {
    return sendAs<Number>(header, get, device);
}

int hcupdate_tUint32(const char *header, uint32_t (*get)(Device *), Device *device) {
    return sendAs<Count>(header, get, device);
}

int hcupdate_tState(const char *header, int (*get)(Device *), Device *device) {
    return sendAs<State>(header, get, device);
}

int hcupdate_tDoubleArray(const char *header, uint32_t (*count)(Device *),
                          const double *(*values)(Device *), Device *device) {
    if (!Krhc_connected(krhcs) || !registered(count) || !registered(values)) return -1;
    char value[kValueMax];
    int len = 0;
    scpi_doubleArray2strf(values(device), (int)count(device), SCPI_FORMAT_FIXED, value,
                          sizeof(value), &len);
    return sendLine(header, value);
}

int hcupdate_tEnumMember(int (*is)(Device *), const char *line, Device *device) {
    if (!Krhc_connected(krhcs) || !registered(is)) return -1;
    return is(device) ? Krhcupdate(line) : 0;
}

// ---- Generated message functions --------------------------------------------------------

#define HC_VALUE(function, kind, header, slot)              \
    int hcupdate_##function(Device *device) {               \
        return sendAs<kind>(header, Device_##slot, device); \
    }
#define HC_VALUE_AT(function, kind, format, slot)                                                \
    int hcupdate_##function(Device *device, int number) {                                        \
        return sendAs<kind>(NumberedHeader(format, number).text, Device_##slot, device, number); \
    }
#include "frontpanel/hcupdate_values.def"
#undef HC_VALUE
#undef HC_VALUE_AT

#define HC_MEMBER(slot, line) hcupdate_tEnumMember(Device_##slot, line, device);
#define HC_MEMBER_NOT(slot, line) enumMemberNot(Device_##slot, line, device);
#define HC_MEMBER_AT(slot, format) enumMemberAt(Device_##slot, format, device, number);
#define HC_CHOICE(function, members)           \
    int hcupdate_##function(Device *device) {  \
        if (!Krhc_connected(krhcs)) return -1; \
        members return 0;                      \
    }
#define HC_CHOICE_AT(function, members)                   \
    int hcupdate_##function(Device *device, int number) { \
        if (!Krhc_connected(krhcs)) return -1;            \
        members return 0;                                 \
    }
#include "frontpanel/hcupdate_choices.def"
#undef HC_CHOICE
#undef HC_CHOICE_AT
#undef HC_MEMBER
#undef HC_MEMBER_NOT
#undef HC_MEMBER_AT

int hcupdate_roscSour(Device *device) {
    if (!Krhc_connected(krhcs) || !registered(Device_isReferenceSourceExternal)) return -1;
    if (registered(Device_isReferenceSourceExternalVariable) &&
        Device_isReferenceSourceExternalVariable(device))
        return Krhcupdate("ROSC:SOUR EXTV");
    return Krhcupdate(Device_isReferenceSourceExternal(device) ? "ROSC:SOUR EXT" : "ROSC:SOUR INT");
}

// ---- Start-up dump ------------------------------------------------------------------------

int hcupdate_resetHcCommandParser() {
    return Krhcupdate(": ");
}

int Krhcupdate_sn(Device *device) {
    device = parserDevice(device);
    const char *name = registered(Device_getName) ? Device_getName(device) : "undefined";
    char text[256];
    // The format's own line feed and the one every update gets: an empty line follows.
    snprintf(text, sizeof(text), "mserial-no=%s?%s\n", device_config_getSN(), name);
    return Krhcupdate(text);
}

namespace {

// "<header>:<MIN|MAX> <value>", the value of the kind of the setting bounded.
template <class Kind, class R, class... A>
void sendLimit(const char *header, const char *suffix, R (*get)(Device *, A...), Device *device,
               std::type_identity_t<A>... args) {
    char full[64];
    snprintf(full, sizeof(full), "%s:%s", header, suffix);
    sendAs<Kind>(full, get, device, args...);
}

}  // namespace

int hcupdate_constants(Device *device) {
    if (!Krhc_connected(krhcs)) return -1;
    hcupdate_resetHcCommandParser();
#define HC_LIMIT(kind, header, minSlot, maxSlot)              \
    sendLimit<kind>(header, "MIN", Device_##minSlot, device); \
    sendLimit<kind>(header, "MAX", Device_##maxSlot, device);
#define HC_LIMIT_AT(kind, header, number, minSlot, maxSlot)           \
    sendLimit<kind>(header, "MIN", Device_##minSlot, device, number); \
    sendLimit<kind>(header, "MAX", Device_##maxSlot, device, number);
#define HC_LIMIT_MAX(kind, header, maxSlot) \
    sendLimit<kind>(header, "MAX", Device_##maxSlot, device);
#include "frontpanel/hcupdate_limits.def"
    HC_LIMITS_ALL(HC_LIMIT)
    if (device_config_usesFpTpStm()) {
        HC_LIMITS_TOUCH(HC_LIMIT, HC_LIMIT_AT, HC_LIMIT_MAX)
    }
#undef HC_LIMIT
#undef HC_LIMIT_AT
#undef HC_LIMIT_MAX
    return 0;
}

int hcupdate_settings(Device *device) {
    if (!Krhc_connected(krhcs)) return -1;
    // The panel builds its pages from this order. The ident code of VOR and ILS and the
    // glide slope's and localizer's AM0/AM1 and ident states have no message of their own.
    static int (*const steps[])(Device *) = {
        hcupdate_rfOutputState,
        hcupdate_outputBlanking,
        hcupdate_rfOutputOffMode,
        hcupdate_alcState,
        hcupdate_alcHold,
        hcupdate_alcHoldAuto,
        hcupdate_frequency,
        hcupdate_frequencyStart,
        hcupdate_frequencyStop,
        hcupdate_frequencyMode,
        hcupdate_power,
        hcupdate_powerStart,
        hcupdate_powerStop,
        hcupdate_powerCenter,
        hcupdate_powerSpan,
        hcupdate_powerMode,
        hcupdate_iqCrestFactorManual,
        hcupdate_referenceExternalFrequency,
        hcupdate_referenceExternalVariableFrequency,
        hcupdate_roscSour,
        hcupdate_triggerDelay,
        hcupdate_pulmState,
        hcupdate_pulmInternalWidth,
        hcupdate_pulmInternalPeriod,
        hcupdate_pulmPolarity,
        hcupdate_pulmSource,
        hcupdate_pulmOutputVideoPolarity,
        hcupdate_pulmCount,
        hcupdate_pulmModulator,
        hcupdate_pulmOutputSource,
        hcupdate_pulmExternalSource,
        hcupdate_pulmResolution,
        hcupdate_amState,
        hcupdate_amInternalFrequency,
        hcupdate_amSensitivity,
        hcupdate_amDepth,
        hcupdate_amSource,
        hcupdate_fmState,
        hcupdate_fmInternalFrequency,
        hcupdate_fmSensitivity,
        hcupdate_fmDeviation,
        hcupdate_fmCoupling,
        hcupdate_fmSource,
        hcupdate_pmState,
        hcupdate_pmInternalFrequency,
        hcupdate_pmSensitivity,
        hcupdate_pmDeviation,
        hcupdate_pmSource,
        hcupdate_chirpTime,
        hcupdate_chirpCount,
        hcupdate_chirpDirection,
        hcupdate_chirpBlanking,
        hcupdate_vorState,
        hcupdate_vorBearing,
        hcupdate_vorFmIndex,
        hcupdate_vorAm0,
        hcupdate_vorAm1,
        hcupdate_vorIdentDepth,
        hcupdate_vorIdentMode,
        hcupdate_vorIdentState,
        hcupdate_ilsGsState,
        hcupdate_ilsGsAm0,
        hcupdate_ilsGsAm1,
        hcupdate_ilsGsDdm,
        hcupdate_ilsGsSdm,
        hcupdate_ilsGsIdentDepth,
        hcupdate_ilsGsIdentMode,
        hcupdate_ilsLocState,
        hcupdate_ilsLocAm0,
        hcupdate_ilsLocAm1,
        hcupdate_ilsLocDdm,
        hcupdate_ilsLocSdm,
        hcupdate_ilsLocIdentDepth,
        hcupdate_ilsLocIdentMode,
        hcupdate_dmeState,
        hcupdate_dmeFilter,
        hcupdate_dmeFrequency,
        hcupdate_dmePulseWidth,
        hcupdate_dmePulseRise,
        hcupdate_dmePulseFall,
        hcupdate_dmePulseSpacing,
        hcupdate_dmeAddPulseState,
        hcupdate_dmeAddPulseType,
        hcupdate_dmeAddPulseAttenuation,
        hcupdate_dmeAddPulseWidth,
        hcupdate_dmeAddPulseRise,
        hcupdate_dmeAddPulseFall,
        hcupdate_dmeAddPulseSpacing,
        hcupdate_dmeAddPulseDelay,
        hcupdate_dmeEchoState,
        hcupdate_dmeEchoDelay,
        hcupdate_dmeEchoAttenuation,
        hcupdate_dmeInterferenceState,
        hcupdate_dmeInterferenceDelay,
        hcupdate_dmeInterferenceAttenuation,
        hcupdate_dmeDeadTimeState,
        hcupdate_dmeDeadTimeDelay,
        hcupdate_constantIqState,
        hcupdate_constantIqI,
        hcupdate_constantIqQ,
        hcupdate_constantIqAngle,
        hcupdate_constantIqAmplitude,
        hcupdate_arbState,
        hcupdate_arbClock,
        hcupdate_arbClockAdjust,
        hcupdate_arbFcpClock,
        hcupdate_iqSegTransitionMode,
        hcupdate_iqSegSource,
        hcupdate_arbMarkerBitsState,
        hcupdate_arbTriggerDelay,
        hcupdate_arbTriggerExternalSlope,
        hcupdate_arbTriggerExternalSource,
        hcupdate_arbTriggerInitiateContinuous,
        hcupdate_arbTriggerOutputDelay,
        hcupdate_arbTriggerOutputWidth,
        hcupdate_arbTriggerOutputPolarity,
        hcupdate_arbTriggerSource,
        hcupdate_lfoState,
        hcupdate_lfoSource,
        hcupdate_lfoFrequency,
        hcupdate_lfoAmplitude,
        hcupdate_lfoShape,
        hcupdate_sweepPoints,
        hcupdate_sweepCount,
        hcupdate_dwellTime,
        hcupdate_delayTime,
        hcupdate_listCount,
        hcupdate_sweepTriggerExternalSlope,
        hcupdate_sweepTriggerExternalSource,
        hcupdate_sweepTriggerInitiateContinuous,
        hcupdate_sweepTriggerOutputDelay,
        hcupdate_sweepTriggerOutputMode,
        hcupdate_sweepTriggerOutputPolarity,
        hcupdate_sweepTriggerSource,
        hcupdate_fcpDir,
        hcupdate_fcpStreamIq,
        hcupdate_fcpStreamSegment,
        hcupdate_fcpStreamOutput,
        hcupdate_arbFcpState,
        hcupdate_awgnState,
        hcupdate_awgnCnr,
        hcupdate_awgnBandwidth,
        hcupdate_awgnPowerCtrl,
        hcupdate_awgnCarrierPower,
        hcupdate_awgnNoisePower,
        hcupdate_dmState,
        hcupdate_dmFilterType,
        hcupdate_dmPatternLength,
        hcupdate_dmFormat,
        hcupdate_dmFilterParameter,
        hcupdate_dmOversampling,
        hcupdate_dmSymbolRate,
        [](Device *d) { return hcupdate_ainGain(d, 1); },
        [](Device *d) { return hcupdate_ainGain(d, 2); },
        [](Device *d) { return hcupdate_ainOffset(d, 1); },
        [](Device *d) { return hcupdate_ainOffset(d, 2); },
        [](Device *d) { return hcupdate_ainSource(d, 1); },
        [](Device *d) { return hcupdate_ainSource(d, 2); },
        hcupdate_ainState,
        hcupdate_aiqSourceI,
        hcupdate_aiqSourceQ,
        hcupdate_aiqState,
        [](Device *d) { return hcupdate_multiFunctionState(d, 1); },
        [](Device *d) { return hcupdate_multiFunctionSource(d, 1); },
        [](Device *d) { return hcupdate_multiFunctionPulmSource(d, 1); },
        [](Device *d) { return hcupdate_multiFunctionArbitrarySource(d, 1); },
        [](Device *d) { return hcupdate_multiFunctionMarkerSource(d, 1); },
        [](Device *d) { return hcupdate_multiFunctionSweepSource(d, 1); },
        [](Device *d) { return hcupdate_multiFunctionPdwSource(d, 1); },
        [](Device *d) { return hcupdate_multiFunctionPdwMarkerSource(d, 1); },
        [](Device *d) { return hcupdate_multiFunctionState(d, 2); },
        [](Device *d) { return hcupdate_multiFunctionSource(d, 2); },
        [](Device *d) { return hcupdate_multiFunctionPulmSource(d, 2); },
        [](Device *d) { return hcupdate_multiFunctionArbitrarySource(d, 2); },
        [](Device *d) { return hcupdate_multiFunctionMarkerSource(d, 2); },
        [](Device *d) { return hcupdate_multiFunctionSweepSource(d, 2); },
        [](Device *d) { return hcupdate_multiFunctionPdwSource(d, 2); },
        [](Device *d) { return hcupdate_multiFunctionPdwMarkerSource(d, 2); },
    };
    for (auto step : steps)
        step(device);
    hcupdate_ipAddress();
    hcupdate_gpibAddress(device);
    hcupdate_clearQuesPow();
    return 0;
}

int hcupdate_ready(Device *) {
    return Krhcupdate("DIAG:HC:READ");
}

int hcupdate_options() {
    char options[256];
    char line[300];
    device_config_getOptionsString(options, sizeof(options));
    snprintf(line, sizeof(line), "*OPT \"%s\"", options);
    return Krhcupdate(line);
}

// ---- Fixed lines --------------------------------------------------------------------------

int hcupdate_rst() {
    return Krhcupdate("*RST");
}
int hcupdate_lock() {
    return Krhcupdate("SYST:LOCK");
}
int hcupdate_release() {
    return Krhcupdate("SYST:LOCK:REL");
}
int hcupdate_remoteOPC() {
    return Krhcupdate("*OPC");
}
int hcupdate_connectLan() {
    return Krhcupdate("SYST:COMM:CONN LAN");
}
int hcupdate_disconnectLan() {
    return Krhcupdate("SYST:COMM:DISC LAN");
}
int hcupdate_connectUsb() {
    return Krhcupdate("SYST:COMM:CONN USB");
}
int hcupdate_disconnectUsb() {
    return Krhcupdate("SYST:COMM:DISC USB");
}
int hcupdate_connectGpib() {
    return Krhcupdate("SYST:COMM:CONN GPIB");
}
int hcupdate_disconnectGpib() {
    return Krhcupdate("SYST:COMM:DISC GPIB");
}

int hcupdate_batteryState(int state) {
    char line[32];
    snprintf(line, sizeof(line), "BATT %d", state);
    return Krhcupdate(line);
}

int hcupdate_ipAddress() {
    if (!Krhc_connected(krhcs)) return -1;
    char addr[64] = "0.0.0.0";
    KrsocketGetMyAddr(addr);
    char line[128];
    snprintf(line, sizeof(line), "SYST:COMM:SOCK:ADDR \"%s\"", addr);
    return Krhcupdate(line);
}

int hcupdate_gpibAddress(Device *) {
    if (!Krhc_connected(krhcs) || !device_config_usesGPIB()) return -1;
    char addr[64] = "";
    if (device_config_getGPIBaddr(addr, sizeof(addr)) < 0) return -1;
    char line[128];
    snprintf(line, sizeof(line), "SYST:COMM:GPIB:ADDR %s", addr);
    return Krhcupdate(line);
}

#define HC_QUES_DEFINE(name, text)      \
    int hcupdate_setQues##name() {      \
        return Krhcupdate("PTR:" text); \
    }                                   \
    int hcupdate_clearQues##name() {    \
        return Krhcupdate("NTR:" text); \
    }
HC_QUES_LIST(HC_QUES_DEFINE)
#undef HC_QUES_DEFINE

// ---- Queries to the panel and the display flag -------------------------------------------

namespace {
// The reply buffer is filled by the HC thread under the panel's lock.
void clearReply() {
    pthread_mutex_lock(&krhcs->lock);
    krhcs->replyLength = 0;
    krhcs->reply[0] = 0;
    pthread_mutex_unlock(&krhcs->lock);
}
}  // namespace

int Krhcupdate_getEepromWriteCycles(uint32_t *count) {
    if (!Krhc_connected(krhcs)) return KR_E_HARDWARE_MISSING;
    clearReply();
    Krhcupdate_n(12, "DIAG:EE:WC?\n");
    // The HC thread fills the reply buffer; the final line feed says it is complete.
    char reply[KRHC_REPLY_SIZE];
    for (int i = 0;; i++) {
        pthread_mutex_lock(&krhcs->lock);
        int n = krhcs->replyLength;
        bool complete = n > 0 && krhcs->reply[n - 1] == '\n';
        if (complete) memcpy(reply, krhcs->reply, (size_t)n + 1);
        pthread_mutex_unlock(&krhcs->lock);
        if (complete) break;
        if (i >= kEepromPolls) {
            printd("Krhc_getEepromWriteCycles(): timed out\n");
            return KR_E_EXECUTION_ERROR;
        }
        usleep(kEepromPollUs);
    }
    printd("Krhc_getEepromWriteCycles(): HC response <%s>\n", reply);
    *count = (uint32_t)strtoul(reply, nullptr, 10);
    clearReply();
    return 0;
}

int hcupdate_disableDisplay() {
    if (!Krhc_connected(krhcs)) return KR_E_HARDWARE_MISSING;
    krhcs->displayDisabled = 1;
    return 0;
}

int hcupdate_enableDisplay() {
    if (!Krhc_connected(krhcs)) return KR_E_HARDWARE_MISSING;
    krhcs->displayDisabled = 0;
    return 0;
}

int hcupdate_isDisplayEnabled() {
    if (!Krhc_connected(krhcs)) return 0;
    return krhcs->displayDisabled ? 0 : 1;
}

int hcupdate_displayState() {
    return Krhcupdate(hcupdate_isDisplayEnabled() ? "DISP:ENAB 1" : "DISP:ENAB 0");
}
