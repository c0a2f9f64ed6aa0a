#include "platform/thread_heap.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace orvandel {

namespace {

// Blocks under the allocator's initial mmap threshold (128 KB on glibc), so they
// come from the thread's heap and, freed, merge into its top.
constexpr std::size_t kBlock = 64 * 1024;

// Keeps the compiler from leaving out an allocation whose memory is not read.
thread_local void* volatile t_sink = nullptr;

}  // namespace

void WarmThreadHeap(std::size_t bytes) {
    bytes = std::min<std::size_t>(bytes, 16u << 20);
    {
        // glibc serves a block this large by a mapping of its own, and freeing
        // such a block raises its thresholds to the block's size: heaps then keep
        // that much free memory at their top instead of returning it, and blocks
        // that large come from the heaps. That is its own rule for programs that
        // use blocks of this size; the thresholds stay adaptive (a mallopt() would
        // pin them).
        auto mapped = std::make_unique_for_overwrite<char[]>(bytes + kBlock);
        t_sink = mapped.get();
    }
    std::vector<std::unique_ptr<char[]>> blocks;
    blocks.reserve(bytes / kBlock + 1);
    for (std::size_t done = 0; done < bytes; done += kBlock) {
        // Written, not just allocated: an untouched page is not mapped yet.
        auto block = std::make_unique_for_overwrite<char[]>(kBlock);
        std::memset(block.get(), 0, kBlock);
        t_sink = block.get();
        blocks.push_back(std::move(block));
    }
    // Freed last first, so each block merges into the heap's top as it goes.
    while (!blocks.empty()) {
        blocks.pop_back();
    }
    t_sink = nullptr;
}

long ThreadMinorFaults() {
#if defined(RUSAGE_THREAD)
    rusage usage{};
    if (getrusage(RUSAGE_THREAD, &usage) == 0) {
        return usage.ru_minflt;
    }
#endif
    return 0;
}

}  // namespace orvandel
