#include "sim_trace.h"

#include <cstdio>
#include <deque>
#include <string>

#include "sim_hw.h"

namespace {

struct Timer {
    bool running = false;
    int64_t point = -1;
    uint64_t dwell = 0, delay = 0;
};

struct Trace {
    std::deque<SimTraceRow> rows;
    Timer timer[SIMHW_CHANNELS];
    FILE *file = nullptr;
    std::string path;
    size_t fileRows = 0;
};

Trace &tr() {
    static Trace *t = new Trace;
    return *t;
}

// The file of the current root (looked up when it is opened: a new root comes with a reset,
// which clears the trace), started with its header when new or full.
FILE *traceFile(Trace &t) {
    if (t.file && t.fileRows < SIMTRACE_FILE_ROWS) return t.file;
    std::string path = simhw_simFile("output-trace.csv");
    if (path.empty()) return nullptr;
    if (t.file) {
        fclose(t.file);
        t.file = nullptr;
    }
    if (!t.file) {
        t.file = fopen(path.c_str(), "w");
        if (!t.file) return nullptr;
        setvbuf(t.file, nullptr, _IOFBF, 1 << 16);
        t.path = path;
        t.fileRows = 0;
        fputs(
            "tick,channel,point,frequency_hz,output_dbm,att_a_db,att_b_db,module_db,alc_dac,"
            "phase_rad,rf,blanking,dwell_ticks,delay_ticks\n",
            t.file);
    }
    return t.file;
}

}  // namespace

void simtrace_setTimer(bool running, int64_t point, uint64_t dwellTicks, uint64_t delayTicks,
                       int channel) {
    for (int c = 0; c < SIMHW_CHANNELS; c++)
        if (channel < 0 || channel == c)
            tr().timer[c] = Timer{running, running ? point : -1, dwellTicks, delayTicks};
}

const Timer &timerOf(int channel) {
    return tr().timer[channel >= 0 && channel < SIMHW_CHANNELS ? channel : 0];
}

int64_t simtrace_point(int channel) {
    return timerOf(channel).point;
}

bool simtrace_timerRunning(int channel) {
    return timerOf(channel).running;
}

uint64_t simtrace_pointPeriod(int channel) {
    return timerOf(channel).dwell + timerOf(channel).delay;
}

uint64_t simtrace_dwellTicks(int channel) {
    return timerOf(channel).dwell;
}

uint64_t simtrace_delayTicks(int channel) {
    return timerOf(channel).delay;
}

void simtrace_record(const SimTraceRow &row) {
    Trace &t = tr();
    t.rows.push_back(row);
    if (t.rows.size() > SIMTRACE_MEMORY_ROWS) t.rows.pop_front();
    FILE *f = traceFile(t);
    if (!f) return;
    std::string freq = simhw_freqText(row.frequency);
    char level[24] = "off";
    if (row.outputOn) snprintf(level, sizeof(level), "%.2f", row.outputDbm);
    fprintf(f, "%llu,%d,%lld,%s,%s,%.1f,%.1f,%.1f,%u,%.6f,%s,%d,%llu,%llu\n",
            (unsigned long long)row.tick, row.channel, (long long)row.point, freq.c_str(), level,
            row.attenuationADb, row.attenuationBDb, row.moduleDb, (unsigned)row.alcDac,
            row.phaseRad, row.rf, row.blanking ? 1 : 0, (unsigned long long)row.dwellTicks,
            (unsigned long long)row.delayTicks);
    t.fileRows++;
}

void simtrace_flush() {
    if (tr().file) fflush(tr().file);
}

std::vector<SimTraceRow> simtrace_rows(int channel) {
    std::vector<SimTraceRow> out;
    for (const SimTraceRow &r : tr().rows)
        if (channel < 0 || r.channel == channel) out.push_back(r);
    return out;
}

void simtrace_clear() {
    Trace &t = tr();
    t.rows.clear();
    if (t.file) {
        fclose(t.file);
        t.file = nullptr;
    }
    traceFile(t);  // a person finds the file, with its header, before the first row
}
