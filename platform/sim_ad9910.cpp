// AD9910 emulator.
#include "sim_ad9910.h"

#include <cstdio>
#include <cstring>

#include "hw/ad9910_registers.h"

namespace {

typedef unsigned __int128 u128;

u128 toQ64(const KrFreq &f) {
    return ((u128)(uint64_t)f.integer << 64) | f.fraction;
}

KrFreq fromQ64(u128 v) {
    return {(int64_t)(uint64_t)(v >> 64), (uint64_t)v};
}

}  // namespace

SimAd9910::SimAd9910(int channel, uint32_t slave, uint64_t refclkHz)
    : SimChip("AD9910", channel, 0, slave), refclkHz_(refclkHz) {
    reset();
}

void SimAd9910::reset() {
    memset(buffered_, 0, sizeof(buffered_));
    buffered_[AD9910_REG_CFR2] = 0x00400820;
    buffered_[AD9910_REG_CFR3] = 0x17384000;
    buffered_[AD9910_REG_PROFILE0] = (uint64_t)AD9910_ASF_FULL_SCALE << AD9910_PROFILE_ASF_SHIFT;
    memcpy(active_, buffered_, sizeof(active_));
    changed_ = false;
}

uint8_t SimAd9910::miso(size_t index) {
    // Byte index of the frame: the instruction came first; the register follows it.
    if (index == 0 || frame_.empty()) return 0;
    uint8_t instr = frame_[0];
    if (!(instr & AD9910_INSTR_READ)) return 0;
    int reg = instr & AD9910_INSTR_ADDRESS_MASK;
    if (reg >= AD9910_REGISTERS || AD9910_REG_BYTES[reg] == 0) return 0;
    size_t n = AD9910_REG_BYTES[reg];
    if (index > n) return 0;
    return (uint8_t)(buffered_[reg] >> (8 * (n - index)));
}

void SimAd9910::frameDone() {
    // One or more instructions may follow each other within one chip select.
    size_t at = 0;
    while (at < frame_.size()) {
        uint8_t instr = frame_[at];
        int reg = instr & AD9910_INSTR_ADDRESS_MASK;
        if (reg >= AD9910_REGISTERS || AD9910_REG_BYTES[reg] == 0) {
            violation("no register 0x%02X (instruction 0x%02X)", reg, instr);
            return;
        }
        size_t n = AD9910_REG_BYTES[reg];
        if (frame_.size() - at < 1 + n) {
            violation("register 0x%02X needs %zu data bytes, got %zu", reg, n,
                      frame_.size() - at - 1);
            return;
        }
        if (!(instr & AD9910_INSTR_READ)) {
            uint64_t v = 0;
            for (size_t i = 0; i < n; i++)
                v = (v << 8) | frame_[at + 1 + i];
            buffered_[reg] = v;
            changed_ = true;
        }
        at += 1 + n;
    }
}

void SimAd9910::ioupdate() {
    memcpy(active_, buffered_, sizeof(active_));
    changed_ = false;
}

bool SimAd9910::poweredDown() const {
    return (active_[AD9910_REG_CFR1] & AD9910_CFR1_POWER_DOWN) != 0;
}

bool SimAd9910::ramping() const {
    uint32_t cfr2 = (uint32_t)active_[AD9910_REG_CFR2];
    return (cfr2 & AD9910_CFR2_DRG_ENABLE) && ((cfr2 & AD9910_CFR2_DRG_DEST_MASK) == 0);
}

bool SimAd9910::dithering() const {
    if (!ramping()) return false;
    uint64_t lim = active_[AD9910_REG_DRG_LIMIT];
    return (uint32_t)(lim >> 32) == (uint32_t)lim + 1;
}

uint32_t SimAd9910::ftw() const {
    if (ramping()) return (uint32_t)active_[AD9910_REG_DRG_LIMIT];
    if (active_[AD9910_REG_CFR2] & AD9910_CFR2_PARALLEL_PORT)
        return (uint32_t)active_[AD9910_REG_FTW];
    return (uint32_t)(active_[AD9910_REG_PROFILE0] & AD9910_PROFILE_FTW_MASK);
}

uint16_t SimAd9910::pow() const {
    if (active_[AD9910_REG_CFR2] & AD9910_CFR2_PARALLEL_PORT)
        return (uint16_t)active_[AD9910_REG_POW];
    return (uint16_t)(active_[AD9910_REG_PROFILE0] >> AD9910_PROFILE_POW_SHIFT);
}

KrFreq SimAd9910::sysclk() const {
    uint32_t cfr3 = (uint32_t)active_[AD9910_REG_CFR3];
    u128 f = (u128)refclkHz_ << 64;
    if (cfr3 & AD9910_CFR3_PLL_ENABLE)
        f *= (cfr3 & AD9910_CFR3_PLL_N_MASK) >> AD9910_CFR3_PLL_N_SHIFT;
    else if (!(cfr3 & AD9910_CFR3_INPUT_DIVIDER_BYPASS))
        f >>= 1;
    return fromQ64(f);
}

KrFreq SimAd9910::output() const {
    u128 clk = toQ64(sysclk());
    // sysclk stays below 2^32 Hz on every real configuration; beyond it trade the low bits.
    u128 f = (clk >> 96) ? (clk >> 32) * ftw() : (clk * ftw()) >> 32;
    if (dithering()) {
        // Time at the lower word: positive-slope rate; at the upper word: negative-slope rate.
        uint32_t rate = (uint32_t)active_[AD9910_REG_DRG_RATE];
        uint64_t up = rate & 0xFFFF, down = rate >> 16;
        if (up + down) f += ((clk * down) / (up + down)) >> 32;
    }
    return fromQ64(f);
}

void SimAd9910::describe(std::string &json) const {
    char text[256];
    snprintf(text, sizeof(text),
             ", \"cfr1\": %u, \"cfr2\": %u, \"cfr3\": %u, \"ftw\": %u, \"pow\": %u, \"ramp\": %s, "
             "\"pending\": %s",
             (unsigned)active_[AD9910_REG_CFR1], (unsigned)active_[AD9910_REG_CFR2],
             (unsigned)active_[AD9910_REG_CFR3], (unsigned)ftw(), (unsigned)pow(),
             ramping() ? "true" : "false", changed_ ? "true" : "false");
    json += text;
}
