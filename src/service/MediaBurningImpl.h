#pragma once

#include <string>

#include "orlet/MediaBurning.h"
#include "platform/OrletBases.h"
#include "service/StarBurnInterface.h"

namespace Orlet {

// The one implementation of MediaBurning. It is also the burn job's thread.
//
// Threads: the host's threads call the operations; the burn job runs on this
// object's thread. burnObserver, eraseObserver and the SDK's started flag are
// written and read without a lock; jobLock guards jobDrive and jobLabel.
class MediaBurningImpl : public MediaBurning, public Thread {
 public:
  // Default label and speed of a burn.
  static constexpr const wchar_t* kDefaultLabel = L"NoName";
  static constexpr unsigned kDefaultSpeed = 65535;
  // The drive access method of every search (SPTI).
  static constexpr int kDefaultAccessMethod = AccessSpti;

  MediaBurningImpl();
  ~MediaBurningImpl() override;
  MediaBurningImpl(const MediaBurningImpl&) = delete;
  MediaBurningImpl& operator=(const MediaBurningImpl&) = delete;

  void SetBurnObserver(MediaBurningObserver* observer) override;
  void SetEraseObserver(EraseObserver* observer) override;
  int Initialize() override;
  void Uninitialize() override;
  void StartDriveSearch(int writersOnly, int asynchronous) override;
  void RefreshDrives() override;
  std::size_t GetDriveCount() override;
  int GetDriveInfo(std::size_t index, DriveInfo& info) override;
  int IsDiscWritable(const DriveInfo& info) override;
  int Burn(std::size_t index, const std::wstring& discLabel, unsigned int speed,
           int force) override;
  int Erase(std::size_t index) override;
  void Cancel() override;

  // DestroyMediaBurning's first step; true when the service is freed later.
  // On this service's job thread before the job's last event (a host that
  // tears down inside OnFillContainer or a progress report) the job still
  // uses the burner: the job runs on to its end, as it would for a host on
  // another thread, whose destruction waits for it, and the job's thread
  // frees the service once the job has returned. Anywhere else false, and
  // the caller deletes the service at once; on the job's thread after the
  // last event that is safe, as the job then only returns, touching nothing
  // of the service, and its thread lets go of the freed object (Thread).
  bool DeferDestruction();

 protected:
  // The burn job's thread body. Once the job has run, the service may be
  // gone (destroyed inside the job's last event): nothing after it reads it.
  int ThreadProc() override;

 private:
  bool IsStarted() const { return sdkInterface != nullptr && sdkInterface->sdkStarted != 0; }
  // Whether a new burn job may start: no job thread runs, or the one that
  // runs has sent its job's last event and is only returning, and has been
  // waited for. Called on a host thread, without jobLock. From the job thread
  // itself (a host that burns again inside the last event) a running thread
  // is never waited for: false.
  bool JobThreadFree();

  MediaBurningObserver* burnObserver = nullptr;  // not owned
  EraseObserver* eraseObserver = nullptr;        // not owned
  int accessMethod = kDefaultAccessMethod;
  std::wstring jobLabel = kDefaultLabel;  // guarded by jobLock
  unsigned jobSpeed = kDefaultSpeed;
  DriveInfo jobDrive;                         // guarded by jobLock
  StarBurnInterface* sdkInterface = nullptr;  // owned
  Cs jobLock;
};

}  // namespace Orlet
