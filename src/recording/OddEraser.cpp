#include "recording/OddEraser.h"

#include "drives/DriveOpen.h"
#include "orlet/MediaBurningResult.h"

namespace Orlet {

namespace {

// The opens of an erase share the drive; through the SPTD layer the first
// try also locks the tray, and a refusal as busy may be retried without it.
constexpr uint8_t kLockTray = 1;
constexpr uint8_t kNoTrayLock = 0;
// Blank's argument: 1 blanks the table of contents only (quick), 0 the whole disc.
constexpr uint32_t kQuickBlank = 1;
constexpr uint32_t kWholeBlank = 0;
// LoadEx's argument: wait until the disc is ready.
constexpr uint32_t kWaitUntilReady = 1;
// Kilobytes (1024 bytes) from which a blank's duration is estimated: what a
// quick blank touches on each kind of disc (CD-RW lead-in and first track,
// a DVD's first 700 MiB, a BD's spare areas).
constexpr uint32_t kCdQuickKilobytes = 40960;
constexpr uint32_t kDvdQuickKilobytes = 716800;
constexpr uint32_t kBdKilobytes = 153600;
constexpr uint32_t kMillisecondsPerSecond = 1000;

// The amount a blank of this disc type works through, in kilobytes; 0 when
// the type has none (such a disc gets no estimate).
uint64_t EstimateKilobytes(const DriveInfo& drive, uint32_t full) {
  const uint64_t capacity = (drive.freeBytes + drive.usedBytes) / 1024;
  switch (drive.discType) {
    case DiscTypeCdRw:
      return full != 0 ? capacity + kCdQuickKilobytes : kCdQuickKilobytes;
    case DiscTypeDvdRam:
    case DiscTypeDvdRwRestricted:
    case DiscTypeDvdRwSequential:
    case DiscTypeDvdPlusRw:
    case DiscTypeOtherCdRw:  // counted as the DVDs are
      return full != 0 ? capacity + kDvdQuickKilobytes : kDvdQuickKilobytes;
    case DiscTypeBdR:
    case DiscTypeBdRe:
      return kBdKilobytes;
    default:
      return 0;
  }
}

// The erase failure detail of a Blank status; 0 for statuses that do not end
// the erase.
int BlankFailureDetail(uint32_t status) {
  switch (status) {
    case STARBURN_STATUS_COMMAND_FAILED:
      return DetailBlankCommandFailed;
    case STARBURN_STATUS_INCOMPATIBLE_MEDIUM:
      return DetailBlankRejected;
    case STARBURN_STATUS_CANCELLED:
      return DetailBlankCancelled;
    default:
      return 0;
  }
}

}  // namespace

OddEraser::OddEraser() {
  CsLocker locker(lock);
  ejectAfterErase = kEjectAfterErase;
  reloadAfterEject = kReloadAfterEject;
  fullErase = kFullErase;
  speed = kMaximumSpeed;
}

OddEraser::~OddEraser() { StopThread(kInfinite, 1); }

int OddEraser::ThreadProc() {
  DriveInfo drive = driveInfo;
  EraseDisc(drive, ejectAfterErase, reloadAfterEject, fullErase, speed, observer);
  return 0;
}

// The record is taken by value: the erase owns its copy for the whole run,
// whatever the caller does with its own.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
int OddEraser::EraseDisc(DriveInfo drive, uint32_t eject, uint32_t reload, uint32_t full,
                         uint32_t eraseSpeed, EraseObserver* eraseObserver) {
  {
    CsLocker locker(lock);
    busy = 1;
  }
  auto event = [eraseObserver](int kind, int detail) {
    if (eraseObserver != nullptr) eraseObserver->OnEraseEvent(kind, detail);
  };
  SdkCallHead head;
  void* device = nullptr;
  auto finish = [&](int result) {
    if (device != nullptr) StarBurn_Destroy(&device);
    CsLocker locker(lock);
    busy = 0;
    return result;
  };

  event(EraseJobStarted, DetailNone);
  uint32_t opened =
      OpenDrive(drive, &device, {IgnoreNotification, nullptr, kLockTray, kOpenShared}, &head);
  if (opened == STARBURN_STATUS_DEVICE_BUSY && drive.accessMethod == AccessSptd &&
      eraseObserver != nullptr && eraseObserver->OnAskRetryOpen() != 0) {
    opened =
        OpenDrive(drive, &device, {IgnoreNotification, nullptr, kNoTrayLock, kOpenShared}, &head);
  }
  if (opened != STARBURN_OK) {
    event(EraseFailed, DetailOpenFailed);
    return finish(ResultFailed);
  }
  if (StarBurn_CdvdBurnerGrabber_TestUnitReady(device, head.errorText, sizeof head.errorText,
                                               &head.systemError, &head.failure) != STARBURN_OK) {
    event(EraseFailed, DetailNotReady);
    return finish(ResultFailed);
  }
  if (drive.applyWriteSpeed != 0 &&
      StarBurn_CdvdBurnerGrabber_SetSpeeds(device, head.errorText, sizeof head.errorText,
                                           &head.systemError, &head.failure, kMaximumSpeed,
                                           eraseSpeed) != STARBURN_OK) {
    event(EraseFailed, DetailNotReady);
    return finish(ResultFailed);
  }
  const uint64_t kilobytes = EstimateKilobytes(drive, full);
  uint32_t currentRead = 0, maximumRead = 0, currentWrite = 0, maximumWrite = 0;
  if (StarBurn_CdvdBurnerGrabber_GetSpeeds(
          device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure,
          &currentRead, &maximumRead, &currentWrite, &maximumWrite) != STARBURN_OK) {
    event(EraseFailed, DetailNotReady);
    return finish(ResultFailed);
  }
  event(EraseBlankStarted, DetailNone);
  // Without a write speed or an amount there is nothing to estimate from; the
  // host then gets no estimate rather than a made-up one.
  if (eraseObserver != nullptr && currentWrite != 0 && kilobytes != 0) {
    const auto seconds = static_cast<uint32_t>(kilobytes) / currentWrite;
    eraseObserver->OnEraseEstimate(seconds * kMillisecondsPerSecond);
  }
  const uint32_t blanked = StarBurn_CdvdBurnerGrabber_Blank(
      device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure,
      full != 0 ? kWholeBlank : kQuickBlank);
  if (blanked == STARBURN_OK) {
    event(EraseBlankCompleted, DetailNone);
  } else if (eraseObserver != nullptr && BlankFailureDetail(blanked) != 0) {
    event(EraseFailed, BlankFailureDetail(blanked));
    return finish(ResultFailed);
  }
  // Any other Blank status is the drive's own business: the erase goes on.
  if (eject != 0) {
    event(EraseEjecting, DetailNone);
    if (StarBurn_CdvdBurnerGrabber_Eject(device, head.errorText, sizeof head.errorText,
                                         &head.systemError, &head.failure) != STARBURN_OK) {
      event(EraseEjectFailed, DetailNone);
    } else if (reload != 0) {
      event(EraseReloading, DetailNone);
      StarBurn_Destroy(&device);
      // The reload always opens by device name.
      DriveInfo byName = drive;
      byName.accessMethod = AccessSpti;
      if (OpenDrive(byName, &device, {IgnoreNotification, nullptr, kNoTrayLock, kOpenShared},
                    &head) != STARBURN_OK) {
        event(EraseReloadFailed, DetailNone);
        return finish(ResultFailed);
      }
      if (StarBurn_CdvdBurnerGrabber_LoadEx(device, head.errorText, sizeof head.errorText,
                                            &head.systemError, &head.failure,
                                            kWaitUntilReady) != STARBURN_OK) {
        event(EraseReloadFailed, DetailNone);
      }
    }
  }
  if (device != nullptr) StarBurn_Destroy(&device);
  event(EraseJobFinished, DetailNone);
  return finish(ResultOk);
}

}  // namespace Orlet
