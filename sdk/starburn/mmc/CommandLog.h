#pragma once

// The command log: with STARBURN_LOG naming a file ("-" or "stderr" for the
// standard error), every command the SDK sends to a drive is written there as
// one line, appended: the time, the command's name and CDB in hex, the data
// length and direction, how long it took, and how it ended (good, the drive's
// sense in words, or the transport's error). This is the first thing to look
// at when a real drive refuses a recording.
//
// Threads: any; lines from several threads never mix. The variable is read
// once, at the first command.

#include <chrono>

#include "mmc/ScsiTransport.h"

namespace starburn {

class CommandLog {
 public:
  // Whether STARBURN_LOG asks for a log (and the file could be opened).
  static bool Enabled();
  // Writes command's line: result is what the transport gave back after took.
  static void Write(const ScsiCommand& command, const ScsiResult& result,
                    std::chrono::steady_clock::duration took);
};

}  // namespace starburn
