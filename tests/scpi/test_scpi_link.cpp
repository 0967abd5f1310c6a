#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/kr_event.h"
#include "scpi_test_harness.h"

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
                                           BlockHeaderCase{"x", 0}));

}  // namespace
