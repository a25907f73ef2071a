// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded arc tangent, sine and cosine next to the C library's
// extended ones (which run the x87 instructions fpatan, fsin and fcos), in
// nanoseconds per call over 4096 arguments of the program's ranges.
//
//   build/release/bench/bench_rounded_trig

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "rounded_trig/rounded_trig.hpp"

namespace {

using dz::Real;

// atan: the quotients x / sqrt(1 - x*x) of the arc sine and cosine; sin and
// cos: [-4 pi, 4 pi] (angle true), or [0, pi] for the leaf outline.
std::vector<Real> arguments(bool angle) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<Real> out(4096);
    for (Real& x : out) {
        const Real u = static_cast<Real>(unit(rng));
        x = angle ? u * 4 * dz::PI : u / std::sqrt(1 - u * u);
    }
    return out;
}

template <Real (*F)(Real), bool Angle>
void run(benchmark::State& state) {
    const std::vector<Real> x = arguments(Angle);
    for (auto _ : state) {
        for (Real v : x) benchmark::DoNotOptimize(F(v));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(x.size()));
}

Real library_atan(Real x) { return std::atan(x); }
Real library_sin(Real x) { return std::sin(x); }
Real library_cos(Real x) { return std::cos(x); }

BENCHMARK(run<dz::rounded_atan, false>)->Name("BM_RoundedAtan");
BENCHMARK(run<library_atan, false>)->Name("BM_LibraryAtanl");
BENCHMARK(run<dz::rounded_sin, true>)->Name("BM_RoundedSin");
BENCHMARK(run<library_sin, true>)->Name("BM_LibrarySinl");
BENCHMARK(run<dz::rounded_cos, true>)->Name("BM_RoundedCos");
BENCHMARK(run<library_cos, true>)->Name("BM_LibraryCosl");

}  // namespace

BENCHMARK_MAIN();
