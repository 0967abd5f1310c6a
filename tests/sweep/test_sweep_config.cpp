// Sweep configuration over a channel record of its own: the points of every spacing and
// direction, the derived step and factors, span and center within the device limits, steps
// that set the point count, timing, modes and their conflicts, and the plan the player reads.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "config/device_config.h"
#include "core/krpath.h"
#include "device/device.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/sweep.h"
#include "sweep/sweep_config.h"

namespace {

constexpr int64_t MHz = 1000000;
constexpr int64_t GHz = 1000 * MHz;

Sweep record;
SweepSource source;
KrFreq minFrequency{10 * MHz, 0}, maxFrequency{20 * GHz, 0};
KrPow minPower = -90, maxPower = 20;

Device *const device = nullptr;

KrFreq hz(int64_t f) {
    return KrFreq{f, 0};
}

class SweepConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Device_getSweepPtr = [](Device *) { return &record; };
        Device_getSweepSourcePtr = [](Device *, int32_t) { return &source; };
        Device_getFrequencyMin = [](Device *) -> const KrFreq * { return &minFrequency; };
        Device_getFrequencyMax = [](Device *) -> const KrFreq * { return &maxFrequency; };
        Device_getPowerMin = [](Device *) -> const KrPow * { return &minPower; };
        Device_getPowerMax = [](Device *) -> const KrPow * { return &maxPower; };
        Sweep_init(device, 0);
    }

    static void range(int64_t start, int64_t stop, uint32_t points) {
        KrFreq a = hz(start), b = hz(stop);
        ASSERT_EQ(Device_setFrequencyStart(device, &a), 0);
        ASSERT_EQ(Device_setFrequencyStop(device, &b), 0);
        ASSERT_EQ(Device_setSweepPoints(device, points), 0);
    }

    // Hertz of the points in play order, rounded to the nearest hertz.
    static std::vector<int64_t> frequencies() {
        std::vector<int64_t> out;
        for (uint32_t i = 0; i < record.points; i++) {
            KrFreq f{};
            Sweep_getNextPointFrequency(&record, i, 0, &f);
            out.push_back(f.integer + (f.fraction >> 63));
        }
        return out;
    }
};

TEST_F(SweepConfigTest, InitGivesTheDefaultsAndTheStandardTiming) {
    EXPECT_EQ(Device_getFrequencyStart(device)->integer, 1 * GHz);
    EXPECT_EQ(Device_getFrequencyStop(device)->integer, 2 * GHz);
    EXPECT_EQ(Device_getFrequencyCenter(device)->integer, 1500 * MHz);
    EXPECT_FLOAT_EQ(*Device_getPowerStart(device), -20);
    EXPECT_FLOAT_EQ(*Device_getPowerStop(device), 10);
    EXPECT_DOUBLE_EQ(*Device_getPhaseStop(device), 2 * M_PI);
    EXPECT_EQ(Device_getSweepPoints(device), 2u);
    EXPECT_EQ(Device_getSweepCount(device), 0u);
    EXPECT_DOUBLE_EQ(*Device_getDwellTime(device), 0.4e-3);
    EXPECT_EQ(Device_isSweepListBlankingEnabled(device), 1);
    EXPECT_EQ(Device_isSweepListBlankInvalidOff(device), 1);
    EXPECT_EQ(Device_isSweepSpacingLin(device), 1);
    EXPECT_EQ(Device_isSweepDirectionUp(device), 1);
    EXPECT_EQ(Device_isFrequencyModeFixed(device), 1);
    // The standard controller's point time is configured to 500 us, without automatic delay.
    EXPECT_DOUBLE_EQ(*Device_getPointTimeMin(device), 5e-4);
    EXPECT_DOUBLE_EQ(*Device_getDwellTimeMin(device), 1e-5);
    EXPECT_DOUBLE_EQ(*Device_getDelayTimeMax(device), 9999);
}

// ---- Points ----------------------------------------------------------------------------

struct PointRow {
    const char *name;
    int64_t start, stop;
    uint32_t points;
    bool log;
    int (**direction)(Device *);
    std::vector<int64_t> expected;  // hertz in play order
};

void PrintTo(const PointRow &row, std::ostream *os) {
    *os << row.name;
}

class SweepPointRows : public SweepConfigTest, public ::testing::WithParamInterface<PointRow> {};

TEST_P(SweepPointRows, PlayInOrder) {
    const PointRow &row = GetParam();
    range(row.start, row.stop, row.points);
    (row.log ? Device_setSweepSpacingLog : Device_setSweepSpacingLin)(device);
    (*row.direction)(device);
    EXPECT_EQ(frequencies(), row.expected);
}

std::vector<int64_t> tenths(bool down) {
    std::vector<int64_t> v;
    for (int i = 0; i <= 10; i++)
        v.push_back(1 * GHz + (down ? 10 - i : i) * 100 * MHz);
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Spacing, SweepPointRows,
    ::testing::Values(
        PointRow{"LinearUp", 1 * GHz, 2 * GHz, 11, false, &Device_setSweepDirectionUp,
                 tenths(false)},
        PointRow{"LinearDown", 1 * GHz, 2 * GHz, 11, false, &Device_setSweepDirectionDown,
                 tenths(true)},
        PointRow{"LinearFalling",
                 2 * GHz,
                 1 * GHz,
                 3,
                 false,
                 &Device_setSweepDirectionUp,
                 {2 * GHz, 1500 * MHz, 1 * GHz}},
        PointRow{"OnePointIsTheStart",
                 1 * GHz,
                 2 * GHz,
                 1,
                 false,
                 &Device_setSweepDirectionDown,
                 {1 * GHz}},
        PointRow{"TwoPointsAreTheEnds",
                 1 * GHz,
                 2 * GHz,
                 2,
                 false,
                 &Device_setSweepDirectionUp,
                 {1 * GHz, 2 * GHz}},
        PointRow{"LogUp",
                 1 * GHz,
                 16 * GHz,
                 5,
                 true,
                 &Device_setSweepDirectionUp,
                 {1 * GHz, 2 * GHz, 4 * GHz, 8 * GHz, 16 * GHz}},
        PointRow{"LogDown",
                 1 * GHz,
                 16 * GHz,
                 5,
                 true,
                 &Device_setSweepDirectionDown,
                 {16 * GHz, 8 * GHz, 4 * GHz, 2 * GHz, 1 * GHz}},
        PointRow{"LogFalling",
                 16 * GHz,
                 1 * GHz,
                 3,
                 true,
                 &Device_setSweepDirectionUp,
                 {16 * GHz, 4 * GHz, 1 * GHz}},
        // A factor beyond the fixed-point multiplier's 32 integer bits.
        PointRow{"LogWideFactor", 1, 20 * GHz, 2, true, &Device_setSweepDirectionUp, {1, 20 * GHz}},
        // No logarithm of 0 Hz: the range is played linearly.
        PointRow{"LogFromZero",
                 0,
                 2 * GHz,
                 3,
                 true,
                 &Device_setSweepDirectionUp,
                 {0, 1 * GHz, 2 * GHz}}),
    [](const ::testing::TestParamInfo<PointRow> &info) { return std::string(info.param.name); });

TEST_F(SweepConfigTest, OtherDirectionsDrawPointsOfTheSweep) {
    range(1 * GHz, 16 * GHz, 5);
    Device_setSweepSpacingLog(device);
    const std::set<int64_t> points{1 * GHz, 2 * GHz, 4 * GHz, 8 * GHz, 16 * GHz};
    for (int (*set)(Device *) :
         {Device_setSweepDirectionRandom, &setSweepDirectionUpDown, &setSweepDirectionDownUp}) {
        set(device);
        std::set<int64_t> seen;
        for (int pass = 0; pass < 40; pass++)
            for (int64_t f : frequencies()) {
                EXPECT_TRUE(points.count(f)) << f;
                seen.insert(f);
            }
        EXPECT_EQ(seen, points);
    }
    EXPECT_EQ(isSweepDirectionDownUp(device), 1);
    EXPECT_EQ(Device_isSweepDirectionRandom(device), 0);
    // Natural order ignores the direction (preset lists are built that way).
    KrFreq f{};
    Sweep_getNextPointFrequency(&record, 3, 1, &f);
    EXPECT_EQ(f.integer, 8 * GHz);
}

TEST_F(SweepConfigTest, PowerAndPhasePointsAreLinearOnly) {
    Device_setSweepPoints(device, 4);
    KrPow start = -10, stop = 5;
    Device_setPowerStart(device, &start);
    Device_setPowerStop(device, &stop);
    EXPECT_FLOAT_EQ(*Device_getPowerStep(device), 5);
    Device_setSweepDirectionDown(device);
    KrPow p = 99;
    Sweep_getNextPointPower(&record, 1, 0, &p);
    EXPECT_FLOAT_EQ(p, 0);
    KrAngle a = 0;
    Sweep_getNextPointPhase(&record, 0, 0, &a);
    EXPECT_DOUBLE_EQ(a, 2 * M_PI);
    Device_setSweepSpacingLog(device);
    p = 99;
    Sweep_getNextPointPower(&record, 1, 0, &p);
    EXPECT_FLOAT_EQ(p, 99);
    // Two points step over the whole span.
    Device_setSweepPoints(device, 2);
    EXPECT_FLOAT_EQ(*Device_getPowerStep(device), 15);
}

TEST_F(SweepConfigTest, OnePointStepsOverTheSpanWithFactorOne) {
    range(1 * GHz, 3 * GHz, 1);
    EXPECT_EQ(Device_getFrequencyStep(device)->integer, 2 * GHz);
    EXPECT_DOUBLE_EQ(record.logFactor, 1);
    EXPECT_DOUBLE_EQ(record.logFactorInverse, 1);
    // No point count is one point.
    Device_setSweepPoints(device, 0);
    EXPECT_EQ(Device_getSweepPoints(device), 1u);
}

// ---- Steps, span and center ------------------------------------------------------------

TEST_F(SweepConfigTest, StepSetsThePointCount) {
    range(1 * GHz, 11 * GHz, 2);
    KrFreq step = hz(1 * GHz);
    EXPECT_EQ(Device_setFrequencyStep(device, &step), 0);
    EXPECT_EQ(Device_getSweepPoints(device), 11u);
    EXPECT_EQ(Device_getFrequencyStep(device)->integer, 1 * GHz);
    EXPECT_EQ(Device_getFrequencySpan(device)->integer, 10 * GHz);
    step = hz(-3 * GHz);
    Device_setFrequencyStep(device, &step);
    EXPECT_EQ(Device_getSweepPoints(device), 4u);
    step = hz(50 * GHz);
    Device_setFrequencyStep(device, &step);
    EXPECT_EQ(Device_getSweepPoints(device), 2u);
    // A zero step would be endless points.
    step = hz(0);
    EXPECT_EQ(Device_setFrequencyStep(device, &step), KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_EQ(Device_getSweepPoints(device), 2u);
    KrPow powerStep = 7.5;
    Device_setPowerStep(device, &powerStep);
    EXPECT_EQ(Device_getSweepPoints(device), 5u);
}

TEST_F(SweepConfigTest, SpanAndCenterStayWithinTheDevice) {
    range(500 * MHz, 1500 * MHz, 2);
    KrFreq span = hz(4 * GHz);
    EXPECT_EQ(Device_setFrequencySpan(device, &span), 0);
    EXPECT_EQ(Device_getFrequencyStart(device)->integer, 10 * MHz);
    EXPECT_EQ(Device_getFrequencyStop(device)->integer, 4010 * MHz);
    EXPECT_EQ(Device_getFrequencySpan(device)->integer, 4 * GHz);
    KrFreq center = hz(19 * GHz);
    EXPECT_EQ(Device_setFrequencyCenter(device, &center), 0);
    EXPECT_EQ(Device_getFrequencyStart(device)->integer, 16 * GHz);
    EXPECT_EQ(Device_getFrequencyStop(device)->integer, 20 * GHz);
    // A falling range keeps its sense.
    range(2 * GHz, 1 * GHz, 2);
    center = hz(10 * MHz);
    Device_setFrequencyCenter(device, &center);
    EXPECT_EQ(Device_getFrequencyStart(device)->integer, 1010 * MHz);
    EXPECT_EQ(Device_getFrequencyStop(device)->integer, 10 * MHz);
    EXPECT_EQ(Device_getFrequencySpanMax(device)->integer, 20 * GHz - 10 * MHz);
    EXPECT_EQ(Device_getFrequencyStartMax(device)->integer, 20 * GHz);
    EXPECT_EQ(Device_getFrequencyStopMin(device)->integer, 10 * MHz);

    KrPow start = 0, stop = 10, powerSpan = 40;
    Device_setPowerStart(device, &start);
    Device_setPowerStop(device, &stop);
    Device_setPowerSpan(device, &powerSpan);
    EXPECT_FLOAT_EQ(*Device_getPowerStart(device), -20);
    EXPECT_FLOAT_EQ(*Device_getPowerStop(device), 20);
    EXPECT_FLOAT_EQ(*Device_getPowerCenter(device), 0);
}

TEST_F(SweepConfigTest, SpanMaxWithoutDeviceLimitsIsTheLargestFrequency) {
    Device_getFrequencyMin = Device_fallback<const KrFreq *, Device *>;
    Device_getFrequencyMax = Device_fallback<const KrFreq *, Device *>;
    EXPECT_EQ(Device_getFrequencySpanMax(device)->integer, INT64_MAX);
}

// ---- Timing ----------------------------------------------------------------------------

TEST_F(SweepConfigTest, DelayAutoAndPointTime) {
    sweep_selectLimits(SWEEP_VARIANT_STANDARD);
    KrTime dwell = 1e-3, delay = 2e-3;
    Device_setDwellTime(device, &dwell);
    Device_enableDelayTimeAuto(device);
    EXPECT_EQ(Device_isDelayTimeAuto(device), 1);
    EXPECT_DOUBLE_EQ(*Device_getDelayTime(device), 6e-4);
    EXPECT_EQ(record.rfMuteBetweenPoints, 1);
    Device_setDelayTime(device, &delay);
    EXPECT_EQ(Device_isDelayTimeAuto(device), 0);
    EXPECT_DOUBLE_EQ(*Device_getPointTime(device), 3e-3);
    delay = 0;
    Device_setDelayTime(device, &delay);
    EXPECT_EQ(record.rfMuteBetweenPoints, 0);

    // The FS controller with minimum transition timing.
    sweep_selectLimits(SWEEP_VARIANT_FS);
    sweep_configurePointTime(3e-5, 0);
    EXPECT_DOUBLE_EQ(*Device_getPointTimeMin(device), 3e-5);
    EXPECT_DOUBLE_EQ(*Device_getDwellTimeMax(device), 21);
    Device_enableDelayTimeAuto(device);
    EXPECT_DOUBLE_EQ(*Device_getDelayTime(device), 0);
    sweep_selectLimits(SWEEP_VARIANT_FS_EXTERNAL_FPGA);
    EXPECT_DOUBLE_EQ(*Device_getPointTimeMax(device), 68.719476744);
    sweep_configureLimits();
}

struct ControllerRow {
    const char *name;
    const char *serial;
    KrTime dwell, dwellMin, pointTimeMin;
};

void PrintTo(const ControllerRow &row, std::ostream *os) {
    *os << row.name;
}

class SweepControllerRows : public SweepConfigTest,
                            public ::testing::WithParamInterface<ControllerRow> {
  protected:
    static void useSerial(const char *serial) {
        static const std::string root = [] {
            char tmpl[] = "/tmp/krsweep.XXXXXX";
            std::string r = mkdtemp(tmpl);
            mkdir((r + "/korvane").c_str(), 0755);
            mkdir((r + "/korvane/dev").c_str(), 0755);
            return r;
        }();
        krpath_setRoot(root.c_str());
        FILE *f = fopen((root + "/korvane/dev/sn").c_str(), "w");
        ASSERT_TRUE(f);
        fputs(serial, f);
        fclose(f);
        device_config_readSN();
    }
    void TearDown() override {
        useSerial("000-000000000-0000");
        krpath_setRoot(nullptr);
        sweep_configureLimits();
    }
};

TEST_P(SweepControllerRows, InitConfiguresTheTiming) {
    useSerial(GetParam().serial);
    Sweep_init(device, 0);
    EXPECT_DOUBLE_EQ(*Device_getDwellTime(device), GetParam().dwell);
    EXPECT_DOUBLE_EQ(*Device_getDwellTimeMin(device), GetParam().dwellMin);
    EXPECT_DOUBLE_EQ(*Device_getPointTimeMin(device), GetParam().pointTimeMin);
}

INSTANTIATE_TEST_SUITE_P(
    Controllers, SweepControllerRows,
    ::testing::Values(ControllerRow{"Standard", "000-000000000-0000", 0.4e-3, 1e-5, 5e-4},
                      // Minimum transition timing needs the FS controller.
                      ControllerRow{"StandardWithNec", "000-000000040-0000", 0.4e-3, 1e-5, 5e-4},
                      ControllerRow{"Fs", "000-0B0000000-0000", 50e-6, 1e-6, 1.9e-5},
                      ControllerRow{"FsWithNec", "000-0B0000040-0000", 50e-6, 1e-6, 3e-5},
                      ControllerRow{"MultiChannelBoard", "0C0-000000000-0000", 50e-6, 1e-5, 5e-4}),
    [](const ::testing::TestParamInfo<ControllerRow> &info) {
        return std::string(info.param.name);
    });

// ---- Modes -----------------------------------------------------------------------------

TEST_F(SweepConfigTest, ModesConflictAndWaitForTheExecutor) {
    record.frequencyMode = record.requestedFrequencyMode = SWEEP_MODE_LIST;
    EXPECT_EQ(Device_setPowerModeSweep(device), KR_E_SETTINGS_CONFLICT);
    EXPECT_EQ(record.powerMode, SWEEP_MODE_FIX);
    EXPECT_EQ(Device_isPowerModeFixed(device), 1);

    // A FIX request shows at once, takes effect with the executor.
    EXPECT_EQ(Device_setFrequencyModeFixed(device), 0);
    EXPECT_EQ(Device_isFrequencyModeFixed(device), 1);
    EXPECT_EQ(record.frequencyMode, SWEEP_MODE_LIST);
    EXPECT_EQ(sweep_execute(device), 0);
    EXPECT_EQ(record.frequencyMode, SWEEP_MODE_FIX);
    EXPECT_EQ(Device_isFrequencyModeFixed(device), 1);

    // A sweep that cannot start (no player here) leaves the modes as they were.
    EXPECT_EQ(Device_setFrequencyModeSweep(device), KR_E_UNDEFINED_HEADER);
    // A LIST request waits for the executor like a FIX one.
    EXPECT_EQ(Device_setPhaseModeList(device), 0);
    EXPECT_EQ(Device_isPhaseModeList(device), 1);
    EXPECT_EQ(Device_setPhaseModeFixed(device), 0);
    EXPECT_EQ(Device_setFrequencyModeChirp(device), KR_E_UNDEFINED_HEADER);
    EXPECT_EQ(Device_isFrequencyModeFixed(device), 1);
    EXPECT_EQ(Device_isPhaseModeFixed(device), 1);
}

TEST_F(SweepConfigTest, ProgressOnlyWhileSweeping) {
    Sweep_setProgress(&record, 3, 4);
    EXPECT_DOUBLE_EQ(Device_getSweepListProgress(device), 0);
    record.frequencyMode = SWEEP_MODE_SWEEP;
    EXPECT_DOUBLE_EQ(Device_getSweepListProgress(device), 0.75);
    Sweep_setProgress(&record, 0, 0);
    EXPECT_DOUBLE_EQ(Device_getSweepListProgress(device), 0);
    EXPECT_EQ(Sweep_enableCwTransientSeparation(&record), KR_E_HARDWARE_MISSING);
}

TEST_F(SweepConfigTest, PlanIsReadWholeOrNotAtAll) {
    SweepPlan plan{};
    ASSERT_EQ(Sweep_readPlan(&record, &plan), 0);
    EXPECT_EQ(plan.frequencyStop.integer, 2 * GHz);
    // A writer in the middle of a change: the reader keeps the plan it has.
    record.configSequence |= 1;
    range(3 * GHz, 4 * GHz, 2);
    EXPECT_EQ(Sweep_readPlan(&record, &plan), -1);
    EXPECT_EQ(plan.frequencyStop.integer, 2 * GHz);
    record.configSequence++;
    ASSERT_EQ(Sweep_readPlan(&record, &plan), 0);
    EXPECT_EQ(plan.frequencyStop.integer, 4 * GHz);
    KrFreq f{};
    Sweep_getNextPointFrequency(&plan, 1, 0, &f);
    EXPECT_EQ(f.integer, 4 * GHz);
}

}  // namespace
