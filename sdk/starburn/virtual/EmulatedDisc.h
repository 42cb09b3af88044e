#pragma once

// The disc in a virtual drive: its sessions and tracks, the track being
// written, its data in the image file and its state in the sidecar. The rules
// a recorder enforces live here: written-once media take data only at the next
// writable address and inside their capacity, sessions follow each other with
// the medium's gaps, overwritable media must be formatted, and only
// rewritable media can be blanked.
//
// The sidecar is rewritten (a new file renamed over the old) before a track's
// first block is written (the track is recorded open), whenever a track or
// session is closed, and when the disc is blanked or formatted; each change of
// image and sidecar is ordered so that an interruption at any point leaves a
// pair the next load accepts (Sidecar.h). What an interruption leaves:
// - a track recorded open: at the next load a damaged track of the blocks the
//   image holds, in an open session, as a real drive shows a track a power
//   cut ended; its space is lost, earlier sessions are untouched and the next
//   session goes after it;
// - a program that lets go of the drive without closing its track (a failed
//   or aborted write in a live process): the track is given up at once, the
//   image cut back and the sidecar rewritten, so the disc is as it was;
// - a blank recorded as begun: finished at the next load.
//
// Threads: not thread-safe; the emulated recorder calls it under its lock.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mmc/Sense.h"
#include "virtual/ImageFile.h"
#include "virtual/Medium.h"
#include "virtual/Sidecar.h"

namespace starburn {

// A track as READ TRACK INFORMATION describes it.
struct TrackView {
  enum class State { kClosed, kOpen, kInvisible };
  uint16_t number = 0;
  uint16_t session = 0;
  State state = State::kClosed;
  uint32_t start = 0;
  uint32_t size = 0;          // closed: its blocks; open or invisible: room to the end of the disc
  uint32_t written = 0;       // blocks recorded
  bool damaged = false;       // an interruption cut it short
  uint32_t nextWritable = 0;  // open or invisible tracks
  uint32_t freeBlocks = 0;    // open or invisible tracks
};

class EmulatedDisc {
 public:
  // Reads the image and its sidecar (or derives the disc from the image alone),
  // settles what an interruption left (Sidecar.h) and checks the two against
  // each other: the recorded tracks against the image's extent and against
  // the volume size their descriptors give. settle: also write the settled
  // state back (the caller holds the image exclusively); otherwise it is kept
  // in memory only. STARBURN_STATUS_BAD_CONFIGURATION with a message naming
  // the image, the sidecar and the mismatch when they do not match or cannot
  // be used.
  static StarBurnStatus Load(const Medium& medium, const std::string& imagePath, bool settle,
                             std::unique_ptr<EmulatedDisc>* out, std::string* error);

  const Medium& GetMedium() const { return *record.medium; }
  const std::string& ImagePath() const { return image.Path(); }
  uint32_t Capacity() const { return capacity; }
  bool Formatted() const { return record.formatted; }
  bool Writable() const { return record.medium->kind != MediumClass::kReadOnly; }

  // As READ DISC INFORMATION reports them.
  uint8_t DiscStatus() const;
  uint8_t LastSessionState() const;
  uint16_t SessionCount() const;
  // Every track from number 1, the open or invisible track (when the disc takes
  // more) last.
  std::vector<TrackView> Tracks() const;
  // Tracks of the closed sessions only, as the table of contents lists them.
  std::vector<TrackView> ClosedSessionTracks() const;
  uint16_t ClosedSessionCount() const;
  uint32_t NextWritable() const;

  // Commands. Each answers false with the sense a drive would give. owner
  // names the connection that writes, so its unclosed track can be dropped.
  bool Read(uint32_t lba, uint32_t count, uint8_t* out, SenseCodes* refusal);
  bool Write(uint32_t lba, uint32_t count, const uint8_t* data, int owner, SenseCodes* refusal);
  bool Sync(SenseCodes* refusal);
  bool CloseTrack(SenseCodes* refusal);
  bool CloseSession(bool finalize, SenseCodes* refusal);
  bool Blank(SenseCodes* refusal);
  bool Format(SenseCodes* refusal);
  // Forgets the track owner is writing (any owner when owner < 0).
  void DropOpenTrack(int owner);

 private:
  struct OpenTrack {
    uint32_t start = 0;
    uint32_t written = 0;
    int owner = 0;
    uint64_t imageBytesBefore = 0;  // the image's size before the track's first block
  };

  EmulatedDisc(DiscRecord record, const std::string& imagePath, uint32_t capacity);
  // Rewrites the sidecar from record, with the open track when there is one;
  // syncImage: flush the image first (a track or session closed).
  bool Save(bool syncImage, SenseCodes* refusal);
  // Records the track starting at lba as open, before its first block.
  bool OpenTrackAt(uint32_t lba, int owner, SenseCodes* refusal);
  bool Readable(uint32_t lba, uint32_t count) const;
  // False with a message when a closed track is shorter than the volume its
  // descriptors describe.
  bool CheckVolumeSizes(std::string* error);
  uint32_t NextWritableAfterRecord() const;

  DiscRecord record;
  ImageFile image;
  uint32_t capacity;
  std::optional<OpenTrack> open;
};

}  // namespace starburn
