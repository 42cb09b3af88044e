#include "DriveUse.h"

#include <starburn/StarBurn.h>

#include "Text.h"

namespace orletburn {

bool HeldByAnotherProgram(const Orlet::DriveInfo& info) {
  void* device = nullptr;
  char error[STARBURN_ERROR_TEXT_SIZE];
  uint32_t systemError = 0;
  StarBurnCommandFailure failure;
  const uint32_t reading = 1;  // shared: the handle only asks
  StarBurnStatus status =
      StarBurn_CdvdBurnerGrabber_CreateEx(&device, error, sizeof error, &systemError, &failure,
                                          nullptr, nullptr, Utf8(info.deviceName).c_str(), reading);
  if (status == STARBURN_OK) {
    status = StarBurn_CdvdBurnerGrabber_TestUnitReady(device, error, sizeof error, &systemError,
                                                      &failure);
    StarBurn_Destroy(&device);
  }
  return status == STARBURN_STATUS_DEVICE_BUSY;
}

uint64_t LostBytes(const Orlet::DriveInfo& info) {
  // Track numbers run from 1 to 99 at most on any disc.
  constexpr uint32_t kLastTrack = 99;
  // The track record: byte 0 valid, byte 5 bit 4 damaged, bytes 24-27 size.
  constexpr uint8_t kDamaged = 0x10;
  void* device = nullptr;
  char error[STARBURN_ERROR_TEXT_SIZE];
  uint32_t systemError = 0;
  StarBurnCommandFailure failure;
  const uint32_t reading = 1;
  if (StarBurn_CdvdBurnerGrabber_CreateEx(&device, error, sizeof error, &systemError, &failure,
                                          nullptr, nullptr, Utf8(info.deviceName).c_str(),
                                          reading) != STARBURN_OK) {
    return 0;
  }
  uint64_t lost = 0;
  for (uint32_t track = 1; track <= kLastTrack; ++track) {
    uint8_t record[STARBURN_TRACK_INFORMATION_SIZE] = {};
    if (StarBurn_CdvdBurnerGrabber_GetTrackInformation(device, error, sizeof error, &systemError,
                                                       &failure, track, record,
                                                       sizeof record) != STARBURN_OK ||
        record[0] == 0) {
      break;
    }
    if ((record[5] & kDamaged) != 0) {
      const uint32_t blocks = uint32_t{record[24]} | uint32_t{record[25]} << 8 |
                              uint32_t{record[26]} << 16 | uint32_t{record[27]} << 24;
      lost += uint64_t{blocks} * 2048;
    }
  }
  StarBurn_Destroy(&device);
  return lost;
}

}  // namespace orletburn
