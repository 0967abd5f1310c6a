// Triggers and the trigger output: the channel's trigger record, its driver requests and the
// fields of the FS FPGA's trigger register, and the control board's pulse at I/O update.
#include "sweep/trigger.h"

#include <cmath>
#include <cstdio>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "kr_generic_io.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// Fields of FS register 7 that only the firmware uses (source and the single-shot bits are
// with the register map, which the simulated FPGA shares).
constexpr int FS_TRIGGER_SLOPE_HIGH = 28, FS_TRIGGER_SLOPE_LOW = 26;
constexpr int FS_TRIGGER_OUTPUT_INVERTED = 22;
constexpr int FS_TRIGGER_OUTPUT_SOURCE_ZERO = 21;
constexpr int FS_TRIGGER_TYPE_HIGH = 19, FS_TRIGGER_TYPE_LOW = 18;
constexpr int FS_TRIGGER_OUTPUT_MODE_HIGH = 17, FS_TRIGGER_OUTPUT_MODE_LOW = 16;
constexpr int FS_TRIGGER_OUTPUT_SOURCE_HIGH = 15, FS_TRIGGER_OUTPUT_SOURCE_LOW = 13;

// Argument of KRTPT_IOC_PULSE_AT_IOUPDATE.
constexpr uint32_t PULSE_OFF = 0, PULSE_ON = 1, PULSE_ON_INVERTED = 3;

// What a state listener is told when the trigger source or re-arming changes.
constexpr uint32_t STATE_TRIGGER = 128;

constexpr uint32_t NONE = UINT32_MAX;

// Re-applied output modes.
constexpr uint8_t BY_LINE = 1;      // when the line is set to follow the mode
constexpr uint8_t BY_POLARITY = 2;  // when the polarity changes

// The encodings of source, type and output mode, by record value.
struct Encoding {
    const char *name;
    uint32_t driver;  // request value (output modes: KRTPT_OUT_*); NONE: standard lacks it
    uint32_t fs;      // field of FS register 7; NONE: the FS variant lacks it
    const char *driverName;
    uint8_t reapplied;
};
struct Setting {
    const char *noun;
    int request;
    int fsHigh, fsLow;
    Encoding values[5];
};
enum { SOURCE, TYPE, MODE };
const Setting settings[] = {
    {"TriggerSource",
     KRTPT_IOC_SOURCE,
     FS_TRIGGER_SOURCE_HIGH,
     FS_TRIGGER_SOURCE_LOW,
     {{"Immediate", 0, 0, nullptr, 0},
      {"External", 2, 1, nullptr, 0},
      {"Bus", 1, 2, nullptr, 0},
      {"Key", 1, 2, nullptr, 0}}},
    {"TriggerType",
     KRTPT_IOC_TYPE,
     FS_TRIGGER_TYPE_HIGH,
     FS_TRIGGER_TYPE_LOW,
     {{"Normal", 0, 0, nullptr, 0}, {"Gate", 1, 2, nullptr, 0}, {"Point", 2, 1, nullptr, 0}}},
    {"TriggerOutputMode",
     KRTPT_IOC_TRIGOUTPUT,
     FS_TRIGGER_OUTPUT_MODE_HIGH,
     FS_TRIGGER_OUTPUT_MODE_LOW,
     {{"Normal", KRTPT_OUT_TRIGGER, 0, "KRTPT_OUT_TRIGGER", BY_LINE | BY_POLARITY},
      {"Point", KRTPT_OUT_POINT, 2, "KRTPT_OUT_POINT", BY_LINE | BY_POLARITY},
      {"Gate", KRTPT_OUT_GATE, NONE, "KRTPT_OUT_GATE", BY_POLARITY},
      {"Valid", KRTPT_OUT_VALID, 1, "KRTPT_OUT_VALID", BY_LINE},
      {"Sysref", NONE, 3, nullptr, 0}}},
};

// What the two hardware variants offer beyond the common settings.
struct Variant {
    bool eventCount;               // triggers skipped before one acts
    bool outputSource;             // the output reports another channel's output-valid signal
    bool pulseRequest;             // the pulse at I/O update is a control-board driver request
    const char *lacking;           // how the diagnostics name a variant without a setting
    uint32_t Encoding::*encoding;  // its column of the encodings above
};
const Variant variants[] = {
    {true, false, true, "standard (non FS)", &Encoding::driver},
    {false, true, false, "FS", &Encoding::fs},
};
const Variant &variant() {
    return variants[device_config_usesOptionFs() ? 1 : 0];
}

// First edge and both-edges request values, and the FS slope field.
struct Slope {
    uint32_t firstEdge, bothEdges, fs;
};
const Slope slopes[] = {{1, 0, 0}, {0, 0, 1}, {1, 1, NONE}, {0, 1, NONE}};

const uint32_t lineValues[] = {KRTPT_OUT_OFF, KRTPT_OUT_LOW, KRTPT_OUT_HIGH};

Trigger *record(Device *device) {
    return Device_getTriggerPtr(device);
}

int request(int code, void *arg) {
    return rt_dev_ioctl(krspi_getFd(), code, arg) < 0 ? KR_E_EXECUTION_ERROR : 0;
}
int requestValue(int code, uint32_t value) {
    return request(code, &value);
}

// FS register 7 on the immediate path; on the standard variant the link refuses them.
void fsField(int high, int low, uint32_t value) {
    FS_FPGA_writeRegisterBitfield(FS_FPGA_PATH_IMMEDIATE, FS_REG_TRIGGER, high, low, value);
}
void fsBit(int bit, bool on) {
    if (on)
        FS_FPGA_setRegisterBits(FS_FPGA_PATH_IMMEDIATE, FS_REG_TRIGGER, 1u << bit);
    else
        FS_FPGA_clearRegisterBits(FS_FPGA_PATH_IMMEDIATE, FS_REG_TRIGGER, 1u << bit);
}

bool supported(int setting, uint32_t value, const char *verb) {
    const Encoding &e = settings[setting].values[value];
    if (e.*variant().encoding != NONE) return true;
    printd("%s%s%s() error: not supported by %s devices\n", verb, settings[setting].noun, e.name,
           variant().lacking);
    return false;
}

int result(int first, int second) {
    return first ? first : second;
}

// The slots reach the current channel's record through these; a missing record fails.
template <int (*Set)(Device *, Trigger *, uint32_t)>
int withRecord(Device *device, uint32_t value) {
    Trigger *t = record(device);
    return t ? Set(device, t, value) : KR_E_EXECUTION_ERROR;
}
template <int (*Set)(Device *, Trigger *, uint32_t), uint32_t Value>
int bound(Device *device) {
    return withRecord<Set>(device, Value);
}
template <uint32_t Trigger::*Field, uint32_t Value>
int isValue(Device *device) {
    Trigger *t = record(device);
    return t && t->*Field == Value ? 1 : 0;
}

// ---- Actions ----------------------------------------------------------------------------

int trigger_initImmediate(Device *) {
    for (int i = 0; i < 3; i++)
        fsBit(FS_TRIGGER_INIT_IMMEDIATE, true);
    return request(KRTPT_IOC_INITIATE, nullptr);
}

int trigger_triggerImmediate(Device *) {
    fsBit(FS_TRIGGER_NOW, true);
    return request(KRTPT_IOC_TRIGGER, nullptr);
}

int trigger_triggerKey(Device *device) {
    Trigger *t = record(device);
    if (!t || t->source != TRIGGER_SOURCE_KEY) return KR_E_EXECUTION_ERROR;
    return trigger_triggerImmediate(device);
}

int trigger_abort(Device *) {
    request(KRTPT_IOC_ABORT, nullptr);
    return 0;
}

int setInitiateContinuous(Device *device, Trigger *t, uint32_t on) {
    fsBit(FS_TRIGGER_INIT_CONTINUOUS, on);
    t->initiateContinuous = (uint8_t)on;
    Device_notifyState(device, STATE_TRIGGER, 0);
    return requestValue(KRTPT_IOC_INIT_CONT, on);
}

int isInitiateContinuousEnabled(Device *device) {
    Trigger *t = record(device);
    return t && t->initiateContinuous ? 1 : 0;
}

// ---- Source, type, slope, delay, count ----------------------------------------------------

int setSource(Device *device, Trigger *t, uint32_t source) {
    const Setting &s = settings[SOURCE];
    fsField(s.fsHigh, s.fsLow, s.values[source].fs);
    t->source = source;
    Device_notifyState(device, STATE_TRIGGER, 0);
    return requestValue(s.request, s.values[source].driver);
}

int setType(Device *, Trigger *t, uint32_t type) {
    // The minimum-transition option plays its points itself.
    if (type == TRIGGER_TYPE_POINT && device_config_usesOptionNec()) return KR_E_NOT_IMPLEMENTED;
    const Setting &s = settings[TYPE];
    fsField(s.fsHigh, s.fsLow, s.values[type].fs);
    t->type = type;
    return requestValue(s.request, s.values[type].driver);
}

int setSlope(Device *, Trigger *t, uint32_t slope) {
    const Slope &s = slopes[slope];
    if (s.fs != NONE) fsField(FS_TRIGGER_SLOPE_HIGH, FS_TRIGGER_SLOPE_LOW, s.fs);
    t->slope = slope;
    int r = requestValue(KRTPT_IOC_SLOPE, s.firstEdge);
    return result(r, requestValue(KRTPT_IOC_SLOPE_BOTH, s.bothEdges));
}

const KrTime delayMin = 0, delayMax = TRIGGER_DELAY_MAX, noDelay = 0;

const KrTime *getDelay(Device *device) {
    Trigger *t = record(device);
    return t ? &t->delay : &noDelay;
}
const KrTime *getDelayMin(Device *) {
    return &delayMin;
}
const KrTime *getDelayMax(Device *) {
    return &delayMax;
}

int setDelay(Device *device, const KrTime *delay) {
    Trigger *t = record(device);
    if (!t) return KR_E_EXECUTION_ERROR;
    uint32_t ticks = *delay > 0 ? (uint32_t)std::floor(*delay * FS_TIMER_HZ) : 0;
    FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_TRIGGER_DELAY, 4, &ticks);
    t->delay = *delay;
    KrGioTriggerDelay arg{};
    arg.count = krgio_timerCount(*delay);
    return request(KRTPT_IOC_DELAY, &arg);
}

uint32_t getEventCount(Device *device) {
    Trigger *t = record(device);
    return t ? t->eventCount : 0;
}

int setEventCount(Device *, Trigger *t, uint32_t count) {
    t->eventCount = count;
    return requestValue(KRTPT_IOC_EVENT_COUNT, count);
}

// ---- Trigger output -----------------------------------------------------------------------

int sendOutput(const char *who, const Trigger *t, uint32_t value, const char *valueName) {
    printd("%s(): KRTPT_IOC_TRIGOUTPUT, arg=%s%s\n", who, valueName,
           t->outputPolarity ? "|KRTPT_OUT_FLAG_INVERSE_POLARITY" : "");
    return requestValue(KRTPT_IOC_TRIGOUTPUT,
                        value | (t->outputPolarity ? KRTPT_OUT_FLAG_INVERSE_POLARITY : 0));
}

// Only a line that follows point mode shows the point source; a line held off, low or high
// is left alone by the sweep start.
bool followsPoints(const Trigger *t) {
    return t->outputLine == TRIGGER_LINE_TRIGGER && t->outputMode == TRIGGER_OUTPUT_POINT;
}

struct PointSource {
    const char *who;
    uint32_t value;
    const char *valueName;
};
const PointSource pointSources[] = {
    {"setTriggerOutputPointSourceTimer", KRTPT_OUT_POINT, "KRTPT_OUT_POINT"},
    {"setTriggerOutputPointSourceIoupdate", KRTPT_OUT_IOUPDATE, "KRTPT_OUT_IOUPDATE"},
};

// The pulse at I/O update runs only while the line shows the points of that source.
int setPointSource(Device *device, Trigger *t, uint32_t source) {
    bool ioupdate = source == TRIGGER_POINT_SOURCE_IOUPDATE, points = followsPoints(t);
    if (ioupdate && !DEVICE_ISREG(enableTriggerOutputPulseAtIoupdate)) return KR_E_EXECUTION_ERROR;
    if (ioupdate && points)
        Device_enableTriggerOutputPulseAtIoupdate(device, (int32_t)t->outputPolarity);
    else
        Device_disableTriggerOutputPulseAtIoupdate(device);
    t->pointSource = source;
    if (!points) return 0;
    const PointSource &p = pointSources[source];
    return sendOutput(p.who, t, p.value, p.valueName);
}

// After every line or mode change.
int updatePointSource(Device *device, Trigger *t) {
    return followsPoints(t) ? setPointSource(device, t, t->pointSource) : 0;
}

int setOutputMode(Device *device, Trigger *t, uint32_t mode) {
    if (!supported(MODE, mode, "set")) return KR_E_HARDWARE_MISSING;
    const Setting &s = settings[MODE];
    const Encoding &e = s.values[mode];
    if (e.fs != NONE) fsField(s.fsHigh, s.fsLow, e.fs);
    t->outputMode = mode;
    int r = 0;
    // Point mode shows its point source, which the update below sends.
    if (t->outputLine == TRIGGER_LINE_TRIGGER && mode != TRIGGER_OUTPUT_POINT && e.driver != NONE) {
        char who[48];
        snprintf(who, sizeof(who), "set%s%s", s.noun, e.name);
        r = sendOutput(who, t, e.driver, e.driverName);
    }
    return result(r, updatePointSource(device, t));
}

template <uint32_t Mode>
int isMode(Device *device) {
    if (!supported(MODE, Mode, "is")) return 0;
    return isValue<&Trigger::outputMode, Mode>(device);
}

// The current mode again when its flag asks for it.
int reapplyMode(Device *device, Trigger *t, uint8_t cause) {
    if (!(settings[MODE].values[t->outputMode].reapplied & cause)) return 0;
    return setOutputMode(device, t, t->outputMode);
}

int setOutputLine(Device *device, Trigger *t, uint32_t line) {
    t->outputLine = line;
    if (line == TRIGGER_LINE_TRIGGER) return reapplyMode(device, t, BY_LINE);
    int r = requestValue(KRTPT_IOC_TRIGOUTPUT, lineValues[line]);
    return result(r, updatePointSource(device, t));
}

int setPolarity(Device *device, Trigger *t, uint32_t inverted) {
    fsBit(FS_TRIGGER_OUTPUT_INVERTED, inverted);
    t->outputPolarity = inverted;
    return reapplyMode(device, t, BY_POLARITY);
}

int setOutputSource(Device *, Trigger *t, uint32_t source) {
    if (!variant().outputSource) {
        printd("setTriggerOutputValidSource() error: not supported by %s devices\n",
               variant().lacking);
        return KR_E_HARDWARE_MISSING;
    }
    t->outputSource = source;
    if (source != 0)
        fsField(FS_TRIGGER_OUTPUT_SOURCE_HIGH, FS_TRIGGER_OUTPUT_SOURCE_LOW, source - 1);
    fsBit(FS_TRIGGER_OUTPUT_SOURCE_ZERO, source == 0);
    return 0;
}

// The output source and its limits; a variant without it answers 0.
enum { CURRENT, MIN, MAX };
template <int Which>
uint32_t getOutputSource(Device *device) {
    static const char *const suffix[] = {"", "Min", "Max"};
    if (!variant().outputSource) {
        printd("getTriggerOutputValidSource%s() error: not supported by %s devices\n",
               suffix[Which], variant().lacking);
        return 0;
    }
    if (Which == MIN) return (uint32_t)Device_getSourceIndexMin(device);
    if (Which == MAX) return (uint32_t)Device_getSourceIndexMax(device);
    Trigger *t = record(device);
    return t ? t->outputSource : 0;
}

}  // namespace

void trigger_setDefaults(Device *device) {
    Trigger *t = record(device);
    if (!t) return;
    *t = Trigger{};
    t->initiateContinuous = 1;
    t->outputSource = 1;
    KrTime zero = 0;
    setDelay(device, &zero);
    setSource(device, t, TRIGGER_SOURCE_IMMEDIATE);
    setType(device, t, TRIGGER_TYPE_NORMAL);
    setSlope(device, t, TRIGGER_SLOPE_POSITIVE);
    if (variant().eventCount) setEventCount(device, t, 0);
    setInitiateContinuous(device, t, 1);
    setOutputLine(device, t, TRIGGER_LINE_OFF);
    setOutputMode(device, t, TRIGGER_OUTPUT_NORMAL);
    setPointSource(device, t, TRIGGER_POINT_SOURCE_TIMER);
    if (variant().outputSource) setOutputSource(device, t, 1);
}

int Trigger_init(Device *device) {
    printd("trigger_init(): HAS_ZYNQ %d\n", 0);
    int r = 0;
    bool haveRecord = DEVICE_ISREG(getTriggerPtr) && Device_getTriggerPtr(device);
    if (!haveRecord) {
        printd("trigger_init(): Error: Device_getTriggerPtr not registered or returning NULL!\n");
        r = KR_E_UNDEFINED_HEADER;
    }
    if (krspi_getFd() < 0) {
        printd("trigger_init(): Error: krtpt (timer/pulm/trigger driver) is not loaded!\n");
        r = KR_E_UNDEFINED_HEADER;
    }
    if (haveRecord) trigger_setDefaults(device);
    if (DEVICE_ISREG(isTriggerSourceImmediate)) {
        printd("trigger_init(): Error: Device_isTriggerSourceImmediate is registered!\n");
        return KR_E_UNDEFINED_HEADER;
    }
    if (r == 0) trigger_registerDeviceFunctions();
    return r;
}

void trigger_registerDeviceFunctions() {
    Device_initImmediate = trigger_initImmediate;
    Device_triggerImmediate = trigger_triggerImmediate;
    Device_triggerKey = trigger_triggerKey;
    Device_abort = trigger_abort;
    Device_isInitiateContinuousEnabled = isInitiateContinuousEnabled;
    Device_enableInitiateContinuous = bound<setInitiateContinuous, 1>;
    Device_disableInitiateContinuous = bound<setInitiateContinuous, 0>;

    Device_isTriggerSourceImmediate = isValue<&Trigger::source, TRIGGER_SOURCE_IMMEDIATE>;
    Device_setTriggerSourceImmediate = bound<setSource, TRIGGER_SOURCE_IMMEDIATE>;
    Device_isTriggerSourceKey = isValue<&Trigger::source, TRIGGER_SOURCE_KEY>;
    Device_setTriggerSourceKey = bound<setSource, TRIGGER_SOURCE_KEY>;
    Device_isTriggerSourceExternal = isValue<&Trigger::source, TRIGGER_SOURCE_EXTERNAL>;
    Device_setTriggerSourceExternal = bound<setSource, TRIGGER_SOURCE_EXTERNAL>;
    Device_isTriggerSourceBus = isValue<&Trigger::source, TRIGGER_SOURCE_BUS>;
    Device_setTriggerSourceBus = bound<setSource, TRIGGER_SOURCE_BUS>;

    Device_isTriggerTypeNormal = isValue<&Trigger::type, TRIGGER_TYPE_NORMAL>;
    Device_setTriggerTypeNormal = bound<setType, TRIGGER_TYPE_NORMAL>;
    Device_isTriggerTypeGate = isValue<&Trigger::type, TRIGGER_TYPE_GATE>;
    Device_setTriggerTypeGate = bound<setType, TRIGGER_TYPE_GATE>;
    Device_isTriggerTypePoint = isValue<&Trigger::type, TRIGGER_TYPE_POINT>;
    Device_setTriggerTypePoint = bound<setType, TRIGGER_TYPE_POINT>;

    Device_getTriggerDelay = getDelay;
    Device_getTriggerDelayMin = getDelayMin;
    Device_getTriggerDelayMax = getDelayMax;
    Device_setTriggerDelay = setDelay;
    if (variant().eventCount) {
        Device_getTriggerEventCount = getEventCount;
        Device_setTriggerEventCount = withRecord<setEventCount>;
    }

    Device_isTriggerSlopePositive = isValue<&Trigger::slope, TRIGGER_SLOPE_POSITIVE>;
    Device_setTriggerSlopePositive = bound<setSlope, TRIGGER_SLOPE_POSITIVE>;
    Device_isTriggerSlopeNegative = isValue<&Trigger::slope, TRIGGER_SLOPE_NEGATIVE>;
    Device_setTriggerSlopeNegative = bound<setSlope, TRIGGER_SLOPE_NEGATIVE>;
    Device_isTriggerSlopePositiveNegative =
        isValue<&Trigger::slope, TRIGGER_SLOPE_POSITIVE_NEGATIVE>;
    Device_setTriggerSlopePositiveNegative = bound<setSlope, TRIGGER_SLOPE_POSITIVE_NEGATIVE>;
    Device_isTriggerSlopeNegativePositive =
        isValue<&Trigger::slope, TRIGGER_SLOPE_NEGATIVE_POSITIVE>;
    Device_setTriggerSlopeNegativePositive = bound<setSlope, TRIGGER_SLOPE_NEGATIVE_POSITIVE>;

    Device_setTriggerOutputLineOff = bound<setOutputLine, TRIGGER_LINE_OFF>;
    Device_setTriggerOutputLineLow = bound<setOutputLine, TRIGGER_LINE_LOW>;
    Device_setTriggerOutputLineHigh = bound<setOutputLine, TRIGGER_LINE_HIGH>;
    Device_setTriggerOutputLineTrigger = bound<setOutputLine, TRIGGER_LINE_TRIGGER>;
    Device_isTriggerOutputModeNormal = isMode<TRIGGER_OUTPUT_NORMAL>;
    Device_setTriggerOutputModeNormal = bound<setOutputMode, TRIGGER_OUTPUT_NORMAL>;
    Device_isTriggerOutputModePoint = isMode<TRIGGER_OUTPUT_POINT>;
    Device_setTriggerOutputModePoint = bound<setOutputMode, TRIGGER_OUTPUT_POINT>;
    Device_isTriggerOutputModeGate = isMode<TRIGGER_OUTPUT_GATE>;
    Device_setTriggerOutputModeGate = bound<setOutputMode, TRIGGER_OUTPUT_GATE>;
    Device_isTriggerOutputModeValid = isMode<TRIGGER_OUTPUT_VALID>;
    Device_setTriggerOutputModeValid = bound<setOutputMode, TRIGGER_OUTPUT_VALID>;
    Device_isTriggerOutputModeSysref = isMode<TRIGGER_OUTPUT_SYSREF>;
    Device_setTriggerOutputModeSysref = bound<setOutputMode, TRIGGER_OUTPUT_SYSREF>;
    Device_isTriggerOutputPolarityNormal = isValue<&Trigger::outputPolarity, 0>;
    Device_setTriggerOutputPolarityNormal = bound<setPolarity, 0>;
    Device_isTriggerOutputPolarityInverted = isValue<&Trigger::outputPolarity, 1>;
    Device_setTriggerOutputPolarityInverted = bound<setPolarity, 1>;
    Device_getTriggerOutputSource = getOutputSource<CURRENT>;
    Device_getTriggerOutputSourceMin = getOutputSource<MIN>;
    Device_getTriggerOutputSourceMax = getOutputSource<MAX>;
    Device_setTriggerOutputSource = withRecord<setOutputSource>;
    Device_setTriggerOutputPointSourceTimer = bound<setPointSource, TRIGGER_POINT_SOURCE_TIMER>;
    Device_setTriggerOutputPointSourceIoupdate =
        bound<setPointSource, TRIGGER_POINT_SOURCE_IOUPDATE>;
}

int Trigger_requestPulseAtIoupdate(int on, int inverted) {
    if (!variant().pulseRequest) return 0;
    return requestValue(KRTPT_IOC_PULSE_AT_IOUPDATE,
                        on ? (inverted ? PULSE_ON_INVERTED : PULSE_ON) : PULSE_OFF);
}
