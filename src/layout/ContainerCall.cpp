#include "layout/ContainerCall.h"

#include <atomic>

#include "layout/ChildIndex.h"

namespace Orlet {

namespace {

std::atomic<uint64_t> lastEpoch{0};  // the epoch of the latest outermost call
thread_local unsigned depth = 0;     // calls open on this thread
thread_local uint64_t currentEpoch = 0;

}  // namespace

ContainerCall::ContainerCall(ChildIndex* index) : index(index) {
  if (depth++ == 0) currentEpoch = ++lastEpoch;
}

ContainerCall::~ContainerCall() {
  if (--depth != 0) return;
  currentEpoch = 0;
  // What the index learned is not trusted by any later call: it gives its
  // memory back now rather than when that call first meets it.
  if (index != nullptr) index->Clear();
}

uint64_t ContainerCall::Epoch() { return currentEpoch; }

}  // namespace Orlet
