// The drive finder: its start answers, the probes, the scans by drive letter,
// the walk with its removals, and the threaded search.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <sstream>
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

class OddFinderTest : public support::DriveDoubleTest {
 protected:
  // The listed records: "name@letter" ("name" without a letter), "+" once
  // queried.
  std::string Listed() const {
    std::string text;
    for (std::size_t i = 0; i < finder.CountDrives(); ++i) {
      const DriveInfo info = RecordAt(i);
      text += (text.empty() ? "" : " ") + Orlet::tcs_to_mbs(info.deviceName);
      if (!info.driveLetter.empty()) text += "@" + Orlet::tcs_to_mbs(info.driveLetter);
      if (!info.vendorId.empty()) text += "+";
    }
    return text;
  }
  DriveInfo RecordAt(std::size_t index) const {
    DriveInfo info;
    finder.CopyDriveInfo(index, info);
    return info;
  }

  OddFinder finder;
};

// One synchronous search on the machine's drives ("name@letter"; "!" its
// opens are refused, "~" it opens once, then is gone).
struct Search {
  int32_t method;
  bool sptdLayer;
  const char* drives;
  int result;
  const char* listed;
};

void PrintTo(const Search& row, std::ostream* os) { *os << row.method << " " << row.drives; }

class SearchTest : public OddFinderTest, public testing::WithParamInterface<Search> {};

TEST_P(SearchTest, ListsTheDrivesItsMethodOpens) {
  const Search& row = GetParam();
  if (row.sptdLayer) Double().AnswerAlways("StarBurn_SPTD_GetVersion", STARBURN_OK);
  std::istringstream drives(row.drives);
  for (std::string spec; drives >> spec;) {
    const std::size_t at = spec.find('@');
    FakeDrive& drive = support::AddNamedDrive(spec.substr(0, at), spec[at + 1]);
    if (spec.back() == '~') drive.opensLeft = 1;
    if (spec.back() != '!') continue;
    for (const char* open :
         {"StarBurn_CdvdBurnerGrabber_CreateEx", "StarBurn_CdvdBurnerGrabber_CreateExEx"}) {
      drive.failures[open] = STARBURN_STATUS_PERMISSION_DENIED;
    }
  }
  ASSERT_EQ(finder.StartSearch(row.method, 0, 0), row.result);
  EXPECT_EQ(Listed(), row.listed);
  for (std::size_t i = 0; i < finder.CountDrives(); ++i) {
    EXPECT_EQ(RecordAt(i).accessMethod, row.method);
  }
  // Drives are opened by the method's own call, and closed again.
  EXPECT_EQ(
      Double().CountOf(row.method == Orlet::AccessSptd ? "StarBurn_CdvdBurnerGrabber_CreateEx"
                                                       : "StarBurn_CdvdBurnerGrabber_CreateExEx"),
      0u);
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

const Search kSearches[] = {
    // clang-format off
    // Letters C: to Z: in order, each listed when its drive opens.
    {Orlet::AccessSpti, false, "CdRom0@A CdRom1@B CdRom2@F CdRom3@E CdRom4@G!", 0, "CdRom3@E:+ CdRom2@F:+"},
    {Orlet::AccessSptd, true, "CdRom0@E CdRom1@F!", 0, "CdRom0@E:+"},
    // Only targets that are exactly "CdRom" and a 32-bit number without leading zeros.
    {Orlet::AccessSpti, false, "Floppy0@C CdRom@D CdRom01@E CdRom1x@F CdRom4294967296@G CdRom4294967295@I", 0, "CdRom4294967295@I:+"},
    // The walk removes a drive whose query fails.
    {Orlet::AccessSpti, false, "CdRom0@D CdRom1@E~ CdRom2@F", 0, "CdRom0@D:+ CdRom2@F:+"},
    // Other methods only walk the drives already listed.
    {4, false, "CdRom0@D", 0, ""},
    {-3, false, "CdRom0@D", 0, ""},
    // Refused before anything is looked at; no ASPI module, no SPTD layer.
    {0, false, "CdRom0@D", Orlet::ResultInvalidArgument, ""},
    {Orlet::AccessAspi, false, "CdRom0@D", Orlet::ResultNotSupported, ""},
    {Orlet::AccessSptd, false, "CdRom0@D", Orlet::ResultNotSupported, ""},
    // clang-format on
};
INSTANTIATE_TEST_SUITE_P(Methods, SearchTest, testing::ValuesIn(kSearches));

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
  EXPECT_EQ(Listed(), "CdRom0@D:+ CdRom1@E:+");

  // The thread can search again; a synchronous search never reports.
  ASSERT_EQ(finder.StartSearch(4, 0, 1), Orlet::ResultOk);
  Join();
  EXPECT_EQ(Finished(), 2u);
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 0), Orlet::ResultOk);
  EXPECT_EQ(Finished(), 2u);
  // Without an observer the search tells nobody.
  finder.SetObserver(nullptr);
  ASSERT_EQ(finder.StartSearch(Orlet::AccessSpti, 0, 1), Orlet::ResultOk);
  Join();
  EXPECT_EQ(Finished(), 2u);
  EXPECT_EQ(Listed(), "CdRom0@D:+ CdRom1@E:+ CdRom0@D:+ CdRom1@E:+ CdRom0@D:+ CdRom1@E:+");
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

// A stop asked while the first drive is opened by the scan, or queried by the
// walk: the scan runs to its end, the walk ends after the current drive, and
// the search finishes once.
struct Stop {
  const char* at;
  const char* listed;
  std::size_t queries;
};

void PrintTo(const Stop& row, std::ostream* os) { *os << row.at; }

class StopTest : public ThreadedSearchTest, public testing::WithParamInterface<Stop> {};

TEST_P(StopTest, EndsTheSearchAfterTheCurrentStep) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  OddFinder* searching = &finder;
  const std::string at = GetParam().at;
  drive.onCall = [searching, at](const std::string& function) {
    if (function == at) searching->StopThread(0, 0);
  };
  support::AddNamedDrive("CdRom1", 'E');
  SearchOnThread();
  EXPECT_EQ(Finished(), 1u);
  EXPECT_EQ(Listed(), GetParam().listed);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_GetDeviceInformation"),
            GetParam().queries);
}

INSTANTIATE_TEST_SUITE_P(Steps, StopTest,
                         testing::Values(Stop{"StarBurn_CdvdBurnerGrabber_CreateEx",
                                              "CdRom0 CdRom1", 0},
                                         Stop{"StarBurn_CdvdBurnerGrabber_GetDeviceInformation",
                                              "CdRom0@D:+ CdRom1", 1}));

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
  ASSERT_EQ(Listed(), "CdRom0@D:+ CdRom1@E:+ CdRom2@F:+");

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
  EXPECT_EQ(Listed(), "CdRom1@E:+ CdRom2@F:+");
  EXPECT_EQ(RecordAt(0).vendorId, L"Fresh");
  EXPECT_EQ(RecordAt(1).vendorId, L"Vendor of CdRom2");
}

}  // namespace
