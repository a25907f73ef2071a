// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helper threads for work shared between cores: the columns of an LU update,
// the columns of the wear matrix fill.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace dz {

// The columns first .. last - 1 of some shared work (one block update of an
// LU factorisation, the wear matrix fill), handed out one at a time from
// either end until the two ends meet.
class ColumnClaims {
public:
    ColumnClaims(int first, int last) : ends_(pack(first, last)) {}
    // The lowest column not yet taken, or -1 when none is left.
    int from_left() { return claim(true); }
    // The highest column not yet taken, or -1 when none is left.
    int from_right() { return claim(false); }

private:
    static std::uint64_t pack(int lo, int hi) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(lo)) << 32) | static_cast<std::uint32_t>(hi);
    }
    int claim(bool left) {
        std::uint64_t ends = ends_.load(std::memory_order_relaxed);
        for (;;) {
            const auto lo = static_cast<int>(ends >> 32);
            const auto hi = static_cast<int>(ends & 0xffffffffU);
            if (lo >= hi) return -1;
            const std::uint64_t taken = left ? pack(lo + 1, hi) : pack(lo, hi - 1);
            if (ends_.compare_exchange_weak(ends, taken, std::memory_order_relaxed)) {
                return left ? lo : hi - 1;
            }
        }
    }
    std::atomic<std::uint64_t> ends_;
};

// The cores that helpers start on: up to `count` of the allowed cores other
// than `here` (the creator's), in a circle from the one after it.
[[nodiscard]] std::vector<int> helper_cores(int here, const std::vector<int>& allowed, int count);

// A group of helper threads, each started on a core of its own.
//
// Where the system lets a program choose (Linux), each helper starts on an
// allowed core that neither the calling thread nor an earlier helper is
// running on, and is then free to move like any thread. Left to itself, a
// scheduler may queue a new thread behind the thread that created it and
// leave it there for milliseconds while the other core idles; on a 2-core
// virtual machine this happened to about every second process, and the
// shared work then took as long as on one core. When no core is left for a
// helper, it is not started: a helper sharing its creator's core only costs.
// Elsewhere the helpers are plain threads.
//
// Usual call: run_alongside(1, take_columns, [&] { ...; take_columns(); })
class HelperThreads {
public:
    HelperThreads();
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;
    ~HelperThreads();  // joins

    // Starts up to `count` helpers, each running task(context); returns how
    // many started (0 when there is no other core or no thread to be had).
    int start(int count, void (*task)(void*), void* context);
    // Waits until every started helper has returned.
    void join() noexcept;

    struct Threads;  // the threads and what they run, per system

private:
    std::unique_ptr<Threads> threads_;
};

// Helpers kept for a series of shared tasks, such as the block updates of one
// LU factorisation: started once (as HelperThreads starts them) instead of
// once per task. Between tasks a helper first watches for the next one for
// a few tens of microseconds, which is about how long the caller takes to
// hand it over, and then sleeps until it comes.
//
// Usual call: HelperCrew crew(1); for (...) crew.run(take_right, own_part);
class HelperCrew {
public:
    explicit HelperCrew(int helpers);
    HelperCrew(const HelperCrew&) = delete;
    HelperCrew& operator=(const HelperCrew&) = delete;
    ~HelperCrew();  // stops and joins the helpers

    // The number of helpers running (0: run() calls own() alone).
    [[nodiscard]] int size() const { return size_; }

    // Lets the helpers go without waiting for them, so that they wind down
    // while the caller goes on; run() then calls own() alone, and the
    // destructor only collects them.
    void stop();

    // Runs helper() on every helper while the calling thread runs own();
    // returns when all have finished. As for run_alongside, own() must get
    // the whole work done when the crew is empty.
    template <class Helper, class Own>
    void run(const Helper& helper, const Own& own) {
        if (size_ == 0) {
            own();
            return;
        }
        post([](void* context) { (*static_cast<const Helper*>(context))(); }, const_cast<Helper*>(&helper));
        own();
        wait_done();
    }

private:
    void post(void (*task)(void*), void* context);
    void wait_done();
    static void serve(void* crew);

    HelperThreads threads_;
    int size_ = 0;
    void (*task_)(void*) = nullptr;
    void* context_ = nullptr;
    bool stop_ = false;
    std::atomic<std::uint32_t> posted_{0};    // tasks handed out so far
    std::atomic<std::uint32_t> finished_{0};  // helpers done with the current task
};

// Runs helper() on up to `helpers` helper threads while the calling thread
// runs own(); returns when all have finished, with the number of helpers that
// ran. own() must get the whole work done when none could be started (take
// the work from a shared counter, for instance).
template <class Helper, class Own>
int run_alongside(int helpers, const Helper& helper, const Own& own) {
    HelperCrew crew(helpers);
    const int started = crew.size();
    crew.run(helper, own);
    return started;
}

}  // namespace dz
