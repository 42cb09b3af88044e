#include "platform/StarBurnSdk.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/OrletBases.h"
#endif

namespace Orlet {

void IgnoreNotification(uint32_t, void*, void*, void*) {}

#ifdef _WIN32

std::string ToSdkText(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::wstring FromSdkText(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), units);
  return out;
}

#else

std::string ToSdkText(const std::wstring& text) { return tcs_to_mbs(text); }

std::wstring FromSdkText(const std::string& text) { return mbs_to_tcs(text); }

#endif

}  // namespace Orlet
