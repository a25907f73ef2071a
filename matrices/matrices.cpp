// Dense linear solvers: LU with partial pivoting and Cholesky, in place on a
// flat row-major matrix. Every routine reads the order from MAT_ORDER.
//
// The results are reproduced bit for bit, so each expression below keeps the
// exact order of its operations (a product is rounded before it is added, the
// source term comes first); nothing may be regrouped or contracted.

#include "matrices/matrices.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <thread>
#include <utility>

#include "parallel/helper_threads.hpp"

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
// worth sharing between threads (a thread costs tens of microseconds).
constexpr double kThreadWork = 2e5;

// True when a and b have the same 80 bits (also for NaNs and signed zeros).
// The 80 bits of a real: the 64-bit significand (explicit integer bit on
// top) and the sign and 15-bit exponent.
struct RealBits {
    std::uint64_t significand = 0;
    std::uint16_t sign_exponent = 0;
};

RealBits bits_of(const Real& x)
{
    static_assert(sizeof(Real) >= 10);
    RealBits b;
    std::memcpy(&b.significand, &x, 8);
    std::memcpy(&b.sign_exponent, reinterpret_cast<const unsigned char*>(&x) + 8, 2);
    return b;
}

bool same_bits(const Real& a, const Real& b)
{
    const RealBits ba = bits_of(a);
    const RealBits bb = bits_of(b);
    return ba.significand == bb.significand && ba.sign_exponent == bb.sign_exponent;
}

// Sets first .. last - 1 to v by copying its bytes: one 16-byte store each,
// where storing an 80-bit real from the FPU takes several cycles.
void fill_bytes(Real* first, Real* last, const Real& v)
{
    for (Real* p = first; p < last; ++p) {
        std::memcpy(p, &v, sizeof(Real));
    }
}

// True when x is finite and in canonical form: not an infinity or NaN, not
// a pseudo-denormal (exponent field 0 with the integer bit set) and not an
// unnormal (exponent field not 0 with the integer bit clear).
bool is_canonical_finite(const Real& x)
{
    const RealBits b = bits_of(x);
    const unsigned exponent = b.sign_exponent & 0x7fffU;
    const bool integer_bit = (b.significand >> 63) != 0;
    return exponent != 0x7fffU && integer_bit == (exponent != 0);
}

// True when x is +0, bit for bit.
bool is_plus_zero(const Real& x)
{
    return same_bits(x, Real{0});
}

// The multipliers of one block of steps ka .. ka + width - 1, in a private
// copy whose rows follow the later interchanges of the same block.
//
// Step k moves values between rows k and l; a value that is moved by a later
// step of the block has already taken the update of step k with the
// multiplier of the row it sat in then. Moving the multipliers of the
// earlier steps along with it lets every column first make all the
// interchanges of the block and then take its updates with the values in
// their final rows, each value still meeting the same multipliers in the
// same order. The stored factor keeps the multipliers where they were
// written; only this copy moves.
//
// Column q of the copy (step ka + q) sits at perm[q * n], and again as two
// doubles hi + lo whose sum, formed in Real, is exactly it (split[q] when
// every element splits): two double loads and an exact addition cost far
// less than one load of an 80-bit real.
//
// Below row zend every multiplier of the copy is an exact zero: a banded
// matrix, like the wear matrix, leaves most rows of every block there.
//
// The block's own rows ka .. ka + width - 1 are final in the copy as soon as
// their step has made its interchange (later steps only exchange lower
// rows); their multipliers are then also copied row by row into tri, where
// the small triangular solve of every column reads them one after another.
struct Block {
    int ka = 0;
    int width = 0;
    int zend = 0;  // rows zend .. n - 1: every multiplier of steps ka .. ka + width - 1 is zero
    std::array<int, kMaxBlock> row{};  // pivot row of step ka + q; -1: zero pivot, no step
    std::array<unsigned char, kMaxBlock> split{};
    Real* perm = nullptr;
    // tri[q * tri_stride + r]: multiplier of step ka + r in row ka + q, r < q;
    // also as the exact pair tri_hi + tri_lo when split[r]
    int tri_stride = 0;
    Real* tri = nullptr;
    double* tri_hi = nullptr;
    double* tri_lo = nullptr;
    double* hi = nullptr;
    double* lo = nullptr;
};

// Copies column k = b.ka + q of a, rows k + 1 .. n - 1, into the block and
// splits it; an element that does not split exactly (infinities, NaNs,
// numbers outside the range of double) clears split[q].
// Splits x into doubles h + l whose sum, formed in Real, is x; false when
// no such pair exists (infinities, NaNs, numbers outside the range of
// double, non-canonical encodings).
bool split_real(const Real& x, double& h, double& l)
{
    h = static_cast<double>(x);
    l = static_cast<double>(x - static_cast<Real>(h));
    if (x == 0) {
        l = h;  // a zero keeps its sign: -0 + -0 is -0
    }
    // Compared as numbers, in registers: the sum is a canonical encoding, so
    // it has x's bits when x is canonical and finite and equal to it (the
    // sign of a zero is kept above). Storing the sum to compare its bytes
    // would stall each element on a store that the load cannot take from.
    const Real back = static_cast<Real>(h) + static_cast<Real>(l);
    return back == x && is_canonical_finite(x);
}

// Copies column k = b.ka + q of a, rows k + 1 .. n - 1, into the block and
// splits it; an element that does not split exactly clears split[q]. Rows
// bottom + 1 .. n - 1 all hold `tail` (the multipliers made from +0).
void take_column(Block& b, const Real* a, int n, int q, int bottom, const Real& tail)
{
    const int k = b.ka + q;
    const Real* c = a + static_cast<std::ptrdiff_t>(k) * n;
    Real* p = b.perm + static_cast<std::ptrdiff_t>(q) * n;
    double* hi = b.hi + static_cast<std::ptrdiff_t>(q) * n;
    double* lo = b.lo + static_cast<std::ptrdiff_t>(q) * n;
    bool exact = true;
    int last = k;  // last row whose multiplier is not zero (NaN counts as not zero)
    const int end = std::min(bottom + 1, n);
    for (int i = k + 1; i < end; ++i) {
        std::memcpy(&p[i], &c[i], sizeof(Real));
        if (!(c[i] == 0)) {
            last = i;
        }
        double h = 0;
        double l = 0;
        exact = split_real(c[i], h, l) && exact;
        hi[i] = h;
        lo[i] = l;
    }
    if (std::max(end, k + 1) < n) {
        double h = 0;
        double l = 0;
        exact = split_real(tail, h, l) && exact;
        for (int i = std::max(end, k + 1); i < n; ++i) {
            std::memcpy(&p[i], &tail, sizeof(Real));
            hi[i] = h;
            lo[i] = l;
        }
        if (!(tail == 0)) {
            last = n - 1;
        }
    }
    b.split[q] = exact ? 1 : 0;
    b.zend = std::max(b.zend, last + 1);
}

// Moves rows r and s of the block's columns 0 .. q - 1 (interchange of
// step b.ka + q applied to the copy).
void swap_rows(Block& b, int n, int q, int r, int s)
{
    b.zend = std::max({b.zend, r + 1, s + 1});  // a non-zero may move down
    for (int e = 0; e < q; ++e) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(e) * n;
        std::swap(b.perm[at + r], b.perm[at + s]);
        std::swap(b.hi[at + r], b.hi[at + s]);
        std::swap(b.lo[at + r], b.lo[at + s]);
    }
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

// The same with l_r(i) = hi[r][i] + lo[r][i], the sum exact.
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

// True when v + z gives v again, bit for bit, for every exact zero z of
// either sign: v is +0 or a normal number in canonical form. Not for -0
// (-0 + +0 is +0), subnormals, infinities, NaNs or non-canonical encodings,
// which the updates must meet one by one.
bool kept_by_zero_updates(const Real& v)
{
    const RealBits b = bits_of(v);
    const unsigned exponent = b.sign_exponent & 0x7fffU;
    if (exponent == 0) {
        return b.sign_exponent == 0 && b.significand == 0;
    }
    return exponent != 0x7fffU && (b.significand >> 63) != 0;
}

// Applies the steps b.ka .. b.ka + width - 1 to column j of the column-major
// matrix a of order n, giving every element exactly the operations, in
// exactly the order, that the step-by-step elimination gives it:
//   at step k, t := a(l, j); a(l, j) := a(k, j); a(k, j) := t; then, unless t
//   is exactly zero, a(i, j) := a(i, k) * t + a(i, j) for i = k + 1 .. n - 1.
// First the interchanges; then the top rows ka .. kb - 1 in order, row k
// taking the steps before k and so becoming the t of step k; then every
// lower row takes all the steps while it sits in a register. In the rows
// from b.zend on every multiplier is an exact zero: with every t finite each
// update adds a zero there, which leaves +0 and normal numbers as they are,
// so only the other values take the updates.
//
// c: the column, n elements. bottom: on entry and on return, a row below
// which the column holds only +0.
void apply_block(const Block& b, Real* c, int n, int& bottom)
{
    const int ka = b.ka;
    const int kb = ka + b.width;

    // interchange as the steps would
    for (int q = 0; q < b.width; ++q) {
        const int l = b.row[q];
        if (l >= 0 && l != ka + q) {
            std::swap(c[ka + q], c[l]);
            if (l > bottom && !is_plus_zero(c[l])) {
                bottom = l;
            }
        }
    }

    // the top rows: row k gets the earlier steps and is then the t of step k
    std::array<int, kMaxBlock> act;  // steps (from ka) with a non-zero t, in order
    std::array<Real, kMaxBlock> ts;  // their t
    int nt = 0;
    bool split = true;
    for (int q = 0; q < b.width; ++q) {
        const int k = ka + q;
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(q) * b.tri_stride;
        Real v = c[k];
        if (split) {
            const double* hi = b.tri_hi + at;
            const double* lo = b.tri_lo + at;
            for (int r = 0; r < nt; ++r) {
                v = (static_cast<Real>(hi[act[r]]) + lo[act[r]]) * ts[r] + v;
            }
        } else {
            const Real* multipliers = b.tri + at;
            for (int r = 0; r < nt; ++r) {
                v = multipliers[act[r]] * ts[r] + v;
            }
        }
        c[k] = v;
        if (b.row[q] >= 0 && v != 0) {
            act[nt] = q;
            ts[nt] = v;
            split = split && b.split[q] != 0;
            ++nt;
        }
    }

    if (nt == 0) {
        return;
    }

    // the lower rows, every update in register, down to where the
    // multipliers end
    int end = n;
    if (b.zend < n && std::all_of(ts.begin(), ts.begin() + nt, [](Real t) { return std::isfinite(t); })) {
        end = std::max(b.zend, kb);
        for (int i = end; i <= std::min(bottom, n - 1); ++i) {  // below bottom: +0, kept
            if (kept_by_zero_updates(c[i])) {
                continue;
            }
            Real v = c[i];
            for (int r = 0; r < nt; ++r) {
                v = b.perm[static_cast<std::ptrdiff_t>(act[r]) * n + i] * ts[r] + v;
            }
            c[i] = v;
        }
    }
    bottom = std::max(bottom, end - 1);  // rows ka .. end - 1 may no longer be +0
    if (split) {
        std::array<const double*, kMaxBlock> his;
        std::array<const double*, kMaxBlock> los;
        for (int r = 0; r < nt; ++r) {
            his[r] = b.hi + static_cast<std::ptrdiff_t>(act[r]) * n;
            los[r] = b.lo + static_cast<std::ptrdiff_t>(act[r]) * n;
        }
        update_rows_split(c, his.data(), los.data(), ts.data(), nt, kb, end);
    } else {
        std::array<const Real*, kMaxBlock> cols;
        for (int r = 0; r < nt; ++r) {
            cols[r] = b.perm + static_cast<std::ptrdiff_t>(act[r]) * n;
        }
        update_rows(c, cols.data(), ts.data(), nt, kb, end);
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
// the block (apply_block), whole columns shared among the threads while the
// calling thread already factors the next block. One element still sees its
// interchanges and updates in the order of the steps, each update rounded as
// M(i, k) * t + M(i, j), so it gets the same bits. Below the last row where
// a block has a non-zero multiplier (a banded matrix leaves most rows
// there) an update adds an exact zero: a value it cannot change (+0 or a
// normal number, every t finite) is left where it is, any other value still
// takes every update. Below the last row of a column that is not +0 the
// pivot search finds nothing larger and every multiplier is +0 * t, the
// same for all of them.
void Matrices::LU_FACTOR_BLOCKED(NXN_MATRIX& m, int& status, int block, int threads)
{
    const int n = MAT_ORDER;
    const auto nn = static_cast<std::size_t>(n);
    lu_work_.resize(nn * nn);
    Real* a = lu_work_.data();

    // column-major copy; bits moved, not values loaded
    for (std::size_t i = 0; i < nn; ++i) {
        for (std::size_t j = 0; j < nn; ++j) {
            std::memcpy(&a[j * nn + i], &m[i * nn + j], sizeof(Real));
        }
    }

    factor_columns(a, status, block, threads, nullptr, nullptr);

    // back to rows
    for (std::size_t i = 0; i < nn; ++i) {
        for (std::size_t j = 0; j < nn; ++j) {
            std::memcpy(&m[i * nn + j], &a[j * nn + i], sizeof(Real));
        }
    }
}

// LU_FACTOR_COLUMNS: LU_FACTOR on a matrix held column after column.
//
// Usual call: by a caller that fills the matrix column by column anyway and
// needs only the solve, not the factors in rows: MAT_ORDER = n;
// LU_FACTOR_COLUMNS(a, status); if status is 0, LU_SOLVE_COLUMNS(a, b).
//
//   on entry  a       element (i, j), counted from 1, at (j - 1) * n + (i - 1).
//   on return a       the factors of LU_FACTOR, stored the same way, bit for
//                     bit the transpose of what LU_FACTOR leaves.
//             status  as LU_FACTOR.
//
// Not checked: MAT_ORDER >= 1; a holds n^2 elements.
void Matrices::LU_FACTOR_COLUMNS(NXN_MATRIX& a, int& status)
{
    factor_columns(a.data(), status, LU_BLOCK, LU_THREADS, nullptr, nullptr);
}

// LU_FACTOR_COLUMNS with the caller's crew of helpers (LU_THREADS is then
// not consulted: the crew is what it is, none at all included).
void Matrices::LU_FACTOR_COLUMNS(NXN_MATRIX& a, int& status, HelperCrew& helpers)
{
    factor_columns(a.data(), status, LU_BLOCK, helpers.size() + 1, &helpers, nullptr);
}

// LU_FACTOR_SOLVE_COLUMNS: LU_FACTOR_COLUMNS and LU_SOLVE_COLUMNS in one.
//
// Usual call: MAT_ORDER = n; fill a column after column; LU_FACTOR_SOLVE_COLUMNS(a, b, status, crew);
//             if (status == 0) use b.
//
//   on entry  a        as LU_FACTOR_COLUMNS.
//             b        the right-hand side, n elements.
//             helpers  the crew that shares the work.
//   on return a, status, PIVOTS as LU_FACTOR_COLUMNS.
//             b        when status is 0, the solution, bit for bit what
//                      LU_SOLVE_COLUMNS gives after LU_FACTOR_COLUMNS;
//                      otherwise intermediate values, not to be used.
//
// Method: the forward substitution of LU_SOLVE is the elimination of LU_FACTOR
// applied to one more column: at step k the same interchange, then, unless
// the value moved to row k is an exact zero, each lower row adds its
// multiplier times that value. So b rides along as column n + 1 of the
// elimination (a step with a zero pivot, which would make status non-zero,
// is where the two differ), and only the back substitution is left.
void Matrices::LU_FACTOR_SOLVE_COLUMNS(NXN_MATRIX& a, N_VECTOR& b, int& status, HelperCrew& helpers)
{
    factor_columns(a.data(), status, LU_BLOCK, helpers.size() + 1, &helpers, b.data());
    if (status == 0) {
        back_substitute_columns(a, b);
    }
}

// The elimination of LU_FACTOR_BLOCKED on the column-major array a, in place.
void Matrices::factor_columns(Real* a, int& status, int block, int threads, HelperCrew* helpers, Real* rhs)
{
    const int n = MAT_ORDER;
    const auto nn = static_cast<std::size_t>(n);
    block = std::clamp(block, 1, LU_MAX_BLOCK);
    status = 0;
    PIVOTS.resize(nn);
    const std::size_t bsize = static_cast<std::size_t>(block) * nn;

    // two blocks: one being eliminated from the later columns while the
    // next is factored; each has bsize reals and twice bsize doubles, and
    // its triangle (block^2 reals and twice as many doubles).
    const std::size_t tri_size = static_cast<std::size_t>(block) * static_cast<std::size_t>(block);
    const std::size_t block_bytes = (bsize + tri_size) * (sizeof(Real) + 2 * sizeof(double));
    lu_blocks_.resize(2 * block_bytes);
    std::array<Block, 2> blocks;
    for (std::size_t h = 0; h < 2; ++h) {
        std::byte* base = lu_blocks_.data() + h * block_bytes;
        blocks[h].perm = reinterpret_cast<Real*>(base);
        blocks[h].hi = reinterpret_cast<double*>(base + bsize * sizeof(Real));
        blocks[h].lo = blocks[h].hi + bsize;
        blocks[h].tri = reinterpret_cast<Real*>(blocks[h].lo + bsize);
        blocks[h].tri_hi = reinterpret_cast<double*>(blocks[h].tri + tri_size);
        blocks[h].tri_lo = blocks[h].tri_hi + tri_size;
        blocks[h].tri_stride = block;
    }

    // the last row of each column that is not +0 (-1: none); a banded
    // matrix, like the wear matrix, holds only +0 below its band, and the
    // pivot search, the multipliers and the copies of a block need not
    // look there
    // (and of the right-hand side, when one is given, as column n)
    const int columns = rhs != nullptr ? n + 1 : n;
    lu_bottom_.resize(static_cast<std::size_t>(columns));
    auto find_bottoms = [this, a, n, rhs](int from, int to) {
        for (int j = from; j < to; ++j) {
            const Real* c = j < n ? a + static_cast<std::ptrdiff_t>(j) * n : rhs;
            int i = n - 1;
            while (i >= 0 && is_plus_zero(c[i])) {
                --i;
            }
            lu_bottom_[static_cast<std::size_t>(j)] = i;
        }
    };

    // row ka + q of the copy, final, into tri (the steps that have a column)
    auto copy_tri_row = [n](Block& b, int q) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(q) * b.tri_stride;
        for (int r = 0; r < q; ++r) {
            if (b.row[r] >= 0) {
                const std::ptrdiff_t from = static_cast<std::ptrdiff_t>(r) * n + b.ka + q;
                b.tri[at + r] = b.perm[from];
                b.tri_hi[at + r] = b.hi[from];
                b.tri_lo[at + r] = b.lo[from];
            }
        }
    };
    // the columns k0 .. k1 - 1 of a block, each taking the earlier steps of
    // the block before its own step; ready (when given): ready[q] turns
    // non-zero once column k0 + q has taken the updates of the previous
    // block, perhaps on another thread
    auto factor_block = [&](Block& b, int k0, int k1, const std::atomic<int>* ready) {
        b.ka = k0;
        b.zend = 0;
        for (int j = k0; j < k1; ++j) {
            const int q = j - k0;
            if (ready != nullptr) {
                // a column takes microseconds; should the thread updating
                // it have lost its core, give this one up rather than spin
                for (int spins = 0; ready[q].load(std::memory_order_acquire) == 0; ++spins) {
                    if (spins >= 20000) {
                        std::this_thread::yield();
                    }
                }
            }
            b.width = q;
            int& bottom = lu_bottom_[static_cast<std::size_t>(j)];
            apply_block(b, a + static_cast<std::ptrdiff_t>(j) * n, n, bottom);
            b.width = q + 1;

            // find the pivot; a +0 below `bottom` never displaces it
            Real* c = a + static_cast<std::ptrdiff_t>(j) * n;
            int l = j;
            Real big = std::fabs(c[j]);
            const int end = std::min(bottom + 1, n);
            for (int i = j + 1; i < end; ++i) {
                const Real v = std::fabs(c[i]);
                if (v > big) {
                    l = i;
                    big = v;
                }
            }
            PIVOTS[static_cast<std::size_t>(j)] = l + 1;

            // a zero pivot leaves the column untouched
            if (c[l] == 0) {
                b.row[q] = -1;
                status = j + 1;
                copy_tri_row(b, q);
                continue;
            }
            b.row[q] = l;

            // interchange if necessary; row j of the copy is then final
            if (l != j) {
                std::swap(c[l], c[j]);
                swap_rows(b, n, q, l, j);
            }
            copy_tri_row(b, q);

            // compute multipliers; below `bottom` each is +0 * t
            const Real t = -1.0L / c[j];
            for (int i = j + 1; i < end; ++i) {
                c[i] = c[i] * t;
            }
            const Real tail = Real{0} * t;
            fill_bytes(c + std::max(end, j + 1), c + n, tail);
            take_column(b, a, n, q, bottom, tail);
        }
    };

    // the helpers: the caller's, or started when the first block update is
    // worth sharing and kept for the later ones
    std::optional<HelperCrew> own_crew;
    HelperCrew* crew = helpers;
    const int first_end = std::min(block, n - 1);
    const double first_work = static_cast<double>(columns - first_end) * n * first_end;
    if (crew == nullptr && threads >= 2 && first_work >= kThreadWork) {
        crew = &own_crew.emplace(threads - 1);
    }
    if (crew != nullptr && crew->size() > 0 && first_work >= kThreadWork) {
        // the helpers look for the later columns' bottoms while this thread
        // factors the first block
        crew->run([&] { find_bottoms(first_end, columns); },
                  [&] {
                      find_bottoms(0, first_end);
                      factor_block(blocks[0], 0, first_end, nullptr);
                  });
    } else {
        find_bottoms(0, columns);
        if (n > 1) {
            factor_block(blocks[0], 0, first_end, nullptr);
        }
    }
    // column j of the matrix, or the right-hand side as column n
    auto column = [a, n, rhs](int j) { return j < n ? a + static_cast<std::ptrdiff_t>(j) * n : rhs; };
    for (int k0 = 0, h = 0; k0 < n - 1; k0 += block, h ^= 1) {
        const int k1 = std::min(k0 + block, n - 1);
        const int k2 = std::min(k1 + block, n - 1);
        const Block& cur = blocks[static_cast<std::size_t>(h)];
        Block& next = blocks[static_cast<std::size_t>(h ^ 1)];
        int* bottom = lu_bottom_.data();
        auto update = [&cur, &column, n, bottom](int j) { apply_block(cur, column(j), n, bottom[j]); };

        // eliminate the block from the later columns, and factor the next
        // block as soon as its own columns have been updated
        const double work = static_cast<double>(columns - k1) * (n - k0) * (k1 - k0);
        if (threads < 2 || work < kThreadWork) {
            for (int j = k1; j < columns; ++j) {
                update(j);
            }
            factor_block(next, k1, k2, nullptr);
            continue;
        }
        // The next block's own columns come first: all threads update them,
        // one column at a time, and this thread factors each as soon as it
        // is ready; that chain decides how long the whole factorisation
        // takes. Meanwhile the other threads go on to the later columns one
        // at a time from the right, and this thread, the next block
        // factored, takes them from the left until the two meet. How long
        // the factoring takes, and which columns take any update at all (a
        // banded matrix, like the wear matrix, has none far right of the
        // diagonal), then decides nothing: whoever is free takes the next
        // column. Columns are independent within one block, so the bits do
        // not depend on who takes which.
        std::array<std::atomic<int>, kMaxBlock> ready;
        for (int q = 0; q < k2 - k1; ++q) {
            ready[static_cast<std::size_t>(q)].store(0, std::memory_order_relaxed);
        }
        std::atomic<int> own_next{k1};
        auto take_own = [&own_next, &ready, &update, k1, k2] {
            for (int j = own_next++; j < k2; j = own_next++) {
                update(j);
                ready[static_cast<std::size_t>(j - k1)].store(1, std::memory_order_release);
            }
        };
        ColumnClaims claims(k2, columns);
        auto help = [&take_own, &claims, &update] {
            take_own();
            for (int j = claims.from_right(); j >= 0; j = claims.from_right()) {
                update(j);
            }
        };
        if (crew == nullptr) {
            crew = &own_crew.emplace(threads - 1);
        }
        crew->run(help, [&] {
            take_own();
            factor_block(next, k1, k2, ready.data());
            for (int j = claims.from_left(); j >= 0; j = claims.from_left()) {
                update(j);
            }
        });
    }
    PIVOTS[nn - 1] = n;
    if (a[nn * nn - 1] == 0) {
        status = n;
    }
}

namespace {

// The solve of LU_SOLVE on factors that at(i, j) reads, whichever way they
// are stored.
template <class At>
void solve_factored(int n, const std::vector<int>& PIVOTS, N_VECTOR& b, const At& at)
{
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
                y = t * at(k + p, k) + y;
            }
        }
    }

    // solve U x = y
    for (int k = n; k >= 1; --k) {
        Real& bk = b[static_cast<std::size_t>(k - 1)];
        bk = bk / at(k, k);
        const Real t = -bk;
        if (t != 0) {
            for (int p = 1; p <= k - 1; ++p) {
                Real& y = b[static_cast<std::size_t>(p - 1)];
                y = t * at(p, k) + y;
            }
        }
    }
}

}  // namespace

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
    solve_factored(MAT_ORDER, PIVOTS, b, [&](int i, int j) { return m[MAT_INDEX(i, j)]; });
}

namespace {

// True when x is an exact zero of either sign.
bool is_zero(const Real& x)
{
    const RealBits b = bits_of(x);
    return b.significand == 0 && (b.sign_exponent & 0x7fffU) == 0;
}

// The rows of b that an update by an exact zero might change (values that
// kept_by_zero_updates refuses) all lie in lo .. hi; empty when lo > hi.
// Widened whenever such a value is written, never narrowed.
class OddRows {
public:
    explicit OddRows(const N_VECTOR& b, int n)
    {
        for (int i = 0; i < n; ++i) note(b, i);
    }
    void note(const N_VECTOR& b, int i)
    {
        if (!kept_by_zero_updates(b[static_cast<std::size_t>(i)])) widen(i);
    }
    // The same for v, just computed (and so canonical) and stored in row i:
    // told from the number itself rather than from the bytes just stored.
    void note_computed(int i, Real v)
    {
        const Real m = std::fabs(v);
        const bool normal = m >= std::numeric_limits<Real>::min() && m <= std::numeric_limits<Real>::max();
        if (!normal && !(v == 0 && !std::signbit(v))) widen(i);
    }
    void widen(int i)
    {
        lo = std::min(lo, i);
        hi = std::max(hi, i);
    }
    int lo = std::numeric_limits<int>::max();
    int hi = -1;
};

// Columns of U taken together in the back substitution, their updates of
// one element made while it sits in a register.
constexpr int kSolveGroup = 4;

}  // namespace

// LU_SOLVE_COLUMNS: LU_SOLVE for the factors that LU_FACTOR_COLUMNS left,
// held column after column; the same operations on every element in the
// same order, so the same bits as LU_SOLVE on the factors in rows.
//
// Method: as LU_SOLVE, with two savings that change no bits.
// - An update by a multiplier or a U element that is an exact zero, with a
//   finite factor, adds an exact zero: it leaves +0 and normal numbers as
//   they are. Such updates are passed over below the last non-zero
//   multiplier of a column of L and above the first non-zero element of a
//   column of U (a banded matrix, like the wear matrix, is mostly such
//   rows), except for the values that an added zero can change (OddRows).
// - The back substitution takes kSolveGroup columns of U at a time: first
//   their own triangle in order, then each row above them takes their
//   updates, still from the last column to the first, in a register.
void Matrices::LU_SOLVE_COLUMNS(const NXN_MATRIX& a, N_VECTOR& b) const
{
    forward_substitute_columns(a, b);
    back_substitute_columns(a, b);
}

// The two halves of LU_SOLVE_COLUMNS: L y = P b, then U x = y.
void Matrices::forward_substitute_columns(const NXN_MATRIX& a, N_VECTOR& b) const
{
    const int n = MAT_ORDER;
    auto col = [&a, n](int j) { return a.data() + static_cast<std::ptrdiff_t>(j) * n; };
    auto at = [&b](int i) -> Real& { return b[static_cast<std::size_t>(i)]; };
    OddRows odd(b, n);

    // solve L y = b, 0-based: step k, multipliers in column k below row k
    for (int k = 0; k < n - 1; ++k) {
        const int l = PIVOTS[static_cast<std::size_t>(k)] - 1;
        const Real t = at(l);
        if (l != k) {
            at(l) = at(k);
            at(k) = t;
            odd.note(b, l);
            odd.note(b, k);
        }
        if (t == 0) {
            continue;
        }
        const Real* c = col(k);
        int end = n;  // rows end .. n - 1 have zero multipliers
        while (end > k + 1 && is_zero(c[end - 1])) {
            --end;
        }
        for (int i = k + 1; i < end; ++i) {
            const Real v = t * c[i] + at(i);
            at(i) = v;
            odd.note_computed(i, v);
        }
        const bool finite = std::isfinite(t);
        const int first = finite ? std::max(end, odd.lo) : end;
        const int last = finite ? std::min(n - 1, odd.hi) : n - 1;
        for (int i = first; i <= last; ++i) {
            if (!finite || !kept_by_zero_updates(at(i))) {
                const Real v = t * c[i] + at(i);
                at(i) = v;
                odd.note_computed(i, v);
            }
        }
    }
}

void Matrices::back_substitute_columns(const NXN_MATRIX& a, N_VECTOR& b) const
{
    const int n = MAT_ORDER;
    auto col = [&a, n](int j) { return a.data() + static_cast<std::ptrdiff_t>(j) * n; };
    auto at = [&b](int i) -> Real& { return b[static_cast<std::size_t>(i)]; };
    OddRows odd(b, n);

    // solve U x = y, from the last column to the first, kSolveGroup at a time
    for (int k = n - 1; k >= 0;) {
        const int k0 = std::max(0, k - kSolveGroup + 1);
        std::array<const Real*, kSolveGroup> cols{};
        std::array<Real, kSolveGroup> ts{};
        int nt = 0;
        bool finite = true;
        int top = k0;  // rows top .. k0 - 1 meet a non-zero of some column
        for (int kk = k; kk >= k0; --kk) {
            const Real* c = col(kk);
            const Real x = at(kk) / c[kk];
            at(kk) = x;
            odd.note_computed(kk, x);
            const Real t = -at(kk);
            if (t == 0) {
                continue;
            }
            for (int p = k0; p < kk; ++p) {
                const Real v = t * c[p] + at(p);
                at(p) = v;
                odd.note_computed(p, v);
            }
            int first = 0;
            while (first < top && is_zero(c[first])) {
                ++first;
            }
            top = std::min(top, first);
            finite = finite && std::isfinite(t);
            cols[static_cast<std::size_t>(nt)] = c;
            ts[static_cast<std::size_t>(nt)] = t;
            ++nt;
        }
        auto update = [&](int p) {
            Real v = at(p);
            for (int r = 0; r < nt; ++r) {
                v = ts[static_cast<std::size_t>(r)] * cols[static_cast<std::size_t>(r)][p] + v;
            }
            at(p) = v;
            odd.note_computed(p, v);
        };
        if (nt > 0) {
            for (int p = top; p < k0; ++p) {
                update(p);
            }
            const int first = finite ? std::max(0, odd.lo) : 0;
            const int last = finite ? std::min(top - 1, odd.hi) : top - 1;
            for (int p = first; p <= last; ++p) {
                if (!finite || !kept_by_zero_updates(at(p))) {
                    update(p);
                }
            }
        }
        k = k0 - 1;
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
