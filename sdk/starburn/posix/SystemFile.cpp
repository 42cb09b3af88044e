// Files on POSIX descriptors: the path's bytes go to the kernel as they are,
// locks are flock's (held by the open file, so two opens in one process
// conflict as two processes do).

#include "common/SystemFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace starburn {

namespace {

// Mode bits of a created file, before the process's umask.
constexpr mode_t kCreatedMode = 0666;

int FlagsOf(SystemFile::Mode mode) {
  switch (mode) {
    case SystemFile::Mode::kRead:
      return O_RDONLY;
    case SystemFile::Mode::kUpdate:
      return O_RDWR;
    case SystemFile::Mode::kUpdateOrCreate:
      return O_RDWR | O_CREAT;
    case SystemFile::Mode::kWrite:
      return O_WRONLY | O_CREAT;
    case SystemFile::Mode::kReplace:
      return O_WRONLY | O_CREAT | O_TRUNC;
    case SystemFile::Mode::kAppend:
      return O_WRONLY | O_CREAT | O_APPEND;
  }
  return O_RDONLY;
}

// The process's user and groups, read once.
struct Credentials {
  Credentials() : user(::geteuid()), group(::getegid()) {
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
      groups.resize(static_cast<std::size_t>(count));
      groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(count, groups.data()))));
    }
  }
  bool InGroup(gid_t id) const {
    return id == group || std::find(groups.begin(), groups.end(), id) != groups.end();
  }
  uid_t user;
  gid_t group;
  std::vector<gid_t> groups;
};

// The permission check of an open for reading, as the kernel makes it.
bool ReadableByProcess(const struct stat& info) {
  static const Credentials who;  // initialised once, thread-safe
  if (who.user == 0) return true;
  if (info.st_uid == who.user) return (info.st_mode & S_IRUSR) != 0;
  if (who.InGroup(info.st_gid)) return (info.st_mode & S_IRGRP) != 0;
  return (info.st_mode & S_IROTH) != 0;
}

void StatusFrom(const struct stat& info, FileStatus* out) {
  out->regular = S_ISREG(info.st_mode);
  out->size = static_cast<uint64_t>(info.st_size);
  out->modified = static_cast<int64_t>(info.st_mtime);
  out->readable = ReadableByProcess(info);
}

bool Failed(int* code) {
  *code = errno;
  return false;
}

// Reads (or writes, with transfer pwrite or write) until size bytes moved,
// the end of the file, or an error other than an interruption.
template <typename Transfer>
bool Move(std::size_t size, std::size_t* moved, int* code, Transfer transfer) {
  *moved = 0;
  while (*moved < size) {
    const ssize_t n = transfer(*moved);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(code);
    if (n == 0) break;
    *moved += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool SystemFile::Open(const std::string& path, Mode mode, int* code) {
  Close();
  const int fd = ::open(path.c_str(), FlagsOf(mode) | O_CLOEXEC, kCreatedMode);
  if (fd < 0) return Failed(code);
  handle = fd;
  return true;
}

bool SystemFile::OpenIn(const SystemFolder& folder, const std::string& name, Mode mode, int* code) {
  Close();
  const int fd = ::openat(static_cast<int>(folder.handle), name.c_str(), FlagsOf(mode) | O_CLOEXEC,
                          kCreatedMode);
  if (fd < 0) return Failed(code);
  handle = fd;
  return true;
}

bool SystemFolder::Open(const std::string& folder, int* code) {
  Close();
  if (folder.empty()) {
    handle = AT_FDCWD;
  } else {
    // O_PATH: the folder is only searched, so it need not be readable.
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Failed(code);
    handle = fd;
  }
  open = true;
  return true;
}

void SystemFolder::Close() {
  if (open && handle != AT_FDCWD) ::close(static_cast<int>(handle));
  open = false;
  handle = -1;
}

bool SystemFolder::StatusOf(const std::string& name, FileStatus* out, int* code) const {
  struct stat info {};
  if (::fstatat(static_cast<int>(handle), name.c_str(), &info, 0) != 0) return Failed(code);
  StatusFrom(info, out);
  return true;
}

SystemFile SystemFile::StandardError() {
  return SystemFile(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0));  // kNone when it fails
}

void SystemFile::Close() {
  if (handle != kNone) ::close(static_cast<int>(handle));
  handle = kNone;
}

bool SystemFile::ReadAt(uint64_t offset, void* out, std::size_t size, std::size_t* got, int* code) {
  auto* bytes = static_cast<uint8_t*>(out);
  return Move(size, got, code, [&](std::size_t done) {
    return ::pread(static_cast<int>(handle), bytes + done, size - done,
                   static_cast<off_t>(offset + done));
  });
}

bool SystemFile::Read(void* out, std::size_t size, std::size_t* got, int* code) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(handle), out, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(code);
    *got = static_cast<std::size_t>(n);
    return true;
  }
}

bool SystemFile::WriteAt(uint64_t offset, const void* data, std::size_t size, int* code) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::size_t put = 0;
  if (!Move(size, &put, code, [&](std::size_t done) {
        return ::pwrite(static_cast<int>(handle), bytes + done, size - done,
                        static_cast<off_t>(offset + done));
      })) {
    return false;
  }
  if (put < size) *code = EIO;  // the system took nothing, and said no more
  return put == size;
}

bool SystemFile::Write(const void* data, std::size_t size, int* code) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::size_t put = 0;
  if (!Move(size, &put, code, [&](std::size_t done) {
        return ::write(static_cast<int>(handle), bytes + done, size - done);
      })) {
    return false;
  }
  if (put < size) *code = EIO;
  return put == size;
}

bool SystemFile::Flush(int* code) {
  return ::fdatasync(static_cast<int>(handle)) == 0 || Failed(code);
}

bool SystemFile::Cut(uint64_t size, int* code) {
  return ::ftruncate(static_cast<int>(handle), static_cast<off_t>(size)) == 0 || Failed(code);
}

bool SystemFile::Status(FileStatus* out, int* code) const {
  struct stat info {};
  if (::fstat(static_cast<int>(handle), &info) != 0) return Failed(code);
  StatusFrom(info, out);
  return true;
}

void SystemFile::ExpectSequentialReads() {
  ::posix_fadvise(static_cast<int>(handle), 0, 0, POSIX_FADV_SEQUENTIAL);
}

SystemFile::LockOutcome SystemFile::TryLock(bool exclusive, int* code) {
  while (::flock(static_cast<int>(handle), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return LockOutcome::kBusy;
    *code = errno;
    return LockOutcome::kFailed;
  }
  return LockOutcome::kHeld;
}

void SystemFile::Unlock() { ::flock(static_cast<int>(handle), LOCK_UN); }

bool StatusOf(const std::string& path, FileStatus* out, int* code) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return Failed(code);
  StatusFrom(info, out);
  return true;
}

bool CanCreate(const std::string& path, int* code) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : path.substr(0, slash);
  return ::access(directory.c_str(), W_OK | X_OK) == 0 || Failed(code);
}

bool RenameOver(const std::string& from, const std::string& path, int* code) {
  return ::rename(from.c_str(), path.c_str()) == 0 || Failed(code);
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

bool IsNotFound(int code) { return code == ENOENT; }

int AccessDeniedCode() { return EACCES; }

std::string SystemErrorText(int code) { return std::strerror(code); }

}  // namespace starburn
