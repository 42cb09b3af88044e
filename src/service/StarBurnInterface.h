#pragma once

#include <cstdint>

namespace Orlet {

// Ties the SDK's start-up state to the workers that need a started SDK: the
// drive finder, the burner and the eraser (each joins as it is built).
// Owned by MediaBurningImpl. sdkStarted is written and read without a lock.
class StarBurnInterface {
 public:
  StarBurnInterface();
  virtual ~StarBurnInterface();
  StarBurnInterface(const StarBurnInterface&) = delete;
  StarBurnInterface& operator=(const StarBurnInterface&) = delete;

  uint32_t sdkStarted = 0;  // 1 while the SDK is started
};

}  // namespace Orlet
