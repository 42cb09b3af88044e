#include <windows.h>

#include "platform/OrletBases.h"

namespace Orlet {

// One handle opened for reading: it tells the kind, the size and the file's
// identity (volume serial and file index), and whether the process may read
// it, as the access check of an open judges it (access control lists
// included). A file that may not be read is asked again for its attributes
// only.
FileStatus QueryFileStatus(const std::string& path) {
  FileStatus status;
  const std::wstring wide = mbs_to_tcs(path);
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
  } else {
    status.kind = FileStatus::kSpecialFile;
  }
  status.device = info.dwVolumeSerialNumber;
  status.inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return status;
}

}  // namespace Orlet
