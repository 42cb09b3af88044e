// The burn and erase requests and the burn job's thread body.

#include "service/MediaBurningImpl.h"

namespace Orlet {

int MediaBurningImpl::Burn(std::size_t index, const std::wstring& /*discLabel*/, unsigned int speed,
                           int /*force*/) {
  jobSpeed = speed;
  DriveInfo drive;
  return GetDriveInfo(index, drive);  // no drive is listed yet: 122 or 104
}

int MediaBurningImpl::Erase(std::size_t index) {
  if (eraseObserver == nullptr) return ResultNoObserver;
  DriveInfo drive;
  const int code = IsStarted() ? GetDriveInfo(index, drive) : ResultNotStarted;
  eraseObserver->OnEraseEvent(EraseFailed, DetailEraseRefused);
  return code;
}

void MediaBurningImpl::Cancel() {}

int MediaBurningImpl::ThreadProc() { return 0; }

}  // namespace Orlet
