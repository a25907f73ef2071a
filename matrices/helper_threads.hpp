#pragma once
// Helper threads for work shared between cores: the columns of an LU update,
// the columns of the wear matrix fill.

#include <memory>

namespace dz {

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

// Runs helper() on up to `helpers` helper threads while the calling thread
// runs own(); returns when all have finished, with the number of helpers that
// ran. own() must get the whole work done when none could be started (take
// the work from a shared counter, for instance).
template <class Helper, class Own>
int run_alongside(int helpers, const Helper& helper, const Own& own) {
    HelperThreads group;
    const int started = helpers > 0 ? group.start(
                                          helpers,
                                          [](void* context) { (*static_cast<const Helper*>(context))(); },
                                          const_cast<Helper*>(&helper))
                                    : 0;
    own();
    group.join();
    return started;
}

}  // namespace dz
