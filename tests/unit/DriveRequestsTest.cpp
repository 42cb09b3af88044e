// The service's drive requests as a host sees them: search, count, refresh,
// read a drive, judge a disc; also while a threaded search changes the list.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "orlet/MediaBurning.h"
#include "platform/OrletBases.h"
#include "support/DriveScripts.h"
#include "support/RecordingObservers.h"

namespace {

using Orlet::DriveInfo;
using Orlet::MediaBurning;
using sdkdouble::FakeDrive;
using Strings = std::vector<std::string>;

class DriveRequestsTest : public support::DoubleTest {
 protected:
  void SetUp() override {
    DoubleTest::SetUp();
    ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  }
  void TearDown() override {
    if (service != nullptr) Orlet::DestroyMediaBurning(service);
    DoubleTest::TearDown();
  }
  std::size_t Finished() const {
    const auto calls = observer.Calls();
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), "OnSearchFinished"));
  }

  MediaBurning* service = nullptr;
  support::RecordingBurnObserver observer;
};

TEST_F(DriveRequestsTest, BeforeInitializeNothingReachesTheDrives) {
  support::AddNamedDrive("CdRom0", 'D');
  service->SetBurnObserver(&observer);
  service->StartDriveSearch(0, 0);
  service->StartDriveSearch(0, 1);
  service->RefreshDrives();
  EXPECT_EQ(service->GetDriveCount(), 0u);
  DriveInfo info;
  info.vendorId = L"untouched";
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultNotStarted);
  EXPECT_EQ(info.vendorId, L"untouched");
  EXPECT_TRUE(Double().Journal().empty());
  EXPECT_TRUE(observer.Calls().empty());
}

TEST_F(DriveRequestsTest, SearchCountReadAndRefreshDrives) {
  FakeDrive& first = support::AddNamedDrive("CdRom0", 'D');
  first.discType = Orlet::DiscTypeCdR;
  first.blank = true;
  first.mediaFormats[2] = 1;
  support::AddNamedDrive("CdRom1", 'E');
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
  service->StartDriveSearch(0, 0);
  ASSERT_EQ(service->GetDriveCount(), 2u);
  // The engine searches by device name (SPTI).
  EXPECT_EQ(support::ArgumentsOf("StarBurn_CdvdBurnerGrabber_CreateEx").front(), "1024, CdRom0, 1");

  // Reading a drive queries it afresh, then copies its record.
  Double().WithDrive("CdRom0", [](FakeDrive& d) { d.blank = false; });
  Double().ClearJournal();
  DriveInfo info;
  ASSERT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  EXPECT_EQ(info.deviceName, L"CdRom0");
  EXPECT_EQ(info.driveLetter, L"D:");
  EXPECT_EQ(info.discTypeName, L"CD-R");
  EXPECT_EQ(info.spaceText, L"0.00 MB");
  EXPECT_EQ(service->IsDiscWritable(info), 1);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_GetDeviceInformation"), 1u);

  // An index at or past the count asks nothing and leaves info alone.
  Double().ClearJournal();
  EXPECT_EQ(service->GetDriveInfo(2, info), Orlet::ResultInvalidArgument);
  EXPECT_EQ(service->GetDriveInfo(static_cast<std::size_t>(-1), info),
            Orlet::ResultInvalidArgument);
  EXPECT_EQ(info.deviceName, L"CdRom0");
  EXPECT_TRUE(Double().Journal().empty());

  // Refresh queries every drive once.
  service->RefreshDrives();
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_GetDeviceInformation"), 2u);

  // A drive that cannot be read answers 104 and stays listed.
  Double().WithDrive("CdRom1", [](FakeDrive& d) { d.opensLeft = 0; });
  info = DriveInfo();
  EXPECT_EQ(service->GetDriveInfo(1, info), Orlet::ResultInvalidArgument);
  EXPECT_EQ(info.deviceName, L"");
  service->RefreshDrives();
  EXPECT_EQ(service->GetDriveCount(), 2u);

  // A stopped SDK answers as before Initialize.
  service->Uninitialize();
  EXPECT_EQ(service->GetDriveCount(), 0u);
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultNotStarted);
}

TEST_F(DriveRequestsTest, WritersOnlySearchDropsDrivesThatWriteNothing) {
  support::AddNamedDrive("CdRom0", 'D');
  FakeDrive& writer = support::AddNamedDrive("CdRom1", 'E');
  writer.mediaFormats[30] = 1;
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
  service->StartDriveSearch(1, 0);
  ASSERT_EQ(service->GetDriveCount(), 1u);
  DriveInfo info;
  ASSERT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  EXPECT_EQ(info.deviceName, L"CdRom1");
}

TEST_F(DriveRequestsTest, ThreadedSearchTellsTheBurnObserverOnce) {
  support::AddNamedDrive("CdRom0", 'D');
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
  service->SetBurnObserver(&observer);
  service->StartDriveSearch(0, 1);
  ASSERT_TRUE(observer.WaitFor("OnSearchFinished"));
  EXPECT_EQ(service->GetDriveCount(), 1u);
  // A synchronous search does not report. Until the thread has returned from
  // its body a new search is refused (silently), so the host tries again.
  while (service->GetDriveCount() < 2) service->StartDriveSearch(0, 0);
  EXPECT_EQ(service->GetDriveCount(), 2u);
  EXPECT_EQ(observer.Calls(), (Strings{"OnSearchFinished"}));
}

TEST_F(DriveRequestsTest, ThreadedSearchWithoutObserverStillFindsTheDrives) {
  support::AddNamedDrive("CdRom0", 'D');
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
  service->StartDriveSearch(0, 1);
  // The walk's query ends with the release of its read-speed handle: the
  // scan's handle and the query's three.
  while (Double().CountOf("StarBurn_Destroy") < 4) std::this_thread::yield();
  EXPECT_EQ(service->GetDriveCount(), 1u);
  DriveInfo info;
  EXPECT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  EXPECT_EQ(info.vendorId, L"Vendor of CdRom0");
}

TEST_F(DriveRequestsTest, DestroyingTheServiceWaitsForItsThreadedSearch) {
  FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
  drive.onCall = [](const std::string& function) {
    if (function != "StarBurn_CdvdBurnerGrabber_CreateEx") return;
    // Hold the scan until the service's destruction has begun.
    while (sdkdouble::SdkDouble::Get().CountOf("StarBurn_DownShut") == 0) {
      std::this_thread::yield();
    }
  };
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
  service->SetBurnObserver(&observer);
  service->StartDriveSearch(0, 1);
  Orlet::DestroyMediaBurning(service);
  service = nullptr;
  // The search had ended, and told its observer, before destruction returned.
  EXPECT_EQ(Finished(), 1u);
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

TEST_F(DriveRequestsTest, IsDiscWritableAnswersOneOrZeroByTheDiscsOwnFlag) {
  const std::map<int32_t, int> decidingFlag = {{2, 2},   {11, 2}, {3, 4},   {12, 4}, {5, 7},
                                               {6, 15},  {7, 11}, {8, 11},  {9, 17}, {13, 21},
                                               {15, 23}, {16, 9}, {18, 26}, {19, 30}};
  for (int32_t type = -1; type <= 23; ++type) {
    DriveInfo info;
    info.discType = type;
    EXPECT_EQ(service->IsDiscWritable(info), 0) << type;
    for (int position = 0; position < 42; ++position) {
      info = DriveInfo();
      info.discType = type;
      info.mediaFormats[position] = 0x80000000;  // any nonzero flag means yes
      const auto flag = decidingFlag.find(type);
      const int expected = flag != decidingFlag.end() && flag->second == position ? 1 : 0;
      EXPECT_EQ(service->IsDiscWritable(info), expected) << type << " " << position;
    }
  }
}

// Host threads read and refresh drives while a threaded search walks the list
// and drops the drives that went away after the scan. Run under TSan.
TEST_F(DriveRequestsTest, ReadingAndRefreshingWhileAThreadedSearchRemovesDrives) {
  Strings staying;
  for (int n = 0; n < 8; ++n) {
    const std::string name = "CdRom" + std::to_string(n);
    FakeDrive& drive = support::AddNamedDrive(name, static_cast<char>('D' + n));
    if (n % 2 == 0) {
      drive.opensLeft = 1;  // the scan opens it; then it is gone
    } else {
      staying.push_back(name);
    }
  }
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
  service->SetBurnObserver(&observer);
  service->StartDriveSearch(0, 1);

  // A record holds its own drive's answers, or none yet: the list may shift
  // between GetDriveInfo's query and its copy, handing out a record that no
  // query has reached.
  auto checkRecord = [](const DriveInfo& info) {
    const std::string name = Orlet::tcs_to_mbs(info.deviceName);
    if (info.vendorId.empty()) return;
    EXPECT_EQ(Orlet::tcs_to_mbs(info.vendorId), "Vendor of " + name);
    const char letter = static_cast<char>('D' + std::stoi(name.substr(5)));
    EXPECT_EQ(Orlet::tcs_to_mbs(info.driveLetter), std::string({letter, ':'}));
  };
  std::thread refresher([&] {
    while (Finished() == 0) service->RefreshDrives();
  });
  while (Finished() == 0) {
    for (std::size_t i = 0; i < service->GetDriveCount() + 1; ++i) {
      DriveInfo info;
      if (service->GetDriveInfo(i, info) == Orlet::ResultOk) checkRecord(info);
    }
  }
  refresher.join();

  Strings listed;
  for (std::size_t i = 0; i < service->GetDriveCount(); ++i) {
    DriveInfo info;
    ASSERT_EQ(service->GetDriveInfo(i, info), Orlet::ResultOk);
    ASSERT_FALSE(info.vendorId.empty());
    checkRecord(info);
    listed.push_back(Orlet::tcs_to_mbs(info.deviceName));
  }
  EXPECT_EQ(listed, staying);
}

}  // namespace
