#pragma once

#include <orlet/MediaBurning.h>

#include <string>
#include <vector>

namespace orletburn {

// One use of the burning service: made, started, drives found; stopped and
// destroyed with the object.
class Session {
 public:
  Session() = default;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Creates and starts the service, attaches the virtual drives
  // ("MEDIUM=PATH") and finds the drives. On failure prints why and answers
  // false.
  bool Open(const std::vector<std::string>& virtualDrives);
  Orlet::MediaBurning& Service() { return *service; }
  // The drive's record, read afresh; prints why not and answers false.
  bool Drive(std::size_t index, Orlet::DriveInfo& info);

 private:
  Orlet::MediaBurning* service = nullptr;
  bool started = false;
};

}  // namespace orletburn
