#include <windows.h>

#include "platform/OrletBases.h"

namespace Orlet {

// Longest module path asked for: the extended-length limit of Win32 paths.
constexpr DWORD kLongestPath = 32768;

// Exported and never inlined into a caller, so the return address lies in the
// code of the module that called it.
__attribute__((noinline)) uint32_t GetModuleDir(wchar_t* buffer, uint32_t size) {
  const void* caller = __builtin_return_address(0);
  if (buffer == nullptr || size == 0) return 0;
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(caller), &module)) {
    return 0;
  }
  std::wstring path(kLongestPath, L'\0');
  const DWORD length = GetModuleFileNameW(module, path.data(), kLongestPath);
  if (length == 0 || length >= kLongestPath) return 0;
  path.resize(length);
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return 0;
  path.resize(separator);
  if (path.size() + 1 > size) return 0;
  path.copy(buffer, path.size());
  buffer[path.size()] = L'\0';
  return static_cast<uint32_t>(path.size());
}

}  // namespace Orlet
