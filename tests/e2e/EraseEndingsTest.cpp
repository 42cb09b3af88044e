// A drive that fails while it erases a CD-RW holding two sessions: each fault
// ends the erase with the events of its step, Erase's result and the drive
// released. A fault before the blanking leaves both sessions readable; one
// after it leaves a blank disc that takes a new burn.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostFixture.h"
#include "devices/DeviceRegistry.h"
#include "devices/FaultPlan.h"
#include "mmc/Cdb.h"
#include "starburn/StarBurn.h"

namespace {

using e2e::Fail;
using e2e::Strings;
using starburn::SenseCodes;
namespace op = starburn::opcode;

constexpr SenseCodes kInvalidField = {0x5, 0x24, 0x00};
constexpr SenseCodes kMediumError = {0x3, 0x31, 0x00};        // medium format corrupted
constexpr SenseCodes kCannotWriteMedium = {0x5, 0x30, 0x05};  // incompatible format
constexpr SenseCodes kNotReady = {0x2, 0x04, 0x00};
// The estimate for a quick erase of a CD-RW: 40960 KB at the drive's current
// write speed, 4234 KB/s (24x), in whole seconds, as milliseconds.
constexpr const char* kEstimate = "OnEraseEstimate(9000)";
constexpr const char* kStart = "OnEraseEvent(1,0)";
constexpr const char* kBlank = "OnEraseEvent(2,0)";
constexpr const char* kEject = "OnEraseEvent(3,0)";
constexpr const char* kEjected = "OnEraseEvent(5,0)";
constexpr const char* kLoad = "OnEraseEvent(7,0)";
constexpr const char* kDone = "OnEraseEvent(9,0)";
constexpr int kOk = Orlet::ResultOk;
constexpr int kFailed = Orlet::ResultFailed;

struct EraseEnding {
  const char* name;
  const char* actAt;
  e2e::Act act;
  const char* through;  // the erase's calls up to this one, then tail
  Strings tail;
  int result;
  bool blanked;  // whether the disc was blanked before the fault
};

class EraseEndingTest : public e2e::HostFixture, public testing::WithParamInterface<EraseEnding> {};

TEST_P(EraseEndingTest, EndsWithTheStepsEventsAndLeavesTheDiscWhole) {
  const EraseEnding& ending = GetParam();
  ASSERT_NO_FATAL_FAILURE(Attach("cd-rw", "ours"));
  const std::string first = Scratch("first");
  const std::string second = MakeTree("second", 2);
  const uint32_t start = NextSession();
  ASSERT_NO_FATAL_FAILURE(BurnOk({second}, 1));
  const e2e::DiscBytes before = ReadDisc();

  support::RecordingEraseObserver observer;
  observer.hookAt = ending.actAt;
  observer.hook = [&] { ending.act(*this); };
  service->SetEraseObserver(&observer);
  EXPECT_EQ(service->Erase(0), ending.result);
  static const Strings kErase = {kStart,   kBlank, kEstimate, kEject,
                                 kEjected, kLoad,  kDone};
  EXPECT_EQ(observer.Calls(), e2e::Through(kErase, ending.through, ending.tail));

  if (starburn::DeviceRegistry::Instance().Drives().empty()) {  // unplugged: plugged back
    std::string error;
    ASSERT_EQ(starburn::DeviceRegistry::Instance().AttachVirtual({recorder}, &error), STARBURN_OK);
    service->StartDriveSearch(0, 0);
  }
  EXPECT_TRUE(DriveIsFree());
  recorder->SetFaults({});

  Orlet::DriveInfo info;
  ASSERT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  EXPECT_EQ(info.isBlank, ending.blanked ? 1u : 0u);
  if (!ending.blanked) {
    EXPECT_EQ(ReadDisc(), before);
    EXPECT_EQ(ReadersFind(0, {first}), "");
    EXPECT_EQ(ReadersFind(start, {first, second}), "");
  }
  const std::string third = MakeTree("third", 3);
  ASSERT_NO_FATAL_FAILURE(BurnOk({third}, 1));
  if (ending.blanked) {
    EXPECT_EQ(ReadersFind(0, {third}), "");
  }
}

const e2e::Act kNotReadyDrive = [](e2e::HostFixture& host) {
  starburn::FaultPlan plan;
  plan.notReady = true;
  host.recorder->SetFaults(plan);
};
const e2e::Act kUnplug = [](e2e::HostFixture&) {
  starburn::DeviceRegistry::Instance().DetachAll();
};

const EraseEnding kEraseEndings[] = {
    {"Succeeds", "", nullptr, kDone, {}, kOk, true},
    {"DriveHeldByAnotherProgram", kStart, e2e::kHold, kStart, {"OnEraseEvent(4,1)"}, kFailed,
     false},
    {"NotReady", kStart, kNotReadyDrive, kStart, {"OnEraseEvent(4,2)"}, kFailed, false},
    {"SpeedsUnreadable", kStart, Fail(op::kModeSense10, kInvalidField), kStart,
     {"OnEraseEvent(4,2)"}, kFailed, false},
    {"BlankCommandFailed", kBlank, Fail(op::kBlank, kMediumError), kEstimate,
     {"OnEraseEvent(4,258)"}, kFailed, false},
    {"DiscRefusesToBeBlanked", kBlank, Fail(op::kBlank, kCannotWriteMedium), kEstimate,
     {"OnEraseEvent(4,257)"}, kFailed, false},
    {"EjectFails", kEject, Fail(op::kStartStopUnit, kInvalidField, 0, 1), kEjected,
     {"OnEraseEvent(6,0)", kDone}, kOk, true},
    // The drive goes away (unplugged) between the eject and the reload.
    {"DriveGoneBeforeTheReload", kLoad, kUnplug, kLoad, {"OnEraseEvent(8,0)"}, kFailed, true},
    // A status the erase does not judge: the drive's own business, and the
    // erase goes on.
    {"BlankAnsweredNotReady", kBlank, Fail(op::kBlank, kNotReady), kEstimate,
     {kEjected, kLoad, kDone}, kOk, false},
    // The eject passes; the load after it fails.
    {"LoadFails", kEject, Fail(op::kStartStopUnit, kInvalidField, 1, 1), kLoad,
     {"OnEraseEvent(8,0)", kDone}, kOk, true},
};

INSTANTIATE_TEST_SUITE_P(Steps, EraseEndingTest, testing::ValuesIn(kEraseEndings),
                         e2e::RowName<EraseEnding>);

// The erase's stages as the drive sees them (the events are the Succeeds row's).
class EraseStagesTest : public e2e::HostFixture {};

TEST_F(EraseStagesTest, CallTheSdkInOrder) {
  ASSERT_NO_FATAL_FAILURE(Attach("cd-rw", "ours"));
  support::RecordingEraseObserver observer;
  observer.hookAt = kStart;
  observer.hook = [] { e2e::JournalSdkCalls(true); };
  service->SetEraseObserver(&observer);
  EXPECT_EQ(service->Erase(0), Orlet::ResultOk);
  EXPECT_EQ(e2e::JournalSdkCalls(false),
            (Strings{"CreateEx(1)", "TestUnitReady()", "SetSpeeds(65535, 65535)", "GetSpeeds()",
                     "Blank(1)", "Eject()", "Destroy()", "CreateEx(1)", "LoadEx(1)", "Destroy()"}));
}

}  // namespace
