// Lists and sweeps on the real firmware (configuration 1ch-20g, the standard sweep task) in a
// temporary simulation root whose simulated hardware waits take no wall time
// (KR_SIM_TIME_SCALE=0). On one connection:
//   - a 10,000-point frequency list uploaded and prepared in one program message
//     ("LIST:FREQ f1,...,f10000;:LIST:DEL 0;POW -10;DWEL 0.001"), then "*OPC?", timed until
//     its "1" is back; the reference is the same bytes sent to an acknowledging server of the
//     bench's own (see EchoServer), which answers the closing query once it has read them all;
//   - the points per second that a running 1000-point sweep generates, read from
//     channels[0].sweep.points_played of sim/hardware-state.json over a measured interval,
//     against the 500 us the hardware takes per point.
// The summary gives the upload time as a ratio to the reference (min, median and max over the
// repetitions, each pairing uploads timed next to each other) and the sweep rate as a factor
// of the hardware's (goal at least 10).
//
// KR_BENCH_SWEEP_SECONDS sets the measured sweep interval (default 2).

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "echo_server.h"
#include "firmware_instance.h"

namespace {

using namespace kr_bench;

constexpr int listPoints = 10000;
constexpr int uploadsPerRepetition = 10;
constexpr int uploadRepetitions = 9;
constexpr int sweepRepetitions = 3;
constexpr double hardwarePointSeconds = 500e-6;

// One connection to a server and the answers on it.
class Link {
  public:
    explicit Link(int port) : fd_(connectSoon(port)), reader_(fd_) {
        if (fd_ < 0) throw std::runtime_error("connect failed");
    }
    ~Link() { close(fd_); }
    std::string query(const std::string &q) {
        writeAll(fd_, q);
        return reader_.line();
    }

  private:
    int fd_;
    LineReader reader_;
};

struct Bench {
    FirmwareInstance fw{FirmwareInstance::Options{"1ch-20g", {{"KR_SIM_TIME_SCALE", "0"}}}};
    EchoServer acknowledging{EchoStyle::Acknowledging};
    Link firmware{fw.port}, reference{acknowledging.port};
};
Bench *bench = nullptr;

// Figures of each repetition, by name.
std::map<std::string, std::vector<double>> figures;

void expectAnswer(Link &link, const std::string &q, const std::string &expected) {
    std::string a = link.query(q);
    if (a != expected + "\n") throw std::runtime_error(q + " answered " + a);
}

const std::string &uploadMessage() {
    static std::string message = [] {
        std::string m = "LIST:FREQ ";
        for (int i = 0; i < listPoints; i++)
            m += (i ? "," : "") + std::to_string(1000000000LL + i * 1000LL);
        return m + ";:LIST:DEL 0;POW -10;DWEL 0.001\n*OPC?\n";
    }();
    return message;
}

double timedUpload(Link &link) {
    auto start = std::chrono::steady_clock::now();
    expectAnswer(link, uploadMessage(), "1");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The firmware's and the reference's uploads take turns, so that both see the same load of
// this machine; a rejected or short list would make the time meaningless.
void BM_ListUpload(benchmark::State &state) {
    for (auto _ : state) {
        double fwS = 0, refS = 0;
        for (int i = 0; i < uploadsPerRepetition; i++) {
            fwS += timedUpload(bench->firmware);
            expectAnswer(bench->firmware, "SYST:ERR?\n", "0,\"No error\"");
            expectAnswer(bench->firmware, "LIST:FREQ:POIN?\n", std::to_string(listPoints));
            refS += timedUpload(bench->reference);
        }
        state.SetIterationTime(fwS + refS);
        state.counters["firmware_ms"] = 1e3 * fwS / uploadsPerRepetition;
        state.counters["reference_ms"] = 1e3 * refS / uploadsPerRepetition;
        state.counters["ratio"] = fwS / refS;
        figures["firmware_ms"].push_back(state.counters["firmware_ms"]);
        figures["reference_ms"].push_back(state.counters["reference_ms"]);
        figures["ratio"].push_back(fwS / refS);
    }
}

struct Sample {
    long long points;
    double seconds;  // when the simulation wrote it
    bool running;
};

// The simulation rewrites the state file at most every 50 ms: its modification time, rather
// than the moment it is read, dates the count. Read through one descriptor, the time and the
// text belong to the same file as it is replaced.
Sample sampleState() {
    std::string path = bench->fw.root() + "/sim/hardware-state.json";
    FILE *f = fopen(path.c_str(), "r");
    if (!f) throw std::runtime_error("cannot open " + path);
    struct stat st;
    fstat(fileno(f), &st);
    std::string text;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof(chunk), f)) > 0;)
        text.append(chunk, n);
    fclose(f);
    // Channel 0 comes first.
    const std::string sweepKey = "\"sweep\": {",
                      playedKey = "\"points_played\": ", running = "\"timer\": true";
    size_t sweep = text.find(sweepKey);
    size_t played = text.find(playedKey, sweep);
    if (sweep == std::string::npos || played == std::string::npos)
        throw std::runtime_error("no sweep state in " + path);
    return {atoll(text.c_str() + played + playedKey.size()),
            (double)st.st_mtim.tv_sec + (double)st.st_mtim.tv_nsec * 1e-9,
            text.compare(sweep + sweepKey.size(), running.size(), running) == 0};
}

// The first sample that shows the sweep playing and newer than after.
Sample nextPlayingSample(double after) {
    for (int i = 0; i < 500; i++) {
        Sample s = sampleState();
        if (s.running && s.points > 0 && s.seconds > after) return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    throw std::runtime_error("the sweep does not play");
}

void BM_SweepPoints(benchmark::State &state) {
    double seconds = 2;
    if (const char *env = getenv("KR_BENCH_SWEEP_SECONDS")) seconds = atof(env);
    for (auto _ : state) {
        // On the file's clock, so that a state written before this start does not count.
        double startedAt =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        expectAnswer(bench->firmware,
                     "OUTP ON;:FREQ:STAR 1GHz;STOP 2GHz;:SWE:POIN 1000;DWEL 0.0005;:FREQ:MODE "
                     "SWE;*OPC?\n",
                     "1");
        Sample first = nextPlayingSample(startedAt);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        Sample last = nextPlayingSample(first.seconds);
        expectAnswer(bench->firmware, "FREQ:MODE FIX;*OPC?\n", "1");
        expectAnswer(bench->firmware, "SYST:ERR?\n", "0,\"No error\"");
        double rate = (double)(last.points - first.points) / (last.seconds - first.seconds);
        state.SetIterationTime(last.seconds - first.seconds);
        state.counters["points_per_s"] = rate;
        state.counters["factor"] = rate * hardwarePointSeconds;
        figures["points_per_s"].push_back(rate);
    }
}

BENCHMARK(BM_ListUpload)->Iterations(1)->Repetitions(uploadRepetitions)->UseManualTime();
BENCHMARK(BM_SweepPoints)->Iterations(1)->Repetitions(sweepRepetitions)->UseManualTime();

struct Spread {
    double min = 0, median = 0, max = 0;
};

Spread spreadOf(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    try {
        Bench b;
        bench = &b;
        expectAnswer(b.firmware, "*CLS;*OPC?\n", "1");
        benchmark::RunSpecifiedBenchmarks();
        bench = nullptr;

        Spread ratio = spreadOf(figures["ratio"]), rate = spreadOf(figures["points_per_s"]);
        printf("\nSummary (1ch-20g, KR_SIM_TIME_SCALE=0):\n");
        printf(
            "%d-point list upload  firmware %.3f ms  reference %.3f ms  ratio min %.2f median "
            "%.2f max %.2f  (%d repetitions of %d uploads)\n",
            listPoints, spreadOf(figures["firmware_ms"]).median,
            spreadOf(figures["reference_ms"]).median, ratio.min, ratio.median, ratio.max,
            uploadRepetitions, uploadsPerRepetition);
        printf(
            "sweep points          %.0f/s median (min %.0f, max %.0f)  factor to 500 us per "
            "point min %.2f median %.2f max %.2f  (goal 10)\n",
            rate.median, rate.min, rate.max, rate.min * hardwarePointSeconds,
            rate.median * hardwarePointSeconds, rate.max * hardwarePointSeconds);
        struct stat trace;
        if (stat((b.fw.root() + "/sim/output-trace.csv").c_str(), &trace) == 0)
            printf("sim/output-trace.csv  %.1f MB at the end\n", (double)trace.st_size / 1e6);
    } catch (const std::exception &e) {
        fprintf(stderr, "bench_sweep: %s\n", e.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
