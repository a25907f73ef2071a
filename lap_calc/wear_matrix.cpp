// SPDX-License-Identifier: GPL-3.0-or-later
#include "lap_calc/wear_matrix.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "parallel/helper_threads.hpp"
#include "splines/arc_trig.hpp"

namespace dz {

namespace {

// The stroke offset in units of the outer radius.
constexpr Real STROKE_OFFSET = 0.2L;

// Order from which sharing the fill with a helper pays for starting one.
constexpr std::size_t THREADED_FROM = 96;

// What one column zone needs for its elements.
struct ColumnZone {
    Real rho, rho2, rho_plus_d, s, a;
};

ColumnZone column_zone(Real rho, Real d2) {
    ColumnZone c{};
    c.rho = rho;
    c.rho2 = rho * rho;
    c.rho_plus_d = rho + STROKE_OFFSET;
    c.s = std::sqrt(c.rho2 + d2);
    c.a = std::fabs(rho - STROKE_OFFSET);
    return c;
}

// The element in row j of column zone c, by the table: 0, K, S - K, 0 or S,
// where S is the arcsine term (2 inside the column zone's circle, else the
// part of the row circle that the column circle subtends) and K the
// arccosine term (used only inside the annulus a < r < rho + d, where q lies
// in (-1, 1)).
enum class Case : unsigned char { zero, k_only, s_minus_k, s_only };

Case table_case(const ColumnZone& c, Real r) {
    if (r >= c.rho_plus_d) return Case::zero;
    if (r > c.s) return Case::k_only;  // r > s >= a: inside the annulus
    if (r > c.a) return Case::s_minus_k;
    if (c.rho > STROKE_OFFSET) return Case::zero;
    return Case::s_only;
}

// Scratch of one thread's columns: the arguments of the arc sines and arc
// cosines of one column and their values.
struct ColumnScratch {
    explicit ColumnScratch(std::size_t n) : cases(n), cos_x(n), cos_v(n), sin_x(n), sin_v(n) {}
    std::vector<Case> cases;
    N_VECTOR cos_x, cos_v, sin_x, sin_v;
};

// Fills column i, row after row (element (j, i) at j * n + i) or, with
// ColumnMajor, column after column (at i * n + j); r[j] is radius[j] / outer.
//
// ascending: r[0] <= r[1] <= ... (no NaN). The rows that the table then
// sets to zero are a first run (r <= a, when rho > d; such r are below
// rho + d) and a last run (r >= rho + d), found by bisection and cleared
// without looking at each row; the rows between take the table row by row.
//
// Each element takes exactly the operations of the table, in order; only
// the arc sines and arc cosines of the column are taken together
// (ARC_SIN_MANY, ARC_COS_MANY), between the arguments and the end values.
template <bool ColumnMajor>
void fill_column(const Real* r_of, std::size_t n, Real* matrix, std::size_t i, bool ascending,
                 ColumnScratch& scratch) {
    const Real d2 = STROKE_OFFSET * STROKE_OFFSET;
    const ColumnZone c = column_zone(r_of[i], d2);
    // +0 is stored as bytes: most elements are zero, and a 16-byte store
    // costs far less than storing an 80-bit real from the FPU
    static constexpr unsigned char PLUS_ZERO[sizeof(Real)] = {};
    auto at = [matrix, n, i](std::size_t j) { return &matrix[ColumnMajor ? i * n + j : j * n + i]; };
    std::size_t first = 0;
    std::size_t last = n;
    if (ascending) {
        last = static_cast<std::size_t>(std::lower_bound(r_of, r_of + n, c.rho_plus_d) - r_of);
        if (c.rho > STROKE_OFFSET) {
            first = static_cast<std::size_t>(std::upper_bound(r_of, r_of + last, c.a) - r_of);
        }
        for (std::size_t j = 0; j < first; ++j) std::memcpy(at(j), PLUS_ZERO, sizeof(Real));
        for (std::size_t j = last; j < n; ++j) std::memcpy(at(j), PLUS_ZERO, sizeof(Real));
    }

    // the arguments: q for the arc cosine, rho / r for the arc sine
    std::size_t n_cos = 0;
    std::size_t n_sin = 0;
    for (std::size_t j = first; j < last; ++j) {
        const Real r = r_of[j];
        const Case k = table_case(c, r);
        scratch.cases[j] = k;
        if (k == Case::k_only || k == Case::s_minus_k) {
            scratch.cos_x[n_cos++] = ((r * r + d2 - c.rho2) * 0.5L / r) / STROKE_OFFSET;
        }
        if ((k == Case::s_minus_k || k == Case::s_only) && !(r <= c.rho)) {
            scratch.sin_x[n_sin++] = c.rho / r;
        }
    }
    ARC_COS_MANY(scratch.cos_x.data(), scratch.cos_v.data(), n_cos);
    ARC_SIN_MANY(scratch.sin_x.data(), scratch.sin_v.data(), n_sin);

    // the terms and the elements, in the same order
    std::size_t k_cos = 0;
    std::size_t k_sin = 0;
    for (std::size_t j = first; j < last; ++j) {
        const Case k = scratch.cases[j];
        if (k == Case::zero) {
            std::memcpy(at(j), PLUS_ZERO, sizeof(Real));
            continue;
        }
        Real arccosine = 0;
        if (k == Case::k_only || k == Case::s_minus_k) {
            arccosine = scratch.cos_v[k_cos++] * 2 / PI;
        }
        Real arcsine = 2;
        if (k == Case::s_minus_k || k == Case::s_only) {
            if (!(r_of[j] <= c.rho)) arcsine = scratch.sin_v[k_sin++] * 4 / PI;
        }
        *at(j) = k == Case::k_only ? arccosine : k == Case::s_minus_k ? arcsine - arccosine : arcsine;
    }
}

template <bool ColumnMajor>
void fill(const N_VECTOR& radius, int count, Real outer, NXN_MATRIX& matrix, HelperCrew* helpers) {
    const auto n = static_cast<std::size_t>(count);
    matrix.resize(n * n);
    // the normalised radii, once per zone rather than once per element
    N_VECTOR r(n);
    for (std::size_t j = 0; j < n; ++j) {
        r[j] = radius[j] / outer;
    }
    bool ascending = true;
    for (std::size_t j = 1; j < n; ++j) {
        ascending = ascending && r[j - 1] <= r[j];  // false with a NaN
    }
    ascending = ascending && (n == 0 || r[0] == r[0]);
    // The columns are independent: this thread and the helpers take the
    // next column until none is left (the inner columns have more non-zero
    // elements, so a fixed split would not be even). This thread takes them
    // from the left, the helpers from the right: in a fresh matrix each side
    // first touches (and the system clears) pages of its own.
    ColumnClaims claims(0, count);
    auto take = [&claims, &r, n, &matrix, ascending](bool left) {
        ColumnScratch scratch(n);
        auto next = [&claims, left] { return left ? claims.from_left() : claims.from_right(); };
        for (int i = next(); i >= 0; i = next()) {
            fill_column<ColumnMajor>(r.data(), n, matrix.data(), static_cast<std::size_t>(i), ascending, scratch);
        }
    };
    auto from_left = [&take] { take(true); };
    auto from_right = [&take] { take(false); };
    if (helpers != nullptr) {
        helpers->run(from_right, from_left);
    } else {
        run_alongside(n >= THREADED_FROM ? 1 : 0, from_right, from_left);
    }
    matrix[0] = 2;
}

}  // namespace

void fill_wear_matrix(const N_VECTOR& radius, int count, Real outer, NXN_MATRIX& matrix) {
    fill<false>(radius, count, outer, matrix, nullptr);
}

void fill_wear_matrix_columns(const N_VECTOR& radius, int count, Real outer, NXN_MATRIX& matrix) {
    fill<true>(radius, count, outer, matrix, nullptr);
}

void fill_wear_matrix_reference(const N_VECTOR& radius, int count, Real outer, NXN_MATRIX& matrix) {
    const Real d = STROKE_OFFSET;
    const Real d2 = d * d;
    const int order = count;  // MAT_ORDER
    auto FLAT_INDEX = [order](int a, int b) { return static_cast<std::size_t>(b + a * order); };
    matrix.resize(static_cast<std::size_t>(order) * static_cast<std::size_t>(order));
    for (int i = 0; i < count; ++i) {
        const Real rho = radius[static_cast<std::size_t>(i)] / outer;
        const Real rho2 = rho * rho;
        const Real rho_plus_d = rho + d;
        const Real s = std::sqrt(rho2 + d2);
        const Real a = std::fabs(rho - d);
        for (int j = 0; j < count; ++j) {
            const Real r = radius[static_cast<std::size_t>(j)] / outer;
            Real S;
            if (r <= rho) {
                S = 2;
            } else {
                S = ARC_SIN(rho / r) * 4 / PI;
            }
            Real K = 0;
            if (a < r && r < rho_plus_d) {
                const Real q = ((r * r + d2 - rho2) * 0.5L / r) / d;
                K = ARC_COS(q) * 2 / PI;
            }
            Real element;
            if (r >= rho_plus_d) {
                element = 0;
            } else if (r > s) {
                element = K;
            } else if (r > a) {
                element = S - K;
            } else if (rho > d) {
                element = 0;
            } else {
                element = S;
            }
            matrix[FLAT_INDEX(j, i)] = element;
        }
    }
    matrix[FLAT_INDEX(0, 0)] = 2;
}

int wear_helpers(int count) { return static_cast<std::size_t>(std::max(count, 0)) >= THREADED_FROM ? 1 : 0; }

std::optional<std::string> solve_wear(Matrices& solver, const N_VECTOR& radius, int count, Real outer,
                                      NXN_MATRIX& matrix, N_VECTOR& profile) {
    HelperCrew helpers(wear_helpers(count));
    return solve_wear(solver, radius, count, outer, matrix, profile, helpers);
}

std::optional<std::string> solve_wear(Matrices& solver, const N_VECTOR& radius, int count, Real outer,
                                      NXN_MATRIX& matrix, N_VECTOR& profile, HelperCrew& helpers) {
    // Filled, factored and solved column after column: the same bits as in
    // rows, without converting 250,000 elements twice. One crew for the
    // fill and the factorisation; the profile is solved along with the
    // factorisation.
    solver.MAT_ORDER = count;
    fill<true>(radius, count, outer, matrix, &helpers);
    int status = 0;
    N_VECTOR solution = profile;  // the profile stays as it was when the matrix is singular
    solver.LU_FACTOR_SOLVE_COLUMNS(matrix, solution, status, helpers);
    if (status != 0) return "INFO = " + std::to_string(status);
    profile = std::move(solution);
    return std::nullopt;
}

}  // namespace dz
