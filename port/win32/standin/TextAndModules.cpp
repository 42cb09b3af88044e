// MultiByteToWideChar and module loading on Linux.

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <type_traits>

#include "platform/OrletBases.h"
#include "platform/Win32.h"

namespace win32 {
namespace {

std::atomic<ModuleLoadWatch> moduleLoadWatch{nullptr};

}  // namespace

int MultiByteToWideChar(unsigned /*codePage*/, DWORD /*flags*/, const char* text, int length,
                        char16_t* wide, int wideSize) {
  if (text == nullptr || length < -1 || wideSize < 0) return 0;
  const std::size_t bytes = length == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(length);
  // 8-bit text toward the SDK is in the global locale's encoding (UTF-8 under
  // "C"); the 16-bit form is UTF-16.
  const std::wstring decoded = Orlet::mbs_to_tcs(std::string(text, bytes));
  std::u16string units;
  for (wchar_t c : decoded) {
    const auto value = static_cast<uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(c));
    if (value >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(value));
    }
  }
  if (wide == nullptr || wideSize == 0) return static_cast<int>(units.size());
  if (units.size() > static_cast<std::size_t>(wideSize)) return 0;
  std::copy(units.begin(), units.end(), wide);
  return static_cast<int>(units.size());
}

void WatchModuleLoads(ModuleLoadWatch watch) { moduleLoadWatch = watch; }

HMODULE LoadLibraryW(const wchar_t* path) {
  if (path == nullptr) return nullptr;
  if (ModuleLoadWatch watch = moduleLoadWatch.load()) watch(path);
  std::string file = Orlet::tcs_to_mbs(path);
  std::replace(file.begin(), file.end(), '\\', '/');
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(HMODULE module, const char* name) {
  return module == nullptr || name == nullptr ? nullptr : dlsym(module, name);
}

BOOL FreeLibrary(HMODULE module) { return module != nullptr && dlclose(module) == 0 ? 1 : 0; }

}  // namespace win32
