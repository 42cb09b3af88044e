#pragma once

// What drives answer to the MMC commands, decoded. Each parser names the
// answer's byte offsets; it refuses (false) an answer too short for the fields
// it reads, so a drive's short or truncated answer never reads past the data
// actually transferred.

#include <cstdint>
#include <string>
#include <vector>

namespace starburn {

// Allocation lengths the SDK asks with.
constexpr uint16_t kInquiryLength = 36;  // standard data up to the revision
// Standard disc information: 34 bytes (bytes 0-1 give 32 more).
constexpr uint16_t kDiscInformationLength = 34;
// Track information up to the session number's high byte.
constexpr uint16_t kTrackInformationLength = 36;
// A configuration answer's room: the header and every feature of a drive that
// writes all media fits in well under 4 KiB; the command allows 65530.
constexpr uint16_t kConfigurationLength = 8192;
constexpr uint16_t kModeSenseLength = 256;  // the header and one page of up to 248 bytes
constexpr uint16_t kTocLength = 2048;       // header and descriptors of up to 99 tracks + lead-out
constexpr uint16_t kBufferCapacityLength = 12;
// Write speed descriptors asked for: no drive lists more than a few dozen.
constexpr uint16_t kMaxPerformanceDescriptors = 64;
constexpr uint32_t kPerformanceHeaderLength = 8;
constexpr uint32_t kPerformanceDescriptorLength = 16;
constexpr uint32_t kModeHeaderLength = 8;  // MODE SENSE(10)/SELECT(10) header

struct InquiryData {
  uint8_t peripheralType = 0;  // 5: CD/DVD/BD device
  bool removable = false;
  std::string vendor;    // bytes 8-15, trailing spaces removed
  std::string product;   // bytes 16-31, trailing spaces removed
  std::string revision;  // bytes 32-35, trailing spaces removed
};
bool ParseInquiry(const uint8_t* data, uint32_t length, InquiryData* out);

struct Feature {
  uint16_t code = 0;
  bool current = false;
  std::vector<uint8_t> data;  // the bytes after the 4-byte feature header
};

struct Configuration {
  uint16_t currentProfile = 0;
  std::vector<uint16_t> profiles;  // from the profile list feature, in the drive's order
  std::vector<Feature> features;
  const Feature* Find(uint16_t code) const;
  bool HasProfile(uint16_t profile) const;
};
// Header: bytes 0-3 data length (bytes that follow), 6-7 current profile; then
// features: bytes 0-1 code, 2 (bit 0 current), 3 additional length.
bool ParseConfiguration(const uint8_t* data, uint32_t length, Configuration* out);

struct DiscInformation {
  uint8_t raw[kDiscInformationLength] = {};  // the block as the drive sent it, zero beyond
  uint32_t rawLength = 0;                    // bytes the drive sent, at most 34
  bool erasable = false;                     // byte 2 bit 4
  uint8_t lastSessionState = 0;              // byte 2 bits 3-2: 0 empty, 1 incomplete, 3 complete
  uint8_t discStatus = 0;   // byte 2 bits 1-0: 0 blank, 1 appendable, 2 complete, 3 other
  uint16_t firstTrack = 0;  // byte 3
  uint16_t sessions = 0;    // bytes 9 and 4 (high, low)
  uint16_t firstTrackInLastSession = 0;  // bytes 10 and 5
  uint16_t lastTrackInLastSession = 0;   // bytes 11 and 6
  uint8_t formatStatus = 0;              // byte 7 bits 1-0: background format status
  uint32_t lastPossibleLeadOut = 0;      // bytes 20-23 (0 M S F on CD, a block address else)
};
bool ParseDiscInformation(const uint8_t* data, uint32_t length, DiscInformation* out);
// Disc status values.
constexpr uint8_t kDiscBlank = 0;
constexpr uint8_t kDiscAppendable = 1;
constexpr uint8_t kDiscComplete = 2;
// Background format status (DVD+RW): none yet, started and then stopped,
// running, complete.
constexpr uint8_t kBackgroundFormatNone = 0;
constexpr uint8_t kBackgroundFormatStopped = 1;
constexpr uint8_t kBackgroundFormatRunning = 2;
constexpr uint8_t kBackgroundFormatComplete = 3;
constexpr uint8_t kDiscOther = 3;  // random-access media (formatted DVD+RW, DVD-RAM, BD-RE)
// Last session states.
constexpr uint8_t kSessionEmpty = 0;
constexpr uint8_t kSessionIncomplete = 1;
constexpr uint8_t kSessionComplete = 3;

struct TrackInformation {
  uint16_t track = 0;              // bytes 32 and 2 (high, low)
  uint16_t session = 0;            // bytes 33 and 3
  bool damage = false;             // byte 5 bit 5
  bool copy = false;               // byte 5 bit 4
  uint8_t trackMode = 0;           // byte 5 bits 3-0
  bool reserved = false;           // byte 6 bit 7
  bool blank = false;              // byte 6 bit 6
  bool packet = false;             // byte 6 bit 5
  bool fixedPacket = false;        // byte 6 bit 4
  uint8_t dataMode = 0;            // byte 6 bits 3-0 (1 Mode 1, 2 Mode 2, 15 unknown)
  bool nextWritableValid = false;  // byte 7 bit 0
  uint32_t start = 0;              // bytes 8-11
  uint32_t nextWritable = 0;       // bytes 12-15
  uint32_t freeBlocks = 0;         // bytes 16-19
  uint32_t size = 0;               // bytes 24-27
};
bool ParseTrackInformation(const uint8_t* data, uint32_t length, TrackInformation* out);

struct TocEntry {
  uint8_t track = 0;     // 0xAA: the lead-out
  uint8_t control = 0;   // 4: a data track
  uint32_t address = 0;  // block address (the SDK asks without MSF)
};
struct Toc {
  uint8_t first = 0;  // first track, or first complete session (format 1)
  uint8_t last = 0;   // last track, or last complete session (format 1)
  std::vector<TocEntry> entries;
};
// Header: bytes 0-1 length, 2 first, 3 last; then 8-byte descriptors: 1 ADR
// and control, 2 track, 4-7 address.
bool ParseToc(const uint8_t* data, uint32_t length, Toc* out);
constexpr uint8_t kLeadOutTrack = 0xAA;

// The page of a MODE SENSE(10) answer: from its page code byte on.
bool ParseModePage(const uint8_t* data, uint32_t length, uint8_t page, std::vector<uint8_t>* out);

// Write parameters page (0x05), offsets within the page.
constexpr uint32_t kWriteParametersPageLength = 52;  // 2 + page length 0x32
namespace writeparams {
constexpr uint32_t kFlags = 2;          // bit 6 BUFE, bit 4 test write, bits 3-0 write type
constexpr uint32_t kMultiSession = 3;   // bits 7-6 multi-session, bits 3-0 track mode
constexpr uint32_t kDataBlockType = 4;  // bits 3-0
constexpr uint32_t kSessionFormat = 8;
constexpr uint8_t kBufe = 0x40;
constexpr uint8_t kTestWrite = 0x10;
constexpr uint8_t kLinkSizeValid = 0x20;  // byte 2 bit 5: byte 5 holds the link size
constexpr uint32_t kLinkSize = 5;
constexpr uint8_t kWriteTypeIncremental = 0;  // packet / incremental (DVD-R)
constexpr uint8_t kWriteTypeTrackAtOnce = 1;
constexpr uint8_t kWriteTypeDiscAtOnce = 2;  // session at once; disc-at-once on DVD-R/-RW
constexpr uint8_t kMultiSessionNone = 0;     // closing the session closes the disc
constexpr uint8_t kMultiSessionNext = 3;     // a next session may follow
constexpr uint8_t kTrackModeData = 4;        // data, recorded uninterrupted
constexpr uint8_t kDataBlockMode1 = 8;       // 2048 bytes of user data
}  // namespace writeparams

// Capabilities page (0x2A), offsets within the page.
namespace capabilities {
constexpr uint32_t kMaximumReadSpeed = 8;    // KB/s
constexpr uint32_t kBufferSize = 12;         // KiB
constexpr uint32_t kCurrentReadSpeed = 14;   // KB/s
constexpr uint32_t kMaximumWriteSpeed = 18;  // KB/s
constexpr uint32_t kCurrentWriteSpeed = 28;  // KB/s, the selected write speed
constexpr uint32_t kPageLength = 32;         // the bytes up to the write speed descriptor count
}  // namespace capabilities

struct BufferCapacity {
  uint32_t size = 0;  // bytes 4-7
  uint32_t free = 0;  // bytes 8-11
};
bool ParseBufferCapacity(const uint8_t* data, uint32_t length, BufferCapacity* out);

// READ FORMAT CAPACITIES: a 4-byte header (byte 3: the list's length), the
// current or maximum capacity, then one 8-byte descriptor for each format the
// disc can be given.
struct FormatCapacity {
  uint32_t blocks = 0;     // bytes 0-3
  uint8_t type = 0;        // byte 4 bits 7-2
  uint32_t parameter = 0;  // bytes 5-7
};
struct FormatCapacities {
  uint32_t currentBlocks = 0;
  uint8_t currentState = 0;  // byte 4 bits 1-0 of the first descriptor
  std::vector<FormatCapacity> formats;
};
constexpr uint8_t kCapacityUnformatted = 1;
constexpr uint8_t kCapacityFormatted = 2;
constexpr uint8_t kCapacityNoDisc = 3;
// The header and up to 31 descriptors: more than any disc offers.
constexpr uint32_t kFormatCapacitiesLength = 4 + 8 * 32;
bool ParseFormatCapacities(const uint8_t* data, uint32_t length, FormatCapacities* out);

struct WriteSpeed {
  uint32_t endLba = 0;      // descriptor bytes 4-7
  uint32_t readSpeed = 0;   // bytes 8-11, KB/s
  uint32_t writeSpeed = 0;  // bytes 12-15, KB/s
};
// GET PERFORMANCE type 3: an 8-byte header (bytes 0-3 the length that
// follows), then 16-byte descriptors.
bool ParseWriteSpeeds(const uint8_t* data, uint32_t length, std::vector<WriteSpeed>* out);

}  // namespace starburn
