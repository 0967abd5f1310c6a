// The simulated hardware behind kr_generic_io: the chips at their bus and slave addresses,
// the I/O update that makes prepared registers take effect together, the observable state
// of each channel computed from what the chips hold, the hardware log and the list of
// protocol violations. Platform-internal; tests reach it through platform/sim/hardware_sim.h.
//
// Layout: the chips sit where hw/board_slaves.h puts them. What the wire cannot tell (how
// many channels, which step attenuator module, which reference board) is read from the
// serial number file /korvane/dev/sn of the simulation root, as the real hardware simply is
// what it is.
//
// One mutex (simhw_lock) guards every chip and the state; the player and FPGA threads hold it
// while they apply a command and release it while they wait.
#pragma once

#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device/krfreq.h"
#include "platform/sim_level.h"

class SimChip;
class SimAd9910;
class SimAd9164;
class SimAd5643;

constexpr int SIMHW_CHANNELS = 8;
// Past this size the hardware log becomes hardware.log.1 (the one old file kept) and starts
// afresh.
constexpr long SIMHW_LOG_FILE_BYTES = 4L << 20;

struct SimChannelState {
    int index;       // 1-based
    const char *rf;  // "on", "muted" or "off"
    bool frequencyValid;
    KrFreq frequency;     // synthesized output
    KrFreq ddsFrequency;  // DDS output
    KrFreq ddsClock;
    uint64_t ftw;
    bool ddsPoweredDown;
    bool highResolution;  // the DDS ramp dithers between two tuning words
    double phaseRad;
    const char *path;  // "direct", "band0", "band1", "band2", "unknown"
    int filter;        // -1 unknown
    uint32_t n1, n2, r;
    int gainStage;
    double attenuationADb, attenuationBDb, attenuationLoopDb;
    uint32_t alcDac;
    double loopFilterOhm;
    const char *sspeType;  // "" none
    const char *sspePath;  // "through", "attenuated", ""
    uint32_t sspeCode1, sspeCode2;
    double sspeDb;
    double temperatureC;
    bool blanking;  // RF blanked between sweep points
    // 40 GHz board: the DDS fields above describe its AD9164, path is "direct", "pll" or
    // "doubler", n2 is 1.
    bool board40g;
    uint32_t multiplier;  // output doubler: 2, else 1
    bool alcEnabled;      // 40 GHz and generic boards: level loop closed
    // Generic board: the DDS fields describe its AD9912, path is "direct" or "pll".
    bool generic;
    bool alcHold;  // level loop integrator held
    double vcoHz;  // the VCO in use, 0 on the direct path
    // The level model (sim_level.h): the output power while RF is out, whether the loop holds
    // it, the 16-bit controller and 14-bit VCO tuning readings, the overshoots flagged.
    bool outputOn;
    double outputDbm;
    bool levelled;
    uint32_t controllerCode, vcoCode;
    uint64_t levelViolations;
    // The DDS ramp as a chirp (20 GHz board): its limits and step at the output, the time of
    // one ramp and its run.
    bool chirpRamping;
    KrFreq chirpLow, chirpHigh, chirpStep;
    double chirpRampSeconds;
    const char *chirpDirection;
};

// A latch of a stage that sets the output level: the attenuators and the ALC DAC's channel A
// take effect at their latch, the shift registers' gain-stage, level-loop and power-extension
// bits with the next I/O update. stage: "att_a", "att_b", "att_loop", "alc_dac", "gain_stage",
// "alc" (enable 1, hold 2, sample 4, mute 8) or "power_extension" (dB).
struct SimLevelLatch {
    int channel;  // 0-based
    const char *stage;
    double value;
    uint64_t ioupdate;  // I/O updates so far
};
// Latches kept per channel; older ones are dropped.
constexpr size_t SIMHW_LEVEL_TRACE_MAX = 4096;
// A level change ends when no level latch or I/O update came for this long (hardware time);
// the output during it may not exceed both the level before and after by more than the limit.
constexpr double SIMHW_LEVEL_SETTLE_S = 0.020;
constexpr double SIMHW_LEVEL_OVERSHOOT_DB = 0.5;

// What the serial number of the simulation root says about the hardware.
struct SimLayout {
    int channels = 1;
    bool uln = false;
    char sspe[SIMHW_CHANNELS] = {};  // '1' 12G at output, '2' 40G at output, '3' 40G on board
    SimLevelBoard board[SIMHW_CHANNELS] = {};  // the output board (sim_board.h)
    // 20 GHz boards from revision 1B on lock the VCO (not the output) and divide it by N1.
    bool vcoLoop[SIMHW_CHANNELS] = {};
    bool operator==(const SimLayout &o) const;
};

struct SimReferenceState {
    const char *source;  // "internal" or "external"
    KrFreq frequency;
    bool locked;
    bool outputOn;
    KrFreq outputFrequency;
};

// Starts a detached worker of the simulated hardware with a small stack (the firmware locks
// its memory, so a default-sized stack would count in full).
void simhw_spawn(void (*body)(intptr_t), intptr_t argument);

std::mutex &simhw_lock();
// Signalled on every change that a waiting player or FPGA thread may care about.
std::condition_variable &simhw_changed();

// The layout of the root's serial number (a single 20 GHz channel when there is none).
SimLayout simhw_readLayout();
SimLevelBoard simhw_levelBoard(const SimLayout &lay, int channel);
// Attaches the simulation (first device open): reads the layout, places the chips.
void simhw_attach();
// Back to power-on state: chips, state, violations, queues (tests).
void simhw_reset();
// Replaces the layout read from the serial number (tests): channel count, low-noise reference
// board (the output boards stay 20 GHz ones), and per channel the step attenuator module ('0' none,
// '1' SSPE12G at the output, '2' SSPE40G at the output, '3' SSPE40G on the board, '4' SSPE20G at
// the output).
void simhw_configure(int channels, bool uln, const char *sspe);

// Caller holds simhw_lock.
SimChip *simhw_chipAt(uint32_t bus, uint32_t slave);
SimChip *simhw_chipBySlave(uint32_t slave);  // the driver's SPI does not see the bus
SimAd9910 *simhw_dds(int channel);           // nullptr on a 40 GHz board
SimAd9164 *simhw_rfdac(int channel);
SimAd5643 *simhw_alcDac(int channel);
class SimTc77;
SimTc77 *simhw_temperatureSensor(int channel);  // -1: the controller board's
int simhw_channelCount();
// A register outside the channels (reference, controller) took new contents: the observable
// state follows at once. Caller holds simhw_lock.
void simhw_boardRegisterChanged();
// What a shift register's image means for its board (path, filter, dividers; the reference's
// source), as " name=value" pairs for the log; empty when the simulation does not decode it.
class SimShiftRegister;
void simhw_describeShiftRegister(const SimShiftRegister *s, char *out, size_t size);
// A level stage's chip latched a value (attenuator word, DAC load, shift-register frame).
// Caller holds simhw_lock.
void simhw_levelLatch(const SimChip *chip);
// A level converter's model reading: the controller (16 bits) or the VCO tuning voltage.
uint32_t simhw_levelReading(int channel, bool controller);
std::vector<SimLevelLatch> simhw_levelTrace(int channel);
void simhw_clearLevelTrace();
// Level changes that overshot, per channel (-1: all); a change that has settled by now counts.
uint64_t simhw_levelViolations(int channel);
// A number in the stimulus file $KORVANE_ROOT/sim/<name>; false when there is none.
bool simhw_stimulus(const char *name, double *value);
// I/O update: channel -1 updates every chip.
void simhw_ioupdate(int channel);
// A row of the output trace for every channel as it stands (the point timer started).
void simhw_traceNow();
void simhw_setBlanking(int channel, bool on);  // channel -1: all
uint64_t simhw_ioupdateCount();

// Protocol violations and the hardware log. Any thread; they take their own small lock, so
// they may be called with or without simhw_lock.
void simhw_violation(const char *format, ...) __attribute__((format(printf, 1, 2)));
// A line of the simulation itself ("-" where a chip line names its channel): format begins
// with the part speaking (SIM, DRIVER, FS_FPGA).
void simhw_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
// This second's budget of log lines is spent: what would be logged now is left out (and
// need not be worked out).
bool simhw_logFull();
// The log line of a register write: "<time> #<sequence> ch<n>|board <chip> <register> = "
// followed by format (the value first, then what it means as name=value pairs). channel -1: a
// chip outside the channels.
void simhw_logRegister(int channel, const char *chip, const char *reg, const char *format,
                       va_list args);
void simhw_logAt(int channel, const char *chip, const char *reg, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
std::vector<std::string> simhw_violations();
void simhw_clearViolations();
std::vector<std::string> simhw_logTail(size_t lines);

// Time: hardware seconds are multiplied by the scale (0: no waiting at all).
double simhw_timeScale();
void simhw_setTimeScale(double scale);
// Waits t hardware seconds unless the abort generation changes. Caller holds the lock
// through lk. false when aborted.
bool simhw_waitHardware(std::unique_lock<std::mutex> &lk, double seconds, uint64_t generation);
uint64_t simhw_abortGeneration();
// Ends every wait in progress (stop sequences, reset).
void simhw_abortWaits();

// Triggers: a trigger event for waiting programs (software trigger or a test).
void simhw_trigger();
// The same from a caller that holds simhw_lock (the FPGA's register writes).
void simhw_triggerLocked();
// An edge at the external trigger input: a trigger when the slope the driver was given
// takes it (positive, negative or both).
void simhw_externalEdge(bool rising);
// The driver's trigger model: type (0 normal, 1 gate, 2 point), the delay after a trigger
// in timer ticks and the triggers skipped before one acts. Caller holds simhw_lock for the
// getters.
constexpr uint32_t SIMHW_TRIGGER_NORMAL = 0;
constexpr uint32_t SIMHW_TRIGGER_GATE = 1;
constexpr uint32_t SIMHW_TRIGGER_POINT = 2;
void simhw_setTriggerType(uint32_t type);
uint32_t simhw_triggerType();
void simhw_setTriggerDelay(uint64_t ticks);
uint64_t simhw_triggerDelay();
void simhw_setTriggerEventCount(uint32_t count);
// The trigger-output connector's setting (KRTPT_OUT_* flags), shown in the state file.
void simhw_setTriggerOutput(uint32_t value);
// The gate input's level (sim/control.sock "gate 0|1"); a gated timer waits while it is low.
void simhw_setGate(bool high);
bool simhw_waitGate(std::unique_lock<std::mutex> &lk, uint64_t generation);
// The driver's trigger slope: the first edge rising or falling, and whether both count.
void simhw_setTriggerSlope(bool rising);
void simhw_setTriggerSlopeBoth(bool both);
uint64_t simhw_triggerCount();
void simhw_setTriggerSourceImmediate(bool immediate);
bool simhw_triggerSourceImmediate();
// Waits for the next trigger unless aborted; caller holds the lock.
bool simhw_waitTrigger(std::unique_lock<std::mutex> &lk, uint64_t generation);

// Observable state (caller holds the lock, or use the copies below).
bool simhw_channelState(int channel, SimChannelState *out);
SimReferenceState simhw_referenceState();
std::string simhw_stateJson();
void simhw_setExternalReferencePresent(bool present);
// Writes the state file when it changed: at once with force, else only when the last write
// is long enough ago. Returns true while a change remains unwritten. Caller holds the lock.
bool simhw_flushStateFile(bool force);
// Called by the player and the FPGA streams when they run out of work: writes the last
// change once the write interval has passed, unless new work arrives first. New work is
// announced on wake (default: the shared simhw_changed).
void simhw_settle(std::unique_lock<std::mutex> &lk, bool (*busy)(),
                  std::condition_variable *wake = nullptr);

// Exact decimal text of a frequency: integer hertz, ".", 20 fraction digits.
std::string simhw_freqText(const KrFreq &f);
// A file below the simulation root's sim/ ("" without a root).
std::string simhw_simFile(const char *name);
// The same into a fixed buffer, trailing fraction zeros (and a bare ".") dropped: "1000000000",
// "0.5".
void simhw_formatFreq(char *out, size_t size, const KrFreq &f);
