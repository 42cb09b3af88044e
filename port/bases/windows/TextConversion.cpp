#include <windows.h>

#include "platform/OrletBases.h"

namespace Orlet {

// 8-bit text is in the process's ANSI code page (CP_ACP), as every Win32 "A"
// call reads it; the locale argument belongs to the POSIX version.
std::wstring mbs_to_tcs(const std::string& text, const std::locale& /*locale*/) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), units);
  return out;
}

// A character the code page cannot hold becomes '?', the system's default.
std::string tcs_to_mbs(const std::wstring& text, const std::locale& /*locale*/) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::wstring tcs_to_wcs(const std::wstring& text, const std::locale& /*locale*/) { return text; }

}  // namespace Orlet
