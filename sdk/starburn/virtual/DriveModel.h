#pragma once

// What an emulated recorder is: its identification, the discs it reads and
// writes, its buffer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "starburn/StarBurn.h"

namespace starburn {

struct DriveModel {
  std::string vendor = "StarBurn";
  std::string product = "Virtual Recorder";
  std::string revision = "1.0";
  std::vector<uint16_t> readProfiles;   // profiles of discs it reads, in the order it lists them
  std::vector<uint16_t> writeProfiles;  // those it also writes
  // 4 MiB: the buffer of a current DVD/BD recorder (CD recorders have 2 MiB).
  // 0: a buffer that never fills (the drive keeps pace with any host).
  uint32_t bufferBytes = 4u << 20;
  // How long a long operation started with IMMED (BLANK, FORMAT UNIT, CLOSE
  // TRACK/SESSION, SYNCHRONIZE CACHE) shows as running: this many REQUEST
  // SENSE polls report it in progress, with a rising progress indication and,
  // for a flush, a draining buffer. 0: it is done at once.
  uint32_t longOperationPolls = 0;
  // A WRITE is answered NOT READY, long write in progress, about once in this
  // many, as by a recorder whose buffer the host outpaces (0: never); the
  // dice are seeded with busySeed, so a run repeats. A WRITE that would
  // overfill the buffer is answered so too, and the buffer drains meanwhile.
  uint32_t busyWriteOneIn = 0;
  uint32_t busySeed = 1;
  // Like many CD recorders, SYNCHRONIZE CACHE closes a track-at-once CD track
  // itself, and a CLOSE TRACK after it is refused (there is no open track).
  bool flushClosesCdTrack = false;
  // Like some DVD recorders, the capabilities page gives the current write
  // speed of a DVD or BD in CD units (176 KB/s for 1x), not in its own.
  bool pageSpeedsInCdUnits = false;
  // The drive resets once, when a WRITE reaches this block: its mode pages
  // go back to their defaults and it answers with a unit attention.
  std::optional<uint32_t> resetAt;
  // The DVD-RW in it was given a minimal blank (by another program): it
  // takes disc-at-once writing only until it is blanked fully.
  bool quickBlanked = false;
  // The DVD+RW in it has a background format that was started and stopped:
  // it takes no write until the format is restarted.
  bool formatStopped = false;

  bool Reads(uint16_t profile) const;
  bool Writes(uint16_t profile) const;

  // The recorder of every virtual drive: it reads and writes every medium of
  // the virtual-drive list, and answers one WRITE in 16 busy.
  static DriveModel AllMedia();
  // A CD-R recorder: reads CD-ROM and CD-R, writes CD-R only.
  static DriveModel CdROnly();
  // AllMedia() with the quirks of a list such as "flush-closes-cd-track,
  // busy-one-in=4" (STARBURN_VIRTUAL_QUIRKS: see the list in its message).
  // STARBURN_STATUS_BAD_CONFIGURATION naming an unknown quirk or bad value.
  static StarBurnStatus WithQuirks(const std::string& list, DriveModel* out, std::string* error);
};

}  // namespace starburn
