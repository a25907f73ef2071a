// SPDX-License-Identifier: GPL-3.0-or-later
// The least-squares design as the user meets it, on the 500-zone example: the
// whole command-line process with --design fit next to the classic run (the
// fit's target: at most 4 times the classic process), the window's change
// of efficiency, which solves the fit again from its kept set-up (target:
// 100 ms), and its change of stroke or lap size, which makes the wear model
// anew and fits again (target: 150 ms).
//
//   build/release/bench/bench_design [--benchmark_filter=...]
//
// Run from the repository root, or set DOROZIRI_SOURCE_DIR.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "bench/bench_support.hpp"
#include "file_io/file_io.hpp"
#include "lap_design/lap_design.hpp"
#include "lap_document/lap_document.hpp"
#include "lap_load/calc_lap.hpp"

namespace {

using dz::bench::example500;
using dz::bench::process_seconds;
using dz::bench::source_dir;

double g_classic_seconds = 0;

// doroziri-cli writing the text export of the 500-zone file, with the given
// design options, as a process started directly; seconds per run.
double cli_process(benchmark::State& state, const std::vector<std::string>& design) {
    std::vector<std::string> command = {std::string(DOROZIRI_BINARY_DIR) + "/cli/doroziri-cli"};
    command.insert(command.end(), design.begin(), design.end());
    command.insert(command.end(), {"--txt", "/dev/null", source_dir() + "/examples/profile500.srf"});
    return process_seconds(state, command);
}

void BM_CliClassic500(benchmark::State& state) { g_classic_seconds = cli_process(state, {}); }
BENCHMARK(BM_CliClassic500)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CliFit500(benchmark::State& state) {
    const double seconds = cli_process(state, {"--design", "fit"});
    if (g_classic_seconds > 0) state.counters["ratio_to_classic"] = seconds / g_classic_seconds;
}
BENCHMARK(BM_CliFit500)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CliFitFreeFocus500(benchmark::State& state) {
    const double seconds = cli_process(state, {"--design", "fit", "--free-focus"});
    if (g_classic_seconds > 0) state.counters["ratio_to_classic"] = seconds / g_classic_seconds;
}
BENCHMARK(BM_CliFitFreeFocus500)->Unit(benchmark::kMillisecond)->UseRealTime();

// The efficiency command of the window with the fit chosen: the new
// efficiency, then the fit solved again from the previous set-up, which
// leaves the outline drawn. Alternates between two efficiencies.
void BM_EfficiencyResolve500(benchmark::State& state) {
    dz::WorkingState ws;
    dz::DesignScratch scratch;
    if (dz::CALC_LAP(ws, example500(), false, '.')) {
        state.SkipWithError("load failed");
        return;
    }
    if (dz::set_design(ws, scratch, dz::LapDesign::fit, state.range(0) != 0)) {
        state.SkipWithError("fit failed");
        return;
    }
    int step = 0;
    int reused = 0;
    for (auto _ : state) {
        const dz::Real efficiency = (step++ % 2 == 0) ? 80 : 90;
        if (dz::apply_efficiency(ws, efficiency) || dz::apply_design(ws, scratch)) {
            state.SkipWithError("re-solve failed");
            break;
        }
        reused += scratch.warm.reused() ? 1 : 0;
        benchmark::DoNotOptimize(ws.LEAF_EDGES.data());
    }
    state.counters["set_up_reused"] = static_cast<double>(reused) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_EfficiencyResolve500)->Arg(0)->Arg(1)->ArgName("free_focus")->Unit(benchmark::kMillisecond);

// Design > Stroke... with the fit chosen, as the window runs it: the
// document's set_wear with a new stroke (range 0) or lap size (range 1),
// which makes Preston's zone matrix for it and fits the widths again, then
// the predicted removal the view shows. Alternates between two values so
// that every iteration is a change.
void BM_StrokeChange500(benchmark::State& state) {
    dz::LapDocument doc('.');
    if (doc.open(source_dir() + "/examples/profile500.srf").refused ||
        doc.set_design(dz::LapDesign::fit, false).fit_failed) {
        state.SkipWithError("load or fit failed");
        return;
    }
    int step = 0;
    for (auto _ : state) {
        dz::WearSettings wear = doc.state().WEAR;
        const bool odd = step++ % 2 != 0;
        if (state.range(0) == 0) wear.stroke = odd ? 0.2 : 0.3;
        else wear.lap_size = odd ? 1.0 : 0.8;
        const dz::DocumentOutcome outcome = doc.set_wear(wear);
        if (outcome.refused || outcome.fit_failed || !doc.state().fit_drawn()) {
            state.SkipWithError("re-solve failed");
            break;
        }
        benchmark::DoNotOptimize(doc.removal_check().fit.tau);
    }
}
BENCHMARK(BM_StrokeChange500)->Arg(0)->Arg(1)->ArgName("lap_size")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
