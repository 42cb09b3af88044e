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

}  // namespace orletburn
