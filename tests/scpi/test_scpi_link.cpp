#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "core/kr_event.h"
#include "scpi_test_harness.h"
#include "tests/support/param_name.h"

using krtest::LinkHarness;

namespace {

TEST(ScpiLinkTest, ListKeepsRegistrationOrderAndNamesAreCut) {
    LinkHarness h;
    std::string longName(40, 'n');
    ScpiLink *a = h.addLink(8, 8, "first");
    ScpiLink *b = h.addLink(8, 8, longName.c_str());
    EXPECT_EQ(h.list.head, a);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(std::string(b->name), longName.substr(0, 32));
}

TEST(ScpiLinkTest, ClearAnsMarksOnlyWhatIsThere) {
    LinkHarness h;
    ScpiLink *link = h.addLink(64, 64);
    h.feed(link, "*OPC?\n");
    h.serve(link);
    char *ptr;
    int more = 7;
    ASSERT_EQ(krcommPeekAns(link, &ptr, &more), 2);
    EXPECT_EQ(more, 0);
    EXPECT_EQ(krcommClearAns(link, 100, &more), 2);
    EXPECT_EQ(krcommPeekAns(link, &ptr, nullptr), 0);
    EXPECT_EQ(krcommClearAns(link, 1, nullptr), 0);
}

TEST(ScpiLinkTest, OpenCmdOffersNoRoomWhileAnEndMarkedMessageWaits) {
    LinkHarness h;
    ScpiLink *link = h.addLink(64, 64);
    h.feed(link, "*OPC?", true);
    char *ptr;
    EXPECT_EQ(krcommOpenCmd(link, &ptr), 0);
    krcommCloseCmd(link, 0);
    h.serve(link);
    EXPECT_EQ(h.drain(link), "1\n");
    EXPECT_EQ(krcommOpenCmd(link, &ptr), 64);
    krcommCloseCmd(link, 0);
}

TEST(ScpiLinkTest, WriteCmdCopiesOnlyTheFreeRoom) {
    LinkHarness h;
    ScpiLink *link = h.addLink(8, 8);
    EXPECT_EQ(krcommWriteCmd(link, "0123456789", 10), 8);
    EXPECT_EQ(krcommWriteCmd(link, "x", 1), 0);
    EXPECT_EQ(link->cmdFill, 8);
}

TEST(ScpiLinkTest, FlushDropsEverything) {
    LinkHarness h;
    ScpiLink *link = h.addLink(64, 64);
    h.feed(link, "*OPC?\n*OP");
    h.serve(link);
    EXPECT_EQ(scpi_link_flush(link), 1);
    EXPECT_EQ(link->cmdFill, 0);
    EXPECT_EQ(link->ansLen, 0);
    EXPECT_EQ(link->endMark, -1);
    EXPECT_EQ(link->blockStart, -1);
}

TEST(ScpiLinkTest, QueryEchoFlag) {
    LinkHarness h;
    ScpiLink *link = h.addLink(8, 8);
    EXPECT_EQ(scpi_link_isQueryEchoEnabled(link), 0);
    scpi_link_enableQueryEcho(link);
    EXPECT_EQ(scpi_link_isQueryEchoEnabled(link), 1);
    scpi_link_disableQueryEcho(link);
    EXPECT_EQ(scpi_link_isQueryEchoEnabled(link), 0);
}

TEST(ScpiLinkTest, PollSeesAFlagThatIsAlreadySetWithoutWaiting) {
    int32_t flag = 1;
    ScpiSpinHistory history = {3, 0};
    EXPECT_TRUE(scpi_link_spinUntil(&flag, 1, 1000000000L, &history));
    EXPECT_EQ(history.misses, 0);
    EXPECT_EQ(history.skip, 0);
}

TEST(ScpiLinkTest, PollSeesAFlagSetByAnotherThread) {
    int32_t flag = 1;
    ScpiSpinHistory history = {0, 0};
    std::thread other([&] { __atomic_store_n(&flag, 0, __ATOMIC_RELEASE); });
    // Generous budget: the other thread may start late on a busy machine.
    bool seen = scpi_link_spinUntil(&flag, 0, 2000000000L, &history);
    other.join();
    EXPECT_TRUE(seen);
}

TEST(ScpiLinkTest, PollsThatRunOutAreLeftOutTwiceAsOftenEachTime) {
    int32_t flag = 0;
    ScpiSpinHistory history = {0, 0};
    // Each row: whether this call polls (and so runs out its budget) or is left out.
    struct Row {
        bool polls;
        int32_t misses, skip;  // afterwards
    } rows[] = {
        {true, 1, 1},  {false, 1, 0}, {true, 2, 3}, {false, 2, 2},
        {false, 2, 1}, {false, 2, 0}, {true, 3, 7},
    };
    for (const Row &row : rows) {
        long long start = scpi_link_nowNs();
        EXPECT_FALSE(scpi_link_spinUntil(&flag, 1, 200000, &history));
        long long took = scpi_link_nowNs() - start;
        if (row.polls)
            EXPECT_GE(took, 200000);
        else
            EXPECT_LT(took, 200000);
        EXPECT_EQ(history.misses, row.misses);
        EXPECT_EQ(history.skip, row.skip);
    }
    // The backoff stops growing at 63 left out, and a success resets it.
    history = {6, 0};
    EXPECT_FALSE(scpi_link_spinUntil(&flag, 1, 1000, &history));
    EXPECT_EQ(history.misses, 6);
    EXPECT_EQ(history.skip, 63);
    history.skip = 0;
    flag = 1;
    EXPECT_TRUE(scpi_link_spinUntil(&flag, 1, 1000, &history));
    EXPECT_EQ(history.misses, 0);
}

TEST(ScpiLinkTest, HandShakeCompletesWhetherTheTransportPollsOrSleeps) {
    LinkHarness h;
    ScpiLink *link = h.addLink(64, 64);
    for (int round = 0; round < 50; round++) {
        h.feed(link, "*OPC?\n");
        std::thread transport([&] {
            scpi_link_doHandle(link);
            scpi_link_waitHandled(link);
            char *ptr;
            int more = 0;
            int n = krcommPeekAns(link, &ptr, &more);
            EXPECT_EQ(std::string(ptr, (size_t)n), "1\n") << round;
            krcommClearAns(link, n, &more);
        });
        for (;;) {
            pthread_mutex_lock(&link->handleLock);
            int pending = link->handlePending;
            pthread_mutex_unlock(&link->handleLock);
            if (pending) break;
            std::this_thread::yield();
        }
        // Sometimes served at once, sometimes only after the transport's poll has run out.
        if (round % 3 == 2) std::this_thread::sleep_for(std::chrono::microseconds(30000));
        pthread_mutex_lock(&deviceAccessMutex);
        scpi_execute_link(link);
        pthread_mutex_unlock(&deviceAccessMutex);
        transport.join();
    }
}

TEST(ScpiLinkTest, EventWithoutLinkIsAppliedAtOnceAndTouchesNoLink) {
    LinkHarness h;
    ScpiLink *link = h.addLink(8, 8);
    global_activeLinks = 0;
    krcommEvent(nullptr, KREV_CONNECT_USB);
    EXPECT_EQ(global_activeLinks, 2);
    EXPECT_EQ(link->pendingEvent, 0);
    EXPECT_EQ(link->handlePending, 0);
    krcommEvent(nullptr, KREV_DISCONNECT_USB);
    EXPECT_EQ(global_activeLinks, 0);
}

struct BlockHeaderCase {
    const char *text;
    int expect;
};

class BlockHeaderTest : public ::testing::TestWithParam<BlockHeaderCase> {};

TEST_P(BlockHeaderTest, DefiniteLengthHeadersOnly) {
    const char *t = GetParam().text;
    EXPECT_EQ(krscpi_isArbitraryBlock(t, (int)strlen(t)), GetParam().expect) << t;
}

INSTANTIATE_TEST_SUITE_P(Headers, BlockHeaderTest,
                         ::testing::Values(BlockHeaderCase{"#", -1}, BlockHeaderCase{"#1", -1},
                                           BlockHeaderCase{"#15", 3},
                                           BlockHeaderCase{"#15hello", 3}, BlockHeaderCase{"#0", 0},
                                           BlockHeaderCase{"#A", 0}, BlockHeaderCase{"#3", -1},
                                           BlockHeaderCase{"#31", -1}, BlockHeaderCase{"#31x", 0},
                                           BlockHeaderCase{"#3123", 5},
                                           BlockHeaderCase{"#9123456789", 11},
                                           BlockHeaderCase{"x", 0}),
                         [](const ::testing::TestParamInfo<BlockHeaderCase> &info) {
                             std::string name;
                             for (const char *c = info.param.text; *c; ++c)
                                 name += *c == '#' ? "Hash" : std::string(1, *c);
                             return paramName(name);
                         });

}  // namespace
