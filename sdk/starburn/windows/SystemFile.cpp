// Files on Win32 handles. Paths arrive as UTF-8 and reach the W calls as
// UTF-16, so that every name works whatever the ANSI code page; both '/' and
// '\' separate their elements. Every open lets other opens read, write,
// rename and delete the file, as POSIX does, so that a reader never stops
// the state file from being replaced.

#include "common/SystemFile.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>

namespace starburn {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// ReadFile and WriteFile move at most a DWORD of bytes; larger transfers go
// in pieces of this size.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;
// The byte the advisory lock covers. Windows locks are mandatory for the
// range they cover, even against other handles of the same process, so the
// lock covers one byte far beyond any image (4 EiB), where nothing is ever
// read or written; the lock then stops no read and no write, as flock's does.
constexpr uint64_t kLockOffset = uint64_t{1} << 62;
// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01, and FILETIME's
// units (100 ns) in a second.
constexpr int64_t kEpochDifference = 11644473600;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000;

bool Failed(int* code) {
  *code = static_cast<int>(GetLastError());
  return false;
}

// UTF-8 to UTF-16; false (with the code) for bytes that are not UTF-8.
bool Wide(const std::string& text, std::wstring* out, int* code) {
  out->clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int units =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (units <= 0) return Failed(code);
  out->resize(static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, out->data(), units);
  return true;
}

std::string Narrow(const wchar_t* text, int units) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, units, out.data(), bytes, nullptr, nullptr);
  return out;
}

HANDLE HandleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

int64_t SecondsOf(const FILETIME& time) {
  const int64_t units =
      static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
  return units / kFileTimeUnitsPerSecond - kEpochDifference;
}

void StatusFrom(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written,
                FileStatus* out) {
  out->regular = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
  out->size = (uint64_t{sizeHigh} << 32) | sizeLow;
  out->modified = SecondsOf(written);
  out->readable = true;
}

bool StatusOfHandle(HANDLE file, FileStatus* out, int* code) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return Failed(code);
  StatusFrom(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime,
             out);
  out->regular = out->regular && GetFileType(file) == FILE_TYPE_DISK;
  return true;
}

// Moves size bytes in pieces a DWORD can count, at offset (at != nullptr)
// or at the file's position, until all moved, the end of the file or an error.
template <typename Transfer>
bool Move(uint64_t offset, bool positioned, std::size_t size, std::size_t* moved, int* code,
          Transfer transfer) {
  *moved = 0;
  while (*moved < size) {
    const auto piece = static_cast<DWORD>(std::min(size - *moved, kLargestTransfer));
    OVERLAPPED at = At(offset + *moved);
    DWORD n = 0;
    if (!transfer(*moved, piece, &n, positioned ? &at : nullptr)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return Failed(code);
    }
    if (n == 0) break;
    *moved += n;
  }
  return true;
}

}  // namespace

bool SystemFile::Open(const std::string& path, Mode mode, int* code) {
  Close();
  std::wstring wide;
  if (!Wide(path, &wide, code)) return false;
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD creation = OPEN_EXISTING;
  switch (mode) {
    case Mode::kRead:
      access = GENERIC_READ;
      break;
    case Mode::kUpdate:
      break;
    case Mode::kUpdateOrCreate:
      creation = OPEN_ALWAYS;
      break;
    case Mode::kWrite:
      access = GENERIC_WRITE;
      creation = OPEN_ALWAYS;
      break;
    case Mode::kReplace:
      access = GENERIC_WRITE;
      creation = CREATE_ALWAYS;
      break;
    case Mode::kAppend:
      access = FILE_APPEND_DATA | SYNCHRONIZE;  // every write goes to the end
      creation = OPEN_ALWAYS;
      break;
  }
  HANDLE file = CreateFileW(wide.c_str(), access, kShareAll, nullptr, creation,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed(code);
  if ((mode == Mode::kUpdateOrCreate || mode == Mode::kWrite) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    // A new image is sparse, as on POSIX, so that the blocks before a later
    // session take no room. A file system without sparse files says no, and
    // the file is written whole instead.
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  }
  handle = reinterpret_cast<intptr_t>(file);
  return true;
}

bool SystemFile::OpenIn(const SystemFolder& folder, const std::string& name, Mode mode, int* code) {
  return Open(folder.path + name, mode, code);
}

// Win32 has no open relative to a folder handle short of the native API;
// the folder is kept as its path and joined to each name. Whether it exists
// shows at the first status or open of a name in it.
bool SystemFolder::Open(const std::string& folder, int* /*code*/) {
  path = folder;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '\\';
  open = true;
  return true;
}

void SystemFolder::Close() {
  path.clear();
  open = false;
}

bool SystemFolder::StatusOf(const std::string& name, FileStatus* out, int* code) const {
  return starburn::StatusOf(path + name, out, code);
}

SystemFile SystemFile::StandardError() {
  HANDLE copy = nullptr;
  const HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, GetStdHandle(STD_ERROR_HANDLE), process, &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return SystemFile();
  }
  return SystemFile(reinterpret_cast<intptr_t>(copy));
}

void SystemFile::Close() {
  if (handle != kNone) CloseHandle(HandleOf(handle));
  handle = kNone;
}

bool SystemFile::ReadAt(uint64_t offset, void* out, std::size_t size, std::size_t* got, int* code) {
  auto* bytes = static_cast<uint8_t*>(out);
  return Move(offset, true, size, got, code,
              [&](std::size_t done, DWORD piece, DWORD* n, OVERLAPPED* at) {
                return ReadFile(HandleOf(handle), bytes + done, piece, n, at);
              });
}

bool SystemFile::Read(void* out, std::size_t size, std::size_t* got, int* code) {
  DWORD n = 0;
  if (!ReadFile(HandleOf(handle), out, static_cast<DWORD>(std::min(size, kLargestTransfer)), &n,
                nullptr)) {
    if (GetLastError() != ERROR_HANDLE_EOF) return Failed(code);
  }
  *got = n;
  return true;
}

bool SystemFile::WriteAt(uint64_t offset, const void* data, std::size_t size, int* code) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::size_t put = 0;
  if (!Move(offset, true, size, &put, code,
            [&](std::size_t done, DWORD piece, DWORD* n, OVERLAPPED* at) {
              return WriteFile(HandleOf(handle), bytes + done, piece, n, at);
            })) {
    return false;
  }
  if (put < size) *code = ERROR_WRITE_FAULT;  // the system took nothing, and said no more
  return put == size;
}

bool SystemFile::Write(const void* data, std::size_t size, int* code) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::size_t put = 0;
  if (!Move(0, false, size, &put, code,
            [&](std::size_t done, DWORD piece, DWORD* n, OVERLAPPED* at) {
              return WriteFile(HandleOf(handle), bytes + done, piece, n, at);
            })) {
    return false;
  }
  if (put < size) *code = ERROR_WRITE_FAULT;
  return put == size;
}

bool SystemFile::Flush(int* code) { return FlushFileBuffers(HandleOf(handle)) || Failed(code); }

bool SystemFile::Cut(uint64_t size, int* code) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return SetFileInformationByHandle(HandleOf(handle), FileEndOfFileInfo, &end, sizeof end) ||
         Failed(code);
}

bool SystemFile::Status(FileStatus* out, int* code) const {
  return StatusOfHandle(HandleOf(handle), out, code);
}

// Windows takes its read-ahead hint at the open (FILE_FLAG_SEQUENTIAL_SCAN)
// and reads ahead on its own for a file read in order: nothing to add here.
void SystemFile::ExpectSequentialReads() {}

SystemFile::LockOutcome SystemFile::TryLock(bool exclusive, int* code) {
  OVERLAPPED at = At(kLockOffset);
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockFileEx(HandleOf(handle), flags, 0, 1, 0, &at)) return LockOutcome::kHeld;
  const DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return LockOutcome::kBusy;
  *code = static_cast<int>(error);
  return LockOutcome::kFailed;
}

void SystemFile::Unlock() {
  OVERLAPPED at = At(kLockOffset);
  UnlockFileEx(HandleOf(handle), 0, 1, 0, &at);
}

bool StatusOf(const std::string& path, FileStatus* out, int* code) {
  std::wstring wide;
  if (!Wide(path, &wide, code)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return Failed(code);
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    StatusFrom(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime,
               out);
    return true;
  }
  // A symbolic link or a junction: the status of what it leads to.
  HANDLE target = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) return Failed(code);
  const bool known = StatusOfHandle(target, out, code);
  CloseHandle(target);
  return known;
}

bool CanCreate(const std::string& path, int* code) {
  // The directory must exist; whether its access list lets this user add a
  // file shows at the first write.
  const std::size_t separator = path.find_last_of("/\\");
  const std::string directory =
      separator == std::string::npos ? "." : path.substr(0, separator + 1);
  std::wstring wide;
  if (!Wide(directory, &wide, code)) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Failed(code);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    *code = ERROR_DIRECTORY;
    return false;
  }
  return true;
}

bool RenameOver(const std::string& from, const std::string& path, int* code) {
  std::wstring wideFrom;
  std::wstring widePath;
  if (!Wide(from, &wideFrom, code) || !Wide(path, &widePath, code)) return false;
  return MoveFileExW(wideFrom.c_str(), widePath.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
         Failed(code);
}

void RemoveFile(const std::string& path) {
  std::wstring wide;
  int ignored = 0;
  if (Wide(path, &wide, &ignored)) DeleteFileW(wide.c_str());
}

bool IsNotFound(int code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

int AccessDeniedCode() { return ERROR_ACCESS_DENIED; }

std::string SystemErrorText(int code) {
  wchar_t* text = nullptr;
  const DWORD units = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (units == 0) return "system error " + std::to_string(code);
  std::string message = Narrow(text, static_cast<int>(units));
  LocalFree(text);
  // The system's texts end with a full stop and a line end; ours do not.
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
}

}  // namespace starburn
