#pragma once

#include <orlet/DriveInfo.h>
#include <starburn/StarBurn.h>

#include <cstdint>

namespace orletburn {

// An SDK handle on a drive, closed with the object; the fields take what the
// SDK's calls report. Opened shared to ask (reading), or alone to record
// (recording), with the call-back that the write's notifications go to.
struct DriveHandle {
  enum class Use { kReading, kRecording };
  explicit DriveHandle(const Orlet::DriveInfo& info, Use use = Use::kReading,
                       StarBurnCallback callback = nullptr, void* context = nullptr);
  ~DriveHandle();
  DriveHandle(const DriveHandle&) = delete;
  DriveHandle& operator=(const DriveHandle&) = delete;

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
