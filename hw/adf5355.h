// ADF5355 wideband PLL with VCO (low-noise and 40 GHz output boards): register shadows
// R0-R12, the VCO core, band and bias of a manual calibration, automatic calibration, the
// RF output B, and frequencies applied from a look-up table. Main loop.
#pragma once

#include <cstdint>

#include "hw/adf5355_registers.h"

struct ADF5355 {
    uint32_t slave;
    uint32_t reg[ADF5355_REGISTERS];
};

// A look-up-table row: the counters and the VCO setting found by calibration.
struct ADF5355LutEntry {
    uint32_t integer;
    uint32_t frac1;
    uint32_t frac2;
    uint32_t mod2;
    uint32_t core, band, bias;
};

int ADF5355_init(ADF5355 *pll, uint32_t slave);
int ADF5355_writeRegister(ADF5355 *pll, int n);
uint32_t ADF5355_getCore(const ADF5355 *pll);
uint32_t ADF5355_getBand(const ADF5355 *pll);
uint32_t ADF5355_getBias(const ADF5355 *pll);
int ADF5355_setCore(ADF5355 *pll, uint32_t core);
int ADF5355_setBand(ADF5355 *pll, uint32_t band);
int ADF5355_setBias(ADF5355 *pll, uint32_t bias);
int ADF5355_enableAutocal(ADF5355 *pll);
int ADF5355_disableAutocal(ADF5355 *pll);
// MUXOUT of R4 set to read back the calibration (readback on), or to lock detect.
int ADF5355_setReadbackMode(ADF5355 *pll, int on);
int ADF5355_enableRfOutputB(ADF5355 *pll);
int ADF5355_disableRfOutputB(ADF5355 *pll);
// Applies a table row: automatic calibration off and the VCO setting first, then the
// counters, R0 last (it starts the update).
int ADF5355_applyLut(ADF5355 *pll, const ADF5355LutEntry *entry);
uint64_t ADF5355_getMinimumVcoFrequency();
