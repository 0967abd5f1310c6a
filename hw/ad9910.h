// AD9910 DDS driver. Preset operations change the shadow copies only; write and apply
// operations send registers through the SPI transport; an I/O update (krgio_ioupdate) makes
// them take effect. Main loop, or the sweep task inside its SPI lock bracket.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "hw/ad9910_registers.h"
#include "hw/ftw.h"

struct AD9910 {
    uint32_t slave;    // SPI address word
    uint32_t address;  // second handle of the chip (board-specific, kept for the board module)
    uint32_t spiClock;
    FTW ftw;
    uint32_t presetFtw;  // the word the apply operations send
    uint32_t profile;
    uint8_t singleTone;
    uint16_t phaseOffset;
    uint16_t amplitude;        // 14-bit amplitude scale of profile 0
    uint8_t fullScaleCurrent;  // auxiliary DAC register
    // Digital ramp generator.
    uint32_t drgLimitLow, drgLimitHigh;
    uint32_t drgStepUp, drgStepDown;
    uint16_t drgRateUp, drgRateDown;
    uint32_t drgDestination;  // 0 frequency, 1 phase, 2 amplitude
    uint32_t msr;
    uint32_t cfr1, cfr2, cfr3;
    uint8_t inputDividerEnabled;
    uint8_t poweredDown;
    uint8_t highResolution;
    uint8_t ramMode;
};

int AD9910_init(AD9910 *dds, uint32_t slave, uint32_t address);
void AD9910_setDefaultValues(AD9910 *dds);
void AD9910_printErrMsg(const AD9910 *dds, const char *action);

// Sends the register's shadow: the address, then length data bytes, in one transfer.
int AD9910_write(AD9910 *dds, uint8_t reg, uint32_t length);
int AD9910_writeCFR1(AD9910 *dds);
int AD9910_writeCFR2(AD9910 *dds);
int AD9910_writeCFR3(AD9910 *dds);
int AD9910_writePOW(AD9910 *dds);
int AD9910_writeMSR(AD9910 *dds);
int AD9910_writeSingleToneFtw(AD9910 *dds);
int AD9910_writeProfile0(AD9910 *dds);
// The preset word into register 7 with the parallel port on (single-tone register mode),
// else into profile 0.
int AD9910_writeFtw(AD9910 *dds);

// Clock and output frequency.
void AD9910_presetDDSIn(AD9910 *dds, const KrFreq *in);
void AD9910_presetDDSOut(AD9910 *dds, const KrFreq *out);
int AD9910_setDDSIn(AD9910 *dds, const KrFreq *in);
int AD9910_setDDSOut(AD9910 *dds, const KrFreq *out);
// The word of the preset frequencies, stored as the preset word.
uint32_t AD9910_calculatePreset(AD9910 *dds);
uint32_t AD9910_calculateFtw(AD9910 *dds);
// The word of the preset frequencies, not stored.
uint32_t AD9910_getFtwOnly(const AD9910 *dds);
void AD9910_presetFtwOnly(AD9910 *dds, uint32_t word);
int AD9910_applyFtwOnly(AD9910 *dds);
int AD9910_applyFtw(AD9910 *dds);
// Sends what the preset step prepared: the word and the phase offset.
int AD9910_applyPreset(AD9910 *dds);
// clock x preset word / 2^32 in full precision, in the shared scratch frequency.
const KrFreq *AD9910_calculateAndGetRealFout(const AD9910 *dds);

int AD9910_enableInputDivider(AD9910 *dds);
int AD9910_disableInputDivider(AD9910 *dds);
int AD9910_powerUp(AD9910 *dds);
int AD9910_powerDown(AD9910 *dds);
// The output DAC's full-scale current code (auxiliary DAC register), written at once.
int AD9910_setFullScaleCurrent(AD9910 *dds, uint8_t code);

// High resolution: the ramp generator dithers between the word and the next one so that
// the average output is the preset frequency; enabling issues its own I/O update.
int AD9910_enableHighResolution(AD9910 *dds);
int AD9910_disableHighResolution(AD9910 *dds);

// Digital ramp.
int AD9910_setDrgLimits(AD9910 *dds, uint32_t low, uint32_t high);
int AD9910_setDrgStepSize(AD9910 *dds, uint32_t up, uint32_t down);
int AD9910_setDrgRate(AD9910 *dds, uint16_t up, uint16_t down);
int AD9910_enableDrg(AD9910 *dds);
int AD9910_disableDrg(AD9910 *dds);
int AD9910_setDrgDestinationFrequency(AD9910 *dds);
int AD9910_setDrgDestinationPhase(AD9910 *dds);
// A linear frequency ramp from start to stop in steps of step every rate x 4 / clock.
int AD9910_enableChirp(AD9910 *dds, const KrFreq *start, const KrFreq *stop, const KrFreq *step,
                       uint16_t rate);
int AD9910_disableChirp(AD9910 *dds);
// A ramp between two words in steps of step every rate x 4 / clock, falling first when down,
// back and forth when alternate (see the register header for the bits).
int AD9910_enableRamp(AD9910 *dds, uint32_t low, uint32_t high, uint32_t step, uint16_t rate,
                      int down, int alternate);

// RAM, sync clock and parallel port switches.
int AD9910_enableRamMode(AD9910 *dds);
int AD9910_disableRamMode(AD9910 *dds);
int AD9910_enableSyncClk(AD9910 *dds);
int AD9910_disableSyncClk(AD9910 *dds);
int AD9910_enableParallelPort(AD9910 *dds);
int AD9910_disableParallelPort(AD9910 *dds);

// Phase offset word (2 pi / 65536 per step), sent where the frequency is taken from.
int AD9910_setPhaseOffsetU16(AD9910 *dds, uint16_t pow);
