#include "iso/SessionProbe.h"

#include <cstring>
#include <vector>

namespace starburn {

namespace {

// Volume descriptors start 16 blocks into a session (the system area before).
constexpr uint32_t kDescriptorOffset = 16;
// A descriptor set longer than this is not believed (real sets hold a handful:
// primary, supplementary, boot, terminator, and the UDF recognition sequence).
constexpr uint32_t kMaxDescriptors = 64;

constexpr uint8_t kTypePrimary = 1;
constexpr uint8_t kTypeSupplementary = 2;
constexpr uint8_t kTypeTerminator = 255;
// Volume identifier: bytes 40 to 71 of a primary or supplementary descriptor.
constexpr std::size_t kVolumeIdOffset = 40;
constexpr std::size_t kVolumeIdSize = 32;
// Escape sequences of a supplementary descriptor: bytes 88 to 119.
constexpr std::size_t kEscapeOffset = 88;

bool IsJolietEscape(const uint8_t* descriptor) {
  // "%/@", "%/C" and "%/E" name UCS-2 levels 1, 2 and 3.
  const uint8_t* escape = descriptor + kEscapeOffset;
  return escape[0] == '%' && escape[1] == '/' &&
         (escape[2] == '@' || escape[2] == 'C' || escape[2] == 'E');
}

std::string IsoLabel(const uint8_t* descriptor) {
  std::string label(reinterpret_cast<const char*>(descriptor + kVolumeIdOffset), kVolumeIdSize);
  while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
  return label;
}

std::u16string JolietLabel(const uint8_t* descriptor) {
  std::u16string label;
  for (std::size_t i = 0; i + 1 < kVolumeIdSize; i += 2) {
    const uint8_t* unit = descriptor + kVolumeIdOffset + i;
    label.push_back(static_cast<char16_t>((unit[0] << 8) | unit[1]));  // big-endian UCS-2
  }
  while (!label.empty() && (label.back() == u' ' || label.back() == u'\0')) label.pop_back();
  return label;
}

}  // namespace

StarBurnStatus ProbeSession(BlockReader& reader, uint32_t sessionStart, SessionSummary* summary,
                            std::string* error) {
  *summary = SessionSummary();
  std::vector<uint8_t> block(kBlockSize);
  bool terminated = false;
  for (uint32_t i = 0; i < kMaxDescriptors && !terminated; ++i) {
    const uint64_t lba = uint64_t{sessionStart} + kDescriptorOffset + i;
    if (lba >= reader.BlockCount() || lba > UINT32_MAX) break;
    const StarBurnStatus status = reader.ReadBlocks(static_cast<uint32_t>(lba), 1, block.data());
    if (status != STARBURN_OK) {
      if (error != nullptr) *error = "cannot read the volume descriptors";
      return status;
    }
    const char* id = reinterpret_cast<const char*>(block.data() + 1);
    if (std::memcmp(id, "CD001", 5) == 0) {
      const uint8_t type = block[0];
      if (type == kTypePrimary && !summary->iso9660) {
        summary->iso9660 = true;
        summary->isoLabel = IsoLabel(block.data());
      } else if (type == kTypeSupplementary && IsJolietEscape(block.data()) && !summary->joliet) {
        summary->joliet = true;
        summary->jolietLabel = JolietLabel(block.data());
      } else if (type == kTypeTerminator) {
        terminated = true;
      }
    } else if (std::memcmp(id, "BEA01", 5) == 0 || std::memcmp(id, "NSR02", 5) == 0 ||
               std::memcmp(id, "NSR03", 5) == 0 || std::memcmp(id, "TEA01", 5) == 0) {
      summary->otherFileSystem = true;  // the UDF volume recognition sequence
    } else {
      break;  // not a descriptor: the set has ended
    }
  }
  if (!summary->iso9660 && !summary->joliet && !summary->otherFileSystem) {
    if (error != nullptr) *error = "no volume descriptors in the session";
    return STARBURN_STATUS_BAD_FILE_SYSTEM;
  }
  return STARBURN_OK;
}

}  // namespace starburn
