#pragma once

// The scripted SDK double: links in place of the StarBurn library for the
// library's unit tests. It keeps a journal of every SDK call with its
// arguments, answers each call with a scripted status (queued answers first,
// then a per-function default, else STARBURN_OK), fills outputs from the fake
// drives and trees a test sets up, and counts the handles that are open.
// It also answers the Windows stand-in's registry questions (drive letters,
// device targets, volume labels).
//
// Threads: every member is safe to call from any thread; the double's lock is
// never held while it calls a call-back.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "starburn/StarBurn.h"

namespace sdkdouble {

// One SDK call as the double saw it.
struct Call {
  std::string function;   // full name, "StarBurn_CdvdBurnerGrabber_CreateEx"
  std::string arguments;  // the meaningful arguments, ", "-separated
  uint32_t status = 0;    // what the call answered (0 for calls without status)
};

// A drive the double pretends the machine has. The device calls answer from
// it: a call on a handle of this drive reads the drive as it is at that moment.
struct FakeDrive {
  std::string name;                                    // device name, "CdRom0"
  char letter = 0;                                     // 'D'; 0 when the drive has no letter
  uint8_t address[STARBURN_DEVICE_ADDRESS_SIZE] = {};  // tag, port, bus, target, lun
  bool hasVolumeLabel = false;
  std::u16string volumeLabel;  // answered for the letter when hasVolumeLabel

  // Identification (GetDeviceInformation): vendor, product, revision, buffer.
  std::string vendor;
  std::string product;
  std::string revision;
  uint32_t bufferSize = 0;

  // The disc.
  int32_t discType = 14;  // 14: no disc
  bool blank = false;     // IsDiscBlank
  uint64_t usedBytes = 0;
  uint64_t freeBytes = 0;  // GetDiscFreeSpace; its block count is freeBytes / 2048
  uint8_t discInformation[STARBURN_DISC_INFORMATION_SIZE] = {};
  uint8_t trackInformation[STARBURN_TRACK_INFORMATION_SIZE] = {};  // of track 255

  // What the drive can do.
  uint8_t mediaFormats[STARBURN_MEDIA_FORMAT_COUNT] = {};
  uint8_t writeModes[4] = {};  // packet, track-at-once, session-at-once, raw
  uint32_t maximumReadSpeed = 0;
  uint32_t maximumWriteSpeed = 0;
  uint32_t currentReadSpeed = 0;  // SetSpeeds changes these
  uint32_t currentWriteSpeed = 0;
  // The speed the drive takes when SetSpeeds asks for asked (65535 is asked
  // as the maximum). Unset: the asked speed, at most the maximum.
  std::function<uint32_t(uint32_t asked, uint32_t maximum)> speedTaken;

  // Failures of this drive: every call of a function named here (full name)
  // on this drive, or open of it, answers the status (scripted answers of
  // AnswerNext/AnswerAlways still come first).
  std::map<std::string, uint32_t> failures;
  // Opens that succeed before every further open answers NO_DEVICE, as when
  // the drive goes away; -1: no limit.
  int opensLeft = -1;
  // Called with the function's full name at every device call on this drive
  // and every open of it, before the call answers, on the calling thread and
  // without the double's lock (tests step in here: stop a search, remove a
  // drive, wait for another thread).
  std::function<void(const std::string& function)> onCall;

  std::map<std::string, std::string> values;  // free-form, for later extensions
};

class SdkDouble {
 public:
  // The one double of the test process.
  static SdkDouble& Get();

  // Forgets the script, the drives, the journal and the handle counts.
  void Reset();

  // ---- Script ----
  // The next call of function answers status (queued, one answer per call).
  void AnswerNext(const std::string& function, uint32_t status);
  // Every call of function answers status once its queue is empty.
  void AnswerAlways(const std::string& function, uint32_t status);

  // ---- Drives ----
  FakeDrive& AddDrive(const std::string& name, char letter);
  // The drive of that name or letter; null when there is none.
  FakeDrive* FindDrive(const std::string& name);
  FakeDrive* FindDriveByLetter(char letter);
  std::vector<FakeDrive> Drives() const;
  // Runs use on the drive of that name under the double's lock (use must not
  // call the double). False when there is no such drive.
  bool WithDrive(const std::string& name, const std::function<void(FakeDrive&)>& use);

  // ---- Journal ----
  std::vector<Call> Journal() const;
  // The functions called, in order (optionally only those starting with prefix).
  std::vector<std::string> Functions(const std::string& prefix = "") const;
  std::size_t CountOf(const std::string& function) const;
  void ClearJournal();

  // ---- Handles ----
  std::size_t OpenDevices() const;
  std::size_t OpenTrees() const;

  // ---- For the double's own functions ----
  // Records the call and answers its scripted status; without a script for
  // the function, answers natural (what the fake drive or tree would say).
  uint32_t Enter(const std::string& function, const std::string& arguments,
                 uint32_t natural = STARBURN_OK);
  // Records a call that has no status of its own.
  void Note(const std::string& function, const std::string& arguments);
  // Handles: a device of a drive, a tree.
  struct DeviceHandle {
    std::string drive;
    StarBurnCallback callback = nullptr;
    void* context = nullptr;
  };
  struct TreeHandle {
    StarBurnCallback callback = nullptr;
    void* context = nullptr;
  };
  void* OpenDevice(const std::string& drive, StarBurnCallback callback, void* context);
  void* OpenTree(StarBurnCallback callback, void* context);
  // The handle's record, or null for an unknown handle (a copy: safe to keep).
  std::unique_ptr<DeviceHandle> Device(void* handle) const;
  std::unique_ptr<TreeHandle> Tree(void* handle) const;
  // Forgets a handle; answers false for an unknown one.
  bool Close(void* handle);

 private:
  SdkDouble() = default;

  mutable std::mutex mutex;
  std::map<std::string, std::vector<uint32_t>> queued;
  std::map<std::string, uint32_t> defaults;
  std::deque<FakeDrive> drives;  // a deque keeps references to its drives valid
  std::vector<Call> journal;
  std::map<void*, std::unique_ptr<DeviceHandle>> devices;
  std::map<void*, std::unique_ptr<TreeHandle>> trees;
};

// Joins the arguments' text forms with ", " (strings as they are, null
// pointers as "null", one-byte integers as numbers).
inline void AppendArgument(std::ostringstream& out, const char* value) {
  out << (value == nullptr ? "null" : value);
}
inline void AppendArgument(std::ostringstream& out, const std::string& value) { out << value; }
inline void AppendArgument(std::ostringstream& out, uint8_t value) {
  out << static_cast<unsigned>(value);
}
template <typename T>
void AppendArgument(std::ostringstream& out, const T& value) {
  out << value;
}
template <typename... T>
std::string Arguments(const T&... values) {
  std::ostringstream out;
  bool first = true;
  ((out << (first ? "" : ", "), AppendArgument(out, values), first = false), ...);
  return out.str();
}

}  // namespace sdkdouble
