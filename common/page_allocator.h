#pragma once
// An allocator whose large blocks come straight from the system as whole pages and go back
// to it when freed. A table that grows step by step then leaves none of its earlier, smaller
// slot arrays behind in the allocator's caches, where they would still count as memory in use.
// Blocks below Min_mapped bytes come from the ordinary allocator.
#include <cstddef>
#include <memory>
#include <new>

#include <sys/mman.h>

template <typename T>
class PageAllocator {
public:
    using value_type = T;
    static constexpr std::size_t Min_mapped = 16 * 1024;

    PageAllocator() = default;
    template <typename U>
    PageAllocator(const PageAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < Min_mapped)
            return std::allocator<T>().allocate(n);
        void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED)
            throw std::bad_alloc();
        return static_cast<T*>(block);
    }

    void deallocate(T* block, std::size_t n) noexcept
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < Min_mapped)
            std::allocator<T>().deallocate(block, n);
        else
            munmap(block, bytes);
    }

    template <typename U>
    bool operator==(const PageAllocator<U>&) const noexcept
    {
        return true;
    }
};
