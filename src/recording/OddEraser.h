#pragma once

#include <atomic>
#include <cstdint>

#include "orlet/DriveInfo.h"
#include "orlet/Observers.h"
#include "platform/OrletBases.h"

namespace Orlet {

// Blanks a rewritable disc and, by default, ejects it and loads it again. The
// engine runs EraseDisc on the host thread that called Erase; the eraser's own
// thread body exists for completeness and nothing in the library starts it.
//
// Locks: lock guards the writes of busy; it is never held across an SDK call
// or an observer call. The engine reads busy without the lock.
class OddEraser : public Thread {
 public:
  // The options every erase uses: quick erase, eject, reload, maximum speed.
  static constexpr uint32_t kEjectAfterErase = 1;
  static constexpr uint32_t kReloadAfterEject = 1;
  static constexpr uint32_t kFullErase = 0;
  static constexpr uint32_t kMaximumSpeed = 65535;

  OddEraser();
  ~OddEraser() override;

  // Erases the disc of drive (a copy the routine owns), reporting to
  // eraseObserver (may be null) on the calling thread. ResultOk or ResultFailed.
  int EraseDisc(DriveInfo drive, uint32_t eject, uint32_t reload, uint32_t full,
                uint32_t eraseSpeed, EraseObserver* eraseObserver);

  // Erases driveInfo with the stored options, reporting to observer.
  int ThreadProc() override;

  EraseObserver* observer = nullptr;  // for ThreadProc only; never set by the library
  std::atomic<uint32_t> busy{0};      // 1 while EraseDisc runs; written under lock
  uint32_t ejectAfterErase = 0;
  uint32_t reloadAfterEject = 0;
  uint32_t fullErase = 0;
  uint32_t speed = 0;
  DriveInfo driveInfo;  // for ThreadProc only; never assigned by the library
  Cs lock;
};

}  // namespace Orlet
