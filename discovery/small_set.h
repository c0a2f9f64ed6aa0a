// A set that is a short vector while small and a hash set beyond: most devices
// have one MAC and one sender, and a flood of thousands stays linear.
#pragma once

#include <algorithm>
#include <cstddef>
#include <unordered_set>
#include <vector>

namespace orvandel {

template <typename T>
class SmallSet {
public:
    // True when `item` was not there yet.
    bool Insert(const T& item) {
        if (large_.empty()) {
            if (std::find(small_.begin(), small_.end(), item) != small_.end()) {
                return false;
            }
            if (small_.size() < kSmall) {
                small_.push_back(item);
                return true;
            }
            large_.insert(small_.begin(), small_.end());
        }
        return large_.insert(item).second;
    }
    std::size_t Size() const { return large_.empty() ? small_.size() : large_.size(); }

private:
    static constexpr std::size_t kSmall = 16;
    std::vector<T> small_;
    std::unordered_set<T> large_;
};

}  // namespace orvandel
