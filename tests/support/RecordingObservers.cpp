#include "support/RecordingObservers.h"

#include <algorithm>

namespace support {

void CallLog::Add(std::string call) {
  if (hook && call == hookAt) hook();
  std::lock_guard<std::mutex> lock(mutex);
  calls.push_back(std::move(call));
  added.notify_all();
}

std::vector<std::string> CallLog::Calls() const {
  std::lock_guard<std::mutex> lock(mutex);
  return calls;
}

bool CallLog::WaitFor(const std::vector<std::string>& awaited,
                      std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex);
  return added.wait_for(lock, timeout, [&] {
    return std::find_first_of(calls.begin(), calls.end(), awaited.begin(), awaited.end()) !=
           calls.end();
  });
}

std::string CallText(const char* name, long a, long b) {
  return std::string(name) + "(" + std::to_string(a) + "," + std::to_string(b) + ")";
}

}  // namespace support
