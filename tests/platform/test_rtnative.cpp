#include "rtnative.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct Probe {
    std::atomic<int> ran{0};
    RT_TASK *self = nullptr;
    int modeBefore = -1;
    int modeAfter = -1;
    int setModeResult = -99;
    int sleepResult = -99;
    RTIME sleptUntil = 0;
    RTIME wokeAt = 0;
};

void probeBody(void *arg) {
    Probe *p = (Probe *)arg;
    p->self = rt_task_self();
    p->setModeResult = rt_task_set_mode(0, T_WARNSW, &p->modeBefore);
    rt_task_set_mode(0, 0, &p->modeAfter);
    p->sleptUntil = rt_timer_read() + 2000000;  // 2 ms
    p->sleepResult = rt_task_sleep_until(p->sleptUntil);
    p->wokeAt = rt_timer_read();
    p->ran = 1;
}

TEST(RtTask, StartsJoinsAndSleepsUntilTheDeadline) {
    RT_TASK task;
    Probe probe;
    ASSERT_EQ(rt_task_create(&task, "probe", 0, 50, T_JOINABLE), 0);
    ASSERT_EQ(rt_task_start(&task, probeBody, &probe), 0);
    ASSERT_EQ(rt_task_join(&task), 0);
    EXPECT_EQ(probe.ran, 1);
    EXPECT_EQ(probe.self, &task);
    EXPECT_EQ(probe.setModeResult, 0);
    EXPECT_TRUE(probe.modeBefore & T_PRIMARY);
    EXPECT_FALSE(probe.modeBefore & T_WARNSW);
    EXPECT_TRUE(probe.modeAfter & T_WARNSW);
    EXPECT_EQ(probe.sleepResult, 0);
    EXPECT_GE(probe.wokeAt, probe.sleptUntil);
    // A task joins once.
    EXPECT_EQ(rt_task_join(&task), -EINVAL);
}

TEST(RtTask, OrdinaryThreadsAreRefusedRealTimeSleeps) {
    // The firmware's wait falls back to nanosleep on exactly this result.
    EXPECT_EQ(rt_task_sleep_until(rt_timer_read() + 1000000), -1);
    EXPECT_EQ(rt_task_sleep(1000), -EPERM);
    int mode = 123;
    EXPECT_EQ(rt_task_set_mode(0, T_WARNSW, &mode), -EPERM);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(rt_task_self(), nullptr);
    int fromThread = 0;
    std::thread([&] { fromThread = rt_task_sleep_until(rt_timer_read() + 1000); }).join();
    EXPECT_EQ(fromThread, -1);
}

void pastDeadlineBody(void *arg) {
    *(int *)arg = rt_task_sleep_until(rt_timer_read() - 1000);
}

TEST(RtTask, DeadlineInThePastTimesOutAtOnce) {
    RT_TASK task;
    int result = 0;
    ASSERT_EQ(rt_task_create(&task, "past", 0, 10, T_JOINABLE), 0);
    ASSERT_EQ(rt_task_start(&task, pastDeadlineBody, &result), 0);
    ASSERT_EQ(rt_task_join(&task), 0);
    EXPECT_EQ(result, -ETIMEDOUT);
}

TEST(RtTask, RejectsBadArgumentsAndDoubleStart) {
    RT_TASK task;
    EXPECT_EQ(rt_task_create(&task, "bad", 0, 100, 0), -EINVAL);
    EXPECT_EQ(rt_task_create(&task, "bad", -1, 10, 0), -EINVAL);
    EXPECT_EQ(rt_task_join(&task), -EINVAL);  // never started
    ASSERT_EQ(rt_task_create(&task, "once", 16384, 10, T_JOINABLE), 0);
    std::atomic<int> n{0};
    auto body = [](void *a) { ++*(std::atomic<int> *)a; };
    ASSERT_EQ(rt_task_start(&task, body, &n), 0);
    EXPECT_EQ(rt_task_start(&task, body, &n), -EBUSY);
    ASSERT_EQ(rt_task_join(&task), 0);
    EXPECT_EQ(n, 1);
}

TEST(RtTask, ANonJoinableTaskRunsDetached) {
    RT_TASK task;
    std::atomic<int> n{0};
    ASSERT_EQ(rt_task_create(&task, "detached", 0, 10, 0), 0);
    ASSERT_EQ(rt_task_start(
                  &task, [](void *a) { ++*(std::atomic<int> *)a; }, &n),
              0);
    EXPECT_EQ(rt_task_join(&task), -EINVAL);
    for (int i = 0; i < 2000 && n == 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(n, 1);
}

TEST(RtTimer, ReadsTheRealtimeClockInNanoseconds) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    RTIME before = (RTIME)ts.tv_sec * 1000000000ull + ts.tv_nsec;
    RTIME t = rt_timer_read();
    clock_gettime(CLOCK_REALTIME, &ts);
    RTIME after = (RTIME)ts.tv_sec * 1000000000ull + ts.tv_nsec;
    EXPECT_LE(before, t);
    EXPECT_LE(t, after);
}

TEST(RtMutex, IsRecursiveAndExcludesOtherThreads) {
    RT_MUTEX m;
    ASSERT_EQ(rt_mutex_create(&m, "KR test mutex"), 0);
    EXPECT_EQ(rt_mutex_acquire(&m, TM_INFINITE), 0);
    EXPECT_EQ(rt_mutex_acquire(&m, TM_NONBLOCK), 0);  // same owner nests
    int tryResult = 0, timedResult = 0;
    RTIME waited = 0;
    std::thread([&] {
        tryResult = rt_mutex_acquire(&m, TM_NONBLOCK);
        RTIME t0 = rt_timer_read();
        timedResult = rt_mutex_acquire(&m, 5000000);  // 5 ms
        waited = rt_timer_read() - t0;
    }).join();
    EXPECT_EQ(tryResult, -EWOULDBLOCK);
    EXPECT_EQ(timedResult, -ETIMEDOUT);
    EXPECT_GE(waited, 4000000u);
    EXPECT_EQ(rt_mutex_release(&m), 0);
    EXPECT_EQ(rt_mutex_release(&m), 0);
    EXPECT_EQ(rt_mutex_release(&m), -EPERM);  // not held any more
    std::thread([&] {
        tryResult = rt_mutex_acquire(&m, TM_NONBLOCK);
        rt_mutex_release(&m);
    }).join();
    EXPECT_EQ(tryResult, 0);
    EXPECT_EQ(rt_mutex_delete(&m), 0);
    EXPECT_EQ(rt_mutex_acquire(&m, TM_INFINITE), -EINVAL);
}

TEST(RtMutex, SerialisesATaskWithTheCreator) {
    static RT_MUTEX m;
    static int counter;
    counter = 0;
    ASSERT_EQ(rt_mutex_create(&m, "KR sweep mutex"), 0);
    RT_TASK tasks[3];
    auto body = [](void *) {
        for (int i = 0; i < 1000; i++) {
            rt_mutex_acquire(&m, TM_INFINITE);
            int c = counter;
            counter = c + 1;
            rt_mutex_release(&m);
        }
    };
    for (RT_TASK &t : tasks) {
        ASSERT_EQ(rt_task_create(&t, "counter", 0, 20, T_JOINABLE), 0);
        ASSERT_EQ(rt_task_start(&t, body, nullptr), 0);
    }
    for (RT_TASK &t : tasks)
        ASSERT_EQ(rt_task_join(&t), 0);
    EXPECT_EQ(counter, 3000);
    EXPECT_EQ(rt_mutex_delete(&m), 0);
}

TEST(RtExitHook, RunsOnceWithItsArgument) {
    static int calls;
    static void *seen;
    calls = 0;
    int cookie;
    EXPECT_FALSE(rt_has_thread_exit_hook());
    rt_run_thread_exit_hook();  // nothing installed: nothing happens
    rt_set_thread_exit_hook(
        [](void *a) {
            calls++;
            seen = a;
        },
        &cookie);
    EXPECT_TRUE(rt_has_thread_exit_hook());
    rt_run_thread_exit_hook();
    rt_run_thread_exit_hook();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, &cookie);
    EXPECT_FALSE(rt_has_thread_exit_hook());
}

}  // namespace
