#pragma once

// The kinds of disc a virtual drive can hold, by their names in the
// virtual-drive list, with what the emulated recorder needs to answer for
// them: profile, capacity, how sessions follow each other, speeds.

#include <cstdint>
#include <string>
#include <vector>

namespace starburn {

enum class MediumClass {
  kReadOnly,      // pressed: one complete disc, the image's size
  kSequential,    // written once at the next writable address, session after session
  kOverwritable,  // formatted once, then written anywhere
};

struct Medium {
  const char* name;  // as in the virtual-drive list: "cd-r"
  uint16_t profile;
  MediumClass kind;
  bool erasable;      // BLANK takes it back to blank (CD-RW, DVD-RW), or it is overwritable
  uint32_t capacity;  // blocks a blank disc offers; 0 for pressed discs (the image's size)
  // Blocks between the end of a closed session and the first track of the next:
  // on CD the lead-out (6750 after the first session, 2250 after later ones),
  // the next lead-in (4500) and the first track's pre-gap (150).
  uint32_t firstSessionGap;
  uint32_t laterSessionGap;
  uint32_t alignment;  // tracks start on multiples of this (DVD ECC block 16, BD cluster 32)
  std::vector<uint32_t> writeSpeeds;  // KB/s, ascending; empty for pressed discs
  std::vector<uint32_t> readSpeeds;   // KB/s, ascending
  // An image file and nothing else: no state file is read or written, and the
  // one session starts at block 0 (the "image" medium, to make .iso files).
  bool stateless = false;
};

// The medium of a name, or null. Names are lowercase.
const Medium* FindMedium(const std::string& name);
// Every medium name, space-separated, in the list's order.
std::string MediumNames();
// The medium whose speeds an empty drive reports (a drive without a disc
// answers with its CD figures).
const Medium& CdSpeedsMedium();

}  // namespace starburn
