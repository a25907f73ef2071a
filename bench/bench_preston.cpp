// SPDX-License-Identifier: GPL-3.0-or-later
// The Preston wear matrix of the 500-zone example (target: at most 25 ms,
// warm), and its variants for information: a sideways offset and the
// constant-load pressure, which take the kernel's path form.
//
//   build/release/bench/bench_preston [--benchmark_filter=...]
//
// Run from the repository root, or set DOROZIRI_SOURCE_DIR.

#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_support.hpp"
#include "lap_load/calc_lap.hpp"
#include "preston_wear/preston_kernel.hpp"
#include "removal/removal.hpp"

namespace {

std::vector<double> radii500() {
    dz::WorkingState ws;
    if (dz::CALC_LAP(ws, dz::bench::example500(), false, '.')) return {};
    return dz::normalised_radii(ws);
}

void matrix(benchmark::State& state, const dz::WearSettings& settings) {
    const std::vector<double> radii = radii500();
    if (radii.size() != 500) {
        state.SkipWithError("load failed");
        return;
    }
    std::vector<double> K;
    for (auto _ : state) {
        dz::preston_matrix(radii, settings, {}, K);
        benchmark::DoNotOptimize(K.data());
    }
}

void BM_PrestonMatrix500(benchmark::State& state) { matrix(state, dz::WearSettings{}); }
BENCHMARK(BM_PrestonMatrix500)->Unit(benchmark::kMillisecond);

void BM_PrestonMatrix500Offset(benchmark::State& state) { matrix(state, dz::WearSettings{.offset = 0.05}); }
BENCHMARK(BM_PrestonMatrix500Offset)->Unit(benchmark::kMillisecond);

void BM_PrestonMatrix500Load(benchmark::State& state) {
    matrix(state, dz::WearSettings{.stroke = 0.3, .pressure = dz::PressureModel::load});
}
BENCHMARK(BM_PrestonMatrix500Load)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
