// SPDX-License-Identifier: GPL-3.0-or-later
// The printed lap template of a large lap: the page plan (each page given
// only the alignment marks that reach into it) and the whole PDF made by
// doroziri-cli as a process. Both should grow with the number of pages, not
// with its square: the counter seconds_per_page stays about the same from
// 500 to 2000 mm.
//
//   build/release/bench/bench_templates
//
// Run from the repository root, or set DOROZIRI_SOURCE_DIR.

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.hpp"
#include "lap_template/page_plan.hpp"

namespace {

// The plan of a lap of state.range(0) mm radius on A4.
void BM_PagePlan(benchmark::State& state) {
    const auto radius = static_cast<double>(state.range(0));
    std::size_t pages = 0;
    for (auto _ : state) {
        const dz::PagePlan plan = dz::plan_pages(radius, dz::Paper::a4);
        pages = plan.pages.size();
        benchmark::DoNotOptimize(plan);
    }
    state.counters["pages"] = static_cast<double>(pages);
    state.SetComplexityN(static_cast<benchmark::IterationCount>(pages));
}
BENCHMARK(BM_PagePlan)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Complexity(benchmark::oN);

// A "Spindle" surface of 41 zones up to `radius` mm, written once.
std::string surface_of(int radius) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("doroziri_bench_lap" + std::to_string(radius) + ".srf");
    std::ofstream out(path, std::ios::binary);
    out << radius << " mm lap\nx\n-1.000\n3000.000\nx\n";
    for (int k = 0; k <= 40; ++k) {
        out << radius * k / 40.0 << "\t0\t" << 1 + std::pow(std::sin(k / 3.0), 2) << "\n";
    }
    return path.string();
}

// doroziri-cli --pdf of a lap of state.range(0) mm radius on A4.
void BM_CliPdf(benchmark::State& state) {
    const auto radius = static_cast<int>(state.range(0));
    const std::string surface = surface_of(radius);
    const std::vector<std::string> command = {std::string(DOROZIRI_BINARY_DIR) + "/cli/doroziri-cli", "--lap",
                                              "spindle", "--paper", "a4", "--pdf", "/dev/null", surface};
    const double per_run = dz::bench::process_seconds(state, command);
    const double pages = dz::page_count(radius, dz::Paper::a4);
    state.counters["pages"] = pages;
    state.counters["seconds_per_page"] = per_run / pages;
    std::filesystem::remove(surface);
}
BENCHMARK(BM_CliPdf)->Arg(500)->Arg(1000)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
