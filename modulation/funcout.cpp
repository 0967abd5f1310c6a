// Function output: the device operations over the board's record (or, without the control
// board's generator, the system's), forwarded to the control board.
#include "modulation/funcout.h"

#include "core/printd.h"
#include "device/device.h"
#include "modulation/krcont.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// The selection record, and the board record when there is one.
Funcout *selection(Device *device, FuncoutBoard **board) {
    *board = DEVICE_ISREG(getFuncoutBoardPtr) ? Device_getFuncoutBoardPtr(device, 0) : nullptr;
    if (*board) return &(*board)->funcout;
    FuncoutSystem *s =
        DEVICE_ISREG(getFuncoutSystemPtr) ? Device_getFuncoutSystemPtr(device, 0) : nullptr;
    return s ? &s->funcout : nullptr;
}

FuncoutBoard *boardRecord(Device *device) {
    FuncoutBoard *b = nullptr;
    selection(device, &b);
    return b;
}

// Per source: the trigger-output line it needs and the board's setter.
struct SourceOps {
    int (**line)(Device *);
    int (*board)(FuncoutBoard *);
};
const SourceOps sources[] = {
    {&Device_setTriggerOutputLineOff, KRCONT_setFuncoutSourcePulm},
    {&Device_setTriggerOutputLineOff, KRCONT_setFuncoutSourceLfg},
    {&Device_setTriggerOutputLineTrigger, KRCONT_setFuncoutSourceTrigger},
    {&Device_setTriggerOutputLineLow, KRCONT_setFuncoutSourceLow},
    {&Device_setTriggerOutputLineHigh, KRCONT_setFuncoutSourceHigh},
    {&Device_setTriggerOutputLineOff, KRCONT_setFuncoutSourceDac},
};

int setLine(Device *device, int (*const *line)(Device *)) {
    return Device_isSlotAddressRegistered(line) == 1 ? (*line)(device) : 0;
}

int setSource(Device *device, uint32_t source) {
    FuncoutBoard *b = nullptr;
    Funcout *f = selection(device, &b);
    if (!f) return KR_E_HARDWARE_MISSING;
    // Refused before the line moves, so that a refusal leaves the connector as it was.
    if ((source == FUNCOUT_SOURCE_LFG || source == FUNCOUT_SOURCE_DAC) && !b)
        return KR_E_HARDWARE_MISSING;
    if (source == FUNCOUT_SOURCE_DAC && !KRCONT_hasFuncoutDac()) {
        printd("setFuncoutSourceDac(): Error: the control board has no user DAC output\n");
        return KR_E_HARDWARE_MISSING;
    }
    int r = setLine(device, sources[source].line);
    int a = 0;
    if (b)
        a = sources[source].board(b);
    else
        f->source = source;
    return r ? r : a;
}

template <uint32_t Source>
int setSourceOf(Device *device) {
    return setSource(device, Source);
}

template <uint32_t Source>
int isSource(Device *device) {
    FuncoutBoard *b = nullptr;
    Funcout *f = selection(device, &b);
    return f && f->source == Source ? 1 : 0;
}

int apply(FuncoutBoard *b) {
    return b ? KRCONT_applyFuncoutConfiguration(b) : 0;
}

int enableFuncout(Device *device) {
    FuncoutBoard *b = nullptr;
    Funcout *f = selection(device, &b);
    if (!f) return KR_E_HARDWARE_MISSING;
    int r = 0;
    // Re-asserts the line that the disable switched off.
    if (f->source == FUNCOUT_SOURCE_TRIGGER || f->source == FUNCOUT_SOURCE_LOW ||
        f->source == FUNCOUT_SOURCE_HIGH)
        r = setSource(device, f->source);
    f->enabled = 1;
    int a = apply(b);
    return r ? r : a;
}

int disableFuncout(Device *device) {
    FuncoutBoard *b = nullptr;
    Funcout *f = selection(device, &b);
    if (!f) return KR_E_HARDWARE_MISSING;
    int r = setLine(device, &Device_setTriggerOutputLineOff);
    f->enabled = 0;
    int a = apply(b);
    return r ? r : a;
}

int isFuncoutEnabled(Device *device) {
    FuncoutBoard *b = nullptr;
    Funcout *f = selection(device, &b);
    return f && f->enabled ? 1 : 0;
}

int setFuncoutDac(Device *device, uint32_t value) {
    FuncoutBoard *b = boardRecord(device);
    return b ? KRCONT_setFuncoutDac(b, value) : KR_E_HARDWARE_MISSING;
}

int enablePulseAtIoupdate(Device *device, int32_t inverted) {
    FuncoutBoard *b = nullptr;
    // The pulse is the trigger output's; it needs no function-output record.
    if (Funcout *f = selection(device, &b)) f->pulseAtIoupdate = 1;
    return KRCONT_enableTriggerOutputPulseAtIoupdate(inverted);
}

int disablePulseAtIoupdate(Device *device) {
    FuncoutBoard *b = nullptr;
    if (Funcout *f = selection(device, &b)) f->pulseAtIoupdate = 0;
    return KRCONT_disableTriggerOutputPulseAtIoupdate();
}

int isPulseAtIoupdateEnabled(Device *device) {
    FuncoutBoard *b = nullptr;
    Funcout *f = selection(device, &b);
    return f && f->pulseAtIoupdate ? 1 : 0;
}

// ---- LF generator (registered only with the board record) ---------------------------------

const KrFreq zeroFrequency = {0, 0};

int setLfgFrequency(Device *device, const KrFreq *f) {
    FuncoutBoard *b = boardRecord(device);
    if (!b) return KR_E_HARDWARE_MISSING;
    if (krfreqCompare(f, &b->funcout.lfgFrequencyMin) < 0 ||
        krfreqCompare(f, &b->funcout.lfgFrequencyMax) > 0)
        return KR_E_DATA_OUT_OF_RANGE;
    return KRCONT_LFG_setFrequency(b, f);
}

enum { CURRENT, MIN, MAX };
template <int Which>
const KrFreq *getLfgFrequency(Device *device) {
    FuncoutBoard *b = boardRecord(device);
    if (!b) return &zeroFrequency;
    if (Which == MIN) return &b->funcout.lfgFrequencyMin;
    if (Which == MAX) return &b->funcout.lfgFrequencyMax;
    return &b->lfgFrequency;
}

int setLfgAmplitude(Device *device, double volts) {
    FuncoutBoard *b = boardRecord(device);
    return b ? KRCONT_LFG_setVoltage(b, volts) : KR_E_HARDWARE_MISSING;
}

double getLfgAmplitude(Device *device) {
    FuncoutBoard *b = boardRecord(device);
    return b ? KRCONT_LFG_getVoltage(b) : 0.0;
}

template <uint32_t Shape>
int setLfgShape(Device *device) {
    FuncoutBoard *b = boardRecord(device);
    return b ? KRCONT_LFG_setShape(b, Shape) : KR_E_HARDWARE_MISSING;
}

template <uint32_t Shape>
int isLfgShape(Device *device) {
    FuncoutBoard *b = boardRecord(device);
    return b && b->lfgShape == Shape ? 1 : 0;
}

}  // namespace

void Funcout_setDefaults(Funcout *f) {
    f->lfgFrequencyMin = krfreqHz(LFG_FREQUENCY_MIN_HZ);
    f->lfgFrequencyMax = krfreqHz(LFG_FREQUENCY_MAX_HZ);
}

int Funcout_init(Device *device) {
    if (!DEVICE_ISREG(getFuncoutBoardPtr) && !DEVICE_ISREG(getFuncoutSystemPtr))
        Device_getFuncoutBoardPtr = [](Device *, int32_t) { return KRCONT_getFuncoutBoard(); };
    FuncoutBoard *b = nullptr;
    Funcout *f = selection(device, &b);
    if (!f) {
        printd(
            "Funcout_init(): Error: both Device_getFuncoutBoardPtr and "
            "Device_getFuncoutSystemPtr not registered!\n");
        printd("Funcout_init(): Error: access to one FUNC OUT provider is required\n");
        return KR_E_HARDWARE_MISSING;
    }
    *f = Funcout{};
    Funcout_setDefaults(f);
    int r = 0;
    if (b) {
        r = KRCONT_initFuncoutBoard(b);
        f->source = FUNCOUT_SOURCE_LFG;
        r = r ? r : KRCONT_applyFuncoutConfiguration(b);  // output off, generator unpowered
    } else {
        f->source = FUNCOUT_SOURCE_TRIGGER;
    }
    Funcout_registerDeviceFunctions();
    return r;
}

void Funcout_registerDeviceFunctions() {
    Device_setFuncoutSourcePulm = setSourceOf<FUNCOUT_SOURCE_PULM>;
    Device_isFuncoutSourcePulm = isSource<FUNCOUT_SOURCE_PULM>;
    Device_setFuncoutSourceTrigger = setSourceOf<FUNCOUT_SOURCE_TRIGGER>;
    Device_isFuncoutSourceTrigger = isSource<FUNCOUT_SOURCE_TRIGGER>;
    Device_setFuncoutSourceLow = setSourceOf<FUNCOUT_SOURCE_LOW>;
    Device_isFuncoutSourceLow = isSource<FUNCOUT_SOURCE_LOW>;
    Device_setFuncoutSourceHigh = setSourceOf<FUNCOUT_SOURCE_HIGH>;
    Device_isFuncoutSourceHigh = isSource<FUNCOUT_SOURCE_HIGH>;
    Device_setFuncoutSourceDac = setSourceOf<FUNCOUT_SOURCE_DAC>;
    Device_isFuncoutSourceDac = isSource<FUNCOUT_SOURCE_DAC>;
    Device_enableFuncout = enableFuncout;
    Device_disableFuncout = disableFuncout;
    Device_isFuncoutEnabled = isFuncoutEnabled;
    Device_setFuncoutDac = setFuncoutDac;
    Device_enableTriggerOutputPulseAtIoupdate = enablePulseAtIoupdate;
    Device_disableTriggerOutputPulseAtIoupdate = disablePulseAtIoupdate;
    Device_isTriggerOutputPulseAtIoupdateEnabled = isPulseAtIoupdateEnabled;
    if (!DEVICE_ISREG(getFuncoutBoardPtr)) return;
    Device_setFuncoutSourceLfg = setSourceOf<FUNCOUT_SOURCE_LFG>;
    Device_isFuncoutSourceLfg = isSource<FUNCOUT_SOURCE_LFG>;
    Device_setLfgFrequency = setLfgFrequency;
    Device_getLfgFrequency = getLfgFrequency<CURRENT>;
    Device_getLfgFrequencyMin = getLfgFrequency<MIN>;
    Device_getLfgFrequencyMax = getLfgFrequency<MAX>;
    Device_setLfgAmplitude = setLfgAmplitude;
    Device_getLfgAmplitude = getLfgAmplitude;
    Device_setLfgShapeSine = setLfgShape<LFG_SHAPE_SINE>;
    Device_setLfgShapeTriangle = setLfgShape<LFG_SHAPE_TRIANGLE>;
    Device_setLfgShapeSquare = setLfgShape<LFG_SHAPE_SQUARE>;
    Device_isLfgShapeSine = isLfgShape<LFG_SHAPE_SINE>;
    Device_isLfgShapeTriangle = isLfgShape<LFG_SHAPE_TRIANGLE>;
    Device_isLfgShapeSquare = isLfgShape<LFG_SHAPE_SQUARE>;
}
