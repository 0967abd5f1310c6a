// Sweep records and the fixed-value path.
#include "sweep/sweep.h"

#include <cmath>
#include <cstring>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device.h"
#include "hw/fs_fpga_if.h"
#include "hw/krgio.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/sweep_config.h"
#include "sweep/sweep_list.h"
#include "sweep/sweep_rt.h"

namespace {

// A mode request waits somewhere: the executor looks at the sources only then.
bool executionPending = false;

Sweep *current(Device *device) {
    return Device_getSweepPtr(device);
}

SweepSource *currentSource(Device *device) {
    return Device_getSweepSourcePtr(device, Device_getSource(device));
}

bool allFixed(const Sweep *s) {
    return s->frequencyMode == SWEEP_MODE_FIX && s->powerMode == SWEEP_MODE_FIX &&
           s->phaseMode == SWEEP_MODE_FIX;
}

// Mode queries answer with the requested mode while a change waits for the executor.
uint32_t shownMode(const Sweep *s, uint32_t active, uint32_t requested) {
    return s->modeChangePending ? requested : active;
}

int sweep_setFrequencyFixed(Device *device, const KrFreq *f) {
    Sweep *s = current(device);
    SweepSource *src = currentSource(device);
    if (!s || !src) return KR_E_UNDEFINED_HEADER;
    src->frequency = *f;
    if (!allFixed(s)) return 0;
    if (s->cwTriggerEnabled) krgio_setTransientAction(krgio_awaitTrigger);
    return setCurrentFrequency(device, f);
}

const KrFreq *sweep_getFrequencyFixed(Device *device) {
    SweepSource *src = currentSource(device);
    if (!src) return &globalKrFreq;
    return &src->frequency;
}

int sweep_setPowerFixed(Device *device, const KrPow *p) {
    Sweep *s = current(device);
    SweepSource *src = currentSource(device);
    if (!s || !src) return KR_E_UNDEFINED_HEADER;
    src->power = *p;
    if (s->powerMode != SWEEP_MODE_FIX) return 0;
    return Device_setPower(device, p);
}

const KrPow *sweep_getPowerFixed(Device *device) {
    SweepSource *src = currentSource(device);
    if (!src) return &globalKrPow;
    return &src->power;
}

int sweep_setPhaseFixed(Device *device, const KrAngle *a) {
    Sweep *s = current(device);
    SweepSource *src = currentSource(device);
    if (!s || !src) return KR_E_UNDEFINED_HEADER;
    src->phase = *a;
    if (s->phaseMode != SWEEP_MODE_FIX) return 0;
    return Device_setPhase(device, a);
}

const KrAngle *sweep_getPhaseFixed(Device *device) {
    SweepSource *src = currentSource(device);
    if (!src) return &globalKrAngle;
    return &src->phase;
}

// FIX requests wait for the executor (end of the program message).
int requestFixed(Device *device, uint32_t Sweep::*requested) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->*requested = SWEEP_MODE_FIX;
    s->modeChangePending = 1;
    executionPending = true;
    return 0;
}

int sweep_setFrequencyModeFixed(Device *device) {
    return requestFixed(device, &Sweep::requestedFrequencyMode);
}
int sweep_setPowerModeFixed(Device *device) {
    return requestFixed(device, &Sweep::requestedPowerMode);
}
int sweep_setPhaseModeFixed(Device *device) {
    return requestFixed(device, &Sweep::requestedPhaseMode);
}

// Only one quantity sweeps at a time.
bool othersFixed(const Sweep *s, uint32_t Sweep::*own) {
    return (own == &Sweep::frequencyMode || s->frequencyMode == SWEEP_MODE_FIX) &&
           (own == &Sweep::powerMode || s->powerMode == SWEEP_MODE_FIX) &&
           (own == &Sweep::phaseMode || s->phaseMode == SWEEP_MODE_FIX);
}

// The quantity sweeps at once; the others must be fixed.
template <uint32_t Sweep::*Active, uint32_t Sweep::*Requested>
int requestSweep(Device *device) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    if (!othersFixed(s, Active)) return KR_E_SETTINGS_CONFLICT;
    uint32_t active = s->*Active, requested = s->*Requested;
    uint8_t pending = s->modeChangePending;
    s->*Active = SWEEP_MODE_SWEEP;
    s->*Requested = SWEEP_MODE_SWEEP;
    s->modeChangePending = 0;
    s->presetMeasured = 0;
    calculateFrequencyCenterSpanStep(s);
    calculatePowerPhaseSpanStep(s);
    int r = Sweep_start(s);
    if (r != 0) {
        // Not playing: the modes say what the output does.
        s->*Active = active;
        s->*Requested = requested;
        s->modeChangePending = pending;
    }
    return r;
}

// A LIST request waits for the executor (end of the program message).
template <uint32_t Sweep::*Requested>
int requestList(Device *device) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->*Requested = SWEEP_MODE_LIST;
    s->modeChangePending = 1;
    executionPending = true;
    return 0;
}

const char *modeName(uint32_t mode) {
    return mode == SWEEP_MODE_LIST ? "LIST" : mode == SWEEP_MODE_SWEEP ? "SWEEP" : "FIX";
}

// The requested modes name lists: the columns are checked, the list prepared and played.
int startList(Device *device, Sweep *s) {
    printd("sweep_executeChannel(): new mode FREQ %s, POW %s, PHAS %s\n",
           modeName(s->requestedFrequencyMode), modeName(s->requestedPowerMode),
           modeName(s->requestedPhaseMode));
    SweepList *l = sweep_getActiveSweepList(device);
    uint32_t q = sweep_listQuantities(s->requestedFrequencyMode, s->requestedPowerMode,
                                      s->requestedPhaseMode);
    int r = l ? sweep_checkList(l, q) : KR_E_UNDEFINED_HEADER;
    if (r != 0) {
        s->requestedFrequencyMode = s->frequencyMode;
        s->requestedPowerMode = s->powerMode;
        s->requestedPhaseMode = s->phaseMode;
        return r;
    }
    Sweep_stop(s, 0);
    s->frequencyMode = s->requestedFrequencyMode;
    s->powerMode = s->requestedPowerMode;
    s->phaseMode = s->requestedPhaseMode;
    s->presetMeasured = 0;
    sweep_prepareList(l, q);
    r = Sweep_start(s);
    if (r != 0) {
        // Not playing: back to the fixed values.
        s->frequencyMode = s->powerMode = s->phaseMode = SWEEP_MODE_FIX;
        s->requestedFrequencyMode = s->requestedPowerMode = s->requestedPhaseMode = SWEEP_MODE_FIX;
    }
    return r;
}

// What a requested mode may be next to a list: fixed or a list itself.
bool fixOrList(uint32_t mode) {
    return mode == SWEEP_MODE_FIX || mode == SWEEP_MODE_LIST;
}

int sweep_setFrequencyModeChirp(Device *device) {
    Sweep *s = current(device);
    if (!s || !DEVICE_ISREG(chirp_start)) return KR_E_UNDEFINED_HEADER;
    if (s->powerMode != SWEEP_MODE_FIX) return KR_E_SETTINGS_CONFLICT;
    int r = Device_chirp_start(device);
    if (r < 0) return r;
    s->frequencyMode = SWEEP_MODE_CHIRP;
    s->requestedFrequencyMode = SWEEP_MODE_CHIRP;
    return 0;
}

template <uint32_t Sweep::*Active, uint32_t Sweep::*Requested, uint32_t Mode>
int isMode(Device *device) {
    const Sweep *s = current(device);
    if (!s) return 0;
    return shownMode(s, s->*Active, s->*Requested) == Mode ? 1 : 0;
}

int sweep_enableCwTrigger(Device *device) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->cwTriggerEnabled = 1;
    return 0;
}
int sweep_disableCwTrigger(Device *device) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->cwTriggerEnabled = 0;
    return 0;
}
int sweep_isCwTriggerEnabled(Device *device) {
    const Sweep *s = current(device);
    return s && s->cwTriggerEnabled ? 1 : 0;
}

// One source: pending FIX requests take effect and re-apply the fixed values.
int sweep_executeChannel(Device *device) {
    Sweep *s = current(device);
    if (!s || !s->modeChangePending) return 0;
    s->modeChangePending = 0;
    SweepSource *src = currentSource(device);
    bool changed = false;
    if (s->requestedFrequencyMode == SWEEP_MODE_FIX && s->frequencyMode != SWEEP_MODE_FIX) {
        s->frequencyMode = SWEEP_MODE_FIX;
        changed = true;
        Sweep_stop(s, 1);
        if (src) setCurrentFrequency(device, &src->frequency);
    }
    if (s->requestedPowerMode == SWEEP_MODE_FIX && s->powerMode != SWEEP_MODE_FIX) {
        s->powerMode = SWEEP_MODE_FIX;
        changed = true;
        Sweep_stop(s, 1);
        if (src) Device_setPower(device, &src->power);
    }
    if (s->requestedPhaseMode == SWEEP_MODE_FIX && s->phaseMode != SWEEP_MODE_FIX) {
        s->phaseMode = SWEEP_MODE_FIX;
        changed = true;
        Sweep_stop(s, 1);
        if (src) Device_setPhase(device, &src->phase);
    }
    if (changed && device_config_usesOptionFs()) FS_FPGA_IF_awaitIdle();
    if (s->requestedFrequencyMode == SWEEP_MODE_FIX && s->requestedPowerMode == SWEEP_MODE_FIX &&
        s->requestedPhaseMode == SWEEP_MODE_FIX) {
        printd("sweep_executeChannel(): new mode FREQ FIX, POW FIX, PHAS FIX\n");
        return 0;
    }
    if (fixOrList(s->requestedFrequencyMode) && fixOrList(s->requestedPowerMode) &&
        fixOrList(s->requestedPhaseMode))
        return startList(device, s);
    s->requestedFrequencyMode = s->frequencyMode;
    s->requestedPowerMode = s->powerMode;
    s->requestedPhaseMode = s->phaseMode;
    return KR_E_SETTINGS_CONFLICT;
}

}  // namespace

int Sweep_inModeSweep(const Sweep *s) {
    return s->frequencyMode == SWEEP_MODE_SWEEP || s->powerMode == SWEEP_MODE_SWEEP;
}
int Sweep_inModeList(const Sweep *s) {
    return s->frequencyMode == SWEEP_MODE_LIST || s->powerMode == SWEEP_MODE_LIST ||
           s->phaseMode == SWEEP_MODE_LIST;
}
int Sweep_inModeChirp(const Sweep *s) {
    return s->frequencyMode == SWEEP_MODE_CHIRP;
}
int Sweep_inModeFixed(const Sweep *s) {
    return !Sweep_inModeSweep(s) && !Sweep_inModeList(s) && !Sweep_inModeChirp(s) &&
           s->phaseMode != SWEEP_MODE_SWEEP;
}
int Sweep_isActive(const Sweep *s) {
    return s->frequencyMode == SWEEP_MODE_SWEEP || s->frequencyMode == SWEEP_MODE_LIST ||
           s->powerMode == SWEEP_MODE_SWEEP || s->powerMode == SWEEP_MODE_LIST;
}

int setCurrentFrequency(Device *device, const KrFreq *f) {
    if (!(DEVICE_ISREG(isSourceCouplingEnabled) && Device_isSourceCouplingEnabled(device)))
        return Device_setFrequency(device, f);
    int before = Device_getSource(device);
    int result = 0;
    Device_enumerateSources(device);
    while (Device_nextSource(device)) {
        int source = Device_getSource(device);
        KrFreq value = *f;
        if (source != 0) krfreqAdd(&value, f, Device_getSourceCouplingOffsetFrequency(device));
        Sweep *s = current(device);
        if (s && s->frequencyMode == SWEEP_MODE_FIX) {
            SweepSource *src = currentSource(device);
            if (src) src->frequency = value;
        }
        int r = Device_setFrequency(device, &value);
        if (r < 0 && result == 0) result = r;
    }
    Device_setSource(device, before);
    return result;
}

int sweep_execute(Device *device) {
    if (!executionPending) return 0;
    executionPending = false;
    if (Device_getSourceIndexMax(device) <= 1) return sweep_executeChannel(device);
    int before = Device_getSource(device);
    int result = 0;
    int count = Device_getSourceIndexMax(device);
    for (int i = 0; i < count; i++) {
        if (Device_setSource(device, i) < 0) continue;
        int r = sweep_executeChannel(device);
        if (r < 0 && result == 0) result = r;
    }
    Device_setSource(device, before);
    return result;
}

int Sweep_init(Device *device, uint32_t channel) {
    int result = 0;
#define SWEEP_NEEDS(slot)                                                  \
    if (!DEVICE_ISREG(slot)) {                                             \
        printd("Sweep_init(): Error: Device_" #slot " not registered!\n"); \
        result = KR_E_UNDEFINED_HEADER;                                    \
    }
    SWEEP_NEEDS(getSweepPtr)
    SWEEP_NEEDS(getSweepSourcePtr)
    SWEEP_NEEDS(setFrequency)
    SWEEP_NEEDS(setPower)
    SWEEP_NEEDS(sweepDefinePreset)
    SWEEP_NEEDS(sweepApplyPreset)
    SWEEP_NEEDS(getAlcControlValue)
    SWEEP_NEEDS(setAlcControlValue)
    SWEEP_NEEDS(isAlcEnabled)
    SWEEP_NEEDS(isAlcHoldEnabled)
    SWEEP_NEEDS(enableAlcHoldSampleMode)
    SWEEP_NEEDS(disableAlcHoldSampleMode)
#undef SWEEP_NEEDS
    Sweep *s = Device_getSweepPtr(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    memset(s, 0, sizeof(*s));
    s->frequencyStart = krfreqHz(1000000000ull);
    s->frequencyStop = krfreqHz(2000000000ull);
    s->powerStart = -20.0f;
    s->powerStop = 10.0f;
    s->phaseStart = 0;
    s->phaseStop = 2 * M_PI;
    s->points = 2;
    s->dwell = (device_config_isOrbxXXG() || device_config_usesOptionFs()) ? 50e-6 : 0.4e-3;
    s->blankingEnabled = 1;
    s->channel = channel;
    s->statusRegisters = Device_getStatusRegisters(device);
    s->fsChannel = (uint32_t)Device_getFsChannel(device);
    calculateFrequencyCenterSpanStep(s);
    calculatePowerPhaseSpanStep(s);
    if (channel == 0) {
        sweep_configureLimits();
        Sweep_registerDeviceFunctions();
        sweep_rt_setDevice(device);
        // A playing list whose mode (automatic, manual) changes plays again.
        sweep_setListRestart([](Device *d) { return Sweep_start(Device_getSweepPtr(d)); });
        if (sweep_rt_init() != 0)
            printd("Sweep_init(): Failed to initialise realtime sweep driver\n");
    }
    return result;
}

int Sweep_initFixedValues(Device *device) {
    SweepSource *src = currentSource(device);
    if (!src) return KR_E_UNDEFINED_HEADER;
    src->frequency = *Device_getFrequency(device);
    src->power = *Device_getPower(device);
    src->phase = *Device_getPhase(device);
    return 0;
}

void Sweep_registerDeviceFunctions() {
    Device_setFrequencyFixed = sweep_setFrequencyFixed;
    Device_getFrequencyFixed = sweep_getFrequencyFixed;
    Device_setPowerFixed = sweep_setPowerFixed;
    Device_getPowerFixed = sweep_getPowerFixed;
    Device_setPhaseFixed = sweep_setPhaseFixed;
    Device_getPhaseFixed = sweep_getPhaseFixed;
    Device_setFrequencyModeFixed = sweep_setFrequencyModeFixed;
    Device_setPowerModeFixed = sweep_setPowerModeFixed;
    Device_setPhaseModeFixed = sweep_setPhaseModeFixed;
    Device_setFrequencyModeSweep =
        requestSweep<&Sweep::frequencyMode, &Sweep::requestedFrequencyMode>;
    Device_setPowerModeSweep = requestSweep<&Sweep::powerMode, &Sweep::requestedPowerMode>;
    Device_setPhaseModeSweep = requestSweep<&Sweep::phaseMode, &Sweep::requestedPhaseMode>;
    Device_setFrequencyModeList = requestList<&Sweep::requestedFrequencyMode>;
    Device_setPowerModeList = requestList<&Sweep::requestedPowerMode>;
    Device_setPhaseModeList = requestList<&Sweep::requestedPhaseMode>;
    Device_setFrequencyModeChirp = sweep_setFrequencyModeChirp;
    Device_isFrequencyModeFixed =
        isMode<&Sweep::frequencyMode, &Sweep::requestedFrequencyMode, SWEEP_MODE_FIX>;
    Device_isFrequencyModeSweep =
        isMode<&Sweep::frequencyMode, &Sweep::requestedFrequencyMode, SWEEP_MODE_SWEEP>;
    Device_isFrequencyModeList =
        isMode<&Sweep::frequencyMode, &Sweep::requestedFrequencyMode, SWEEP_MODE_LIST>;
    Device_isFrequencyModeChirp =
        isMode<&Sweep::frequencyMode, &Sweep::requestedFrequencyMode, SWEEP_MODE_CHIRP>;
    Device_isPowerModeFixed = isMode<&Sweep::powerMode, &Sweep::requestedPowerMode, SWEEP_MODE_FIX>;
    Device_isPowerModeSweep =
        isMode<&Sweep::powerMode, &Sweep::requestedPowerMode, SWEEP_MODE_SWEEP>;
    Device_isPowerModeList = isMode<&Sweep::powerMode, &Sweep::requestedPowerMode, SWEEP_MODE_LIST>;
    Device_isPhaseModeFixed = isMode<&Sweep::phaseMode, &Sweep::requestedPhaseMode, SWEEP_MODE_FIX>;
    Device_isPhaseModeSweep =
        isMode<&Sweep::phaseMode, &Sweep::requestedPhaseMode, SWEEP_MODE_SWEEP>;
    Device_isPhaseModeList = isMode<&Sweep::phaseMode, &Sweep::requestedPhaseMode, SWEEP_MODE_LIST>;
    Device_enableCwTrigger = sweep_enableCwTrigger;
    Device_disableCwTrigger = sweep_disableCwTrigger;
    Device_isCwTriggerEnabled = sweep_isCwTriggerEnabled;
    Device_execute = sweep_execute;
    sweep_config_registerDeviceFunctions();
}
