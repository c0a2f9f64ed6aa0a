// A list that keeps its first few items in place and all of them on the heap
// beyond that: most devices answer from one address on one adapter, so a list of
// thousands of devices allocates nothing for their senders and adapters. Items
// stay contiguous, in the order they were added. The lower-case members are the
// standard names that range-for and the algorithms look for.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

namespace orvandel {

template <typename T, std::size_t kInline>
class InlineList {
public:
    InlineList() = default;
    InlineList(std::initializer_list<T> items) {
        for (const T& item : items) {
            PushBack(item);
        }
    }

    void PushBack(T item) {
        if (heap_.empty() && size_ < kInline) {
            inline_[size_++] = std::move(item);
            return;
        }
        if (heap_.empty()) {
            heap_.assign(inline_.begin(), inline_.end());
        }
        heap_.push_back(std::move(item));
    }

    std::span<const T> Items() const {
        return heap_.empty() ? std::span<const T>(inline_.data(), size_)
                             : std::span<const T>(heap_);
    }
    std::size_t size() const { return Items().size(); }
    bool empty() const { return size_ == 0; }
    const T* begin() const { return Items().data(); }
    const T* end() const { return Items().data() + Items().size(); }

    bool operator==(const InlineList& other) const {
        return std::ranges::equal(Items(), other.Items());
    }

private:
    std::array<T, kInline> inline_{};
    std::size_t size_ = 0;  // items in place; kInline once they moved to the heap
    std::vector<T> heap_;   // every item, once there are more than kInline
};

}  // namespace orvandel
