// Level stages shared by the output boards.
#include "hw/orbxxxg_level.h"

#include <algorithm>
#include <cmath>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "scpi/scpi_errorcodes.h"

namespace {

OrbxxxgLevel *ready(OrbxxxgOutBoard *board) {
    OrbxxxgLevel *l = board->level;
    return l && l->ready ? l : nullptr;
}

int firstError(int a, int b) {
    return a ? a : b;
}

KrPow stepsDb(uint32_t steps) {
    return (KrPow)(std::min(steps, ORBXXXG_LEVEL_STEP_MAX) * 0.5);
}

// A and B are written only when they change: the chips keep their value, and a rewrite of an
// unchanged stage would be a latch the output does not need.
int writeSteps(OrbxxxgLevel *l, uint32_t a, uint32_t b) {
    a = std::min(a, ORBXXXG_LEVEL_STEP_MAX);
    b = std::min(b, ORBXXXG_LEVEL_STEP_MAX);
    int r = 0;
    if (a != l->stepAttA) {
        r = HMC624_set(&l->attA, stepsDb(a));
        if (r == 0) l->stepAttA = a;
    }
    if (b != l->stepAttB) {
        int s = HMC624_set(&l->attB, stepsDb(b));
        if (s == 0) l->stepAttB = b;
        r = firstError(r, s);
    }
    return r;
}

int writeDac(OrbxxxgLevel *l, uint32_t dac) {
    dac = std::min(dac, ORBXXXG_LEVEL_DAC_MAX);
    int r = AD5643_setValue(l->alcDac, 0, (uint16_t)dac);
    if (r == 0) l->dac = dac;
    return r;
}

int setAlcDacSync(OrbxxxgOutBoard *board, uint32_t dac) {
    OrbxxxgLevel *l = ready(board);
    return l ? writeDac(l, dac) : KR_E_HARDWARE_MISSING;
}

int setAlcDacToMax(OrbxxxgOutBoard *board) {
    return setAlcDacSync(board, ORBXXXG_LEVEL_DAC_MAX);
}

int getGainStageMaximum(OrbxxxgOutBoard *board, uint32_t *maximum) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    *maximum = l->layout->gainBits > 0 ? (1u << l->layout->gainBits) - 1 : 0;
    return 0;
}

int presetGainStage(OrbxxxgOutBoard *board, uint32_t stage) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    uint32_t max = 0;
    getGainStageMaximum(board, &max);
    stage = std::min(stage, max);
    l->gainStage = stage;
    if (l->layout->gainBits <= 0) return 0;
    return SRI_presetField(l->sri, l->layout->gainLowBit, l->layout->gainBits, stage);
}

int setGainStage(OrbxxxgOutBoard *board, uint32_t stage) {
    int r = presetGainStage(board, stage);
    return r ? r : SRI_applyPreset(board->level->sri);
}

int getGainStage(OrbxxxgOutBoard *board, uint32_t *stage) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    *stage = l->gainStage;
    return 0;
}

// The loop attenuator takes effect when it is written; the preset form is the same write,
// made before the I/O update that releases the other stages.
int setAlcAttenuator(OrbxxxgOutBoard *board, const KrPow *db) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    if (std::isnan(*db)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    return HMC1018_set(&l->loopAtt, *db);
}

int getAlcAttenuator(OrbxxxgOutBoard *board, KrPow *db) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    *db = *HMC1018_get(&l->loopAtt);
    return 0;
}

int presetPe(OrbxxxgOutBoard *board, const KrPow *db) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    if (!l->peFitted) return KR_E_HARDWARE_MISSING;
    if (std::isnan(*db)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    int r = SSPE_presetAttenuation(&l->pe, *db);
    // A module of its own is sent now and latched by the coming I/O update; a daisy-chained
    // one goes out with the board's register.
    if (r == 0 && l->pe.module.shiftRegister == &l->pe.module.own)
        r = SRI_applyPreset(&l->pe.module.own);
    return r;
}

int setPe(OrbxxxgOutBoard *board, const KrPow *db) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    if (!l->peFitted) return KR_E_HARDWARE_MISSING;
    if (std::isnan(*db)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    return SSPE_setAttenuation(&l->pe, *db);
}

int getPe(OrbxxxgOutBoard *board, KrPow *db) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    *db = l->peFitted ? *SSPE_getAttenuation(&l->pe) : 0.0f;
    return 0;
}

int getAttenuation(OrbxxxgOutBoard *board, KrPow *db) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    *db = stepsDb(l->stepAttA);
    return 0;
}

int getAttenuationB(OrbxxxgOutBoard *board, KrPow *db) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    *db = stepsDb(l->stepAttB);
    return 0;
}

int getAttenuationMin(OrbxxxgOutBoard *, KrPow *db) {
    *db = 0.0f;
    return 0;
}

int getAttenuationMax(OrbxxxgOutBoard *, KrPow *db) {
    *db = stepsDb(ORBXXXG_LEVEL_STEP_MAX);
    return 0;
}

}  // namespace

int orbxxxg_level_init(OrbxxxgOutBoard *board, OrbxxxgLevel *l, SRI *sri, AD5643 *alcDac,
                       const OrbxxxgLevelLayout *layout) {
    int c = board->channel;
    *l = OrbxxxgLevel{};
    l->layout = layout;
    l->sri = sri;
    l->alcDac = alcDac;
    board->level = l;
    int r = HMC624_init(&l->attA, board_outSlave(c, BOARD_OUT_ATT_A));
    r = firstError(r, HMC624_init(&l->attB, board_outSlave(c, BOARD_OUT_ATT_B)));
    r = firstError(r, HMC1018_init(&l->loopAtt, board_outSlave(c, BOARD_OUT_ATT_LOOP)));
    r = firstError(r, AD7680_init(&l->controller, board_outSlave(c, BOARD_OUT_ALC_ADC)));
    r = firstError(r, LTC2313_init(&l->vcoAdc, board_outSlave(c, BOARD_OUT_VCO_ADC)));
    uint32_t peWord = board_outSlave(c, BOARD_OUT_SSPE);
    if (device_config_usesSspe12GAtOut(c)) {
        r = firstError(r, SSPE_init_standalone_SSPE12G(&l->pe, peWord));
        l->peFitted = 1;
    } else if (device_config_usesSspe40GAtOut(c)) {
        r = firstError(r, SSPE_init_standalone_SSPE40G(&l->pe, peWord));
        l->peFitted = 1;
    } else if (device_config_usesSspe40GOnBoard(c) && layout->sspeBit >= 0) {
        r = firstError(r, SSPE_init_daisyChain_SSPE40G(&l->pe, sri, (uint32_t)layout->sspeBit));
        l->peFitted = 1;
    }
    l->ready = 1;
    l->stepAttA = l->stepAttB = ORBXXXG_LEVEL_STEP_MAX + 1;  // forces the first write
    r = firstError(r, writeSteps(l, ORBXXXG_LEVEL_STEP_MAX, ORBXXXG_LEVEL_STEP_MAX));
    r = firstError(r, writeDac(l, 0));
    KrPow loop = 0.0f;
    r = firstError(r, HMC1018_set(&l->loopAtt, loop));
    if (layout->gainBits > 0) SRI_presetField(sri, layout->gainLowBit, layout->gainBits, 0);
    if (r) printd("orbxxxg_level_init(): channel %d error %d\n", c, r);
    return r;
}

int ORBXXXG_LEVEL_setPowerSync(OrbxxxgOutBoard *board, uint32_t stepAttA, uint32_t dac,
                               uint32_t stepAttB, const KrFreq *) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    int r = writeSteps(l, stepAttA, stepAttB);
    return firstError(r, writeDac(l, dac));
}

int ORBXXXG_LEVEL_setPowerAsync(OrbxxxgOutBoard *board, uint32_t dac) {
    OrbxxxgLevel *l = ready(board);
    return l ? writeDac(l, dac) : KR_E_HARDWARE_MISSING;
}

int ORBXXXG_LEVEL_setAttenuationSync(OrbxxxgOutBoard *board, const KrPow *db) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    if (std::isnan(*db)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    double half = std::lround(*db * 2.0);
    uint32_t s = half < 0 ? 0u : (uint32_t)std::min(half, 2.0 * ORBXXXG_LEVEL_STEP_MAX);
    uint32_t a = std::min(s, ORBXXXG_LEVEL_STEP_MAX);
    return writeSteps(l, a, s - a);
}

int ORBXXXG_LEVEL_getAlcAdc(OrbxxxgOutBoard *board, uint32_t *value) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    uint32_t raw = 0;
    int r = AD7680_read(&l->controller, &raw);
    *value = raw >> 2;  // reported in the 14 bits of the set-point DAC
    return r;
}

int ORBXXXG_LEVEL_getAlcDac(OrbxxxgOutBoard *board, uint32_t *value) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    *value = l->dac;
    return 0;
}

int ORBXXXG_LEVEL_getAlcCondition(OrbxxxgOutBoard *board, bool rfOn, bool alcOn,
                                  uint32_t *condition) {
    *condition = rfOn ? 0 : 3;
    if (!rfOn || !alcOn || !ready(board)) return 0;
    uint32_t v = 0;
    int r = ORBXXXG_LEVEL_getAlcAdc(board, &v);
    if (r) return r;
    bool rail =
        v < ORBXXXG_LEVEL_RAIL_MARGIN || v > ORBXXXG_LEVEL_DAC_MAX - ORBXXXG_LEVEL_RAIL_MARGIN;
    *condition = rail ? 1 : 0;
    return 0;
}

int ORBXXXG_LEVEL_getVcoAdc(OrbxxxgOutBoard *board, uint32_t *value) {
    OrbxxxgLevel *l = ready(board);
    if (!l) return KR_E_HARDWARE_MISSING;
    return LTC2313_read(&l->vcoAdc, value);
}

void orbxxxg_level_registerFunctions() {
    BOARD_ORBXXXG_OUT_setPowerSync = ORBXXXG_LEVEL_setPowerSync;
    BOARD_ORBXXXG_OUT_setPowerAsync = ORBXXXG_LEVEL_setPowerAsync;
    BOARD_ORBXXXG_OUT_setAttenuationSync = ORBXXXG_LEVEL_setAttenuationSync;
    BOARD_ORBXXXG_OUT_setAlcDac_sync = setAlcDacSync;
    BOARD_ORBXXXG_OUT_setAlcDacToMax_sync = setAlcDacToMax;
    BOARD_ORBXXXG_OUT_getAlcDac = ORBXXXG_LEVEL_getAlcDac;
    BOARD_ORBXXXG_OUT_getAlcAdc = ORBXXXG_LEVEL_getAlcAdc;
    BOARD_ORBXXXG_OUT_getVcoAdc = ORBXXXG_LEVEL_getVcoAdc;
    BOARD_ORBXXXG_OUT_getGainStage = getGainStage;
    BOARD_ORBXXXG_OUT_getGainStageMaximum = getGainStageMaximum;
    BOARD_ORBXXXG_OUT_presetGainStage = presetGainStage;
    BOARD_ORBXXXG_OUT_setGainStage = setGainStage;
    BOARD_ORBXXXG_OUT_presetSetAlcAttenuator = setAlcAttenuator;
    BOARD_ORBXXXG_OUT_setAlcAttenuator = setAlcAttenuator;
    BOARD_ORBXXXG_OUT_getAlcAttenuator = getAlcAttenuator;
    BOARD_ORBXXXG_OUT_presetPEAttenuation = presetPe;
    BOARD_ORBXXXG_OUT_setPEAttenuation = setPe;
    BOARD_ORBXXXG_OUT_getPEAttenuation = getPe;
    BOARD_ORBXXXG_OUT_getAttenuation = getAttenuation;
    BOARD_ORBXXXG_OUT_getAttenuationB = getAttenuationB;
    BOARD_ORBXXXG_OUT_getAttenuationMin = getAttenuationMin;
    BOARD_ORBXXXG_OUT_getAttenuationMax = getAttenuationMax;
}
