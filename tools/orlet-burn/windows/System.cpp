// What orlet-burn asks of the system, on Windows, through its wide calls.

#include "System.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace orletburn {

namespace {

// FILETIME counts 100 ns intervals from 1601-01-01; Unix time seconds from
// 1970-01-01, 11,644,473,600 seconds later.
constexpr int64_t kIntervalsPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
  return wide;
}

std::string Utf8(const wchar_t* wide) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

// The nearest errno of a Win32 error, so that the words are the same as on
// POSIX systems.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_CANT_RESOLVE_FILENAME:
      return ELOOP;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    default:
      return EIO;
  }
}

int64_t UnixSeconds(const FILETIME& time) {
  const int64_t intervals =
      static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
  return intervals / kIntervalsPerSecond - kSecondsFrom1601To1970;
}

// A handle that reads the entry's own status (a folder too), following links.
HANDLE OpenForStatus(const std::wstring& path) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

EntryStatus StatusOf(const std::string& path) {
  EntryStatus out;
  const HANDLE handle = OpenForStatus(Wide(path));
  if (handle == INVALID_HANDLE_VALUE) {
    out.error = ErrnoOf(GetLastError());
    return out;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  const bool read = GetFileInformationByHandle(handle, &information) != 0;
  const DWORD type = GetFileType(handle);
  if (!read) out.error = ErrnoOf(GetLastError());
  CloseHandle(handle);
  if (!read) return out;
  const bool folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out.kind = folder                   ? EntryStatus::kFolder
             : type == FILE_TYPE_DISK ? EntryStatus::kFile
             : type == FILE_TYPE_PIPE ? EntryStatus::kPipe
             : type == FILE_TYPE_CHAR ? EntryStatus::kCharacterDevice
                                      : EntryStatus::kOther;
  out.size = (uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
  out.modified = UnixSeconds(information.ftLastWriteTime);
  out.device = information.dwVolumeSerialNumber;
  out.inode = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  return out;
}

bool IsSymbolicLink(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

int ListFolder(const std::string& path, std::vector<std::string>* names) {
  std::wstring pattern = Wide(path);
  if (!pattern.empty() && pattern.back() != L'/' && pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW entry{};
  const HANDLE find =
      FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : ErrnoOf(error);  // an empty folder
  }
  int listingError = 0;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names->push_back(Utf8(entry.cFileName));
  } while (FindNextFileW(find, &entry) != 0);
  if (GetLastError() != ERROR_NO_MORE_FILES) listingError = ErrnoOf(GetLastError());
  FindClose(find);
  std::sort(names->begin(), names->end());
  return listingError;
}

int TryOpenForReading(const std::string& path) {
  const HANDLE file =
      CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrnoOf(GetLastError());
  CloseHandle(file);
  return 0;
}

bool OutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void SetEnvironment(const char* name, const char* value) { _putenv_s(name, value); }

}  // namespace orletburn
