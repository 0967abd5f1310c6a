// AD9910 emulator.
#include "sim_ad9910.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "hw/ad9910_registers.h"
#include "platform/sim/int128.h"
#include "sim_hw.h"

namespace {

using u128 = kr_u128;

u128 toQ64(const KrFreq &f) {
    return ((u128)(uint64_t)f.integer << 64) | f.fraction;
}

KrFreq fromQ64(u128 v) {
    return {(int64_t)(uint64_t)(v >> 64), (uint64_t)v};
}

u128 sysclkOf(uint64_t refclkHz, uint32_t cfr3) {
    u128 f = (u128)refclkHz << 64;
    if (cfr3 & AD9910_CFR3_PLL_ENABLE)
        f *= (cfr3 & AD9910_CFR3_PLL_N_MASK) >> AD9910_CFR3_PLL_N_SHIFT;
    else if (!(cfr3 & AD9910_CFR3_INPUT_DIVIDER_BYPASS))
        f >>= 1;
    return f;
}

u128 toneOf(u128 clk, uint32_t ftw) {
    // sysclk stays below 2^32 Hz on every real configuration; beyond it trade the low bits.
    return (clk >> 96) ? (clk >> 32) * ftw : (clk * ftw) >> 32;
}

const SimRegName registerNames[] = {
    {AD9910_REG_CFR1, "CFR1"},
    {AD9910_REG_CFR2, "CFR2"},
    {AD9910_REG_CFR3, "CFR3"},
    {AD9910_REG_AUX_DAC, "AUX_DAC"},
    {AD9910_REG_IO_UPDATE_RATE, "IO_UPDATE_RATE"},
    {AD9910_REG_FTW, "FTW"},
    {AD9910_REG_POW, "POW"},
    {AD9910_REG_ASF, "ASF"},
    {AD9910_REG_MSR, "MSR"},
    {AD9910_REG_DRG_LIMIT, "DRG_LIMIT"},
    {AD9910_REG_DRG_STEP, "DRG_STEP"},
    {AD9910_REG_DRG_RATE, "DRG_RATE"},
    {AD9910_REG_PROFILE0, "PROFILE0"},
    {AD9910_REG_PROFILE0 + 1, "PROFILE1"},
    {AD9910_REG_PROFILE0 + 2, "PROFILE2"},
    {AD9910_REG_PROFILE0 + 3, "PROFILE3"},
    {AD9910_REG_PROFILE0 + 4, "PROFILE4"},
    {AD9910_REG_PROFILE0 + 5, "PROFILE5"},
    {AD9910_REG_PROFILE0 + 6, "PROFILE6"},
    {AD9910_REG_PROFILE0 + 7, "PROFILE7"},
    {AD9910_REG_RAM, "RAM"},
};

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
            logRegister(reg, n);
        }
        at += 1 + n;
    }
}

// The write as it will take effect at the next update (the buffered clock setting applies).
void SimAd9910::logRegister(int reg, size_t bytes) const {
    char fallback[16], text[64];
    const char *name = simchip_regName(registerNames, (uint32_t)reg, fallback, sizeof(fallback));
    uint64_t v = buffered_[reg];
    u128 clk = sysclkOf(refclkHz_, (uint32_t)buffered_[AD9910_REG_CFR3]);
    auto tone = [&](uint32_t word) {
        simhw_formatFreq(text, sizeof(text), fromQ64(toneOf(clk, word)));
        return text;
    };
    int digits = (int)bytes * 2;
    unsigned long long value = v;
    if (reg == AD9910_REG_FTW || (reg >= AD9910_REG_PROFILE0 && reg < AD9910_REG_RAM)) {
        uint32_t word = (uint32_t)(v & AD9910_PROFILE_FTW_MASK);
        if (reg == AD9910_REG_FTW)
            logWrite(name, "0x%0*llX ftw=%u frequency_hz=%s", digits, value, (unsigned)word,
                     tone(word));
        else
            logWrite(name, "0x%0*llX ftw=%u pow=%u asf=%u frequency_hz=%s", digits, value,
                     (unsigned)word, (unsigned)(uint16_t)(v >> AD9910_PROFILE_POW_SHIFT),
                     (unsigned)((v >> AD9910_PROFILE_ASF_SHIFT) & AD9910_ASF_FULL_SCALE),
                     tone(word));
    } else if (reg == AD9910_REG_POW) {
        logWrite(name, "0x%0*llX phase_rad=%.9f", digits, value, (double)v * (2 * M_PI / 65536.0));
    } else if (reg == AD9910_REG_CFR1) {
        logWrite(name, "0x%0*llX powered_down=%s", digits, value,
                 (v & AD9910_CFR1_POWER_DOWN) ? "true" : "false");
    } else if (reg == AD9910_REG_CFR2) {
        logWrite(name, "0x%0*llX ramp=%s single_tone_register=%s", digits, value,
                 (v & AD9910_CFR2_DRG_ENABLE) ? "on" : "off",
                 (v & AD9910_CFR2_PARALLEL_PORT) ? "true" : "false");
    } else if (reg == AD9910_REG_CFR3) {
        simhw_formatFreq(text, sizeof(text), fromQ64(clk));
        logWrite(name, "0x%0*llX sysclk_hz=%s", digits, value, text);
    } else if (reg == AD9910_REG_DRG_LIMIT) {
        char upper[64];
        simhw_formatFreq(upper, sizeof(upper), fromQ64(toneOf(clk, (uint32_t)(v >> 32))));
        logWrite(name, "0x%0*llX lower_hz=%s upper_hz=%s", digits, value, tone((uint32_t)v), upper);
    } else {
        logWrite(name, "0x%0*llX", digits, value);
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
    return fromQ64(sysclkOf(refclkHz_, (uint32_t)active_[AD9910_REG_CFR3]));
}

KrFreq SimAd9910::output() const {
    u128 clk = toQ64(sysclk());
    u128 f = toneOf(clk, ftw());
    if (dithering()) {
        // Time at the lower word: positive-slope rate; at the upper word: negative-slope rate.
        uint32_t rate = (uint32_t)active_[AD9910_REG_DRG_RATE];
        uint64_t up = rate & 0xFFFF, down = rate >> 16;
        if (up + down) f += ((clk * down) / (up + down)) >> 32;
    }
    return fromQ64(f);
}

KrFreq SimAd9910::tone(uint32_t word) const {
    return fromQ64(toneOf(toQ64(sysclk()), word));
}

SimAd9910::Chirp SimAd9910::chirp() const {
    Chirp c = {};
    c.on = ramping() && !dithering();
    if (!c.on) return c;
    uint64_t lim = active_[AD9910_REG_DRG_LIMIT], step = active_[AD9910_REG_DRG_STEP];
    uint32_t rate = (uint32_t)active_[AD9910_REG_DRG_RATE];
    uint32_t cfr2 = (uint32_t)active_[AD9910_REG_CFR2];
    bool high = cfr2 & AD9910_CFR2_DRG_NODWELL_HIGH, low = cfr2 & AD9910_CFR2_DRG_NODWELL_LOW;
    bool rising = (active_[AD9910_REG_CFR1] & AD9910_CFR1_AUTOCLEAR_DRG) != 0;
    if (high && low)
        c.direction = rising ? "updown" : "downup";
    else if (high || low)
        c.direction = high ? "up" : "down";
    else
        c.direction = rising ? "up" : "down";
    bool up = c.direction[0] == 'u';
    c.low = (uint32_t)lim;
    c.high = (uint32_t)(lim >> 32);
    c.step = up ? (uint32_t)step : (uint32_t)(step >> 32);
    c.rate = up ? (uint16_t)rate : (uint16_t)(rate >> 16);
    uint64_t span = c.high > c.low ? c.high - c.low : 0;
    uint64_t steps = c.step ? (span + c.step - 1) / c.step : 0;
    double clock =
        (double)(uint64_t)(sysclkOf(refclkHz_, (uint32_t)active_[AD9910_REG_CFR3]) >> 64);
    c.rampSeconds = clock > 0 ? (double)steps * c.rate * AD9910_DRG_RATE_CLOCKS / clock : 0;
    return c;
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
