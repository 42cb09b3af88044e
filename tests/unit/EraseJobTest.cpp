// The erase job as a host and a drive see it: events, estimate and SDK calls.
// The endings a drive fault brings are the end-to-end erase table
// (EraseEndingsTest); here the stages' order and what only a scripted SDK shows.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording/OddEraser.h"
#include "support/JobScripts.h"
#include "support/RecordingObservers.h"

namespace {

using Strings = std::vector<std::string>;
using support::JournalText;

class EraseJobTest : public support::DoubleTest {
 protected:
  // CdRom0 at D: with a CD-RW holding data, written at 10x (1760 KB/s).
  sdkdouble::FakeDrive& CdRw() {
    sdkdouble::FakeDrive& drive = support::AddNamedDrive("CdRom0", 'D');
    drive.discType = 3;
    drive.usedBytes = 100ull << 20;
    drive.freeBytes = 600ull << 20;
    drive.trackInformation[11] = 1;
    drive.maximumWriteSpeed = drive.currentWriteSpeed = 1760;
    return drive;
  }

  int Erase(const Orlet::DriveInfo& drive, uint32_t full = 0) {
    return eraser.EraseDisc(drive, 1, 1, full, 65535, &observer);
  }

  Orlet::OddEraser eraser;
  support::RecordingEraseObserver observer;
};

const Strings kStarted = {"OnEraseEvent(1,0)"};
Strings Then(Strings head, const Strings& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST_F(EraseJobTest, CdRwIsBlankedEjectedAndLoadedAgainWithAnEstimate) {
  const Orlet::DriveInfo drive = support::RecordOf(CdRw());
  EXPECT_EQ(Erase(drive), Orlet::ResultOk);
  // 40960 KB at 1760 KB/s: 23 whole seconds.
  EXPECT_EQ(observer.Calls(),
            (Strings{"OnEraseEvent(1,0)", "OnEraseEvent(2,0)", "OnEraseEstimate(23000)",
                     "OnEraseEvent(3,0)", "OnEraseEvent(5,0)", "OnEraseEvent(7,0)",
                     "OnEraseEvent(9,0)"}));
  EXPECT_EQ(JournalText(), (Strings{"CreateEx(1024, CdRom0, 1)", "TestUnitReady()", "GetSpeeds()",
                                    "Blank(1)", "Eject()", "Destroy(handle)",
                                    "CreateEx(1024, CdRom0, 1)", "LoadEx(1)", "Destroy(handle)"}));
  EXPECT_EQ(eraser.busy, 0u);
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

TEST_F(EraseJobTest, FullEraseOfADvdCountsTheWholeDisc) {
  sdkdouble::FakeDrive& fake = CdRw();
  fake.discType = 9;  // DVD+RW
  fake.currentWriteSpeed = 5540;
  Erase(support::RecordOf(fake), /*full=*/1);
  // (700 MiB in KB + 716800 KB) / 5540 KB/s = 258 s.
  EXPECT_EQ(observer.Calls()[2], "OnEraseEstimate(258000)");
  EXPECT_EQ(support::ArgumentsOf("StarBurn_CdvdBurnerGrabber_Blank"), (Strings{"0"}));
}

TEST_F(EraseJobTest, SptdOpenRefusedAsBusyIsRetriedWithoutTheTrayLockOnlyIfTheHostAgrees) {
  Orlet::DriveInfo drive = support::RecordOf(CdRw());
  drive.accessMethod = Orlet::AccessSptd;
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_CreateExEx", 35);
  EXPECT_EQ(Erase(drive), Orlet::ResultFailed);
  EXPECT_EQ(observer.Calls(), Then(kStarted, {"OnAskRetryOpen", "OnEraseEvent(4,1)"}));
  EXPECT_EQ(eraser.busy, 0u);  // the next erase is not refused as busy

  observer.Clear();
  Double().ClearJournal();
  observer.retryOpenAnswer = 1;
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_CreateExEx", 35);
  EXPECT_EQ(Erase(drive), Orlet::ResultOk);
  EXPECT_EQ(support::ArgumentsOf("StarBurn_CdvdBurnerGrabber_CreateExEx"),
            (Strings{"1024, CdRom0, 1, 1", "1024, CdRom0, 0, 1"}));
  // The reload opens by device name whatever the access method.
  EXPECT_EQ(support::ArgumentsOf("StarBurn_CdvdBurnerGrabber_CreateEx"),
            (Strings{"1024, CdRom0, 1"}));
}

struct BlankRow {
  uint32_t status;
  Strings tail;
  int result;
};

TEST_F(EraseJobTest, BlankStatusesDecideTheEndingAndTheHandleIsAlwaysReleased) {
  const std::vector<BlankRow> rows = {
      {5, {"OnEraseEvent(4,258)"}, Orlet::ResultFailed},
      {8, {"OnEraseEvent(4,257)"}, Orlet::ResultFailed},
      {14, {"OnEraseEvent(4,259)"}, Orlet::ResultFailed},
      // Any other status is not the job's to judge: it goes on.
      {99, {"OnEraseEvent(5,0)", "OnEraseEvent(7,0)", "OnEraseEvent(9,0)"}, Orlet::ResultOk}};
  const Orlet::DriveInfo drive = support::RecordOf(CdRw());
  for (const BlankRow& row : rows) {
    SCOPED_TRACE(row.status);
    observer.Clear();
    Double().AnswerNext("StarBurn_CdvdBurnerGrabber_Blank", row.status);
    EXPECT_EQ(Erase(drive), row.result);
    EXPECT_EQ(observer.Calls(),
              Then({"OnEraseEvent(1,0)", "OnEraseEvent(2,0)", "OnEraseEstimate(23000)"}, row.tail));
    EXPECT_EQ(Double().OpenDevices(), 0u);
    EXPECT_EQ(eraser.busy, 0u);
  }
}

TEST_F(EraseJobTest, SpeedIsSetOnlyWhenTheRecordAsksAndItsFailureEndsTheJob) {
  Orlet::DriveInfo drive = support::RecordOf(CdRw());
  Erase(drive);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_SetSpeeds"), 0u);

  drive.applyWriteSpeed = 1;
  observer.Clear();
  eraser.EraseDisc(drive, 1, 1, 0, 2800, &observer);
  EXPECT_EQ(support::ArgumentsOf("StarBurn_CdvdBurnerGrabber_SetSpeeds"), (Strings{"65535, 2800"}));

  observer.Clear();
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_SetSpeeds", 5);
  EXPECT_EQ(Erase(drive), Orlet::ResultFailed);
  EXPECT_EQ(observer.Calls(), Then(kStarted, {"OnEraseEvent(4,2)"}));
}

TEST_F(EraseJobTest, NoEstimateWithoutAWriteSpeedAndNoEventsWithoutAnObserver) {
  sdkdouble::FakeDrive& fake = CdRw();
  fake.currentWriteSpeed = 0;
  Erase(support::RecordOf(fake));
  EXPECT_EQ(observer.Calls()[1], "OnEraseEvent(2,0)");
  EXPECT_EQ(observer.Calls()[2], "OnEraseEvent(3,0)");

  // Without an observer a Blank failure is not the job's to report: it goes on.
  Double().ClearJournal();
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_Blank", 8);
  EXPECT_EQ(eraser.EraseDisc(support::RecordOf(fake), 1, 1, 0, 65535, nullptr), Orlet::ResultOk);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_LoadEx"), 1u);
}

}  // namespace
