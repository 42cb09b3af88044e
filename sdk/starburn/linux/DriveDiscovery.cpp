#include "linux/DriveDiscovery.h"

#include <algorithm>

#include "linux/SgIoTransport.h"

namespace starburn {

namespace {

bool SameDrive(const FoundDrive& a, const FoundDrive& b) {
  return a.addressKnown && b.addressKnown && a.address == b.address;
}

// Opens node and asks what it is. Answers STARBURN_OK with the drive filled
// for a CD/DVD/BD device; otherwise the status and the reason.
StarBurnStatus Examine(const std::shared_ptr<SgSystem>& system, const std::string& node,
                       FoundDrive* drive, std::string* reason) {
  std::unique_ptr<SgIoTransport> transport;
  const StarBurnStatus status = OpenDriveNode(system, node, false, &transport, reason);
  if (status != STARBURN_OK) return status;
  const StarBurnStatus identified = CheckOpticalDevice(*transport, node, reason);
  if (identified != STARBURN_OK) return identified;
  drive->node = node;
  drive->backend = std::make_shared<SgIoDrive>(system, node);
  // The address only tells sr and sg nodes of one drive apart; without it
  // the drive is still used, through the node it was found at.
  drive->addressKnown = transport->Address(&drive->address);
  return STARBURN_OK;
}

}  // namespace

Discovery DiscoverDrives(const std::shared_ptr<SgSystem>& system, const std::string& directory) {
  Discovery found;
  for (const std::string& name : system->List(directory, "sr")) {
    std::string node = directory;
    node.append("/").append(name);
    FoundDrive drive;
    SkippedNode skipped;
    skipped.status = Examine(system, node, &drive, &skipped.reason);
    if (skipped.status == STARBURN_OK) {
      found.drives.push_back(std::move(drive));
    } else {
      skipped.node = node;
      found.skipped.push_back(std::move(skipped));
    }
  }
  const std::size_t srDrives = found.drives.size();
  for (const std::string& name : system->List(directory, "sg")) {
    FoundDrive drive;
    std::string reason;
    std::string node = directory;
    node.append("/").append(name);
    if (Examine(system, node, &drive, &reason) != STARBURN_OK) continue;
    const auto srEnd = found.drives.begin() + static_cast<std::ptrdiff_t>(srDrives);
    const bool reachedBySr = std::any_of(
        found.drives.begin(), srEnd, [&](const FoundDrive& sr) { return SameDrive(sr, drive); });
    if (!reachedBySr) found.drives.push_back(std::move(drive));
  }
  return found;
}

Discovery DiscoverSystemDrives() { return DiscoverDrives(SgSystem::Kernel()); }

// Linux names drives by device node, not by letter: every letter is the SDK's to give.
uint32_t SystemDriveLetters() { return 0; }

}  // namespace starburn
