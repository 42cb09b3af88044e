#pragma once

// The image file of a virtual disc: block n at byte n * 2048, sparse where
// nothing was written. Reads past the end of the file give zeros.
//
// Threads: not thread-safe; the emulated recorder calls it under its lock.

#include <cstdint>
#include <string>

#include "common/SystemFile.h"

namespace starburn {

class ImageFile {
 public:
  ImageFile(std::string path, bool writable) : path(std::move(path)), writable(writable) {}
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  const std::string& Path() const { return path; }
  // Whether the file exists, and its size in bytes (0 when it does not).
  bool Exists() const;
  uint64_t Size() const;

  // Each answers false with a message ("cannot write /a.iso: No space left on
  // device") and the system's code in *systemError on failure. Writing creates the
  // file when it is missing.
  bool Read(uint64_t block, uint32_t count, uint8_t* out, std::string* error, int* systemError);
  bool Write(uint64_t block, uint32_t count, const uint8_t* data, std::string* error,
             int* systemError);
  bool Sync(std::string* error, int* systemError);
  // Cuts the file to bytes (0: a blanked or re-formatted disc holds nothing;
  // more: the data before a track that was given up).
  bool Truncate(uint64_t bytes, std::string* error, int* systemError);

 private:
  bool OpenFile(bool create, std::string* error, int* systemError);
  bool Fail(const char* what, int code, std::string* error, int* systemError) const;

  std::string path;
  bool writable;
  SystemFile file;  // opened at the first read or write
};

}  // namespace starburn
