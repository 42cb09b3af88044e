#include "iso/Ecma119.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/BlockIo.h"

namespace starburn {
namespace iso {

void PutLe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
void PutBe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}
void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
void PutBe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * (3 - i)));
}
void PutBoth16(uint8_t* at, uint16_t value) {
  PutLe16(at, value);
  PutBe16(at + 2, value);
}
void PutBoth32(uint8_t* at, uint32_t value) {
  PutLe32(at, value);
  PutBe32(at + 4, value);
}
uint16_t GetLe16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }
uint32_t GetLe32(const uint8_t* at) {
  return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) |
         (uint32_t{at[3]} << 24);
}
uint32_t GetBe32(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) |
         uint32_t{at[3]};
}
bool GetBoth16(const uint8_t* at, uint16_t* value) {
  *value = GetLe16(at);
  return *value == static_cast<uint16_t>((at[2] << 8) | at[3]);
}
bool GetBoth32(const uint8_t* at, uint32_t* value) {
  *value = GetLe32(at);
  return *value == GetBe32(at + 4);
}

namespace {

struct Civil {
  int64_t year;
  unsigned month, day, hour, minute, second;
};

// Proleptic Gregorian calendar from days since 1970-01-01.
Civil ToCivil(int64_t unixSeconds) {
  int64_t days = unixSeconds / 86400;
  int64_t rest = unixSeconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  Civil civil;
  civil.day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  civil.month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  civil.year = yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0);
  civil.hour = static_cast<unsigned>(rest / 3600);
  civil.minute = static_cast<unsigned>(rest / 60 % 60);
  civil.second = static_cast<unsigned>(rest % 60);
  return civil;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// A record date's GMT offset counts 15-minute units.
constexpr int64_t kOffsetUnitSeconds = int64_t{15} * 60;

// The range a record date can hold: years 1900 to 2155 (one byte).
constexpr int64_t kFirstRecordSecond = -2208988800;  // 1900-01-01T00:00:00Z
constexpr int64_t kLastRecordSecond = 5959987199;    // 2155-12-31T23:59:59Z
// The range a descriptor date can hold: four digits of year.
constexpr int64_t kFirstDescriptorSecond = -62135596800;  // 0001-01-01T00:00:00Z
constexpr int64_t kLastDescriptorSecond = 253402300799;   // 9999-12-31T23:59:59Z

}  // namespace

void PutRecordTime(uint8_t* at, int64_t unixSeconds) {
  const Civil civil = ToCivil(std::clamp(unixSeconds, kFirstRecordSecond, kLastRecordSecond));
  at[0] = static_cast<uint8_t>(civil.year - 1900);
  at[1] = static_cast<uint8_t>(civil.month);
  at[2] = static_cast<uint8_t>(civil.day);
  at[3] = static_cast<uint8_t>(civil.hour);
  at[4] = static_cast<uint8_t>(civil.minute);
  at[5] = static_cast<uint8_t>(civil.second);
  at[6] = 0;  // GMT
}

bool GetRecordTime(const uint8_t* at, int64_t* unixSeconds) {
  if (std::all_of(at, at + kRecordTimeSize, [](uint8_t byte) { return byte == 0; })) return false;
  const int offset = at[6] < 0x80 ? at[6] : at[6] - 0x100;
  *unixSeconds = DaysFromCivil(1900 + at[0], at[1], at[2]) * 86400 + int64_t{at[3]} * 3600 +
                 int64_t{at[4]} * 60 + at[5] - offset * kOffsetUnitSeconds;
  return true;
}

void PutDescriptorTime(uint8_t* at, int64_t unixSeconds) {
  const Civil civil =
      ToCivil(std::clamp(unixSeconds, kFirstDescriptorSecond, kLastDescriptorSecond));
  char digits[kDescriptorTimeSize + 1];
  std::snprintf(digits, sizeof digits, "%04u%02u%02u%02u%02u%02u00",
                static_cast<unsigned>(civil.year), civil.month, civil.day, civil.hour, civil.minute,
                civil.second);
  std::memcpy(at, digits, kDescriptorTimeSize - 1);
  at[kDescriptorTimeSize - 1] = 0;  // GMT
}

void PutUnspecifiedDescriptorTime(uint8_t* at) {
  std::memset(at, '0', kDescriptorTimeSize - 1);
  at[kDescriptorTimeSize - 1] = 0;
}

bool IsValidRecordTime(const uint8_t* at) {
  if (std::all_of(at, at + kRecordTimeSize, [](uint8_t byte) { return byte == 0; })) return true;
  // The GMT offset counts 15-minute units from -48 (west) to +52 (east).
  const int offset = at[6] < 0x80 ? at[6] : at[6] - 0x100;
  return at[1] >= 1 && at[1] <= 12 && at[2] >= 1 && at[2] <= 31 && at[3] <= 23 && at[4] <= 59 &&
         at[5] <= 59 && offset >= -48 && offset <= 52;
}

std::size_t DirectoryRecordLength(std::size_t identifierLength) {
  return kRecordFixedSize + identifierLength + (identifierLength % 2 == 0 ? 1 : 0);
}

void EncodeDirectoryRecord(uint8_t* out, const RecordFields& fields) {
  const std::size_t length = DirectoryRecordLength(fields.identifierLength);
  std::memset(out, 0, length);
  out[0] = static_cast<uint8_t>(length);                // byte 0: length of directory record
  out[1] = 0;                                           // byte 1: extended attribute record length
  PutBoth32(out + 2, fields.extent);                    // bytes 2-9: location of extent
  PutBoth32(out + 10, fields.dataLength);               // bytes 10-17: data length
  std::memcpy(out + 18, fields.time, kRecordTimeSize);  // bytes 18-24
  out[25] = fields.flags;                               // byte 25: file flags
  out[26] = 0;                                          // byte 26: file unit size
  out[27] = 0;                                          // byte 27: interleave gap size
  PutBoth16(out + 28, 1);                               // bytes 28-31: volume sequence number
  out[32] = static_cast<uint8_t>(fields.identifierLength);  // byte 32
  std::memcpy(out + 33, fields.identifier, fields.identifierLength);
}

bool DecodeDirectoryRecord(const uint8_t* at, std::size_t room, RecordFields* fields,
                           std::size_t* length, std::string* why) {
  *length = at[0];
  if (*length == 0) return true;
  if (*length > room) {
    *why = "a directory record crosses the end of its sector";
    return false;
  }
  if (*length < kRecordFixedSize + 1) {
    *why = "a directory record is shorter than its fixed part";
    return false;
  }
  fields->identifierLength = at[32];
  if (fields->identifierLength == 0) {
    *why = "a directory record has an empty file identifier";
    return false;
  }
  // Byte 1 (extended attribute record length) may precede the data; it does
  // not change where the identifier lies.
  if (kRecordFixedSize + fields->identifierLength > *length) {
    *why = "a file identifier runs past the end of its directory record";
    return false;
  }
  uint16_t sequence = 0;
  if (!GetBoth32(at + 2, &fields->extent) || !GetBoth32(at + 10, &fields->dataLength) ||
      !GetBoth16(at + 28, &sequence)) {
    *why = "the two byte orders of a directory record field disagree";
    return false;
  }
  std::memcpy(fields->time, at + 18, kRecordTimeSize);
  if (!IsValidRecordTime(fields->time)) {
    *why = "a directory record has an invalid recording date";
    return false;
  }
  fields->flags = at[25];
  fields->identifier = at + 33;
  return true;
}

std::size_t PathTableRecordLength(std::size_t identifierLength) {
  return 8 + identifierLength + (identifierLength % 2);
}

void EncodePathTableRecord(uint8_t* out, bool bigEndian, uint32_t extent, uint16_t parent,
                           const uint8_t* identifier, std::size_t identifierLength) {
  std::memset(out, 0, PathTableRecordLength(identifierLength));
  out[0] = static_cast<uint8_t>(identifierLength);  // byte 0: length of directory identifier
  out[1] = 0;                                       // byte 1: extended attribute record length
  if (bigEndian) {
    PutBe32(out + 2, extent);  // bytes 2-5: location of extent
    PutBe16(out + 6, parent);  // bytes 6-7: parent directory number
  } else {
    PutLe32(out + 2, extent);
    PutLe16(out + 6, parent);
  }
  std::memcpy(out + 8, identifier, identifierLength);  // bytes 8..: directory identifier
}

namespace {

void PutPadded(uint8_t* at, std::size_t size, const std::string& text, bool ucs2) {
  for (std::size_t i = 0; i < size; ++i) {
    // Spaces pad: 0x20 in d/a-characters, 0x0020 in UCS-2.
    at[i] = (ucs2 && i % 2 == 0) ? 0x00 : 0x20;
  }
  std::copy_n(text.data(), std::min(size, text.size()), at);
}

constexpr char kStandardId[] = "CD001";

}  // namespace

void EncodeVolumeDescriptor(uint8_t* block, const VolumeFields& fields) {
  std::memset(block, 0, kBlockSize);
  const bool ucs2 = fields.joliet;
  block[0] = fields.joliet ? kDescriptorSupplementary : kDescriptorPrimary;  // byte 0: type
  std::copy_n(kStandardId, 5, block + 1);  // bytes 1-5: standard identifier
  block[6] = 1;                            // byte 6: version
  PutPadded(block + 8, 32, "", ucs2);      // bytes 8-39: system identifier
  PutPadded(block + kDescriptorVolumeIdOffset, kDescriptorVolumeIdSize, fields.volumeId, ucs2);
  PutBoth32(block + 80, fields.volumeSpaceSize);  // bytes 80-87: volume space size
  if (fields.joliet) {
    std::copy_n("%/E", 3, block + kDescriptorEscapeOffset);  // UCS-2 level 3
  }
  PutBoth16(block + 120, 1);                     // bytes 120-123: volume set size
  PutBoth16(block + 124, 1);                     // bytes 124-127: volume sequence number
  PutBoth16(block + 128, kBlockSize);            // bytes 128-131: logical block size
  PutBoth32(block + 132, fields.pathTableSize);  // bytes 132-139: path table size
  PutLe32(block + 140, fields.lPathTable);       // bytes 140-143: L path table (144-147: no copy)
  PutBe32(block + 148, fields.mPathTable);       // bytes 148-151: M path table (152-155: no copy)
  const uint8_t rootIdentifier = kSelfIdentifier;
  RecordFields root;
  root.extent = fields.rootExtent;
  root.dataLength = fields.rootLength;
  PutRecordTime(root.time, fields.creationTime);
  root.flags = kFlagDirectory;
  root.identifier = &rootIdentifier;
  root.identifierLength = 1;
  EncodeDirectoryRecord(block + kDescriptorRootRecordOffset, root);  // bytes 156-189
  PutPadded(block + 190, 128, "", ucs2);                             // volume set identifier
  PutPadded(block + 318, 128, fields.publisherId, ucs2);             // publisher identifier
  PutPadded(block + 446, 128, "", ucs2);                             // data preparer identifier
  PutPadded(block + 574, 128, fields.applicationId, ucs2);           // application identifier
  PutPadded(block + 702, 37, "", ucs2);                              // copyright file identifier
  PutPadded(block + 739, 37, "", ucs2);                              // abstract file identifier
  PutPadded(block + 776, 37, "", ucs2);                 // bibliographic file identifier
  PutDescriptorTime(block + 813, fields.creationTime);  // volume creation date
  PutDescriptorTime(block + 830, fields.creationTime);  // volume modification date
  PutUnspecifiedDescriptorTime(block + 847);            // volume expiration date
  PutUnspecifiedDescriptorTime(block + 864);            // volume effective date
  block[881] = 1;                                       // file structure version
}

void EncodeTerminator(uint8_t* block) {
  std::memset(block, 0, kBlockSize);
  block[0] = kDescriptorTerminator;
  std::copy_n(kStandardId, 5, block + 1);
  block[6] = 1;
}

bool IsIsoDescriptor(const uint8_t* block) {
  return std::memcmp(block + 1, kStandardId, 5) == 0 && block[6] == 1;
}

bool HasJolietEscape(const uint8_t* block) {
  const uint8_t* escape = block + kDescriptorEscapeOffset;
  return escape[0] == '%' && escape[1] == '/' &&
         (escape[2] == '@' || escape[2] == 'C' || escape[2] == 'E');
}

bool DecodeVolumeDescriptor(const uint8_t* block, DecodedVolume* volume, std::string* why) {
  volume->type = block[0];
  volume->joliet = block[0] == kDescriptorSupplementary && HasJolietEscape(block);
  uint16_t blockSize = 0;
  if (!GetBoth32(block + 80, &volume->volumeSpaceSize) || !GetBoth16(block + 128, &blockSize)) {
    *why = "the two byte orders of a volume descriptor field disagree";
    return false;
  }
  if (blockSize != kBlockSize) {
    *why = "the volume's logical block size is " + std::to_string(blockSize) + ", not 2048";
    return false;
  }
  std::size_t length = 0;
  if (!DecodeDirectoryRecord(block + kDescriptorRootRecordOffset, kDescriptorRootRecordSize,
                             &volume->root, &length, why)) {
    *why = "root directory record: " + *why;
    return false;
  }
  if (length == 0 || (volume->root.flags & kFlagDirectory) == 0) {
    *why = "the root directory record is missing";
    return false;
  }
  volume->volumeId = block + kDescriptorVolumeIdOffset;
  return true;
}

}  // namespace iso
}  // namespace starburn
