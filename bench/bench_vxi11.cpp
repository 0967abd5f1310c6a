// *IDN? round trips per second over VXI-11 (a C client on liblxi), beside the same query over
// the raw SCPI socket and a plain loopback TCP echo of an answer-sized message, all measured in
// the same run against one virtual instrument started from the build tree. The goal is at
// least half the raw-socket rate over VXI-11.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "firmware_instance.h"

#if __has_include(<lxi.h>)
#include <lxi.h>
#define KR_HAVE_LXI 1
#endif

namespace {

using namespace kr_bench;

constexpr int kAnswerBytes = 46;  // the length of the identification answer

std::unique_ptr<FirmwareInstance> startInstrument() {
    // Without the portmapper the raw socket is still measured.
    std::string cmd = sourceDir() + "/tools/ensure_rpcbind.sh";
    bool portmapper = system(cmd.c_str()) == 0;
    if (!portmapper) fprintf(stderr, "bench_vxi11: no portmapper, VXI-11 stays off\n");
    try {
        auto f = std::make_unique<FirmwareInstance>();
        // The VXI-11 core channel may come up after the socket server.
        for (int i = 0; portmapper && i < 200; i++) {
            int fd = connectTo(1024);
            if (fd >= 0) {
                close(fd);
                break;
            }
            usleep(100000);
        }
        return f;
    } catch (const std::exception &e) {
        fprintf(stderr, "bench_vxi11: %s\n", e.what());
        return nullptr;
    }
}

// One virtual instrument for the whole run; none when it cannot start (the benchmarks skip).
FirmwareInstance *instrument() {
    static std::unique_ptr<FirmwareInstance> inst = startInstrument();
    return inst.get();
}

void BM_RawSocketIdn(benchmark::State &state) {
    // It serves one client at a time, so the connection is kept for the measurement.
    int fd = instrument() ? connectSoon(instrument()->port) : -1;
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
    if (!instrument()) {
        state.SkipWithError("no instrument");
        return;
    }
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
    int fd = connectTo(ntohs(a.sin_port));
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
