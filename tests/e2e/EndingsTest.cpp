// How the library's jobs end. A burn that appends to a disc and ends early: a
// drive that fails (a fault told to the emulated recorder at a chosen point of
// the job), a host that cancels, a source file that goes away. Each ends the
// job with the events of the stage it hit and the drive released; the disc
// keeps its earlier session, which every independent reader still reads, and
// takes the next session once the drive behaves again. The same for an erase.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "HostFixture.h"
#include "common/Object.h"
#include "devices/DeviceRegistry.h"
#include "mmc/Cdb.h"
#include "starburn/StarBurn.h"

namespace {

using e2e::Fail;
using e2e::Strings;
using starburn::SenseCodes;

// Sense of the faults: a medium error on reading or writing, and a drive that
// rejects a field of a command.
constexpr SenseCodes kMediumError = {0x3, 0x0C, 0x00};
constexpr SenseCodes kInvalid = {0x5, 0x24, 0x00};

// What the state file shows of the new session after the ending: nothing; a
// damaged track (the write ended inside it without the drive's help, and the
// blocks that reached a written-once disc stay); or its track recorded in a
// session the drive would not close, which the next burn closes and imports.
enum class Left { kNothing, kDamagedTrack, kOpenSession };

class BurnEndingTest;
using BurnAct = std::function<void(BurnEndingTest&)>;

struct Ending {
  const char* name;
  const char* medium;
  const char* actAt;  // the observer call at which act runs
  BurnAct act;
  const char* event;  // the job's calls up to through, then this one (null: none) and a failure
  const char* through = nullptr;  // null: actAt
  Left left = Left::kNothing;
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
  trackStart = NextSession();
  job.hookAt = ending.actAt;
  job.hook = [&] { ending.act(*this); };
  Strings tail = {"OnBurnEvent(4,0)"};
  if (ending.event != nullptr) tail.insert(tail.begin(), ending.event);
  static const Strings kAppend = {"OnPrepareEvent(1,0)", "OnPrepareEvent(2,0)",
                                  "OnAskImportSession",  "OnFillContainer",
                                  "OnBurnEvent(1,0)",    "OnPrepareEvent(5,0)"};
  // The force flag lets the overwritable disc take a session; it changes
  // nothing on the others.
  EXPECT_EQ(RunBurn(job, 1),
            e2e::Through(kAppend, ending.through ? ending.through : ending.actAt, tail));
  EXPECT_TRUE(DriveIsFree());

  recorder->SetFaults({});
  const e2e::DiscBytes after = ReadDisc();
  if (ending.left == Left::kNothing) {
    EXPECT_EQ(after.state, before.state);
  } else {
    const bool damaged = ending.left == Left::kDamagedTrack;
    EXPECT_NE(after.state.find(damaged ? " damaged\n" : "session open"), std::string::npos)
        << after.state;
  }
  EXPECT_EQ(after.image.substr(0, before.image.size()), before.image);
  EXPECT_EQ(ReadersFind(0, {first}), "");

  const std::string third = MakeTree("third", 3);
  ASSERT_NO_FATAL_FAILURE(BurnOk({third}, 1));
  EXPECT_EQ(ReadDisc().state.find("session open"), std::string::npos);
  const bool open = ending.left == Left::kOpenSession;  // its track holds second
  if (open) {
    EXPECT_EQ(ReadersFind(trackStart, {first, second}), "");
  }
  EXPECT_EQ(
      ReadersFind(LastTrackStart(), open ? Strings{first, second, third} : Strings{first, third}),
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
const BurnAct kDecline = [](BurnEndingTest& test) { test.observer->fillAnswer = 0; };
const BurnAct kNoFileSystem = [](BurnEndingTest& test) {
  test.observer->fill = [](Orlet::FileContainer* container) { container->SetImageFileSystem({}); };
};
// Power lost five blocks into the new track.
const BurnAct kPowerLoss = [](BurnEndingTest& test) {
  starburn::FaultPlan plan;
  plan.powerLossAt = test.trackStart + 5;
  test.recorder->SetFaults(plan);
};

namespace op = starburn::opcode;
constexpr const char* kStart = "OnPrepareEvent(1,0)";
constexpr const char* kTree = "OnPrepareEvent(2,0)";
constexpr const char* kImport = "OnAskImportSession";
constexpr const char* kFill = "OnFillContainer";
constexpr const char* kRecorder = "OnBurnEvent(1,0)";
constexpr const char* kWrite = "OnPrepareEvent(5,0)";
constexpr const char* kNoImport = "OnPrepareEvent(4,514)";
constexpr const char* kNoSpeeds = "OnBurnEvent(4,772)";
constexpr const char* kHeld = "OnPrepareEvent(4,1)";

// The drive fails at each stage of the job.
const Ending kDriveFaults[] = {
    {"DriveHeldByAnotherProgram", "cd-r", kStart, e2e::kHold, kHeld},
    {"DiscUnreadable", "cd-r", kStart, Fail(op::kReadDiscInformation, kInvalid), nullptr},
    {"FileSystemUnreadable", "cd-r", kStart, Fail(op::kRead10, kMediumError), nullptr},
    {"LastTrackUnreadable", "cd-r", kTree, Fail(op::kReadDiscInformation, kInvalid), kNoImport},
    {"SessionUnreadable", "cd-r", kImport, Fail(op::kRead10, kMediumError), kNoImport},
    {"HeldAsTheRecorderOpens", "cd-r", kRecorder, e2e::kHold, kHeld},
    {"RecorderNotReady", "cd-r", kRecorder, Fail(op::kTestUnitReady, kInvalid), "OnBurnEvent(4,2)"},
    {"BupUnreadable", "cd-r", kRecorder, Fail(op::kModeSense10, kInvalid), "OnBurnEvent(4,769)"},
    {"BupRefused", "cd-r", kRecorder, Fail(op::kModeSelect10, kInvalid), "OnBurnEvent(4,770)"},
    {"SpeedRefused", "cd-r", kRecorder, Fail(op::kSetCdSpeed, kInvalid), "OnBurnEvent(4,771)"},
    {"SpeedsUnreadable", "cd-r", kRecorder, Fail(op::kModeSense10, kInvalid, 2), kNoSpeeds},
    {"WriteError", "cd-r", kWrite, Fail(op::kWrite10, kMediumError), nullptr},
    {"PowerLostInsideTheTrack", "cd-r", kWrite, kPowerLoss, nullptr, nullptr, Left::kDamagedTrack},
    // An overwritable disc points block 16 at a new session last: power lost
    // while the new session is written leaves block 16 on the old one.
    {"PowerLostOnAnOverwritableDisc", "dvd+rw", kWrite, kPowerLoss, nullptr},
    // The track's own closing passes; closing the session fails.
    {"SessionLeftOpen", "cd-r", kWrite, Fail(op::kCloseTrackSession, kInvalid, 1), nullptr, nullptr,
     Left::kOpenSession},
};

// The host ends the job, or a source goes away under it. The host's cancel
// as orlet-burn makes it on Ctrl-C is the library's flag and the SDK's abort,
// which the write takes at its next block.
const Ending kHostEndings[] = {
    {"DeclinedInFillContainer", "cd-r", kStart, kDecline, "OnPrepareEvent(3,0)", kFill},
    {"UnknownImageFileSystem", "cd-r", kStart, kNoFileSystem, "OnBurnEvent(4,3)", kRecorder},
    {"CancelledBeforeTheTreeStage", "cd-r", kStart, kCancel, nullptr, kImport},
    {"CancelledWhileTheHostFills", "cd-r", kFill, kCancel, nullptr},
    {"CancelledAsTheWriteBegins", "dvd+r", kWrite, kCancelAndAbort, "OnBurnEvent(3,0)"},
    {"AbortedWithoutACancel", "dvd+r", kWrite, kAbort, nullptr},
    {"SourceDeletedAfterAddItem", "cd-r", kFill, kRemove, "OnPrepareEvent(4,515)"},
    {"SourceDeletedBeforeTheImageIsBuilt", "cd-r", kRecorder, kRemove, "OnBurnEvent(4,773)"},
};

INSTANTIATE_TEST_SUITE_P(DriveFaults, BurnEndingTest, testing::ValuesIn(kDriveFaults),
                         e2e::RowName<Ending>);
INSTANTIATE_TEST_SUITE_P(HostEndings, BurnEndingTest, testing::ValuesIn(kHostEndings),
                         e2e::RowName<Ending>);

// A drive that fails while it erases a CD-RW holding two sessions: each fault
// ends the erase with the events of its step, Erase's result and the drive
// released. A fault before the blanking leaves both sessions readable; one
// after it leaves a blank disc that takes a new burn.
constexpr SenseCodes kCorrupted = {0x3, 0x31, 0x00};     // medium format corrupted
constexpr SenseCodes kIncompatible = {0x5, 0x30, 0x05};  // incompatible format
constexpr SenseCodes kNotReady = {0x2, 0x04, 0x00};
constexpr int kOk = Orlet::ResultOk;
constexpr int kFailed = Orlet::ResultFailed;

// An erase observer's calls in short, between spaces: OnEraseEvent(a,b) as
// "a,b", or "a" when b is 0; "E" the estimate for a quick erase of a CD-RW:
// 40960 KB at the drive's current write speed, 4234 KB/s (24x), in whole
// seconds, as milliseconds.
Strings EraseCalls(const std::string& text) {
  Strings calls;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    const bool zero = word.find(',') == std::string::npos;
    calls.push_back(word == "E" ? "OnEraseEstimate(9000)"
                                : "OnEraseEvent(" + word + (zero ? ",0)" : ")"));
  }
  return calls;
}

struct EraseEnding {
  const char* name;
  const char* actAt;  // the event, in short, at which act runs
  e2e::Act act;
  const char* calls;  // the observer's, in short
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
  observer.hookAt = EraseCalls(ending.actAt).at(0);
  observer.hook = [&] { ending.act(*this); };
  service->SetEraseObserver(&observer);
  EXPECT_EQ(service->Erase(0), ending.result);
  EXPECT_EQ(observer.Calls(), EraseCalls(ending.calls));

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

const e2e::Act kNoAct = [](e2e::HostFixture&) {};
const e2e::Act kNotReadyDrive = [](e2e::HostFixture& host) {
  starburn::FaultPlan plan;
  plan.notReady = true;
  host.recorder->SetFaults(plan);
};
const e2e::Act kUnplug = [](e2e::HostFixture&) {
  starburn::DeviceRegistry::Instance().DetachAll();
};
// The host asks for another erase from inside this one.
e2e::Act EraseAgain(int answer) {
  return [answer](e2e::HostFixture& host) { EXPECT_EQ(host.service->Erase(0), answer); };
}

const EraseEnding kEraseEndings[] = {
    {"Succeeds", "1", kNoAct, "1 2 E 3 5 7 9", kOk, true},
    {"DriveHeldByAnotherProgram", "1", e2e::kHold, "1 4,1", kFailed, false},
    {"NotReady", "1", kNotReadyDrive, "1 4,2", kFailed, false},
    {"SpeedsUnreadable", "1", Fail(op::kModeSense10, kInvalid), "1 4,2", kFailed, false},
    {"BlankCommandFailed", "2", Fail(op::kBlank, kCorrupted), "1 2 E 4,258", kFailed, false},
    {"DiscRefusesToBeBlanked", "2", Fail(op::kBlank, kIncompatible), "1 2 E 4,257", kFailed, false},
    {"EjectFails", "3", Fail(op::kStartStopUnit, kInvalid, 0, 1), "1 2 E 3 5 6 9", kOk, true},
    // The drive goes away (unplugged) between the eject and the reload.
    {"DriveGoneBeforeTheReload", "7", kUnplug, "1 2 E 3 5 7 8", kFailed, true},
    // A status the erase does not judge: the drive's own business, and the
    // erase goes on.
    {"BlankAnsweredNotReady", "2", Fail(op::kBlank, kNotReady), "1 2 E 5 7 9", kOk, false},
    // The eject passes; the load after it fails.
    {"LoadFails", "3", Fail(op::kStartStopUnit, kInvalid, 1, 1), "1 2 E 3 5 7 8 9", kOk, true},
    // Another erase is refused (4,257): a blank disc comes before an erase
    // running.
    {"AgainWhileBlanking", "2", EraseAgain(Orlet::ResultBusy), "1 4,257 2 E 3 5 7 9", kOk, true},
    {"AgainOnceBlank", "3", EraseAgain(Orlet::ResultDiscBlank), "1 2 E 4,257 3 5 7 9", kOk, true},
};

INSTANTIATE_TEST_SUITE_P(Steps, EraseEndingTest, testing::ValuesIn(kEraseEndings),
                         e2e::RowName<EraseEnding>);

}  // namespace

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
  EXPECT_EQ(RunBurn(observer, 0, L""),
            (Strings{"OnPrepareEvent(1,0)", "OnPrepareEvent(2,0)", "OnFillContainer",
                     "OnBurnEvent(1,0)", "OnPrepareEvent(5,0)", "OnBurnEvent(7,0)"}));
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
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(Strings(calls.end() - 3, calls.end()),
            (Strings{"OnBurnProgress(-1,0)", "OnBurnProgress(100,0)", "OnBurnEvent(7,0)"}));
  EXPECT_EQ(ReadersFind(0, {first}), "");

  support::RecordingEraseObserver eraser;  // its events are the Succeeds row's
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
  Orlet::DriveInfo info;
  ASSERT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  EXPECT_EQ(info.volumeLabel, L"FIRST");
  const std::string second = MakeTree("second", 2);
  ASSERT_NO_FATAL_FAILURE(BurnOk({second}));
  EXPECT_EQ(ReadersFind(info.sessionStartAddress, {first, second}), "");
}

// A host that tears the service down from inside the job, on the job's
// thread. Inside the job's last event DestroyMediaBurning frees the service
// there and then, and the job's thread touches nothing of it afterwards;
// earlier (inside OnFillContainer) the job runs on to its end and its thread
// frees the service after it. The sanitizer builds watch both. The drive is
// let go, and a new service appends to the disc.
struct Teardown {
  const char* name;
  const char* at;    // the observer call inside which the host tears down
  int fillAnswer;    // 0: the host declines the container, and the job fails
  const char* last;  // the job's last event
};

class TeardownInsideTheJobTest : public e2e::HostFixture,
                                 public testing::WithParamInterface<Teardown> {};

TEST_P(TeardownInsideTheJobTest, FreesTheServiceAndLetsTheDriveGo) {
  const Teardown& teardown = GetParam();
  ASSERT_NO_FATAL_FAILURE(Attach("dvd+r"));
  const std::string first = MakeTree("first", 1);
  e2e::HostBurnObserver observer({first});
  observer.fillAnswer = teardown.fillAnswer;
  observer.hookAt = teardown.at;
  observer.hook = [this] {
    EXPECT_EQ(Orlet::DestroyMediaBurning(service), Orlet::ResultOk);
    service = nullptr;
  };
  const Strings events = RunBurn(observer);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), teardown.last);
  ASSERT_EQ(service, nullptr);
  // A service destroyed before the last event is freed once the job has
  // returned: its image tree is the last handle it holds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (starburn::HandleTable::Instance().Count() != 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(starburn::HandleTable::Instance().Count(), 0u);

  ASSERT_NO_FATAL_FAILURE(StartService());
  service->StartDriveSearch(0, 0);
  ASSERT_EQ(service->GetDriveCount(), 1u);
  const uint32_t start = NextSession();
  const std::string second = MakeTree("second", 2);
  ASSERT_NO_FATAL_FAILURE(BurnOk({second}));
  EXPECT_EQ(ReadersFind(start, teardown.fillAnswer != 0 ? Strings{first, second} : Strings{second}),
            "");
}

const Teardown kTeardowns[] = {
    {"InTheLastEventOfAWrittenDisc", "OnBurnEvent(7,0)", 1, "OnBurnEvent(7,0)"},
    {"InTheLastEventOfAFailedJob", "OnBurnEvent(4,0)", 0, "OnBurnEvent(4,0)"},
    {"WhileTheHostFillsTheContainer", "OnFillContainer", 1, "OnBurnEvent(7,0)"},
};

INSTANTIATE_TEST_SUITE_P(Teardowns, TeardownInsideTheJobTest, testing::ValuesIn(kTeardowns),
                         e2e::RowName<Teardown>);
