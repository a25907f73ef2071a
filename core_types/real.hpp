// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one real type of the program and the two array types built on it.

#include <cstddef>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace dz {

// Storage of matrix elements (see MatrixAllocator).
void* allocate_matrix_storage(std::size_t bytes);
void free_matrix_storage(void* p, std::size_t bytes) noexcept;

// Every computed quantity is an x86 extended-precision real: 80-bit format,
// 64-bit significand, rounded to nearest. The results are reproduced bit for
// bit, so nothing may silently fall back to a 53-bit double.
using Real = long double;
static_assert(std::numeric_limits<Real>::digits == 64,
              "Real must be the 80-bit extended type with a 64-bit significand");

// A growable array of reals; vector element i (counted from 1) sits at
// position i - 1. Used for right-hand sides, solutions and the zone arrays.
using N_VECTOR = std::vector<Real>;

// The allocator of matrix storage. A matrix of order 500 takes 4 MB: its
// elements are left unset when it grows (every user writes them before
// reading), so that they are touched first by the threads that fill them,
// and a block from 512 KB on is rounded up to whole 2 MB pages, aligned to
// one and offered to the kernel for huge pages, so that the first touch
// costs a few page faults instead of hundreds.
template <typename T>
struct MatrixAllocator {
    using value_type = T;
    MatrixAllocator() = default;
    template <typename U>
    MatrixAllocator(const MatrixAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return static_cast<T*>(allocate_matrix_storage(count * sizeof(T))); }
    void deallocate(T* p, std::size_t count) noexcept { free_matrix_storage(p, count * sizeof(T)); }

    // Growing leaves new elements unset; copies and fills still construct.
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const MatrixAllocator&, const MatrixAllocator&) { return true; }
};

// A square matrix of order MAT_ORDER held row after row in a flat growable
// array: element (i, j), counted from 1, at position (i - 1) * n + (j - 1).
// New elements are unset when it grows (see MatrixAllocator).
using NXN_MATRIX = std::vector<Real, MatrixAllocator<Real>>;

// pi and pi/2 rounded to the 64-bit significand.
inline constexpr Real PI = 3.14159265358979323846264338327950288L;
inline constexpr Real HALF_PI = 1.57079632679489661923132169163975144L;

}  // namespace dz
