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

void sim_hw_setTimeScale(double scale) {
    simhw_setTimeScale(scale);
}

double sim_hw_timeScale() {
    return simhw_timeScale();
}

bool sim_hw_waitIdle(double timeoutSeconds) {
    bool idle = simplayer_waitIdle(timeoutSeconds) && simfpga_waitIdle(timeoutSeconds);
    Guard g(simhw_lock());
    simhw_flushStateFile(true);
    return idle;
}

void sim_hw_reset() {
    simhw_reset();
}

void sim_hw_configure(int channels, bool uln, const char *sspe) {
    simhw_configure(channels, uln, sspe);
}

SimChannelState sim_hw_channel(int channel) {
    Guard g(simhw_lock());
    SimChannelState s = {};
    simhw_channelState(channel, &s);
    return s;
}

SimReferenceState sim_hw_reference() {
    Guard g(simhw_lock());
    return simhw_referenceState();
}

std::string sim_hw_stateJson() {
    Guard g(simhw_lock());
    return simhw_stateJson();
}

uint64_t sim_hw_ioupdates() {
    Guard g(simhw_lock());
    return simhw_ioupdateCount();
}

std::string sim_hw_freqText(const KrFreq &f) {
    return simhw_freqText(f);
}

uint64_t sim_hw_ddsRegister(int channel, int reg, bool active) {
    Guard g(simhw_lock());
    SimAd9910 *d = simhw_dds(channel);
    if (!d || reg < 0 || reg >= 23) return 0;
    return active ? d->active(reg) : d->buffered(reg);
}

std::vector<uint8_t> sim_hw_shiftRegisterImage(uint32_t slave) {
    Guard g(simhw_lock());
    SimShiftRegister *s = dynamic_cast<SimShiftRegister *>(simhw_chipBySlave(slave));
    return s ? s->image() : std::vector<uint8_t>();
}

uint64_t sim_hw_chipRegister(uint32_t slave, uint32_t address, uint64_t otherwise) {
    Guard g(simhw_lock());
    SimWordChip *c = dynamic_cast<SimWordChip *>(simhw_chipBySlave(slave));
    return c ? c->reg(address, otherwise) : otherwise;
}

uint64_t sim_hw_chipFrames(uint32_t slave) {
    Guard g(simhw_lock());
    SimChip *c = simhw_chipBySlave(slave);
    return c ? c->frames() : 0;
}

bool sim_hw_chipSelected(uint32_t slave) {
    Guard g(simhw_lock());
    SimChip *c = simhw_chipBySlave(slave);
    return c && c->isSelected();
}

void sim_hw_setTemperature(int channel, double celsius) {
    Guard g(simhw_lock());
    if (SimTc77 *t = simhw_temperatureSensor(channel)) t->setCelsius(celsius);
}

void sim_hw_setAdc(uint32_t slave, uint32_t value) {
    Guard g(simhw_lock());
    if (SimAdc *a = dynamic_cast<SimAdc *>(simhw_chipBySlave(slave))) a->setValue(value);
}

void sim_hw_setExternalReferencePresent(bool present) {
    Guard g(simhw_lock());
    simhw_setExternalReferencePresent(present);
}

void sim_hw_trigger() {
    simhw_trigger();
}

uint64_t sim_hw_fpgaRegister(uint32_t reg) {
    return simfpga_register(reg);
}

bool sim_hw_fpgaLooping(int channel) {
    return simfpga_isLooping(channel);
}

uint64_t sim_hw_fpgaPasses(int channel) {
    return simfpga_passes(channel);
}

int sim_hw_fpgaOutputValid(int channel) {
    return simfpga_outputValidCode(channel);
}

int sim_hw_fcpWord(int kind, int64_t value) {
    return simfpga_fcpWord(kind, value);
}

std::vector<uint8_t> sim_hw_fpgaRam(uint32_t index, uint32_t address, uint32_t length) {
    std::vector<uint8_t> out(length);
    Guard g(simhw_lock());
    simfpga_readRamAt(index, address, out.data(), length);
    return out;
}

uint64_t sim_hw_fpgaCommands() {
    return simfpga_commandsExecuted();
}

std::vector<SimLevelLatch> sim_hw_levelTrace(int channel) {
    Guard g(simhw_lock());
    return simhw_levelTrace(channel);
}

std::vector<SimTraceRow> sim_hw_outputTrace(int channel) {
    Guard g(simhw_lock());
    return simtrace_rows(channel);
}

void sim_hw_clearLevelTrace() {
    Guard g(simhw_lock());
    simhw_clearLevelTrace();
}

uint64_t sim_hw_levelViolations(int channel) {
    Guard g(simhw_lock());
    return simhw_levelViolations(channel);
}

std::vector<std::string> sim_hw_violations() {
    return simhw_violations();
}

void sim_hw_clearViolations() {
    simhw_clearViolations();
}

std::vector<std::string> sim_hw_logTail(size_t lines) {
    return simhw_logTail(lines);
}
