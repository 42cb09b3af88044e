#include "virtual/ImageLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace starburn {

namespace {

// How long a recording open waits for readers to let go: a query of the
// drive takes well under a second, a burn's examination of the disc a few
// seconds for a large tree. Looked at again every 20 ms.
constexpr auto kReaderWait = std::chrono::seconds(10);
constexpr auto kReaderPoll = std::chrono::milliseconds(20);

// flock without waiting, through interruptions: 0, or the errno.
int TryLock(int fd, int operation) {
  while (flock(fd, operation | LOCK_NB) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

ImageLock::Outcome ImageLock::Take(const std::string& imagePath, bool exclusive,
                                   std::unique_ptr<ImageLock>* out, std::string* error) {
  const int flags = exclusive ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
  int fd = open(imagePath.c_str(), flags, 0666);
  if (fd < 0 && !exclusive && errno == ENOENT) {
    out->reset(new ImageLock(-1));
    return Outcome::kHeld;
  }
  if (fd < 0) {
    *error = "cannot open " + imagePath + ": " + strerror(errno);
    return Outcome::kFailed;
  }
  const auto deadline = std::chrono::steady_clock::now() + kReaderWait;
  for (;;) {
    int code = TryLock(fd, exclusive ? LOCK_EX : LOCK_SH);
    if (code == 0) break;
    if (code == EWOULDBLOCK && exclusive && std::chrono::steady_clock::now() < deadline) {
      // Readers only, if a shared lock can be had: let it go and wait for them.
      code = TryLock(fd, LOCK_SH);
      if (code == 0) {
        flock(fd, LOCK_UN);
        std::this_thread::sleep_for(kReaderPoll);
        continue;
      }
    }
    close(fd);
    if (code == EWOULDBLOCK) return Outcome::kBusy;
    *error = "cannot lock " + imagePath + ": " + strerror(code);
    return Outcome::kFailed;
  }
  out->reset(new ImageLock(fd));
  return Outcome::kHeld;
}

ImageLock::~ImageLock() {
  if (fd >= 0) close(fd);  // closing the last descriptor of the open file releases the lock
}

}  // namespace starburn
