// Real-time tasks, timer and mutexes of the co-kernel interface on POSIX threads.
#include "rtnative.h"

#include <errno.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// The stand-in has no tight memory budget; small task stacks only risk overflows here
// (sanitizer builds need several times more stack than the instrument's build).
constexpr size_t minTaskStack = 256 * 1024;

thread_local RT_TASK *currentTask = nullptr;
thread_local int currentMode = 0;

struct ExitHook {
    std::mutex lock;
    RtThreadExitHook hook = nullptr;
    void *arg = nullptr;
} exitHook;

timespec toTimespec(RTIME ns) {
    timespec ts;
    ts.tv_sec = (time_t)(ns / 1000000000ull);
    ts.tv_nsec = (long)(ns % 1000000000ull);
    return ts;
}

RTIME realNow() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (RTIME)ts.tv_sec * 1000000000ull + (RTIME)ts.tv_nsec;
}

// Simulated time (KR_SIM_TIME_SCALE, as the simulated hardware reads it): the co-kernel clock
// runs 1 / scale times as fast as the host's, so that a wait on it takes scale times its
// length. At 0 a wait passes at once and the clock jumps to its end, keeping a small real
// share of it so that a loop polling another thread still gives that thread its turn.
constexpr double zeroScaleShare = 0.01;
constexpr RTIME zeroScaleYieldBelowNs = 100000;
// Waits this long and longer are those of loops that poll another thread (a task becoming
// ready): they keep a tenth, so that the thread gets its time however loaded the host is.
constexpr RTIME zeroScalePollNs = 5000000;
constexpr double zeroScalePollShare = 0.1;

struct SimTime {
    double scale = 1;
    RTIME realBase = 0;
    std::atomic<int64_t> skipped{0};  // scale 0: how far the clock has jumped ahead
};

SimTime &simTime() {
    static SimTime *t = [] {
        SimTime *n = new SimTime;
        const char *e = getenv("KR_SIM_TIME_SCALE");
        double s = e && *e ? atof(e) : 1.0;
        n->scale = std::isfinite(s) && s >= 0 ? s : 1.0;
        n->realBase = realNow();
        return n;
    }();
    return *t;
}

RTIME virtualNow() {
    SimTime &t = simTime();
    RTIME r = realNow();
    if (t.scale == 1) return r;
    if (t.scale > 0) return t.realBase + (RTIME)((double)(r - t.realBase) / t.scale);
    return r + (RTIME)t.skipped.load(std::memory_order_acquire);
}

void sleepRelative(RTIME ns) {
    timespec ts = toTimespec(ns), rem;
    while (nanosleep(&ts, &rem) == -1 && errno == EINTR)
        ts = rem;
}

// 0 once the clock has reached date, -ETIMEDOUT when it already had.
int sleepUntil(RTIME date) {
    SimTime &t = simTime();
    RTIME now = virtualNow();
    if (date <= now) return -ETIMEDOUT;
    if (t.scale == 1) {
        timespec ts = toTimespec(date);
        int r;
        while ((r = clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &ts, nullptr)) == EINTR) {
        }
        return -r;
    }
    if (t.scale == 0) {
        // A sleep shorter than the host's timer slack would cost the slack: yield instead.
        RTIME left = date - now;
        RTIME share =
            (RTIME)((double)left * (left >= zeroScalePollNs ? zeroScalePollShare : zeroScaleShare));
        if (share < zeroScaleYieldBelowNs)
            sched_yield();
        else
            sleepRelative(share);
        int64_t need = (int64_t)(date - realNow()), cur = t.skipped.load();
        while (cur < need && !t.skipped.compare_exchange_weak(cur, need)) {
        }
        return 0;
    }
    for (; now < date; now = virtualNow())
        sleepRelative((RTIME)((double)(date - now) * t.scale) + 1);
    return 0;
}

void *taskTrampoline(void *p) {
    RT_TASK *task = (RT_TASK *)p;
    currentTask = task;
    currentMode = (task->mode & ~T_JOINABLE) | T_PRIMARY;
    task->entry(task->arg);
    return nullptr;
}

// Real-time scheduling when the process may use it; KR_RT_NOSCHED=1 keeps normal
// scheduling (a spinning task at FIFO priority would starve a small shared machine).
bool wantRealtimeScheduling() {
    const char *e = getenv("KR_RT_NOSCHED");
    return !(e && e[0] == '1');
}

int createThread(RT_TASK *task, bool realtime) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return EAGAIN;
    pthread_attr_setstacksize(&attr, std::max(task->stackSize, minTaskStack));
    pthread_attr_setdetachstate(
        &attr, (task->mode & T_JOINABLE) ? PTHREAD_CREATE_JOINABLE : PTHREAD_CREATE_DETACHED);
    if (realtime) {
        sched_param sp{};
        int lo = sched_get_priority_min(SCHED_FIFO), hi = sched_get_priority_max(SCHED_FIFO);
        sp.sched_priority = std::clamp(task->priority, lo, hi);
        pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
        pthread_attr_setschedpolicy(&attr, SCHED_FIFO);
        pthread_attr_setschedparam(&attr, &sp);
    }
    int r = pthread_create(&task->thread, &attr, taskTrampoline, task);
    pthread_attr_destroy(&attr);
    return r;
}

}  // namespace

int rt_task_create(RT_TASK *task, const char *name, int stackSize, int priority, int mode) {
    if (!task || stackSize < 0 || priority < RT_TASK_PRIO_MIN || priority > RT_TASK_PRIO_MAX)
        return -EINVAL;
    memset(task, 0, sizeof(*task));
    if (name) {
        strncpy(task->name, name, sizeof(task->name) - 1);
    }
    task->priority = priority;
    task->mode = mode;
    task->stackSize = (size_t)stackSize;
    task->state = 1;
    return 0;
}

int rt_task_start(RT_TASK *task, void (*entry)(void *), void *arg) {
    if (!task || !entry) return -EINVAL;
    if (task->state != 1) return -EBUSY;
    task->entry = entry;
    task->arg = arg;
    task->state = 2;
    int r = wantRealtimeScheduling() ? createThread(task, true) : EPERM;
    if (r == EPERM || r == EINVAL) r = createThread(task, false);
    if (r != 0) {
        task->state = 1;
        return -r;
    }
    return 0;
}

int rt_task_join(RT_TASK *task) {
    if (!task || task->state != 2 || !(task->mode & T_JOINABLE)) return -EINVAL;
    if (currentTask == task) return -EDEADLK;
    int r = pthread_join(task->thread, nullptr);
    if (r != 0) return -r;
    task->state = 3;
    return 0;
}

int rt_task_delete(RT_TASK *task) {
    if (!task || task == currentTask) {
        if (!currentTask) return -EPERM;
        currentTask->state = 3;
        pthread_exit(nullptr);
    }
    if (task->state == 1) {
        task->state = 3;
        return 0;
    }
    if (task->state != 2) return -EINVAL;
    pthread_cancel(task->thread);
    if (task->mode & T_JOINABLE) pthread_join(task->thread, nullptr);
    task->state = 3;
    return 0;
}

int rt_task_set_mode(int clearMask, int setMask, int *oldMode) {
    if (oldMode) *oldMode = currentTask ? currentMode : 0;
    if (!currentTask) return -EPERM;
    currentMode = (currentMode & ~clearMask) | setMask;
    return 0;
}

RT_TASK *rt_task_self() {
    return currentTask;
}

int rt_task_sleep_until(RTIME date) {
    if (!currentTask) return -EPERM;
    return sleepUntil(date);
}

int rt_clock_sleep_until(RTIME date) {
    int r = sleepUntil(date);
    return r == -ETIMEDOUT ? 0 : r;
}

int rt_task_sleep(RTIME delay) {
    if (!currentTask) return -EPERM;
    if (delay == 0) return 0;
    int r = rt_task_sleep_until(rt_timer_read() + delay);
    return r == -ETIMEDOUT ? 0 : r;
}

RTIME rt_timer_read() {
    return virtualNow();
}

int rt_mutex_create(RT_MUTEX *mutex, const char *name) {
    if (!mutex) return -EINVAL;
    memset(mutex, 0, sizeof(*mutex));
    if (name) strncpy(mutex->name, name, sizeof(mutex->name) - 1);
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    // Priority inheritance as on the co-kernel, where the platform offers it.
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
    int r = pthread_mutex_init(&mutex->mutex, &attr);
    if (r != 0) {
        pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_NONE);
        r = pthread_mutex_init(&mutex->mutex, &attr);
    }
    pthread_mutexattr_destroy(&attr);
    if (r != 0) return -r;
    mutex->valid = 1;
    return 0;
}

namespace {
int lockMutex(RT_MUTEX *mutex, RTIME timeout) {
    int r;
    if (timeout == TM_INFINITE) {
        r = pthread_mutex_lock(&mutex->mutex);
    } else if (timeout == TM_NONBLOCK) {
        r = pthread_mutex_trylock(&mutex->mutex);
        if (r == EBUSY) return -EWOULDBLOCK;
    } else {
        timespec ts = toTimespec(realNow() + timeout);
        r = pthread_mutex_timedlock(&mutex->mutex, &ts);
    }
    return -r;
}

unsigned long self() {
    return (unsigned long)pthread_self();
}
}  // namespace

int rt_mutex_acquire(RT_MUTEX *mutex, RTIME timeout) {
    if (!mutex || !mutex->valid) return -EINVAL;
    int r = lockMutex(mutex, timeout);
    if (r == 0) {
        __atomic_store_n(&mutex->owner, self(), __ATOMIC_RELAXED);
        mutex->depth++;
    }
    return r;
}

int rt_mutex_release(RT_MUTEX *mutex) {
    if (!mutex || !mutex->valid) return -EINVAL;
    if (__atomic_load_n(&mutex->owner, __ATOMIC_RELAXED) != self() || mutex->depth == 0)
        return -EPERM;
    if (--mutex->depth == 0) __atomic_store_n(&mutex->owner, 0ul, __ATOMIC_RELAXED);
    return -pthread_mutex_unlock(&mutex->mutex);
}

int rt_mutex_delete(RT_MUTEX *mutex) {
    if (!mutex || !mutex->valid) return -EINVAL;
    int r = pthread_mutex_destroy(&mutex->mutex);
    if (r != 0) return -r;
    mutex->valid = 0;
    return 0;
}

void rt_set_thread_exit_hook(RtThreadExitHook hook, void *arg) {
    std::lock_guard<std::mutex> g(exitHook.lock);
    exitHook.hook = hook;
    exitHook.arg = arg;
}

int rt_has_thread_exit_hook() {
    std::lock_guard<std::mutex> g(exitHook.lock);
    return exitHook.hook != nullptr;
}

void rt_run_thread_exit_hook() {
    RtThreadExitHook hook;
    void *arg;
    {
        std::lock_guard<std::mutex> g(exitHook.lock);
        hook = exitHook.hook;
        arg = exitHook.arg;
        exitHook.hook = nullptr;
    }
    if (hook) hook(arg);
}
