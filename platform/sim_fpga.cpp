// The simulated FS FPGA.
#include "sim_fpga.h"

#include <errno.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "hw/fs_fpga_registers.h"
#include "sim_chip.h"
#include "sim_clock.h"
#include "sim_hw.h"
#include "sim_mod.h"
#include "sim_pulse.h"
#include "sim_trace.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int channels = 4;
constexpr size_t queueLimit = 1u << 16;  // commands per channel before the link waits
constexpr auto busWaitLimit = std::chrono::seconds(5);  // a transfer left open stalls no longer

struct Cmd {
    enum Kind : uint8_t { Long, Short, SpiStart, SpiChunk, SpiEnd } kind = Long;
    uint8_t op = 0;             // Long: operation; Short: code; SpiStart: bus
    uint8_t arg = 0;            // Long: argument; SpiStart: address
    uint8_t flag = 0;           // SpiStart: flag byte
    std::vector<uint8_t> data;  // Long: data in memory order; SpiChunk: bytes in wire order
};

// Byte-stream decoder of one path.
struct Decoder {
    explicit Decoder(bool imm) : immediate(imm) {}
    bool immediate;
    enum State { Idle, LongOp, LongArg, LongData, SpiFlag, SpiAddress, ChunkData } state = Idle;
    Cmd cur;
    size_t need = 0;
    bool inTransfer = false;
    bool capture = false;  // the open transfer keeps what it clocks in
};

// An SPI transfer in progress on one stream.
struct SpiState {
    bool active = false;
    bool probe = false;  // the FPGA's own idle probe (bus 2, slave 255)
    bool capture = false;
    uint32_t bus = 0;
    SimChip *chip = nullptr;
};

struct Channel {
    std::deque<Cmd> queue;
    bool executing = false;
    bool threadStarted = false;
    bool recording = false;
    std::vector<Cmd> loop;
    size_t loopPos = 0;
    int64_t tracePoint = 0;
    std::atomic<bool> looping{false};
    std::atomic<bool> modulating{false};  // the loop is a modulation table, not replayed
    std::atomic<uint64_t> passes{0};
    bool timerOn = false;
    Clock::time_point timerStart;
    uint64_t pointsWaited = 0;
    std::atomic<int> outputValid{-1};
    SpiState spi;
    uint64_t flushes = 0;  // clears of the stream, seen by a start waiting for its bus
    // Fast channel programming: the block memory (commands of the buffered stream in block
    // mode, per block), the block being written, and the last words taken.
    std::vector<std::vector<Cmd>> blocks;
    uint32_t blockPointer = 0;
    int lastWordKind = -1;  // SimFcpWord
    int64_t lastWord = 0;
    int64_t lastFw = -1, lastAw = INT16_MIN;
    int64_t lastBlock = -1;
};

struct Fpga {
    Decoder buffered{false};
    Decoder immediate{true};
    int decodeChannel = 0;
    Channel ch[channels];
    SpiState immSpi;
    std::atomic<uint64_t> regs[256];
    std::vector<uint8_t> ram[FS_RAM_INDEX_COUNT];
    uint32_t ramAddress[FS_RAM_INDEX_COUNT] = {};
    uint32_t testWord[3] = {};  // SimFcpWord: the word the test output is assembling
    bool hasReply = false;
    KrGioFsReply reply = {};
    uint64_t readChunksQueued = 0;
    uint64_t readChunksDone = 0;
    std::atomic<uint64_t> executed{0};
};

Fpga &fpga() {
    static Fpga *f = new Fpga;
    return *f;
}

uint64_t reg(uint32_t r) {
    return fpga().regs[r & 0xFF].load();
}

bool isShort(uint8_t b) {
    return b == FS_SHORT_AWAIT_ADC_VALID ||
           (b >= FS_SHORT_SET_IOUPDATE && b <= FS_SHORT_AWAIT_SPI_IDLE_FLAG) ||
           (b >= FS_SHORT_IOUPDATE_ALL && b <= FS_SHORT_AWAIT_TRIGGER_NCI) || b == FS_SHORT_NOP;
}

// The trace's view of a channel's sweep timer: on-time first, off-time in the high word.
void showTimer(int c, bool on, int64_t point) {
    uint64_t t = reg(fs_regSweepTimer((uint32_t)c));
    simtrace_setTimer(on, point, t & 0xFFFFFFFFu, t >> 32, c);
}

double sweepPeriod(int c) {
    uint64_t t = reg(fs_regSweepTimer((uint32_t)c));
    return ((t & 0xFFFFFFFFu) + (t >> 32)) / FS_TIMER_HZ;
}

void startChannelThread(int c);

bool isProbe(uint32_t bus, uint32_t address) {
    return bus == 2 && address == 0xFF;
}

// ---------------------------------------------------------------------------------------
// Registers

// Ends a transfer without its end byte: the chip select goes up on what has been clocked.
void abandonTransfer(SpiState &s) {
    if (s.chip && s.chip->isSelected()) s.chip->deselect();
    s = SpiState();
}

void stopLoop(Channel &k) {
    k.looping = false;
    k.modulating = false;
    simmod_stop((int)(&k - fpga().ch));
    k.recording = false;
    k.loop.clear();
    k.loopPos = 0;
    k.queue.clear();
    // The stream starts over: the end byte of a transfer it was clocking has just been
    // dropped, so the transfer ends here rather than holding its chip and bus for ever.
    abandonTransfer(k.spi);
    k.flushes++;
}

// The register's name for the log; the channels' registers carry the channel's number.
const char *regName(uint32_t r, char (&fallback)[24]) {
    static const SimRegName names[] = {
        {FS_REG_RESET, "RESET"},
        {FS_REG_XADC, "XADC"},
        {FS_REG_SPI_READ, "SPI_READ"},
        {FS_REG_STATUS, "STATUS"},
        {FS_REG_CONTROL, "CONTROL"},
        {FS_REG_TRIGGER, "TRIGGER"},
        {FS_REG_TRIGGER_DELAY, "TRIGGER_DELAY"},
        {FS_REG_PHS_MODE, "PHS_MODE"},
        {FS_REG_PHS_LINK_RX, "PHS_LINK_RX"},
        {FS_REG_PHS_LINK_TX, "PHS_LINK_TX"},
    };
    for (uint32_t c = 0; c < channels; c++) {
        const char *what = r == fs_regSweepTimer(c)     ? "SWEEP_TIMER"
                           : r == fs_regSweepControl(c) ? "SWEEP_CONTROL"
                           : r == fs_regChannelMode(c)  ? "CHANNEL_MODE"
                           : r == fs_regModulation(c)   ? "MODULATION"
                                                        : nullptr;
        if (what) {
            snprintf(fallback, sizeof(fallback), "%s%u", what, (unsigned)c + 1);
            return fallback;
        }
    }
    return simchip_regName(names, r, fallback, sizeof(fallback));
}

void logStream(int c, const char *what) {
    simhw_logAt(c, "FS_FPGA", "STREAM", "%s", what);
}

// ---------------------------------------------------------------------------------------
// Fast channel programming

constexpr uint32_t blockLimit = 1u << 20;  // blocks the simulated memory keeps per channel

void recordBlock(Channel &k, Cmd &&cmd) {
    if (cmd.kind == Cmd::Long && cmd.op == FS_OP_STREAM && cmd.arg == FS_STREAM_NEXT_BLOCK) {
        if (k.blockPointer < blockLimit) k.blockPointer++;
        return;
    }
    if (k.blockPointer >= blockLimit) {
        simhw_violation("FPGA: block memory full");
        return;
    }
    if (k.blocks.size() <= k.blockPointer) k.blocks.resize(k.blockPointer + 1);
    k.blocks[k.blockPointer].push_back(std::move(cmd));
}

uint32_t modeField(int c, int high, int low) {
    return (uint32_t)(reg(fs_regChannelMode((uint32_t)c)) >> low) & ((1u << (high - low + 1)) - 1);
}

// The block of the last table entry at or below the word; -1 below every entry.
int64_t lookUp(uint32_t ram, uint32_t entryBytes, int64_t word, bool frequency) {
    const std::vector<uint8_t> &t = fpga().ram[ram];
    int64_t block = -1;
    for (size_t at = 0; at + entryBytes <= t.size(); at += entryBytes) {
        uint64_t e = 0;
        memcpy(&e, t.data() + at, entryBytes);
        int64_t key = frequency ? (int64_t)fs_fcpFrequencyEntryHz(e) : fs_fcpAmplitudeEntryPower(e);
        if (key > word) break;
        block = frequency ? fs_fcpFrequencyEntryBlock(e) : fs_fcpAmplitudeEntryBlock(e);
    }
    return block;
}

// The block a channel plays for its words so far; -1 for none.
int64_t selectBlock(int c) {
    Channel &k = fpga().ch[c];
    uint32_t operation = modeField(c, FS_MODE_OPERATION_HIGH, FS_MODE_OPERATION_LOW);
    int64_t range = (int64_t)(uint32_t)reg(fs_regFcpAddressRange((uint32_t)c));
    if (operation == FS_FCP_OPERATION_LIST) {
        if (k.lastWordKind != SIM_FCP_LW || k.lastWord < 0) return -1;
        return k.lastWord * FS_FCP_BLOCK_BYTES < range ? k.lastWord + 1 : -1;
    }
    bool fw = operation != FS_FCP_OPERATION_AW, aw = operation != FS_FCP_OPERATION_FW;
    int64_t fb = fw ? lookUp(fs_ramFrequencyLut((uint32_t)c), FS_FCP_FREQUENCY_ENTRY_BYTES,
                             k.lastFw < 0 ? -1 : k.lastFw * 1000000, true)
                    : -1;
    int64_t ab =
        aw ? lookUp(fs_ramAmplitudeLut((uint32_t)c), FS_FCP_AMPLITUDE_ENTRY_BYTES, k.lastAw, false)
           : -1;
    int64_t block = !aw ? fb : !fw ? ab : std::min(fb, ab);
    if (fw && aw && fb >= (int64_t)FS_FCP_FIRST_POINT_BLOCK &&
        ab >= (int64_t)FS_FCP_FIRST_POINT_BLOCK)
        block = ab + fb - FS_FCP_FIRST_POINT_BLOCK;
    return block >= 0 && block * FS_FCP_BLOCK_BYTES < range ? block : -1;
}

// A word on the interface: every channel with FCP on looks up its block and plays it.
// Caller holds the lock.
int takeWord(int kind, int64_t value) {
    Fpga &f = fpga();
    int played = 0;
    for (int c = 0; c < channels; c++) {
        if (!((reg(fs_regChannelMode((uint32_t)c)) >> FS_MODE_FCP) & 1)) continue;
        Channel &k = f.ch[c];
        k.lastWordKind = kind;
        k.lastWord = value;
        if (kind == SIM_FCP_FW) k.lastFw = value;
        if (kind == SIM_FCP_AW) k.lastAw = (int16_t)(uint16_t)value;
        int64_t b = selectBlock(c);
        k.lastBlock = b;
        if (b < 0 || (size_t)b >= k.blocks.size()) continue;
        startChannelThread(c);
        for (const Cmd &cmd : k.blocks[(size_t)b])
            k.queue.push_back(cmd);
        played++;
    }
    simhw_log("FS_FPGA FCP word %d value %lld: %d channel(s)", kind, (long long)value, played);
    simhw_boardRegisterChanged();
    if (!played) simhw_flushStateFile(true);  // no I/O update follows to write it
    simhw_changed().notify_all();
    return played;
}

// The test output drives the interface (loop-back): each strobe latches one part of a word;
// the word is taken with its last part.
void testOutputStrobe(uint64_t v) {
    Fpga &f = fpga();
    bool narrow = (reg(FS_REG_FCP_CONFIG) >> FS_FCP_CONFIG_8BIT) & 1;
    uint32_t sub = (uint32_t)(v >> FS_FCP_TEST_SUBADDRESS_SHIFT) & (narrow ? 0xF : 0xFF);
    uint32_t part = (uint32_t)(v >> (narrow ? FS_FCP_TEST_NIBBLE_SHIFT : FS_FCP_TEST_BYTE_SHIFT)) &
                    (narrow ? 0xF : 0xFF);
    uint32_t parts = narrow ? 4 : 2, bits = narrow ? 4 : 8, scale = narrow ? 1 : 2;
    static const struct {
        uint32_t first;
        int kind;
    } words[] = {{FS_FCP_SUBADDRESS_TW, SIM_FCP_TW},
                 {FS_FCP_SUBADDRESS_FW, SIM_FCP_FW},
                 {FS_FCP_SUBADDRESS_AW, SIM_FCP_AW}};
    for (size_t w = 0; w < 3; w++) {
        uint32_t first = words[w].first / scale;
        if (sub < first || sub >= first + parts) continue;
        uint32_t i = sub - first, mask = ((1u << bits) - 1) << (bits * i);
        f.testWord[w] = (f.testWord[w] & ~mask) | part << (bits * i);
        if (i == parts - 1 && words[w].kind != SIM_FCP_TW) takeWord(words[w].kind, f.testWord[w]);
    }
}

// A register write with the FPGA's side effects. Caller holds the lock.
void writeReg(uint32_t r, uint64_t v) {
    Fpga &f = fpga();
    uint64_t old = f.regs[r].load();
    char name[24];
    simhw_logAt(-1, "FS_FPGA", regName(r, name), "0x%llX", (unsigned long long)v);
    switch (r) {
        case FS_REG_RESET:
            if (v & 1) {
                for (Channel &k : f.ch)
                    stopLoop(k);
                simhw_log("FS_FPGA streams reset");
                simhw_changed().notify_all();
            }
            return;
        case FS_REG_CONTROL:
            for (int c = 0; c < channels; c++)
                if ((v >> fs_controlCbufBit((uint32_t)c)) & 1) stopLoop(f.ch[c]);
            break;
        case FS_REG_FCP_TEST_OUTPUT:
            if ((v & FS_FCP_TEST_STROBE) && !(old & FS_FCP_TEST_STROBE)) testOutputStrobe(v);
            break;
        case FS_REG_TRIGGER: {
            uint32_t source = (uint32_t)(v >> FS_TRIGGER_SOURCE_LOW) & 7;
            simhw_setTriggerSourceImmediate(source == 0);
            if (v & (1u << FS_TRIGGER_NOW)) simhw_triggerLocked();
            v &= ~(uint64_t)((1u << FS_TRIGGER_NOW) | (1u << FS_TRIGGER_INIT_IMMEDIATE));
            break;
        }
        default:
            break;
    }
    bool fcpChanged = false;
    for (int c = 0; c < channels; c++) {
        if (r != fs_regChannelMode((uint32_t)c)) continue;
        if (((v >> FS_MODE_BLOCK) & 1) && !((old >> FS_MODE_BLOCK) & 1)) {
            f.ch[c].blocks.clear();  // writing starts over at block 0
            f.ch[c].blockPointer = 0;
        }
        fcpChanged = true;
    }
    for (int c = 0; c < channels; c++) {
        if (r != fs_regSweepControl((uint32_t)c)) continue;
        bool on = (v >> FS_SWEEP_TIMER_STATE) & 1, was = (old >> FS_SWEEP_TIMER_STATE) & 1;
        Channel &k = f.ch[c];
        if (on && !was) {
            k.timerOn = true;
            k.timerStart = Clock::now();
            k.pointsWaited = 0;
            k.tracePoint = 0;
            showTimer(c, true, 0);
            simhw_traceNow();
        } else if (!on) {
            k.timerOn = false;
            showTimer(c, false, -1);
        }
    }
    f.regs[r] = simpulse_fpgaRegisterWrite(r, old, v);
    simpulse_fpgaRegisterStored(r);
    if (fcpChanged) {  // immediate writes: no I/O update follows to write the state file
        simhw_boardRegisterChanged();
        simhw_flushStateFile(true);
    }
    simhw_changed().notify_all();
}

uint64_t dataValue(const Cmd &cmd) {
    uint64_t v = 0;
    for (size_t i = 0; i < cmd.data.size() && i < 8; i++)
        v |= (uint64_t)cmd.data[i] << (8 * i);
    return v;
}

// ---------------------------------------------------------------------------------------
// Execution

void waitPoint(Channel &k, std::unique_lock<std::mutex> &lk, uint64_t gen) {
    int c = (int)(&k - fpga().ch);
    if (!k.timerOn) return;
    // The channel's hardware clock: one period per point, whatever the wall clock does.
    uint64_t t = reg(fs_regSweepTimer((uint32_t)c));
    simclock_advance((t & 0xFFFFFFFFu) + (t >> 32), c);
    showTimer(c, true, ++k.tracePoint);
    if (simhw_timeScale() <= 0) return;
    simtrace_flush();  // the rows so far, while the point lasts
    double period = sweepPeriod(c) * simhw_timeScale();
    if (period <= 0) return;
    double elapsed = std::chrono::duration<double>(Clock::now() - k.timerStart).count();
    uint64_t due = k.pointsWaited + 1;
    if (due * period < elapsed) due = (uint64_t)std::floor(elapsed / period) + 1;  // fell behind
    auto at = k.timerStart + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(due * period));
    simhw_changed().wait_until(lk, at,
                               [&] { return simhw_abortGeneration() != gen || !k.timerOn; });
    k.pointsWaited = due;
}

void spiStart(SpiState &s, const Cmd &cmd) {
    uint32_t bus = cmd.op, address = cmd.arg;
    SimChip *chip = simhw_chipAt(bus, address);
    bool probe = isProbe(bus, address);
    if (s.active && s.chip == chip && s.probe == probe) {
        s.capture = cmd.flag & FS_SPI_FLAG_HOLD;  // the held transfer goes on
        return;
    }
    if (s.active) {
        simhw_violation("FPGA SPI: transfer to bus %u slave %u while another is open",
                        (unsigned)bus, (unsigned)address);
        abandonTransfer(s);
    }
    s = SpiState();
    s.active = true;
    s.bus = bus;
    s.probe = probe;
    s.capture = cmd.flag & FS_SPI_FLAG_HOLD;
    if (!probe && !chip)
        simhw_violation("FPGA SPI: no chip at bus %u slave %u", (unsigned)bus, (unsigned)address);
    s.chip = chip;
    if (chip) chip->select();
}

void spiChunk(SpiState &s, const Cmd &cmd, bool counted) {
    Fpga &f = fpga();
    if (!s.active) {
        simhw_violation("FPGA SPI: data chunk without a transfer");
        return;
    }
    uint64_t rx = 0;
    for (uint8_t b : cmd.data)
        rx = (rx << 8) | (s.chip ? s.chip->transfer(b) : 0);
    if (s.capture) {
        f.regs[FS_REG_SPI_READ] = rx;
        if (counted) f.readChunksDone++;
    }
}

void spiEnd(SpiState &s) {
    if (!s.active) {
        simhw_violation("FPGA SPI: end byte without a transfer (deselect without select)");
        return;
    }
    if (s.chip && s.chip->isSelected()) s.chip->deselect();
    s = SpiState();
}

// The channel other than c whose stream holds bus with an open transfer; -1 when none does.
int busHolder(int c, uint32_t bus) {
    Fpga &f = fpga();
    for (int o = 0; o < channels; o++) {
        const SpiState &s = f.ch[o].spi;
        if (o != c && s.active && !s.probe && s.bus == bus) return o;
    }
    return -1;
}

// The streams share the SPI master of a bus: a transfer runs from its start to its end
// before another stream's transfer on that bus begins, however the streams' commands
// interleave. (The immediate path keeps a master of its own.) false when the stream was
// cleared meanwhile, so that the start no longer belongs to anything.
bool awaitBus(int c, uint32_t bus, std::unique_lock<std::mutex> &lk) {
    Channel &k = fpga().ch[c];
    uint64_t flushes = k.flushes;
    auto ready = [&] { return k.flushes != flushes || busHolder(c, bus) < 0; };
    if (!simhw_changed().wait_for(lk, busWaitLimit, ready))
        simhw_violation("FPGA SPI: channel %d waited in vain for bus %u, held open by channel %d",
                        c, (unsigned)bus, busHolder(c, bus));
    return k.flushes == flushes;
}

// A loop that waits for no sweep point and no trigger runs on by itself.
bool freeRunning(const std::vector<Cmd> &loop) {
    for (const Cmd &cmd : loop)
        if (cmd.kind == Cmd::Short &&
            (cmd.op == FS_SHORT_AWAIT_SWEEP_POINT || cmd.op == FS_SHORT_AWAIT_TRIGGER ||
             cmd.op == FS_SHORT_AWAIT_TRIGGER_NCI))
            return false;
    return true;
}

// Executes one buffered command of channel c. Caller holds the lock through lk.
void execute(int c, const Cmd &cmd, std::unique_lock<std::mutex> &lk, bool fromQueue) {
    Fpga &f = fpga();
    Channel &k = f.ch[c];
    uint64_t gen = simhw_abortGeneration();
    f.executed++;
    switch (cmd.kind) {
        case Cmd::Short:
            switch (cmd.op) {
                case FS_SHORT_IOUPDATE_ALL:
                case FS_SHORT_SET_IOUPDATE:
                    simhw_ioupdate(-1);
                    break;
                case FS_SHORT_IOUPDATE_CH0:
                case FS_SHORT_IOUPDATE_CHX:
                    simhw_ioupdate(c);
                    break;
                case FS_SHORT_AWAIT_TRIGGER:
                case FS_SHORT_AWAIT_TRIGGER_NCI:
                    simhw_waitTrigger(lk, gen);
                    break;
                case FS_SHORT_AWAIT_SWEEP_POINT:
                    waitPoint(k, lk, gen);
                    break;
                case FS_SHORT_AWAIT_ADC_VALID:
                    simmod_adcWait(c);
                    break;
                default:
                    break;
            }
            return;
        case Cmd::SpiStart:
            if (!isProbe(cmd.op, cmd.arg) && !awaitBus(c, cmd.op, lk)) return;
            spiStart(k.spi, cmd);
            return;
        case Cmd::SpiChunk:
            spiChunk(k.spi, cmd, fromQueue);
            return;
        case Cmd::SpiEnd:
            spiEnd(k.spi);
            return;
        case Cmd::Long:
            break;
    }
    switch (cmd.op) {
        case FS_OP_WRITE_REGISTER:
        case FS_OP_SET_BITS:
        case FS_OP_CLEAR_BITS: {
            if (cmd.arg < fs_bufferedRegFirst((uint32_t)c) ||
                cmd.arg > fs_bufferedRegLast((uint32_t)c)) {
                simhw_violation("FPGA: register %u outside the buffered reach of channel %d",
                                (unsigned)cmd.arg, c);
                return;
            }
            uint64_t v = dataValue(cmd), old = reg(cmd.arg);
            writeReg(cmd.arg, cmd.op == FS_OP_WRITE_REGISTER ? v
                              : cmd.op == FS_OP_SET_BITS     ? old | v
                                                             : old & ~v);
            return;
        }
        case FS_OP_DELAY:
            if (k.recording) simmod_delay(c, (uint32_t)dataValue(cmd));
            // A table paced by the ADC is taken in at once; its length is what counts.
            if (!(k.recording && simmod_pacedByAdc(c)))
                simhw_waitHardware(lk, (double)(uint32_t)dataValue(cmd) / FS_TIMER_HZ, gen);
            return;
        case FS_OP_OUTPUT_VALID:
            k.outputValid = cmd.arg;
            return;
        case FS_OP_STREAM:
            if (cmd.arg == FS_STREAM_JUMP_LABEL) {
                logStream(c, "JUMP_LABEL");
                k.recording = true;
                k.loop.clear();
                simmod_beginLoop(c);
            } else if (cmd.arg == FS_STREAM_JUMP) {
                if (!k.recording) {
                    simhw_violation("FPGA: jump without a jump label on channel %d", c);
                    return;
                }
                logStream(c, "JUMP");
                k.recording = false;
                k.passes = 1;
                uint64_t count = reg(fs_regSweepControl((uint32_t)c)) & 0xFFFF;
                k.looping = !k.loop.empty() && count != 1;
                k.loopPos = 0;
                if (simmod_endLoop(c, freeRunning(k.loop))) {
                    k.looping = false;
                    k.modulating = true;
                }
                simpulse_fpgaChanged();  // the loop may be a pulse train
            }
            return;
        default:
            simhw_violation("FPGA: operation %u on the buffered path", (unsigned)cmd.op);
            return;
    }
}

// One step of a looping channel: the next command of the pass.
void loopStep(int c, std::unique_lock<std::mutex> &lk) {
    Channel &k = fpga().ch[c];
    if (k.loopPos == 0 && (reg(fs_regSweepControl((uint32_t)c)) >> FS_SWEEP_AWAIT_TRIGGER) & 1)
        simhw_waitTrigger(lk, simhw_abortGeneration());
    if (!k.looping || k.loopPos >= k.loop.size()) return;
    Cmd cmd = k.loop[k.loopPos++];
    execute(c, cmd, lk, false);
    if (k.looping && k.loopPos >= k.loop.size()) {
        k.loopPos = 0;
        k.passes++;
        uint64_t count = reg(fs_regSweepControl((uint32_t)c)) & 0xFFFF;
        if (count != 0 && k.passes >= count) k.looping = false;
    }
}

bool anyQueued() {
    for (Channel &k : fpga().ch)
        if (!k.queue.empty()) return true;
    return false;
}

void channelThread(int c) {
    Channel &k = fpga().ch[c];
    std::unique_lock<std::mutex> lk(simhw_lock());
    for (;;) {
        simhw_changed().wait(lk, [&] { return k.looping || !k.queue.empty(); });
        if (k.looping) {
            k.executing = true;
            loopStep(c, lk);
        } else {
            Cmd cmd = std::move(k.queue.front());
            k.queue.pop_front();
            k.executing = true;
            execute(c, cmd, lk, true);
            bool marker = cmd.kind == Cmd::Long && cmd.op == FS_OP_STREAM &&
                          (cmd.arg == FS_STREAM_JUMP_LABEL || cmd.arg == FS_STREAM_JUMP);
            if (k.recording && !marker) {
                k.loop.push_back(std::move(cmd));
                simmod_afterCommand(c);
            }
        }
        k.executing = false;
        simhw_changed().notify_all();
        if (k.queue.empty() && !k.looping) {
            simhw_settle(lk, [] { return anyQueued(); });
        } else {
            // A pass without waits would otherwise keep the lock for ever.
            lk.unlock();
            std::this_thread::yield();
            lk.lock();
        }
    }
}

void startChannelThread(int c) {
    Channel &k = fpga().ch[c];
    if (k.threadStarted) return;
    k.threadStarted = true;
    simhw_spawn([](intptr_t channel) { channelThread((int)channel); }, c);
}

// ---------------------------------------------------------------------------------------
// Immediate path

void replyWith(uint32_t r) {
    Fpga &f = fpga();
    uint64_t v = reg(r);
    f.reply.length = 8;
    memset(f.reply.data, 0, sizeof(f.reply.data));
    memcpy(f.reply.data, &v, sizeof(v));
    f.hasReply = true;
}

void executeImmediate(const Cmd &cmd, std::unique_lock<std::mutex> &lk, bool replyExpected) {
    Fpga &f = fpga();
    f.executed++;
    switch (cmd.kind) {
        case Cmd::SpiStart:
            spiStart(f.immSpi, cmd);
            return;
        case Cmd::SpiChunk:
            spiChunk(f.immSpi, cmd, false);
            return;
        case Cmd::SpiEnd:
            spiEnd(f.immSpi);
            return;
        case Cmd::Short:
            simhw_violation("FPGA: short command %u on the immediate path", (unsigned)cmd.op);
            return;
        case Cmd::Long:
            break;
    }
    uint64_t v = dataValue(cmd);
    switch (cmd.op) {
        case FS_OP_WRITE_REGISTER:
            writeReg(cmd.arg, v);
            return;
        case FS_OP_SET_BITS:
            writeReg(cmd.arg, reg(cmd.arg) | v);
            return;
        case FS_OP_CLEAR_BITS:
            writeReg(cmd.arg, reg(cmd.arg) & ~v);
            return;
        case FS_OP_READ_REGISTER:
            if (!replyExpected)
                simhw_violation("FPGA: register read sent without expecting a reply");
            if (cmd.arg == FS_REG_SPI_READ) {
                // The read data come from a buffered chunk: wait until it has been clocked.
                simhw_changed().wait_for(lk, std::chrono::seconds(5),
                                         [&] { return f.readChunksDone >= f.readChunksQueued; });
                if (f.readChunksDone < f.readChunksQueued) {
                    f.hasReply = false;
                    return;
                }
            }
            replyWith(cmd.arg);
            return;
        case FS_OP_STREAM:
            if (cmd.arg != FS_STREAM_IMM_SPI_BEGIN && cmd.arg != FS_STREAM_IMM_SPI_END)
                simhw_violation("FPGA: stream control %u on the immediate path", (unsigned)cmd.arg);
            return;
        case FS_OP_RAM_ADDRESS:
        case FS_OP_RAM_WRITE: {
            if (cmd.arg >= FS_RAM_INDEX_COUNT) {
                simhw_violation("FPGA: RAM %u does not exist", (unsigned)cmd.arg);
                return;
            }
            uint32_t &address = f.ramAddress[cmd.arg];
            if (cmd.op == FS_OP_RAM_ADDRESS) {
                address = (uint32_t)v;
                return;
            }
            std::vector<uint8_t> &ram = f.ram[cmd.arg];
            if (ram.size() < address + cmd.data.size()) ram.resize(address + cmd.data.size());
            memcpy(ram.data() + address, cmd.data.data(), cmd.data.size());
            if (cmd.arg == FS_RAM_INDEX_PATTERN &&
                address < FS_RAM_PULM_PATTERN + FS_PULM_PATTERN_BYTES)
                simpulse_fpgaChanged();
            address += (uint32_t)cmd.data.size();
            return;
        }
        default:
            simhw_violation("FPGA: operation %u on the immediate path", (unsigned)cmd.op);
            return;
    }
}

// ---------------------------------------------------------------------------------------
// Decoding

// Feeds one byte; returns true and fills out when a command is complete.
bool decodeByte(Decoder &d, uint8_t b, Cmd *out) {
    const uint8_t longHead = d.immediate ? FS_CMD_LONG_IMMEDIATE : FS_CMD_LONG_BUFFERED;
    const uint8_t spiHead = d.immediate ? FS_CMD_SPI_IMMEDIATE : FS_CMD_SPI_BUFFERED;
    const uint8_t chunkHead = d.immediate ? FS_CMD_SPI_CHUNK_IMMEDIATE : FS_CMD_SPI_CHUNK_BUFFERED;
    const uint8_t endByte = d.immediate ? FS_CMD_SPI_END_IMMEDIATE : FS_CMD_SPI_END_BUFFERED;
    const char *path = d.immediate ? "immediate" : "buffered";
    switch (d.state) {
        case Decoder::Idle:
            d.cur = Cmd();
            if ((b & 0xF0) == longHead) {
                d.cur.kind = Cmd::Long;
                d.need = b & 0x0F;
                d.state = Decoder::LongOp;
            } else if (b == endByte) {
                d.inTransfer = false;  // the stream's executor judges it
                out->kind = Cmd::SpiEnd;
                return true;
            } else if ((b & 0xFC) == spiHead) {
                d.cur.kind = Cmd::SpiStart;
                d.cur.op = b & 3;
                d.state = Decoder::SpiFlag;
            } else if ((b & 0xF0) == chunkHead) {
                d.cur.kind = Cmd::SpiChunk;
                d.need = (b & 0x0F) + 1u;
                d.state = Decoder::ChunkData;
            } else if (!d.immediate && isShort(b)) {
                out->kind = Cmd::Short;
                out->op = b;
                return true;
            } else {
                simhw_violation("FPGA %s: unknown command byte 0x%02X", path, b);
            }
            return false;
        case Decoder::LongOp:
            d.cur.op = b;
            d.state = Decoder::LongArg;
            return false;
        case Decoder::LongArg:
            d.cur.arg = b;
            if (d.need == 0) {
                d.state = Decoder::Idle;
                *out = std::move(d.cur);
                return true;
            }
            d.state = Decoder::LongData;
            return false;
        case Decoder::LongData:
            d.cur.data.insert(d.cur.data.begin(), b);  // sent last byte first
            if (d.cur.data.size() == d.need) {
                d.state = Decoder::Idle;
                *out = std::move(d.cur);
                return true;
            }
            return false;
        case Decoder::SpiFlag:
            d.cur.flag = b;
            d.state = Decoder::SpiAddress;
            return false;
        case Decoder::SpiAddress:
            d.cur.arg = b;
            d.state = Decoder::Idle;
            d.inTransfer = true;
            d.capture = d.cur.flag & FS_SPI_FLAG_HOLD;
            *out = std::move(d.cur);
            return true;
        case Decoder::ChunkData:
            d.cur.data.push_back(b);
            if (d.cur.data.size() == d.need) {
                d.state = Decoder::Idle;
                *out = std::move(d.cur);
                return true;
            }
            return false;
    }
    return false;
}

}  // namespace

namespace {
std::atomic<bool> linkUp{false};
}  // namespace

void simfpga_init() {
    simfpga_reset();
    linkUp = true;
    simhw_log("FS_FPGA link init");
}

bool simfpga_present() {
    return linkUp;
}

int simfpga_transmit(const uint8_t *data, uint32_t length) {
    Fpga &f = fpga();
    std::unique_lock<std::mutex> lk(simhw_lock());
    for (uint32_t i = 0; i < length; i++) {
        Cmd cmd;
        if (!decodeByte(f.buffered, data[i], &cmd)) continue;
        if (cmd.kind == Cmd::Long && cmd.op == FS_OP_SELECT_CHANNEL) {
            if (cmd.arg >= channels) {
                simhw_violation("FPGA buffered: channel %u does not exist", (unsigned)cmd.arg);
                continue;
            }
            f.decodeChannel = cmd.arg;
            continue;
        }
        int c = f.decodeChannel;
        Channel &k = f.ch[c];
        if ((reg(FS_REG_CONTROL) >> fs_controlCbufBit((uint32_t)c)) & 1) continue;  // being flushed
        if ((reg(fs_regChannelMode((uint32_t)c)) >> FS_MODE_BLOCK) & 1) {
            recordBlock(k, std::move(cmd));
            continue;
        }
        // Chunks of a capturing transfer are fetched through register 4 once clocked.
        if (cmd.kind == Cmd::SpiChunk && f.buffered.capture) f.readChunksQueued++;
        startChannelThread(c);
        simhw_changed().wait(lk, [&] { return k.queue.size() < queueLimit; });
        k.queue.push_back(std::move(cmd));
        simhw_changed().notify_all();
    }
    return 0;
}

int simfpga_sendImm(const uint8_t *data, uint32_t length, bool replyExpected) {
    Fpga &f = fpga();
    std::unique_lock<std::mutex> lk(simhw_lock());
    for (uint32_t i = 0; i < length; i++) {
        Cmd cmd;
        if (!decodeByte(f.immediate, data[i], &cmd)) continue;
        executeImmediate(cmd, lk, replyExpected);
    }
    return 0;
}

int simfpga_fetchReply(KrGioFsReply *reply) {
    std::lock_guard<std::mutex> g(simhw_lock());
    Fpga &f = fpga();
    if (!f.hasReply) return -EIO;
    *reply = f.reply;
    f.hasReply = false;
    return 0;
}

void simfpga_restartRx() {
    std::lock_guard<std::mutex> g(simhw_lock());
    fpga().hasReply = false;
}

bool simfpga_waitIdle(double timeoutSeconds) {
    std::unique_lock<std::mutex> lk(simhw_lock());
    Fpga &f = fpga();
    auto idle = [&] {
        for (Channel &k : f.ch)
            if (!k.queue.empty() || (k.executing && !k.looping)) return false;
        return true;
    };
    return simhw_changed().wait_for(
        lk,
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds)),
        idle);
}

void simfpga_forgetChips() {
    Fpga &f = fpga();
    for (Channel &k : f.ch)
        stopLoop(k);
    abandonTransfer(f.immSpi);
}

void simfpga_reset() {
    simhw_abortWaits();
    std::lock_guard<std::mutex> g(simhw_lock());
    Fpga &f = fpga();
    f.buffered = Decoder{false};
    f.immediate = Decoder{true};
    f.decodeChannel = 0;
    for (Channel &k : f.ch) {
        stopLoop(k);
        k.passes = 0;
        k.timerOn = false;
        k.outputValid = -1;
    }
    abandonTransfer(f.immSpi);
    for (auto &r : f.regs)
        r = 0;
    // XADC: a controller board at 45 C.
    f.regs[FS_REG_XADC] = (uint64_t)std::lround((45.0 + 273.15) * 4096 / 503.975) << 4;
    for (uint32_t i = 0; i < FS_RAM_INDEX_COUNT; i++) {
        f.ram[i].clear();
        f.ramAddress[i] = 0;
    }
    for (Channel &k : f.ch) {
        k.blocks.clear();
        k.blockPointer = 0;
        k.lastWordKind = -1;
        k.lastFw = -1;
        k.lastAw = INT16_MIN;
        k.lastBlock = -1;
    }
    simpulse_reset();
    simmod_reset();
    f.hasReply = false;
    f.readChunksQueued = f.readChunksDone = 0;
    simhw_changed().notify_all();
}

uint64_t simfpga_register(uint32_t r) {
    return reg(r);
}

bool simfpga_isLooping(int channel) {
    return channel >= 0 && channel < channels &&
           (fpga().ch[channel].looping.load() || fpga().ch[channel].modulating.load());
}

uint64_t simfpga_passes(int channel) {
    return channel >= 0 && channel < channels ? fpga().ch[channel].passes.load() : 0;
}

int simfpga_outputValidCode(int channel) {
    return channel >= 0 && channel < channels ? fpga().ch[channel].outputValid.load() : -1;
}

uint64_t simfpga_commandsExecuted() {
    return fpga().executed.load();
}

void simfpga_readRam(uint32_t address, uint8_t *out, uint32_t length) {
    simfpga_readRamAt(FS_RAM_INDEX_PATTERN, address, out, length);
}

void simfpga_readRamAt(uint32_t index, uint32_t address, uint8_t *out, uint32_t length) {
    static const std::vector<uint8_t> none;
    const std::vector<uint8_t> &ram = index < FS_RAM_INDEX_COUNT ? fpga().ram[index] : none;
    for (uint32_t i = 0; i < length; i++)
        out[i] = (size_t)address + i < ram.size() ? ram[address + i] : 0;
}

int simfpga_loopSweepTimers(int channel, uint64_t *out, int max) {
    if (channel < 0 || channel >= channels) return 0;
    uint8_t timer = fs_regSweepTimer((uint32_t)channel);
    int n = 0;
    for (const Cmd &cmd : fpga().ch[channel].loop)
        if (n < max && cmd.kind == Cmd::Long && cmd.op == FS_OP_WRITE_REGISTER && cmd.arg == timer)
            out[n++] = dataValue(cmd);
    return n;
}

int simfpga_fcpWord(int kind, int64_t value) {
    std::lock_guard<std::mutex> g(simhw_lock());
    return takeWord(kind, value);
}

void simfpga_appendFcpJson(int c, std::string &json) {
    if (c < 0 || c >= channels || !linkUp) return;
    const Channel &k = fpga().ch[c];
    static const char *const modes[] = {"fw", "aw", "fw+aw", "list"};
    static const char *const kinds[] = {"tw", "fw", "aw", "lw"};
    char word[64] = "null", block[24] = "null";
    if (k.lastWordKind >= 0 && k.lastWordKind < 4)
        snprintf(word, sizeof(word), "{\"kind\": \"%s\", \"value\": %lld}", kinds[k.lastWordKind],
                 (long long)k.lastWord);
    if (k.lastBlock >= 0) snprintf(block, sizeof(block), "%lld", (long long)k.lastBlock);
    char text[320];
    snprintf(text, sizeof(text),
             ", \"fcp\": {\"enabled\": %s, \"block_mode\": %s, \"mode\": \"%s\", \"blocks\": %u, "
             "\"address_range\": %u, \"frequency_entries\": %u, \"amplitude_entries\": %u, "
             "\"last_word\": %s, \"block\": %s}",
             (modeField(c, FS_MODE_FCP, FS_MODE_FCP) ? "true" : "false"),
             (modeField(c, FS_MODE_BLOCK, FS_MODE_BLOCK) ? "true" : "false"),
             modes[modeField(c, FS_MODE_OPERATION_HIGH, FS_MODE_OPERATION_LOW)], k.blockPointer,
             (unsigned)reg(fs_regFcpAddressRange((uint32_t)c)),
             fpga().ramAddress[fs_ramFrequencyLut((uint32_t)c)] / FS_FCP_FREQUENCY_ENTRY_BYTES,
             fpga().ramAddress[fs_ramAmplitudeLut((uint32_t)c)] / FS_FCP_AMPLITUDE_ENTRY_BYTES,
             word, block);
    json += text;
}
