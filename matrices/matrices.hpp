// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dense linear solvers: LU with partial pivoting and Cholesky, working in
// place on a flat row-major NXN_MATRIX of order MAT_ORDER.
//
// The routines are documented here, where the caller reads them; the .cpp
// files hold only the phases of each method. They are split by kind:
//   lu_reference.cpp      PIVOT_INDEX, SCALE_VEC, AXPY_VEC, LU_FACTOR_REFERENCE,
//                         LU_SOLVE
//   lu_blocked.cpp        LU_FACTOR, LU_FACTOR_BLOCKED, the LU_FACTOR_COLUMNS
//                         pair and LU_FACTOR_SOLVE_COLUMNS, with one block's
//                         routines in lu_block_steps.cpp
//   lu_solve_columns.cpp  LU_SOLVE_COLUMNS
//   cholesky.cpp          CHOL_FACTOR, CHOL_SOLVE
//   real_encoding.hpp     the predicates on the 80-bit encoding they share
//
// The results are reproduced bit for bit, so every expression keeps the
// exact order of its operations (a product is rounded before it is added,
// the source term comes first); nothing may be regrouped or contracted.

#include <cstddef>
#include <vector>

#include "core_types/real.hpp"

namespace dz {

class HelperCrew;

// The solver's state: the order of the system the next call works on and the
// pivot rows of the last LU factorisation. One LU factorisation is current per
// object; LU_SOLVE replays the PIVOTS that the last LU_FACTOR left. The
// object also keeps the fast factorisation's scratch, so that a second
// factorisation of the same order allocates nothing; one object must not be
// used from two threads at once.
//
// All index arguments count from 1 and no routine checks bounds: a matrix
// must hold at least MAT_ORDER^2 elements and a vector MAT_ORDER elements.
class Matrices {
public:
    int MAT_ORDER = 0;
    std::vector<int> PIVOTS;  // PIVOTS[k - 1] is the row exchanged with row k at step k

    // MAT_INDEX: position of element (i, j) in the flat row-major array.
    //
    //   on entry  i, j  row and column, counted from 1.
    //   returns         (i - 1) * MAT_ORDER + (j - 1), counted from 0.
    //
    // Not checked: 1 <= i, j <= MAT_ORDER.
    [[nodiscard]] std::size_t MAT_INDEX(int i, int j) const
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
    [[nodiscard]] int PIVOT_INDEX(int n, const NXN_MATRIX& m, int i, int j) const;

    // SCALE_VEC: multiply a column piece by a constant.
    //
    //   on entry  n     number of elements; nothing happens when n < 1.
    //             t     the factor.
    //             m     matrix of order MAT_ORDER.
    //             i, j  first element M(i, j).
    //   on return M(i + p - 1, j) = M(i + p - 1, j) * t for p = 1 .. n.
    //
    // Not checked: i + n - 1 <= MAT_ORDER.
    void SCALE_VEC(int n, Real t, NXN_MATRIX& m, int i, int j) const;

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
    void AXPY_VEC(int n, Real t, NXN_MATRIX& m, int i1, int j1, int i2, int j2) const;

    // LU_FACTOR_REFERENCE: the elimination one step at a time, exactly as
    // LU_FACTOR is defined, walking the row-major matrix down its columns.
    // LU_FACTOR gives the same bits faster; this one stays as the yardstick
    // for it.
    //
    // Usual call: MAT_ORDER = n; fill m; LU_FACTOR_REFERENCE(m, status);
    //             if (status == 0) LU_SOLVE(m, b);
    //
    //   on entry  m       the matrix of order n = MAT_ORDER, row after row.
    //   on return m       U on and above the diagonal; below the diagonal, in
    //                     column k, the multipliers of step k with their signs
    //                     reversed. Step k interchanges rows k and PIVOTS[k] in
    //                     columns k .. n only.
    //             PIVOTS  length n; entry k (from 1) is the row exchanged with
    //                     row k at step k, k itself when none; entry n is n.
    //             status  see below.
    //
    //   status  meaning
    //   0       normal; LU_SOLVE may be called.
    //   k > 0   U(k, k) is exactly zero, k the largest such step. Not an error
    //           for this routine, which carries on with the later steps, but
    //           LU_SOLVE would divide by zero: callers report it and do not
    //           solve.
    //
    // Not checked: MAT_ORDER >= 1 (PIVOTS[n] is always written); m holds n^2
    // elements. There is no tolerance: a tiny non-zero pivot is accepted.
    //
    // Method: Gaussian elimination with partial pivoting, column oriented,
    // through PIVOT_INDEX, SCALE_VEC and AXPY_VEC. Step k finds the pivot
    // row l, leaves the column untouched when the pivot is exactly zero,
    // else interchanges, scales the column below the diagonal by
    // t = -1 / pivot and adds M(i, k) * M(k, j) to every M(i, j), i, j > k
    // (AXPY_VEC, so a zero M(k, j) adds nothing).
    void LU_FACTOR_REFERENCE(NXN_MATRIX& m, int& status);

    // LU_FACTOR: LU factorisation with partial pivoting, fast.
    //
    // Arguments, results and status as LU_FACTOR_REFERENCE, bit for bit;
    // LU_FACTOR_BLOCKED with LU_BLOCK and LU_THREADS.
    void LU_FACTOR(NXN_MATRIX& m, int& status);

    // LU_FACTOR_BLOCKED: LU_FACTOR with its tuning made explicit.
    //
    // Usual call: by benchmarks and tests that compare tunings; everyone
    // else calls LU_FACTOR.
    //
    //   on entry  m, MAT_ORDER  as LU_FACTOR_REFERENCE.
    //             block    elimination steps applied to each column at a
    //                      time, clamped to 1 .. LU_MAX_BLOCK.
    //             threads  threads sharing the columns of each block update
    //                      (1 or less: none started); helpers are started
    //                      only when an update is worth sharing.
    //   on return m, PIVOTS, status  as LU_FACTOR_REFERENCE, bit for bit, for
    //                      every block and thread count.
    //
    // Not checked: MAT_ORDER >= 1; m holds n^2 elements.
    //
    // Method: the same elimination, reordered only across elements, never
    // within one, on a column-major copy in the object's scratch; each block
    // of steps is first factored on its own columns, then applied to every
    // later column while the next block is factored (the invariants are set
    // out at the top of lu_blocked.cpp). bench_lu times each tuning; on the
    // 2-core machine of the README's benchmark table LU_FACTOR takes an
    // order-500 dense matrix at 0.54 ns per multiply-add (about 22 ms, a
    // seventh of the reference's 3.77 ns); on a busy machine the second
    // thread costs nothing.
    void LU_FACTOR_BLOCKED(NXN_MATRIX& m, int& status, int block, int threads);
    static constexpr int LU_MAX_BLOCK = 128;
    static constexpr int LU_BLOCK = 32;
    static constexpr int LU_THREADS = 2;

    // LU_SOLVE: solve M x = b with M factored by LU_FACTOR.
    //
    // Usual call: after LU_FACTOR(m, status) gave status 0, with the same
    // MAT_ORDER and no other LU_FACTOR in between: LU_SOLVE(m, b).
    //
    //   on entry  m  the output of LU_FACTOR (read only).
    //             b  the right-hand side, n = MAT_ORDER elements.
    //   on return b  the solution x.
    //
    // Not checked: the status was 0 (else a division by zero); PIVOTS belongs
    // to this factorisation.
    //
    // Method: replay the interchanges and multipliers on b (L y = P b), then
    // back substitution with U. An update whose factor is exactly zero is
    // skipped.
    void LU_SOLVE(const NXN_MATRIX& m, N_VECTOR& b) const;

    // LU_FACTOR_COLUMNS: LU_FACTOR on a matrix held column after column.
    //
    // Usual call: by a caller that fills the matrix column by column anyway
    // and needs only the solve, not the factors in rows: MAT_ORDER = n;
    // LU_FACTOR_COLUMNS(a, status); if status is 0, LU_SOLVE_COLUMNS(a, b).
    //
    //   on entry  a        element (i, j), counted from 1, at (j - 1) * n + (i - 1).
    //             helpers  (second form) the caller's crew, which shares the
    //                      work; LU_THREADS is then not consulted: the crew
    //                      is what it is, none at all included. The caller
    //                      may use it before and after, as the wear matrix
    //                      fill does.
    //   on return a        the factors of LU_FACTOR, stored the same way, bit
    //                      for bit the transpose of what LU_FACTOR leaves.
    //             PIVOTS, status  as LU_FACTOR.
    //
    // Not checked: MAT_ORDER >= 1; a holds n^2 elements.
    //
    // Method: LU_FACTOR_BLOCKED's elimination in place, with no copy.
    void LU_FACTOR_COLUMNS(NXN_MATRIX& a, int& status);
    void LU_FACTOR_COLUMNS(NXN_MATRIX& a, int& status, HelperCrew& helpers);

    // LU_SOLVE_COLUMNS: LU_SOLVE for the factors that LU_FACTOR_COLUMNS left,
    // held column after column.
    //
    // Usual call: after LU_FACTOR_COLUMNS(a, status) gave status 0:
    // LU_SOLVE_COLUMNS(a, b).
    //
    //   on entry  a  the output of LU_FACTOR_COLUMNS (read only).
    //             b  the right-hand side, n = MAT_ORDER elements.
    //   on return b  the solution, bit for bit what LU_SOLVE gives on the
    //                factors in rows.
    //
    // Not checked: as LU_SOLVE.
    //
    // Method: as LU_SOLVE, the same operations on every element in the same
    // order, with two savings that change no bits.
    // - An update by a multiplier or a U element that is an exact zero, with
    //   a finite factor, adds an exact zero: it leaves +0 and normal numbers
    //   as they are. Such updates are passed over below the last non-zero
    //   multiplier of a column of L and above the first non-zero element of
    //   a column of U (a banded matrix, like the wear matrix, is mostly such
    //   rows), except for the values that an added zero can change.
    // - The back substitution takes a few columns of U at a time: first
    //   their own triangle in order, then each row above them takes their
    //   updates, still from the last column to the first, in a register.
    void LU_SOLVE_COLUMNS(const NXN_MATRIX& a, N_VECTOR& b) const;

    // LU_FACTOR_SOLVE_COLUMNS: LU_FACTOR_COLUMNS and LU_SOLVE_COLUMNS in one.
    //
    // Usual call: MAT_ORDER = n; fill a column after column;
    //             LU_FACTOR_SOLVE_COLUMNS(a, b, status, crew); if (status == 0) use b.
    //
    //   on entry  a        as LU_FACTOR_COLUMNS.
    //             b        the right-hand side, n elements.
    //             helpers  the crew that shares the work, as for
    //                      LU_FACTOR_COLUMNS.
    //   on return a, status, PIVOTS  as LU_FACTOR_COLUMNS.
    //             b        when status is 0, the solution, bit for bit what
    //                      LU_SOLVE_COLUMNS gives after LU_FACTOR_COLUMNS;
    //                      otherwise intermediate values, not to be used.
    //
    // Method: the forward substitution of LU_SOLVE is the elimination of
    // LU_FACTOR applied to one more column: at step k the same interchange,
    // then, unless the value moved to row k is an exact zero, each lower row
    // adds its multiplier times that value. So b rides along as column n + 1
    // of the elimination (a step with a zero pivot, which would make status
    // non-zero, is where the two differ), and only the back substitution is
    // left.
    void LU_FACTOR_SOLVE_COLUMNS(NXN_MATRIX& a, N_VECTOR& b, int& status, HelperCrew& helpers);

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
    //   k > 0   the pivot of step k is zero, negative or NaN: the matrix is
    //           not positive definite. An error for the caller, who must not
    //           solve. Rows 1 .. k - 1 already hold R; the rest keeps what the
    //           earlier steps wrote.
    //
    // Not checked: m holds n^2 elements. Nothing happens when n <= 0.
    //
    // Method: outer-product form. Step k takes d = A(k, k), sets
    // R(k, k) = sqrt(d), subtracts (A(k, i) A(k, j)) / d from the rows i > k,
    // and divides row k by sqrt(d) only after every later row has read it.
    void CHOL_FACTOR(NXN_MATRIX& m, int& status) const;

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
    // Method: forward substitution with R^T, then back substitution with R,
    // both as inner products read from the upper triangle.
    void CHOL_SOLVE(const NXN_MATRIX& m, N_VECTOR& b) const;

private:
    // factor_columns: the elimination of LU_FACTOR_BLOCKED on the
    // column-major array a of order MAT_ORDER, in place, writing PIVOTS and
    // status. block and threads as LU_FACTOR_BLOCKED; helpers: the caller's
    // crew, or null to start one when threads >= 2; rhs: null, or a
    // right-hand side that rides along as column n (LU_FACTOR_SOLVE_COLUMNS).
    void factor_columns(Real* a, int& status, int block, int threads, HelperCrew* helpers, Real* rhs);
    // The two halves of LU_SOLVE_COLUMNS: L y = P b, then U x = y, each in
    // place on b.
    void forward_substitute_columns(const NXN_MATRIX& a, N_VECTOR& b) const;
    void back_substitute_columns(const NXN_MATRIX& a, N_VECTOR& b) const;

    // Scratch of the fast factorisation, kept between calls so that a
    // factorisation of the same order allocates nothing: the column-major
    // copy of the matrix (LU_FACTOR_BLOCKED only) and, for two blocks of
    // steps, a copy of their multipliers, also split into pairs of doubles
    // (all three in one block of matrix storage, which is never cleared:
    // each element is written before it is read).
    NXN_MATRIX lu_work_;
    std::vector<std::byte, MatrixAllocator<std::byte>> lu_blocks_;
    std::vector<int> lu_bottom_;  // per column, the last row that is not +0
};

}  // namespace dz
