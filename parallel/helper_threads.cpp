// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel/helper_threads.hpp"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

namespace dz {

std::vector<int> helper_cores(int here, const std::vector<int>& allowed, int count) {
    std::vector<int> after;
    std::vector<int> before;
    for (const int core : allowed) {
        if (core > here) after.push_back(core);
        if (core < here) before.push_back(core);
    }
    after.insert(after.end(), before.begin(), before.end());
    if (static_cast<int>(after.size()) > count) after.resize(static_cast<std::size_t>(std::max(count, 0)));
    return after;
}

namespace {

struct Task {
    void (*run)(void*);
    void* context;
};

}  // namespace

#ifdef __linux__

struct HelperThreads::Threads {
    std::vector<pthread_t> ids;
    Task task{};
    cpu_set_t allowed{};  // the cores the program may use, given back to each helper
};

namespace {

void* helper_entry(void* group) {
    auto* threads = static_cast<HelperThreads::Threads*>(group);
    // Started where it should be; from now on the scheduler may move it.
    sched_setaffinity(0, sizeof threads->allowed, &threads->allowed);
    threads->task.run(threads->task.context);
    return nullptr;
}

}  // namespace

HelperThreads::HelperThreads() : threads_(std::make_unique<Threads>()) {}

HelperThreads::~HelperThreads() { join(); }

int HelperThreads::start(int count, void (*task)(void*), void* context) {
    Threads& t = *threads_;
    t.task = Task{task, context};
    const int here = sched_getcpu();
    if (here < 0 || sched_getaffinity(0, sizeof t.allowed, &t.allowed) != 0) {
        return 0;
    }
    std::vector<int> allowed;
    for (int core = 0; core < CPU_SETSIZE; ++core) {
        if (CPU_ISSET(core, &t.allowed)) allowed.push_back(core);
    }
    const std::vector<int> cores = helper_cores(here, allowed, count);
    for (std::size_t w = 0; w < cores.size(); ++w) {
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) != 0) break;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cores[w], &one);
        pthread_t id{};
        const bool started = pthread_attr_setaffinity_np(&attr, sizeof one, &one) == 0 &&
                             pthread_create(&id, &attr, helper_entry, &t) == 0;
        pthread_attr_destroy(&attr);
        if (!started) break;
        t.ids.push_back(id);
    }
    return static_cast<int>(t.ids.size());
}

void HelperThreads::join() noexcept {
    for (pthread_t id : threads_->ids) {
        pthread_join(id, nullptr);
    }
    threads_->ids.clear();
}

#else

struct HelperThreads::Threads {
    std::vector<std::thread> ids;
};

HelperThreads::HelperThreads() : threads_(std::make_unique<Threads>()) {}

HelperThreads::~HelperThreads() { join(); }

int HelperThreads::start(int count, void (*task)(void*), void* context) {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    for (int w = 0; w < count && w + 1 < cores; ++w) {
        try {
            threads_->ids.emplace_back(task, context);
        } catch (const std::system_error&) {
            break;
        }
    }
    return static_cast<int>(threads_->ids.size());
}

void HelperThreads::join() noexcept {
    for (std::thread& th : threads_->ids) {
        th.join();
    }
    threads_->ids.clear();
}

#endif

// HelperCrew

namespace {

// Spins of a waiting thread before it sleeps: tens of microseconds. A plain
// load in the loop, no pause instruction, which some hypervisors take as a
// sign to deschedule the virtual core.
constexpr int SPINS = 100000;

template <class Ready>
bool spin_until(const Ready& ready) {
    for (int s = 0; s < SPINS; ++s) {
        if (ready()) return true;
    }
    return false;
}

}  // namespace

HelperCrew::HelperCrew(int helpers) { size_ = helpers > 0 ? threads_.start(helpers, serve, this) : 0; }

HelperCrew::~HelperCrew() {
    stop();
    threads_.join();
}

void HelperCrew::stop() {
    if (size_ > 0) {
        stop_ = true;
        post(nullptr, nullptr);
        size_ = 0;
    }
}

void HelperCrew::serve(void* crew) {
    auto& c = *static_cast<HelperCrew*>(crew);
    std::uint32_t seen = 0;
    for (;;) {
        if (!spin_until([&] { return c.posted_.load(std::memory_order_acquire) != seen; })) {
            c.posted_.wait(seen, std::memory_order_acquire);
        }
        seen = c.posted_.load(std::memory_order_acquire);
        if (c.stop_) return;
        c.task_(c.context_);
        c.finished_.fetch_add(1, std::memory_order_acq_rel);
        c.finished_.notify_one();
    }
}

void HelperCrew::post(void (*task)(void*), void* context) {
    task_ = task;
    context_ = context;
    finished_.store(0, std::memory_order_relaxed);
    posted_.fetch_add(1, std::memory_order_release);
    posted_.notify_all();
}

void HelperCrew::wait_done() {
    const auto all = static_cast<std::uint32_t>(size_);
    if (spin_until([&] { return finished_.load(std::memory_order_acquire) == all; })) return;
    for (std::uint32_t now = finished_.load(std::memory_order_acquire); now != all;
         now = finished_.load(std::memory_order_acquire)) {
        finished_.wait(now, std::memory_order_acquire);
    }
}

}  // namespace dz
