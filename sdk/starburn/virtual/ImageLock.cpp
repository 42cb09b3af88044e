#include "virtual/ImageLock.h"

#include <chrono>
#include <thread>

namespace starburn {

namespace {

// How long a recording open waits for readers to let go: a query of the
// drive takes well under a second, a burn's examination of the disc a few
// seconds for a large tree. Looked at again every 20 ms.
constexpr auto kReaderWait = std::chrono::seconds(10);
constexpr auto kReaderPoll = std::chrono::milliseconds(20);

}  // namespace

ImageLock::Outcome ImageLock::Take(const std::string& imagePath, bool exclusive,
                                   std::unique_ptr<ImageLock>* out, std::string* error) {
  SystemFile file;
  int code = 0;
  if (!file.Open(imagePath, exclusive ? SystemFile::Mode::kUpdateOrCreate : SystemFile::Mode::kRead,
                 &code)) {
    // A missing image holds nothing to read yet. A directory is no image
    // (Windows does not even open it as a file): the disc's load says so.
    FileStatus status;
    int ignored = 0;
    if (!exclusive &&
        (IsNotFound(code) || (StatusOf(imagePath, &status, &ignored) && !status.regular))) {
      out->reset(new ImageLock(SystemFile()));
      return Outcome::kHeld;
    }
    *error = "cannot open " + imagePath + ": " + SystemErrorText(code);
    return Outcome::kFailed;
  }
  const auto deadline = std::chrono::steady_clock::now() + kReaderWait;
  for (;;) {
    SystemFile::LockOutcome outcome = file.TryLock(exclusive, &code);
    if (outcome == SystemFile::LockOutcome::kHeld) break;
    if (outcome == SystemFile::LockOutcome::kBusy && exclusive &&
        std::chrono::steady_clock::now() < deadline) {
      // Readers only, if a shared lock can be had: let it go and wait for them.
      outcome = file.TryLock(false, &code);
      if (outcome == SystemFile::LockOutcome::kHeld) {
        file.Unlock();
        std::this_thread::sleep_for(kReaderPoll);
        continue;
      }
    }
    if (outcome == SystemFile::LockOutcome::kBusy) return Outcome::kBusy;
    *error = "cannot lock " + imagePath + ": " + SystemErrorText(code);
    return Outcome::kFailed;
  }
  out->reset(new ImageLock(std::move(file)));
  return Outcome::kHeld;
}

}  // namespace starburn
