#include "remote/krsocket_bcast.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "config/device_config.h"
#include "core/krpath.h"
#include "device/device.h"

namespace {

std::string field(const unsigned char *reply, size_t offset, size_t size) {
    return std::string(reinterpret_cast<const char *>(reply + offset), size);
}

std::string padded(const std::string &text, size_t size) {
    return text + std::string(size - text.size(), '\0');
}

class FinderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/krsocket_bcast_test.XXXXXX";
        root = mkdtemp(tmpl);
        ASSERT_EQ(
            system(("mkdir -p '" + root + "/korvane/dev' '" + root + "/korvane/cust'").c_str()), 0);
        krpath_setRoot(root.c_str());
        writeFile("/korvane/dev/sn", "1C0-000B10000-0001");
        device_config_init();
        device = Device_create();
        Device_init(device);
    }
    void TearDown() override {
        krpath_setRoot(nullptr);
        EXPECT_EQ(system(("rm -rf '" + root + "'").c_str()), 0);
    }
    void writeFile(const std::string &path, const std::string &text) {
        FILE *f = fopen((root + path).c_str(), "w");
        fputs(text.c_str(), f);
        fclose(f);
    }
    std::string root;
    Device *device = nullptr;
};

TEST_F(FinderTest, ReplyCarriesModelAndSerialNumberAtFixedOffsets) {
    KrBcastSocket finder = {-1, device};
    unsigned char reply[KRSOCKET_BCAST_REPLY_SIZE];
    krsocketBcastReply(&finder, reply);
    EXPECT_EQ(field(reply, 0, 21), std::string(21, '\0'));
    EXPECT_EQ(field(reply, 21, 30), padded("ORBX20G", 30));
    EXPECT_EQ(field(reply, 51, 29), padded("1C0-000B10000-0001", 29));
    EXPECT_EQ(field(reply, 80, 31), std::string(31, '\0'));

    ASSERT_EQ(device_config_setModelNameExt("LAB"), 0);
    krsocketBcastReply(&finder, reply);
    EXPECT_EQ(field(reply, 21, 30), padded("ORBX20G[LAB]", 30));
}

TEST_F(FinderTest, LongSerialNumberIsCutAtItsField) {
    KrBcastSocket finder = {-1, device};
    writeFile("/korvane/dev/sn", std::string(32, '7'));
    device_config_readSN();
    writeFile("/korvane/cust/model_name_ext", "[ABCDEFGHIJKLMN]");
    device_config_init();
    unsigned char reply[KRSOCKET_BCAST_REPLY_SIZE];
    krsocketBcastReply(&finder, reply);
    EXPECT_EQ(field(reply, 21, 30), padded("ORBX20G[ABCDEFGHIJKLMN]", 30));
    EXPECT_EQ(field(reply, 51, 29), std::string(29, '7'));
    EXPECT_EQ(field(reply, 80, 31), std::string(31, '\0'));
}

TEST_F(FinderTest, WithoutADeviceNameItIsATestDevice) {
    KrBcastSocket finder = {-1, nullptr};
    unsigned char reply[KRSOCKET_BCAST_REPLY_SIZE];
    krsocketBcastReply(&finder, reply);
    EXPECT_EQ(field(reply, 21, 30), padded("(ARM test device)", 30));
}

TEST_F(FinderTest, AnswersOnlyEmptyDatagrams) {
    // A port of its own: the fixed finder port may be taken by a running instrument.
    int probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in any = {};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr *>(&any), sizeof(any)), 0);
    socklen_t len = sizeof(any);
    getsockname(probe, reinterpret_cast<sockaddr *>(&any), &len);
    int port = ntohs(any.sin_port);
    close(probe);

    KrBcastSocket finder;
    ASSERT_EQ(krsocketBcastOpen(&finder, port, device), 0);
    std::atomic<bool> running{true};
    std::thread thread([&] {
        while (running)
            krsocketBcastHandle(&finder);
    });

    int client = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons((uint16_t)port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto ask = [&](const std::string &payload) {
        sendto(client, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr *>(&to),
               sizeof(to));
        pollfd p = {client, POLLIN, 0};
        if (poll(&p, 1, 500) <= 0) return std::string("<none>");
        char reply[512];
        ssize_t n = recv(client, reply, sizeof(reply), 0);
        return std::string(reply, n > 0 ? (size_t)n : 0);
    };
    for (const char *payload : {"x", "discover", "\0"}) {
        std::string p = payload[0] ? payload : std::string(1, '\0');
        EXPECT_EQ(ask(p), "<none>") << p.size();
    }
    EXPECT_EQ(ask(std::string(100, 'y')), "<none>");
    std::string reply = ask("");
    ASSERT_EQ(reply.size(), KRSOCKET_BCAST_REPLY_SIZE);
    EXPECT_EQ(reply.substr(51, 18), "1C0-000B10000-0001");

    running = false;
    ask("");  // wakes the handler for its last pass
    thread.join();
    EXPECT_EQ(krsocketBcastClose(&finder), 0);
    EXPECT_EQ(finder.fd, -1);
    close(client);
}

}  // namespace
