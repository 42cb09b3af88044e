#include "iso/SessionProbe.h"

#include "iso/Ecma119.h"
#include "iso/SessionReader.h"

namespace starburn {

namespace {

std::string IsoLabel(const uint8_t* descriptor) {
  std::string label(reinterpret_cast<const char*>(descriptor + iso::kDescriptorVolumeIdOffset),
                    iso::kDescriptorVolumeIdSize);
  while (!label.empty() && (label.back() == ' ' || label.back() == '\0')) label.pop_back();
  return label;
}

std::u16string JolietLabel(const uint8_t* descriptor) {
  std::u16string label;
  for (std::size_t i = 0; i + 1 < iso::kDescriptorVolumeIdSize; i += 2) {
    const uint8_t* unit = descriptor + iso::kDescriptorVolumeIdOffset + i;
    label.push_back(static_cast<char16_t>((unit[0] << 8) | unit[1]));  // big-endian UCS-2
  }
  while (!label.empty() && (label.back() == u' ' || label.back() == u'\0')) label.pop_back();
  return label;
}

}  // namespace

StarBurnStatus ProbeSession(BlockReader& reader, uint32_t sessionStart, SessionSummary* summary,
                            std::string* error) {
  *summary = SessionSummary();
  iso::VolumeSet set;
  std::string why;
  const StarBurnStatus status = iso::ReadVolumeSet(reader, sessionStart, &set, &why);
  if (status != STARBURN_OK) {
    if (error != nullptr) *error = why;
    return status;
  }
  summary->iso9660 = set.hasPrimary;
  summary->joliet = set.hasJoliet;
  summary->otherFileSystem = set.otherFileSystem;
  if (set.hasPrimary) summary->isoLabel = IsoLabel(set.primary.data());
  if (set.hasJoliet) summary->jolietLabel = JolietLabel(set.joliet.data());
  if (!summary->iso9660 && !summary->joliet && !summary->otherFileSystem) {
    if (error != nullptr) *error = "no volume descriptors in the session";
    return STARBURN_STATUS_BAD_FILE_SYSTEM;
  }
  return STARBURN_OK;
}

}  // namespace starburn
