// The drive requests: search, refresh, count, read one drive, writability.

#include "service/MediaBurningImpl.h"

namespace Orlet {

void MediaBurningImpl::StartDriveSearch(int /*writersOnly*/, int /*asynchronous*/) {
  if (!IsStarted()) return;
  // No drive finder yet: a search finds nothing.
}

void MediaBurningImpl::RefreshDrives() {}

std::size_t MediaBurningImpl::GetDriveCount() { return 0; }

int MediaBurningImpl::GetDriveInfo(std::size_t /*index*/, DriveInfo& /*info*/) {
  if (!IsStarted()) return ResultNotStarted;
  return ResultInvalidArgument;  // no drive is listed
}

int MediaBurningImpl::IsDiscWritable(const DriveInfo& /*info*/) { return 0; }

}  // namespace Orlet
