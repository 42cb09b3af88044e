#include "virtual/EmulatedAnswers.h"

#include <algorithm>
#include <cstring>

#include "mmc/Answers.h"
#include "mmc/Bytes.h"
#include "mmc/Cdb.h"
#include "mmc/Profiles.h"

namespace starburn {

namespace {

constexpr uint32_t kFramesPerSecond = 75;
constexpr uint32_t kLeadInFrames = 150;  // a disc address 0 is at 00:02:00
constexpr uint32_t kLeadInBlocks = 4500;

void PutText(uint8_t* field, std::size_t size, const std::string& text) {
  std::memset(field, ' ', size);
  std::copy_n(text.begin(), std::min(size, text.size()), field);
}

struct FeatureBuilder {
  std::vector<uint8_t>* out;
  uint8_t requestType;
  uint16_t startingFeature;

  void Add(uint16_t code, bool current, std::vector<uint8_t> data) {
    if (code < startingFeature) return;
    if (requestType == kConfigurationCurrent && !current) return;
    if (requestType == 2 && code != startingFeature) return;
    const std::size_t at = out->size();
    out->resize(at + 4);
    PutBig16(&(*out)[at], code);
    (*out)[at + 2] = static_cast<uint8_t>(0x02 | (current ? 0x01 : 0x00));  // persistent
    (*out)[at + 3] = static_cast<uint8_t>(data.size());
    out->insert(out->end(), data.begin(), data.end());
  }
};

}  // namespace

uint32_t MsfOf(uint32_t lba) {
  const uint32_t frames = lba + kLeadInFrames;
  const uint32_t minute = frames / (60 * kFramesPerSecond);
  const uint32_t second = frames / kFramesPerSecond % 60;
  const uint32_t frame = frames % kFramesPerSecond;
  return (std::min<uint32_t>(minute, 0xFF) << 16) | (second << 8) | frame;
}

std::vector<uint8_t> InquiryAnswer(const DriveModel& model) {
  std::vector<uint8_t> answer(kInquiryLength, 0);
  answer[0] = 0x05;  // CD/DVD/BD device
  answer[1] = 0x80;  // removable
  answer[2] = 0x05;  // version
  answer[3] = 0x32;  // response data format 2
  answer[4] = static_cast<uint8_t>(kInquiryLength - 5);
  PutText(&answer[8], 8, model.vendor);
  PutText(&answer[16], 16, model.product);
  PutText(&answer[32], 4, model.revision);
  return answer;
}

std::vector<uint8_t> ConfigurationAnswer(const DriveModel& model, uint16_t currentProfile,
                                         uint8_t requestType, uint16_t startingFeature,
                                         bool incremental) {
  std::vector<uint8_t> answer(8, 0);
  PutBig16(&answer[6], currentProfile);
  FeatureBuilder features{&answer, requestType, startingFeature};
  auto reads = [&](bool (*family)(uint16_t)) {
    return std::any_of(model.readProfiles.begin(), model.readProfiles.end(), family);
  };
  auto writes = [&](uint16_t p) { return model.Writes(p); };

  std::vector<uint8_t> profiles;
  for (uint16_t p : model.readProfiles) {
    const uint8_t descriptor[4] = {static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p),
                                   static_cast<uint8_t>(p == currentProfile ? 1 : 0), 0};
    profiles.insert(profiles.end(), descriptor, descriptor + 4);
  }
  features.Add(feature::kProfileList, true, profiles);
  features.Add(feature::kCore, true, {0, 0, 0, 2, 0, 0, 0, 0});    // ATAPI
  features.Add(feature::kRemovableMedium, true, {0x29, 0, 0, 0});  // tray, eject, lock
  features.Add(feature::kRandomReadable, currentProfile != 0, {0, 0, 8, 0, 0, 1, 0, 0});
  if (reads(IsCdProfile)) features.Add(feature::kCdRead, IsCdProfile(currentProfile), {0, 0, 0, 0});
  if (reads(IsDvdProfile)) {
    features.Add(feature::kDvdRead, IsDvdProfile(currentProfile), {0, 0, 0, 0});
  }
  if (writes(profile::kDvdRam) || writes(profile::kBdRe)) {
    features.Add(feature::kRandomWritable, false, std::vector<uint8_t>(12, 0));
  }
  const bool dvdMinus = writes(profile::kDvdR) || writes(profile::kDvdRwSequential) ||
                        writes(profile::kDvdRDualLayer);
  if (dvdMinus) {  // Mode 1 blocks; one link size
    features.Add(feature::kIncrementalStreamingWritable, incremental,
                 {0, 1, 0, 1, kDvdLinkSize, 0, 0, 0});
  }
  if (writes(profile::kDvdPlusRw) || writes(profile::kBdRe) || writes(profile::kDvdRam)) {
    features.Add(feature::kFormattable, false, {0, 0, 0, 0});
  }
  if (writes(profile::kDvdRwRestrictedOverwrite)) {
    features.Add(feature::kRestrictedOverwrite, false, {0, 0, 0, 0});
  }
  if (writes(profile::kDvdPlusRw)) features.Add(feature::kDvdPlusRw, false, {0x01, 0, 0, 0});
  if (writes(profile::kDvdPlusR)) features.Add(feature::kDvdPlusR, false, {0x01, 0, 0, 0});
  if (writes(profile::kCdR) || writes(profile::kCdRw)) {
    const uint8_t flags =
        static_cast<uint8_t>(0x40 | 0x04 | (writes(profile::kCdRw) ? 0x02 : 0x00));  // BUF, test
    features.Add(feature::kCdTrackAtOnce, false, {flags, 0, 0, 0x01});  // data type: Mode 1
  }
  if (dvdMinus) {
    const uint8_t flags =
        static_cast<uint8_t>(0x40 | 0x04 | (writes(profile::kDvdRwSequential) ? 0x02 : 0x00));
    features.Add(feature::kDvdMinusRWrite, false, {flags, 0, 0, 0});
  }
  if (writes(profile::kCdRw)) features.Add(feature::kCdRwMediaWriteSupport, false, {0, 0, 0, 0});
  if (writes(profile::kDvdPlusRDualLayer)) {
    features.Add(feature::kDvdPlusRDualLayer, false, {0x01, 0, 0, 0});
  }
  if (reads(IsBdProfile)) {
    features.Add(feature::kBdRead, IsBdProfile(currentProfile), std::vector<uint8_t>(28, 0));
  }
  if (writes(profile::kBdRSequential) || writes(profile::kBdRe)) {
    features.Add(feature::kBdWrite, false, std::vector<uint8_t>(20, 0));
  }
  PutBig32(&answer[0], static_cast<uint32_t>(answer.size() - 4));
  return answer;
}

std::vector<uint8_t> DiscInformationAnswer(const EmulatedDisc& disc, uint8_t backgroundFormat) {
  std::vector<uint8_t> answer(kDiscInformationLength, 0);
  PutBig16(&answer[0], kDiscInformationLength - 2);
  const bool erasable = disc.GetMedium().erasable;
  answer[2] = static_cast<uint8_t>((erasable ? 0x10 : 0) | (disc.LastSessionState() << 2) |
                                   disc.DiscStatus());
  const std::vector<TrackView> tracks = disc.Tracks();
  const uint16_t lastTrack = tracks.empty() ? 1 : tracks.back().number;
  const uint16_t lastSession = tracks.empty() ? 1 : tracks.back().session;
  uint16_t firstInLast = lastTrack;
  for (const TrackView& track : tracks) {
    if (track.session == lastSession) {
      firstInLast = track.number;
      break;
    }
  }
  const uint16_t sessions = disc.SessionCount();
  answer[3] = 1;
  answer[4] = static_cast<uint8_t>(sessions);
  answer[5] = static_cast<uint8_t>(firstInLast);
  answer[6] = static_cast<uint8_t>(lastTrack);
  if (disc.GetMedium().kind == MediumClass::kOverwritable && disc.Formatted()) {
    answer[7] = disc.GetMedium().profile == profile::kDvdPlusRw ? backgroundFormat
                                                                : kBackgroundFormatComplete;
  }
  answer[9] = static_cast<uint8_t>(sessions >> 8);
  answer[10] = static_cast<uint8_t>(firstInLast >> 8);
  answer[11] = static_cast<uint8_t>(lastTrack >> 8);
  const bool cd = IsCdProfile(disc.GetMedium().profile);
  const uint32_t nextWritable = disc.NextWritable();
  if (cd && disc.DiscStatus() == kDiscAppendable && nextWritable >= kLeadInBlocks + kLeadInFrames) {
    PutBig32(&answer[16], MsfOf(nextWritable - kLeadInBlocks - kLeadInFrames));
  }
  // The last possible lead-out start: 0 M S F on CD, a block address on other discs.
  PutBig32(&answer[20], cd ? MsfOf(disc.Capacity()) : disc.Capacity());
  return answer;
}

std::vector<uint8_t> TrackInformationAnswer(const EmulatedDisc& disc, const TrackView& track) {
  std::vector<uint8_t> answer(kTrackInformationLength, 0);
  PutBig16(&answer[0], kTrackInformationLength - 2);
  answer[2] = static_cast<uint8_t>(track.number);
  answer[3] = static_cast<uint8_t>(track.session);
  const bool incremental =
      !IsCdProfile(disc.GetMedium().profile) && disc.GetMedium().kind == MediumClass::kSequential;
  answer[5] = static_cast<uint8_t>((incremental ? kDvdTrackMode : writeparams::kTrackModeData) |
                                   (track.damaged ? 0x20 : 0x00));
  const bool invisible = track.state == TrackView::State::kInvisible;
  answer[6] =
      static_cast<uint8_t>((invisible ? 0x40 : 0x00) | (incremental && !invisible ? 0x20 : 0x00) |
                           (invisible ? 0x0F : 0x01));
  const bool writable = track.state != TrackView::State::kClosed;
  answer[7] = static_cast<uint8_t>((writable ? 0x01 : 0x00) | (track.written > 0 ? 0x02 : 0x00));
  PutBig32(&answer[8], track.start);
  PutBig32(&answer[12], writable ? track.nextWritable : 0);
  PutBig32(&answer[16], track.freeBlocks);
  PutBig32(&answer[24], track.size);
  PutBig32(&answer[28], track.written > 0 ? track.start + track.written - 1 : 0);
  answer[32] = static_cast<uint8_t>(track.number >> 8);
  answer[33] = static_cast<uint8_t>(track.session >> 8);
  return answer;
}

bool TocAnswer(const EmulatedDisc& disc, uint8_t format, bool msf, uint8_t startingTrack,
               std::vector<uint8_t>* answer) {
  const std::vector<TrackView> tracks = disc.ClosedSessionTracks();
  if (tracks.empty() || format > kTocFormatSessions) return false;
  auto address = [msf](uint32_t lba) { return msf ? MsfOf(lba) : lba; };
  auto descriptor = [&](uint8_t track, uint32_t lba) {
    const uint8_t bytes[8] = {0, 0x14, track, 0, 0, 0, 0, 0};  // ADR 1, data track
    answer->insert(answer->end(), bytes, bytes + 8);
    PutBig32(&(*answer)[answer->size() - 4], address(lba));
  };
  answer->assign(4, 0);
  if (format == kTocFormatSessions) {
    const uint16_t last = tracks.back().session;
    const auto first = std::find_if(tracks.begin(), tracks.end(),
                                    [last](const TrackView& t) { return t.session == last; });
    (*answer)[2] = 1;
    (*answer)[3] = static_cast<uint8_t>(disc.ClosedSessionCount());
    descriptor(static_cast<uint8_t>(first->number), first->start);
  } else {
    (*answer)[2] = static_cast<uint8_t>(tracks.front().number);
    (*answer)[3] = static_cast<uint8_t>(tracks.back().number);
    for (const TrackView& track : tracks) {
      if (track.number >= startingTrack)
        descriptor(static_cast<uint8_t>(track.number), track.start);
    }
    descriptor(kLeadOutTrack, tracks.back().start + tracks.back().written);
  }
  PutBig16(&(*answer)[0], static_cast<uint32_t>(answer->size() - 2));
  return true;
}

std::vector<uint8_t> CapabilitiesPage(const DriveModel& model, const SpeedState& speeds,
                                      bool removalPrevented) {
  const std::size_t count = speeds.writeSpeeds.size();
  std::vector<uint8_t> page(capabilities::kPageLength + 4 * count, 0);
  page[0] = kCapabilitiesPage;
  page[1] = static_cast<uint8_t>(page.size() - 2);
  page[2] = static_cast<uint8_t>(
      (model.Reads(profile::kCdR) ? 0x01 : 0) | (model.Reads(profile::kCdRw) ? 0x02 : 0) |
      (model.Reads(profile::kDvdRom) ? 0x08 : 0) | (model.Reads(profile::kDvdR) ? 0x10 : 0) |
      (model.Reads(profile::kDvdRam) ? 0x20 : 0));
  page[3] = static_cast<uint8_t>(
      (model.Writes(profile::kCdR) ? 0x01 : 0) | (model.Writes(profile::kCdRw) ? 0x02 : 0) | 0x04 |
      (model.Writes(profile::kDvdR) ? 0x10 : 0) | (model.Writes(profile::kDvdRam) ? 0x20 : 0));
  page[6] = static_cast<uint8_t>(0x20 | 0x08 | 0x01 | (removalPrevented ? 0x02 : 0));
  PutBig16(&page[capabilities::kMaximumReadSpeed], speeds.maximumRead);
  PutBig16(&page[capabilities::kBufferSize], model.bufferBytes / 1024);
  PutBig16(&page[capabilities::kCurrentReadSpeed], speeds.currentRead);
  PutBig16(&page[capabilities::kMaximumWriteSpeed], speeds.maximumWrite);
  PutBig16(&page[20], speeds.currentWrite);  // the older field of the same value
  PutBig16(&page[capabilities::kCurrentWriteSpeed], speeds.currentWrite);
  PutBig16(&page[30], static_cast<uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {  // fastest first
    PutBig16(&page[capabilities::kPageLength + 4 * i + 2], speeds.writeSpeeds[count - 1 - i]);
  }
  return page;
}

std::vector<uint8_t> WriteSpeedsAnswer(const SpeedState& speeds, uint32_t capacity) {
  std::vector<uint8_t> answer(kPerformanceHeaderLength, 0);
  for (auto speed = speeds.writeSpeeds.rbegin(); speed != speeds.writeSpeeds.rend(); ++speed) {
    uint8_t descriptor[kPerformanceDescriptorLength] = {};
    PutBig32(descriptor + 4, capacity);
    PutBig32(descriptor + 8, speeds.maximumRead);
    PutBig32(descriptor + 12, *speed);
    answer.insert(answer.end(), descriptor, descriptor + kPerformanceDescriptorLength);
  }
  PutBig32(&answer[0], static_cast<uint32_t>(answer.size() - 4));
  return answer;
}

std::vector<uint8_t> ModeSenseAnswer(const std::vector<uint8_t>& page) {
  std::vector<uint8_t> answer(kModeHeaderLength + page.size(), 0);
  std::copy(page.begin(), page.end(), answer.begin() + kModeHeaderLength);
  PutBig16(&answer[0], static_cast<uint32_t>(answer.size() - 2));
  return answer;
}

std::vector<uint8_t> DefaultWriteParameters() {
  std::vector<uint8_t> page(kWriteParametersPageLength, 0);
  page[0] = kWriteParametersPage;
  page[1] = kWriteParametersPageLength - 2;
  page[writeparams::kFlags] = writeparams::kWriteTypeIncremental;
  page[writeparams::kMultiSession] = writeparams::kTrackModeData;
  page[writeparams::kDataBlockType] = writeparams::kDataBlockMode1;
  return page;
}

std::vector<FormatCapacity> FormatsOf(const EmulatedDisc& disc) {
  switch (disc.GetMedium().profile) {
    case profile::kDvdPlusRw:
      return {FormatCapacity{disc.Capacity(), kFormatDvdPlusRw, 0}};
    case profile::kBdRe:
    case profile::kDvdRam:
    case profile::kDvdRwRestrictedOverwrite:
      return {FormatCapacity{disc.Capacity(), kFormatFull, 0}};
    default:
      return {};
  }
}

std::vector<uint8_t> FormatCapacitiesAnswer(const EmulatedDisc& disc) {
  const std::vector<FormatCapacity> formats = FormatsOf(disc);
  std::vector<uint8_t> answer(4 + 8 * (1 + formats.size()), 0);
  answer[3] = static_cast<uint8_t>(answer.size() - 4);
  PutBig32(&answer[4], disc.Capacity());
  answer[8] = disc.Formatted() || formats.empty() ? kCapacityFormatted : kCapacityUnformatted;
  for (std::size_t i = 0; i < formats.size(); ++i) {
    uint8_t* descriptor = &answer[12 + 8 * i];
    PutBig32(descriptor, formats[i].blocks);
    descriptor[4] = static_cast<uint8_t>(formats[i].type << 2);
    PutBig24(descriptor + 5, formats[i].parameter);
  }
  return answer;
}

}  // namespace starburn
