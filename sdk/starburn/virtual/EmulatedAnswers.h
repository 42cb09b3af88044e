#pragma once

// The bytes an emulated recorder answers to the MMC commands that read, laid
// out as the command set defines them.

#include <cstdint>
#include <vector>

#include "mmc/Answers.h"
#include "virtual/DriveModel.h"
#include "virtual/EmulatedDisc.h"

namespace starburn {

std::vector<uint8_t> InquiryAnswer(const DriveModel& model);

// requestType 0: every feature from startingFeature on; 1: only the current
// ones; 2: only startingFeature.
// incremental: Incremental Streaming Writable (0021h) is current, which it is
// for a DVD-R or DVD-RW that takes incremental writing (not a DVD-RW after a
// minimal blank).
std::vector<uint8_t> ConfigurationAnswer(const DriveModel& model, uint16_t currentProfile,
                                         uint8_t requestType, uint16_t startingFeature,
                                         bool incremental = false);
// The link size a DVD-R recorder lists in 0021h and wants in the write
// parameters page: 16 blocks, one ECC block.
constexpr uint8_t kDvdLinkSize = 16;
// The track mode READ TRACK INFORMATION gives for a DVD-R/-RW track: data,
// recorded incrementally. A track is written only with it in the write
// parameters page.
constexpr uint8_t kDvdTrackMode = 5;

// backgroundFormat: a formatted DVD+RW's background format state (byte 7).
std::vector<uint8_t> DiscInformationAnswer(const EmulatedDisc& disc, uint8_t backgroundFormat);

std::vector<uint8_t> TrackInformationAnswer(const EmulatedDisc& disc, const TrackView& track);

// Formats 0 (tracks) and 1 (last complete session); false when the disc has no
// complete session, or another format is asked.
bool TocAnswer(const EmulatedDisc& disc, uint8_t format, bool msf, uint8_t startingTrack,
               std::vector<uint8_t>* answer);

// Speeds the recorder runs at now, in KB/s.
struct SpeedState {
  uint32_t maximumRead = 0;
  uint32_t currentRead = 0;
  uint32_t maximumWrite = 0;  // 0: the disc cannot be written
  uint32_t currentWrite = 0;
  std::vector<uint32_t> writeSpeeds;  // ascending
};

std::vector<uint8_t> CapabilitiesPage(const DriveModel& model, const SpeedState& speeds,
                                      bool removalPrevented);

// GET PERFORMANCE type 3: one descriptor per write speed, fastest first.
std::vector<uint8_t> WriteSpeedsAnswer(const SpeedState& speeds, uint32_t capacity);

// A MODE SENSE(10) answer: the 8-byte header, no block descriptors, the page.
std::vector<uint8_t> ModeSenseAnswer(const std::vector<uint8_t>& page);

// The write parameters page of a recorder that was never told otherwise:
// packet writing, no next session, data track, Mode 1.
std::vector<uint8_t> DefaultWriteParameters();

// The formats the disc can be given, as READ FORMAT CAPACITIES lists them:
// DVD+RW its basic format (26h), BD-RE and DVD-RAM a full format (00h), each
// of the whole disc; other discs none.
std::vector<FormatCapacity> FormatsOf(const EmulatedDisc& disc);
std::vector<uint8_t> FormatCapacitiesAnswer(const EmulatedDisc& disc);

// Block address -> 0, minute, second, frame (a disc address starts 150 frames
// after the first frame).
uint32_t MsfOf(uint32_t lba);

}  // namespace starburn
