// Frequency multiply and divide by a 32-bit integer against the same operation done with the
// compiler's 128-bit integers, measured in one run. The 128-bit versions sit behind the same
// out-of-line call shape (KrFreq in, KrFreq out) so that only the arithmetic differs.
// The summary at the end prints krfreq time / __int128 time for each pair (medians when
// repeated).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "device/krfreq.h"

namespace {

typedef __int128 i128;
typedef unsigned __int128 u128;

constexpr int kValues = 1024;  // power of two: the index wraps with a mask

struct Inputs {
    KrFreq f[kValues];
    int32_t m[kValues];  // non-negative multipliers and positive divisors
};

const Inputs &inputs() {
    static Inputs in = [] {
        Inputs v;
        std::mt19937_64 rng(0x6b72);
        for (int i = 0; i < kValues; ++i) {
            // Frequencies up to a few hundred GHz with full fractions, both signs.
            v.f[i].integer = (int64_t)(rng() % 400000000000ull) - 200000000000ll;
            v.f[i].fraction = rng();
            v.m[i] = (int32_t)(rng() % 0x7FFFFFFFu) + 1;
        }
        return v;
    }();
    return in;
}

__attribute__((noinline)) void int128MultiplyByInt32(KrFreq *out, const KrFreq *f, int32_t m) {
    i128 v = (i128)(((u128)(uint64_t)f->integer << 64) | f->fraction);
    u128 r = (u128)v * (u128)(i128)m;
    out->integer = (int64_t)(uint64_t)(r >> 64);
    out->fraction = (uint64_t)r;
}

__attribute__((noinline)) void int128DivideByInt32(KrFreq *out, const KrFreq *f, int32_t d) {
    i128 v = (i128)(((u128)(uint64_t)f->integer << 64) | f->fraction);
    u128 r = (u128)(v / d);
    out->integer = (int64_t)(uint64_t)(r >> 64);
    out->fraction = (uint64_t)r;
}

template <void (*Op)(KrFreq *, const KrFreq *, int32_t)>
void run(benchmark::State &state) {
    const Inputs &in = inputs();
    KrFreq out;
    unsigned i = 0;
    for (auto _ : state) {
        Op(&out, &in.f[i & (kValues - 1)], in.m[i & (kValues - 1)]);
        benchmark::DoNotOptimize(out);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_MultiplyByInt32_krfreq(benchmark::State &state) {
    run<krfreqMultiplyByInt32>(state);
}
void BM_MultiplyByInt32_int128(benchmark::State &state) {
    run<int128MultiplyByInt32>(state);
}
void BM_DivideByInt32_krfreq(benchmark::State &state) {
    run<krfreqDivideByInt32>(state);
}
void BM_DivideByInt32_int128(benchmark::State &state) {
    run<int128DivideByInt32>(state);
}

BENCHMARK(BM_MultiplyByInt32_krfreq);
BENCHMARK(BM_MultiplyByInt32_int128);
BENCHMARK(BM_DivideByInt32_krfreq);
BENCHMARK(BM_DivideByInt32_int128);

// Console output as usual, plus the CPU time per iteration of every run, so that the
// summary can take the median when the cases are repeated (--benchmark_repetitions).
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                cpuTimes[r.run_name.str()].push_back(r.GetAdjustedCPUTime());
            } else if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                medians[r.run_name.str()] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double median(const std::string &name) {
        auto m = medians.find(name);
        if (m != medians.end()) return m->second;  // only aggregates were reported
        auto it = cpuTimes.find(name);
        if (it == cpuTimes.end() || it->second.empty()) return 0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }

  private:
    std::map<std::string, std::vector<double>> cpuTimes;
    std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    printf("\nratio krfreq / __int128 (CPU time per operation; goal: at most 2)\n");
    for (const char *op : {"MultiplyByInt32", "DivideByInt32"}) {
        std::string base = std::string("BM_") + op;
        double k = reporter.median(base + "_krfreq");
        double w = reporter.median(base + "_int128");
        if (k <= 0 || w <= 0) continue;  // filtered out
        printf("  krfreq%-16s %.2f  (%.2f ns vs %.2f ns)\n", op, k / w, k, w);
    }
    return 0;
}
