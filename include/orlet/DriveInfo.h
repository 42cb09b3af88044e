#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "orlet/Export.h"

namespace Orlet {

/// How the SDK reaches a drive.
enum DriveAccessMethod : int32_t {
  AccessNone = 0,  ///< refused by the drive finder
  AccessAspi = 1,  ///< by SCSI address (port, bus, target, logical unit)
  AccessSpti = 2,  ///< by device name ("CdRom0") as 8-bit text; the default
  AccessSptd = 3,  ///< by device name as 16-bit text, through the SPTD layer
};

/// One speed a drive takes: KB/s as the SDK reports and accepts speeds, and the
/// label of the nearest step of the medium's speed table ("8.0x"). The label
/// points into the library's constant tables and stays valid while the library
/// is loaded; copies copy the pointer.
struct SpeedEntry {
  uint32_t speed;
  const wchar_t* label;
};

/// Disc-type codes (DriveInfo::discType), as the SDK reports the inserted disc.
/// Codes 10 to 12 are shown with the CD names but belong to no disc family;
/// codes 20 to 22 are HD DVD media, which the library shows but cannot write.
enum DiscType : int32_t {
  DiscTypeCdRom = 1,
  DiscTypeCdR = 2,
  DiscTypeCdRw = 3,
  DiscTypeDvdRom = 4,
  DiscTypeDvdR = 5,
  DiscTypeDvdRam = 6,
  DiscTypeDvdRwRestricted = 7,  ///< DVD-RW in restricted-overwrite mode
  DiscTypeDvdRwSequential = 8,  ///< DVD-RW in sequential-recording mode
  DiscTypeDvdPlusRw = 9,
  DiscTypeOtherCdRom = 10,
  DiscTypeOtherCdR = 11,
  DiscTypeOtherCdRw = 12,
  DiscTypeDvdPlusR = 13,
  DiscTypeNoDisc = 14,
  DiscTypeDvdPlusRDualLayer = 15,
  DiscTypeDvdRDualLayer = 16,
  DiscTypeBdRom = 17,
  DiscTypeBdR = 18,
  DiscTypeBdRe = 19,
  DiscTypeHdDvdRom = 20,
  DiscTypeHdDvdR = 21,
  DiscTypeHdDvdRw = 22,
};

/// Number of media-format flags a drive reports.
constexpr std::size_t kMediaFormatCount = 42;
/// Number of write-method flags a drive reports.
constexpr std::size_t kWriteModeCount = 4;

/// One optical drive and the disc in it. The host reads the record directly, so
/// the order and width of its fields are part of the library's interface: never
/// move, resize or insert a field. The drive finder owns one record per found
/// drive; everyone else holds copies, which copy every field (texts and speed
/// lists by value, speed labels as pointers).
struct DriveInfo {
  int32_t accessMethod = AccessNone;  ///< DriveAccessMethod; fixed when found
  uint32_t deviceTag = 0;             ///< ASPI drives: byte 0 of the SDK's report
  uint8_t portId = 0;                 ///< ASPI drives: SCSI address
  uint8_t busId = 0;
  uint8_t targetId = 0;
  uint8_t lun = 0;
  std::wstring deviceName;                        ///< SPTI/SPTD drives: "CdRom<n>"
  std::wstring productId;                         ///< second identification text of the drive
  std::wstring vendorId;                          ///< first identification text
  std::wstring productRevision;                   ///< third identification text
  uint32_t bufferSize = 0;                        ///< the drive's buffer as the SDK reports it
  int32_t discType = 0;                           ///< disc-type code; 14 = no disc
  std::wstring discTypeName;                      ///< display name of discType
  std::wstring spaceText;                         ///< "Blank", "<used> MB" or empty without a disc
  uint32_t isBlank = 0;                           ///< 1 = the disc is blank
  uint64_t freeBytes = 0;                         ///< writable space left, in bytes
  uint64_t usedBytes = 0;                         ///< recorded space, in bytes
  uint32_t freeSeconds = 0;                       ///< low 32 bits of freeBytes / 153600
  int32_t capacitySeconds = 0;                    ///< last possible lead-out start / 75
  std::wstring volumeLabel;                       ///< label of the disc's volume; may be empty
  std::wstring driveLetter;                       ///< "D:"; empty when none was found
  uint32_t mediaFormatsSize = 0;                  ///< 172 once queried: 4 + 42 * 4 bytes
  uint32_t mediaFormats[kMediaFormatCount] = {};  ///< media the drive reads/writes
  uint32_t writeModes[kWriteModeCount] = {};      ///< write methods the drive has
  std::vector<SpeedEntry> writeSpeeds;            ///< write speeds for the inserted disc
  std::vector<SpeedEntry> readSpeeds;             ///< read speeds for the inserted disc
  uint32_t sessionStartAddress = 0;               ///< block where a new session begins
  uint32_t isErasable = 0;                        ///< nonzero: the disc can be erased
  uint32_t isCd = 0;                              ///< disc family flags; at most one is 1
  uint32_t isDvd = 0;
  uint32_t isBd = 0;
  uint32_t applyWriteSpeed = 0;  ///< nonzero: jobs set the requested write speed
};

/// The speed steps of each medium, ascending, in KB/s with their labels. The
/// labels of every SpeedEntry the library hands out point into these tables.
/// Reading them is safe from any thread.
constexpr std::size_t kCdSpeedSteps = 16;   ///< 1x to 52x
constexpr std::size_t kDvdSpeedSteps = 10;  ///< 1x to 16x
constexpr std::size_t kBdSpeedSteps = 4;    ///< 1x to 6x
ORLET_API extern const SpeedEntry CdSpeedTable[kCdSpeedSteps];
ORLET_API extern const SpeedEntry DvdSpeedTable[kDvdSpeedSteps];
ORLET_API extern const SpeedEntry BdSpeedTable[kBdSpeedSteps];

/// The label of the step of table (count steps, ascending, count > 0) nearest
/// to speed: below the first step, the first label; at or above the last step,
/// the last label; between two steps, the upper one's label only when speed is
/// above their midpoint (integer division), else the lower one's.
ORLET_API const wchar_t* NearestSpeedLabel(const SpeedEntry* table, std::size_t count,
                                           uint32_t speed);

}  // namespace Orlet
