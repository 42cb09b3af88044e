// _time64 and _ctime64 on Windows: the runtime's own, with a clock that tests
// can fix.

#include <time.h>

#include <atomic>

#include "platform/Win32.h"

namespace win32 {
namespace {

std::atomic<__time64_t> fixedClock{-1};

}  // namespace

void FixClock(__time64_t time) { fixedClock = time; }

__time64_t _time64(__time64_t* out) {
  const __time64_t fixed = fixedClock;
  const __time64_t now = fixed >= 0 ? fixed : static_cast<__time64_t>(::_time64(nullptr));
  if (out != nullptr) *out = now;
  return now;
}

// The runtime's text is the same 25 characters in local time, in a buffer of
// the calling thread; it answers null for a time it cannot represent.
const char* _ctime64(const __time64_t* time) {
  if (time == nullptr || *time < 0) return nullptr;
  const ::__time64_t value = *time;
  return ::_ctime64(&value);
}

}  // namespace win32
