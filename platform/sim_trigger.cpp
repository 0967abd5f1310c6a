// The trigger model: triggers and their slope, type, delay and event count, the gate input,
// the trigger output's setting, and the waits of the player and FPGA threads (hardware time,
// trigger, gate) that an abort ends.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "sim_hw.h"
#include "sim_hw_internal.h"
#include "sim_trace.h"

using namespace simhw_detail;

bool simhw_waitHardware(std::unique_lock<std::mutex> &lk, double seconds, uint64_t generation) {
    Hw &h = hw();
    double s = scale().load();
    if (s == 0 && seconds > 0) h.hardwareS += seconds;
    if (s > 0 && seconds > 0) {
        simtrace_flush();  // the rows so far, while the hardware waits
        auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(seconds * s));
        h.changed.wait_until(lk, deadline, [&] { return h.abortGeneration != generation; });
    }
    return h.abortGeneration == generation;
}

uint64_t simhw_abortGeneration() {
    return hw().abortGeneration;
}

void simhw_abortWaits() {
    Hw &h = hw();
    {
        std::lock_guard<std::mutex> g(h.mutex);
        h.abortGeneration++;
    }
    h.changed.notify_all();
}

void simhw_triggerLocked() {
    Hw &h = hw();
    h.pendingTriggers++;
    h.triggers++;
    h.changed.notify_all();
}

void simhw_trigger() {
    std::lock_guard<std::mutex> g(hw().mutex);
    simhw_triggerLocked();
}

void simhw_externalEdge(bool rising) {
    bool take;
    {
        std::lock_guard<std::mutex> g(hw().mutex);
        take = hw().slopeBoth || hw().slopeRising == rising;
    }
    if (take) simhw_trigger();
}

void simhw_setTriggerSlope(bool rising) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().slopeRising = rising;
}

void simhw_setTriggerSlopeBoth(bool both) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().slopeBoth = both;
}

uint64_t simhw_triggerCount() {
    return hw().triggers;
}

// Also called by the FPGA's register writes, which hold the lock.
void simhw_setTriggerSourceImmediate(bool immediate) {
    hw().triggerImmediate = immediate;
    hw().changed.notify_all();
}

bool simhw_triggerSourceImmediate() {
    return hw().triggerImmediate;
}

// A trigger acts after the event count has been skipped.
bool simhw_waitTrigger(std::unique_lock<std::mutex> &lk, uint64_t generation) {
    Hw &h = hw();
    // Whoever looks finds the output as it waits.
    if (!h.triggerImmediate) writeStateFile(h, true);
    for (;;) {
        h.changed.wait(lk, [&] {
            return h.triggerImmediate || h.pendingTriggers > 0 || h.abortGeneration != generation;
        });
        if (h.abortGeneration != generation) return false;
        if (h.triggerImmediate) return true;
        h.pendingTriggers--;
        if (h.eventsSkipped >= h.eventCount) break;
        h.eventsSkipped++;
    }
    h.eventsSkipped = 0;
    return true;
}

void simhw_setTriggerType(uint32_t type) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().triggerType = type;
}

uint32_t simhw_triggerType() {
    return hw().triggerType;
}

void simhw_setTriggerDelay(uint64_t ticks) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().triggerDelay = ticks;
}

uint64_t simhw_triggerDelay() {
    return hw().triggerDelay;
}

void simhw_setTriggerEventCount(uint32_t count) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().eventCount = count;
    hw().eventsSkipped = 0;
}

void simhw_setTriggerOutput(uint32_t value) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().triggerOutput = value;
    hw().stateDirty = true;
}

void simhw_setGate(bool high) {
    {
        std::lock_guard<std::mutex> g(hw().mutex);
        hw().gateHigh = high;
    }
    hw().changed.notify_all();
}

bool simhw_waitGate(std::unique_lock<std::mutex> &lk, uint64_t generation) {
    Hw &h = hw();
    if (!h.gateHigh) writeStateFile(h, true);
    h.changed.wait(lk, [&] { return h.gateHigh || h.abortGeneration != generation; });
    return h.abortGeneration == generation;
}
