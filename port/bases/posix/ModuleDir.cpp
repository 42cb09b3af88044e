#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/OrletBases.h"

namespace Orlet {

namespace {

std::string ExecutablePath() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  return std::string(path, static_cast<std::size_t>(length));
}

std::string ModulePath(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return ExecutablePath();
  char resolved[PATH_MAX];
  // The main program may be named without a directory; /proc knows its path.
  if (std::string(info.dli_fname).find('/') == std::string::npos ||
      realpath(info.dli_fname, resolved) == nullptr) {
    return ExecutablePath();
  }
  return resolved;
}

}  // namespace

// Exported and never inlined into a caller, so the return address lies in the
// code of the module that called it.
__attribute__((noinline)) uint32_t GetModuleDir(wchar_t* buffer, uint32_t size) {
  const void* caller = __builtin_return_address(0);
  if (buffer == nullptr || size == 0) return 0;
  std::string path = ModulePath(caller);
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return 0;
  path.resize(slash == 0 ? 1 : slash);  // "/" stays for a module in the root
  const std::wstring wide = mbs_to_tcs(path);
  if (wide.size() + 1 > size) return 0;
  wide.copy(buffer, wide.size());
  buffer[wide.size()] = L'\0';
  return static_cast<uint32_t>(wide.size());
}

}  // namespace Orlet
