// The observable state as text: the state file sim/hardware-state.json and its JSON, the
// changes an I/O update made as the log shows them, the output trace's rows, and the exact
// text of a frequency.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "kr_generic_io.h"
#include "sim_board.h"
#include "sim_chip.h"
#include "sim_clock.h"
#include "sim_cont.h"
#include "sim_fpga.h"
#include "sim_hw.h"
#include "sim_hw_internal.h"
#include "sim_mod.h"
#include "sim_pulse.h"
#include "sim_trace.h"

using namespace simhw_detail;

namespace {

constexpr auto stateFileInterval = std::chrono::milliseconds(50);

// The clock the channels' point timers count.
double tickHz() {
    return simfpga_present() ? SIMCLOCK_FS_HZ : SIMCLOCK_HZ;
}

// What the trigger-output connector shows.
const char *triggerOutputName(uint32_t value) {
    static const struct {
        uint32_t bit;
        const char *name;
    } modes[] = {{KRTPT_OUT_VALID, "valid"},
                 {KRTPT_OUT_GATE, "gate"},
                 {KRTPT_OUT_IOUPDATE, "ioupdate"},
                 {KRTPT_OUT_POINT, "point"},
                 {KRTPT_OUT_TRIGGER, "trigger"},
                 {KRTPT_OUT_HIGH, "high"},
                 {KRTPT_OUT_LOW, "low"}};
    for (const auto &m : modes)
        if (value & m.bit) return m.name;
    return "off";
}

std::string json(Hw &h) {
    std::string j = "{\"channels\": [";
    char text[1024];
    for (int c = 0; c < h.layout.channels; c++) {
        const SimChannelState &s = h.snapshot[c];
        snprintf(text, sizeof(text),
                 "%s\n  {\"index\": %d, \"rf\": \"%s\", \"frequency_hz\": %s%s%s, "
                 "\"dds_frequency_hz\": \"%s\", \"dds_clock_hz\": \"%s\", \"ftw\": %llu, "
                 "\"dds_high_resolution\": %s, \"phase_rad\": %.9f, \"path\": \"%s\", "
                 "\"filter\": %d, \"n1\": %u, \"n2\": %u, \"r\": %u, \"gain_stage\": %d, "
                 "\"attenuation_a_db\": %.1f, \"attenuation_b_db\": %.1f, "
                 "\"attenuation_loop_db\": %.1f, \"alc_dac\": %u, \"loop_filter_ohm\": %.1f, "
                 "\"blanking\": %s, \"temperature_c\": %.4f",
                 c ? "," : "", s.index, simpulse_rf(c, s.rf), s.frequencyValid ? "\"" : "",
                 s.frequencyValid ? simhw_freqText(s.frequency).c_str() : "null",
                 s.frequencyValid ? "\"" : "", simhw_freqText(s.ddsFrequency).c_str(),
                 simhw_freqText(s.ddsClock).c_str(), (unsigned long long)s.ftw,
                 s.highResolution ? "true" : "false", s.phaseRad, s.path, s.filter, s.n1, s.n2, s.r,
                 s.gainStage, s.attenuationADb, s.attenuationBDb, s.attenuationLoopDb, s.alcDac,
                 s.loopFilterOhm, s.blanking ? "true" : "false", s.temperatureC);
        j += text;
        if (const SimBoard &b = simboard(h.layout.board[c]); b.stateName) {
            snprintf(text, sizeof(text), ", \"board\": \"%s\"", b.stateName);
            j += text;
            if (b.tellsMultiplier) {
                snprintf(text, sizeof(text), ", \"multiplier\": %u", s.multiplier);
                j += text;
            }
            snprintf(text, sizeof(text), ", \"alc\": %s", s.alcEnabled ? "true" : "false");
            j += text;
        }
        char out[24];
        dbmText(out, levelDbm(s));
        const ChannelChips &k = h.ch[c];
        snprintf(text, sizeof(text),
                 ", \"output_dbm\": %s, \"levelled\": %s, \"alc_adc\": %u, \"vco_adc\": %u, "
                 "\"level_violations\": %llu",
                 s.outputOn ? out : "null", s.levelled ? "true" : "false", k.alcAdc->reading() >> 2,
                 k.vcoAdc->reading(), (unsigned long long)s.levelViolations);
        j += text;
        if (*s.sspeType) {
            snprintf(text, sizeof(text),
                     ", \"power_extension\": {\"type\": \"%s\", \"path\": \"%s\", \"code1\": %u, "
                     "\"code2\": %u, \"attenuation_db\": %.1f}",
                     s.sspeType, s.sspePath, s.sspeCode1, s.sspeCode2, s.sspeDb);
            j += text;
        }
        // The standard driver's records mark no pass boundary; the FPGA counts its passes.
        char passes[24] = "null";
        if (simfpga_present())
            snprintf(passes, sizeof(passes), "%llu", (unsigned long long)simfpga_passes(c));
        snprintf(text, sizeof(text),
                 ", \"sweep\": {\"timer\": %s, \"point_time_s\": %.9g, \"points_played\": "
                 "%lld, \"passes\": %s, \"tick\": %llu, \"tick_hz\": %.0f}",
                 simtrace_timerRunning(c) ? "true" : "false", simtrace_pointPeriod(c) / tickHz(),
                 (long long)(simtrace_point(c) < 0 ? 0 : simtrace_point(c) + 1), passes,
                 (unsigned long long)simclock_ticks(c), tickHz());
        j += text;
        simpulse_appendJson(c, j);
        simmod_appendJson(c, j);
        if (s.chirpRamping)
            snprintf(text, sizeof(text),
                     ", \"chirp\": {\"ramping\": true, \"low_hz\": \"%s\", \"high_hz\": \"%s\", "
                     "\"step_hz\": \"%s\", \"ramp_time_s\": %.9g, \"direction\": \"%s\"}",
                     simhw_freqText(s.chirpLow).c_str(), simhw_freqText(s.chirpHigh).c_str(),
                     simhw_freqText(s.chirpStep).c_str(), s.chirpRampSeconds, s.chirpDirection);
        else
            snprintf(text, sizeof(text),
                     ", \"chirp\": {\"ramping\": false, \"low_hz\": null, \"high_hz\": null, "
                     "\"step_hz\": null, \"ramp_time_s\": null, \"direction\": null}");
        j += text;
        simfpga_appendFcpJson(c, j);
        snprintf(text, sizeof(text),
                 ", \"fs\": {\"looping\": %s, \"passes\": %llu, \"output_valid\": %d}}",
                 simfpga_isLooping(c) ? "true" : "false", (unsigned long long)simfpga_passes(c),
                 simfpga_outputValidCode(c));
        j += text;
    }
    static const char *const types[] = {"normal", "gate", "point"};
    snprintf(text, sizeof(text),
             "],\n \"trigger\": {\"immediate\": %s, \"type\": \"%s\", \"gate\": %s, "
             "\"triggers\": %llu, \"output\": \"%s\", \"output_inverted\": %s}",
             h.triggerImmediate ? "true" : "false", h.triggerType < 3 ? types[h.triggerType] : "?",
             h.gateHigh ? "true" : "false", (unsigned long long)h.triggers,
             triggerOutputName(h.triggerOutput),
             (h.triggerOutput & KRTPT_OUT_FLAG_INVERSE_POLARITY) ? "true" : "false");
    j += text;
    simcont_json(j, h.triggerOutput);
    const SimReferenceState &r = h.reference;
    snprintf(text, sizeof(text),
             ",\n \"reference\": {\"source\": \"%s\", \"frequency_hz\": \"%s\", \"locked\": %s, "
             "\"output\": %s, \"output_frequency_hz\": \"%s\"},\n \"ioupdates\": %llu, "
             "\"violations\": %zu}\n",
             r.source, simhw_freqText(r.frequency).c_str(), r.locked ? "true" : "false",
             r.outputOn ? "true" : "false", simhw_freqText(r.outputFrequency).c_str(),
             (unsigned long long)h.ioupdates, simhw_violations().size());
    j += text;
    return j;
}

bool sameFreq(const KrFreq &a, const KrFreq &b) {
    return a.integer == b.integer && a.fraction == b.fraction;
}

// Exact decimal text, 20 fraction digits; the length.
int freqDigits(char (&text)[64], const KrFreq &f) {
    bool negative = f.integer < 0;
    u128 v = q64(f);
    if (negative) v = ~v + 1;
    uint64_t integer = (uint64_t)(v >> 64), fraction = (uint64_t)v;
    int n =
        snprintf(text, sizeof(text), "%s%llu.", negative ? "-" : "", (unsigned long long)integer);
    for (int i = 0; i < 20; i++) {
        u128 x = (u128)fraction * 10;
        text[n++] = (char)('0' + (int)(x >> 64));
        fraction = (uint64_t)x;
    }
    text[n] = 0;
    return n;
}

}  // namespace

namespace simhw_detail {

void snapshot(Hw &h) {
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        h.snapshot[c] = computeChannel(h, c);
        evaluateLevel(h, c, &h.snapshot[c]);
    }
    h.reference = computeReference(h);
}

// The fields of a channel's state that an I/O update changed, under the state file's names.
void describeChanges(const SimChannelState &o, const SimChannelState &n, Pairs &p) {
    if (strcmp(o.rf, n.rf) != 0) p.add("rf=%s", n.rf);
    if (o.frequencyValid != n.frequencyValid || !sameFreq(o.frequency, n.frequency)) {
        if (n.frequencyValid)
            p.freq("frequency_hz", n.frequency);
        else
            p.add("frequency_hz=null");
    }
    if (!sameFreq(o.ddsFrequency, n.ddsFrequency)) p.freq("dds_frequency_hz", n.ddsFrequency);
    if (!sameFreq(o.ddsClock, n.ddsClock)) p.freq("dds_clock_hz", n.ddsClock);
    if (o.ftw != n.ftw) p.add("ftw=%llu", (unsigned long long)n.ftw);
    if (o.highResolution != n.highResolution)
        p.add("dds_high_resolution=%s", n.highResolution ? "true" : "false");
    if (o.phaseRad != n.phaseRad) p.add("phase_rad=%.9f", n.phaseRad);
    if (strcmp(o.path, n.path) != 0) p.add("path=%s", n.path);
    if (o.filter != n.filter) p.add("filter=%d", n.filter);
    if (o.n1 != n.n1) p.add("n1=%u", n.n1);
    if (o.n2 != n.n2) p.add("n2=%u", n.n2);
    if (o.r != n.r) p.add("r=%u", n.r);
    if (o.multiplier != n.multiplier) p.add("multiplier=%u", n.multiplier);
    if (o.gainStage != n.gainStage) p.add("gain_stage=%d", n.gainStage);
    if (o.attenuationADb != n.attenuationADb) p.add("attenuation_a_db=%.1f", n.attenuationADb);
    if (o.attenuationBDb != n.attenuationBDb) p.add("attenuation_b_db=%.1f", n.attenuationBDb);
    if (o.attenuationLoopDb != n.attenuationLoopDb)
        p.add("attenuation_loop_db=%.1f", n.attenuationLoopDb);
    if (o.alcDac != n.alcDac) p.add("alc_dac=%u", n.alcDac);
    if (o.alcEnabled != n.alcEnabled) p.add("alc=%s", n.alcEnabled ? "true" : "false");
    if (o.loopFilterOhm != n.loopFilterOhm) p.add("loop_filter_ohm=%.1f", n.loopFilterOhm);
    if (o.blanking != n.blanking) p.add("blanking=%s", n.blanking ? "true" : "false");
    if (o.chirpRamping != n.chirpRamping) p.add("chirp=%s", n.chirpRamping ? "true" : "false");
    if (o.sspeDb != n.sspeDb || strcmp(o.sspePath, n.sspePath) != 0)
        p.add("power_extension=%s/%.1f", *n.sspePath ? n.sspePath : "-", n.sspeDb);
    if (levelDbm(o) != levelDbm(n)) {
        char out[24];
        dbmText(out, levelDbm(n));
        p.add("output_dbm=%s", out);
    }
    if (o.levelled != n.levelled) p.add("levelled=%s", n.levelled ? "true" : "false");
}

void traceRow(Hw &h, int c) {
    const SimChannelState &s = h.snapshot[c];
    SimTraceRow row{simclock_ticks(c),
                    c,
                    simtrace_point(c),
                    s.frequency,
                    s.outputOn,
                    s.outputDbm,
                    s.attenuationADb,
                    s.attenuationBDb,
                    s.sspeDb,
                    s.alcDac,
                    s.phaseRad,
                    simpulse_rf(c, s.rf),
                    s.blanking,
                    simtrace_dwellTicks(c),
                    simtrace_delayTicks(c)};
    simtrace_record(row);
}

// Caller holds the lock. true while a change remains unwritten.
// A level change still settling keeps it unwritten while hardware time runs by itself.
bool writeStateFile(Hw &h, bool force) {
    bool settling = settleLevels(h) && scale().load() > 0;
    if (!h.stateDirty) return settling;
    Clock::time_point now = Clock::now();
    if (!force && now - h.lastStateWrite < stateFileInterval) return true;
    std::string path = simFile("hardware-state.json");
    h.stateDirty = false;
    h.lastStateWrite = now;
    simtrace_flush();  // never behind the state a reader waits for
    if (path.empty()) return false;
    std::string text = json(h);
    std::string tmp = path + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    if (!f) return false;
    fputs(text.c_str(), f);
    fclose(f);
    rename(tmp.c_str(), path.c_str());
    return settling;
}

}  // namespace simhw_detail

void simhw_traceNow() {
    Hw &h = hw();
    snapshot(h);
    h.stateDirty = true;
    for (int c = 0; c < h.layout.channels; c++)
        traceRow(h, c);
    simtrace_flush();
}

std::string simhw_stateJson() {
    return json(hw());
}

bool simhw_flushStateFile(bool force) {
    return writeStateFile(hw(), force);
}

void simhw_settle(std::unique_lock<std::mutex> &lk, bool (*busy)(), std::condition_variable *wake) {
    Hw &h = hw();
    std::condition_variable &cv = wake ? *wake : h.changed;
    while (!busy() && writeStateFile(h, false))
        cv.wait_for(lk, stateFileInterval, busy);
}

std::string simhw_freqText(const KrFreq &f) {
    char text[64];
    freqDigits(text, f);
    return text;
}

void simhw_formatFreq(char *out, size_t size, const KrFreq &f) {
    char text[64];
    int n = freqDigits(text, f);
    while (text[n - 1] == '0')
        n--;
    if (text[n - 1] == '.') n--;
    text[n] = 0;
    snprintf(out, size, "%s", text);
}
