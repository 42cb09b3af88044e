// _time64 and _ctime64 on Linux, with a clock that tests can fix.

#include <atomic>
#include <cstdio>
#include <ctime>

#include "platform/Win32.h"

namespace win32 {
namespace {

std::atomic<__time64_t> fixedClock{-1};

// "Www Mmm dd hh:mm:ss yyyy\n" is 25 characters; the room is larger so that the
// formatter provably never cuts (the year is checked to have four digits).
constexpr std::size_t kTimeTextRoom = 64;

}  // namespace

void FixClock(__time64_t time) { fixedClock = time; }

__time64_t _time64(__time64_t* out) {
  const __time64_t fixed = fixedClock;
  const __time64_t now = fixed >= 0 ? fixed : static_cast<__time64_t>(std::time(nullptr));
  if (out != nullptr) *out = now;
  return now;
}

const char* _ctime64(const __time64_t* time) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  thread_local char text[kTimeTextRoom];
  if (time == nullptr || *time < 0) return nullptr;
  const std::time_t value = static_cast<std::time_t>(*time);
  std::tm local{};
  if (localtime_r(&value, &local) == nullptr || local.tm_year + 1900 > 9999) return nullptr;
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d\n", kDays[local.tm_wday],
                kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                local.tm_year + 1900);
  return text;
}

}  // namespace win32
