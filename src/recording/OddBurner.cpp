// The burn job, recorder preparation, writing and the recorder's call-back.

#include "recording/OddBurner.h"

#include "drives/DriveOpen.h"
#include "orlet/MediaBurningResult.h"
#include "platform/OrletBases.h"
#include "platform/StarBurnSdk.h"

namespace Orlet {

namespace {

// The recording open takes the drive exclusively (last argument 0); through
// the SPTD layer a refused open may be retried shared.
constexpr uint32_t kExclusive = 0;
// Buffer-underrun protection: the drive reports 1 when it supports it; the
// job then switches it on.
constexpr uint32_t kBupSupported = 1;
constexpr uint32_t kBupOn = 1;
// The read speed that leaves reading at the drive's maximum.
constexpr uint32_t kMaximumReadSpeed = 65535;
// Image build: no padding after the image; record each file's own time.
constexpr uint32_t kNoPadBlocks = 0;
constexpr uint32_t kRecordTimes = 1;
constexpr const char* kPublisher = "Publisher";
constexpr const char* kApplication = "Application";
// Track-at-once from the tree: a real write (not simulated), the disc left
// open for further sessions, Mode 1 data, five retries of a recoverable error.
constexpr uint8_t kRealWrite = 0;
constexpr uint8_t kLeaveDiscOpen = 0;
constexpr uint8_t kMultiSession = 1;
constexpr uint32_t kDataMode1 = 1;
constexpr uint32_t kWriteRetries = 5;
constexpr int kPercent = 100;
// The system-error value preset at the start of every stage.
constexpr uint32_t kPresetSystemError = 31;

}  // namespace

OddBurner::OddBurner() = default;

OddBurner::~OddBurner() {
  delete container;
  container = nullptr;
  if (imageTree != nullptr) StarBurn_Destroy(&imageTree);
  if (device != nullptr) StarBurn_Destroy(&device);
}

void OddBurner::StartStage() {
  head = SdkCallHead();
  head.systemError = kPresetSystemError;
}

void OddBurner::CloseDevice() {
  if (device != nullptr) StarBurn_Destroy(&device);
  device = nullptr;
}

int OddBurner::BurnDisc(const DriveInfo& drive, const std::wstring& label,
                        BurnObserver* jobObserver, uint32_t jobSpeed) {
  speed = jobSpeed;
  if (jobObserver == nullptr) {
    jobOver = 1;
    return ResultInvalidArgument;
  }
  observer = jobObserver;
  int lastEvent = BurnFinished;
  try {
    if (int code = PrepareFileTree(drive, label); code != ResultOk) throw code;
    if (container == nullptr || container->GetRoot() == nullptr) throw static_cast<int>(ResultOk);
    if (int code = PrepareRecorder(drive); code != ResultOk) throw code;
    observer->OnPrepareEvent(PrepareImageReady, DetailNone);
    if (int code = WriteImage(); code != ResultOk) throw code;
  } catch (int) {
    // The stage has sent its own event, where it has one; the code stays here.
    CloseDevice();
    lastEvent = BurnFailed;
  }
  // The last event is the job's last act: a host may destroy the service, and
  // this burner with it, from inside it.
  jobOver = 1;
  jobObserver->OnBurnEvent(lastEvent, DetailNone);
  return ResultOk;
}

int OddBurner::PrepareRecorder(const DriveInfo& drive) {
  CloseDevice();
  StartStage();
  observer->OnBurnEvent(BurnRecorderStarted, DetailNone);
  if (!HasOpenCall(drive.accessMethod)) return ResultInvalidArgument;
  uint32_t opened = OpenDrive(
      drive, &device, {OnRecorderNotification, this, kLeaveTrayUnlocked, kExclusive}, &head);
  if (opened != STARBURN_OK && drive.accessMethod == AccessSptd &&
      observer->OnAskRetryOpen() != 0) {
    opened = OpenDrive(drive, &device,
                       {OnRecorderNotification, this, kLeaveTrayUnlocked, kOpenShared}, &head);
  }
  if (opened != STARBURN_OK) {
    observer->OnPrepareEvent(PrepareFailed, DetailOpenFailed);
    CloseDevice();
    return ResultFailed;
  }
  auto fail = [this](int event, int detail, int code) {
    CloseDevice();
    observer->OnBurnEvent(event, detail);
    return code;
  };
  if (StarBurn_CdvdBurnerGrabber_TestUnitReady(device, head.errorText, sizeof head.errorText,
                                               &head.systemError, &head.failure) != STARBURN_OK) {
    return fail(BurnFailed, DetailNotReady, ResultFailed);
  }
  uint8_t bupEnabled = 0;
  uint32_t bupSupported = 0;
  if (StarBurn_CdvdBurnerGrabber_GetBUP(device, head.errorText, sizeof head.errorText,
                                        &head.systemError, &head.failure, &bupEnabled,
                                        &bupSupported) != STARBURN_OK) {
    return fail(BurnFailed, DetailBupReadFailed, ResultFailed);
  }
  if (bupSupported == kBupSupported &&
      StarBurn_CdvdBurnerGrabber_SetBUP(device, head.errorText, sizeof head.errorText,
                                        &head.systemError, &head.failure, kBupOn) != STARBURN_OK) {
    return fail(BurnFailed, DetailBupSetFailed, ResultFailed);
  }
  if (drive.applyWriteSpeed != 0 &&
      StarBurn_CdvdBurnerGrabber_SetSpeeds(device, head.errorText, sizeof head.errorText,
                                           &head.systemError, &head.failure, kMaximumReadSpeed,
                                           speed) != STARBURN_OK) {
    return fail(BurnFailed, DetailSetSpeedFailed, ResultFailed);
  }
  uint32_t currentRead = 0, maximumRead = 0, currentWrite = 0, maximumWrite = 0;
  if (StarBurn_CdvdBurnerGrabber_GetSpeeds(
          device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure,
          &currentRead, &maximumRead, &currentWrite, &maximumWrite) != STARBURN_OK) {
    return fail(BurnFailed, DetailReadSpeedsFailed, ResultFailed);
  }
  const int fileSystem = container->GetImageFileSystem();
  if (fileSystem < 1 || fileSystem > 3) {
    return fail(BurnFailed, DetailBadImageFileSystem, ResultInvalidArgument);
  }
  const std::string volumeLabel = ToSdkText(container->GetRoot()->name);
  if (StarBurn_ISO9660JolietFileTree_BuildImage(imageTree, head.errorText, sizeof head.errorText,
                                                &head.systemError, drive.sessionStartAddress,
                                                kNoPadBlocks, kRecordTimes, volumeLabel.c_str(),
                                                kPublisher, kApplication) != STARBURN_OK) {
    return fail(BurnFailed, DetailBuildImageFailed, ResultFailed);
  }
  return ResultOk;
}

int OddBurner::WriteImage() {
  // Every job's progress starts anew, so its first percentage is always sent.
  lastProgress = UINT64_MAX;
  const uint32_t recorded = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
      device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure, imageTree,
      kRealWrite, kLeaveDiscOpen, kMultiSession, kDataMode1, kWriteRetries);
  const bool cancelled = Cancelled();
  if (cancelled && recorded == STARBURN_STATUS_CANCELLED) {
    CloseDevice();
    observer->OnBurnEvent(BurnCancelled, DetailNone);
    return ResultCancelled;
  }
  observer->OnBurnProgress(kNoProgressValue, 0);
  uint32_t result = recorded;
  if (!cancelled) {
    const uint32_t closed = StarBurn_CdvdBurnerGrabber_CloseSession(
        device, head.errorText, sizeof head.errorText, &head.systemError, &head.failure);
    // The first failure is the one that counts: a session closed after a
    // failed write does not make the write good.
    if (result == STARBURN_OK) result = closed;
  }
  StarBurn_CdvdBurnerGrabber_Eject(device, head.errorText, sizeof head.errorText, &head.systemError,
                                   &head.failure);
  if (result != STARBURN_OK) {
    // A write or session close that failed is never reported as recorded.
    CloseDevice();
    return ResultFailed;
  }
  observer->OnBurnProgress(kPercent, 0);
  CloseDevice();
  return ResultOk;  // BurnDisc sends the job's last event
}

void OddBurner::OnRecorderNotification(uint32_t notification, void* context, void* special1,
                                       void* special2) {
  auto* burner = static_cast<OddBurner*>(context);
  if (burner == nullptr || burner->observer == nullptr) return;
  if (notification == STARBURN_NOTIFY_PROGRESS && special1 != nullptr && special2 != nullptr) {
    const uint64_t total = *static_cast<const uint64_t*>(special1);
    const uint64_t done = *static_cast<const uint64_t*>(special2);
    if (total == 0) return;  // no percentage without a total
    const uint64_t percent = done * kPercent / total;
    if (percent == burner->lastProgress) return;
    burner->lastProgress = percent;
    burner->observer->OnBurnProgress(static_cast<int>(percent), kNoProgressValue);
  } else if (notification == STARBURN_NOTIFY_BUFFER && special1 != nullptr && special2 != nullptr) {
    // The buffer's fill level in percent; wide arithmetic so that no buffer
    // size overflows it, and a free count above the size reads as empty.
    const uint64_t size = *static_cast<const uint32_t*>(special1);
    const uint64_t free = *static_cast<const uint32_t*>(special2);
    const uint64_t level = size == 0 || free >= size ? 0 : kPercent - free * kPercent / size;
    burner->observer->OnBurnProgress(kNoProgressValue, static_cast<int>(level));
  }
}

}  // namespace Orlet
