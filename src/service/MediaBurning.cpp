// The exported interface's own members and the factory.

#include "orlet/MediaBurning.h"

#include <new>

#include "service/MediaBurningImpl.h"

namespace Orlet {

MediaBurning::MediaBurning() = default;
MediaBurning::MediaBurning(const MediaBurning&) = default;
MediaBurning& MediaBurning::operator=(const MediaBurning&) { return *this; }
MediaBurning::~MediaBurning() = default;

int CreateMediaBurning(MediaBurning*& service) {
  MediaBurning* made = new (std::nothrow) MediaBurningImpl();
  if (made == nullptr) return ResultCreateFailed;
  service = made;
  return ResultOk;
}

int DestroyMediaBurning(MediaBurning*& service) {
  // Only our own objects are destroyed; anything else is left alone.
  if (auto* impl = dynamic_cast<MediaBurningImpl*>(service)) delete impl;
  return ResultOk;
}

}  // namespace Orlet
