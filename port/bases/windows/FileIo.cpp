#include <windows.h>

#include "platform/OrletBases.h"

namespace Orlet {

FileIo::FileIo() = default;
FileIo::~FileIo() { Close(); }

int FileIo::Open(const std::wstring& path, uint32_t access, uint32_t share, uint32_t creation) {
  Close();
  HANDLE file =
      CreateFileW(path.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;  // a folder needs backup semantics: refused too
  handle = file;
  LARGE_INTEGER size{};
  // A file opened only for reading keeps the size it had when it was opened,
  // which saves asking the file system again; a file we write is asked afresh.
  sizeAtOpen = (access & kGenericWrite) != 0 || !GetFileSizeEx(file, &size)
                   ? kSizeUnknown
                   : static_cast<uint64_t>(size.QuadPart);
  return 1;
}

void FileIo::Close() {
  if (handle != nullptr) CloseHandle(handle);
  handle = nullptr;
}

uint64_t FileIo::GetFileSize() {
  if (handle != nullptr && sizeAtOpen != kSizeUnknown) return sizeAtOpen;
  LARGE_INTEGER size{};
  if (handle == nullptr || !GetFileSizeEx(handle, &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

int64_t FileIo::Read(uint64_t offset, void* buffer, uint32_t size) {
  if (handle == nullptr) return -1;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD done = 0;
  if (!ReadFile(handle, buffer, size, &done, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return done;
}

}  // namespace Orlet
