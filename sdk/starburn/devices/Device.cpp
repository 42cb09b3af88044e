#include "devices/Device.h"

#include <algorithm>
#include <cstring>

#include "devices/VolumeDescriptors.h"
#include "iso/SessionProbe.h"
#include "mmc/Bytes.h"
#include "mmc/Profiles.h"

namespace starburn {

namespace {

// DVD writes in ECC blocks of 16 blocks and BD in clusters of 32: a new
// session on overwritable media starts on such a boundary.
uint32_t SessionAlignment(uint16_t profile) { return IsBdProfile(profile) ? 32 : 16; }

}  // namespace

uint64_t Device::Layout::ReadableEnd() const {
  if (overwritable) return formatted ? capacity : 0;
  return tracks.empty() ? 0 : uint64_t{tracks.back().start} + tracks.back().size;
}

StarBurnStatus Device::Reader::ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) {
  return device.FromDrive(device.mmc.Read(lba, count, out));
}

StarBurnStatus Device::Open(const std::shared_ptr<RegisteredDrive>& drive, bool shared,
                            bool lockTray, StarBurnCallback callback, void* context,
                            std::unique_ptr<Device>* out, CommandFailure* failure) {
  *failure = CommandFailure();
  const bool exclusive = !shared;
  StarBurnStatus status = drive->Claim(exclusive, lockTray, &failure->message);
  if (status != STARBURN_OK) return status;
  std::unique_ptr<ScsiTransport> transport;
  status = drive->Backend().Open(exclusive, &transport, &failure->message);
  if (status != STARBURN_OK) {
    drive->Release(exclusive, lockTray);
    return status;
  }
  std::unique_ptr<Device> device(
      new Device(drive, std::move(transport), exclusive, callback, context));
  if (lockTray) {
    device->trayLocked = true;  // the destructor unlocks and releases it
    status = device->mmc.PreventMediumRemoval(true);
    if (status != STARBURN_OK) {
      *failure = device->mmc.LastFailure();
      return status;
    }
  }
  *out = std::move(device);
  return STARBURN_OK;
}

Device::Device(std::shared_ptr<RegisteredDrive> drive, std::unique_ptr<ScsiTransport> transport,
               bool exclusive, StarBurnCallback callback, void* context)
    : drive(std::move(drive)),
      transport(std::move(transport)),
      mmc(*this->transport),
      exclusive(exclusive),
      callback(callback),
      context(context),
      reader(*this) {}

Device::~Device() {
  if (trayLocked) mmc.PreventMediumRemoval(false);
  transport.reset();  // the drive forgets a track this handle left unclosed
  drive->Release(exclusive, trayLocked);
}

StarBurnStatus Device::Refuse(StarBurnStatus status, const std::string& message) {
  failure = CommandFailure();
  failure.message = message;
  return status;
}

StarBurnStatus Device::FromDrive(StarBurnStatus status) {
  if (status != STARBURN_OK) failure = mmc.LastFailure();
  return status;
}

StarBurnStatus Device::Survey(Layout* layout) {
  *layout = Layout();
  StarBurnStatus status = mmc.TestUnitReady();
  if (status != STARBURN_OK) return FromDrive(status);
  Configuration configuration;
  status = mmc.GetConfiguration(kConfigurationCurrent, &configuration);
  if (status != STARBURN_OK) return FromDrive(status);
  if (configuration.currentProfile == profile::kNone) {
    return Refuse(STARBURN_STATUS_NOT_READY, Name() + " does not recognise its disc");
  }
  layout->profile = configuration.currentProfile;
  status = mmc.ReadDiscInformation(&layout->info);
  if (status != STARBURN_OK) return FromDrive(status);
  if (IsOverwritableProfile(layout->profile)) return SurveyOverwritable(layout);
  for (uint32_t number = layout->info.firstTrack; number <= layout->info.lastTrackInLastSession;
       ++number) {
    TrackInformation track;
    status = mmc.ReadTrackInformation(number, &track);
    if (status != STARBURN_OK) return FromDrive(status);
    if (layout->info.discStatus != kDiscComplete && (track.blank || track.nextWritableValid)) {
      layout->hasNext = true;
      layout->next = track;
    } else {
      layout->tracks.push_back(track);
    }
  }
  return STARBURN_OK;
}

StarBurnStatus Device::SurveyOverwritable(Layout* layout) {
  layout->overwritable = true;
  layout->formatted = layout->info.discStatus != kDiscBlank;
  TrackInformation whole;
  StarBurnStatus status = mmc.ReadTrackInformation(1, &whole);
  if (status != STARBURN_OK) return FromDrive(status);
  layout->capacity = whole.size;
  // The next session goes after the newest file system, whose volume size the
  // descriptors at block 16 give (they were copied there when it was written).
  uint32_t used = 0;
  if (layout->formatted) {
    reader.blocks = layout->capacity;
    SessionSummary summary;
    std::string problem;
    status = ProbeSession(reader, 0, &summary, &problem);
    if (status == STARBURN_OK && !summary.iso9660) {
      used = layout->capacity;  // another file system: its extent is unknown, keep off it
    } else if (status == STARBURN_OK) {
      std::vector<uint8_t> block(kBlockSize);
      for (uint32_t i = 0; i < kMaxDescriptors; ++i) {
        status = reader.ReadBlocks(kDescriptorStart + i, 1, block.data());
        if (status != STARBURN_OK) return status;
        if (!IsVolumeDescriptor(block.data()) || block[0] == kTerminatorDescriptor) break;
        if (block[0] == kPrimaryDescriptor) {
          // A volume of no blocks is not believed: keep off the disc instead.
          const uint32_t size = VolumeSpaceSize(block.data());
          used = size == 0 ? layout->capacity : std::min(size, layout->capacity);
          break;
        }
      }
    } else if (status != STARBURN_STATUS_BAD_FILE_SYSTEM) {
      return status;
    } else {
      // No session: blank only if nothing at all is where a file system
      // starts; data we do not recognise is kept off like another file system.
      std::vector<uint8_t> start(uint64_t{kBlankProbeBlocks} * kBlockSize);
      status = reader.ReadBlocks(0, kBlankProbeBlocks, start.data());
      if (status != STARBURN_OK) return status;
      if (std::any_of(start.begin(), start.end(), [](uint8_t byte) { return byte != 0; })) {
        used = layout->capacity;
      }
    }
  }
  if (used > 0) {
    TrackInformation track;
    track.track = 1;
    track.session = 1;
    track.trackMode = writeparams::kTrackModeData;
    track.dataMode = 1;
    track.size = used;
    layout->tracks.push_back(track);
  }
  const uint32_t alignment = SessionAlignment(layout->profile);
  const uint32_t next = static_cast<uint32_t>(std::min<uint64_t>(
      (uint64_t{used} + alignment - 1) / alignment * alignment, layout->capacity));
  layout->hasNext = true;
  TrackInformation& track = layout->next;
  track.track = 1;
  track.session = 1;
  track.trackMode = writeparams::kTrackModeData;
  track.dataMode = used == 0 ? 0x0F : 1;
  track.blank = used == 0;
  track.nextWritableValid = true;
  track.start = next;
  track.nextWritable = next;
  track.freeBlocks = layout->capacity - next;
  track.size = track.freeBlocks;
  return STARBURN_OK;
}

const TrackInformation* Device::Layout::LastReadableTrack() const {
  for (auto track = tracks.rbegin(); track != tracks.rend(); ++track) {
    if (!track->damage) return &*track;
  }
  return nullptr;
}

StarBurnStatus Device::LastSessionStart(const Layout& layout, uint32_t* start) {
  const TrackInformation* last = layout.LastReadableTrack();
  if (last == nullptr)
    return Refuse(STARBURN_STATUS_NOT_FOUND, "the disc holds no readable session");
  const uint16_t session = last->session;
  for (const TrackInformation& track : layout.tracks) {
    if (track.session == session) {
      *start = track.start;
      break;
    }
  }
  return STARBURN_OK;
}

StarBurnStatus Device::ProbeLastSession(SessionSummary* summary) {
  Layout layout;
  StarBurnStatus status = Survey(&layout);
  uint32_t start = 0;
  if (status == STARBURN_OK) status = LastSessionStart(layout, &start);
  if (status != STARBURN_OK) return status;
  reader.blocks = layout.ReadableEnd();
  std::string problem;
  status = ProbeSession(reader, start, summary, &problem);
  if (status == STARBURN_STATUS_BAD_FILE_SYSTEM) return Refuse(status, problem);
  if (status != STARBURN_OK) failure.message = problem + ": " + failure.message;
  return status;
}

StarBurnStatus Device::GetDeviceInformation(InquiryData* identity, uint32_t* bufferKiB) {
  StarBurnStatus status = mmc.Inquiry(identity);
  if (status != STARBURN_OK) return FromDrive(status);
  std::vector<uint8_t> page;
  status = mmc.ModeSense(kCapabilitiesPage, &page);
  if (status != STARBURN_OK) return FromDrive(status);
  *bufferKiB =
      page.size() >= capabilities::kBufferSize + 2 ? GetBig16(&page[capabilities::kBufferSize]) : 0;
  return STARBURN_OK;
}

int32_t Device::InsertedDiscType() {
  Configuration configuration;
  if (FromDrive(mmc.GetConfiguration(kConfigurationCurrent, &configuration)) != STARBURN_OK) {
    return kDiscTypeNone;
  }
  return DiscTypeOfProfile(configuration.currentProfile);
}

StarBurnStatus Device::GetDiscInformation(DiscInformation* out) {
  return FromDrive(mmc.ReadDiscInformation(out));
}

StarBurnStatus Device::GetMediaFormats(uint8_t flags[STARBURN_MEDIA_FORMAT_COUNT]) {
  Configuration configuration;
  const StarBurnStatus status = mmc.GetConfiguration(kConfigurationAll, &configuration);
  if (status != STARBURN_OK) return FromDrive(status);
  MediaFormatsOf(configuration, flags);
  return STARBURN_OK;
}

StarBurnStatus Device::ProbeWriteModes(WriteModes* out) {
  Configuration configuration;
  const StarBurnStatus status = mmc.GetConfiguration(kConfigurationAll, &configuration);
  if (status != STARBURN_OK) return FromDrive(status);
  *out = WriteModesOf(configuration);
  return STARBURN_OK;
}

StarBurnStatus Device::IsDiscBlank(bool* blank) {
  Layout layout;
  const StarBurnStatus status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  *blank = layout.overwritable ? layout.tracks.empty() : layout.info.discStatus == kDiscBlank;
  return STARBURN_OK;
}

StarBurnStatus Device::GetUsedSpace(uint64_t* bytes) {
  Layout layout;
  const StarBurnStatus status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  // A track an interruption cut short holds nothing a reader can use: its
  // space is lost (the free space shows it), not used.
  uint64_t blocks = 0;
  for (const TrackInformation& track : layout.tracks) blocks += track.damage ? 0 : track.size;
  *bytes = blocks * kBlockSize;
  return STARBURN_OK;
}

StarBurnStatus Device::GetFreeSpace(uint32_t* blocks, uint64_t* bytes) {
  Layout layout;
  const StarBurnStatus status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  *blocks = layout.hasNext ? layout.next.freeBlocks : 0;
  *bytes = uint64_t{*blocks} * kBlockSize;
  return STARBURN_OK;
}

StarBurnStatus Device::GetTrackRecord(uint32_t track, TrackRecord* out) {
  Layout layout;
  StarBurnStatus status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  *out = TrackRecord();
  if (track == kInvisibleTrack) {
    if (layout.hasNext) {
      *out = TrackRecordOf(layout.next, layout.info);
    } else {  // a closed disc takes nothing more: no next track, but the disc's flags
      out->discStatus = layout.info.discStatus;
      out->erasable = layout.info.erasable;
    }
    return STARBURN_OK;
  }
  for (const TrackInformation& recorded : layout.tracks) {
    if (recorded.track == track) {
      *out = TrackRecordOf(recorded, layout.info);
      return STARBURN_OK;
    }
  }
  if (layout.hasNext && layout.next.track == track && !layout.overwritable) {
    *out = TrackRecordOf(layout.next, layout.info);
    return STARBURN_OK;
  }
  return Refuse(STARBURN_STATUS_NOT_FOUND, "the disc has no track " + std::to_string(track));
}

StarBurnStatus Device::GetSpeeds(uint32_t* currentRead, uint32_t* maximumRead,
                                 uint32_t* currentWrite, uint32_t* maximumWrite) {
  std::vector<uint8_t> page;
  const StarBurnStatus status = mmc.ModeSense(kCapabilitiesPage, &page);
  if (status != STARBURN_OK) return FromDrive(status);
  if (page.size() < capabilities::kCurrentWriteSpeed + 2) {
    return Refuse(STARBURN_STATUS_COMMAND_FAILED, "the drive's capabilities page is too short");
  }
  *currentRead = GetBig16(&page[capabilities::kCurrentReadSpeed]);
  *maximumRead = GetBig16(&page[capabilities::kMaximumReadSpeed]);
  *currentWrite = GetBig16(&page[capabilities::kCurrentWriteSpeed]);
  *maximumWrite = GetBig16(&page[capabilities::kMaximumWriteSpeed]);
  // DVD and BD recorders give their write speeds for the disc through GET
  // PERFORMANCE; the page's field is a CD-era one. Without a disc it fails and
  // the page's figure stands.
  std::vector<WriteSpeed> speeds;
  if (mmc.GetWriteSpeeds(&speeds) == STARBURN_OK && !speeds.empty()) {
    *maximumWrite = 0;
    for (const WriteSpeed& speed : speeds)
      *maximumWrite = std::max(*maximumWrite, speed.writeSpeed);
  }
  return STARBURN_OK;
}

StarBurnStatus Device::SetSpeeds(uint32_t readSpeed, uint32_t writeSpeed) {
  Configuration configuration;
  const StarBurnStatus status = mmc.GetConfiguration(kConfigurationCurrent, &configuration);
  if (status != STARBURN_OK) return FromDrive(status);
  if (UsesStreamingSpeed(configuration.currentProfile)) return SetStreaming(readSpeed, writeSpeed);
  // The command takes 16-bit KB/s; anything faster than it can say means "as
  // fast as the drive can".
  const auto clamp = [](uint32_t speed) {
    return static_cast<uint16_t>(std::min<uint32_t>(speed, kMaximumSpeed));
  };
  return FromDrive(mmc.SetCdSpeed(clamp(readSpeed), clamp(writeSpeed)));
}

StarBurnStatus Device::SetStreaming(uint32_t readSpeed, uint32_t writeSpeed) {
  std::vector<WriteSpeed> speeds;
  const StarBurnStatus status = mmc.GetWriteSpeeds(&speeds);
  if (status != STARBURN_OK) return FromDrive(status);
  return SetStreamingWith(speeds, readSpeed, writeSpeed);
}

StarBurnStatus Device::SetStreamingWith(const std::vector<WriteSpeed>& speeds, uint32_t readSpeed,
                                        uint32_t writeSpeed) {
  if (speeds.empty()) {
    // A pressed disc has no write speeds, and so no figures for a descriptor;
    // its reading speed goes the CD way, which drives take for reading.
    const auto clamp = [](uint32_t speed) {
      return static_cast<uint16_t>(std::min<uint32_t>(speed, kMaximumSpeed));
    };
    return FromDrive(mmc.SetCdSpeed(clamp(readSpeed), kMaximumSpeed));
  }
  uint32_t endLba = 0;
  uint32_t fastestRead = 0;
  uint32_t fastestWrite = 0;
  for (const WriteSpeed& speed : speeds) {
    endLba = std::max(endLba, speed.endLba);
    fastestRead = std::max(fastestRead, speed.readSpeed);
    fastestWrite = std::max(fastestWrite, speed.writeSpeed);
  }
  if (readSpeed >= kMaximumSpeed && fastestRead > 0) readSpeed = fastestRead;
  if (writeSpeed >= kMaximumSpeed) writeSpeed = fastestWrite;
  return FromDrive(mmc.SetStreaming(0, endLba, readSpeed, writeSpeed));
}

StarBurnStatus Device::KeepSpeeds() {
  std::vector<uint8_t> page;
  StarBurnStatus status = mmc.ModeSense(kCapabilitiesPage, &page);
  if (status != STARBURN_OK) return FromDrive(status);
  std::vector<WriteSpeed> speeds;
  status = mmc.GetWriteSpeeds(&speeds);
  if (status != STARBURN_OK) return FromDrive(status);
  // A drive that does not say its current speeds is asked for its fastest.
  // Some drives give page 2A's figures in CD units even for a DVD or BD: a
  // current write speed GET PERFORMANCE does not list counts as none.
  uint32_t read = kMaximumSpeed;
  uint32_t write = kMaximumSpeed;
  if (page.size() >= capabilities::kCurrentWriteSpeed + 2) {
    read = GetBig16(&page[capabilities::kCurrentReadSpeed]);
    write = GetBig16(&page[capabilities::kCurrentWriteSpeed]);
  }
  const bool listed = std::any_of(speeds.begin(), speeds.end(), [write](const WriteSpeed& speed) {
    return speed.writeSpeed == write;
  });
  return SetStreamingWith(speeds, read == 0 ? kMaximumSpeed : read, listed ? write : kMaximumSpeed);
}

StarBurnStatus Device::TestUnitReady() { return FromDrive(mmc.TestUnitReady()); }

StarBurnStatus Device::GetUnderrunProtection(bool* enabled, bool* supported) {
  std::vector<uint8_t> page;
  StarBurnStatus status = mmc.ModeSense(kWriteParametersPage, &page);
  if (status != STARBURN_OK) return FromDrive(status);
  Configuration configuration;
  status = mmc.GetConfiguration(kConfigurationAll, &configuration);
  if (status != STARBURN_OK) return FromDrive(status);
  *enabled = page.size() > writeparams::kFlags && (page[writeparams::kFlags] & writeparams::kBufe);
  *supported = SupportsUnderrunProtection(configuration);
  return STARBURN_OK;
}

StarBurnStatus Device::SetUnderrunProtection(bool enable) {
  underrunProtectionOff = !enable;  // the next recording's page follows it too
  Configuration configuration;
  StarBurnStatus status = mmc.GetConfiguration(kConfigurationCurrent, &configuration);
  if (status != STARBURN_OK) return FromDrive(status);
  // DVD+R, DVD+RW, DVD-RAM and BD take no write-parameters page: their
  // recorders guard against underruns on their own.
  if (!UsesWriteParametersPage(configuration.currentProfile)) return STARBURN_OK;
  std::vector<uint8_t> page;
  status = mmc.ModeSense(kWriteParametersPage, &page);
  if (status != STARBURN_OK) return FromDrive(status);
  if (page.size() <= writeparams::kFlags) {
    return Refuse(STARBURN_STATUS_COMMAND_FAILED, "the drive's write parameters page is too short");
  }
  page[writeparams::kFlags] = static_cast<uint8_t>(
      (page[writeparams::kFlags] & ~writeparams::kBufe) | (enable ? writeparams::kBufe : 0));
  return FromDrive(mmc.ModeSelect(page));
}

StarBurnStatus Device::GetLastAddress(uint32_t* out) {
  Layout layout;
  const StarBurnStatus status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  *out = layout.tracks.empty() ? 0 : layout.tracks.back().start + layout.tracks.back().size - 1;
  return STARBURN_OK;
}

StarBurnStatus Device::GetLastTrack(uint32_t* out) {
  Layout layout;
  const StarBurnStatus status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  const TrackInformation* last = layout.LastReadableTrack();
  if (last == nullptr)
    return Refuse(STARBURN_STATUS_NOT_FOUND, "the disc holds no readable session");
  *out = last->track;
  return STARBURN_OK;
}

StarBurnStatus Device::GetDiscFileSystem(uint8_t record[STARBURN_DISC_FILE_SYSTEM_SIZE]) {
  std::memset(record, 0, STARBURN_DISC_FILE_SYSTEM_SIZE);
  SessionSummary summary;
  const StarBurnStatus status = ProbeLastSession(&summary);
  if (status == STARBURN_STATUS_BAD_FILE_SYSTEM) {
    record[0] = 1;  // data that holds no file system we read: another one, or a damaged one
    return STARBURN_OK;
  }
  if (status != STARBURN_OK) return status;
  record[0] = summary.otherFileSystem ? 1 : 0;
  record[1] = summary.joliet ? 1 : 0;
  record[2] = summary.iso9660 ? 1 : 0;
  return STARBURN_OK;
}

StarBurnStatus Device::GetVolumeLabel(std::u16string* label) {
  SessionSummary summary;
  const StarBurnStatus status = ProbeLastSession(&summary);
  if (status != STARBURN_OK) return status;
  if (summary.joliet && !summary.jolietLabel.empty()) {
    *label = summary.jolietLabel;
  } else {
    label->assign(summary.isoLabel.begin(), summary.isoLabel.end());  // d-characters: ASCII
  }
  return STARBURN_OK;
}

BlockReader& Device::DiscReader() {
  Layout layout;
  reader.blocks = Survey(&layout) == STARBURN_OK ? layout.ReadableEnd() : 0;
  return reader;
}

StarBurnStatus Device::TrackExtent(uint8_t track, uint32_t* start, uint32_t* blocks,
                                   std::string* error) {
  Layout layout;
  StarBurnStatus status = Survey(&layout);
  if (status == STARBURN_OK) {
    status = Refuse(STARBURN_STATUS_NOT_FOUND,
                    "the disc has no recorded track " + std::to_string(track));
    for (const TrackInformation& recorded : layout.tracks) {
      if (recorded.track == track && !recorded.damage) {
        *start = recorded.start;
        *blocks = recorded.size;
        return STARBURN_OK;
      }
    }
  }
  if (error != nullptr) *error = failure.message;
  return status;
}

}  // namespace starburn
