#include "virtual/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/BlockIo.h"

namespace starburn {

ImageFile::~ImageFile() {
  if (fd >= 0) close(fd);
}

bool ImageFile::Exists() const {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

uint64_t ImageFile::Size() const {
  struct stat info;
  if (fd >= 0 ? fstat(fd, &info) != 0 : stat(path.c_str(), &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

bool ImageFile::Fail(const char* what, std::string* error, int* systemError) {
  const int code = errno;
  if (error != nullptr) *error = std::string("cannot ") + what + " " + path + ": " + strerror(code);
  if (systemError != nullptr) *systemError = code;
  return false;
}

bool ImageFile::OpenFile(bool create, std::string* error, int* systemError) {
  if (fd >= 0) return true;
  int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  if (create && writable) flags |= O_CREAT;
  fd = open(path.c_str(), flags, 0666);
  if (fd < 0) return Fail(create ? "create" : "open", error, systemError);
  return true;
}

bool ImageFile::Read(uint64_t block, uint32_t count, uint8_t* out, std::string* error,
                     int* systemError) {
  const uint64_t size = uint64_t{count} * kBlockSize;
  std::memset(out, 0, size);
  if (!Exists()) return true;  // nothing written yet: the disc reads as zeros
  if (!OpenFile(false, error, systemError)) return false;
  uint64_t done = 0;
  while (done < size) {
    const ssize_t got = pread(fd, out + done, size - done, block * kBlockSize + done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail("read", error, systemError);
    if (got == 0) break;  // the end of the file: the rest stays zero
    done += static_cast<uint64_t>(got);
  }
  return true;
}

bool ImageFile::Write(uint64_t block, uint32_t count, const uint8_t* data, std::string* error,
                      int* systemError) {
  if (!OpenFile(true, error, systemError)) return false;
  const uint64_t size = uint64_t{count} * kBlockSize;
  uint64_t done = 0;
  while (done < size) {
    const ssize_t put = pwrite(fd, data + done, size - done, block * kBlockSize + done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return Fail("write", error, systemError);
    done += static_cast<uint64_t>(put);
  }
  return true;
}

bool ImageFile::Sync(std::string* error, int* systemError) {
  if (fd < 0) return true;
  if (fdatasync(fd) != 0) return Fail("flush", error, systemError);
  return true;
}

bool ImageFile::Truncate(uint64_t bytes, std::string* error, int* systemError) {
  if (!Exists()) return true;
  if (!OpenFile(false, error, systemError)) return false;
  if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) return Fail("cut", error, systemError);
  return true;
}

}  // namespace starburn
