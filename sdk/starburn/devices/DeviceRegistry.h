#pragma once

// The drives the SDK knows, as CdRom0, CdRom1, ... in the order they were
// registered, with the drive letters D: to Z: (each drive the first letter no
// earlier drive and not the system uses, where the system uses letters: on
// Windows a real drive keeps the system's letter; drives past the last free
// letter have none and are reached by name or address). At the SDK's
// first start the virtual drives of the environment come first, then the
// real drives discovery finds; virtual drives attached later follow them. A
// drive stays registered for the life of the process; handles keep their
// drive alive even if the registry is emptied (tests do that).
//
// Threads: every member is safe from any thread. The registry's lock guards
// the list only; each drive's lock guards its claims only; neither is held
// across a drive command.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devices/Discovery.h"
#include "devices/DriveBackend.h"
#include "starburn/StarBurn.h"

namespace starburn {

class RegisteredDrive {
 public:
  RegisteredDrive(std::string name, char letter,
                  const uint8_t address[STARBURN_DEVICE_ADDRESS_SIZE],
                  std::shared_ptr<DriveBackend> backend);

  const std::string& Name() const { return name; }
  char Letter() const { return letter; }  // 0 when the drive has none
  // Tag, port, bus, target, logical unit.
  const uint8_t* Address() const { return address; }
  DriveBackend& Backend() { return *backend; }

  // Claims the drive for one handle: an exclusive claim (a handle that
  // records) needs the drive free of other handles, a shared one free of an
  // exclusive holder; lockTray needs no other handle locking the tray.
  // STARBURN_STATUS_DEVICE_BUSY with a message otherwise.
  StarBurnStatus Claim(bool exclusive, bool lockTray, std::string* error);
  void Release(bool exclusive, bool lockTray);
  void ReleaseTray();

  // Asks a write on the drive to stop; false when no handle holds the drive
  // exclusively. The request lasts until a write takes it or the exclusive
  // handle is released.
  bool RequestAbort();
  // Takes a pending abort request.
  bool TakeAbort();

 private:
  const std::string name;
  const char letter;
  uint8_t address[STARBURN_DEVICE_ADDRESS_SIZE];
  const std::shared_ptr<DriveBackend> backend;

  std::mutex mutex;  // guards the three claims below
  int openCount = 0;
  bool exclusiveHeld = false;
  bool trayLocked = false;
  std::atomic<bool> abortRequested{false};
};

class DeviceRegistry {
 public:
  static DeviceRegistry& Instance();

  // Registers the backends as new virtual drives, all or none: refused when
  // two drives would share an image or the letters D: to Z: would run out.
  // Each takes the first letter from D: that neither a registered drive nor
  // the system (SystemDriveLetters) uses.
  StarBurnStatus AttachVirtual(const std::vector<std::shared_ptr<DriveBackend>>& backends,
                               std::string* error);
  // Registers the real drives discovery found that are not registered yet
  // (the same device node), after the drives already there, at the SCSI
  // address the kernel gave and under the system's letter where it gave one
  // (else as a virtual drive's); and keeps the nodes it skipped for Skipped(),
  // in place of those of an earlier discovery.
  void AttachDiscovered(const Discovery& discovery);
  // The device nodes the last discovery could not use, with why.
  std::vector<SkippedNode> Skipped();
  std::vector<std::shared_ptr<RegisteredDrive>> Drives();
  // Null when there is no such drive. Names compare without regard to case.
  std::shared_ptr<RegisteredDrive> FindByName(const std::string& name);
  std::shared_ptr<RegisteredDrive> FindByLetter(char letter);
  std::shared_ptr<RegisteredDrive> FindByAddress(uint8_t port, uint8_t bus, uint8_t target,
                                                 uint8_t lun);
  // Forgets every drive and skipped node (for tests; open handles keep their
  // drives).
  void DetachAll();

 private:
  // Appends a drive numbered by its position, at letter (0: none). Under mutex.
  void AppendInternal(const uint8_t scsiAddress[4], char letter,
                      std::shared_ptr<DriveBackend> backend);
  // The letters from D: to Z: that neither a registered drive nor the system
  // uses, in order. Under mutex.
  std::string FreeLettersInternal() const;
  // The drive at letter (upper case), or null. Under mutex.
  std::shared_ptr<RegisteredDrive> FindLetterInternal(char letter) const;

  std::mutex mutex;  // guards drives and skipped
  std::vector<std::shared_ptr<RegisteredDrive>> drives;
  std::vector<SkippedNode> skipped;
};

// Virtual drives answer at this SCSI port, one a real host adapter never has.
constexpr uint8_t kVirtualPort = 0xFF;
// Real drives whose address the kernel would not tell answer at this one.
constexpr uint8_t kUnknownPort = 0xFE;
// Drive letters: D: to Z:.
constexpr char kFirstLetter = 'D';
constexpr char kLastLetter = 'Z';

}  // namespace starburn
