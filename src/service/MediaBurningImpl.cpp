// Construction, destruction, observers and SDK start-up.

#include "service/MediaBurningImpl.h"

#include <cstring>

#include "platform/StarBurnSdk.h"

namespace Orlet {

MediaBurningImpl::MediaBurningImpl() : sdkInterface(new StarBurnInterface()) {}

MediaBurningImpl::~MediaBurningImpl() {
  // A running burn job uses the burner inside sdkInterface: wait for it first.
  // On the job's own thread there is nothing to wait for: the job has sent
  // its last event and only returns (DeferDestruction).
  StopThread(kInfinite, 1);
  if (IsStarted() && StarBurn_DownShut() == STARBURN_OK) sdkInterface->sdkStarted = 0;
  delete sdkInterface;
  sdkInterface = nullptr;
}

void MediaBurningImpl::SetBurnObserver(MediaBurningObserver* observer) { burnObserver = observer; }

void MediaBurningImpl::SetEraseObserver(EraseObserver* observer) { eraseObserver = observer; }

int MediaBurningImpl::Initialize() {
  if (IsStarted()) return ResultOk;
  char errorText[kSdkErrorTextSize] = {};
  if (StarBurn_UpStartEx(errorText, sizeof errorText) != STARBURN_OK) return ResultFailed;
  sdkInterface->sdkStarted = 1;
  return ResultOk;
}

void MediaBurningImpl::Uninitialize() {
  if (IsStarted() && StarBurn_DownShut() == STARBURN_OK) sdkInterface->sdkStarted = 0;
}

}  // namespace Orlet
