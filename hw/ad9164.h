// AD9164 RF DAC used as a DDS: the NCO's 48-bit frequency word, the output path divider and
// multiplier the board's plan presets, the JESD link and the clock phase. Main loop.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "hw/ad9164_registers.h"
#include "hw/ftw.h"

struct AD9164 {
    uint32_t slave;
    FTW nco;       // in: the DAC clock
    uint8_t mode;  // datapath register shadow (NCO modes)
    uint32_t outputDivider;
    uint32_t outputMultiplier;
    KrFreq output;       // frequency at the output path: NCO x multiplier / divider
    uint8_t clockPhase;  // clock phase tuning as last written
};

int AD9164_init(AD9164 *dac, uint32_t slave, const KrFreq *dacClock);
// The 48-bit word for f at the NCO (not sent).
uint64_t AD9164_getFtw(const AD9164 *dac, const KrFreq *f);
// The NCO in single-tone modulation mode at f: word, then the load.
int AD9164_setFrequency_unimod(AD9164 *dac, const KrFreq *f);
// A word of the caller's (diagnostics): sent, then the load.
int AD9164_setFtw(AD9164 *dac, uint64_t word);
uint8_t AD9164_getMode(const AD9164 *dac);
int AD9164_setMode(AD9164 *dac, uint8_t mode);
// Output path: the wanted output frequency is preset; the NCO gets output x divider /
// multiplier (exact, with 128-bit shifts).
int AD9164_presetOutputPath(AD9164 *dac, uint32_t multiplier, uint32_t divider);
int AD9164_presetOutputFrequency(AD9164 *dac, const KrFreq *out);
int AD9164_applyPreset(AD9164 *dac);
int AD9164_setupJesdLink(AD9164 *dac);
// 0 when every lane is synchronised, else -240.
int AD9164_checkJesdLink(AD9164 *dac);
int AD9164_setClockPhase(AD9164 *dac, uint8_t phase);
// Modulation tables: the output frequency through the preset output path (word and load only),
// and the NCO phase offset word (2 pi / 65536 per step, then the load).
int AD9164_setFrequency_mod(AD9164 *dac, const KrFreq *out);
int AD9164_setPhaseWord(AD9164 *dac, uint16_t word);
