// Sweep configuration, its limits and the points it gives.
#include "sweep/sweep_config.h"

#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>

#include "config/device_config.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "hw/fs_fpga_if.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/sweep_rt.h"

namespace {

const SweepTimeLimits variantLimits[] = {
    // dwell min/max, delay min/max, point time min/max, automatic delay
    {1e-5, 9999, 0, 9999, 4e-4, 19998, 6e-4},
    {1e-6, 21, 0, 21, 1.9e-5, 42, 0},
    {8e-9, 34.359738376, 0, 34.359738368, 8e-9, 68.719476744, 0},
};

SweepTimeLimits limits = variantLimits[SWEEP_VARIANT_STANDARD];

Sweep *current(Device *device) {
    return Device_getSweepPtr(device);
}

// ---- Shared fields: the main loop writes, the player task reads --------------------------

template <class T>
T loadShared(const T &field) {
    return std::atomic_ref<T>(const_cast<T &>(field)).load(std::memory_order_relaxed);
}
template <class T>
void storeShared(T &field, T value) {
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}
KrFreq loadShared(const KrFreq &field) {
    return KrFreq{loadShared(field.integer), loadShared(field.fraction)};
}
void storeShared(KrFreq &field, KrFreq value) {
    storeShared(field.integer, value.integer);
    storeShared(field.fraction, value.fraction);
}

// The plan changes between two steps of the sequence count, which is odd meanwhile.
class PlanWrite {
  public:
    explicit PlanWrite(Sweep *s) : sweep(s), sequence(s->configSequence) {
        sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
    }
    ~PlanWrite() {
        sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        sweep_rt_planChanged(sweep);
    }
    PlanWrite(const PlanWrite &) = delete;
    PlanWrite &operator=(const PlanWrite &) = delete;

  private:
    Sweep *sweep;
    std::atomic_ref<uint32_t> sequence;
};

SweepPlan planOf(const Sweep *s) {
    SweepPlan p;
    p.frequencyStart = loadShared(s->frequencyStart);
    p.frequencyStop = loadShared(s->frequencyStop);
    p.frequencyStep = loadShared(s->frequencyStep);
    p.logFactor = loadShared(s->logFactor);
    p.powerStart = loadShared(s->powerStart);
    p.powerStep = loadShared(s->powerStep);
    p.phaseStart = loadShared(s->phaseStart);
    p.phaseStep = loadShared(s->phaseStep);
    p.points = loadShared(s->points);
    p.spacing = loadShared(s->spacing);
    p.direction = loadShared(s->direction);
    return p;
}

// ---- Limits of the device ------------------------------------------------------------

KrFreq frequencyMin(Device *device) {
    return DEVICE_ISREG(getFrequencyMin) ? *Device_getFrequencyMin(device) : krfreqHz(0);
}
KrFreq frequencyMax(Device *device) {
    return DEVICE_ISREG(getFrequencyMax) ? *Device_getFrequencyMax(device)
                                         : KrFreq{INT64_MAX, UINT64_MAX};
}

KrFreq half(const KrFreq &f) {
    KrFreq h = f;
    krfreqShiftRight(&h, 1);
    return h;
}

KrFreq absolute(const KrFreq &f) {
    KrFreq a = f;
    if (krfreqNegative(&f)) krfreqInvert(&a, &f);
    return a;
}

// Returns a value of its type for a missing record: the caller copies it at once.
template <class T>
const T *missing() {
    static T zero{};
    zero = T{};
    return &zero;
}

template <class T, T Sweep::*Field>
const T *getField(Device *device) {
    const Sweep *s = current(device);
    return s ? &(s->*Field) : missing<T>();
}

template <uint32_t Sweep::*Field, uint32_t Value>
int isField(Device *device) {
    const Sweep *s = current(device);
    return s && loadShared(s->*Field) == Value ? 1 : 0;
}

template <uint8_t Sweep::*Field>
int isFlag(Device *device) {
    const Sweep *s = current(device);
    return s && s->*Field ? 1 : 0;
}

template <uint8_t Sweep::*Field, uint8_t Value>
int setFlag(Device *device) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->*Field = Value;
    return 0;
}

template <uint32_t Sweep::*Field, uint32_t Value>
int setField(Device *device) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->*Field = Value;
    return 0;
}

// Spacing and direction belong to the plan.
template <uint32_t Sweep::*Field, uint32_t Value>
int setPlanField(Device *device) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    PlanWrite write(s);
    storeShared(s->*Field, Value);
    return 0;
}

template <const KrTime SweepTimeLimits::*Field>
const KrTime *getLimit(Device *) {
    return &(limits.*Field);
}

// ---- Frequency -----------------------------------------------------------------------

// A running chirp follows the frequency range.
int updateChirp(Device *device) {
    return DEVICE_ISREG(updateChirp) ? Device_updateChirp(device) : 0;
}

template <KrFreq Sweep::*Field>
int setFrequencyLimit(Device *device, const KrFreq *f) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    {
        PlanWrite write(s);
        storeShared(s->*Field, *f);
        calculateFrequencyCenterSpanStep(s);
    }
    return updateChirp(device);
}

// Start and stop around center within the device limits, changed together so that the player
// never sees the new start with the old stop.
int placeFrequencyRange(Device *device, Sweep *s, const char *caller, KrFreq center,
                        const KrFreq &span) {
    KrFreq h = half(span);
    KrFreq reach = absolute(h);
    KrFreq lowest, highest;
    KrFreq min = frequencyMin(device), max = frequencyMax(device);
    krfreqAdd(&lowest, &min, &reach);
    krfreqSubtract(&highest, &max, &reach);
    if (krfreqCompare(&center, &lowest) < 0) {
        printd("%s() warning: desired start frequency too low, increasing center\n", caller);
        center = lowest;
    } else if (krfreqCompare(&center, &highest) > 0) {
        printd("%s() warning: desired stop frequency too high, reducing center\n", caller);
        center = highest;
    }
    KrFreq start, stop;
    krfreqSubtract(&start, &center, &h);
    krfreqAdd(&stop, &center, &h);
    {
        PlanWrite write(s);
        storeShared(s->frequencyStart, start);
        storeShared(s->frequencyStop, stop);
        calculateFrequencyCenterSpanStep(s);
    }
    return updateChirp(device);
}

KrFreq centerOf(const Sweep *s) {
    KrFreq sum;
    krfreqAdd(&sum, &s->frequencyStart, &s->frequencyStop);
    return half(sum);
}

int sweep_setFrequencySpan(Device *device, const KrFreq *span) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    return placeFrequencyRange(device, s, "setFrequencySpan", centerOf(s), *span);
}

int sweep_setFrequencyCenter(Device *device, const KrFreq *center) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    KrFreq span;
    krfreqSubtract(&span, &s->frequencyStop, &s->frequencyStart);
    return placeFrequencyRange(device, s, "setFrequencyCenter", *center, span);
}

// A step sets the point count; start, stop and span stay.
int setPointsForStep(Device *device, double span, double step) {
    uint32_t points = sweep_pointsForStep(span, step);
    if (points == 0) return KR_E_ILLEGAL_PARAMETER_VALUE;
    return Device_setSweepPoints(device, points);
}

int sweep_setFrequencyStep(Device *device, const KrFreq *step) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    KrFreq span;
    krfreqSubtract(&span, &s->frequencyStop, &s->frequencyStart);
    double spanHz = 0, stepHz = 0;
    krfreq2double(&span, &spanHz);
    krfreq2double(step, &stepHz);
    return setPointsForStep(device, spanHz, stepHz);
}

const KrFreq *sweep_getFrequencyMin(Device *device) {
    globalKrFreq = frequencyMin(device);
    return &globalKrFreq;
}
const KrFreq *sweep_getFrequencyMax(Device *device) {
    globalKrFreq = frequencyMax(device);
    return &globalKrFreq;
}

const KrFreq *sweep_getFrequencySpanMin(Device *) {
    globalKrFreq = krfreqHz(0);
    return &globalKrFreq;
}
const KrFreq *sweep_getFrequencySpanMax(Device *device) {
    if (!DEVICE_ISREG(getFrequencyMin) || !DEVICE_ISREG(getFrequencyMax)) {
        globalKrFreq = krfreqHz(INT64_MAX);
        return &globalKrFreq;
    }
    KrFreq min = frequencyMin(device), max = frequencyMax(device);
    krfreqSubtract(&globalKrFreq, &max, &min);
    return &globalKrFreq;
}

// ---- Power and phase -----------------------------------------------------------------

template <class T, T Sweep::*Field>
int setPlanValue(Device *device, const T *value) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    PlanWrite write(s);
    storeShared(s->*Field, *value);
    calculatePowerPhaseSpanStep(s);
    return 0;
}

// Center and span of a quantity without exact arithmetic, kept within [lo, hi].
template <class T, T Sweep::*Start, T Sweep::*Stop>
int placeRange(Device *device, double center, double span, double lo, double hi) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    double h = span / 2;
    double reach = std::fabs(h);
    if (center < lo + reach) center = lo + reach;
    if (center > hi - reach) center = hi - reach;
    PlanWrite write(s);
    storeShared(s->*Start, (T)(center - h));
    storeShared(s->*Stop, (T)(center + h));
    calculatePowerPhaseSpanStep(s);
    return 0;
}

double powerMin(Device *device) {
    return DEVICE_ISREG(getPowerMin) ? *Device_getPowerMin(device) : -FLT_MAX;
}
double powerMax(Device *device) {
    return DEVICE_ISREG(getPowerMax) ? *Device_getPowerMax(device) : FLT_MAX;
}

int sweep_setPowerCenter(Device *device, const KrPow *center) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    return placeRange<KrPow, &Sweep::powerStart, &Sweep::powerStop>(
        device, *center, (double)s->powerStop - s->powerStart, powerMin(device), powerMax(device));
}
int sweep_setPowerSpan(Device *device, const KrPow *span) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    return placeRange<KrPow, &Sweep::powerStart, &Sweep::powerStop>(
        device, ((double)s->powerStart + s->powerStop) / 2, *span, powerMin(device),
        powerMax(device));
}
int sweep_setPhaseCenter(Device *device, const KrAngle *center) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    return placeRange<KrAngle, &Sweep::phaseStart, &Sweep::phaseStop>(
        device, *center, s->phaseStop - s->phaseStart, -DBL_MAX, DBL_MAX);
}
int sweep_setPhaseSpan(Device *device, const KrAngle *span) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    return placeRange<KrAngle, &Sweep::phaseStart, &Sweep::phaseStop>(
        device, (s->phaseStart + s->phaseStop) / 2, *span, -DBL_MAX, DBL_MAX);
}

const KrPow *sweep_getPowerCenter(Device *device) {
    const Sweep *s = current(device);
    globalKrPow = s ? (KrPow)(((double)s->powerStart + s->powerStop) / 2) : 0;
    return &globalKrPow;
}
const KrAngle *sweep_getPhaseCenter(Device *device) {
    const Sweep *s = current(device);
    globalKrAngle = s ? (s->phaseStart + s->phaseStop) / 2 : 0;
    return &globalKrAngle;
}

const KrPow *sweep_getPowerMin(Device *device) {
    globalKrPow = (KrPow)powerMin(device);
    return &globalKrPow;
}
const KrPow *sweep_getPowerMax(Device *device) {
    globalKrPow = (KrPow)powerMax(device);
    return &globalKrPow;
}
const KrPow *sweep_getPowerSpanMin(Device *) {
    globalKrPow = 0;
    return &globalKrPow;
}
const KrPow *sweep_getPowerSpanMax(Device *device) {
    globalKrPow = (KrPow)(powerMax(device) - powerMin(device));
    return &globalKrPow;
}

int sweep_setPowerStep(Device *device, const KrPow *step) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    return setPointsForStep(device, (double)s->powerStop - s->powerStart, *step);
}
int sweep_setPhaseStep(Device *device, const KrAngle *step) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    return setPointsForStep(device, s->phaseStop - s->phaseStart, *step);
}

// ---- Points, count and timing ----------------------------------------------------------

int sweep_setSweepPoints(Device *device, uint32_t points) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    // No point count is no sweep; the step division takes a signed 32-bit divisor.
    if (points < 1) points = 1;
    if (points > (uint32_t)INT32_MAX) points = (uint32_t)INT32_MAX;
    PlanWrite write(s);
    storeShared(s->points, points);
    calculateFrequencyCenterSpanStep(s);
    calculatePowerPhaseSpanStep(s);
    return 0;
}
uint32_t sweep_getSweepPoints(Device *device) {
    const Sweep *s = current(device);
    return s ? s->points : 0;
}

int sweep_setSweepCount(Device *device, uint32_t count) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->count = count;
    if (Sweep_inModeSweep(s)) return FS_FPGA_IF_setSweepCount(count);
    return 0;
}
uint32_t sweep_getSweepCount(Device *device) {
    const Sweep *s = current(device);
    return s ? s->count : 0;
}
uint32_t sweep_getListSweepCountMin(Device *) {
    return 0;
}
// Counts have no upper limit: the largest is as good as endless.
uint32_t sweep_getListSweepCountMax(Device *) {
    return UINT32_MAX;
}
uint32_t sweep_getListPointsMin(Device *) {
    return SWEEP_LIST_POINTS_MIN;
}
uint32_t sweep_getListPointsMax(Device *) {
    return SWEEP_LIST_POINTS_MAX;
}

int sweep_setDwellTime(Device *device, const KrTime *t) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->dwell = *t;
    return Sweep_updateTimes(s);
}
int sweep_setDelayTime(Device *device, const KrTime *t) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->delay = *t;
    s->delayAuto = 0;
    return Sweep_updateTimes(s);
}
int sweep_enableDelayTimeAuto(Device *device) {
    Sweep *s = current(device);
    if (!s) return KR_E_UNDEFINED_HEADER;
    s->delay = limits.automaticDelay;
    s->delayAuto = 1;
    return Sweep_updateTimes(s);
}
const KrTime *sweep_getPointTime(Device *device) {
    Sweep *s = current(device);
    if (!s) return missing<KrTime>();
    s->pointTime = s->dwell + s->delay;
    return &s->pointTime;
}

double sweep_getSweepListProgress(Device *device) {
    const Sweep *s = current(device);
    if (!s || !(Sweep_inModeSweep(s) || Sweep_inModeList(s))) return 0;
    uint32_t total = loadShared(s->progressTotal);
    if (total == 0) return 0;
    return (double)loadShared(s->progressIndex) / total;
}

// ---- Points ----------------------------------------------------------------------------

// 2^32: the largest factor krfreqMultiplyByDouble takes is below it.
constexpr double FACTOR_LIMIT = 4294967296.0;

void frequencyPoint(const SweepPlan &p, uint32_t i, KrFreq *out) {
    if (p.spacing == SWEEP_SPACING_LOG && p.logFactor > 0) {
        double factor = std::pow(p.logFactor, (double)i);
        if (factor < FACTOR_LIMIT) {
            krfreqMultiplyByDouble(out, &p.frequencyStart, factor);
        } else {
            double start = 0;
            krfreq2double(&p.frequencyStart, &start);
            double2krfreq(start * factor, out);
        }
        return;
    }
    KrFreq offset;
    uint32_t overflow = 0;
    krfreqMultiplyByUint32_ov(&offset, &p.frequencyStep, i, &overflow);
    // The product beyond 128 bits is a sign extension unless the index lies past the range.
    bool negative = krfreqNegative(&offset);
    if (overflow != (negative ? UINT32_MAX : 0u)) {
        *out = p.frequencyStop;
        return;
    }
    krfreqAdd(out, &p.frequencyStart, &offset);
}

}  // namespace

// ---- Limits ------------------------------------------------------------------------------

const SweepTimeLimits *sweep_getVariantLimits(SweepVariant variant) {
    return &variantLimits[variant];
}
const SweepTimeLimits *sweep_getLimits() {
    return &limits;
}
void sweep_selectLimits(SweepVariant variant) {
    limits = variantLimits[variant];
}
void sweep_configurePointTime(KrTime minimumPointTime, KrTime automaticDelay) {
    limits.pointTimeMin = minimumPointTime;
    limits.automaticDelay = automaticDelay;
}

void sweep_configureLimits() {
    if (!device_config_usesOptionFs()) {
        sweep_selectLimits(SWEEP_VARIANT_STANDARD);
        sweep_configurePointTime(5e-4, 0);
        return;
    }
    // No predicate of this instrument family reports an external FPGA board.
    sweep_selectLimits(SWEEP_VARIANT_FS);
    if (device_config_usesOptionNec()) sweep_configurePointTime(3e-5, 0);
}

// ---- Derived values ----------------------------------------------------------------------

void calculateFrequencyCenterSpanStep(Sweep *s) {
    KrFreq start = s->frequencyStart, stop = s->frequencyStop;
    KrFreq sum, span;
    krfreqAdd(&sum, &start, &stop);
    krfreqSubtract(&span, &stop, &start);
    storeShared(s->frequencyCenter, half(sum));
    storeShared(s->frequencySpan, span);
    if (s->points < 2) {
        storeShared(s->frequencyStep, span);
        storeShared(s->logFactor, 1.0);
        storeShared(s->logFactorInverse, 1.0);
        return;
    }
    KrFreq step;
    krfreqDivideByInt32(&step, &span, (int32_t)(s->points - 1));
    storeShared(s->frequencyStep, step);
    double a = 0, b = 0;
    krfreq2double(&start, &a);
    krfreq2double(&stop, &b);
    // A range that touches 0 Hz or below has no logarithmic steps: such a sweep stays linear.
    double factor = a > 0 && b > 0 ? std::pow(b / a, 1.0 / (s->points - 1)) : 0;
    storeShared(s->logFactor, factor);
    storeShared(s->logFactorInverse, factor > 0 ? 1 / factor : 0);
}

void calculatePowerPhaseSpanStep(Sweep *s) {
    KrPow powerSpan = s->powerStop - s->powerStart;
    KrAngle phaseSpan = s->phaseStop - s->phaseStart;
    storeShared(s->powerSpan, powerSpan);
    storeShared(s->phaseSpan, phaseSpan);
    bool divide = s->points >= 3;
    storeShared(s->powerStep, divide ? powerSpan / (KrPow)(s->points - 1) : powerSpan);
    storeShared(s->phaseStep, divide ? phaseSpan / (KrAngle)(s->points - 1) : phaseSpan);
}

int Sweep_updateTimes(Sweep *s) {
    storeShared(s->rfMuteBetweenPoints, (uint8_t)(s->delay != 0));
    s->pointTime = s->dwell + s->delay;
    // Without a timer driver (tests) the values take effect at the next start.
    sweep_rt_settime(s, s->dwell + s->delay, s->dwell);
    return 0;
}

uint32_t sweep_pointsForStep(double span, double step) {
    step = std::fabs(step);
    if (!(step > 0) || !std::isfinite(step)) return 0;
    double points = std::floor(std::fabs(span) / step + 1.5);
    if (points < 2) return 2;
    if (points > (double)INT32_MAX) return (uint32_t)INT32_MAX;
    return (uint32_t)points;
}

// ---- Plan and points ---------------------------------------------------------------------

int Sweep_readPlan(const Sweep *s, SweepPlan *plan) {
    std::atomic_ref<uint32_t> sequence(const_cast<uint32_t &>(s->configSequence));
    uint32_t before = sequence.load(std::memory_order_acquire);
    if (before & 1) return -1;
    SweepPlan p = planOf(s);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (sequence.load(std::memory_order_relaxed) != before) return -1;
    *plan = p;
    return 0;
}

uint32_t Sweep_getPointIndex(const SweepPlan *plan, uint32_t index, int natural) {
    uint32_t points = plan->points > 0 ? plan->points : 1;
    if (index >= points) index = points - 1;
    if (natural || plan->direction == SWEEP_DIRECTION_UP) return index;
    if (plan->direction == SWEEP_DIRECTION_DOWN) return points - 1 - index;
    return (uint32_t)krstuff_getRandomNumber(0, (int)(points - 1));
}

void Sweep_getNextPointFrequency(const SweepPlan *plan, uint32_t index, int natural, KrFreq *out) {
    frequencyPoint(*plan, Sweep_getPointIndex(plan, index, natural), out);
}

void Sweep_getNextPointPower(const SweepPlan *plan, uint32_t index, int natural, KrPow *out) {
    if (plan->spacing != SWEEP_SPACING_LIN) return;
    uint32_t i = Sweep_getPointIndex(plan, index, natural);
    *out = plan->powerStart + plan->powerStep * (KrPow)i;
}

void Sweep_getNextPointPhase(const SweepPlan *plan, uint32_t index, int natural, KrAngle *out) {
    if (plan->spacing != SWEEP_SPACING_LIN) return;
    uint32_t i = Sweep_getPointIndex(plan, index, natural);
    *out = plan->phaseStart + plan->phaseStep * (KrAngle)i;
}

void Sweep_getNextPointFrequency(const Sweep *s, uint32_t index, int natural, KrFreq *out) {
    SweepPlan p = planOf(s);
    Sweep_getNextPointFrequency(&p, index, natural, out);
}
void Sweep_getNextPointPower(const Sweep *s, uint32_t index, int natural, KrPow *out) {
    SweepPlan p = planOf(s);
    Sweep_getNextPointPower(&p, index, natural, out);
}
void Sweep_getNextPointPhase(const Sweep *s, uint32_t index, int natural, KrAngle *out) {
    SweepPlan p = planOf(s);
    Sweep_getNextPointPhase(&p, index, natural, out);
}

void Sweep_setProgress(Sweep *s, uint32_t index, uint32_t total) {
    storeShared(s->progressTotal, total);
    storeShared(s->progressIndex, index);
}

// ---- Directions and flags ----------------------------------------------------------------

int setSweepDirectionUpDown(Device *device) {
    return setPlanField<&Sweep::direction, SWEEP_DIRECTION_UPDOWN>(device);
}
int setSweepDirectionDownUp(Device *device) {
    return setPlanField<&Sweep::direction, SWEEP_DIRECTION_DOWNUP>(device);
}
int isSweepDirectionUpDown(Device *device) {
    return isField<&Sweep::direction, SWEEP_DIRECTION_UPDOWN>(device);
}
int isSweepDirectionDownUp(Device *device) {
    return isField<&Sweep::direction, SWEEP_DIRECTION_DOWNUP>(device);
}

int Sweep_disablePresetSweep(Sweep *s) {
    s->presetSweepDisabled = 1;
    return 0;
}
int Sweep_enableBlankSweepStop(Sweep *s) {
    s->blankSweepStop = 1;
    return 0;
}
int Sweep_enableCwTransientSeparation(Sweep *s) {
    if (!device_config_usesOptionFs()) return KR_E_HARDWARE_MISSING;
    s->cwTransientSeparation = 1;
    return 0;
}

// ---- Registration ------------------------------------------------------------------------

void sweep_config_registerDeviceFunctions() {
    Device_setFrequencyStart = setFrequencyLimit<&Sweep::frequencyStart>;
    Device_setFrequencyStop = setFrequencyLimit<&Sweep::frequencyStop>;
    Device_getFrequencyStart = getField<KrFreq, &Sweep::frequencyStart>;
    Device_getFrequencyStop = getField<KrFreq, &Sweep::frequencyStop>;
    Device_getFrequencyCenter = getField<KrFreq, &Sweep::frequencyCenter>;
    Device_getFrequencySpan = getField<KrFreq, &Sweep::frequencySpan>;
    Device_getFrequencyStep = getField<KrFreq, &Sweep::frequencyStep>;
    Device_setFrequencyCenter = sweep_setFrequencyCenter;
    Device_setFrequencySpan = sweep_setFrequencySpan;
    Device_setFrequencyStep = sweep_setFrequencyStep;
    Device_getFrequencySpanMin = sweep_getFrequencySpanMin;
    Device_getFrequencySpanMax = sweep_getFrequencySpanMax;
    Device_getFrequencyStartMin = sweep_getFrequencyMin;
    Device_getFrequencyStartMax = sweep_getFrequencyMax;
    Device_getFrequencyStopMin = sweep_getFrequencyMin;
    Device_getFrequencyStopMax = sweep_getFrequencyMax;

    Device_setPowerStart = setPlanValue<KrPow, &Sweep::powerStart>;
    Device_setPowerStop = setPlanValue<KrPow, &Sweep::powerStop>;
    Device_getPowerStart = getField<KrPow, &Sweep::powerStart>;
    Device_getPowerStop = getField<KrPow, &Sweep::powerStop>;
    Device_getPowerStep = getField<KrPow, &Sweep::powerStep>;
    Device_getPowerSpan = getField<KrPow, &Sweep::powerSpan>;
    Device_getPowerCenter = sweep_getPowerCenter;
    Device_setPowerCenter = sweep_setPowerCenter;
    Device_setPowerSpan = sweep_setPowerSpan;
    Device_setPowerStep = sweep_setPowerStep;
    Device_getPowerStartMin = sweep_getPowerMin;
    Device_getPowerStartMax = sweep_getPowerMax;
    Device_getPowerStopMin = sweep_getPowerMin;
    Device_getPowerStopMax = sweep_getPowerMax;
    Device_getPowerSpanMin = sweep_getPowerSpanMin;
    Device_getPowerSpanMax = sweep_getPowerSpanMax;

    Device_setPhaseStart = setPlanValue<KrAngle, &Sweep::phaseStart>;
    Device_setPhaseStop = setPlanValue<KrAngle, &Sweep::phaseStop>;
    Device_getPhaseStart = getField<KrAngle, &Sweep::phaseStart>;
    Device_getPhaseStop = getField<KrAngle, &Sweep::phaseStop>;
    Device_getPhaseStep = getField<KrAngle, &Sweep::phaseStep>;
    Device_getPhaseSpan = getField<KrAngle, &Sweep::phaseSpan>;
    Device_getPhaseCenter = sweep_getPhaseCenter;
    Device_setPhaseCenter = sweep_setPhaseCenter;
    Device_setPhaseSpan = sweep_setPhaseSpan;
    Device_setPhaseStep = sweep_setPhaseStep;

    Device_setSweepPoints = sweep_setSweepPoints;
    Device_getSweepPoints = sweep_getSweepPoints;
    Device_setSweepCount = sweep_setSweepCount;
    Device_getSweepCount = sweep_getSweepCount;
    Device_getListSweepCountMin = sweep_getListSweepCountMin;
    Device_getListSweepCountMax = sweep_getListSweepCountMax;
    Device_getListPointsMin = sweep_getListPointsMin;
    Device_getListPointsMax = sweep_getListPointsMax;

    Device_setDwellTime = sweep_setDwellTime;
    Device_getDwellTime = getField<KrTime, &Sweep::dwell>;
    Device_getDwellTimeMin = getLimit<&SweepTimeLimits::dwellMin>;
    Device_getDwellTimeMax = getLimit<&SweepTimeLimits::dwellMax>;
    Device_setDelayTime = sweep_setDelayTime;
    Device_getDelayTime = getField<KrTime, &Sweep::delay>;
    Device_getDelayTimeMin = getLimit<&SweepTimeLimits::delayMin>;
    Device_getDelayTimeMax = getLimit<&SweepTimeLimits::delayMax>;
    Device_enableDelayTimeAuto = sweep_enableDelayTimeAuto;
    Device_disableDelayTimeAuto = setFlag<&Sweep::delayAuto, 0>;
    Device_isDelayTimeAuto = isFlag<&Sweep::delayAuto>;
    Device_getPointTime = sweep_getPointTime;
    Device_getPointTimeMin = getLimit<&SweepTimeLimits::pointTimeMin>;
    Device_getPointTimeMax = getLimit<&SweepTimeLimits::pointTimeMax>;

    Device_setSweepSpacingLin = setPlanField<&Sweep::spacing, SWEEP_SPACING_LIN>;
    Device_setSweepSpacingLog = setPlanField<&Sweep::spacing, SWEEP_SPACING_LOG>;
    Device_isSweepSpacingLin = isField<&Sweep::spacing, SWEEP_SPACING_LIN>;
    Device_isSweepSpacingLog = isField<&Sweep::spacing, SWEEP_SPACING_LOG>;
    Device_setSweepDirectionUp = setPlanField<&Sweep::direction, SWEEP_DIRECTION_UP>;
    Device_setSweepDirectionDown = setPlanField<&Sweep::direction, SWEEP_DIRECTION_DOWN>;
    Device_setSweepDirectionRandom = setPlanField<&Sweep::direction, SWEEP_DIRECTION_RANDOM>;
    Device_isSweepDirectionUp = isField<&Sweep::direction, SWEEP_DIRECTION_UP>;
    Device_isSweepDirectionDown = isField<&Sweep::direction, SWEEP_DIRECTION_DOWN>;
    Device_isSweepDirectionRandom = isField<&Sweep::direction, SWEEP_DIRECTION_RANDOM>;

    Device_enableSweepListBlanking = setFlag<&Sweep::blankingEnabled, 1>;
    Device_disableSweepListBlanking = setFlag<&Sweep::blankingEnabled, 0>;
    Device_isSweepListBlankingEnabled = isFlag<&Sweep::blankingEnabled>;
    Device_setSweepListBlankInvalidOff = setField<&Sweep::blankInvalid, SWEEP_BLANK_INVALID_OFF>;
    Device_setSweepListBlankInvalidThis = setField<&Sweep::blankInvalid, SWEEP_BLANK_INVALID_THIS>;
    Device_setSweepListBlankInvalidAll = setField<&Sweep::blankInvalid, SWEEP_BLANK_INVALID_ALL>;
    Device_isSweepListBlankInvalidOff = isField<&Sweep::blankInvalid, SWEEP_BLANK_INVALID_OFF>;
    Device_isSweepListBlankInvalidThis = isField<&Sweep::blankInvalid, SWEEP_BLANK_INVALID_THIS>;
    Device_isSweepListBlankInvalidAll = isField<&Sweep::blankInvalid, SWEEP_BLANK_INVALID_ALL>;
    Device_getSweepListProgress = sweep_getSweepListProgress;
}
