#include "Text.h"

#include <cstdio>

namespace orletburn {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

}  // namespace

std::wstring Wide(const std::string& utf8) {
  std::wstring out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80         ? 1
                               : (lead >> 5) == 6  ? 2
                               : (lead >> 4) == 14 ? 3
                               : (lead >> 3) == 30 ? 4
                                                   : 0;
    if (length == 0 || i + length > utf8.size()) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    unsigned long value = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = true;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = valid && (next & 0xC0) == 0x80;
      value = (value << 6) | (next & 0x3F);
    }
    out.push_back(valid ? static_cast<wchar_t>(value) : kReplacement);
    i += valid ? length : 1;
  }
  return out;
}

std::string Utf8(const std::wstring& wide) {
  std::string out;
  for (wchar_t c : wide) {
    unsigned long value = static_cast<char32_t>(c);
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) value = kReplacement;
    if (value < 0x80) {
      out.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (value >> 6)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (value >> 12)));
      out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (value >> 18)));
      out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
  }
  return out;
}

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
