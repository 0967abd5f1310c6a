// AD9912 emulator.
#include "sim_ad9912.h"

#include <cstdio>

#include "hw/ad9912_registers.h"
#include "sim_hw.h"

namespace {

constexpr uint32_t FTW_LOW = AD9912_REG_FTW_HIGH - 5;
constexpr uint32_t PHASE_LOW = AD9912_REG_PHASE_HIGH - 1;
constexpr uint16_t PHASE_MASK = 0x3FFF;
constexpr uint16_t STREAMING = 3;

const SimRegName registerNames[] = {
    {AD9912_REG_IOUPDATE, "IO_UPDATE"},
    {AD9912_REG_POWER, "POWER"},
    {AD9912_REG_RESET, "RESET"},
    {AD9912_REG_N_DIVIDER, "N_DIVIDER"},
    {AD9912_REG_PLL, "PLL"},
    {AD9912_REG_FTW_HIGH, "FTW0"},
    {AD9912_REG_PHASE_HIGH, "PHASE"},
    {AD9912_REG_DAC_CURRENT, "DAC_FSC"},
};

}  // namespace

SimAd9912::SimAd9912(int channel, uint32_t slave, uint64_t sysclkHz)
    : SimWordChip("AD9912", channel, slave, 0), clockHz_(sysclkHz) {}

void SimAd9912::reset() {
    regs_.clear();
    ftw_ = 0;
    phase_ = 0;
    pending_ = false;
}

void SimAd9912::update() {
    ftw_ = bytesFrom(AD9912_REG_FTW_HIGH, 6);
    phase_ = (uint16_t)(bytesFrom(AD9912_REG_PHASE_HIGH, 2) & PHASE_MASK);
    pending_ = false;
}

uint8_t SimAd9912::miso(size_t index) {
    if (index < 2 || frame_.size() < 2) return 0;
    uint16_t instr = (uint16_t)(frame_[0] << 8 | frame_[1]);
    if (!(instr & AD9912_READ)) return 0;
    return (uint8_t)reg((instr & AD9912_ADDRESS_MASK) - (uint32_t)(index - 2));
}

void SimAd9912::frameDone() {
    if (frame_.size() < 2) {
        violation("frame of %zu bytes has no instruction", frame_.size());
        return;
    }
    uint16_t instr = (uint16_t)(frame_[0] << 8 | frame_[1]);
    if (instr & AD9912_READ) return;
    size_t data = frame_.size() - 2;
    if (data == 0) {
        violation("write instruction 0x%04X without data", instr);
        return;
    }
    // Bits 14-13 give 1 to 3 bytes, or streaming (any count).
    uint16_t count = (uint16_t)((instr >> AD9912_COUNT_SHIFT) & 3);
    if (count != STREAMING && data != (size_t)count + 1) {
        violation("instruction 0x%04X announces %u byte(s), frame carries %zu", instr,
                  (unsigned)count + 1, data);
        return;
    }
    uint32_t address = instr & AD9912_ADDRESS_MASK;
    bool doUpdate = false;
    for (size_t i = 2; i < frame_.size(); i++, address--) {
        regs_[address] = frame_[i];
        if ((address >= FTW_LOW && address <= AD9912_REG_FTW_HIGH) ||
            (address >= PHASE_LOW && address <= AD9912_REG_PHASE_HIGH))
            pending_ = true;
        if (address == AD9912_REG_IOUPDATE && (frame_[i] & 1)) doUpdate = true;
    }
    if (doUpdate) update();
    static const DdsMap map = {registerNames,
                               sizeof(registerNames) / sizeof(*registerNames),
                               AD9912_REG_FTW_HIGH,
                               AD9912_REG_IOUPDATE,
                               AD9912_REG_PHASE_HIGH,
                               PHASE_MASK,
                               16384.0,
                               AD9912_REG_POWER,
                               "powered_down"};
    logDdsFrame(map, instr & AD9912_ADDRESS_MASK, clockHz_, AD9912_FTW_BITS, ftw_,
                poweredDown() ? "true" : "false");
}

void SimAd9912::ioupdate() {
    update();
}

bool SimAd9912::poweredDown() const {
    return (reg(AD9912_REG_POWER) & AD9912_POWER_DOWN) != 0;
}

KrFreq SimAd9912::clock() const {
    return {(int64_t)clockHz_, 0};
}

KrFreq SimAd9912::output() const {
    return tone(clockHz_, ftw_, AD9912_FTW_BITS);
}

void SimAd9912::describe(std::string &json) const {
    char text[160];
    snprintf(text, sizeof(text),
             ", \"ftw\": %llu, \"phase_word\": %u, \"powered_down\": %s, \"pending\": %s",
             (unsigned long long)ftw_, (unsigned)phase_, poweredDown() ? "true" : "false",
             pending_ ? "true" : "false");
    json += text;
    SimWordChip::describe(json);
}
