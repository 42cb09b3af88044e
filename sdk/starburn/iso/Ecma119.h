#pragma once

// Encoders and decoders of the on-disc structures of ISO 9660 (ECMA-119) and
// its Joliet extension: numbers in both byte orders, dates, directory records,
// path-table records and volume descriptors. Every field is written and read
// at its named byte offset; no structure is overlaid on the bytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace starburn {
namespace iso {

// ---- Numbers ---------------------------------------------------------------

void PutLe16(uint8_t* at, uint16_t value);
void PutBe16(uint8_t* at, uint16_t value);
void PutLe32(uint8_t* at, uint32_t value);
void PutBe32(uint8_t* at, uint32_t value);
// Both-byte-order fields: the little-endian half, then the big-endian half.
void PutBoth16(uint8_t* at, uint16_t value);
void PutBoth32(uint8_t* at, uint32_t value);
uint16_t GetLe16(const uint8_t* at);
uint32_t GetLe32(const uint8_t* at);
uint32_t GetBe32(const uint8_t* at);
// False when the two halves disagree (a damaged or forged field).
bool GetBoth16(const uint8_t* at, uint16_t* value);
bool GetBoth32(const uint8_t* at, uint32_t* value);

// ---- Dates -----------------------------------------------------------------

// The 7-byte date of a directory record: years since 1900, month, day, hour,
// minute, second, offset from GMT in 15-minute units.
constexpr std::size_t kRecordTimeSize = 7;
// The 17-byte date of a volume descriptor: 16 ASCII digits
// (YYYYMMDDHHMMSShh) and the GMT offset byte.
constexpr std::size_t kDescriptorTimeSize = 17;

// Encodes seconds since 1970 (UTC) as a record date with offset 0. Times
// outside 1900..2155 are clamped to the nearest end.
void PutRecordTime(uint8_t* at, int64_t unixSeconds);
// Decodes a valid record date into seconds since 1970 (UTC), its GMT offset
// applied; false for a date that was not recorded (all seven bytes zero).
bool GetRecordTime(const uint8_t* at, int64_t* unixSeconds);
void PutDescriptorTime(uint8_t* at, int64_t unixSeconds);
// "Not specified": sixteen '0' digits and offset 0.
void PutUnspecifiedDescriptorTime(uint8_t* at);
// A record date is valid when all seven bytes are zero (not recorded) or
// every field is in its range.
bool IsValidRecordTime(const uint8_t* at);

// ---- Directory records -----------------------------------------------------

// File flags of a directory record (byte 25).
constexpr uint8_t kFlagHidden = 0x01;
constexpr uint8_t kFlagDirectory = 0x02;
constexpr uint8_t kFlagMultiExtent = 0x80;
// Bytes before the file identifier (bytes 0 to 32).
constexpr std::size_t kRecordFixedSize = 33;
// A record's length is one byte.
constexpr std::size_t kMaxRecordLength = 255;
// Identifiers of the "." and ".." records.
constexpr uint8_t kSelfIdentifier = 0x00;
constexpr uint8_t kParentIdentifier = 0x01;

// Length of a record with an identifier of that many bytes: the fixed part,
// the identifier and a pad byte that keeps the length even.
std::size_t DirectoryRecordLength(std::size_t identifierLength);

struct RecordFields {
  uint32_t extent = 0;                  // bytes 2-9: location of extent
  uint32_t dataLength = 0;              // bytes 10-17: data length
  uint8_t time[kRecordTimeSize] = {};   // bytes 18-24: recording date
  uint8_t flags = 0;                    // byte 25: file flags
  const uint8_t* identifier = nullptr;  // bytes 33..: file identifier
  std::size_t identifierLength = 0;     // byte 32
};

// Writes a record at out (DirectoryRecordLength(identifierLength) bytes):
// volume sequence number 1, no extended attributes, no interleaving.
void EncodeDirectoryRecord(uint8_t* out, const RecordFields& fields);

// Decodes the record at `at` with `room` bytes left in its sector; `length`
// receives byte 0 (0 means "no more records in this sector"). Answers false
// with the reason when the record is malformed: shorter than its fixed part,
// crossing the sector end, an identifier of length 0 or past the record,
// disagreeing both-byte-order halves, or an invalid date.
bool DecodeDirectoryRecord(const uint8_t* at, std::size_t room, RecordFields* fields,
                           std::size_t* length, std::string* why);

// ---- Path tables -----------------------------------------------------------

// Length of a path-table record with an identifier of that many bytes.
std::size_t PathTableRecordLength(std::size_t identifierLength);
// Writes a path-table record: identifier length, extended attribute length 0,
// extent, parent directory number, identifier, pad byte. bigEndian selects
// the M table's byte order, otherwise the L table's.
void EncodePathTableRecord(uint8_t* out, bool bigEndian, uint32_t extent, uint16_t parent,
                           const uint8_t* identifier, std::size_t identifierLength);

// ---- Volume descriptors ----------------------------------------------------

constexpr uint8_t kDescriptorPrimary = 1;
constexpr uint8_t kDescriptorSupplementary = 2;
constexpr uint8_t kDescriptorTerminator = 255;
constexpr std::size_t kDescriptorVolumeIdOffset = 40;  // bytes 40-71
constexpr std::size_t kDescriptorVolumeIdSize = 32;
constexpr std::size_t kDescriptorRootRecordOffset = 156;  // bytes 156-189
constexpr std::size_t kDescriptorRootRecordSize = 34;
// Escape sequences (bytes 88-119) of a supplementary descriptor.
constexpr std::size_t kDescriptorEscapeOffset = 88;

// What a primary or Joliet descriptor holds. Identifiers are given already in
// their character set: d- or a-characters for the primary descriptor,
// big-endian UCS-2 bytes for Joliet; shorter ones are padded with spaces.
struct VolumeFields {
  bool joliet = false;           // a supplementary descriptor with the UCS-2 escape
  std::string volumeId;          // up to 32 bytes
  std::string publisherId;       // up to 128 bytes
  std::string applicationId;     // up to 128 bytes
  uint32_t volumeSpaceSize = 0;  // blocks from block 0 to the end of the session
  uint32_t pathTableSize = 0;    // bytes
  uint32_t lPathTable = 0;       // block of the little-endian path table
  uint32_t mPathTable = 0;       // block of the big-endian path table
  uint32_t rootExtent = 0;       // the root directory's extent
  uint32_t rootLength = 0;       // and its length in bytes
  int64_t creationTime = 0;      // seconds since 1970
};

// Writes a whole 2048-byte descriptor block.
void EncodeVolumeDescriptor(uint8_t* block, const VolumeFields& fields);
void EncodeTerminator(uint8_t* block);

// What the reader takes from a primary or supplementary descriptor.
struct DecodedVolume {
  uint8_t type = 0;
  bool joliet = false;
  uint32_t volumeSpaceSize = 0;
  RecordFields root;                  // identifier points into the block
  const uint8_t* volumeId = nullptr;  // 32 bytes inside the block
};

// True when block holds a descriptor of this standard ("CD001", version 1).
bool IsIsoDescriptor(const uint8_t* block);
// Decodes a primary or supplementary descriptor. False with the reason on a
// logical block size other than 2048, disagreeing both-byte-order halves or
// a malformed root record.
bool DecodeVolumeDescriptor(const uint8_t* block, DecodedVolume* volume, std::string* why);
// The escape sequences "%/@", "%/C" and "%/E" name UCS-2 levels 1 to 3.
bool HasJolietEscape(const uint8_t* block);

}  // namespace iso
}  // namespace starburn
