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

 protected:
  // The burn job's thread body.
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
