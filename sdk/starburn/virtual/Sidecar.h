#pragma once

// The state of a virtual disc beyond its data, kept in a small text file beside
// the image ("a.iso" -> "a.iso.state"), so a person can read it and an image
// made by another tool can be given one. The format:
//
//   # comment lines and blank lines are ignored
//   starburn-virtual-disc 1         first line: the format and its version
//   medium cd-r                     a name of the virtual-drive list
//   disc appendable                 blank | appendable | complete (written once and
//                                   pressed media); formatted | unformatted
//                                   (dvd+rw, dvd-rw-ro, dvd-ram, bd-re); erasing (a blank
//                                   that has begun: the image no longer counts)
//   session closed                  a session: closed, or open (the last one only)
//   track 0 1200                    a track of the session above: start block, blocks
//   session open
//   track 12600 300 damaged         a track an interruption cut short: its blocks
//                                   are used up but hold no readable session
//   track 13200 open                the track being written (the last line only):
//                                   recorded before its first block goes out
//
// Tracks are numbered 1, 2, ... in file order across sessions; each lies after
// the one before. Overwritable media list no sessions: their data is the image.
//
// The state file and the image change in an order that leaves, at every
// point, a pair the next start accepts: an open track is recorded before its
// first block is written and is taken at the next start for a track cut short
// (its blocks: those the image holds from its start on); a blank is recorded
// as "erasing" before the image is emptied and finished at the next start.

#include <cstdint>
#include <string>
#include <vector>

#include "starburn/StarBurn.h"
#include "virtual/Medium.h"

namespace starburn {

struct TrackExtent {
  enum class State { kClosed, kDamaged, kOpen };
  uint32_t start = 0;
  uint32_t blocks = 0;  // kOpen: unknown until the track closes (0)
  State state = State::kClosed;
  uint64_t End() const { return uint64_t{start} + blocks; }
};

struct SessionRecord {
  bool closed = false;
  std::vector<TrackExtent> tracks;
};

// What the sidecar holds.
struct DiscRecord {
  const Medium* medium = nullptr;
  bool formatted = false;  // overwritable media
  bool complete = false;   // written-once media: closed, no further session
  bool erasing = false;    // rewritable written-once media: a blank has begun
  std::vector<SessionRecord> sessions;

  bool Blank() const { return sessions.empty(); }
  // The end of the last track, 0 when there is none.
  uint64_t RecordedEnd() const;
};

// The sidecar beside an image.
std::string SidecarPathOf(const std::string& imagePath);

std::string FormatSidecar(const DiscRecord& record);
// STARBURN_STATUS_BAD_CONFIGURATION with "line 4: ..." when the text is not a
// sidecar.
StarBurnStatus ParseSidecar(const std::string& text, DiscRecord* record, std::string* error);

// The disc an image without a sidecar holds: nothing when the image is missing
// or empty; else one closed session with one track of the whole image (an
// appendable written-once disc, a formatted overwritable disc, a pressed disc).
DiscRecord RecordOfImage(const Medium& medium, uint64_t imageBytes);

// What an interruption left, as the next start finds it: a track that was
// being written becomes a damaged track of the blocks the image holds from its
// start on (or is forgotten with its session when none reached the image); a
// blank that had begun has ended. Answers whether the record changed.
bool SettleInterruption(DiscRecord* record, uint64_t imageBytes);

// Checks that a record describes a disc of its medium that its image can hold:
// tracks inside the capacity and after each other, only the last session open,
// a pressed disc complete, no data on an unformatted disc, an image that
// reaches the end of the recorded data and holds nothing beyond it. capacity:
// the medium's, or the image's blocks for pressed discs.
StarBurnStatus CheckDiscRecord(const DiscRecord& record, uint32_t capacity, bool imageExists,
                               uint64_t imageBytes, std::string* error);

}  // namespace starburn
