// Frequency text conversion against the C library on the same data: parsing a text with 20
// fraction digits into KrFreq against strtod, and printing a KrFreq with 20 fraction digits
// against snprintf("%.20f") of a double. The *VsReference benchmarks time both in the same run
// and report the ratio (goal: at most 2).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "device/krfreq.h"
#include "scpi/scpi_convert.h"

namespace {

constexpr int CORPUS_SIZE = 1024;

// Carrier frequencies up to 40 GHz with a full 20-digit fraction, as answers carry them.
const std::vector<std::string> &texts() {
    static const std::vector<std::string> corpus = [] {
        std::mt19937_64 rng(2024);
        std::vector<std::string> v;
        for (int i = 0; i < CORPUS_SIZE; i++) {
            char buf[64];
            snprintf(buf, sizeof buf, "%llu.%010llu%010llu",
                     static_cast<unsigned long long>(rng() % 40000000000ull),
                     static_cast<unsigned long long>(rng() % 10000000000ull),
                     static_cast<unsigned long long>(rng() % 10000000000ull));
            v.push_back(buf);
        }
        return v;
    }();
    return corpus;
}

const std::vector<KrFreq> &values() {
    static const std::vector<KrFreq> corpus = [] {
        std::vector<KrFreq> v;
        for (const std::string &t : texts()) {
            KrFreq f = {0, 0};
            scpi_str2kr_freq(t.c_str(), &f);
            v.push_back(f);
        }
        return v;
    }();
    return corpus;
}

const std::vector<double> &doubles() {
    static const std::vector<double> corpus = [] {
        std::vector<double> v;
        for (const KrFreq &f : values())
            v.push_back(krfreq2double(&f, nullptr));
        return v;
    }();
    return corpus;
}

void parseAll() {
    for (const std::string &t : texts()) {
        KrFreq f;
        benchmark::DoNotOptimize(scpi_str2kr_freq(t.c_str(), &f));
        benchmark::DoNotOptimize(f);
    }
}

void strtodAll() {
    for (const std::string &t : texts())
        benchmark::DoNotOptimize(strtod(t.c_str(), nullptr));
}

void formatAll() {
    char out[64];
    for (const KrFreq &f : values()) {
        benchmark::DoNotOptimize(scpi_kr_freq2str(&f, out, sizeof out, nullptr));
        benchmark::ClobberMemory();
    }
}

void snprintfAll() {
    char out[64];
    for (double d : doubles()) {
        benchmark::DoNotOptimize(snprintf(out, sizeof out, "%.20f", d));
        benchmark::ClobberMemory();
    }
}

using Clock = std::chrono::steady_clock;

// Alternates the two batches every iteration so that both see the same machine state.
void compare(benchmark::State &state, void (*ours)(), void (*reference)()) {
    ours();
    reference();
    Clock::duration tOurs{}, tReference{};
    for (auto _ : state) {
        Clock::time_point t0 = Clock::now();
        ours();
        Clock::time_point t1 = Clock::now();
        reference();
        tOurs += t1 - t0;
        tReference += Clock::now() - t1;
    }
    double n = static_cast<double>(state.iterations()) * CORPUS_SIZE;
    double ours_ns = std::chrono::duration<double, std::nano>(tOurs).count() / n;
    double reference_ns = std::chrono::duration<double, std::nano>(tReference).count() / n;
    state.counters["ours_ns"] = ours_ns;
    state.counters["reference_ns"] = reference_ns;
    state.counters["ratio"] = ours_ns / reference_ns;
}

void BM_ParseVsReference(benchmark::State &state) {
    compare(state, parseAll, strtodAll);
}
void BM_FormatVsReference(benchmark::State &state) {
    compare(state, formatAll, snprintfAll);
}

void run(benchmark::State &state, void (*batch)()) {
    batch();
    for (auto _ : state)
        batch();
    state.SetItemsProcessed(state.iterations() * CORPUS_SIZE);
}

void BM_ParseKrFreq(benchmark::State &state) {
    run(state, parseAll);
}
void BM_ParseStrtod(benchmark::State &state) {
    run(state, strtodAll);
}
void BM_FormatKrFreq(benchmark::State &state) {
    run(state, formatAll);
}
void BM_FormatSnprintf(benchmark::State &state) {
    run(state, snprintfAll);
}

BENCHMARK(BM_ParseVsReference);
BENCHMARK(BM_FormatVsReference);
BENCHMARK(BM_ParseKrFreq);
BENCHMARK(BM_ParseStrtod);
BENCHMARK(BM_FormatKrFreq);
BENCHMARK(BM_FormatSnprintf);

}  // namespace
