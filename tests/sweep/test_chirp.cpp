// The chirp on the real channel device and the simulated 20 GHz board: how time, dwell and
// points follow the mode with the ramp's quantisation, the timer a start loads, a change that
// restarts a running chirp, and a stop with nothing running.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "core/krdebug.h"
#include "device/device.h"
#include "hw/krgio.h"
#include "platform/sim/gio_record.h"
#include "platform/sim/hardware_sim.h"
#include "sweep/chirp.h"
#include "tests/support/sim_device.h"

namespace {

constexpr KrTime TICK = 4e-9;  // the ramp's rate unit on the 1 GHz DDS clock

class ChirpTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        chirp_ = Device_getChirpPtr(device_);
        KrFreq start{10000000000, 0}, stop{10100000000, 0};
        ASSERT_EQ(Device_setFrequencyStart(device_, &start), 0);
        ASSERT_EQ(Device_setFrequencyStop(device_, &stop), 0);
    }
    void TearDown() override {
        Chirp_stop(device_);
        SimDeviceTest::TearDown();
    }
    static void set(int (*setter)(Device *, const KrTime *), Device *d, KrTime t) {
        ASSERT_EQ(setter(d, &t), 0);
    }
    // The point period the driver's timer shows (it shows a load once a chirp has played),
    // in seconds, waiting up to a second for the one expected.
    static double timerLoaded(double expected) {
        double shown = -1;
        for (int i = 0; i < 100 && std::abs(shown - expected) > 1e-8; i++) {
            if (i) usleep(10000);
            std::string json = hardware_sim_stateJson();
            size_t at = json.find("\"point_time_s\": ");
            if (at != std::string::npos) shown = std::stod(json.substr(at + 16));
        }
        return shown;
    }

    Chirp *chirp_ = nullptr;
};

TEST_F(ChirpTest, TimeDwellAndPointsFollowTheMode) {
    // AUTO: the time stands, whatever the points.
    ASSERT_EQ(Device_setChirpPoints(device_, 10), 0);
    EXPECT_DOUBLE_EQ(*Device_getChirpTime(device_), 100e-6);
    EXPECT_DOUBLE_EQ(chirp_->realisedTime, 100e-6);

    // MANUAL: points x dwell, the dwell in whole ramp ticks.
    ASSERT_EQ(Device_setChirpModeManual(device_), 0);
    EXPECT_DOUBLE_EQ(*Device_getChirpTime(device_), 500e-6);
    set(Device_setChirpDwellTime, device_, 50.001e-6);
    EXPECT_DOUBLE_EQ(chirp_->realisedDwell, 12500 * TICK);
    EXPECT_DOUBLE_EQ(chirp_->realisedTime, 10 * 12500 * TICK);
    EXPECT_DOUBLE_EQ(*Device_getChirpTime(device_), 10 * 50.001e-6);
    set(Device_setChirpTime, device_, 1e-3);
    EXPECT_DOUBLE_EQ(*Device_getChirpDwellTime(device_), 100e-6);
    EXPECT_DOUBLE_EQ(chirp_->realisedDwell, 25000 * TICK);
    // A step longer than the rate word holds is cut to the longest.
    set(Device_setChirpDwellTime, device_, 1e-3);
    EXPECT_DOUBLE_EQ(chirp_->realisedDwell, 65535 * TICK);
    EXPECT_DOUBLE_EQ(*Device_getChirpDwellTimeMax(device_), 65535 * TICK);
    EXPECT_DOUBLE_EQ(*Device_getChirpDwellTimeMin(device_), TICK);
    EXPECT_DOUBLE_EQ(*Device_getChirpTimeMin(device_), TICK);

    // Back to AUTO: the time requested last is realised as it is.
    ASSERT_EQ(Device_setChirpModeAuto(device_), 0);
    EXPECT_DOUBLE_EQ(chirp_->realisedTime, 10e-3);
}

TEST_F(ChirpTest, StartLoadsTheTimerForAllChirpsAndAChangeRestarts) {
    struct Row {
        uint32_t count;
        KrTime time, timer;
    } rows[] = {{3, 1e-3, 3e-3}, {2, 200e-6, 400e-6}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.count);
        ASSERT_EQ(Device_setChirpCount(device_, row.count), 0);
        set(Device_setChirpTime, device_, row.time);
        ASSERT_EQ(Device_setFrequencyModeChirp(device_), 0);
        EXPECT_NEAR(timerLoaded(row.timer), row.timer, 1e-8);
        EXPECT_TRUE(Chirp_isRunning());
    }
    // Running: a new time stops the chirp and starts it with the new timer.
    set(Device_setChirpTime, device_, 300e-6);
    EXPECT_NEAR(timerLoaded(600e-6), 600e-6, 1e-8);
    SimChannelState running = hardware_sim_channel(0);
    for (int i = 0; i < 100 && !(running.chirpRamping && running.chirpRampSeconds < 400e-6); i++) {
        usleep(10000);
        running = hardware_sim_channel(0);
    }
    EXPECT_TRUE(running.chirpRamping);
    EXPECT_NEAR(running.chirpRampSeconds, 300e-6, 1e-6);

    ASSERT_EQ(Device_setFrequencyModeFixed(device_), 0);
    ASSERT_EQ(Device_execute(device_), 0);
    EXPECT_FALSE(Chirp_isRunning());
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_FALSE(hardware_sim_channel(0).chirpRamping);
    EXPECT_TRUE(hardware_sim_violations().empty());
}

TEST_F(ChirpTest, StopWithNothingRunningOnlySaysSo) {
    gio_record_clear();
    int verbose = debugEnabled;
    debugEnabled = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Chirp_stop(device_), 0);
    std::string said = testing::internal::GetCapturedStdout();
    debugEnabled = verbose;
    EXPECT_EQ(said, "Chirp_stop()\n");
    EXPECT_TRUE(gio_record_all().empty());
}

}  // namespace
