#pragma once

// What a search for the machine's own optical drives finds: each drive with
// the backend that opens it and its place on the bus, and each device node
// that could not be used, with the reason, so that a host can tell its user
// why a drive the system lists does not show. The search itself is the
// platform's (linux/: SG_IO on /dev/sr and /dev/sg nodes; windows/: SPTI on
// the volumes of the drive letters the system gives optical drives).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devices/DriveBackend.h"
#include "starburn/StarBurn.h"

namespace starburn {

// Where the system places a drive: host adapter, channel (bus), target,
// logical unit. Two device nodes of one drive have the same address.
struct ScsiAddress {
  uint8_t host = 0, channel = 0, target = 0, lun = 0;
  bool operator==(const ScsiAddress& other) const {
    return host == other.host && channel == other.channel && target == other.target &&
           lun == other.lun;
  }
};

struct FoundDrive {
  std::string node;  // the device node the drive is opened through ("/dev/sr0", "\\.\E:")
  std::shared_ptr<DriveBackend> backend;
  char letter = 0;      // the system's letter for the drive ('E'); 0 where there is none
  ScsiAddress address;  // all 0 when the system would not say
  bool addressKnown = false;
};

struct SkippedNode {
  std::string node;
  StarBurnStatus status = STARBURN_OK;  // why, as a status
  std::string reason;                   // why, in words
};

struct Discovery {
  std::vector<FoundDrive> drives;  // in the platform's order (see its search)
  std::vector<SkippedNode> skipped;
};

// Asks the device behind transport what it is (INQUIRY): STARBURN_OK for a
// CD/DVD/BD device (peripheral type 5); otherwise the status and, in reason,
// why, naming the device by node ("/dev/sg0 is not a CD/DVD/BD device
// (peripheral type 0)"). Every platform's search judges its candidates so.
StarBurnStatus CheckOpticalDevice(ScsiTransport& transport, const std::string& node,
                                  std::string* reason);

// The machine's drives, searched the platform's way; opens, asks and closes
// each candidate once. Called once, when the SDK starts.
Discovery DiscoverSystemDrives();

// The drive letters the system itself uses (bit 0: A:), which virtual
// drives must leave to it; 0 where the system gives drives no letters.
uint32_t SystemDriveLetters();

}  // namespace starburn
