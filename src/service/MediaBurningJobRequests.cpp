// The burn and erase requests and the burn job's thread body.

#include "service/MediaBurningImpl.h"

namespace Orlet {

namespace {

// The service whose burn job runs on this thread (null on every other
// thread), and whether its host destroyed it before the job's last event.
// Kept per thread, not in the service, because they are read after the job,
// when the service may have been freed.
thread_local const MediaBurningImpl* threadJob = nullptr;
thread_local bool destroyAfterJob = false;

// Disc types that are rewritable: a non-blank one is burned only when forced.
bool IsRewritable(int32_t discType) {
  switch (discType) {
    case DiscTypeCdRw:
    case DiscTypeDvdRam:
    case DiscTypeDvdRwRestricted:
    case DiscTypeDvdRwSequential:
    case DiscTypeDvdPlusRw:
    case DiscTypeOtherCdRw:
    case DiscTypeBdRe:
      return true;
    default:
      return false;
  }
}

}  // namespace

int MediaBurningImpl::Burn(std::size_t index, const std::wstring& discLabel, unsigned int speed,
                           int force) {
  // One job at a time: a running job keeps its label, drive and cancel flag.
  if (!JobThreadFree()) return ResultThreadFailed;
  {
    CsLocker locker(jobLock);
    jobSpeed = speed;
  }
  DriveInfo drive;
  if (const int code = GetDriveInfo(index, drive); code != ResultOk) return code;
  if (drive.discType == DiscTypeNoDisc) return ResultNoDisc;
  if (IsDiscWritable(drive) == 0) return ResultNotSupported;
  if (IsRewritable(drive.discType) && drive.isBlank == 0 && force == 0) return ResultDiscNotBlank;

  // The check for a running job and the start are one step under jobLock, so
  // two hosts' threads cannot both start a job; the job thread takes jobLock
  // to copy its request, so it waits until the request is complete.
  CsLocker locker(jobLock);
  if (IsThreadRunning() != 0) return ResultThreadFailed;
  jobDrive = drive;
  jobLabel = discLabel.empty() ? std::wstring(kDefaultLabel) : discLabel;
  jobSpeed = speed;
  sdkInterface->burner.cancelRequested = 0;
  sdkInterface->burner.jobOver = 0;
  return StartThread(0) != 0 ? ResultOk : ResultThreadFailed;
}

bool MediaBurningImpl::JobThreadFree() {
  if (IsThreadRunning() == 0) return true;
  // A host that heard a job's last event may start the next job at once; the
  // thread that sent the event has at most to return.
  return sdkInterface->burner.jobOver.load() != 0 && StopThread(kInfinite, 1) != 0;
}

int MediaBurningImpl::Erase(std::size_t index) {
  EraseObserver* observer = eraseObserver;
  if (observer == nullptr) return ResultNoObserver;
  int code = ResultNotStarted;
  DriveInfo drive;
  if (IsStarted()) {
    OddEraser& eraser = sdkInterface->eraser;
    code = ResultOk;
    if (eraser.busy != 0) code = ResultBusy;
    if (GetDriveInfo(index, drive) != ResultOk) {
      code = ResultInvalidArgument;
    } else {
      if (drive.isErasable == 0) code = ResultDiscNotErasable;
      if (drive.isBlank != 0) code = ResultDiscBlank;
    }
    if (code == ResultOk) {
      {
        // Claim the eraser in one step under its lock, so two hosts' threads
        // never erase at once; EraseDisc releases the claim when it ends.
        CsLocker locker(eraser.lock);
        if (eraser.busy != 0) return ResultBusy;
        eraser.busy = 1;
      }
      return eraser.EraseDisc(DriveInfo(drive), eraser.ejectAfterErase, eraser.reloadAfterEject,
                              eraser.fullErase, eraser.speed, observer);
    }
  }
  observer->OnEraseEvent(EraseFailed, DetailEraseRefused);
  return code;
}

void MediaBurningImpl::Cancel() {
  if (IsStarted()) sdkInterface->burner.cancelRequested = 1;
}

int MediaBurningImpl::ThreadProc() {
  if (!IsStarted()) return 0;
  DriveInfo drive;
  std::wstring label;
  unsigned speed = 0;
  {
    // Each job works on its own copy of the request, so a later request
    // never changes a running job.
    CsLocker locker(jobLock);
    drive = jobDrive;
    label = jobLabel;
    speed = jobSpeed;
  }
  threadJob = this;
  sdkInterface->burner.BurnDisc(drive, label, burnObserver, speed);
  // The host may have freed the service inside the job's last event: from
  // here on only this thread's own state is read.
  threadJob = nullptr;
  if (destroyAfterJob) {
    destroyAfterJob = false;
    delete this;
  }
  return 0;
}

bool MediaBurningImpl::DeferDestruction() {
  if (threadJob != this || sdkInterface->burner.jobOver.load() != 0) return false;
  destroyAfterJob = true;
  return true;
}

}  // namespace Orlet
