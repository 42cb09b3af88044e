#include "api/DeviceCallSupport.h"

#include "api/SdkState.h"

namespace starburn {

StarBurnStatus ReportFailure(const ErrorOut& out, StarBurnCommandFailure* failureOut,
                             const CommandFailure& failure, StarBurnStatus status) {
  if (failureOut != nullptr && failure.fromDrive) *failureOut = failure.record;
  const std::string message =
      failure.message.empty() ? StarBurn_GetStatusText(status) : failure.message;
  return out.Fail(status, message, failure.systemError);
}

StarBurnStatus OpenDeviceHandle(void** handle, const ErrorOut& out,
                                StarBurnCommandFailure* failureOut,
                                const std::shared_ptr<RegisteredDrive>& drive,
                                const std::string& what, bool shared, bool lockTray,
                                StarBurnCallback callback, void* context) {
  out.Clear();
  if (failureOut != nullptr) *failureOut = StarBurnCommandFailure();
  if (handle == nullptr) return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "no handle to fill");
  *handle = nullptr;
  if (!IsStarted()) {
    return out.Fail(STARBURN_STATUS_NOT_STARTED, "StarBurn_UpStartEx has not succeeded");
  }
  if (drive == nullptr) return out.Fail(STARBURN_STATUS_NO_DEVICE, "no device " + what);
  std::unique_ptr<Device> device;
  CommandFailure failure;
  const StarBurnStatus status =
      Device::Open(drive, shared, lockTray, callback, context, &device, &failure);
  if (status != STARBURN_OK) return ReportFailure(out, failureOut, failure, status);
  *handle = HandleTable::Instance().Add(device.release());
  return STARBURN_OK;
}

}  // namespace starburn
