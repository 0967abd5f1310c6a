#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/kr_event.h"
#include "core/krstuff.h"
#include "scpi/scpi_error.h"
#include "scpi_test_harness.h"
#include "tests/support/param_name.h"

using krtest::LinkHarness;

namespace {

int prepareCalls, executeCalls, clearCalls;
int countPrepare(Device *) {
    return ++prepareCalls, 0;
}
int countExecute(Device *) {
    return ++executeCalls, 0;
}
int countClear(Device *) {
    return ++clearCalls, 0;
}

class ExecuteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prepareCalls = executeCalls = clearCalls = 0;
        savedPrepare = Device_prepare;
        savedExecute = Device_execute;
        savedClear = Device_clear;
        Device_prepare = countPrepare;
        Device_execute = countExecute;
        Device_clear = countClear;
    }
    void TearDown() override {
        Device_prepare = savedPrepare;
        Device_execute = savedExecute;
        Device_clear = savedClear;
    }
    LinkHarness h;
    int (*savedPrepare)(Device *);
    int (*savedExecute)(Device *);
    int (*savedClear)(Device *);
};

struct MessageCase {
    const char *input;
    const char *answer;  // "%IDN" stands for the identification string
    int transactions;    // device transactions opened (and committed)
};

std::string expand(const char *pattern) {
    std::string s(pattern);
    size_t p;
    while ((p = s.find("%IDN")) != std::string::npos)
        s.replace(p, 4, krtest::identification());
    return s;
}

class MessageSplitTest : public ExecuteTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageSplitTest, UnitsAndResponsesJoin) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, GetParam().input), expand(GetParam().answer));
    EXPECT_EQ(prepareCalls, GetParam().transactions);
    EXPECT_EQ(executeCalls, GetParam().transactions);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageSplitTest,
    ::testing::Values(MessageCase{"*IDN?;*OPC?\n", "%IDN;1\n", 1},  // one response message
                      MessageCase{"FREQ 1GHz;POW 0\n", "", 1},      // two units, one transaction
                      MessageCase{"*OPC?\n*OPC?\n", "1\n1\n", 2},   // two messages, two responses
                      MessageCase{"*OPC?\r\n", "1\n", 1},           // carriage return is a blank
                      MessageCase{"\t*OPC?\x01\n", "1\n", 1},       // control bytes are blanks
                      MessageCase{";;*OPC?;;\n", "1\n", 1},         // empty units do nothing
                      MessageCase{"  \n", "", 1},  // a blank message answers nothing
                      MessageCase{"*OPC?;FREQ 1;*OPC?\n", "1;1\n",
                                  1},                // silent unit between two queries
                      MessageCase{"*OPC?", "", 0}),  // no end yet: nothing runs
    [](const ::testing::TestParamInfo<MessageCase> &info) {
        // Line ends and control bytes are spelled out: they are what some rows are about.
        std::string name;
        for (const char *c = info.param.input; *c; ++c) {
            if (*c == '\n')
                name += "LF";
            else if (*c == '\r')
                name += "CR";
            else if (*c == '\t')
                name += "HT";
            else if ((unsigned char)*c < 0x20)
                name += "Ctrl";
            else
                name += *c;
        }
        return paramText(name);
    });

TEST_F(ExecuteTest, UnknownHeaderIsQueuedAndLaterUnitsStillRun) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "NOSUCH:THING;*OPC?\n"), "1\n");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});
}

TEST_F(ExecuteTest, EndMarkCompletesAMessageWithoutLineFeed) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "*OPC?", true), "1\n");
    // The end indicator is spent: the next bytes start a new message.
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

TEST_F(ExecuteTest, MessageArrivingInPiecesRunsOnceComplete) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "*ID"), "");
    EXPECT_EQ(h.transact(link, "N?;*O"), "");
    EXPECT_EQ(h.transact(link, "PC?\n"), krtest::identification() + ";1\n");
    EXPECT_EQ(prepareCalls, 1);
}

TEST_F(ExecuteTest, BlockHeaderIsRecognisedAcrossReads) {
    ScpiLink *link = h.addLink(1024, 1024);
    // Nothing may run while the header is incomplete, even though a line feed sits in the
    // block's position.
    h.transact(link, "NOSUCH #2");
    h.transact(link, "1");
    EXPECT_TRUE(h.errors().empty());
    h.transact(link, "0");  // "#210" complete: the command carrying it runs now
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});
}

TEST_F(ExecuteTest, HashWithoutBlockHeaderDoesNotHoldTheMessage) {
    ScpiLink *link = h.addLink(1024, 1024);
    EXPECT_EQ(h.transact(link, "*OPC?;X #A\n*OPC?\n"), "1\n1\n");
}

struct Sink {
    std::string bytes;
    int completions = 0;
};

int32_t collect(void *context, int32_t count, int32_t, const char *bytes) {
    static_cast<Sink *>(context)->bytes.append(bytes, (size_t)count);
    return count;
}

int completed(void *context, const char *) {
    static_cast<Sink *>(context)->completions++;
    return 0;
}

TEST_F(ExecuteTest, BlockDataGoesToTheReceiverNotTheParser) {
    ScpiLink *link = h.addLink(1024, 1024);
    h.transact(link, "MEM:DATA #15");
    h.errors();
    // What the command would have done on seeing the header.
    Sink sink;
    ASSERT_EQ(scpi_exec_startBdReceive_handler(link, 0, collect, &sink, completed, "#15"), 0);
    EXPECT_EQ(h.transact(link, "he\nl"), "");
    EXPECT_EQ(h.transact(link, "o*OPC?\n"), "1\n");
    EXPECT_EQ(sink.bytes, "he\nlo");
    EXPECT_EQ(sink.completions, 1);
    EXPECT_TRUE(h.errors().empty());
    EXPECT_FALSE(scpi_exec_receivingBlockData(link));
}

TEST_F(ExecuteTest, DeviceClearEndsABlockTransferAndEmptiesBothBuffers) {
    ScpiLink *link = h.addLink(1024, 1024);
    Sink sink;
    scpi_exec_startBdReceive_handler(link, 0, collect, &sink, completed, "#19");
    h.transact(link, "abc");
    h.feed(link, "de");
    // The clear arrives from the transport thread while the main loop serves; the loop serves
    // on, as the main loop does, until the transport has been released (its request for a
    // service may come just after a pass that already applied the clear).
    std::atomic<bool> released{false};
    std::thread transport([&] {
        krcommClear(link);
        released = true;
    });
    for (;;) {
        pthread_mutex_lock(&link->bufLock);
        int pending = link->clearPending;
        pthread_mutex_unlock(&link->bufLock);
        if (pending) break;
        std::this_thread::yield();
    }
    do {
        pthread_mutex_lock(&deviceAccessMutex);
        scpi_execute_link(link);  // applies the clear and releases the waiting transport
        pthread_mutex_unlock(&deviceAccessMutex);
        std::this_thread::yield();
    } while (!released);
    transport.join();
    EXPECT_EQ(clearCalls, 1);
    EXPECT_FALSE(scpi_exec_receivingBlockData(link));
    EXPECT_EQ(link->cmdFill, 0);
    EXPECT_EQ(link->ansLen, 0);
    EXPECT_EQ(sink.bytes, "abc");
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

// A long list answer as the list queries produce it: each call writes values until the
// space is used up, the last one running into the reserve; the producer clears itself when
// the list is complete. Other units go to the command tree.
constexpr int kValues = 100;
int nextValue;
std::string expectedList() {
    std::string s;
    for (int i = 0; i < kValues; i++)
        s += (i ? "," : "") + std::to_string(1000 + i);
    return s;
}

int listProducer(ScpiLink *link, char *unit, char *out, int outSize, int partial) {
    if (strcmp(unit, "LIST?") != 0 && unit[0])
        return scpi_parser(link, unit, out, outSize, partial, 0);
    int n = 0;
    while (nextValue < kValues && n < outSize)
        n += sprintf(out + n, "%s%d", nextValue ? "," : "", 1000 + nextValue), nextValue++;
    if (nextValue == kValues) link->continuation = nullptr;
    return n;
}

TEST_F(ExecuteTest, DeviceClearDropsPendingInputAndOutput) {
    ScpiLink *link = h.addLink(64, 32);
    nextValue = 0;
    link->continuation = listProducer;
    h.feed(link, "LIST?\n");
    h.serve(link);
    ASSERT_GT(link->ansOverflow, 0);  // a value ran into the reserve
    h.feed(link, "*OPC?");
    pthread_mutex_lock(&link->bufLock);
    link->clearPending = 1;
    pthread_mutex_unlock(&link->bufLock);
    link->continuation = nullptr;  // what a device clear does to a list in progress
    h.serve(link);
    EXPECT_EQ(h.drain(link), "");
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

class FullBufferTest : public ExecuteTest {
  protected:
    // Fills a 16-byte command buffer with exactly 16 bytes and serves it once.
    std::string remainsAfter(const std::string &content) {
        EXPECT_EQ(content.size(), 16u);
        ScpiLink *link = h.addLink(16, 256);
        EXPECT_EQ(h.feed(link, content), 16);
        h.serve(link);
        h.drain(link);
        return std::string(link->cmdBuf, (size_t)link->cmdFill);
    }
};

TEST_F(FullBufferTest, ExecutesWholeUnitsFirst) {
    EXPECT_EQ(remainsAfter("*OPC?;*OPC?;*OPC"), "*OPC");
    EXPECT_EQ(remainsAfter("*OPC?;X 'a;b',12"), "X 'a;b',12") << "a quoted separator is no cut";
}

TEST_F(FullBufferTest, ExecutesUpToTheLastComma) {
    EXPECT_EQ(remainsAfter("LIST:FREQ 1,2,34"), "34");
}

TEST_F(FullBufferTest, ExecutesThroughTheLastAlternateDataTerminator) {
    EXPECT_EQ(remainsAfter("CF1 100MH L1 -3X"), " L1 -3X");
}

TEST_F(FullBufferTest, ExecutesEverythingWhenNothingSplitsIt) {
    EXPECT_EQ(remainsAfter("ABCDEFGHIJKLMNOP"), "");
    EXPECT_EQ(h.errors(), std::vector<int>{KR_E_UNDEFINED_HEADER});
}

TEST_F(ExecuteTest, ManyUnitsInOneMessageGiveOneAnswerEach) {
    ScpiLink *link = h.addLink(64, 256);
    std::string message, answer;
    for (int i = 0; i < 5000; i++) {
        message += i ? ";*OPC?" : "*OPC?";
        answer += i ? ";1" : "1";
    }
    EXPECT_EQ(h.transact(link, message + "\n"), answer + "\n");
    EXPECT_TRUE(h.errors().empty());
}

TEST_F(ExecuteTest, LongMessageIsExecutedInPiecesAndTheLinkRecovers) {
    ScpiLink *link = h.addLink(16, 256);
    std::string garbage(200, 'x');
    h.transact(link, garbage + "\n");
    EXPECT_FALSE(h.errors().empty());
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

TEST_F(ExecuteTest, LongResponseIsDeliveredOverSeveralServices) {
    ScpiLink *link = h.addLink(64, 32);
    nextValue = 0;
    link->continuation = listProducer;
    h.feed(link, "LIST?\n");
    std::string answer;
    int services = 0, more = 1;
    while (more && services < 1000) {
        h.serve(link);
        answer += h.drain(link, &more);
        services++;
    }
    EXPECT_EQ(answer, expectedList() + "\n");
    EXPECT_GT(services, 10);
    EXPECT_EQ(h.transact(link, "*OPC?\n"), "1\n");
}

TEST_F(ExecuteTest, UnitsAfterACutResponseJoinInOrder) {
    for (int ans : {32, 40, 64, 333}) {
        LinkHarness local;
        ScpiLink *link = local.addLink(64, ans);
        nextValue = 0;
        link->continuation = listProducer;
        EXPECT_EQ(local.transact(link, "*OPC?;LIST?\n*OPC?\n"), "1;" + expectedList() + "\n1\n")
            << "answer buffer " << ans;
    }
}

TEST_F(ExecuteTest, ResponseNearTheSpaceKeepsItsLineFeed) {
    // Answers of every length around the space: none loses or doubles its line feed.
    for (int ans = 8; ans < 40; ans++) {
        LinkHarness local;
        ScpiLink *link = local.addLink(64, ans);
        std::string expect;
        std::string msg;
        for (int k = 0; k < 6; k++) {
            msg += k ? ";*OPC?" : "*OPC?";
            expect += k ? ";1" : "1";
            ASSERT_EQ(local.transact(link, msg + "\n"), expect + "\n") << "answer buffer " << ans;
        }
    }
}

TEST_F(ExecuteTest, PendingEventIsAppliedOnTheMainThread) {
    ScpiLink *link = h.addLink(64, 64);
    global_activeLinks = 0;
    std::thread transport([&] { krcommEvent(link, KREV_CONNECT_LAN); });
    while (true) {
        pthread_mutex_lock(&link->handleLock);
        int pending = link->handlePending;
        pthread_mutex_unlock(&link->handleLock);
        if (pending) break;
        std::this_thread::yield();
    }
    pthread_mutex_lock(&deviceAccessMutex);
    scpi_execute_link(link);
    pthread_mutex_unlock(&deviceAccessMutex);
    transport.join();
    EXPECT_EQ(global_activeLinks, 1);
    global_activeLinks = 0;
}

std::vector<uint32_t> periodicMasks;
int recordPeriodic(Device *, uint32_t mask) {
    periodicMasks.push_back(mask);
    return 0;
}

TEST_F(ExecuteTest, PeriodicTickMaskHalvesItsRatePerBit) {
    auto saved = Device_periodic;
    Device_periodic = recordPeriodic;
    periodicMasks.clear();
    // A period of 0 makes every pass a periodic one.
    for (int i = 0; i < 256; i++)
        scpi_execute(&h.list, h.device, 0);
    Device_periodic = saved;
    ASSERT_EQ(periodicMasks.size(), 256u);
    for (int bit = 0; bit < 8; bit++) {
        int count = 0;
        for (uint32_t m : periodicMasks)
            count += (m >> bit) & 1;
        EXPECT_EQ(count, 256 >> (bit + 1)) << "bit " << bit;
    }
}

int deferredRuns;
void deferredTarget(uint32_t argument) {
    deferredRuns += (int)argument;
}

TEST_F(ExecuteTest, DeferredCallRunsOnceItsDelayHasPassed) {
    deferredRuns = 0;
    ASSERT_EQ(krstuff_deferredCall(deferredTarget, 3, 600000), 0);
    scpi_execute(&h.list, h.device, 250);  // 600 ms left: not yet
    EXPECT_EQ(deferredRuns, 0);
    krstuff_executeDeferredCallsImmediately();
    EXPECT_EQ(deferredRuns, 3);
}

// Two transports hammer their links while the main loop serves: every request gets its
// own answer, nothing is lost, nothing deadlocks.
TEST_F(ExecuteTest, HandShakeUnderLoad) {
    ScpiLink *a = h.addLink(1024, 1024, "A");
    ScpiLink *b = h.addLink(16, 64, "B");
    std::atomic<bool> stop{false};
    std::thread mainLoop([&] {
        while (!stop)
            scpi_execute(&h.list, h.device, 250);
    });
    auto client = [&](ScpiLink *link, const std::string &request, const std::string &expect) {
        int good = 0;
        for (int i = 0; i < 2000; i++) {
            std::string answer;
            size_t pos = 0;
            int more = 0;
            do {
                if (pos < request.size()) {
                    char *ptr;
                    int room = krcommOpenCmd(link, &ptr);
                    int n = std::min<int>(room, (int)(request.size() - pos));
                    memcpy(ptr, request.data() + pos, (size_t)n);
                    krcommCloseCmd(link, n);
                    pos += (size_t)n;
                }
                scpi_link_doHandle(link);
                scpi_link_waitHandled(link);
                char *ans;
                int len = krcommPeekAns(link, &ans, &more);
                answer.append(ans, (size_t)len);
                krcommClearAns(link, len, &more);
            } while (more || pos < request.size() || answer.size() < expect.size());
            good += answer == expect;
        }
        return good;
    };
    std::string idn = krtest::identification();
    auto fa = std::async(std::launch::async, client, a, "*OPC?;*OPC?\n", "1;1\n");
    auto fb = std::async(std::launch::async, client, b, "*OPC?;*IDN?\n", "1;" + idn + "\n");
    bool finished = fa.wait_for(std::chrono::seconds(120)) == std::future_status::ready &&
                    fb.wait_for(std::chrono::seconds(120)) == std::future_status::ready;
    stop = true;
    scpi_link_doHandle(nullptr);
    if (!finished) {
        mainLoop.detach();
        FAIL() << "transports did not finish: deadlock";
    }
    mainLoop.join();
    EXPECT_EQ(fa.get(), 2000);
    EXPECT_EQ(fb.get(), 2000);
}

}  // namespace
