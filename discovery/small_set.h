// A set that holds its first few items in place and moves to a hash set beyond:
// most devices have one MAC and one sender, so a list of thousands allocates
// nothing for them, and a flood of thousands stays linear.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <unordered_set>
#include <utility>

namespace orvandel {

template <typename T, std::size_t kInline = 4>
class SmallSet {
public:
    // True when `item` was not there yet.
    bool Insert(T item) {
        if (!large_) {
            for (std::size_t i = 0; i < count_; ++i) {
                if (inline_[i] == item) {
                    return false;
                }
            }
            if (count_ < kInline) {
                inline_[count_++] = std::move(item);
                return true;
            }
            large_ = std::make_unique<std::unordered_set<T>>();
            for (T& kept : inline_) {
                large_->insert(std::move(kept));
            }
        }
        return large_->insert(std::move(item)).second;
    }
    std::size_t Size() const { return large_ ? large_->size() : count_; }

private:
    std::array<T, kInline> inline_{};
    std::size_t count_ = 0;
    std::unique_ptr<std::unordered_set<T>> large_;  // all items, once past kInline
};

}  // namespace orvandel
