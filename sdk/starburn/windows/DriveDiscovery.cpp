#include "windows/DriveDiscovery.h"

#include "windows/SptiTransport.h"

namespace starburn {

namespace {

constexpr int kLetters = 26;  // A: to Z:

// Opens the volume at letter and asks what it is. Answers STARBURN_OK with
// the drive filled for a CD/DVD/BD device; otherwise the status and the
// reason.
StarBurnStatus Examine(const std::shared_ptr<SptiSystem>& system, char letter, FoundDrive* drive,
                       std::string* reason) {
  std::unique_ptr<SptiTransport> transport;
  const StarBurnStatus status = OpenDriveVolume(system, letter, false, &transport, reason);
  if (status != STARBURN_OK) return status;
  const std::string volume = VolumePath(letter);
  const StarBurnStatus identified = CheckOpticalDevice(*transport, volume, reason);
  if (identified != STARBURN_OK) return identified;
  drive->node = volume;
  drive->letter = letter;
  drive->backend = std::make_shared<SptiDrive>(system, letter);
  drive->addressKnown = transport->Address(&drive->address);
  return STARBURN_OK;
}

}  // namespace

Discovery DiscoverDrives(const std::shared_ptr<SptiSystem>& system) {
  Discovery found;
  const uint32_t letters = system->LogicalDrives();
  for (int i = 0; i < kLetters; ++i) {
    const char letter = static_cast<char>('A' + i);
    if ((letters & (1u << i)) == 0 || system->DriveType(letter) != DRIVE_CDROM) continue;
    FoundDrive drive;
    SkippedNode skipped;
    skipped.status = Examine(system, letter, &drive, &skipped.reason);
    if (skipped.status == STARBURN_OK) {
      found.drives.push_back(std::move(drive));
    } else {
      skipped.node = VolumePath(letter);
      found.skipped.push_back(std::move(skipped));
    }
  }
  return found;
}

Discovery DiscoverSystemDrives() { return DiscoverDrives(SptiSystem::Windows()); }

uint32_t SystemDriveLetters() { return SptiSystem::Windows()->LogicalDrives(); }

}  // namespace starburn
