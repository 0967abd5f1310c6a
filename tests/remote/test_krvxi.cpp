#include "remote/krvxi.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "core/kr_event.h"
#include "core/krstuff.h"
#include "core/startup.h"
#include "remote_test_support.h"

namespace {

uint32_t now() {
    return (uint32_t)kr_abstime_ms();
}

// ---- Channel table ------------------------------------------------------------------------

class VxiChannelTest : public ::testing::Test {
  protected:
    ScpiLink a{}, b{};
    void SetUp() override { kr_vxi_link_init(&a, &b); }
};

TEST_F(VxiChannelTest, FirstLinksGetIdsOneAndTwoOnChannelsAThenB) {
    uint32_t lid = 0;
    ASSERT_EQ(kr_vxi_link_open(&lid), 1);
    EXPECT_EQ(lid, 1u);
    EXPECT_EQ(kr_vxi_link_get(1), &a);
    ASSERT_EQ(kr_vxi_link_open(&lid), 1);
    EXPECT_EQ(lid, 2u);
    EXPECT_EQ(kr_vxi_link_get(2), &b);
    EXPECT_EQ(kr_vxi_link_get(3), nullptr);
}

TEST_F(VxiChannelTest, ThirdLinkFailsWithInfiniteTimeoutAndAFreedChannelIsReused) {
    uint32_t lid;
    kr_vxi_link_open(&lid);
    kr_vxi_link_open(&lid);
    EXPECT_EQ(kr_vxi_link_open(&lid), 0);
    kr_vxi_link_close(1);
    ASSERT_EQ(kr_vxi_link_open(&lid), 1);
    EXPECT_EQ(lid, 3u);
    EXPECT_EQ(kr_vxi_link_get(3), &a);
}

TEST_F(VxiChannelTest, IdsWrapAfterTheLastOneAndSkipIdsStillHeld) {
    uint32_t lid;
    vxilink.nextLid = KR_VXI_LID_MAX;
    kr_vxi_link_open(&lid);
    EXPECT_EQ(lid, KR_VXI_LID_MAX);
    EXPECT_EQ(vxilink.nextLid, 1u);
    kr_vxi_link_close(lid);

    // Channel A keeps id 1 while B cycles through the range: B never gets 1 too.
    kr_vxi_link_init(&a, &b);
    kr_vxi_link_open(&lid);  // A: 1
    vxilink.nextLid = KR_VXI_LID_MAX;
    kr_vxi_link_open(&lid);  // B: 100000
    EXPECT_EQ(vxilink.nextLid, 2u);
    // And the same when the new id goes to A while B holds the successor.
    kr_vxi_link_init(&a, &b);
    vxilink.lidB = 6;
    vxilink.nextLid = 5;
    kr_vxi_link_open(&lid);
    EXPECT_EQ(lid, 5u);
    EXPECT_EQ(vxilink.nextLid, 7u);
}

TEST_F(VxiChannelTest, FreeChannelIdNeverMatches) {
    EXPECT_EQ(kr_vxi_link_get(KR_VXI_LID_FREE), nullptr);
    kr_vxi_link_close(KR_VXI_LID_FREE);  // harmless
    uint32_t lid;
    kr_vxi_link_open(&lid);
    EXPECT_EQ(kr_vxi_link_get(lid), &a);
}

struct TakeoverCase {
    const char *name;
    uint32_t timeoutMs;
    uint32_t ageA, ageB;  // ms since last use
    int opened;
    char channel;  // 'A' or 'B' when opened
};

class VxiTakeoverTest : public VxiChannelTest,
                        public ::testing::WithParamInterface<TakeoverCase> {};

TEST_P(VxiTakeoverTest, ThirdClientTakesOverTheRightChannel) {
    const TakeoverCase &c = GetParam();
    uint32_t lid;
    kr_vxi_link_open(&lid);
    kr_vxi_link_open(&lid);
    vxilink.inactivityTimeout = c.timeoutMs;
    uint32_t t = now();
    vxilink.lastActivityA = t - c.ageA;
    vxilink.lastActivityB = t - c.ageB;
    ASSERT_EQ(kr_vxi_link_open(&lid), c.opened);
    if (!c.opened) return;
    EXPECT_EQ(lid, 3u);
    EXPECT_EQ(kr_vxi_link_get(3), c.channel == 'A' ? &a : &b);
    // The displaced client's id is forgotten.
    EXPECT_EQ(kr_vxi_link_get(c.channel == 'A' ? 1 : 2), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, VxiTakeoverTest,
    ::testing::Values(TakeoverCase{"AIdleSixSecondsOfFive", 5000, 6000, 100, 1, 'A'},
                      TakeoverCase{"BothActive", 5000, 1000, 100, 0, 0},
                      TakeoverCase{"AActiveBIdle", 5000, 100, 7000, 1, 'B'},
                      TakeoverCase{"BothIdleAOlder", 5000, 9000, 7000, 1, 'A'},
                      TakeoverCase{"BothIdleBOlder", 5000, 7000, 9000, 1, 'B'},
                      TakeoverCase{"ZeroTimeoutTakesLeastRecent", 0, 10, 20, 1, 'B'},
                      TakeoverCase{"BothJustUsed", 5000, 10, 10, 0, 0}),
    [](const ::testing::TestParamInfo<TakeoverCase> &i) { return std::string(i.param.name); });

TEST(VxiTimeout, SecondsAreStoredAsWholeMilliseconds) {
    struct Row {
        double seconds;
        uint32_t ms;
    } rows[] = {{5, 5000}, {1.2345, 1234}, {0, 0}, {-3, 0}, {2e6, 1000000000u}, {NAN, 0}};
    for (const Row &r : rows) {
        EXPECT_EQ(kr_vxi_setInactivityTimeout(r.seconds), 0);
        EXPECT_EQ(vxilink.inactivityTimeout, r.ms) << r.seconds;
        EXPECT_EQ(kr_vxi_isInactivityTimeoutInfinite(), 0);
    }
    kr_vxi_setInactivityTimeout(2.5);
    EXPECT_DOUBLE_EQ(*kr_vxi_getInactivityTimeout(), 2.5);
    EXPECT_DOUBLE_EQ(*kr_vxi_getInactivityTimeoutMin(), 0);
    EXPECT_DOUBLE_EQ(*kr_vxi_getInactivityTimeoutMax(), 1000000);
    kr_vxi_setInactivityTimeoutInfinite();
    EXPECT_EQ(kr_vxi_isInactivityTimeoutInfinite(), 1);
}

// ---- Procedures against a running main loop ----------------------------------------------

class VxiProcedureTest : public ::testing::Test {
  protected:
    krtest::MainLoop loop;
    void SetUp() override {
        loop.add(&link_vxiA, 1024, 1024, "VXI-11 Channel A");
        loop.add(&link_vxiB, 1024, 1024, "VXI-11 Channel B");
        kr_vxi_link_init(&link_vxiA, &link_vxiB);
        vxiALinkActivity = vxiBLinkActivity = 0;
        loop.start();
    }
    void TearDown() override {
        loop.stop();
        if (vxilink.intrClient) clnt_destroy(vxilink.intrClient);
        vxilink.intrClient = nullptr;
    }

    int32_t createLink(const char *name) {
        Create_LinkParms p = {};
        p.device = const_cast<char *>(name);
        Create_LinkResp *r = create_link_1_svc(&p, nullptr);
        return r->error ? -r->error : r->lid;
    }
    Device_WriteResp write(int32_t lid, const std::string &text, int32_t flags = VXI11_FLAG_END) {
        Device_WriteParms p = {};
        p.lid = lid;
        p.flags = flags;
        p.data.len = (u_int)text.size();
        p.data.val = const_cast<char *>(text.data());
        return *device_write_1_svc(&p, nullptr);
    }
    struct Read {
        int32_t error, reason;
        std::string data;
    };
    Read read(int32_t lid, uint32_t requestSize) {
        Device_ReadParms p = {};
        p.lid = lid;
        p.requestSize = requestSize;
        Device_ReadResp *r = device_read_1_svc(&p, nullptr);
        return {r->error, r->reason, std::string(r->data.val, r->data.len)};
    }
    std::string readAll(int32_t lid) {
        std::string all;
        for (int i = 0; i < 1000; i++) {
            Read r = read(lid, 1024);
            all += r.data;
            if (r.reason & VXI11_REASON_END) break;
        }
        return all;
    }
};

TEST_F(VxiProcedureTest, DeviceNameIsInst0InAnyCase) {
    struct Row {
        const char *name;
        int32_t result;
    } rows[] = {{"inst0", 1}, {"INST0", 2}, {"inst1", -3}, {"", -3}, {"inst00", -3}, {"gpib0", -3}};
    for (const Row &r : rows)
        EXPECT_EQ(createLink(r.name), r.result) << r.name;
    Create_LinkParms p = {};
    p.device = const_cast<char *>("Inst0");
    EXPECT_EQ(create_link_1_svc(&p, nullptr)->error, VXI11_E_OUT_OF_RESOURCES);
    Device_Link one = 1;
    EXPECT_EQ(destroy_link_1_svc(&one, nullptr)->error, 0);
    Create_LinkResp *r = create_link_1_svc(&p, nullptr);
    EXPECT_EQ(r->error, 0);
    EXPECT_EQ(r->abortPort, 1025u);
    EXPECT_EQ(r->maxRecvSize, 1024u);
}

TEST_F(VxiProcedureTest, ReadsByRequestCountThenEnd) {
    int32_t lid = createLink("inst0");
    // Six "1;" and the empty error queue: 25 bytes with the line feed.
    Device_WriteResp w = write(lid, "*OPC?;*OPC?;*OPC?;*OPC?;*OPC?;*OPC?;SYST:ERR?\n");
    EXPECT_EQ(w.error, 0);
    EXPECT_EQ(w.size, 46u);
    Read r1 = read(lid, 10), r2 = read(lid, 10), r3 = read(lid, 10);
    EXPECT_EQ(r1.data + r2.data + r3.data, "1;1;1;1;1;1;0,\"No error\"\n");
    EXPECT_EQ(r1.reason, VXI11_REASON_REQCNT);
    EXPECT_EQ(r2.reason, VXI11_REASON_REQCNT);
    EXPECT_EQ(r3.reason, VXI11_REASON_END);
    EXPECT_EQ(r3.data.size(), 5u);
    // Nothing pending: no bytes, END; a zero request size is met at once.
    Read empty = read(lid, 10);
    EXPECT_EQ(empty.data, "");
    EXPECT_EQ(empty.reason, VXI11_REASON_END);
    EXPECT_EQ(read(lid, 0).reason, VXI11_REASON_REQCNT);
}

TEST_F(VxiProcedureTest, EndFlagEndsAMessageWithoutLineFeed) {
    int32_t lid = createLink("inst0");
    EXPECT_EQ(write(lid, "*OPC?").error, 0);
    EXPECT_EQ(readAll(lid), "1\n");
    // Without END the message waits for its line feed.
    write(lid, "*OPC?", 0);
    EXPECT_EQ(read(lid, 100).data, "");
    write(lid, ";*OPC?\n", 0);
    EXPECT_EQ(readAll(lid), "1;1\n");
}

TEST_F(VxiProcedureTest, WriteLargerThanMaxRecvSizeIsTakenInPieces) {
    int32_t lid = createLink("inst0");
    std::string big(3000, '\n');
    big += "*OPC?\n";
    Device_WriteResp w = write(lid, big);
    EXPECT_EQ(w.error, 0);
    EXPECT_EQ(w.size, big.size());
    EXPECT_EQ(readAll(lid), "1\n");
}

TEST_F(VxiProcedureTest, AnswersLongerThanTheBufferComeThroughRepeatedReads) {
    int32_t lid = createLink("inst0");
    std::string many;
    for (int i = 0; i < 150; i++)
        many += "*OPC?\n";
    EXPECT_EQ(write(lid, many).error, 0);
    std::string all = readAll(lid);
    std::string expect;
    for (int i = 0; i < 150; i++)
        expect += "1\n";
    EXPECT_EQ(all, expect);
}

TEST_F(VxiProcedureTest, WriteThatCannotBeTakenUntilTheAnswerIsReadTimesOut) {
    int32_t lid = createLink("inst0");
    std::string many;
    for (int i = 0; i < 400; i++)
        many += "*IDN?\n";  // far more answer than the link holds
    Device_WriteResp w = write(lid, many);
    EXPECT_EQ(w.error, VXI11_E_IO_TIMEOUT);
    EXPECT_LT(w.size, many.size());
    EXPECT_GT(w.size, 0u);
    // A client that reads what is there and sends the rest gets every answer.
    std::string answers;
    size_t sent = w.size;
    for (int round = 0; round < 100 && sent < many.size(); round++) {
        for (Read r = read(lid, 1024); !r.data.empty(); r = read(lid, 1024))
            answers += r.data;
        Device_WriteResp more = write(lid, many.substr(sent));
        sent += more.size;
    }
    EXPECT_EQ(sent, many.size());
    answers += readAll(lid);
    std::string idn = answers.substr(0, answers.find('\n') + 1);
    EXPECT_EQ(answers.size(), 400 * idn.size());
}

TEST_F(VxiProcedureTest, UnknownLinkIdsGetErrorFourExceptReadstb) {
    int32_t lid = createLink("inst0");
    EXPECT_EQ(write(lid + 7, "*OPC?\n").error, VXI11_E_INVALID_LINK);
    Read r = read(lid + 7, 10);
    EXPECT_EQ(r.error, VXI11_E_INVALID_LINK);
    EXPECT_EQ(r.data, "");
    Device_Link bad = lid + 7;
    EXPECT_EQ(destroy_link_1_svc(&bad, nullptr)->error, VXI11_E_INVALID_LINK);
    Device_GenericParms g = {};
    g.lid = bad;
    EXPECT_EQ(device_readstb_1_svc(&g, nullptr)->error, 0);
    EXPECT_EQ(device_readstb_1_svc(&g, nullptr)->stb, 0u);
    Device_Link good = lid;
    EXPECT_EQ(destroy_link_1_svc(&good, nullptr)->error, 0);
    EXPECT_EQ(write(lid, "*OPC?\n").error, VXI11_E_INVALID_LINK);
}

TEST_F(VxiProcedureTest, NewLinkDoesNotSeeWhatItsPredecessorLeft) {
    int32_t lid = createLink("inst0");
    write(lid, "*OPC?\n");
    write(lid, "*OP", 0);
    Device_Link gone = lid;
    destroy_link_1_svc(&gone, nullptr);
    int32_t next = createLink("inst0");
    EXPECT_EQ(read(next, 100).data, "");
    write(next, "*OPC?\n");
    EXPECT_EQ(readAll(next), "1\n");
}

TEST_F(VxiProcedureTest, TakenOverClientGetsErrorFour) {
    int32_t first = createLink("inst0");
    int32_t second = createLink("inst0");
    kr_vxi_setInactivityTimeout(5);
    vxilink.lastActivityA = now() - 6000;
    int32_t third = createLink("inst0");
    EXPECT_EQ(third, 3);
    EXPECT_EQ(write(first, "*OPC?\n").error, VXI11_E_INVALID_LINK);
    EXPECT_EQ(write(second, "*OPC?\n").error, 0);
    EXPECT_EQ(write(third, "*OPC?\n").error, 0);
    EXPECT_EQ(readAll(third), "1\n");
}

TEST_F(VxiProcedureTest, TrafficRaisesTheChannelActivity) {
    int32_t a = createLink("inst0");
    int32_t b = createLink("inst0");
    write(a, "*OPC?\n");
    EXPECT_EQ(vxiALinkActivity, 5);
    EXPECT_EQ(vxiBLinkActivity, 0);
    read(b, 10);
    EXPECT_EQ(vxiBLinkActivity, 5);
    EXPECT_EQ(global_activeLinks & 0x18, 0x18);
    for (int i = 0; i < 5; i++)
        kr_event_indicateLinkActivity(nullptr);
    EXPECT_EQ(global_activeLinks & 0x18, 0);
}

TEST_F(VxiProcedureTest, OtherProceduresAnswerWithoutEffect) {
    Device_GenericParms g = {};
    EXPECT_EQ(device_trigger_1_svc(&g, nullptr)->error, 0);
    EXPECT_EQ(device_clear_1_svc(&g, nullptr)->error, 0);
    EXPECT_EQ(device_remote_1_svc(&g, nullptr)->error, 0);
    EXPECT_EQ(device_local_1_svc(&g, nullptr)->error, 0);
    Device_LockParms l = {};
    EXPECT_EQ(device_lock_1_svc(&l, nullptr)->error, 0);
    Device_Link lid = 1;
    EXPECT_EQ(device_unlock_1_svc(&lid, nullptr)->error, 0);
    Device_EnableSrqParms s = {};
    EXPECT_EQ(device_enable_srq_1_svc(&s, nullptr)->error, 0);
    EXPECT_EQ(device_abort_1_svc(&lid, nullptr)->error, 0);
    Device_DocmdParms d = {};
    EXPECT_EQ(device_docmd_1_svc(&d, nullptr)->error, VXI11_E_NOT_SUPPORTED);
}

// ---- Interrupt channel --------------------------------------------------------------------

class VxiInterruptTest : public ::testing::Test {
  protected:
    int listener = -1;
    uint16_t port = 0;
    void SetUp() override {
        vxilink.intrClient = nullptr;
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(listener, (sockaddr *)&addr, sizeof(addr)), 0);
        listen(listener, 4);
        socklen_t len = sizeof(addr);
        getsockname(listener, (sockaddr *)&addr, &len);
        port = ntohs(addr.sin_port);
    }
    void TearDown() override {
        if (vxilink.intrClient) clnt_destroy(vxilink.intrClient);
        vxilink.intrClient = nullptr;
        close(listener);
    }
};

TEST_F(VxiInterruptTest, ChecksInOrderThenEstablishesOnce) {
    struct Row {
        uint32_t prog, vers, family;
        int error;
    } rows[] = {
        {DEVICE_INTR, 1, 2, VXI11_E_NOT_SUPPORTED}, {DEVICE_INTR, 1, 0xFFFFFFFF, 8},
        {DEVICE_CORE, 1, 0, VXI11_E_NOT_SUPPORTED}, {DEVICE_INTR, 2, 0, 8},
        {DEVICE_CORE, 2, 5, VXI11_E_NOT_SUPPORTED},
    };
    for (const Row &r : rows)
        EXPECT_EQ(kr_device_intr_clnt_create(INADDR_LOOPBACK, port, r.prog, r.vers, r.family),
                  r.error);
    EXPECT_EQ(kr_device_intr_clnt_create(INADDR_LOOPBACK, port, DEVICE_INTR, 1, DEVICE_TCP), 0);
    EXPECT_NE(kr_vxi_link_getIntrChanClient(), nullptr);
    EXPECT_EQ(kr_device_intr_clnt_create(INADDR_LOOPBACK, port, DEVICE_INTR, 1, DEVICE_TCP),
              VXI11_E_CHANNEL_ESTABLISHED);
    EXPECT_EQ(destroy_intr_chan_1_svc(nullptr, nullptr)->error, 0);
    EXPECT_EQ(destroy_intr_chan_1_svc(nullptr, nullptr)->error, VXI11_E_NO_CHANNEL);
    EXPECT_EQ(kr_device_intr_clnt_create(INADDR_LOOPBACK, port, DEVICE_INTR, 1, DEVICE_UDP), 0);
}

TEST_F(VxiInterruptTest, UnreachableClientGivesNoChannel) {
    close(listener);
    listener = -1;
    EXPECT_EQ(kr_device_intr_clnt_create(INADDR_LOOPBACK, port, DEVICE_INTR, 1, DEVICE_TCP),
              VXI11_E_NO_CHANNEL);
    EXPECT_EQ(kr_device_intr_clnt_create(INADDR_LOOPBACK, 0, DEVICE_INTR, 1, DEVICE_UDP),
              VXI11_E_NO_CHANNEL);
    EXPECT_EQ(kr_vxi_link_getIntrChanClient(), nullptr);
    Device_RemoteFunc f = {INADDR_LOOPBACK, port, DEVICE_INTR, 1, DEVICE_TCP};
    EXPECT_EQ(create_intr_chan_1_svc(&f, nullptr)->error, VXI11_E_NO_CHANNEL);
}

}  // namespace
