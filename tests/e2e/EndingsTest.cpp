// How the library's jobs end. A burn that appends to a disc ends early: a drive
// fails (a fault told to the emulated recorder at a chosen call), the host
// cancels, a source goes away. Each ends the job with the events of the stage
// it hit and the drive released; the disc keeps its earlier session, which
// every independent reader still reads, and takes the next one. So for erases.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "HostFixture.h"
#include "common/Object.h"
#include "devices/DeviceRegistry.h"
#include "mmc/Cdb.h"
#include "starburn/StarBurn.h"

namespace {

using e2e::Calls;
using e2e::Strings;
using starburn::SenseCodes;
namespace op = starburn::opcode;

// What a test does to a job from inside it.
using Act = std::function<void(e2e::HostFixture&)>;
// Commands of one operation code fail with sense: the first skip pass, then
// times fail (0: every one).
Act Fail(uint8_t opcode, SenseCodes sense, uint32_t skip = 0, uint32_t times = 0) {
  return [=](e2e::HostFixture& host) {
    starburn::FaultPlan plan;
    plan.commands.push_back({opcode, skip, times, sense});
    host.recorder->SetFaults(plan);
  };
}
const Act kHold = [](e2e::HostFixture& host) { host.held = host.HoldDrive(); };
const Act kNoAct = [](e2e::HostFixture&) {};

// Sense: a medium error on reading or writing; a field of a command rejected.
constexpr SenseCodes kMediumError = {0x3, 0x0C, 0x00};
constexpr SenseCodes kInvalid = {0x5, 0x24, 0x00};

// What the new session leaves: nothing the state file shows; a damaged track
// (the write ended inside it without the drive's help, and what reached a
// written-once disc stays); a track in a session the drive would not close,
// which the next burn closes and imports; or the whole session written.
enum class Left { kNothing, kDamagedTrack, kOpenSession, kWritten };

class BurnEndingTest;
using BurnAct = std::function<void(BurnEndingTest&)>;

struct Ending {
  const char* name;
  const char* actAt;  // the call, in short, at which act runs
  BurnAct act;
  const char* calls;  // the job's, in short, without progress and tree texts
  Left left = Left::kNothing;
  int fillAnswer = 1;  // the host's answer in OnFillContainer
  const char* medium = "cd-r";
};

class BurnEndingTest : public e2e::HostFixture, public testing::WithParamInterface<Ending> {
 public:
  e2e::HostBurnObserver* observer = nullptr;
  uint32_t trackStart = 0;  // of the new session
};

TEST_P(BurnEndingTest, EndsWithTheStagesEventsAndKeepsTheEarlierSession) {
  const Ending& ending = GetParam();
  ASSERT_NO_FATAL_FAILURE(Attach(ending.medium, "ours"));
  const std::string first = Scratch("first");
  const e2e::DiscBytes before = ReadDisc();
  const std::string second = MakeTree("second", 2);
  e2e::HostBurnObserver job({second});
  observer = &job;
  trackStart = Info().sessionStartAddress;
  job.fillAnswer = ending.fillAnswer;
  job.hookAt = Calls(ending.actAt).at(0);
  job.hook = [&] { ending.act(*this); };
  // The force flag lets the overwritable disc take a session; it changes
  // nothing on the others.
  EXPECT_EQ(RunBurn(job, 1), Calls(ending.calls));
  if (service == nullptr) {  // torn down: freed once the job has returned, its tree last
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (starburn::HandleTable::Instance().Count() != 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(starburn::HandleTable::Instance().Count(), 0u);
    ASSERT_NO_FATAL_FAILURE(StartService());
    service->StartDriveSearch(0, 0);
  }
  EXPECT_TRUE(DriveIsFree());

  recorder->SetFaults({});
  const e2e::DiscBytes after = ReadDisc();
  if (ending.left == Left::kNothing) {
    EXPECT_EQ(after.state, before.state);
  } else if (ending.left != Left::kWritten) {
    const bool damaged = ending.left == Left::kDamagedTrack;
    EXPECT_NE(after.state.find(damaged ? " damaged\n" : "session open"), std::string::npos)
        << after.state;
  }
  EXPECT_EQ(after.image.substr(0, before.image.size()), before.image);
  EXPECT_EQ(ReadersFind(0, {first}), "");

  const std::string third = MakeTree("third", 3);
  ASSERT_NO_FATAL_FAILURE(BurnOk({third}, 1));
  EXPECT_EQ(ReadDisc().state.find("session open"), std::string::npos);
  // The new session's track holds second when the job wrote it, closed or not.
  const bool kept = ending.left == Left::kOpenSession || ending.left == Left::kWritten;
  if (kept) {
    EXPECT_EQ(ReadersFind(trackStart, {first, second}), "");
  }
  EXPECT_EQ(
      ReadersFind(LastTrackStart(), kept ? Strings{first, second, third} : Strings{first, third}),
      "");
}

// Acts of the host, from inside the job.
const BurnAct kCancel = [](BurnEndingTest& test) { test.service->Cancel(); };
const BurnAct kAbort = [](BurnEndingTest&) {
  EXPECT_EQ(StarBurn_AbortDeviceWrite("CdRom0"), STARBURN_OK);
};
const BurnAct kCancelAndAbort = [](BurnEndingTest& test) {
  kCancel(test);
  kAbort(test);
};
const BurnAct kRemove = [](BurnEndingTest& test) {
  EXPECT_EQ(std::remove(test.Scratch("second/readme.txt").c_str()), 0);
};
const BurnAct kNoFileSystem = [](BurnEndingTest& test) {
  test.observer->fill = [](Orlet::FileContainer* container) { container->SetImageFileSystem({}); };
};
// Power lost five blocks into the new track.
const BurnAct kPowerLoss = [](BurnEndingTest& test) {
  starburn::FaultPlan plan;
  plan.powerLossAt = test.trackStart + 5;
  test.recorder->SetFaults(plan);
};
// The host tears the service down on the job's thread: inside the last event
// it is freed there and then, and the job touches nothing of it afterwards;
// earlier the job runs on and frees it at its end. The sanitizers watch both.
const BurnAct kTearDown = [](BurnEndingTest& test) {
  EXPECT_EQ(Orlet::DestroyMediaBurning(test.service), Orlet::ResultOk);
  test.service = nullptr;
};

// The drive fails at each stage of the job.
const Ending kDriveFaults[] = {
    // clang-format off
    {"DriveHeldByAnotherProgram", "P1", kHold, "P1 P4,1 B4"},
    {"DiscUnreadable", "P1", Fail(op::kReadDiscInformation, kInvalid), "P1 B4"},
    {"FileSystemUnreadable", "P1", Fail(op::kRead10, kMediumError), "P1 B4"},
    {"LastTrackUnreadable", "P2", Fail(op::kReadDiscInformation, kInvalid), "P1 P2 P4,514 B4"},
    {"SessionUnreadable", "I", Fail(op::kRead10, kMediumError), "P1 P2 I P4,514 B4"},
    {"HeldAsTheRecorderOpens", "B1", kHold, "P1 P2 I F B1 P4,1 B4"},
    {"RecorderNotReady", "B1", Fail(op::kTestUnitReady, kInvalid), "P1 P2 I F B1 B4,2 B4"},
    {"BupUnreadable", "B1", Fail(op::kModeSense10, kInvalid), "P1 P2 I F B1 B4,769 B4"},
    {"BupRefused", "B1", Fail(op::kModeSelect10, kInvalid), "P1 P2 I F B1 B4,770 B4"},
    {"SpeedRefused", "B1", Fail(op::kSetCdSpeed, kInvalid), "P1 P2 I F B1 B4,771 B4"},
    {"SpeedsUnreadable", "B1", Fail(op::kModeSense10, kInvalid, 2), "P1 P2 I F B1 B4,772 B4"},
    {"WriteError", "P5", Fail(op::kWrite10, kMediumError), "P1 P2 I F B1 P5 B4"},
    {"PowerLostInsideTheTrack", "P5", kPowerLoss, "P1 P2 I F B1 P5 B4", Left::kDamagedTrack},
    {"PowerLostInsideADvdTrack", "P5", kPowerLoss, "P1 P2 I F B1 P5 B4", Left::kDamagedTrack, 1, "dvd-r"},
    // An overwritable disc points block 16 at a new session last: power lost
    // while the new session is written leaves block 16 on the old one.
    {"PowerLostOnAnOverwritableDisc", "P5", kPowerLoss, "P1 P2 I F B1 P5 B4", Left::kNothing, 1, "dvd+rw"},
    // The track's own closing passes; closing the session fails.
    {"SessionLeftOpen", "P5", Fail(op::kCloseTrackSession, kInvalid, 1), "P1 P2 I F B1 P5 B4", Left::kOpenSession},
    {"DvdSessionLeftOpen", "P5", Fail(op::kCloseTrackSession, kInvalid, 1), "P1 P2 I F B1 P5 B4", Left::kOpenSession, 1, "dvd+r"},
    // clang-format on
};

// The host ends the job, a source goes away, the host tears the service down.
// The cancel orlet-burn makes on Ctrl-C is the library's flag and the SDK's
// abort, which the write takes at its next block.
const Ending kHostEndings[] = {
    {"DeclinedInFillContainer", "F", kNoAct, "P1 P2 I F P3 B4", Left::kNothing, 0},
    {"UnknownImageFileSystem", "P1", kNoFileSystem, "P1 P2 I F B1 B4,3 B4"},
    {"CancelledBeforeTheTreeStage", "P1", kCancel, "P1 P2 I B4"},
    {"CancelledWhileTheHostFills", "F", kCancel, "P1 P2 I F B4"},
    {"CancelledAsTheWriteBegins", "P5", kCancelAndAbort, "P1 P2 I F B1 P5 B3 B4", Left::kNothing, 1,
     "dvd+r"},
    {"AbortedWithoutACancel", "P5", kAbort, "P1 P2 I F B1 P5 B4", Left::kNothing, 1, "dvd+r"},
    {"SourceDeletedAfterAddItem", "F", kRemove, "P1 P2 I F B1 B4,773 B4"},
    {"SourceDeletedBeforeTheImageIsBuilt", "B1", kRemove, "P1 P2 I F B1 B4,773 B4"},
    {"TornDownInTheLastEventOfAWrittenDisc", "B7", kTearDown, "P1 P2 I F B1 P5 B7", Left::kWritten},
    {"TornDownInTheLastEventOfAFailedJob", "B4", kTearDown, "P1 P2 I F P3 B4", Left::kNothing, 0},
    {"TornDownWhileTheHostFills", "F", kTearDown, "P1 P2 I F B1 P5 B7", Left::kWritten},
};

INSTANTIATE_TEST_SUITE_P(DriveFaults, BurnEndingTest, testing::ValuesIn(kDriveFaults),
                         e2e::RowName<Ending>);
INSTANTIATE_TEST_SUITE_P(HostEndings, BurnEndingTest, testing::ValuesIn(kHostEndings),
                         e2e::RowName<Ending>);

// A drive fails while it erases a CD-RW of two sessions: the erase ends with
// its step's events and the drive released. A fault before the blanking
// leaves both sessions readable; one after it, a blank disc for a new burn.
constexpr SenseCodes kCorrupted = {0x3, 0x31, 0x00};     // medium format corrupted
constexpr SenseCodes kIncompatible = {0x5, 0x30, 0x05};  // incompatible format
constexpr SenseCodes kNotReady = {0x2, 0x04, 0x00};
struct EraseEnding {
  const char* name;
  const char* actAt;  // the call, in short, at which act runs
  Act act;
  const char* calls;  // the observer's, in short
  bool blanked;       // whether the disc was blanked before the fault
};

class EraseEndingTest : public e2e::HostFixture, public testing::WithParamInterface<EraseEnding> {};

TEST_P(EraseEndingTest, EndsWithTheStepsEventsAndLeavesTheDiscWhole) {
  const EraseEnding& ending = GetParam();
  ASSERT_NO_FATAL_FAILURE(Attach("cd-rw", "ours"));
  const std::string first = Scratch("first");
  const std::string second = MakeTree("second", 2);
  const uint32_t start = Info().sessionStartAddress;
  ASSERT_NO_FATAL_FAILURE(BurnOk({second}, 1));
  const e2e::DiscBytes before = ReadDisc();

  support::RecordingEraseObserver observer;
  observer.hookAt = Calls(ending.actAt).at(0);
  observer.hook = [&] { ending.act(*this); };
  service->SetEraseObserver(&observer);
  // Erase answers that it failed unless the erase came to its end.
  const Strings calls = Calls(ending.calls);
  EXPECT_EQ(service->Erase(0),
            calls.back() == "OnEraseEvent(9,0)" ? Orlet::ResultOk : Orlet::ResultFailed);
  EXPECT_EQ(observer.Calls(), calls);

  if (starburn::DeviceRegistry::Instance().Drives().empty()) {  // unplugged: plugged back
    std::string error;
    ASSERT_EQ(starburn::DeviceRegistry::Instance().AttachVirtual({recorder}, &error), STARBURN_OK);
    service->StartDriveSearch(0, 0);
  }
  EXPECT_TRUE(DriveIsFree());
  recorder->SetFaults({});

  EXPECT_EQ(Info().isBlank, ending.blanked ? 1u : 0u);
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

const Act kNoWriteSpeed = [](e2e::HostFixture&) { e2e::HostFixture::noCurrentWriteSpeed = true; };
const Act kNotReadyDrive = [](e2e::HostFixture& host) {
  starburn::FaultPlan plan;
  plan.notReady = true;
  host.recorder->SetFaults(plan);
};
const Act kUnplug = [](e2e::HostFixture&) { starburn::DeviceRegistry::Instance().DetachAll(); };
// The drive is free for the host's next job by the time it hears the last event.
const Act kDriveFree = [](e2e::HostFixture& host) { EXPECT_TRUE(host.DriveIsFree()); };
// The host asks for another erase from inside this one.
Act EraseAgain(int answer) {
  return [answer](e2e::HostFixture& host) { EXPECT_EQ(host.service->Erase(0), answer); };
}

const EraseEnding kEraseEndings[] = {
    {"Succeeds", "E9", kDriveFree, "E1 E2 T E3 E5 E7 E9", true},
    {"NoEstimateWithoutAWriteSpeed", "E1", kNoWriteSpeed, "E1 E2 E3 E5 E7 E9", true},
    {"DriveHeldByAnotherProgram", "E1", kHold, "E1 E4,1", false},
    {"NotReady", "E1", kNotReadyDrive, "E1 E4,2", false},
    {"SpeedsUnreadable", "E1", Fail(op::kModeSense10, kInvalid), "E1 E4,2", false},
    {"BlankCommandFailed", "E2", Fail(op::kBlank, kCorrupted), "E1 E2 T E4,258", false},
    {"DiscRefusesToBeBlanked", "E2", Fail(op::kBlank, kIncompatible), "E1 E2 T E4,257", false},
    {"EjectFails", "E3", Fail(op::kStartStopUnit, kInvalid, 0, 1), "E1 E2 T E3 E5 E6 E9", true},
    // The drive goes away (unplugged) between the eject and the reload.
    {"DriveGoneBeforeTheReload", "E7", kUnplug, "E1 E2 T E3 E5 E7 E8", true},
    // A status the erase does not judge: the drive's own; the erase goes on.
    {"BlankAnsweredNotReady", "E2", Fail(op::kBlank, kNotReady), "E1 E2 T E5 E7 E9", false},
    // The eject passes; the load after it fails.
    {"LoadFails", "E3", Fail(op::kStartStopUnit, kInvalid, 1, 1), "E1 E2 T E3 E5 E7 E8 E9", true},
    // Another erase is refused (4,257), a blank disc before an erase running.
    {"AgainWhileBlanking", "E2", EraseAgain(Orlet::ResultBusy), "E1 E4,257 E2 T E3 E5 E7 E9", true},
    {"AgainBlank", "E3", EraseAgain(Orlet::ResultDiscBlank), "E1 E2 T E4,257 E3 E5 E7 E9", true},
};

INSTANTIATE_TEST_SUITE_P(Steps, EraseEndingTest, testing::ValuesIn(kEraseEndings),
                         e2e::RowName<EraseEnding>);

// The stages of a burn on a blank disc and of the erase after it, as the
// drive sees them (the SDK calls in order) and as the host does: each
// percentage of the write once, rising to 100, buffer levels between 1 and
// 100, and the job's own label when the host gives none.
class StagesTest : public e2e::HostFixture {};

TEST_F(StagesTest, CallTheSdkInOrderAndReportEachPercentOnce) {
  ASSERT_NO_FATAL_FAILURE(Attach("cd-rw"));
  const std::string first = MakeTree("first", 1);
  std::ofstream(first + "/large.bin") << std::string(3 << 20, 'L');
  e2e::HostBurnObserver observer({first});
  observer.hookAt = "OnPrepareEvent(1,0)";
  observer.hook = [] { e2e::JournalSdkCalls(true); };
  // The host fills a container named with the job's label and rooted at the
  // drive's letter, for ISO 9660 with Joliet.
  auto addSources = observer.fill;
  observer.fill = [&addSources](Orlet::FileContainer* container) {
    EXPECT_EQ(container->GetRoot()->name, L"NoName");
    EXPECT_EQ(container->GetRoot()->sourcePath, L"D:\\");
    EXPECT_EQ(container->GetImageFileSystem(), 3);
    addSources(container);
  };
  EXPECT_EQ(RunBurn(observer, 0, L""), Calls("P1 P2 F B1 P5 B7"));
  EXPECT_EQ(e2e::JournalSdkCalls(false),
            (Strings{"CreateEx(1)", "Destroy()", "CreateEx(0)", "TestUnitReady()", "GetBUP()",
                     "SetBUP(1)", "SetSpeeds(65535, 65535)", "GetSpeeds()", "BuildImage(0, NoName)",
                     "TrackAtOnceFromTree(0, 0, 1, 1)", "CloseSession()", "Eject()", "Destroy()"}));
  const Strings calls = observer.Calls();
  std::vector<int> percents;
  int levels = 0;
  for (const std::string& call : calls) {
    int percent = 0;
    int level = 0;
    if (std::sscanf(call.c_str(), "OnBurnProgress(%d,%d)", &percent, &level) != 2) continue;
    if (level == -1) percents.push_back(percent);
    if (percent == -1 && level > 0 && level <= 100) ++levels;
  }
  ASSERT_GT(percents.size(), 2u);
  EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end(), std::greater_equal<>()),
            percents.end());
  EXPECT_EQ(percents.back(), 100);
  EXPECT_GT(levels, 0);
  EXPECT_EQ(Strings(calls.end() - 3, calls.end()),
            (Strings{"OnBurnProgress(-1,0)", "OnBurnProgress(100,0)", "OnBurnEvent(7,0)"}));
  EXPECT_EQ(ReadersFind(0, {first}), "");

  support::RecordingEraseObserver eraser;  // its calls are the Succeeds row's
  eraser.hookAt = "OnEraseEvent(1,0)";
  eraser.hook = [] { e2e::JournalSdkCalls(true); };
  service->SetEraseObserver(&eraser);
  EXPECT_EQ(service->Erase(0), Orlet::ResultOk);
  EXPECT_EQ(e2e::JournalSdkCalls(false),
            (Strings{"CreateEx(1)", "TestUnitReady()", "SetSpeeds(65535, 65535)", "GetSpeeds()",
                     "Blank(1)", "Eject()", "Destroy()", "CreateEx(1)", "LoadEx(1)", "Destroy()"}));
}

// A second Burn while a job runs is refused, and the job keeps its own label.
// A host that starts the next burn as soon as it hears a job's last event is
// not refused: the job's thread has only to return, and Burn waits for it.
class NextBurnTest : public e2e::HostFixture {};

TEST_F(NextBurnTest, IsRefusedDuringAJobAndStartsAsSoonAsItsLastEventHasCome) {
  ASSERT_NO_FATAL_FAILURE(Attach("dvd+r"));
  service->Cancel();  // a cancel before the request is not the new job's
  const std::string first = MakeTree("first", 1);
  e2e::HostBurnObserver observer({first});
  auto addSources = observer.fill;
  observer.fill = [&](Orlet::FileContainer* container) {
    EXPECT_EQ(service->Burn(0, L"SECOND", 65535, 0), Orlet::ResultThreadFailed);
    addSources(container);
  };
  std::promise<void> lastEvent;
  observer.hookAt = "OnBurnEvent(7,0)";
  // The host hears the last event; the job's thread is slow to return from it.
  observer.hook = [&lastEvent] {
    lastEvent.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  service->SetBurnObserver(&observer);
  ASSERT_EQ(service->Burn(0, L"FIRST", 65535, 0), Orlet::ResultOk);
  lastEvent.get_future().wait();
  const Orlet::DriveInfo info = Info();
  EXPECT_EQ(info.volumeLabel, L"FIRST");
  const std::string second = MakeTree("second", 2);
  ASSERT_NO_FATAL_FAILURE(BurnOk({second}));
  EXPECT_EQ(ReadersFind(info.sessionStartAddress, {first, second}), "");
}

}  // namespace
