// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks share: where the examples are, the 500-zone example's
// bytes, and starting the command-line tool as a process of its own.
//
// The benchmarks run from the repository root, or with DOROZIRI_SOURCE_DIR
// naming it; DOROZIRI_SOURCE_DIR is also compiled in as the fallback.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "file_io/file_io.hpp"

extern char** environ;

namespace dz::bench {

inline std::string source_dir() {
    const char* env = std::getenv("DOROZIRI_SOURCE_DIR");
    return env != nullptr ? env : DOROZIRI_SOURCE_DIR;
}

// The bytes of examples/profile500.srf, read once; ends the program with a
// message when the file cannot be read.
inline const std::string& example500() {
    static const std::string bytes = [] {
        auto b = dz::read_file(source_dir() + "/examples/profile500.srf");
        if (!b) {
            std::cerr << "examples/profile500.srf not found\n";
            std::exit(1);
        }
        return *b;
    }();
    return bytes;
}

// Starts a program with its arguments (argv[0] its path; no shell) and
// waits for it; its exit status, or -1 when it could not be started or did
// not exit normally.
inline int run_process(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `command` (as run_process does) once per iteration of `state` and
// returns the mean wall time of one run in seconds; a run that fails ends
// the benchmark with an error.
inline double process_seconds(benchmark::State& state, const std::vector<std::string>& command) {
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = run_process(command);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (rc != 0) {
            state.SkipWithError((command[0] + " failed").c_str());
            break;
        }
    }
    return state.iterations() > 0 ? total / static_cast<double>(state.iterations()) : 0;
}

}  // namespace dz::bench
