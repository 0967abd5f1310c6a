#include "remote/krsocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/device_config.h"
#include "core/krpath.h"
#include "remote_test_support.h"
#include "scpi/scpi_errorcodes.h"

namespace {

using namespace std::chrono_literals;

std::string sourceDir() {
    std::string f = __FILE__;
    return f.substr(0, f.rfind("/tests/"));
}

const std::string idn = "Korvane AG,ORBX20G,1C0-000B10000-0001,0.4.204\n";

// A port nobody listens on at the moment.
int freePort(int type = SOCK_STREAM) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// One TCP client of the server.
class Client {
  public:
    explicit Client(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~Client() { closeNow(); }
    bool connected() const { return fd_ >= 0; }
    void closeNow() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    void send(const std::string &data) const {
        size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += (size_t)n;
        }
    }
    // Bytes until text is seen or the time is up; "<eof>" marks a closed connection.
    std::string until(const std::string &text, std::chrono::milliseconds limit = 3000ms) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (buffer_.find(text) == std::string::npos) {
            int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(
                           end - std::chrono::steady_clock::now())
                           .count();
            if (left <= 0) break;
            pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) break;
            char chunk[65536];
            ssize_t n = recv(fd_, chunk, sizeof(chunk), 0);
            if (n <= 0) {
                buffer_ += "<eof>";
                break;
            }
            buffer_.append(chunk, (size_t)n);
        }
        size_t at = buffer_.find(text);
        std::string out = at == std::string::npos ? buffer_ : buffer_.substr(0, at + text.size());
        buffer_.erase(0, out.size());
        return out;
    }
    std::string line(std::chrono::milliseconds limit = 3000ms) { return until("\n", limit); }
    // Whatever arrives within the time.
    std::string quiet(std::chrono::milliseconds limit = 300ms) { return until("\x01\x02", limit); }
    std::string query(const std::string &q) {
        send(q + "\n");
        return line();
    }
    int fd() const { return fd_; }

  private:
    int fd_;
    std::string buffer_;
};

// A port change reopens the listener after a pause: keep trying for a while.
std::unique_ptr<Client> connectSoon(int port) {
    for (int i = 0; i < 100; i++) {
        auto c = std::make_unique<Client>(port);
        if (c->connected()) return c;
        std::this_thread::sleep_for(20ms);
    }
    return std::make_unique<Client>(port);
}

// A connection beyond the clients allowed is accepted and reset at once.
bool turnedAway(int port) {
    Client c(port);
    c.send("*OPC?\n");
    return c.connected() && c.until("<eof>") == "<eof>";
}

// A fresh simulation root: shell commands of the server run inside it.
class SimRoot {
  public:
    SimRoot() {
        char tmpl[] = "/tmp/krsocket_test.XXXXXX";
        root = mkdtemp(tmpl);
        std::string cmd =
            "sh '" + sourceDir() + "/platform/make_simroot.sh' '" + root + "' >/dev/null";
        EXPECT_EQ(system(cmd.c_str()), 0);
        krpath_setRoot(root.c_str());
    }
    ~SimRoot() {
        krpath_setRoot(nullptr);
        EXPECT_EQ(system(("rm -rf '" + root + "'").c_str()), 0);
    }
    std::string read(const std::string &path) const {
        std::ifstream in(root + path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write(const std::string &path, const std::string &content) const {
        std::ofstream(root + path, std::ios::binary) << content;
    }
    std::string root;
};

// The server with its pump on a thread of its own and a main loop serving its link.
class SocketServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        device_config.mses = 0;
        device_config_init();
        loop.add(&link, 1024, 1024, "Socket Port");
        loop.start();
        port = freePort();
        Krsocket_open(&server, port);
        ASSERT_GE(server.listenFd, 0);
    }
    void TearDown() override {
        stopPump();
        Krsocket_close(&server);
        loop.stop();
        device_config.mses = 0;
        Krsocket_setInactivityTimeoutInfinite();
    }
    void startPump() {
        running = true;
        pump = std::thread([this] {
            while (running)
                Krsocket_handle(&server, &link);
        });
    }
    void stopPump() {
        if (!running) return;
        running = false;
        Krsocket_reset(&server);
        pump.join();
    }
    // The pump accepts in its own time: wait until it has.
    bool waitForClients(int count) {
        for (int i = 0; i < 300; i++) {
            int used = 0;
            for (int fd : server.clientFd)
                used += fd >= 0;
            if (used == count) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    SimRoot sim;
    krtest::MainLoop loop;
    ScpiLink link;
    KrSocket server{};
    int port = 0;
    std::atomic<bool> running{false};
    std::thread pump;
};

// ---------------------------------------------------------------------------------------
// Single-client mode

TEST_F(SocketServerTest, AnswersQueriesAndKeepsTheErrorQueue) {
    startPump();
    Client c(port);
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.query("*IDN?"), idn);
    c.send("NO:SUCH:HEADER\n");
    EXPECT_EQ(c.query("SYST:ERR?"), "-113,\"Undefined header\"\n");
    EXPECT_EQ(c.query("*IDN?;*OPC?"), idn.substr(0, idn.size() - 1) + ";1\n");
    // Pieces of one line arrive apart and still make one command.
    c.send("*ID");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(c.query("N?"), idn);
}

TEST_F(SocketServerTest, InfiniteTimeoutTurnsASecondClientAwayUntilTheFirstLeaves) {
    startPump();
    auto first = std::make_unique<Client>(port);
    ASSERT_EQ(first->query("*OPC?"), "1\n");
    EXPECT_TRUE(turnedAway(port));
    EXPECT_EQ(first->query("*OPC?"), "1\n");
    first.reset();
    Client second(port);  // at once: the server sees the first one's end before judging
    EXPECT_EQ(second.query("*OPC?"), "1\n");
}

TEST_F(SocketServerTest, SilentClientIsDisplacedAfterTheTimeout) {
    Krsocket_setInactivityTimeout(1.0);
    startPump();
    Client first(port);
    ASSERT_EQ(first.query("*OPC?"), "1\n");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(turnedAway(port));  // the first client spoke 0.3 s ago
    std::this_thread::sleep_for(1200ms);
    Client late(port);
    ASSERT_TRUE(late.connected());
    EXPECT_EQ(late.query("*IDN?"), idn);
    EXPECT_EQ(first.until("<eof>"), "<eof>");  // closed by the instrument
}

TEST_F(SocketServerTest, ZeroTimeoutLetsEveryNewConnectionTakeOver) {
    Krsocket_setInactivityTimeout(0);
    startPump();
    Client first(port);
    ASSERT_EQ(first.query("*OPC?"), "1\n");
    Client second(port);
    ASSERT_TRUE(second.connected());
    EXPECT_EQ(second.query("*OPC?"), "1\n");
    EXPECT_EQ(first.until("<eof>"), "<eof>");
    Client third(port);
    EXPECT_EQ(third.query("*IDN?"), idn);
}

TEST_F(SocketServerTest, DisplacedClientsUnfinishedLineIsDropped) {
    Krsocket_setInactivityTimeout(0);
    startPump();
    Client first(port);
    first.send("*ID");
    std::this_thread::sleep_for(100ms);
    Client second(port);
    EXPECT_EQ(second.query("*IDN?"), idn);
}

TEST_F(SocketServerTest, ClientLeavingMidMessageLeavesNothingBehind) {
    startPump();
    {
        Client first(port);
        first.send("*ID");
        std::this_thread::sleep_for(100ms);
    }
    Client second(port);
    EXPECT_EQ(second.query("*IDN?"), idn);
    EXPECT_EQ(second.query("SYST:ERR?"), "0,\"No error\"\n");
}

TEST_F(SocketServerTest, MegabyteWithoutLineFeedThenNormalService) {
    startPump();
    {
        Client flood(port);
        flood.send(std::string(1 << 20, 'x'));
        flood.send("\n");
        EXPECT_EQ(flood.query("*IDN?"), idn);
    }
    Client next(port);
    EXPECT_EQ(next.query("*IDN?"), idn);
}

TEST_F(SocketServerTest, BinaryGarbageThenNormalService) {
    startPump();
    Client c(port);
    std::string garbage;
    srand(7);
    for (int i = 0; i < 100000; i++)
        garbage += (char)(rand() & 0xff);
    c.send(garbage);
    c.send("\n");
    std::this_thread::sleep_for(200ms);
    c.quiet();  // whatever the garbage asked for
    EXPECT_EQ(c.query("*IDN?"), idn);
}

TEST_F(SocketServerTest, QueryEchoSendsTheQueryBeforeItsAnswer) {
    scpi_link_enableQueryEcho(&link);
    startPump();
    Client c(port);
    c.send("*IDN?\n");
    EXPECT_EQ(c.line(), "*IDN?\n");
    EXPECT_EQ(c.line(), idn);
    c.send("NO:ANSWER\n*OPC?\n");
    EXPECT_EQ(c.line(), "*OPC?\n");
    EXPECT_EQ(c.line(), "1\n");
    // The same through the stage of the multi-client mode (switched as the command set does,
    // while the server runs).
    __atomic_store_n(&device_config.mses, 1, __ATOMIC_RELAXED);
    c.send("*IDN?;*OPC?\nNO:ANSWER\n");
    EXPECT_EQ(c.line(), "*IDN?;*OPC?\n");
    EXPECT_EQ(c.line(), idn.substr(0, idn.size() - 1) + ";1\n");
    scpi_link_disableQueryEcho(&link);
    EXPECT_EQ(c.query("*OPC?"), "1\n");
}

TEST_F(SocketServerTest, ResetInterruptsAWait) {
    EXPECT_EQ(Krsocket_getServer(), &server);
    std::atomic<int> result{0};
    std::thread waiter([&] { result = Krsocket_wait(&server, &link); });
    std::this_thread::sleep_for(100ms);
    Krsocket_reset(&server);
    waiter.join();
    EXPECT_EQ(result, KRSOCKET_WAIT_RESET);
}

TEST_F(SocketServerTest, PortChangeMovesTheListener) {
    startPump();
    Client before(port);
    ASSERT_EQ(before.query("*OPC?"), "1\n");
    int newPort = freePort();
    Krsocket_changePort(newPort);
    EXPECT_EQ(before.query("*OPC?"), "1\n");  // open connections stay
    before.closeNow();
    auto moved = connectSoon(newPort);
    ASSERT_TRUE(moved->connected());
    EXPECT_EQ(server.port, newPort);
    EXPECT_EQ(moved->query("*OPC?"), "1\n");
    Client old(port);
    EXPECT_FALSE(old.connected());
}

TEST_F(SocketServerTest, PrivilegedPortInUseFallsBackToPortPlus2000) {
    // Hold a low port so that the server cannot bind it, also when running as root.
    int low = -1, holder = -1;
    for (int p = 990; p > 900 && low < 0; p--) {
        holder = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)p);
        Client probe(p + 2000);
        if (!probe.connected() && bind(holder, reinterpret_cast<sockaddr *>(&a), sizeof(a)) == 0 &&
            listen(holder, 1) == 0)
            low = p;
        else
            close(holder);
    }
    ASSERT_GT(low, 0);
    KrSocket other{};
    Krsocket_open(&other, low);
    EXPECT_EQ(other.port, low + 2000);
    EXPECT_GE(other.listenFd, 0);
    std::string hint = "su -c iptables -t nat -A PREROUTING -p tcp --dport " + std::to_string(low) +
                       " -j REDIRECT --to-ports " + std::to_string(low + 2000);
    EXPECT_NE(sim.read("/media/ram/sim_actions.log").find(hint), std::string::npos);
    Krsocket_close(&other);
    close(holder);
}

// ---------------------------------------------------------------------------------------
// Multi-client mode

TEST_F(SocketServerTest, TwentyClientsEachGetTheirOwnAnswers) {
    device_config.mses = 1;
    startPump();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < KRSOCKET_MAX_CLIENTS; i++) {
        clients.push_back(std::make_unique<Client>(port));
        ASSERT_TRUE(clients.back()->connected()) << i;
        ASSERT_TRUE(waitForClients(i + 1)) << i;
    }
    // Client 3 asks alone: only client 3 hears the answer.
    EXPECT_EQ(clients[3]->query("*IDN?"), idn);
    for (int i = 0; i < KRSOCKET_MAX_CLIENTS; i++) {
        if (i == 3) continue;
        EXPECT_EQ(clients[i]->quiet(50ms), "") << i;
    }
    // All at once: each one answer, on its own connection.
    for (auto &c : clients)
        c->send("*IDN?;*OPC?\n");
    for (int i = 0; i < KRSOCKET_MAX_CLIENTS; i++)
        EXPECT_EQ(clients[i]->line(), idn.substr(0, idn.size() - 1) + ";1\n") << i;
    for (auto &c : clients)
        EXPECT_EQ(c->quiet(50ms), "");

    EXPECT_TRUE(turnedAway(port));
    clients[7].reset();
    Client twentyFirst(port);
    EXPECT_EQ(twentyFirst.query("*OPC?"), "1\n");
}

TEST_F(SocketServerTest, ZeroTimeoutLeavesTheTwentyFirstInTheBacklog) {
    device_config.mses = 1;
    Krsocket_setInactivityTimeout(0);
    startPump();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < KRSOCKET_MAX_CLIENTS; i++) {
        clients.push_back(std::make_unique<Client>(port));
        ASSERT_TRUE(waitForClients(i + 1)) << i;
    }
    Client waiting(port);
    ASSERT_TRUE(waiting.connected());  // taken by the backlog, not served
    waiting.send("*OPC?\n");
    EXPECT_EQ(waiting.quiet(300ms), "");
    clients[0].reset();
    EXPECT_EQ(waiting.line(), "1\n");
}

TEST_F(SocketServerTest, UnfinishedLinesOfTwoClientsStayApart) {
    device_config.mses = 1;
    startPump();
    Client a(port), b(port);
    ASSERT_TRUE(waitForClients(2));
    a.send("*ID");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(b.query("*OPC?"), "1\n");
    EXPECT_EQ(a.query("N?"), idn);
    EXPECT_EQ(b.quiet(50ms), "");
    // A client leaving with half a line leaves nothing for the others.
    a.send("*ID");
    a.closeNow();
    ASSERT_TRUE(waitForClients(1));
    EXPECT_EQ(b.query("*IDN?"), idn);
}

TEST_F(SocketServerTest, MultiClientFloodDoesNotStopTheOthers) {
    device_config.mses = 1;
    startPump();
    Client quiet(port);
    ASSERT_TRUE(waitForClients(1));
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        Client f(port);
        f.send(std::string(4 << 20, 'x'));
        f.send("\n*OPC?\n");
        f.until("1\n", 20000ms);  // the whole megabyte has been read
        flooding = false;
    });
    int asked = 0;
    for (; flooding; asked++) {
        EXPECT_EQ(quiet.query("*OPC?"), "1\n");
        std::this_thread::sleep_for(5ms);
    }
    flood.join();
    EXPECT_GT(asked, 1);
    EXPECT_EQ(quiet.query("*IDN?"), idn);
}

// ---------------------------------------------------------------------------------------
// File transfer, driven as the main loop would while the pump waits

class RcmTest : public SocketServerTest {
  protected:
    void SetUp() override {
        SocketServerTest::SetUp();
        client = std::make_unique<Client>(port);
        ASSERT_TRUE(client->connected());
        ASSERT_EQ(Krsocket_accept(&server, &link), 0);
    }
    std::unique_ptr<Client> client;
};

TEST_F(RcmTest, SendDropsOneFinalLineFeedAndEndsWithSlash) {
    std::string body(299, 'a');
    for (size_t i = 0; i < body.size(); i++)
        body[i] = (char)('a' + i % 26);
    sim.write("/korvane/dev/calibration.csv", body + "\n");
    EXPECT_EQ(Krsocket_rcmSendFile(&server, "/korvane/dev/calibration.csv"), 0);
    EXPECT_EQ(client->until("/\n"), body + "/\n");

    sim.write("/korvane/dev/two", "x\n\n");
    EXPECT_EQ(Krsocket_rcmSendFile(&server, "/korvane/dev/two"), 0);
    EXPECT_EQ(client->until("/\n"), "x\n/\n");

    sim.write("/korvane/dev/noeol", std::string(128, 'q'));
    EXPECT_EQ(Krsocket_rcmSendFile(&server, "/korvane/dev/noeol"), 0);
    EXPECT_EQ(client->until("/\n"), std::string(128, 'q') + "/\n");

    sim.write("/korvane/dev/empty", "");
    EXPECT_EQ(Krsocket_rcmSendFile(&server, "/korvane/dev/empty"), 0);
    EXPECT_EQ(client->until("/\n"), "/\n");
    EXPECT_EQ(Krsocket_rcmSendFile(&server, "/korvane/dev/missing"), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(client->until("/\n"), "/\n");
}

TEST_F(RcmTest, ReceiveStoresUpToTheSlashAndAcknowledgesEachChunk) {
    std::atomic<int> result{1};
    std::thread main(
        [&] { result = Krsocket_rcmReceiveFile(&server, "/korvane/dev/calibration.csv"); });
    client->send("abc/def");
    main.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(client->until("/\n"), "/\n");
    EXPECT_EQ(sim.read("/korvane/dev/calibration.csv"), "abc\n");
    EXPECT_NE(sim.read("/media/ram/sim_actions.log").find("protect_kr"), std::string::npos);
}

TEST_F(RcmTest, ReceiveOfSeveralChunks) {
    std::string content;
    for (int i = 0; i < 40; i++)
        content += "line " + std::to_string(i) + ",1.5,2.5\n";
    std::atomic<int> result{1};
    std::thread main([&] { result = Krsocket_rcmReceiveFile(&server, "/korvane/dev/table.csv"); });
    for (size_t at = 0; at < content.size(); at += 100) {
        client->send(content.substr(at, 100));
        std::this_thread::sleep_for(20ms);
    }
    client->send("/");
    main.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sim.read("/korvane/dev/table.csv"), content + "\n");
    std::string acks = client->quiet(100ms);
    EXPECT_GE(acks.size(), 2 * (content.size() / KRSOCKET_RCM_CHUNK));
    EXPECT_EQ(acks.find_first_not_of("/\n"), std::string::npos);
}

TEST_F(RcmTest, ClientNamesStayInsideTheirDirectory) {
    sim.write("/korvane/dev/sn", "secret");
    EXPECT_EQ(Krsocket_rcmSendFileIn(&server, "/korvane/cust/list", "../../dev/sn"),
              KR_E_EXECUTION_ERROR);
    EXPECT_EQ(client->until("/\n"), "/\n");

    std::atomic<int> result{0};
    std::thread main(
        [&] { result = Krsocket_rcmReceiveFileIn(&server, "/korvane/cust/list", "../../dev/sn"); });
    client->send("overwritten/");
    main.join();
    EXPECT_EQ(result, KR_E_EXECUTION_ERROR);
    EXPECT_EQ(client->until("/\n"), "/\n");  // consumed and acknowledged all the same
    EXPECT_EQ(sim.read("/korvane/dev/sn"), "secret");

    std::thread inside(
        [&] { result = Krsocket_rcmReceiveFileIn(&server, "/korvane/cust/list", "l1.csv"); });
    client->send("1,2/");
    inside.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sim.read("/korvane/cust/list/l1.csv"), "1,2\n");
    EXPECT_EQ(Krsocket_rcmSendFileIn(&server, "/korvane/cust/list", "l1.csv"), 0);
    EXPECT_EQ(client->until("/\n", 1000ms), "/\n");
    EXPECT_EQ(client->until("/\n"), "1,2/\n");
}

// A transfer that does not complete leaves the old file: the client leaves, or stays silent.
TEST_F(RcmTest, AbandonedReceiveKeepsTheOldFile) {
    sim.write("/korvane/dev/part", "old\n");
    std::atomic<int> result{1};
    std::thread main([&] { result = Krsocket_rcmReceiveFile(&server, "/korvane/dev/part"); });
    client->send("abc");
    std::this_thread::sleep_for(100ms);
    client->closeNow();
    main.join();
    EXPECT_EQ(result, KR_E_EXECUTION_ERROR);
    EXPECT_EQ(sim.read("/korvane/dev/part"), "old\n");

    Client silent(port);
    ASSERT_EQ(Krsocket_accept(&server, &link), 0);
    auto start = std::chrono::steady_clock::now();
    std::thread stalled([&] { result = Krsocket_rcmReceiveFile(&server, "/korvane/dev/part"); });
    silent.send("half a file");
    stalled.join();
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, KR_E_EXECUTION_ERROR);
    EXPECT_GE(took, std::chrono::milliseconds(KRSOCKET_RCM_SILENCE_MS));
    EXPECT_LT(took, std::chrono::milliseconds(KRSOCKET_RCM_SILENCE_MS + 1000));
    EXPECT_EQ(sim.read("/korvane/dev/part"), "old\n");
    EXPECT_EQ(access((sim.root + "/korvane/dev/part.tmp").c_str(), F_OK), -1);
}

// With several clients, the file comes from the connection whose command runs.
TEST_F(RcmTest, MultiClientReceiveTakesOnlyItsOwnConnection) {
    device_config.mses = 1;
    Client other(port);
    ASSERT_EQ(Krsocket_accept(&server, &link), 0);
    other.send("*IDN?\n");
    server.servingSlot = 0;
    std::atomic<int> result{1};
    std::thread main([&] { result = Krsocket_rcmReceiveFile(&server, "/korvane/dev/mine"); });
    client->send("mine/");
    main.join();
    server.servingSlot = -1;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sim.read("/korvane/dev/mine"), "mine\n");
    EXPECT_EQ(other.quiet(50ms), "");  // nothing read from it, nothing sent to it
}

// ---------------------------------------------------------------------------------------
// Timeout value and own address

TEST(KrsocketTimeoutTest, SecondsAndMicrosecondsWithoutFraction) {
    struct {
        double set;
        double get;
    } rows[] = {{2.5, 2.5}, {0, 0}, {0.0000015, 0.000001}, {1000000, 1000000}, {-3, 0}};
    for (const auto &row : rows) {
        EXPECT_EQ(Krsocket_setInactivityTimeout(row.set), 0);
        EXPECT_DOUBLE_EQ(Krsocket_getInactivityTimeout(), row.get) << row.set;
        EXPECT_FALSE(Krsocket_isInactivityTimeoutInfinite());
    }
    EXPECT_EQ(Krsocket_setInactivityTimeoutInfinite(), 0);
    EXPECT_TRUE(Krsocket_isInactivityTimeoutInfinite());
    EXPECT_DOUBLE_EQ(Krsocket_getInactivityTimeout(), 2147483647.0);
    EXPECT_DOUBLE_EQ(Krsocket_getInactivityTimeoutMin(), 0);
    EXPECT_DOUBLE_EQ(Krsocket_getInactivityTimeoutMax(), 1000000);
}

TEST(KrsocketAddressTest, ChangeIsReportedOnce) {
    char first[INET_ADDRSTRLEN + 1], again[INET_ADDRSTRLEN + 1];
    Krsocket_hasAddressChanged(first);
    EXPECT_EQ(Krsocket_hasAddressChanged(again), 0);
    EXPECT_STREQ(first, again);
    uint32_t parsed;
    EXPECT_EQ(stringToIpv4(first, &parsed), 0) << first;
}

}  // namespace
