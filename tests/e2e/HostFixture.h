#pragma once

// A host of the library on virtual drives, in one process with the library
// and the SDK, so that a test tells the emulated recorder behind a drive to
// fail (FaultPlan) at a chosen call of a job, from the observer's hook on the
// library's thread. The independent readers of disc_check.py read the disc.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "orlet/FileContainer.h"
#include "orlet/MediaBurning.h"
#include "support/RecordingObservers.h"
#include "virtual/EmulatedRecorder.h"
#include "virtual/FaultPlan.h"

namespace e2e {

using Strings = std::vector<std::string>;

// Logs every call and adds the sources to the container.
class HostBurnObserver : public support::RecordingBurnObserver {
 public:
  explicit HostBurnObserver(Strings sources);
  // Waits for OnBurnEvent(7,0) or OnBurnEvent(4,0); false after a minute.
  bool WaitForEnd() const {
    return WaitFor({"OnBurnEvent(7,0)", "OnBurnEvent(4,0)"}, std::chrono::minutes(1));
  }
  // The calls without progress and tree texts: the job's events and questions.
  Strings Events() const;
};

// What the image file and its state file hold.
struct DiscBytes {
  std::string image;
  std::string state;
  bool operator==(const DiscBytes& other) const {
    return image == other.image && state == other.state;
  }
};

// Members are public for the acts of the tables, which run inside a job.
class HostFixture : public testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;
  void StartService();

  std::string Scratch(const std::string& name) const { return scratch + "/" + name; }
  // A small folder of sources under the scratch folder; content depends on seed.
  std::string MakeTree(const std::string& name, int seed) const;

  // Puts a disc of medium into a new drive, the only one: drive 0 after the
  // search this makes. disc: "blank", "ours" (the sources "first" burnt) or
  // "zeros" (64 KiB of them, written elsewhere).
  void Attach(const char* medium, const std::string& disc = "blank");
  // Burns the sources to drive 0 through the library and waits for the job's
  // end; answers the observer's events. force and label: Burn's.
  Strings RunBurn(HostBurnObserver& observer, int force = 0, const std::wstring& label = L"E2E");
  // A burn of sources that must succeed.
  void BurnOk(const Strings& sources, int force = 0);
  Orlet::DriveInfo Info();  // drive 0's

  // Opens drive 0 for recording as another program would (null when held).
  void* HoldDrive();
  // Lets held go, then tells whether another program can take drive 0.
  bool DriveIsFree();
  DiscBytes ReadDisc() const;
  // Where the last track of the state file starts (0 when it has none).
  uint32_t LastTrackStart() const;
  // The independent readers' verdict on the session at start: "" when every
  // reader finds exactly the sources (disc_check.py specs), else what differs.
  std::string ReadersFind(uint32_t start, const Strings& specs) const;

  Orlet::MediaBurning* service = nullptr;
  std::shared_ptr<starburn::EmulatedRecorder> recorder;
  void* held = nullptr;  // drive 0 as another program holds it
  // The library's GetSpeeds then reads a current write speed of 0, as from a
  // drive that does not say (reset by SetUp).
  inline static bool noCurrentWriteSpeed = false;

 private:
  std::string scratch;
};

// Observer calls in short, between spaces: a letter, then "a,b" (or "a" when
// b is 0) for OnPrepareEvent P, OnBurnEvent B, OnEraseEvent E; I
// OnAskImportSession; F OnFillContainer; T OnEraseEstimate(9000), a quick
// erase of a CD-RW: 40960 KB at the drive's 4234 KB/s (24x), in whole seconds.
Strings Calls(const std::string& text);

template <typename Row>
std::string RowName(const testing::TestParamInfo<Row>& info) {
  return info.param.name;
}

// The library's SDK calls of the recording stages as "Name(arguments)": true
// empties the journal and starts it, false stops it; answers what it holds.
Strings JournalSdkCalls(bool on);

}  // namespace e2e
