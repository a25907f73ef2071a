// SPDX-License-Identifier: GPL-3.0-or-later
// The predicted removal of the 500-zone example: the first call (the wear
// matrix filled again from the radii) and a later one (the matrix kept, as
// the window's view redraws after a change of leaves or efficiency).
//
//   build/release/bench/bench_removal
//
// Run from the repository root, or set DOROZIRI_SOURCE_DIR.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "file_io/file_io.hpp"
#include "lap_load/calc_lap.hpp"
#include "removal/removal.hpp"

namespace {

dz::WorkingState loaded500() {
    const char* env = std::getenv("DOROZIRI_SOURCE_DIR");
    const std::string dir = env != nullptr ? env : DOROZIRI_SOURCE_DIR;
    const auto bytes = dz::read_file(dir + "/examples/profile500.srf");
    dz::WorkingState ws;
    if (!bytes || dz::CALC_LAP(ws, *bytes, false, '.')) {
        std::cerr << "examples/profile500.srf did not load\n";
        std::exit(1);
    }
    return ws;
}

void BM_RemovalFirst500(benchmark::State& state) {
    const dz::WorkingState ws = loaded500();
    for (auto _ : state) {
        const dz::WearModel model(ws);
        benchmark::DoNotOptimize(dz::check_removal(ws, model));
    }
}
BENCHMARK(BM_RemovalFirst500)->Unit(benchmark::kMillisecond);

void BM_RemovalAgain500(benchmark::State& state) {
    const dz::WorkingState ws = loaded500();
    const dz::WearModel model(ws);
    static_cast<void>(model.matrix());
    for (auto _ : state) benchmark::DoNotOptimize(dz::check_removal(ws, model));
}
BENCHMARK(BM_RemovalAgain500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
