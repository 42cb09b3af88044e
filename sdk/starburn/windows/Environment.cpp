#include "common/Environment.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace starburn {

bool ReadEnvironment(const char* name, std::string* value) {
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));  // ASCII
  const wchar_t* found = _wgetenv(wideName.c_str());
  if (found == nullptr) return false;
  const int units = static_cast<int>(std::char_traits<wchar_t>::length(found));
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, found, units, nullptr, 0, nullptr, nullptr);
  value->assign(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, found, units, value->data(), bytes, nullptr, nullptr);
  return true;
}

}  // namespace starburn
