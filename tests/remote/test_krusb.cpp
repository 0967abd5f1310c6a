#include "remote/krusb.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/kr_event.h"
#include "remote/krgpib.h"
#include "remote_test_support.h"

namespace {

// One supervision step: activity from the pump (1) or a supervision pass (0), and the
// connected state the link must be in afterwards.
struct Step {
    int activity;
    bool connected;
};

struct SupervisionCase {
    const char *name;
    std::vector<Step> steps;
    int connects, disconnects;
};

class SupervisionTest : public ::testing::TestWithParam<SupervisionCase> {
  protected:
    krtest::MainLoop loop;  // link events are applied through the main loop's lock
};

TEST_P(SupervisionTest, TrafficBecomesConnectAndDisconnectEvents) {
    const SupervisionCase &c = GetParam();
    for (int bus = 0; bus < 2; bus++) {
        KrUsb usb;
        KrGpib gpib;
        global_activeLinks = 0;
        int bit = bus == 0 ? 2 : 4;
        int connects = 0, disconnects = 0;
        bool was = false;
        for (const Step &s : c.steps) {
            if (bus == 0)
                krusb_check_connection(&usb, nullptr, s.activity);
            else
                krgpib_check_connection(&gpib, nullptr, s.activity);
            bool now = (global_activeLinks & bit) != 0;
            EXPECT_EQ(now, s.connected) << c.name << " bus " << bus;
            connects += now && !was;
            disconnects += was && !now;
            was = now;
        }
        EXPECT_EQ(connects, c.connects) << c.name;
        EXPECT_EQ(disconnects, c.disconnects) << c.name;
    }
    global_activeLinks = 0;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SupervisionTest,
    ::testing::Values(
        SupervisionCase{
            "GoneAfterTwoQuietPasses", {{1, true}, {0, true}, {0, false}, {0, false}}, 1, 1},
        SupervisionCase{"TrafficKeepsItConnected",
                        {{1, true}, {0, true}, {1, true}, {0, true}, {1, true}, {0, true}},
                        1,
                        0},
        SupervisionCase{"NextCommandConnectsAgain",
                        {{1, true}, {0, true}, {0, false}, {1, true}, {0, true}, {0, false}},
                        2,
                        2},
        SupervisionCase{"NoTrafficNoEvents", {{0, false}, {0, false}}, 0, 0}),
    [](const ::testing::TestParamInfo<SupervisionCase> &i) { return std::string(i.param.name); });

TEST(UsbOpen, MissingDeviceFails) {
    KrUsb usb;
    EXPECT_EQ(krusb_open(&usb, "/nonexistent-dir/usbtmc"), -1);
    EXPECT_EQ(usb.fd, -1);
    KrGpib gpib;
    EXPECT_EQ(krgpib_open(&gpib, "/nonexistent-dir/gpib"), -1);
    EXPECT_EQ(updateStb(5), -1);
}

}  // namespace
