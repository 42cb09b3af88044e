// A drive that fails while it erases a CD-RW holding two sessions: each fault
// ends the erase with the events of its step, Erase's result and the drive
// released. A fault before the blanking leaves both sessions readable; one
// after it leaves a blank disc that takes a new burn.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "HostFixture.h"
#include "devices/DeviceRegistry.h"
#include "devices/FaultPlan.h"
#include "mmc/Cdb.h"
#include "starburn/StarBurn.h"

namespace {

using e2e::Failing;
using starburn::FaultPlan;
using starburn::SenseCodes;

constexpr SenseCodes kInvalidField = {0x5, 0x24, 0x00};
constexpr SenseCodes kMediumError = {0x3, 0x31, 0x00};        // medium format corrupted
constexpr SenseCodes kCannotWriteMedium = {0x5, 0x30, 0x05};  // incompatible format
// The estimate for a quick erase of a CD-RW: 40960 KB at the drive's current
// write speed, 4234 KB/s (24x), in whole seconds, as milliseconds.
constexpr const char* kEstimate = "OnEraseEstimate(9000)";

// The calls of an erase with eject and reload, up to and including last, then
// the tail.
std::vector<std::string> Through(const std::string& last, const std::vector<std::string>& tail) {
  static const std::vector<std::string> kErase = {
      "OnEraseEvent(1,0)", "OnEraseEvent(2,0)", kEstimate,          "OnEraseEvent(3,0)",
      "OnEraseEvent(5,0)", "OnEraseEvent(7,0)", "OnEraseEvent(9,0)"};
  return e2e::Through(kErase, last, tail);
}

struct Drive {
  starburn::EmulatedRecorder& recorder;
  std::function<void*()> hold;
  void* held = nullptr;
  bool unplugged = false;  // taken out of the device registry
};

// An act that tells the recorder to fail.
std::function<void(Drive&)> Fail(uint8_t opcode, SenseCodes sense, uint32_t skip = 0,
                                 uint32_t times = 0) {
  return [=](Drive& drive) { drive.recorder.SetFaults(Failing(opcode, sense, skip, times)); };
}

struct EraseEnding {
  const char* name;
  const char* actAt;
  std::function<void(Drive&)> act;
  std::vector<std::string> events;
  int result;
  bool blanked;  // whether the disc was blanked before the fault
};

class EraseEndingTest : public e2e::HostFixture, public testing::WithParamInterface<EraseEnding> {};

TEST_P(EraseEndingTest, EndsWithTheStepsEventsAndLeavesTheDiscWhole) {
  const EraseEnding& ending = GetParam();
  Attach("cd-rw", Scratch("disc.iso"));
  const std::string first = MakeTree("first", 1);
  const std::string second = MakeTree("second", 2);
  ASSERT_NO_FATAL_FAILURE(BurnOk({first}));
  const uint32_t start = NextSession();
  ASSERT_NO_FATAL_FAILURE(BurnOk({second}, 1));
  const e2e::DiscBytes before = ReadDisc();

  Drive drive{*recorder, [this] { return HoldDrive(); }};
  e2e::HostEraseObserver observer;
  observer.hookAt = ending.actAt;
  observer.hook = [&] { ending.act(drive); };
  service->SetEraseObserver(&observer);
  EXPECT_EQ(service->Erase(0), ending.result);
  EXPECT_EQ(observer.Calls(), ending.events);

  if (drive.held != nullptr) StarBurn_Destroy(&drive.held);
  if (drive.unplugged) {
    std::string error;
    ASSERT_EQ(starburn::DeviceRegistry::Instance().AttachVirtual({recorder}, &error), STARBURN_OK);
    service->StartDriveSearch(0, 0);
  }
  void* next = HoldDrive();
  EXPECT_NE(next, nullptr);
  StarBurn_Destroy(&next);
  recorder->SetFaults(FaultPlan());

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

const EraseEnding kEraseEndings[] = {
    {"Succeeds", "", [](Drive&) {}, Through("OnEraseEvent(9,0)", {}), Orlet::ResultOk, true},
    {"DriveHeldByAnotherProgram", "OnEraseEvent(1,0)",
     [](Drive& drive) { drive.held = drive.hold(); },
     Through("OnEraseEvent(1,0)", {"OnEraseEvent(4,1)"}), Orlet::ResultFailed, false},
    {"NotReady", "OnEraseEvent(1,0)",
     [](Drive& drive) {
       FaultPlan plan;
       plan.notReady = true;
       drive.recorder.SetFaults(plan);
     },
     Through("OnEraseEvent(1,0)", {"OnEraseEvent(4,2)"}), Orlet::ResultFailed, false},
    {"SpeedsUnreadable", "OnEraseEvent(1,0)", Fail(starburn::opcode::kModeSense10, kInvalidField),
     Through("OnEraseEvent(1,0)", {"OnEraseEvent(4,2)"}), Orlet::ResultFailed, false},
    {"BlankCommandFailed", "OnEraseEvent(2,0)", Fail(starburn::opcode::kBlank, kMediumError),
     Through(kEstimate, {"OnEraseEvent(4,258)"}), Orlet::ResultFailed, false},
    {"DiscRefusesToBeBlanked", "OnEraseEvent(2,0)",
     Fail(starburn::opcode::kBlank, kCannotWriteMedium),
     Through(kEstimate, {"OnEraseEvent(4,257)"}), Orlet::ResultFailed, false},
    {"EjectFails", "OnEraseEvent(3,0)", Fail(starburn::opcode::kStartStopUnit, kInvalidField, 0, 1),
     Through("OnEraseEvent(5,0)", {"OnEraseEvent(6,0)", "OnEraseEvent(9,0)"}), Orlet::ResultOk,
     true},
    // The drive goes away (unplugged) between the eject and the reload.
    {"DriveGoneBeforeTheReload", "OnEraseEvent(7,0)",
     [](Drive& drive) {
       starburn::DeviceRegistry::Instance().DetachAll();
       drive.unplugged = true;
     },
     Through("OnEraseEvent(7,0)", {"OnEraseEvent(8,0)"}), Orlet::ResultFailed, true},
    // A status the erase does not judge: the drive's own business, and the
    // erase goes on.
    {"BlankAnsweredNotReady", "OnEraseEvent(2,0)",
     Fail(starburn::opcode::kBlank, {0x2, 0x04, 0x00}),
     Through(kEstimate, {"OnEraseEvent(5,0)", "OnEraseEvent(7,0)", "OnEraseEvent(9,0)"}),
     Orlet::ResultOk, false},
    // The eject passes; the load after it fails.
    {"LoadFails", "OnEraseEvent(3,0)", Fail(starburn::opcode::kStartStopUnit, kInvalidField, 1, 1),
     Through("OnEraseEvent(7,0)", {"OnEraseEvent(8,0)", "OnEraseEvent(9,0)"}), Orlet::ResultOk,
     true},
};

INSTANTIATE_TEST_SUITE_P(Steps, EraseEndingTest, testing::ValuesIn(kEraseEndings),
                         [](const testing::TestParamInfo<EraseEnding>& info) {
                           return std::string(info.param.name);
                         });

// The erase's stages as the drive sees them (the events are the Succeeds row's).
class EraseStagesTest : public e2e::HostFixture {};

TEST_F(EraseStagesTest, CallTheSdkInOrder) {
  Attach("cd-rw", Scratch("disc.iso"));
  ASSERT_NO_FATAL_FAILURE(BurnOk({MakeTree("first", 1)}));
  e2e::HostEraseObserver observer;
  observer.hookAt = "OnEraseEvent(1,0)";
  observer.hook = [] { e2e::JournalSdkCalls(true); };
  service->SetEraseObserver(&observer);
  EXPECT_EQ(service->Erase(0), Orlet::ResultOk);
  e2e::JournalSdkCalls(false);
  EXPECT_EQ(e2e::JournaledSdkCalls(),
            (std::vector<std::string>{"CreateEx(1)", "TestUnitReady()", "SetSpeeds(65535, 65535)",
                                      "GetSpeeds()", "Blank(1)", "Eject()", "Destroy()",
                                      "CreateEx(1)", "LoadEx(1)", "Destroy()"}));
}

}  // namespace
