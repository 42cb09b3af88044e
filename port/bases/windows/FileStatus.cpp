#include <windows.h>

#include "platform/OrletBases.h"

namespace Orlet {

namespace {

// File times count 100-nanosecond ticks since 1601-01-01 (UTC).
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksFrom1601To1970 = 116444736000000000;

// Whole seconds since 1970, rounded down as st_mtime is (also before 1970).
int64_t UnixSeconds(const FILETIME& time) {
  const auto ticks =
      static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
  const int64_t since = ticks - kTicksFrom1601To1970;
  return since >= 0 ? since / kTicksPerSecond : -((kTicksPerSecond - 1 - since) / kTicksPerSecond);
}

}  // namespace

// One handle opened for reading: it tells the kind, the size and the file's
// identity (volume serial and file index), and whether the process may read
// it, as the access check of an open judges it (access control lists
// included). A file that may not be read is asked again for its attributes
// only.
FileStatus QueryFileStatus(const std::string& path) { return QueryFileStatus(mbs_to_tcs(path)); }

FileStatus QueryFileStatus(const std::wstring& wide) {
  FileStatus status;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // Backup semantics open folders too; the access asked is only checked.
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  status.readable = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME) {
      status.kind = FileStatus::kMissing;
      return status;
    }
    file = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      status.kind = FileStatus::kUnknown;
      return status;
    }
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  if (!known) {
    status.kind = FileStatus::kUnknown;
    return status;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    status.kind = FileStatus::kDirectory;
  } else if (type == FILE_TYPE_DISK) {
    status.kind = FileStatus::kRegularFile;
    status.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    status.modified = UnixSeconds(info.ftLastWriteTime);
  } else {
    status.kind = FileStatus::kSpecialFile;
  }
  status.device = info.dwVolumeSerialNumber;
  status.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return status;
}

}  // namespace Orlet
