#include "devices/ImageLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace starburn {

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
  while (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int code = errno;
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
