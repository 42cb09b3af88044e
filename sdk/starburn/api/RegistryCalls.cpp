// Virtual drives, discovery and the device registry's answers for the
// Windows stand-in.

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "api/DeviceCallSupport.h"
#include "api/SdkState.h"
#include "devices/DeviceRegistry.h"
#include "starburn/StarBurn.h"
#include "virtual/VirtualDriveList.h"

using starburn::DeviceRegistry;
using starburn::ErrorOut;

namespace {

// The fast-TOC setting. The SDK always reads only what it needs of the table
// of contents (the last session's start for an import), so the setting is
// kept for callers that read it back but changes nothing.
std::atomic<uint8_t> fastReadToc{0};

// Texts of StarBurn_SPTD_GetVersion: this SDK reaches drives directly, so a
// 16-bit device name (StarBurn_CdvdBurnerGrabber_CreateExEx) works without a
// separate pass-through driver.
constexpr const char* kDirectAccessVersion = "StarBurn direct access 1.0";
constexpr uint32_t kDirectAccessVersionNumber = 0x00010000;  // 1.0

}  // namespace

extern "C" {

StarBurnStatus StarBurn_AttachVirtualDrives(const char* drives, char* errorText,
                                            uint32_t errorTextSize) {
  const ErrorOut out{errorText, errorTextSize, nullptr};
  out.Clear();
  if (drives == nullptr) return out.Fail(STARBURN_STATUS_INVALID_ARGUMENT, "no drive list");
  std::string error;
  starburn::DriveModel model;
  StarBurnStatus status = starburn::VirtualDriveModel(&model, &error);
  if (status == STARBURN_OK) status = starburn::AttachVirtualDriveList(drives, model, &error);
  if (status != STARBURN_OK) return out.Fail(status, error);
  return STARBURN_OK;
}

StarBurnStatus StarBurn_GetDeviceTargetByLetter(char letter, char* target, uint32_t targetSize) {
  if (target != nullptr && targetSize > 0) target[0] = '\0';
  const auto drive = DeviceRegistry::Instance().FindByLetter(letter);
  if (drive == nullptr) return STARBURN_STATUS_NO_DEVICE;
  if (!starburn::CopyText("\\Device\\" + drive->Name(), target, targetSize)) {
    return STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  return STARBURN_OK;
}

StarBurnStatus StarBurn_GetVolumeLabelByLetter(char letter, StarBurnWChar* label,
                                               uint32_t labelSize) {
  if (label == nullptr || labelSize == 0) return STARBURN_STATUS_INVALID_ARGUMENT;
  label[0] = 0;
  const auto drive = DeviceRegistry::Instance().FindByLetter(letter);
  if (drive == nullptr) return STARBURN_STATUS_NO_DEVICE;
  if (!starburn::IsStarted()) return STARBURN_STATUS_NOT_STARTED;
  std::unique_ptr<starburn::Device> device;
  starburn::CommandFailure failure;
  StarBurnStatus status =
      starburn::Device::Open(drive, true, false, nullptr, nullptr, &device, &failure);
  if (status != STARBURN_OK) return status;
  std::u16string text;
  status = device->GetVolumeLabel(&text);
  if (status != STARBURN_OK) return status;
  if (text.size() + 1 > labelSize) return STARBURN_STATUS_BUFFER_TOO_SMALL;
  std::memcpy(label, text.c_str(), (text.size() + 1) * sizeof(StarBurnWChar));
  return STARBURN_OK;
}

StarBurnStatus StarBurn_AbortDeviceWrite(const char* deviceName) {
  if (deviceName == nullptr) {
    bool any = false;
    for (const auto& drive : DeviceRegistry::Instance().Drives())
      any = drive->RequestAbort() || any;
    return any ? STARBURN_OK : STARBURN_STATUS_WRONG_STATE;
  }
  const auto drive = DeviceRegistry::Instance().FindByName(deviceName);
  if (drive == nullptr) return STARBURN_STATUS_NO_DEVICE;
  return drive->RequestAbort() ? STARBURN_OK : STARBURN_STATUS_WRONG_STATE;
}

StarBurnStatus StarBurn_FindDevice(uint32_t peripheralType, uint32_t flags,
                                   StarBurnCallback callback, void* context) {
  if (!starburn::IsStarted()) return STARBURN_STATUS_NOT_STARTED;
  if (flags != 0 || callback == nullptr) return STARBURN_STATUS_INVALID_ARGUMENT;
  if (peripheralType != STARBURN_PERIPHERAL_CDROM) return STARBURN_OK;  // no other kind here
  for (const auto& drive : DeviceRegistry::Instance().Drives()) {       // a copy: no lock held
    uint8_t address[STARBURN_DEVICE_ADDRESS_SIZE];
    std::memcpy(address, drive->Address(), sizeof address);
    callback(STARBURN_NOTIFY_DEVICE_FOUND, context, address, nullptr);
  }
  return STARBURN_OK;
}

StarBurnStatus StarBurn_GetUnusableDevice(uint32_t index, char* node, uint32_t nodeSize,
                                          StarBurnStatus* status, char* reason,
                                          uint32_t reasonSize) {
  if (node != nullptr && nodeSize > 0) node[0] = '\0';
  if (reason != nullptr && reasonSize > 0) reason[0] = '\0';
  if (status != nullptr) *status = STARBURN_OK;
  const std::vector<starburn::SkippedNode> skipped = DeviceRegistry::Instance().Skipped();
  if (index >= skipped.size()) return STARBURN_STATUS_NOT_FOUND;
  const starburn::SkippedNode& entry = skipped[index];
  if ((node != nullptr && !starburn::CopyText(entry.node, node, nodeSize)) ||
      (reason != nullptr && !starburn::CopyText(entry.reason, reason, reasonSize))) {
    if (node != nullptr && nodeSize > 0) node[0] = '\0';
    if (reason != nullptr && reasonSize > 0) reason[0] = '\0';
    return STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  if (status != nullptr) *status = entry.status;
  return STARBURN_OK;
}

StarBurnStatus StarBurn_GetDeviceNameByDeviceAddress(uint8_t port, uint8_t bus, uint8_t target,
                                                     uint8_t lun, char* devicePath,
                                                     uint32_t devicePathSize) {
  if (devicePath != nullptr && devicePathSize > 0) devicePath[0] = '\0';
  const auto drive = DeviceRegistry::Instance().FindByAddress(port, bus, target, lun);
  if (drive == nullptr || drive->Letter() == 0) return STARBURN_STATUS_NO_DEVICE;
  const std::string path = std::string("\\\\.\\") + drive->Letter() + ":";
  return starburn::CopyText(path, devicePath, devicePathSize) ? STARBURN_OK
                                                              : STARBURN_STATUS_BUFFER_TOO_SMALL;
}

StarBurnStatus StarBurn_SPTD_GetVersion(char* driverVersion, uint32_t driverVersionSize,
                                        char* layerVersion, uint32_t layerVersionSize,
                                        uint32_t* version) {
  if (driverVersion != nullptr &&
      !starburn::CopyText(kDirectAccessVersion, driverVersion, driverVersionSize)) {
    return STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  if (layerVersion != nullptr &&
      !starburn::CopyText(kDirectAccessVersion, layerVersion, layerVersionSize)) {
    return STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  if (version != nullptr) *version = kDirectAccessVersionNumber;
  return STARBURN_OK;
}

void StarBurn_SetFastReadTOC(uint8_t enable) { fastReadToc = enable != 0 ? 1 : 0; }

}  // extern "C"
