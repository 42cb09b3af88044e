#pragma once

// What the device registry knows of a drive's hardware side: how to open a
// path to it. The emulated recorder is one backend; a real drive behind the
// Linux SCSI generic interface is another.

#include <memory>
#include <string>

#include "mmc/ScsiTransport.h"

namespace starburn {

class DriveBackend {
 public:
  virtual ~DriveBackend() = default;
  // A new path to the drive for one device handle; exclusive: the handle
  // records. The path closes when the transport is destroyed. Thread-safe.
  virtual StarBurnStatus Open(bool exclusive, std::unique_ptr<ScsiTransport>* out,
                              std::string* error) = 0;
  // What the drive is, for messages and to refuse attaching one image twice:
  // the image path of a virtual drive, the device node of a real one.
  virtual std::string Identity() const = 0;
};

}  // namespace starburn
