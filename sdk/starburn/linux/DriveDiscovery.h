#pragma once

// Finding the machine's real optical drives: every /dev/srN that opens and
// answers INQUIRY as a CD/DVD/BD device (peripheral type 5), then every
// /dev/sgN that does so for a drive no sr node reaches (the CD-ROM driver is
// not loaded, or does not claim it). A node that is not usable is skipped,
// with the reason, so that a host can tell its user why a drive the system
// lists does not show ("not in the group cdrom", "busy"). sg nodes that
// cannot be opened are not reported: every SCSI device has one (disks too),
// and without opening it nothing says it is an optical drive.
//
// Nothing here needs a drive: the system calls go through SgSystem, so a
// machine without drives (or a test) finds none and nothing fails.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devices/Discovery.h"
#include "devices/DriveBackend.h"
#include "linux/SgIoTransport.h"
#include "linux/SgSystem.h"
#include "starburn/StarBurn.h"

namespace starburn {

// The directory of the device nodes.
constexpr const char* kDeviceDirectory = "/dev";

// Opens, asks and closes every candidate node of directory once
// (DiscoverSystemDrives: the kernel's nodes under kDeviceDirectory).
Discovery DiscoverDrives(const std::shared_ptr<SgSystem>& system,
                         const std::string& directory = kDeviceDirectory);

}  // namespace starburn
