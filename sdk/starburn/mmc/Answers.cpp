#include "mmc/Answers.h"

#include <algorithm>
#include <cstring>

#include "mmc/Bytes.h"
#include "mmc/Profiles.h"

namespace starburn {

namespace {

std::string Trimmed(const uint8_t* text, std::size_t size) {
  std::string value(reinterpret_cast<const char*>(text), size);
  const std::size_t end = value.find_last_not_of(std::string(" \0", 2));
  value.resize(end == std::string::npos ? 0 : end + 1);
  return value;
}

// The length an answer claims (its length field plus the field itself), cut to
// what the drive actually transferred.
uint32_t Claimed(uint32_t fieldValue, uint32_t fieldSize, uint32_t transferred) {
  return std::min<uint64_t>(uint64_t{fieldValue} + fieldSize, transferred);
}

}  // namespace

bool ParseInquiry(const uint8_t* data, uint32_t length, InquiryData* out) {
  if (length < kInquiryLength) return false;
  out->peripheralType = data[0] & 0x1F;
  out->removable = (data[1] & 0x80) != 0;
  out->vendor = Trimmed(data + 8, 8);
  out->product = Trimmed(data + 16, 16);
  out->revision = Trimmed(data + 32, 4);
  return true;
}

const Feature* Configuration::Find(uint16_t code) const {
  for (const Feature& feature : features) {
    if (feature.code == code) return &feature;
  }
  return nullptr;
}

bool Configuration::HasProfile(uint16_t profile) const {
  return std::find(profiles.begin(), profiles.end(), profile) != profiles.end();
}

bool ParseConfiguration(const uint8_t* data, uint32_t length, Configuration* out) {
  constexpr uint32_t kHeader = 8;
  constexpr uint32_t kFeatureHeader = 4;
  constexpr uint32_t kProfileDescriptor = 4;
  if (length < kHeader) return false;
  *out = Configuration();
  out->currentProfile = GetBig16(data + 6);
  const uint32_t end = Claimed(GetBig32(data), 4, length);
  uint32_t at = kHeader;
  while (at + kFeatureHeader <= end) {
    Feature feature;
    feature.code = GetBig16(data + at);
    feature.current = (data[at + 2] & 0x01) != 0;
    const uint32_t size = data[at + 3];
    if (at + kFeatureHeader + size > end) return false;  // a feature cut in the middle
    feature.data.assign(data + at + kFeatureHeader, data + at + kFeatureHeader + size);
    if (feature.code == feature::kProfileList) {
      for (uint32_t p = 0; p + kProfileDescriptor <= size; p += kProfileDescriptor) {
        out->profiles.push_back(GetBig16(feature.data.data() + p));
      }
    }
    out->features.push_back(std::move(feature));
    at += kFeatureHeader + size;
  }
  return true;
}

bool ParseDiscInformation(const uint8_t* data, uint32_t length, DiscInformation* out) {
  constexpr uint32_t kNeeded = 24;  // through the last possible lead-out start
  const uint32_t size = length < 2 ? 0 : Claimed(GetBig16(data), 2, length);
  if (size < kNeeded) return false;
  *out = DiscInformation();
  out->rawLength = std::min<uint32_t>(size, kDiscInformationLength);
  std::memcpy(out->raw, data, out->rawLength);
  const uint8_t* raw = out->raw;  // zero beyond what the drive sent
  out->erasable = (raw[2] & 0x10) != 0;
  out->lastSessionState = (raw[2] >> 2) & 0x03;
  out->discStatus = raw[2] & 0x03;
  out->firstTrack = raw[3];
  out->sessions = static_cast<uint16_t>((raw[9] << 8) | raw[4]);
  out->firstTrackInLastSession = static_cast<uint16_t>((raw[10] << 8) | raw[5]);
  out->lastTrackInLastSession = static_cast<uint16_t>((raw[11] << 8) | raw[6]);
  out->formatStatus = raw[7] & 0x03;
  out->lastPossibleLeadOut = GetBig32(raw + 20);
  return true;
}

bool ParseTrackInformation(const uint8_t* data, uint32_t length, TrackInformation* out) {
  constexpr uint32_t kNeeded = 28;  // through the track size
  const uint32_t size = length < 2 ? 0 : Claimed(GetBig16(data), 2, length);
  if (size < kNeeded) return false;
  *out = TrackInformation();
  const uint8_t high = size >= 34 ? data[32] : 0;
  const uint8_t sessionHigh = size >= 34 ? data[33] : 0;
  out->track = static_cast<uint16_t>((high << 8) | data[2]);
  out->session = static_cast<uint16_t>((sessionHigh << 8) | data[3]);
  out->damage = (data[5] & 0x20) != 0;
  out->copy = (data[5] & 0x10) != 0;
  out->trackMode = data[5] & 0x0F;
  out->reserved = (data[6] & 0x80) != 0;
  out->blank = (data[6] & 0x40) != 0;
  out->packet = (data[6] & 0x20) != 0;
  out->fixedPacket = (data[6] & 0x10) != 0;
  out->dataMode = data[6] & 0x0F;
  out->nextWritableValid = (data[7] & 0x01) != 0;
  out->start = GetBig32(data + 8);
  out->nextWritable = GetBig32(data + 12);
  out->freeBlocks = GetBig32(data + 16);
  out->size = GetBig32(data + 24);
  return true;
}

bool ParseToc(const uint8_t* data, uint32_t length, Toc* out) {
  constexpr uint32_t kHeader = 4;
  constexpr uint32_t kDescriptor = 8;
  const uint32_t size = length < 2 ? 0 : Claimed(GetBig16(data), 2, length);
  if (size < kHeader) return false;
  *out = Toc();
  out->first = data[2];
  out->last = data[3];
  for (uint32_t at = kHeader; at + kDescriptor <= size; at += kDescriptor) {
    TocEntry entry;
    entry.control = data[at + 1] & 0x0F;
    entry.track = data[at + 2];
    entry.address = GetBig32(data + at + 4);
    out->entries.push_back(entry);
  }
  return true;
}

bool ParseModePage(const uint8_t* data, uint32_t length, uint8_t page, std::vector<uint8_t>* out) {
  if (length < kModeHeaderLength) return false;
  const uint32_t size = Claimed(GetBig16(data), 2, length);
  const uint32_t at = kModeHeaderLength + GetBig16(data + 6);  // after any block descriptors
  if (at + 2 > size || (data[at] & 0x3F) != page) return false;
  const uint32_t pageSize = 2u + data[at + 1];
  if (at + pageSize > size) return false;
  out->assign(data + at, data + at + pageSize);
  (*out)[0] &= 0x3F;  // drop PS: a page sent back must not carry it
  return true;
}

bool ParseBufferCapacity(const uint8_t* data, uint32_t length, BufferCapacity* out) {
  if (length < kBufferCapacityLength) return false;
  out->size = GetBig32(data + 4);
  out->free = GetBig32(data + 8);
  return true;
}

bool ParseFormatCapacities(const uint8_t* data, uint32_t length, FormatCapacities* out) {
  constexpr uint32_t kHeader = 4;
  constexpr uint32_t kDescriptor = 8;
  if (length < kHeader + kDescriptor) return false;
  const uint32_t end = std::min<uint32_t>(kHeader + data[3], length);
  out->currentBlocks = GetBig32(data + kHeader);
  out->currentState = data[kHeader + 4] & 0x03;
  out->formats.clear();
  for (uint32_t at = kHeader + kDescriptor; at + kDescriptor <= end; at += kDescriptor) {
    FormatCapacity format;
    format.blocks = GetBig32(data + at);
    format.type = data[at + 4] >> 2;
    format.parameter = GetBig24(data + at + 5);
    out->formats.push_back(format);
  }
  return true;
}

bool ParseWriteSpeeds(const uint8_t* data, uint32_t length, std::vector<WriteSpeed>* out) {
  if (length < kPerformanceHeaderLength) return false;
  out->clear();
  const uint32_t size = Claimed(GetBig32(data), 4, length);
  for (uint32_t at = kPerformanceHeaderLength; at + kPerformanceDescriptorLength <= size;
       at += kPerformanceDescriptorLength) {
    WriteSpeed speed;
    speed.endLba = GetBig32(data + at + 4);
    speed.readSpeed = GetBig32(data + at + 8);
    speed.writeSpeed = GetBig32(data + at + 12);
    out->push_back(speed);
  }
  return true;
}

}  // namespace starburn
