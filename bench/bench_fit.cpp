// SPDX-License-Identifier: GPL-3.0-or-later
// The least-squares lap design on the 500-zone example, next to the classic
// load of the same file: the fit from cold (the wear matrix given), the fit
// with the refill of the wear matrix in double that it needs, and the
// re-solve for a new efficiency from the previous set-up. Prints each as a
// ratio to the load.
//
//   build/release/bench/bench_fit [--benchmark_filter=...]
//
// Run from the repository root, or set DOROZIRI_SOURCE_DIR.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "bench/bench_support.hpp"
#include "file_io/file_io.hpp"
#include "lap_fit/lap_fit.hpp"
#include "lap_load/calc_lap.hpp"
#include "tests/lap_fit_support.hpp"

namespace {

using dz::bench::example500;

const dz::testing::FitSurface& surface500()
{
    static const dz::testing::FitSurface s = *dz::testing::fit_surface(example500());
    return s;
}

// The classic load, measured once for the ratios (median of 15 runs).
double load_seconds()
{
    static const double seconds = [] {
        std::vector<double> times;
        for (int i = 0; i < 15; ++i) {
            dz::WorkingState ws;
            const auto start = std::chrono::steady_clock::now();
            if (dz::CALC_LAP(ws, example500(), false, '.')) std::exit(1);
            times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }();
    return seconds;
}

void report_ratio(benchmark::State& state, double seconds_per_iteration)
{
    state.counters["ratio_to_load"] = seconds_per_iteration / load_seconds();
}

void BM_Load500(benchmark::State& state)
{
    for (auto _ : state) {
        dz::WorkingState ws;
        benchmark::DoNotOptimize(dz::CALC_LAP(ws, example500(), false, '.'));
    }
}
BENCHMARK(BM_Load500)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Fit500(benchmark::State& state)
{
    const dz::FitProblem p = dz::testing::problem_of(surface500(), 0.10, state.range(0) != 0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) benchmark::DoNotOptimize(dz::fit_lap(p));
    report_ratio(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                            static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Fit500)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the fit adds to a load: the wear matrix filled again (extended, as the
// load fills it) and turned to double, then the fit.
void BM_FillAndFit500(benchmark::State& state)
{
    const dz::testing::FitSurface& s = surface500();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const std::vector<double> wear = dz::testing::wear_matrix(s.radius_mm);
        dz::FitProblem p = dz::testing::problem_of(s, 0.10, false);
        p.wear = wear;
        benchmark::DoNotOptimize(dz::fit_lap(p));
    }
    report_ratio(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                            static_cast<double>(state.iterations()));
}
BENCHMARK(BM_FillAndFit500)->Unit(benchmark::kMillisecond)->UseRealTime();

// A change of efficiency: the floor alternates between 0.10 and 0.20, the
// set-up is kept from the previous fit.
void BM_Refit500NewFloor(benchmark::State& state)
{
    dz::FitWarmStart warm;
    dz::FitProblem p = dz::testing::problem_of(surface500(), 0.10, false);
    p.warm = &warm;
    (void)dz::fit_lap(p);
    bool low = false;
    for (auto _ : state) {
        p.floor = low ? 0.10 : 0.20;
        low = !low;
        benchmark::DoNotOptimize(dz::fit_lap(p));
        if (!warm.reused()) state.SkipWithError("the set-up was not reused");
    }
}
BENCHMARK(BM_Refit500NewFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
