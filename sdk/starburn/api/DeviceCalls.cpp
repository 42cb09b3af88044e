// The device calls: opening drives and every drive and disc call, each a thin
// shell around Device.

#include <cstring>
#include <string>

#include "api/DeviceCallSupport.h"
#include "common/FileImage.h"
#include "devices/DeviceRegistry.h"
#include "starburn/StarBurn.h"

using starburn::Device;
using starburn::DeviceRegistry;
using starburn::ErrorOut;
using starburn::HandleTable;
using starburn::OnDevice;
using starburn::OpenDeviceHandle;

namespace {

// A 16-bit device name as UTF-8 (device names are ASCII: "CdRom0").
std::string Narrow(const StarBurnWChar* name) {
  std::string text;
  for (; name != nullptr && *name != 0; ++name) {
    const uint32_t unit = *name;
    if (unit < 0x80) {
      text.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
      text.push_back(static_cast<char>(0xC0 | (unit >> 6)));
      text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
      text.push_back(static_cast<char>(0xE0 | (unit >> 12)));
      text.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
      text.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  return text;
}

std::string AddressText(uint8_t port, uint8_t bus, uint8_t target, uint8_t lun) {
  return "at " + std::to_string(port) + ":" + std::to_string(bus) + ":" + std::to_string(target) +
         ":" + std::to_string(lun);
}

}  // namespace

extern "C" {

StarBurnStatus StarBurn_CdvdBurnerGrabber_Create(void** device, char* errorText,
                                                 uint32_t errorTextSize, uint32_t* systemError,
                                                 StarBurnCommandFailure* failure,
                                                 StarBurnCallback callback, void* context,
                                                 uint8_t port, uint8_t bus, uint8_t target,
                                                 uint8_t lun, uint32_t shared) {
  return OpenDeviceHandle(device, ErrorOut{errorText, errorTextSize, systemError}, failure,
                          DeviceRegistry::Instance().FindByAddress(port, bus, target, lun),
                          AddressText(port, bus, target, lun), shared != 0, false, callback,
                          context);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateEx(void** device, char* errorText,
                                                   uint32_t errorTextSize, uint32_t* systemError,
                                                   StarBurnCommandFailure* failure,
                                                   StarBurnCallback callback, void* context,
                                                   const char* deviceName, uint32_t shared) {
  const std::string name = deviceName == nullptr ? "" : deviceName;
  return OpenDeviceHandle(device, ErrorOut{errorText, errorTextSize, systemError}, failure,
                          DeviceRegistry::Instance().FindByName(name), "\"" + name + "\"",
                          shared != 0, false, callback, context);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CreateExEx(void** device, char* errorText,
                                                     uint32_t errorTextSize, uint32_t* systemError,
                                                     StarBurnCommandFailure* failure,
                                                     StarBurnCallback callback, void* context,
                                                     const StarBurnWChar* deviceName,
                                                     uint8_t lockTray, uint32_t shared) {
  const std::string name = Narrow(deviceName);
  return OpenDeviceHandle(device, ErrorOut{errorText, errorTextSize, systemError}, failure,
                          DeviceRegistry::Instance().FindByName(name), "\"" + name + "\"",
                          shared != 0, lockTray != 0, callback, context);
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void* handle, char* vendor,
                                                               char* product, char* revision,
                                                               uint32_t textSize,
                                                               uint32_t* bufferSize) {
  for (char* text : {vendor, product, revision}) {
    if (text != nullptr && textSize > 0) text[0] = '\0';
  }
  return OnDevice(handle, nullptr, 0, nullptr, nullptr, [&](Device& device) -> StarBurnStatus {
    starburn::InquiryData identity;
    uint32_t buffer = 0;
    const StarBurnStatus status = device.GetDeviceInformation(&identity, &buffer);
    if (status != STARBURN_OK) return status;
    const struct {
      char* to;
      const std::string& text;
    } texts[] = {
        {vendor, identity.vendor}, {product, identity.product}, {revision, identity.revision}};
    for (const auto& text : texts) {
      if (text.to != nullptr && !starburn::CopyText(text.text, text.to, textSize)) {
        return device.Refuse(STARBURN_STATUS_BUFFER_TOO_SMALL,
                             "an identification text does not fit its buffer");
      }
    }
    if (bufferSize != nullptr) *bufferSize = buffer;
    return STARBURN_OK;
  });
}

int32_t StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* handle) {
  Device* device = HandleTable::Instance().Find<Device>(handle);
  return device == nullptr ? starburn::kDiscTypeNone : device->InsertedDiscType();
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscInformation(void* handle, char* errorText,
                                                             uint32_t errorTextSize,
                                                             uint32_t* systemError,
                                                             StarBurnCommandFailure* failure,
                                                             uint8_t* info, uint32_t infoSize) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    if (info == nullptr || infoSize == 0) {
                      return device.Refuse(STARBURN_STATUS_INVALID_ARGUMENT,
                                           "no disc-information buffer");
                    }
                    std::memset(info, 0, infoSize);
                    starburn::DiscInformation disc;
                    const StarBurnStatus status = device.GetDiscInformation(&disc);
                    if (status == STARBURN_OK)
                      std::memcpy(info, disc.raw, std::min(infoSize, disc.rawLength));
                    return status;
                  });
}

int32_t StarBurn_CdvdBurnerGrabber_MSFToLBA(void*, uint8_t minute, uint8_t second, uint8_t frame,
                                            uint8_t pregap) {
  // 75 frames a second; a disc address starts after the 2-second lead-in gap.
  const int32_t frames = (minute * 60 + second) * 75 + frame;
  return pregap != 0 ? frames : frames - 150;
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(
    void* handle, StarBurnMediaFormats* formats) {
  return OnDevice(handle, nullptr, 0, nullptr, nullptr, [&](Device& device) -> StarBurnStatus {
    if (formats == nullptr || formats->size < STARBURN_MEDIA_FORMATS_SIZE) {
      return device.Refuse(STARBURN_STATUS_INVALID_ARGUMENT,
                           "the media-format block needs a size of at least 46");
    }
    return device.GetMediaFormats(formats->flags);
  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
    void* handle, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint8_t* packet, uint8_t* trackAtOnce, uint8_t* sessionAtOnce,
    uint8_t* raw) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    starburn::WriteModes modes;
                    const StarBurnStatus status = device.ProbeWriteModes(&modes);
                    if (status != STARBURN_OK) return status;
                    if (packet != nullptr) *packet = modes.packet ? 1 : 0;
                    if (trackAtOnce != nullptr) *trackAtOnce = modes.trackAtOnce ? 1 : 0;
                    if (sessionAtOnce != nullptr) *sessionAtOnce = modes.sessionAtOnce ? 1 : 0;
                    if (raw != nullptr) *raw = modes.raw ? 1 : 0;
                    return STARBURN_OK;
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_IsDiscBlank(void* handle, char* errorText,
                                                      uint32_t errorTextSize, uint32_t* systemError,
                                                      StarBurnCommandFailure* failure,
                                                      uint8_t* isBlank) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    bool blank = false;
                    const StarBurnStatus status = device.IsDiscBlank(&blank);
                    if (status == STARBURN_OK && isBlank != nullptr) *isBlank = blank ? 1 : 0;
                    return status;
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(void* handle, char* errorText,
                                                           uint32_t errorTextSize,
                                                           uint32_t* systemError,
                                                           StarBurnCommandFailure* failure,
                                                           uint64_t* usedBytes) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    uint64_t bytes = 0;
                    const StarBurnStatus status = device.GetUsedSpace(&bytes);
                    if (status == STARBURN_OK && usedBytes != nullptr) *usedBytes = bytes;
                    return status;
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(void* handle, uint32_t kind,
                                                           uint32_t* freeBlocks,
                                                           uint64_t* freeBytes) {
  return OnDevice(handle, nullptr, 0, nullptr, nullptr, [&](Device& device) -> StarBurnStatus {
    if (kind != STARBURN_FREE_SPACE_NEW_SESSION) {
      return device.Refuse(STARBURN_STATUS_INVALID_ARGUMENT, "unknown kind of free space");
    }
    uint32_t blocks = 0;
    uint64_t bytes = 0;
    const StarBurnStatus status = device.GetFreeSpace(&blocks, &bytes);
    if (status != STARBURN_OK) return status;
    if (freeBlocks != nullptr) *freeBlocks = blocks;
    if (freeBytes != nullptr) *freeBytes = bytes;
    return STARBURN_OK;
  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetTrackInformation(
    void* handle, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, uint32_t track, uint8_t* info, uint32_t infoSize) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    if (info == nullptr || infoSize < STARBURN_TRACK_INFORMATION_SIZE) {
                      return device.Refuse(STARBURN_STATUS_INVALID_ARGUMENT,
                                           "the track-information record needs 28 bytes");
                    }
                    std::memset(info, 0, infoSize);
                    starburn::TrackRecord record;
                    const StarBurnStatus status = device.GetTrackRecord(track, &record);
                    if (status == STARBURN_OK) starburn::EncodeTrackRecord(record, info);
                    return status;
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetSpeeds(void* handle, char* errorText,
                                                    uint32_t errorTextSize, uint32_t* systemError,
                                                    StarBurnCommandFailure* failure,
                                                    uint32_t* currentRead, uint32_t* maximumRead,
                                                    uint32_t* currentWrite,
                                                    uint32_t* maximumWrite) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    uint32_t speeds[4] = {};
                    const StarBurnStatus status =
                        device.GetSpeeds(&speeds[0], &speeds[1], &speeds[2], &speeds[3]);
                    if (status != STARBURN_OK) return status;
                    uint32_t* outputs[4] = {currentRead, maximumRead, currentWrite, maximumWrite};
                    for (int i = 0; i < 4; ++i) {
                      if (outputs[i] != nullptr) *outputs[i] = speeds[i];
                    }
                    return STARBURN_OK;
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_SetSpeeds(void* handle, char* errorText,
                                                    uint32_t errorTextSize, uint32_t* systemError,
                                                    StarBurnCommandFailure* failure,
                                                    uint32_t readSpeed, uint32_t writeSpeed) {
  return OnDevice(
      handle, errorText, errorTextSize, systemError, failure,
      [&](Device& device) -> StarBurnStatus { return device.SetSpeeds(readSpeed, writeSpeed); });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_TestUnitReady(void* handle, char* errorText,
                                                        uint32_t errorTextSize,
                                                        uint32_t* systemError,
                                                        StarBurnCommandFailure* failure) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [](Device& device) { return device.TestUnitReady(); });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetBUP(void* handle, char* errorText,
                                                 uint32_t errorTextSize, uint32_t* systemError,
                                                 StarBurnCommandFailure* failure, uint8_t* enabled,
                                                 uint32_t* supported) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    bool on = false;
                    bool possible = false;
                    const StarBurnStatus status = device.GetUnderrunProtection(&on, &possible);
                    if (status != STARBURN_OK) return status;
                    if (enabled != nullptr) *enabled = on ? 1 : 0;
                    if (supported != nullptr) *supported = possible ? 1 : 0;
                    return STARBURN_OK;
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_SetBUP(void* handle, char* errorText,
                                                 uint32_t errorTextSize, uint32_t* systemError,
                                                 StarBurnCommandFailure* failure, uint32_t enable) {
  return OnDevice(
      handle, errorText, errorTextSize, systemError, failure,
      [&](Device& device) -> StarBurnStatus { return device.SetUnderrunProtection(enable != 0); });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
    void* handle, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, void* tree, uint8_t testWrite, uint8_t closeDisc,
    uint8_t multiSession, uint32_t dataMode, uint32_t /*writeRetries*/) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    auto* image = HandleTable::Instance().Find<starburn::ImageProvider>(tree);
                    if (image == nullptr)
                      return device.Refuse(STARBURN_STATUS_INVALID_ARGUMENT, "not a tree handle");
                    return device.RecordTrack(*image, testWrite != 0, closeDisc != 0,
                                              multiSession != 0, dataMode);
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
    void* handle, char* errorText, uint32_t errorTextSize, uint32_t* systemError,
    StarBurnCommandFailure* failure, const char* imagePath, uint8_t testWrite, uint8_t closeDisc,
    uint8_t multiSession, uint32_t* startAddress) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    if (imagePath == nullptr || *imagePath == '\0') {
                      return device.Refuse(STARBURN_STATUS_INVALID_ARGUMENT, "no image file named");
                    }
                    starburn::FileImage image(imagePath);
                    const StarBurnStatus status = device.RecordTrack(
                        image, testWrite != 0, closeDisc != 0, multiSession != 0, 1);
                    if (status == STARBURN_OK && startAddress != nullptr) {
                      *startAddress = image.Start();
                    }
                    return status;
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_ReadBlocks(void* handle, char* errorText,
                                                     uint32_t errorTextSize, uint32_t* systemError,
                                                     StarBurnCommandFailure* failure, uint32_t lba,
                                                     uint32_t count, void* buffer,
                                                     uint32_t bufferSize) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    if (buffer == nullptr || count == 0 ||
                        uint64_t{count} * starburn::kBlockSize > bufferSize) {
                      return device.Refuse(STARBURN_STATUS_INVALID_ARGUMENT,
                                           "the buffer does not hold the blocks asked for");
                    }
                    return device.DiscReader().ReadBlocks(lba, count,
                                                          static_cast<uint8_t*>(buffer));
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_CloseSession(void* handle, char* errorText,
                                                       uint32_t errorTextSize,
                                                       uint32_t* systemError,
                                                       StarBurnCommandFailure* failure) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [](Device& device) { return device.CloseSession(); });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Eject(void* handle, char* errorText,
                                                uint32_t errorTextSize, uint32_t* systemError,
                                                StarBurnCommandFailure* failure) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [](Device& device) { return device.Eject(); });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_LoadEx(void* handle, char* errorText,
                                                 uint32_t errorTextSize, uint32_t* systemError,
                                                 StarBurnCommandFailure* failure, uint32_t wait) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus { return device.Load(wait != 0); });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_Blank(void* handle, char* errorText,
                                                uint32_t errorTextSize, uint32_t* systemError,
                                                StarBurnCommandFailure* failure, uint32_t quick) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus { return device.Blank(quick != 0); });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastAddress(void* handle, char* errorText,
                                                         uint32_t errorTextSize,
                                                         uint32_t* systemError,
                                                         StarBurnCommandFailure* failure,
                                                         uint32_t* lastAddress) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    uint32_t address = 0;
                    const StarBurnStatus status = device.GetLastAddress(&address);
                    if (status == STARBURN_OK && lastAddress != nullptr) *lastAddress = address;
                    return status;
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(void* handle, char* errorText,
                                                            uint32_t errorTextSize,
                                                            uint32_t* systemError,
                                                            StarBurnCommandFailure* failure,
                                                            uint8_t* record, uint32_t recordSize) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    if (record == nullptr || recordSize < STARBURN_DISC_FILE_SYSTEM_SIZE) {
                      return device.Refuse(STARBURN_STATUS_INVALID_ARGUMENT,
                                           "the disc-file-system record needs 4 bytes");
                    }
                    std::memset(record, 0, recordSize);
                    return device.GetDiscFileSystem(record);
                  });
}

StarBurnStatus StarBurn_CdvdBurnerGrabber_GetLastTrack(void* handle, char* errorText,
                                                       uint32_t errorTextSize,
                                                       uint32_t* systemError,
                                                       StarBurnCommandFailure* failure,
                                                       uint8_t* lastTrack) {
  return OnDevice(handle, errorText, errorTextSize, systemError, failure,
                  [&](Device& device) -> StarBurnStatus {
                    uint32_t track = 0;
                    const StarBurnStatus status = device.GetLastTrack(&track);
                    if (status != STARBURN_OK) return status;
                    if (track > UINT8_MAX) {
                      return device.Refuse(STARBURN_STATUS_LIMIT_EXCEEDED,
                                           "the last track's number " + std::to_string(track) +
                                               " does not fit one byte");
                    }
                    if (lastTrack != nullptr) *lastTrack = static_cast<uint8_t>(track);
                    return STARBURN_OK;
                  });
}

}  // extern "C"
