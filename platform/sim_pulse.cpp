// The simulated pulse modulators.
#include "sim_pulse.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "hw/board_slaves.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krcont_registers.h"
#include "kr_generic_io.h"
#include "sim_chip.h"
#include "sim_fpga.h"
#include "sim_hw.h"

namespace {

constexpr double standardClockHz = 66.048e6;
constexpr int fsChannels = 4;
constexpr int trainMax = 16;  // entries shown; a train has up to four
constexpr int patternBits = 8 * KR_GIO_PULM_PATTERN_BYTES;

// The standard controller's modulator as the driver requests left it. Guarded by simhw_lock.
struct Standard {
    bool haveInternal = false;
    KrGioPulmInternal internal = {};
    bool haveBitstream = false;
    uint32_t startBit = 0, bitCount = 0, ticks = 0, divider = 0;
    bool msbFirst = true;
    uint8_t pattern[KR_GIO_PULM_PATTERN_BYTES] = {};
    bool bitstreamLast = false;  // a bit pattern came after the last internal setting
    bool running = false;
    int intmod = -1;  // routing: -1 never requested
};

struct State {
    Standard standard;
    uint64_t times[fsChannels] = {};  // the FS times each channel took with the load strobe
    bool timesLoaded[fsChannels] = {};
    bool input = false;
};

State &state() {
    static State *s = new State;
    return *s;
}

// The derived view of one channel's modulator.
struct View {
    bool enabled = false, inverted = false, forcedOff = false;
    const char *source = "internal";
    bool haveTimes = false;
    double width = 0, period = 0;
    bool haveBits = false;
    uint32_t bits = 0, startBit = 0;
    double bitTime = 0;
    bool msbFirst = true;
    const uint8_t *pattern = nullptr;
    uint32_t patternBytes = 0;
    int intmod = -1;
};

bool bitOf(uint64_t v, int b) {
    return (v >> b) & 1;
}

const SimShiftRegister *controlRegister() {
    return dynamic_cast<const SimShiftRegister *>(simhw_chipBySlave(BOARD_CONT_SRI));
}

View standardView(int channel) {
    View v;
    if (channel != 0) return v;  // one modulator, on the first channel
    const Standard &s = state().standard;
    const SimShiftRegister *sri = controlRegister();
    bool external = sri && sri->bit(KRCONT_SRI_PULM_EXTERNAL);
    v.enabled = external || s.running;
    v.inverted = v.enabled && !(sri && sri->bit(KRCONT_SRI_PULM_NORMAL));
    v.source = external ? "external" : s.bitstreamLast ? "bitstream" : "internal";
    if (s.haveInternal) {
        double tick = (double)s.internal.divider / standardClockHz;
        v.haveTimes = true;
        v.width = s.internal.ones * tick;
        v.period = ((double)s.internal.ones + s.internal.zeroes) * tick;
    }
    if (s.haveBitstream) {
        v.haveBits = true;
        v.bits = s.bitCount;
        v.startBit = s.startBit;
        v.bitTime = (double)s.ticks * s.divider / standardClockHz;
        v.msbFirst = s.msbFirst;
        v.pattern = s.pattern;
        v.patternBytes = (s.startBit + s.bitCount + 7) / 8;
    }
    v.intmod = s.intmod;
    return v;
}

View fsView(int c, uint8_t *pattern) {
    View v;
    if (c < 0 || c >= fsChannels) return v;
    uint64_t control = simfpga_register(fs_regPulmControl((uint32_t)c));
    // A playing train gates the RF in place of the single-pulse generator.
    v.enabled = bitOf(control, FS_PULM_ENABLE) || bitOf(control, FS_PULM_TRAIN);
    v.inverted = bitOf(control, FS_PULM_INVERTED);
    v.forcedOff = bitOf(control, FS_PULM_FORCE_OFF);
    static const char *const sources[] = {"internal", "external", "bitstream", "internal"};
    v.source = sources[(control >> FS_PULM_SOURCE_LOW) & 3];
    if (state().timesLoaded[c]) {
        uint64_t t = state().times[c];
        v.haveTimes = true;
        v.width = (double)(t & 0xFFFFFFFFu) / FS_TIMER_HZ;
        v.period = ((double)(t & 0xFFFFFFFFu) + (double)(t >> 32)) / FS_TIMER_HZ;
    }
    uint32_t bits = (uint32_t)simfpga_register(FS_REG_PULM_BITS) & 0xFFFu;
    if (bits) {
        v.haveBits = true;
        v.bits = bits;
        // The image in RAM is already shifted: play starts at its first bit.
        v.bitTime = (double)(uint32_t)simfpga_register(FS_REG_PULM_BIT_TICKS) / FS_TIMER_HZ;
        v.patternBytes = (bits + 7) / 8;
        if (pattern) {
            simfpga_readRam(FS_RAM_PULM_PATTERN, pattern, v.patternBytes);
            v.pattern = pattern;
        }
    }
    return v;
}

View viewOf(int channel, uint8_t *pattern) {
    return simfpga_present() ? fsView(channel, pattern) : standardView(channel);
}

void changed() {
    simhw_boardRegisterChanged();  // marks the state file for rewriting
    // Requests and immediate writes are not followed by an I/O update that would write the
    // file; pulse changes are rare enough to write it at once.
    simhw_flushStateFile(true);
    simhw_traceNow();  // the output trace shows the pulsed output from here on
    simhw_changed().notify_all();
}

void logFsState(int c, uint64_t control) {
    static const char *const sources[] = {"internal", "external", "bitstream", "internal"};
    simhw_logAt(c, "PULM", "STATE", "enabled=%d source=%s polarity=%s forced_off=%d train=%d",
                (int)bitOf(control, FS_PULM_ENABLE), sources[(control >> FS_PULM_SOURCE_LOW) & 3],
                bitOf(control, FS_PULM_INVERTED) ? "inverted" : "normal",
                (int)bitOf(control, FS_PULM_FORCE_OFF), (int)bitOf(control, FS_PULM_TRAIN));
}

int setBitstream(const KrGioPulmBitstream *b) {
    if (!b->pattern) {
        simhw_violation("KRSSC_PULM: bit pattern without its pattern");
        return -EFAULT;
    }
    // The pattern record holds 4096 bits: a window beyond it would play memory after it.
    if (b->startBit > (uint32_t)patternBits || b->bitCount > (uint32_t)patternBits - b->startBit) {
        simhw_violation("KRSSC_PULM: bits %u from bit %u outside the %d-bit pattern",
                        (unsigned)b->bitCount, (unsigned)b->startBit, patternBits);
        return -EINVAL;
    }
    Standard &s = state().standard;
    s.haveBitstream = true;
    s.startBit = b->startBit;
    s.bitCount = b->bitCount;
    s.ticks = b->ticks;
    s.divider = b->divider;
    s.msbFirst = b->msbFirst != 0;
    memcpy(s.pattern, b->pattern, sizeof(s.pattern));
    s.bitstreamLast = true;
    simhw_logAt(0, "KRSSC_PULM", "BITSTREAM", "bits=%u start_bit=%u bit_time_s=%.9g msb_first=%d",
                (unsigned)s.bitCount, (unsigned)s.startBit,
                (double)s.ticks * s.divider / standardClockHz, (int)s.msbFirst);
    return 0;
}

void appendNumber(std::string &j, bool valid, double v) {
    char text[32];
    if (valid)
        snprintf(text, sizeof(text), "%.12g", v);
    else
        snprintf(text, sizeof(text), "null");
    j += text;
}

}  // namespace

int simpulse_request(int request, void *arg) {
    std::lock_guard<std::mutex> g(simhw_lock());
    Standard &s = state().standard;
    switch (request) {
        case KRPULM_IOC_SET_INTERNAL: {
            const KrGioPulmInternal *r = (const KrGioPulmInternal *)arg;
            if (r->divider == 0) {
                simhw_violation("KRSSC_PULM: internal generator with divider 0");
                return -EINVAL;
            }
            s.internal = *r;
            s.haveInternal = true;
            s.bitstreamLast = false;
            double tick = (double)r->divider / standardClockHz;
            simhw_logAt(0, "KRSSC_PULM", "INTERNAL", "width_s=%.9g period_s=%.9g", r->ones * tick,
                        ((double)r->ones + r->zeroes) * tick);
            break;
        }
        case KRPULM_IOC_SET_BITSTREAM: {
            int r = setBitstream((const KrGioPulmBitstream *)arg);
            if (r) return r;
            break;
        }
        case KRPULM_IOC_START:
            s.running = true;
            simhw_logAt(0, "KRSSC_PULM", "START", "%s", s.bitstreamLast ? "bitstream" : "internal");
            break;
        case KRPULM_IOC_STOP:
            s.running = false;
            simhw_logAt(0, "KRSSC_PULM", "STOP", "stopped");
            break;
        case KRPULM_IOC_INTMOD_ON:
        case KRPULM_IOC_INTMOD_OFF:
            s.intmod = request == KRPULM_IOC_INTMOD_ON;
            simhw_logAt(0, "KRSSC_PULM", "INTMOD", "%s", s.intmod ? "on" : "off");
            break;
        default:
            return 0;  // the rest of the request space is not the modulator's
    }
    changed();
    return 0;
}

void simpulse_setInput(bool high) {
    std::lock_guard<std::mutex> g(simhw_lock());
    if (state().input == high) return;
    state().input = high;
    simhw_logAt(-1, "PULM", "INPUT", "%d", (int)high);
    changed();
}

void simpulse_reset() {
    State &s = state();
    s.standard = Standard{};
    for (int c = 0; c < fsChannels; c++) {
        s.times[c] = 0;
        s.timesLoaded[c] = false;
    }
    s.input = false;
}

uint64_t simpulse_fpgaRegisterWrite(uint32_t reg, uint64_t old, uint64_t value) {
    if (reg == FS_REG_PULM_BITS || reg == FS_REG_PULM_BIT_TICKS) {
        simhw_logAt(-1, "PULM", reg == FS_REG_PULM_BITS ? "BITS" : "BIT_TICKS", "%llu",
                    (unsigned long long)(reg == FS_REG_PULM_BITS ? value & 0xFFFu : value));
        return value;
    }
    for (int c = 0; c < fsChannels; c++) {
        if (reg != fs_regPulmControl((uint32_t)c)) continue;
        if (bitOf(value, FS_PULM_TIMES_LOAD)) {
            // A strobe: the generator takes the times once, the bit does not stay set.
            uint64_t t = simfpga_register(fs_regPulmTimes((uint32_t)c));
            state().times[c] = t;
            state().timesLoaded[c] = true;
            value &= ~(1ull << FS_PULM_TIMES_LOAD);
            simhw_logAt(c, "PULM", "TIMES", "width_s=%.9g period_s=%.9g",
                        (double)(t & 0xFFFFFFFFu) / FS_TIMER_HZ,
                        ((double)(t & 0xFFFFFFFFu) + (double)(t >> 32)) / FS_TIMER_HZ);
        }
        if (value != old) logFsState(c, value);
        return value;
    }
    return value;
}

void simpulse_fpgaRegisterStored(uint32_t reg) {
    bool pulse = reg == FS_REG_PULM_BITS || reg == FS_REG_PULM_BIT_TICKS;
    for (int c = 0; c < fsChannels; c++)
        pulse = pulse || reg == fs_regPulmControl((uint32_t)c);
    if (pulse) changed();
}

void simpulse_fpgaChanged() {
    changed();
}

static bool enabledOf(int channel) {
    View v = viewOf(channel, nullptr);
    return v.enabled && !v.forcedOff;
}

const char *simpulse_rf(int channel, const char *rf) {
    return rf && strcmp(rf, "on") == 0 && enabledOf(channel) ? "pulsed" : rf;
}

void simpulse_appendJson(int channel, std::string &j) {
    static uint8_t ram[FS_PULM_PATTERN_BYTES];  // under simhw_lock
    View v = viewOf(channel, ram);
    char text[256];
    snprintf(text, sizeof(text),
             ", \"pulse\": {\"enabled\": %s, \"source\": \"%s\", \"polarity\": \"%s\", "
             "\"forced_off\": %s, \"pulse_in\": %s, \"period_s\": ",
             v.enabled ? "true" : "false", v.source, v.inverted ? "inverted" : "normal",
             v.forcedOff ? "true" : "false", state().input ? "true" : "false");
    j += text;
    appendNumber(j, v.haveTimes, v.period);
    j += ", \"width_s\": ";
    appendNumber(j, v.haveTimes, v.width);
    j += ", \"bitstream\": ";
    if (v.haveBits) {
        snprintf(text, sizeof(text),
                 "{\"bits\": %u, \"start_bit\": %u, \"bit_time_s\": %.12g, \"msb_first\": %s, "
                 "\"pattern\": \"",
                 (unsigned)v.bits, (unsigned)v.startBit, v.bitTime, v.msbFirst ? "true" : "false");
        j += text;
        static const char hex[] = "0123456789ABCDEF";
        for (uint32_t i = 0; v.pattern && i < v.patternBytes; i++) {
            j += hex[v.pattern[i] >> 4];
            j += hex[v.pattern[i] & 15];
        }
        j += "\"}";
    } else {
        j += "null";
    }
    j += ", \"train\": [";
    if (simfpga_present() && channel >= 0 && channel < fsChannels &&
        bitOf(simfpga_register(fs_regPulmControl((uint32_t)channel)), FS_PULM_TRAIN)) {
        uint64_t entries[trainMax];
        int n = simfpga_loopSweepTimers(channel, entries, trainMax);
        for (int i = 0; i < n; i++) {
            snprintf(text, sizeof(text), "%s{\"width_s\": %.12g, \"gap_s\": %.12g}", i ? ", " : "",
                     (double)(entries[i] & 0xFFFFFFFFu) / FS_TIMER_HZ,
                     (double)(entries[i] >> 32) / FS_TIMER_HZ);
            j += text;
        }
    }
    j += "]";
    if (!simfpga_present() && channel == 0)
        j += v.intmod < 0 ? ", \"intmod\": null"
             : v.intmod   ? ", \"intmod\": true"
                          : ", \"intmod\": false";
    j += "}";
}
