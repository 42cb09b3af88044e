// The exported interface's own members and the factory.

#include "orlet/MediaBurning.h"

#include "service/MediaBurningImpl.h"

namespace Orlet {

MediaBurning::MediaBurning() = default;
MediaBurning::MediaBurning(const MediaBurning&) = default;
MediaBurning& MediaBurning::operator=(const MediaBurning&) { return *this; }
MediaBurning::~MediaBurning() = default;

int CreateMediaBurning(MediaBurning*& service) {
  // Nothing throws across the exported boundary: a failed allocation inside
  // the service's construction (its SDK holder, the drive finder's records,
  // a string) is the same refusal as a failed allocation of the service.
  // Whatever was built before the failure is freed by the new-expression.
  MediaBurning* made = nullptr;
  try {
    made = new MediaBurningImpl();
  } catch (...) {
    return ResultCreateFailed;
  }
  service = made;
  return ResultOk;
}

int DestroyMediaBurning(MediaBurning*& service) {
  // Only our own objects are destroyed; anything else is left alone. From
  // inside a running job the service may outlive this call (see
  // DeferDestruction).
  auto* impl = dynamic_cast<MediaBurningImpl*>(service);
  if (impl != nullptr && !impl->DeferDestruction()) delete impl;
  return ResultOk;
}

}  // namespace Orlet
