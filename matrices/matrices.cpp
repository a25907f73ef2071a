// Dense linear solvers: LU with partial pivoting and Cholesky, in place on a
// flat row-major matrix. Every routine reads the order from MAT_ORDER.
//
// The results are reproduced bit for bit, so each expression below keeps the
// exact order of its operations (a product is rounded before it is added, the
// source term comes first); nothing may be regrouped or contracted.

#include "matrices/matrices.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

namespace dz {

// MAT_INDEX: position of element (i, j) in the flat row-major array.
//
//   on entry  i, j  row and column, counted from 1.
//   returns         (i - 1) * MAT_ORDER + (j - 1), counted from 0.
//
// Not checked: 1 <= i, j <= MAT_ORDER.
std::size_t Matrices::MAT_INDEX(int i, int j) const
{
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(MAT_ORDER) +
           static_cast<std::size_t>(j - 1);
}

// PIVOT_INDEX: place of the element of largest magnitude in a column piece.
//
// Usual call: l = PIVOT_INDEX(n - k + 1, m, k, k) + k - 1 at step k of LU_FACTOR.
//
//   on entry  n     number of elements to scan.
//             m     matrix of order MAT_ORDER.
//             i, j  the first element scanned is M(i, j); then M(i + 1, j), ...
//   returns         p in 1 .. n such that |M(i + p - 1, j)| is largest; the
//                   first of equal magnitudes wins. 0 when n < 1.
//
// Not checked: i + n - 1 <= MAT_ORDER. A NaN never displaces an earlier
// element, since the comparison with it is false.
int Matrices::PIVOT_INDEX(int n, const NXN_MATRIX& m, int i, int j) const
{
    if (n < 1) {
        return 0;
    }
    int best = 1;
    Real big = std::fabs(m[MAT_INDEX(i, j)]);
    // move on only to a strictly larger magnitude
    for (int p = 2; p <= n; ++p) {
        const Real a = std::fabs(m[MAT_INDEX(i + p - 1, j)]);
        if (a > big) {
            best = p;
            big = a;
        }
    }
    return best;
}

// SCALE_VEC: multiply a column piece by a constant.
//
//   on entry  n     number of elements; nothing happens when n < 1.
//             t     the factor.
//             m     matrix of order MAT_ORDER.
//             i, j  first element M(i, j).
//   on return M(i + p - 1, j) = M(i + p - 1, j) * t for p = 1 .. n.
//
// Not checked: i + n - 1 <= MAT_ORDER.
void Matrices::SCALE_VEC(int n, Real t, NXN_MATRIX& m, int i, int j) const
{
    for (int p = 1; p <= n; ++p) {
        Real& x = m[MAT_INDEX(i + p - 1, j)];
        x = x * t;
    }
}

// AXPY_VEC: add a multiple of one column piece to another.
//
//   on entry  n       number of elements.
//             t       the factor; when it is exactly zero nothing happens, so
//                     infinities or NaNs in the source are not carried over.
//             m       matrix of order MAT_ORDER.
//             i1, j1  first source element M(i1, j1).
//             i2, j2  first target element M(i2, j2).
//   on return M(i2 + p - 1, j2) = M(i1 + p - 1, j1) * t + M(i2 + p - 1, j2)
//             for p = 1 .. n; nothing when n < 1 or t == 0.
//
// Not checked: both pieces lie inside the matrix; they should not overlap.
void Matrices::AXPY_VEC(int n, Real t, NXN_MATRIX& m, int i1, int j1, int i2, int j2) const
{
    if (n < 1 || t == 0) {
        return;
    }
    for (int p = 1; p <= n; ++p) {
        const Real s = m[MAT_INDEX(i1 + p - 1, j1)];
        Real& y = m[MAT_INDEX(i2 + p - 1, j2)];
        y = s * t + y;
    }
}

// LU_FACTOR_REFERENCE: the elimination one step at a time, exactly as LU_FACTOR
// is defined, walking the row-major matrix down its columns. LU_FACTOR gives
// the same bits faster; this one stays as the yardstick for it.
//
// Usual call: MAT_ORDER = n; fill m; LU_FACTOR_REFERENCE(m, status);
//             if (status == 0) LU_SOLVE(m, b);
//
//   on entry  m       the matrix of order n = MAT_ORDER, row after row.
//   on return m       U on and above the diagonal; below the diagonal, in
//                     column k, the multipliers of step k with their signs
//                     reversed. Step k interchanges rows k and PIVOTS[k] in
//                     columns k .. n only.
//             PIVOTS  length n; entry k (from 1) is the row exchanged with row
//                     k at step k, k itself when none; entry n is n.
//             status  see below.
//
//   status  meaning
//   0       normal; LU_SOLVE may be called.
//   k > 0   U(k, k) is exactly zero, k the largest such step. Not an error for
//           this routine, which carries on with the later steps, but LU_SOLVE
//           would divide by zero: callers report it and do not solve.
//
// Not checked: MAT_ORDER >= 1 (PIVOTS[n] is always written); m holds n^2
// elements. There is no tolerance: a tiny non-zero pivot is accepted.
//
// Method: Gaussian elimination with partial pivoting, column oriented,
// through PIVOT_INDEX, SCALE_VEC and AXPY_VEC.
void Matrices::LU_FACTOR_REFERENCE(NXN_MATRIX& m, int& status)
{
    const int n = MAT_ORDER;
    status = 0;
    PIVOTS.resize(static_cast<std::size_t>(n));
    for (int k = 1; k <= n - 1; ++k) {
        // find the pivot
        const int l = PIVOT_INDEX(n - k + 1, m, k, k) + k - 1;
        PIVOTS[static_cast<std::size_t>(k - 1)] = l;

        // a zero pivot leaves the column untouched
        if (m[MAT_INDEX(l, k)] == 0) {
            status = k;
            continue;
        }

        // interchange if necessary
        if (l != k) {
            std::swap(m[MAT_INDEX(l, k)], m[MAT_INDEX(k, k)]);
        }

        // compute multipliers
        const Real t = -1.0L / m[MAT_INDEX(k, k)];
        SCALE_VEC(n - k, t, m, k + 1, k);

        // row elimination with column indexing
        for (int j = k + 1; j <= n; ++j) {
            const Real tj = m[MAT_INDEX(l, j)];
            if (l != k) {
                m[MAT_INDEX(l, j)] = m[MAT_INDEX(k, j)];
                m[MAT_INDEX(k, j)] = tj;
            }
            AXPY_VEC(n - k, tj, m, k + 1, k, k + 1, j);
        }
    }
    PIVOTS[static_cast<std::size_t>(n - 1)] = n;
    if (m[MAT_INDEX(n, n)] == 0) {
        status = n;
    }
}

// LU_FACTOR: LU factorisation with partial pivoting, fast; the same results,
// bit for bit, as LU_FACTOR_REFERENCE, which documents the arguments and the
// status.
void Matrices::LU_FACTOR(NXN_MATRIX& m, int& status)
{
    LU_FACTOR_BLOCKED(m, status, LU_BLOCK, LU_THREADS);
}

namespace {

constexpr int kMaxBlock = Matrices::LU_MAX_BLOCK;

// Multiply-adds an update must have, about 0.2 ms of work, before it is
// worth sharing between threads.
constexpr double kThreadWork = 2e5;

// Steps ka .. kb - 1 of one block, as every column to the right of the
// block sees them. Rows ka .. kb - 1 are the top of the block, rows kb ..
// n - 1 its bottom (rows counted from 0 here). A value changes place only
// between a top row and a pivot row, so the rows that need following one
// step at a time are the top rows (tracked entries 0 .. kb - ka - 1) and the
// bottom rows used as pivot rows (entries kb - ka + s, s = 0 .. slots - 1).
// gather holds, row by row, the multipliers of the block for every tracked
// entry: entry e, step ka + q at gather[e * width + q].
struct StepPlan {
    int ka = 0;
    int kb = 0;
    int width = 0;  // kb - ka
    int slots = 0;
    std::array<int, kMaxBlock> row{};       // pivot row of step ka + q; -1: zero pivot
    std::array<int, kMaxBlock> entry{};     // tracked entry of that pivot row
    std::array<int, kMaxBlock> slot_row{};  // the bottom row of each slot
    const Real* gather = nullptr;
    bool gather_split = false;  // every multiplier of the block is split: use
    const double* gather_hi = nullptr;  // these, laid out as gather, instead
    const double* gather_lo = nullptr;
    const double* hi = nullptr;  // multipliers split in two doubles, see split_column
    const double* lo = nullptr;
    const unsigned char* split = nullptr;  // split[k]: column k is split exactly
};

// Splits the multipliers of column k, rows k + 1 .. n - 1, into doubles with
// hi + lo == a(i, k) exactly, where the sum is formed in Real arithmetic the
// way the update kernel forms it. Loading two doubles and adding them costs
// far less than loading one 80-bit real, and gives the same bits. Returns
// false when some element does not split exactly (infinities, NaNs, numbers
// outside the range of double): then the column is used as it is.
bool split_column(const Real* a, int n, int k, double* hi, double* lo)
{
    const Real* c = a + static_cast<std::ptrdiff_t>(k) * n;
    bool exact = true;
    for (int i = k + 1; i < n; ++i) {
        const Real x = c[i];
        const auto h = static_cast<double>(x);
        auto l = static_cast<double>(x - static_cast<Real>(h));
        if (x == 0) {
            l = h;  // a zero keeps its sign: -0 + -0 is -0
        }
        const Real back = static_cast<Real>(h) + static_cast<Real>(l);
        exact = exact && std::memcmp(&back, &x, 10) == 0;
        hi[static_cast<std::ptrdiff_t>(k) * n + i] = h;
        lo[static_cast<std::ptrdiff_t>(k) * n + i] = l;
    }
    return exact;
}

// Builds the plan of steps ka .. kb - 1; gather must hold 2 (kb - ka)^2 reals
// and gather2 twice as many doubles. p.hi, p.lo and p.split must be set.
void plan_steps(StepPlan& p, const Real* a, int n, const int* rows, const unsigned char* zero, int ka, int kb,
                Real* gather, double* gather2)
{
    p.ka = ka;
    p.kb = kb;
    p.width = kb - ka;
    p.slots = 0;
    for (int k = ka; k < kb; ++k) {
        const int q = k - ka;
        if (zero[k] != 0) {
            p.row[q] = -1;
            continue;
        }
        const int l = rows[k];
        p.row[q] = l;
        if (l < kb) {
            p.entry[q] = l - ka;
            continue;
        }
        int s = 0;
        while (s < p.slots && p.slot_row[s] != l) {
            ++s;
        }
        if (s == p.slots) {
            p.slot_row[s] = l;
            ++p.slots;
        }
        p.entry[q] = p.width + s;
    }
    // gather the multipliers of the tracked rows
    p.gather_split = true;
    for (int q = 0; q < p.width; ++q) {
        p.gather_split = p.gather_split && (zero[ka + q] != 0 || p.split[ka + q] != 0);
    }
    const int size = (p.width + p.slots) * p.width;
    for (int e = 0; e < p.width + p.slots; ++e) {
        const int r = e < p.width ? ka + e : p.slot_row[e - p.width];
        for (int q = 0; q < p.width; ++q) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(ka + q) * n + r;
            std::memcpy(&gather[e * p.width + q], &a[at], sizeof(Real));
            if (p.gather_split && r > ka + q) {
                gather2[e * p.width + q] = p.hi[at];
                gather2[size + e * p.width + q] = p.lo[at];
            }
        }
    }
    p.gather = gather;
    p.gather_hi = gather2;
    p.gather_lo = gather2 + size;
}

// c(i) := l_r(i) * t_r + c(i) for r = 0 .. nt - 1 in turn, rows i = first ..
// n - 1, six rows at a time held in registers; l_r is cols[r].
void update_rows(Real* c, const Real* const* cols, const Real* ts, int nt, int first, int n)
{
    int i = first;
    for (; i + 6 <= n; i += 6) {
        Real v0 = c[i];
        Real v1 = c[i + 1];
        Real v2 = c[i + 2];
        Real v3 = c[i + 3];
        Real v4 = c[i + 4];
        Real v5 = c[i + 5];
        for (int r = 0; r < nt; ++r) {
            const Real* lr = cols[r] + i;
            const Real t = ts[r];
            v0 = lr[0] * t + v0;
            v1 = lr[1] * t + v1;
            v2 = lr[2] * t + v2;
            v3 = lr[3] * t + v3;
            v4 = lr[4] * t + v4;
            v5 = lr[5] * t + v5;
        }
        c[i] = v0;
        c[i + 1] = v1;
        c[i + 2] = v2;
        c[i + 3] = v3;
        c[i + 4] = v4;
        c[i + 5] = v5;
    }
    for (; i < n; ++i) {
        Real v = c[i];
        for (int r = 0; r < nt; ++r) {
            v = cols[r][i] * ts[r] + v;
        }
        c[i] = v;
    }
}

// The same with l_r(i) = hi[r][i] + lo[r][i], the sum exact (split_column).
void update_rows_split(Real* c, const double* const* hi, const double* const* lo, const Real* ts, int nt,
                       int first, int n)
{
    int i = first;
    for (; i + 6 <= n; i += 6) {
        Real v0 = c[i];
        Real v1 = c[i + 1];
        Real v2 = c[i + 2];
        Real v3 = c[i + 3];
        Real v4 = c[i + 4];
        Real v5 = c[i + 5];
        for (int r = 0; r < nt; ++r) {
            const double* h = hi[r] + i;
            const double* l = lo[r] + i;
            const Real t = ts[r];
            v0 = (static_cast<Real>(h[0]) + l[0]) * t + v0;
            v1 = (static_cast<Real>(h[1]) + l[1]) * t + v1;
            v2 = (static_cast<Real>(h[2]) + l[2]) * t + v2;
            v3 = (static_cast<Real>(h[3]) + l[3]) * t + v3;
            v4 = (static_cast<Real>(h[4]) + l[4]) * t + v4;
            v5 = (static_cast<Real>(h[5]) + l[5]) * t + v5;
        }
        c[i] = v0;
        c[i + 1] = v1;
        c[i + 2] = v2;
        c[i + 3] = v3;
        c[i + 4] = v4;
        c[i + 5] = v5;
    }
    for (; i < n; ++i) {
        Real v = c[i];
        for (int r = 0; r < nt; ++r) {
            v = (static_cast<Real>(hi[r][i]) + lo[r][i]) * ts[r] + v;
        }
        c[i] = v;
    }
}

// Applies the steps of plan p to column j of the column-major matrix a of
// order n, giving every element exactly the operations, in exactly the
// order, that the step-by-step elimination gives it:
//   at step k, t := a(l, j); a(l, j) := a(k, j); a(k, j) := t; then, unless t
//   is exactly zero, a(i, j) := a(i, k) * t + a(i, j) for i = k + 1 .. n - 1.
// An element's updates are delayed until its value is needed, and then taken
// in order while it sits in a register: a tracked row when the interchange
// of a step reads it, every other bottom row at the end, several rows at a
// time. Rows never stored in between see no difference.
void apply_steps(const StepPlan& p, Real* a, int n, int j)
{
    Real* c = a + static_cast<std::ptrdiff_t>(j) * n;
    const int w = p.width;
    std::array<Real, 2 * kMaxBlock> val;  // tracked values, pending updates from[e] ..
    std::array<int, 2 * kMaxBlock> from;  // -1: the value still sits in its row, untouched
    std::array<int, kMaxBlock> act;       // steps (from ka) with a non-zero t, in order
    std::array<Real, kMaxBlock> ts;       // their t
    int nt = 0;

    std::fill_n(from.begin(), w + p.slots, -1);

    // the value of tracked entry e brought up to date with the steps so far;
    // every caller then either finishes the entry or gives it a new value
    // (only multipliers below the diagonal are ever read here)
    auto current = [&](int e) {
        Real v;
        int r0 = from[e];
        if (r0 < 0) {
            v = c[e < w ? p.ka + e : p.slot_row[e - w]];
            r0 = 0;
        } else {
            v = val[e];
        }
        if (p.gather_split) {
            const double* gh = p.gather_hi + e * w;
            const double* gl = p.gather_lo + e * w;
            for (int r = r0; r < nt; ++r) {
                v = (static_cast<Real>(gh[act[r]]) + gl[act[r]]) * ts[r] + v;
            }
        } else {
            const Real* g = p.gather + e * w;
            for (int r = r0; r < nt; ++r) {
                v = g[act[r]] * ts[r] + v;
            }
        }
        return v;
    };

    // the steps one by one on the tracked rows; row k is final at step k
    for (int q = 0; q < w; ++q) {
        const int k = p.ka + q;
        const Real vk = current(q);
        if (p.row[q] < 0) {
            c[k] = vk;
            continue;
        }
        const int e = p.entry[q];
        Real t = vk;
        if (e != q) {
            t = current(e);
            val[e] = vk;  // takes this step's update too
            from[e] = nt;
        }
        c[k] = t;
        if (t != 0) {
            act[nt] = q;
            ts[nt] = t;
            ++nt;
        }
    }
    if (nt == 0 && p.slots == 0) {
        return;
    }

    // the other bottom rows, six at a time, every update in register
    bool split = true;
    for (int r = 0; r < nt; ++r) {
        split = split && p.split[p.ka + act[r]] != 0;
    }
    if (split) {
        std::array<const double*, kMaxBlock> his;
        std::array<const double*, kMaxBlock> los;
        for (int r = 0; r < nt; ++r) {
            his[r] = p.hi + static_cast<std::ptrdiff_t>(p.ka + act[r]) * n;
            los[r] = p.lo + static_cast<std::ptrdiff_t>(p.ka + act[r]) * n;
        }
        update_rows_split(c, his.data(), los.data(), ts.data(), nt, p.kb, n);
    } else {
        std::array<const Real*, kMaxBlock> cols;
        for (int r = 0; r < nt; ++r) {
            cols[r] = a + static_cast<std::ptrdiff_t>(p.ka + act[r]) * n;
        }
        update_rows(c, cols.data(), ts.data(), nt, p.kb, n);
    }

    // the pivot rows got a meaningless pass above; their true values
    for (int s = 0; s < p.slots; ++s) {
        c[p.slot_row[s]] = current(w + s);
    }
}

// Runs body(lo, hi) on [first, last) split into `threads` nearly equal parts,
// the first part on the calling thread.
template <class Body>
void split_columns(int first, int last, int threads, const Body& body)
{
    const int count = last - first;
    if (threads <= 1 || count < 2 * threads) {
        body(first, last);
        return;
    }
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads - 1));
    for (int w = 1; w < threads; ++w) {
        const int lo = first + count * w / threads;
        const int hi = first + count * (w + 1) / threads;
        try {
            pool.emplace_back([&body, lo, hi] { body(lo, hi); });
        } catch (const std::system_error&) {
            body(lo, hi);  // no thread to be had: do the part here
        }
    }
    body(first, first + count / threads);
    for (std::thread& th : pool) {
        th.join();
    }
}

}  // namespace

// LU_FACTOR_BLOCKED: LU_FACTOR on a column-major copy, several steps at a
// time. Arguments, results and status as LU_FACTOR_REFERENCE; in addition
//
//   on entry  block    steps per block, clamped to 1 .. LU_MAX_BLOCK.
//             threads  threads sharing the columns of each block update.
//
// Not checked: MAT_ORDER >= 1.
//
// Method: the same elimination, reordered only across elements, never within
// one, on a column-major copy so that columns are contiguous. Each block of
// steps is first carried out on its own columns, each column taking the
// earlier steps of the block before its own pivot step (find the pivot,
// interchange, multipliers); then every later column takes all the steps of
// the block (apply_steps), whole columns shared among the threads. One
// element still sees its interchanges and updates in the order of the steps,
// each update rounded as M(i, k) * t + M(i, j), so it gets the same bits.
// Each multiplier is also kept as two doubles whose sum is exactly it
// (split_column): two double loads and an exact addition cost less than one
// load of an 80-bit real.
void Matrices::LU_FACTOR_BLOCKED(NXN_MATRIX& m, int& status, int block, int threads)
{
    const int n = MAT_ORDER;
    const auto nn = static_cast<std::size_t>(n);
    block = std::clamp(block, 1, LU_MAX_BLOCK);
    status = 0;
    PIVOTS.resize(nn);
    lu_rows_.resize(nn);
    lu_zero_.assign(nn, 0);
    lu_work_.resize(nn * nn);
    lu_gather_.resize(2 * static_cast<std::size_t>(block) * static_cast<std::size_t>(block));
    lu_gather2_.resize(2 * lu_gather_.size());
    lu_hi_.resize(nn * nn);
    lu_lo_.resize(nn * nn);
    lu_split_.assign(nn, 0);
    Real* a = lu_work_.data();

    // column-major copy; bits moved, not values loaded
    for (std::size_t i = 0; i < nn; ++i) {
        for (std::size_t j = 0; j < nn; ++j) {
            std::memcpy(&a[j * nn + i], &m[i * nn + j], sizeof(Real));
        }
    }

    StepPlan plan;
    plan.hi = lu_hi_.data();
    plan.lo = lu_lo_.data();
    plan.split = lu_split_.data();
    for (int k0 = 0; k0 < n - 1; k0 += block) {
        const int k1 = std::min(k0 + block, n - 1);

        // the block's own columns
        for (int j = k0; j < k1; ++j) {
            plan_steps(plan, a, n, lu_rows_.data(), lu_zero_.data(), k0, j, lu_gather_.data(), lu_gather2_.data());
            apply_steps(plan, a, n, j);

            // find the pivot
            Real* c = a + static_cast<std::ptrdiff_t>(j) * n;
            int l = j;
            Real big = std::fabs(c[j]);
            for (int i = j + 1; i < n; ++i) {
                const Real v = std::fabs(c[i]);
                if (v > big) {
                    l = i;
                    big = v;
                }
            }
            lu_rows_[static_cast<std::size_t>(j)] = l;
            PIVOTS[static_cast<std::size_t>(j)] = l + 1;

            // a zero pivot leaves the column untouched
            if (c[l] == 0) {
                lu_zero_[static_cast<std::size_t>(j)] = 1;
                status = j + 1;
                continue;
            }

            // interchange if necessary
            if (l != j) {
                std::swap(c[l], c[j]);
            }

            // compute multipliers
            const Real t = -1.0L / c[j];
            for (int i = j + 1; i < n; ++i) {
                c[i] = c[i] * t;
            }
            lu_split_[static_cast<std::size_t>(j)] = split_column(a, n, j, lu_hi_.data(), lu_lo_.data()) ? 1 : 0;
        }

        // eliminate the block from the later columns
        // (a thread costs tens of microseconds to start: only for a big update)
        plan_steps(plan, a, n, lu_rows_.data(), lu_zero_.data(), k0, k1, lu_gather_.data(), lu_gather2_.data());
        const double work = static_cast<double>(n - k1) * (n - k0) * (k1 - k0);
        split_columns(k1, n, work < kThreadWork ? 1 : threads, [&plan, a, n](int lo, int hi) {
            for (int j = lo; j < hi; ++j) {
                apply_steps(plan, a, n, j);
            }
        });
    }
    PIVOTS[nn - 1] = n;
    if (a[nn * nn - 1] == 0) {
        status = n;
    }

    // back to rows
    for (std::size_t i = 0; i < nn; ++i) {
        for (std::size_t j = 0; j < nn; ++j) {
            std::memcpy(&m[i * nn + j], &a[j * nn + i], sizeof(Real));
        }
    }
}

// LU_SOLVE: solve M x = b with M factored by LU_FACTOR.
//
// Usual call: after LU_FACTOR(m, status) gave status 0, with the same
// MAT_ORDER and no other LU_FACTOR in between: LU_SOLVE(m, b).
//
//   on entry  m  the output of LU_FACTOR (read only).
//             b  the right-hand side, n = MAT_ORDER elements.
//   on return b  the solution x.
//
// Not checked: the status was 0 (else a division by zero); PIVOTS belongs to
// this factorisation.
//
// Method: replay the interchanges and multipliers on b (L y = P b), then
// back substitution with U. An update whose factor is exactly zero is skipped.
void Matrices::LU_SOLVE(const NXN_MATRIX& m, N_VECTOR& b) const
{
    const int n = MAT_ORDER;

    // solve L y = b
    for (int k = 1; k <= n - 1; ++k) {
        const int l = PIVOTS[static_cast<std::size_t>(k - 1)];
        const Real t = b[static_cast<std::size_t>(l - 1)];
        if (l != k) {
            b[static_cast<std::size_t>(l - 1)] = b[static_cast<std::size_t>(k - 1)];
            b[static_cast<std::size_t>(k - 1)] = t;
        }
        if (t != 0) {
            for (int p = 1; p <= n - k; ++p) {
                Real& y = b[static_cast<std::size_t>(k + p - 1)];
                y = t * m[MAT_INDEX(k + p, k)] + y;
            }
        }
    }

    // solve U x = y
    for (int k = n; k >= 1; --k) {
        Real& bk = b[static_cast<std::size_t>(k - 1)];
        bk = bk / m[MAT_INDEX(k, k)];
        const Real t = -bk;
        if (t != 0) {
            for (int p = 1; p <= k - 1; ++p) {
                Real& y = b[static_cast<std::size_t>(p - 1)];
                y = t * m[MAT_INDEX(p, k)] + y;
            }
        }
    }
}

// CHOL_FACTOR: Cholesky factorisation A = R^T R of a symmetric positive
// definite matrix given by its upper triangle.
//
// Usual call: MAT_ORDER = n; fill m (at least row <= column);
//             CHOL_FACTOR(m, status); if (status == 0) CHOL_SOLVE(m, b);
//
//   on entry  m       the matrix of order n = MAT_ORDER; only the elements
//                     (i, j) with i <= j are read.
//   on return m       R in the elements with i <= j; the strictly lower
//                     triangle is neither read nor written.
//             status  see below.
//
//   status  meaning
//   0       normal; CHOL_SOLVE may be called.
//   k > 0   the pivot of step k is zero, negative or NaN: the matrix is not
//           positive definite. An error for the caller, who must not solve.
//           Rows 1 .. k - 1 already hold R; the rest keeps what the earlier
//           steps wrote.
//
// Not checked: m holds n^2 elements. Nothing happens when n <= 0.
//
// Method: outer-product form. Step k takes d = A(k, k), sets R(k, k) = sqrt(d),
// subtracts (A(k, i) A(k, j)) / d from the rows i > k, and divides row k by
// sqrt(d) only after every later row has read it.
void Matrices::CHOL_FACTOR(NXN_MATRIX& m, int& status) const
{
    const int n = MAT_ORDER;
    status = 0;
    for (int k = 1; k <= n; ++k) {
        // test the pivot
        const Real d = m[MAT_INDEX(k, k)];
        if (!(d > 0)) {
            status = k;
            return;
        }
        const Real s = std::sqrt(d);
        m[MAT_INDEX(k, k)] = s;

        // update the rows below, then scale element (k, i) of row k
        for (int i = k + 1; i <= n; ++i) {
            const Real rki = m[MAT_INDEX(k, i)];
            for (int j = i; j <= n; ++j) {
                Real& a = m[MAT_INDEX(i, j)];
                a = a - (rki * m[MAT_INDEX(k, j)]) / d;
            }
            m[MAT_INDEX(k, i)] = rki / s;
        }
    }
}

// CHOL_SOLVE: solve R^T R x = b with R from CHOL_FACTOR.
//
// Usual call: after CHOL_FACTOR(m, status) gave status 0: CHOL_SOLVE(m, b).
//
//   on entry  m  the output of CHOL_FACTOR (read only, upper triangle).
//             b  the right-hand side, n = MAT_ORDER elements.
//   on return b  the solution x.
//
// Not checked: the status was 0 (else R has a zero or meaningless diagonal).
//
// Method: forward substitution with R^T, then back substitution with R, both
// as inner products read from the upper triangle.
void Matrices::CHOL_SOLVE(const NXN_MATRIX& m, N_VECTOR& b) const
{
    const int n = MAT_ORDER;

    // solve R^T y = b
    for (int i = 1; i <= n; ++i) {
        Real s = b[static_cast<std::size_t>(i - 1)];
        for (int j = 1; j <= i - 1; ++j) {
            s = s - m[MAT_INDEX(j, i)] * b[static_cast<std::size_t>(j - 1)];
        }
        b[static_cast<std::size_t>(i - 1)] = s / m[MAT_INDEX(i, i)];
    }

    // solve R x = y
    for (int i = n; i >= 1; --i) {
        Real s = b[static_cast<std::size_t>(i - 1)];
        for (int j = i + 1; j <= n; ++j) {
            s = s - m[MAT_INDEX(i, j)] * b[static_cast<std::size_t>(j - 1)];
        }
        b[static_cast<std::size_t>(i - 1)] = s / m[MAT_INDEX(i, i)];
    }
}

}  // namespace dz
