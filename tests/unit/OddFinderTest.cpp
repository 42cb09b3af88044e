// The drive finder: its start answers, the probes, the scans by drive letter,
// the ASPI call-back, the walk with its removals, and the threaded search.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "drives/OddFinder.h"
#include "platform/Win32.h"
#include "support/DoubleFixture.h"
#include "support/RecordingObservers.h"

namespace {

using Orlet::DriveInfo;
using Orlet::OddFinder;
using sdkdouble::FakeDrive;
using Strings = std::vector<std::string>;

class OddFinderTest : public support::DriveDoubleTest {
 protected:
  Strings ListedNames(const OddFinder& of) const {
    Strings names;
    for (std::size_t i = 0; i < of.CountDrives(); ++i) {
      DriveInfo info;
      of.CopyDriveInfo(i, info);
      names.push_back(Orlet::tcs_to_mbs(info.deviceName));
    }
    return names;
  }
  Strings Listed() const { return ListedNames(finder); }
  DriveInfo RecordAt(std::size_t index) const {
    DriveInfo info;
    finder.CopyDriveInfo(index, info);
    return info;
  }

  OddFinder finder;
};

TEST_F(OddFinderTest, MethodZeroIsRefusedAndChangesNothing) {
  support::AddNamedDrive("CdRom0", 'D');
  DriveInfo listed;
  listed.accessMethod = Orlet::AccessSpti;
  listed.deviceName = L"CdRom7";
  finder.AddDrive(listed);
  EXPECT_EQ(finder.StartSearch(0, 0, 0), Orlet::ResultInvalidArgument);
  EXPECT_EQ(finder.StartSearch(0, 1, 1), Orlet::ResultInvalidArgument);
  EXPECT_EQ(Listed(), (Strings{"CdRom7"}));
  EXPECT_TRUE(Double().Journal().empty());
}

TEST_F(OddFinderTest, SptdSearchOpensDrivesByTheirSixteenBitNames) {
  Double().AnswerAlways("StarBurn_SPTD_GetVersion", STARBURN_OK);
  support::AddNamedDrive("CdRom0", 'E');
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSptd, 0, 0), Orlet::ResultOk);
  ASSERT_EQ(Listed(), (Strings{"CdRom0"}));
  const DriveInfo info = RecordAt(0);
  EXPECT_EQ(info.accessMethod, Orlet::AccessSptd);
  EXPECT_EQ(info.driveLetter, L"E:");
  EXPECT_EQ(info.vendorId, L"Vendor of CdRom0");
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_CreateEx"), 0u);
}

TEST_F(OddFinderTest, ScanLooksAtLettersCToZAndListsDrivesThatOpen) {
  support::AddNamedDrive("CdRom0", 'A');
  support::AddNamedDrive("CdRom1", 'B');
  support::AddNamedDrive("CdRom2", 'F');
  support::AddNamedDrive("CdRom3", 'E');
  FakeDrive& refusing = support::AddNamedDrive("CdRom4", 'G');
  refusing.failures["StarBurn_CdvdBurnerGrabber_CreateEx"] = STARBURN_STATUS_PERMISSION_DENIED;

  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(Listed(), (Strings{"CdRom3", "CdRom2"}));  // in letter order
  EXPECT_EQ(RecordAt(0).driveLetter, L"E:");
  EXPECT_EQ(RecordAt(1).driveLetter, L"F:");
}

TEST_F(OddFinderTest, ScanSkipsTargetsThatAreNotExactlyACdRomNumber) {
  for (const auto& [name, letter] : std::vector<std::pair<std::string, char>>{
           {"Floppy0", 'C'},
           {"CdRom", 'D'},
           {"CdRom01", 'E'},
           {"CdRom1x", 'F'},
           {"CdRom4294967296", 'G'},
           {"CdRom" + std::string(300, '1'), 'H'},  // longer than the target buffer
           {"CdRom4294967295", 'I'}}) {
    support::AddNamedDrive(name, letter);
  }
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(Listed(), (Strings{"CdRom4294967295"}));
}

TEST_F(OddFinderTest, WalkRemovesDrivesWhoseQueryFails) {
  support::AddNamedDrive("CdRom0", 'D');
  FakeDrive& leaving = support::AddNamedDrive("CdRom1", 'E');
  leaving.opensLeft = 1;  // opens for the scan, then is gone
  support::AddNamedDrive("CdRom2", 'F');
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(Listed(), (Strings{"CdRom0", "CdRom2"}));
  EXPECT_EQ(RecordAt(1).vendorId, L"Vendor of CdRom2");
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

TEST_F(OddFinderTest, SecondSearchListsTheDrivesAgainAndMethodFourOnlyWalks) {
  support::AddNamedDrive("CdRom0", 'D');
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(Listed(), (Strings{"CdRom0", "CdRom0"}));
  EXPECT_EQ(RecordAt(1).vendorId, L"Vendor of CdRom0");

  // Method 4 (or any other) scans nothing and queries every listed drive.
  Double().WithDrive("CdRom0", [](FakeDrive& d) { d.vendor = "Renamed"; });
  Double().ClearJournal();
  ASSERT_EQ(finder.StartSearch(4, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(Listed(), (Strings{"CdRom0", "CdRom0"}));
  EXPECT_EQ(RecordAt(0).vendorId, L"Renamed");
  EXPECT_EQ(RecordAt(1).vendorId, L"Renamed");
  EXPECT_EQ(finder.StartSearch(-3, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(finder.CountDrives(), 2u);
}

TEST_F(OddFinderTest, WritersOnlyKeepsDrivesWithAWriteCapabilityOtherThanDvdPlusRDualLayer) {
  const std::vector<int> writers = {2, 4, 7, 9, 11, 15, 17, 21, 26, 28, 30, 32};
  for (int position = 0; position < 42; ++position) {
    SCOPED_TRACE(position);
    Double().Reset();
    FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
    drive.mediaFormats[position] = 1;
    OddFinder searching;
    ASSERT_EQ(searching.StartSearch(Orlet::AccessSpti, 7, 0), Orlet::ResultOk);
    const bool writer = std::count(writers.begin(), writers.end(), position) != 0;
    EXPECT_EQ(searching.CountDrives(), writer ? 1u : 0u);
  }

  // Without writersOnly nothing is dropped for what it cannot write.
  Double().Reset();
  support::AddNamedDrive("CdRom0", 'D');
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(finder.CountDrives(), 1u);
}

TEST_F(OddFinderTest, AspiCallBackListsTheReportedAddressesOnly) {
  const uint8_t first[] = {0x11, 2, 3, 4, 5};
  const uint8_t second[] = {0x22, 6, 7, 8, 9};
  OddFinder::OnDeviceFound(STARBURN_NOTIFY_DEVICE_FOUND, &finder, const_cast<uint8_t*>(first),
                           nullptr);
  OddFinder::OnDeviceFound(STARBURN_NOTIFY_PROGRESS, &finder, const_cast<uint8_t*>(second),
                           nullptr);
  OddFinder::OnDeviceFound(STARBURN_NOTIFY_DEVICE_FOUND, nullptr, const_cast<uint8_t*>(second),
                           nullptr);
  OddFinder::OnDeviceFound(STARBURN_NOTIFY_DEVICE_FOUND, &finder, nullptr, nullptr);
  OddFinder::OnDeviceFound(STARBURN_NOTIFY_DEVICE_FOUND, &finder, const_cast<uint8_t*>(second),
                           nullptr);
  ASSERT_EQ(finder.CountDrives(), 2u);
  const DriveInfo a = RecordAt(0);
  EXPECT_EQ(a.accessMethod, Orlet::AccessAspi);
  EXPECT_EQ(a.deviceTag, 0x11u);
  EXPECT_EQ(std::vector<int>({a.portId, a.busId, a.targetId, a.lun}),
            std::vector<int>({2, 3, 4, 5}));
  EXPECT_EQ(a.deviceName, L"");
  EXPECT_EQ(RecordAt(1).deviceTag, 0x22u);
  EXPECT_EQ(RecordAt(1).lun, 9u);
}

TEST_F(OddFinderTest, CopyOutsideTheListLeavesTheRecordAsItWas) {
  DriveInfo info;
  info.vendorId = L"mine";
  finder.CopyDriveInfo(0, info);
  EXPECT_EQ(info.vendorId, L"mine");
  EXPECT_EQ(finder.QueryDrive(0), 0);
}

// ---- The threaded search ----

class ThreadedSearchTest : public OddFinderTest {
 protected:
  // Waits for the search thread to end by itself (StopThread would cut the
  // search short), then reaps it.
  void Join() {
    while (finder.IsThreadRunning() != 0) std::this_thread::yield();
    finder.StopThread(Orlet::kInfinite, 1);
  }
  std::size_t Finished() const {
    const auto calls = observer.Calls();
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), "OnSearchFinished"));
  }

  // Runs a search on the finder's thread and waits until it has ended.
  void SearchOnThread() {
    finder.SetObserver(&observer);
    ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 1), Orlet::ResultOk);
    ASSERT_TRUE(observer.WaitFor({"OnSearchFinished"}));
    Join();
  }

  support::RecordingBurnObserver observer;
};

TEST_F(ThreadedSearchTest, FinishesOnceAfterWalkingEveryDrive) {
  support::AddNamedDrive("CdRom0", 'D');
  support::AddNamedDrive("CdRom1", 'E');
  SearchOnThread();
  EXPECT_EQ(Finished(), 1u);
  EXPECT_EQ(Listed(), (Strings{"CdRom0", "CdRom1"}));
  EXPECT_EQ(RecordAt(1).vendorId, L"Vendor of CdRom1");

  // The thread can search again, and a synchronous search never reports.
  ASSERT_EQ(finder.StartSearch(4, 0, 1), Orlet::ResultOk);
  Join();
  EXPECT_EQ(Finished(), 2u);
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(Finished(), 2u);
  EXPECT_EQ(finder.CountDrives(), 4u);
}

TEST_F(ThreadedSearchTest, SearchWithoutObserverTellsNobody) {
  support::AddNamedDrive("CdRom0", 'D');
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 1), Orlet::ResultOk);
  Join();
  EXPECT_EQ(finder.CountDrives(), 1u);
  EXPECT_EQ(RecordAt(0).vendorId, L"Vendor of CdRom0");
}

TEST_F(ThreadedSearchTest, StartWhileTheThreadSearchesIsBusy) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  std::atomic<int> answer{-1};
  OddFinder* searching = &finder;
  drive.onCall = [&answer, searching](const std::string& function) {
    if (function == "StarBurn_CdvdBurnerGrabber_GetDeviceInformation" && answer == -1) {
      answer = searching->StartSearch(Orlet::AccessSpti, 0, 0);  // from the search's own thread
    }
  };
  SearchOnThread();
  EXPECT_EQ(answer, Orlet::ResultBusy);
  EXPECT_EQ(finder.CountDrives(), 1u);  // the refused start listed nothing
}

TEST_F(ThreadedSearchTest, StopDuringTheScanSkipsTheWalkAndStillFinishesOnce) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  OddFinder* searching = &finder;
  drive.onCall = [searching](const std::string& function) {
    if (function == "StarBurn_CdvdBurnerGrabber_CreateEx") searching->StopThread(0, 0);
  };
  support::AddNamedDrive("CdRom1", 'E');
  SearchOnThread();
  EXPECT_EQ(Finished(), 1u);
  // The scan ran to its end; no drive was queried, so the records hold what
  // the scan gave them.
  EXPECT_EQ(Listed(), (Strings{"CdRom0", "CdRom1"}));
  EXPECT_EQ(RecordAt(0).vendorId, L"");
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_GetDeviceInformation"), 0u);
}

TEST_F(ThreadedSearchTest, StopDuringTheWalkEndsItAfterTheCurrentDrive) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  OddFinder* searching = &finder;
  drive.onCall = [searching](const std::string& function) {
    if (function == "StarBurn_CdvdBurnerGrabber_GetDeviceInformation") {
      searching->StopThread(0, 0);
    }
  };
  support::AddNamedDrive("CdRom1", 'E');
  SearchOnThread();
  EXPECT_EQ(Finished(), 1u);
  EXPECT_EQ(RecordAt(0).vendorId, L"Vendor of CdRom0");  // its query completed
  EXPECT_EQ(RecordAt(1).vendorId, L"");                  // never reached
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_GetDeviceInformation"), 1u);
}

TEST_F(ThreadedSearchTest, DestroyingTheFinderWaitsForItsSearch) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  auto* searching = new OddFinder();
  std::atomic<bool> heldUntilStop{false};
  drive.onCall = [&](const std::string& function) {
    if (function != "StarBurn_CdvdBurnerGrabber_CreateEx") return;
    // Hold the scan until the destructor has asked the thread to stop.
    while (searching->IsStopThread(0) == 0) std::this_thread::yield();
    heldUntilStop = true;
  };
  searching->SetObserver(&observer);
  ASSERT_EQ(searching->StartSearch(Orlet::AccessSpti, 0, 1), Orlet::ResultOk);
  delete searching;  // returns only after the thread has ended
  EXPECT_TRUE(heldUntilStop);
  EXPECT_EQ(Finished(), 1u);
  // The scan finished its drive; the stop skipped the walk.
  EXPECT_EQ(Double().CountOf("StarBurn_Destroy"), 1u);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_GetDeviceInformation"), 0u);
}

// A query's result goes back to the drive it read even when a walk on
// another thread removes an earlier entry while the query talks to its drive.
TEST_F(OddFinderTest, QueryWritesBackToItsOwnDriveAfterAnEarlierOneIsRemoved) {
  support::AddNamedDrive("CdRom0", 'D');
  FakeDrive& queried = support::AddNamedDrive("CdRom1", 'E');
  support::AddNamedDrive("CdRom2", 'F');
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  ASSERT_EQ(Listed(), (Strings{"CdRom0", "CdRom1", "CdRom2"}));

  Double().WithDrive("CdRom0", [](FakeDrive& d) { d.opensLeft = 0; });  // CdRom0 is gone
  OddFinder* shared = &finder;
  std::atomic<int> calls{0};
  queried.onCall = [shared, &calls](const std::string& function) {
    if (function != "StarBurn_CdvdBurnerGrabber_GetDeviceInformation" || calls++ != 0) return;
    // While the host's query of CdRom1 runs, a walk drops CdRom0.
    std::thread walk([shared] { shared->StartSearch(4, 0, 0); });
    walk.join();
  };
  queried.vendor = "Fresh";  // no other thread runs yet
  ASSERT_EQ(finder.QueryDrive(1), 1);
  EXPECT_EQ(Listed(), (Strings{"CdRom1", "CdRom2"}));
  EXPECT_EQ(RecordAt(0).vendorId, L"Fresh");
  EXPECT_EQ(RecordAt(1).vendorId, L"Vendor of CdRom2");
  EXPECT_EQ(RecordAt(1).driveLetter, L"F:");
}

}  // namespace
