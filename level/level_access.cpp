#include "level/level_access.h"

#include <algorithm>
#include <cmath>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device.h"
#include "device/device_board.h"
#include "hw/orbxxxg_level.h"
#include "level/analog_power.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr KrPow PE_MAX_DB = 63.0f;
constexpr KrPow STEP_ATT_MAX_DB = ORBXXXG_LEVEL_STEP_MAX * 0.5f;
constexpr uint32_t ALC_MARGIN_MAX = 2 * ORBXXXG_LEVEL_STEP_MAX;

DeviceChannel *channel(Device *device) {
    return device->current;
}

OrbxxxgOutBoard *board(Device *device) {
    return device->current->boardPtr;
}

bool peFitted(Device *device) {
    int c = (int)(device->current - device->channels);
    return device_config_usesSspeAtOut(c) || device_config_usesSspeOnOutBoard(c);
}

uint32_t halfDbSteps(KrPow db, KrPow max) {
    return (uint32_t)std::lround(std::clamp(db, 0.0f, max) * 2.0f);
}

int reapplyPower(Device *device) {
    KrPow p = channel(device)->power;
    return Device_setPower(device, &p);
}

// The stages' current values out at once: every changed chip latches with the one update.
int writeCurrent(Device *device) {
    DeviceChannel *ch = channel(device);
    OrbxxxgOutBoard *b = board(device);
    if (!BOARD_ORBXXXG_OUT_ISREG(setPowerSync)) return KR_E_HARDWARE_MISSING;
    ch->stepAttATarget = ch->stepAttACurrent;
    ch->stepAttBTarget = ch->stepAttBCurrent;
    ch->dacTarget = ch->dacCurrent;
    int r = BOARD_ORBXXXG_OUT_setPowerSync(b, ch->stepAttACurrent, ch->dacCurrent,
                                           ch->stepAttBCurrent, &ch->frequency);
    if (BOARD_ORBXXXG_OUT_ISREG(SRI_applyPreset)) BOARD_ORBXXXG_OUT_SRI_applyPreset(b);
    Device_ioupdateTrigger(1);
    printd("level_access: tax %u, alc %u, taxb %u -> %d\n", (unsigned)ch->stepAttACurrent,
           (unsigned)ch->dacCurrent, (unsigned)ch->stepAttBCurrent, r);
    return r;
}

// Stages still at their start value (200) count as the maximum.
uint32_t stepsOf(uint32_t steps) {
    return std::min(steps, ORBXXXG_LEVEL_STEP_MAX);
}

// ---- Power-extension attenuator --------------------------------------------------------

int isAutoAttenuationEnabled(Device *device) {
    return channel(device)->peSelect ? 1 : 0;
}

int enableAutoAttenuation(Device *device) {
    channel(device)->peSelect = 1;
    return reapplyPower(device);
}

// The attenuator keeps what it has; the level does not move.
int disableAutoAttenuation(Device *device) {
    DeviceChannel *ch = channel(device);
    ch->peSelect = 0;
    ch->peManual = ch->peAttCurrent <= PE_MAX_DB ? ch->peAttCurrent : 0.0f;
    return 0;
}

// Held by hand: the board levels that much hotter, so the output stays at the request.
int setAttenuation(Device *device, const KrPow *db) {
    if (!peFitted(device)) return KR_E_HARDWARE_MISSING;
    if (std::isnan(*db) || *db < 0 || *db > PE_MAX_DB) return KR_E_DATA_OUT_OF_RANGE;
    DeviceChannel *ch = channel(device);
    ch->peSelect = 0;
    ch->peManual = halfDbSteps(*db, PE_MAX_DB) * 0.5f;
    printd("level_access: power extension held at %f dB\n", (double)ch->peManual);
    return reapplyPower(device);
}

const KrPow *getAttenuation(Device *device) {
    static KrPow v;
    DeviceChannel *ch = channel(device);
    if (peFitted(device)) {
        v = ch->peAttCurrent <= PE_MAX_DB ? ch->peAttCurrent : 0.0f;
    } else {
        v = stepsOf(ch->stepAttACurrent) * 0.5f;
    }
    return &v;
}

const KrPow *getAttenuationMin(Device *) {
    static const KrPow v = 0.0f;
    return &v;
}

const KrPow *getAttenuationMax(Device *device) {
    static const KrPow pe = PE_MAX_DB, step = STEP_ATT_MAX_DB;
    return peFitted(device) ? &pe : &step;
}

// "tae": the power extension in half-dB steps.
uint32_t getEattStage(Device *device) {
    return halfDbSteps(*getAttenuation(device), PE_MAX_DB);
}

int setEattStage(Device *device, uint32_t steps) {
    KrPow db = (KrPow)steps * 0.5f;
    return setAttenuation(device, &db);
}

// ---- Step attenuators A and B ------------------------------------------------------------

const KrPow *getTotalStepAttenuation(Device *device) {
    static KrPow v;
    DeviceChannel *ch = channel(device);
    v = (stepsOf(ch->stepAttACurrent) + stepsOf(ch->stepAttBCurrent)) * 0.5f;
    return &v;
}

const KrPow *getTotalStepAttenuationMax(Device *) {
    static const KrPow v = 2 * STEP_ATT_MAX_DB;
    return &v;
}

// A takes what it can, B the rest.
int setTotalStepAttenuation(Device *device, const KrPow *db) {
    if (std::isnan(*db) || *db < 0 || *db > 2 * STEP_ATT_MAX_DB) return KR_E_DATA_OUT_OF_RANGE;
    DeviceChannel *ch = channel(device);
    uint32_t total = halfDbSteps(*db, 2 * STEP_ATT_MAX_DB);
    ch->stepAttACurrent = std::min(total, ORBXXXG_LEVEL_STEP_MAX);
    ch->stepAttBCurrent = total - ch->stepAttACurrent;
    return writeCurrent(device);
}

// Stage 0 is A, stage 1 is B.
int setStepAttenuation(Device *device, int32_t stage, const KrPow *db) {
    if (stage < 0 || stage > 1) return KR_E_ILLEGAL_PARAMETER_VALUE;
    if (std::isnan(*db) || *db < 0 || *db > STEP_ATT_MAX_DB) return KR_E_DATA_OUT_OF_RANGE;
    DeviceChannel *ch = channel(device);
    uint32_t steps = halfDbSteps(*db, STEP_ATT_MAX_DB);
    (stage == 0 ? ch->stepAttACurrent : ch->stepAttBCurrent) = steps;
    ch->stepAttACurrent = stepsOf(ch->stepAttACurrent);
    ch->stepAttBCurrent = stepsOf(ch->stepAttBCurrent);
    return writeCurrent(device);
}

// Every stage to its extreme, the loop open at the DAC's end: what the hardware can reach.
int stagesTo(Device *device, bool maximum) {
    DeviceChannel *ch = channel(device);
    ch->stepAttACurrent = ch->stepAttBCurrent = maximum ? 0 : ORBXXXG_LEVEL_STEP_MAX;
    ch->dacCurrent = maximum ? ANALOG_DAC_MAX : 0;
    return writeCurrent(device);
}

int setLevelStagesMaximum(Device *device) {
    return stagesTo(device, true);
}

int setLevelStagesMinimum(Device *device) {
    return stagesTo(device, false);
}

const KrPow *getPELimit(Device *device) {
    static KrPow v;
    v = 0.0f;
    analog_getPELimit(device, &v);
    return &v;
}

// ---- ALC --------------------------------------------------------------------------------

int setAlcDac(Device *device, uint32_t dac) {
    if (dac > ANALOG_DAC_MAX) return KR_E_DATA_OUT_OF_RANGE;
    channel(device)->dacCurrent = dac;
    return writeCurrent(device);
}

int setAlcDac16(Device *device, uint32_t dac) {
    if (dac > 0xFFFF) return KR_E_DATA_OUT_OF_RANGE;
    return setAlcDac(device, dac >> 2);
}

bool digitalLoop(Device *device) {
    return device->digitalAlc && channel(device)->dalcAvailable;
}

// The analog loop levels to its DAC, the digital ones to a controller reading.
double getAlcSetpoint(Device *device) {
    return digitalLoop(device) ? (double)channel(device)->dalc.goal
                               : (double)Device_getAlcDac(device);
}

int setAlcSetpoint(Device *device, double v) {
    if (std::isnan(v) || v < 0 || v > ANALOG_DAC_MAX) return KR_E_DATA_OUT_OF_RANGE;
    uint32_t u = (uint32_t)std::lround(v);
    return digitalLoop(device) ? DIGITAL_ALC_setAlcSetpoint(device, u) : setAlcDac(device, u);
}

int setAlcControlValue(Device *device, double v) {
    if (std::isnan(v)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    if (!BOARD_ORBXXXG_OUT_ISREG(setAlcControlValue_sync)) return KR_E_HARDWARE_MISSING;
    DeviceChannel *ch = channel(device);
    if (ch->presetMode) {
        // A sweep point: the level steps write it in their order.
        ch->alcControlValue = v;
        ch->alcControlValuePending = 1;
        return 0;
    }
    int r = BOARD_ORBXXXG_OUT_setAlcControlValue_sync(board(device), v);
    if (r != 0) return r;
    ch->alcControlValue = ch->alcControlValueCurrent = v;
    ch->alcControlValuePending = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(SRI_applyPreset)) BOARD_ORBXXXG_OUT_SRI_applyPreset(board(device));
    Device_ioupdateTrigger(1);
    return 0;
}

double getAlcProcessValue(Device *device) {
    uint32_t v = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(getAlcAdc)) BOARD_ORBXXXG_OUT_getAlcAdc(board(device), &v);
    return (double)v;
}

uint32_t getAlcMargin(Device *device) {
    DeviceChannel *ch = channel(device);
    Calibration *cal = ch->calibration;
    int32_t calibrated = cal && cal->powerCount > 0 && cal->frequencyCount > 0
                             ? Calibration_getAlcMargin(cal, &ch->calCoord)
                             : 0;
    return (uint32_t)std::max(level_access_alcMargin(device, calibrated), 0);
}

uint32_t getAlcMarginMax(Device *) {
    return ALC_MARGIN_MAX;
}

int setAlcMargin(Device *device, uint32_t margin) {
    if (margin > ALC_MARGIN_MAX) return KR_E_DATA_OUT_OF_RANGE;
    channel(device)->alcMarginOverride = (int32_t)margin;
    return reapplyPower(device);
}

// One pass of the firmware levelling loop, where the board has one.
int alcSoftware(Device *device) {
    if (!digitalLoop(device)) return KR_E_HARDWARE_MISSING;
    return DIGITAL_ALC_setPower(device);
}

// The loop attenuator in whole dB.
uint32_t getAlcDat(Device *device) {
    KrPow db = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(getAlcAttenuator))
        BOARD_ORBXXXG_OUT_getAlcAttenuator(board(device), &db);
    return (uint32_t)std::lround(std::max(db, 0.0f));
}

int setAlcDat(Device *device, uint32_t db) {
    if (!BOARD_ORBXXXG_OUT_ISREG(setAlcAttenuator)) return KR_E_HARDWARE_MISSING;
    KrPow v = (KrPow)db;
    int r = BOARD_ORBXXXG_OUT_setAlcAttenuator(board(device), &v);
    if (r == 0) channel(device)->alcAttTarget = v;
    return r;
}

uint32_t getGainstage(Device *device) {
    uint32_t v = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(getGainStage)) BOARD_ORBXXXG_OUT_getGainStage(board(device), &v);
    return v;
}

uint32_t getGainstageMinimum(Device *) {
    return 0;
}

uint32_t getGainstageMaximum(Device *device) {
    uint32_t v = 0;
    if (BOARD_ORBXXXG_OUT_ISREG(getGainStageMaximum))
        BOARD_ORBXXXG_OUT_getGainStageMaximum(board(device), &v);
    return v;
}

int setGainstage(Device *device, uint32_t stage) {
    if (!BOARD_ORBXXXG_OUT_ISREG(setGainStage)) return KR_E_HARDWARE_MISSING;
    if (stage > getGainstageMaximum(device)) return KR_E_DATA_OUT_OF_RANGE;
    int r = BOARD_ORBXXXG_OUT_setGainStage(board(device), stage);
    if (r == 0) channel(device)->gainStageCurrent = channel(device)->gainStageTarget = stage;
    Device_ioupdateTrigger(1);
    return r;
}

}  // namespace

int32_t level_access_alcMargin(Device *device, int32_t calibrated) {
    int32_t o = device->current->alcMarginOverride;
    return o >= 0 ? o : calibrated;
}

void level_access_registerFunctions() {
    Device_isAutoAttenuationEnabled = isAutoAttenuationEnabled;
    Device_enableAutoAttenuation = enableAutoAttenuation;
    Device_disableAutoAttenuation = disableAutoAttenuation;
    Device_setAttenuation = setAttenuation;
    Device_getAttenuation = getAttenuation;
    Device_getAttenuationMin = getAttenuationMin;
    Device_getAttenuationMax = getAttenuationMax;
    Device_getEattStage = getEattStage;
    Device_setEattStage = setEattStage;
    Device_getTotalStepAttenuation = getTotalStepAttenuation;
    Device_getTotalStepAttenuationMin = getAttenuationMin;
    Device_getTotalStepAttenuationMax = getTotalStepAttenuationMax;
    Device_setTotalStepAttenuation = setTotalStepAttenuation;
    Device_setStepAttenuation = setStepAttenuation;
    Device_setLevelStagesMaximum = setLevelStagesMaximum;
    Device_setLevelStagesMinimum = setLevelStagesMinimum;
    Device_getPELimit = getPELimit;
    Device_setAlcDac = setAlcDac;
    Device_setAlcDac16 = setAlcDac16;
    Device_getAlcSetpoint = getAlcSetpoint;
    Device_setAlcSetpoint = setAlcSetpoint;
    Device_setAlcControlValue = setAlcControlValue;
    Device_getAlcProcessValue = getAlcProcessValue;
    Device_getAlcMargin = getAlcMargin;
    Device_getAlcMarginMax = getAlcMarginMax;
    Device_setAlcMargin = setAlcMargin;
    Device_alcSoftware = alcSoftware;
    Device_getAlcDat = getAlcDat;
    Device_setAlcDat = setAlcDat;
    Device_getGainstage = getGainstage;
    Device_getGainstageMinimum = getGainstageMinimum;
    Device_getGainstageMaximum = getGainstageMaximum;
    Device_setGainstage = setGainstage;
}
