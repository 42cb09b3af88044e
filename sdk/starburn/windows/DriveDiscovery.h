#pragma once

// Finding the machine's real optical drives on Windows: every drive letter
// the system uses whose type is CD-ROM (the system's class of every optical
// drive, writers too) and whose volume opens and answers INQUIRY as a
// CD/DVD/BD device (peripheral type 5), in letter order, each under its
// system letter. A letter that is not usable is skipped with the reason, so
// that a host can tell its user why a drive the system lists does not show
// ("access denied", "busy").
//
// Nothing here needs a drive: the system calls go through SptiSystem, so a
// machine without drives (or a test) finds none and nothing fails.

#include <memory>

#include "devices/Discovery.h"
#include "windows/SptiSystem.h"

namespace starburn {

// Opens, asks and closes the volume of every optical drive letter once
// (DiscoverSystemDrives: the running system's).
Discovery DiscoverDrives(const std::shared_ptr<SptiSystem>& system);

}  // namespace starburn
