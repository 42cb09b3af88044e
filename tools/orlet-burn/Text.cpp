#include "Text.h"

#include <orlet/TextConversion.h>

#include <cstdio>

namespace orletburn {

// The base services' mapping, the one the library turns wide source paths
// back into bytes with: a name that is not UTF-8 reaches the same file.
std::wstring Wide(const std::string& bytes) { return Orlet::mbs_to_tcs(bytes); }
std::string Utf8(const std::wstring& wide) { return Orlet::tcs_to_mbs(wide); }

std::string Printable(const std::string& text) {
  constexpr unsigned char kFirstPrintable = 0x20;
  constexpr unsigned char kDelete = 0x7F;
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < kFirstPrintable || byte == kDelete) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Size(unsigned long long bytes) {
  static const char* const kUnits[] = {"bytes", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
}

}  // namespace orletburn
