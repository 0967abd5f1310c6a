// AD9164 emulator.
#include "sim_ad9164.h"

#include <cstdio>

#include "hw/ad9164_registers.h"
#include "sim_hw.h"

namespace {

constexpr uint8_t JESD_ALL_LANES = 0xFF;

const SimRegName registerNames[] = {
    {AD9164_REG_DATAPATH, "DATAPATH_CFG"},      {AD9164_REG_NCO_UPDATE, "DDSM_FTW_UPDATE"},
    {AD9164_REG_NCO_FTW_HIGH, "DDSM_FTW"},      {AD9164_REG_NCO_PHASE_HIGH, "DDSM_PHASE_OFFSET"},
    {AD9164_REG_OUTPUT_DIV, "OUTPUT_DIV"},      {AD9164_REG_OUTPUT_MULT, "OUTPUT_MULT"},
    {AD9164_REG_CLOCK_PHASE, "CLK_PHASE_TUNE"},
};

}  // namespace

SimAd9164::SimAd9164(int channel, uint32_t slave, uint64_t dacClockHz)
    : SimWordChip("AD9164", channel, slave, 0), clockHz_(dacClockHz) {}

void SimAd9164::reset() {
    regs_.clear();
    ftw_ = 0;
    phase_ = 0;
    pending_ = false;
}

uint8_t SimAd9164::miso(size_t index) {
    if (index < 2 || frame_.size() < 2) return 0;
    uint16_t instr = (uint16_t)(frame_[0] << 8 | frame_[1]);
    if (!(instr & AD9164_READ)) return 0;
    uint32_t address = (instr & AD9164_ADDRESS_MASK) - (uint32_t)(index - 2);
    if (address == AD9164_REG_JESD_STATUS) return JESD_ALL_LANES;
    return (uint8_t)reg(address);
}

void SimAd9164::frameDone() {
    if (frame_.size() < 2) {
        violation("frame of %zu bytes has no instruction", frame_.size());
        return;
    }
    uint16_t instr = (uint16_t)(frame_[0] << 8 | frame_[1]);
    if (instr & AD9164_READ) return;
    if (frame_.size() == 2) {
        violation("write instruction 0x%04X without data", instr);
        return;
    }
    uint32_t address = instr & AD9164_ADDRESS_MASK;
    bool load = false;
    for (size_t i = 2; i < frame_.size(); i++, address--) {
        regs_[address] = frame_[i];
        if (address >= AD9164_REG_NCO_FTW_LOW && address <= AD9164_REG_NCO_PHASE_HIGH)
            pending_ = true;
        if (address == AD9164_REG_NCO_UPDATE && (frame_[i] & 1)) load = true;
    }
    if (load) {
        ftw_ = bytesFrom(AD9164_REG_NCO_FTW_HIGH, 6);
        phase_ = (uint16_t)bytesFrom(AD9164_REG_NCO_PHASE_HIGH, 2);
        pending_ = false;
        loads_++;
    }
    static const DdsMap map = {registerNames,
                               sizeof(registerNames) / sizeof(*registerNames),
                               AD9164_REG_NCO_FTW_HIGH,
                               AD9164_REG_NCO_UPDATE,
                               AD9164_REG_NCO_PHASE_HIGH,
                               0xFFFF,
                               65536.0,
                               AD9164_REG_DATAPATH,
                               "nco"};
    logDdsFrame(map, instr & AD9164_ADDRESS_MASK, clockHz_, AD9164_FTW_BITS, ftw_,
                ncoEnabled() ? "on" : "off");
}

bool SimAd9164::ncoEnabled() const {
    return (reg(AD9164_REG_DATAPATH) & (AD9164_DATAPATH_NCO | AD9164_DATAPATH_NCO_ONLY)) != 0;
}

KrFreq SimAd9164::clock() const {
    return {(int64_t)clockHz_, 0};
}

KrFreq SimAd9164::output() const {
    return tone(clockHz_, ftw_, AD9164_FTW_BITS);
}

void SimAd9164::describe(std::string &json) const {
    char text[160];
    snprintf(text, sizeof(text),
             ", \"ftw\": %llu, \"phase_word\": %u, \"nco\": %s, \"pending\": %s",
             (unsigned long long)ftw_, (unsigned)phase_, ncoEnabled() ? "true" : "false",
             pending_ ? "true" : "false");
    json += text;
    SimWordChip::describe(json);
}
