#pragma once

#include <cstdint>

#include "platform/StarBurnSdk.h"

namespace Orlet {

// The outputs of the common head of an SDK device call: the error text (the
// SDK bounds and terminates it), the system error and the command failure.
// The drive code collects them and never reads them. One per call site; not
// shared between threads.
struct SdkCallHead {
  char errorText[kSdkErrorTextSize] = {};
  uint32_t systemError = 0;
  StarBurnCommandFailure failure = {};
};

// The last argument of the opens: share the drive with other handles, so that
// looking at a drive never locks out a job that uses it.
constexpr uint32_t kOpenShared = 1;
// The SPTD open's tray flag: looking at a drive does not lock its tray.
constexpr uint8_t kLeaveTrayUnlocked = 0;

}  // namespace Orlet
