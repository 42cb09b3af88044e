// Start-up, shut-down, handles and status texts.

#include <mutex>
#include <string>

#include "api/SdkState.h"
#include "common/Environment.h"
#include "common/ErrorOut.h"
#include "common/Object.h"
#include "devices/DeviceRegistry.h"
#include "devices/Discovery.h"
#include "starburn/StarBurn.h"
#include "virtual/VirtualDriveList.h"

namespace starburn {

namespace {

std::mutex startMutex;
unsigned startCount = 0;       // guarded by startMutex
bool environmentRead = false;  // guarded by startMutex: the virtual and real drives are attached

// The environment variable that lists virtual drives (VirtualDriveList.h).
constexpr const char* kVirtualDrivesVariable = "STARBURN_VIRTUAL_DRIVES";
// The environment variable that, set to "0", keeps the real drives out (a
// test or a demo that wants only its virtual drives on a machine with one).
constexpr const char* kRealDrivesVariable = "STARBURN_REAL_DRIVES";

bool RealDrivesWanted() {
  std::string value;
  return !ReadEnvironment(kRealDrivesVariable, &value) || value != "0";
}

}  // namespace

bool IsStarted() {
  std::lock_guard<std::mutex> lock(startMutex);
  return startCount > 0;
}

}  // namespace starburn

using starburn::ErrorOut;

extern "C" {

StarBurnStatus StarBurn_UpStartEx(char* errorText, uint32_t errorTextSize) {
  ErrorOut error{errorText, errorTextSize, nullptr};
  error.Clear();
  std::lock_guard<std::mutex> lock(starburn::startMutex);
  // The first start attaches the virtual drives the environment lists, all or
  // none, and then the real drives of the machine; a start that refuses the
  // list counts as no start, so the next one reads the variable again. A
  // machine without drives, or whose drives cannot be used, starts all the
  // same (StarBurn_GetUnusableDevice tells why a drive is missing).
  if (!starburn::environmentRead) {
    std::string list;
    std::string problem;
    if (starburn::ReadEnvironment(starburn::kVirtualDrivesVariable, &list) && !list.empty()) {
      starburn::DriveModel model;
      if (starburn::VirtualDriveModel(&model, &problem) != STARBURN_OK) {
        return error.Fail(STARBURN_STATUS_BAD_CONFIGURATION, problem);
      }
      if (starburn::AttachVirtualDriveList(list, model, &problem) != STARBURN_OK) {
        return error.Fail(STARBURN_STATUS_BAD_CONFIGURATION,
                          std::string(starburn::kVirtualDrivesVariable) + ": " + problem);
      }
    }
    if (starburn::RealDrivesWanted()) {
      starburn::DeviceRegistry::Instance().AttachDiscovered(starburn::DiscoverSystemDrives());
    }
    starburn::environmentRead = true;
  }
  ++starburn::startCount;
  return STARBURN_OK;
}

StarBurnStatus StarBurn_DownShut(void) {
  std::lock_guard<std::mutex> lock(starburn::startMutex);
  if (starburn::startCount == 0) return STARBURN_STATUS_NOT_STARTED;
  --starburn::startCount;
  return STARBURN_OK;
}

void StarBurn_Destroy(void** handle) { starburn::HandleTable::Instance().Destroy(handle); }

const char* StarBurn_GetStatusText(StarBurnStatus status) {
  switch (status) {
    case STARBURN_OK:
      return "success";
    case STARBURN_STATUS_FAILED:
      return "failed";
    case STARBURN_STATUS_INVALID_ARGUMENT:
      return "invalid argument";
    case STARBURN_STATUS_OUT_OF_MEMORY:
      return "out of memory";
    case STARBURN_STATUS_NOT_SUPPORTED:
      return "not supported";
    case STARBURN_STATUS_COMMAND_FAILED:
      return "the drive failed the command";
    case STARBURN_STATUS_NO_DEVICE:
      return "no such device";
    case STARBURN_STATUS_NOT_READY:
      return "the drive is not ready";
    case STARBURN_STATUS_INCOMPATIBLE_MEDIUM:
      return "the disc cannot do that";
    case STARBURN_STATUS_IO_ERROR:
      return "input/output error";
    case STARBURN_STATUS_SOURCE_CHANGED:
      return "a source file changed after it was added";
    case STARBURN_STATUS_NO_SPACE:
      return "not enough space on the disc";
    case STARBURN_STATUS_BAD_FILE_SYSTEM:
      return "the disc's file system is malformed";
    case STARBURN_STATUS_NAME_CLASH:
      return "a name could not be made unique";
    case STARBURN_STATUS_CANCELLED:
      return "aborted";
    case STARBURN_STATUS_DEVICE_GONE:
      return "the drive disappeared";
    case STARBURN_STATUS_TIMEOUT:
      return "the drive did not answer in time";
    case STARBURN_STATUS_BAD_CONFIGURATION:
      return "invalid virtual-drive list";
    case STARBURN_STATUS_NOT_FOUND:
      return "not found";
    case STARBURN_STATUS_LIMIT_EXCEEDED:
      return "a limit was reached";
    case STARBURN_STATUS_PERMISSION_DENIED:
      return "permission denied";
    case STARBURN_STATUS_BUFFER_TOO_SMALL:
      return "buffer too small";
    case STARBURN_STATUS_NOT_STARTED:
      return "the SDK is not started";
    case STARBURN_STATUS_WRONG_STATE:
      return "wrong state for this call";
    case STARBURN_STATUS_DEVICE_BUSY:
      return "the drive is in use";
    default:
      return "unknown status";
  }
}

}  // extern "C"
