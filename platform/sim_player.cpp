// I/O program player of the simulated driver.
#include "sim_player.h"

#include <errno.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "sim_chip.h"
#include "sim_clock.h"
#include "sim_hw.h"
#include "sim_trace.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double timerHz = 132.096e6;
constexpr uint64_t SIMPLAYER_RECORDS_PER_TURN = 128;

struct Item {
    enum Kind { Record, Select, Deselect } kind;
    uint32_t address;
    uint32_t length;
    uint32_t options;
    std::vector<uint8_t> data;
    uint32_t bytes;  // what it occupies in the queue
};

struct Player {
    std::deque<Item> queue;
    uint32_t queuedBytes = 0;
    uint64_t epoch = 0;  // bumped when the queue is dropped
    bool playing = false;
    bool playingElsewhere = false;  // a reader plays the queue in its own thread
    bool threadStarted = false;
    bool settling = false;         // the player thread writes the state file when it is due
    bool settleRequested = false;  // a sender played its records itself: the state may be due
    // Wakes the player thread for work or a state file write; a condition of its own, so that
    // the notifications of every hardware change do not wake it for nothing.
    std::condition_variable wake;
    int selectedSlave = -1;
    uint64_t period = 0;      // point time in timer counts
    uint64_t dwell = 0;       // of it, the dwell
    uint64_t nextPeriod = 0;  // loaded by KR_IO_ADDR_SET_TIMER for the next point
    uint64_t nextDwell = 0;
    bool timerRunning = false;
    Clock::time_point boundary;
    uint64_t boundaryTicks = 0;  // the hardware clock at the next point
    int64_t point = -1;
    uint64_t played = 0;
};

Player &pl() {
    static Player *p = new Player;
    return *p;
}

Clock::duration hardwareDuration(uint64_t counts) {
    double s = counts / timerHz * simhw_timeScale();
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

const char *opcodeName(uint32_t a) {
    static const char *const names[] = {"END",      "IOUPD",     "IOUPD_TRIG",     "DELAY_US",
                                        "(260)",    "(261)",     "SYNC",           "WAIT_TRAN",
                                        "TRIG_TMR", "EMPTY",     "SET_TIMER",      "DEBUG",
                                        "MUTE",     "IS_TRAN",   "AWAIT_TRIG_TMR", "STOP_TIMER",
                                        "SLEEP_US", "SET_IOUPD", "(274)",          "AWAIT_TRIG"};
    return a >= 256 && a <= KR_IO_ADDR_AWAIT_TRIG ? names[a - 256] : "?";
}

// The record layout rules of the driver. Empty string: fine.
std::string checkRecord(const KrIoBlockRecordHeader &h) {
    char why[128];
    if (h.address > 511) {
        snprintf(why, sizeof(why), "address %u beyond the opcodes", (unsigned)h.address);
        return why;
    }
    if (h.address < 256) return "";
    uint32_t a = h.address;
    bool noData = a == KR_IO_ADDR_IOUPD || a == KR_IO_ADDR_IOUPD_TRIG || a == KR_IO_ADDR_DELAY_US ||
                  a == KR_IO_ADDR_WAIT_TRAN || a == KR_IO_ADDR_MUTE ||
                  a == KR_IO_ADDR_AWAIT_TRIG_TMR || a == KR_IO_ADDR_STOP_TIMER ||
                  a == KR_IO_ADDR_SLEEP_US || a == KR_IO_ADDR_SET_IOUPD ||
                  a == KR_IO_ADDR_AWAIT_TRIG;
    if (a == KR_IO_ADDR_EMPTY || a == 260 || a == 261 || a == 274 || a > KR_IO_ADDR_AWAIT_TRIG) {
        snprintf(why, sizeof(why), "opcode %u is not an operation", (unsigned)a);
        return why;
    }
    if (noData && h.length != 0) {
        snprintf(why, sizeof(why), "opcode %s carries %u data bytes", opcodeName(a),
                 (unsigned)h.length);
        return why;
    }
    if (a == KR_IO_ADDR_TRIG_TMR && h.length > 1)
        return "KR_IO_ADDR_TRIG_TMR with more than one byte";
    if (a == KR_IO_ADDR_SET_TIMER && h.length != 16) return "KR_IO_ADDR_SET_TIMER without 16 bytes";
    if (a == KR_IO_ADDR_MUTE && h.options != MUTE_CONF_DIS_TPT && h.options != MUTE_CONF_EN_TPT)
        return "KR_IO_ADDR_MUTE with an unknown parameter";
    return "";
}

// Splits a block into items; false (and a violation) when it is malformed.
bool parseBlock(const uint8_t *data, uint32_t length, std::vector<Item> *out, bool async) {
    uint32_t at = 0;
    while (at < length) {
        KrIoBlockRecordHeader h;
        if (length - at < sizeof(h)) {
            simhw_violation("I/O block: %u stray bytes at offset %u", (unsigned)(length - at),
                            (unsigned)at);
            return false;
        }
        memcpy(&h, data + at, sizeof(h));
        uint32_t size = kr_ioblock_recordSize(h.length);
        if (h.length > length || size > length - at) {
            simhw_violation(
                "I/O block: record at offset %u (length %u) runs past the block of %u bytes",
                (unsigned)at, (unsigned)h.length, (unsigned)length);
            return false;
        }
        std::string why = checkRecord(h);
        if (why.empty() && async && h.address >= 256) why = "opcode on the asynchronous path";
        if (!why.empty()) {
            simhw_violation("I/O block: record at offset %u: %s", (unsigned)at, why.c_str());
            return false;
        }
        const uint8_t *d = data + at + sizeof(h);
        out->push_back({Item::Record, h.address, h.length, h.options,
                        std::vector<uint8_t>(d, d + h.length), size});
        at += size;
    }
    return true;
}

SimChip *chipFor(uint32_t slave) {
    SimChip *c = simhw_chipBySlave(slave);
    if (!c) simhw_violation("SPI: no chip at slave %u", (unsigned)slave);
    return c;
}

// Caller holds the lock.
void spiWrite(Player &p, uint32_t slave, const std::vector<uint8_t> &data) {
    SimChip *c = chipFor(slave);
    if (!c) return;
    bool held = p.selectedSlave == (int)slave;
    if (p.selectedSlave >= 0 && !held)
        simhw_violation("SPI: write to slave %u while slave %d is selected", (unsigned)slave,
                        p.selectedSlave);
    if (!held) c->select();
    for (size_t i = data.size(); i-- > 0;)
        c->transfer(data[i]);
    if (!held) c->deselect();
}

// Full duplex; the buffer is filled last byte first.
void spiRead(Player &p, const KrGioTransfer *t) {
    uint8_t *out = (uint8_t *)t->data;
    memset(out, 0, t->length);
    SimChip *c = chipFor(t->address & 0xFF);
    if (!c) return;
    bool held = p.selectedSlave == (int)(t->address & 0xFF);
    if (!held) c->select();
    for (uint32_t i = 0; i < t->length; i++)
        out[t->length - 1 - i] = c->transfer(kr_gio_readTxByte(t->command, i));
    if (!held) c->deselect();
}

void showTimer(const Player &p) {
    simtrace_setTimer(p.timerRunning, p.point, std::min(p.dwell, p.period),
                      p.period > p.dwell ? p.period - p.dwell : 0);
}

// The next point begins when the timer says: on the hardware clock exactly one period after
// the last, whenever the host gets there.
void waitPoint(Player &p, std::unique_lock<std::mutex> &lk, uint64_t gen) {
    if (!p.timerRunning) return;
    if (simhw_timeScale() > 0) {
        simtrace_flush();  // the rows so far, while the point lasts
        simhw_changed().wait_until(lk, p.boundary, [&] { return simhw_abortGeneration() != gen; });
    }
    // A point trigger starts every point, a gate holds the timer while it is low; the
    // hardware clock then goes on from the point the timer had reached.
    uint32_t type = simhw_triggerType();
    if (!simhw_triggerSourceImmediate() && type == SIMHW_TRIGGER_POINT &&
        !simhw_waitTrigger(lk, gen))
        return;
    if (type == SIMHW_TRIGGER_GATE && !simhw_waitGate(lk, gen)) return;
    if (type != SIMHW_TRIGGER_NORMAL) p.boundary = Clock::now();
    if (p.boundaryTicks > simclock_ticks()) simclock_advance(p.boundaryTicks - simclock_ticks());
    if (p.nextPeriod) {
        p.period = p.nextPeriod;
        p.dwell = p.nextDwell;
        p.nextPeriod = 0;
    }
    p.boundary += hardwareDuration(p.period);
    if (p.boundary < Clock::now()) p.boundary = Clock::now();  // fell behind: start afresh
    p.boundaryTicks += p.period;
    p.point++;
    showTimer(p);
}

// The timer starts when the trigger model lets it: at once with the immediate source, else
// at the next trigger (bus, external).
void startTimer(Player &p, std::unique_lock<std::mutex> &lk, uint64_t gen) {
    if (!simhw_triggerSourceImmediate() && !simhw_waitTrigger(lk, gen)) return;
    if (simhw_triggerType() == SIMHW_TRIGGER_GATE && !simhw_waitGate(lk, gen)) return;
    // The first point begins the trigger delay after the trigger.
    uint64_t delay = simhw_triggerSourceImmediate() ? 0 : simhw_triggerDelay();
    simclock_advance(delay);
    p.timerRunning = true;
    p.boundary = Clock::now() + hardwareDuration(p.period + delay);
    p.boundaryTicks = simclock_ticks() + p.period;
    p.point = 0;
    showTimer(p);
    simhw_traceNow();
}

void play(Player &p, const Item &item, std::unique_lock<std::mutex> &lk, uint64_t gen) {
    switch (item.kind) {
        case Item::Select: {
            if (p.selectedSlave >= 0) {
                simhw_violation("SPI: select of slave %u while slave %d is selected",
                                (unsigned)item.address, p.selectedSlave);
                if (SimChip *old = simhw_chipBySlave((uint32_t)p.selectedSlave)) old->deselect();
                p.selectedSlave = -1;
            }
            if (SimChip *c = chipFor(item.address)) {
                c->select();
                p.selectedSlave = (int)item.address;
            }
            return;
        }
        case Item::Deselect:
            if (p.selectedSlave < 0) {
                simhw_violation("SPI: deselect without select");
                return;
            }
            if (SimChip *c = simhw_chipBySlave((uint32_t)p.selectedSlave)) c->deselect();
            p.selectedSlave = -1;
            return;
        case Item::Record:
            break;
    }
    if (item.address < 256) {
        spiWrite(p, item.address, item.data);
        return;
    }
    switch (item.address) {
        case KR_IO_ADDR_IOUPD:
        case KR_IO_ADDR_IOUPD_TRIG:
        case KR_IO_ADDR_SET_IOUPD:
            simhw_ioupdate(-1);
            break;
        case KR_IO_ADDR_DELAY_US:
        case KR_IO_ADDR_SLEEP_US:
            simhw_waitHardware(lk, item.options * 1e-6, gen);
            simclock_advance(simclock_ticksOf(item.options * 1e-6));
            break;
        case KR_IO_ADDR_WAIT_TRAN:
        case KR_IO_ADDR_AWAIT_TRIG_TMR:
            waitPoint(p, lk, gen);
            break;
        case KR_IO_ADDR_TRIG_TMR:
            startTimer(p, lk, gen);
            break;
        case KR_IO_ADDR_SET_TIMER: {
            uint64_t t[2];
            memcpy(t, item.data.data(), sizeof(t));
            p.nextPeriod = t[0];
            p.nextDwell = t[1];
            break;
        }
        case KR_IO_ADDR_MUTE:
            simhw_setBlanking(-1, item.options == MUTE_CONF_EN_TPT);
            break;
        case KR_IO_ADDR_STOP_TIMER:
            p.timerRunning = false;
            showTimer(p);
            break;
        case KR_IO_ADDR_AWAIT_TRIG:
            simhw_waitTrigger(lk, gen);
            break;
        default:
            break;
    }
}

// Plays the oldest queued record; its bytes leave the queue's count unless the queue was
// dropped meanwhile.
void playFront(Player &p, std::unique_lock<std::mutex> &lk) {
    Item item = std::move(p.queue.front());
    p.queue.pop_front();
    uint64_t epoch = p.epoch;
    play(p, item, lk, simhw_abortGeneration());
    if (p.epoch == epoch) p.queuedBytes -= item.bytes;
    p.played++;
}

void run() {
    Player &p = pl();
    std::unique_lock<std::mutex> lk(simhw_lock());
    auto settle = [&] {
        p.settleRequested = false;
        p.settling = true;
        simhw_settle(
            lk, [] { return !pl().queue.empty(); }, &p.wake);
        p.settling = false;
    };
    for (;;) {
        p.wake.wait(lk,
                    [&] { return (!p.queue.empty() && !p.playingElsewhere) || p.settleRequested; });
        if (p.queue.empty() || p.playingElsewhere) {
            settle();
            continue;
        }
        p.playing = true;
        playFront(p, lk);
        if (p.queue.empty()) {
            p.playing = false;
            simhw_changed().notify_all();
            settle();
        } else if (p.played % SIMPLAYER_RECORDS_PER_TURN == 0) {
            // Let waiting senders and readers in between records, a batch at a time: a turn
            // per record costs the sweep generator more than the records themselves.
            simhw_changed().notify_all();
            lk.unlock();
            std::this_thread::yield();
            lk.lock();
        }
    }
}

// The records played in another thread left the state file to the player thread.
void requestSettle(Player &p) {
    if (p.settling || p.settleRequested) return;
    p.settleRequested = true;
    p.wake.notify_one();
}

// Records that take no hardware time (no delay, point or trigger wait) play at once when
// nothing is queued before them, so the sender plays them itself: the same order and hardware
// time, without two thread switches per transfer. The player thread still writes the state
// file when it is due.
bool playHere(Player &p, std::unique_lock<std::mutex> &lk, std::vector<Item> &items) {
    if (p.playing || !p.queue.empty()) return false;
    for (const Item &i : items) {
        if (i.kind != Item::Record || i.address < 256) continue;
        switch (i.address) {
            case KR_IO_ADDR_DELAY_US:
            case KR_IO_ADDR_SLEEP_US:
            case KR_IO_ADDR_WAIT_TRAN:
            case KR_IO_ADDR_AWAIT_TRIG_TMR:
            case KR_IO_ADDR_TRIG_TMR:
            case KR_IO_ADDR_AWAIT_TRIG:
                return false;
            default:
                break;
        }
    }
    p.playing = p.playingElsewhere = true;
    uint64_t gen = simhw_abortGeneration();
    for (const Item &i : items) {
        play(p, i, lk, gen);
        p.played++;
    }
    p.playing = p.playingElsewhere = false;
    // Nobody saw the player busy, so nobody waits for it to finish; only an idle player
    // thread is woken, to write the state file in time. One that is settling writes it anyway.
    requestSettle(p);
    return true;
}

// Caller holds the lock through lk.
void enqueue(std::unique_lock<std::mutex> &lk, std::vector<Item> &items) {
    Player &p = pl();
    if (!p.threadStarted) {
        simhw_spawn([](intptr_t) { run(); }, 0);
        p.threadStarted = true;
    }
    if (playHere(p, lk, items)) return;
    uint32_t bytes = 0;
    for (const Item &i : items)
        bytes += i.bytes;
    // As the driver does: wait while earlier points still fill the queue.
    simhw_changed().wait(
        lk, [&] { return p.queue.empty() || p.queuedBytes + bytes <= SIMPLAYER_QUEUE_BYTES; });
    for (Item &i : items)
        p.queue.push_back(std::move(i));
    p.queuedBytes += bytes;
    p.wake.notify_one();
    simhw_changed().notify_all();
}

bool waitIdleLocked(std::unique_lock<std::mutex> &lk, double timeoutSeconds) {
    Player &p = pl();
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(timeoutSeconds));
    return simhw_changed().wait_until(lk, deadline, [&] { return p.queue.empty() && !p.playing; });
}

}  // namespace

int simplayer_sendBlock(const uint8_t *data, uint32_t length) {
    std::vector<Item> items;
    if (!parseBlock(data, length, &items, false)) return -EINVAL;
    std::unique_lock<std::mutex> lk(simhw_lock());
    enqueue(lk, items);
    return 0;
}

int simplayer_write(const KrGioTransfer *t) {
    KrIoBlockRecordHeader h = {t->address, t->length, t->options};
    std::string why = checkRecord(h);
    if (!why.empty()) {
        simhw_violation("unbuffered write: %s", why.c_str());
        return -EINVAL;
    }
    const uint8_t *d = (const uint8_t *)t->data;
    std::vector<Item> items;
    items.push_back({Item::Record, t->address, t->length, t->options,
                     std::vector<uint8_t>(d, d + t->length), kr_ioblock_recordSize(t->length)});
    std::unique_lock<std::mutex> lk(simhw_lock());
    enqueue(lk, items);
    return 0;
}

int simplayer_select(uint32_t word) {
    std::vector<Item> items;
    items.push_back({Item::Select, word & 0xFF, 0, 0, {}, sizeof(KrIoBlockRecordHeader)});
    std::unique_lock<std::mutex> lk(simhw_lock());
    enqueue(lk, items);
    return 0;
}

int simplayer_deselect() {
    std::vector<Item> items;
    items.push_back({Item::Deselect, 0, 0, 0, {}, sizeof(KrIoBlockRecordHeader)});
    std::unique_lock<std::mutex> lk(simhw_lock());
    enqueue(lk, items);
    return 0;
}

namespace {

// A reader that finds the player between records plays what is queued itself: the records
// run in the same order, and the read does not wait for two thread switches.
void playQueuedHere(std::unique_lock<std::mutex> &lk) {
    Player &p = pl();
    if (p.playing || p.queue.empty()) return;
    p.playing = p.playingElsewhere = true;
    while (!p.queue.empty())
        playFront(p, lk);
    p.playing = p.playingElsewhere = false;
    requestSettle(p);
    simhw_changed().notify_all();
}

}  // namespace

int simplayer_read(const KrGioTransfer *t) {
    std::unique_lock<std::mutex> lk(simhw_lock());
    playQueuedHere(lk);
    if (!waitIdleLocked(lk, 10.0)) {
        simhw_log("DRIVER read of slave %u: the program did not finish", (unsigned)t->address);
        return -ETIMEDOUT;
    }
    spiRead(pl(), t);
    return 0;
}

int simplayer_asyncBlock(const uint8_t *data, uint32_t length) {
    std::vector<Item> items;
    if (!parseBlock(data, length, &items, true)) return -EINVAL;
    std::lock_guard<std::mutex> g(simhw_lock());
    for (const Item &i : items) {
        SimChip *c = chipFor(i.address);
        if (!c) continue;
        c->select();
        for (size_t k = i.data.size(); k-- > 0;)
            c->transfer(i.data[k]);
        c->deselect();
    }
    return 0;
}

int simplayer_asyncRead(const KrGioTransfer *t) {
    std::lock_guard<std::mutex> g(simhw_lock());
    Player unheld;  // the asynchronous path never shares the held chip select
    spiRead(unheld, t);
    return 0;
}

void simplayer_setPointTiming(uint64_t t1, uint64_t t2) {
    std::lock_guard<std::mutex> g(simhw_lock());
    pl().period = t1;
    pl().dwell = t2;
    if (pl().timerRunning) showTimer(pl());
}

void simplayer_timerOff() {
    std::lock_guard<std::mutex> g(simhw_lock());
    pl().timerRunning = false;
    showTimer(pl());
}

void simplayer_abort() {
    {
        std::lock_guard<std::mutex> g(simhw_lock());
        Player &p = pl();
        p.queue.clear();
        p.queuedBytes = 0;
        p.epoch++;
    }
    simhw_abortWaits();
}

bool simplayer_waitIdle(double timeoutSeconds) {
    std::unique_lock<std::mutex> lk(simhw_lock());
    return waitIdleLocked(lk, timeoutSeconds);
}

void simplayer_reset() {
    simplayer_abort();
    std::unique_lock<std::mutex> lk(simhw_lock());
    waitIdleLocked(lk, 5.0);
    Player &p = pl();
    p.selectedSlave = -1;
    p.period = p.dwell = 0;
    p.nextPeriod = p.nextDwell = 0;
    p.timerRunning = false;
    showTimer(p);
    p.played = 0;
}

uint64_t simplayer_recordsPlayed() {
    std::lock_guard<std::mutex> g(simhw_lock());
    return pl().played;
}
