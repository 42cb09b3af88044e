#pragma once

#include <mutex>
#include <unordered_set>

namespace starburn {

// Everything a handle of the C interface can name (an open device, an image
// tree). Handles are the objects' addresses; the handle table knows which are
// alive, so a stale or foreign handle is refused instead of followed.
class Object {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() = default;
};

// The live handles. Thread-safe; its lock is held only for one set operation.
class HandleTable {
 public:
  static HandleTable& Instance();

  // Takes ownership; answers the handle.
  void* Add(Object* object);
  // The object of a live handle as T, or null (unknown handle, other type).
  template <typename T>
  T* Find(void* handle) {
    std::lock_guard<std::mutex> lock(mutex);
    if (handle == nullptr || live.count(static_cast<Object*>(handle)) == 0) return nullptr;
    return dynamic_cast<T*>(static_cast<Object*>(handle));
  }
  // Deletes the object of a live handle and nulls *handle; otherwise nothing.
  void Destroy(void** handle);
  // Number of live handles (for tests and shut-down).
  std::size_t Count();

 private:
  std::mutex mutex;
  std::unordered_set<Object*> live;
};

}  // namespace starburn
