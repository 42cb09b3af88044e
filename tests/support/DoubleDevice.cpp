// The double's device calls. Opens make a handle of a fake drive; the drive's
// identity calls record their call and answer the scripted status, else what
// the fake drive would answer, its outputs taken from the drive as it is at
// the moment of the call. Every disc, recording and image-tree call fails:
// discs and images are the virtual drives' (tests/e2e).

#include <cstring>
#include <string>

#include "support/SdkDouble.h"

using sdkdouble::FakeDrive;
using sdkdouble::SdkDouble;

namespace {

SdkDouble& D() { return SdkDouble::Get(); }

// The drive of an open handle, its hook run first; false for a handle the
// double did not hand out or whose drive is gone.
bool DriveOf(void* device, const char* function, FakeDrive& drive) {
  const std::string name = D().DeviceDrive(device);
  if (!D().FindDrive(name, drive)) return false;
  if (drive.onCall) drive.onCall(function);
  return D().FindDrive(name, drive);
}

// A device call of a known drive answers its failure for the function, else
// natural; an unknown handle is an invalid argument.
uint32_t DeviceCall(const char* function, void* device, FakeDrive& drive,
                    uint32_t natural = STARBURN_OK) {
  if (!DriveOf(device, function, drive)) {
    natural = STARBURN_STATUS_INVALID_ARGUMENT;
  } else if (auto failure = drive.failures.find(function); failure != drive.failures.end()) {
    natural = failure->second;
  }
  return D().Enter(function, "", natural);
}

uint32_t Open(const char* function, const std::string& arguments, const std::string& name,
              void** device) {
  FakeDrive drive;
  uint32_t natural = STARBURN_STATUS_NO_DEVICE;
  if (D().FindDrive(name, drive)) {
    if (drive.onCall) drive.onCall(function);
    auto failure = drive.failures.find(function);
    natural = failure == drive.failures.end() ? uint32_t{STARBURN_OK} : failure->second;
    D().WithDrive(name, [&](FakeDrive& opened) {
      if (natural != STARBURN_OK || opened.opensLeft < 0) return;
      if (opened.opensLeft == 0) natural = STARBURN_STATUS_NO_DEVICE;
      if (opened.opensLeft > 0) --opened.opensLeft;
    });
  }
  const uint32_t status = D().Enter(function, arguments, natural);
  if (status == STARBURN_OK && device != nullptr) *device = D().OpenDevice(name);
  return status;
}

std::string DriveAt(uint8_t port, uint8_t bus, uint8_t target, uint8_t lun) {
  for (const auto& drive : D().Drives()) {
    const uint8_t* at = drive.address;
    if (at[1] == port && at[2] == bus && at[3] == target && at[4] == lun) return drive.name;
  }
  return std::string();
}

// Copies text into a buffer of size bytes, terminated; false when it does not fit.
bool CopyText(const std::string& text, char* buffer, uint32_t size) {
  if (buffer == nullptr || text.size() + 1 > size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

uint32_t Refused(const char* function) {
  return D().Enter(function, "", STARBURN_STATUS_COMMAND_FAILED);
}

}  // namespace

extern "C" {

StarBurnStatus StarBurn_FindDevice(uint32_t peripheralType, uint32_t flags,
                                   StarBurnCallback callback, void* context) {
  const uint32_t status = D().Enter("StarBurn_FindDevice",
                                    std::to_string(peripheralType) + ", " + std::to_string(flags));
  if (status != STARBURN_OK || callback == nullptr) return status;
  for (auto drive : D().Drives()) {  // a copy: no lock is held during the call-back
    callback(STARBURN_NOTIFY_DEVICE_FOUND, context, drive.address, nullptr);
  }
  return status;
}

StarBurnStatus StarBurn_GetDeviceNameByDeviceAddress(uint8_t port, uint8_t bus, uint8_t target,
                                                     uint8_t lun, char* devicePath, uint32_t size) {
  FakeDrive drive;
  const bool found = D().FindDrive(DriveAt(port, bus, target, lun), drive) && drive.letter != 0;
  const std::string path = found ? std::string("\\\\.\\") + drive.letter + ":" : "";
  const uint32_t status = D().Enter("StarBurn_GetDeviceNameByDeviceAddress", "",
                                    found ? STARBURN_OK : STARBURN_STATUS_NO_DEVICE);
  if (status != STARBURN_OK) return status;
  if (!CopyText(path, devicePath, size)) return STARBURN_STATUS_BUFFER_TOO_SMALL;
  return status;
}

StarBurnStatus StarBurn_SPTD_GetVersion(char*, uint32_t, char*, uint32_t, uint32_t*) {
  return D().Enter("StarBurn_SPTD_GetVersion", "", STARBURN_STATUS_NOT_SUPPORTED);
}

void StarBurn_SetFastReadTOC(uint8_t) {}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Create(void** device, char*, uint32_t, uint32_t*,
                                                 StarBurnCommandFailure*, StarBurnCallback, void*,
                                                 uint8_t port, uint8_t bus, uint8_t target,
                                                 uint8_t lun, uint32_t) {
  return Open("StarBurn_CdvdBurnerGrabber_Create", "", DriveAt(port, bus, target, lun), device);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateEx(void** device, char*, uint32_t, uint32_t*,
                                                   StarBurnCommandFailure*, StarBurnCallback, void*,
                                                   const char* deviceName, uint32_t) {
  const std::string name = deviceName == nullptr ? "" : deviceName;
  return Open("StarBurn_CdvdBurnerGrabber_CreateEx", name, name, device);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateExEx(void** device, char*, uint32_t, uint32_t*,
                                                     StarBurnCommandFailure*, StarBurnCallback,
                                                     void*, const StarBurnWChar* deviceName,
                                                     uint8_t, uint32_t) {
  std::string name;
  for (; deviceName != nullptr && *deviceName != 0; ++deviceName) {
    name.push_back(static_cast<char>(*deviceName));
  }
  return Open("StarBurn_CdvdBurnerGrabber_CreateExEx", name, name, device);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void* device, char* vendor,
                                                               char* product, char* revision,
                                                               uint32_t textSize, uint32_t*) {
  FakeDrive drive;
  const uint32_t status =
      DeviceCall("StarBurn_CdvdBurnerGrabber_GetDeviceInformation", device, drive);
  if (status != STARBURN_OK) return status;
  const bool fits = CopyText(drive.vendor, vendor, textSize) &&
                    CopyText(drive.product, product, textSize) &&
                    CopyText(drive.revision, revision, textSize);
  if (!fits) return STARBURN_STATUS_BUFFER_TOO_SMALL;
  return status;
}

int32_t StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* device) {
  FakeDrive drive;
  return DriveOf(device, "StarBurn_CdvdBurnerGrabber_GetInsertedDiscType", drive) ? drive.discType
                                                                                  : 14;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(
    void* device, StarBurnMediaFormats* formats) {
  FakeDrive drive;
  const uint32_t status =
      DeviceCall("StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats", device, drive);
  if (status == STARBURN_OK && formats != nullptr && formats->size >= STARBURN_MEDIA_FORMATS_SIZE) {
    std::memcpy(formats->flags, drive.mediaFormats, sizeof formats->flags);
  }
  return status;
}

int32_t StarBurn_CdvdBurnerGrabber_MSFToLBA(void*, uint8_t, uint8_t, uint8_t, uint8_t) { return 0; }

// The disc and recording calls.
#define HEAD void*, char*, uint32_t, uint32_t*, StarBurnCommandFailure*  // NOLINT
#define REFUSED(name, ...) \
  StarBurnStatus StarBurn_##name(__VA_ARGS__) { return Refused("StarBurn_" #name); }

REFUSED(CdvdBurnerGrabber_Blank, HEAD, uint32_t)
REFUSED(CdvdBurnerGrabber_CloseSession, HEAD)
REFUSED(CdvdBurnerGrabber_Eject, HEAD)
REFUSED(CdvdBurnerGrabber_GetBUP, HEAD, uint8_t*, uint32_t*)
REFUSED(CdvdBurnerGrabber_GetDiscFileSystem, HEAD, uint8_t*, uint32_t)
REFUSED(CdvdBurnerGrabber_GetDiscFreeSpace, void*, uint32_t, uint32_t*, uint64_t*)
REFUSED(CdvdBurnerGrabber_GetDiscInformation, HEAD, uint8_t*, uint32_t)
REFUSED(CdvdBurnerGrabber_GetDiscUsedSpace, HEAD, uint64_t*)
REFUSED(CdvdBurnerGrabber_GetLastAddress, HEAD, uint32_t*)
REFUSED(CdvdBurnerGrabber_GetLastTrack, HEAD, uint8_t*)
REFUSED(CdvdBurnerGrabber_GetSpeeds, HEAD, uint32_t*, uint32_t*, uint32_t*, uint32_t*)
REFUSED(CdvdBurnerGrabber_GetTrackInformation, HEAD, uint32_t, uint8_t*, uint32_t)
REFUSED(CdvdBurnerGrabber_IsDiscBlank, HEAD, uint8_t*)
REFUSED(CdvdBurnerGrabber_LoadEx, HEAD, uint32_t)
REFUSED(CdvdBurnerGrabber_ProbeSupportedWriteModes, HEAD, uint8_t*, uint8_t*, uint8_t*, uint8_t*)
REFUSED(CdvdBurnerGrabber_SetBUP, HEAD, uint32_t)
REFUSED(CdvdBurnerGrabber_SetSpeeds, HEAD, uint32_t, uint32_t)
REFUSED(CdvdBurnerGrabber_TestUnitReady, HEAD)
REFUSED(CdvdBurnerGrabber_TrackAtOnceFromTree, HEAD, void*, uint8_t, uint8_t, uint8_t, uint32_t,
        uint32_t)

REFUSED(ISO9660JolietFileTree_Create, void**, char*, uint32_t, uint32_t*, StarBurnCallback, void*,
        uint8_t, uint8_t, uint8_t, uint32_t)
REFUSED(ISO9660JolietFileTree_ImportTrack, void*, void*, uint8_t, uint8_t, char*, uint32_t,
        uint32_t*)
REFUSED(ISO9660JolietFileTree_Add, void*, char*, uint32_t, uint32_t*, const char*, const char*,
        uint32_t, void**, void**)
REFUSED(ISO9660JolietFileTree_AddFileWithStatus, void*, char*, uint32_t, uint32_t*, const char*,
        const char*, uint64_t, int64_t, void**, void**)
REFUSED(ISO9660JolietFileTree_RemoveImported, void*, void*, char*, uint32_t)
REFUSED(ISO9660JolietFileTree_BuildImage, void*, char*, uint32_t, uint32_t*, uint32_t, uint32_t,
        uint32_t, const char*, const char*, const char*)
REFUSED(ISO9660JolietFileTree_GetNames, void*, void*, char*, char*, char*, uint32_t)
void* StarBurn_ISO9660JolietFileTree_GetRoot(void*) { return nullptr; }
void* StarBurn_ISO9660JolietFileTree_GetFirstKid(void*, void*) { return nullptr; }
void* StarBurn_ISO9660JolietFileTree_GetNextKid(void*, void*, void*) { return nullptr; }
uint32_t StarBurn_ISO9660JolietFileTree_GetAttributes(void*, void*) { return 0; }
uint32_t StarBurn_ISO9660JolietFileTree_GetNodePowerInUCHARs(void*, void*, uint32_t*) { return 0; }

}  // extern "C"
