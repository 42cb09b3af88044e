#include "drives/DriveQuery.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <utility>

#include "drives/DiscTypes.h"
#include "drives/DriveOpen.h"
#include "drives/SdkCallHead.h"
#include "platform/OrletBases.h"
#include "platform/Win32.h"

namespace Orlet {

namespace {

// "\\.\" before the drive letter in the SDK's device path of an ASPI drive.
constexpr std::size_t kDevicePathPrefixLength = 4;
// The room for one device target of QueryDosDeviceA; the call is told one
// character less, so the answer always ends in a terminator.
constexpr uint32_t kDosTargetRoom = 512;
// Room for a volume label: MAX_PATH of the home platform, far above the 32
// characters of the longest disc label.
constexpr uint32_t kVolumeLabelRoom = 260;
// Room for "<used> MB": 2^64 bytes are 17592186044416.00 MB, 20 characters.
constexpr std::size_t kSpaceTextRoom = 32;
constexpr double kBytesPerMebibyte = 1048576.0;
// One second of 1x CD data: 75 blocks of 2048 bytes.
constexpr uint32_t kBytesPerCdSecond = 153600;
// Blocks in a second of a CD's minute:second:frame addresses.
constexpr int32_t kFramesPerSecond = 75;
// GetDiscFreeSpace: the space a new session can take.
constexpr uint32_t kFreeSpaceForNewSession = 3;
// GetTrackInformation: the invisible track, where the next session begins.
constexpr uint32_t kInvisibleTrack = 255;
// Track-information record: erasable flag and next writable address (32-bit
// little-endian).
constexpr std::size_t kTrackErasableByte = 11;
constexpr std::size_t kTrackNextWritableAddress = 16;
// Disc-information block: minute, second and frame of the last possible
// lead-out start (bytes 21 to 23, as READ DISC INFORMATION lays them out).
constexpr std::size_t kLastLeadOutMinute = 21;
constexpr std::size_t kLastLeadOutSecond = 22;
constexpr std::size_t kLastLeadOutFrame = 23;
// MSFToLBA: a disc address (lead-in offset removed).
constexpr uint8_t kDiscAddress = 0;
// SetSpeeds: the other direction stays at the drive's maximum.
constexpr uint32_t kMaximumSpeed = 65535;

void ReadIdentification(void* device, DriveInfo& record) {
  char vendor[STARBURN_DEVICE_TEXT_SIZE] = {};
  char product[STARBURN_DEVICE_TEXT_SIZE] = {};
  char revision[STARBURN_DEVICE_TEXT_SIZE] = {};
  // A failed call leaves the texts empty; bufferSize keeps what the SDK left.
  StarBurn_CdvdBurnerGrabber_GetDeviceInformation(device, vendor, product, revision,
                                                  STARBURN_DEVICE_TEXT_SIZE, &record.bufferSize);
  vendor[STARBURN_DEVICE_TEXT_SIZE - 1] = '\0';
  product[STARBURN_DEVICE_TEXT_SIZE - 1] = '\0';
  revision[STARBURN_DEVICE_TEXT_SIZE - 1] = '\0';
  record.vendorId = mbs_to_tcs(vendor);
  record.productId = mbs_to_tcs(product);
  record.productRevision = mbs_to_tcs(revision);
}

// The label of the volume on the disc in the drive with that letter ("D:").
std::wstring ReadVolumeLabel(const std::wstring& driveLetter) {
  if (driveLetter.empty()) return std::wstring();
  const std::wstring root = driveLetter + L"\\";
  wchar_t label[kVolumeLabelRoom] = {};
  if (win32::GetVolumeInformationW(root.c_str(), label, kVolumeLabelRoom, nullptr, nullptr, nullptr,
                                   nullptr, 0) == 0) {
    return std::wstring();
  }
  label[kVolumeLabelRoom - 1] = L'\0';
  return label;
}

std::wstring SpaceText(const DriveInfo& record) {
  if (record.isBlank != 0) return L"Blank";
  wchar_t text[kSpaceTextRoom] = {};
  std::swprintf(text, kSpaceTextRoom, L"%.2f MB",
                static_cast<double>(record.usedBytes) / kBytesPerMebibyte);
  return text;
}

// The disc's last possible lead-out start, in seconds of 1x CD data.
int32_t ReadCapacitySeconds(void* device) {
  SdkCallHead head;
  uint8_t info[STARBURN_DISC_INFORMATION_SIZE] = {};
  // A failed call leaves the block zero: minute, second and frame 0.
  StarBurn_CdvdBurnerGrabber_GetDiscInformation(device, head.errorText, sizeof head.errorText,
                                                &head.systemError, &head.failure, info,
                                                sizeof info);
  const int32_t address = StarBurn_CdvdBurnerGrabber_MSFToLBA(
      device, info[kLastLeadOutMinute], info[kLastLeadOutSecond], info[kLastLeadOutFrame],
      kDiscAddress);
  return address / kFramesPerSecond;
}

void ReadMediaFormats(void* device, DriveInfo& record) {
  StarBurnMediaFormats formats{};
  formats.size = STARBURN_MEDIA_FORMATS_SIZE;
  // A failed call leaves every flag 0.
  StarBurn_CdvdBurnerGrabber_GetAdvancedSupportedMediaFormats(device, &formats);
  static_assert(STARBURN_MEDIA_FORMAT_COUNT == kMediaFormatCount, "one flag per position");
  record.mediaFormatsSize = sizeof record.mediaFormatsSize + sizeof record.mediaFormats;
  std::copy(std::begin(formats.flags), std::end(formats.flags), std::begin(record.mediaFormats));
}

void ReadWriteModes(void* device, DriveInfo& record) {
  SdkCallHead head;
  uint8_t packet = 0;
  uint8_t trackAtOnce = 0;
  uint8_t sessionAtOnce = 0;
  uint8_t raw = 0;
  StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(device, head.errorText, sizeof head.errorText,
                                                      &head.systemError, &head.failure, &packet,
                                                      &trackAtOnce, &sessionAtOnce, &raw);
  record.writeModes[0] = sessionAtOnce;
  record.writeModes[1] = raw;
  record.writeModes[2] = packet;
  record.writeModes[3] = trackAtOnce;
}

uint32_t ReadSpeeds(void* device, uint32_t& currentRead, uint32_t& maximumRead,
                    uint32_t& currentWrite, uint32_t& maximumWrite) {
  SdkCallHead head;
  return StarBurn_CdvdBurnerGrabber_GetSpeeds(device, head.errorText, sizeof head.errorText,
                                              &head.systemError, &head.failure, &currentRead,
                                              &maximumRead, &currentWrite, &maximumWrite);
}

// Probes the steps of table in order: a step not above the last speed the
// drive took (or refused) is skipped, every speed taken is listed once, and
// probing ends at the step equal to the drive's maximum.
void ProbeSpeedSteps(std::vector<SpeedEntry>& list, const SpeedEntry* table, std::size_t steps,
                     uint32_t maximum, void* device, int forReading) {
  uint32_t last = 0;
  for (std::size_t k = 0; k < steps; ++k) {
    const uint32_t step = table[k].speed;
    if (last < step) {
      uint32_t taken = step;
      if (TrySpeed(taken, device, forReading) != 0) {
        last = taken;
        const bool listed = std::any_of(list.begin(), list.end(), [&](const SpeedEntry& entry) {
          return entry.speed == taken;
        });
        if (!listed) list.push_back(SpeedEntry{taken, NearestSpeedLabel(table, steps, taken)});
      } else {
        last = step;
      }
    }
    if (step == maximum) break;
  }
}

}  // namespace

std::string FindDriveLetter(const DriveInfo& record) {
  if (record.accessMethod == AccessAspi) {
    char path[STARBURN_DEVICE_TEXT_SIZE] = {};
    // A failed call leaves the path empty.
    StarBurn_GetDeviceNameByDeviceAddress(record.portId, record.busId, record.targetId, record.lun,
                                          path, sizeof path);
    path[sizeof path - 1] = '\0';
    if (std::strlen(path) <= kDevicePathPrefixLength) return std::string();
    return std::string(path + kDevicePathPrefixLength);
  }
  if (record.accessMethod != AccessSpti && record.accessMethod != AccessSptd) {
    return std::string();
  }
  const std::string wanted = "\\Device\\" + tcs_to_mbs(record.deviceName);
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char name[] = {letter, ':', '\0'};
    char target[kDosTargetRoom] = {};
    if (win32::QueryDosDeviceA(name, target, kDosTargetRoom - 1) != 0 && wanted == target)
      return name;
  }
  return std::string();
}

uint32_t TestDiscBlank(void* device) {
  if (device == nullptr) return 0;
  SdkCallHead head;
  uint8_t blank = 0;
  const uint32_t status = StarBurn_CdvdBurnerGrabber_IsDiscBlank(
      device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure, &blank);
  return status == STARBURN_OK && blank != 0 ? 1 : 0;
}

void ReadDiscSpace(void* device, DriveInfo& record) {
  SdkCallHead head;
  uint64_t used = 0;
  record.usedBytes = StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(
                         device, head.errorText, sizeof head.errorText, &head.systemError,
                         &head.failure, &used) == STARBURN_OK
                         ? used
                         : 0;
  uint32_t freeBlocks = 0;
  uint64_t freeBytes = 0;
  record.freeBytes = StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(
                         device, kFreeSpaceForNewSession, &freeBlocks, &freeBytes) == STARBURN_OK
                         ? freeBytes
                         : 0;
  record.isBlank = TestDiscBlank(device);
  StarBurn_SetFastReadTOC(1);

  record.isErasable = 0;
  record.sessionStartAddress = 0;
  uint8_t track[STARBURN_TRACK_INFORMATION_SIZE] = {};
  if (StarBurn_CdvdBurnerGrabber_GetTrackInformation(
          device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure,
          kInvisibleTrack, track, sizeof track) == STARBURN_OK) {
    const uint8_t* address = track + kTrackNextWritableAddress;
    record.sessionStartAddress = uint32_t{address[0]} | uint32_t{address[1]} << 8 |
                                 uint32_t{address[2]} << 16 | uint32_t{address[3]} << 24;
    record.isErasable = track[kTrackErasableByte];
  }
}

int TrySpeed(uint32_t& speed, void* device, int forReading) {
  SdkCallHead head;
  const uint32_t readSpeed = forReading != 0 ? speed : kMaximumSpeed;
  const uint32_t writeSpeed = forReading != 0 ? kMaximumSpeed : speed;
  if (StarBurn_CdvdBurnerGrabber_SetSpeeds(device, head.errorText, sizeof head.errorText,
                                           &head.systemError, &head.failure, readSpeed,
                                           writeSpeed) != STARBURN_OK) {
    return 0;
  }
  uint32_t currentRead = 0;
  uint32_t maximumRead = 0;
  uint32_t currentWrite = 0;
  uint32_t maximumWrite = 0;
  if (ReadSpeeds(device, currentRead, maximumRead, currentWrite, maximumWrite) != STARBURN_OK) {
    return 0;
  }
  speed = forReading != 0 ? currentRead : currentWrite;
  return 1;
}

int BuildSpeedList(std::vector<SpeedEntry>& list, const DriveInfo& record, int forReading) {
  list.clear();
  void* device = nullptr;
  if (OpenDrive(record, &device) != STARBURN_OK) return 0;
  uint32_t currentRead = 0;
  uint32_t maximumRead = 0;
  uint32_t currentWrite = 0;
  uint32_t maximumWrite = 0;
  if (ReadSpeeds(device, currentRead, maximumRead, currentWrite, maximumWrite) != STARBURN_OK) {
    StarBurn_Destroy(&device);
    return 0;
  }
  const uint32_t maximum = forReading != 0 ? maximumRead : maximumWrite;
  const DiscTypeTraits& traits = TraitsOfDiscType(record.discType);
  switch (traits.speedList) {
    case SpeedListKind::None:
      break;
    case SpeedListKind::Unprobed:
      // No disc to probe with: the table's steps up to the first one above
      // the drive's maximum.
      for (std::size_t k = 0; k < traits.speedSteps; ++k) {
        list.push_back(traits.speedTable[k]);
        if (traits.speedTable[k].speed > maximum) break;
      }
      break;
    case SpeedListKind::ProbedOrMax:
      if (record.isErasable == 0) {
        list.push_back(
            SpeedEntry{maximum, NearestSpeedLabel(traits.speedTable, traits.speedSteps, maximum)});
        break;
      }
      ProbeSpeedSteps(list, traits.speedTable, traits.speedSteps, maximum, device, forReading);
      break;
    case SpeedListKind::Probed:
      ProbeSpeedSteps(list, traits.speedTable, traits.speedSteps, maximum, device, forReading);
      break;
  }
  StarBurn_Destroy(&device);
  return 1;
}

int ReadDrive(DriveInfo& record) {
  void* device = nullptr;
  if (OpenDrive(record, &device) != STARBURN_OK) return 0;
  ReadIdentification(device, record);
  record.driveLetter = mbs_to_tcs(FindDriveLetter(record));
  record.volumeLabel = ReadVolumeLabel(record.driveLetter);

  record.discType = StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(device);
  ApplyDiscType(record);
  if (record.discType != DiscTypeNoDisc) {
    ReadDiscSpace(device, record);
    record.spaceText = SpaceText(record);
    record.freeSeconds = static_cast<uint32_t>(record.freeBytes) / kBytesPerCdSecond;
    record.capacitySeconds = ReadCapacitySeconds(device);
  } else {
    // Without a disc the space, timing and track values of the last query stay.
    record.spaceText.clear();
  }
  ReadMediaFormats(device, record);
  ReadWriteModes(device, record);
  StarBurn_Destroy(&device);

  // Each list opens the drive again on a handle of its own.
  std::vector<SpeedEntry> writeSpeeds;
  std::vector<SpeedEntry> readSpeeds;
  BuildSpeedList(writeSpeeds, record, 0);
  BuildSpeedList(readSpeeds, record, 1);
  record.writeSpeeds = std::move(writeSpeeds);
  record.readSpeeds = std::move(readSpeeds);
  // The jobs set the write speed a host asks for on a disc the drive gives
  // write speeds for: the drive then takes one of them (a pressed disc, or
  // no disc, leaves the drive as it is).
  record.applyWriteSpeed = record.discType != DiscTypeNoDisc && !record.writeSpeeds.empty() ? 1 : 0;
  return 1;
}

}  // namespace Orlet
