// Burn, Erase and Cancel through the service as a host calls them: refusal
// codes and their precedence, the job on its own thread, cancels, a second
// request during a job, and destruction during a job.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orlet/FileContainer.h"
#include "orlet/MediaBurning.h"
#include "support/JobScripts.h"
#include "support/RecordingObservers.h"

namespace {

using Strings = std::vector<std::string>;

// A latch a test opens from one thread while another waits at it.
class Gate {
 public:
  void Open() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return open; });
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  bool open = false;
};

class JobRequestsTest : public support::DoubleTest {
 protected:
  void TearDown() override {
    if (service != nullptr) Orlet::DestroyMediaBurning(service);
    support::DoubleTest::TearDown();
  }

  // A started service that has found the scripted drives.
  Orlet::MediaBurning& Started() {
    EXPECT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
    service->SetBurnObserver(&burnObserver);
    service->SetEraseObserver(&eraseObserver);
    EXPECT_EQ(service->Initialize(), Orlet::ResultOk);
    service->StartDriveSearch(0, 0);
    return *service;
  }

  // Waits for the job's last event.
  bool JobEnded() {
    for (int i = 0; i < 1000; ++i) {
      for (const auto& call : burnObserver.Calls()) {
        if (call == "OnBurnEvent(7,0)" || call == "OnBurnEvent(4,0)") return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  Orlet::MediaBurning* service = nullptr;
  support::RecordingBurnObserver burnObserver;
  support::RecordingEraseObserver eraseObserver;
};

TEST_F(JobRequestsTest, BurnRefusalsComeInOrder) {
  Orlet::MediaBurning* stopped = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(stopped), Orlet::ResultOk);
  EXPECT_EQ(stopped->Burn(0, L"X", 65535, 0), Orlet::ResultNotStarted);
  Orlet::DestroyMediaBurning(stopped);

  sdkdouble::FakeDrive& fake = support::BlankCdR();
  fake.discType = 14;        // no disc ...
  fake.mediaFormats[2] = 0;  // ... and nothing writable: no disc is told first
  fake.mediaFormats[4] = 0;
  Orlet::MediaBurning& burning = Started();
  EXPECT_EQ(burning.Burn(1, L"X", 65535, 0), Orlet::ResultInvalidArgument);
  EXPECT_EQ(burning.Burn(0, L"X", 65535, 0), Orlet::ResultNoDisc);
  Double().WithDrive("CdRom0", [](sdkdouble::FakeDrive& drive) { drive.discType = 2; });
  EXPECT_EQ(burning.Burn(0, L"X", 65535, 0), Orlet::ResultNotSupported);

  // A CD-RW holding data: refused without force, burned with it.
  Double().WithDrive("CdRom0", [](sdkdouble::FakeDrive& drive) {
    drive.discType = 3;
    drive.blank = false;
    drive.mediaFormats[4] = 1;
  });
  EXPECT_EQ(burning.Burn(0, L"X", 65535, 0), Orlet::ResultDiscNotBlank);
  EXPECT_TRUE(burnObserver.Calls().empty());
  EXPECT_EQ(burning.Burn(0, L"X", 65535, 1), Orlet::ResultOk);
  ASSERT_TRUE(JobEnded());
}

TEST_F(JobRequestsTest, NonBlankCdRIsBurnedWithoutForceAndAnEmptyLabelIsNoName) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  fake.blank = false;  // a CD-R with data but no earlier file system: not rewritable
  Orlet::MediaBurning& burning = Started();
  EXPECT_EQ(burning.Burn(0, L"", 65535, 0), Orlet::ResultOk);
  ASSERT_TRUE(JobEnded());
  ASSERT_EQ(support::ArgumentsOf("StarBurn_ISO9660JolietFileTree_BuildImage").size(), 1u);
  EXPECT_EQ(support::ArgumentsOf("StarBurn_ISO9660JolietFileTree_BuildImage")[0],
            "0, 0, 1, NoName, Publisher, Application");
}

TEST_F(JobRequestsTest, BurnWithoutObserverStartsAJobThatDoesNothing) {
  support::BlankCdR();
  Orlet::MediaBurning& burning = Started();
  burning.SetBurnObserver(nullptr);
  EXPECT_EQ(burning.Burn(0, L"X", 65535, 0), Orlet::ResultOk);
  Orlet::DestroyMediaBurning(service);  // waits for the job
  service = nullptr;
  EXPECT_EQ(Double().CountOf("StarBurn_ISO9660JolietFileTree_Create"), 0u);
  EXPECT_TRUE(burnObserver.Calls().empty());
}

TEST_F(JobRequestsTest, CancelBeforeBurnDoesNotCancelTheNewJob) {
  support::BlankCdR();
  Orlet::MediaBurning& burning = Started();
  burning.Cancel();
  EXPECT_EQ(burning.Burn(0, L"X", 65535, 0), Orlet::ResultOk);
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(burnObserver.Calls().back(), "OnBurnEvent(7,0)");
}

TEST_F(JobRequestsTest, CancelFromTheHostThreadStopsTheRunningJob) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  Gate filling;
  Gate cancelled;
  burnObserver.fill = [&](Orlet::FileContainer*) {
    filling.Open();
    cancelled.Wait();
  };
  Orlet::MediaBurning& burning = Started();
  EXPECT_EQ(burning.Burn(0, L"X", 65535, 0), Orlet::ResultOk);
  filling.Wait();
  burning.Cancel();
  cancelled.Open();
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(burnObserver.Calls(), (Strings{"OnPrepareEvent(1,0)", "OnPrepareEvent(2,0)",
                                           "OnFillContainer", "OnBurnEvent(4,0)"}));
  (void)fake;
}

TEST_F(JobRequestsTest, SecondBurnDuringAJobIsRefusedAndTheJobKeepsItsLabel) {
  support::BlankCdR();
  Gate filling;
  Gate release;
  burnObserver.fill = [&](Orlet::FileContainer*) {
    filling.Open();
    release.Wait();
  };
  Orlet::MediaBurning& burning = Started();
  ASSERT_EQ(burning.Burn(0, L"FIRST", 65535, 0), Orlet::ResultOk);
  filling.Wait();
  burning.Cancel();  // a cancel made during the job still stops it ...
  EXPECT_EQ(burning.Burn(0, L"SECOND", 65535, 0), Orlet::ResultThreadFailed);
  release.Open();  // ... after the refused second request
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(burnObserver.Calls().back(), "OnBurnEvent(4,0)");
  Orlet::DestroyMediaBurning(service);
  service = nullptr;
  EXPECT_EQ(Double().CountOf("StarBurn_ISO9660JolietFileTree_BuildImage"), 0u);
}

TEST_F(JobRequestsTest, DestroyingTheServiceDuringAJobWaitsForIt) {
  support::BlankCdR();
  Gate filling;
  std::atomic<bool> jobReturned{false};
  burnObserver.fill = [&](Orlet::FileContainer*) {
    filling.Open();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    jobReturned = true;
  };
  Orlet::MediaBurning& burning = Started();
  ASSERT_EQ(burning.Burn(0, L"X", 65535, 0), Orlet::ResultOk);
  filling.Wait();
  Orlet::DestroyMediaBurning(service);
  service = nullptr;
  EXPECT_TRUE(jobReturned);
  EXPECT_EQ(Double().OpenDevices(), 0u);
  EXPECT_EQ(Double().OpenTrees(), 0u);
}

TEST_F(JobRequestsTest, EraseRefusalsAndTheirPrecedence) {
  Orlet::MediaBurning* stopped = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(stopped), Orlet::ResultOk);
  EXPECT_EQ(stopped->Erase(0), Orlet::ResultNoObserver);
  stopped->SetEraseObserver(&eraseObserver);
  EXPECT_EQ(stopped->Erase(0), Orlet::ResultNotStarted);
  EXPECT_EQ(eraseObserver.Calls(), (Strings{"OnEraseEvent(4,257)"}));
  Orlet::DestroyMediaBurning(stopped);

  // A blank CD-RW whose record also says it cannot be erased: blank wins.
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  fake.discType = 3;
  Orlet::MediaBurning& burning = Started();
  struct Row {
    std::size_t index;
    bool blank;
    uint8_t erasable;
    int code;
  };
  for (const Row& row :
       {Row{1, false, 1, Orlet::ResultInvalidArgument}, Row{0, true, 0, Orlet::ResultDiscBlank},
        Row{0, false, 0, Orlet::ResultDiscNotErasable}}) {
    SCOPED_TRACE(row.code);
    eraseObserver.Clear();
    Double().WithDrive("CdRom0", [&](sdkdouble::FakeDrive& drive) {
      drive.blank = row.blank;
      drive.trackInformation[11] = row.erasable;
    });
    EXPECT_EQ(burning.Erase(row.index), row.code);
    EXPECT_EQ(eraseObserver.Calls(), (Strings{"OnEraseEvent(4,257)"}));
  }
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_Blank"), 0u);
}

TEST_F(JobRequestsTest, EraseWhileAnotherEraseRunsIsBusyUnlessTheDiscIsBlank) {
  sdkdouble::FakeDrive& first = support::BlankCdR();
  first.discType = 3;
  first.blank = false;
  first.trackInformation[11] = 1;
  Gate blanking;
  Gate release;
  first.onCall = [&](const std::string& function) {
    if (function == "StarBurn_CdvdBurnerGrabber_Blank") {
      blanking.Open();
      release.Wait();
    }
  };
  sdkdouble::FakeDrive& second = support::AddNamedDrive("CdRom1", 'E');
  second.discType = 3;
  second.blank = true;
  second.mediaFormats[4] = 1;
  Orlet::MediaBurning& burning = Started();
  ASSERT_EQ(burning.GetDriveCount(), 2u);

  int firstResult = -1;
  std::thread running([&] { firstResult = burning.Erase(0); });
  blanking.Wait();
  support::RecordingEraseObserver other;
  burning.SetEraseObserver(&other);
  Double().WithDrive("CdRom0", [](sdkdouble::FakeDrive& drive) { drive.onCall = nullptr; });
  EXPECT_EQ(burning.Erase(0), Orlet::ResultBusy);
  EXPECT_EQ(burning.Erase(1), Orlet::ResultDiscBlank);
  EXPECT_EQ(other.Calls(), (Strings{"OnEraseEvent(4,257)", "OnEraseEvent(4,257)"}));
  release.Open();
  running.join();
  EXPECT_EQ(firstResult, Orlet::ResultOk);
  EXPECT_EQ(burning.Erase(0), Orlet::ResultOk);  // not busy any more
}

}  // namespace
