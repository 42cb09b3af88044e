#include "DriveUse.h"

#include <starburn/StarBurn.h>

#include "Text.h"

namespace orletburn {

DriveHandle::DriveHandle(const Orlet::DriveInfo& info, Use use, StarBurnCallback callback,
                         void* context) {
  const uint32_t shared = use == Use::kReading ? 1 : 0;
  opened =
      StarBurn_CdvdBurnerGrabber_CreateEx(&device, error, sizeof error, &systemError, &failure,
                                          callback, context, Utf8(info.deviceName).c_str(), shared);
}

DriveHandle::~DriveHandle() {
  if (device != nullptr) StarBurn_Destroy(&device);
}

bool HeldByAnotherProgram(const Orlet::DriveInfo& info) {
  DriveHandle drive(info);
  StarBurnStatus status = drive.opened;
  if (status == STARBURN_OK) {
    status = StarBurn_CdvdBurnerGrabber_TestUnitReady(drive.device, drive.error, sizeof drive.error,
                                                      &drive.systemError, &drive.failure);
  }
  return status == STARBURN_STATUS_DEVICE_BUSY;
}

uint64_t LostBytes(const Orlet::DriveInfo& info) {
  // Track numbers run from 1 to 99 at most on any disc.
  constexpr uint32_t kLastTrack = 99;
  // The track record: byte 0 valid, byte 5 bit 4 damaged, bytes 24-27 size.
  constexpr uint8_t kDamaged = 0x10;
  DriveHandle drive(info);
  if (drive.opened != STARBURN_OK) return 0;
  uint64_t lost = 0;
  for (uint32_t track = 1; track <= kLastTrack; ++track) {
    uint8_t record[STARBURN_TRACK_INFORMATION_SIZE] = {};
    if (StarBurn_CdvdBurnerGrabber_GetTrackInformation(
            drive.device, drive.error, sizeof drive.error, &drive.systemError, &drive.failure,
            track, record, sizeof record) != STARBURN_OK ||
        record[0] == 0) {
      break;
    }
    if ((record[5] & kDamaged) != 0) {
      const uint32_t blocks = uint32_t{record[24]} | uint32_t{record[25]} << 8 |
                              uint32_t{record[26]} << 16 | uint32_t{record[27]} << 24;
      lost += uint64_t{blocks} * 2048;
    }
  }
  return lost;
}

}  // namespace orletburn
