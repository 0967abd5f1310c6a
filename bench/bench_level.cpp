// Power settings through the whole level chain and the full self test, against the real
// firmware in a temporary simulation root whose simulated hardware waits take no wall time
// (KR_SIM_TIME_SCALE=0 unless KR_BENCH_SIM_TIME_SCALE says otherwise). On one connection:
//   - pipelined "POW" settings alternating between -10, 5 and -40 dBm at 5 GHz, ended by one
//     "*OPC?"; beside them the same count of "FREQ" settings alternating between 1 and
//     1.5 GHz as the reference;
//   - "*TST?" round trips (answer 0), per channel.
// The summary gives the POW rate as a ratio to the FREQ rate (min, median and max over the
// repetitions, each pairing a POW and a FREQ batch timed next to each other) and the self test
// per channel in seconds and in FREQ settings of the same instrument (median rate).
//
// KR_BENCH_CONFIGS lists the ready configurations to run, comma-separated (default
// 1ch-20g,4ch-fs-gpib), each measured in full.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "firmware_instance.h"

namespace {

using namespace kr_bench;

constexpr int settingsPerBatch = 2400;  // a multiple of both alternation lengths
constexpr int repetitions = 7;
constexpr int selfTestRepetitions = 3;

// There is no query for the channel count, so it comes with the configuration's name.
struct Config {
    const char *name;
    int channels;
};
const Config knownConfigs[] = {
    {"1ch-20g", 1}, {"4ch-fs-gpib", 4}, {"1ch-40g", 1}, {"1ch-20g-pe", 1}};

// The instrument under test and the one connection its single-client server takes.
class Session {
  public:
    Session(const Config &config, const std::string &timeScale)
        : config(config),
          fw_(FirmwareInstance::Options{config.name, {{"KR_SIM_TIME_SCALE", timeScale}}}),
          fd_(connectSoon(fw_.port)),
          reader_(fd_) {
        if (fd_ < 0) throw std::runtime_error("connect failed");
        expectNoError("*CLS;:OUTP ON");
    }
    ~Session() { close(fd_); }

    std::string query(const std::string &q) {
        writeAll(fd_, q + "\n");
        return reader_.line();
    }
    void send(const std::string &batch) { writeAll(fd_, batch); }
    std::string answer() { return reader_.line(); }
    // The oldest error in the queue; empty when there is none.
    std::string firstError() {
        std::string e = query("SYST:ERR?");
        return e.rfind("0,", 0) == 0 ? "" : e;
    }
    // Empty when the setting went through; else the first error.
    std::string errorAfter(const std::string &setting) {
        send(setting + "\n");
        return firstError();
    }
    void expectNoError(const std::string &setting) {
        std::string e = errorAfter(setting);
        if (!e.empty()) throw std::runtime_error(setting + ": " + e);
    }

    const Config config;

  private:
    FirmwareInstance fw_;
    int fd_;
    LineReader reader_;
};

Session *session = nullptr;

std::string batchOf(const std::vector<std::string> &settings) {
    std::string batch;
    for (int i = 0; i < settingsPerBatch; i++)
        batch += settings[(size_t)i % settings.size()] + "\n";
    return batch + "*OPC?\n";
}

// Seconds for one batch from a starting point set beforehand, untimed; the same count of
// settings and the same closing query for POW and FREQ, so that the ratio compares settings.
double timedBatch(const char *prepare, const std::string &batch) {
    session->expectNoError(prepare);
    auto start = std::chrono::steady_clock::now();
    session->send(batch);
    if (session->answer() != "1\n") throw std::runtime_error("*OPC? did not answer 1");
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A rate of rejected settings would mean nothing.
    std::string e = session->firstError();
    if (!e.empty()) throw std::runtime_error("setting rejected: " + e);
    return s;
}

// Each repetition times a POW batch and a FREQ batch next to each other, so that both see the
// same load of this machine; which goes first alternates.
void BM_PowVsFreq(benchmark::State &state) {
    static const std::string pow = batchOf({"POW -10dBm", "POW 5dBm", "POW -40dBm"});
    static const std::string freq = batchOf({"FREQ 1GHz", "FREQ 1.5GHz"});
    static int turn = 0;
    for (auto _ : state) {
        double powS, freqS;
        if (turn++ % 2 == 0) {
            powS = timedBatch("FREQ 5GHz", pow);
            freqS = timedBatch("POW -10dBm", freq);
        } else {
            freqS = timedBatch("POW -10dBm", freq);
            powS = timedBatch("FREQ 5GHz", pow);
        }
        state.SetIterationTime(powS + freqS);
        state.counters["POW_per_s"] = settingsPerBatch / powS;
        state.counters["FREQ_per_s"] = settingsPerBatch / freqS;
        state.counters["ratio"] = freqS / powS;
    }
}

void BM_SelfTest(benchmark::State &state) {
    for (auto _ : state) {
        std::string a = session->query("*TST?");
        if (a != "0\n") {
            state.SkipWithError(("*TST? answered " + a).c_str());
            return;
        }
    }
    state.counters["s_per_channel"] =
        benchmark::Counter((double)state.iterations() * session->config.channels,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_PowVsFreq)->Iterations(1)->Repetitions(repetitions)->UseManualTime();
BENCHMARK(BM_SelfTest)->Iterations(1)->Repetitions(selfTestRepetitions)->UseRealTime();

// Figures of each repetition, by configuration, benchmark and counter.
std::map<std::string, std::vector<double>> figures;

class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            for (const auto &[name, counter] : run.counters)
                figures[std::string(session->config.name) + "/" + run.run_name.function_name + "/" +
                        name]
                    .push_back(counter.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void summarize(const std::string &config) {
    std::vector<double> ratios = figures[config + "/BM_PowVsFreq/ratio"];
    double freq = median(figures[config + "/BM_PowVsFreq/FREQ_per_s"]);
    std::sort(ratios.begin(), ratios.end());
    if (!ratios.empty())
        printf("%-12s POW %6.0f/s  FREQ %6.0f/s  POW/FREQ ratio min %.3f median %.3f max %.3f\n",
               config.c_str(), median(figures[config + "/BM_PowVsFreq/POW_per_s"]), freq,
               ratios.front(), median(ratios), ratios.back());
    double selfTest = median(figures[config + "/BM_SelfTest/s_per_channel"]);
    if (selfTest > 0 && freq > 0)
        printf("%-12s self test %.3f s per channel = %.0f FREQ settings per channel\n",
               config.c_str(), selfTest, selfTest * freq);
}

std::vector<Config> configsToRun() {
    std::string list = "1ch-20g,4ch-fs-gpib";
    if (const char *env = getenv("KR_BENCH_CONFIGS")) list = env;
    std::vector<Config> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = std::min(list.find(',', start), list.size());
        std::string name = list.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        auto known = std::find_if(std::begin(knownConfigs), std::end(knownConfigs),
                                  [&](const Config &c) { return name == c.name; });
        if (known == std::end(knownConfigs))
            throw std::runtime_error("unknown configuration " + name);
        out.push_back(*known);
    }
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string timeScale = "0";
    if (const char *env = getenv("KR_BENCH_SIM_TIME_SCALE")) timeScale = env;
    try {
        std::vector<Config> configs = configsToRun();
        CollectingReporter reporter;
        for (const Config &config : configs) {
            printf("\n%s (%d channel%s), KR_SIM_TIME_SCALE=%s\n", config.name, config.channels,
                   config.channels == 1 ? "" : "s", timeScale.c_str());
            fflush(stdout);
            Session s(config, timeScale);
            session = &s;
            benchmark::RunSpecifiedBenchmarks(&reporter);
            session = nullptr;
        }
        printf("\nSummary (%d repetitions of %d settings each; self test median of %d):\n",
               repetitions, settingsPerBatch, selfTestRepetitions);
        for (const Config &config : configs)
            summarize(config.name);
    } catch (const std::exception &e) {
        fprintf(stderr, "bench_level: %s\n", e.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
