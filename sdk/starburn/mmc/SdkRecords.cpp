#include "mmc/SdkRecords.h"

#include <cstring>

#include "mmc/Bytes.h"
#include "mmc/Profiles.h"

namespace starburn {

int32_t DiscTypeOfProfile(uint16_t p) {
  switch (p) {
    case profile::kNone:
      return kDiscTypeNone;
    case profile::kCdRom:
      return 1;
    case profile::kCdR:
      return 2;
    case profile::kCdRw:
      return 3;
    case profile::kDvdRom:
      return 4;
    case profile::kDvdR:
      return 5;
    case profile::kDvdRam:
      return 6;
    case profile::kDvdRwRestrictedOverwrite:
      return 7;
    case profile::kDvdRwSequential:
      return 8;
    case profile::kDvdPlusRw:
      return 9;
    case profile::kDdcdRom:
      return 10;
    case profile::kDdcdR:
      return 11;
    case profile::kDdcdRw:
      return 12;
    case profile::kDvdPlusR:
      return 13;
    case profile::kDvdPlusRDualLayer:
      return 15;
    case profile::kDvdRDualLayer:
    case profile::kDvdRDualLayerJump:
      return 16;
    case profile::kBdRom:
      return 17;
    case profile::kBdRSequential:
    case profile::kBdRRandom:
      return 18;
    case profile::kBdRe:
      return 19;
    case profile::kHdDvdRom:
      return 20;
    case profile::kHdDvdR:
    case profile::kHdDvdRDualLayer:
      return 21;
    case profile::kHdDvdRam:
    case profile::kHdDvdRw:
    case profile::kHdDvdRwDualLayer:
      return 22;
    default:
      return 0;
  }
}

namespace {

// Positions of the media-format flags (StarBurn.h lists them all).
enum MediaFormat {
  kReadCdRom = 0,
  kReadCdR = 1,
  kWriteCdR = 2,
  kReadCdRw = 3,
  kWriteCdRw = 4,
  kReadDvdRom = 5,
  kReadDvdR = 6,
  kWriteDvdR = 7,
  kReadDvdRDualLayer = 8,
  kWriteDvdRDualLayer = 9,
  kReadDvdRw = 10,
  kWriteDvdRw = 11,
  kReadDvdRwDualLayer = 12,
  kWriteDvdRwDualLayer = 13,
  kReadDvdRam = 14,
  kWriteDvdRam = 15,
  kReadDvdPlusRw = 16,
  kWriteDvdPlusRw = 17,
  kReadDvdPlusRwDualLayer = 18,
  kWriteDvdPlusRwDualLayer = 19,
  kReadDvdPlusR = 20,
  kWriteDvdPlusR = 21,
  kReadDvdPlusRDualLayer = 22,
  kWriteDvdPlusRDualLayer = 23,
  kReadBdRom = 24,
  kReadBdR = 25,
  kWriteBdR = 26,
  kReadBdRRandom = 27,
  kWriteBdRRandom = 28,
  kReadBdRe = 29,
  kWriteBdRe = 30,
  kReadHdDvdR = 31,
  kWriteHdDvdR = 32,
  kReadHdDvdRom = 33,
  kReadHdDvdRam = 34,
  kWriteHdDvdRam = 35,
  kReadHdDvdRw = 36,
  kWriteHdDvdRw = 37,
  kReadDdcdRom = 38,
  kReadDdcdR = 39,
  kWriteDdcdR = 40,
  kWriteDdcdRw = 41,
};

// Byte 0 of a feature's data, or 0 when the drive lacks the feature.
uint8_t FeatureByte(const Configuration& configuration, uint16_t code) {
  const Feature* found = configuration.Find(code);
  return found == nullptr || found->data.empty() ? 0 : found->data[0];
}

bool Has(const Configuration& configuration, uint16_t code) {
  return configuration.Find(code) != nullptr;
}

}  // namespace

void MediaFormatsOf(const Configuration& c, uint8_t flags[STARBURN_MEDIA_FORMAT_COUNT]) {
  std::memset(flags, 0, STARBURN_MEDIA_FORMAT_COUNT);
  // Reading: the drive lists the profile.
  const struct {
    uint16_t profile;
    MediaFormat position;
  } kReads[] = {{profile::kCdRom, kReadCdRom},
                {profile::kCdR, kReadCdR},
                {profile::kCdRw, kReadCdRw},
                {profile::kDvdRom, kReadDvdRom},
                {profile::kDvdR, kReadDvdR},
                {profile::kDvdRDualLayer, kReadDvdRDualLayer},
                {profile::kDvdRwSequential, kReadDvdRw},
                {profile::kDvdRwRestrictedOverwrite, kReadDvdRw},
                {profile::kDvdRwDualLayer, kReadDvdRwDualLayer},
                {profile::kDvdRam, kReadDvdRam},
                {profile::kDvdPlusRw, kReadDvdPlusRw},
                {profile::kDvdPlusRwDualLayer, kReadDvdPlusRwDualLayer},
                {profile::kDvdPlusR, kReadDvdPlusR},
                {profile::kDvdPlusRDualLayer, kReadDvdPlusRDualLayer},
                {profile::kBdRom, kReadBdRom},
                {profile::kBdRSequential, kReadBdR},
                {profile::kBdRRandom, kReadBdRRandom},
                {profile::kBdRe, kReadBdRe},
                {profile::kHdDvdR, kReadHdDvdR},
                {profile::kHdDvdRom, kReadHdDvdRom},
                {profile::kHdDvdRam, kReadHdDvdRam},
                {profile::kHdDvdRw, kReadHdDvdRw},
                {profile::kDdcdRom, kReadDdcdRom},
                {profile::kDdcdR, kReadDdcdR}};
  for (const auto& read : kReads) {
    if (c.HasProfile(read.profile)) flags[read.position] = 1;
  }
  // Writing: the profile and the feature that writes it.
  const bool cdWrite = Has(c, feature::kCdTrackAtOnce) || Has(c, feature::kCdMastering);
  const bool dvdMinusWrite = Has(c, feature::kDvdMinusRWrite);
  const bool bdWrite = Has(c, feature::kBdWrite);
  const bool hdDvdWrite = Has(c, feature::kHdDvdWrite);
  flags[kWriteCdR] = cdWrite && c.HasProfile(profile::kCdR);
  flags[kWriteCdRw] = cdWrite && c.HasProfile(profile::kCdRw);
  flags[kWriteDvdR] = dvdMinusWrite && c.HasProfile(profile::kDvdR);
  flags[kWriteDvdRDualLayer] = dvdMinusWrite && (c.HasProfile(profile::kDvdRDualLayer) ||
                                                 c.HasProfile(profile::kDvdRDualLayerJump));
  flags[kWriteDvdRw] =
      (dvdMinusWrite || Has(c, feature::kRestrictedOverwrite)) &&
      (c.HasProfile(profile::kDvdRwSequential) || c.HasProfile(profile::kDvdRwRestrictedOverwrite));
  flags[kWriteDvdRwDualLayer] = dvdMinusWrite && c.HasProfile(profile::kDvdRwDualLayer);
  flags[kWriteDvdRam] = Has(c, feature::kRandomWritable) && c.HasProfile(profile::kDvdRam);
  flags[kWriteDvdPlusRw] = (FeatureByte(c, feature::kDvdPlusRw) & 0x01) != 0;
  flags[kWriteDvdPlusRwDualLayer] = (FeatureByte(c, feature::kDvdPlusRwDualLayer) & 0x01) != 0;
  flags[kWriteDvdPlusR] = (FeatureByte(c, feature::kDvdPlusR) & 0x01) != 0;
  flags[kWriteDvdPlusRDualLayer] = (FeatureByte(c, feature::kDvdPlusRDualLayer) & 0x01) != 0;
  flags[kWriteBdR] = bdWrite && c.HasProfile(profile::kBdRSequential);
  flags[kWriteBdRRandom] = bdWrite && c.HasProfile(profile::kBdRRandom);
  flags[kWriteBdRe] = bdWrite && c.HasProfile(profile::kBdRe);
  flags[kWriteHdDvdR] = hdDvdWrite && c.HasProfile(profile::kHdDvdR);
  flags[kWriteHdDvdRam] = hdDvdWrite && c.HasProfile(profile::kHdDvdRam);
  flags[kWriteHdDvdRw] = hdDvdWrite && c.HasProfile(profile::kHdDvdRw);
  flags[kWriteDdcdR] = Has(c, feature::kDdcdRWrite) && c.HasProfile(profile::kDdcdR);
  flags[kWriteDdcdRw] = Has(c, feature::kDdcdRwWrite) && c.HasProfile(profile::kDdcdRw);
}

WriteModes WriteModesOf(const Configuration& c) {
  constexpr uint8_t kSessionAtOnceBit = 0x20;
  constexpr uint8_t kRawBit = 0x08;
  WriteModes modes;
  modes.packet = Has(c, feature::kIncrementalStreamingWritable);
  // Every DVD and BD recorder writes a track at a time; on CD the feature says so.
  modes.trackAtOnce = Has(c, feature::kCdTrackAtOnce) || Has(c, feature::kDvdMinusRWrite) ||
                      (FeatureByte(c, feature::kDvdPlusR) & 0x01) != 0 ||
                      (FeatureByte(c, feature::kDvdPlusRw) & 0x01) != 0 ||
                      Has(c, feature::kBdWrite);
  modes.sessionAtOnce = (FeatureByte(c, feature::kCdMastering) & kSessionAtOnceBit) != 0;
  modes.raw = (FeatureByte(c, feature::kCdMastering) & kRawBit) != 0;
  return modes;
}

bool SupportsUnderrunProtection(const Configuration& c) {
  constexpr uint8_t kBufBit = 0x40;
  return ((FeatureByte(c, feature::kCdTrackAtOnce) | FeatureByte(c, feature::kCdMastering) |
           FeatureByte(c, feature::kDvdMinusRWrite)) &
          kBufBit) != 0;
}

TrackRecord TrackRecordOf(const TrackInformation& track, const DiscInformation& disc) {
  TrackRecord record;
  record.valid = true;
  record.track = static_cast<uint8_t>(track.track);
  record.session = static_cast<uint8_t>(track.session);
  record.trackMode = track.trackMode;
  record.dataMode = track.dataMode;
  record.flags = static_cast<uint8_t>(
      (track.packet ? kTrackFlagPacket : 0) | (track.fixedPacket ? kTrackFlagFixedPacket : 0) |
      (track.reserved ? kTrackFlagReserved : 0) | (track.copy ? kTrackFlagCopy : 0) |
      (track.damage ? kTrackFlagDamage : 0));
  record.nextWritableValid = track.nextWritableValid;
  record.state = track.blank               ? kTrackStateInvisible
                 : track.nextWritableValid ? kTrackStateIncomplete
                                           : kTrackStateClosed;
  record.blank = track.blank;
  record.discStatus = disc.discStatus;
  record.erasable = disc.erasable;
  record.start = track.start;
  record.nextWritable = track.nextWritableValid ? track.nextWritable : 0;
  record.freeBlocks = track.freeBlocks;
  record.size = track.size;
  return record;
}

void EncodeTrackRecord(const TrackRecord& r, uint8_t out[STARBURN_TRACK_INFORMATION_SIZE]) {
  std::memset(out, 0, STARBURN_TRACK_INFORMATION_SIZE);
  out[0] = r.valid ? 1 : 0;
  out[1] = r.track;
  out[2] = r.session;
  out[3] = r.trackMode;
  out[4] = r.dataMode;
  out[5] = r.flags;
  out[6] = r.nextWritableValid ? 1 : 0;
  out[7] = 0;  // reserved
  out[8] = r.state;
  out[9] = r.blank ? 1 : 0;
  out[10] = r.discStatus;
  out[11] = r.erasable ? 1 : 0;
  PutLittle32(out + 12, r.start);
  PutLittle32(out + 16, r.nextWritable);
  PutLittle32(out + 20, r.freeBlocks);
  PutLittle32(out + 24, r.size);
}

}  // namespace starburn
