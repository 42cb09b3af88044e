#pragma once

// The StarBurn SDK as the library calls it.

#include <cstdint>

#include "starburn/StarBurn.h"

namespace Orlet {

// Size of the error-text buffer of every SDK call; the text is collected and
// never passed to the host.
constexpr uint32_t kSdkErrorTextSize = STARBURN_ERROR_TEXT_SIZE;

// The SDK call-back that ignores every notification; drive opens that want no
// notifications pass it with a null context.
void IgnoreNotification(uint32_t notification, void* context, void* special1, void* special2);

}  // namespace Orlet
