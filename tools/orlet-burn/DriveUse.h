#pragma once

#include <orlet/DriveInfo.h>
#include <starburn/StarBurn.h>

#include <cstdint>

namespace orletburn {

// An SDK handle on a drive, opened shared (to ask, never to record), closed
// with the object; the fields take what the SDK's calls report.
struct ReadingHandle {
  explicit ReadingHandle(const Orlet::DriveInfo& info);
  ~ReadingHandle();
  ReadingHandle(const ReadingHandle&) = delete;
  ReadingHandle& operator=(const ReadingHandle&) = delete;

  void* device = nullptr;
  StarBurnStatus opened = STARBURN_OK;  // how the open ended
  char error[STARBURN_ERROR_TEXT_SIZE] = {};
  uint32_t systemError = 0;
  StarBurnCommandFailure failure{};
};

// What orlet-burn says of a drive another program is recording on.
constexpr const char* kHeldElsewhere = "another program is using the drive";

// Whether another program holds the drive for recording: the drive answers
// busy to a reading handle (a virtual drive's image is locked by a burner in
// another process). While it does, the drive record shows nothing true of the
// disc, so the commands say "in use" instead of the record's space and state.
bool HeldByAnotherProgram(const Orlet::DriveInfo& info);

// Bytes of the disc that recordings cut short by an interruption (a killed
// burner, a power cut) used up: they hold nothing readable, are never
// offered for import, and count neither as used nor as free.
uint64_t LostBytes(const Orlet::DriveInfo& info);

}  // namespace orletburn
