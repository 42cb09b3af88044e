#include "layout/ContainerCall.h"

#include <atomic>

namespace Orlet {

namespace {

std::atomic<uint64_t> lastEpoch{0};  // the epoch of the latest outermost call
thread_local unsigned depth = 0;     // calls open on this thread
thread_local uint64_t currentEpoch = 0;

}  // namespace

ContainerCall::ContainerCall() {
  if (depth++ == 0) currentEpoch = ++lastEpoch;
}

ContainerCall::~ContainerCall() {
  if (--depth == 0) currentEpoch = 0;
}

uint64_t ContainerCall::Epoch() { return currentEpoch; }

}  // namespace Orlet
