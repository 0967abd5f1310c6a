#include "remote/krgpib.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/kr_event.h"
#include "core/startup.h"
#include "device/device.h"
#include "remote/krusb.h"
#include "remote_test_support.h"

namespace {

using krtest::ChardevPeer;

std::atomic<int> triggers{0};
int countTrigger(Device *) {
    return ++triggers, 0;
}

// The GPIB pump on the stand-in device in a temporary root, served by a main loop, with the
// test as the controller.
class GpibPumpTest : public ::testing::Test {
  protected:
    krtest::TempRoot root;
    krtest::MainLoop loop;
    KrGpib gpib;
    std::atomic<bool> running{true};
    std::thread pump;

    void SetUp() override {
        loop.add(&link_gpib, 1024, 1024, "GPIB");
        loop.start();
        triggers = 0;
        Device_triggerImmediate = countTrigger;
        ASSERT_EQ(krgpib_open(&gpib, (root.path + "/dev/gpib").c_str()), 0);
        pump = std::thread([this] {
            while (running)
                krgpib_handle(&gpib, &link_gpib);
        });
    }
    void TearDown() override {
        running = false;
        ChardevPeer wake(root.path + "/dev/gpib");
        wake.send('D', 1, "\n");
        wake.credit(100);
        pump.join();
        krgpib_close(&gpib);
        loop.stop();
        Device_triggerImmediate = &Device_fallback<int, Device *>;
        global_activeLinks = 0;
    }
    std::string answer(ChardevPeer &peer) {
        std::string all, payload;
        char type;
        int flags;
        peer.credit(4096);
        while (peer.receive(&type, &flags, &payload))
            if (type == 'D') {
                all += payload;
                if (flags & 1) break;
            }
        return all;
    }
};

TEST_F(GpibPumpTest, EndWithoutLineFeedEndsTheMessage) {
    ChardevPeer peer(root.path + "/dev/gpib");
    ASSERT_TRUE(peer.connected());
    peer.send('D', 1, "*OPC?");
    EXPECT_EQ(answer(peer), "1\n");
}

TEST_F(GpibPumpTest, TriggerAloneTriggersAndIsAcknowledged) {
    ChardevPeer peer(root.path + "/dev/gpib");
    int acksBefore = ackGetIoctl, getsBefore = getRecv;
    peer.send('T');
    std::string payload;
    EXPECT_TRUE(peer.expect('K', &payload));
    EXPECT_EQ(triggers.load(), 1);
    EXPECT_EQ(getRecv - getsBefore, 1);
    EXPECT_EQ(ackGetIoctl - acksBefore, 1);
    // A trigger alone counts as traffic (noted just after the acknowledgement).
    for (int i = 0; i < 100 && !(global_activeLinks & 4); i++)
        usleep(10000);
    EXPECT_TRUE(global_activeLinks & 4);
}

TEST_F(GpibPumpTest, DataBeforeATriggerRunsFirst) {
    ChardevPeer peer(root.path + "/dev/gpib");
    peer.send('D', 0, "*OPC?\n");
    peer.send('T');
    EXPECT_EQ(answer(peer), "1\n");
    std::string payload;
    EXPECT_TRUE(peer.expect('K', &payload));
    EXPECT_EQ(triggers.load(), 1);
}

TEST_F(GpibPumpTest, SerialPollAnswersThePublishedStatusByte) {
    ChardevPeer peer(root.path + "/dev/gpib");
    std::string payload;
    peer.send('S');
    ASSERT_TRUE(peer.expect('S', &payload));
    EXPECT_EQ(payload, std::string(1, '\0'));
    EXPECT_EQ(updateStb(0x42), 0);
    peer.send('S');
    ASSERT_TRUE(peer.expect('S', &payload));
    EXPECT_EQ(payload, "\x42");
}

TEST_F(GpibPumpTest, SignalsAreDrainedAndTheLinkGoesOn) {
    ChardevPeer peer(root.path + "/dev/gpib");
    peer.send('I', 0, "\x01\x02");
    peer.send('I', 0, "\x03\x04");
    peer.send('D', 1, "*OPC?\n");
    EXPECT_EQ(answer(peer), "1\n");
}

TEST_F(GpibPumpTest, DeviceClearDuringAnAnswerEndsItAndClearsTheLink) {
    ChardevPeer peer(root.path + "/dev/gpib");
    std::string many;
    for (int i = 0; i < 60; i++)
        many += "*IDN?;";
    many += "*OPC?\n";
    peer.send('D', 1, many);
    peer.credit(50);
    std::string payload;
    ASSERT_TRUE(peer.expect('D', &payload));
    EXPECT_EQ(payload.size(), 50u);
    peer.send('C');
    usleep(200000);
    peer.send('D', 1, "*OPC?\n");
    EXPECT_EQ(answer(peer), "1\n");
}

}  // namespace
