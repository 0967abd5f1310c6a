#include "modulation/multi_pulse.h"

#include <cstdio>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device.h"
#include "frontpanel/krhcupdate.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_if.h"
#include "modulation/krcont_pulsemod.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_status.h"

namespace {

// Condition bits of the questionable pulse-modulation register.
constexpr uint16_t TRAIN_PERIOD_ADJUSTED = 1u << 0;
constexpr uint16_t TRAIN_SPACING_ADJUSTED = 1u << 1;
constexpr uint16_t TRAIN_WIDTH_ADJUSTED = 1u << 2;
constexpr uint16_t TRAIN_BITS =
    TRAIN_PERIOD_ADJUSTED | TRAIN_SPACING_ADJUSTED | TRAIN_WIDTH_ADJUSTED;
constexpr int ENTRIES = PULM_TRAIN_PULSES + 1;

bool fs() {
    return device_config_usesOptionFs() != 0;
}

double minWidth() {
    return DEVICE_ISREG(getPulmInternalPulseWidthMin)
               ? *Device_getPulmInternalPulseWidthMin(nullptr)
               : 1e-8;
}

// Each bit with its panel line.
struct StatusLine {
    uint16_t bit;
    int (*set)();
    int (*clear)();
};
const StatusLine statusLines[] = {
    {TRAIN_PERIOD_ADJUSTED, hcupdate_setQuesPulmPeriod, hcupdate_clearQuesPulmPeriod},
    {TRAIN_SPACING_ADJUSTED, hcupdate_setQuesPulmSpacing, hcupdate_clearQuesPulmSpacing},
    {TRAIN_WIDTH_ADJUSTED, hcupdate_setQuesPulmWidth, hcupdate_clearQuesPulmWidth},
};

void setStatus(PulseMod *pm, uint16_t bits) {
    uint16_t changed = (uint16_t)((pm->trainAdjusted ^ bits) & TRAIN_BITS);
    for (const StatusLine &l : statusLines)
        if (changed & l.bit) (bits & l.bit) ? l.set() : l.clear();
    pm->trainAdjusted = (uint8_t)bits;
    if (!pm->owner || !DEVICE_ISREG(getStatusRegisters)) return;
    DeviceStatusRegisters *regs = Device_getStatusRegisters(pm->owner);
    if (!regs) return;
    statusregister_setCondition(&regs->pulseModulation, bits & TRAIN_BITS, 1);
    statusregister_setCondition(&regs->pulseModulation, ~bits & TRAIN_BITS, 0);
}

bool continuousImmediate(const PulseMod *pm) {
    if (!pm->owner) return true;
    return DEVICE_ISREG(isTriggerSourceImmediate) && DEVICE_ISREG(isInitiateContinuousEnabled) &&
           Device_isTriggerSourceImmediate(pm->owner) &&
           Device_isInitiateContinuousEnabled(pm->owner);
}

PulseMod *rec(Device *device) {
    return KRCONT_getPulseMod(device);
}

int apply(PulseMod *pm) {
    return KRCONT_computeApplyConfiguration_pulm(pm);
}

// Enabling pulse n switches on the pulses before it too.
template <int Index>
int enablePulse(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    for (int i = Index; i >= 0; i--)
        pm->pulseEnabled[i] = 1;
    return apply(pm);
}
template <int Index>
int disablePulse(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    pm->pulseEnabled[Index] = 0;
    return apply(pm);
}
template <int Index>
int isPulseEnabled(Device *device) {
    PulseMod *pm = rec(device);
    return pm && pm->pulseEnabled[Index] ? 1 : 0;
}
template <int Index, KrTime (PulseMod::*Field)[PULM_TRAIN_PULSES]>
int setTimeAt(Device *device, const KrTime *t) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!t || !(*t >= 0) || *t > *Device_getPulseDelayMax(device)) return KR_E_DATA_OUT_OF_RANGE;
    (pm->*Field)[Index] = *t;
    return apply(pm);
}
template <int Index, KrTime (PulseMod::*Field)[PULM_TRAIN_PULSES]>
const KrTime *getTimeAt(Device *device) {
    PulseMod *pm = rec(device);
    globalKrTime = pm ? (pm->*Field)[Index] : 0;
    return &globalKrTime;
}
const KrTime *getDelayMin(Device *) {
    globalKrTime = 1e-6 - minWidth();
    return &globalKrTime;
}
const KrTime *getDelayMax(Device *) {
    globalKrTime = DEVICE_ISREG(getPulmInternalPulseWidthMax)
                       ? *Device_getPulmInternalPulseWidthMax(nullptr)
                       : 21.0;
    return &globalKrTime;
}

}  // namespace

bool multi_pulse_isMultiPulse(const PulseMod *pm) {
    if (!fs() || !pm) return false;
    for (uint8_t on : pm->pulseEnabled)
        if (on) return true;
    return false;
}

bool multi_pulse_isActive(Device *device) {
    PulseMod *pm = KRCONT_getPulseMod(device);
    return pm && pm->multiPulseActive;
}

int multi_pulse_start(PulseMod *pm) {
    // Gaps before each pulse: pulse 2 after pulse 1, pulse k after pulse k - 1.
    double width[ENTRIES] = {pm->width};
    double gap[ENTRIES] = {};
    bool on[ENTRIES] = {true};
    for (int i = 0; i < PULM_TRAIN_PULSES; i++) {
        on[i + 1] = pm->pulseEnabled[i] != 0;
        width[i + 1] = pm->pulseWidth[i];
    }
    uint16_t adjusted = 0;
    double start = 0;  // start of the previous pulse
    int last = 0;
    for (int k = 1; k < ENTRIES; k++) {
        if (!on[k]) break;
        double g = pm->pulseDelay[k - 1] - start - width[k - 1];
        if (g < pm->minPulseDelay) {
            g = pm->minPulseDelay;
            adjusted |= TRAIN_SPACING_ADJUSTED;
        }
        if (width[k] < pm->minPulseWidth) {
            width[k] = pm->minPulseWidth;
            adjusted |= TRAIN_WIDTH_ADJUSTED;
        }
        gap[k - 1] = g;
        start += width[k - 1] + g;
        last = k;
    }
    double total = 0;
    for (int k = 0; k < last; k++)
        total += width[k] + gap[k];
    total += width[last];
    double off = pm->period - total;
    if (off < pm->minPulseDelay) {
        off = pm->minPulseDelay;
        adjusted |= TRAIN_PERIOD_ADJUSTED;
        KrFreq f{};
        double2krfreq(1 / (total + off), &f);
        pm->frequency = f;
        pm->period = total + off;
    }
    gap[last] = off;

    int c = pm->channel;
    pm->multiPulseActive = 1;
    pm->continuousImmediate = continuousImmediate(pm) ? 1 : 0;
    int r = FS_FPGA_IF_pulm_setTrain(c, 1);
    FS_FPGA_IF_pulm_setPolarity(c, (int)pm->polarity);
    FS_FPGA_IF_setSweepCount(pm->continuousImmediate ? 0 : 1);
    FS_FPGA_IF_setSweepWaiting_rfState_earlyTransient(0, 1);
    FS_FPGA_setFlushModeNever();
    FS_FPGA_IF_setJumpLabel();
    for (int k = 0; k <= last; k++) {
        printd("multi_pulse_start(): pulse %d: tdwell %e, tdelay %e\n", k + 1, width[k], gap[k]);
        if (k == 0) FS_FPGA_IF_requestAwaitSweepTrigger();
        FS_FPGA_IF_setSweepTimer(width[k], gap[k]);
        FS_FPGA_IF_awaitSweepPointProg();
    }
    FS_FPGA_IF_markSweepLastPoint();
    FS_FPGA_IF_jumpToLabel();
    FS_FPGA_flush();
    FS_FPGA_setFlushModeAlways();
    int t = FS_FPGA_IF_setSweepTimerState(1);
    setStatus(pm, adjusted);
    return r ? r : t;
}

int multi_pulse_stop(PulseMod *pm, bool keepStatus) {
    int r = FS_FPGA_IF_setSweepTimerState_async(0);
    // The looping programme ends when its command buffer is flushed.
    FS_FPGA_IF_IMM_setCbufState(1);
    FS_FPGA_flush();
    FS_FPGA_IF_IMM_setCbufState(0);
    FS_FPGA_IF_pulm_setTrain(pm->channel, 0);
    pm->multiPulseActive = 0;
    if (!keepStatus) setStatus(pm, 0);
    return r;
}

int multi_pulse_pause(PulseMod *pm) {
    if (pm->multiPauseCount++ == 0) {
        pm->multiPausedActive = pm->multiPulseActive;
        if (pm->multiPulseActive) return multi_pulse_stop(pm, true);
    }
    return 0;
}

int multi_pulse_resume(PulseMod *pm) {
    if (pm->multiPauseCount == 0) {
        printd("multi_pulse_resume(): Error: more calls than multi_pulse_pause()\n");
        return KR_E_EXECUTION_ERROR;
    }
    if (--pm->multiPauseCount == 0 && pm->multiPausedActive) {
        pm->multiPausedActive = 0;
        return multi_pulse_start(pm);
    }
    return 0;
}

int multi_pulse_notifyState(Device *device, uint32_t flags) {
    if (!(flags & 0x80)) return 0;
    PulseMod *pm = KRCONT_getPulseMod(device);
    if (!pm) return 0;
    uint8_t now = continuousImmediate(pm) ? 1 : 0;
    int r = 0;
    if (now != pm->continuousImmediate && pm->multiPulseActive) {
        multi_pulse_stop(pm, true);
        r = multi_pulse_start(pm);
    }
    pm->continuousImmediate = now;
    return r;
}

int multi_pulse_init(Device *device) {
    if (!fs()) return KR_E_HARDWARE_MISSING;
    PulseMod *pm = KRCONT_getPulseMod(device);
    if (!pm) return KR_E_HARDWARE_MISSING;
    double w = minWidth();
    pm->minPulseDelay = 1e-6 - w;
    pm->minPulseWidth = w;
    float delay = 20.3e-6f;
    for (int i = 0; i < PULM_TRAIN_PULSES; i++) {
        pm->pulseEnabled[i] = 0;
        pm->pulseDelay[i] = delay;
        delay += 15e-6f;
    }
    pm->pulseWidth[0] = 450e-9;
    pm->pulseWidth[1] = pm->pulseWidth[2] = 10e-6;
    multi_pulse_registerDeviceFunctions();
    return 0;
}

void multi_pulse_registerDeviceFunctions() {
    Device_enablePulse2 = enablePulse<0>;
    Device_enablePulse3 = enablePulse<1>;
    Device_enablePulse4 = enablePulse<2>;
    Device_disablePulse2 = disablePulse<0>;
    Device_disablePulse3 = disablePulse<1>;
    Device_disablePulse4 = disablePulse<2>;
    Device_isPulse2Enabled = isPulseEnabled<0>;
    Device_isPulse3Enabled = isPulseEnabled<1>;
    Device_isPulse4Enabled = isPulseEnabled<2>;
    Device_setPulseDelay2 = setTimeAt<0, &PulseMod::pulseDelay>;
    Device_setPulseDelay3 = setTimeAt<1, &PulseMod::pulseDelay>;
    Device_setPulseDelay4 = setTimeAt<2, &PulseMod::pulseDelay>;
    Device_getPulseDelay2 = getTimeAt<0, &PulseMod::pulseDelay>;
    Device_getPulseDelay3 = getTimeAt<1, &PulseMod::pulseDelay>;
    Device_getPulseDelay4 = getTimeAt<2, &PulseMod::pulseDelay>;
    Device_setPulseWidth2 = setTimeAt<0, &PulseMod::pulseWidth>;
    Device_setPulseWidth3 = setTimeAt<1, &PulseMod::pulseWidth>;
    Device_setPulseWidth4 = setTimeAt<2, &PulseMod::pulseWidth>;
    Device_getPulseWidth2 = getTimeAt<0, &PulseMod::pulseWidth>;
    Device_getPulseWidth3 = getTimeAt<1, &PulseMod::pulseWidth>;
    Device_getPulseWidth4 = getTimeAt<2, &PulseMod::pulseWidth>;
    Device_getPulseDelayMin = getDelayMin;
    Device_getPulseDelayMax = getDelayMax;
}
