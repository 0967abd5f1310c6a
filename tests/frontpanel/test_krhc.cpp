#include "frontpanel/krhc.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "chardev.h"
#include "frontpanel/krhcupdate.h"
#include "panel_test_support.h"
#include "scpi/scpi_link.h"

namespace {

using krtest::ConfiguredRoot;

// A panel on the stand-in device's socket.
int connectPanel(const std::string &root) {
    std::string path = root + "/dev/krhc.sock";
    int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path.c_str());
    for (int i = 0; i < 200; i++) {
        if (connect(s, (sockaddr *)&addr, sizeof(addr)) == 0) return s;
        usleep(10000);
    }
    close(s);
    return -1;
}

// One frame from the device: type, flags and payload.
bool readFrame(int s, char *type, int *flags, std::string *payload) {
    unsigned char h[4];
    if (recv(s, h, 4, MSG_WAITALL) != 4) return false;
    *type = (char)h[0];
    *flags = h[1];
    payload->assign((size_t)(h[2] << 8 | h[3]), 0);
    return payload->empty() ||
           recv(s, &(*payload)[0], payload->size(), MSG_WAITALL) == (ssize_t)payload->size();
}

void sendFrame(int s, int flags, const std::string &payload) {
    unsigned char h[4] = {(unsigned char)CHARDEV_FRAME_DATA, (unsigned char)flags,
                          (unsigned char)(payload.size() >> 8), (unsigned char)payload.size()};
    (void)!send(s, h, 4, 0);
    (void)!send(s, payload.data(), payload.size(), 0);
}

TEST(PanelLink, OlderControllerAnsweringTheProbeSelectsHcMode) {
    ConfiguredRoot root("1C0-200B10000-0001");
    KrHc hc;
    Krhc_init(&hc);
    std::thread panel([&] {
        int s = connectPanel(root.path);
        ASSERT_GE(s, 0);
        char type;
        int flags;
        std::string payload;
        // Updates kept from before the panel connected come first; the probe is among them.
        while (readFrame(s, &type, &flags, &payload))
            if (payload.find("*IDN?\n") != std::string::npos) break;
        sendFrame(s, 0, "HC0000000000\n");
        usleep(100000);
        close(s);
    });
    ASSERT_EQ(Krhc_open(&hc, "/dev/krhc", 0), 0);
    panel.join();
    EXPECT_EQ(hc.stmMode, 0);
    EXPECT_EQ(hc.txPort, 0);  // the probe went out on port 1, HC mode records port 0
    Krhc_close(&hc);
}

TEST(PanelLink, NewerControllerIsStmMode) {
    ConfiguredRoot root("1C0-400B10000-0001");
    KrHc hc;
    Krhc_init(&hc);
    ASSERT_EQ(Krhc_open(&hc, "/dev/krhc", 0), 0);
    EXPECT_EQ(hc.stmMode, 1);
    EXPECT_EQ(Krhc_connected(&hc), 1);
    Krhc_close(&hc);
    EXPECT_EQ(Krhc_connected(&hc), 0);
}

TEST(PanelLink, NoPanelConfiguredLeavesTheLinkClosed) {
    ConfiguredRoot root("1C0-000B10000-0001");
    KrHc hc;
    Krhc_init(&hc);
    EXPECT_EQ(Krhc_open(&hc, "/dev/krhc", 0), -1);
    EXPECT_EQ(Krhc_connected(&hc), 0);
    ScpiLinkList list{};
    ScpiLink link{};
    scpi_link_init(&list, &link, 256, 256, "HC Front Panel");
    EXPECT_EQ(Krhc_handle(&hc, &link), -1);
    scpi_link_destroy(&link);
}

TEST(PanelLink, PanelThatStopsReadingShutsTheLinkForGood) {
    ConfiguredRoot root("1C0-300B10000-0001");
    KrHc hc;
    Krhc_init(&hc);
    ASSERT_EQ(Krhc_open(&hc, "/dev/krhc", 0), 0);
    Krhcupdate_init(&hc);
    int panel = connectPanel(root.path);
    ASSERT_GE(panel, 0);
    int small = 4096;
    setsockopt(panel, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    usleep(100000);
    std::string line(1000, 'x');
    line += '\n';
    testing::internal::CaptureStdout();
    int r = 0;
    int writes = 0;
    while (r == 0 && writes < 100000) {
        r = Krhc_writeAsync(&hc, (int)line.size(), line.data());
        writes++;
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, -1);
    EXPECT_NE(out.find("Krhc_writeAsync() error: write() failed (maybe no front panel "
                       "installed?)\nKrhc_writeAsync() error: write() failed, closing link\n"),
              std::string::npos);
    EXPECT_EQ(Krhc_connected(&hc), 0);
    // Every later update fails at once and the HC thread's pump ends.
    EXPECT_EQ(hcupdate_rst(), -1);
    EXPECT_EQ(Krhc_writeAsync(&hc, 2, "x\n"), -1);
    ScpiLinkList list{};
    ScpiLink link{};
    scpi_link_init(&list, &link, 256, 256, "HC Front Panel");
    EXPECT_EQ(Krhc_handle(&hc, &link), -1);
    scpi_link_destroy(&link);
    close(panel);
    Krhcupdate_init(nullptr);
}

TEST(PanelLink, CloseWakesAPumpWaitingForInput) {
    ConfiguredRoot root("1C0-400B10000-0001");
    KrHc hc;
    Krhc_init(&hc);
    ASSERT_EQ(Krhc_open(&hc, "/dev/krhc", 0), 0);
    ScpiLinkList list{};
    ScpiLink link{};
    scpi_link_init(&list, &link, 256, 256, "HC Front Panel");
    std::thread pump([&] {
        while (Krhc_handle(&hc, &link) == 0) {
        }
    });
    usleep(100000);
    Krhc_close(&hc);
    pump.join();  // ends instead of waiting for ever
    scpi_link_destroy(&link);
}

}  // namespace
