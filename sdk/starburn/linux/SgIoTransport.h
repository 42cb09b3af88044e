#pragma once

// Real drives on Linux: a device node (/dev/srN, or /dev/sgN for a drive the
// CD-ROM driver does not claim) reached through the SG_IO ioctl.
//
// SgIoDrive is the registry's backend of one such drive: every device handle
// opens the node anew, non-blocking (a drive without a disc still opens) and,
// for a handle that records, exclusively (O_EXCL: refused while another
// program holds the drive exclusively or has its disc mounted, and keeping
// them out while the disc is written).
//
// SgIoTransport is one open descriptor: it hands each command to the kernel
// with the command class's timeout, and gives back the drive's status and
// sense, or what went wrong on the way. A drive that vanished (unplugged,
// powered off, its driver gone) answers STARBURN_STATUS_DEVICE_GONE.
//
// Threads: SgIoDrive is safe from any thread; a transport is used by one
// thread at a time (the kernel orders commands from different descriptors).

#include <cstdint>
#include <memory>
#include <string>

#include "devices/Discovery.h"
#include "devices/DriveBackend.h"
#include "linux/SgSystem.h"

namespace starburn {

class SgIoTransport : public ScsiTransport {
 public:
  // Owns fd (closed by the destructor); node names the drive in messages.
  SgIoTransport(std::shared_ptr<SgSystem> system, int fd, std::string node);
  ~SgIoTransport() override;
  SgIoTransport(const SgIoTransport&) = delete;
  SgIoTransport& operator=(const SgIoTransport&) = delete;

  ScsiResult Execute(const ScsiCommand& command) override;
  // The drive's address (SCSI_IOCTL_GET_IDLUN); false when the kernel would
  // not say.
  bool Address(ScsiAddress* out) const;

 private:
  const std::shared_ptr<SgSystem> system;
  const int fd;
  const std::string node;
};

class SgIoDrive : public DriveBackend {
 public:
  SgIoDrive(std::shared_ptr<SgSystem> system, std::string node);

  StarBurnStatus Open(bool exclusive, std::unique_ptr<ScsiTransport>* out,
                      std::string* error) override;
  std::string Identity() const override { return node; }  // "/dev/sr0"

 private:
  const std::shared_ptr<SgSystem> system;
  const std::string node;
};

// Opens node as a drive is opened (exclusive: O_EXCL too). On failure answers
// the status and, in reason, why in words a person can act on ("permission
// denied: the user is not in the group cdrom that owns /dev/sr0").
StarBurnStatus OpenDriveNode(const std::shared_ptr<SgSystem>& system, const std::string& node,
                             bool exclusive, std::unique_ptr<SgIoTransport>* out,
                             std::string* reason);

}  // namespace starburn
