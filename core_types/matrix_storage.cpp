// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdlib>
#include <new>

#include "core_types/real.hpp"

#include <sys/mman.h>

namespace dz {

namespace {

// Blocks from HUGE_FROM on are rounded up to whole huge pages, aligned to one
// and offered for huge pages: on a virtual machine a page fault can cost
// 10 us, so the 1 MB of LU scratch in 4 KB pages would cost 2.5 ms on first
// touch, one huge page a tenth of that.
constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
constexpr std::size_t HUGE_FROM = std::size_t{512} << 10;

}  // namespace

void* allocate_matrix_storage(std::size_t bytes) {
    if (bytes < HUGE_FROM) {
        return ::operator new(bytes);
    }
    const std::size_t rounded = (bytes + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE;
    void* p = std::aligned_alloc(HUGE_PAGE, rounded);
    if (p == nullptr) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE);  // advice only: without huge pages it changes nothing
    return p;
}

void free_matrix_storage(void* p, std::size_t bytes) noexcept {
    if (bytes < HUGE_FROM) {
        ::operator delete(p);
    } else {
        std::free(p);
    }
}

}  // namespace dz
