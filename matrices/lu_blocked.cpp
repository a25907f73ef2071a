// SPDX-License-Identifier: GPL-3.0-or-later
// The fast LU factorisation: LU_FACTOR, LU_FACTOR_BLOCKED and the
// factorisations on matrices held column after column (documented in
// matrices.hpp), driven by blocks of steps; one block's own routines are in
// lu_block_steps.cpp. Every tuning gives the bits of LU_FACTOR_REFERENCE;
// the rules that make it so, which every routine of both files keeps:
//
// 1. One element, the same operations. The elimination works on a matrix a
//    of order n held column after column (0-based here). At step k, with
//    pivot row l, column j > k takes
//        t := a(l, j); a(l, j) := a(k, j); a(k, j) := t; then, unless t is
//        exactly zero, a(i, j) := a(i, k) * t + a(i, j) for i = k + 1 .. n - 1,
//    each product rounded before it is added. The work is reordered only
//    across elements: every element still sees its interchanges and updates
//    in the order of the steps. The columns of one block update are
//    independent of one another, so who takes which column, and when,
//    changes no bits.
//
// 2. Blocks of steps. Steps ka .. kb - 1 (one block, at most LU_MAX_BLOCK)
//    are first carried out on their own columns, each column taking the
//    earlier steps of the block (apply_block) before its own pivot step
//    (find the pivot, interchange, multipliers); then every later column
//    takes all the steps of the block at once (apply_block), first all the
//    interchanges, then the updates. That is allowed because the block's
//    private copy of its multipliers (Block::perm) follows the later
//    interchanges of the same block: a value moved by a later step has
//    already taken the update of step k with the multiplier of the row it
//    sat in then, and moving that multiplier along with it lets it meet the
//    same multipliers in the same order from its final row. The stored
//    factor keeps the multipliers where they were written; only the copy
//    moves. The block's own rows ka .. kb - 1 are final in the copy once
//    their step has made its interchange (later steps only exchange lower
//    rows); their multipliers are then also copied row by row into
//    Block::tri for the small triangle of every column.
//
// 3. The +0 tails. bottom[j] (Matrices::lu_bottom_) is a row below which
//    column j holds only +0; -1 when the column is all +0. It is found once,
//    before the first step, and only ever moves down: when an interchange
//    brings a value that is not +0 below it, or an update reaches a row
//    below it. Below bottom[j] the pivot search finds nothing larger (+0 is
//    larger than nothing) and every multiplier is +0 * t: one value, the
//    same for every row, written as bytes. A banded matrix, like the wear
//    matrix, has its band above bottom[j] and the rest below.
//
// 4. The exact double split. Each multiplier of the copy is also held as two
//    doubles hi + lo whose sum, formed in Real, is exactly it (split_real);
//    two double loads and an exact addition cost far less than one load of
//    an 80-bit real. The split exists for canonical finite numbers within
//    the range of double whose low part fits (a zero keeps its sign as
//    -0 + -0); it fails for infinities, NaNs, numbers outside the range of
//    double and non-canonical encodings. Block::split[q] says whether every
//    multiplier of step ka + q split; a column uses the pairs only when
//    every step whose update it takes split, else the reals.
//
// 5. Updates that may be skipped. (a) A step whose t is exactly zero is
//    skipped in that column, as the definition skips it, and a step with a
//    zero pivot has no update at all. (b) From row Block::zend on, every
//    multiplier of the block is an exact zero, so with every t of the column
//    finite each update there adds an exact zero. That leaves +0 and normal
//    numbers as they are (real_encoding::kept_by_zero_updates): only the
//    other values, in rows zend .. bottom[j], take the updates, one by one
//    and in order. With any t infinite or NaN (+0 * inf is NaN) every row
//    takes every update.
//
// 6. Who may touch what, when. Two blocks alternate: the current one is
//    read only while it is applied to the later columns; the next one is
//    written by the calling thread alone, which factors it. During a block
//    update column j, and bottom[j] with it, belongs to the one thread that
//    claimed it: the next block's own columns are claimed from a counter and
//    each is marked ready (release) once updated; the calling thread waits
//    for that mark (acquire) before it factors the column. The later
//    columns are claimed through ColumnClaims, from the right by the
//    helpers and from the left by the calling thread once the next block is
//    factored. PIVOTS and the status are written by the calling thread
//    only. HelperCrew::run returns when every thread is done, so the next
//    block update sees all that this one wrote. Before the first step the
//    helpers find the bottoms of the later columns while the calling thread
//    finds those of the first block's columns and factors it, which reads
//    no other column.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "parallel/helper_threads.hpp"
#include "matrices/lu_block_steps.hpp"
#include "matrices/matrices.hpp"
#include "matrices/real_encoding.hpp"

namespace dz {

namespace {

using lu_block::apply_block;
using lu_block::Block;
using lu_block::swap_rows;
using lu_block::take_column;
using real_encoding::is_plus_zero;

constexpr int kMaxBlock = Matrices::LU_MAX_BLOCK;

// Multiply-adds an update must have, about 0.2 ms of work, before it is
// worth sharing between threads (a thread costs tens of microseconds).
constexpr double kThreadWork = 2e5;

// Sets first .. last - 1 to v by copying its bytes: one 16-byte store each,
// where storing an 80-bit real from the FPU takes several cycles.
void fill_bytes(Real* first, Real* last, const Real& v)
{
    for (Real* p = first; p < last; ++p) {
        std::memcpy(p, &v, sizeof(Real));
    }
}

// Waits until `flag` is set by the thread updating a column. A column takes
// microseconds; should that thread have lost its core, give this one up
// rather than spin.
void wait_until_set(const std::atomic<int>& flag)
{
    for (int spins = 0; flag.load(std::memory_order_acquire) == 0; ++spins) {
        if (spins >= 20000) {
            std::this_thread::yield();
        }
    }
}

// The next block's own columns k1 .. k2 - 1 during a shared block update:
// claimed one at a time from `next`, each marked in `ready` once updated
// (rule 6).
struct OwnColumns {
    OwnColumns(int k1, int k2) : first(k1), end(k2), next(k1)
    {
        for (int q = 0; q < k2 - k1; ++q) {
            ready[static_cast<std::size_t>(q)].store(0, std::memory_order_relaxed);
        }
    }
    const int first;
    const int end;
    std::atomic<int> next;
    std::array<std::atomic<int>, kMaxBlock> ready;
};

// One factorisation by blocks of steps of the column-major array a, in
// place, with the named steps of the method. Lives for one call; the
// storage it works in (PIVOTS, the bottoms, the block copies) belongs to
// the Matrices object that creates it.
class BlockedElimination {
public:
    // a: the matrix of order n; rhs: null, or a right-hand side that rides
    // along as column n; block: steps per block, 1 .. LU_MAX_BLOCK.
    BlockedElimination(Real* a, int n, Real* rhs, int block, std::vector<int>& pivots, std::vector<int>& bottoms,
                       std::vector<std::byte, MatrixAllocator<std::byte>>& block_storage);

    // The whole elimination, sharing the block updates with `helpers`
    // (null: started here when threads >= 2 and the work is worth it);
    // returns the status of LU_FACTOR.
    int run(int threads, HelperCrew* helpers);

private:
    // column j of the matrix, or the right-hand side as column n
    Real* column(int j) const { return j < n_ ? a_ + static_cast<std::ptrdiff_t>(j) * n_ : rhs_; }
    void find_bottoms(int from, int to);
    void factor_block(Block& b, int k0, int k1, const std::atomic<int>* ready);
    void pivot_step(Block& b, int q);
    void copy_tri_row(Block& b, int q) const;
    void update(const Block& b, int j) { apply_block(b, column(j), n_, bottoms_[static_cast<std::size_t>(j)]); }
    void update_own_columns(const Block& cur, OwnColumns& own);
    void update_alone(const Block& cur, Block& next, int k1, int k2);
    void update_shared(const Block& cur, Block& next, int k1, int k2, HelperCrew& crew);

    Real* a_;
    int n_;
    Real* rhs_;
    int block_;
    int columns_;  // n, or n + 1 with the right-hand side
    std::vector<int>& pivots_;
    std::vector<int>& bottoms_;
    std::array<Block, 2> blocks_;
    int status_ = 0;
};

BlockedElimination::BlockedElimination(Real* a, int n, Real* rhs, int block, std::vector<int>& pivots,
                                       std::vector<int>& bottoms,
                                       std::vector<std::byte, MatrixAllocator<std::byte>>& block_storage)
    : a_(a), n_(n), rhs_(rhs), block_(block), columns_(rhs != nullptr ? n + 1 : n), pivots_(pivots),
      bottoms_(bottoms)
{
    const auto nn = static_cast<std::size_t>(n);
    pivots_.resize(nn);
    bottoms_.resize(static_cast<std::size_t>(columns_));

    // two blocks: one being eliminated from the later columns while the
    // next is factored; each has its copy (block * n reals and twice as
    // many doubles) and its triangle (block^2 reals and twice as many
    // doubles)
    const std::size_t bsize = static_cast<std::size_t>(block) * nn;
    const std::size_t tri_size = static_cast<std::size_t>(block) * static_cast<std::size_t>(block);
    const std::size_t block_bytes = (bsize + tri_size) * (sizeof(Real) + 2 * sizeof(double));
    block_storage.resize(2 * block_bytes);
    for (std::size_t h = 0; h < 2; ++h) {
        Block& b = blocks_[h];
        std::byte* base = block_storage.data() + h * block_bytes;
        b.perm = reinterpret_cast<Real*>(base);
        b.hi = reinterpret_cast<double*>(base + bsize * sizeof(Real));
        b.lo = b.hi + bsize;
        b.tri = reinterpret_cast<Real*>(b.lo + bsize);
        b.tri_hi = reinterpret_cast<double*>(b.tri + tri_size);
        b.tri_lo = b.tri_hi + tri_size;
        b.tri_stride = block;
    }
}

int BlockedElimination::run(int threads, HelperCrew* helpers)
{
    const int n = n_;

    // the helpers: the caller's, or started when the first block update is
    // worth sharing and kept for the later ones
    std::optional<HelperCrew> own_crew;
    HelperCrew* crew = helpers;
    const int first_end = std::min(block_, n - 1);
    const double first_work = static_cast<double>(columns_ - first_end) * n * first_end;
    if (crew == nullptr && threads >= 2 && first_work >= kThreadWork) {
        crew = &own_crew.emplace(threads - 1);
    }

    // the bottoms (rule 3) and the first block; the helpers look for the
    // later columns' bottoms while this thread factors the first block
    if (crew != nullptr && crew->size() > 0 && first_work >= kThreadWork) {
        crew->run([&] { find_bottoms(first_end, columns_); },
                  [&] {
                      find_bottoms(0, first_end);
                      factor_block(blocks_[0], 0, first_end, nullptr);
                  });
    } else {
        find_bottoms(0, columns_);
        if (n > 1) {
            factor_block(blocks_[0], 0, first_end, nullptr);
        }
    }

    // eliminate each block from the later columns, and factor the next one
    for (int k0 = 0, h = 0; k0 < n - 1; k0 += block_, h ^= 1) {
        const int k1 = std::min(k0 + block_, n - 1);
        const int k2 = std::min(k1 + block_, n - 1);
        const Block& cur = blocks_[static_cast<std::size_t>(h)];
        Block& next = blocks_[static_cast<std::size_t>(h ^ 1)];
        const double work = static_cast<double>(columns_ - k1) * (n - k0) * (k1 - k0);
        if (threads < 2 || work < kThreadWork) {
            update_alone(cur, next, k1, k2);
            continue;
        }
        if (crew == nullptr) {
            crew = &own_crew.emplace(threads - 1);
        }
        update_shared(cur, next, k1, k2, *crew);
    }

    // the last step has no elimination, only its pivot
    pivots_[static_cast<std::size_t>(n - 1)] = n;
    if (a_[static_cast<std::size_t>(n) * static_cast<std::size_t>(n) - 1] == 0) {
        status_ = n;
    }
    return status_;
}

// The bottom (rule 3) of columns from .. to - 1.
void BlockedElimination::find_bottoms(int from, int to)
{
    for (int j = from; j < to; ++j) {
        const Real* c = column(j);
        int i = n_ - 1;
        while (i >= 0 && is_plus_zero(c[i])) {
            --i;
        }
        bottoms_[static_cast<std::size_t>(j)] = i;
    }
}

// Factors the block of steps k0 .. k1 - 1 on its own columns, each taking
// the earlier steps of the block before its own pivot step (rule 2). ready
// (when given): ready[q] turns non-zero once column k0 + q has taken the
// updates of the previous block, perhaps on another thread (rule 6).
void BlockedElimination::factor_block(Block& b, int k0, int k1, const std::atomic<int>* ready)
{
    b.ka = k0;
    b.zend = 0;
    for (int j = k0; j < k1; ++j) {
        const int q = j - k0;
        if (ready != nullptr) {
            wait_until_set(ready[q]);
        }
        b.width = q;
        update(b, j);
        b.width = q + 1;
        pivot_step(b, q);
    }
}

// The step ka + q of the block on its own column j = ka + q, which has taken
// the block's earlier steps: find the pivot, interchange, compute the
// multipliers, and copy them into the block.
void BlockedElimination::pivot_step(Block& b, int q)
{
    const int n = n_;
    const int j = b.ka + q;
    Real* c = column(j);
    const int bottom = bottoms_[static_cast<std::size_t>(j)];

    // find the pivot; a +0 below `bottom` never displaces it
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
    pivots_[static_cast<std::size_t>(j)] = l + 1;

    // a zero pivot leaves the column untouched
    if (c[l] == 0) {
        b.row[q] = -1;
        status_ = j + 1;
        copy_tri_row(b, q);
        return;
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
    take_column(b, a_, n, q, bottom, tail);
}

// Row ka + q of the block's copy, final, into its triangle (the steps that
// have a column).
void BlockedElimination::copy_tri_row(Block& b, int q) const
{
    const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(q) * b.tri_stride;
    for (int r = 0; r < q; ++r) {
        if (b.row[r] >= 0) {
            const std::ptrdiff_t from = static_cast<std::ptrdiff_t>(r) * n_ + b.ka + q;
            b.tri[at + r] = b.perm[from];
            b.tri_hi[at + r] = b.hi[from];
            b.tri_lo[at + r] = b.lo[from];
        }
    }
}

// The block update on this thread alone: every later column, then the next
// block.
void BlockedElimination::update_alone(const Block& cur, Block& next, int k1, int k2)
{
    for (int j = k1; j < columns_; ++j) {
        update(cur, j);
    }
    factor_block(next, k1, k2, nullptr);
}

// Claims and updates the next block's own columns until none is left,
// marking each ready.
void BlockedElimination::update_own_columns(const Block& cur, OwnColumns& own)
{
    for (int j = own.next++; j < own.end; j = own.next++) {
        update(cur, j);
        own.ready[static_cast<std::size_t>(j - own.first)].store(1, std::memory_order_release);
    }
}

// The block update shared with the crew. The next block's own columns come
// first: all threads update them, one column at a time, and this thread
// factors each as soon as it is ready; that chain decides how long the
// whole factorisation takes. Meanwhile the other threads go on to the later
// columns one at a time from the right, and this thread, the next block
// factored, takes them from the left until the two meet. How long the
// factoring takes, and which columns take any update at all (a banded
// matrix, like the wear matrix, has none far right of the diagonal), then
// decides nothing: whoever is free takes the next column.
void BlockedElimination::update_shared(const Block& cur, Block& next, int k1, int k2, HelperCrew& crew)
{
    OwnColumns own(k1, k2);
    ColumnClaims later(k2, columns_);
    crew.run(
        [&] {
            update_own_columns(cur, own);
            for (int j = later.from_right(); j >= 0; j = later.from_right()) {
                update(cur, j);
            }
        },
        [&] {
            update_own_columns(cur, own);
            factor_block(next, k1, k2, own.ready.data());
            for (int j = later.from_left(); j >= 0; j = later.from_left()) {
                update(cur, j);
            }
        });
}

}  // namespace

void Matrices::LU_FACTOR(NXN_MATRIX& m, int& status)
{
    LU_FACTOR_BLOCKED(m, status, LU_BLOCK, LU_THREADS);
}

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

void Matrices::LU_FACTOR_COLUMNS(NXN_MATRIX& a, int& status)
{
    factor_columns(a.data(), status, LU_BLOCK, LU_THREADS, nullptr, nullptr);
}

void Matrices::LU_FACTOR_COLUMNS(NXN_MATRIX& a, int& status, HelperCrew& helpers)
{
    factor_columns(a.data(), status, LU_BLOCK, helpers.size() + 1, &helpers, nullptr);
}

void Matrices::LU_FACTOR_SOLVE_COLUMNS(NXN_MATRIX& a, N_VECTOR& b, int& status, HelperCrew& helpers)
{
    factor_columns(a.data(), status, LU_BLOCK, helpers.size() + 1, &helpers, b.data());
    if (status == 0) {
        back_substitute_columns(a, b);
    }
}

void Matrices::factor_columns(Real* a, int& status, int block, int threads, HelperCrew* helpers, Real* rhs)
{
    BlockedElimination elimination(a, MAT_ORDER, rhs, std::clamp(block, 1, LU_MAX_BLOCK), PIVOTS, lu_bottom_,
                                   lu_blocks_);
    status = elimination.run(threads, helpers);
}

}  // namespace dz
