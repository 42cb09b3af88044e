#pragma once

// The SDK's own records, built from MMC answers: the disc-type code, the
// media-format flags, the write modes and the 28-byte track-information record.
// The layouts are documented in StarBurn.h beside the calls that return them.

#include <cstdint>

#include "mmc/Answers.h"
#include "starburn/StarBurn.h"

namespace starburn {

// Disc-type code of a current profile: 1 CD-ROM, 2 CD-R, 3 CD-RW, 4 DVD-ROM,
// 5 DVD-R, 6 DVD-RAM, 7 DVD-RW (restricted overwrite), 8 DVD-RW (sequential),
// 9 DVD+RW, 10/11/12 DDCD-ROM/-R/-RW, 13 DVD+R, 14 no disc, 15 DVD+R DL,
// 16 DVD-R DL, 17 BD-ROM, 18 BD-R, 19 BD-RE, 20 HD DVD-ROM, 21 HD DVD-R,
// 22 HD DVD-RAM/-RW, 0 a disc of another kind.
int32_t DiscTypeOfProfile(uint16_t profile);
constexpr int32_t kDiscTypeNone = 14;

// The 42 media-format flags from the drive's configuration (1 = yes).
void MediaFormatsOf(const Configuration& configuration, uint8_t flags[STARBURN_MEDIA_FORMAT_COUNT]);

struct WriteModes {
  bool packet = false;
  bool trackAtOnce = false;
  bool sessionAtOnce = false;
  bool raw = false;
};
WriteModes WriteModesOf(const Configuration& configuration);

// Whether the drive can switch buffer-underrun protection on.
bool SupportsUnderrunProtection(const Configuration& configuration);

// The fields of the SDK's track-information record.
struct TrackRecord {
  bool valid = false;
  uint8_t track = 0;
  uint8_t session = 0;
  uint8_t trackMode = 0;
  uint8_t dataMode = 0;
  uint8_t flags = 0;  // kTrackFlag* bits
  bool nextWritableValid = false;
  uint8_t state = 0;  // kTrackState*
  bool blank = false;
  uint8_t discStatus = 0;  // as READ DISC INFORMATION gives it
  bool erasable = false;
  uint32_t start = 0;
  uint32_t nextWritable = 0;
  uint32_t freeBlocks = 0;
  uint32_t size = 0;
};
constexpr uint8_t kTrackFlagPacket = 0x01;
constexpr uint8_t kTrackFlagFixedPacket = 0x02;
constexpr uint8_t kTrackFlagReserved = 0x04;
constexpr uint8_t kTrackFlagCopy = 0x08;
constexpr uint8_t kTrackFlagDamage = 0x10;
constexpr uint8_t kTrackStateClosed = 0;
constexpr uint8_t kTrackStateIncomplete = 1;  // being written, not closed
constexpr uint8_t kTrackStateInvisible = 2;   // the next track, nothing written yet

// The fields a drive's track information gives.
TrackRecord TrackRecordOf(const TrackInformation& track, const DiscInformation& disc);
// Writes the 28-byte record.
void EncodeTrackRecord(const TrackRecord& record, uint8_t out[STARBURN_TRACK_INFORMATION_SIZE]);

}  // namespace starburn
