#include "virtual/ImageFile.h"

#include <cstring>

#include "common/BlockIo.h"

namespace starburn {

bool ImageFile::Exists() const {
  FileStatus status;
  int ignored = 0;
  return StatusOf(path, &status, &ignored);
}

uint64_t ImageFile::Size() const {
  FileStatus status;
  int ignored = 0;
  if (file.IsOpen() ? !file.Status(&status, &ignored) : !StatusOf(path, &status, &ignored)) {
    return 0;
  }
  return status.size;
}

bool ImageFile::Fail(const char* what, int code, std::string* error, int* systemError) const {
  if (error != nullptr) {
    *error = std::string("cannot ") + what + " " + path + ": " + SystemErrorText(code);
  }
  if (systemError != nullptr) *systemError = code;
  return false;
}

bool ImageFile::OpenFile(bool create, std::string* error, int* systemError) {
  if (file.IsOpen()) return true;
  const SystemFile::Mode mode = !writable ? SystemFile::Mode::kRead
                                : create  ? SystemFile::Mode::kUpdateOrCreate
                                          : SystemFile::Mode::kUpdate;
  int code = 0;
  if (!file.Open(path, mode, &code))
    return Fail(create ? "create" : "open", code, error, systemError);
  return true;
}

bool ImageFile::Read(uint64_t block, uint32_t count, uint8_t* out, std::string* error,
                     int* systemError) {
  const uint64_t size = uint64_t{count} * kBlockSize;
  std::memset(out, 0, size);
  if (!Exists()) return true;  // nothing written yet: the disc reads as zeros
  if (!OpenFile(false, error, systemError)) return false;
  std::size_t got = 0;  // short at the end of the file: the rest stays zero
  int code = 0;
  if (!file.ReadAt(block * kBlockSize, out, size, &got, &code)) {
    return Fail("read", code, error, systemError);
  }
  return true;
}

bool ImageFile::Write(uint64_t block, uint32_t count, const uint8_t* data, std::string* error,
                      int* systemError) {
  if (!OpenFile(true, error, systemError)) return false;
  int code = 0;
  if (!file.WriteAt(block * kBlockSize, data, uint64_t{count} * kBlockSize, &code)) {
    return Fail("write", code, error, systemError);
  }
  return true;
}

bool ImageFile::Sync(std::string* error, int* systemError) {
  int code = 0;
  if (file.IsOpen() && !file.Flush(&code)) return Fail("flush", code, error, systemError);
  return true;
}

bool ImageFile::Truncate(uint64_t bytes, std::string* error, int* systemError) {
  if (!Exists()) return true;
  if (!OpenFile(false, error, systemError)) return false;
  int code = 0;
  if (!file.Cut(bytes, &code)) return Fail("cut", code, error, systemError);
  return true;
}

}  // namespace starburn
