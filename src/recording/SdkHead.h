#pragma once

#include <cstdint>

#include "platform/StarBurnSdk.h"

namespace Orlet {

// The outputs every SDK device call fills besides its own: the error text, the
// system error and the command-failure record. They are collected and never
// passed to the host. Zero-filled at construction.
struct SdkHead {
  // The system-error value a stage presets before its first call, so that a
  // call that fails without setting it still leaves a value that is not 0.
  static constexpr uint32_t kPresetSystemError = 31;

  char errorText[kSdkErrorTextSize] = {};
  uint32_t systemError = kPresetSystemError;
  StarBurnCommandFailure failure = {};
};

}  // namespace Orlet
