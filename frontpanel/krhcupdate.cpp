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

template <class R>
int sendNumber(const char *header, R (*get)(Device *), Device *device) {
    if (!Krhc_connected(krhcs) || !registered(get)) return -1;
    char value[kValueMax];
    int len = 0;
    scpi_double2strf(asNumber(get(device)), SCPI_FORMAT_FIXED, value, sizeof(value), &len);
    return sendLine(header, value);
}

template <class R>
int sendCount(const char *header, R (*get)(Device *), Device *device) {
    if (!Krhc_connected(krhcs) || !registered(get)) return -1;
    char value[32];
    int len = 0;
    scpi_uint2str((uint32_t)get(device), value, sizeof(value), &len);
    return sendLine(header, value);
}

int sendFreq(const char *h, const KrFreq *(*g)(Device *), Device *d) {
    return hcupdate_tFreq(h, g, d);
}
int sendPow(const char *h, const KrPow *(*g)(Device *), Device *d) {
    return hcupdate_tPow(h, g, d);
}
int sendTime(const char *h, const KrTime *(*g)(Device *), Device *d) {
    return hcupdate_tTime(h, g, d);
}
int sendAngle(const char *h, const KrAngle *(*g)(Device *), Device *d) {
    return hcupdate_tAngle(h, g, d);
}
int sendState(const char *h, int (*g)(Device *), Device *d) {
    return hcupdate_tState(h, g, d);
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
    if (!Krhc_connected(krhcs) || !registered(get)) return -1;
    char value[kValueMax];
    int len = 0;
    scpi_kr_freq2str(get(device), value, sizeof(value), &len);
    return sendLine(header, value);
}

int hcupdate_tPow(const char *header, const KrPow *(*get)(Device *), Device *device) {
    if (!Krhc_connected(krhcs) || !registered(get)) return -1;
    char value[kValueMax];
    int len = 0;
    scpi_kr_pow2strf(get(device), SCPI_FORMAT_DEVICE_UNITS | SCPI_FORMAT_TWO_DECIMALS, value,
                     sizeof(value), &len);
    return sendLine(header, value);
}

int hcupdate_tTime(const char *header, const KrTime *(*get)(Device *), Device *device) {
    if (!Krhc_connected(krhcs) || !registered(get)) return -1;
    char value[kValueMax];
    int len = 0;
    scpi_kr_time2strf(get(device), SCPI_FORMAT_FIXED, value, sizeof(value), &len);
    return sendLine(header, value);
}

int hcupdate_tAngle(const char *header, const KrAngle *(*get)(Device *), Device *device) {
    if (!Krhc_connected(krhcs) || !registered(get)) return -1;
    char value[kValueMax];
    int len = 0;
    scpi_kr_angle2strf(get(device), SCPI_FORMAT_FIXED, value, sizeof(value), &len);
    return sendLine(header, value);
}

int hcupdate_tDouble(const char *header, double (*get)(Device *), Device *device) {
    return sendNumber(header, get, device);
}

int hcupdate_tFloat(const char *header, float (*get)(Device *), Device *device) {
    return sendNumber(header, get, device);
}

int hcupdate_tUint32(const char *header, uint32_t (*get)(Device *), Device *device) {
    return sendCount(header, get, device);
}

int hcupdate_tState(const char *header, int (*get)(Device *), Device *device) {
    if (!Krhc_connected(krhcs) || !registered(get)) return -1;
    char value[8];
    int len = 0;
    scpi_bool2str(get(device) ? 1 : 0, value, sizeof(value), &len);
    return sendLine(header, value);
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

#define HC_VALUE(function, kind, header, slot)            \
    int hcupdate_##function(Device *device) {             \
        return send##kind(header, Device_##slot, device); \
    }
#include "frontpanel/hcupdate_values.def"
#undef HC_VALUE

#define HC_MEMBER(slot, line) hcupdate_tEnumMember(Device_##slot, line, device);
#define HC_MEMBER_NOT(slot, line) enumMemberNot(Device_##slot, line, device);
#define HC_CHOICE(function, members)           \
    int hcupdate_##function(Device *device) {  \
        if (!Krhc_connected(krhcs)) return -1; \
        members return 0;                      \
    }
#include "frontpanel/hcupdate_choices.def"
#undef HC_CHOICE
#undef HC_MEMBER
#undef HC_MEMBER_NOT

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

template <class R>
int sendLimit(int (*send)(const char *, R (*)(Device *), Device *), const char *header,
              const char *suffix, R (*get)(Device *), Device *device) {
    char full[64];
    snprintf(full, sizeof(full), "%s:%s", header, suffix);
    return send(full, get, device);
}

}  // namespace

int hcupdate_constants(Device *device) {
    if (!Krhc_connected(krhcs)) return -1;
    hcupdate_resetHcCommandParser();
#define HC_LIMIT(kind, header, minSlot, maxSlot)                    \
    sendLimit(send##kind, header, "MIN", Device_##minSlot, device); \
    sendLimit(send##kind, header, "MAX", Device_##maxSlot, device);
#include "frontpanel/hcupdate_limits.def"
    HC_LIMITS_ALL(HC_LIMIT)
    if (device_config_usesFpTpStm()) {
        HC_LIMITS_TOUCH(HC_LIMIT)
    }
#undef HC_LIMIT
    return 0;
}

int hcupdate_settings(Device *device) {
    if (!Krhc_connected(krhcs)) return -1;
    // The panel builds its pages from this order.
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
        hcupdate_ilsGsState,
        hcupdate_ilsLocState,
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

int Krhcupdate_getEepromWriteCycles(uint32_t *count) {
    if (!Krhc_connected(krhcs)) return KR_E_HARDWARE_MISSING;
    krhcs->replyLength = 0;
    krhcs->reply[0] = 0;
    Krhcupdate_n(12, "DIAG:EE:WC?\n");
    // The HC thread fills the reply buffer; the final line feed says it is complete.
    for (int i = 0;; i++) {
        int n = __atomic_load_n(&krhcs->replyLength, __ATOMIC_ACQUIRE);
        if (n > 0 && krhcs->reply[n - 1] == '\n') break;
        if (i >= kEepromPolls) {
            printd("Krhc_getEepromWriteCycles(): timed out\n");
            return KR_E_EXECUTION_ERROR;
        }
        usleep(kEepromPollUs);
    }
    printd("Krhc_getEepromWriteCycles(): HC response <%s>\n", krhcs->reply);
    *count = (uint32_t)strtoul(krhcs->reply, nullptr, 10);
    krhcs->replyLength = 0;
    krhcs->reply[0] = 0;
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
