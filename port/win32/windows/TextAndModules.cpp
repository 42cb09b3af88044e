// MultiByteToWideChar and module loading on Windows: the system's calls.

#include <windows.h>

#include <atomic>

#include "platform/Win32.h"

namespace win32 {
namespace {

std::atomic<ModuleLoadWatch> moduleLoadWatch{nullptr};

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

}  // namespace

int MultiByteToWideChar(unsigned codePage, DWORD flags, const char* text, int length,
                        char16_t* wide, int wideSize) {
  if (text == nullptr || length < -1 || wideSize < 0) return 0;
  if (wide == nullptr) wideSize = 0;
  // The system answers 0 and ERROR_INSUFFICIENT_BUFFER when the units do not
  // fit: nothing is kept of a cut text, as the contract says.
  return ::MultiByteToWideChar(codePage, flags, text, length, reinterpret_cast<wchar_t*>(wide),
                               wideSize);
}

void WatchModuleLoads(ModuleLoadWatch watch) { moduleLoadWatch = watch; }

HMODULE LoadLibraryW(const wchar_t* path) {
  if (path == nullptr) return nullptr;
  if (ModuleLoadWatch watch = moduleLoadWatch.load()) watch(path);
  return ::LoadLibraryW(path);
}

void* GetProcAddress(HMODULE module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<::HMODULE>(module), name));
}

BOOL FreeLibrary(HMODULE module) {
  return module != nullptr && ::FreeLibrary(static_cast<::HMODULE>(module)) != 0 ? 1 : 0;
}

}  // namespace win32
