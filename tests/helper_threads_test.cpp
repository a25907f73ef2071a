// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the helper threads that share the LU updates and the fill.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "parallel/helper_threads.hpp"

#ifdef __linux__
#include <sched.h>
#endif

namespace {

// The cores besides the caller's that a helper may be started on.
int other_cores() {
#ifdef __linux__
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return 0;
    return CPU_COUNT(&allowed) - 1;
#else
    return std::max(0, static_cast<int>(std::thread::hardware_concurrency()) - 1);
#endif
}

// own() and the helpers take items from one counter until none is left:
// every item is done exactly once, however many helpers started.
// `helper_runs` counts the calls of the helpers' task.
std::vector<int> share_items(int helpers, int items, int& started, int& helper_runs) {
    std::vector<int> done(static_cast<std::size_t>(items), 0);
    std::atomic<int> next{0};
    std::atomic<int> runs{0};
    auto take = [&] {
        for (int i = next++; i < items; i = next++) {
            ++done[static_cast<std::size_t>(i)];
        }
    };
    started = dz::run_alongside(
        helpers,
        [&] {
            ++runs;
            take();
        },
        take);
    helper_runs = runs.load();
    return done;
}

TEST(HelperThreads_ShareWork, EveryItemOnce) {
    for (const int helpers : {0, 1, 3}) {
        int started = -1;
        int helper_runs = -1;
        const std::vector<int> done = share_items(helpers, 5000, started, helper_runs);
        // As many as asked for while there are other cores, each run once.
        EXPECT_EQ(started, std::min(helpers, other_cores())) << helpers << " helpers asked for";
        EXPECT_EQ(helper_runs, started);
        for (std::size_t i = 0; i < done.size(); ++i) {
            ASSERT_EQ(done[i], 1) << "item " << i << " with " << helpers << " helpers";
        }
    }
}

// A crew runs many tasks in a row, each ending before the next starts: the
// items of each round are done once, and a round sees the previous one
// complete (round r adds to what round r - 1 left).
TEST(HelperCrew_ManyRounds, EachRoundCompleteBeforeTheNext) {
    for (const int helpers : {0, 1, 2}) {
        dz::HelperCrew crew(helpers);
        EXPECT_EQ(crew.size(), std::min(helpers, other_cores()));
        constexpr int kItems = 300;
        constexpr int kRounds = 200;
        std::vector<int> value(kItems, 0);
        std::atomic<int> helper_runs{0};
        for (int round = 0; round < kRounds; ++round) {
            std::atomic<int> next{0};
            std::atomic<int> stale{0};
            auto take = [&] {
                for (int i = next++; i < kItems; i = next++) {
                    if (value[static_cast<std::size_t>(i)] != round) ++stale;
                    value[static_cast<std::size_t>(i)] = round + 1;
                }
            };
            crew.run(
                [&] {
                    ++helper_runs;
                    take();
                },
                take);
            ASSERT_EQ(stale.load(), 0) << "round " << round;
            for (const int v : value) ASSERT_EQ(v, round + 1) << "round " << round;
        }
        // Every helper of the crew took part in every round, once.
        EXPECT_EQ(helper_runs.load(), kRounds * crew.size());
    }
}

// A crew that is never given a task stops cleanly.
TEST(HelperCrew_Idle, StopsWithoutTasks) {
    for (int k = 0; k < 20; ++k) {
        const dz::HelperCrew crew(1);
        EXPECT_EQ(crew.size(), std::min(1, other_cores()));
    }
}

// The cores chosen for helpers: never the creator's, the ones after it
// first and then round to the start, no more than asked for.
TEST(HelperCores_Choice, OthersInACircleFromTheNext) {
    using V = std::vector<int>;
    EXPECT_EQ(dz::helper_cores(0, V{0, 1}, 1), V{1});
    EXPECT_EQ(dz::helper_cores(1, V{0, 1}, 1), V{0});
    EXPECT_EQ(dz::helper_cores(1, V{0, 1, 2, 3}, 2), (V{2, 3}));
    EXPECT_EQ(dz::helper_cores(3, V{0, 1, 2, 3}, 3), (V{0, 1, 2}));
    EXPECT_EQ(dz::helper_cores(2, V{0, 1, 2, 3}, 8), (V{3, 0, 1}));
    EXPECT_EQ(dz::helper_cores(5, V{1, 3, 8}, 2), (V{8, 1}));  // creator outside the allowed set
    EXPECT_EQ(dz::helper_cores(0, V{0}, 1), V{});  // no other core: no helper
    EXPECT_EQ(dz::helper_cores(0, V{0, 1}, 0), V{});
}

#ifdef __linux__
// Restricts the calling thread to its current core for the test's duration.
class OneCore {
public:
    OneCore() {
        sched_getaffinity(0, sizeof saved_, &saved_);
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
    }
    ~OneCore() { sched_setaffinity(0, sizeof saved_, &saved_); }
    OneCore(const OneCore&) = delete;
    OneCore& operator=(const OneCore&) = delete;

private:
    cpu_set_t saved_{};
};

// With one core to run on, a helper would only take turns with its creator:
// none is started and the caller does all the work.
TEST(HelperThreads_NoOtherCore, CallerDoesAll) {
    const OneCore one_core;
    int started = -1;
    int helper_runs = -1;
    const std::vector<int> done = share_items(2, 1000, started, helper_runs);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(helper_runs, 0);
    for (const int d : done) ASSERT_EQ(d, 1);
}

// With more cores, a helper started beside its creator ends free to run on
// any core the creator may use. (Where it starts is the system's doing once
// helper_cores has chosen; a check of where it then runs would depend on
// the scheduler not moving either thread.)
TEST(HelperThreads_OtherCore, StartsThenFree) {
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    if (CPU_COUNT(&allowed) < 2) GTEST_SKIP() << "one core only";
    std::atomic<int> helper_allowed{0};
    const int started = dz::run_alongside(
        1,
        [&] {
            cpu_set_t mine;
            sched_getaffinity(0, sizeof mine, &mine);
            helper_allowed = CPU_COUNT(&mine);
        },
        [] {});
    ASSERT_EQ(started, 1);
    EXPECT_EQ(helper_allowed.load(), CPU_COUNT(&allowed));
}
#endif

}  // namespace
