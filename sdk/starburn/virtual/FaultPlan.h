#pragma once

// Faults an emulated recorder can be told to show, for tests of what the SDK
// and the library do when a drive misbehaves.

#include <cstdint>
#include <optional>
#include <vector>

#include "mmc/Sense.h"

namespace starburn {

// Fail commands of one operation code with CHECK CONDITION and this sense.
struct CommandFault {
  uint8_t opcode = 0;
  uint32_t skip = 0;   // let this many such commands pass first
  uint32_t times = 1;  // then fail this many (0: every one from then on)
  SenseCodes sense;
};

struct FaultPlan {
  std::vector<CommandFault> commands;
  // Every command that needs the disc answers NOT READY, becoming ready.
  bool notReady = false;
  // Writes that reach this block fail as past the end of the disc, although the
  // disc claims more room: the disc runs out of space in the middle of a track.
  std::optional<uint32_t> spaceEndsAt;
  // A write that reaches this block stores the blocks before it and then the
  // drive loses power: that command and every later one on the paths open at
  // the time fail as a vanished device; the blocks that reached the disc stay
  // as a damaged track (EmulatedDisc.h). A path opened afterwards finds the
  // drive on again.
  std::optional<uint32_t> powerLossAt;
  // A write that reaches this block finds the drive reset: it takes nothing
  // of the command and answers UNIT ATTENTION (29h, reset), its mode pages
  // are back to their defaults, and on CD and DVD-R/-RW it takes no further
  // block until the write parameters are sent again. Once.
  std::optional<uint32_t> resetAt;
};

}  // namespace starburn
