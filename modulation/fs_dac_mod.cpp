#include "modulation/fs_dac_mod.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/printd.h"
#include "device/device.h"
#include "device/slot_front.h"
#include "hw/ad5643.h"
#include "hw/ad9164.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_if.h"
#include "hw/fs_fpga_registers.h"
#include "level/calibration.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_status.h"

namespace {

constexpr int CHANNELS = 8;
constexpr double TWO_PI = 2 * M_PI;
constexpr double FACTOR_LIMIT = 66437775.36;  // 0.99 x 2^26
constexpr double PM_SCALE = 81409.17805212039;
constexpr double FSK_SCALE = 0.2;
constexpr uint16_t QUESTIONABLE_MODULATION = 1u << 7;
constexpr uint32_t STATE_AM = 2, STATE_FM_PM = 4;

enum Kind { KIND_FM = 1, KIND_PM = 2, KIND_FSK = 3 };

FsDacMod records[CHANNELS];
// Limits answered through pointers.
KrFreq limitFreq;
KrAngle limitAngle;

int32_t sourceOf(Device *d) {
    return DEVICE_ISREG(getSource) ? Device_getSource(d) : 0;
}

FsDacMod *rec(Device *d, int32_t s) {
    return DEVICE_ISREG(getFsDacMod) ? Device_getFsDacMod(d, s) : nullptr;
}

FsDacMod *rec(Device *d) {
    return rec(d, sourceOf(d));
}

AD9164 *dacOf(Device *d, int32_t s) {
    return DEVICE_ISREG(getFsDacMod_ad9164) ? Device_getFsDacMod_ad9164(d, s) : nullptr;
}

AD5643 *amDacOf(Device *d, int32_t s) {
    return DEVICE_ISREG(getFsDacMod_ad5643) ? Device_getFsDacMod_ad5643(d, s) : nullptr;
}

void notify(Device *d, uint32_t what, int32_t value) {
    if (DEVICE_ISREG(notifyState)) Device_notifyState(d, what, value);
}

bool multiChannel(Device *d) {
    return DEVICE_ISREG(getSourceIndexMax) && Device_getSourceIndexMax(d) != 1;
}

int hasConflict(Device *d, const FsDacMod *m) {
    if (m->amEnabled || m->fmEnabled || m->pmEnabled || m->fskEnabled) return 1;
    if (DEVICE_ISREG(isFrequencyModeFixed) && !Device_isFrequencyModeFixed(d)) return 1;
    if (DEVICE_ISREG(isPowerModeFixed) && !Device_isPowerModeFixed(d)) return 1;
    // Fast channel programming holds the stream in block mode.
    if (DEVICE_ISREG(isFcpListCtrlEnabled) && DEVICE_ISREG(isFcpFreqCtrlEnabled) &&
        DEVICE_ISREG(isFcpAmplCtrlEnabled) &&
        (Device_isFcpListCtrlEnabled(d) == 1 || Device_isFcpFreqCtrlEnabled(d) == 1 ||
         Device_isFcpAmplCtrlEnabled(d) == 1))
        return 1;
    return 0;
}

KrFreq carrierOf(Device *d) {
    const KrFreq *f = DEVICE_ISREG(getFrequency) ? Device_getFrequency(d) : nullptr;
    return f ? *f : krfreqHz(0);
}

// Output frequency of the DAC's preset path, as a hop of the table.
int setFrequency_mod(AD9164 *dac, const KrFreq *carrier, double offsetHz) {
    KrFreq f, delta;
    double2krfreq(offsetHz, &delta);
    krfreqAdd(&f, carrier, &delta);
    return AD9164_setFrequency_mod(dac, &f);
}

// Output phase through the path's ratio into [0, 2 pi); 1 in *large when the NCO moves by more
// than the limit from where it was.
int setPhase_mod(AD9164 *dac, double phase, double *ncoPhase, int *large) {
    double p = phase * (double)dac->outputDivider / (double)dac->outputMultiplier;
    p = std::fmod(p, TWO_PI);
    if (p < 0) p += TWO_PI;
    double step = std::fabs(p - *ncoPhase);
    if (step > M_PI) step = TWO_PI - step;
    if (step > FS_DAC_MOD_PHASE_STEP_LIMIT) *large = 1;
    *ncoPhase = p;
    return AD9164_setPhaseWord(dac, (uint16_t)((uint32_t)(p * (65536.0 / TWO_PI)) & 0xFFFF));
}

void setQuestionableModulation(Device *d, int on) {
    if (!DEVICE_ISREG(getStatusRegisters)) return;
    DeviceStatusRegisters *regs = Device_getStatusRegisters(d);
    if (regs) statusregister_setCondition(&regs->questionable, QUESTIONABLE_MODULATION, on);
}

// Stops whatever program the FPGA loops on the current channel.
void stopProgram() {
    FS_FPGA_IF_IMM_setCbufState(1);
    FS_FPGA_flush();
    FS_FPGA_IF_IMM_setCbufState(0);
}

// Sample period and table of a rate: steps 3 and 4 of an internal table. *delayTicks is the
// FPGA delay before each sample, *adc whether each sample waits for an ADC word.
void planTable(const char *who, double ts, double rate, bool *adc, uint32_t *delayTicks,
               double *period, double *duration, double *actualRate, uint32_t *n) {
    *delayTicks = 0;
    for (;;) {
        fs_dac_mod_findClosestFm(1.0 / ts, rate, FS_DAC_MOD_MIN_SAMPLES, duration, actualRate, n);
        if (*n < FS_DAC_MOD_MAX_SAMPLES) break;
        if (!*adc) {
            ts = FS_MOD_ADC_SAMPLE_S;
            printd("%s(): use modulation ADC clock to get %e s sample period\n", who, ts);
        } else {
            ts *= 2;
            *delayTicks = (uint32_t)std::lround((ts - FS_MOD_ADC_SAMPLE_S) * FS_TIMER_HZ);
            printd("%s(): use %d ticks delay to get %e s sample period\n", who, (int)*delayTicks,
                   ts);
        }
        *adc = true;
    }
    *period = ts;
}

void sampleWaits(bool adc, uint32_t delayTicks) {
    if (delayTicks) FS_FPGA_IF_delayTicks(delayTicks);
    if (adc) FS_FPGA_IF_awaitAdcValid();
}

void saveDacMode(FsDacMod *m, AD9164 *dac) {
    if (m->savedDacModeValid) return;
    m->savedDacMode = AD9164_getMode(dac);
    m->savedDacModeValid = 1;
}

int enableFmPmFskInternal(Device *d, int32_t s, int kind) {
    FsDacMod *m = rec(d, s);
    AD9164 *dac = dacOf(d, s);
    if (!m || !dac) return KR_E_HARDWARE_MISSING;
    if (hasConflict(d, m)) return KR_E_SETTINGS_CONFLICT;
    double deviation = kind == KIND_FM ? m->fmDeviation : m->pmDeviation;
    double rate = kind == KIND_FM ? m->fmInternalFrequency : m->pmInternalFrequency;
    bool adc = multiChannel(d);
    uint32_t delayTicks, n;
    double ts, duration, actualRate;
    planTable("enableFmPmFskInternal", adc ? FS_MOD_ADC_SAMPLE_S : FS_MOD_HOP_SAMPLE_S, rate, &adc,
              &delayTicks, &ts, &duration, &actualRate, &n);
    double samplesPerSecond = 1.0 / ts;

    notify(d, STATE_FM_PM, 1);
    KrFreq carrier = carrierOf(d);
    saveDacMode(m, dac);
    AD9164_setMode(dac, (uint8_t)(m->savedDacMode | AD9164_DATAPATH_NCO_HOPPING));
    double ncoPhase = 0;
    int large = 0;
    setPhase_mod(dac, 0, &ncoPhase, &large);
    if (!m->phaseTable) setFrequency_mod(dac, &carrier, 0);

    FS_FPGA_setFlushModeNever();
    FS_FPGA_IF_setJumpLabel();
    printd("enableFmPmFskInternal(): writing modulation data to FS FPGA RAM...\n");
    const double w = TWO_PI * actualRate;
    double phase = 0;                                 // phase table, FM: the accumulated phase
    double previous = deviation * std::sin(-w * ts);  // PM: phi of the sample before the first
    int r = 0;
    for (uint32_t i = 0; i < n && r == 0; i++) {
        double t = i * ts;
        sampleWaits(adc, delayTicks);
        double phi = deviation * std::sin(w * t);
        if (!m->phaseTable) {
            double offset = kind == KIND_FM ? phi : (phi - previous) * samplesPerSecond / TWO_PI;
            r = setFrequency_mod(dac, &carrier, offset);
        } else if (kind == KIND_FM) {
            phase += TWO_PI * phi / samplesPerSecond;
            r = setPhase_mod(dac, phase, &ncoPhase, &large);
        } else {
            r = setPhase_mod(dac, phi, &ncoPhase, &large);
        }
        previous = phi;
    }
    printd("enableFmPmFskInternal(): ...writing FS FPGA RAM completed\n");
    if (large)
        printd(
            "enableFmPmFskInternal(): Modulation index or frequency too high, causes large "
            "phase steps\n");
    setQuestionableModulation(d, large);
    FS_FPGA_IF_jumpToLabel();
    FS_FPGA_flush();
    FS_FPGA_setFlushModeAlways();
    return r;
}

int enableFmPmFskExternal(Device *d, int32_t s, int kind) {
    FsDacMod *m = rec(d, s);
    AD9164 *dac = dacOf(d, s);
    if (!m || !dac) return KR_E_HARDWARE_MISSING;
    if (hasConflict(d, m)) return KR_E_SETTINGS_CONFLICT;
    double value = kind == KIND_FM   ? m->fmSensitivity
                   : kind == KIND_PM ? m->pmSensitivity
                                     : m->fskDeviation;
    double ratio = (double)dac->outputMultiplier / (double)dac->outputDivider;
    double fDdsIn = krfreqToDouble(&dac->nco.in);
    const double ftwResolution = 4294967296.0, adcInRange = 10.0 / 32768.0, adcResolution = 512;
    printd(
        "enableFmPmFskExternal(): sensitivity %f, fDdsIn %f, ftwResolution %f, adcInRange %f, "
        "adcResolution %f\n",
        value, fDdsIn, ftwResolution, adcInRange, adcResolution);
    if (fDdsIn <= 0) return KR_E_HARDWARE_ERROR;
    double x = value / ratio / fDdsIn * ftwResolution * adcInRange * adcResolution;
    if (kind == KIND_PM) x *= PM_SCALE;
    if (kind == KIND_FSK) x *= FSK_SCALE;
    printd("enableFmPmFskExternal(): factorXgain %f\n", x);
    uint32_t gain, factor;
    int r = fs_dac_mod_calculateFactorGainReg(x, &gain, &factor);
    printd("enableFmPmFskExternal(): factor %u, gainReg %u, factorReg %u\n", factor, gain, factor);
    if (r) return r;

    notify(d, STATE_FM_PM, 1);
    uint64_t ftw48 = dac->nco.ftw;
    uint32_t centerFtw = (uint32_t)(ftw48 >> 16);
    double offset = 32768.0 * x / 512.0;
    bool dc = kind == KIND_FM && m->fmCoupling == FS_DAC_MOD_COUPLING_DC;
    if (dc) offset = (m->fmCenter / 9.0) * 32768.0 * x / 512.0;
    // The zero of the ADC sits below the carrier by the offset; it cannot leave the word.
    double zero = std::floor((double)centerFtw - offset);
    uint32_t offsetReg = zero <= 0 ? 0 : zero >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)zero;
    printd("enableFmPmFskExternal(): ftw48 %llu, centerFtw %u, adcCenterFtw %u, offsetReg %u\n",
           (unsigned long long)ftw48, centerFtw, centerFtw, offsetReg);
    uint32_t mode = dc                 ? FS_ADC_MODE_DC
                    : kind == KIND_FSK ? FS_ADC_MODE_BINARY
                                       : FS_ADC_MODE_NORMAL;
    printd("enableFmPmFskExternal(): ADC mode %s\n", mode == FS_ADC_MODE_DC       ? "DC"
                                                     : mode == FS_ADC_MODE_BINARY ? "binary"
                                                                                  : "normal");
    const int path = FS_FPGA_PATH_IMMEDIATE;
    FS_FPGA_writeRegisterBitfield(path, FS_REG_CONTROL, FS_CONTROL_ADC_MODE_HIGH,
                                  FS_CONTROL_ADC_MODE_LOW, mode);
    FS_FPGA_writeRegisterBitfield(path, FS_REG_CONTROL, FS_CONTROL_ADC_POLARITY,
                                  FS_CONTROL_ADC_POLARITY, 0);
    FS_FPGA_writeRegisterBitfield(path, FS_REG_CONTROL, FS_CONTROL_ADC_LIMITS_HIGH,
                                  FS_CONTROL_ADC_LIMITS_LOW, fs_dac_mod_adcLimitsField(65535, 0));
    uint64_t word = fs_dac_mod_modulationRegister(gain, factor, kind == KIND_PM, offsetReg);
    int c = FS_FPGA_getChannel();
    r = FS_FPGA_writeRegister(path, fs_regModulation((uint32_t)(c < 0 ? 0 : c)), 8, &word);
    printd("enableFmPmFskExternal(): gainReg %u, factorReg %u, offsetReg %u\n", gain, factor,
           offsetReg);

    saveDacMode(m, dac);
    AD9164_setMode(dac, (uint8_t)(m->savedDacMode | AD9164_DATAPATH_NCO_HOPPING));
    FS_FPGA_setFlushModeNever();
    FS_FPGA_IF_setJumpLabel();
    FS_FPGA_IF_awaitAdcValid();
    KrFreq nco = *FTW_getOut(&dac->nco);
    int u = AD9164_setFrequency_unimod(dac, &nco);
    FS_FPGA_IF_jumpToLabel();
    FS_FPGA_flush();
    FS_FPGA_setFlushModeAlways();
    return r ? r : u;
}

// Stops FM, PM and FSK together (they share the NCO program) and puts the carrier back.
int disableFmPmFsk(Device *d, int32_t s) {
    FsDacMod *m = rec(d, s);
    if (!m) return KR_E_HARDWARE_MISSING;
    if (!(m->fmEnabled || m->pmEnabled || m->fskEnabled)) return 0;
    stopProgram();
    m->fmEnabled = m->pmEnabled = m->fskEnabled = 0;
    AD9164 *dac = dacOf(d, s);
    if (dac && m->savedDacModeValid) AD9164_setMode(dac, (uint8_t)m->savedDacMode);
    m->savedDacModeValid = 0;
    // The modulation register stops steering the NCO.
    uint64_t off = 0;
    int c = FS_FPGA_getChannel();
    FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, fs_regModulation((uint32_t)(c < 0 ? 0 : c)), 8,
                          &off);
    if (DEVICE_ISREG(getPhase) && DEVICE_ISREG(setPhase)) {
        KrAngle a = *Device_getPhase(d);
        Device_setPhase(d, &a);
    }
    int r = 0;
    if (DEVICE_ISREG(setFrequency)) {
        KrFreq f = carrierOf(d);
        r = Device_setFrequency(d, &f);
    }
    notify(d, STATE_FM_PM, 0);
    return r;
}

int startKind(Device *d, int32_t s, int kind) {
    FsDacMod *m = rec(d, s);
    if (!m) return KR_E_HARDWARE_MISSING;
    uint8_t *on = kind == KIND_FM   ? &m->fmEnabled
                  : kind == KIND_PM ? &m->pmEnabled
                                    : &m->fskEnabled;
    if (*on) return 0;
    uint32_t source = kind == KIND_FM   ? m->fmSource
                      : kind == KIND_PM ? m->pmSource
                                        : FS_DAC_MOD_SOURCE_EXTERNAL;
    int r = source == FS_DAC_MOD_SOURCE_INTERNAL ? enableFmPmFskInternal(d, s, kind)
                                                 : enableFmPmFskExternal(d, s, kind);
    if (r == 0) {
        *on = 1;
    } else if (r != KR_E_SETTINGS_CONFLICT) {
        // A start that failed half-way leaves nothing running.
        uint8_t keep = *on;
        *on = 1;
        disableFmPmFsk(d, s);
        *on = keep;
    }
    return r;
}

int stopKind(Device *d, int kind) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    uint8_t *on = kind == KIND_FM   ? &m->fmEnabled
                  : kind == KIND_PM ? &m->pmEnabled
                                    : &m->fskEnabled;
    if (!*on) return 0;
    int r = disableFmPmFsk(d, sourceOf(d));
    *on = 0;
    return r;
}

int restart(Device *d, int kind, bool when) {
    if (!when) return 0;
    int r = stopKind(d, kind);
    return r ? r : startKind(d, sourceOf(d), kind);
}

// ---- AM ----------------------------------------------------------------------------

uint16_t alcSetpoint(Device *d, KrPow power) {
    Calibration *cal = DEVICE_ISREG(getCalibration) ? Device_getCalibration(d) : nullptr;
    if (!cal) return 0;
    KrFreq f = carrierOf(d);
    CalibrationCoord coord;
    Calibration_findCoord(cal, &f, power, &coord);
    return Calibration_getAlcSetpoint2D(cal, power, &f, &coord);
}

KrPow powerOf(Device *d) {
    const KrPow *p = DEVICE_ISREG(getPower) ? Device_getPower(d) : nullptr;
    return p ? *p : 0;
}

int enableAmInternal(Device *d, int32_t s) {
    FsDacMod *m = rec(d, s);
    AD5643 *am = amDacOf(d, s);
    if (!m || !am) return KR_E_HARDWARE_MISSING;
    if (hasConflict(d, m)) return KR_E_SETTINGS_CONFLICT;
    // The set point of the level the channel holds now, from its calibration table.
    if (DEVICE_ISREG(getCalibration) && Device_getCalibration(d)) {
        AD5643CalSet fresh = {1, alcSetpoint(d, powerOf(d)), 0, 0x3FFF};
        AD5643_setCalSet(am, &fresh);
    }
    const AD5643CalSet *set = AD5643_getCalSet(am);
    if (!set || !set->valid) return KR_E_HARDWARE_MISSING;
    bool adc = multiChannel(d);
    uint32_t delayTicks, n;
    double ts, duration, actualRate;
    planTable("enableAmInternal", adc ? FS_MOD_ADC_SAMPLE_S : FS_MOD_AM_SAMPLE_S,
              krfreqToDouble(&m->amInternalFrequency), &adc, &delayTicks, &ts, &duration,
              &actualRate, &n);
    notify(d, STATE_AM, 1);
    FS_FPGA_setFlushModeNever();
    FS_FPGA_IF_setJumpLabel();
    printd("enableAm(): writing modulation data to FS FPGA RAM...\n");
    KrPow base = powerOf(d);
    const double w = TWO_PI * actualRate;
    int r = 0;
    for (uint32_t i = 0; i < n && r == 0; i++) {
        sampleWaits(adc, delayTicks);
        double a = 1.0 + m->amDepth * std::sin(w * i * ts);
        KrPow p = (KrPow)(base + 20.0 * std::log10(a));
        r = AD5643_setValue_mod(am, alcSetpoint(d, p));
    }
    printd("enableAm(): ...writing FS FPGA RAM completed\n");
    FS_FPGA_IF_jumpToLabel();
    FS_FPGA_flush();
    FS_FPGA_setFlushModeAlways();
    return r;
}

int enableAm(Device *d) {
    int32_t s = sourceOf(d);
    FsDacMod *m = rec(d, s);
    if (!m) return KR_E_HARDWARE_MISSING;
    if (m->amEnabled) return 0;
    m->amPeBlanking = 1;
    // External AM and the digital levelling loop's AM are not fitted on these boards.
    int r = m->amSource == FS_DAC_MOD_AM_INTERNAL ? enableAmInternal(d, s) : KR_E_HARDWARE_MISSING;
    if (r == 0)
        m->amEnabled = 1;
    else
        m->amPeBlanking = 0;
    return r;
}

int disableAm(Device *d) {
    int32_t s = sourceOf(d);
    FsDacMod *m = rec(d, s);
    if (!m) return KR_E_HARDWARE_MISSING;
    if (!m->amEnabled) return 0;
    stopProgram();
    AD5643 *am = amDacOf(d, s);
    if (am) {
        const AD5643CalSet *set = AD5643_getCalSet(am);
        AD5643_setValue_mod(am, set && set->valid ? set->alcSetpoint : alcSetpoint(d, powerOf(d)));
    }
    m->amEnabled = 0;
    m->digitalAlcAm = 0;
    notify(d, STATE_AM, 0);
    m->amPeBlanking = 0;
    // The level loop takes the calibrated point of the current power again.
    if (DEVICE_ISREG(setPower)) {
        KrPow p = powerOf(d);
        return Device_setPower(d, &p);
    }
    return 0;
}

// ---- Slots -------------------------------------------------------------------------

int isFmSourceInternal(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->fmSource == FS_DAC_MOD_SOURCE_INTERNAL;
}
int isFmSourceExternal(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->fmSource == FS_DAC_MOD_SOURCE_EXTERNAL;
}
int setFmSource(Device *d, uint32_t source) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    if (m->fmSource == source) return 0;
    bool on = m->fmEnabled;
    int r = on ? stopKind(d, KIND_FM) : 0;
    m->fmSource = source;
    return r ? r : on ? startKind(d, sourceOf(d), KIND_FM) : 0;
}
int setFmSourceInternal(Device *d) {
    return setFmSource(d, FS_DAC_MOD_SOURCE_INTERNAL);
}
int setFmSourceExternal(Device *d) {
    return setFmSource(d, FS_DAC_MOD_SOURCE_EXTERNAL);
}
int isFmEnabled(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->fmEnabled;
}
int enableFm(Device *d) {
    return startKind(d, sourceOf(d), KIND_FM);
}
int disableFm(Device *d) {
    return stopKind(d, KIND_FM);
}

// A frequency-valued field with its limits.
const KrFreq *asFreq(double v) {
    double2krfreq(v, &limitFreq);
    return &limitFreq;
}

#define FREQ_FIELD(Name, field, lo, hi, restartWhen)                  \
    const KrFreq *get##Name(Device *d) {                              \
        FsDacMod *m = rec(d);                                         \
        return asFreq(m ? m->field : 0);                              \
    }                                                                 \
    const KrFreq *get##Name##Min(Device *) {                          \
        return asFreq(lo);                                            \
    }                                                                 \
    const KrFreq *get##Name##Max(Device *) {                          \
        return asFreq(hi);                                            \
    }                                                                 \
    int set##Name(Device *d, const KrFreq *f) {                       \
        FsDacMod *m = rec(d);                                         \
        if (!m) return KR_E_HARDWARE_MISSING;                         \
        double v = krfreqToDouble(f);                                 \
        if (!(v >= (lo) && v <= (hi))) return KR_E_DATA_OUT_OF_RANGE; \
        m->field = v;                                                 \
        return restartWhen;                                           \
    }

#define DOUBLE_FIELD(Name, field, lo, hi, restartWhen)                \
    double get##Name(Device *d) {                                     \
        FsDacMod *m = rec(d);                                         \
        return m ? m->field : 0;                                      \
    }                                                                 \
    double get##Name##Min(Device *) {                                 \
        return lo;                                                    \
    }                                                                 \
    double get##Name##Max(Device *) {                                 \
        return hi;                                                    \
    }                                                                 \
    int set##Name(Device *d, double v) {                              \
        FsDacMod *m = rec(d);                                         \
        if (!m) return KR_E_HARDWARE_MISSING;                         \
        if (!(v >= (lo) && v <= (hi))) return KR_E_DATA_OUT_OF_RANGE; \
        m->field = v;                                                 \
        return restartWhen;                                           \
    }

bool fmOn(Device *d, uint32_t source) {
    FsDacMod *m = rec(d);
    return m->fmEnabled && m->fmSource == source;
}

FREQ_FIELD(FmDeviation, fmDeviation, 1.0, 1e9,
           restart(d, KIND_FM, fmOn(d, FS_DAC_MOD_SOURCE_INTERNAL)))
FREQ_FIELD(FmInternalFrequency, fmInternalFrequency, 0.01, 100000.0,
           restart(d, KIND_FM, fmOn(d, FS_DAC_MOD_SOURCE_INTERNAL)))
DOUBLE_FIELD(FmSensitivity, fmSensitivity, 1.0, 1e9,
             restart(d, KIND_FM, fmOn(d, FS_DAC_MOD_SOURCE_EXTERNAL)))
DOUBLE_FIELD(FmCenter, fmCenter, 0.0, 9.0,
             restart(d, KIND_FM,
                     fmOn(d, FS_DAC_MOD_SOURCE_EXTERNAL) &&
                         m->fmCoupling == FS_DAC_MOD_COUPLING_DC))
FREQ_FIELD(PmInternalFrequency, pmInternalFrequency, 0.01, 100000.0,
           restart(d, KIND_PM, m->pmEnabled && m->pmSource == FS_DAC_MOD_SOURCE_INTERNAL))
DOUBLE_FIELD(PmSensitivity, pmSensitivity, 1.0, 1e9,
             restart(d, KIND_PM, m->pmEnabled && m->pmSource == FS_DAC_MOD_SOURCE_EXTERNAL))
FREQ_FIELD(FskDeviation, fskDeviation, 0.0, 1e9, restart(d, KIND_FSK, m->fskEnabled))
DOUBLE_FIELD(AmSensitivity, amSensitivity, 1.0, 1e9, 0)

int isFmCouplingAc(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->fmCoupling == FS_DAC_MOD_COUPLING_AC;
}
int isFmCouplingDc(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->fmCoupling == FS_DAC_MOD_COUPLING_DC;
}
int setFmCoupling(Device *d, uint32_t coupling) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    m->fmCoupling = coupling;
    return restart(d, KIND_FM, fmOn(d, FS_DAC_MOD_SOURCE_EXTERNAL));
}
int setFmCouplingAc(Device *d) {
    return setFmCoupling(d, FS_DAC_MOD_COUPLING_AC);
}
int setFmCouplingDc(Device *d) {
    return setFmCoupling(d, FS_DAC_MOD_COUPLING_DC);
}

int isPmSourceInternal(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->pmSource == FS_DAC_MOD_SOURCE_INTERNAL;
}
int isPmSourceExternal(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->pmSource == FS_DAC_MOD_SOURCE_EXTERNAL;
}
int setPmSource(Device *d, uint32_t source) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    if (m->pmSource == source) return 0;
    bool on = m->pmEnabled;
    int r = on ? stopKind(d, KIND_PM) : 0;
    m->pmSource = source;
    return r ? r : on ? startKind(d, sourceOf(d), KIND_PM) : 0;
}
int setPmSourceInternal(Device *d) {
    return setPmSource(d, FS_DAC_MOD_SOURCE_INTERNAL);
}
int setPmSourceExternal(Device *d) {
    return setPmSource(d, FS_DAC_MOD_SOURCE_EXTERNAL);
}
int isPmEnabled(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->pmEnabled;
}
int enablePm(Device *d) {
    return startKind(d, sourceOf(d), KIND_PM);
}
int disablePm(Device *d) {
    return stopKind(d, KIND_PM);
}
const KrAngle *getPmDeviation(Device *d) {
    FsDacMod *m = rec(d);
    limitAngle = m ? m->pmDeviation : 0;
    return &limitAngle;
}
const KrAngle *getPmDeviationMin(Device *) {
    limitAngle = 0;
    return &limitAngle;
}
const KrAngle *getPmDeviationMax(Device *) {
    limitAngle = 1000;
    return &limitAngle;
}
int setPmDeviation(Device *d, const KrAngle *a) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    if (!(*a >= 0 && *a <= 1000)) return KR_E_DATA_OUT_OF_RANGE;
    m->pmDeviation = *a;
    return restart(d, KIND_PM, m->pmEnabled);
}

int isFskEnabled(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->fskEnabled;
}
int enableFsk(Device *d) {
    return startKind(d, sourceOf(d), KIND_FSK);
}
int disableFsk(Device *d) {
    return stopKind(d, KIND_FSK);
}

int restartAm(Device *d) {
    FsDacMod *m = rec(d);
    if (!m->amEnabled) return 0;
    int r = disableAm(d);
    return r ? r : enableAm(d);
}
int isAmEnabled(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->amEnabled;
}
int isDigitalAlcAmEnabled(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->digitalAlcAm;
}
int isAmSourceInternal(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->amSource == FS_DAC_MOD_AM_INTERNAL;
}
int isAmSourceExternal(Device *d) {
    FsDacMod *m = rec(d);
    return m && m->amSource == FS_DAC_MOD_AM_EXTERNAL;
}
int setAmSource(Device *d, uint32_t source) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    if (m->amSource == source) return 0;
    m->amSource = source;
    return restartAm(d);
}
int setAmSourceInternal(Device *d) {
    return setAmSource(d, FS_DAC_MOD_AM_INTERNAL);
}
int setAmSourceExternal(Device *d) {
    return setAmSource(d, FS_DAC_MOD_AM_EXTERNAL);
}
double getAmDepth(Device *d) {
    FsDacMod *m = rec(d);
    return m ? m->amDepth : 0;
}
double getAmDepthMin(Device *) {
    return 0;
}
double getAmDepthMax(Device *) {
    return 0.95;
}
int setAmDepth(Device *d, double v) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    if (!(v >= 0 && v <= 0.95)) return KR_E_DATA_OUT_OF_RANGE;
    m->amDepth = v;
    return restartAm(d);
}
const KrFreq *getAmInternalFrequency(Device *d) {
    FsDacMod *m = rec(d);
    limitFreq = m ? m->amInternalFrequency : krfreqHz(0);
    return &limitFreq;
}
const KrFreq *getAmInternalFrequencyMin(Device *) {
    return asFreq(0.01);
}
const KrFreq *getAmInternalFrequencyMax(Device *) {
    return asFreq(200000.0);
}
int setAmInternalFrequency(Device *d, const KrFreq *f) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    double v = krfreqToDouble(f);
    if (!(v >= 0.01 && v <= 200000.0)) return KR_E_DATA_OUT_OF_RANGE;
    m->amInternalFrequency = *f;
    return restartAm(d);
}
int setAmDepthSlope(Device *d, double v) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    m->amDepthSlope = (float)v;
    return 0;
}
int setAmPrewarpSlope(Device *d, double v) {
    FsDacMod *m = rec(d);
    if (!m) return KR_E_HARDWARE_MISSING;
    m->amPrewarpSlope = (float)v;
    return 0;
}
int getAmPeBlankingState(Device *d) {
    FsDacMod *m = rec(d);
    return m ? m->amPeBlanking : 0;
}

// A new carrier or level needs a new table: the modulation stops around the change and
// starts again on the new values.
int (*plainSetFrequency)(Device *, const KrFreq *) = nullptr;
int (*plainSetPower)(Device *, const KrPow *) = nullptr;
bool carrierChanging = false;

template <typename T, int (**Plain)(Device *, const T *)>
int aroundModulation(Device *d, const T *value) {
    int32_t s = sourceOf(d);
    if (carrierChanging || !fs_dac_mod_isRunning(s)) return (*Plain)(d, value);
    carrierChanging = true;
    int p = fs_dac_mod_pause(d, s);
    int r = (*Plain)(d, value);
    int q = fs_dac_mod_resume(d, s);
    carrierChanging = false;
    return r ? r : p ? p : q;
}

void wrapCarrierSetters() {
    device_putInFront(Device_setFrequency, DEVICE_ISREG(setFrequency),
                      &aroundModulation<KrFreq, &plainSetFrequency>, &plainSetFrequency);
    device_putInFront(Device_setPower, DEVICE_ISREG(setPower),
                      &aroundModulation<KrPow, &plainSetPower>, &plainSetPower);
}

}  // namespace

FsDacMod *fs_dac_mod_record(int32_t source) {
    return source >= 0 && source < CHANNELS ? &records[source] : nullptr;
}

void fs_dac_mod_setDefaults(FsDacMod *m) {
    memset(m, 0, sizeof(*m));
    m->amSource = FS_DAC_MOD_AM_INTERNAL;
    m->amDepth = 0.8;
    m->amSensitivity = 0.8;
    m->amInternalFrequency = krfreqHz(400);
    m->amDepthSlope = m->amPrewarpSlope = 1.0f;
    m->fmSource = FS_DAC_MOD_SOURCE_INTERNAL;
    m->fmDeviation = 1000;
    m->fmSensitivity = 1000;
    m->fmInternalFrequency = 400;
    m->fmCoupling = FS_DAC_MOD_COUPLING_AC;
    m->fmCenter = 5.0;
    m->pmSource = FS_DAC_MOD_SOURCE_INTERNAL;
    m->pmDeviation = 1.0;
    m->pmSensitivity = 1.0;
    m->pmInternalFrequency = 400;
    m->fskDeviation = 1000;
}

int fs_dac_mod_init(Device *device, int32_t source) {
    if (!DEVICE_ISREG(getFsDacMod)) {
        printd("fs_dac_mod_init() error: Device_getFsDacMod not registered\n");
        return KR_E_HARDWARE_MISSING;
    }
    if (!DEVICE_ISREG(getFsDacMod_ad5643)) {
        printd("fs_dac_mod_init() info: Device_getFsDacMod_ad5643 not registered\n");
        printd("                        -> FM/PM are supported but not AM\n");
    }
    if (!DEVICE_ISREG(getFsDacMod_ad9164)) {
        printd("fs_dac_mod_init() error: Device_getFsDacMod_ad9164 not registered\n");
        return KR_E_HARDWARE_MISSING;
    }
    if (!Device_getFsDacMod_ad9164(device, source)) {
        printd("fs_dac_mod_init() error: Device_getFsDacMod_ad9164() returned NULL\n");
        return KR_E_HARDWARE_MISSING;
    }
    FsDacMod *m = Device_getFsDacMod(device, source);
    if (!m) {
        printd("fs_dac_mod_init() error: Device_getFsDacMod() returned NULL\n");
        return KR_E_HARDWARE_MISSING;
    }
    fs_dac_mod_setDefaults(m);
    return 0;
}

void fs_dac_mod_registerFunctions_optionMod(Device *, int32_t) {
    wrapCarrierSetters();
    Device_isFmSourceInternal = isFmSourceInternal;
    Device_isFmSourceExternal = isFmSourceExternal;
    Device_setFmSourceInternal = setFmSourceInternal;
    Device_setFmSourceExternal = setFmSourceExternal;
    Device_isFmEnabled = isFmEnabled;
    Device_enableFm = enableFm;
    Device_disableFm = disableFm;
    Device_setFmInternalFrequency = setFmInternalFrequency;
    Device_getFmInternalFrequency = getFmInternalFrequency;
    Device_getFmInternalFrequencyMin = getFmInternalFrequencyMin;
    Device_getFmInternalFrequencyMax = getFmInternalFrequencyMax;
    Device_setFmDeviation = setFmDeviation;
    Device_getFmDeviation = getFmDeviation;
    Device_getFmDeviationMin = getFmDeviationMin;
    Device_getFmDeviationMax = getFmDeviationMax;
    Device_setFmSensitivity = setFmSensitivity;
    Device_getFmSensitivity = getFmSensitivity;
    Device_getFmSensitivityMin = getFmSensitivityMin;
    Device_getFmSensitivityMax = getFmSensitivityMax;
    Device_isFmCouplingAc = isFmCouplingAc;
    Device_isFmCouplingDc = isFmCouplingDc;
    Device_setFmCouplingAc = setFmCouplingAc;
    Device_setFmCouplingDc = setFmCouplingDc;
    Device_setFmCenter = setFmCenter;
    Device_getFmCenter = getFmCenter;
    Device_getFmCenterMin = getFmCenterMin;
    Device_getFmCenterMax = getFmCenterMax;

    Device_isPmSourceInternal = isPmSourceInternal;
    Device_isPmSourceExternal = isPmSourceExternal;
    Device_setPmSourceInternal = setPmSourceInternal;
    Device_setPmSourceExternal = setPmSourceExternal;
    Device_isPmEnabled = isPmEnabled;
    Device_enablePm = enablePm;
    Device_disablePm = disablePm;
    Device_setPmInternalFrequency = setPmInternalFrequency;
    Device_getPmInternalFrequency = getPmInternalFrequency;
    Device_getPmInternalFrequencyMin = getPmInternalFrequencyMin;
    Device_getPmInternalFrequencyMax = getPmInternalFrequencyMax;
    Device_setPmDeviation = setPmDeviation;
    Device_getPmDeviation = getPmDeviation;
    Device_getPmDeviationMin = getPmDeviationMin;
    Device_getPmDeviationMax = getPmDeviationMax;
    Device_setPmSensitivity = setPmSensitivity;
    Device_getPmSensitivity = getPmSensitivity;
    Device_getPmSensitivityMin = getPmSensitivityMin;
    Device_getPmSensitivityMax = getPmSensitivityMax;

    if (!DEVICE_ISREG(getFsDacMod_ad5643)) return;
    Device_isAmSourceInternal = isAmSourceInternal;
    Device_isAmSourceExternal = isAmSourceExternal;
    Device_setAmSourceInternal = setAmSourceInternal;
    Device_setAmSourceExternal = setAmSourceExternal;
    Device_isAmEnabled = isAmEnabled;
    Device_isDigitalAlcAmEnabled = isDigitalAlcAmEnabled;
    Device_enableAm = enableAm;
    Device_disableAm = disableAm;
    Device_setAmDepth = setAmDepth;
    Device_getAmDepth = getAmDepth;
    Device_getAmDepthMin = getAmDepthMin;
    Device_getAmDepthMax = getAmDepthMax;
    Device_setAmSensitivity = setAmSensitivity;
    Device_getAmSensitivity = getAmSensitivity;
    Device_getAmSensitivityMin = getAmSensitivityMin;
    Device_getAmSensitivityMax = getAmSensitivityMax;
    Device_setAmInternalFrequency = setAmInternalFrequency;
    Device_getAmInternalFrequency = getAmInternalFrequency;
    Device_getAmInternalFrequencyMin = getAmInternalFrequencyMin;
    Device_getAmInternalFrequencyMax = getAmInternalFrequencyMax;
    Device_setAmDepthSlope = setAmDepthSlope;
    Device_setAmPrewarpSlope = setAmPrewarpSlope;
    Device_getAmPeBlankingState = getAmPeBlankingState;
}

void fs_dac_mod_registerFunctions_optionFsk(Device *device, int32_t source) {
    fs_dac_mod_registerFunctions_optionMod(device, source);
    Device_isFskEnabled = isFskEnabled;
    Device_enableFsk = enableFsk;
    Device_disableFsk = disableFsk;
    Device_setFskDeviation = setFskDeviation;
    Device_getFskDeviation = getFskDeviation;
    Device_getFskDeviationMin = getFskDeviationMin;
    Device_getFskDeviationMax = getFskDeviationMax;
}

int fs_dac_mod_pause(Device *device, int32_t source) {
    if (!DEVICE_ISREG(getFsDacMod)) return KR_E_HARDWARE_MISSING;
    FsDacMod *m = Device_getFsDacMod(device, source);
    if (!m) return KR_E_HARDWARE_MISSING;
    struct Entry {
        uint8_t FsDacMod::*on;
        int32_t FsDacMod::*count;
    };
    static const Entry entries[] = {{&FsDacMod::amEnabled, &FsDacMod::amPauseCount},
                                    {&FsDacMod::fmEnabled, &FsDacMod::fmPauseCount},
                                    {&FsDacMod::pmEnabled, &FsDacMod::pmPauseCount},
                                    {&FsDacMod::fskEnabled, &FsDacMod::fskPauseCount}};
    int r = 0;
    for (const Entry &e : entries) {
        if (m->*e.on) {
            if (r) continue;
            m->*e.count += 1;
            if (e.on == &FsDacMod::amEnabled) {
                r = disableAm(device);
            } else {
                r = disableFmPmFsk(device, source);
                m->*e.on = 0;
            }
        } else if (m->*e.count > 0) {
            m->*e.count += 1;
        }
    }
    return r;
}

int fs_dac_mod_resume(Device *device, int32_t source) {
    if (!DEVICE_ISREG(getFsDacMod)) return KR_E_HARDWARE_MISSING;
    FsDacMod *m = Device_getFsDacMod(device, source);
    if (!m) return KR_E_HARDWARE_MISSING;
    int r = 0;
    if (m->amPauseCount > 0 && --m->amPauseCount == 0 && r == 0) r = enableAm(device);
    if (m->fmPauseCount > 0 && --m->fmPauseCount == 0 && r == 0)
        r = startKind(device, source, KIND_FM);
    if (m->pmPauseCount > 0 && --m->pmPauseCount == 0 && r == 0)
        r = startKind(device, source, KIND_PM);
    if (m->fskPauseCount > 0 && --m->fskPauseCount == 0 && r == 0)
        r = startKind(device, source, KIND_FSK);
    return r;
}

int fs_dac_mod_checkConflict(Device *device, int32_t source, int) {
    FsDacMod *m = rec(device, source);
    return m && hasConflict(device, m) ? KR_E_SETTINGS_CONFLICT : 0;
}

int fs_dac_mod_isRunning(int32_t source) {
    const FsDacMod *m = fs_dac_mod_record(source);
    return m && (m->amEnabled || m->fmEnabled || m->pmEnabled || m->fskEnabled);
}

int togglePowFtw(Device *device, int32_t source) {
    FsDacMod *m = rec(device, source);
    if (!m) return KR_E_HARDWARE_MISSING;
    m->phaseTable = !m->phaseTable;
    int r = 0;
    for (int kind : {KIND_FM, KIND_PM}) {
        bool on = kind == KIND_FM ? m->fmEnabled : m->pmEnabled;
        if (!on) continue;
        disableFmPmFsk(device, source);
        int s = startKind(device, source, kind);
        if (!r) r = s;
    }
    return r;
}

int fs_dac_mod_findClosestFm(double sampleRate, double rate, uint32_t, double *duration,
                             double *actualRate, uint32_t *n) {
    if (!(sampleRate > 0) || !(rate > 0)) return KR_E_DATA_OUT_OF_RANGE;
    double ts = 1.0 / sampleRate, t = 1.0 / rate;
    while (t / ts < FS_DAC_MOD_MIN_SAMPLES)
        t *= 2;
    double count = std::round(t / ts);
    *n = count > 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)count;
    *duration = count * ts;
    *actualRate = rate * (t / ts) / count;
    return 0;
}

int fs_dac_mod_calculateFactorGainReg(double x, uint32_t *gain, uint32_t *factor) {
    double f;
    if (x * 65536 < FACTOR_LIMIT) {
        *gain = 0, f = x * 65536;
    } else if (x * 256 < FACTOR_LIMIT) {
        *gain = 1, f = x * 256;
    } else if (x < FACTOR_LIMIT) {
        *gain = 2, f = x;
    } else {
        *gain = 3, f = x / 256;
    }
    const double top = (double)((1u << FS_MOD_FACTOR_BITS) - 1);
    if (!(f <= top)) {  // also NaN
        *factor = (uint32_t)top;
        return KR_E_DATA_OUT_OF_RANGE;
    }
    *factor = f > 0 ? (uint32_t)f : 0;
    return 0;
}

uint64_t fs_dac_mod_modulationRegister(uint32_t gain, uint32_t factor, int pm, uint32_t offset) {
    const uint64_t factorMask = (1ull << FS_MOD_FACTOR_BITS) - 1;
    return (3ull << FS_MOD_ENABLE_LOW) | ((uint64_t)(gain & 3) << FS_MOD_GAIN_LOW) |
           ((uint64_t)(pm ? FS_MOD_KIND_PHASE : FS_MOD_KIND_FREQUENCY) << FS_MOD_KIND_LOW) |
           (((uint64_t)factor & factorMask) << FS_MOD_FACTOR_LOW) |
           ((uint64_t)offset << FS_MOD_OFFSET_LOW);
}

uint32_t fs_dac_mod_adcLimitsField(uint32_t upper, uint32_t lower) {
    uint32_t u = upper < 16383 ? upper : 16383;
    return (u / 256) * 64 + lower / 256;
}
