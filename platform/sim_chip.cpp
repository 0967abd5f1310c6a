// Chip emulators: wire handling and the converter, potentiometer, attenuator, flash and
// register-keeping chips.
#include "sim_chip.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hw/ad5640_registers.h"
#include "hw/ad5643_registers.h"
#include "hw/ad5760_registers.h"
#include "hw/ad5932_registers.h"
#include "hw/ad8402_registers.h"
#include "hw/adc_registers.h"
#include "hw/adf4002_registers.h"
#include "hw/hmc7043_registers.h"
#include "hw/step_attenuator_registers.h"
#include "hw/tc77_registers.h"
#include "hw/w25q_registers.h"
#include "platform/sim/int128.h"
#include "sim_hw.h"

namespace {

const StepAttenuatorPart *attenuatorPart(const char *type) {
    static const StepAttenuatorPart *const parts[] = {&STEP_ATT_HMC624, &STEP_ATT_HMC1018,
                                                      &STEP_ATT_HMC424, &STEP_ATT_ADRF57X0,
                                                      &STEP_ATT_ADRF57X1};
    for (const StepAttenuatorPart *p : parts)
        if (strcmp(p->name, type) == 0) return p;
    return &STEP_ATT_HMC624;
}

void appendField(std::string &json, const char *name, double v) {
    char text[96];
    snprintf(text, sizeof(text), ", \"%s\": %.10g", name, v);
    json += text;
}

}  // namespace

const char *simchip_regName(const SimRegName *table, size_t count, uint32_t address, char *fallback,
                            size_t size) {
    for (size_t i = 0; i < count; i++)
        if (table[i].address == address) return table[i].name;
    snprintf(fallback, size, "REG_0x%02X", (unsigned)address);
    return fallback;
}

// ---------------------------------------------------------------------------------------
// SimChip

SimChip::SimChip(const char *type, int channel, uint32_t bus, uint32_t slave)
    : type_(type), channel_(channel), bus_(bus), slave_(slave) {
    frame_.reserve(64);
}

void SimChip::resetWire() {
    selected_ = false;
    frames_ = 0;
    frame_.clear();
}

void SimChip::select() {
    if (selected_) violation("chip select asserted twice");
    selected_ = true;
    frame_.clear();
}

uint8_t SimChip::transfer(uint8_t mosi) {
    if (!selected_) {
        violation("byte clocked without chip select");
        select();
    }
    uint8_t out = miso(frame_.size());
    frame_.push_back(mosi);
    return out;
}

void SimChip::deselect() {
    if (!selected_) {
        violation("chip select released without select");
        return;
    }
    selected_ = false;
    frames_++;
    if (!frame_.empty()) frameDone();
    frame_.clear();
}

void SimChip::violation(const char *format, ...) const {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    simhw_violation("%s at slave %u (bus %u): %s", type_, (unsigned)slave_, (unsigned)bus_, text);
}

uint64_t SimChip::frameValue(size_t from) const {
    uint64_t w = 0;
    for (size_t i = from; i < frame_.size() && i < from + 8; i++)
        w = (w << 8) | frame_[i];
    return w;
}

void SimChip::logWrite(const char *reg, const char *format, ...) const {
    va_list args;
    va_start(args, format);
    simhw_logRegister(channel_, type_, reg, format, args);
    va_end(args);
}

uint64_t SimChip::frameWord() const {
    uint64_t w = 0;
    size_t n = frame_.size() < 8 ? frame_.size() : 8;
    for (size_t i = frame_.size() - n; i < frame_.size(); i++)
        w = (w << 8) | frame_[i];
    return w;
}

// ---------------------------------------------------------------------------------------
// Shift registers

SimShiftRegister::SimShiftRegister(const char *type, int channel, uint32_t slave, size_t bytes)
    : SimChip(type, channel, 0, slave), fixed_(bytes), image_(bytes) {}

void SimShiftRegister::frameDone() {
    size_t n = frame_.size();
    if (!fixed_) {
        image_.assign(n, 0);  // open length: takes the length the board module shifts in
    } else {
        if (n != fixed_) violation("%zu bytes shifted in, the register holds %zu", n, fixed_);
        // Earlier contents move up the chain by the bytes shifted in.
        for (size_t i = image_.size(); i-- > n;)
            image_[i] = image_[i - n];
    }
    for (size_t i = 0; i < n && i < image_.size(); i++)
        image_[i] = frame_[n - 1 - i];
    written_ = true;
    // Board-level registers (reference, controller) switch their paths at once, without an
    // I/O update.
    if (channel() < 0) simhw_boardRegisterChanged();
    if (simhw_logFull()) {
        logWrite("IMAGE", "%s", "");  // counted as left out
        if (channel() >= 0) simhw_levelLatch(this);
        return;
    }
    char hex[2 * 32 + 4];
    size_t shown = image_.size() < 32 ? image_.size() : 32, at = 0;
    for (size_t i = shown; i-- > 0; at += 2)
        snprintf(hex + at, 3, "%02X", image_[i]);
    hex[at] = 0;
    char meaning[256];
    simhw_describeShiftRegister(this, meaning, sizeof(meaning));
    logWrite("IMAGE", "0x%s%s%s", image_.size() > shown ? "..." : "", hex, meaning);
    if (channel() >= 0) simhw_levelLatch(this);
}

bool SimShiftRegister::bit(int b) const {
    size_t byte = (size_t)b / 8;
    return byte < image_.size() && ((image_[byte] >> (b % 8)) & 1);
}

uint64_t SimShiftRegister::field(int low, int width) const {
    uint64_t v = 0;
    for (int i = width - 1; i >= 0; i--)
        v = (v << 1) | (bit(low + i) ? 1 : 0);
    return v;
}

void SimShiftRegister::reset() {
    image_.assign(fixed_, 0);
    written_ = false;
}

void SimShiftRegister::describe(std::string &json) const {
    json += ", \"image\": \"";
    char hex[4];
    for (size_t i = image_.size(); i-- > 0;) {
        snprintf(hex, sizeof(hex), "%02X", image_[i]);
        json += hex;
    }
    json += "\"";
}

// ---------------------------------------------------------------------------------------
// Word chips

SimWordChip::SimWordChip(const char *type, int channel, uint32_t slave, size_t wordBytes)
    : SimChip(type, channel, 0, slave), wordBytes_(wordBytes) {}

uint64_t SimWordChip::reg(uint32_t address, uint64_t otherwise) const {
    auto it = regs_.find(address);
    return it == regs_.end() ? otherwise : it->second;
}

void SimWordChip::frameDone() {
    if (wordBytes_ && frame_.size() % wordBytes_ != 0) {
        violation("%zu bytes in a frame of %zu-byte words", frame_.size(), wordBytes_);
        return;
    }
    size_t step = wordBytes_ ? wordBytes_ : frame_.size();
    for (size_t at = 0; at < frame_.size(); at += step) {
        uint64_t w = 0;
        for (size_t i = 0; i < step; i++)
            w = (w << 8) | frame_[at + i];
        word(w);
    }
}

uint64_t SimWordChip::bytesFrom(uint32_t high, int bytes) const {
    uint64_t v = 0;
    for (int i = 0; i < bytes; i++)
        v = (v << 8) | (reg(high - (uint32_t)i) & 0xFF);
    return v;
}

KrFreq SimWordChip::tone(uint64_t clockHz, uint64_t word, uint32_t bits) {
    // clock x word stays within 128 bits for clocks below 2^(80 - bits) GHz.
    kr_u128 f = (kr_u128)clockHz * word << (64 - bits);
    return {(int64_t)(uint64_t)(f >> 64), (uint64_t)f};
}

void SimWordChip::logDdsFrame(const DdsMap &m, uint32_t address, uint64_t clockHz, uint32_t bits,
                              uint64_t loaded, const char *flagValue) const {
    char fallback[16], f[64];
    const char *name = simchip_regName(m.names, m.count, address, fallback, sizeof(fallback));
    size_t bytes = frame_.size() - 2;
    int digits = (int)(bytes < 8 ? bytes : 8) * 2;
    unsigned long long value = frameValue(2);
    if (address == m.ftwHigh || address == m.load) {
        uint64_t word = address == m.load ? loaded : bytesFrom(m.ftwHigh, (int)bits / 8);
        simhw_formatFreq(f, sizeof(f), tone(clockHz, word, bits));
        logWrite(name, "0x%0*llX ftw=%llu frequency_hz=%s%s", digits, value,
                 (unsigned long long)word, f, address == m.load ? " in_effect" : "");
    } else if (address == m.phaseHigh) {
        logWrite(name, "0x%0*llX phase_rad=%.9f", digits, value,
                 (double)(bytesFrom(m.phaseHigh, 2) & m.phaseMask) * (2 * M_PI / m.phaseSteps));
    } else if (address == m.flagAddress) {
        logWrite(name, "0x%0*llX %s=%s", digits, value, m.flag, flagValue);
    } else {
        logWrite(name, "0x%0*llX", digits, value);
    }
}

void SimWordChip::describe(std::string &json) const {
    json += ", \"registers\": {";
    bool first = true;
    char text[64];
    for (const auto &r : regs_) {
        snprintf(text, sizeof(text), "%s\"%u\": %llu", first ? "" : ", ", (unsigned)r.first,
                 (unsigned long long)r.second);
        json += text;
        first = false;
    }
    json += "}";
}

void SimAd5643::word(uint64_t w) {
    uint32_t command = (uint32_t)(w >> AD5643_COMMAND_SHIFT) & 7;
    uint32_t address = (uint32_t)(w >> AD5643_ADDRESS_SHIFT) & 7;
    uint32_t data = (uint32_t)(w >> AD5643_DATA_SHIFT) & AD5643_DATA_MAX;
    if (w >> 22) violation("word 0x%06llX has bits above the command", (unsigned long long)w);
    bool all = address == AD5643_ADDR_ALL;
    if (!all && address > AD5643_ADDR_B && command <= AD5643_CMD_WRITE_UPDATE) {
        violation("no DAC at address %u", (unsigned)address);
        return;
    }
    static const char *const commands[] = {"write_input",  "update_dac", "write_update_all",
                                           "write_update", "power",      "reset",
                                           "ldac",         "reference"};
    const char *name = command > AD5643_CMD_WRITE_UPDATE ? "CONTROL"
                       : all                             ? "DAC_ALL"
                       : address == AD5643_ADDR_A        ? "DAC_A"
                                                         : "DAC_B";
    if (command > AD5643_CMD_WRITE_UPDATE)
        logWrite(name, "0x%04X command=%s", (unsigned)(w & 0xFFFF), commands[command]);
    else
        logWrite(name, "%u command=%s", (unsigned)data, commands[command]);
    // Channel A's output moves when its DAC register is loaded (the level set point).
    bool loadsA = command == AD5643_CMD_RESET || command == AD5643_CMD_WRITE_UPDATE_ALL ||
                  ((command == AD5643_CMD_UPDATE_DAC || command == AD5643_CMD_WRITE_UPDATE) &&
                   (all || address == AD5643_ADDR_A));
    if (loadsA) loadsA_++;
    for (int n = 0; n < 2; n++) {
        bool addressed = all || address == (uint32_t)n;
        switch (command) {
            case AD5643_CMD_WRITE_INPUT:
                if (addressed) regs_[0x00 + n] = data;
                break;
            case AD5643_CMD_UPDATE_DAC:
                if (addressed) regs_[0x10 + n] = reg(0x00 + n);
                break;
            case AD5643_CMD_WRITE_UPDATE_ALL:
                if (addressed) regs_[0x00 + n] = data;
                regs_[0x10 + n] = reg(0x00 + n);
                break;
            case AD5643_CMD_WRITE_UPDATE:
                if (addressed) regs_[0x00 + n] = regs_[0x10 + n] = data;
                break;
            case AD5643_CMD_POWER:
                if ((w >> n) & 1) regs_[0x20 + n] = (w >> AD5643_POWER_MODE_SHIFT) & 3;
                break;
            case AD5643_CMD_RESET:
                regs_.clear();
                n = 2;
                break;
            default:
                regs_[0x30 + command] = w & 0xFFFF;
                break;
        }
    }
    if (loadsA) simhw_levelLatch(this);
}

void SimAd5640::word(uint64_t w) {
    regs_[0] = w & AD5640_DATA_MAX;
    regs_[1] = (w >> AD5640_MODE_SHIFT) & 3;
    logWrite("DAC", "%u power_mode=%u", (unsigned)regs_[0], (unsigned)regs_[1]);
}

uint8_t SimAd5760::miso(size_t index) {
    return index < 3 ? (uint8_t)(readback_ >> (8 * (2 - index))) : 0;
}

void SimAd5760::word(uint64_t w) {
    uint32_t address = (uint32_t)(w >> AD5760_ADDRESS_SHIFT) & 7;
    if (w & AD5760_READ) {
        readback_ =
            (uint32_t)((address << AD5760_ADDRESS_SHIFT) | (reg(address) & AD5760_DATA_MASK));
        return;
    }
    readback_ = 0;
    static const char *const names[] = {"NOP",      "DAC",      "CONTROL",  "CLEARCODE",
                                        "SOFTWARE", "REG_0x05", "REG_0x06", "REG_0x07"};
    if (address != AD5760_ADDR_NOP)
        logWrite(names[address], "0x%05X", (unsigned)(w & AD5760_DATA_MASK));
    if (address == AD5760_ADDR_SOFTWARE && (w & AD5760_SW_RESET)) {
        regs_.clear();
        return;
    }
    if (address != AD5760_ADDR_NOP) regs_[address] = w & AD5760_DATA_MASK;
}

void SimAd8402::word(uint64_t w) {
    if ((w & 0xFFFF) >> 10) violation("word 0x%04X has bits above the 10-bit word", (unsigned)w);
    uint32_t wiper = (uint32_t)(w >> AD8402_ADDRESS_SHIFT) & 3;
    regs_[wiper] = w & AD8402_VALUE_MAX;
    char reg[8];
    snprintf(reg, sizeof(reg), "RDAC%u", (unsigned)wiper + 1);
    logWrite(reg, "%u", (unsigned)(w & AD8402_VALUE_MAX));
}

SimStepAttenuator::SimStepAttenuator(const char *type, int channel, uint32_t slave)
    : SimWordChip(type, channel, slave, 1) {}

void SimStepAttenuator::word(uint64_t w) {
    const StepAttenuatorPart *p = attenuatorPart(type());
    if (((uint32_t)w & ~((uint32_t)p->maxCode << p->shift) & 0xFF) != 0)
        violation("word 0x%02X has bits outside the code", (unsigned)w);
    regs_[0] = stepAtt_code(*p, (uint8_t)w);
    logWrite("ATTENUATION", "%u attenuation_db=%.1f", (unsigned)regs_[0], attenuationDb());
    simhw_levelLatch(this);  // the attenuation changes as the latch enable falls
}

double SimStepAttenuator::attenuationDb() const {
    const StepAttenuatorPart *p = attenuatorPart(type());
    return has(0) ? reg(0) * p->stepDb : 0.0;
}

// ---------------------------------------------------------------------------------------
// Read converters

SimAdc::SimAdc(const char *type, int channel, uint32_t slave, uint32_t value, Reads reads)
    : SimChip(type, channel, 0, slave), value_(value), reads_(reads) {}

uint32_t SimAdc::reading() const {
    if (reads_ == Reads::Fixed) return value_;
    bool controller = reads_ == Reads::LevelController;
    char name[32];
    snprintf(name, sizeof(name), "%s-%d", controller ? "alc-adc" : "vco-adc", channel());
    double v;
    // The stimulus is the 14-bit value the firmware reports; the AD7680 has two more bits.
    if (simhw_stimulus(name, &v) && v >= 0 && v <= 16383)
        return controller ? (uint32_t)v << 2 : (uint32_t)v;
    return forced_ ? value_ : simhw_levelReading(channel(), controller);
}

uint8_t SimAdc::miso(size_t index) {
    if (index == 0) converted_ = reading();
    uint64_t frame;
    size_t bytes;
    if (strcmp(type(), "AD7680") == 0) {
        frame = (uint64_t)(converted_ & AD7680_MAX) << AD7680_SHIFT;
        bytes = AD7680_FRAME_BYTES;
    } else if (strcmp(type(), "LTC2313") == 0) {
        frame = (uint64_t)(converted_ & LTC2313_MAX) << LTC2313_SHIFT;
        bytes = LTC2313_FRAME_BYTES;
    } else {
        frame = (uint64_t)(converted_ & AD7940_MAX) << AD7940_SHIFT;
        bytes = AD7940_FRAME_BYTES;
    }
    return index < bytes ? (uint8_t)(frame >> (8 * (bytes - 1 - index))) : 0;
}

void SimAdc::describe(std::string &json) const {
    appendField(json, "value", reading());
}

// A person or a test outside the process heats a board by writing degrees Celsius into
// $KORVANE_ROOT/sim/temperature-<channel 0-7 or "controller">; the sensor reads it at the
// start of every conversion read.
void SimTc77::pollOverride() {
    char name[32];
    if (channel() < 0)
        snprintf(name, sizeof(name), "temperature-controller");
    else
        snprintf(name, sizeof(name), "temperature-%d", channel());
    double c;
    if (simhw_stimulus(name, &c) && c > -100 && c < 300) celsius_ = c;
}

uint8_t SimTc77::miso(size_t index) {
    if (index == 0) pollOverride();
    int32_t steps = (int32_t)std::lround(celsius_ / TC77_CELSIUS_PER_STEP);
    uint16_t w = (uint16_t)(((uint32_t)steps << TC77_TEMPERATURE_SHIFT) | TC77_CONVERSION_DONE);
    return index == 0 ? (uint8_t)(w >> 8) : index == 1 ? (uint8_t)w : 0;
}

void SimTc77::describe(std::string &json) const {
    appendField(json, "celsius", celsius_);
}

// ---------------------------------------------------------------------------------------
// Serial flash

SimW25q::SimW25q(int channel, uint32_t slave) : SimChip("W25Q", channel, 0, slave) {}

void SimW25q::reset() {
    memory_.clear();
    writeEnabled_ = false;
}

uint8_t SimW25q::miso(size_t index) {
    if (frame_.empty()) return 0;
    switch (frame_[0]) {
        case W25Q_JEDEC_ID:
            return index >= 1 && index <= 3 ? (uint8_t)(W25Q_JEDEC_VALUE >> (8 * (3 - index))) : 0;
        case W25Q_READ_STATUS1:
            return writeEnabled_ ? W25Q_STATUS_WEL : 0;
        case W25Q_READ_STATUS2:
            return 0;
        case W25Q_READ_DATA: {
            if (index < 4) return 0;
            uint32_t a = ((uint32_t)frame_[1] << 16 | (uint32_t)frame_[2] << 8 | frame_[3]) +
                         (uint32_t)(index - 4);
            return a < memory_.size() ? memory_[a] : 0xFF;
        }
        default:
            return 0;
    }
}

void SimW25q::frameDone() {
    uint8_t op = frame_[0];
    uint32_t a =
        frame_.size() >= 4 ? ((uint32_t)frame_[1] << 16 | (uint32_t)frame_[2] << 8 | frame_[3]) : 0;
    auto erase = [&](uint32_t from, uint32_t n) {
        for (uint32_t i = from; i < from + n && i < memory_.size(); i++)
            memory_[i] = 0xFF;
    };
    switch (op) {
        case W25Q_WRITE_ENABLE:
            writeEnabled_ = true;
            return;
        case W25Q_WRITE_DISABLE:
            writeEnabled_ = false;
            return;
        case W25Q_PAGE_PROGRAM:
            if (!writeEnabled_) {
                violation("page program without write enable");
                return;
            }
            if (frame_.size() > 4 + W25Q_PAGE_BYTES) violation("page program of more than a page");
            if (memory_.size() < a + W25Q_PAGE_BYTES) memory_.resize(a + W25Q_PAGE_BYTES, 0xFF);
            for (size_t i = 4; i < frame_.size(); i++) {
                uint32_t at = (a & ~(W25Q_PAGE_BYTES - 1)) |
                              ((a + (uint32_t)(i - 4)) & (W25Q_PAGE_BYTES - 1));
                memory_[at] &= frame_[i];  // programming only clears bits
            }
            logWrite("PAGE_PROGRAM", "0x%06X bytes=%zu", (unsigned)a, frame_.size() - 4);
            break;
        case W25Q_SECTOR_ERASE:
        case W25Q_BLOCK_ERASE:
        case W25Q_CHIP_ERASE:
            if (!writeEnabled_) {
                violation("erase without write enable");
                return;
            }
            logWrite(op == W25Q_CHIP_ERASE     ? "CHIP_ERASE"
                     : op == W25Q_SECTOR_ERASE ? "SECTOR_ERASE"
                                               : "BLOCK_ERASE",
                     "0x%06X", (unsigned)a);
            if (op == W25Q_CHIP_ERASE)
                memory_.clear();
            else if (op == W25Q_SECTOR_ERASE)
                erase(a & ~(W25Q_SECTOR_BYTES - 1), W25Q_SECTOR_BYTES);
            else
                erase(a & ~(W25Q_BLOCK_BYTES - 1), W25Q_BLOCK_BYTES);
            break;
        case W25Q_WRITE_STATUS:
            if (!writeEnabled_) violation("status write without write enable");
            break;
        default:
            return;
    }
    writeEnabled_ = false;
}

// ---------------------------------------------------------------------------------------
// Register-keeping chips

SimRegisterChip::SimRegisterChip(const char *type, int channel, uint32_t slave, Layout layout,
                                 size_t bytes, int controlBits)
    : SimWordChip(type, channel, slave, bytes), layout_(layout), controlBits_(controlBits) {}

void SimRegisterChip::frameDone() {
    if (layout_ != Layout::Instruction16) {
        SimWordChip::frameDone();
        return;
    }
    if (frame_.size() < 2) {
        violation("frame of %zu bytes has no instruction", frame_.size());
        return;
    }
    uint16_t instr = (uint16_t)(frame_[0] << 8 | frame_[1]);
    if (instr & 0x8000) return;  // read
    uint32_t address = instr & 0x1FFF;
    char name[16];
    simchip_regName(nullptr, 0, address, name, sizeof(name));
    logWrite(name, "0x%llX bytes=%zu", (unsigned long long)frameValue(2), frame_.size() - 2);
    for (size_t i = 2; i < frame_.size(); i++)
        regs_[address--] = frame_[i];
}

uint8_t SimRegisterChip::miso(size_t index) {
    if (layout_ == Layout::AddressHigh16 && index == 2 && frame_.size() >= 2) {
        uint32_t instr = (uint32_t)frame_[0] << 8 | frame_[1];
        if (instr & (HMC7043_READ >> 8)) return (uint8_t)reg(instr & HMC7043_ADDRESS_MASK);
    }
    if (layout_ == Layout::Instruction16 && index >= 2 && frame_.size() >= 2) {
        uint16_t instr = (uint16_t)(frame_[0] << 8 | frame_[1]);
        if (instr & 0x8000) return (uint8_t)reg((instr & 0x1FFF) - (uint32_t)(index - 2));
    }
    return 0;
}

void SimRegisterChip::word(uint64_t w) {
    uint32_t address;
    uint64_t value;
    switch (layout_) {
        case Layout::AddressHigh16:
            if (w & HMC7043_READ) return;
            address = (uint32_t)(w >> HMC7043_ADDRESS_SHIFT) & HMC7043_ADDRESS_MASK;
            value = w & 0xFF;
            break;
        case Layout::ControlLow:
            address = (uint32_t)w & ((1u << controlBits_) - 1);
            value = w;
            break;
        case Layout::Address4High:
            address = (uint32_t)(w >> 12) & 0xF;
            value = w & 0xFFF;
            break;
        case Layout::Address8Data8:
            address = (uint32_t)(w >> 8) & 0xFF;
            value = w & 0xFF;
            break;
        case Layout::Instruction16:
        default:
            return;
    }
    regs_[address] = value;
    char name[16];
    logWrite(registerName(address, name, sizeof(name)), "0x%llX", (unsigned long long)value);
}

// The data sheets' names where the drivers use them; the PLLs' latches are R<number>.
const char *SimRegisterChip::registerName(uint32_t address, char *fallback, size_t size) const {
    static const SimRegName adf4002[] = {{ADF4002_R_COUNTER, "R_COUNTER"},
                                         {ADF4002_N_COUNTER, "N_COUNTER"},
                                         {ADF4002_FUNCTION, "FUNCTION"},
                                         {ADF4002_INITIALIZATION, "INITIALIZATION"}};
    static const SimRegName ad5932[] = {
        {AD5932_ADDR_CONTROL, "CONTROL"},         {AD5932_ADDR_NUM_INCR, "NUM_INCR"},
        {AD5932_ADDR_DELTA_LOW, "DELTA_LOW"},     {AD5932_ADDR_DELTA_HIGH, "DELTA_HIGH"},
        {AD5932_ADDR_INCR_INTERVAL, "T_INT"},     {AD5932_ADDR_FSTART_LOW, "FSTART_LOW"},
        {AD5932_ADDR_FSTART_HIGH, "FSTART_HIGH"},
    };
    static const SimRegName hmc7043[] = {{HMC7043_REG_SOFT_RESET, "SOFT_RESET"},
                                         {HMC7043_REG_REQUEST_MODE, "REQUEST_MODE"},
                                         {HMC7043_REG_OUTPUT_ENABLE_LOW, "OUTPUT_ENABLE"},
                                         {HMC7043_REG_INPUT, "CLKIN_BUFFER"},
                                         {HMC7043_REG_SYSREF_DIV_LSB, "SYSREF_DIV_LSB"},
                                         {HMC7043_REG_SYSREF_DIV_MSB, "SYSREF_DIV_MSB"}};
    if (strcmp(type(), "ADF4002") == 0) return simchip_regName(adf4002, address, fallback, size);
    if (strcmp(type(), "AD5932") == 0) return simchip_regName(ad5932, address, fallback, size);
    if (layout_ == Layout::ControlLow) {
        snprintf(fallback, size, "R%u", (unsigned)address);
        return fallback;
    }
    if (layout_ == Layout::AddressHigh16 && address >= HMC7043_REG_CHANNEL_BASE) {
        static const char *const fields[] = {"CONTROL",       "DIV_LSB",       "DIV_MSB",
                                             "ANALOG_DELAY",  "DIGITAL_DELAY", "MULTISLIP_LSB",
                                             "MULTISLIP_MSB", "OUTPUT_SELECT"};
        uint32_t at = address - HMC7043_REG_CHANNEL_BASE, field = at % HMC7043_CHANNEL_STRIDE;
        if (field < sizeof(fields) / sizeof(*fields)) {
            snprintf(fallback, size, "CH%u_%s", (unsigned)(at / HMC7043_CHANNEL_STRIDE),
                     fields[field]);
            return fallback;
        }
    }
    if (layout_ == Layout::AddressHigh16) return simchip_regName(hmc7043, address, fallback, size);
    return simchip_regName(nullptr, 0, address, fallback, size);
}
