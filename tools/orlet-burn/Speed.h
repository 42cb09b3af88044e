#pragma once

#include <orlet/DriveInfo.h>

#include <string>

namespace orletburn {

// The library's "as fast as the drive can" (and the largest speed it takes).
constexpr unsigned kFastest = 65535;

// Reads --speed: KB/s ("4000"), a multiple of the medium's 1x ("8x": CD 176,
// DVD 1385, BD 4496 KB/s) or "max". False for anything else. A multiple needs
// the disc's family, so it is resolved once the drive is known (info); a
// figure above what the library takes means the fastest.
bool ParseSpeed(const std::string& text, const Orlet::DriveInfo* info, unsigned* kbps);

// The write speed the drive is set to now, in KB/s; 0 when it does not say.
// Opens the drive for reading through the SDK.
unsigned CurrentWriteSpeed(const Orlet::DriveInfo& info);

}  // namespace orletburn
