#pragma once

#include <orlet/DriveInfo.h>

#include <cstdint>

namespace orletburn {

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
