// Levelling steps: board power, calibration targets and the make-before-break order.
#include "level/analog_power.h"

#include <algorithm>
#include <cmath>

#include "config/device_config.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/analog_device.h"
#include "device/device.h"
#include "device/device_board.h"
#include "hw/fs_fpga_if.h"
#include "hw/krgio.h"
#include "level/flatness.h"
#include "level/level_access.h"
#include "scpi/scpi_errorcodes.h"

const uint16_t DAC_CORRECTION_LUT[DIGITAL_ALC_LUT_STEPS] = {
    0,     1131,  2179,  3155,  4069,  4927,  5737,  6504,  7231,  7932,  8583,  9214,  9819, 10399,
    10956, 11492, 12009, 12508, 12990, 13456, 13907, 14345, 14770, 15182, 15583, 15973, 16352};

namespace {

constexpr int32_t DIGITAL_STEP_ATT_LIMIT = 61;  // the loop raises A no further
constexpr uint32_t DIGITAL_ADC_WINDOW = 69;
constexpr int32_t DIGITAL_FIRMWARE_LOOP_ATT = 126;
constexpr uint32_t LPE_ADC_MIN = 500;
constexpr uint32_t LPE_STEP = 4;
constexpr uint32_t LPE_MIN_HEADROOM = 2;
constexpr uint32_t LPE_SETTLE_US = 10000;
constexpr uint32_t LPE_STEP_ATT_MAX = 63;  // what one step attenuator can take
constexpr int LOOP_STEPS_MAX = 256;        // bounds every search on the main thread

int channelIndex(Device *device) {
    return (int)(device->current - device->channels);
}

OrbxxxgOutBoard *board(Device *device) {
    return device->current->boardPtr;
}

bool amActive(const DeviceChannel *ch) {
    return (ch->rfSwitchingBits & DEVICE_RF_SWITCHING_AM) != 0;
}

bool alcOn(Device *device) {
    return BOARD_ORBXXXG_OUT_ISREG(isAlcEnabled) &&
           BOARD_ORBXXXG_OUT_isAlcEnabled(board(device)) == 1;
}

bool peFitted(Device *device) {
    int c = channelIndex(device);
    return device_config_usesSspeAtOut(c) || device_config_usesSspeOnOutBoard(c);
}

uint32_t clampDac(int64_t v) {
    return (uint32_t)std::clamp<int64_t>(v, 0, ANALOG_DAC_MAX);
}

uint32_t readAdc(Device *device) {
    uint32_t v = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(getAlcAdc)) BOARD_ORBXXXG_OUT_getAlcAdc(board(device), &v);
    return v;
}

void send(Device *device) {
    if (BOARD_ORBXXXG_OUT_ISREG(SRI_applyPreset)) BOARD_ORBXXXG_OUT_SRI_applyPreset(board(device));
}

int writeStages(Device *device, uint32_t a, uint32_t dac, uint32_t b) {
    if (!BOARD_ORBXXXG_OUT_ISREG(setPowerSync)) return 0;
    int r = BOARD_ORBXXXG_OUT_setPowerSync(board(device), a, dac, b, &device->current->frequency);
    if (r < 0) printd("setPower(): board error %d\n", r);
    return r;
}

void presetPe(Device *device, KrPow db) {
    if (peFitted(device) && BOARD_ORBXXXG_OUT_ISREG(presetPEAttenuation))
        BOARD_ORBXXXG_OUT_presetPEAttenuation(board(device), &db);
}

void presetGain(Device *device, uint32_t stage) {
    if (BOARD_ORBXXXG_OUT_ISREG(presetGainStage))
        BOARD_ORBXXXG_OUT_presetGainStage(board(device), stage);
}

void writeAlcControl(Device *device) {
    DeviceChannel *ch = device->current;
    if (BOARD_ORBXXXG_OUT_ISREG(setAlcControlValue_sync))
        BOARD_ORBXXXG_OUT_setAlcControlValue_sync(board(device), ch->alcControlValue);
    ch->alcControlValueCurrent = ch->alcControlValue;
    ch->alcControlValuePending = 0;
}

// A channel without its table yet levels from an empty one (every look-up 0).
Calibration *calibrationOf(DeviceChannel *ch) {
    // A failed load leaves a table without rows; the look-ups need at least one.
    Calibration *c = ch->calibration;
    if (c && c->powerCount > 0 && c->frequencyCount > 0) return c;
    static Calibration *empty = [] {
        auto *e = new Calibration();  // only once needed: the table is large and locked
        Calibration_reset(e);
        return e;
    }();
    return empty;
}

// The user's flatness table at the channel's frequency, while it is enabled.
float flatnessCorrection(Device *device) {
    Flatness *t = DEVICE_ISREG(getFlatnessPtr) ? Device_getFlatnessPtr(device) : nullptr;
    if (!t || !t->enabled) return 0.0f;
    return flatness_findAndGet(t, device->current->frequency.integer);
}

// Steps 1 to 4 of the decrease step: what the board must deliver and where it lies.
void boardPower(Device *device, const KrPow *p) {
    DeviceChannel *ch = device->current;
    ch->power = *p;
    KrPow bp = *p + ch->powerOffset + flatnessCorrection(device);
    Calibration_findCoord(calibrationOf(ch), &ch->frequency, bp, &ch->calCoord);
    printd("setPowerDecrease(): boardPower %f\n", (double)bp);
    KrPow pe = ch->peAttTarget;
    analog_selectPe(device, &bp, &pe, &ch->calCoord);
    ch->peAttTarget = pe;
    ch->boardPower = bp;
    Calibration_findCoord(calibrationOf(ch), &ch->frequency, bp, &ch->calCoord);
}

// The analog targets from the calibration (decrease step, targets 1 to 3).
void analogTargets(Device *device) {
    DeviceChannel *ch = device->current;
    Calibration *cal = calibrationOf(ch);
    const CalibrationCoord *co = &ch->calCoord;
    int32_t a = Calibration_getStepAttenuationA(cal, ch->boardPower, co);
    int32_t margin = level_access_alcMargin(device, Calibration_getAlcMargin(cal, co));
    if (amActive(ch)) {
        printd("setPowerDecrease(): for AM: reduced top ALC margin = increased bottom margin\n");
        margin = ANALOG_AM_ALC_MARGIN;
    }
    if (alcOn(device)) a = std::max(a - margin, 0);
    int32_t minAtt = Calibration_getMinAttout(cal, co);
    if (a < minAtt) {
        printd("\n\n\nStep att below min attout, limit to %d steps\n\n\n", minAtt);
        a = minAtt;
    }
    ch->stepAttATarget = (uint32_t)std::max(a, 0);
    ch->dacTarget = std::min<uint32_t>(
        Calibration_getAlcSetpoint2D(cal, ch->boardPower, &ch->frequency, co), ANALOG_DAC_MAX);
    ch->stepAttBTarget = std::min<uint32_t>(
        (uint32_t)Calibration_getStepAttenuationB(cal, co) + ch->lpeGuardB, LPE_STEP_ATT_MAX);
    uint8_t loop = Calibration_getAlcAttConfig(cal, co);
    ch->alcAttTarget = loop == CAL_NO_ALC_ATT ? 0.0f : (KrPow)loop;
    ch->gainStageTarget = Calibration_getGainstage(cal, co, 11) ? 1u : 0u;
    if (BOARD_ORBXXXG_OUT_ISREG(presetSetAlcAttenuator))
        BOARD_ORBXXXG_OUT_presetSetAlcAttenuator(board(device), &ch->alcAttTarget);
}

// Everything that lowers the output now; what raises it waits for the increase step. The DAC
// goes to an intermediate value below both the old and the new one.
int decreaseAnalog(Device *device) {
    DeviceChannel *ch = device->current;
    if (ch->peAttTarget >= ch->peAttCurrent) {
        presetPe(device, ch->peAttTarget);
        ch->peAttCurrent = ch->peAttTarget;
        printd("\n PowerDecrease set PE: %f\n", (double)ch->peAttCurrent);
    }
    uint32_t floor = std::min(ch->dacCurrent, ch->dacTarget);
    int64_t u = floor <= 2000 ? 500 : (int64_t)floor - 1500;
    if (ch->gainStageTarget < ch->gainStageCurrent) {
        u = u <= 4000 ? 500 : u - 3500;
    } else {
        presetGain(device, ch->gainStageTarget);
        ch->gainStageCurrent = ch->gainStageTarget;
        printd("\n PowerDecrease set GainsStage: %i\n", (int)ch->gainStageCurrent);
    }
    if (ch->stepAttATarget >= ch->stepAttACurrent) {
        ch->stepAttACurrent = ch->stepAttATarget;
        printd("\n PowerDecrease set StepAtt (TAX): %i\n", (int)ch->stepAttACurrent);
    }
    if (ch->stepAttBTarget >= ch->stepAttBCurrent) {
        ch->stepAttBCurrent = ch->stepAttBTarget;
        printd("\n PowerDecrease set StepAttB: %i\n", (int)ch->stepAttBCurrent);
    } else {
        int64_t below = ch->dacCurrent <= 4000 ? 500 : (int64_t)ch->dacCurrent - 3500;
        u = std::min(u, below);
    }
    // The floor of 500 must not lift a DAC that is already lower.
    ch->dacCurrent = std::min(clampDac(u), floor);
    int r = writeStages(device, ch->stepAttACurrent, ch->dacCurrent, ch->stepAttBCurrent);
    printd("\n PowerDecrease set Alc: %i\n", (int)ch->dacCurrent);
    if (ch->alcControlValuePending && ch->alcControlValue <= ch->alcControlValueCurrent) {
        writeAlcControl(device);
        printd("\n PowerDecrease set ALC Control: %i\n", (int)ch->alcControlValueCurrent);
    }
    return r;
}

int increaseAnalog(Device *device) {
    DeviceChannel *ch = device->current;
    OrbxxxgOutBoard *b = board(device);
    if (BOARD_ORBXXXG_OUT_ISREG(setPowerAsync)) BOARD_ORBXXXG_OUT_setPowerAsync(b, ch->dacTarget);
    if (ch->gainStageCurrent != ch->gainStageTarget) {
        presetGain(device, ch->gainStageTarget);
        ch->gainStageCurrent = ch->gainStageTarget;
        printd("\n PowerIncrease set GainStage: %i\n", (int)ch->gainStageCurrent);
        send(device);
        Device_ioupdateTrigger(1);
    }
    int r = 0;
    if (ch->stepAttBCurrent != ch->stepAttBTarget || ch->stepAttACurrent != ch->stepAttATarget) {
        ch->stepAttBCurrent = ch->stepAttBTarget;
        printd("\n PowerIncrease set StepAttB: %i\n", (int)ch->stepAttBCurrent);
        ch->stepAttACurrent = ch->stepAttATarget;
        printd("\n PowerIncrease set StepAtt(TAX): %i\n", (int)ch->stepAttACurrent);
        r = writeStages(device, ch->stepAttACurrent, ch->dacCurrent, ch->stepAttBCurrent);
        send(device);
        Device_ioupdateTrigger(1);
    }
    if (ch->dacCurrent != ch->dacTarget) {
        ch->dacCurrent = ch->dacTarget;
        printd("\n PowerIncrease set ALC: %i\n", (int)ch->dacCurrent);
        int s = writeStages(device, ch->stepAttACurrent, ch->dacCurrent, ch->stepAttBCurrent);
        r = r ? r : s;
        send(device);
        Device_ioupdateTrigger(1);
    }
    bool final = false;
    if (ch->peAttCurrent != ch->peAttTarget) {
        presetPe(device, ch->peAttTarget);
        ch->peAttCurrent = ch->peAttTarget;
        printd("\n PowerIncrease set PE: %f\n", (double)ch->peAttCurrent);
        final = true;
    }
    if (ch->alcControlValuePending && ch->alcControlValue != ch->alcControlValueCurrent) {
        writeAlcControl(device);
        printd("\n PowerIncrease set ALC Control): %i\n", (int)ch->alcControlValueCurrent);
        final = true;
    }
    if (final) {
        send(device);
        Device_ioupdateTrigger(1);
    }
    return r;
}

void digitalTargets(Device *device) {
    DeviceChannel *ch = device->current;
    Calibration *cal = calibrationOf(ch);
    const CalibrationCoord *co = &ch->calCoord;
    DigitalAlcRecord *d = &ch->dalc;
    d->stepAtt =
        Calibration_getStepAttenuationA2D_signedInt(cal, ch->boardPower, &ch->frequency, co);
    printd("setPowerDecreaseDigital(): \tSelected 2D tax value is: %d \n", (int)d->stepAtt);
    d->doublerAtt = Calibration_getStepAttenuationB2D_signedInt(cal, co);
    KrPow max = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(getAttenuationMax))
        BOARD_ORBXXXG_OUT_getAttenuationMax(board(device), &max);
    d->stepAttMax = (int32_t)std::lround(max * 2.0f);
    d->stepAttMin = Calibration_getMinAttout(cal, co);
    d->goal = std::min<uint32_t>(
        Calibration_getAlcSetpoint2D(cal, ch->boardPower, &ch->frequency, co), ANALOG_DAC_MAX);
    uint8_t loop = Calibration_getAlcAttConfig(cal, co);
    ch->alcAttTarget = loop == CAL_NO_ALC_ATT ? 0.0f : (KrPow)loop;
    static const char *const names[] = {"OUT_SOURCE", "OUT_SINK", "OUT_DATT"};
    uint32_t stage = 0;
    for (int s = 10; s <= 12; s++) {
        bool on = Calibration_getGainstage(cal, co, s);
        printd("setPowerDecreaseDigital(): GS %s (%d) %d\n", names[s - 10], s, on ? 1 : 0);
        if (on) stage |= 1u << (s - 10);
    }
    if (BOARD_ORBXXXG_OUT_ISREG(presetSetAlcAttenuator))
        BOARD_ORBXXXG_OUT_presetSetAlcAttenuator(board(device), &ch->alcAttTarget);
    presetGain(device, stage);
    ch->gainStageCurrent = ch->gainStageTarget = stage;
    presetPe(device, ch->peAttTarget);
    ch->peAttCurrent = ch->peAttTarget;
}

int decreaseDigital(Device *device) {
    DeviceChannel *ch = device->current;
    DigitalAlcRecord *d = &ch->dalc;
    analog_device_bufferedMode(true);
    digitalTargets(device);
    int r = 0;
    if (ch->dalcAvailable && ch->alcControllerMode == 2) {
        krgio_transient();
        uint32_t a = (uint32_t)std::max(d->stepAtt - 8, 0);
        r = writeStages(device, a, d->goal, (uint32_t)std::max(d->doublerAtt, 0));
        send(device);
        Device_ioupdateTrigger(1);
        printd("setPowerDecreaseDigital(): stepAtt for DALC %d\n", (int)a);
    } else if (ch->dalcAvailable && ch->alcControllerMode == 1) {
        r = writeStages(device, DIGITAL_FIRMWARE_LOOP_ATT, ch->dacCurrent,
                        DIGITAL_FIRMWARE_LOOP_ATT);
        send(device);
        krgio_transient();
        Device_ioupdateTrigger(1);
    } else if (BOARD_ORBXXXG_OUT_ISREG(setAttenuationSync)) {
        KrPow db = (KrPow)(std::max(d->stepAtt, 0) * 0.5);
        r = BOARD_ORBXXXG_OUT_setAttenuationSync(board(device), &db);
    }
    printd("setPowerDecreaseDigital(): tax %d, doubler att %d, adc goal %u\n", (int)d->stepAtt,
           (int)d->doublerAtt, (unsigned)d->goal);
    analog_device_bufferedMode(false);
    return r;
}

int increaseDigital(Device *device) {
    DeviceChannel *ch = device->current;
    if (!ch->dalcAvailable) return 0;
    if (device_config_usesOptionFs()) FS_FPGA_IF_awaitSpiIdle(0);
    if (Device_isSweepListBlankInvalidOff(device) != 1) Device_setSweepListBlankInvalidOff(device);
    if (ch->alcControllerMode == 1) return DIGITAL_ALC_setPower(device);
    return 0;
}

void writeDigital(Device *device, uint32_t dac) {
    DeviceChannel *ch = device->current;
    DigitalAlcRecord *d = &ch->dalc;
    ch->dacCurrent = dac;
    writeStages(device, (uint32_t)std::max(d->stepAtt, 0), dac,
                (uint32_t)std::max(d->doublerAtt, 0));
    send(device);
    Device_ioupdateTrigger(1);
}

}  // namespace

int analog_selectPe(Device *device, KrPow *bp, KrPow *pe, CalibrationCoord *) {
    DeviceChannel *ch = device->current;
    if (peFitted(device) && ch->peSelect) {
        // Whole half-dB steps that bring the board back to 0 dBm, within the module's range.
        KrPow max = 0;
        if (BOARD_ORBXXXG_OUT_ISREG(getAttenuationMax)) max = 63.0f;
        KrPow want = *bp < 0 ? (KrPow)(std::ceil(-*bp * 2.0f) * 0.5f) : 0.0f;
        *pe = std::min(want, max);
    } else if (peFitted(device)) {
        // What the board has, or what it is to keep when held by hand.
        *pe = device->peOverride ? 0.0f : ch->peManual;
    } else {
        *pe = 0.0f;
    }
    *bp += *pe;
    return 0;
}

int analog_getPELimit(Device *device, KrPow *limit) {
    DeviceChannel *ch = device->current;
    if (peFitted(device)) {
        *limit = (KrPow)(Calibration_getPELimit(calibrationOf(ch), &ch->calCoord) / 100.0);
        return 0;
    }
    if (!BOARD_ORBXXXG_OUT_ISREG(getAttenuationMax)) return KR_E_HARDWARE_MISSING;
    return BOARD_ORBXXXG_OUT_getAttenuationMax(board(device), limit);
}

void analog_computePowerTargets(Device *device, const KrPow *p) {
    boardPower(device, p);
    if (device->digitalAlc)
        digitalTargets(device);
    else
        analogTargets(device);
}

int analog_setPowerDecrease(Device *device, const KrPow *p) {
    boardPower(device, p);
    if (device->digitalAlc) return decreaseDigital(device);
    analogTargets(device);
    return decreaseAnalog(device);
}

int analog_setPowerIncrease(Device *device, const KrPow *) {
    return device->digitalAlc ? increaseDigital(device) : increaseAnalog(device);
}

int analog_setPowerSweep(Device *device, const KrPow *p) {
    DeviceChannel *ch = device->current;
    analog_computePowerTargets(device, p);
    presetPe(device, ch->peAttTarget);
    presetGain(device, ch->gainStageTarget);
    ch->peAttCurrent = ch->peAttTarget;
    ch->gainStageCurrent = ch->gainStageTarget;
    ch->stepAttACurrent = ch->stepAttATarget;
    ch->stepAttBCurrent = ch->stepAttBTarget;
    ch->dacCurrent = ch->dacTarget;
    int r = writeStages(device, ch->stepAttACurrent, ch->dacCurrent, ch->stepAttBCurrent);
    if (ch->alcControlValuePending) writeAlcControl(device);
    return r;
}

// ---- Low-power mode ----------------------------------------------------------------------

int analog_isLowPowerModeCase(Device *device, const KrPow *p) {
    int c = channelIndex(device);
    // Below what A and B together can take from the reference the calibrated path levels.
    const KrPow floor = ANALOG_LPE_THRESHOLD_DBM - (KrPow)LPE_STEP_ATT_MAX;
    return *p < ANALOG_LPE_THRESHOLD_DBM && *p >= floor && device_config_isOrbx40G(c) &&
           device_config_uses_ORBX40G_OUT_NOPE_1AorNewer(c) &&
           device_config_uses_ORBX40G_OUT_NOPE_1CorOlder(c) && !device_config_usesSspeAtOut(c) &&
           !device_config_usesSspeOnOutBoard(c) && alcOn(device);
}

// The reference level the normal way, then the loop held and step attenuation A lowered
// while the controller still has range; further powers move A alone from that minimum.
int analog_enterLowPowerMode(Device *device, const KrPow *p) {
    DeviceChannel *ch = device->current;
    OrbxxxgOutBoard *b = board(device);
    printd("setPower() low power: setting LPE reference power (%f dBm)\n",
           (double)ANALOG_LPE_REFERENCE_DBM);
    ch->lowPowerMode = 0;
    // Coming from below, the reference would lift the output above both levels: B takes the
    // difference until the mode's own setting replaces it.
    KrPow above = std::max(ch->power, *p);
    KrPow ref = ANALOG_LPE_REFERENCE_DBM;
    ch->lpeGuardB = above < ref
                        ? (uint32_t)std::min<long>(std::lround(std::ceil(2.0f * (ref - above))),
                                                   (long)LPE_STEP_ATT_MAX)
                        : 0;
    Device_setPower(device, &ref);
    ch->lpeGuardB = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(enableAlcHoldSampleMode))
        BOARD_ORBXXXG_OUT_enableAlcHoldSampleMode(b);
    uint32_t tax = ch->stepAttACurrent;
    for (int i = 0; i < LOOP_STEPS_MAX && tax >= LPE_STEP + LPE_MIN_HEADROOM; i++) {
        uint32_t next = tax - LPE_STEP;
        writeStages(device, next, ch->dacCurrent, ch->stepAttBCurrent);
        Device_ioupdateTrigger(1);
        krstuff_delay_us(LPE_SETTLE_US);
        uint32_t adc = readAdc(device);
        printd("setPower() low power: tax %d -> alc %d\n", (int)next, (int)adc);
        if (adc < LPE_ADC_MIN) break;  // the last 4 steps are taken back
        tax = next;
    }
    printd("setPower() low power: min tax %d\n", (int)tax);
    writeStages(device, tax, ch->dacCurrent, ch->stepAttBCurrent);
    Device_ioupdateTrigger(1);
    krstuff_delay_us(LPE_SETTLE_US);
    if (BOARD_ORBXXXG_OUT_ISREG(disableAlcHoldSampleMode))
        BOARD_ORBXXXG_OUT_disableAlcHoldSampleMode(b);
    bool held =
        BOARD_ORBXXXG_OUT_ISREG(isAlcHoldEnabled) && BOARD_ORBXXXG_OUT_isAlcHoldEnabled(b) == 1;
    if (held) {
        printd("setPower() low power: already in hold mode\n");
    } else {
        printd("setPower() low power: not in hold mode yet, entering hold mode\n");
        if (BOARD_ORBXXXG_OUT_ISREG(enableAlcHold)) BOARD_ORBXXXG_OUT_enableAlcHold(b);
    }
    ch->stepAttACurrent = tax;
    ch->lpeMinStepAtt = tax;
    ch->lpeStepAttB = Calibration_getStepAttenuationB(calibrationOf(ch), &ch->calCoord);
    ch->lowPowerMode = 1;
    ch->lpeLeaving = 0;
    return analog_setLowPower(device, p);
}

int analog_setLowPower(Device *device, const KrPow *p) {
    DeviceChannel *ch = device->current;
    ch->power = *p;
    long delta = std::lround(2.0 * (ANALOG_LPE_THRESHOLD_DBM - *p));
    printd("setPower() low power %f -> stepAttDelta %d\n", (double)*p, (int)delta);
    long total = ch->lpeMinStepAtt + std::max(delta, 0L);
    uint32_t a = (uint32_t)std::min<long>(total, (long)LPE_STEP_ATT_MAX);
    // What A cannot take goes to B, so the requested level is reached, not A's end.
    uint32_t b = (uint32_t)std::min<long>(ch->lpeStepAttB + (total - a), (long)LPE_STEP_ATT_MAX);
    printd("setPower() low power: stepAtt %d\n", (int)a);
    ch->stepAttACurrent = ch->stepAttATarget = a;
    ch->stepAttBCurrent = ch->stepAttBTarget = b;
    int r = writeStages(device, a, ch->dacCurrent, b);
    Device_ioupdateTrigger(1);
    return r;
}

int analog_leaveLowPowerMode(Device *device) {
    DeviceChannel *ch = device->current;
    ch->lowPowerMode = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(disableAlcHold)) BOARD_ORBXXXG_OUT_disableAlcHold(board(device));
    return 0;
}

int analog_leaveLpe(Device *device) {
    DeviceChannel *ch = device->current;
    ch->lpeLeaving = 1;
    KrPow p = ch->power;
    int r = Device_setPower(device, &p);
    ch->lpeLeaving = 0;
    return r;
}

// ---- Digital levelling -------------------------------------------------------------------

int DIGITAL_ALC_setAlcSetpoint(Device *device, uint32_t goal) {
    DeviceChannel *ch = device->current;
    ch->dalc.goal = std::min(goal, ANALOG_DAC_MAX);
    if (!BOARD_ORBXXXG_OUT_ISREG(setAlcControlValue_sync)) return 0;
    return BOARD_ORBXXXG_OUT_setAlcControlValue_sync(board(device), (double)ch->dalc.goal);
}

// Attenuation first with the DAC at full scale, then A walked until the controller reads at
// the goal; each walk ends when its stage reaches its limit.
int DIGITAL_ALC_setPower(Device *device) {
    if (!device->digitalAlc) return KR_E_UNDEFINED_HEADER;
    DeviceChannel *ch = device->current;
    DigitalAlcRecord *d = &ch->dalc;
    if (!ch->rfRequested) return 0;
    analog_device_bufferedMode(false);
    if (readAdc(device) == 0 || d->stepAtt < 0) {
        writeDigital(device, ANALOG_DAC_MAX);
        return 0;
    }
    if (d->stepAtt > d->stepAttMax) {
        int surplus = std::min(d->stepAtt - d->stepAttMax, DIGITAL_ALC_LUT_STEPS - 1);
        d->stepAtt = d->stepAttMax;
        writeDigital(device, ANALOG_DAC_MAX - DAC_CORRECTION_LUT[surplus]);
        return DIGITAL_ALC_setAlcSetpoint(device, d->goal);
    }
    writeDigital(device, ANALOG_DAC_MAX);
    for (int i = 0;
         i < LOOP_STEPS_MAX && readAdc(device) > d->goal && d->stepAtt <= DIGITAL_STEP_ATT_LIMIT;
         i++) {
        d->stepAtt++;
        writeDigital(device, ANALOG_DAC_MAX);
    }
    for (int i = 0; i < LOOP_STEPS_MAX && readAdc(device) <= d->goal + DIGITAL_ADC_WINDOW; i++) {
        if (d->stepAtt > d->stepAttMin)
            d->stepAtt--;
        else if (d->doublerAtt > 0)
            d->doublerAtt--;
        else
            break;
        writeDigital(device, ANALOG_DAC_MAX);
    }
    return DIGITAL_ALC_setAlcSetpoint(device, d->goal);
}

int DIGITAL_ALC_correctAttenuation(Device *device, KrPow (*measure)(Device *), KrPow goal) {
    if (!device->digitalAlc) return KR_E_UNDEFINED_HEADER;
    DigitalAlcRecord *d = &device->current->dalc;
    printd(
        "DIGITAL_ALC_correctAttenuation() Initialize Att Calibration: Dac=16383, "
        "Tax=MaxTax \n");
    d->stepAtt = d->stepAttMax;
    writeDigital(device, ANALOG_DAC_MAX);
    for (int i = 0; i < LOOP_STEPS_MAX; i++) {
        KrPow m = measure(device);
        if (m >= goal + 0.2f && m < goal + 1.2f) {
            printd(
                "Goal Power + 0.2 <= Measured Power < Goal Power +  1.2 => end "
                "calibration\n");
            d->calibrated = 1;
            return 0;
        }
        int32_t next = m < goal + 0.2f ? d->stepAtt - 1 : d->stepAtt + 1;
        if (next < d->stepAttMin || next > d->stepAttMax) break;  // no stage can move
        d->stepAtt = next;
        writeDigital(device, ANALOG_DAC_MAX);
    }
    return KR_E_EXECUTION_ERROR;
}
