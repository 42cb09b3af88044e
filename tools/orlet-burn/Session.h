#pragma once

#include <orlet/MediaBurning.h>

#include <optional>
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
  // Chooses the drive and reads its record afresh; prints why not and
  // answers false. The drive is the one asked for; without one, the first
  // drive attached with --virtual (real drives come before such drives, and
  // a run that names a virtual disc means that disc), else drive 0.
  bool Drive(std::optional<std::size_t> asked, Orlet::DriveInfo& info);
  // Drive, for a job that writes: also refuses (saying why) a drive that
  // another program holds for recording.
  bool DriveToWrite(std::optional<std::size_t> asked, Orlet::DriveInfo& info);
  // The drive Drive chose.
  std::size_t Index() const { return index; }

 private:
  Orlet::MediaBurning* service = nullptr;
  bool started = false;
  std::wstring firstAttached;  // device name of the first --virtual drive
  std::size_t index = 0;
};

}  // namespace orletburn
