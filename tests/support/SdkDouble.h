#pragma once

// The scripted SDK double: links in place of the StarBurn library for the
// library's unit tests of what virtual drives cannot show: drive identities
// and letters (the letter scans, 16-bit names, SCSI addresses, the Windows
// stand-in's answers) and single calls that fail. It keeps a journal of the
// calls, answers each with a scripted status (queued answers first, then a
// per-function default, else what its fake drive would answer) and counts
// the handles that are open. Discs are the virtual drives' (tests/e2e): every
// disc and recording call of the double fails.
//
// Threads: every member is safe to call from any thread; the double's lock is
// never held while it calls a call-back.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "starburn/StarBurn.h"

namespace sdkdouble {

// One SDK call as the double saw it.
struct Call {
  std::string function;   // full name, "StarBurn_CdvdBurnerGrabber_CreateEx"
  std::string arguments;  // the meaningful arguments, ", "-separated
};

// A drive the double pretends the machine has. The device calls answer from
// it as it is at the moment of the call.
struct FakeDrive {
  std::string name;                                    // device name, "CdRom0"
  char letter = 0;                                     // 'D'; 0 when the drive has no letter
  uint8_t address[STARBURN_DEVICE_ADDRESS_SIZE] = {};  // tag, port, bus, target, lun
  std::u16string volumeLabel;  // answered for the letter; empty: no readable session
  std::string vendor;          // GetDeviceInformation
  std::string product;
  std::string revision;
  int32_t discType = 14;  // 14: no disc
  uint8_t mediaFormats[STARBURN_MEDIA_FORMAT_COUNT] = {};
  // Every call of a function named here (full name) on this drive, or open
  // of it, answers the status (scripted answers still come first).
  std::map<std::string, uint32_t> failures;
  // Opens that succeed before every further open answers NO_DEVICE, as when
  // the drive goes away; -1: no limit.
  int opensLeft = -1;
  // Called with the function's full name at every device call on this drive
  // and every open of it, before the call answers, on the calling thread and
  // without the double's lock (tests step in here: stop a search, remove a
  // drive, wait for another thread).
  std::function<void(const std::string& function)> onCall;
};

class SdkDouble {
 public:
  // The one double of the test process.
  static SdkDouble& Get();

  // Forgets the script, the drives, the journal and the handles.
  void Reset();

  // The next call of function answers status (queued, one answer per call).
  void AnswerNext(const std::string& function, uint32_t status);
  // Every call of function answers status once its queue is empty.
  void AnswerAlways(const std::string& function, uint32_t status);

  FakeDrive& AddDrive(const std::string& name, char letter);
  // A copy of the first drive that matches; false when there is none.
  bool FindDrive(const std::function<bool(const FakeDrive&)>& match, FakeDrive& drive) const;
  bool FindDrive(const std::string& name, FakeDrive& drive) const {
    return FindDrive([&](const FakeDrive& d) { return !name.empty() && d.name == name; }, drive);
  }
  bool FindDriveByLetter(char letter, FakeDrive& drive) const {
    return FindDrive([&](const FakeDrive& d) { return letter != 0 && d.letter == letter; }, drive);
  }
  std::vector<FakeDrive> Drives() const;
  // Runs use on the drive of that name under the double's lock (use must not
  // call the double).
  void WithDrive(const std::string& name, const std::function<void(FakeDrive&)>& use);

  std::vector<Call> Journal() const;
  std::size_t CountOf(const std::string& function) const;
  std::size_t OpenDevices() const;

  // ---- For the double's own functions ----
  // Records the call and answers its scripted status, else natural.
  uint32_t Enter(const std::string& function, const std::string& arguments,
                 uint32_t natural = STARBURN_OK);
  void* OpenDevice(const std::string& drive);
  // The drive name of an open handle; "" for an unknown one.
  std::string DeviceDrive(void* handle) const;
  // Forgets a handle; false for an unknown one.
  bool Close(void* handle);

 private:
  SdkDouble() = default;

  mutable std::mutex mutex;
  std::map<std::string, std::deque<uint32_t>> queued;
  std::map<std::string, uint32_t> defaults;
  std::deque<FakeDrive> drives;  // a deque keeps references to its drives valid
  std::vector<Call> journal;
  std::map<void*, std::unique_ptr<std::string>> devices;  // handle: its drive's name
};

}  // namespace sdkdouble
