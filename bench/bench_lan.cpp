// The one table of the firmware's performance goals, in one run on this machine, each figure
// as a ratio to a reference measured in the same run (absolute rates drift with the load):
//   - "*IDN?" round trips over the raw socket, one connection, against a trivial line-echo
//     server of the bench's own, unpinned and with server and client on a core each; over VXI-11
//     (liblxi) against the raw socket;
//   - a fresh connection per query against the same loop on the echo server;
//   - 100,000 pipelined light settings ("STAT:QUES:ENAB 1") ended by one "*OPC?";
//   - "FREQ" and "POW" settings through the whole chain (1ch-20g, pipelined, ended by *OPC?)
//     with KR_SIM_TIME_SCALE 0 (goal 20,000/s) and 1, where the time beyond the hardware's
//     waits (the scale-1 time less the scale-0 time) is given as a share of those waits;
//   - idle CPU over 10 s without and with a connected client, resident memory after start-up
//     of every ready configuration.
// Repetitions of the firmware and of its reference take turns; each ratio pairs neighbours.
//
// KR_FW_BINARY names the firmware (default: korvane_fw next to the bench directory);
// KR_BENCH_IDLE_SECONDS shortens the idle measurements.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "echo_server.h"
#include "firmware_instance.h"

#if __has_include(<lxi.h>)
#include <lxi.h>
#define KR_HAVE_LXI 1
#endif

namespace {

using namespace kr_bench;

constexpr int pipelinedCount = 100000;
constexpr int roundTripIterations = 20000;
constexpr int freshIterations = 500;
constexpr int chainSettings[2] = {4000, 400};  // per batch at time scale 0 and 1
constexpr int repetitions = 5;
const char *const lightSetting = "STAT:QUES:ENAB 1\n";

// Time on a CPU of all the firmware's threads in seconds, to the nanosecond (the tick-based
// figures of /proc/PID/stat are too coarse for an idle process).
double cpuSeconds(pid_t pid) {
    std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    DIR *dir = opendir(taskDir.c_str());
    if (!dir) return 0;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream in(taskDir + "/" + entry->d_name + "/schedstat");
        unsigned long long ns = 0;
        if (in >> ns) total += (double)ns * 1e-9;
    }
    closedir(dir);
    return total;
}

std::string status(pid_t pid, const char *key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return line.substr(strlen(key));
    return "?";
}

FirmwareInstance *firmware = nullptr;
EchoServer *echoes[3] = {};  // by EchoStyle

// Rates of each repetition, by figure name.
std::map<std::string, std::vector<double>> rates;

// One connection per benchmark run, held for all its iterations.
class Connection {
  public:
    explicit Connection(int port) : fd_(connectSoon(port)), reader_(fd_) {
        if (fd_ < 0) throw std::runtime_error("connect failed");
    }
    ~Connection() { close(fd_); }
    void roundTrip() {
        writeAll(fd_, "*IDN?\n", 6);
        benchmark::DoNotOptimize(reader_.line());
    }
    // The firmware answers the final query only; an echo server sends every line back, the
    // final query last.
    void pipelined(const std::string &batch, const char *lastAnswer) {
        writeAll(fd_, batch.data(), batch.size());
        reader_.skipThrough(lastAnswer);
    }

  private:
    int fd_;
    LineReader reader_;
};

// Targets: 0 the firmware, 1 + EchoStyle an echo server.
int portOf(int target) {
    return target == 0 ? firmware->port : echoes[target - 1]->port;
}
const char *nameOf(int target) {
    static const char *const names[] = {"firmware", "echo", "echo-per-line", "echo-polling"};
    return names[target];
}

void BM_IdnRoundTrip(benchmark::State &state) {
    Connection c(portOf((int)state.range(0)));
    for (auto _ : state)
        c.roundTrip();
    state.counters["round_trips_per_s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(nameOf((int)state.range(0)));
}

void BM_Pipelined(benchmark::State &state) {
    std::string batch;
    for (int i = 0; i < pipelinedCount; i++)
        batch += lightSetting;
    batch += "*OPC?\n";
    Connection c(portOf((int)state.range(0)));
    const char *lastAnswer = state.range(0) == 0 ? "1\n" : "*OPC?\n";
    for (auto _ : state)
        c.pipelined(batch, lastAnswer);
    state.counters["lines_per_s"] = benchmark::Counter(
        (double)state.iterations() * (pipelinedCount + 1), benchmark::Counter::kIsRate);
    state.SetLabel(nameOf((int)state.range(0)));
}

BENCHMARK(BM_IdnRoundTrip)
    ->Arg(0)
    ->Arg(1)
    ->Arg(3)
    ->Iterations(roundTripIterations)
    ->Repetitions(repetitions)
    ->UseRealTime();

cpu_set_t cpus(std::initializer_list<int> list) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu : list)
        CPU_SET(cpu, &set);
    return set;
}

// Every thread of the process, including those it starts later on the same mask.
void pinProcess(pid_t pid, const cpu_set_t &set) {
    std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = opendir(taskDir.c_str());
    if (!dir) return;
    while (dirent *entry = readdir(dir))
        if (entry->d_name[0] != '.') sched_setaffinity(atoi(entry->d_name), sizeof(set), &set);
    closedir(dir);
}

// The server on one core and the client on the other: no migration, and every hand-off
// between the server's threads stays on its core, as on a single-core controller.
void BM_IdnRoundTripPinned(benchmark::State &state) {
    int target = (int)state.range(0);
    const cpu_set_t server = cpus({0}), client = cpus({1}), both = cpus({0, 1});
    auto pinServer = [&](const cpu_set_t &set) {
        if (target == 0)
            pinProcess(firmware->pid, set);
        else
            echoes[target - 1]->pin(set);
    };
    pinServer(server);
    pthread_setaffinity_np(pthread_self(), sizeof(client), &client);
    {
        Connection c(portOf(target));
        for (auto _ : state)
            c.roundTrip();
    }
    pinServer(both);
    pthread_setaffinity_np(pthread_self(), sizeof(both), &both);
    state.counters["round_trips_per_s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(nameOf(target));
}
BENCHMARK(BM_IdnRoundTripPinned)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(roundTripIterations)
    ->Repetitions(repetitions)
    ->UseRealTime();
BENCHMARK(BM_Pipelined)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Repetitions(repetitions)
    ->UseRealTime();

// A connection per query, as a test suite opens one per test.
void BM_FreshConnection(benchmark::State &state) {
    int port = portOf((int)state.range(0));
    for (auto _ : state) {
        int fd = connectSoon(port);
        if (fd < 0) {
            state.SkipWithError("connect failed");
            break;
        }
        LineReader reader(fd);
        writeAll(fd, "*IDN?\n", 6);
        benchmark::DoNotOptimize(reader.line());
        close(fd);
    }
    state.counters["queries_per_s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(nameOf((int)state.range(0)));
}

// Settings through the frequency plan or the level chain: arg 0 FREQ or POW, arg 1 the time
// scale's instance.
FirmwareInstance *chain[2] = {};

void BM_Chain(benchmark::State &state) {
    bool power = state.range(0) == 1;
    int scale = (int)state.range(1);
    std::string batch;
    for (int i = 0; i < chainSettings[scale]; i++)
        batch +=
            power ? (i % 2 ? "POW -10\n" : "POW 5\n") : (i % 2 ? "FREQ 1.5 GHz\n" : "FREQ 1 GHz\n");
    batch += "*OPC?\n";
    Connection c(chain[scale]->port);
    for (auto _ : state)
        c.pipelined(batch, "1\n");
    state.counters["settings_per_s"] = benchmark::Counter(
        (double)state.iterations() * chainSettings[scale], benchmark::Counter::kIsRate);
    state.SetLabel(std::string(power ? "pow" : "freq") + (scale ? "-scale1" : "-scale0"));
}

BENCHMARK(BM_FreshConnection)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(freshIterations)
    ->Repetitions(repetitions)
    ->UseRealTime();
BENCHMARK(BM_Chain)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->Repetitions(repetitions)
    ->UseRealTime();

#ifdef KR_HAVE_LXI
// VXI-11 round trips; arg 1: the raw socket as the reference.
void BM_Vxi11(benchmark::State &state) {
    if (state.range(0) == 1) {
        Connection c(firmware->port);
        for (auto _ : state)
            c.roundTrip();
    } else {
        int dev = lxi_connect("127.0.0.1", 0, "inst0", 3000, VXI11);
        if (dev < 0) {
            state.SkipWithError("VXI-11 link not available");
            return;
        }
        char buf[512];
        for (auto _ : state)
            if (lxi_send(dev, "*IDN?\n", 6, 3000) < 0 ||
                lxi_receive(dev, buf, sizeof(buf), 3000) <= 0) {
                state.SkipWithError("VXI-11 query failed");
                break;
            }
        lxi_disconnect(dev);
    }
    state.counters["round_trips_per_s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(state.range(0) == 1 ? "raw" : "vxi11");
}
BENCHMARK(BM_Vxi11)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(roundTripIterations / 4)
    ->Repetitions(repetitions)
    ->UseRealTime();
#endif

// Collects the per-repetition rates besides the usual console output.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            for (const auto &[name, counter] : run.counters)
                rates[run.run_name.function_name + "/" + run.report_label + "/" + name].push_back(
                    counter.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

struct Spread {
    double min, median, max;
};

Spread spreadOf(std::vector<double> v) {
    if (v.empty()) return {0, 0, 0};
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

// Ratios pair the repetitions that ran next to each other.
void printRatio(const char *what, const std::string &fw, const std::string &floor,
                const char *goal) {
    const auto &a = rates[fw], &b = rates[floor];
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        ratios.push_back(a[i] / b[i]);
    Spread r = spreadOf(ratios), f = spreadOf(a), e = spreadOf(b);
    printf("%-40s firmware %9.0f/s  reference %9.0f/s  ratio min %.3f median %.3f max %.3f  %s\n",
           what, f.median, e.median, r.min, r.median, r.max, goal);
}

// Time per setting beyond the waits the hardware needs, as a share of those waits: the
// scale-0 time is what the chain costs, the scale-1 time less it is what the waits take.
void printChain(const char *what, const std::string &name) {
    Spread fast = spreadOf(rates["BM_Chain/" + name + "-scale0/settings_per_s"]);
    Spread real = spreadOf(rates["BM_Chain/" + name + "-scale1/settings_per_s"]);
    double t0 = fast.median > 0 ? 1 / fast.median : 0, t1 = real.median > 0 ? 1 / real.median : 0;
    double share = t1 > t0 ? t0 / (t1 - t0) : 0;
    printf(
        "%-40s scale 0 %9.0f/s (goal 20,000/s)  scale 1 %7.0f/s, beyond the waits %.3f "
        "(goal 0.10)\n",
        what, fast.median, real.median, share);
}

// Resident memory right after start-up, per ready configuration.
void printMemoryPerConfiguration() {
    std::string cmd = "sh '" + sourceDir() + "/platform/make_simroot.sh' --list";
    FILE *list = popen(cmd.c_str(), "r");
    if (!list) return;
    char line[256];
    std::vector<std::string> names;
    while (fgets(line, sizeof(line), list))
        names.push_back(std::string(line).substr(0, strcspn(line, " \n")));
    pclose(list);
    for (const std::string &name : names) {
        try {
            FirmwareInstance fw{FirmwareInstance::Options{name, {}}};
            printf("  %-16s VmRSS%s\n", name.c_str(), status(fw.pid, "VmRSS:").c_str());
        } catch (const std::exception &e) {
            printf("  %-16s %s\n", name.c_str(), e.what());
        }
    }
}

double idleCpuPercent(double seconds) {
    double before = cpuSeconds(firmware->pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return 100.0 * (cpuSeconds(firmware->pid) - before) / seconds;
}

}  // namespace

int main(int argc, char **argv) {
    // Repetitions of the firmware and of the floor take turns, so that both see the same load
    // of this machine; each repetition's ratio pairs neighbours.
    std::vector<char *> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = (int)args.size();
    benchmark::Initialize(&count, args.data());
    argc = count;
    argv = args.data();
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    try {
        std::string ensure = sourceDir() + "/tools/ensure_rpcbind.sh >/dev/null 2>&1";
        if (system(ensure.c_str()) != 0) fprintf(stderr, "bench_lan: no portmapper\n");
        FirmwareInstance fw;
        FirmwareInstance scale0{FirmwareInstance::Options{"1ch-20g", {{"KR_SIM_TIME_SCALE", "0"}}}};
        FirmwareInstance scale1{FirmwareInstance::Options{"1ch-20g", {{"KR_SIM_TIME_SCALE", "1"}}}};
        chain[0] = &scale0;
        chain[1] = &scale1;
        EchoServer trivial(EchoStyle::Trivial), perLine(EchoStyle::PerLine),
            polling(EchoStyle::Polling);
        firmware = &fw;
        echoes[0] = &trivial;
        echoes[1] = &perLine;
        echoes[2] = &polling;
        CollectingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);

        printf("\nRatios to the trivial line-echo server of this machine (%d repetitions):\n",
               repetitions);
        printRatio("*IDN? round trips", "BM_IdnRoundTrip/firmware/round_trips_per_s",
                   "BM_IdnRoundTrip/echo/round_trips_per_s", "(goal 0.90)");
        printRatio("*IDN? round trips, pinned", "BM_IdnRoundTripPinned/firmware/round_trips_per_s",
                   "BM_IdnRoundTripPinned/echo/round_trips_per_s", "(goal 0.90)");
        // No goal: the echo only scans for line ends, where the firmware parses and executes.
        printRatio("100,000 pipelined settings", "BM_Pipelined/firmware/lines_per_s",
                   "BM_Pipelined/echo/lines_per_s", "");
        printRatio("a fresh connection per *IDN?", "BM_FreshConnection/firmware/queries_per_s",
                   "BM_FreshConnection/echo/queries_per_s", "");
#ifdef KR_HAVE_LXI
        printRatio("*IDN? over VXI-11 vs the raw socket", "BM_Vxi11/vxi11/round_trips_per_s",
                   "BM_Vxi11/raw/round_trips_per_s", "(goal 0.50)");
#endif
        printChain("FREQ settings through the chain", "freq");
        printChain("POW settings through the chain", "pow");
        printf("For comparison, against the echo variants:\n");
        printRatio("*IDN? round trips vs polling echo",
                   "BM_IdnRoundTrip/firmware/round_trips_per_s",
                   "BM_IdnRoundTrip/echo-polling/round_trips_per_s", "");
        printRatio("pipelined settings vs per-line echo", "BM_Pipelined/firmware/lines_per_s",
                   "BM_Pipelined/echo-per-line/lines_per_s", "");

        double idleSeconds = 10;
        if (const char *env = getenv("KR_BENCH_IDLE_SECONDS")) idleSeconds = atof(env);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // last client gone
        double alone = idleCpuPercent(idleSeconds);
        int client = connectSoon(fw.port);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // connect event handled
        double withClient = idleCpuPercent(idleSeconds);
        if (client >= 0) close(client);
        printf(
            "Firmware idle CPU over %.0f s: %.3f %% without a client, %.3f %% with one "
            "connected (goal below 0.5 %%)\n",
            idleSeconds, alone, withClient);
        printf("Firmware resident memory: VmRSS%s, peak VmHWM%s (goal below 16 MB, 1ch-20g)\n",
               status(fw.pid, "VmRSS:").c_str(), status(fw.pid, "VmHWM:").c_str());
        // Every further channel adds its locked calibration table (about 0.7 MB).
        printf("Resident memory after start-up, per ready configuration:\n");
        printMemoryPerConfiguration();
    } catch (const std::exception &e) {
        fprintf(stderr, "bench_lan: %s\n", e.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
