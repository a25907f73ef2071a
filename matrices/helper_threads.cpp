#include "matrices/helper_threads.hpp"

#include <system_error>
#include <thread>
#include <vector>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

namespace dz {

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
    // the allowed cores after this one, in a circle
    std::vector<int> cores;
    for (int k = 1; k < CPU_SETSIZE; ++k) {
        const int core = (here + k) % CPU_SETSIZE;
        if (CPU_ISSET(core, &t.allowed)) cores.push_back(core);
    }
    for (int w = 0; w < count && w < static_cast<int>(cores.size()); ++w) {
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) != 0) break;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cores[static_cast<std::size_t>(w)], &one);
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

}  // namespace dz
