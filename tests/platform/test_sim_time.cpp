// Simulated time at scale 0: every wait on the co-kernel clock passes at once while the clock
// moves by the wait's full length, in tasks and in ordinary threads alike.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "core/krstuff.h"
#include "rtnative.h"

namespace {

// Before anything reads the clock.
const int scaleSet = setenv("KR_SIM_TIME_SCALE", "0", 1);

double realSeconds(void (*body)()) {
    auto t0 = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

TEST(SimTime, WaitsTakeNoRealTimeAndTheClockKeepsTheirLength) {
    ASSERT_EQ(scaleSet, 0);
    static RTIME before, after;
    double spent = realSeconds([] {
        before = rt_timer_read();
        krstuff_delay_us(2000000);
        after = rt_timer_read();
    });
    EXPECT_GE(after - before, 2000000000ull);
    EXPECT_LT(spent, 1.0);  // a tenth of a long wait, with room for a loaded machine

    // A task's periodic deadlines: each reached, ten periods of virtual time.
    static RTIME start, end;
    static int misses;
    RT_TASK task;
    ASSERT_EQ(rt_task_create(&task, "sim time", 0, 50, T_JOINABLE), 0);
    ASSERT_EQ(rt_task_start(
                  &task,
                  [](void *) {
                      start = rt_timer_read();
                      for (int i = 1; i <= 10; i++) {
                          RTIME d = start + (RTIME)i * 100000000ull;
                          if (rt_task_sleep_until(d) != 0 || rt_timer_read() < d) misses++;
                      }
                      end = rt_timer_read();
                  },
                  nullptr),
              0);
    ASSERT_EQ(rt_task_join(&task), 0);
    EXPECT_EQ(misses, 0);
    EXPECT_GE(end - start, 1000000000ull);
}

}  // namespace
