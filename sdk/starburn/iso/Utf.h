#pragma once

// UTF-8 and UTF-16 conversions at the SDK's text boundary: names arrive as
// UTF-8, Joliet stores UTF-16 (UCS-2 with surrogate pairs kept as they are).

#include <string>
#include <string_view>

namespace starburn {
namespace iso {

// Decodes UTF-8; an invalid sequence becomes U+FFFD, one per bad byte.
std::u16string Utf8ToUtf16(std::string_view text);
// Encodes UTF-16; an unpaired surrogate becomes U+FFFD. whole, when given,
// tells whether the text survives the way back unchanged (nothing replaced).
std::string Utf16ToUtf8(const std::u16string& text, bool* whole = nullptr);
// The most bytes the UTF-8 form of units UTF-16 units can take: three per
// unit (a surrogate pair, two units, takes four).
constexpr std::size_t MaxUtf8Bytes(std::size_t units) { return 3 * units; }

}  // namespace iso
}  // namespace starburn
