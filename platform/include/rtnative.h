// The real-time co-kernel's native interface as the firmware calls it: tasks, the timer,
// mutexes and the device interface. On this machine tasks are POSIX threads (real-time
// scheduling when the process may have it, normal scheduling otherwise), the timer is
// CLOCK_REALTIME and devices come from the registry in rtdev.h.
//
// Results are 0 (or a count) on success and a negative errno value on failure, as the
// co-kernel returns them.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <cstdint>

typedef uint64_t RTIME;  // nanoseconds
typedef int64_t SRTIME;

// Timeouts of the blocking calls.
constexpr RTIME TM_INFINITE = 0;
constexpr RTIME TM_NONBLOCK = ~(RTIME)0;

// Task mode bits.
constexpr int T_JOINABLE = 0x400;    // rt_task_join may be used on the task
constexpr int T_WARNSW = 0x40000;    // raise SIGXCPU when the task drops to secondary mode
constexpr int T_PRIMARY = 0x200000;  // the task runs in primary (real-time) mode

constexpr int RT_TASK_NAME_LEN = 32;
constexpr int RT_TASK_PRIO_MIN = 0;
constexpr int RT_TASK_PRIO_MAX = 99;

struct RT_TASK {
    pthread_t thread;
    char name[RT_TASK_NAME_LEN];
    int priority;
    int mode;  // creation flags; the running task's mode lives with the thread
    size_t stackSize;
    void (*entry)(void *);
    void *arg;
    int state;  // 0 none, 1 created, 2 started, 3 joined or deleted
};

struct RT_MUTEX {
    pthread_mutex_t mutex;
    char name[RT_TASK_NAME_LEN];
    int valid;
    // The holder and its nesting depth, so that a release by another thread is refused here
    // and never reaches the mutex (undefined for a recursive POSIX mutex).
    unsigned long owner;  // pthread_self() of the holder; read by others atomically
    int depth;
};

// Tasks. stackSize 0 takes the default; priority 0..99.
int rt_task_create(RT_TASK *task, const char *name, int stackSize, int priority, int mode);
int rt_task_start(RT_TASK *task, void (*entry)(void *arg), void *arg);
int rt_task_join(RT_TASK *task);
// nullptr or the calling task ends the caller; another task is cancelled (and joined when
// it was created joinable).
int rt_task_delete(RT_TASK *task);
// The calling task's mode word: clear, then set; the previous mode into *oldMode when given.
// -EPERM outside a real-time task.
int rt_task_set_mode(int clearMask, int setMask, int *oldMode);
// The calling real-time task, or nullptr for any other thread.
RT_TASK *rt_task_self();
// Absolute sleep on the rt_timer_read clock. -EPERM (-1) outside a real-time task,
// -ETIMEDOUT when the date has already passed.
int rt_task_sleep_until(RTIME date);
// Relative sleep; -EPERM outside a real-time task.
int rt_task_sleep(RTIME delay);
// Absolute sleep on the rt_timer_read clock for any thread (the co-kernel's clock services of
// ordinary threads). 0, also when the date has passed.
int rt_clock_sleep_until(RTIME date);

// The co-kernel clock in nanoseconds: CLOCK_REALTIME's scale and epoch. In the simulation it
// runs 1 / KR_SIM_TIME_SCALE times as fast (at 0 it jumps over every wait), so that the
// firmware's waits on it shrink with the simulated hardware's; mutex timeouts stay in host
// time.
RTIME rt_timer_read();

// Mutexes: recursive, as the co-kernel's are. timeout is relative: TM_INFINITE waits,
// TM_NONBLOCK only tries (-EWOULDBLOCK), anything else gives -ETIMEDOUT when it runs out.
int rt_mutex_create(RT_MUTEX *mutex, const char *name);
int rt_mutex_acquire(RT_MUTEX *mutex, RTIME timeout);
int rt_mutex_release(RT_MUTEX *mutex);
int rt_mutex_delete(RT_MUTEX *mutex);

// Device interface. Names may be given with or without a leading "/dev/". A request's
// argument is one pointer-sized word: a pointer to the request's record, or a value
// (requests taking a value read its low 32 bits).
int rt_dev_open(const char *name, int flags);
int rt_dev_ioctl(int fd, int request, ...);
ssize_t rt_dev_read(int fd, void *buffer, size_t size);
ssize_t rt_dev_write(int fd, const void *buffer, size_t size);
int rt_dev_close(int fd);

// Thread-exit hook: the code that owns real-time tasks installs one function that stops
// them; the process exit routine runs it (once) before leaving.
typedef void (*RtThreadExitHook)(void *arg);
void rt_set_thread_exit_hook(RtThreadExitHook hook, void *arg);
int rt_has_thread_exit_hook();
void rt_run_thread_exit_hook();
