#pragma once

// The disc in a virtual drive: its sessions and tracks, the track being
// written, its data in the image file and its state in the sidecar. The rules
// a recorder enforces live here: written-once media take data only at the next
// writable address and inside their capacity, sessions follow each other with
// the medium's gaps, overwritable media must be formatted, and only
// rewritable media can be blanked.
//
// The sidecar is rewritten (a new file renamed over the old) whenever a track
// or session is closed, the disc is blanked or formatted. A track being written
// lives in memory only until it is closed, so a power loss, or a program that
// lets the drive go without closing its track, leaves the disc as it was at its
// last closed track: earlier sessions are never touched. (A real written-once
// disc would keep an unreadable partial track; the emulator keeps the disc
// appendable instead.)
//
// Threads: not thread-safe; the emulated recorder calls it under its lock.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/ImageFile.h"
#include "devices/Medium.h"
#include "devices/Sidecar.h"
#include "mmc/Sense.h"

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
  uint32_t nextWritable = 0;  // open or invisible tracks
  uint32_t freeBlocks = 0;    // open or invisible tracks
};

class EmulatedDisc {
 public:
  // Reads the image and its sidecar (or derives the disc from the image alone)
  // and checks them against each other. STARBURN_STATUS_BAD_CONFIGURATION with
  // a message when they do not match or cannot be used.
  static StarBurnStatus Load(const Medium& medium, const std::string& imagePath,
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
  };

  EmulatedDisc(DiscRecord record, const std::string& imagePath, uint32_t capacity);
  bool Save(SenseCodes* refusal);
  bool Readable(uint32_t lba, uint32_t count) const;
  uint32_t NextWritableAfterRecord() const;

  DiscRecord record;
  ImageFile image;
  uint32_t capacity;
  std::optional<OpenTrack> open;
};

}  // namespace starburn
