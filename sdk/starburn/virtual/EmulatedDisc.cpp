#include "virtual/EmulatedDisc.h"

#include <cstring>

#include "common/BlockIo.h"
#include "common/SystemFile.h"
#include "devices/VolumeDescriptors.h"
#include "mmc/Answers.h"
#include "mmc/Profiles.h"

namespace starburn {

namespace {

constexpr SenseCodes kCannotWrite{sensekey::kIllegalRequest, asc::kIncompatibleMedium, 0x05};
constexpr SenseCodes kNotFormatted{sensekey::kIllegalRequest, asc::kIncompatibleMedium, 0x10};
constexpr SenseCodes kOutOfRange{sensekey::kIllegalRequest, asc::kAddress, kAscqLbaOutOfRange};
constexpr SenseCodes kBadWriteAddress{sensekey::kIllegalRequest, asc::kAddress,
                                      kAscqInvalidWriteAddress};
constexpr SenseCodes kSequenceError{sensekey::kIllegalRequest, asc::kCommandSequenceError, 0};
constexpr SenseCodes kWriteFailed{sensekey::kMediumError, asc::kWriteError, 0};

// A CD track is at least 4 seconds long: 300 blocks at 75 a second.
constexpr uint32_t kMinimumCdTrackBlocks = 300;

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// A state file is a few hundred bytes: one read takes it whole.
constexpr std::size_t kSidecarChunk = 4096;

bool ReadWholeFile(const std::string& path, std::string* text, int* code) {
  SystemFile file;
  if (!file.Open(path, SystemFile::Mode::kRead, code)) return false;
  text->clear();
  char chunk[kSidecarChunk];
  std::size_t got = 0;
  do {
    if (!file.Read(chunk, sizeof chunk, &got, code)) return false;
    text->append(chunk, got);
  } while (got > 0);
  return true;
}

// Writes text to path through a temporary file that replaces it, flushed
// first, so a reader (or a power loss) sees the old sidecar or the new one,
// never half of one.
bool WriteSidecar(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  SystemFile file;
  int code = 0;
  if (!file.Open(temporary, SystemFile::Mode::kReplace, &code)) return false;
  bool ok = file.Write(text.data(), text.size(), &code) && file.Flush(&code);
  file.Close();
  ok = ok && RenameOver(temporary, path, &code);
  if (!ok) RemoveFile(temporary);
  return ok;
}

}  // namespace

StarBurnStatus EmulatedDisc::Load(const Medium& medium, const std::string& imagePath, bool settle,
                                  std::unique_ptr<EmulatedDisc>* out, std::string* error) {
  const bool writable = medium.kind != MediumClass::kReadOnly;
  FileStatus info;
  int code = 0;
  const bool exists = StatusOf(imagePath, &info, &code);
  if (exists && !info.regular) {
    *error = imagePath + " is not a regular file";
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }
  uint64_t bytes = exists ? info.size : 0;
  if (exists) {
    SystemFile file;
    if (!file.Open(imagePath, writable ? SystemFile::Mode::kUpdate : SystemFile::Mode::kRead,
                   &code)) {
      *error = "cannot open " + imagePath + (writable ? " for reading and writing: " : ": ") +
               SystemErrorText(code);
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
  } else if (!writable) {
    *error = std::string("a ") + medium.name + " needs an existing image, and " + imagePath +
             " does not exist";
    return STARBURN_STATUS_BAD_CONFIGURATION;
  } else if (!CanCreate(imagePath, &code)) {
    *error = "cannot create " + imagePath + ": " + SystemErrorText(code);
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }
  if (!writable && bytes == 0) {
    *error = std::string("a ") + medium.name + " needs an image with data, and " + imagePath +
             " is empty";
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }

  DiscRecord record;
  const std::string sidecar = SidecarPathOf(imagePath);
  const std::string mismatch =
      "the state file " + sidecar + " does not match the image " + imagePath + ": ";
  bool settled = false;
  bool erased = false;
  FileStatus sidecarStatus;
  if (!medium.stateless && StatusOf(sidecar, &sidecarStatus, &code)) {
    std::string text;
    if (!ReadWholeFile(sidecar, &text, &code)) {
      *error = "cannot read " + sidecar + ": " + SystemErrorText(code);
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
    std::string problem;
    if (ParseSidecar(text, &record, &problem) != STARBURN_OK) {
      *error = sidecar + ", " + problem;
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
    if (record.medium != &medium) {
      *error = sidecar + " describes a " + record.medium->name + ", but the drive list says " +
               medium.name;
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
    if (!writable && record.Blank()) record = RecordOfImage(medium, bytes);
    erased = record.erasing;
    settled = SettleInterruption(&record, bytes);
    if (erased) bytes = 0;  // what the image still holds is no longer the disc's
  } else {
    record = RecordOfImage(medium, bytes);
  }
  const uint64_t imageBlocks = (bytes + kBlockSize - 1) / kBlockSize;
  const uint32_t capacity =
      writable ? medium.capacity
               : static_cast<uint32_t>(std::min<uint64_t>(imageBlocks, UINT32_MAX));
  std::string problem;
  if (CheckDiscRecord(record, capacity, exists, bytes, &problem) != STARBURN_OK) {
    *error = mismatch + problem;
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }
  std::unique_ptr<EmulatedDisc> disc(new EmulatedDisc(std::move(record), imagePath, capacity));
  if (!disc->CheckVolumeSizes(&problem)) {
    *error = mismatch + problem;
    return STARBURN_STATUS_BAD_CONFIGURATION;
  }
  if (settle && settled) {
    // Finish what the interruption left: empty the image of an erased disc
    // first, then record the settled state.
    SenseCodes refusal;
    if ((erased && !disc->image.Truncate(0, &problem, &code)) || !disc->Save(false, &refusal)) {
      *error = "cannot settle " + sidecar + " after an interruption: " +
               (problem.empty() ? "the state file cannot be written" : problem);
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
  }
  *out = std::move(disc);
  return STARBURN_OK;
}

bool EmulatedDisc::CheckVolumeSizes(std::string* error) {
  // A session's primary descriptor gives the volume's end (from block 0 of the
  // disc, or from the session's start for tools that count that way): a
  // volume ending past its track means the track line was cut short.
  std::vector<uint8_t> block(kBlockSize);
  uint32_t number = 0;
  for (const SessionRecord& session : record.sessions) {
    for (const TrackExtent& track : session.tracks) {
      ++number;
      if (track.state != TrackExtent::State::kClosed) continue;
      std::string ignored;
      int code = 0;
      if (!image.Read(uint64_t{track.start} + kDescriptorStart, 1, block.data(), &ignored, &code) ||
          !IsVolumeDescriptor(block.data()) || block[0] != kPrimaryDescriptor) {
        continue;
      }
      const uint32_t volume = VolumeSpaceSize(block.data());
      if (volume > track.End()) {
        *error = "track " + std::to_string(number) + " is recorded as " +
                 std::to_string(track.blocks) + " blocks from block " +
                 std::to_string(track.start) + ", but its volume descriptor gives a volume of " +
                 std::to_string(volume) + " blocks";
        return false;
      }
    }
  }
  return true;
}

EmulatedDisc::EmulatedDisc(DiscRecord record, const std::string& imagePath, uint32_t capacity)
    : record(std::move(record)),
      image(imagePath, this->record.medium->kind != MediumClass::kReadOnly),
      capacity(capacity) {}

uint8_t EmulatedDisc::DiscStatus() const {
  switch (record.medium->kind) {
    case MediumClass::kOverwritable:
      return record.formatted ? kDiscOther : kDiscBlank;
    case MediumClass::kReadOnly:
      return kDiscComplete;
    case MediumClass::kSequential:
      break;
  }
  if (record.complete) return kDiscComplete;
  return record.Blank() && !open ? kDiscBlank : kDiscAppendable;
}

uint8_t EmulatedDisc::LastSessionState() const {
  switch (DiscStatus()) {
    case kDiscComplete:
    case kDiscOther:
      return kSessionComplete;
    case kDiscBlank:
      return kSessionEmpty;
    default:
      return open || !record.sessions.back().closed ? kSessionIncomplete : kSessionEmpty;
  }
}

uint16_t EmulatedDisc::ClosedSessionCount() const {
  if (record.medium->kind == MediumClass::kOverwritable) return record.formatted ? 1 : 0;
  uint16_t count = 0;
  for (const SessionRecord& session : record.sessions) count += session.closed ? 1 : 0;
  return count;
}

uint16_t EmulatedDisc::SessionCount() const {
  if (record.medium->kind == MediumClass::kOverwritable || record.Blank()) return 1;
  const bool lastOpen = !record.sessions.back().closed;
  const bool more = !record.complete && !lastOpen;  // the empty session a next track starts
  return static_cast<uint16_t>(record.sessions.size() + (more ? 1 : 0));
}

uint32_t EmulatedDisc::NextWritableAfterRecord() const {
  if (record.Blank()) return 0;
  const SessionRecord& last = record.sessions.back();
  const uint64_t end = last.tracks.back().End();
  const Medium& medium = *record.medium;
  const uint64_t gap =
      last.closed ? (record.sessions.size() == 1 ? medium.firstSessionGap : medium.laterSessionGap)
                  : 0;
  return static_cast<uint32_t>(std::min<uint64_t>(AlignUp(end + gap, medium.alignment), capacity));
}

uint32_t EmulatedDisc::NextWritable() const {
  return open ? open->start + open->written : NextWritableAfterRecord();
}

std::vector<TrackView> EmulatedDisc::ClosedSessionTracks() const {
  std::vector<TrackView> tracks;
  for (const TrackView& track : Tracks()) {
    if (track.state != TrackView::State::kClosed) continue;
    const bool inOpenSession = record.medium->kind != MediumClass::kOverwritable &&
                               !record.sessions[track.session - 1].closed;
    if (!inOpenSession) tracks.push_back(track);
  }
  return tracks;
}

std::vector<TrackView> EmulatedDisc::Tracks() const {
  std::vector<TrackView> tracks;
  if (record.medium->kind == MediumClass::kOverwritable) {
    TrackView track;
    track.number = 1;
    track.session = 1;
    track.size = capacity;
    if (record.formatted) {
      track.written = capacity;
    } else {
      track.state = TrackView::State::kInvisible;
      track.freeBlocks = capacity;
    }
    tracks.push_back(track);
    return tracks;
  }
  uint16_t number = 0;
  for (std::size_t s = 0; s < record.sessions.size(); ++s) {
    for (const TrackExtent& extent : record.sessions[s].tracks) {
      TrackView track;
      track.number = ++number;
      track.session = static_cast<uint16_t>(s + 1);
      track.start = extent.start;
      track.size = extent.blocks;
      track.written = extent.blocks;
      track.damaged = extent.state == TrackExtent::State::kDamaged;
      tracks.push_back(track);
    }
  }
  if (record.complete || record.medium->kind == MediumClass::kReadOnly) return tracks;
  TrackView next;
  next.number = ++number;
  const bool lastOpen = !record.Blank() && !record.sessions.back().closed;
  next.session = static_cast<uint16_t>(record.sessions.size() + (lastOpen ? 0 : 1));
  next.state = open ? TrackView::State::kOpen : TrackView::State::kInvisible;
  next.start = open ? open->start : NextWritableAfterRecord();
  next.written = open ? open->written : 0;
  next.size = capacity - next.start;
  next.nextWritable = NextWritable();
  next.freeBlocks = capacity - next.nextWritable;
  tracks.push_back(next);
  return tracks;
}

bool EmulatedDisc::Readable(uint32_t lba, uint32_t count) const {
  const uint64_t end = uint64_t{lba} + count;
  if (record.medium->kind == MediumClass::kOverwritable) {
    return record.formatted && end <= capacity;
  }
  for (const TrackView& track : Tracks()) {
    if (lba >= track.start && end <= uint64_t{track.start} + track.written) return true;
  }
  return false;
}

bool EmulatedDisc::Read(uint32_t lba, uint32_t count, uint8_t* out, SenseCodes* refusal) {
  if (!Readable(lba, count)) {
    *refusal = kOutOfRange;
    return false;
  }
  std::string problem;
  int code = 0;
  if (!image.Read(lba, count, out, &problem, &code)) {
    *refusal = SenseCodes{sensekey::kMediumError, 0x11, 0};  // unrecovered read error
    return false;
  }
  return true;
}

bool EmulatedDisc::Write(uint32_t lba, uint32_t count, const uint8_t* data, int owner,
                         SenseCodes* refusal) {
  const uint64_t end = uint64_t{lba} + count;
  switch (record.medium->kind) {
    case MediumClass::kReadOnly:
      *refusal = kCannotWrite;
      return false;
    case MediumClass::kOverwritable:
      if (!record.formatted) {
        *refusal = kNotFormatted;
        return false;
      }
      if (end > capacity) {
        *refusal = kOutOfRange;
        return false;
      }
      break;
    case MediumClass::kSequential:
      if (record.complete || lba != NextWritable()) {
        *refusal = kBadWriteAddress;
        return false;
      }
      if (end > capacity) {
        *refusal = kOutOfRange;
        return false;
      }
      break;
  }
  if (record.medium->kind == MediumClass::kSequential && !open &&
      !OpenTrackAt(lba, owner, refusal)) {
    return false;
  }
  std::string problem;
  int code = 0;
  if (!image.Write(lba, count, data, &problem, &code)) {
    *refusal = kWriteFailed;
    return false;
  }
  if (open) open->written += count;
  return true;
}

bool EmulatedDisc::OpenTrackAt(uint32_t lba, int owner, SenseCodes* refusal) {
  open = OpenTrack{lba, 0, owner, image.Size()};
  if (Save(false, refusal)) return true;
  open.reset();
  return false;
}

bool EmulatedDisc::Sync(SenseCodes* refusal) {
  std::string problem;
  int code = 0;
  if (!image.Sync(&problem, &code)) {
    *refusal = kWriteFailed;
    return false;
  }
  return true;
}

bool EmulatedDisc::Save(bool syncImage, SenseCodes* refusal) {
  std::string problem;
  int code = 0;
  if (record.medium->stateless) {  // the image is all there is
    if (syncImage && !image.Sync(&problem, &code)) {
      *refusal = kWriteFailed;
      return false;
    }
    return true;
  }
  DiscRecord saved = record;
  if (open) {
    if (saved.Blank() || saved.sessions.back().closed) saved.sessions.push_back(SessionRecord{});
    saved.sessions.back().tracks.push_back(TrackExtent{open->start, 0, TrackExtent::State::kOpen});
  }
  if ((syncImage && !image.Sync(&problem, &code)) ||
      !WriteSidecar(SidecarPathOf(image.Path()), FormatSidecar(saved))) {
    *refusal = kWriteFailed;
    return false;
  }
  return true;
}

bool EmulatedDisc::CloseTrack(SenseCodes* refusal) {
  if (record.medium->kind == MediumClass::kOverwritable) return true;  // nothing to close
  if (!open) {
    *refusal = kSequenceError;
    return false;
  }
  if (IsCdProfile(record.medium->profile) && open->written < kMinimumCdTrackBlocks) {
    *refusal = kSequenceError;  // a CD track under 4 seconds cannot be closed
    return false;
  }
  if (record.Blank() || record.sessions.back().closed) record.sessions.push_back(SessionRecord{});
  record.sessions.back().tracks.push_back(TrackExtent{open->start, open->written});
  open.reset();
  return Save(true, refusal);
}

bool EmulatedDisc::CloseSession(bool finalize, SenseCodes* refusal) {
  switch (record.medium->kind) {
    case MediumClass::kOverwritable:
      return true;  // no sessions of its own
    case MediumClass::kReadOnly:
      *refusal = kCannotWrite;
      return false;
    case MediumClass::kSequential:
      break;
  }
  if (open && !CloseTrack(refusal)) return false;
  const bool lastOpen = !record.Blank() && !record.sessions.back().closed;
  if (record.complete || record.Blank() || (!lastOpen && !finalize)) {
    *refusal = kSequenceError;  // nothing to close
    return false;
  }
  record.sessions.back().closed = true;
  record.complete = finalize;
  return Save(true, refusal);
}

bool EmulatedDisc::Blank(SenseCodes* refusal) {
  if (record.medium->kind != MediumClass::kSequential || !record.medium->erasable) {
    *refusal = kCannotWrite;
    return false;
  }
  // Recorded as begun before the image is emptied, so that an interruption
  // between the two is finished at the next load instead of leaving a state
  // file that records data the image no longer holds.
  open.reset();
  record.erasing = true;
  if (!Save(false, refusal)) return false;
  std::string problem;
  int code = 0;
  if (!image.Truncate(0, &problem, &code)) {
    *refusal = kWriteFailed;
    return false;
  }
  record.erasing = false;
  record.sessions.clear();
  record.complete = false;
  return Save(false, refusal);
}

bool EmulatedDisc::Format(SenseCodes* refusal) {
  if (record.medium->kind != MediumClass::kOverwritable) {
    *refusal = kCannotWrite;
    return false;
  }
  // An unformatted disc's image is empty, so emptying it first leaves a pair
  // the next load accepts whether or not the new state is saved.
  std::string problem;
  int code = 0;
  if (!image.Truncate(0, &problem, &code)) {
    *refusal = kWriteFailed;
    return false;
  }
  record.formatted = true;
  return Save(false, refusal);
}

void EmulatedDisc::DropOpenTrack(int owner) {
  if (!open || (owner >= 0 && open->owner != owner)) return;
  // Give the track up: cut the image back, then record the disc without it.
  // An interruption in between leaves the track recorded open with none of
  // its blocks in the image, which the next load forgets.
  const uint64_t before = open->imageBytesBefore;
  open.reset();
  std::string problem;
  int code = 0;
  SenseCodes ignored;
  if (image.Truncate(before, &problem, &code)) Save(false, &ignored);
}

}  // namespace starburn
