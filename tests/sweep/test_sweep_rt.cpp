// The player on the real channel device and the simulated hardware: starts and stops while
// the main thread goes on with commands (also under ThreadSanitizer), pause and resume
// counting, the trigger conflict of the standard controller, the ALC sweep, the exit hook and
// the realised point times.
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "device/device.h"
#include "device/device_record.h"
#include "platform/sim/gio_record.h"
#include "platform/sim/hardware_sim.h"
#include "rtnative.h"
#include "sweep/sweep_config.h"
#include "sweep/sweep_rt.h"
#include "tests/support/sim_device.h"

namespace {

class SweepRtTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        sweep_ = Device_getSweepPtr(device_);
    }
    bool running() const { return sweep_rt_flag(sweep_->running) != 0; }

    Sweep *sweep_ = nullptr;
};

TEST_F(SweepRtTest, StartsAndStopsWhileCommandsArrive) {
    KrTime dwell = 1e-3;
    for (int round = 0; round < 4; round++) {
        ASSERT_EQ(Device_setFrequencyModeSweep(device_), 0);
        EXPECT_TRUE(running());
        EXPECT_TRUE(sweep_rt_flag(sweep_->triggerable));
        for (int i = 0; i < 50; i++) {
            Device_getSweepListProgress(device_);
            dwell = dwell == 1e-3 ? 2e-3 : 1e-3;
            EXPECT_EQ(Device_setDwellTime(device_, &dwell), 0);
            usleep(100);
        }
        ASSERT_EQ(Device_setFrequencyModeFixed(device_), 0);
        ASSERT_EQ(Device_execute(device_), 0);
        EXPECT_FALSE(running());
        EXPECT_EQ(Device_isFrequencyModeFixed(device_), 1);
    }
    EXPECT_TRUE(hardware_sim_waitIdle());
    EXPECT_TRUE(hardware_sim_violations().empty());
}

TEST_F(SweepRtTest, ResumeRestartsOnlyAfterAsManyCallsAsPauses) {
    ASSERT_EQ(Device_setFrequencyModeSweep(device_), 0);
    Sweep_pause(sweep_);
    Sweep_pause(sweep_);  // warns, counts
    EXPECT_FALSE(running());
    Sweep_resume(sweep_);
    EXPECT_FALSE(running());
    Sweep_resume(sweep_);
    EXPECT_TRUE(running());
    Sweep_resume(sweep_);  // one too many: an error, nothing changes
    EXPECT_TRUE(running());
}

TEST_F(SweepRtTest, ImmediatePointTriggerPlaysAsNormal) {
    ASSERT_EQ(Device_setTriggerSourceImmediate(device_), 0);
    ASSERT_EQ(Device_setTriggerTypePoint(device_), 0);
    ASSERT_EQ(Device_setFrequencyModeSweep(device_), 0);
    EXPECT_EQ(Device_isTriggerTypeNormal(device_), 1);
    EXPECT_TRUE(running());
}

// Points between timer starts: the trace counts points from each start, and the point that
// restarts the timer shows first with the old count.
std::vector<int64_t> runsBetweenStarts(size_t points) {
    std::vector<int64_t> runs;
    int64_t last = -1;
    for (const SimTraceRow &r : hardware_sim_outputTrace()) {
        // Rows before the sweep's first timer start carry the timer's previous count.
        if (r.point < 0 || r.point == last || (last < 0 && r.point != 0)) continue;
        if (r.point == 0 && last >= 0) runs.push_back(last);
        last = r.point;
        if (runs.size() >= points) break;
    }
    return runs;
}

TEST_F(SweepRtTest, CountRestartsTheTimerEveryCountPassesAndRandomKeepsDrawing) {
    ASSERT_EQ(Device_setSweepPoints(device_, 3), 0);
    ASSERT_EQ(Device_setSweepCount(device_, 2), 0);
    ASSERT_EQ(Device_setFrequencyModeSweep(device_), 0);
    for (int i = 0; i < 200 && runsBetweenStarts(3).size() < 3; i++)
        usleep(10000);
    EXPECT_EQ(runsBetweenStarts(3), (std::vector<int64_t>{6, 6, 6}));
    ASSERT_EQ(Device_setFrequencyModeFixed(device_), 0);
    ASSERT_EQ(Device_execute(device_), 0);

    // A random sweep marks no end of a pass before 3000 points.
    ASSERT_EQ(Device_setSweepCount(device_, 1), 0);
    ASSERT_EQ(Device_setSweepDirectionRandom(device_), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());  // the player has played out the last sweep
    hardware_sim_reset();
    // Paced, so the bounded trace still holds the start when the 3000 points have played.
    hardware_sim_setTimeScale(0.2);
    ASSERT_EQ(Device_setFrequencyModeSweep(device_), 0);
    for (int i = 0; i < 500 && runsBetweenStarts(1).empty(); i++)
        usleep(10000);
    std::vector<int64_t> runs = runsBetweenStarts(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], 3000);
}

// The timer requests since the last clear, in order (other traffic left out).
std::vector<int> timerRequests() {
    std::vector<int> codes;
    for (const GioRecord &r : gio_record_all())
        if ((r.request >= KRSPI_IOC_TIMER_INIT && r.request <= KRSPI_IOC_TIMER_STOP) ||
            r.request == KRTPT_IOC_RESET || r.request == KRTPT_IOC_TIMER_RELEASE)
            codes.push_back(r.request);
    return codes;
}

TEST_F(SweepRtTest, AlcSweepRunsOnTheSpiTimerAndProcessExitEndsTheTask) {
    gio_record_clear();
    ASSERT_EQ(Sweep_start_alc(sweep_, 5, 1e-6, 7), 0);
    EXPECT_EQ(timerRequests(),
              (std::vector<int>{KRTPT_IOC_RESET, KRSPI_IOC_TIMER_INIT, KRSPI_IOC_TIMER_START}));
    GioRecord start = gio_record_byRequest(KRSPI_IOC_TIMER_START).at(0);
    const uint32_t expected[] = {67, 2, 7, 0, 0, 2, 5, 132, 78};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(start.argU32(i), expected[i]) << i;
    gio_record_clear();
    ASSERT_EQ(Sweep_stop(sweep_, 0), 0);
    EXPECT_EQ(timerRequests(), (std::vector<int>{KRSPI_IOC_TIMER_STOP, KRSPI_IOC_TIMER_RELEASE,
                                                 KRTPT_IOC_TIMER_RELEASE}));

    // The exit routine's hook ends a playing sweep task instead of leaving it behind.
    ASSERT_EQ(Device_setFrequencyModeSweep(device_), 0);
    ASSERT_TRUE(rt_has_thread_exit_hook());
    gio_record_clear();
    rt_run_thread_exit_hook();
    EXPECT_GE(gio_record_countRequest(KRTPT_IOC_STOP_FINISH_B), 1u);
}

TEST(SweepRtTiming, TheHardwareRealisesWholeTimerPeriods) {
    EXPECT_DOUBLE_EQ(sweep_rt_checkTiming(1e-6), 132 / 132.096e6);
    EXPECT_DOUBLE_EQ(sweep_rt_checkTiming(5e-4), 66048 / 132.096e6);
    EXPECT_DOUBLE_EQ(sweep_rt_checkTiming(0), 0);
}

}  // namespace
