// Test API of the simulated hardware.
#include "platform/sim/hardware_sim.h"

#include "platform/sim_trace.h"

#include "platform/sim_ad9910.h"
#include "platform/sim_chip.h"
#include "platform/sim_fpga.h"
#include "platform/sim_player.h"

namespace {

using Guard = std::lock_guard<std::mutex>;

}  // namespace

void hardware_sim_setTimeScale(double scale) {
    simhw_setTimeScale(scale);
}

double hardware_sim_timeScale() {
    return simhw_timeScale();
}

bool hardware_sim_waitIdle(double timeoutSeconds) {
    bool idle = simplayer_waitIdle(timeoutSeconds) && simfpga_waitIdle(timeoutSeconds);
    Guard g(simhw_lock());
    simhw_flushStateFile(true);
    return idle;
}

void hardware_sim_reset() {
    simhw_reset();
}

void hardware_sim_configure(int channels, bool uln, const char *sspe) {
    simhw_configure(channels, uln, sspe);
}

SimChannelState hardware_sim_channel(int channel) {
    Guard g(simhw_lock());
    SimChannelState s = {};
    simhw_channelState(channel, &s);
    return s;
}

SimReferenceState hardware_sim_reference() {
    Guard g(simhw_lock());
    return simhw_referenceState();
}

std::string hardware_sim_stateJson() {
    Guard g(simhw_lock());
    return simhw_stateJson();
}

uint64_t hardware_sim_ioupdates() {
    Guard g(simhw_lock());
    return simhw_ioupdateCount();
}

std::string hardware_sim_freqText(const KrFreq &f) {
    return simhw_freqText(f);
}

uint64_t hardware_sim_ddsRegister(int channel, int reg, bool active) {
    Guard g(simhw_lock());
    SimAd9910 *d = simhw_dds(channel);
    if (!d || reg < 0 || reg >= 23) return 0;
    return active ? d->active(reg) : d->buffered(reg);
}

std::vector<uint8_t> hardware_sim_shiftRegisterImage(uint32_t slave) {
    Guard g(simhw_lock());
    SimShiftRegister *s = dynamic_cast<SimShiftRegister *>(simhw_chipBySlave(slave));
    return s ? s->image() : std::vector<uint8_t>();
}

uint64_t hardware_sim_chipRegister(uint32_t slave, uint32_t address, uint64_t otherwise) {
    Guard g(simhw_lock());
    SimWordChip *c = dynamic_cast<SimWordChip *>(simhw_chipBySlave(slave));
    return c ? c->reg(address, otherwise) : otherwise;
}

uint64_t hardware_sim_chipFrames(uint32_t slave) {
    Guard g(simhw_lock());
    SimChip *c = simhw_chipBySlave(slave);
    return c ? c->frames() : 0;
}

bool hardware_sim_chipSelected(uint32_t slave) {
    Guard g(simhw_lock());
    SimChip *c = simhw_chipBySlave(slave);
    return c && c->isSelected();
}

void hardware_sim_setTemperature(int channel, double celsius) {
    Guard g(simhw_lock());
    if (SimTc77 *t = simhw_temperatureSensor(channel)) t->setCelsius(celsius);
}

void hardware_sim_setAdc(uint32_t slave, uint32_t value) {
    Guard g(simhw_lock());
    if (SimAdc *a = dynamic_cast<SimAdc *>(simhw_chipBySlave(slave))) a->setValue(value);
}

void hardware_sim_setExternalReferencePresent(bool present) {
    Guard g(simhw_lock());
    simhw_setExternalReferencePresent(present);
}

void hardware_sim_trigger() {
    simhw_trigger();
}

uint64_t hardware_sim_fpgaRegister(uint32_t reg) {
    return simfpga_register(reg);
}

bool hardware_sim_fpgaLooping(int channel) {
    return simfpga_isLooping(channel);
}

uint64_t hardware_sim_fpgaPasses(int channel) {
    return simfpga_passes(channel);
}

int hardware_sim_fpgaOutputValid(int channel) {
    return simfpga_outputValidCode(channel);
}

int hardware_sim_fcpWord(int kind, int64_t value) {
    return simfpga_fcpWord(kind, value);
}

std::vector<uint8_t> hardware_sim_fpgaRam(uint32_t index, uint32_t address, uint32_t length) {
    std::vector<uint8_t> out(length);
    Guard g(simhw_lock());
    simfpga_readRamAt(index, address, out.data(), length);
    return out;
}

uint64_t hardware_sim_fpgaCommands() {
    return simfpga_commandsExecuted();
}

std::vector<SimLevelLatch> hardware_sim_levelTrace(int channel) {
    Guard g(simhw_lock());
    return simhw_levelTrace(channel);
}

std::vector<SimTraceRow> hardware_sim_outputTrace(int channel) {
    Guard g(simhw_lock());
    return simtrace_rows(channel);
}

void hardware_sim_clearLevelTrace() {
    Guard g(simhw_lock());
    simhw_clearLevelTrace();
}

uint64_t hardware_sim_levelViolations(int channel) {
    Guard g(simhw_lock());
    return simhw_levelViolations(channel);
}

std::vector<std::string> hardware_sim_violations() {
    return simhw_violations();
}

void hardware_sim_clearViolations() {
    simhw_clearViolations();
}

std::vector<std::string> hardware_sim_logTail(size_t lines) {
    return simhw_logTail(lines);
}
