#include "sweep/sweep_rt.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "config/device_config.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device.h"
#include "device/device_record.h"
#include "hw/fs_fpga.h"
#include "hw/fs_fpga_if.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "kr_generic_io.h"
#include "modulation/fs_dac_mod.h"
#include "modulation/multi_pulse.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_status.h"
#include "sweep/sweep_config.h"
#include "sweep/sweep_list.h"

namespace {

constexpr double TIMER_HALF_HZ = 66.048e6;
constexpr double TIMER_HZ = 132.096e6;
constexpr KrTime HOPPING_POINT_TIME = 1e-3;
constexpr uint32_t RANDOM_MIN_POINTS = 3000;
constexpr int TRIGGERABLE_POLL_MS = 10;
constexpr int TRIGGERABLE_WAIT_MS = 5000;
constexpr int TASK_PRIORITY = 50;
constexpr int TASK_MODE_JOINABLE = 0x400;
constexpr uint16_t OPERATION_SWEEPING = 1u << 3;
constexpr uint16_t QUESTIONABLE_TIMING = 1u << 2;

typedef void (*SweepHandler)(Sweep *s);

struct Player {
    Device *device = nullptr;
    RT_TASK task{};
    bool taskActive = false;
    Sweep *taskSweep = nullptr;
    SweepHandler handler = nullptr;
    RT_MUTEX mutex{};
    bool initialised = false;
    bool useSpiTimer = false;
} player;

struct PauseState {
    int count;
    bool wasRunning;
};
PauseState pauses[8];

// The asynchronous SPI hold of a start, released once: by the handler when it begins, by
// the manual list, or by a start that fails before either.
std::atomic<bool> asyncHeld{false};

void holdAsync() {
    krspiLockAsync();
    asyncHeld = true;
}

void releaseAsync() {
    if (asyncHeld.exchange(false)) krspiUnlockAsync();
}

// The preset of a sweep with the ALC held is a list of its own, so the user's list stays.
SweepList presetList;

enum class Loop { None, Frequency, Power, Phase, List };

// What a channel's task plays: taken on the main loop at the start, so the task never reads
// a field that a command may be writing.
struct SweepRun {
    Sweep settings;  // the record as it was at the start
    SweepPlan plan;
    Loop loop;
    SweepList *list;
};
SweepRun runs[8];

bool fs() {
    return device_config_usesOptionFs() != 0;
}

int gio(int request, void *arg = nullptr) {
    return rt_dev_ioctl(krspi_getFd(), request, arg);
}

int gioValue(int request, uintptr_t value) {
    return rt_dev_ioctl(krspi_getFd(), request, (void *)value);
}

uint64_t timerCount(KrTime t) {
    return 2 * (uint64_t)std::floor(t * TIMER_HALF_HZ + 0.5);
}

KrGioPointTiming timingRecord(KrTime t1, KrTime t2) {
    KrGioPointTiming r{};
    r.t1 = timerCount(t1);
    r.t2 = timerCount(t2);
    return r;
}

Device *device() {
    return player.device;
}

DeviceStatusRegisters *status(Sweep *s) {
    return s->statusRegisters;
}

// ---- The point generator -------------------------------------------------------------

bool listMode(const Sweep *s) {
    return s->frequencyMode == SWEEP_MODE_LIST || s->powerMode == SWEEP_MODE_LIST ||
           s->phaseMode == SWEEP_MODE_LIST;
}

Loop chooseLoop(const Sweep *s) {
    if (listMode(s)) return Loop::List;
    if (s->presetActive &&
        (s->frequencyMode == SWEEP_MODE_SWEEP || s->powerMode == SWEEP_MODE_SWEEP))
        return Loop::List;
    if (s->frequencyMode == SWEEP_MODE_SWEEP) return Loop::Frequency;
    if (s->powerMode == SWEEP_MODE_SWEEP) return Loop::Power;
    if (s->phaseMode == SWEEP_MODE_SWEEP) return Loop::Phase;
    return Loop::None;
}

// The end of a pass in the FS variant: the FPGA repeats what was queued since the label.
void handOver(Sweep *s) {
    if (!fs()) return;
    FS_FPGA_IF_jumpToLabel();
    FS_FPGA_unlockChannelForThread((int)s->fsChannel);
    FS_FPGA_IF_flush();
    FS_FPGA_setFlushModeAlways();
    sweep_rt_setFlag(s->triggerable, 1);
}

// Every point waits for the point timer where its new value takes effect, and mutes between
// points while the point time has a delay.
void beginPoint(Sweep *s) {
    Device *d = device();
    printdRt("\n\n\n\nsweep_rt_handler(): next point\n\n");
    krgio_setTransientAction(krgio_awaitPointProg);
    if (sweep_rt_flag(s->rfMuteBetweenPoints)) {
        if (DEVICE_ISREG(notifyEnableRfMute)) Device_notifyEnableRfMute(d);
    } else if (DEVICE_ISREG(notifyDisableRfMute)) {
        Device_notifyDisableRfMute(d);
    }
}

void playPoint(Sweep *s, Loop loop, bool startTimer) {
    Device *d = device();
    beginPoint(s);
    uint8_t one = 1;
    switch (loop) {
        case Loop::Frequency:
            Device_sweepDefinePreset(d);
            setCurrentFrequency(d, &s->currentFrequency);
            Device_sweepApplyPreset(d);
            break;
        case Loop::Power:
            Device_sweepDefinePreset(d);
            Device_setPower(d, &s->currentPower);
            Device_sweepApplyPreset(d);
            break;
        case Loop::Phase:
            Device_setPhase(d, &s->currentPhase);
            break;
        case Loop::List:
        case Loop::None:
            break;
    }
    if (startTimer) {
        if (loop == Loop::Frequency)
            krspi_doCapture(KR_IO_ADDR_TRIG_TMR, 0, 0, nullptr);
        else
            krspi_doCapture(KR_IO_ADDR_TRIG_TMR, 1, 0, &one);
    }
}

void nextValue(Sweep *s, const SweepPlan &plan, Loop loop, uint32_t index) {
    switch (loop) {
        case Loop::Frequency:
            Sweep_getNextPointFrequency(&plan, index, 0, &s->currentFrequency);
            break;
        case Loop::Power:
            Sweep_getNextPointPower(&plan, index, 0, &s->currentPower);
            break;
        case Loop::Phase:
            Sweep_getNextPointPhase(&plan, index, 0, &s->currentPhase);
            break;
        case Loop::List:
        case Loop::None:
            break;
    }
}

void sweepLoop(Sweep *s, const SweepRun &run) {
    const SweepPlan &plan = run.plan;
    const Sweep &settings = run.settings;
    Loop loop = run.loop;
    uint32_t points = plan.points < 1 ? 1 : plan.points;
    uint32_t remaining = settings.count;
    uint32_t i = 0;
    uint64_t played = 0;
    bool first = true, restartTimer = false, previousLast = false;
    Sweep_setProgress(s, 0, points);
    do {
        bool last = false;
        i++;
        played++;
        if (i >= points) {
            if (remaining) remaining--;
            bool restart = false;
            if (remaining == 0 && settings.count != 0) {
                remaining = settings.count;
                restart = true;
            }
            i = 0;
            last = !(played < RANDOM_MIN_POINTS && plan.direction == SWEEP_DIRECTION_RANDOM);
            // The timer restarts with the next pass's first point.
            if (restart) restartTimer = true;
        }
        Sweep_setProgress(s, i, points);
        if (first || previousLast) FS_FPGA_IF_requestAwaitSweepTrigger();
        bool startTimer = first || (restartTimer && previousLast);
        playPoint(s, loop, startTimer);
        if (startTimer && !first) restartTimer = false;
        if (last) {
            FS_FPGA_IF_markSweepLastPoint();
            if (!settings.cwTransientSeparation) {
                handOver(s);
                if (fs()) break;
            }
        }
        nextValue(s, plan, loop, i);
        if (settings.cwTransientSeparation && first && fs()) FS_FPGA_IF_setJumpLabel();
        first = false;
        previousLast = last;
    } while (!sweep_rt_flag(s->stopRequested));
}

// The minimum point time a frequency step needs with the fast-transition option (µs).
uint32_t minimumTransitionUs(const KrFreq &from, const KrFreq &to) {
    int64_t f = to.integer, p = from.integer;
    return krstuff_getNecMinimumTiming_us(&f, &p);
}

// A step of us microseconds after dwell: whether delay is too short, and the delay it needs
// (a hair more, as the FPGA's counts round down).
bool tooShort(uint32_t us, KrTime dwell, KrTime delay) {
    return delay < us / 1e6 - dwell;
}
KrTime neededDelay(uint32_t us, KrTime dwell) {
    return us / 1e6 - dwell + 1e-12;
}

// The list's step from point to next needs at least its minimum point time: the delay grows.
void checkListStep(const SweepList *l, uint32_t point, uint32_t next, KrTime dwell, KrTime *delay) {
    KrFreq from, to;
    if (!device_config_usesOptionNec() || !sweep_getListPointFrequency(l, point, &from) ||
        !sweep_getListPointFrequency(l, next, &to))
        return;
    uint32_t us = minimumTransitionUs(from, to);
    if (!tooShort(us, dwell, *delay)) return;
    printdRt("sweep_rt_handler(): option NEC: increasing delay (off) time %f -> %f (dwell %f)\n",
             *delay, neededDelay(us, dwell), dwell);
    printdRt("        transition %f to %f Hz\n", krfreqToDouble(&from), krfreqToDouble(&to));
    *delay = neededDelay(us, dwell);
}

// One list point: the columns in play, the ALC value of the preset, then the timing of the
// point after it.
void playListPoint(Sweep *s, const SweepRun &run, uint32_t point, uint32_t next, bool startTimer) {
    Device *d = device();
    const SweepList *l = run.list;
    beginPoint(s);
    Device_sweepDefinePreset(d);
    KrFreq f;
    KrPow p;
    KrAngle a;
    if (sweep_getListPointFrequency(l, point, &f)) setCurrentFrequency(d, &f);
    if (sweep_getListPointPower(l, point, &p)) Device_setPower(d, &p);
    if (run.settings.presetActive) {
        printdRt("sweep_rt_handler(): ALC control value %d\n",
                 (int)l->point[point].alcControlValue);
        Device_setAlcControlValue(d, l->point[point].alcControlValue);
    }
    if (sweep_getListPointPhase(l, point, &a)) {
        printdRt("sweep_rt_handler(): list phase %f\n", a);
        Device_setPhase(d, &a);
    }
    Device_sweepApplyPreset(d);
    KrTime dwell = 0, delay = 0;
    if (sweep_isVariableTimingList(l)) {
        dwell = sweep_getListDwellTime(l, &run.settings, next);
        delay = sweep_getListDelayTime(l, &run.settings, next);
        checkListStep(l, point, next, dwell, &delay);
        sweep_rt_setFlag(s->rfMuteBetweenPoints, delay != 0);
        printdRt("sweep_rt_handler(): point1 = %d -> FS_FPGA_IF_setSweepTimer(%f, %f)\n", (int)next,
                 dwell, delay);
    }
    if (fs()) {
        if (dwell != 0 || delay != 0) FS_FPGA_IF_setSweepTimer(dwell, delay);
    } else {
        uint64_t counts[2] = {dwell || delay ? timerCount(dwell + delay) : 0,
                              dwell || delay ? timerCount(dwell) : 0};
        krspi_doCapture(KR_IO_ADDR_SET_TIMER, sizeof(counts), 0, counts);
    }
    if (startTimer) krspi_doCapture(KR_IO_ADDR_TRIG_TMR, 0, 0, nullptr);
}

void listLoop(Sweep *s, const SweepRun &run) {
    const SweepList *l = run.list;
    uint32_t n = l->points < 1 ? 1 : l->points;
    uint32_t remaining = l->count;
    uint32_t index = 0;
    uint64_t played = 0;
    bool first = true, restartTimer = false, previousLast = false;
    uint32_t point = sweep_getListPointIndex(l, 0);
    Sweep_setProgress(s, 0, n);
    do {
        bool last = false;
        played++;
        uint32_t nextIndex = index + 1;
        if (nextIndex >= n) {
            if (remaining) remaining--;
            if (remaining == 0 && l->count != 0) {
                remaining = l->count;
                restartTimer = true;
            }
            nextIndex = 0;
            last = !(played < RANDOM_MIN_POINTS && l->activeDirection == SWEEP_DIRECTION_RANDOM);
        }
        uint32_t next = sweep_getListPointIndex(l, nextIndex);
        Sweep_setProgress(s, index, n);
        if (first || previousLast) FS_FPGA_IF_requestAwaitSweepTrigger();
        bool startTimer = first || (restartTimer && previousLast);
        playListPoint(s, run, point, next, startTimer);
        if (startTimer && !first) restartTimer = false;
        if (last) {
            FS_FPGA_IF_markSweepLastPoint();
            if (!run.settings.cwTransientSeparation) {
                handOver(s);
                if (fs()) break;
            }
        }
        if (run.settings.cwTransientSeparation && first && fs()) FS_FPGA_IF_setJumpLabel();
        index = nextIndex;
        point = next;
        first = false;
        previousLast = last;
    } while (!sweep_rt_flag(s->stopRequested));
}

void stoppedHandler(void *cookie) {
    Sweep *s = (Sweep *)cookie;
    printd("sweep_rt_stopped_handler()\n");
    if (!fs() && status(s))
        statusregister_setCondition(&status(s)->operation, OPERATION_SWEEPING, 0);
    if (DEVICE_ISREG(notifyState)) Device_notifyState(device(), 1, 0);
}

void sweep_rt_handler(Sweep *s) {
    printdRt("sweep_rt_handler(): sweep %p\n", (void *)s);
    printdRt("sweep_rt_handler(): locked SPI (if using FS, on FS channel %d)\n", (int)s->fsChannel);
    krspiLockForThread();
    if (fs()) {
        FS_FPGA_lockChannelForThread((int)s->fsChannel);
        FS_FPGA_IF_awaitIdle();
        FS_FPGA_IF_setBufThrottled(1);
    }
    const SweepRun &run = runs[s->channel & 7];
    const Sweep &settings = run.settings;
    if (settings.blankingEnabled) {
        printdRt("sweep_rt_handler(): MUTE_CONF_EN_TPT (blank)\n");
        gioValue(KRTPT_IOC_BLANKING, 0);
        krgio_blankRf(1);
    } else {
        printdRt("sweep_rt_handler(): MUTE_CONF_DIS_TPT (RF on)\n");
        gioValue(KRTPT_IOC_BLANKING, 1);
        krgio_blankRf(0);
    }
    bool up = settings.direction == SWEEP_DIRECTION_UP;
    s->currentFrequency = up ? settings.frequencyStart : settings.frequencyStop;
    s->currentPower = up ? settings.powerStart : settings.powerStop;
    s->currentPhase = up ? settings.phaseStart : settings.phaseStop;
    if (!fs()) sweep_rt_setFlag(s->triggerable, 1);
    if (run.loop == Loop::None) printdRt("sweep_rt_handler(): what's my sweep mode?\n");
    releaseAsync();
    krspi_startCapture();
    if (!settings.cwTransientSeparation && fs()) FS_FPGA_IF_setJumpLabel();
    if (run.loop == Loop::List)
        listLoop(s, run);
    else if (run.loop != Loop::None)
        sweepLoop(s, run);
    krspi_stopCapture();
    krspiUnlockForThread();
    s->stoppedCookie = s;
    s->stoppedCallback = stoppedHandler;
    printdRt("sweep_rt_handler(): done\n");
}

void task(void *arg) {
    Sweep *s = (Sweep *)arg;
    rt_mutex_acquire(&player.mutex, TM_INFINITE);
    player.handler(s);
    rt_mutex_release(&player.mutex);
}

int startTiming(Sweep *s, SweepHandler handler, KrTime t1, KrTime t2, bool variable) {
    player.handler = handler;
    s->stoppedCallback = nullptr;
    if (fs()) {
        FS_FPGA_IF_setSweepTimer(t2, t1 - t2);
        handler(s);
        return FS_FPGA_IF_setSweepTimerState_async(1);
    }
    KrGioPointTiming record = timingRecord(t1, t2);
    if (variable) {
        gio(KRTPT_IOC_SET_VARTIME, &record);
        gio(KRTPT_IOC_SET_VARTIME, &record);
    } else {
        printd("sweep_rt_start_consttime(): t1 %f, t2 %f\n", t1, t2);
        gio(KRTPT_IOC_SET_CONSTTIME, &record);
    }
    if (rt_task_create(&player.task, "kr_framework sweep timer handler", 0, TASK_PRIORITY,
                       TASK_MODE_JOINABLE) != 0)
        return KR_E_EXECUTION_ERROR;
    player.taskActive = true;
    player.taskSweep = s;
    if (rt_task_start(&player.task, task, s) != 0) {
        rt_task_delete(&player.task);
        player.taskActive = false;
        return KR_E_EXECUTION_ERROR;
    }
    if (status(s)) statusregister_setCondition(&status(s)->operation, OPERATION_SWEEPING, 1);
    return 0;
}

// The largest minimum point time between consecutive list points in play order (µs); a
// random list may step between any two of its points.
uint32_t listTransitionUs(const SweepList *l) {
    uint32_t n = l->points, worst = 0;
    KrFreq f, g;
    if (n < 2 || !sweep_getListPointFrequency(l, 0, &f)) return 0;
    if (l->direction == SWEEP_DIRECTION_RANDOM) {
        KrFreq low = f, high = f;
        for (uint32_t i = 1; i < n; i++) {
            sweep_getListPointFrequency(l, i, &g);
            if (g.integer < low.integer) low = g;
            if (g.integer > high.integer) high = g;
        }
        for (uint32_t i = 0; i < n; i++) {
            sweep_getListPointFrequency(l, i, &g);
            worst = std::max({worst, minimumTransitionUs(low, g), minimumTransitionUs(high, g)});
        }
        return worst;
    }
    for (uint32_t k = 0; k < n; k++) {
        sweep_getListPointFrequency(l, sweep_getListPointIndex(l, k), &f);
        sweep_getListPointFrequency(l, sweep_getListPointIndex(l, (k + 1) % n), &g);
        worst = std::max(worst, minimumTransitionUs(f, g));
    }
    return worst;
}

// Whether some step of a list with per-point timing gets its delay raised while it plays.
bool listStepRaised(const SweepList *l, const Sweep *s) {
    uint32_t n = l->points;
    KrFreq f, g;
    for (uint32_t k = 0; k < n; k++) {
        uint32_t point = sweep_getListPointIndex(l, k),
                 next = sweep_getListPointIndex(l, (k + 1) % n);
        if (!sweep_getListPointFrequency(l, point, &f) || !sweep_getListPointFrequency(l, next, &g))
            return false;
        if (tooShort(minimumTransitionUs(f, g), sweep_getListDwellTime(l, s, next),
                     sweep_getListDelayTime(l, s, next)))
            return true;
    }
    return false;
}

uint32_t sweepTransitionUs(const Sweep *s) {
    SweepPlan plan{};
    Sweep_readPlan(s, &plan);
    uint32_t n = plan.points < 2 ? 2 : plan.points;
    KrFreq firstF, lastF, beforeLast;
    Sweep_getNextPointFrequency(&plan, 0, 0, &firstF);
    Sweep_getNextPointFrequency(&plan, n - 1, 0, &lastF);
    Sweep_getNextPointFrequency(&plan, n - 2, 0, &beforeLast);
    return std::max(minimumTransitionUs(lastF, firstF), minimumTransitionUs(beforeLast, lastF));
}

// With the fast-transition option a point time too short for the frequency steps gets a
// longer delay, and the questionable timing bit says so.
void checkTransition(Sweep *s, const SweepList *list, KrTime dwell, KrTime *delay) {
    if (!device_config_usesOptionNec()) return;
    uint32_t us = list                                 ? listTransitionUs(list)
                  : s->frequencyMode != SWEEP_MODE_FIX ? sweepTransitionUs(s)
                                                       : 0;
    bool raised = tooShort(us, dwell, *delay);
    if (raised) {
        printd("Sweep_start(): option NEC: increasing delay (off) time %f -> %f (dwell %f)\n",
               *delay, neededDelay(us, dwell), dwell);
        *delay = neededDelay(us, dwell);
    }
    raised = raised || (list && sweep_isVariableTimingList(list) && listStepRaised(list, s));
    if (raised && status(s))
        statusregister_setCondition(&status(s)->questionable, QUESTIONABLE_TIMING, 1);
}

// At process exit the sweep task must not outlive the driver: it is asked to end and joined.
void exitHook(void *) {
    Sweep *s = player.taskSweep;
    if (s) sweep_rt_setFlag(s->stopRequested, 1);
    sweep_rt_stop(s);
}

bool waitTriggerable(Sweep *s) {
    printd("Sweep_start(): waiting for triggerable sweep...\n");
    for (int waited = 0; waited < TRIGGERABLE_WAIT_MS; waited += TRIGGERABLE_POLL_MS) {
        if (sweep_rt_flag(s->triggerable)) {
            printd("Sweep_start(): sweep is triggerable\n");
            return true;
        }
        krstuff_delay_us(TRIGGERABLE_POLL_MS * 1000);
    }
    printd("Sweep_start() error: sweep did not become triggerable\n");
    return false;
}

}  // namespace

uint8_t sweep_rt_flag(const uint8_t &flag) {
    return std::atomic_ref<uint8_t>(const_cast<uint8_t &>(flag)).load(std::memory_order_acquire);
}

void sweep_rt_setFlag(uint8_t &flag, uint8_t value) {
    std::atomic_ref<uint8_t>(flag).store(value, std::memory_order_release);
}

void sweep_rt_setDevice(Device *d) {
    player.device = d;
}

void sweep_rt_planChanged(Sweep *s) {
    if (!sweep_rt_flag(s->running) || !Sweep_inModeSweep(s)) return;
    printd("sweep_rt_planChanged(): restarting the sweep with its new points\n");
    Sweep_start(s);
}

KrTime sweep_rt_checkTiming(KrTime t) {
    return timerCount(t) / TIMER_HZ;
}

int Sweep_checkTiming(KrTime t, KrTime *out) {
    *out = sweep_rt_checkTiming(t);
    return 0;
}

int sweep_rt_settime(Sweep *, KrTime t1, KrTime t2) {
    if (fs()) return FS_FPGA_IF_setSweepTimer_async(t2, t1 - t2);
    KrGioPointTiming record = timingRecord(t1, t2);
    return gio(KRTPT_IOC_SET_CONSTTIME, &record) < 0 ? KR_E_EXECUTION_ERROR : 0;
}

int sweep_rt_start_consttime(Sweep *s, void (*handler)(Sweep *), KrTime t1, KrTime t2) {
    return startTiming(s, handler, t1, t2, false);
}

int sweep_rt_init() {
    if (player.initialised) return 0;
    if (krspi_getFd() < 0) {
        printd("sweep_rt_init(): Failed to open krtimer, fid=%d\n", krspi_getFd());
        return -1;
    }
    gio(KRTPT_IOC_TIMER_RELEASE);
    gioValue(KRTPT_IOC_TIMER_OFF, 0);
    rt_mutex_create(&player.mutex, "KR sweep mutex");
    rt_set_thread_exit_hook(exitHook, nullptr);
    player.useSpiTimer = false;
    player.initialised = true;
    return 0;
}

void sweep_rt_free() {
    if (!player.initialised) return;
    Sweep_stop(nullptr, 0);
    gioValue(KRTPT_IOC_TIMER_OFF, 0);
    rt_mutex_delete(&player.mutex);
    rt_set_thread_exit_hook(nullptr, nullptr);
    gioValue(KRTPT_IOC_RESET, 0);
    player.initialised = false;
}

int sweep_rt_stop(Sweep *s) {
    printd("sweep_rt_stop()\n");
    if (player.useSpiTimer) {
        gio(KRSPI_IOC_TIMER_STOP);
        gio(KRSPI_IOC_TIMER_RELEASE);
        gio(KRTPT_IOC_TIMER_RELEASE);
        player.useSpiTimer = false;
        krspiUnlock();
    } else {
        gioValue(KRTPT_IOC_TIMER_OFF, 0);
        if (fs()) FS_FPGA_IF_setSweepTimerState_async(0);
        if (fs()) FS_FPGA_IF_flush();
        gioValue(KRTPT_IOC_STOP_PREPARE_A, 0);
        gioValue(KRTPT_IOC_STOP_PREPARE_B, 0);
        if (fs()) FS_FPGA_IF_IMM_setCbufState(1);
        if (!fs() && player.taskActive && player.taskSweep == s) {
            rt_task_join(&player.task);
            rt_task_delete(&player.task);
            player.taskActive = false;
            player.taskSweep = nullptr;
        }
        if (fs()) FS_FPGA_IF_flush();
        gioValue(KRTPT_IOC_TIMER_OFF, 0);
        if (fs()) FS_FPGA_IF_IMM_setCbufState(0);
        gioValue(KRTPT_IOC_STOP_FINISH_A, 0);
        gioValue(KRTPT_IOC_STOP_FINISH_B, 0);
    }
    if (s && s->stoppedCallback) {
        void (*callback)(void *) = s->stoppedCallback;
        s->stoppedCallback = nullptr;
        callback(s->stoppedCookie);
    }
    return 0;
}

int Sweep_start(Sweep *s) {
    Device *d = device();
    if (!s || !d) return KR_E_UNDEFINED_HEADER;
    printd("Sweep_start()\n");
    // A pulse train plays on the same sweep engine: the sweep waits until the train is off.
    if (multi_pulse_isActive(d)) {
        printd("Sweep_start(): pulse train active, sweep engine in use\n");
        return KR_E_SETTINGS_CONFLICT;
    }
    // So do the blocks of fast channel programming and a DAC modulation's table.
    if (s->fcp.running) {
        printd("Sweep_start(): fast channel programming active\n");
        return KR_E_SETTINGS_CONFLICT;
    }
    if (fs_dac_mod_isRunning(DEVICE_ISREG(getSource) ? Device_getSource(d) : 0)) {
        printd("Sweep_start(): modulation active, sweep engine in use\n");
        return KR_E_SETTINGS_CONFLICT;
    }
    if (!fs() && DEVICE_ISREG(isTriggerTypePoint) && DEVICE_ISREG(isTriggerSourceImmediate) &&
        Device_isTriggerTypePoint(d) == 1 && Device_isTriggerSourceImmediate(d) == 1) {
        printd("Sweep_start(): trigger settings conflict: source immediate, type point...\n");
        if (!DEVICE_ISREG(setTriggerTypeNormal)) {
            printd("Sweep_start(): ...aborting sweep\n");
            return KR_E_SETTINGS_CONFLICT;
        }
        printd("Sweep_start(): ...setting type normal\n");
        Device_setTriggerTypeNormal(d);
    }
    holdAsync();
    if (sweep_rt_flag(s->running)) Sweep_stop(s, 0);
    sweep_rt_setFlag(s->running, 1);
    sweep_rt_setFlag(s->triggerable, 0);
    sweep_rt_setFlag(s->stopRequested, 0);
    krstuff_executeDeferredCallsImmediately();
    printd("Sweep_start(): krspi_notifyInvalidationListener()\n");
    krspi_notifyInvalidationListener();
    if (DEVICE_ISREG(setTriggerOutputPointSourceTimer)) Device_setTriggerOutputPointSourceTimer(d);
    s->presetActive = !s->presetSweepDisabled && DEVICE_ISREG(isAlcEnabled) &&
                      Device_isAlcEnabled(d) == 1 && DEVICE_ISREG(isAlcHoldEnabled) &&
                      Device_isAlcHoldEnabled(d) == 1;
    if (fs()) FS_FPGA_setFlushModeNever();
    SweepList *list = listMode(s) ? sweep_getActiveSweepList(d) : nullptr;
    if (s->presetActive) {
        if (!list) {
            int r = Sweep_createPresetSweepList(s);
            if (r != 0) {
                releaseAsync();
                Sweep_stop(s, 0);
                return r;
            }
        }
        if (!s->presetMeasured) Sweep_measurePreset(s, list ? list : &presetList);
        if (!list) list = &presetList;
    }
    SweepRun &run = runs[s->channel & 7];
    run.list = list;
    run.settings = *s;
    Sweep_readPlan(s, &run.plan);
    run.loop = chooseLoop(s);
    if (fs()) FS_FPGA_IF_setSweepWaiting_rfState_earlyTransient(!s->blankingEnabled, 0);
    if (list) {
        std::atomic_ref<uint32_t>(list->activeDirection)
            .store(list->direction, std::memory_order_relaxed);
        if (listMode(s)) sweep_setListPlaying(s->channel, true);
    }
    KrTime dwell = list ? sweep_getListDwellTime(list, s, 0) : s->dwell;
    KrTime delay = list ? sweep_getListDelayTime(list, s, 0) : s->delay;
    if (dwell + delay < HOPPING_POINT_TIME && DEVICE_ISREG(setHoppingMode))
        Device_setHoppingMode(d, 4);
    int r;
    if (list && list->mode == SWEEP_LIST_MODE_MANUAL) {
        FS_FPGA_IF_setSweepCount(list->count);
        releaseAsync();
        r = sweep_list_manual(d);
        sweep_rt_setFlag(s->triggerable, 1);
    } else if (list && sweep_isVariableTimingList(list)) {
        FS_FPGA_IF_setSweepCount(list->count);
        uint32_t first = sweep_getListPointIndex(list, 0);
        dwell = sweep_getListDwellTime(list, s, first);
        delay = sweep_getListDelayTime(list, s, first);
        sweep_rt_setFlag(s->rfMuteBetweenPoints, delay != 0);
        checkTransition(s, list, dwell, &delay);
        r = startTiming(s, sweep_rt_handler, dwell + delay, dwell, true);
    } else {
        FS_FPGA_IF_setSweepCount(list ? list->count : s->count);
        sweep_rt_setFlag(s->rfMuteBetweenPoints, delay != 0);
        if (dwell + delay < HOPPING_POINT_TIME && DEVICE_ISREG(setHoppingMode))
            Device_setHoppingMode(d, fs() ? 4 : 1);
        if (s->frequencyMode != SWEEP_MODE_FIX && delay == 0 &&
            DEVICE_ISREG(setTriggerOutputPointSourceIoupdate))
            Device_setTriggerOutputPointSourceIoupdate(d);
        checkTransition(s, list, dwell, &delay);
        r = startTiming(s, sweep_rt_handler, dwell + delay, dwell, false);
    }
    if (r != 0) {
        releaseAsync();
        Sweep_stop(s, 0);
        return r;
    }
    if (!waitTriggerable(s)) {
        Sweep_stop(s, 0);
        return KR_E_HARDWARE_ERROR;
    }
    return 0;
}

int Sweep_stop(Sweep *s, int blank) {
    Device *d = device();
    if (!s) {
        for (uint32_t c = 0; d && c < d->channelCount; c++)
            Sweep_stop(&d->channels[c].sweep, blank);
        return 0;
    }
    printd("Sweep_stop()\n");
    printd("Sweep_stop(): Chirp_stop()\n");
    if (d && DEVICE_ISREG(chirp_stop)) Device_chirp_stop(d);
    if (!sweep_rt_flag(s->running)) return 0;
    printd("Sweep_stop(): FS_FPGA_setFlushModeAlways()\n");
    if (fs()) FS_FPGA_setFlushModeAlways();
    sweep_rt_setFlag(s->stopRequested, 1);
    printd("Sweep_stop(): sweep_rt_stop()\n");
    sweep_rt_stop(s);
    sweep_rt_setFlag(s->running, 0);
    sweep_setListPlaying(s->channel, false);
    sweep_rt_setFlag(s->triggerable, 0);
    printd("Sweep_stop(): krspi_notifyInvalidationListener()\n");
    krspi_notifyInvalidationListener();
    printd("Sweep_stop(): MUTE_CONF_DIS_TPT\n");
    krgio_blankRf(0);
    printd("Sweep_stop(): Device_setHoppingMode()\n");
    if (d && DEVICE_ISREG(setHoppingMode)) Device_setHoppingMode(d, 0);
    printd("Sweep_stop(): done\n");
    if (device_config_usesOptionNec()) {
        if (!status(s)) return KR_E_EXECUTION_ERROR;
        statusregister_setCondition(&status(s)->questionable, QUESTIONABLE_TIMING, 0);
    }
    return 0;
}

int Sweep_pause(Sweep *s) {
    PauseState &p = pauses[s->channel & 7];
    if (++p.count > 1) {
        printd("Sweep_pause(): has been called more than once, which is quite strange\n");
        return 0;
    }
    p.wasRunning = sweep_rt_flag(s->running) != 0;
    if (p.wasRunning) Sweep_stop(s, 0);
    return 0;
}

int Sweep_resume(Sweep *s) {
    PauseState &p = pauses[s->channel & 7];
    if (p.count == 0) {
        printd("Sweep_resume(): error, can not handle more calls than Sweep_pause()\n");
        return 0;
    }
    if (--p.count == 0 && p.wasRunning) {
        p.wasRunning = false;
        return Sweep_start(s);
    }
    return 0;
}

int Sweep_createPresetSweepList(Sweep *s) {
    SweepPlan plan{};
    Sweep_readPlan(s, &plan);
    uint32_t n = plan.points < 1 ? 1 : plan.points;
    if (n > SWEEP_LIST_CAPACITY) return KR_E_TOO_MUCH_DATA;
    SweepList *l = &presetList;
    bool frequency = s->frequencyMode == SWEEP_MODE_SWEEP, power = s->powerMode == SWEEP_MODE_SWEEP;
    l->count = s->count;
    l->capacity = SWEEP_LIST_CAPACITY;
    l->points = n;
    l->direction = l->activeDirection = s->direction;
    l->followsSweepDirection = 1;
    l->mode = SWEEP_LIST_MODE_AUTO;
    l->frequencyUse = frequency ? SWEEP_LIST_USE_PER_POINT : SWEEP_LIST_USE_NONE;
    l->powerUse = power ? SWEEP_LIST_USE_PER_POINT : SWEEP_LIST_USE_NONE;
    l->phaseUse = SWEEP_LIST_USE_NONE;
    l->dwellUse = l->delayUse = SWEEP_LIST_USE_SWEEP;
    l->frequencyCount = frequency ? n : 0;
    l->powerCount = power ? n : 0;
    l->phaseCount = l->dwellCount = l->delayCount = 0;
    for (uint32_t i = 0; i < n; i++) {
        SweepListPoint &p = l->point[i];
        if (frequency) Sweep_getNextPointFrequency(&plan, i, 1, &p.frequency);
        if (power) Sweep_getNextPointPower(&plan, i, 1, &p.power);
        p.alcControlValue = 0;
    }
    return 0;
}

namespace {

struct Measurement {
    Sweep *sweep;
    SweepList *list;
};

// Each point levelled once with the loop sampling, its control value kept for play.
void measure(const Measurement &m) {
    Device *d = device();
    SweepList *l = m.list;
    printd("Sweep_measurePreset(): %u points\n", (unsigned)l->points);
    krspiLockForThread();
    if (DEVICE_ISREG(enableAlcHoldSampleMode)) Device_enableAlcHoldSampleMode(d);
    for (uint32_t i = 0; i < l->points && i < SWEEP_LIST_CAPACITY; i++) {
        Device_sweepDefinePreset(d);
        KrFreq f;
        KrPow p;
        if (sweep_getListPointFrequency(l, i, &f)) setCurrentFrequency(d, &f);
        if (sweep_getListPointPower(l, i, &p)) Device_setPower(d, &p);
        Device_sweepApplyPreset(d);
        if (fs()) FS_FPGA_IF_nextBlock();
        l->point[i].alcControlValue = (int16_t)std::lround(Device_getAlcControlValue(d));
    }
    if (DEVICE_ISREG(disableAlcHoldSampleMode)) Device_disableAlcHoldSampleMode(d);
    krspiUnlockForThread();
}

// The standard controller measures in the sweep task, where a fall-back to secondary mode
// is reported.
void measureTask(void *arg) {
    rt_task_set_mode(0, T_WARNSW, nullptr);
    rt_mutex_acquire(&player.mutex, TM_INFINITE);
    measure(*(const Measurement *)arg);
    rt_mutex_release(&player.mutex);
}

}  // namespace

int Sweep_measurePreset(Sweep *s, SweepList *l) {
    Measurement m{s, l};
    if (fs() || !player.initialised) {
        measure(m);
    } else {
        RT_TASK t{};
        if (rt_task_create(&t, "kr_framework sweep timer handler", 0, TASK_PRIORITY,
                           TASK_MODE_JOINABLE) != 0)
            return KR_E_EXECUTION_ERROR;
        if (rt_task_start(&t, measureTask, &m) != 0) {
            rt_task_delete(&t);
            return KR_E_EXECUTION_ERROR;
        }
        rt_task_join(&t);
        rt_task_delete(&t);
    }
    s->presetMeasured = 1;
    return 0;
}

int Sweep_start_alc(Sweep *s, uint32_t a, KrTime t, uint32_t b) {
    if (sweep_rt_flag(s->running)) Sweep_stop(s, 0);
    sweep_rt_setFlag(s->running, 1);
    sweep_rt_setFlag(s->triggerable, 0);
    s->stoppedCallback = nullptr;
    krspiLock();
    gioValue(KRTPT_IOC_RESET, 0);
    gio(KRSPI_IOC_TIMER_INIT);
    KrGioSpiTimerStart start{{67, 2, b, 0, 0, 2, a, (uint32_t)timerCount(t), 78}};
    gio(KRSPI_IOC_TIMER_START, &start);
    player.useSpiTimer = true;
    return 0;
}
