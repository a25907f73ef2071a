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

// Which of the steps ka .. kb - 1 of one block touch which rows, the same for
// every column the block is applied to. Rows ka .. kb - 1 are the top of the
// block, rows kb .. n - 1 its bottom (rows counted from 0 here).
struct StepPlan {
    int ka = 0;
    int kb = 0;
    int slots = 0;                                      // bottom rows used as pivot rows
    std::array<int, Matrices::LU_MAX_BLOCK> row{};      // pivot row of step ka + q; -1: zero pivot
    std::array<int, Matrices::LU_MAX_BLOCK> slot{};     // -1: pivot row in the top; else its slot
    std::array<bool, Matrices::LU_MAX_BLOCK> enters{};  // the slot's row is first used here
    std::array<int, Matrices::LU_MAX_BLOCK> slot_row{}; // the bottom row of each slot
};

void plan_steps(StepPlan& p, const int* rows, const unsigned char* zero, int ka, int kb)
{
    p.ka = ka;
    p.kb = kb;
    p.slots = 0;
    for (int k = ka; k < kb; ++k) {
        const int q = k - ka;
        if (zero[k] != 0) {
            p.row[q] = -1;
            continue;
        }
        const int l = rows[k];
        p.row[q] = l;
        p.slot[q] = -1;
        p.enters[q] = false;
        if (l < kb) {
            continue;
        }
        int s = 0;
        while (s < p.slots && p.slot_row[s] != l) {
            ++s;
        }
        if (s == p.slots) {
            p.slot_row[s] = l;
            p.enters[q] = true;
            ++p.slots;
        }
        p.slot[q] = s;
    }
}

// Applies the steps of plan p to column j of the column-major matrix a of
// order n, giving every element exactly the operations, in exactly the
// order, that the step-by-step elimination gives it:
//   at step k, t := a(l, j); a(l, j) := a(k, j); a(k, j) := t; then, unless t
//   is exactly zero, a(i, j) := a(i, k) * t + a(i, j) for i = k + 1 .. n - 1.
// The top rows are updated step by step. A bottom row never used as a pivot
// row only accumulates its updates, so it takes all of them in one pass
// while it sits in a register. A bottom pivot row is brought up to date when
// it is first needed and then carried along in a slot, as its value changes
// place with the interchanges.
void apply_steps(const StepPlan& p, Real* a, int n, int j)
{
    Real* c = a + static_cast<std::ptrdiff_t>(j) * n;
    std::array<const Real*, Matrices::LU_MAX_BLOCK> cols;  // multiplier columns of the non-zero t
    std::array<Real, Matrices::LU_MAX_BLOCK> ts;
    std::array<Real, Matrices::LU_MAX_BLOCK> held;  // values of the bottom pivot rows
    int nt = 0;
    int live = 0;

    // the steps one by one on the top rows and the held bottom rows
    for (int k = p.ka; k < p.kb; ++k) {
        const int q = k - p.ka;
        const int l = p.row[q];
        if (l < 0) {
            continue;
        }
        const int s = p.slot[q];
        Real t;
        if (s < 0) {
            t = c[l];
            if (l != k) {
                c[l] = c[k];
                c[k] = t;
            }
        } else {
            if (p.enters[q]) {
                Real v = c[l];
                for (int r = 0; r < nt; ++r) {
                    v = cols[r][l] * ts[r] + v;
                }
                held[s] = v;
                live = s + 1;
            }
            t = held[s];
            held[s] = c[k];
            c[k] = t;
        }
        if (t != 0) {
            const Real* lk = a + static_cast<std::ptrdiff_t>(k) * n;
            for (int i = k + 1; i < p.kb; ++i) {
                c[i] = lk[i] * t + c[i];
            }
            for (int h = 0; h < live; ++h) {
                held[h] = lk[p.slot_row[h]] * t + held[h];
            }
            cols[nt] = lk;
            ts[nt] = t;
            ++nt;
        }
    }
    if (nt == 0 && p.slots == 0) {
        return;
    }

    // the bottom rows, four at a time, every update in register
    int i = p.kb;
    for (; i + 4 <= n; i += 4) {
        Real v0 = c[i];
        Real v1 = c[i + 1];
        Real v2 = c[i + 2];
        Real v3 = c[i + 3];
        for (int r = 0; r < nt; ++r) {
            const Real* lr = cols[r] + i;
            const Real t = ts[r];
            v0 = lr[0] * t + v0;
            v1 = lr[1] * t + v1;
            v2 = lr[2] * t + v2;
            v3 = lr[3] * t + v3;
        }
        c[i] = v0;
        c[i + 1] = v1;
        c[i + 2] = v2;
        c[i + 3] = v3;
    }
    for (; i < n; ++i) {
        Real v = c[i];
        for (int r = 0; r < nt; ++r) {
            v = cols[r][i] * ts[r] + v;
        }
        c[i] = v;
    }

    // the pivot rows got a meaningless pass above; their true values
    for (int h = 0; h < p.slots; ++h) {
        c[p.slot_row[h]] = held[h];
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
        pool.emplace_back([&body, lo, hi] { body(lo, hi); });
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
// one. Each block of steps is first carried out on its own columns, each
// column taking the earlier steps of the block before its own pivot step
// (find the pivot, interchange, multipliers); then every later column takes
// all the steps of the block in turn (apply_steps). One element still sees
// its interchanges and updates in the order of the steps, so it gets the
// same bits; only whole columns are shared among the threads.
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
    Real* a = lu_work_.data();

    // column-major copy; bits moved, not values loaded
    for (std::size_t i = 0; i < nn; ++i) {
        for (std::size_t j = 0; j < nn; ++j) {
            std::memcpy(&a[j * nn + i], &m[i * nn + j], sizeof(Real));
        }
    }

    StepPlan plan;
    for (int k0 = 0; k0 < n - 1; k0 += block) {
        const int k1 = std::min(k0 + block, n - 1);

        // the block's own columns
        for (int j = k0; j < k1; ++j) {
            plan_steps(plan, lu_rows_.data(), lu_zero_.data(), k0, j);
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
        }

        // eliminate the block from the later columns
        plan_steps(plan, lu_rows_.data(), lu_zero_.data(), k0, k1);
        split_columns(k1, n, threads, [&plan, a, n](int lo, int hi) {
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
