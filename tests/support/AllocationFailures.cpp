#include "support/AllocationFailures.h"

#include <cstdlib>
#include <new>

namespace {

thread_local long allocationsBeforeFailure = 0;  // 0: nothing fails
thread_local bool failed = false;

void* Allocate(std::size_t size, bool nothrow) {
  if (allocationsBeforeFailure > 0 && --allocationsBeforeFailure == 0) {
    failed = true;
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  if (nothrow) return nullptr;
  throw std::bad_alloc();
}

}  // namespace

namespace support {

void FailAllocation(long count) {
  allocationsBeforeFailure = count;
  failed = false;
}

bool AllocationFailed() {
  const bool answer = failed;
  failed = false;
  allocationsBeforeFailure = 0;
  return answer;
}

}  // namespace support

void* operator new(std::size_t size) { return Allocate(size, false); }
void* operator new[](std::size_t size) { return Allocate(size, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, true);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size, true);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
