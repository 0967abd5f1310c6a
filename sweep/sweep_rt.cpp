#include "sweep/sweep_rt.h"

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
// What each channel's list loop plays.
SweepList *playList[8];

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

enum class Loop { None, Frequency, Power, Phase, List };

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

void sweepLoop(Sweep *s, Loop loop) {
    SweepPlan plan{};
    Sweep_readPlan(s, &plan);
    uint32_t points = plan.points < 1 ? 1 : plan.points;
    uint32_t remaining = s->count;
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
            if (remaining == 0 && s->count != 0) {
                remaining = s->count;
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
            if (!s->cwTransientSeparation) {
                handOver(s);
                if (fs()) break;
            }
        }
        nextValue(s, plan, loop, i);
        if (s->cwTransientSeparation && first && fs()) FS_FPGA_IF_setJumpLabel();
        first = false;
        previousLast = last;
    } while (!sweep_rt_flag(s->stopRequested));
}

// One list point: the columns in play, the ALC value of the preset, then the timing of the
// point after it.
void playListPoint(Sweep *s, const SweepList *l, uint32_t point, uint32_t next, bool startTimer) {
    Device *d = device();
    beginPoint(s);
    Device_sweepDefinePreset(d);
    KrFreq f;
    KrPow p;
    KrAngle a;
    if (sweep_getListPointFrequency(l, point, &f)) setCurrentFrequency(d, &f);
    if (sweep_getListPointPower(l, point, &p)) Device_setPower(d, &p);
    if (s->presetActive) {
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
        dwell = sweep_getListDwellTime(l, s, next);
        delay = sweep_getListDelayTime(l, s, next);
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

void listLoop(Sweep *s, SweepList *l) {
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
        playListPoint(s, l, point, next, startTimer);
        if (startTimer && !first) restartTimer = false;
        if (last) {
            FS_FPGA_IF_markSweepLastPoint();
            if (!s->cwTransientSeparation) {
                handOver(s);
                if (fs()) break;
            }
        }
        if (s->cwTransientSeparation && first && fs()) FS_FPGA_IF_setJumpLabel();
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
    if (s->blankingEnabled) {
        printdRt("sweep_rt_handler(): MUTE_CONF_EN_TPT (blank)\n");
        gioValue(KRTPT_IOC_BLANKING, 0);
        krgio_blankRf(1);
    } else {
        printdRt("sweep_rt_handler(): MUTE_CONF_DIS_TPT (RF on)\n");
        gioValue(KRTPT_IOC_BLANKING, 1);
        krgio_blankRf(0);
    }
    bool up = s->direction == SWEEP_DIRECTION_UP;
    s->currentFrequency = up ? s->frequencyStart : s->frequencyStop;
    s->currentPower = up ? s->powerStart : s->powerStop;
    s->currentPhase = up ? s->phaseStart : s->phaseStop;
    if (!fs()) sweep_rt_setFlag(s->triggerable, 1);
    Loop loop = chooseLoop(s);
    if (loop == Loop::None) printdRt("sweep_rt_handler(): what's my sweep mode?\n");
    releaseAsync();
    krspi_startCapture();
    if (!s->cwTransientSeparation && fs()) FS_FPGA_IF_setJumpLabel();
    if (loop == Loop::List)
        listLoop(s, playList[s->channel & 7]);
    else if (loop != Loop::None)
        sweepLoop(s, loop);
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

// The minimum point time a frequency step needs with the fast-transition option (µs).
uint32_t minimumTransitionUs(const KrFreq &from, const KrFreq &to) {
    int64_t f = to.integer, p = from.integer;
    return krstuff_getNecMinimumTiming_us(&f, &p);
}

void checkTransition(Sweep *s, KrTime dwell, KrTime *delay) {
    if (!device_config_usesOptionNec() || s->frequencyMode == SWEEP_MODE_FIX) return;
    SweepPlan plan{};
    Sweep_readPlan(s, &plan);
    uint32_t n = plan.points < 2 ? 2 : plan.points;
    KrFreq firstF, lastF, beforeLast;
    Sweep_getNextPointFrequency(&plan, 0, 0, &firstF);
    Sweep_getNextPointFrequency(&plan, n - 1, 0, &lastF);
    Sweep_getNextPointFrequency(&plan, n - 2, 0, &beforeLast);
    uint32_t us =
        std::max(minimumTransitionUs(lastF, firstF), minimumTransitionUs(beforeLast, lastF));
    KrTime minimum = us * 1e-6;
    if (*delay < minimum - dwell) {
        printd("Sweep_start(): option NEC: increasing delay (off) time %f -> %f (dwell %f)\n",
               *delay, minimum - dwell, dwell);
        *delay = minimum - dwell;
        if (status(s))
            statusregister_setCondition(&status(s)->questionable, QUESTIONABLE_TIMING, 1);
    }
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

int sweep_rt_init() {
    if (player.initialised) return 0;
    if (krspi_getFd() < 0) {
        printd("sweep_rt_init(): Failed to open krtimer, fid=%d\n", krspi_getFd());
        return -1;
    }
    gio(KRTPT_IOC_TIMER_RELEASE);
    gioValue(KRTPT_IOC_TIMER_OFF, 0);
    rt_mutex_create(&player.mutex, "KR sweep mutex");
    player.useSpiTimer = false;
    player.initialised = true;
    return 0;
}

void sweep_rt_free() {
    if (!player.initialised) return;
    Sweep_stop(nullptr, 0);
    gioValue(KRTPT_IOC_TIMER_OFF, 0);
    rt_mutex_delete(&player.mutex);
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
    playList[s->channel & 7] = list;
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
        checkTransition(s, dwell, &delay);
        r = startTiming(s, sweep_rt_handler, dwell + delay, dwell, true);
    } else {
        FS_FPGA_IF_setSweepCount(list ? list->count : s->count);
        sweep_rt_setFlag(s->rfMuteBetweenPoints, delay != 0);
        if (dwell + delay < HOPPING_POINT_TIME && DEVICE_ISREG(setHoppingMode))
            Device_setHoppingMode(d, fs() ? 4 : 1);
        if (s->frequencyMode != SWEEP_MODE_FIX && delay == 0 &&
            DEVICE_ISREG(setTriggerOutputPointSourceIoupdate))
            Device_setTriggerOutputPointSourceIoupdate(d);
        checkTransition(s, dwell, &delay);
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

// Each point levelled once with the loop sampling, its control value kept for play.
int Sweep_measurePreset(Sweep *s, SweepList *l) {
    Device *d = device();
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
