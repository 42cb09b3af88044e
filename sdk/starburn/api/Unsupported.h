#pragma once

#include "common/ErrorOut.h"

namespace starburn {

// The answer of a call this SDK does not offer yet.
inline StarBurnStatus Unsupported(char* errorText, uint32_t errorTextSize, uint32_t* systemError) {
  return ErrorOut{errorText, errorTextSize, systemError}.Fail(STARBURN_STATUS_NOT_SUPPORTED,
                                                              "not supported by this SDK");
}

}  // namespace starburn
