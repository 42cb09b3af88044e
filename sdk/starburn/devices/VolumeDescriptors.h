#pragma once

// What the drive layer needs of an ISO 9660 session's volume descriptors: on
// overwritable media a new session is found after the volume the primary
// descriptor at block 16 describes, and a new session's descriptors are
// copied there.

#include <cstdint>
#include <cstring>

#include "mmc/Bytes.h"

namespace starburn {

// Descriptors begin 16 blocks into a session (after the system area); a set
// longer than 64 is not believed (real sets hold a handful).
constexpr uint32_t kDescriptorStart = 16;
constexpr uint32_t kMaxDescriptors = 64;
// Overwritable media have no blank state of their own once formatted: such a
// disc counts as blank when it holds no session and its system area and first
// descriptor block are zero. Any other file system (ext2 and FAT in block 0, a
// tar header, UDF's recognition sequence at block 16) or a damaged ISO 9660
// descriptor shows there; a quick blank zeroes these blocks first.
constexpr uint32_t kBlankProbeBlocks = kDescriptorStart + 1;

// Byte 0 of a descriptor: its type.
constexpr uint8_t kPrimaryDescriptor = 1;
constexpr uint8_t kTerminatorDescriptor = 255;
// Volume space size of a primary descriptor: bytes 80-83, the little-endian
// half of a both-endian field.
constexpr uint32_t kVolumeSpaceSizeOffset = 80;

inline bool IsVolumeDescriptor(const uint8_t* block) {
  return std::memcmp(block + 1, "CD001", 5) == 0;
}

inline uint32_t VolumeSpaceSize(const uint8_t* primary) {
  return GetLittle32(primary + kVolumeSpaceSizeOffset);
}

}  // namespace starburn
