// Controller board: fan potentiometer, temperature sensor, RF switch bit.
#include "modulation/krcont.h"

#include "config/device_config.h"
#include "core/printd.h"
#include "hw/board_slaves.h"
#include "hw/fs_fpga.h"
#include "hw/krcont_registers.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "hw/mcp4131.h"
#include "hw/sri.h"
#include "hw/tc77.h"

namespace {
struct Krcont {
    bool initialised;
    bool fanAuto;
    bool fanOn;
    double fanDac;
    MCP4131 fanPot;
    TC77 temperature;
    bool rfDisabled;
    SRI shiftRegister;  // standard variant; the FS variant's sits behind the FPGA link
} cont = {false, true, false, 0.0, {}, {}, false, {}};

void ensure() {
    if (!cont.initialised) KRCONT_init();
}
}  // namespace

int KRCONT_init() {
    cont.initialised = true;
    cont.fanAuto = true;
    cont.fanOn = false;
    cont.fanDac = 0;
    int r = MCP4131_init(&cont.fanPot, BOARD_CONT_FAN_POT);
    int t = TC77_init(&cont.temperature, BOARD_CONT_TEMP);
    if (!device_config_usesOptionFs()) {
        const uint8_t zeros[KRCONT_SRI_BYTES] = {};
        SRI_init(&cont.shiftRegister, krspi_makeWord(BOARD_CONT_SRI, 0, 5), zeros,
                 KRCONT_SRI_BYTES);
    }
    return r < 0 ? r : t;
}

int KRCONT_isFanAuto() {
    return cont.fanAuto ? 1 : 0;
}

int KRCONT_setFanAuto(int automatic) {
    cont.fanAuto = automatic != 0;
    return 0;
}

int KRCONT_enableFan_imm() {
    ensure();
    cont.fanOn = true;
    return MCP4131_setRatio(&cont.fanPot, cont.fanDac);
}

int KRCONT_disableFan_imm() {
    ensure();
    cont.fanOn = false;
    return MCP4131_setWiper(&cont.fanPot, 0);
}

int KRCONT_isFanEnabled() {
    return cont.fanOn ? 1 : 0;
}

int KRCONT_setFanDac_imm(double dac) {
    ensure();
    if (dac < 0) dac = 0;
    if (dac > 1) dac = 1;
    cont.fanDac = dac;
    return cont.fanOn ? MCP4131_setRatio(&cont.fanPot, dac) : 0;
}

double KRCONT_getFanDac() {
    return cont.fanOn ? cont.fanDac : 0.0;
}

int KRCONT_getTemperature_async(double *celsius) {
    ensure();
    return TC77_readTemperature_async(&cont.temperature, celsius);
}

int KRCONT_disableRF() {
    printd("KRCONT_disableRF(): RF off at the controller\n");
    cont.rfDisabled = true;
    return krgio_blankRf(1);
}

int KRCONT_enableRF() {
    if (!cont.rfDisabled) return 0;
    printd("KRCONT_enableRF(): RF released at the controller\n");
    cont.rfDisabled = false;
    return krgio_blankRf(0);
}

SRI *KRCONT_getShiftRegister() {
    ensure();
    return device_config_usesOptionFs() ? FS_FPGA_getControlShiftRegister() : &cont.shiftRegister;
}
