#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "drives/SdkCallHead.h"
#include "orlet/DriveInfo.h"
#include "orlet/FileContainer.h"
#include "orlet/Observers.h"

namespace Orlet {

// Writes one disc per job: the file-tree stage (the disc is examined, an
// earlier session continued when the disc allows it, the host fills the
// container, the SDK's image tree is built from it), recorder preparation and
// writing. Reports only through the job's BurnObserver.
//
// Threads: a job runs on the engine's job thread; the observer is called on
// it, and the SDK's call-backs arrive on it from inside the SDK calls.
// cancelRequested is the one value another thread writes (Cancel, Burn); the
// job reads it at fixed points. Everything else belongs to the job thread
// while a job runs. One job at a time uses a burner.
class OddBurner {
 public:
  // The write speed of a job that asks for none: the drive's maximum.
  static constexpr uint32_t kMaximumSpeed = 65535;
  // The only write mode: track-at-once.
  static constexpr uint32_t kTrackAtOnce = 0;

  OddBurner();
  virtual ~OddBurner();
  OddBurner(const OddBurner&) = delete;
  OddBurner& operator=(const OddBurner&) = delete;

  // Runs one job. ResultInvalidArgument without an observer (nothing is
  // sent); otherwise ResultOk, also when the job failed: the host learns the
  // outcome from the observer. The job's last event (BurnFinished, or
  // BurnFailed with DetailNone) is its last act: nothing of the burner is
  // touched once it is sent, so the host may free the burner's owner from
  // inside it.
  int BurnDisc(const DriveInfo& drive, const std::wstring& label, BurnObserver* jobObserver,
               uint32_t jobSpeed);

  BurnObserver* observer = nullptr;          // the current job's; not owned
  FileContainer* container = nullptr;        // owned; made by the first job, reused
  void* device = nullptr;                    // the open drive, or null
  void* imageTree = nullptr;                 // the last job's image tree, or null
  std::atomic<uint32_t> cancelRequested{0};  // 1: stop at the next check point
  // 1 from just before a job's last event (or its end without events) until
  // the engine starts the next job: the job thread has only to return. The
  // job writes it; the engine reads it on a host thread.
  std::atomic<uint32_t> jobOver{0};
  uint32_t speed = kMaximumSpeed;
  uint32_t writeMode = kTrackAtOnce;
  uint64_t lastProgress = 0;  // last percent sent from notification 12

 private:
  // Stage 1: the file tree. ResultOk, ResultInvalidArgument, ResultFailed,
  // ResultNotSupported or ResultCancelled.
  int PrepareFileTree(const DriveInfo& drive, const std::wstring& label);
  int BuildImageTree(uint32_t imageFileSystem, bool continuing);
  void ImportSessionNodes(void* sdkNode, FileContainer::Node* directory);
  void AddContainerNodes(FileContainer::Node* directory, void* sdkNode, uint32_t* walkResult);
  // Stage 2: the recorder. ResultOk (the drive stays open), ResultInvalidArgument
  // or ResultFailed.
  int PrepareRecorder(const DriveInfo& drive);
  // Stage 3: the write. ResultOk, ResultCancelled or ResultFailed.
  int WriteImage();
  void CloseDevice();
  bool Cancelled() const { return cancelRequested.load() != 0; }

  static void OnRecorderNotification(uint32_t notification, void* context, void* special1,
                                     void* special2);
  static void OnTreeNotification(uint32_t notification, void* context, void* special1,
                                 void* special2);

  // Starts a stage's error outputs afresh, the system error preset so that a
  // call failing without setting it still leaves a nonzero value.
  void StartStage();

  SdkCallHead head;  // the current stage's error outputs
};

}  // namespace Orlet
