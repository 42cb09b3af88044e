#pragma once

// Real drives on Windows: a drive's volume ("\\.\E:") reached through the
// SCSI pass-through interface (SPTI, IOCTL_SCSI_PASS_THROUGH_DIRECT).
//
// SptiDrive is the registry's backend of one such drive: every device handle
// opens the volume anew, shared for reading and writing, or, for a handle
// that records, with no sharing (refused while another program has the
// volume open, and keeping other programs out while the disc is written).
//
// SptiTransport is one open handle: it hands each command to the system with
// the command class's timeout (in whole seconds, as the pass-through takes
// it), and gives back the drive's status and sense, or what went wrong on the
// way. A drive that vanished (unplugged, powered off) answers
// STARBURN_STATUS_DEVICE_GONE.
//
// Threads: SptiDrive is safe from any thread; a transport is used by one
// thread at a time (the system orders commands from different handles).

#include <cstdint>
#include <memory>
#include <string>

#include "devices/Discovery.h"
#include "devices/DriveBackend.h"
#include "windows/SptiSystem.h"

namespace starburn {

// "\\.\E:": the volume of the drive at letter.
std::string VolumePath(char letter);

class SptiTransport : public ScsiTransport {
 public:
  // Owns handle (closed by the destructor); volume names the drive in messages.
  SptiTransport(std::shared_ptr<SptiSystem> system, HANDLE handle, std::string volume);
  ~SptiTransport() override;
  SptiTransport(const SptiTransport&) = delete;
  SptiTransport& operator=(const SptiTransport&) = delete;

  ScsiResult Execute(const ScsiCommand& command) override;
  // The drive's address (IOCTL_SCSI_GET_ADDRESS); false when the system
  // would not say.
  bool Address(ScsiAddress* out) const;

 private:
  const std::shared_ptr<SptiSystem> system;
  const HANDLE handle;
  const std::string volume;
};

class SptiDrive : public DriveBackend {
 public:
  SptiDrive(std::shared_ptr<SptiSystem> system, char letter);

  StarBurnStatus Open(bool exclusive, std::unique_ptr<ScsiTransport>* out,
                      std::string* error) override;
  std::string Identity() const override { return VolumePath(letter); }

 private:
  const std::shared_ptr<SptiSystem> system;
  const char letter;
};

// Opens the volume of the drive at letter as a drive is opened (exclusive: no
// sharing). On failure answers the status and, in reason, why in words a
// person can act on.
StarBurnStatus OpenDriveVolume(const std::shared_ptr<SptiSystem>& system, char letter,
                               bool exclusive, std::unique_ptr<SptiTransport>* out,
                               std::string* reason);

}  // namespace starburn
