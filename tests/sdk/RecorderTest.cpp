// The emulated recorder as the MMC layer sees it: the commands it refuses
// (and with which sense) by medium, and its TOC. Burning,
// appending, formatting, blanking, speeds, a second program on the image and
// the injected faults are exercised end to end through the library.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "SdkTestSupport.h"
#include "mmc/MmcDrive.h"
#include "mmc/Profiles.h"
#include "virtual/FaultPlan.h"

namespace {

using namespace starburn;

struct Rig {
  sdktest::Scratch directory;
  std::string image = directory.File("disc.iso");
  std::shared_ptr<EmulatedRecorder> recorder;
  std::unique_ptr<ScsiTransport> transport;
  std::unique_ptr<MmcDrive> mmc;

  // The image holds content before the drive loads it.
  explicit Rig(const char* medium, const DriveModel& model = DriveModel::AllMedia(),
               const std::string& content = "") {
    if (!content.empty()) sdktest::WriteFile(image, content);
    Load(medium, model);
  }
  void Load(const char* medium, const DriveModel& model) {  // a drive in the place of the last
    mmc.reset(), transport.reset(), recorder.reset();
    std::string error;
    ASSERT_EQ(EmulatedRecorder::Create(FindMedium(medium), image, model, &recorder, &error),
              STARBURN_OK)
        << error;
    ASSERT_EQ(recorder->Open(true, &transport, &error), STARBURN_OK);
    mmc = std::make_unique<MmcDrive>(*transport);
  }
  uint8_t Asc() const { return mmc->LastFailure().record.asc; }
};

DiscInformation Disc(MmcDrive& mmc) {
  DiscInformation info;
  EXPECT_EQ(mmc.ReadDiscInformation(&info), STARBURN_OK) << mmc.LastFailure().message;
  return info;
}

TrackInformation Track(MmcDrive& mmc, uint32_t number) {
  TrackInformation track;
  EXPECT_EQ(mmc.ReadTrackInformation(number, &track), STARBURN_OK) << mmc.LastFailure().message;
  return track;
}

// Sets what a recording of profile needs: the speeds on DVD and BD, the write
// parameters on CD and DVD-R/-RW (with the link size the drive lists).
void PrepareWrite(MmcDrive& mmc, uint16_t profile, bool lastSession) {
  if (UsesStreamingSpeed(profile)) {
    ASSERT_EQ(mmc.SetStreaming(0, UINT32_MAX, kMaximumSpeed, kMaximumSpeed), STARBURN_OK);
  }
  if (!UsesWriteParametersPage(profile)) return;
  std::vector<uint8_t> page;
  ASSERT_EQ(mmc.ModeSense(kWriteParametersPage, &page), STARBURN_OK);
  const bool cd = IsCdProfile(profile);
  page[writeparams::kFlags] =
      static_cast<uint8_t>(cd ? writeparams::kWriteTypeTrackAtOnce
                              : writeparams::kWriteTypeIncremental | writeparams::kLinkSizeValid);
  page[writeparams::kLinkSize] = cd ? 0 : kDvdLinkSize;
  page[writeparams::kMultiSession] = static_cast<uint8_t>(
      ((lastSession ? writeparams::kMultiSessionNone : writeparams::kMultiSessionNext) << 6) |
      (cd ? writeparams::kTrackModeData : kDvdTrackMode));
  ASSERT_EQ(mmc.ModeSelect(page), STARBURN_OK) << mmc.LastFailure().message;
}

StarBurnStatus WriteBlocks(MmcDrive& mmc, uint32_t start, uint32_t blocks,
                           const std::string& label = "SESSION") {
  const std::string data = sdktest::ImageBytes(start, blocks, label);
  return mmc.Write(start, blocks, reinterpret_cast<const uint8_t*>(data.data()));
}

// Records one session of blocks blocks at the next writable address; answers
// where it started.
uint32_t RecordSession(MmcDrive& mmc, uint16_t profile, uint32_t blocks, bool lastSession) {
  const TrackInformation next = Track(mmc, kInvisibleTrack);
  EXPECT_TRUE(next.blank);
  PrepareWrite(mmc, profile, lastSession);
  EXPECT_EQ(WriteBlocks(mmc, next.nextWritable, blocks), STARBURN_OK) << mmc.LastFailure().message;
  EXPECT_EQ(mmc.SynchronizeCache(), STARBURN_OK);
  EXPECT_EQ(mmc.CloseTrackSession(kCloseTrack, next.track), STARBURN_OK);
  const bool plus = !UsesWriteParametersPage(profile);
  EXPECT_EQ(mmc.CloseTrackSession(lastSession && plus ? kFinalizeDisc : kCloseSession, 0),
            STARBURN_OK)
      << mmc.LastFailure().message;
  return next.nextWritable;
}

// What the recorder refuses, by medium and by what was (not) done first: each
// act sets the drive up and answers the status of the command it judges.
using Act = std::function<StarBurnStatus(Rig&, const Medium&)>;

// A WRITE of blocks blocks at the address at() gives, after before() and the
// write parameters (unless prepare is false).
Act WriteAt(const std::function<uint32_t(const Medium&)>& at, uint32_t blocks = 1,
            const std::function<void(MmcDrive&, const Medium&)>& before = nullptr,
            bool prepare = true) {
  return [=](Rig& rig, const Medium& medium) {
    if (before) before(*rig.mmc, medium);
    if (prepare) PrepareWrite(*rig.mmc, medium.profile, false);
    return WriteBlocks(*rig.mmc, at(medium), blocks);
  };
}
uint32_t Zero(const Medium&) { return 0; }

TEST(RecorderRefusalTest, WhatTheRecorderRefusesAndWithWhichSense) {
  const Act blank = [](Rig& rig, const Medium&) { return rig.mmc->Blank(kBlankFull); };
  const Act write = WriteAt(Zero);
  const Act formatWrongSize = [](Rig& rig, const Medium&) {  // a size the drive did not offer
    FormatCapacities offered;
    EXPECT_EQ(rig.mmc->ReadFormatCapacities(&offered), STARBURN_OK);
    return rig.mmc->FormatUnit(0xFFFFFFFF, offered.formats.at(0).type, 0);
  };
  const Act writeAway = WriteAt([](const Medium& medium) { return medium.alignment; });
  const Act writeClosed = WriteAt([](const Medium&) { return 1000u; }, 1,
                                  [](MmcDrive& mmc, const Medium& medium) {
                                    RecordSession(mmc, medium.profile, 300, true);
                                    EXPECT_EQ(Disc(mmc).discStatus, kDiscComplete);
                                  });
  const Act afterReload = WriteAt(
      Zero, 1,
      [](MmcDrive& mmc, const Medium& medium) {
        PrepareWrite(mmc, medium.profile, false);  // then a tray cycle
        EXPECT_EQ(mmc.StartStopUnit(true, false), STARBURN_OK);
        EXPECT_EQ(mmc.StartStopUnit(true, true), STARBURN_OK);
      },
      false);
  // A DVD-RW is left to disc-at-once until fully blanked.
  const Act afterMinimalBlank = WriteAt(Zero, 16, [](MmcDrive& mmc, const Medium& medium) {
    RecordSession(mmc, medium.profile, 300, false);
    EXPECT_EQ(mmc.Blank(kBlankMinimal), STARBURN_OK);
  });
  const Act ejectLocked = [](Rig& rig, const Medium&) {
    EXPECT_EQ(rig.mmc->PreventMediumRemoval(true), STARBURN_OK);
    return rig.mmc->StartStopUnit(true, false);
  };
  const Act closeShortCdTrack = [](Rig& rig, const Medium& medium) {  // under 4 seconds
    PrepareWrite(*rig.mmc, medium.profile, false);
    EXPECT_EQ(WriteBlocks(*rig.mmc, 0, 299), STARBURN_OK);
    return rig.mmc->CloseTrackSession(kCloseTrack, 1);
  };
  const Act unitAttentionAlways = [](Rig& rig, const Medium&) {  // the retries end
    FaultPlan plan;
    plan.commands.push_back(
        {opcode::kTestUnitReady, 0, 10, {sensekey::kUnitAttention, asc::kParametersChanged, 0}});
    rig.recorder->SetFaults(plan);
    return rig.mmc->TestUnitReady();
  };
  const Act read = [](Rig& rig, const Medium& medium) {
    std::vector<uint8_t> block(kBlockSize);
    const bool written = medium.kind != MediumClass::kOverwritable;
    if (written) {
      RecordSession(*rig.mmc, medium.profile, 300, false);
      EXPECT_EQ(Disc(*rig.mmc).sessions, 2);  // the closed one and the empty one after it
      Toc toc;  // from track 1 on: track 1 at block 0, then the lead-out
      EXPECT_EQ(rig.mmc->ReadToc(kTocFormatTracks, &toc), STARBURN_OK);
      EXPECT_EQ(toc.entries.size(), 2u);
      EXPECT_EQ(toc.entries.empty() ? 0 : toc.entries[0].track, 1);
    }
    return rig.mmc->Read(written ? 300 : medium.capacity - 1, 1, block.data());
  };
  const Act writeWithAReader = [](Rig& rig, const Medium& medium) {  // reads the disc, writes none
    DriveModel reader = DriveModel::CdROnly();
    reader.writeProfiles.clear();
    rig.Load(medium.name, reader);
    return WriteAt(Zero, 1, nullptr, false)(rig, medium);
  };
  const auto reserve = [](uint32_t more) -> Act {  // disc at once on a blank DVD-R
    return [more](Rig& rig, const Medium& medium) {
      std::vector<uint8_t> page;
      EXPECT_EQ(rig.mmc->ModeSense(kWriteParametersPage, &page), STARBURN_OK);
      page[writeparams::kFlags] = writeparams::kWriteTypeDiscAtOnce;
      EXPECT_EQ(rig.mmc->ModeSelect(page), STARBURN_OK) << rig.mmc->LastFailure().message;
      return rig.mmc->ReserveTrack(medium.capacity + more);
    };
  };
  const struct {
    const char* medium;
    const char* what;
    Act act;
    StarBurnStatus status;
    uint8_t asc;  // 0: not checked
  } rows[] = {
      // clang-format off
      {"cd-r", "BLANK", blank, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"dvd-ram", "BLANK", blank, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"dvd+rw", "WRITE unformatted", write, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"bd-re", "WRITE unformatted", write, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"dvd+rw", "FORMAT UNIT", formatWrongSize, STARBURN_STATUS_COMMAND_FAILED, asc::kInvalidFieldInParameters},
      {"bd-re", "FORMAT UNIT", formatWrongSize, STARBURN_STATUS_COMMAND_FAILED, asc::kInvalidFieldInParameters},
      {"dvd-rom", "WRITE pressed", write, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"cd-r", "WRITE with a drive that only reads the medium", writeWithAReader, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, asc::kIncompatibleMedium},
      {"cd-r", "WRITE with the parameters of power-up (packet)", WriteAt(Zero, 1, nullptr, false), STARBURN_STATUS_COMMAND_FAILED, asc::kIllegalModeForTrack},
      {"cd-r", "WRITE with parameters set before a tray cycle", afterReload, STARBURN_STATUS_COMMAND_FAILED, asc::kIllegalModeForTrack},
      {"dvd-rw", "incremental WRITE after a minimal blank", afterMinimalBlank, STARBURN_STATUS_COMMAND_FAILED, asc::kIllegalModeForTrack},
      {"cd-r", "eject with removal prevented", ejectLocked, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"cd-r", "WRITE away from the next writable address", writeAway, STARBURN_STATUS_COMMAND_FAILED, asc::kAddress},
      {"cd-r", "CLOSE TRACK under 4 seconds", closeShortCdTrack, STARBURN_STATUS_COMMAND_FAILED, asc::kCommandSequenceError},
      {"cd-r", "WRITE to a closed disc", writeClosed, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"dvd+r", "WRITE to a closed disc", writeClosed, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"dvd-r", "READ after the only track", read, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"dvd-ram", "WRITE of the last block and one past it", WriteAt([](const Medium& medium) { return medium.capacity - 1; }, 2), STARBURN_STATUS_NO_SPACE, 0},
      {"dvd-ram", "READ of the last block of a full overwritable disc", read, STARBURN_OK, 0},
      {"cd-r", "TEST UNIT READY always answered UNIT ATTENTION", unitAttentionAlways, STARBURN_STATUS_COMMAND_FAILED, asc::kParametersChanged},
      {"dvd-r", "RESERVE TRACK of the whole disc", reserve(0), STARBURN_OK, 0},
      {"dvd-r", "RESERVE TRACK of a block more than the disc", reserve(1), STARBURN_STATUS_COMMAND_FAILED, asc::kInvalidFieldInCdb},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.medium) + ": " + row.what);
    Rig rig(row.medium, DriveModel::AllMedia(),
            row.medium == std::string("dvd-rom") ? sdktest::ImageBytes(0, 40, "PRESSED") : "");
    EXPECT_EQ(row.act(rig, *FindMedium(row.medium)), row.status);
    if (row.asc != 0) {
      EXPECT_EQ(rig.Asc(), row.asc);
    }
  }
}

// A track closed in a session that is not closed yet is not in the TOC.
TEST(EmulatedRecorderTest, TheTocListsTheTracksOfClosedSessionsOnly) {
  Rig rig("cd-r");
  MmcDrive& mmc = *rig.mmc;
  RecordSession(mmc, profile::kCdR, 300, false);
  const TrackInformation next = Track(mmc, kInvisibleTrack);
  ASSERT_EQ(WriteBlocks(mmc, next.nextWritable, 300), STARBURN_OK);
  ASSERT_EQ(mmc.CloseTrackSession(kCloseTrack, next.track), STARBURN_OK);
  Toc toc;
  ASSERT_EQ(mmc.ReadToc(kTocFormatTracks, &toc), STARBURN_OK);
  EXPECT_EQ(toc.last, 1);
  EXPECT_EQ(toc.entries.size(), 2u);  // track 1 and the lead-out
}

}  // namespace
