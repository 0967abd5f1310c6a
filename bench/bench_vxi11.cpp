// *IDN? round trips per second over VXI-11 (a C client on liblxi), beside the same query over
// the raw SCPI socket and a plain loopback TCP echo of an answer-sized message, all measured in
// the same run against one virtual instrument started from the build tree. The goal is at
// least half the raw-socket rate over VXI-11.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#if __has_include(<lxi.h>)
#include <lxi.h>
#define KR_HAVE_LXI 1
#endif

namespace {

#ifndef KR_FW_BINARY_PATH
#define KR_FW_BINARY_PATH "korvane_fw"
#endif
#ifndef KR_SOURCE_PATH
#define KR_SOURCE_PATH "."
#endif

constexpr int kAnswerBytes = 46;  // the length of the identification answer

// One virtual instrument for the whole run, in a temporary root.
class Instrument {
  public:
    Instrument() {
        char tmpl[] = "/tmp/krbench-XXXXXX";
        root_ = mkdtemp(tmpl);
        std::string cmd = std::string(KR_SOURCE_PATH) + "/tools/ensure_rpcbind.sh && " +
                          KR_SOURCE_PATH + "/platform/make_simroot.sh '" + root_ + "' >/dev/null";
        if (system(cmd.c_str()) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            setenv("KORVANE_ROOT", root_.c_str(), 1);
            freopen("/dev/null", "r", stdin);
            freopen((root_ + "/fw.log").c_str(), "w", stdout);
            const char *bin = getenv("KR_FW_BINARY") ? getenv("KR_FW_BINARY") : KR_FW_BINARY_PATH;
            execl(bin, bin, (char *)nullptr);
            _exit(127);
        }
        for (int i = 0; i < 200 && !ready(); i++)
            usleep(100000);
    }
    ~Instrument() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::string cmd = "rm -rf '" + root_ + "'";
        (void)!system(cmd.c_str());
    }
    bool ready() { return connectTo(1024); }
    // The raw SCPI server (port 18; 2018 when started without root). It serves one client at a
    // time, so the connection is kept for the measurement.
    int connectSocketServer() {
        for (int i = 0; i < 50; i++) {
            for (int port : {18, 2018}) {
                int fd = tcpConnect(port);
                if (fd >= 0) return fd;
            }
            usleep(100000);
        }
        return -1;
    }
    static bool connectTo(int port) {
        int fd = tcpConnect(port);
        if (fd < 0) return false;
        close(fd);
        return true;
    }
    static int tcpConnect(int port) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons((uint16_t)port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, (sockaddr *)&a, sizeof(a)) < 0) {
            close(fd);
            return -1;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        return fd;
    }

  private:
    std::string root_;
    pid_t pid_ = -1;
};

Instrument &instrument() {
    static Instrument inst;
    return inst;
}

// Reads up to and including the line feed.
bool readLine(int fd, char *buf, int size) {
    int n = 0;
    while (n < size) {
        ssize_t r = read(fd, buf + n, (size_t)(size - n));
        if (r <= 0) return false;
        n += (int)r;
        if (buf[n - 1] == '\n') return true;
    }
    return false;
}

void BM_RawSocketIdn(benchmark::State &state) {
    int fd = instrument().connectSocketServer();
    if (fd < 0) {
        state.SkipWithError("raw SCPI socket not reachable");
        return;
    }
    char buf[512];
    for (auto _ : state) {
        if (write(fd, "*IDN?\n", 6) != 6 || !readLine(fd, buf, sizeof(buf))) {
            state.SkipWithError("raw socket query failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    close(fd);
}
BENCHMARK(BM_RawSocketIdn)->UseRealTime()->MinTime(2.0);

#ifdef KR_HAVE_LXI
void BM_Vxi11Idn(benchmark::State &state) {
    instrument();
    lxi_init();
    int dev = lxi_connect("127.0.0.1", 0, "inst0", 3000, VXI11);
    if (dev < 0) {
        state.SkipWithError("VXI-11 link not available");
        return;
    }
    char buf[512];
    for (auto _ : state) {
        if (lxi_send(dev, "*IDN?\n", 6, 3000) < 0 ||
            lxi_receive(dev, buf, sizeof(buf), 3000) <= 0) {
            state.SkipWithError("VXI-11 query failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    lxi_disconnect(dev);
}
BENCHMARK(BM_Vxi11Idn)->UseRealTime()->MinTime(2.0);
#endif

// The floor: the same message sizes echoed by a plain loopback server thread.
void BM_LoopbackEcho(benchmark::State &state) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, (sockaddr *)&a, sizeof(a));
    listen(listener, 1);
    socklen_t len = sizeof(a);
    getsockname(listener, (sockaddr *)&a, &len);
    std::thread server([listener] {
        int c = accept(listener, nullptr, nullptr);
        int one = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        char in[64], out[kAnswerBytes];
        memset(out, 'x', sizeof(out));
        out[kAnswerBytes - 1] = '\n';
        while (readLine(c, in, sizeof(in)))
            if (write(c, out, sizeof(out)) != (ssize_t)sizeof(out)) break;
        close(c);
    });
    int fd = Instrument::tcpConnect(ntohs(a.sin_port));
    char buf[128];
    for (auto _ : state) {
        if (write(fd, "*IDN?\n", 6) != 6 || !readLine(fd, buf, sizeof(buf))) break;
    }
    state.SetItemsProcessed(state.iterations());
    close(fd);
    server.join();
    close(listener);
}
BENCHMARK(BM_LoopbackEcho)->UseRealTime()->MinTime(2.0);

}  // namespace
