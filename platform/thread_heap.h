// Memory for a burst of small allocations, made ready before the burst.
//
// A receive thread that stores a thousand replies in a few milliseconds otherwise
// spends most of that time in the kernel: every fresh page of its heap is mapped
// (and, on glibc, made accessible) on first touch, and in a virtual machine each
// such fault costs more than parsing a reply.
#pragma once

#include <cstddef>

namespace orvandel {

// Maps and touches `bytes` of the calling thread's heap and frees them again,
// keeping them with the thread's heap: the next `bytes` of small allocations on
// this thread find their pages ready. Also raises, for the whole process, the
// size of free memory at the top of a heap that is kept rather than returned to
// the system, to at least `bytes`. Without glibc's allocator it does nothing.
void WarmThreadHeap(std::size_t bytes);

// Page faults of the calling thread so far (minor ones: no disk involved); 0
// where the system does not count them per thread.
long ThreadMinorFaults();

}  // namespace orvandel
