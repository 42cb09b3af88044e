// Recording, closing, blanking and the tray.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/ReadAhead.h"
#include "devices/Device.h"
#include "devices/VolumeDescriptors.h"
#include "mmc/Profiles.h"
#include "mmc/Sense.h"

namespace starburn {

namespace {

// Progress and buffer notifications go out every 512 blocks (1 MiB) of a
// write and once at its end: often enough for a smooth progress bar, rarely
// enough to cost nothing.
constexpr uint32_t kProgressInterval = 512;
// A quick blank of overwritable media overwrites the system area and the
// volume descriptors after it, so that no file system is found any more.
constexpr uint32_t kQuickBlankBlocks = kDescriptorStart + kMaxDescriptors;
// Waiting for a loaded disc: 300 polls 100 ms apart, the 30 seconds a drive
// takes at most to spin a disc up and read its table of contents.
constexpr int kLoadPolls = 300;
constexpr auto kPollPause = std::chrono::milliseconds(100);
// A CD track is at least 4 seconds long (300 blocks at 75 a second); drives
// refuse to close a shorter one. A short data track is padded with zeros.
constexpr uint32_t kMinimumCdTrackBlocks = 300;

// Restricted-overwrite DVD-RW is written in whole ECC blocks of 16 blocks, and
// a disc-at-once reservation on DVD-R/-RW is made of them.
constexpr uint32_t kEccBlockBlocks = 16;

uint32_t WriteGroupOf(uint16_t profile, bool discAtOnce) {
  return discAtOnce || profile == profile::kDvdRwRestrictedOverwrite ? kEccBlockBlocks : 1;
}

bool IsSessionMedium(uint16_t profile) {
  return !IsOverwritableProfile(profile) && !IsReadOnlyProfile(profile);
}

}  // namespace

void Device::Notify(uint64_t total, uint64_t done) {
  if (callback == nullptr) return;
  callback(STARBURN_NOTIFY_PROGRESS, context, &total, &done);
  NotifyBuffer();
}

void Device::NotifyBuffer() {
  BufferCapacity buffer;
  if (callback == nullptr || mmc.ReadBufferCapacity(&buffer) != STARBURN_OK) return;
  uint32_t size = buffer.size;
  uint32_t free = buffer.free;
  callback(STARBURN_NOTIFY_BUFFER, context, &size, &free);
}

BusyObserver Device::BufferWatch() {
  return [this](const SenseReport&) { NotifyBuffer(); };
}

BusyObserver Device::ProgressWatch() {
  return [this](const SenseReport& report) {
    if (callback == nullptr || !report.hasProgress) return;
    uint64_t total = kProgressScale;
    uint64_t done = report.progress;
    callback(STARBURN_NOTIFY_PROGRESS, context, &total, &done);
  };
}

StarBurnStatus Device::ChooseWriteSetup(uint16_t profile, bool testWrite, bool lastSession,
                                        WriteSetup* out) {
  *out = WriteSetup{profile, testWrite, lastSession};
  Configuration configuration;
  StarBurnStatus status = mmc.GetConfiguration(kConfigurationAll, &configuration);
  if (status != STARBURN_OK) return FromDrive(status);
  out->underrunProtection = SupportsUnderrunProtection(configuration) && !underrunProtectionOff;
  if (IsCdProfile(profile)) {
    out->writeType = writeparams::kWriteTypeTrackAtOnce;
    out->trackMode = writeparams::kTrackModeData;
    return STARBURN_OK;
  }
  TrackInformation next;
  status = mmc.ReadTrackInformation(kInvisibleTrack, &next);
  if (status != STARBURN_OK) return FromDrive(status);
  out->trackMode = next.trackMode;
  // DVD-R and DVD-RW take incremental writing only while Incremental
  // Streaming Writable is current, with a link size it lists (data byte 3:
  // how many, then the sizes).
  const Feature* incremental = configuration.Find(feature::kIncrementalStreamingWritable);
  if (incremental != nullptr && incremental->current) {
    out->writeType = writeparams::kWriteTypeIncremental;
    const std::vector<uint8_t>& data = incremental->data;
    if (data.size() > 4 && data[3] > 0) out->linkSize = data[4];
    return STARBURN_OK;
  }
  if (profile == profile::kDvdRDualLayerJump) {
    return Refuse(
        STARBURN_STATUS_NOT_SUPPORTED,
        "the DVD-R DL in " + Name() + " is set for layer-jump recording, which is not written");
  }
  // Otherwise disc at once (a DVD-R DL, a DVD-RW given a minimal blank): one
  // session onto a blank disc, which the drive closes at the end.
  DiscInformation info;
  status = mmc.ReadDiscInformation(&info);
  if (status != STARBURN_OK) return FromDrive(status);
  if (info.discStatus != kDiscBlank) {
    return Refuse(STARBURN_STATUS_INCOMPATIBLE_MEDIUM,
                  "the disc in " + Name() +
                      " takes no further session: the drive writes it disc-at-once only, onto a "
                      "blank disc");
  }
  out->writeType = writeparams::kWriteTypeDiscAtOnce;
  out->lastSession = true;
  return STARBURN_OK;
}

StarBurnStatus Device::SendWriteParameters(const WriteSetup& chosen) {
  std::vector<uint8_t> page;
  const StarBurnStatus status = mmc.ModeSense(kWriteParametersPage, &page);
  if (status != STARBURN_OK) return FromDrive(status);
  if (page.size() < kWriteParametersPageLength) {
    return Refuse(STARBURN_STATUS_COMMAND_FAILED, "the drive's write parameters page is too short");
  }
  page[writeparams::kFlags] = static_cast<uint8_t>(
      (chosen.underrunProtection ? writeparams::kBufe : 0) |
      (chosen.testWrite ? writeparams::kTestWrite : 0) |
      (chosen.linkSize != 0 ? writeparams::kLinkSizeValid : 0) | chosen.writeType);
  page[writeparams::kLinkSize] = chosen.linkSize;
  const uint8_t multiSession =
      chosen.lastSession ? writeparams::kMultiSessionNone : writeparams::kMultiSessionNext;
  page[writeparams::kMultiSession] =
      static_cast<uint8_t>((multiSession << 6) | (chosen.trackMode & 0x0F));
  page[writeparams::kDataBlockType] = writeparams::kDataBlockMode1;
  page[writeparams::kSessionFormat] = 0;  // CD-ROM
  return FromDrive(mmc.ModeSelect(page));
}

StarBurnStatus Device::WriteZeros(uint32_t from, uint32_t count) {
  const std::vector<uint8_t> zeros(uint64_t{kMaxTransferBlocks} * kBlockSize, 0);
  for (uint32_t done = 0; done < count;) {
    const uint32_t blocks = std::min(count - done, kMaxTransferBlocks);
    const StarBurnStatus status = mmc.Write(from + done, blocks, zeros.data());
    if (status != STARBURN_OK) return FromDrive(status);
    done += blocks;
  }
  return STARBURN_OK;
}

StarBurnStatus Device::WriteImage(BlockSource& source, uint32_t start, uint64_t blocks,
                                  std::vector<uint8_t>* descriptors, bool keepDescriptors) {
  const uint64_t count = source.BlockCount();
  const uint64_t total = count * kBlockSize;  // the progress counts the image, not the padding
  std::vector<uint8_t> chunk(uint64_t{kMaxTransferBlocks} * kBlockSize);
  bool descriptorsEnded = !keepDescriptors;
  uint64_t done = 0;
  while (done < blocks) {
    const auto size = static_cast<uint32_t>(std::min<uint64_t>(blocks - done, kMaxTransferBlocks));
    // The source's blocks, then zeros to the end.
    const auto pulled =
        static_cast<uint32_t>(std::min<uint64_t>(size, count - std::min(count, done)));
    std::memset(chunk.data() + uint64_t{pulled} * kBlockSize, 0,
                uint64_t{size - pulled} * kBlockSize);
    std::string problem;
    StarBurnStatus status = STARBURN_OK;
    if (pulled > 0) status = source.Pull(chunk.data(), pulled, &problem);
    if (status != STARBURN_OK) return Refuse(status, "the image could not be read: " + problem);
    if (drive->TakeAbort()) {
      return Refuse(STARBURN_STATUS_CANCELLED,
                    "the write was aborted at block " + std::to_string(start + done));
    }
    // Keep the image's volume descriptors, up to their terminator. A session
    // at block 0 has them at block 16 itself: they go out as zeros now and
    // for real once everything they point at is on the disc.
    for (uint32_t i = 0; i < pulled && !descriptorsEnded; ++i) {
      const uint64_t offset = done + i;
      if (offset < kDescriptorStart) continue;
      uint8_t* block = chunk.data() + uint64_t{i} * kBlockSize;
      descriptors->insert(descriptors->end(), block, block + kBlockSize);
      descriptorsEnded =
          block[0] == kTerminatorDescriptor || offset + 1 >= kDescriptorStart + kMaxDescriptors;
      if (start == 0) std::memset(block, 0, kBlockSize);
    }
    const auto lba = static_cast<uint32_t>(start + done);
    status = FromDrive(mmc.Write(lba, size, chunk.data()));
    if (status != STARBURN_OK && DriveWasReset()) {
      // The drive was reset (or its parameters changed) and took nothing of
      // this WRITE: set the recording up again and send it once more.
      status = RestoreWriteSetup();
      if (status == STARBURN_OK) status = FromDrive(mmc.Write(lba, size, chunk.data()));
    }
    if (status != STARBURN_OK) return status;
    const uint64_t before = done;
    done += size;
    if (done / kProgressInterval != before / kProgressInterval || done == blocks) {
      Notify(total, std::min(done, count) * kBlockSize);
    }
  }
  return STARBURN_OK;
}

StarBurnStatus Device::WriteDescriptors(const std::vector<uint8_t>& descriptors, uint32_t group) {
  std::vector<uint8_t> blocks = descriptors;
  const auto count = static_cast<uint32_t>(descriptors.size() / kBlockSize);
  const uint32_t whole = (count + group - 1) / group * group;
  if (whole != count) {
    blocks.resize(uint64_t{whole} * kBlockSize);
    const StarBurnStatus status = FromDrive(mmc.Read(kDescriptorStart + count, whole - count,
                                                     blocks.data() + uint64_t{count} * kBlockSize));
    if (status != STARBURN_OK) return status;
  }
  const StarBurnStatus status = FromDrive(mmc.Write(kDescriptorStart, whole, blocks.data()));
  if (status != STARBURN_OK) return status;
  return FromDrive(mmc.SynchronizeCache(BufferWatch()));
}

StarBurnStatus Device::RestartBackgroundFormat(const Layout& layout) {
  if (layout.profile != profile::kDvdPlusRw ||
      layout.info.formatStatus != kBackgroundFormatStopped) {
    return STARBURN_OK;
  }
  FormatCapacities capacities;
  const StarBurnStatus status = FromDrive(mmc.ReadFormatCapacities(&capacities));
  if (status != STARBURN_OK) return status;
  for (const FormatCapacity& format : capacities.formats) {
    if (format.type == kFormatDvdPlusRw) {
      return FromDrive(mmc.FormatUnit(format.blocks, kFormatDvdPlusRw, kFormatRestart, nullptr));
    }
  }
  return Refuse(
      STARBURN_STATUS_INCOMPATIBLE_MEDIUM,
      "the DVD+RW in " + Name() + " has a stopped format the drive offers no restart for");
}

StarBurnStatus Device::RecordTrack(ImageProvider& image, bool testWrite, bool closeDisc,
                                   bool multiSession, uint32_t dataMode) {
  trackFailed = false;
  simulated = false;
  if (!exclusive) {
    return Refuse(STARBURN_STATUS_WRONG_STATE,
                  Name() + " was opened shared; recording needs it opened with shared 0");
  }
  if (dataMode != 1) {
    return Refuse(STARBURN_STATUS_NOT_SUPPORTED, "only data mode 1 (2048-byte blocks) is written");
  }
  std::unique_ptr<BlockSource> source;
  std::string problem;
  StarBurnStatus status = image.OpenImage(&source, &problem);
  if (status != STARBURN_OK) return Refuse(status, problem);
  if (source->BlockCount() == 0)
    return Refuse(STARBURN_STATUS_INVALID_ARGUMENT, "the image is empty");

  Layout layout;
  status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  if (IsReadOnlyProfile(layout.profile)) {
    return Refuse(STARBURN_STATUS_INCOMPATIBLE_MEDIUM, "the disc in " + Name() + " is pressed");
  }
  if (layout.overwritable && !layout.formatted) {  // a blank DVD+RW or BD-RE: format it first
    status = FormatAsOffered(layout.profile, nullptr);
    if (status != STARBURN_OK) return status;
    status = Survey(&layout);
    if (status != STARBURN_OK) return status;
  }
  status = RestartBackgroundFormat(layout);
  if (status != STARBURN_OK) return status;
  if (!layout.hasNext) {
    return Refuse(STARBURN_STATUS_WRONG_STATE, "the disc in " + Name() + " is closed");
  }
  const TrackInformation& next = layout.next;
  if (!next.blank && !layout.overwritable) {
    return Refuse(STARBURN_STATUS_WRONG_STATE,
                  "the disc holds an unfinished track from an interrupted recording");
  }
  if (!layout.overwritable && !layout.tracks.empty() &&
      layout.tracks.back().session == next.session) {
    // An earlier recording closed its track but not its session. Close it, so
    // the new session does not start inside it, and lay the image out again
    // at the address the closing gives the next session.
    status = CloseSession();
    if (status != STARBURN_OK) return status;
    status = Survey(&layout);
    if (status != STARBURN_OK) return status;
    if (!layout.hasNext) {
      return Refuse(STARBURN_STATUS_WRONG_STATE, "the disc in " + Name() + " is closed");
    }
    status = image.Relocate(layout.next.nextWritable, &problem);
    if (status == STARBURN_OK) status = image.OpenImage(&source, &problem);
    if (status != STARBURN_OK) return Refuse(status, problem);
  }
  // An image file goes where the disc takes it: after the newest session, or
  // from block 0 of an overwritable disc, whose whole room it then has.
  uint32_t start = next.nextWritable;
  uint64_t room = next.freeBlocks;
  if (image.FollowsTheDisc()) {
    if (layout.overwritable) {
      start = 0;
      room = layout.capacity;
    }
    status = image.Relocate(start, &problem);
    if (status == STARBURN_OK) status = image.OpenImage(&source, &problem);
    if (status != STARBURN_OK) return Refuse(status, problem);
  }
  if (source->StartAddress() != start) {
    return Refuse(STARBURN_STATUS_WRONG_STATE,
                  "the image was built for block " + std::to_string(source->StartAddress()) +
                      ", but the disc's next writable address is " + std::to_string(start));
  }
  const bool finalize = closeDisc || !multiSession;
  if (testWrite && !UsesWriteParametersPage(layout.profile)) {
    return Refuse(STARBURN_STATUS_NOT_SUPPORTED, "a test write is not possible on this disc");
  }
  if (UsesWriteParametersPage(layout.profile)) {
    status = ChooseWriteSetup(layout.profile, testWrite, finalize, &setup);
    if (status != STARBURN_OK) return status;
  } else {
    setup = WriteSetup{layout.profile, testWrite, finalize};
  }
  const bool discAtOnce =
      setup.writeType == writeparams::kWriteTypeDiscAtOnce && !IsCdProfile(layout.profile);
  // What goes out: the image, padded with zeros to a CD track's minimum and
  // to whole ECC blocks where the disc is written in them (a disc-at-once
  // reservation, restricted-overwrite DVD-RW).
  const uint64_t count = source->BlockCount();
  uint64_t blocks = count;
  if (IsCdProfile(layout.profile)) blocks = std::max<uint64_t>(blocks, kMinimumCdTrackBlocks);
  const uint32_t group = WriteGroupOf(layout.profile, discAtOnce);
  blocks = (blocks + group - 1) / group * group;
  if (blocks > room) {
    return Refuse(STARBURN_STATUS_NO_SPACE, "the image needs " + std::to_string(blocks) +
                                                " blocks and the disc has " + std::to_string(room) +
                                                " left");
  }
  status = RestoreWriteSetup();
  if (status != STARBURN_OK) return status;
  if (discAtOnce) {
    status = FromDrive(mmc.ReserveTrack(static_cast<uint32_t>(blocks)));
    if (status != STARBURN_OK) return status;
  }
  if (UsesWriteParametersPage(layout.profile)) {
    // The write type can move the next writable address (a drive that takes
    // the track another way): read it again before the first block goes.
    TrackInformation again;
    status = FromDrive(mmc.ReadTrackInformation(kInvisibleTrack, &again));
    if (status != STARBURN_OK) return status;
    if (again.nextWritable != source->StartAddress()) {
      return Refuse(STARBURN_STATUS_WRONG_STATE,
                    "with its write parameters set, the drive writes at block " +
                        std::to_string(again.nextWritable) +
                        ", but the image was built for block " +
                        std::to_string(source->StartAddress()));
    }
  }

  trackFailed = true;  // until the track is closed
  std::vector<uint8_t> descriptors;
  // Overwritable media: readers look at block 16, so every session's
  // descriptors reach it last, after everything they point at. An interrupted
  // write leaves the disc as it was: the old session, or a blank disc.
  const bool copyDescriptors = layout.overwritable;
  {
    // The image's next blocks are read while the last ones are written.
    ReadAhead ahead(*source, kMaxTransferBlocks);
    status = WriteImage(ahead, start, blocks, &descriptors, copyDescriptors);
  }
  if (status == STARBURN_OK) status = FromDrive(mmc.SynchronizeCache(BufferWatch()));
  // Disc at once: the flush ends the session and closes the disc.
  if (status == STARBURN_OK && IsSessionMedium(layout.profile) && !testWrite && !discAtOnce) {
    status = FromDrive(mmc.CloseTrackSession(kCloseTrack, next.track, BufferWatch()));
    TrackInformation track;
    if (status != STARBURN_OK && IsCdProfile(layout.profile) &&
        mmc.ReadTrackInformation(next.track, &track) == STARBURN_OK && !track.blank &&
        !track.nextWritableValid) {
      // Many CD recorders close a track-at-once track at the flush and then
      // refuse the CLOSE TRACK: the track reads back closed, all is well.
      status = STARBURN_OK;
    }
  }
  if (status == STARBURN_OK && copyDescriptors && !descriptors.empty()) {
    status = WriteDescriptors(descriptors, group);
  }
  if (status != STARBURN_OK) return status;
  trackFailed = false;
  simulated = testWrite;
  finalizeOnClose = finalize;
  return STARBURN_OK;
}

StarBurnStatus Device::FormatAsOffered(uint16_t profile, const BusyObserver& onBusy) {
  // DVD+RW takes its basic format, BD-RE and DVD-RAM a full format, of the
  // size the drive offers for the disc in it: a drive refuses any other.
  const uint8_t type = profile == profile::kDvdPlusRw ? kFormatDvdPlusRw : kFormatFull;
  FormatCapacities capacities;
  StarBurnStatus status = FromDrive(mmc.ReadFormatCapacities(&capacities));
  if (status != STARBURN_OK) return status;
  for (const FormatCapacity& format : capacities.formats) {
    if (format.type == type) {
      return FromDrive(mmc.FormatUnit(format.blocks, type, format.parameter, onBusy));
    }
  }
  char hex[8];
  std::snprintf(hex, sizeof hex, "%02Xh", type);
  return Refuse(STARBURN_STATUS_INCOMPATIBLE_MEDIUM,
                "the drive offers no format of type " + std::string(hex) + " for the disc in it");
}

StarBurnStatus Device::RestoreWriteSetup() {
  // SET STREAMING only states the speed: a drive that refuses it writes at a
  // speed of its own choosing, which is no reason to give up the burn.
  if (UsesStreamingSpeed(setup.profile)) KeepSpeeds();
  if (!UsesWriteParametersPage(setup.profile)) return STARBURN_OK;
  return SendWriteParameters(setup);
}

bool Device::DriveWasReset() const {
  const StarBurnCommandFailure& record = failure.record;
  return failure.fromDrive && record.senseKey == sensekey::kUnitAttention &&
         (record.asc == asc::kResetOccurred || record.asc == asc::kParametersChanged);
}

StarBurnStatus Device::CloseSession() {
  if (trackFailed) {
    return Refuse(STARBURN_STATUS_WRONG_STATE,
                  "the last track was not recorded whole; its session is not closed");
  }
  if (simulated) return STARBURN_OK;  // nothing was recorded
  Layout layout;
  StarBurnStatus status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  if (!IsSessionMedium(layout.profile)) return STARBURN_OK;  // no sessions to close
  const bool open = layout.info.lastSessionState == kSessionIncomplete;
  if (!open && !(finalizeOnClose && layout.info.discStatus == kDiscAppendable)) {
    return STARBURN_OK;  // nothing recorded since the last session was closed
  }
  uint8_t function = kCloseSession;
  if (UsesWriteParametersPage(layout.profile)) {
    // The page decides whether the disc stays open for a next session.
    WriteSetup closing;
    status = ChooseWriteSetup(layout.profile, false, finalizeOnClose, &closing);
    if (status == STARBURN_OK) status = SendWriteParameters(closing);
    if (status != STARBURN_OK) return status;
  } else if (finalizeOnClose) {
    function = kFinalizeDisc;
  }
  status = FromDrive(mmc.CloseTrackSession(function, 0, BufferWatch()));
  if (status == STARBURN_OK) finalizeOnClose = false;
  return status;
}

StarBurnStatus Device::Blank(bool quick) {
  Layout layout;
  StarBurnStatus status = Survey(&layout);
  if (status != STARBURN_OK) return status;
  if (!layout.overwritable) {
    // A DVD-RW given a minimal blank takes disc-at-once writing only, no
    // further session: it is blanked fully, so that it takes sessions again.
    const bool minimal = quick && layout.profile != profile::kDvdRwSequential;
    return FromDrive(mmc.Blank(minimal ? kBlankMinimal : kBlankFull, ProgressWatch()));
  }
  // Overwritable media have no BLANK: a full blank formats the disc again, and
  // either way the file system's descriptors are overwritten.
  if (!quick || !layout.formatted) {
    status = FormatAsOffered(layout.profile, ProgressWatch());
    if (status != STARBURN_OK) return status;
  }
  status = RestartBackgroundFormat(layout);
  if (status != STARBURN_OK) return status;
  KeepSpeeds();  // only the speed: not a reason to give up
  status = WriteZeros(0, kQuickBlankBlocks);
  if (status != STARBURN_OK) return status;
  return FromDrive(mmc.SynchronizeCache(BufferWatch()));
}

StarBurnStatus Device::Eject() {
  // A DVD+RW whose background format runs has it stopped first, so that the
  // drive leaves the disc readable elsewhere (a drive may refuse to let go
  // of it otherwise).
  Configuration configuration;
  DiscInformation info;
  if (mmc.GetConfiguration(kConfigurationCurrent, &configuration) == STARBURN_OK &&
      configuration.currentProfile == profile::kDvdPlusRw &&
      mmc.ReadDiscInformation(&info) == STARBURN_OK &&
      info.formatStatus == kBackgroundFormatRunning) {
    const StarBurnStatus status = mmc.CloseTrackSession(kCloseSession, 0, BufferWatch());
    if (status != STARBURN_OK) return FromDrive(status);
  }
  if (trayLocked) {
    const StarBurnStatus status = mmc.PreventMediumRemoval(false);
    if (status != STARBURN_OK) return FromDrive(status);
    trayLocked = false;
    drive->ReleaseTray();
  }
  return FromDrive(mmc.StartStopUnit(true, false));
}

StarBurnStatus Device::Load(bool wait) {
  StarBurnStatus status = mmc.StartStopUnit(true, true);
  if (status != STARBURN_OK || !wait) return FromDrive(status);
  for (int poll = 0; poll < kLoadPolls; ++poll) {
    status = mmc.TestUnitReady();
    if (status != STARBURN_STATUS_NOT_READY) return FromDrive(status);
    if (mmc.LastFailure().record.asc == asc::kMediumNotPresent) return STARBURN_OK;  // no disc
    std::this_thread::sleep_for(kPollPause);
  }
  return FromDrive(status);
}

}  // namespace starburn
