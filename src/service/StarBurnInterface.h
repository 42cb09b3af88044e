#pragma once

#include <cstdint>

#include "drives/OddFinder.h"

namespace Orlet {

// Ties the SDK's start-up state to the workers that need a started SDK: the
// drive finder, the burner and the eraser (each joins as it is built).
// Owned by MediaBurningImpl. sdkStarted is written and read without a lock.
//
// Destruction: after the body has repeated a failed shut-down, the members go
// in reverse order; the finder goes last, stopping and waiting for its search
// thread before it frees its records.
class StarBurnInterface {
 public:
  StarBurnInterface();
  virtual ~StarBurnInterface();
  StarBurnInterface(const StarBurnInterface&) = delete;
  StarBurnInterface& operator=(const StarBurnInterface&) = delete;

  uint32_t sdkStarted = 0;  // 1 while the SDK is started
  OddFinder finder;         // the drive finder and its device list
};

}  // namespace Orlet
