// The double's drive and disc calls. Each records its call with its arguments
// and answers the scripted status; opens make a handle of a fake drive.
// Outputs not modelled yet are left as the caller preset them.

#include <cstring>

#include "support/SdkDouble.h"

using sdkdouble::Arguments;
using sdkdouble::SdkDouble;

namespace {

SdkDouble& D() { return SdkDouble::Get(); }

// INVALID_ARGUMENT for a handle the double did not hand out.
uint32_t Known(void* device) {
  return D().Device(device) != nullptr ? STARBURN_OK : STARBURN_STATUS_INVALID_ARGUMENT;
}

std::string Ascii(const StarBurnWChar* name) {
  std::string text;
  for (; name != nullptr && *name != 0; ++name) text.push_back(static_cast<char>(*name));
  return text;
}

std::string DriveAt(uint8_t port, uint8_t bus, uint8_t target, uint8_t lun) {
  for (const auto& drive : D().Drives()) {
    if (drive.address[1] == port && drive.address[2] == bus && drive.address[3] == target &&
        drive.address[4] == lun) {
      return drive.name;
    }
  }
  return std::string();
}

uint32_t Open(const char* function, const std::string& arguments, const std::string& drive,
              void** device, StarBurnCallback callback, void* context) {
  const uint32_t natural =
      drive.empty() || D().FindDrive(drive) == nullptr ? STARBURN_STATUS_NO_DEVICE : STARBURN_OK;
  const uint32_t status = D().Enter(function, arguments, natural);
  if (status == STARBURN_OK && device != nullptr) {
    *device = D().OpenDevice(drive, callback, context);
  }
  return status;
}

}  // namespace

extern "C" {

StarBurnStatus StarBurn_FindDevice(uint32_t peripheralType, uint32_t flags,
                                   StarBurnCallback callback, void* context) {
  const uint32_t status = D().Enter("StarBurn_FindDevice", Arguments(peripheralType, flags));
  if (status != STARBURN_OK || callback == nullptr) return status;
  for (auto drive : D().Drives()) {  // a copy: no lock is held during the call-back
    callback(STARBURN_NOTIFY_DEVICE_FOUND, context, drive.address, nullptr);
  }
  return status;
}

StarBurnStatus StarBurn_GetDeviceNameByDeviceAddress(uint8_t port, uint8_t bus, uint8_t target,
                                                     uint8_t lun, char* devicePath, uint32_t size) {
  const std::string name = DriveAt(port, bus, target, lun);
  const sdkdouble::FakeDrive* drive = name.empty() ? nullptr : D().FindDrive(name);
  const std::string path =
      drive == nullptr || drive->letter == 0 ? "" : std::string("\\\\.\\") + drive->letter + ":";
  uint32_t natural = path.empty() ? STARBURN_STATUS_NO_DEVICE : STARBURN_OK;
  if (natural == STARBURN_OK && path.size() + 1 > size) natural = STARBURN_STATUS_BUFFER_TOO_SMALL;
  const uint32_t status = D().Enter("StarBurn_GetDeviceNameByDeviceAddress",
                                    Arguments(port, bus, target, lun, size), natural);
  if (status == STARBURN_OK && natural == STARBURN_OK) {
    std::memcpy(devicePath, path.c_str(), path.size() + 1);
  }
  return status;
}

StarBurnStatus StarBurn_SPTD_GetVersion(char* text1, uint32_t size1, char* text2, uint32_t size2,
                                        uint32_t* version) {
  return D().Enter("StarBurn_SPTD_GetVersion", Arguments(size1, size2),
                   STARBURN_STATUS_NOT_SUPPORTED);
}

void StarBurn_SetFastReadTOC(uint8_t enable) {
  D().Note("StarBurn_SetFastReadTOC", Arguments(enable));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Create(void** device, char*, uint32_t errorTextSize,
                                                 uint32_t*, StarBurnCommandFailure*,
                                                 StarBurnCallback callback, void* context,
                                                 uint8_t port, uint8_t bus, uint8_t target,
                                                 uint8_t lun, uint32_t shared) {
  return Open("StarBurn_CdvdBurnerGrabber_Create",
              Arguments(errorTextSize, port, bus, target, lun, shared),
              DriveAt(port, bus, target, lun), device, callback, context);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateEx(void** device, char*, uint32_t errorTextSize,
                                                   uint32_t*, StarBurnCommandFailure*,
                                                   StarBurnCallback callback, void* context,
                                                   const char* deviceName, uint32_t shared) {
  const std::string name = deviceName == nullptr ? "" : deviceName;
  return Open("StarBurn_CdvdBurnerGrabber_CreateEx", Arguments(errorTextSize, name, shared), name,
              device, callback, context);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateExEx(void** device, char*, uint32_t errorTextSize,
                                                     uint32_t*, StarBurnCommandFailure*,
                                                     StarBurnCallback callback, void* context,
                                                     const StarBurnWChar* deviceName,
                                                     uint8_t lockTray, uint32_t shared) {
  const std::string name = Ascii(deviceName);
  return Open("StarBurn_CdvdBurnerGrabber_CreateExEx",
              Arguments(errorTextSize, name, lockTray, shared), name, device, callback, context);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void* device, char*, char*, char*,
                                                               uint32_t textSize, uint32_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetDeviceInformation", Arguments(textSize),
                   Known(device));
}

int32_t StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* device) {
  auto handle = D().Device(device);
  const sdkdouble::FakeDrive* drive = handle == nullptr ? nullptr : D().FindDrive(handle->drive);
  const int32_t type = drive == nullptr ? 14 : drive->discType;
  D().Note("StarBurn_CdvdBurnerGrabber_GetInsertedDiscType", Arguments(type));
  return type;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscInformation(void* device, char*, uint32_t,
                                                             uint32_t*, StarBurnCommandFailure*,
                                                             uint8_t*, uint32_t infoSize) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetDiscInformation", Arguments(infoSize),
                   Known(device));
}

int32_t StarBurn_CdvdBurnerGrabber_MSFToLBA(void*, uint8_t minute, uint8_t second, uint8_t frame,
                                            uint8_t pregap) {
  D().Note("StarBurn_CdvdBurnerGrabber_MSFToLBA", Arguments(minute, second, frame, pregap));
  const int32_t frames = (minute * 60 + second) * 75 + frame;
  return pregap != 0 ? frames : frames - 150;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(
    void* device, StarBurnMediaFormats* formats) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats",
                   Arguments(formats == nullptr ? 0u : formats->size), Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(void* device, char*, uint32_t,
                                                                   uint32_t*,
                                                                   StarBurnCommandFailure*,
                                                                   uint8_t*, uint8_t*, uint8_t*,
                                                                   uint8_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_IsDiscBlank(void* device, char*, uint32_t, uint32_t*,
                                                      StarBurnCommandFailure*, uint8_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_IsDiscBlank", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(void* device, char*, uint32_t, uint32_t*,
                                                           StarBurnCommandFailure*, uint64_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(void* device, uint32_t kind, uint32_t*,
                                                           uint64_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace", Arguments(kind), Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetTrackInformation(void* device, char*, uint32_t,
                                                              uint32_t*, StarBurnCommandFailure*,
                                                              uint32_t track, uint8_t*,
                                                              uint32_t infoSize) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetTrackInformation", Arguments(track, infoSize),
                   Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetSpeeds(void* device, char*, uint32_t, uint32_t*,
                                                    StarBurnCommandFailure*, uint32_t*, uint32_t*,
                                                    uint32_t*, uint32_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetSpeeds", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_SetSpeeds(void* device, char*, uint32_t, uint32_t*,
                                                    StarBurnCommandFailure*, uint32_t readSpeed,
                                                    uint32_t writeSpeed) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_SetSpeeds", Arguments(readSpeed, writeSpeed),
                   Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_TestUnitReady(void* device, char*, uint32_t, uint32_t*,
                                                        StarBurnCommandFailure*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_TestUnitReady", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetBUP(void* device, char*, uint32_t, uint32_t*,
                                                 StarBurnCommandFailure*, uint8_t*, uint32_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetBUP", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_SetBUP(void* device, char*, uint32_t, uint32_t*,
                                                 StarBurnCommandFailure*, uint32_t enable) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_SetBUP", Arguments(enable), Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
    void* device, char*, uint32_t, uint32_t*, StarBurnCommandFailure*, void*, uint8_t testWrite,
    uint8_t closeDisc, uint8_t multiSession, uint32_t dataMode, uint32_t writeRetries) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree",
                   Arguments(testWrite, closeDisc, multiSession, dataMode, writeRetries),
                   Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CloseSession(void* device, char*, uint32_t, uint32_t*,
                                                       StarBurnCommandFailure*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_CloseSession", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Eject(void* device, char*, uint32_t, uint32_t*,
                                                StarBurnCommandFailure*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_Eject", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_LoadEx(void* device, char*, uint32_t, uint32_t*,
                                                 StarBurnCommandFailure*, uint32_t wait) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_LoadEx", Arguments(wait), Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Blank(void* device, char*, uint32_t, uint32_t*,
                                                StarBurnCommandFailure*, uint32_t quick) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_Blank", Arguments(quick), Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastAddress(void* device, char*, uint32_t, uint32_t*,
                                                         StarBurnCommandFailure*, uint32_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetLastAddress", "", Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(void* device, char*, uint32_t,
                                                            uint32_t*, StarBurnCommandFailure*,
                                                            uint8_t*, uint32_t recordSize) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetDiscFileSystem", Arguments(recordSize),
                   Known(device));
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastTrack(void* device, char*, uint32_t, uint32_t*,
                                                       StarBurnCommandFailure*, uint8_t*) {
  return D().Enter("StarBurn_CdvdBurnerGrabber_GetLastTrack", "", Known(device));
}

}  // extern "C"
