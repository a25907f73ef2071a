// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One block of steps of the blocked LU elimination (lu_blocked.cpp, whose
// numbered rules these routines keep): the block's private copy of its
// multipliers, and the application of all its steps to one column.
// Internal to the fast factorisation; no other caller.

#include <array>

#include "matrices/matrices.hpp"

namespace dz::lu_block {

// The multipliers of one block of steps ka .. ka + width - 1 (rule 2).
// Column q of the copy (step ka + q) sits at perm[q * n], and again as the
// pairs hi[q * n] + lo[q * n] (rule 4). The arrays are the caller's
// scratch, laid out by the caller; the routines below fill and read them.
struct Block {
    int ka = 0;
    int width = 0;
    int zend = 0;  // rows zend .. n - 1: every multiplier of steps ka .. ka + width - 1 is zero
    std::array<int, Matrices::LU_MAX_BLOCK> row{};  // pivot row of step ka + q; -1: zero pivot, no step
    std::array<unsigned char, Matrices::LU_MAX_BLOCK> split{};  // 1: column q split exactly (rule 4)
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

// split_real: the exact double pair of a multiplier (rule 4).
//
//   on entry  x     the real to split.
//   on return h, l  doubles whose sum, formed in Real, is x, when there are
//                   such (a zero of either sign as itself twice).
//   returns         true when the pair is exact; false for infinities, NaNs,
//                   numbers outside the range of double and non-canonical
//                   encodings (h and l are then of no use).
bool split_real(const Real& x, double& h, double& l);

// take_column: copies the multipliers of step k = b.ka + q into the block.
//
// Usual call: at the end of the pivot step k, with the multipliers stored.
//
//   on entry  a       the column-major matrix of order n; column k holds the
//                     multipliers of step k in rows k + 1 .. bottom, and
//                     `tail` (the multiplier made from +0) below.
//             bottom  column k's bottom (rule 3).
//   on return b       perm, hi and lo of column q, rows k + 1 .. n - 1;
//                     split[q] as rule 4; zend moved below the last
//                     multiplier that is not an exact zero (NaN counts as
//                     not zero).
//
// Not checked: q < LU_MAX_BLOCK; the block's arrays hold q + 1 columns.
void take_column(Block& b, const Real* a, int n, int q, int bottom, const Real& tail);

// swap_rows: the interchange of step b.ka + q (rows r and s) applied to the
// copy: rows r and s of the block's columns 0 .. q - 1 change places, and
// zend moves down to take both rows in.
void swap_rows(Block& b, int n, int q, int r, int s);

// apply_block: applies the steps b.ka .. b.ka + b.width - 1 to one column.
//
// Usual call: apply_block(b, column(j), n, bottom[j]) for every column j
// right of the block, and for the block's own column ka + q with width q
// before its pivot step.
//
//   on entry  b       the block, read only; its steps' interchanges and
//                     multipliers are in place.
//             c       the column, n elements, having taken every earlier
//                     block.
//             bottom  the column's bottom (rule 3).
//   on return c       having taken the block's steps, each element the
//                     operations of rule 1 in their order.
//             bottom  moved down where an interchange or an update may have
//                     left a value that is not +0.
//
// Method: first the interchanges; then the top rows ka .. kb - 1 in order,
// row k taking the steps before k and so becoming the t of step k; then
// every lower row takes all the steps while it sits in a register, six rows
// at a time, from the pairs of doubles when every step split (rule 4); the
// rows from b.zend on only where rule 5 asks for it.
void apply_block(const Block& b, Real* c, int n, int& bottom);

}  // namespace dz::lu_block
