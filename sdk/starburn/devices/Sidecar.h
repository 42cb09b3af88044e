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
//                                   (dvd+rw, dvd-ram, bd-re)
//   session closed                  a session: closed, or open (the last one only)
//   track 0 1200                    a track of the session above: start block, blocks
//   session closed
//   track 12600 300
//
// Tracks are numbered 1, 2, ... in file order across sessions; each lies after
// the one before. Overwritable media list no sessions: their data is the image.

#include <cstdint>
#include <string>
#include <vector>

#include "devices/Medium.h"
#include "starburn/StarBurn.h"

namespace starburn {

struct TrackExtent {
  uint32_t start = 0;
  uint32_t blocks = 0;
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

// Checks that a record describes a disc of its medium that its image can hold:
// tracks inside the capacity and after each other, only the last session open,
// a pressed disc complete, no data on an unformatted disc, and an image that
// reaches the end of the recorded data. capacity: the medium's, or the image's
// blocks for pressed discs.
StarBurnStatus CheckDiscRecord(const DiscRecord& record, uint32_t capacity, bool imageExists,
                               uint64_t imageBytes, std::string* error);

}  // namespace starburn
