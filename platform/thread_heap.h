// Memory for a burst of small allocations, made ready before the burst.
//
// A receive thread that stores a thousand replies in a few milliseconds otherwise
// spends most of that time in the kernel: every fresh page of its heap is mapped
// (and, on glibc, made accessible) on first touch, and in a virtual machine each
// such fault costs more than parsing a reply.
#pragma once

#include <cstddef>

namespace orvandel {

// Maps and touches `bytes` (at most 16 MB) of the calling thread's heap and
// frees them again, keeping them with the thread's heap: the next `bytes` of
// small allocations on this thread find their pages ready. With glibc this also
// raises, for the whole process, the free memory a heap keeps at its top rather
// than returning it, to at least `bytes` (glibc's own adaptive rule, as after
// any freed block that large). Other allocators may return the memory at once:
// then it costs the touch and gains nothing.
void WarmThreadHeap(std::size_t bytes);

// Page faults of the calling thread so far (minor ones: no disk involved); 0
// where the system does not count them per thread.
long ThreadMinorFaults();

}  // namespace orvandel
