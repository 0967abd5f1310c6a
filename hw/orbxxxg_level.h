// The level stages every output board carries, driven the same way on each: step attenuators
// A and B after the level loop, the attenuator in the loop's detector path, the ALC set-point
// DAC, the gain-stage bits, the level controller and VCO tuning-voltage converters, and the
// power-extension step attenuator (standalone at the output or daisy-chained in the board's
// register). The board module embeds the record, points its board header at it in init and
// registers these operations; where the bits sit in its register is its layout (data). All
// writes reach the chips before the next I/O update, which makes them take effect together.
// Main loop.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "hw/ad5643.h"
#include "hw/ad7680.h"
#include "hw/hmc1018.h"
#include "hw/hmc624.h"
#include "hw/ltc2313.h"
#include "hw/orbxxxg_board.h"
#include "hw/sspe.h"

// Where a board family keeps its level bits in the control register; -1: not fitted.
struct OrbxxxgLevelLayout {
    int gainLowBit;
    int gainBits;
    int sspeBit;  // first bit of a daisy-chained power-extension module
};

constexpr uint32_t ORBXXXG_LEVEL_DAC_MAX = 16383;
constexpr uint32_t ORBXXXG_LEVEL_STEP_MAX = 63;  // half-dB steps of one step attenuator
// Controller readings within this margin of either end mean the loop sits at its rail.
constexpr uint32_t ORBXXXG_LEVEL_RAIL_MARGIN = 100;

struct OrbxxxgLevel {
    const OrbxxxgLevelLayout *layout;
    SRI *sri;
    AD5643 *alcDac;  // the board's DAC, channel A
    HMC624 attA, attB;
    HMC1018 loopAtt;
    AD7680 controller;
    LTC2313 vcoAdc;
    SSPE pe;
    uint8_t peFitted;
    uint8_t ready;
    uint32_t stepAttA, stepAttB;  // half-dB steps as written
    uint32_t dac;
    uint32_t gainStage;
};

// Registers the chips at the channel's slave addresses and the power extension the channel's
// configuration names; attenuators at their maximum, the DAC at 0, so nothing is loud before
// the first power setting.
int orbxxxg_level_init(OrbxxxgOutBoard *board, OrbxxxgLevel *level, SRI *sri, AD5643 *alcDac,
                       const OrbxxxgLevelLayout *layout);
void orbxxxg_level_registerFunctions();

int ORBXXXG_LEVEL_setPowerSync(OrbxxxgOutBoard *board, uint32_t stepAttA, uint32_t dac,
                               uint32_t stepAttB, const KrFreq *frequency);
int ORBXXXG_LEVEL_setPowerAsync(OrbxxxgOutBoard *board, uint32_t dac);
// The digital boards' form: one attenuation over A, then B for what A cannot take.
int ORBXXXG_LEVEL_setAttenuationSync(OrbxxxgOutBoard *board, const KrPow *db);
int ORBXXXG_LEVEL_getAlcAdc(OrbxxxgOutBoard *board, uint32_t *value);
int ORBXXXG_LEVEL_getAlcDac(OrbxxxgOutBoard *board, uint32_t *value);
// 0 levelled, 1 unlevelled (the controller at a rail), 3 RF off (nothing to level).
int ORBXXXG_LEVEL_getAlcCondition(OrbxxxgOutBoard *board, bool rfOn, bool alcOn,
                                  uint32_t *condition);
int ORBXXXG_LEVEL_getVcoAdc(OrbxxxgOutBoard *board, uint32_t *value);
