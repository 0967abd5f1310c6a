#include "modulation/krcont_pulsemod.h"

#include <fcntl.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device.h"
#include "device/device_record.h"
#include "hw/fs_fpga_if.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krcont_registers.h"
#include "hw/krgio.h"
#include "hw/sri.h"
#include "kr_generic_io.h"
#include "modulation/krcont.h"
#include "modulation/multi_pulse.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// The clocks and limits of the two pulse generators.
struct PulmVariant {
    double clockHz;
    double resolution;  // smallest step of width and period
    double timeMax;     // longest period and width
    uint32_t countMin, countMax;
};
constexpr double STD_CLOCK_HZ = 66048000.0;
constexpr uint32_t STD_DIVIDER_MAX = 4095;
constexpr uint32_t STD_TOTAL_LIMIT = 33553409;  // 0x1FFFC01 counts per period
constexpr double STD_PERIOD_MIN = 3.0281007751937985e-08;
constexpr double STD_PERIOD_MIN_FREQ = 33024000.0;
const PulmVariant fsVariant = {FS_TIMER_HZ, 1 / FS_TIMER_HZ, 21.0, 1, 1};
const PulmVariant stdVariant = {STD_CLOCK_HZ, 2 / STD_CLOCK_HZ,
                                1 / (STD_CLOCK_HZ / (4095.0 * 33553408.0)), 0, 0};

KrFreq hzToFreq(double hz) {
    KrFreq f{};
    double2krfreq(hz, &f);
    return f;
}

bool fs() {
    return device_config_usesOptionFs() != 0;
}
const PulmVariant &variant() {
    return fs() ? fsVariant : stdVariant;
}
double freqMaxHz() {
    if (!fs()) return STD_CLOCK_HZ;
    return device_config_usesOptionNec() ? 40e6 : 100e6;
}

PulseMod records[DEVICE_MAX_CHANNELS];
int pulmFd = -1;
// Control-board routing of the internal modulation: bit 0 modulation, bit 1 output.
uint32_t intModFlags = 0;
bool outputProtection = false;

constexpr const char *DEFAULT_PATTERN = "FCB7780";

// ---- Standard-variant driver and routing ---------------------------------------------------

int pulmRequest(int code, void *arg) {
    if (pulmFd < 0) return KR_E_EXECUTION_ERROR;
    return rt_dev_ioctl(pulmFd, code, arg) < 0 ? KR_E_EXECUTION_ERROR : 0;
}
int pulmRequestValue(int code, uint32_t value) {
    return pulmRequest(code, (void *)(uintptr_t)value);
}

int sriBit(int bit, bool on) {
    SRI *sri = KRCONT_getShiftRegister();
    if (!sri) return KR_E_HARDWARE_MISSING;
    return on ? SRI_setBit(sri, bit) : SRI_clearBit(sri, bit);
}

int applyRouting() {
    bool both = (intModFlags & 3) == 3;
    return pulmRequestValue(both ? KRPULM_IOC_INTMOD_ON : KRPULM_IOC_INTMOD_OFF, 0);
}
int setIntFlag(uint32_t bit, bool on) {
    intModFlags = on ? (intModFlags | bit) : (intModFlags & ~bit);
    return applyRouting();
}
int KRCONT_setPulmIntMod(bool on) {
    return setIntFlag(1, on);
}
int KRCONT_setPulmIntOutp(bool on) {
    return setIntFlag(2, on);
}

// ---- Bit pattern -------------------------------------------------------------------------

int sendStdBitstream(PulseMod *pm) {
    KrGioPulmBitstream b = {pm->bitstreamStartBit, pm->bitstreamBits, pm->bitstreamTicks,
                            pm->bitstreamDivider,  pm->msbFirst,      pm->bitstream};
    return pulmRequest(KRPULM_IOC_SET_BITSTREAM, &b);
}

uint8_t reverseBits(uint8_t b) {
    uint8_t r = 0;
    for (int i = 0; i < 8; i++)
        if (b & (1u << i)) r |= (uint8_t)(0x80u >> i);
    return r;
}

// The FPGA plays its RAM from bit 7 of byte 0: the image carries the played bits first.
int KRCONT_sendFsBitstream(PulseMod *pm) {
    uint8_t image[PULM_PATTERN_BYTES];
    int total = PULM_PATTERN_BYTES * 8;
    int shift;
    if (pm->msbFirst) {
        memcpy(image, pm->bitstream, sizeof image);
        shift = (int)pm->bitstreamStartBit;
    } else {
        for (int i = 0; i < PULM_PATTERN_BYTES; i++)
            image[i] = reverseBits(pm->bitstream[PULM_PATTERN_BYTES - 1 - i]);
        shift = total - (int)pm->bitstreamStartBit - (int)pm->bitstreamBits;
    }
    if (shift < 0) shift = 0;
    uint8_t shifted[PULM_PATTERN_BYTES] = {};
    int bytes = shift / 8, bits = shift % 8;
    for (int i = 0; i + bytes < PULM_PATTERN_BYTES; i++) {
        unsigned v = (unsigned)image[i + bytes] << bits;
        if (bits && i + bytes + 1 < PULM_PATTERN_BYTES) v |= image[i + bytes + 1] >> (8 - bits);
        shifted[i] = (uint8_t)v;
    }
    int r = FS_FPGA_IF_pulm_setBitstreamBits(pm->bitstreamBits);
    uint32_t length = (pm->bitstreamBits + 7) / 8;
    if (r == 0 && length) r = FS_FPGA_IF_pulm_writeBitstream(shifted, length);
    return r;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = (char)toupper((unsigned char)c);
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

double bitTime(const PulseMod *pm) {
    return (double)pm->bitstreamTicks * pm->bitstreamDivider / variant().clockHz;
}

// The longest bit the generator can count: 4095 ticks of the divided clock, or a 32-bit count.
double bitTimeMax() {
    return fs() ? 4294967295.0 / FS_TIMER_HZ
                : (double)STD_DIVIDER_MAX * STD_DIVIDER_MAX / STD_CLOCK_HZ;
}

// Ticks per bit (and the divider on the standard clock); false when out of range.
bool storeBitTicks(PulseMod *pm, double ticks) {
    if (!(ticks >= 0.5) || ticks / variant().clockHz > bitTimeMax() * (1 + 1e-12)) return false;
    if (fs()) {
        pm->bitstreamTicks = (uint32_t)std::max(1.0, std::round(ticks));
        pm->bitstreamDivider = 1;
        return true;
    }
    uint32_t divider = (uint32_t)std::ceil(ticks / STD_DIVIDER_MAX);
    if (divider < 1) divider = 1;
    uint32_t perBit = (uint32_t)std::max(1.0, std::round(ticks / divider));
    if (divider > STD_DIVIDER_MAX) divider = perBit = STD_DIVIDER_MAX;
    pm->bitstreamDivider = divider;
    pm->bitstreamTicks = perBit > STD_DIVIDER_MAX ? STD_DIVIDER_MAX : perBit;
    return true;
}

int setBitTicks(PulseMod *pm, double ticks) {
    if (!storeBitTicks(pm, ticks)) return KR_E_DATA_OUT_OF_RANGE;
    if (fs()) return FS_FPGA_IF_pulm_setBitstreamTicks(pm->bitstreamTicks);
    return KRCONT_setPulmState(pm, (int)pm->enabled);
}

// The hex digits into the pattern, high nibble first: 0, or -224 at the first non-hex digit
// (the digits before it stay).
int storePattern(PulseMod *pm, const char *text) {
    memset(pm->bitstream, 0, sizeof pm->bitstream);
    pm->bitstreamTotalBits = pm->bitstreamStartBit = pm->bitstreamBits = 0;
    for (uint32_t i = 0; text[i]; i++) {
        int v = hexValue(text[i]);
        if (v < 0) return KR_E_ILLEGAL_PARAMETER_VALUE;
        pm->bitstream[i / 2] |= (uint8_t)(i % 2 ? v : v << 4);
        pm->bitstreamTotalBits += 4;
        pm->bitstreamBits += 4;
    }
    return 0;
}

// A changed pattern, window or direction reaches the generator.
int patternChanged(PulseMod *pm) {
    return fs() ? KRCONT_sendFsBitstream(pm) : KRCONT_setPulmState(pm, (int)pm->enabled);
}

// ---- Width, period, frequency ------------------------------------------------------------

int applyStd(PulseMod *pm) {
    if (pm->period < STD_PERIOD_MIN) {
        pm->period = STD_PERIOD_MIN;
        pm->frequency = hzToFreq(STD_PERIOD_MIN_FREQ);
    }
    for (uint32_t divider = 2;;) {
        double ones = std::round(pm->width * STD_CLOCK_HZ / divider);
        double total = std::round(pm->period * STD_CLOCK_HZ / divider);
        if (total < STD_TOTAL_LIMIT) {
            pm->ones = (uint32_t)ones;
            pm->zeroes = (uint32_t)(total - ones);
            pm->divider = divider;
            break;
        }
        if (divider == STD_DIVIDER_MAX) break;
        divider = std::min(2 * divider, STD_DIVIDER_MAX);
    }
    if (pm->ones + pm->zeroes > 0) {
        double tick = pm->divider / STD_CLOCK_HZ;
        pm->width = pm->ones * tick;
        pm->period = (pm->ones + pm->zeroes) * tick;
        pm->frequency = hzToFreq(1 / pm->period);
    }
    if (pm->source != PULM_SOURCE_INTERNAL || !pm->enabled) return 0;
    printd("KRCONT_computeApplyConfiguration_pulm(): %d zeroes, %d ones, %d divider\n",
           (int)pm->zeroes, (int)pm->ones, (int)pm->divider);
    KrGioPulmInternal c = {pm->zeroes, pm->ones, pm->divider};
    return pulmRequest(KRPULM_IOC_SET_INTERNAL, &c);
}

int applyFs(PulseMod *pm) {
    if (multi_pulse_isMultiPulse(pm) && pm->source == PULM_SOURCE_INTERNAL && pm->enabled) {
        if (pm->multiPulseActive) {
            multi_pulse_stop(pm, true);
        } else {
            FS_FPGA_IF_pulm_disable(pm->channel);
        }
        return multi_pulse_start(pm);
    }
    if (pm->multiPulseActive) {
        multi_pulse_stop(pm, false);
        if (pm->enabled) FS_FPGA_IF_pulm_enable(pm->channel);
    }
    double ton = std::min(pm->width + pm->widthCorrection, pm->period);
    return FS_FPGA_IF_pulm_setTimes(pm->channel, ton, pm->period - pm->width);
}

int setWidth(PulseMod *pm, double w);

int setPeriod(PulseMod *pm, double p) {
    pm->period = p;
    pm->frequency = hzToFreq(1 / p);
    if (pm->width > pm->period) return setWidth(pm, pm->period);
    return KRCONT_computeApplyConfiguration_pulm(pm);
}

int setWidth(PulseMod *pm, double w) {
    pm->width = w;
    if (pm->width > pm->period) return setPeriod(pm, pm->width);
    return KRCONT_computeApplyConfiguration_pulm(pm);
}

int setFrequency(PulseMod *pm, double f) {
    pm->frequency = hzToFreq(f);
    pm->period = 1 / f;
    if (pm->width > pm->period) return setWidth(pm, pm->period);
    return KRCONT_computeApplyConfiguration_pulm(pm);
}

// The step the generator can realise at the current divider.
double timeStep() {
    return fs() ? fsVariant.resolution : 0;
}
double stepOf(const PulseMod *pm) {
    double s = timeStep();
    return s > 0 ? s : pm->divider / STD_CLOCK_HZ;
}
double higher(double c, double step) {
    return (std::floor(c / step + 1e-9) + 1) * step;
}
double lower(double c, double step) {
    return (std::ceil(c / step - 1e-9) - 1) * step;
}
// At least one achievable step away from the current value, towards the request.
double jumpTarget(double c, double r, double up, double down) {
    if (r > c && up > r) return up;
    if (r < c && down < r) return down;
    return r;
}

// ---- Limits ------------------------------------------------------------------------------

double timeMin() {
    return 1 / freqMaxHz();
}
bool timeInRange(double t) {
    return t >= timeMin() * (1 - 1e-9) && t <= variant().timeMax * (1 + 1e-9);
}

// ---- Device operations -------------------------------------------------------------------

PulseMod *rec(Device *device) {
    return KRCONT_getPulseMod(device);
}

void notify(Device *device, PulseMod *pm) {
    if (DEVICE_ISREG(pulmNotification)) Device_pulmNotification(device, (int32_t)pm->enabled);
    if (DEVICE_ISREG(notifyState)) Device_notifyState(device, 8, (int32_t)pm->enabled);
}

void boardInternal(Device *device) {
    if (DEVICE_ISREG(setPulmSourceInternalOnBoard)) Device_setPulmSourceInternalOnBoard(device);
}
void boardExternal(Device *device) {
    if (DEVICE_ISREG(setPulmSourceExternalOnBoard)) Device_setPulmSourceExternalOnBoard(device);
}
void boardPolarity(Device *device, uint32_t polarity) {
    if (polarity && DEVICE_ISREG(setPulmPolarityInvertedOnBoard))
        Device_setPulmPolarityInvertedOnBoard(device);
    else if (!polarity && DEVICE_ISREG(setPulmPolarityNormalOnBoard))
        Device_setPulmPolarityNormalOnBoard(device);
}

int enablePulm(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (DEVICE_ISREG(enablePulmNotification)) Device_enablePulmNotification(device);
    if (DEVICE_ISREG(notifyState)) Device_notifyState(device, 8, 1);
    int r = KRCONT_setPulmState(pm, 1);
    if (pm->source == PULM_SOURCE_EXTERNAL) {
        boardExternal(device);
        boardPolarity(device, pm->polarity);
    } else {
        boardInternal(device);
    }
    return r;
}

int disablePulm(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    int r = KRCONT_setPulmState(pm, 0);
    if (DEVICE_ISREG(disablePulmNotification)) Device_disablePulmNotification(device);
    if (outputProtection) {
        boardExternal(device);
        boardPolarity(device, 0);
    } else {
        if (DEVICE_ISREG(notifyState)) Device_notifyState(device, 8, 0);
        boardInternal(device);
    }
    return r;
}

int isPulmEnabled(Device *device) {
    PulseMod *pm = rec(device);
    return pm && pm->enabled ? 1 : 0;
}

int pausePulm(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    pm->pauseCount++;
    if (!pm->enabled) return 0;
    pm->paused = 1;
    return KRCONT_setPulmState(pm, 0);
}

// A resume without a pause changes nothing: the count never goes below zero.
int resumePulm(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (pm->pauseCount <= 0) return 0;
    if (--pm->pauseCount > 0 || !pm->paused) return 0;
    pm->paused = 0;
    return KRCONT_setPulmState(pm, 1);
}

template <uint32_t Polarity>
int setPolarity(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    int r = KRCONT_setPulmPolarity(pm, Polarity);
    if (outputProtection && pm->source == PULM_SOURCE_EXTERNAL && pm->enabled)
        boardPolarity(device, Polarity);
    notify(device, pm);
    return r;
}
template <uint32_t Polarity>
int isPolarity(Device *device) {
    PulseMod *pm = rec(device);
    return !pm || pm->polarity == Polarity ? 1 : 0;
}

int KRCONT_setPulmSource(PulseMod *pm, uint32_t source) {
    pm->source = source;
    if (fs()) {
        int r = FS_FPGA_IF_pulm_setSource(pm->channel, source);
        // A train plays only from the internal source.
        return r < 0 ? r : KRCONT_computeApplyConfiguration_pulm(pm);
    }
    return KRCONT_setPulmState(pm, (int)pm->enabled);
}

template <uint32_t Source>
int setSource(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    int r = KRCONT_setPulmSource(pm, Source);
    if (Source == PULM_SOURCE_EXTERNAL) {
        printd("setPulmSourceExternal krCont\n");
        if (pm->enabled) boardExternal(device);
        if (outputProtection) boardPolarity(device, pm->polarity);
    } else if (!(outputProtection && !pm->enabled)) {
        boardInternal(device);
    }
    notify(device, pm);
    return r;
}
template <uint32_t Source>
int isSource(Device *device) {
    PulseMod *pm = rec(device);
    return !pm || pm->source == Source ? 1 : 0;
}

int enableOutputProtection(Device *device) {
    outputProtection = true;
    PulseMod *pm = rec(device);
    if (pm && !pm->enabled) {
        boardExternal(device);
        boardPolarity(device, 0);
    }
    return 0;
}
int disableOutputProtection(Device *device) {
    outputProtection = false;
    PulseMod *pm = rec(device);
    if (pm && !pm->enabled) boardInternal(device);
    return 0;
}
int isOutputProtectionEnabled(Device *) {
    return outputProtection ? 1 : 0;
}

// Width, period and frequency setters and their jumps.
int setPeriodOp(Device *device, const KrTime *t) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!t || !timeInRange(*t)) return KR_E_DATA_OUT_OF_RANGE;
    return setPeriod(pm, *t);
}
int setWidthOp(Device *device, const KrTime *t) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!t || !timeInRange(*t)) return KR_E_DATA_OUT_OF_RANGE;
    return setWidth(pm, *t);
}
int setFrequencyOp(Device *device, const KrFreq *f) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    double hz = f ? krfreqToDouble(f) : 0;
    if (!(hz > 0) || !timeInRange(1 / hz)) return KR_E_DATA_OUT_OF_RANGE;
    return setFrequency(pm, hz);
}
int setPeriodJump(Device *device, const KrTime *t) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!t) return KR_E_DATA_OUT_OF_RANGE;
    double s = stepOf(pm), c = pm->period;
    KrTime target = jumpTarget(c, *t, higher(c, s), lower(c, s));
    return setPeriodOp(device, &target);
}
int setWidthJump(Device *device, const KrTime *t) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!t) return KR_E_DATA_OUT_OF_RANGE;
    double s = stepOf(pm), c = pm->width;
    KrTime target = jumpTarget(c, *t, higher(c, s), lower(c, s));
    int r = setWidthOp(device, &target);
    notify(device, pm);
    return r;
}
int setFrequencyJump(Device *device, const KrFreq *f) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    double s = stepOf(pm), c = pm->period;
    double hz = f ? krfreqToDouble(f) : 0;
    // The next frequency above is one period step below, and the other way round.
    double down = lower(c, s), up = higher(c, s);
    double target = jumpTarget(1 / c, hz, down > 0 ? 1 / down : hz, 1 / up);
    KrFreq t = hzToFreq(target);
    return setFrequencyOp(device, &t);
}

const KrTime *timeOf(KrTime value) {
    globalKrTime = value;
    return &globalKrTime;
}
const KrFreq *freqOf(double hz) {
    globalKrFreq = hzToFreq(hz);
    return &globalKrFreq;
}
const KrTime *getPeriod(Device *device) {
    PulseMod *pm = rec(device);
    return timeOf(pm ? pm->period : 0);
}
const KrTime *getWidth(Device *device) {
    PulseMod *pm = rec(device);
    return timeOf(pm ? pm->width : 0);
}
const KrFreq *getFrequency(Device *device) {
    PulseMod *pm = rec(device);
    return pm ? &pm->frequency : freqOf(0);
}
const KrTime *getTimeMin(Device *) {
    return timeOf(timeMin());
}
const KrTime *getTimeMax(Device *) {
    return timeOf(variant().timeMax);
}
const KrFreq *getFrequencyMin(Device *) {
    return freqOf(fs() ? 1 / 21.0 : STD_CLOCK_HZ / 137401205760.0);
}
const KrFreq *getFrequencyMax(Device *) {
    return freqOf(freqMaxHz());
}
const KrTime *getResolution(Device *) {
    return timeOf(variant().resolution);
}

// Bit pattern operations.
int setBitstreamOp(Device *device, const char *text) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    return KRCONT_setPulmBitstream(pm, text ? text : "");
}
int getBitstreamOp(Device *device, char *buffer, int32_t size) {
    PulseMod *pm = rec(device);
    if (!pm) {
        if (size > 0) buffer[0] = 0;
        return 0;
    }
    return KRCONT_getPulmBitstream(pm, buffer, size);
}
// The window stays inside the pattern: signed arithmetic, so an empty pattern gives 0.
int setStartbit(Device *device, uint32_t start) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    int64_t total = pm->bitstreamTotalBits;
    int64_t s = std::min<int64_t>(start, std::max<int64_t>(total - 2, 0));
    pm->bitstreamStartBit = (uint32_t)s;
    if ((int64_t)pm->bitstreamBits > total - s) pm->bitstreamBits = (uint32_t)(total - s);
    return patternChanged(pm);
}
int setBits(Device *device, uint32_t bits) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    int64_t room = (int64_t)pm->bitstreamTotalBits - pm->bitstreamStartBit;
    pm->bitstreamBits = (uint32_t)std::max<int64_t>(0, std::min<int64_t>(bits, room));
    return patternChanged(pm);
}
uint32_t getStartbit(Device *device) {
    PulseMod *pm = rec(device);
    return pm ? pm->bitstreamStartBit : 0;
}
uint32_t getBits(Device *device) {
    PulseMod *pm = rec(device);
    return pm ? pm->bitstreamBits : 0;
}
int setBitTime(Device *device, const KrTime *t) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    return t ? setBitTicks(pm, *t * variant().clockHz) : KR_E_DATA_OUT_OF_RANGE;
}
int setBitTimeJump(Device *device, const KrTime *t) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!t) return KR_E_DATA_OUT_OF_RANGE;
    double s = pm->bitstreamDivider / variant().clockHz, c = bitTime(pm);
    KrTime target = jumpTarget(c, *t, higher(c, s), lower(c, s));
    return setBitTime(device, &target);
}
int setBitRate(Device *device, double hz) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!(hz > 0)) return KR_E_DATA_OUT_OF_RANGE;
    return setBitTicks(pm, variant().clockHz / hz);
}
const KrTime *getBitTime(Device *device) {
    PulseMod *pm = rec(device);
    return timeOf(pm ? bitTime(pm) : 0);
}
double getBitRate(Device *device) {
    PulseMod *pm = rec(device);
    double t = pm ? bitTime(pm) : 0;
    return t > 0 ? 1 / t : 0;
}
template <uint32_t Msb>
int setDirection(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    pm->msbFirst = Msb;
    return patternChanged(pm);
}
template <uint32_t Msb>
int isDirection(Device *device) {
    PulseMod *pm = rec(device);
    return !pm || pm->msbFirst == Msb ? 1 : 0;
}

// Routing, video output and count.
int setIntline(Device *, int32_t on) {
    return KRCONT_setPulmIntOutp(on != 0);
}
int setVideoOutputSource(Device *device, uint32_t source) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!fs()) return KR_E_HARDWARE_MISSING;
    pm->videoOutputSource = source;
    return 0;
}
uint32_t getVideoOutputSource(Device *device) {
    PulseMod *pm = rec(device);
    return pm ? pm->videoOutputSource : 0;
}
template <bool Max>
uint32_t getVideoOutputSourceLimit(Device *device) {
    if (!fs()) {
        printd("getPulmVideoOutputSource%s() error: not supported by standard (non FS) devices\n",
               Max ? "Max" : "Min");
        return 0;
    }
    return (uint32_t)(Max ? Device_getSourceIndexMax(device) : Device_getSourceIndexMin(device));
}
template <uint32_t Polarity>
int setVideoPolarity(Device *device) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    pm->videoPolarity = Polarity;
    return 0;
}
template <uint32_t Polarity>
int isVideoPolarity(Device *device) {
    PulseMod *pm = rec(device);
    return !pm || pm->videoPolarity == Polarity ? 1 : 0;
}
int setCount(Device *device, uint32_t count) {
    PulseMod *pm = rec(device);
    if (!pm) return KR_E_UNDEFINED_HEADER;
    if (!fs()) {
        pm->count = 0;
        return KR_E_UNDEFINED_HEADER;
    }
    pm->count = count;
    return 0;
}
uint32_t getCount(Device *device) {
    PulseMod *pm = rec(device);
    return pm ? pm->count : 0;
}
uint32_t getCountMin(Device *) {
    return variant().countMin;
}
uint32_t getCountMax(Device *) {
    return variant().countMax;
}

PulseMod *getPulseModPtr(Device *, int32_t source) {
    if (source < 0 || source >= DEVICE_MAX_CHANNELS) return nullptr;
    PulseMod *pm = &records[source];
    return pm->loaded ? pm : nullptr;
}

int KRCONT_loadSscPulseModulator() {
    if (pulmFd >= 0) return 0;
    pulmFd = rt_dev_open(KRSSC_PULM_DEVICE, O_RDWR);
    if (pulmFd < 0) {
        printd("KRCONT_loadSscPulseModulator(): Opening /dev/krssc_pulm failed\n");
        return KR_E_HARDWARE_MISSING;
    }
    return 0;
}

void KRCONT_setPulmDefaults(PulseMod *pm) {
    pm->enabled = 0;
    pm->source = PULM_SOURCE_INTERNAL;
    pm->polarity = 0;
    pm->msbFirst = 1;
    pm->count = 1;
    pm->widthCorrection = 0;
    pm->flag = 1;
    pm->divider = 2;
    storePattern(pm, DEFAULT_PATTERN);
    storeBitTicks(pm, 0.05 * variant().clockHz);
    pm->width = 0.05;
    pm->period = 0.1;
    pm->frequency = hzToFreq(10);
    // One write of each to the hardware, the generator off.
    KRCONT_computeApplyConfiguration_pulm(pm);
    if (fs()) {
        FS_FPGA_IF_pulm_setSource(pm->channel, PULM_SOURCE_INTERNAL);
        FS_FPGA_IF_pulm_setBitstreamTicks(pm->bitstreamTicks);
        KRCONT_sendFsBitstream(pm);
    }
    KRCONT_setPulmState(pm, 0);
}

}  // namespace

PulseMod *KRCONT_getPulseMod(Device *device) {
    if (!device || !DEVICE_ISREG(getPulseModPtr)) return nullptr;
    return Device_getPulseModPtr(device, DEVICE_ISREG(getSource) ? Device_getSource(device) : 0);
}

double KRCONT_getPulmFreqbase() {
    return variant().clockHz;
}

double KRCONT_getPulmTimebase() {
    return 1 / variant().clockHz;
}

int KRCONT_computeApplyConfiguration_pulm(PulseMod *pm) {
    return fs() ? applyFs(pm) : applyStd(pm);
}

int KRCONT_setPulmState(PulseMod *pm, int on) {
    if (fs()) {
        pm->enabled = on ? 1 : 0;
        if (multi_pulse_isMultiPulse(pm) && pm->source == PULM_SOURCE_INTERNAL) {
            if (on) {
                FS_FPGA_IF_pulm_disable(pm->channel);
                return multi_pulse_start(pm);
            }
            return pm->multiPulseActive ? multi_pulse_stop(pm, false) : 0;
        }
        return on ? FS_FPGA_IF_pulm_enable(pm->channel) : FS_FPGA_IF_pulm_disable(pm->channel);
    }
    printd("KRCONT_setPulmState(): MUTE_CONF_DIS_TPT\n");
    int r = pulmRequestValue(KRPULM_IOC_STOP, 0);
    int m = krgio_blankRf(0);
    if (r == 0) r = m;
    int k = 0;
    if (on) {
        pm->enabled = 1;
        if (pm->source == PULM_SOURCE_EXTERNAL) {
            k = KRCONT_setPulmIntMod(true);
            if (k == 0) k = sriBit(KRCONT_SRI_PULM_EXTERNAL, true);
        } else if (pm->source == PULM_SOURCE_BITSTREAM) {
            k = sendStdBitstream(pm);
            if (k == 0) k = pulmRequestValue(KRPULM_IOC_START, 0);
        } else {
            k = applyStd(pm);
            if (k == 0) k = pulmRequestValue(KRPULM_IOC_START, 0);
            if (k == 0) k = KRCONT_setPulmIntMod(true);
            if (k == 0) k = sriBit(KRCONT_SRI_PULM_EXTERNAL, false);
        }
    } else {
        k = KRCONT_setPulmIntMod(true);
        if (k == 0) k = sriBit(KRCONT_SRI_PULM_EXTERNAL, false);
        pm->enabled = 0;
    }
    if (r == 0) r = k;
    int p = KRCONT_setPulmPolarity(pm, pm->polarity);
    return r ? r : p;
}

int KRCONT_setPulmPolarity(PulseMod *pm, uint32_t polarity) {
    pm->polarity = polarity ? 1 : 0;
    if (fs()) return FS_FPGA_IF_pulm_setPolarity(pm->channel, (int)pm->polarity);
    return sriBit(KRCONT_SRI_PULM_NORMAL, pm->enabled && !pm->polarity);
}

int KRCONT_setPulmBitstream(PulseMod *pm, const char *text) {
    if (strlen(text) > (size_t)PULM_PATTERN_BYTES) return KR_E_TOO_MUCH_DATA;
    int r = storePattern(pm, text);
    // What was stored reaches the generator, also when a bad digit ended it.
    int s = patternChanged(pm);
    return r ? r : s;
}

int KRCONT_getPulmBitstream(const PulseMod *pm, char *buffer, int size) {
    if (size <= 0) return 0;
    uint32_t digits = pm->bitstreamTotalBits / 4;
    if ((int)digits >= size) {
        buffer[0] = 0;
        return 0;
    }
    static const char hex[] = "0123456789ABCDEF";
    for (uint32_t i = 0; i < digits; i++) {
        uint8_t b = pm->bitstream[i / 2];
        buffer[i] = hex[i % 2 ? b & 0xF : b >> 4];
    }
    buffer[digits] = 0;
    return 0;
}

int krcont_pulsemod_checkConflict(Device *device) {
    PulseMod *pm = KRCONT_getPulseMod(device);
    return pm && pm->enabled ? KR_E_SETTINGS_CONFLICT : 0;
}

int KrcontPulsemod_init(PulseMod *pm) {
    if (!fs()) {
        int r = KRCONT_loadSscPulseModulator();
        if (r < 0) {
            printd("KrcontPulsemod_init(): error: loading SSC pulse modulator failed\n");
            return r;
        }
    }
    pm->loaded = 1;
    KRCONT_setPulmDefaults(pm);
    return 0;
}

void KrcontPulsemod_free() {
    if (pulmFd < 0) return;
    rt_dev_close(pulmFd);
    pulmFd = -1;
}

int pulsemod_init(Device *device) {
    int32_t channel = DEVICE_ISREG(getSource) ? Device_getSource(device) : 0;
    if (channel < 0 || channel >= DEVICE_MAX_CHANNELS) return KR_E_HARDWARE_MISSING;
    PulseMod *pm = &records[channel];
    *pm = PulseMod{};
    pm->channel = channel;
    pm->owner = device;
    int r = KrcontPulsemod_init(pm);
    if (r < 0) return r;
    KrcontPulsemod_registerDeviceFunctions();
    return 0;
}

void KrcontPulsemod_registerDeviceFunctions() {
    Device_getPulseModPtr = getPulseModPtr;
    Device_enableOutputProtection = enableOutputProtection;
    Device_disableOutputProtection = disableOutputProtection;
    Device_isOutputProtectionEnabled = isOutputProtectionEnabled;
    Device_enablePulm = enablePulm;
    Device_disablePulm = disablePulm;
    Device_isPulmEnabled = isPulmEnabled;
    Device_pausePulm = pausePulm;
    Device_resumePulm = resumePulm;
    Device_setPulmPolarityNormal = setPolarity<0>;
    Device_setPulmPolarityInverted = setPolarity<1>;
    Device_isPulmPolarityNormal = isPolarity<0>;
    Device_isPulmPolarityInverted = isPolarity<1>;
    Device_setPulmSourceInternal = setSource<PULM_SOURCE_INTERNAL>;
    Device_setPulmSourceExternal = setSource<PULM_SOURCE_EXTERNAL>;
    Device_setPulmSourceBitstream = setSource<PULM_SOURCE_BITSTREAM>;
    Device_isPulmSourceInternal = isSource<PULM_SOURCE_INTERNAL>;
    Device_isPulmSourceExternal = isSource<PULM_SOURCE_EXTERNAL>;
    Device_isPulmSourceBitstream = isSource<PULM_SOURCE_BITSTREAM>;
    Device_setPulmInternalFrequency = setFrequencyOp;
    Device_setPulmInternalFrequencyJump = setFrequencyJump;
    Device_getPulmInternalFrequency = getFrequency;
    Device_getPulmInternalFrequencyMin = getFrequencyMin;
    Device_getPulmInternalFrequencyMax = getFrequencyMax;
    Device_setPulmInternalPeriod = setPeriodOp;
    Device_setPulmInternalPeriodJump = setPeriodJump;
    Device_getPulmInternalPeriod = getPeriod;
    Device_getPulmInternalPeriodMin = getTimeMin;
    Device_getPulmInternalPeriodMax = getTimeMax;
    Device_setPulmInternalPulseWidth = setWidthOp;
    Device_setPulmInternalPulseWidthJump = setWidthJump;
    Device_getPulmInternalPulseWidth = getWidth;
    Device_getPulmInternalPulseWidthMin = getTimeMin;
    Device_getPulmInternalPulseWidthMax = getTimeMax;
    Device_getPulmInternalResolution = getResolution;
    Device_setPulmBitstream = setBitstreamOp;
    Device_getPulmBitstream = getBitstreamOp;
    Device_setPulmBitstreamBits = setBits;
    Device_getPulmBitstreamBits = getBits;
    Device_setPulmBitstreamStartbit = setStartbit;
    Device_getPulmBitstreamStartbit = getStartbit;
    Device_setPulmBitstreamRate = setBitRate;
    Device_getPulmBitstreamRate = getBitRate;
    Device_setPulmBitstreamTime = setBitTime;
    Device_setPulmBitstreamTimeJump = setBitTimeJump;
    Device_getPulmBitstreamTime = getBitTime;
    Device_setPulmBitstreamDirectionMsbfirst = setDirection<1>;
    Device_setPulmBitstreamDirectionLsbfirst = setDirection<0>;
    Device_isPulmBitstreamDirectionMsbfirst = isDirection<1>;
    Device_isPulmBitstreamDirectionLsbfirst = isDirection<0>;
    Device_setPulmIntline = setIntline;
    Device_setPulmVideoOutputSource = setVideoOutputSource;
    Device_getPulmVideoOutputSource = getVideoOutputSource;
    Device_getPulmVideoOutputSourceMin = getVideoOutputSourceLimit<false>;
    Device_getPulmVideoOutputSourceMax = getVideoOutputSourceLimit<true>;
    Device_setPulmOutputVideoPolarityNormal = setVideoPolarity<0>;
    Device_setPulmOutputVideoPolarityInverted = setVideoPolarity<1>;
    Device_isPulmOutputVideoPolarityNormal = isVideoPolarity<0>;
    Device_isPulmOutputVideoPolarityInverted = isVideoPolarity<1>;
    Device_setPulmCount = setCount;
    Device_getPulmCount = getCount;
    Device_getPulmCountMin = getCountMin;
    Device_getPulmCountMax = getCountMax;
}
