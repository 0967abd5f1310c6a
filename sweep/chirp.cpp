// Chirp: the record's settings and their rules, the start on the sweep timer and the handler
// that arms the channel's ramp, and the stop.
#include "sweep/chirp.h"

#include <atomic>
#include <cfloat>
#include <cstdint>

#include "config/device_config.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_if.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "kr_generic_io.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/sweep.h"
#include "sweep/sweep_rt.h"

namespace {

constexpr KrTime DEFAULT_TIME = 100e-6;
constexpr KrTime DEFAULT_DWELL = 50e-6;
constexpr uint32_t DEFAULT_POINTS = 2;
// Without the device's quantisation: the finest and the coarsest step.
constexpr KrTime FALLBACK_DWELL_MIN = 1e-9;
constexpr KrTime FALLBACK_DWELL_MAX = 60.0;
constexpr KrTime CONTINUOUS_TIMER = 1.0;
constexpr int READY_POLL_MS = 10;
constexpr int READY_WAIT_MS = 500;
constexpr uint32_t SETTLE_US = 100;
constexpr uint32_t NOTIFY_CHIRP = 64;
constexpr uint32_t FS_THROTTLE_BIT = 1;

// The running chirp. The records are written on the main loop before the task starts and
// after it has been joined; the flags are shared with the task.
struct Running {
    std::atomic<bool> taskActive{false};
    std::atomic<bool> abort{false};
    std::atomic<bool> background{false};
    Device *device = nullptr;
    Sweep *sweep = nullptr;
    Chirp *chirp = nullptr;
} run;

// The limits the getters answer through a pointer.
KrTime timeMin, timeMax, dwellMin, dwellMax;
const KrTime periodMin = 0, periodMax = CHIRP_PERIOD_MAX;

bool fs() {
    return device_config_usesOptionFs() != 0;
}

Chirp *record(Device *d) {
    return DEVICE_ISREG(getChirpPtr) ? Device_getChirpPtr(d) : nullptr;
}

Sweep *sweepOf(Device *d) {
    return DEVICE_ISREG(getSweepPtr) ? Device_getSweepPtr(d) : nullptr;
}

uint8_t isReady(const Chirp *c) {
    return sweep_rt_flag(c->ready);
}

void setReady(Chirp *c, uint8_t v) {
    sweep_rt_setFlag(c->ready, v);
}

bool running() {
    return run.taskActive || run.background;
}

KrFreq centerOf(const Chirp *c) {
    KrFreq sum;
    krfreqAdd(&sum, &c->frequencyStart, &c->frequencyStop);
    krfreqShiftRight(&sum, 1);
    return sum;
}

// A multichannel chirp keeps each source's range in that source's record; a running one
// keeps the range it started with (the task reads it).
void takeSweepRange(Device *d, Chirp *c) {
    Sweep *s = sweepOf(d);
    if (!s || c->multichannel || (running() && run.chirp == c)) return;
    c->frequencyStart = s->frequencyStart;
    c->frequencyStop = s->frequencyStop;
}

void gioValue(int request, uintptr_t value) {
    rt_dev_ioctl(krspi_getFd(), request, (void *)value);
}

void ioRecord(uint32_t opcode, uint32_t parameter = 0) {
    krspi_doCapture(opcode, 0, parameter, nullptr);
}

// The rules of time, dwell and points (MANUAL: the dwell is what the hardware steps by).
void applyTime(Device *d, Chirp *c, KrTime t) {
    c->time = c->realisedTime = t;
    if (c->mode != CHIRP_MODE_MANUAL) return;
    c->realisedTime = Chirp_getClosestChirpTime(d, c, t);
    KrTime n = c->points ? (KrTime)c->points : 1;
    c->dwell = t / n;
    c->realisedDwell = c->realisedTime / n;
}

void applyDwell(Device *d, Chirp *c, KrTime dwell) {
    c->dwell = c->realisedDwell = dwell;
    if (c->mode != CHIRP_MODE_MANUAL) return;
    c->realisedDwell = Chirp_getClosestChirpDwellTime(d, c, dwell);
    c->time = dwell * c->points;
    c->realisedTime = c->realisedDwell * c->points;
}

void applyPoints(Chirp *c, uint32_t n) {
    c->points = n;
    if (c->mode != CHIRP_MODE_MANUAL) return;
    c->time = n * c->dwell;
    c->realisedTime = n * c->realisedDwell;
}

int update(Device *d) {
    return DEVICE_ISREG(updateChirp) ? Device_updateChirp(d) : 0;
}

// A restart that fails leaves nothing playing: the frequency goes back to the fixed one.
int restarted(Device *d, Sweep *s, Chirp *c) {
    int r = Chirp_start(d, s, c);
    if (r < 0) {
        s->frequencyMode = s->requestedFrequencyMode = SWEEP_MODE_FIX;
        if (DEVICE_ISREG(setFrequency) && DEVICE_ISREG(getFrequencyFixed))
            Device_setFrequency(d, Device_getFrequencyFixed(d));
    }
    return r;
}

// The running chirp reads this record: this channel's, or any source's of a multichannel one.
bool readByRunning(const Chirp *c) {
    return running() && run.chirp && run.sweep &&
           (run.chirp == c || (run.chirp->multichannel && c->multichannel));
}

// Every setter: a chirp that reads the record is stopped before the record changes (the task
// reads it) and started again with the new settings; otherwise the device is told.
template <typename Change>
int change(Device *d, Change f) {
    Chirp *c = record(d);
    if (!c) return KR_E_UNDEFINED_HEADER;
    bool restart = readByRunning(c);
    Sweep *s = run.sweep;
    Chirp *playing = run.chirp;
    if (restart) Chirp_stop(d);
    f(d, c);
    return restart ? restarted(d, s, playing) : update(d);
}

// ---- The handler -------------------------------------------------------------------------

// The sources' ramps were armed by the start (main loop); each timer period restarts them
// together.
void multichannelHandler(Chirp *c) {
    krspiLockForThread();
    ioRecord(KR_IO_ADDR_TRIG_TMR);
    if (fs()) {
        // The FPGA has no timer record: the armed ramps start together now.
        krgio_ioupdateAll();
        FS_FPGA_IF_flush();
        setReady(c, 1);
    } else {
        // Each period's records reach the driver as one block.
        krspi_startCapture();
        while (!run.abort) {
            krgio_awaitPointProg();
            krgio_ioupdateTrigger(1);
            krgio_sleepUs(SETTLE_US);
            krspi_sendCaptureImmediately();
            setReady(c, 1);
        }
        krspi_stopCapture();
    }
    krspiUnlockForThread();
}

// The chip repeats the ramp by itself once it is armed.
void continuousHandler(Device *d, Chirp *c) {
    if (fs()) {
        if (DEVICE_ISREG(notifyState)) Device_notifyState(d, NOTIFY_CHIRP, 1);
        FS_FPGA_IF_setBufThrottled(FS_THROTTLE_BIT);
        Device_enableChirp(d, c);
        FS_FPGA_IF_requestAwaitSweepTrigger();
        krgio_awaitPointProg();
        krgio_ioupdate();
        FS_FPGA_IF_flush();
        setReady(c, 1);
        return;
    }
    krspiLockForThread();
    krspi_startCapture();
    Device_enableChirp(d, c);
    ioRecord(KR_IO_ADDR_AWAIT_TRIG_TMR);
    krgio_ioupdateTrigger(1);
    krspi_stopCapture();
    krspiUnlockForThread();
    rt_dev_ioctl(krspi_getFd(), KRGIO_IOC_SKIP_BUFSTREAM_WAIT);
    run.background = true;
    run.taskActive = false;
    setReady(c, 1);
}

void countedHandler(Device *d, Chirp *c) {
    krspiLockForThread();
    if (fs()) {
        if (DEVICE_ISREG(notifyState)) Device_notifyState(d, NOTIFY_CHIRP, 1);
        FS_FPGA_IF_setJumpLabel();
        Device_enableChirp(d, c);
        FS_FPGA_IF_requestAwaitSweepTrigger();
        krgio_awaitPointProg();
        krgio_ioupdate();
        krgio_awaitPointProg();
        FS_FPGA_IF_setSweepTimerState(0);
        FS_FPGA_IF_setSweepTimerState(1);
        FS_FPGA_IF_jumpToLabel();
        FS_FPGA_IF_flush();
        setReady(c, 1);
        printdRt("chirp_rt_handler(): passed chirp driving to FPGA\n");
    } else {
        krspi_startCapture();
        while (!run.abort) {
            Device_enableChirp(d, c);
            ioRecord(KR_IO_ADDR_AWAIT_TRIG_TMR);
            krgio_ioupdateTrigger(1);
            krgio_awaitPointProg();
            ioRecord(KR_IO_ADDR_STOP_TIMER);
            krgio_sleepUs(SETTLE_US);
            krspi_sendCaptureImmediately();
            setReady(c, 1);
        }
        krspi_stopCapture();
    }
    krspiUnlockForThread();
}

// The sweep task (standard) or the caller (FS).
void chirpHandler(Sweep *) {
    Device *d = run.device;
    Chirp *c = run.chirp;
    if (c->multichannel)
        multichannelHandler(c);
    else if (c->count == 0)
        continuousHandler(d, c);
    else
        countedHandler(d, c);
}

// Main loop: f(source's own record) with each source current in turn.
template <typename F>
int forEachSource(Device *d, F f) {
    int32_t original = Device_getSource(d);
    int r = 0;
    Device_enumerateSources(d);
    while (Device_nextSource(d)) {
        Chirp *own = Device_getChirpSourcePtr(d, Device_getSource(d));
        if (own && r == 0) r = f(own);
    }
    Device_setSource(d, original);
    return r;
}

// Every source's ramp with the running timing and that source's own range, each around its
// own center.
int armSources(Device *d, const Chirp *c) {
    return forEachSource(d, [d, c](Chirp *own) {
        Chirp each = *c;
        each.frequencyStart = own->frequencyStart;
        each.frequencyStop = own->frequencyStop;
        KrFreq center = centerOf(&each);
        if (DEVICE_ISREG(setFrequency)) Device_setFrequency(d, &center);
        return Device_enableChirp(d, &each);
    });
}

void disableSources(Device *d, const Chirp *c) {
    forEachSource(d, [d, c](Chirp *) {
        Chirp each = *c;
        Device_disableChirp(d, &each);
        return 0;
    });
}

// ---- Slots ---------------------------------------------------------------------------------

int chirpStart(Device *d) {
    Sweep *s = sweepOf(d);
    Chirp *c = record(d);
    if (!s || !c) return KR_E_UNDEFINED_HEADER;
    return Chirp_start(d, s, c);
}

int chirpStop(Device *d) {
    return Chirp_stop(d);
}

// A chirp of this channel follows a change of the sweep's range.
int chirpUpdate(Device *d) {
    Chirp *c = record(d);
    if (!c || !readByRunning(c)) return 0;
    return restarted(d, run.sweep, run.chirp);
}

int isBlankingEnabled(Device *d) {
    Chirp *c = record(d);
    return c && c->blanking ? 1 : 0;
}
int enableBlanking(Device *d) {
    return change(d, [](Device *, Chirp *c) { c->blanking = 1; });
}
int disableBlanking(Device *d) {
    return change(d, [](Device *, Chirp *c) { c->blanking = 0; });
}

uint32_t getCount(Device *d) {
    Chirp *c = record(d);
    return c ? c->count : 0;
}
uint32_t getCountMin(Device *) {
    return CHIRP_COUNT_MIN;
}
uint32_t getCountMax(Device *) {
    return CHIRP_COUNT_MAX;
}
int setCount(Device *d, uint32_t n) {
    return change(d, [n](Device *, Chirp *c) { c->count = n; });
}

template <uint32_t Down, uint8_t Alternate>
int isDirection(Device *d) {
    Chirp *c = record(d);
    return c && c->down == Down && c->alternate == Alternate ? 1 : 0;
}
template <uint32_t Down, uint8_t Alternate>
int setDirection(Device *d) {
    return change(d, [](Device *, Chirp *c) {
        c->down = Down;
        c->alternate = Alternate;
    });
}

const KrTime *getTime(Device *d) {
    Chirp *c = record(d);
    return c ? &c->time : &globalKrTime;
}
const KrTime *getTimeMin(Device *d) {
    Chirp *c = record(d);
    if (device_config_usesOptionNec())
        timeMin = CHIRP_TIME_MIN_NEC;
    else
        timeMin = c ? Chirp_getClosestChirpDwellTime(d, c, 0) : FALLBACK_DWELL_MIN;
    return &timeMin;
}
const KrTime *getTimeMax(Device *) {
    timeMax = device_config_usesOptionNec() ? CHIRP_TIME_MAX_NEC : CHIRP_TIME_MAX;
    return &timeMax;
}
int setTime(Device *d, const KrTime *t) {
    KrTime v = *t;
    return change(d, [v](Device *dev, Chirp *c) { applyTime(dev, c, v); });
}

int isModeAuto(Device *d) {
    Chirp *c = record(d);
    return c && c->mode == CHIRP_MODE_AUTO ? 1 : 0;
}
int isModeManual(Device *d) {
    Chirp *c = record(d);
    return c && c->mode == CHIRP_MODE_MANUAL ? 1 : 0;
}
int setModeAuto(Device *d) {
    return change(d, [](Device *dev, Chirp *c) {
        c->mode = CHIRP_MODE_AUTO;
        applyTime(dev, c, c->time);
    });
}
int setModeManual(Device *d) {
    return change(d, [](Device *dev, Chirp *c) {
        c->mode = CHIRP_MODE_MANUAL;
        applyDwell(dev, c, c->dwell);
    });
}

const KrTime *getDwellMin(Device *d) {
    Chirp *c = record(d);
    dwellMin = c ? Chirp_getClosestChirpDwellTime(d, c, 0) : FALLBACK_DWELL_MIN;
    return &dwellMin;
}
const KrTime *getDwellMax(Device *d) {
    Chirp *c = record(d);
    dwellMax = c ? Chirp_getClosestChirpDwellTime(d, c, DBL_MAX) : FALLBACK_DWELL_MAX;
    return &dwellMax;
}
const KrTime *getDwell(Device *d) {
    Chirp *c = record(d);
    return c ? &c->dwell : &globalKrTime;
}
int setDwell(Device *d, const KrTime *t) {
    KrTime v = *t;
    return change(d, [v](Device *dev, Chirp *c) { applyDwell(dev, c, v); });
}

uint32_t getPointsMin(Device *) {
    return CHIRP_POINTS_MIN;
}
uint32_t getPointsMax(Device *) {
    return UINT32_MAX;
}
uint32_t getPoints(Device *d) {
    Chirp *c = record(d);
    return c ? c->points : 0;
}
int setPoints(Device *d, uint32_t n) {
    return change(d, [n](Device *, Chirp *c) { applyPoints(c, n); });
}

int isMultichannelEnabled(Device *d) {
    Chirp *c = record(d);
    return c && c->multichannel ? 1 : 0;
}
Chirp *sourceRecord(Device *d) {
    if (!DEVICE_ISREG(getChirpSourcePtr) || !DEVICE_ISREG(getSource)) return nullptr;
    return Device_getChirpSourcePtr(d, Device_getSource(d));
}
// The setting is the instrument's: every source's record has it. Enabled, each source starts
// from its own sweep range.
int setMultichannel(Device *d, uint8_t on) {
    return change(d, [on](Device *dev, Chirp *) {
        forEachSource(dev, [dev, on](Chirp *own) {
            if (on && !own->multichannel) takeSweepRange(dev, own);
            own->multichannel = on;
            return 0;
        });
    });
}
int enableMultichannel(Device *d) {
    if (!sourceRecord(d)) return KR_E_HARDWARE_MISSING;
    return setMultichannel(d, 1);
}
int disableMultichannel(Device *d) {
    if (!sourceRecord(d)) return change(d, [](Device *, Chirp *c) { c->multichannel = 0; });
    return setMultichannel(d, 0);
}

template <KrFreq Chirp::*Field, int (**SweepSet)(Device *, const KrFreq *),
          const KrFreq *(**SweepGet)(Device *)>
const KrFreq *getFrequency(Device *d) {
    Chirp *c = record(d);
    Chirp *own = c && c->multichannel ? sourceRecord(d) : nullptr;
    return own ? &(own->*Field) : (*SweepGet)(d);
}
template <KrFreq Chirp::*Field, int (**SweepSet)(Device *, const KrFreq *),
          const KrFreq *(**SweepGet)(Device *)>
int setFrequency(Device *d, const KrFreq *f) {
    Chirp *c = record(d);
    if (!c) return KR_E_UNDEFINED_HEADER;
    if (!c->multichannel) return (*SweepSet)(d, f);  // the sweep's setter updates the chirp
    Chirp *own = sourceRecord(d);
    if (!own) return KR_E_HARDWARE_MISSING;
    KrFreq v = *f;
    return change(d, [own, v](Device *, Chirp *) { own->*Field = v; });
}

const KrTime *getPeriod(Device *d) {
    Chirp *c = record(d);
    return c ? &c->period : &globalKrTime;
}
const KrTime *getPeriodMin(Device *) {
    return &periodMin;
}
const KrTime *getPeriodMax(Device *) {
    return &periodMax;
}
int setPeriod(Device *d, const KrTime *t) {
    KrTime v = *t;
    return change(d, [v](Device *, Chirp *c) { c->period = v; });
}

}  // namespace

void Chirp_setDefaults(Chirp *c) {
    *c = Chirp{};
    c->time = c->realisedTime = DEFAULT_TIME;
    c->dwell = c->realisedDwell = DEFAULT_DWELL;
    c->blanking = 1;
    c->mode = CHIRP_MODE_AUTO;
    c->points = DEFAULT_POINTS;
}

int Chirp_init(Device *device) {
    if (!DEVICE_ISREG(getSweepPtr)) {
        printd("Chirp_init(): Error: Device_getSweepPtr not registered!\n");
        return KR_E_UNDEFINED_HEADER;
    }
    Chirp *c = record(device);
    if (!c) {
        printd("Chirp_init(): Error: Device_getChirpPtr not registered!\n");
        return KR_E_UNDEFINED_HEADER;
    }
    Chirp_setDefaults(c);
    Chirp_registerDeviceFunctions();
    return 0;
}

KrTime Chirp_getClosestChirpDwellTime(Device *d, Chirp *c, KrTime dwell) {
    takeSweepRange(d, c);
    KrFreq center = centerOf(c);
    if (DEVICE_ISREG(getChirpTimebaseClosest))
        return *Device_getChirpTimebaseClosest(d, &center, &dwell);
    if (dwell == 0) return FALLBACK_DWELL_MIN;
    if (dwell == DBL_MAX) return FALLBACK_DWELL_MAX;
    return dwell;
}

KrTime Chirp_getClosestChirpTime(Device *d, Chirp *c, KrTime t) {
    uint32_t n = c->points ? c->points : 1;
    return Chirp_getClosestChirpDwellTime(d, c, t / n) * n;
}

bool Chirp_isRunning() {
    return running();
}

// Main loop. A sweep or chirp playing holds the timer: it is stopped first.
int Chirp_start(Device *d, Sweep *s, Chirp *c) {
    if (!DEVICE_ISREG(enableChirp) || !DEVICE_ISREG(disableChirp)) return KR_E_UNDEFINED_HEADER;
    // The FPGA's timer counts 32 bits of its clock: a longer run of chirps is refused, not cut.
    if (fs() && c->count != 0 && !c->multichannel &&
        c->count * c->realisedTime * FS_TIMER_HZ > 4294967295.0)
        return KR_E_DATA_OUT_OF_RANGE;
    Chirp_stop(d);
    Sweep_stop(s, 0);
    takeSweepRange(d, c);
    KrFreq center = centerOf(c);
    if (!c->multichannel && DEVICE_ISREG(setFrequency)) Device_setFrequency(d, &center);
    // Armed once here so that a range the ramp cannot make is refused before anything runs;
    // the handler arms it again at each start of the timer.
    int r = c->multichannel ? armSources(d, c) : Device_enableChirp(d, c);
    if (r < 0) {
        if (c->multichannel)
            disableSources(d, c);
        else
            Device_disableChirp(d, c);
        return r;
    }
    run.device = d;
    run.sweep = s;
    run.chirp = c;
    run.abort = false;
    run.background = false;
    run.taskActive = true;
    printd("Chirp_start(): starting chirp\n");
    if (!c->blanking) {
        gioValue(KRTPT_IOC_CHIRP_BLANKING_OFF, 0);
        if (fs()) FS_FPGA_IF_setSweepWaiting_rfState_earlyTransient(1, 0);
    } else if (fs()) {
        FS_FPGA_IF_setSweepWaiting_rfState_earlyTransient(0, 0);
    }
    KrTime t = c->count == 0 ? CONTINUOUS_TIMER : c->count * c->realisedTime;
    if (c->multichannel) {
        t = c->realisedTime;
        printd("Chirp_start(): multichannel, dwell (resync) time %f\n", t);
    }
    printd("Chirp_start(): listening for chirp thread ready event\n");
    if (!fs()) krgio_imm_listenBufStreamStart();
    setReady(c, 0);
    printd("Chirp_start(): sweep_rt_start_consttime()\n");
    if (fs()) {
        FS_FPGA_IF_setSweepCount(c->count ? 1 : 0);
        FS_FPGA_IF_awaitIdle();
    }
    r = sweep_rt_start_consttime(s, chirpHandler, t, t);
    if (r != 0) {
        Chirp_stop(d);
        return r;
    }
    printd("Chirp_start(): waiting for kernel buffer full\n");
    if (!fs()) krgio_imm_waitBufStreamStart();
    for (int waited = 0; !isReady(c) && waited < READY_WAIT_MS; waited += READY_POLL_MS) {
        printd("Chirp_start(): waiting for triggerability\n");
        krstuff_delay_us(READY_POLL_MS * 1000);
    }
    if (!isReady(c)) {
        // Reported, not left running half-armed.
        printd("Chirp_start(): chirp thread did not become ready\n");
        Chirp_stop(d);
        return KR_E_HARDWARE_ERROR;
    }
    printd("Chirp_start(): chirp thread ready\n");
    return 0;
}

// Main loop.
int Chirp_stop(Device *d) {
    printd("Chirp_stop()\n");
    bool task = run.taskActive, background = run.background;
    if (!task && !background) return 0;
    if (task) {
        printd("Chirp_stop(): chirp thread is active\n");
        run.abort = true;
    } else {
        printd("Chirp_stop(): chirp is active in background (on DDS)\n");
    }
    sweep_rt_stop(run.sweep);
    gioValue(KRTPT_IOC_CHIRP_STOP, 0);
    krgio_blankRf(0);
    if (fs()) FS_FPGA_IF_setSweepWaiting_rfState_earlyTransient(0, 0);
    Chirp *c = run.chirp;
    if (c && c->multichannel)
        disableSources(d, c);
    else if (c)
        Device_disableChirp(d, c);
    if (fs()) FS_FPGA_IF_flush();
    if (DEVICE_ISREG(disableRfMute)) Device_disableRfMute(d);
    run.taskActive = false;
    run.background = false;
    if (c) setReady(c, 0);
    if (DEVICE_ISREG(notifyState)) Device_notifyState(d, NOTIFY_CHIRP, 0);
    return 0;
}

void Chirp_registerDeviceFunctions() {
    Device_chirp_start = chirpStart;
    Device_chirp_stop = chirpStop;
    // Devices with a chirp of their own bring its update.
    if (!DEVICE_ISREG(updateChirp)) Device_updateChirp = chirpUpdate;
    Device_isChirpBlankingEnabled = isBlankingEnabled;
    Device_enableChirpBlanking = enableBlanking;
    Device_disableChirpBlanking = disableBlanking;
    Device_getChirpCount = getCount;
    Device_getChirpCountMin = getCountMin;
    Device_getChirpCountMax = getCountMax;
    Device_setChirpCount = setCount;
    Device_isChirpDirectionUp = isDirection<0, 0>;
    Device_isChirpDirectionUpDown = isDirection<0, 1>;
    Device_isChirpDirectionDown = isDirection<1, 0>;
    Device_isChirpDirectionDownUp = isDirection<1, 1>;
    Device_setChirpDirectionUp = setDirection<0, 0>;
    Device_setChirpDirectionUpDown = setDirection<0, 1>;
    Device_setChirpDirectionDown = setDirection<1, 0>;
    Device_setChirpDirectionDownUp = setDirection<1, 1>;
    Device_getChirpTime = getTime;
    Device_getChirpTimeMin = getTimeMin;
    Device_getChirpTimeMax = getTimeMax;
    Device_setChirpTime = setTime;
    Device_isChirpModeAuto = isModeAuto;
    Device_setChirpModeAuto = setModeAuto;
    Device_isChirpModeManual = isModeManual;
    Device_setChirpModeManual = setModeManual;
    Device_getChirpDwellTimeMin = getDwellMin;
    Device_getChirpDwellTimeMax = getDwellMax;
    Device_getChirpDwellTime = getDwell;
    Device_setChirpDwellTime = setDwell;
    Device_getChirpPointsMin = getPointsMin;
    Device_getChirpPointsMax = getPointsMax;
    Device_getChirpPoints = getPoints;
    Device_setChirpPoints = setPoints;
    Device_isChirpMultichannelEnabled = isMultichannelEnabled;
    Device_disableChirpMultichannel = disableMultichannel;
    Device_enableChirpMultichannel = enableMultichannel;
    Device_getChirpFrequencyStart =
        getFrequency<&Chirp::frequencyStart, &Device_setFrequencyStart, &Device_getFrequencyStart>;
    Device_setChirpFrequencyStart =
        setFrequency<&Chirp::frequencyStart, &Device_setFrequencyStart, &Device_getFrequencyStart>;
    Device_getChirpFrequencyStop =
        getFrequency<&Chirp::frequencyStop, &Device_setFrequencyStop, &Device_getFrequencyStop>;
    Device_setChirpFrequencyStop =
        setFrequency<&Chirp::frequencyStop, &Device_setFrequencyStop, &Device_getFrequencyStop>;
}

void Chirp_enablePulsedChirpsInterface() {
    Device_getChirpPeriod = getPeriod;
    Device_getChirpPeriodMin = getPeriodMin;
    Device_getChirpPeriodMax = getPeriodMax;
    Device_setChirpPeriod = setPeriod;
}
