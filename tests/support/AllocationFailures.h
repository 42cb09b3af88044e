#pragma once

// Allocation failures on demand, as when memory runs out. A program that
// links this replaces the global operator new and delete with ones that pass
// every allocation to malloc, except the one a test asks to fail: that one
// throws std::bad_alloc, or answers null in the nothrow forms.
//
// Threads: the count belongs to the thread that sets it; allocations of other
// threads never fail.

namespace support {

// The count-th allocation on this thread from now on fails (count 0: none).
void FailAllocation(long count);
// Whether the allocation set to fail has failed; the count is then cleared.
bool AllocationFailed();

}  // namespace support
