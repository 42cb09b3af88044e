#pragma once

#include <cstdint>

namespace Orlet {

// One call into a file container, as the container's children index counts
// them: a stretch in which no host code runs between the container's steps.
// Every container operation that looks names up makes one on the stack, and
// the burn job makes one around its own run of operations (the earlier
// session's entries). The outermost one on a thread starts a new epoch; the
// ones made inside it (a folder walk's own CreateDir) belong to it.
//
// Between two calls a host may have written any field of any node, so the
// index trusts only what it learned within the current call (ChildIndex).
// Host code that runs inside a call (a FileContainerObserver asked during a
// folder walk) does not start a new one.
//
// Threads: a call belongs to the thread that makes it; only the epoch
// counter is shared, so that an epoch is unique in the process.
class ChildIndex;

class ContainerCall {
 public:
  // index: the children index of the container the call works on, emptied
  // when the outermost call ends (nothing it holds is trusted after that);
  // null for a call that leaves that to the next call.
  explicit ContainerCall(ChildIndex* index = nullptr);
  ~ContainerCall();
  ContainerCall(const ContainerCall&) = delete;
  ContainerCall& operator=(const ContainerCall&) = delete;

  // The epoch of the call running on this thread, unique among all calls of
  // the process; 0 outside any call.
  static uint64_t Epoch();

 private:
  ChildIndex* index;
};

}  // namespace Orlet
