// Reference boards against the simulated reference board: reference-frequency selection and
// stepping, source selection and the reference output as the board's switches make them,
// the lock test with loop voltages fed through the ADC, the low-noise board's PLL, channel
// fan-out and SYSREF distribution.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/fs_fpga.h"
#include "hw/hmc7043_registers.h"
#include "hw/hmc987_registers.h"
#include "hw/krgio.h"
#include "hw/orbxxxg_ref.h"
#include "hw/orbxxxg_ref_registers.h"
#include "hw/orbxxxg_ref_uln.h"
#include "hw_test_support.h"
#include "tests/support/param_name.h"

namespace {

constexpr int64_t M = 1000000;
constexpr uint32_t STANDARD = 0;

// A row's board and frequency in a test name: "Uln2B", "55MHz", "54999999Hz".
std::string revisionName(uint32_t revision) {
    return revision == STANDARD ? "Standard" : std::string("Uln2") + char('A' + revision - 1);
}
std::string frequencyName(int64_t hz) {
    return hz % M ? paramNumber(hz) + "Hz" : paramNumber(hz / M) + "MHz";
}

// One record for the whole run: the tuning DAC's cache listener stays linked at its address.
OrbxxxgRefBoard board;

KrFreq hz(int64_t h, uint64_t fraction = 0) {
    return KrFreq{h, fraction};
}

class RefBoardTest : public HwTest {
  protected:
    explicit RefBoardTest(bool fs = false) : HwTest(fs) {}
    void start(uint32_t revision) {
        hardware_sim_configure(1, revision != STANDARD, nullptr);
        board.revisionCode = revision;
        uln_ = revision != STANDARD;
        ASSERT_EQ(uln_ ? ORBXXXG_REF_ULN_init(&board) : ORBXXXG_REF_init(&board), 0);
        ASSERT_TRUE(hardware_sim_waitIdle());  // the board as init left it, before any stimulus
    }
    void TearDown() override {
        loopRunning_ = false;
        if (loop_.joinable()) loop_.join();
        HwTest::TearDown();
    }

    SimReferenceState observed() {
        krgio_ioupdate();
        if (fs_) FS_FPGA_flush();
        EXPECT_TRUE(hardware_sim_waitIdle());
        return hardware_sim_reference();
    }
    bool bit(int b) {
        if (fs_) FS_FPGA_flush();
        hardware_sim_waitIdle();
        std::vector<uint8_t> image = hardware_sim_shiftRegisterImage(BOARD_REF_SRI);
        size_t byte = (size_t)b / 8;
        return byte < image.size() && ((image[byte] >> (b % 8)) & 1);
    }
    uint64_t reg(uint32_t slave, uint32_t address) {
        hardware_sim_waitIdle();
        return hardware_sim_chipRegister(slave, address);
    }

    int setFrequency(int64_t h) {
        KrFreq f = hz(h);
        return uln_ ? ORBXXXG_REF_ULN_setReferenceFrequency(&board, &f)
                    : ORBXXXG_REF_setReferenceFrequency(&board, &f);
    }
    int64_t frequency() {
        KrFreq f = {};
        uln_ ? ORBXXXG_REF_ULN_getReferenceFrequency(&board, &f)
             : ORBXXXG_REF_getReferenceFrequency(&board, &f);
        return f.integer;
    }
    int external() {
        return uln_ ? ORBXXXG_REF_ULN_setReferenceSourceExternal(&board)
                    : ORBXXXG_REF_setReferenceSourceExternal(&board);
    }
    int internal() {
        return uln_ ? ORBXXXG_REF_ULN_setReferenceSourceInternal(&board)
                    : ORBXXXG_REF_setReferenceSourceInternal(&board);
    }
    int enableRefOut() {
        return uln_ ? ORBXXXG_REF_ULN_enableRefOut(&board) : ORBXXXG_REF_enableRefOut(&board);
    }
    int setOutputFrequency(int64_t h) {
        KrFreq f = hz(h);
        return uln_ ? ORBXXXG_REF_ULN_setReferenceOutputFrequency(&board, &f)
                    : ORBXXXG_REF_setReferenceOutputFrequency(&board, &f);
    }
    int checkLock() {
        return uln_ ? ORBXXXG_REF_ULN_checkReferencePhaseLock(&board)
                    : ORBXXXG_REF_checkReferencePhaseLock(&board);
    }
    int locked() {
        return uln_ ? ORBXXXG_REF_ULN_isReferencePhaseLocked(&board)
                    : ORBXXXG_REF_isReferencePhaseLocked(&board);
    }
    uint32_t adcSlave() const { return uln_ ? BOARD_REF_ULN_ADC : BOARD_REF_ADC; }

    // The oscillator loop as the ADC sees it: the control voltage rests at base, moves by
    // gain x (test DAC - 8200) while the test DAC is on, and settles drift away from base
    // once the test has let go. Waits run at a fiftieth of hardware time meanwhile.
    void simulateLoop(uint32_t base, double gain, int drift) {
        hardware_sim_setAdc(adcSlave(), base);
        hardware_sim_setTimeScale(0.02);
        loopRunning_ = true;
        loop_ = std::thread([this, base, gain, drift] {
            bool disturbed = false;
            while (loopRunning_) {
                bool on;
                double dac;
                if (uln_) {
                    on = hardware_sim_chipRegister(BOARD_REF_ULN_LOCK_DAC, 1) == 0;
                    dac = (double)hardware_sim_chipRegister(BOARD_REF_ULN_LOCK_DAC, 0);
                } else {
                    on = hardware_sim_chipRegister(BOARD_REF_TUNE_DAC, 0x21) == 0;
                    dac = (double)hardware_sim_chipRegister(BOARD_REF_TUNE_DAC, 0x11);
                }
                disturbed = disturbed || on;
                double v = on ? base + gain * (dac - 8200) : disturbed ? base + drift : base;
                hardware_sim_setAdc(adcSlave(), (uint32_t)std::lround(v));
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
    }

    bool uln_ = false;
    std::atomic<bool> loopRunning_{false};
    std::thread loop_;
};

// ---------------------------------------------------------------------------------------
// Reference frequency selection

struct SelectRow {
    uint32_t revision;
    int64_t hz;
    uint64_t fraction;
    int64_t expected;
};

class ReferenceSelection : public RefBoardTest, public ::testing::WithParamInterface<SelectRow> {};

TEST_P(ReferenceSelection, StoresTheSupportedReference) {
    const SelectRow &row = GetParam();
    start(row.revision);
    KrFreq f = hz(row.hz, row.fraction);
    ASSERT_EQ(row.revision == STANDARD ? ORBXXXG_REF_setReferenceFrequency(&board, &f)
                                       : ORBXXXG_REF_ULN_setReferenceFrequency(&board, &f),
              0);
    EXPECT_EQ(frequency(), row.expected);
    // Internal source: the value is stored, nothing switches.
    EXPECT_STREQ(observed().source, "internal");
}

INSTANTIATE_TEST_SUITE_P(
    Boards, ReferenceSelection,
    ::testing::Values(SelectRow{STANDARD, 54999999, 0, 10 * M},
                      SelectRow{STANDARD, 54999999, ~0ull, 10 * M},  // just below 55 MHz
                      SelectRow{STANDARD, 55 * M, 0, 100 * M},
                      SelectRow{STANDARD, 549999000, 0, 100 * M},
                      SelectRow{STANDARD, 550 * M, 0, 1000 * M},
                      SelectRow{STANDARD, 20000 * M, 0, 1000 * M},
                      SelectRow{STANDARD, -5 * M, 0, 10 * M}, SelectRow{STANDARD, 0, 0, 10 * M},
                      SelectRow{ORBXXXG_REF_ULN_REV_2A, 54999999, 0, 10 * M},
                      SelectRow{ORBXXXG_REF_ULN_REV_2A, 55 * M, 0, 100 * M},
                      SelectRow{ORBXXXG_REF_ULN_REV_2A, 550 * M, 0, 100 * M},
                      SelectRow{ORBXXXG_REF_ULN_REV_2B, 1000 * M, 0, 100 * M},
                      SelectRow{ORBXXXG_REF_ULN_REV_2C, 549999000, 0, 100 * M},
                      SelectRow{ORBXXXG_REF_ULN_REV_2C, 550 * M, 0, 1000 * M}),
    [](const ::testing::TestParamInfo<SelectRow> &info) {
        return revisionName(info.param.revision) + "_" + frequencyName(info.param.hz) +
               (info.param.fraction ? "_AndAFraction" : "");
    });

// ---------------------------------------------------------------------------------------
// Stepping

struct JumpRow {
    uint32_t revision;
    int64_t from;
    int64_t to;
    int64_t expected;
};

class ReferenceJump : public RefBoardTest, public ::testing::WithParamInterface<JumpRow> {};

TEST_P(ReferenceJump, StepsToTheNeighbour) {
    const JumpRow &row = GetParam();
    start(row.revision);
    ASSERT_EQ(setFrequency(row.from), 0);
    KrFreq to = hz(row.to);
    ASSERT_EQ(row.revision == STANDARD ? ORBXXXG_REF_setReferenceFrequencyJump(&board, &to)
                                       : ORBXXXG_REF_ULN_setReferenceFrequencyJump(&board, &to),
              0);
    EXPECT_EQ(frequency(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Boards, ReferenceJump,
    ::testing::Values(JumpRow{STANDARD, 10 * M, 20 * M, 100 * M},
                      JumpRow{STANDARD, 1000 * M, 500 * M, 100 * M},
                      JumpRow{STANDARD, 10 * M, 1000 * M, 1000 * M},
                      JumpRow{STANDARD, 100 * M, 5000 * M, 1000 * M},
                      JumpRow{STANDARD, 100 * M, 50 * M, 10 * M},
                      JumpRow{STANDARD, 100 * M, 100 * M, 100 * M},
                      JumpRow{ORBXXXG_REF_ULN_REV_2C, 10 * M, 1000 * M, 100 * M},
                      JumpRow{ORBXXXG_REF_ULN_REV_2C, 100 * M, 1000 * M, 1000 * M},
                      JumpRow{ORBXXXG_REF_ULN_REV_2C, 1000 * M, 200 * M, 100 * M},
                      JumpRow{ORBXXXG_REF_ULN_REV_2B, 10 * M, 1000 * M, 100 * M},
                      JumpRow{ORBXXXG_REF_ULN_REV_2B, 100 * M, 1000 * M, 100 * M},
                      JumpRow{ORBXXXG_REF_ULN_REV_2A, 100 * M, 20 * M, 10 * M}),
    [](const ::testing::TestParamInfo<JumpRow> &info) {
        return revisionName(info.param.revision) + "_" + frequencyName(info.param.from) + "To" +
               frequencyName(info.param.to);
    });

// ---------------------------------------------------------------------------------------
// Standard board: sources and output

struct SourceRow {
    int64_t reference;
    int64_t observed;
    bool tune0, tune1;
};

class StandardSource : public RefBoardTest, public ::testing::WithParamInterface<SourceRow> {};

TEST_P(StandardSource, ExternalPathFollowsTheReference) {
    const SourceRow &row = GetParam();
    start(STANDARD);
    ASSERT_EQ(setFrequency(row.reference), 0);
    ASSERT_EQ(external(), 0);
    SimReferenceState s = observed();
    EXPECT_STREQ(s.source, "external");
    EXPECT_EQ(s.frequency.integer, row.observed);
    EXPECT_EQ(bit(ORBXXXG_REF_BIT_TUNE0), row.tune0);
    EXPECT_EQ(bit(ORBXXXG_REF_BIT_TUNE1), row.tune1);
    EXPECT_EQ(ORBXXXG_REF_isReferenceSourceExternal(&board), 1);
    EXPECT_TRUE(bit(ORBXXXG_REF_BIT_STARTUP));

    ASSERT_EQ(internal(), 0);
    s = observed();
    EXPECT_STREQ(s.source, "internal");
    EXPECT_TRUE(bit(ORBXXXG_REF_BIT_TUNE0) && bit(ORBXXXG_REF_BIT_TUNE1));
    EXPECT_EQ(ORBXXXG_REF_isReferenceSourceInternal(&board), 1);
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(References, StandardSource,
                         ::testing::Values(SourceRow{10 * M, 10 * M, true, false},
                                           SourceRow{100 * M, 100 * M, false, false},
                                           SourceRow{1000 * M, 1000 * M, false, false}),
                         [](const ::testing::TestParamInfo<SourceRow> &info) {
                             return frequencyName(info.param.reference);
                         });

TEST_F(RefBoardTest, StandardReferenceChangeWhileExternalSwitchesAtOnce) {
    start(STANDARD);
    ASSERT_EQ(external(), 0);
    EXPECT_EQ(observed().frequency.integer, 10 * M);
    for (int64_t f : {100 * M, 1000 * M, 10 * M, 1000 * M, 100 * M}) {
        ASSERT_EQ(setFrequency(f), 0);
        EXPECT_EQ(observed().frequency.integer, f);
        // One external input at a time.
        int inputs = bit(ORBXXXG_REF_BIT_EXT_10M) + bit(ORBXXXG_REF_BIT_EXT_100M) +
                     bit(ORBXXXG_REF_BIT_EXT_1G);
        EXPECT_EQ(inputs, 1) << f;
    }
}

TEST_F(RefBoardTest, StandardOutputFrequencyFollowsTheSource) {
    start(STANDARD);
    ASSERT_EQ(enableRefOut(), 0);
    SimReferenceState s = observed();
    EXPECT_TRUE(s.outputOn);
    EXPECT_EQ(s.outputFrequency.integer, 100 * M);  // the default
    ASSERT_EQ(setOutputFrequency(10 * M), 0);
    EXPECT_EQ(observed().outputFrequency.integer, 10 * M);

    // An external 100 MHz reference can only be passed on as it is.
    ASSERT_EQ(setFrequency(100 * M), 0);
    ASSERT_EQ(external(), 0);
    EXPECT_EQ(observed().outputFrequency.integer, 100 * M);
    ASSERT_EQ(setOutputFrequency(10 * M), 0);
    EXPECT_EQ(observed().outputFrequency.integer, 100 * M);
    KrFreq out;
    ORBXXXG_REF_getReferenceOutputFrequency(&board, &out);
    EXPECT_EQ(out.integer, 100 * M);

    // 1 GHz: the output goes off and stays off.
    ASSERT_EQ(setFrequency(1000 * M), 0);
    EXPECT_FALSE(observed().outputOn);
    EXPECT_EQ(enableRefOut(), 0);
    EXPECT_FALSE(observed().outputOn);
    EXPECT_EQ(ORBXXXG_REF_isRefOutEnabled(&board), 0);

    ASSERT_EQ(internal(), 0);
    ASSERT_EQ(enableRefOut(), 0);
    EXPECT_TRUE(observed().outputOn);
    ASSERT_EQ(ORBXXXG_REF_disableRefOut(&board), 0);
    EXPECT_FALSE(observed().outputOn);
}

TEST_F(RefBoardTest, StandardDefaultsRestoreInternalSourceAndOutput) {
    start(STANDARD);
    ASSERT_EQ(setFrequency(100 * M), 0);
    ASSERT_EQ(external(), 0);
    ASSERT_EQ(enableRefOut(), 0);
    ASSERT_EQ(ORBXXXG_REF_setDefaultValues(&board), 0);
    SimReferenceState s = observed();
    EXPECT_STREQ(s.source, "internal");
    EXPECT_FALSE(s.outputOn);
    EXPECT_EQ(s.outputFrequency.integer, 100 * M);
    EXPECT_EQ(frequency(), 10 * M);
    EXPECT_EQ(locked(), 1);
}

TEST_F(RefBoardTest, StandardChannelsUseTheUpperFanoutPorts) {
    start(STANDARD);
    ASSERT_EQ(ORBXXXG_REF_enableRefChannel(&board, 0), 0);
    ASSERT_EQ(ORBXXXG_REF_enableRefChannel(&board, 3), 0);
    EXPECT_EQ(reg(BOARD_REF_FANOUT, HMC987_REG_PORTS), 0x90u);
    ASSERT_EQ(ORBXXXG_REF_disableRefChannel(&board, 0), 0);
    EXPECT_EQ(reg(BOARD_REF_FANOUT, HMC987_REG_PORTS), 0x80u);
    for (int32_t ch : {-1, 4, 100}) {
        EXPECT_EQ(ORBXXXG_REF_enableRefChannel(&board, ch), -224) << ch;
        EXPECT_EQ(ORBXXXG_REF_disableRefChannel(&board, ch), -224) << ch;
    }
    EXPECT_EQ(reg(BOARD_REF_FANOUT, HMC987_REG_PORTS), 0x80u);
}

TEST_F(RefBoardTest, StandardTuningIsLimitedTo14Bits) {
    start(STANDARD);
    struct {
        double in;
        uint32_t dac;
    } rows[] = {{8192, 8192}, {20000, 16383}, {-3, 0}, {NAN, 0}, {16383, 16383}};
    for (const auto &row : rows) {
        ASSERT_EQ(ORBXXXG_REF_setReferenceTuning(&board, row.in), 0);
        EXPECT_EQ(reg(BOARD_REF_TUNE_DAC, 0x10), row.dac) << row.in;
        double back = -1;
        ORBXXXG_REF_getReferenceTuning(&board, &back);
        EXPECT_EQ(back, row.dac);
    }
}

TEST_F(RefBoardTest, StandardHasNoLowNoiseOption) {
    start(STANDARD);
    EXPECT_EQ(ORBXXXG_REF_disableOptionLn(&board), -241);
}

// The FS variant reaches the same chips and waits through the FS FPGA.
class FsRefBoardTest : public RefBoardTest {
  protected:
    FsRefBoardTest() : RefBoardTest(true) {}
};

TEST_F(FsRefBoardTest, SourcesAndLockTestWorkOnTheFsVariant) {
    start(STANDARD);
    ASSERT_EQ(setFrequency(100 * M), 0);
    ASSERT_EQ(external(), 0);
    SimReferenceState s = observed();
    EXPECT_STREQ(s.source, "external");
    EXPECT_EQ(s.frequency.integer, 100 * M);
    ASSERT_EQ(internal(), 0);
    EXPECT_STREQ(observed().source, "internal");
    hardware_sim_setAdc(BOARD_REF_ADC, 16151);
    ASSERT_EQ(checkLock(), 0);
    EXPECT_EQ(locked(), 0);
    hardware_sim_setAdc(BOARD_REF_ADC, 9000);
    ASSERT_EQ(checkLock(), 0);
    EXPECT_EQ(locked(), 1);
    // The readings follow the disturbance in stream order here too.
    simulateLoop(8000, 1.0, 0);
    ASSERT_EQ(checkLock(), 0);
    EXPECT_EQ(locked(), 0);
    expectNoViolations();
}

// ---------------------------------------------------------------------------------------
// Lock test

struct LockRow {
    const char *name;
    uint32_t base;
    double gain;
    int drift;
    int locked;
};

class LockCheck : public RefBoardTest, public ::testing::WithParamInterface<LockRow> {};

TEST_P(LockCheck, StandardLoopVoltageDecides) {
    const LockRow &row = GetParam();
    start(STANDARD);
    simulateLoop(row.base, row.gain, row.drift);
    EXPECT_EQ(checkLock(), 0);
    EXPECT_EQ(locked(), row.locked);
    EXPECT_EQ(reg(BOARD_REF_TUNE_DAC, 0x21), 1u);  // test channel released
}

TEST_P(LockCheck, LowNoiseLoopVoltageDecides) {
    const LockRow &row = GetParam();
    start(ORBXXXG_REF_ULN_REV_2B);
    simulateLoop(row.base, row.gain, row.drift);
    EXPECT_EQ(checkLock(), 0);
    EXPECT_EQ(locked(), row.locked);
    EXPECT_EQ(reg(BOARD_REF_ULN_LOCK_DAC, 1), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Loops, LockCheck,
    ::testing::Values(LockRow{"Steady", 8000, 0, 0, 1}, LockRow{"Follows", 8000, 1.0, 0, 0},
                      LockRow{"Wobbles", 8000, 0.2, 0, 1}, LockRow{"Drifts", 8000, 0, 60, 0},
                      LockRow{"DriftsLittle", 8000, 0, 40, 1},
                      LockRow{"TopOfRange", 16150, 0, 0, 1}, LockRow{"OverRange", 16151, 0, 0, 0},
                      LockRow{"BottomOfRange", 400, 0, 0, 1}, LockRow{"UnderRange", 399, 0, 0, 0}),
    [](const ::testing::TestParamInfo<LockRow> &info) { return std::string(info.param.name); });

TEST_F(RefBoardTest, LockFlagCountsOnlyWhereTheOscillatorIsLocked) {
    start(STANDARD);
    hardware_sim_setAdc(BOARD_REF_ADC, 16151);
    ASSERT_EQ(checkLock(), 0);
    EXPECT_EQ(locked(), 0);
    ASSERT_EQ(external(), 0);  // 10 MHz: the oscillator locks to it
    EXPECT_EQ(locked(), 0);
    ASSERT_EQ(setFrequency(100 * M), 0);  // fed directly
    EXPECT_EQ(locked(), 1);
}

// The loop voltage as the diagnostics read it, on the converter of each board.
TEST_F(RefBoardTest, TuneAdcReadsTheLoopVoltage) {
    for (uint32_t revision : {STANDARD, ORBXXXG_REF_ULN_REV_2B}) {
        start(revision);
        hardware_sim_setAdc(revision == STANDARD ? BOARD_REF_ADC : BOARD_REF_ULN_ADC, 8123);
        uint32_t value = 0;
        ASSERT_EQ(revision == STANDARD ? ORBXXXG_REF_getTuneAdc(&board, &value)
                                       : ORBXXXG_REF_ULN_getTuneAdc(&board, &value),
                  0);
        EXPECT_EQ(value, 8123u) << revisionName(revision);
    }
}

TEST_F(RefBoardTest, LockCheckEvaluation) {
    struct {
        uint32_t a[4];
        int locked;
    } rows[] = {
        {{8000, 8000, 8000, 8050}, 1},  // d0 at the limit
        {{8000, 8000, 8000, 8051}, 0},  // d0 beyond
        {{8000, 8100, 7900, 8000}, 0},  // d1 beyond d0 + 50
        {{8000, 8050, 7950, 8000}, 1},  // both at d0 + 50
        {{8000, 8101, 8000, 8050}, 1},  // d1 = 51 <= d0 + 50 = 100
        {{16151, 16151, 16151, 16151}, 0},
        {{0, 0, 0, 400}, 0},  // in range, but far from where it started
    };
    for (const auto &row : rows)
        EXPECT_EQ(ORBXXXG_REF_evaluateLock(row.a), row.locked)
            << row.a[0] << " " << row.a[1] << " " << row.a[2] << " " << row.a[3];
}

// ---------------------------------------------------------------------------------------
// Low-noise board

const std::vector<int> INTERNAL_LN_BITS = {1, 12, 13, 17, 18, 2, 21, 22};
const std::vector<int> INTERNAL_PLAIN_BITS = {13, 17, 18, 2, 23};
const int SOURCE_BITS[] = {1, 2, 3, 5, 9, 10, 12, 13, 15, 16, 17, 18, 20, 21, 22, 23};

class LowNoiseTest : public RefBoardTest {
  protected:
    // Exactly these of the source bits are set.
    void expectSourceBits(const std::vector<int> &set) {
        for (int b : SOURCE_BITS) {
            bool want = std::find(set.begin(), set.end(), b) != set.end();
            EXPECT_EQ(bit(b), want) << "bit " << b;
        }
    }
};

TEST_F(LowNoiseTest, SourcesSwitchTheirPaths) {
    start(ORBXXXG_REF_ULN_REV_2C);
    EXPECT_STREQ(observed().source, "internal");
    expectSourceBits(INTERNAL_LN_BITS);

    ASSERT_EQ(external(), 0);
    SimReferenceState s = observed();
    EXPECT_STREQ(s.source, "external");
    EXPECT_EQ(s.frequency.integer, 10 * M);
    expectSourceBits({9, 5, 12, 13, 17, 18, 2, 22});

    ASSERT_EQ(setFrequency(100 * M), 0);
    EXPECT_EQ(observed().frequency.integer, 100 * M);
    expectSourceBits({5, 10, 17, 18, 2});

    ASSERT_EQ(setFrequency(1000 * M), 0);
    EXPECT_EQ(observed().frequency.integer, 1000 * M);
    expectSourceBits({16, 5, 10, 2});

    ASSERT_EQ(ORBXXXG_REF_ULN_setReferenceSourceExternalSysClock(&board), 0);
    EXPECT_STREQ(observed().source, "external");
    expectSourceBits({3, 20});
    EXPECT_EQ(ORBXXXG_REF_ULN_isReferenceSourceExternalSysClock(&board), 1);
    EXPECT_EQ(locked(), 0);

    ASSERT_EQ(internal(), 0);
    EXPECT_STREQ(observed().source, "internal");
    expectSourceBits(INTERNAL_LN_BITS);
    expectNoViolations();
}

TEST_F(LowNoiseTest, DisablingTheOptionMovesTheInternalSourceOffIt) {
    start(ORBXXXG_REF_ULN_REV_2B);
    EXPECT_EQ(ORBXXXG_REF_ULN_disableOptionLn(&board), -241);
    EXPECT_STREQ(observed().source, "internal");
    expectSourceBits(INTERNAL_PLAIN_BITS);

    // While external nothing switches; the next internal selection knows.
    ASSERT_EQ(external(), 0);
    EXPECT_EQ(ORBXXXG_REF_ULN_disableOptionLn(&board), -241);
    expectSourceBits({9, 5, 12, 13, 17, 18, 2, 22});
    ASSERT_EQ(internal(), 0);
    expectSourceBits(INTERNAL_PLAIN_BITS);

    // A settings reset does not bring the missing option back.
    ASSERT_EQ(ORBXXXG_REF_ULN_setDefaultValues(&board), 0);
    expectSourceBits(INTERNAL_PLAIN_BITS);
}

TEST_F(LowNoiseTest, OneGigahertzOnlyOnRevision2C) {
    start(ORBXXXG_REF_ULN_REV_2B);
    KrFreq f;
    ORBXXXG_REF_ULN_getReferenceFrequencyMax(&board, &f);
    EXPECT_EQ(f.integer, 100 * M);
    ASSERT_EQ(setFrequency(1000 * M), 0);
    ASSERT_EQ(external(), 0);
    EXPECT_EQ(observed().frequency.integer, 100 * M);
    board.revisionCode = ORBXXXG_REF_ULN_REV_2C;
    ORBXXXG_REF_ULN_getReferenceFrequencyMax(&board, &f);
    EXPECT_EQ(f.integer, 1000 * M);
}

struct OutputRow {
    uint32_t revision;
    int64_t wanted;  // output frequency asked for
    int source;      // 0 internal, 1 external 100 MHz, 2 external PLL
    bool lnDisabled;
    int64_t carried;  // what the output then carries
};

class LowNoiseOutput : public LowNoiseTest, public ::testing::WithParamInterface<OutputRow> {};

TEST_P(LowNoiseOutput, RevisionRulesPickTheFrequency) {
    const OutputRow &row = GetParam();
    start(row.revision);
    if (row.lnDisabled) ORBXXXG_REF_ULN_disableOptionLn(&board);
    if (row.source == 1) {
        ASSERT_EQ(setFrequency(100 * M), 0);
        ASSERT_EQ(external(), 0);
    } else if (row.source == 2) {
        ASSERT_EQ(ORBXXXG_REF_ULN_setReferenceSourceExternalVariable(&board), 0);
    }
    ASSERT_EQ(setOutputFrequency(row.wanted), 0);
    ASSERT_EQ(enableRefOut(), 0);
    SimReferenceState s = observed();
    EXPECT_TRUE(s.outputOn);
    EXPECT_EQ(s.outputFrequency.integer, row.carried);
    bool ten = row.carried == 10 * M;
    EXPECT_EQ(bit(ORBXXXG_REF_ULN_BIT_REFOUT_10M), ten);
    EXPECT_EQ(bit(ORBXXXG_REF_ULN_BIT_REFOUT_10M_A), ten && row.revision != ORBXXXG_REF_ULN_REV_2A);
    KrFreq out;
    ORBXXXG_REF_ULN_getReferenceOutputFrequency(&board, &out);
    EXPECT_EQ(out.integer, row.carried);

    ASSERT_EQ(ORBXXXG_REF_ULN_disableRefOut(&board), 0);
    EXPECT_FALSE(observed().outputOn);
    EXPECT_TRUE(bit(ORBXXXG_REF_ULN_BIT_REFOUT_10M));
    EXPECT_FALSE(bit(ORBXXXG_REF_ULN_BIT_REFOUT_10M_A));
}

INSTANTIATE_TEST_SUITE_P(
    Revisions, LowNoiseOutput,
    ::testing::Values(OutputRow{ORBXXXG_REF_ULN_REV_2B, 10 * M, 0, false, 10 * M},
                      OutputRow{ORBXXXG_REF_ULN_REV_2B, 100 * M, 0, false, 100 * M},
                      OutputRow{ORBXXXG_REF_ULN_REV_2C, 10 * M, 1, false, 10 * M},
                      OutputRow{ORBXXXG_REF_ULN_REV_2A, 10 * M, 0, false, 10 * M},
                      OutputRow{ORBXXXG_REF_ULN_REV_2A, 10 * M, 0, true, 100 * M},
                      OutputRow{ORBXXXG_REF_ULN_REV_2A, 10 * M, 1, false, 100 * M},
                      OutputRow{ORBXXXG_REF_ULN_REV_2A, 100 * M, 2, false, 10 * M}),
    [](const ::testing::TestParamInfo<OutputRow> &info) {
        const int source = info.param.source;
        return revisionName(info.param.revision) + "_" + frequencyName(info.param.wanted) + "_" +
               (source == 0   ? "Internal"
                : source == 1 ? "External100MHz"
                              : "ExternalPll") +
               (info.param.lnDisabled ? "_LnDisabled" : "");
    });

TEST_F(LowNoiseTest, OutputGoesOffWhereItCannotFollow) {
    // 2A at 10 MHz, then an external 100 MHz.
    start(ORBXXXG_REF_ULN_REV_2A);
    ASSERT_EQ(setOutputFrequency(10 * M), 0);
    ASSERT_EQ(enableRefOut(), 0);
    EXPECT_TRUE(observed().outputOn);
    ASSERT_EQ(setFrequency(100 * M), 0);
    ASSERT_EQ(external(), 0);
    EXPECT_FALSE(observed().outputOn);

    // System clock: off, and enabling leaves it off.
    ASSERT_EQ(internal(), 0);
    ASSERT_EQ(enableRefOut(), 0);
    EXPECT_TRUE(observed().outputOn);
    ASSERT_EQ(ORBXXXG_REF_ULN_setReferenceSourceExternalSysClock(&board), 0);
    EXPECT_FALSE(observed().outputOn);
    EXPECT_EQ(enableRefOut(), 0);
    EXPECT_FALSE(observed().outputOn);
}

TEST_F(LowNoiseTest, PllFrequencyIsRoundedAndLimited) {
    start(ORBXXXG_REF_ULN_REV_2B);
    struct {
        int64_t in;
        int64_t stored;
    } rows[] = {{10050000, 10100000}, {10049999, 10000000}, {123456789, 123500000},
                {0, 1 * M},           {-7, 1 * M},          {300 * M, 250 * M},
                {INT64_MAX, 250 * M}, {250 * M, 250 * M}};
    for (const auto &row : rows) {
        KrFreq f = hz(row.in), back;
        ASSERT_EQ(ORBXXXG_REF_ULN_setReferenceFrequencyPLL(&board, &f), 0);
        ORBXXXG_REF_ULN_getExtReferencePllFrequency(&board, &back);
        EXPECT_EQ(back.integer, row.stored) << row.in;
    }
}

TEST_F(LowNoiseTest, PllIsProgrammedWhileInUseAndPoweredDownAfter) {
    start(ORBXXXG_REF_ULN_REV_2B);
    OrbxxxgRefUln *r = orbxxxg_refRecord<OrbxxxgRefUln>(&board);
    KrFreq f = hz(10 * M);
    ASSERT_EQ(ORBXXXG_REF_ULN_setReferenceFrequencyPLL(&board, &f), 0);
    EXPECT_EQ(r->pll.poweredDown, 1);  // not in use: nothing programmed

    ASSERT_EQ(ORBXXXG_REF_ULN_setReferenceSourceExternalVariable(&board), 0);
    EXPECT_STREQ(observed().source, "external");
    expectSourceBits({5, 13, 17, 18, 2, 15, 22});
    EXPECT_EQ(r->pll.poweredDown, 0);
    EXPECT_EQ(r->pll.chargePump, 7u);
    EXPECT_EQ(r->pll.muxOut, 1u);
    EXPECT_EQ(r->pll.comparison.integer, 100 * M);
    EXPECT_EQ(r->pll.reference.integer, 10 * M);

    f = hz(12345678);
    ASSERT_EQ(ORBXXXG_REF_ULN_setReferenceFrequencyPLL(&board, &f), 0);
    EXPECT_EQ(r->pll.reference.integer, 12300000);

    EXPECT_EQ(locked(), 0);  // no lock-detect reader installed
    ORBXXXG_REF_ULN_setLockDetectReader([] { return 1; });
    EXPECT_EQ(locked(), 1);
    ORBXXXG_REF_ULN_setLockDetectReader(nullptr);

    ASSERT_EQ(internal(), 0);
    EXPECT_EQ(r->pll.poweredDown, 1);
}

TEST_F(LowNoiseTest, ChannelsAndSystemClockShareTheFanout) {
    start(ORBXXXG_REF_ULN_REV_2B);
    ASSERT_EQ(ORBXXXG_REF_ULN_enableRefChannel(&board, 0), 0);  // reversed order: port 7
    ASSERT_EQ(ORBXXXG_REF_ULN_enableRefChannel(&board, 3), 0);  // port 4
    ASSERT_EQ(ORBXXXG_REF_ULN_enableSysClockOut(&board), 0);    // port 3
    EXPECT_EQ(reg(BOARD_REF_ULN_FANOUT, HMC987_REG_PORTS), 0x98u);
    EXPECT_EQ(ORBXXXG_REF_ULN_isSysClockOutEnabled(&board), 1);
    ASSERT_EQ(ORBXXXG_REF_ULN_disableRefChannel(&board, 0), 0);
    ASSERT_EQ(ORBXXXG_REF_ULN_disableSysClockOut(&board), 0);
    EXPECT_EQ(reg(BOARD_REF_ULN_FANOUT, HMC987_REG_PORTS), 0x10u);
    EXPECT_EQ(ORBXXXG_REF_ULN_enableRefChannel(&board, 4), -224);
    EXPECT_EQ(ORBXXXG_REF_ULN_disableRefChannel(&board, -1), -224);
}

TEST_F(LowNoiseTest, SysrefGoesToTheChannelsOfTheMask) {
    start(ORBXXXG_REF_ULN_REV_2C);
    auto enabled = [&](int out) {
        return (reg(BOARD_REF_ULN_CLOCK, hmc7043_channelReg(out, HMC7043_CH_CONTROL)) &
                HMC7043_CH_ENABLE) != 0;
    };
    ASSERT_EQ(ORBXXXG_REF_ULN_initialize_phs(&board, 0xF), 0);
    for (int out : {6, 4, 2, 0, 11, 10})
        EXPECT_TRUE(enabled(out)) << out;
    EXPECT_EQ(reg(BOARD_REF_ULN_CLOCK, HMC7043_REG_SYSREF_DIV_LSB) |
                  reg(BOARD_REF_ULN_CLOCK, HMC7043_REG_SYSREF_DIV_MSB) << 8,
              1920u);
    EXPECT_EQ(reg(BOARD_REF_ULN_CLOCK, hmc7043_channelReg(10, HMC7043_CH_DIV_LSB)), 24u);
    EXPECT_EQ(reg(BOARD_REF_ULN_CLOCK, hmc7043_channelReg(6, HMC7043_CH_OUTPUT_SELECT)), 1u);
    EXPECT_EQ(reg(BOARD_REF_ULN_CLOCK, HMC7043_REG_INPUT), HMC7043_INPUT_AC_CML_100);
    EXPECT_EQ(reg(BOARD_REF_ULN_FANOUT, HMC987_REG_RF_BUFFER), 8u | 5u);

    // Channels 0 and 2 only: the others' SYSREF stops.
    ASSERT_EQ(ORBXXXG_REF_ULN_initialize_phs(&board, 0x5), 0);
    EXPECT_TRUE(enabled(6));
    EXPECT_FALSE(enabled(4));
    EXPECT_TRUE(enabled(2));
    EXPECT_FALSE(enabled(0));
    expectNoViolations();
}

TEST_F(LowNoiseTest, SysrefAnalogDelayInSteps) {
    start(ORBXXXG_REF_ULN_REV_2C);
    struct {
        int32_t channel;
        double seconds;
        int result;
        int output;
        uint32_t code;
    } rows[] = {
        {0, 100e-12, 0, 6, 4}, {1, 0, 0, 4, 0},          {3, 575e-12, 0, 0, 23},
        {2, 37e-12, 0, 2, 1},  {0, 600e-12, -224, 6, 4}, {0, -25e-12, -224, 6, 4},
        {0, NAN, -224, 6, 4},  {4, 0, -224, -1, 0},      {-1, 0, -224, -1, 0},
    };
    for (const auto &row : rows) {
        KrTime t = row.seconds;
        EXPECT_EQ(ORBXXXG_REF_ULN_setSysrefChannelAnalogDelay(&board, row.channel, &t), row.result)
            << row.channel << " " << row.seconds;
        if (row.output < 0) continue;
        EXPECT_EQ(reg(BOARD_REF_ULN_CLOCK, hmc7043_channelReg(row.output, HMC7043_CH_ANALOG_DELAY)),
                  row.code);
        KrTime back = -1;
        ASSERT_EQ(ORBXXXG_REF_ULN_getSysrefChannelAnalogDelay(&board, row.channel, &back), 0);
        EXPECT_NEAR(back, row.code * 25e-12, 1e-15);
    }
}

// ---------------------------------------------------------------------------------------
// The table

TEST_F(RefBoardTest, RegistrationFillsTheBoardsOperations) {
    ORBXXXG_REF_registerFunctions();
    EXPECT_TRUE(BOARD_ORBXXXG_REF_ISREG(init));
    EXPECT_TRUE(BOARD_ORBXXXG_REF_ISREG(checkReferencePhaseLock));
    EXPECT_FALSE(BOARD_ORBXXXG_REF_ISREG(setReferenceFrequencyPLL));
    EXPECT_FALSE(BOARD_ORBXXXG_REF_ISREG(enableSysClockOut));
    hardware_sim_configure(1, false, nullptr);
    board.revisionCode = STANDARD;
    ASSERT_EQ(BOARD_ORBXXXG_REF_init(&board), 0);
    KrFreq f = hz(550 * M);
    ASSERT_EQ(BOARD_ORBXXXG_REF_setReferenceFrequency(&board, &f), 0);
    ASSERT_EQ(BOARD_ORBXXXG_REF_setReferenceSourceExternal(&board), 0);
    EXPECT_EQ(observed().frequency.integer, 1000 * M);
    EXPECT_EQ(BOARD_ORBXXXG_REF_disableOptionLn(&board), -241);

    ORBXXXG_REF_ULN_registerFunctions();
    EXPECT_TRUE(BOARD_ORBXXXG_REF_ISREG(setReferenceFrequencyPLL));
    EXPECT_TRUE(BOARD_ORBXXXG_REF_ISREG(initialize_phs));
    EXPECT_TRUE(BOARD_ORBXXXG_REF_ISREG(setSysrefChannelAnalogDelay));
    hardware_sim_configure(1, true, nullptr);
    board.revisionCode = ORBXXXG_REF_ULN_REV_2B;
    ASSERT_EQ(BOARD_ORBXXXG_REF_init(&board), 0);
    ASSERT_EQ(BOARD_ORBXXXG_REF_setReferenceFrequency(&board, &f), 0);
    ASSERT_EQ(BOARD_ORBXXXG_REF_setReferenceSourceExternal(&board), 0);
    EXPECT_EQ(observed().frequency.integer, 100 * M);
}

}  // namespace
