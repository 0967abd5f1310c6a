// Controller board: the generator's power, frequency, shape and amplitude, and what drives
// the function-output connector.
#include "sim_cont.h"

#include <cstdio>

#include "hw/ad5432_registers.h"
#include "hw/ad5932_registers.h"
#include "hw/board_slaves.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krcont_registers.h"
#include "kr_generic_io.h"
#include "sim_chip.h"
#include "sim_fpga.h"
#include "sim_hw.h"

namespace {

// The amplitude DAC's full scale, and the fixed level of the logic (square) output.
constexpr double DAC_FULL_SCALE_V = 2.25;
constexpr double SQUARE_LEVEL_V = 2.5;

const char *connectorSource(const SimShiftRegister *sri, uint32_t triggerOutput) {
    bool dac = sri && sri->bit(KRCONT_SRI_FUNCOUT_DAC);
    bool sel1 = sri && sri->bit(KRCONT_SRI_FUNCOUT_SEL1);
    bool sel0 = sri && sri->bit(KRCONT_SRI_FUNCOUT_SEL0);
    if (dac && sel1) return "dac";
    if (sel1) return "lfg";
    if (sel0) return "pulm";
    if (simfpga_present()) {
        uint64_t fpga = (simfpga_register(FS_REG_FUNCOUT) >> FS_FUNCOUT_SOURCE_LOW) &
                        ((1u << (FS_FUNCOUT_SOURCE_HIGH - FS_FUNCOUT_SOURCE_LOW + 1)) - 1);
        if (fpga == FS_FUNCOUT_PULM) return "pulm";
        if (fpga == FS_FUNCOUT_TRIGGER) return "trigger";
        if (fpga == FS_FUNCOUT_OFF_HIGH) return "high";
    }
    // Otherwise the trigger-output line drives the connector.
    if (triggerOutput & KRTPT_OUT_LOW) return "low";
    if (triggerOutput & KRTPT_OUT_HIGH) return "high";
    if (triggerOutput == KRTPT_OUT_OFF) return "off";
    return "trigger";
}

}  // namespace

void simcont_json(std::string &json, uint32_t triggerOutput) {
    auto *sri = dynamic_cast<SimShiftRegister *>(simhw_chipBySlave(BOARD_CONT_SRI));
    auto *lfg = dynamic_cast<SimWordChip *>(simhw_chipBySlave(BOARD_CONT_LFG));
    auto *amp = dynamic_cast<SimWordChip *>(simhw_chipBySlave(BOARD_CONT_LFG_AMP));
    uint64_t control = lfg ? lfg->reg(AD5932_ADDR_CONTROL) : 0;
    bool powered = sri && sri->written() && !sri->bit(KRCONT_SRI_LFG_POWER_OFF) &&
                   (control & AD5932_CTRL_DAC_ENABLE);
    uint64_t word = lfg ? (lfg->reg(AD5932_ADDR_FSTART_HIGH) & AD5932_DATA_MASK) << 12 |
                              (lfg->reg(AD5932_ADDR_FSTART_LOW) & AD5932_DATA_MASK)
                        : 0;
    double hz = (double)word * (double)AD5932_MCLK_HZ / (double)(1ull << AD5932_FTW_BITS);
    bool square = (control & AD5932_CTRL_MSBOUT) && sri && sri->bit(KRCONT_SRI_FUNCOUT_SEL0);
    const char *shape = square ? "square" : (control & AD5932_CTRL_SINE) ? "sine" : "triangle";
    uint64_t code = amp ? (amp->reg(AD5432_CTRL_LOAD_UPDATE) >> AD5432_DATA_SHIFT) & 0x3FF : 0;
    double volts = square ? SQUARE_LEVEL_V : (double)code * DAC_FULL_SCALE_V / AD5432_DATA_MAX;
    const char *source = connectorSource(sri, triggerOutput);
    char text[320];
    snprintf(text, sizeof(text),
             ",\n \"lfg\": {\"powered\": %s, \"frequency_hz\": %.6f, \"shape\": \"%s\", "
             "\"amplitude_v\": %.6f},\n \"function_output\": {\"source\": \"%s\", "
             "\"enabled\": %s}",
             powered ? "true" : "false", hz, shape, volts, source,
             std::string(source) == "off" ? "false" : "true");
    json += text;
}
