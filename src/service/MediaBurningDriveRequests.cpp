// The drive requests: search, refresh, count, read one drive, writability.
// They hold no lock of their own; the finder takes its lock for each list
// step, so a threaded search may change the list between their steps.

#include "drives/DiscTypes.h"
#include "service/MediaBurningImpl.h"

namespace Orlet {

void MediaBurningImpl::StartDriveSearch(int writersOnly, int asynchronous) {
  if (!IsStarted()) return;
  OddFinder& finder = sdkInterface->finder;
  finder.SetObserver(static_cast<DriveSearchObserver*>(burnObserver));
  // The finder's own result does not reach the host.
  finder.StartSearch(accessMethod, writersOnly, asynchronous);
}

void MediaBurningImpl::RefreshDrives() {
  if (!IsStarted()) return;
  OddFinder& finder = sdkInterface->finder;
  const std::size_t count = finder.CountDrives();
  for (std::size_t index = 0; index < count; ++index) finder.QueryDrive(index);
}

std::size_t MediaBurningImpl::GetDriveCount() {
  return IsStarted() ? sdkInterface->finder.CountDrives() : 0;
}

int MediaBurningImpl::GetDriveInfo(std::size_t index, DriveInfo& info) {
  if (!IsStarted()) return ResultNotStarted;
  OddFinder& finder = sdkInterface->finder;
  if (finder.QueryDrive(index) == 0) return ResultInvalidArgument;
  finder.CopyDriveInfo(index, info);
  return ResultOk;
}

int MediaBurningImpl::IsDiscWritable(const DriveInfo& info) { return IsDiscTypeWritable(info); }

}  // namespace Orlet
