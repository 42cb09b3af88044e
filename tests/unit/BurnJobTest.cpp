// The burn job as a host and a drive see it: the observer's calls in order and
// the SDK calls in order, for a blank disc, a disc that is continued, every
// failing stage, cancels, progress and rejected names.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orlet/FileContainer.h"
#include "platform/Win32.h"
#include "recording/OddBurner.h"
#include "support/JobScripts.h"
#include "support/RecordingObservers.h"

namespace {

using Strings = std::vector<std::string>;
using support::JournalText;
using support::RecordOf;

class BurnJobTest : public support::DoubleTest {
 protected:
  // Runs one job on the burner with the observer; answers the observer's calls.
  Strings Burn(const Orlet::DriveInfo& drive, const std::wstring& label = L"NEWDISC") {
    burner.BurnDisc(drive, label, &observer, 65535);
    return observer.Calls();
  }

  Orlet::OddBurner burner;
  support::RecordingBurnObserver observer;
  support::SourceFolder sources;
};

// The events of a job that reaches the write, before the write's own.
const Strings kUpToWrite = {"OnPrepareEvent(1,0)", "OnFillContainer", "OnBurnEvent(1,0)"};

TEST_F(BurnJobTest, BlankDiscIsWrittenAsANewImageWithTheJobsLabel) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  const std::wstring file = sources.File("a.txt", 3000);
  Orlet::FileContainer* filled = nullptr;
  observer.fill = [&](Orlet::FileContainer* container) {
    filled = container;
    Orlet::FileContainer::Node* docs = nullptr;
    Orlet::FileContainer::Node* added = nullptr;
    ASSERT_EQ(container->CreateDir(L"Docs", container->GetRoot(), &docs), Orlet::ResultOk);
    ASSERT_EQ(container->AddItem(file, docs, &added, nullptr), Orlet::ResultOk);
  };
  const Strings events = Burn(RecordOf(fake));

  EXPECT_EQ(events, (Strings{"OnPrepareEvent(1,0)", "OnPrepareEvent(2,0)", "OnFillContainer",
                             "OnBurnEvent(1,0)", "OnPrepareEvent(5,0)", "OnBurnProgress(-1,0)",
                             "OnBurnProgress(100,0)", "OnBurnEvent(7,0)"}));
  const std::string source = sources.path + "/a.txt";
  EXPECT_EQ(
      JournalText(),
      (Strings{
          "CreateEx(1024, CdRom0, 1)", "GetLastAddress()",
          "ISO9660JolietFileTree_Create(1024, 1, 0, 0, 1)", "ISO9660JolietFileTree_GetRoot()",
          "ISO9660JolietFileTree_Add(null, Docs, 0, )",
          "ISO9660JolietFileTree_Add(" + source + ", a.txt, 2, Docs)", "Destroy(handle)",
          "CreateEx(1024, CdRom0, 0)", "TestUnitReady()", "GetBUP()", "SetBUP(1)", "GetSpeeds()",
          "ISO9660JolietFileTree_BuildImage(0, 0, 1, NEWDISC, Publisher, Application)",
          "TrackAtOnceFromTree(0, 0, 1, 1, 5)", "CloseSession()", "Eject()", "Destroy(handle)"}));
  // The container is the burner's, with the job's label as its root's name.
  ASSERT_EQ(filled, burner.container);
  EXPECT_EQ(filled->GetRoot()->name, L"NEWDISC");
  EXPECT_EQ(filled->GetRoot()->sourcePath, L"D:\\");
  EXPECT_EQ(filled->GetImageFileSystem(), 3);
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

// One row of the failure tables: what fails, and the events the host sees.
struct FailureRow {
  const char* name;
  std::function<void(sdkdouble::FakeDrive&, support::RecordingBurnObserver&)> arrange;
  bool continuing;
  Strings events;
};

class BurnFailureTest : public BurnJobTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(BurnFailureTest, FailingStageSendsItsEventThenTheClosingOneAndLeavesNothingOpen) {
  const FailureRow& row = GetParam();
  sdkdouble::FakeDrive& fake = row.continuing ? support::AppendableCdR() : support::BlankCdR();
  Orlet::DriveInfo drive = RecordOf(fake);
  observer.importAnswer = 1;
  observer.fill = [](Orlet::FileContainer* container) {
    Orlet::FileContainer::Node* made = nullptr;
    container->CreateDir(L"Made", container->GetRoot(), &made);
  };
  row.arrange(fake, observer);
  if (row.name == std::string("SetSpeedsFails")) drive.applyWriteSpeed = 1;
  {
    Orlet::OddBurner own;
    own.BurnDisc(drive, L"NEWDISC", &observer, 65535);
    EXPECT_EQ(observer.Calls(), row.events);
    EXPECT_EQ(Double().OpenDevices(), 0u);
  }
  EXPECT_EQ(Double().OpenTrees(), 0u);  // the burner releases its tree
}

void Fail(sdkdouble::FakeDrive& drive, const char* function, uint32_t status) {
  drive.failures[std::string("StarBurn_") + function] = status;
}

const Strings kTree = {"OnPrepareEvent(1,0)", "OnPrepareEvent(2,0)"};
Strings Then(Strings head, const Strings& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}
const Strings kRecorder = Then(kTree, {"OnFillContainer", "OnBurnEvent(1,0)"});

INSTANTIATE_TEST_SUITE_P(
    Stages, BurnFailureTest,
    ::testing::Values(
        FailureRow{"OpenFails",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_CreateEx", 6); }, false,
                   {"OnPrepareEvent(1,0)", "OnPrepareEvent(4,1)", "OnBurnEvent(4,0)"}},
        FailureRow{"LastAddressFails",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_GetLastAddress", 5); }, false,
                   {"OnPrepareEvent(1,0)", "OnBurnEvent(4,0)"}},
        FailureRow{"DiscFileSystemFails",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_GetDiscFileSystem", 5); },
                   true, {"OnPrepareEvent(1,0)", "OnBurnEvent(4,0)"}},
        FailureRow{"OtherFileSystemOnly",
                   [](auto& d, auto&) {
                     d.discFileSystem[0] = 1;
                     d.discFileSystem[2] = 0;
                   },
                   true, {"OnPrepareEvent(1,0)", "OnBurnEvent(4,0)"}},
        FailureRow{"NoFileSystem",
                   [](auto& d, auto&) {
                     d.discFileSystem[1] = 0;
                     d.discFileSystem[2] = 0;
                   },
                   true, {"OnPrepareEvent(1,0)", "OnBurnEvent(4,0)"}},
        FailureRow{"LastTrackFails",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_GetLastTrack", 5); }, true,
                   Then(kTree, {"OnPrepareEvent(4,514)", "OnBurnEvent(4,0)"})},
        FailureRow{"LastTrackNotValid", [](auto& d, auto&) { d.lastTrackInformation[0] = 0; },
                   true, Then(kTree, {"OnPrepareEvent(4,514)", "OnBurnEvent(4,0)"})},
        FailureRow{"TreeCreateFails",
                   [](auto&, auto&) {
                     sdkdouble::SdkDouble::Get().AnswerNext(
                         "StarBurn_ISO9660JolietFileTree_Create", 3);
                   },
                   false, Then(kTree, {"OnPrepareEvent(4,513)", "OnBurnEvent(4,0)"})},
        FailureRow{"ImportFails",
                   [](auto&, auto&) {
                     sdkdouble::SdkDouble::Get().AnswerNext(
                         "StarBurn_ISO9660JolietFileTree_ImportTrack", 12);
                   },
                   true,
                   Then(kTree, {"OnAskImportSession", "OnPrepareEvent(4,514)",
                                "OnBurnEvent(4,0)"})},
        FailureRow{"HostDeclines", [](auto&, auto& o) { o.fillAnswer = 0; }, false,
                   Then(kTree, {"OnFillContainer", "OnPrepareEvent(3,0)", "OnBurnEvent(4,0)"})},
        FailureRow{"EntryNotAdded",
                   [](auto&, auto&) {
                     sdkdouble::SdkDouble::Get().AnswerNext("StarBurn_ISO9660JolietFileTree_Add",
                                                            13);
                   },
                   false,
                   Then(kTree, {"OnFillContainer", "OnPrepareEvent(4,515)", "OnBurnEvent(4,0)"})},
        FailureRow{"RecorderOpenFails",
                   [](auto&, auto&) {
                     auto& sdk = sdkdouble::SdkDouble::Get();
                     sdk.AnswerNext("StarBurn_CdvdBurnerGrabber_CreateEx", 0);
                     sdk.AnswerNext("StarBurn_CdvdBurnerGrabber_CreateEx", 35);
                   },
                   false, Then(kRecorder, {"OnPrepareEvent(4,1)", "OnBurnEvent(4,0)"})},
        FailureRow{"NotReady",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_TestUnitReady", 7); }, false,
                   Then(kRecorder, {"OnBurnEvent(4,2)", "OnBurnEvent(4,0)"})},
        FailureRow{"BupReadFails", [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_GetBUP", 5); },
                   false, Then(kRecorder, {"OnBurnEvent(4,769)", "OnBurnEvent(4,0)"})},
        FailureRow{"BupSetFails", [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_SetBUP", 5); },
                   false, Then(kRecorder, {"OnBurnEvent(4,770)", "OnBurnEvent(4,0)"})},
        FailureRow{"SetSpeedsFails",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_SetSpeeds", 5); }, false,
                   Then(kRecorder, {"OnBurnEvent(4,771)", "OnBurnEvent(4,0)"})},
        FailureRow{"ReadSpeedsFails",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_GetSpeeds", 5); }, false,
                   Then(kRecorder, {"OnBurnEvent(4,772)", "OnBurnEvent(4,0)"})},
        FailureRow{"BadImageFileSystem",
                   [](auto&, auto& o) {
                     o.fill = [](Orlet::FileContainer* c) {
                       c->SetImageFileSystem(Orlet::ImageFileSystem(4));
                     };
                   },
                   false, Then(kRecorder, {"OnBurnEvent(4,3)", "OnBurnEvent(4,0)"})},
        FailureRow{"BuildImageFails",
                   [](auto&, auto&) {
                     sdkdouble::SdkDouble::Get().AnswerNext(
                         "StarBurn_ISO9660JolietFileTree_BuildImage", 10);
                   },
                   false, Then(kRecorder, {"OnBurnEvent(4,773)", "OnBurnEvent(4,0)"})},
        FailureRow{"WriteFails",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_TrackAtOnceFromTree", 5); },
                   false,
                   Then(kRecorder, {"OnPrepareEvent(5,0)", "OnBurnProgress(-1,0)",
                                    "OnBurnEvent(4,0)"})},
        FailureRow{"AbortedWithoutCancelIsAFailure",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_TrackAtOnceFromTree", 14); },
                   false,
                   Then(kRecorder, {"OnPrepareEvent(5,0)", "OnBurnProgress(-1,0)",
                                    "OnBurnEvent(4,0)"})},
        FailureRow{"SessionCloseFails",
                   [](auto& d, auto&) { Fail(d, "CdvdBurnerGrabber_CloseSession", 5); }, false,
                   Then(kRecorder, {"OnPrepareEvent(5,0)", "OnBurnProgress(-1,0)",
                                    "OnBurnEvent(4,0)"})}),
    [](const ::testing::TestParamInfo<FailureRow>& info) { return info.param.name; });

TEST_F(BurnJobTest, FailedWriteStillClosesTheSessionAndEjects) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  Fail(fake, "CdvdBurnerGrabber_TrackAtOnceFromTree", 5);
  Burn(RecordOf(fake));
  const Strings calls = Double().Functions("StarBurn_CdvdBurnerGrabber_");
  const Strings tail(calls.end() - 3, calls.end());
  EXPECT_EQ(tail, (Strings{"StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree",
                           "StarBurn_CdvdBurnerGrabber_CloseSession",
                           "StarBurn_CdvdBurnerGrabber_Eject"}));
}

TEST_F(BurnJobTest, NullObserverOrUnknownAccessMethodEndsTheJobQuietly) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  EXPECT_EQ(burner.BurnDisc(RecordOf(fake), L"X", nullptr, 100), Orlet::ResultInvalidArgument);
  EXPECT_EQ(burner.speed, 100u);
  EXPECT_TRUE(Double().Journal().empty());

  Orlet::DriveInfo drive = RecordOf(fake);
  drive.accessMethod = 0;
  EXPECT_EQ(Burn(drive), (Strings{"OnPrepareEvent(1,0)", "OnBurnEvent(4,0)"}));
  EXPECT_TRUE(Double().Journal().empty());
}

TEST_F(BurnJobTest, SptdRecorderOpenIsRetriedSharedOnlyWhenTheHostAgrees) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  Orlet::DriveInfo drive = RecordOf(fake);
  drive.accessMethod = Orlet::AccessSptd;
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_CreateExEx", 0);
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_CreateExEx", 35);
  EXPECT_EQ(Burn(drive),
            Then(kRecorder, {"OnAskRetryOpen", "OnPrepareEvent(4,1)", "OnBurnEvent(4,0)"}));

  observer.Clear();
  Double().ClearJournal();
  observer.retryOpenAnswer = 1;
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_CreateExEx", 0);
  Double().AnswerNext("StarBurn_CdvdBurnerGrabber_CreateExEx", 35);
  EXPECT_EQ(Burn(drive).back(), "OnBurnEvent(7,0)");
  EXPECT_EQ(support::ArgumentsOf("StarBurn_CdvdBurnerGrabber_CreateExEx"),
            (Strings{"1024, CdRom0, 0, 1", "1024, CdRom0, 0, 0", "1024, CdRom0, 0, 1"}));
}

TEST_F(BurnJobTest, ProtectionAndSpeedAreSetOnlyWhenTheDriveAndTheRecordAskForIt) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  fake.bupSupported = 0;
  Orlet::DriveInfo drive = RecordOf(fake);
  burner.BurnDisc(drive, L"X", &observer, 1760);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_SetBUP"), 0u);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_SetSpeeds"), 0u);
  EXPECT_EQ(observer.Calls().back(), "OnBurnEvent(7,0)");

  Double().ClearJournal();
  drive.applyWriteSpeed = 1;
  burner.BurnDisc(drive, L"X", &observer, 1760);
  EXPECT_EQ(support::ArgumentsOf("StarBurn_CdvdBurnerGrabber_SetSpeeds"), (Strings{"65535, 1760"}));
}

TEST_F(BurnJobTest, ProgressSendsEachPercentOnceAndTheBufferLevel) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  fake.writeNotifications = {{12, 200, 20},   {12, 200, 21},  {12, 0, 0}, {13, 0, 0},
                             {13, 1000, 250}, {12, 200, 200}, {99, 1, 1}};
  const Strings events = Burn(RecordOf(fake));
  const Strings tail(events.begin() + 5, events.end());
  EXPECT_EQ(tail, (Strings{"OnBurnProgress(10,-1)", "OnBurnProgress(-1,0)", "OnBurnProgress(-1,75)",
                           "OnBurnProgress(100,-1)", "OnBurnProgress(-1,0)",
                           "OnBurnProgress(100,0)", "OnBurnEvent(7,0)"}));
}

TEST_F(BurnJobTest, CancelBeforeTheHostIsAskedEndsTheTreeStage) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  burner.cancelRequested = 1;
  EXPECT_EQ(Burn(RecordOf(fake)), Then(kTree, {"OnBurnEvent(4,0)"}));
  EXPECT_EQ(Double().CountOf("StarBurn_ISO9660JolietFileTree_Add"), 0u);
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

TEST_F(BurnJobTest, CancelInsideFillStopsBeforeRecording) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  observer.fill = [&](Orlet::FileContainer* container) {
    Orlet::FileContainer::Node* made = nullptr;
    container->CreateDir(L"One", container->GetRoot(), &made);
    container->CreateDir(L"Two", container->GetRoot(), &made);
    burner.cancelRequested = 1;
  };
  EXPECT_EQ(Burn(RecordOf(fake)), Then(kTree, {"OnFillContainer", "OnBurnEvent(4,0)"}));
  EXPECT_EQ(Double().CountOf("StarBurn_ISO9660JolietFileTree_Add"), 1u);  // stops after one
}

TEST_F(BurnJobTest, CancelDuringTheWriteIsReportedAsCancelledWithoutClosingTheSession) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  Fail(fake, "CdvdBurnerGrabber_TrackAtOnceFromTree", 14);
  fake.onCall = [this](const std::string& function) {
    if (function == "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree") burner.cancelRequested = 1;
  };
  EXPECT_EQ(Burn(RecordOf(fake)),
            Then(kRecorder, {"OnPrepareEvent(5,0)", "OnBurnEvent(3,0)", "OnBurnEvent(4,0)"}));
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_CloseSession"), 0u);
  EXPECT_EQ(Double().CountOf("StarBurn_CdvdBurnerGrabber_Eject"), 0u);
  EXPECT_EQ(Double().OpenDevices(), 0u);
}

TEST_F(BurnJobTest, SecondJobReusesTheContainerEmptied) {
  sdkdouble::FakeDrive& fake = support::BlankCdR();
  observer.fill = [](Orlet::FileContainer* container) {
    EXPECT_TRUE(container->GetRoot()->children.empty());
    Orlet::FileContainer::Node* made = nullptr;
    container->CreateDir(L"Once", container->GetRoot(), &made);
  };
  Burn(RecordOf(fake));
  Orlet::FileContainer* first = burner.container;
  Burn(RecordOf(fake), L"SECOND");
  EXPECT_EQ(burner.container, first);
  EXPECT_EQ(first->GetRoot()->name, L"SECOND");
  EXPECT_EQ(first->GetRoot()->children.size(), 1u);
  EXPECT_EQ(Double().OpenTrees(), 1u);  // only the last job's tree is kept
}

}  // namespace
