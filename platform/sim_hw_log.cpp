// The hardware log (hardware.log: a ring of the last lines, the file and its rotation, a
// budget of lines a second) and the protocol violations.
//
// One line per register write or decoded change, each written with its own write() so that
// a person following the file sees a setting as it happens. Lines are formatted into fixed
// buffers: the chips log from the player and FPGA threads, in sweeps too.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "sim_hw.h"
#include "sim_hw_internal.h"

using namespace simhw_detail;

namespace {

constexpr size_t logRingLines = 1000;
constexpr size_t violationsKept = 256;

constexpr size_t logLineMax = 512;
constexpr unsigned logLinesPerSecond = 10000;  // a looping sweep at full speed floods no disk

struct Log {
    std::mutex mutex;
    char ring[logRingLines][logLineMax];
    size_t ringNext = 0, ringCount = 0;
    std::vector<std::string> violations;
    int fd = -1;
    char fileRoot[PATH_MAX] = {};
    char path[PATH_MAX + 8] = {};
    long fileBytes = 0;
    uint64_t sequence = 0;
    long second = -1;  // the second the rate count runs for
    unsigned linesThisSecond = 0;
    uint64_t leftOut = 0;
    Clock::time_point start = Clock::now();
};

Log &logState() {
    static Log *l = new Log;
    return *l;
}

// The log file of the current root, opened (or reopened when the root changed). Caller holds
// the log's lock.
bool logFile(Log &l) {
    const char *r = rootText();
    if (strcmp(r, l.fileRoot) != 0) {
        if (l.fd >= 0) close(l.fd);
        l.fd = -1;
        snprintf(l.fileRoot, sizeof(l.fileRoot), "%s", r);
    }
    if (l.fd >= 0) return true;
    if (!*r) return false;
    snprintf(l.path, sizeof(l.path), "%s/sim", r);
    mkdir(l.path, 0755);
    snprintf(l.path, sizeof(l.path), "%s/sim/hardware.log", r);
    l.fd = open(l.path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    struct stat st;
    l.fileBytes = l.fd >= 0 && fstat(l.fd, &st) == 0 ? (long)st.st_size : 0;
    return l.fd >= 0;
}

// Bounded: past the limit the current file becomes the one old file kept.
void rotateLog(Log &l) {
    close(l.fd);
    char old[sizeof(l.path) + 2];
    snprintf(old, sizeof(old), "%s.1", l.path);
    rename(l.path, old);
    l.fd = open(l.path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    l.fileBytes = 0;
}

// Caller holds the log's lock.
void emit(Log &l, double t, const char *where, const char *text) {
    char *line = l.ring[l.ringNext];
    int n = snprintf(line, logLineMax, "%.6f #%llu %s %s", t, (unsigned long long)++l.sequence,
                     where, text);
    size_t len = n < 0 ? 0 : (size_t)n < logLineMax ? (size_t)n : logLineMax - 1;
    l.ringNext = (l.ringNext + 1) % logRingLines;
    if (l.ringCount < logRingLines) l.ringCount++;
    if (!logFile(l)) return;
    // The newline goes out with the line, so no reader sees half of one.
    char out[logLineMax + 1];
    memcpy(out, line, len);
    out[len] = '\n';
    if (write(l.fd, out, len + 1) > 0) l.fileBytes += (long)len + 1;
    if (l.fileBytes > SIMHW_LOG_FILE_BYTES) rotateLog(l);
}

// where: "ch<n>", "board" or "-" (the simulation itself). Violations are never left out.
// Starts the next second's budget of lines once a second has passed, noting what the last one
// left out. Caller holds l.mutex.
double rollover(Log &l) {
    double t = std::chrono::duration<double>(Clock::now() - l.start).count();
    long second = (long)t;
    if (second != l.second) {
        l.second = second;
        l.linesThisSecond = 0;
        if (l.leftOut) {
            char note[96];
            snprintf(note, sizeof(note), "SIM %llu line(s) left out: more than %u in a second",
                     (unsigned long long)l.leftOut, logLinesPerSecond);
            l.leftOut = 0;
            emit(l, t, "-", note);
        }
    }
    return t;
}

// A line that would be left out is counted without being formatted.
bool budgetSpent() {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    rollover(l);
    if (l.linesThisSecond < logLinesPerSecond) return false;
    l.leftOut++;
    return true;
}

void logLine(const char *where, const char *text, bool always = false) {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    double t = rollover(l);
    if (!always && ++l.linesThisSecond > logLinesPerSecond) {
        l.leftOut++;
        return;
    }
    emit(l, t, where, text);
}

}  // namespace

void simhw_violation(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    {
        Log &l = logState();
        std::lock_guard<std::mutex> g(l.mutex);
        if (l.violations.size() < violationsKept) l.violations.push_back(text);
    }
    char line[600];
    snprintf(line, sizeof(line), "VIOLATION %s", text);
    logLine("-", line, true);
}

void simhw_log(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    logLine("-", text);
}

bool simhw_logFull() {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    rollover(l);
    return l.linesThisSecond >= logLinesPerSecond;
}

void simhw_logRegister(int channel, const char *chip, const char *reg, const char *format,
                       va_list args) {
    if (budgetSpent()) return;
    char text[logLineMax];
    int n = snprintf(text, sizeof(text), "%s %s = ", chip, reg);
    if (n > 0 && (size_t)n < sizeof(text))
        vsnprintf(text + n, sizeof(text) - (size_t)n, format, args);
    char where[16];
    if (channel >= 0)
        snprintf(where, sizeof(where), "ch%d", channel + 1);
    else
        snprintf(where, sizeof(where), "board");
    logLine(where, text);
}

void simhw_logAt(int channel, const char *chip, const char *reg, const char *format, ...) {
    va_list args;
    va_start(args, format);
    simhw_logRegister(channel, chip, reg, format, args);
    va_end(args);
}

std::vector<std::string> simhw_violations() {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    return l.violations;
}

void simhw_clearViolations() {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    l.violations.clear();
}

std::vector<std::string> simhw_logTail(size_t lines) {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    size_t n = std::min(lines, l.ringCount);
    std::vector<std::string> tail;
    for (size_t i = n; i > 0; i--)
        tail.push_back(l.ring[(l.ringNext + logRingLines - i) % logRingLines]);
    return tail;
}
