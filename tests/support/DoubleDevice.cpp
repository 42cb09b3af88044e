// The double's drive and disc calls. Each records its call with its arguments
// and answers the scripted status, else what its fake drive would answer;
// opens make a handle of a fake drive. Outputs come from the drive as it is at
// the moment of the call; outputs of a failed call are left as the caller
// preset them.

#include <algorithm>
#include <cstring>

#include "support/SdkDouble.h"

using sdkdouble::Arguments;
using sdkdouble::FakeDrive;
using sdkdouble::SdkDouble;

namespace {

SdkDouble& D() { return SdkDouble::Get(); }

// SetSpeeds: this speed asks for the drive's maximum.
constexpr uint32_t kMaximumSpeed = 65535;
// Bytes of a data block: GetDiscFreeSpace's block count.
constexpr uint64_t kBlockBytes = 2048;

bool FindByName(const std::string& name, FakeDrive& drive) {
  for (auto& candidate : D().Drives()) {
    if (candidate.name == name) {
      drive = std::move(candidate);
      return true;
    }
  }
  return false;
}

// The drive of an open handle as it is now; false for a handle the double did
// not hand out or whose drive is gone.
bool DriveOf(void* device, FakeDrive& drive) {
  auto handle = D().Device(device);
  return handle != nullptr && FindByName(handle->drive, drive);
}

uint32_t FailureOf(const FakeDrive& drive, const std::string& function) {
  auto failure = drive.failures.find(function);
  return failure == drive.failures.end() ? uint32_t{STARBURN_OK} : failure->second;
}

// A device call: the drive's hook runs, then the call is recorded and
// answered (INVALID_ARGUMENT for an unknown handle, else the drive's own
// failure for the function or success). ok: the call answered success for a
// known drive, whose state is in drive.
struct DeviceAnswer {
  uint32_t status = STARBURN_OK;
  bool ok = false;
  FakeDrive drive;
};

DeviceAnswer DeviceCall(const char* function, const std::string& arguments, void* device,
                        uint32_t natural = STARBURN_OK) {
  DeviceAnswer answer;
  if (DriveOf(device, answer.drive) && answer.drive.onCall) answer.drive.onCall(function);
  const bool known = DriveOf(device, answer.drive);
  if (!known) {
    natural = STARBURN_STATUS_INVALID_ARGUMENT;
  } else if (FailureOf(answer.drive, function) != STARBURN_OK) {
    natural = FailureOf(answer.drive, function);
  }
  answer.status = D().Enter(function, arguments, natural);
  answer.ok = known && answer.status == STARBURN_OK;
  return answer;
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
  FakeDrive found;
  const bool exists = !drive.empty() && FindByName(drive, found);
  if (exists && found.onCall) found.onCall(function);
  uint32_t natural = exists ? FailureOf(found, function) : uint32_t{STARBURN_STATUS_NO_DEVICE};
  if (natural == STARBURN_OK) {
    D().WithDrive(drive, [&](FakeDrive& opened) {
      if (opened.opensLeft == 0) {
        natural = STARBURN_STATUS_NO_DEVICE;
      } else if (opened.opensLeft > 0) {
        --opened.opensLeft;
      }
    });
  }
  const uint32_t status = D().Enter(function, arguments, natural);
  if (status == STARBURN_OK && device != nullptr) {
    *device = D().OpenDevice(drive, callback, context);
  }
  return status;
}

// Copies text into a buffer of size bytes, terminated; false when it does not fit.
bool CopyText(const std::string& text, char* buffer, uint32_t size) {
  if (buffer == nullptr || text.size() + 1 > size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

uint32_t SpeedTaken(const FakeDrive& drive, uint32_t asked, uint32_t maximum) {
  if (asked == kMaximumSpeed) return maximum;
  if (drive.speedTaken) return drive.speedTaken(asked, maximum);
  return std::min(asked, maximum);
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
  FakeDrive drive;
  const bool found = !name.empty() && FindByName(name, drive);
  const std::string path =
      !found || drive.letter == 0 ? "" : std::string("\\\\.\\") + drive.letter + ":";
  uint32_t natural = path.empty() ? STARBURN_STATUS_NO_DEVICE : STARBURN_OK;
  if (natural == STARBURN_OK && path.size() + 1 > size) natural = STARBURN_STATUS_BUFFER_TOO_SMALL;
  const uint32_t status = D().Enter("StarBurn_GetDeviceNameByDeviceAddress",
                                    Arguments(port, bus, target, lun, size), natural);
  if (status == STARBURN_OK && natural == STARBURN_OK) CopyText(path, devicePath, size);
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

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void* device, char* vendor,
                                                               char* product, char* revision,
                                                               uint32_t textSize,
                                                               uint32_t* bufferSize) {
  FakeDrive drive;
  uint32_t natural = STARBURN_OK;
  if (DriveOf(device, drive) &&
      (drive.vendor.size() + 1 > textSize || drive.product.size() + 1 > textSize ||
       drive.revision.size() + 1 > textSize)) {
    natural = STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  const DeviceAnswer answer = DeviceCall("StarBurn_CdvdBurnerGrabber_GetDeviceInformation",
                                         Arguments(textSize), device, natural);
  if (answer.ok) {
    CopyText(answer.drive.vendor, vendor, textSize);
    CopyText(answer.drive.product, product, textSize);
    CopyText(answer.drive.revision, revision, textSize);
    if (bufferSize != nullptr) *bufferSize = answer.drive.bufferSize;
  }
  return answer.status;
}

int32_t StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* device) {
  FakeDrive drive;
  if (DriveOf(device, drive) && drive.onCall) {
    drive.onCall("StarBurn_CdvdBurnerGrabber_GetInsertedDiscType");
  }
  const int32_t type = DriveOf(device, drive) ? drive.discType : 14;
  D().Note("StarBurn_CdvdBurnerGrabber_GetInsertedDiscType", Arguments(type));
  return type;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscInformation(void* device, char*, uint32_t,
                                                             uint32_t*, StarBurnCommandFailure*,
                                                             uint8_t* info, uint32_t infoSize) {
  const DeviceAnswer answer =
      DeviceCall("StarBurn_CdvdBurnerGrabber_GetDiscInformation", Arguments(infoSize), device);
  if (answer.ok && info != nullptr) {
    std::memcpy(info, answer.drive.discInformation,
                std::min<std::size_t>(infoSize, sizeof answer.drive.discInformation));
  }
  return answer.status;
}

int32_t StarBurn_CdvdBurnerGrabber_MSFToLBA(void*, uint8_t minute, uint8_t second, uint8_t frame,
                                            uint8_t pregap) {
  D().Note("StarBurn_CdvdBurnerGrabber_MSFToLBA", Arguments(minute, second, frame, pregap));
  const int32_t frames = (minute * 60 + second) * 75 + frame;
  return pregap != 0 ? frames : frames - 150;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(
    void* device, StarBurnMediaFormats* formats) {
  const uint32_t size = formats == nullptr ? 0u : formats->size;
  const DeviceAnswer answer = DeviceCall(
      "StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats", Arguments(size), device,
      size < STARBURN_MEDIA_FORMATS_SIZE ? STARBURN_STATUS_INVALID_ARGUMENT : STARBURN_OK);
  if (answer.ok && size >= STARBURN_MEDIA_FORMATS_SIZE) {
    std::memcpy(formats->flags, answer.drive.mediaFormats, sizeof formats->flags);
  }
  return answer.status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
    void* device, char*, uint32_t, uint32_t*, StarBurnCommandFailure*, uint8_t* packet,
    uint8_t* trackAtOnce, uint8_t* sessionAtOnce, uint8_t* raw) {
  const DeviceAnswer answer =
      DeviceCall("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes", "", device);
  if (answer.ok) {
    uint8_t* const outputs[] = {packet, trackAtOnce, sessionAtOnce, raw};
    for (std::size_t k = 0; k < 4; ++k) {
      if (outputs[k] != nullptr) *outputs[k] = answer.drive.writeModes[k];
    }
  }
  return answer.status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_IsDiscBlank(void* device, char*, uint32_t, uint32_t*,
                                                      StarBurnCommandFailure*, uint8_t* isBlank) {
  const DeviceAnswer answer = DeviceCall("StarBurn_CdvdBurnerGrabber_IsDiscBlank", "", device);
  if (answer.ok && isBlank != nullptr) *isBlank = answer.drive.blank ? 1 : 0;
  return answer.status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(void* device, char*, uint32_t, uint32_t*,
                                                           StarBurnCommandFailure*,
                                                           uint64_t* usedBytes) {
  const DeviceAnswer answer = DeviceCall("StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace", "", device);
  if (answer.ok && usedBytes != nullptr) *usedBytes = answer.drive.usedBytes;
  return answer.status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(void* device, uint32_t kind,
                                                           uint32_t* freeBlocks,
                                                           uint64_t* freeBytes) {
  const DeviceAnswer answer =
      DeviceCall("StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace", Arguments(kind), device);
  if (answer.ok) {
    if (freeBlocks != nullptr) {
      *freeBlocks = static_cast<uint32_t>(answer.drive.freeBytes / kBlockBytes);
    }
    if (freeBytes != nullptr) *freeBytes = answer.drive.freeBytes;
  }
  return answer.status;
}

// Every track answers the drive's one track-information record.
StarBurnStatus StarBurn_CdvdBurnerGrabber_GetTrackInformation(void* device, char*, uint32_t,
                                                              uint32_t*, StarBurnCommandFailure*,
                                                              uint32_t track, uint8_t* info,
                                                              uint32_t infoSize) {
  const DeviceAnswer answer = DeviceCall("StarBurn_CdvdBurnerGrabber_GetTrackInformation",
                                         Arguments(track, infoSize), device);
  if (answer.ok && info != nullptr) {
    std::memcpy(info, answer.drive.trackInformation,
                std::min<std::size_t>(infoSize, sizeof answer.drive.trackInformation));
  }
  return answer.status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetSpeeds(void* device, char*, uint32_t, uint32_t*,
                                                    StarBurnCommandFailure*, uint32_t* currentRead,
                                                    uint32_t* maximumRead, uint32_t* currentWrite,
                                                    uint32_t* maximumWrite) {
  const DeviceAnswer answer = DeviceCall("StarBurn_CdvdBurnerGrabber_GetSpeeds", "", device);
  if (answer.ok) {
    if (currentRead != nullptr) *currentRead = answer.drive.currentReadSpeed;
    if (maximumRead != nullptr) *maximumRead = answer.drive.maximumReadSpeed;
    if (currentWrite != nullptr) *currentWrite = answer.drive.currentWriteSpeed;
    if (maximumWrite != nullptr) *maximumWrite = answer.drive.maximumWriteSpeed;
  }
  return answer.status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_SetSpeeds(void* device, char*, uint32_t, uint32_t*,
                                                    StarBurnCommandFailure*, uint32_t readSpeed,
                                                    uint32_t writeSpeed) {
  const DeviceAnswer answer =
      DeviceCall("StarBurn_CdvdBurnerGrabber_SetSpeeds", Arguments(readSpeed, writeSpeed), device);
  if (answer.ok) {
    D().WithDrive(answer.drive.name, [&](FakeDrive& drive) {
      drive.currentReadSpeed = SpeedTaken(drive, readSpeed, drive.maximumReadSpeed);
      drive.currentWriteSpeed = SpeedTaken(drive, writeSpeed, drive.maximumWriteSpeed);
    });
  }
  return answer.status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_TestUnitReady(void* device, char*, uint32_t, uint32_t*,
                                                        StarBurnCommandFailure*) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_TestUnitReady", "", device).status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetBUP(void* device, char*, uint32_t, uint32_t*,
                                                 StarBurnCommandFailure*, uint8_t*, uint32_t*) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_GetBUP", "", device).status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_SetBUP(void* device, char*, uint32_t, uint32_t*,
                                                 StarBurnCommandFailure*, uint32_t enable) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_SetBUP", Arguments(enable), device).status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
    void* device, char*, uint32_t, uint32_t*, StarBurnCommandFailure*, void*, uint8_t testWrite,
    uint8_t closeDisc, uint8_t multiSession, uint32_t dataMode, uint32_t writeRetries) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree",
                    Arguments(testWrite, closeDisc, multiSession, dataMode, writeRetries), device)
      .status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CloseSession(void* device, char*, uint32_t, uint32_t*,
                                                       StarBurnCommandFailure*) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_CloseSession", "", device).status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Eject(void* device, char*, uint32_t, uint32_t*,
                                                StarBurnCommandFailure*) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_Eject", "", device).status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_LoadEx(void* device, char*, uint32_t, uint32_t*,
                                                 StarBurnCommandFailure*, uint32_t wait) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_LoadEx", Arguments(wait), device).status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Blank(void* device, char*, uint32_t, uint32_t*,
                                                StarBurnCommandFailure*, uint32_t quick) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_Blank", Arguments(quick), device).status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastAddress(void* device, char*, uint32_t, uint32_t*,
                                                         StarBurnCommandFailure*, uint32_t*) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_GetLastAddress", "", device).status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(void* device, char*, uint32_t,
                                                            uint32_t*, StarBurnCommandFailure*,
                                                            uint8_t*, uint32_t recordSize) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_GetDiscFileSystem", Arguments(recordSize), device)
      .status;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastTrack(void* device, char*, uint32_t, uint32_t*,
                                                       StarBurnCommandFailure*, uint8_t*) {
  return DeviceCall("StarBurn_CdvdBurnerGrabber_GetLastTrack", "", device).status;
}

}  // extern "C"
