#pragma once

// The StarBurn SDK as the library calls it.

#include <cstdint>
#include <string>

#include "starburn/StarBurn.h"

namespace Orlet {

// Size of the error-text buffer of every SDK call; the text is collected and
// never passed to the host.
constexpr uint32_t kSdkErrorTextSize = STARBURN_ERROR_TEXT_SIZE;

// The SDK call-back that ignores every notification; drive opens that want no
// notifications pass it with a null context.
void IgnoreNotification(uint32_t notification, void* context, void* special1, void* special2);

// The SDK's 8-bit text (paths, names, labels) is UTF-8. On Windows the
// library's UTF-16 text is converted to and from it as such (an unpaired
// surrogate becomes U+FFFD); on Linux through the base services, so that a
// file name that is not UTF-8 reaches the SDK as the bytes it is.
std::string ToSdkText(const std::wstring& text);
std::wstring FromSdkText(const std::string& text);

}  // namespace Orlet
