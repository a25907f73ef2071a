// LU_FACTOR against the step-by-step reference on a dense random matrix.
//
// Each iteration factors the same matrix with the reference and with the
// variant under test, one right after the other, so that a machine shared
// with other work slows both alike; the time shown is the variant's. The
// counters give the variant's best time as a ratio of the reference's best,
// and both in nanoseconds per multiply-add actually performed (an update
// whose t is exactly zero is skipped and not counted).
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

template <class Factor>
double seconds(Matrices& s, NXN_MATRIX& m, const NXN_MATRIX& a, const Factor& factor)
{
    m = a;
    int status = 0;
    const auto t0 = std::chrono::steady_clock::now();
    factor(s, m, status);
    const auto t1 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(m.data());
    benchmark::DoNotOptimize(status);
    return std::chrono::duration<double>(t1 - t0).count();
}

template <class Factor>
void against_reference(benchmark::State& state, const Factor& factor)
{
    const int n = static_cast<int>(state.range(0));
    const NXN_MATRIX a = random_matrix(n);
    NXN_MATRIX m;
    Matrices s;
    s.MAT_ORDER = n;
    double best_ref = std::numeric_limits<double>::infinity();
    double best = best_ref;
    for (auto _ : state) {
        best_ref = std::min(best_ref, seconds(s, m, a, [](Matrices& r, NXN_MATRIX& x, int& st) {
                                r.LU_FACTOR_REFERENCE(x, st);
                            }));
        const double t = seconds(s, m, a, factor);
        best = std::min(best, t);
        state.SetIterationTime(t);
    }
    const double madds = multiply_adds(a, n);
    state.counters["ratio"] = best / best_ref;
    state.counters["ns/madd"] = best * 1e9 / madds;
    state.counters["ref_ns/madd"] = best_ref * 1e9 / madds;
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
