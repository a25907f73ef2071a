#pragma once
// Dense linear solvers: LU with partial pivoting and Cholesky, working in
// place on a flat row-major NXN_MATRIX of order MAT_ORDER.

#include <cstddef>
#include <vector>

#include "core_types/real.hpp"

namespace dz {

class HelperCrew;

// The solver's state: the order of the system the next call works on and the
// pivot rows of the last LU factorisation. One LU factorisation is current per
// object; LU_SOLVE replays the PIVOTS that the last LU_FACTOR left.
//
// All index arguments count from 1 and no routine checks bounds: a matrix
// must hold at least MAT_ORDER^2 elements and a vector MAT_ORDER elements.
class Matrices {
public:
    int MAT_ORDER = 0;
    std::vector<int> PIVOTS;  // PIVOTS[k - 1] is the row exchanged with row k at step k

    // Position of element (i, j) in the flat array: (i - 1) * MAT_ORDER + (j - 1).
    [[nodiscard]] std::size_t MAT_INDEX(int i, int j) const;

    // Place p (1..n) of the first element of largest magnitude among
    // M(i, j) .. M(i + n - 1, j); 0 when n < 1.
    [[nodiscard]] int PIVOT_INDEX(int n, const NXN_MATRIX& m, int i, int j) const;

    // M(i + p - 1, j) *= t for p = 1..n.
    void SCALE_VEC(int n, Real t, NXN_MATRIX& m, int i, int j) const;

    // M(i2 + p - 1, j2) = M(i1 + p - 1, j1) * t + M(i2 + p - 1, j2) for
    // p = 1..n; nothing at all when t is exactly zero or n < 1.
    void AXPY_VEC(int n, Real t, NXN_MATRIX& m, int i1, int j1, int i2, int j2) const;

    // Gaussian elimination with partial pivoting; status = largest step whose
    // pivot was exactly zero, 0 when none. Requires MAT_ORDER >= 1.
    void LU_FACTOR(NXN_MATRIX& m, int& status);
    // The same elimination one step at a time through PIVOT_INDEX, SCALE_VEC
    // and AXPY_VEC: slower, kept as the yardstick that LU_FACTOR must match
    // bit for bit.
    void LU_FACTOR_REFERENCE(NXN_MATRIX& m, int& status);
    // LU_FACTOR with its tuning made explicit: `block` elimination steps are
    // applied to each column at a time (1 .. LU_MAX_BLOCK), the columns of
    // each update are shared among `threads` threads (1: none started).
    // Every choice gives the same bits; LU_FACTOR uses LU_BLOCK and
    // LU_THREADS. On a quiet 2-core machine a second thread takes an order-500
    // factorisation from about 50 to 31 ms (bench_lu shows both); on a busy
    // one it costs nothing.
    void LU_FACTOR_BLOCKED(NXN_MATRIX& m, int& status, int block, int threads);
    static constexpr int LU_MAX_BLOCK = 128;
    static constexpr int LU_BLOCK = 32;
    static constexpr int LU_THREADS = 2;
    // Replaces b by the solution of M x = b, M factored by LU_FACTOR.
    void LU_SOLVE(const NXN_MATRIX& m, N_VECTOR& b) const;
    // The same pair for a matrix held column after column (element (i, j) at
    // (j - 1) * n + (i - 1)): no copy, no conversion, the same bits.
    void LU_FACTOR_COLUMNS(NXN_MATRIX& a, int& status);
    void LU_SOLVE_COLUMNS(const NXN_MATRIX& a, N_VECTOR& b) const;
    // LU_FACTOR_COLUMNS sharing the work with a crew the caller keeps (and may use
    // before and after, as the wear matrix fill does).
    void LU_FACTOR_COLUMNS(NXN_MATRIX& a, int& status, HelperCrew& helpers);
    // Both at once: b rides along the elimination as one more column and
    // comes back solved when status is 0 (the same bits as the pair above).
    void LU_FACTOR_SOLVE_COLUMNS(NXN_MATRIX& a, N_VECTOR& b, int& status, HelperCrew& helpers);

    // Cholesky factorisation A = R^T R of the upper triangle; status = first
    // step whose pivot is not positive, 0 on success.
    void CHOL_FACTOR(NXN_MATRIX& m, int& status) const;
    // Replaces b by the solution of R^T R x = b.
    void CHOL_SOLVE(const NXN_MATRIX& m, N_VECTOR& b) const;

private:
    void factor_columns(Real* a, int& status, int block, int threads, HelperCrew* helpers, Real* rhs);
    void forward_substitute_columns(const NXN_MATRIX& a, N_VECTOR& b) const;
    void back_substitute_columns(const NXN_MATRIX& a, N_VECTOR& b) const;
    // Scratch of LU_FACTOR, kept between calls so that a factorisation of
    // the same order allocates nothing: the column-major copy of the matrix
    // and, for two blocks of steps, a copy of their multipliers, also split
    // into pairs of doubles (all three in one block of matrix storage, which
    // is never cleared: each element is written before it is read).
    NXN_MATRIX lu_work_;
    std::vector<std::byte, MatrixAllocator<std::byte>> lu_blocks_;
    std::vector<int> lu_bottom_;  // per column, the last row that is not +0
};

}  // namespace dz
