#include "core/kr_event.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/startup.h"
#include "device/device.h"
#include "frontpanel/krhcupdate.h"

namespace {

std::vector<int> remoteLed;  // +1 on, -1 off
int ledOn(Device *) {
    return remoteLed.push_back(1), 0;
}
int ledOff(Device *) {
    return remoteLed.push_back(-1), 0;
}
int triggers, clears;
int countTrigger(Device *) {
    return ++triggers, 0;
}
int countClear(Device *) {
    return ++clears, 0;
}

class LinkEventTest : public ::testing::Test {
  protected:
    void SetUp() override {
        global_activeLinks = 0;
        vxiALinkActivity = vxiBLinkActivity = 0;
        remoteLed.clear();
        triggers = clears = 0;
        Device_enableLedRemote = ledOn;
        Device_disableLedRemote = ledOff;
        Device_triggerImmediate = countTrigger;
        Device_clear = countClear;
    }
    void TearDown() override {
        Device_enableLedRemote = &Device_fallback<int, Device *>;
        Device_disableLedRemote = &Device_fallback<int, Device *>;
        Device_triggerImmediate = &Device_fallback<int, Device *>;
        Device_clear = &Device_fallback<int, Device *>;
        global_activeLinks = 0;
    }
};

TEST_F(LinkEventTest, RemoteIndicationFollowsTheFirstAndLastConnectedLink) {
    kr_event_handle(nullptr, KREV_CONNECT_LAN);
    kr_event_handle(nullptr, KREV_CONNECT_USB);
    kr_event_handle(nullptr, KREV_DISCONNECT_LAN);
    EXPECT_EQ(global_activeLinks, 2);
    kr_event_handle(nullptr, KREV_DISCONNECT_USB);
    EXPECT_EQ(global_activeLinks, 0);
    EXPECT_EQ(remoteLed, (std::vector<int>{1, -1}));
}

struct BitCase {
    int connect, disconnect, bit;
};

class LinkEventBitTest : public LinkEventTest, public ::testing::WithParamInterface<BitCase> {};

TEST_P(LinkEventBitTest, EachLinkHasItsBit) {
    kr_event_handle(nullptr, GetParam().connect);
    EXPECT_EQ(global_activeLinks, GetParam().bit);
    kr_event_handle(nullptr, GetParam().connect);  // twice changes nothing
    EXPECT_EQ(global_activeLinks, GetParam().bit);
    kr_event_handle(nullptr, GetParam().disconnect);
    EXPECT_EQ(global_activeLinks, 0);
}

INSTANTIATE_TEST_SUITE_P(Links, LinkEventBitTest,
                         ::testing::Values(BitCase{KREV_CONNECT_LAN, KREV_DISCONNECT_LAN, 1},
                                           BitCase{KREV_CONNECT_USB, KREV_DISCONNECT_USB, 2},
                                           BitCase{KREV_CONNECT_GPIB, KREV_DISCONNECT_GPIB, 4},
                                           BitCase{KREV_CONNECT_VXIA, KREV_DISCONNECT_VXIA, 8},
                                           BitCase{KREV_CONNECT_VXIB, KREV_DISCONNECT_VXIB, 16}),
                         [](const ::testing::TestParamInfo<BitCase> &info) {
                             return "Bit" + std::to_string(info.param.bit);
                         });

TEST_F(LinkEventTest, ClearAndTriggerReachTheDeviceOnlyWhenRegistered) {
    kr_event_handle(nullptr, KREV_CLEAR);
    kr_event_handle(nullptr, KREV_GET);
    EXPECT_EQ(clears, 1);
    EXPECT_EQ(triggers, 1);
    Device_clear = &Device_fallback<int, Device *>;
    uint32_t before = Device_unregisteredFunctionCalls;
    kr_event_handle(nullptr, KREV_CLEAR);
    EXPECT_EQ(Device_unregisteredFunctionCalls, before);  // not called at all
    kr_event_handle(nullptr, 99);
    kr_event_handle(nullptr, KREV_NULL);
    EXPECT_EQ(global_activeLinks, 0);
    EXPECT_TRUE(remoteLed.empty());
}

TEST_F(LinkEventTest, VxiBurstGivesOneConnectAndADisconnectFourToFivePassesLater) {
    scpi_link_initAll(&link_list);
    kr_event_indicateLinkActivity(&link_vxiA);
    EXPECT_EQ(global_activeLinks, 8);
    kr_event_indicateLinkActivity(&link_vxiA);  // continuous traffic: no new event
    EXPECT_EQ(remoteLed, std::vector<int>{1});
    int passes = 0;
    while (global_activeLinks && passes < 10) {
        kr_event_indicateLinkActivity(nullptr);
        passes++;
    }
    EXPECT_EQ(passes, 5);
    EXPECT_EQ(remoteLed, (std::vector<int>{1, -1}));
}

TEST_F(LinkEventTest, ChannelsAreIndependent) {
    scpi_link_initAll(&link_list);
    kr_event_indicateLinkActivity(&link_vxiA);
    kr_event_indicateLinkActivity(nullptr);
    kr_event_indicateLinkActivity(nullptr);
    kr_event_indicateLinkActivity(&link_vxiB);
    EXPECT_EQ(global_activeLinks, 8 | 16);
    for (int i = 0; i < 3; i++)
        kr_event_indicateLinkActivity(nullptr);
    EXPECT_EQ(global_activeLinks, 16);
    for (int i = 0; i < 2; i++)
        kr_event_indicateLinkActivity(nullptr);
    EXPECT_EQ(global_activeLinks, 0);
}

TEST(KrEventNames, KnownAndUnknown) {
    EXPECT_STREQ(KR_EVENT_toString(0), "KREV_NULL");
    EXPECT_STREQ(KR_EVENT_toString(9), "KREV_CONNECT_VXIB");
    EXPECT_STREQ(KR_EVENT_toString(12), "KREV_GET");
    EXPECT_STREQ(KR_EVENT_toString(13), "(unknown)");
    EXPECT_STREQ(KR_EVENT_toString(-1), "(unknown)");
}

TEST(KrBinaryEvent, SignalBeforeWaitIsNotLost) {
    KrEvent e;
    kr_event_init(&e);
    kr_event_signal(&e);
    kr_event_wait(&e);  // returns at once
    std::thread t([&] { kr_event_signal(&e); });
    kr_event_wait(&e);
    t.join();
    EXPECT_EQ(e.flag, 0);
    kr_event_release(&e);
}

}  // namespace
