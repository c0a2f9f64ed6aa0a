// An allocator that takes a container's nodes from a pool of their own: a
// container filled in one go is then laid out in the order it was filled, close
// together, instead of wherever the heap had room (after a few large searches the
// heap's free space is scattered, and walking a scattered list of thousands of
// nodes costs a cache miss per node). Not thread-safe: the pool belongs to the
// containers of one owner, used by one thread or under one lock. The pool lives as
// long as any copy of the allocator, and is freed whole.
#pragma once

#include <cstddef>
#include <memory>
#include <memory_resource>
#include <type_traits>

namespace orvandel {

template <typename T>
class PoolAllocator {
public:
    using value_type = T;
    // A container that is assigned or swapped takes the other's pool with its
    // nodes.
    using propagate_on_container_copy_assignment = std::true_type;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;

    // A new pool.
    PoolAllocator() : pool_(std::make_shared<std::pmr::unsynchronized_pool_resource>()) {}
    // Copies (moves too: a moved-from allocator must still free what it gave)
    // share the pool.
    PoolAllocator(const PoolAllocator&) noexcept = default;
    PoolAllocator& operator=(const PoolAllocator&) noexcept = default;
    template <typename U>
    explicit(false) PoolAllocator(const PoolAllocator<U>& other) noexcept : pool_(other.pool_) {}

    T* allocate(std::size_t n) {
        return static_cast<T*>(pool_->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        pool_->deallocate(p, n * sizeof(T), alignof(T));
    }

    template <typename U>
    bool operator==(const PoolAllocator<U>& other) const noexcept {
        return pool_ == other.pool_;
    }

private:
    template <typename U>
    friend class PoolAllocator;
    std::shared_ptr<std::pmr::unsynchronized_pool_resource> pool_;
};

}  // namespace orvandel
