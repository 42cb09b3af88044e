#pragma once

// The hold a path to a virtual drive has on the drive's image across
// processes, as a recording handle on a real drive holds it exclusively: an
// advisory lock on the image file (SystemFile::TryLock: flock on POSIX,
// LockFileEx on Windows), shared for reading, exclusive for recording. The
// system lets go of it when the process ends, however it ends, so a killed
// burner never leaves a drive held.
//
// Ownership: one per path to the drive; released by the destructor.
// Threads: not thread-safe; one path uses it.

#include <memory>
#include <string>

#include "common/SystemFile.h"

namespace starburn {

class ImageLock {
 public:
  enum class Outcome {
    kHeld,    // the lock is ours
    kBusy,    // another process holds the image in a way that excludes ours
    kFailed,  // the image cannot be opened or locked: *error says why
  };

  // Takes the lock. A shared lock never waits. An exclusive lock waits a
  // little for programs that only read the disc (a drive query holds it for
  // moments), never for one that records: kBusy at once then. exclusive also
  // creates the image when it is missing (a recording handle writes it
  // anyway). A shared lock on a missing image, or on a path that the system
  // will not open because it is no file, holds nothing and answers kHeld:
  // there is nothing to read.
  static Outcome Take(const std::string& imagePath, bool exclusive, std::unique_ptr<ImageLock>* out,
                      std::string* error);
  ~ImageLock() = default;  // closing the file releases the lock
  ImageLock(const ImageLock&) = delete;
  ImageLock& operator=(const ImageLock&) = delete;

 private:
  explicit ImageLock(SystemFile file) : file(std::move(file)) {}
  SystemFile file;  // not open: nothing held (a shared lock on a missing image)
};

}  // namespace starburn
