// SPDX-License-Identifier: GPL-3.0-or-later
// The load of a 500-zone surface, stage by stage, next to the straightforward
// transcription of the same load (reference fill, reference LU and plain
// solve). Prints the ratio of the whole load and of the command-line tool as
// a process.
//
//   build/release/bench/bench_load [--benchmark_filter=...]
//
// Run from the repository root, or set DOROZIRI_SOURCE_DIR.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include "drawing/leaf_outline.hpp"
#include "bench/bench_support.hpp"
#include "file_io/file_io.hpp"
#include "export/text_export.hpp"
#include "lap_calc/spline_fit.hpp"
#include "lap_calc/wear_matrix.hpp"
#include "lap_load/calc_lap.hpp"
#include "parallel/helper_threads.hpp"
#include "surface/surface_reader.hpp"

namespace {

using dz::bench::example500;
using dz::bench::process_seconds;
using dz::bench::source_dir;

using dz::Real;

dz::SurfaceData surface500() {
    dz::Tokenizer tokenizer('.');
    return *dz::read_surface(example500(), tokenizer, dz::ZONE_CAPACITY).data;
}

// The straightforward load: the reference fill and the reference LU, then the
// same solve, smoothing and outline.
void straightforward_load(dz::WorkingState& ws) {
    dz::Tokenizer tokenizer('.');
    dz::LoadScratch work;
    dz::SurfaceData s = *dz::read_surface(example500(), tokenizer, dz::ZONE_CAPACITY).data;
    const int n = s.zone_count;
    const Real outer = s.radius[static_cast<std::size_t>(n - 1)];
    work.matrices.MAT_ORDER = n;
    dz::fill_wear_matrix_reference(s.radius, n, outer, work.WEAR_MATRIX);
    int status = 0;
    work.matrices.LU_FACTOR_REFERENCE(work.WEAR_MATRIX, status);
    dz::N_VECTOR profile = s.raw;
    work.matrices.LU_SOLVE(work.WEAR_MATRIX, profile);
    Real profile_min = 0;
    (void)dz::smooth_profile(work.matrices, work.bsplines, work.WEAR_MATRIX, work.SPLINE_COEF, profile, n, profile_min);
    ws.ZONE_COUNT = n;
    ws.LAST_ZONE = n - 1;
    ws.OUTER_RADIUS = outer;
    ws.ZONE_RADIUS = s.radius;
    ws.ZONE_RAW = s.raw;
    ws.ZONE_PROFILE = profile;
    ws.BASE_OFFSET = -profile_min;
    ws.LEAF_EDGES.assign(static_cast<std::size_t>(n) * 4, 0);
    dz::build_leaf_edges(ws);
}

void BM_Read500(benchmark::State& state) {
    for (auto _ : state) {
        dz::Tokenizer tokenizer('.');
        auto r = dz::read_surface(example500(), tokenizer, dz::ZONE_CAPACITY);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_Read500)->Unit(benchmark::kMillisecond);

// A fill of the 500-zone wear matrix: the reference, or the load's (column
// after column, shared with a helper).
template <void (*Fill)(const dz::N_VECTOR&, int, Real, dz::NXN_MATRIX&)>
void BM_Fill(benchmark::State& state) {
    const dz::SurfaceData s = surface500();
    dz::NXN_MATRIX m;
    for (auto _ : state) {
        Fill(s.radius, s.zone_count, s.radius[499], m);
        benchmark::DoNotOptimize(m.data());
    }
}
BENCHMARK(BM_Fill<dz::fill_wear_matrix_reference>)->Name("BM_FillReference500")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fill<dz::fill_wear_matrix_columns>)->Name("BM_Fill500")->Unit(benchmark::kMillisecond);

// The factorisation of the 500-zone wear matrix and the solve: the
// reference LU and the plain solve on the matrix in rows, or the load's
// (the matrix in columns, the profile riding along the elimination, then
// the back substitution, sharing one helper).
template <bool Reference>
void BM_FactorSolveWear(benchmark::State& state) {
    const dz::SurfaceData s = surface500();
    dz::NXN_MATRIX filled;
    if constexpr (Reference) {
        dz::fill_wear_matrix_reference(s.radius, s.zone_count, s.radius[499], filled);
    } else {
        dz::fill_wear_matrix_columns(s.radius, s.zone_count, s.radius[499], filled);
    }
    dz::Matrices solver;
    solver.MAT_ORDER = s.zone_count;
    dz::HelperCrew helpers(Reference ? 0 : 1);
    for (auto _ : state) {
        state.PauseTiming();
        dz::NXN_MATRIX m = filled;
        dz::N_VECTOR profile = s.raw;
        state.ResumeTiming();
        int status = 0;
        if constexpr (Reference) {
            solver.LU_FACTOR_REFERENCE(m, status);
            solver.LU_SOLVE(m, profile);
        } else {
            solver.LU_FACTOR_SOLVE_COLUMNS(m, profile, status, helpers);
        }
        benchmark::DoNotOptimize(profile.data());
    }
}
BENCHMARK(BM_FactorSolveWear<true>)->Name("BM_FactorSolveWearReference500")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FactorSolveWear<false>)->Name("BM_FactorSolveWear500")->Unit(benchmark::kMillisecond);

// The spline smoothing of the solved profile (the same in both loads).
void BM_Smooth500(benchmark::State& state) {
    const dz::SurfaceData s = surface500();
    dz::NXN_MATRIX m;
    dz::N_VECTOR solved = s.raw;
    dz::Matrices solver;
    (void)dz::solve_wear(solver, s.radius, s.zone_count, s.radius[499], m, solved);
    dz::BSplines bsplines;
    for (auto _ : state) {
        state.PauseTiming();
        dz::N_VECTOR profile = solved;
        dz::N_VECTOR coef;
        solver.MAT_ORDER = s.zone_count;
        state.ResumeTiming();
        Real profile_min = 0;
        auto failure = dz::smooth_profile(solver, bsplines, m, coef, profile, s.zone_count, profile_min);
        benchmark::DoNotOptimize(failure);
    }
}
BENCHMARK(BM_Smooth500)->Unit(benchmark::kMillisecond);

void BM_Outline500(benchmark::State& state) {
    dz::WorkingState ws;
    (void)dz::CALC_LAP(ws, example500(), false, '.');
    for (auto _ : state) {
        dz::build_leaf_edges(ws);
        benchmark::DoNotOptimize(ws.LEAF_EDGES.data());
    }
}
BENCHMARK(BM_Outline500)->Unit(benchmark::kMicrosecond);

double seconds_of(benchmark::State& state, double total) {
    return total / static_cast<double>(state.iterations());
}

double g_straightforward_seconds = 0;
double g_load_seconds = 0;

void BM_LoadStraightforward500(benchmark::State& state) {
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        dz::WorkingState ws;
        straightforward_load(ws);
        benchmark::DoNotOptimize(ws.LEAF_EDGES.data());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    g_straightforward_seconds = seconds_of(state, total);
}
BENCHMARK(BM_LoadStraightforward500)->Unit(benchmark::kMillisecond);

void BM_Load500(benchmark::State& state) {
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        dz::WorkingState ws;
        auto failure = dz::CALC_LAP(ws, example500(), false, '.');
        benchmark::DoNotOptimize(failure);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    g_load_seconds = seconds_of(state, total);
    if (g_straightforward_seconds > 0) {
        state.counters["ratio_to_straightforward"] = g_load_seconds / g_straightforward_seconds;
    }
}
BENCHMARK(BM_Load500)->Unit(benchmark::kMillisecond);

// doroziri-cli writing the text export of the 500-zone file, as a process
// started directly (no shell).
void BM_CliProcess500(benchmark::State& state) {
    const std::vector<std::string> command = {std::string(DOROZIRI_BINARY_DIR) + "/cli/doroziri-cli", "--txt",
                                              "/dev/null", source_dir() + "/examples/profile500.srf"};
    const double per_run = process_seconds(state, command);
    if (g_straightforward_seconds > 0) {
        state.counters["ratio_to_straightforward"] = per_run / g_straightforward_seconds;
    }
}
BENCHMARK(BM_CliProcess500)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
