#pragma once

// What every device call of the C interface does around its work: clear the
// caller's outputs, find the device of the handle, and on failure hand the
// caller the message, the system error and what the drive said.

#include <memory>

#include "common/ErrorOut.h"
#include "common/Object.h"
#include "devices/Device.h"

namespace starburn {

// Copies a failure into the caller's outputs; answers status.
StarBurnStatus ReportFailure(const ErrorOut& out, StarBurnCommandFailure* failureOut,
                             const CommandFailure& failure, StarBurnStatus status);

// Runs body(Device&) for a device handle with the common head.
template <typename Body>
StarBurnStatus OnDevice(void* handle, char* errorText, uint32_t errorTextSize,
                        uint32_t* systemError, StarBurnCommandFailure* failureOut, Body body) {
  const ErrorOut out{errorText, errorTextSize, systemError};
  out.Clear();
  if (failureOut != nullptr) *failureOut = StarBurnCommandFailure();
  Device* device = HandleTable::Instance().Find<Device>(handle);
  if (device == nullptr) return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "not a device handle");
  device->ClearFailure();
  const StarBurnStatus status = body(*device);
  if (status == STARBURN_OK) return STARBURN_OK;
  return ReportFailure(out, failureOut, device->LastFailure(), status);
}

// Opens a handle on drive (null: no such device, named by what for the
// message) and stores it in *handle.
StarBurnStatus OpenDeviceHandle(void** handle, const ErrorOut& out,
                                StarBurnCommandFailure* failureOut,
                                const std::shared_ptr<RegisteredDrive>& drive,
                                const std::string& what, bool shared, bool lockTray,
                                StarBurnCallback callback, void* context);

}  // namespace starburn
