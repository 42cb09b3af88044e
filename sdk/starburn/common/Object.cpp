#include "common/Object.h"

namespace starburn {

HandleTable& HandleTable::Instance() {
  static HandleTable table;
  return table;
}

void* HandleTable::Add(Object* object) {
  std::lock_guard<std::mutex> lock(mutex);
  live.insert(object);
  return object;
}

void HandleTable::Destroy(void** handle) {
  if (handle == nullptr || *handle == nullptr) return;
  Object* object = static_cast<Object*>(*handle);
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (live.erase(object) == 0) return;
  }
  delete object;  // outside the lock: a destructor may close files or drives
  *handle = nullptr;
}

std::size_t HandleTable::Count() {
  std::lock_guard<std::mutex> lock(mutex);
  return live.size();
}

}  // namespace starburn
