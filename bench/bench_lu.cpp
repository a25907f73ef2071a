// SPDX-License-Identifier: GPL-3.0-or-later
// LU_FACTOR against the step-by-step reference on a dense random matrix.
//
// Each iteration factors the same matrix with the reference and with the
// variant under test, one right after the other, so that a machine shared
// with other work slows both alike; the time shown is the variant's. The
// counters give the variant's best wall-clock time as a ratio of the
// reference's best (ratio), both in nanoseconds per multiply-add actually
// performed (an update whose t is exactly zero is skipped and not counted),
// and the ratio of the processor times summed over all threads (cpu_ratio).
//
// BM_LuBlocked/n/block/threads shows what each step of the tuning brings:
// block 1 on one thread is the column-major copy alone; larger blocks keep
// each element in a register for several steps; then the thread count.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <random>

#include <time.h>

#include "matrices/matrices.hpp"

namespace {

using dz::Matrices;
using dz::NXN_MATRIX;
using dz::Real;

NXN_MATRIX random_matrix(int n)
{
    std::mt19937_64 gen(12345);
    std::uniform_int_distribution<std::int64_t> d(-(1 << 30), 1 << 30);
    NXN_MATRIX m(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    for (Real& x : m) {
        x = static_cast<Real>(d(gen)) / static_cast<Real>(1 << 30);
    }
    return m;
}

// Multiply-adds the elimination performs on m: after the factorisation,
// U(k, j) is the t of step k in column j, and a zero pivot skips its step.
double multiply_adds(const NXN_MATRIX& m, int n)
{
    NXN_MATRIX f = m;
    Matrices s;
    s.MAT_ORDER = n;
    int status = 0;
    s.LU_FACTOR_REFERENCE(f, status);
    double count = 0;
    for (int k = 1; k < n; ++k) {
        if (f[s.MAT_INDEX(k, k)] == 0) {
            continue;
        }
        for (int j = k + 1; j <= n; ++j) {
            if (f[s.MAT_INDEX(k, j)] != 0) {
                count += n - k;
            }
        }
    }
    return count;
}

double cpu_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Wall-clock and processor time (all threads) of one factorisation.
struct Times {
    double wall;
    double cpu;
};

template <class Factor>
Times measure(Matrices& s, NXN_MATRIX& m, const NXN_MATRIX& a, const Factor& factor)
{
    m = a;
    int status = 0;
    const double c0 = cpu_seconds();
    const auto t0 = std::chrono::steady_clock::now();
    factor(s, m, status);
    const auto t1 = std::chrono::steady_clock::now();
    const double c1 = cpu_seconds();
    benchmark::DoNotOptimize(m.data());
    benchmark::DoNotOptimize(status);
    return {std::chrono::duration<double>(t1 - t0).count(), c1 - c0};
}

template <class Factor>
void against_reference(benchmark::State& state, const Factor& factor)
{
    const int n = static_cast<int>(state.range(0));
    const NXN_MATRIX a = random_matrix(n);
    NXN_MATRIX m;
    Matrices s;
    s.MAT_ORDER = n;
    const double inf = std::numeric_limits<double>::infinity();
    Times best_ref{inf, inf};
    Times best{inf, inf};
    for (auto _ : state) {
        const Times r = measure(s, m, a, [](Matrices& x, NXN_MATRIX& y, int& st) { x.LU_FACTOR_REFERENCE(y, st); });
        const Times f = measure(s, m, a, factor);
        best_ref = {std::min(best_ref.wall, r.wall), std::min(best_ref.cpu, r.cpu)};
        best = {std::min(best.wall, f.wall), std::min(best.cpu, f.cpu)};
        state.SetIterationTime(f.wall);
    }
    const double madds = multiply_adds(a, n);
    state.counters["ratio"] = best.wall / best_ref.wall;
    state.counters["ns/madd"] = best.wall * 1e9 / madds;
    state.counters["ref_ns/madd"] = best_ref.wall * 1e9 / madds;
    // processor time summed over the threads: the work done, whatever the
    // machine's load; equal to the wall-clock time on one thread
    state.counters["cpu_ratio"] = best.cpu / best_ref.cpu;
    state.counters["madds"] = madds;
}

void BM_LuFactor(benchmark::State& state)
{
    against_reference(state, [](Matrices& s, NXN_MATRIX& m, int& status) { s.LU_FACTOR(m, status); });
}

void BM_LuBlocked(benchmark::State& state)
{
    const int block = static_cast<int>(state.range(1));
    const int threads = static_cast<int>(state.range(2));
    against_reference(state, [block, threads](Matrices& s, NXN_MATRIX& m, int& status) {
        s.LU_FACTOR_BLOCKED(m, status, block, threads);
    });
}

BENCHMARK(BM_LuFactor)->Arg(500)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);
BENCHMARK(BM_LuBlocked)
    ->ArgsProduct({{500}, {1, 8, 16, 32, 64}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(15);

}  // namespace

BENCHMARK_MAIN();
