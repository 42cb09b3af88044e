// The emulated recorder as the MMC layer sees it: the commands it refuses
// (and with which sense) by medium, the tray and long operations. Burning,
// appending, formatting, blanking, speeds, a second program on the image and
// the injected faults are exercised end to end through the library.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SdkTestSupport.h"
#include "devices/EmulatedAnswers.h"
#include "devices/FaultPlan.h"
#include "mmc/Bytes.h"
#include "mmc/MmcDrive.h"
#include "mmc/Profiles.h"

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
  void Load(const char* medium, const DriveModel& model) {
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
  page[writeparams::kFlags] = static_cast<uint8_t>(
      cd ? writeparams::kWriteTypeTrackAtOnce
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

// What the recorder refuses, by medium and by what was (not) done first.
enum class Act {
  kBlank,                // BLANK (full)
  kWriteUnformatted,     // WRITE to a blank overwritable disc
  kFormatWrongSize,      // FORMAT UNIT of a size the drive did not offer
  kWritePressed,         // WRITE to a pressed disc
  kWriteNoParameters,    // WRITE with the write parameters as at power-up (packet)
  kWriteAfterReload,     // WRITE with parameters set for the disc before a tray cycle
  kWriteAfterMinimal,    // incremental WRITE after a minimal blank
  kStreamNoTime,         // SET STREAMING with a descriptor without a time
  kEjectLocked,          // START STOP UNIT (eject) with removal prevented
  kWriteAway,            // WRITE away from the next writable address
  kCloseShortCdTrack,    // CLOSE TRACK of a CD track under 4 seconds (299 blocks)
  kWriteClosed,          // WRITE to a closed disc
  kReadUnwritten,        // READ of the block after the only track
  kWritePastEnd,         // WRITE of the last block and one past it
  kReadLastBlock,        // READ of the last block of a full overwritable disc: not refused
  kUnitAttentionAlways,  // TEST UNIT READY to a drive answering UNIT ATTENTION ten times
};

struct Refusal {
  const char* medium;
  Act act;
  StarBurnStatus status;
  uint8_t asc;  // 0: not checked
};

TEST(RecorderRefusalTest, WhatTheRecorderRefusesAndWithWhichSense) {
  // clang-format off
  const Refusal rows[] = {
      {"cd-r", Act::kBlank, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"dvd+r", Act::kBlank, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"bd-r", Act::kBlank, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"dvd-ram", Act::kBlank, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"dvd+rw", Act::kWriteUnformatted, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"bd-re", Act::kWriteUnformatted, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"dvd+rw", Act::kFormatWrongSize, STARBURN_STATUS_COMMAND_FAILED, asc::kInvalidFieldInParameters},
      {"bd-re", Act::kFormatWrongSize, STARBURN_STATUS_COMMAND_FAILED, asc::kInvalidFieldInParameters},
      {"dvd-ram", Act::kFormatWrongSize, STARBURN_STATUS_COMMAND_FAILED, asc::kInvalidFieldInParameters},
      {"dvd-rom", Act::kWritePressed, STARBURN_STATUS_INCOMPATIBLE_MEDIUM, 0},
      {"cd-r", Act::kWriteNoParameters, STARBURN_STATUS_COMMAND_FAILED, asc::kIllegalModeForTrack},
      {"cd-r", Act::kWriteAfterReload, STARBURN_STATUS_COMMAND_FAILED, asc::kIllegalModeForTrack},
      {"dvd-rw", Act::kWriteAfterMinimal, STARBURN_STATUS_COMMAND_FAILED, asc::kIllegalModeForTrack},
      {"dvd-r", Act::kStreamNoTime, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"bd-r", Act::kStreamNoTime, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"cd-r", Act::kEjectLocked, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"cd-r", Act::kWriteAway, STARBURN_STATUS_COMMAND_FAILED, asc::kAddress},
      {"bd-r", Act::kWriteAway, STARBURN_STATUS_COMMAND_FAILED, asc::kAddress},
      {"cd-r", Act::kCloseShortCdTrack, STARBURN_STATUS_COMMAND_FAILED, asc::kCommandSequenceError},
      {"cd-r", Act::kWriteClosed, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"dvd+r", Act::kWriteClosed, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"dvd-r", Act::kReadUnwritten, STARBURN_STATUS_COMMAND_FAILED, 0},
      {"dvd-ram", Act::kWritePastEnd, STARBURN_STATUS_NO_SPACE, 0},
      {"dvd-ram", Act::kReadLastBlock, STARBURN_OK, 0},
      {"cd-r", Act::kUnitAttentionAlways, STARBURN_STATUS_COMMAND_FAILED, asc::kParametersChanged},
  };
  // clang-format on
  for (const Refusal& row : rows) {
    SCOPED_TRACE(row.medium);
    const Medium& medium = *FindMedium(row.medium);
    const bool pressed = row.act == Act::kWritePressed;
    Rig rig(row.medium, DriveModel::AllMedia(),
            pressed ? sdktest::ImageBytes(0, 40, "PRESSED") : "");
    MmcDrive& mmc = *rig.mmc;
    StarBurnStatus status = STARBURN_OK;
    switch (row.act) {
      case Act::kBlank:
        status = mmc.Blank(kBlankFull);
        break;
      case Act::kWriteUnformatted:
      case Act::kWritePressed:
        PrepareWrite(mmc, medium.profile, false);
        status = WriteBlocks(mmc, 0, 1);
        break;
      case Act::kFormatWrongSize: {
        FormatCapacities offered;
        ASSERT_EQ(mmc.ReadFormatCapacities(&offered), STARBURN_OK);
        status = mmc.FormatUnit(0xFFFFFFFF, offered.formats.at(0).type, 0);
        break;
      }
      case Act::kWriteNoParameters:
        status = WriteBlocks(mmc, 0, 1);
        break;
      case Act::kWriteAfterReload:
        PrepareWrite(mmc, medium.profile, false);
        ASSERT_EQ(mmc.StartStopUnit(true, false), STARBURN_OK);
        ASSERT_EQ(mmc.StartStopUnit(true, true), STARBURN_OK);
        status = WriteBlocks(mmc, 0, 1);
        break;
      case Act::kWriteAfterMinimal:  // a DVD-RW is left to disc-at-once until fully blanked
        RecordSession(mmc, medium.profile, 300, false);
        ASSERT_EQ(mmc.Blank(kBlankMinimal), STARBURN_OK);
        PrepareWrite(mmc, medium.profile, false);
        status = WriteBlocks(mmc, 0, 16);
        break;
      case Act::kStreamNoTime: {
        auto descriptor = PerformanceDescriptor(0, medium.capacity - 1, 0, 0);
        PutBig32(&descriptor[streaming::kWriteTime], 0);
        ScsiCommand command;
        const Cdb cdb = SetStreamingCdb(kPerformanceDescriptorSize);
        command.cdb = cdb.bytes;
        command.cdbLength = cdb.length;
        command.direction = DataDirection::kToDevice;
        command.data = descriptor.data();
        command.length = kPerformanceDescriptorSize;
        status = StatusOf(opcode::kSetStreaming, rig.transport->Execute(command));
        break;
      }
      case Act::kEjectLocked:
        ASSERT_EQ(mmc.PreventMediumRemoval(true), STARBURN_OK);
        status = mmc.StartStopUnit(true, false);
        break;
      case Act::kWriteAway:
        PrepareWrite(mmc, medium.profile, false);
        status = WriteBlocks(mmc, medium.alignment, 1);
        break;
      case Act::kCloseShortCdTrack:
        PrepareWrite(mmc, medium.profile, false);
        ASSERT_EQ(WriteBlocks(mmc, 0, 299), STARBURN_OK);
        status = mmc.CloseTrackSession(kCloseTrack, 1);
        break;
      case Act::kWriteClosed:
        RecordSession(mmc, medium.profile, 300, true);
        ASSERT_EQ(Disc(mmc).discStatus, kDiscComplete);
        PrepareWrite(mmc, medium.profile, false);
        status = WriteBlocks(mmc, 1000, 1);
        break;
      case Act::kReadUnwritten:
      case Act::kReadLastBlock: {
        const bool unwritten = row.act == Act::kReadUnwritten;
        if (unwritten) RecordSession(mmc, medium.profile, 300, false);
        std::vector<uint8_t> block(kBlockSize);
        status = mmc.Read(unwritten ? 300 : medium.capacity - 1, 1, block.data());
        break;
      }
      case Act::kUnitAttentionAlways: {  // the retries end: the command fails
        FaultPlan plan;
        plan.commands.push_back({opcode::kTestUnitReady,
                                 0,
                                 10,
                                 {sensekey::kUnitAttention, asc::kParametersChanged, 0}});
        rig.recorder->SetFaults(plan);
        status = mmc.TestUnitReady();
        break;
      }
      case Act::kWritePastEnd:
        PrepareWrite(mmc, medium.profile, false);
        status = WriteBlocks(mmc, medium.capacity - 1, 2);
        break;
    }
    EXPECT_EQ(status, row.status) << static_cast<int>(row.act);
    if (row.asc != 0) {
      EXPECT_EQ(mmc.LastFailure().record.asc, row.asc) << static_cast<int>(row.act);
    }
  }
}

TEST(EmulatedRecorderTest, TrayEjectLoadAndTheUnitAttentionAfterALoad) {
  Rig rig("cd-r");
  MmcDrive& mmc = *rig.mmc;
  ASSERT_EQ(mmc.StartStopUnit(true, false), STARBURN_OK);
  EXPECT_EQ(mmc.TestUnitReady(), STARBURN_STATUS_NOT_READY);
  EXPECT_EQ(rig.Asc(), asc::kMediumNotPresent);
  EXPECT_EQ(mmc.LastFailure().record.ascq, 0x02);  // tray open
  Configuration configuration;
  ASSERT_EQ(mmc.GetConfiguration(kConfigurationCurrent, &configuration), STARBURN_OK);
  EXPECT_EQ(configuration.currentProfile, profile::kNone);
  // Another path pushes the tray back in with the same disc; the first path
  // hears of it once, then works; the MMC layer retries a unit attention itself.
  std::unique_ptr<ScsiTransport> second;
  std::string error;
  ASSERT_EQ(rig.recorder->Open(false, &second, &error), STARBURN_OK);
  ScsiCommand command;
  const Cdb cdb = TestUnitReadyCdb();
  command.cdb = cdb.bytes;
  command.cdbLength = cdb.length;
  ScsiResult result = rig.transport->Execute(command);
  EXPECT_EQ(result.status, kScsiCheckCondition);
  EXPECT_EQ(DecodeSense(result.sense.data(), result.senseLength).key, sensekey::kUnitAttention);
  EXPECT_EQ(rig.transport->Execute(command).status, kScsiGood);
  ASSERT_EQ(mmc.StartStopUnit(true, false), STARBURN_OK);
  ASSERT_EQ(mmc.StartStopUnit(true, true), STARBURN_OK);
  EXPECT_EQ(mmc.TestUnitReady(), STARBURN_OK);
  // An empty drive is not ready with its tray closed.
  std::shared_ptr<EmulatedRecorder> empty;
  ASSERT_EQ(EmulatedRecorder::Create(nullptr, "", DriveModel::AllMedia(), &empty, &error),
            STARBURN_OK);
  std::unique_ptr<ScsiTransport> path;
  ASSERT_EQ(empty->Open(false, &path, &error), STARBURN_OK);
  MmcDrive emptyDrive(*path);
  EXPECT_EQ(emptyDrive.TestUnitReady(), STARBURN_STATUS_NOT_READY);
  EXPECT_EQ(emptyDrive.LastFailure().record.ascq, 0x01);
}

TEST(EmulatedRecorderTest, LongOperationsStartedWithImmedShowTheirProgressUntilDone) {
  DriveModel model = DriveModel::AllMedia();
  model.longOperationPolls = 2;
  Rig rig("cd-rw", model);
  MmcDrive& mmc = *rig.mmc;
  PrepareWrite(mmc, profile::kCdRw, false);
  ASSERT_EQ(WriteBlocks(mmc, 0, 64), STARBURN_OK);
  // The flush: the drive reports a long write at 0% and 50%, other commands
  // wait for it, and its buffer empties as it goes.
  std::vector<uint16_t> progress;
  std::vector<uint32_t> held;
  ASSERT_EQ(mmc.SynchronizeCache([&](const SenseReport& report) {
    EXPECT_EQ(report.codes.ascq, kAscqLongWriteInProgress);
    progress.push_back(report.progress);
    BufferCapacity buffer;
    EXPECT_EQ(mmc.ReadBufferCapacity(&buffer), STARBURN_OK);
    held.push_back(buffer.size - buffer.free);
    EXPECT_EQ(mmc.TestUnitReady(), STARBURN_STATUS_NOT_READY);
  }),
            STARBURN_OK);
  EXPECT_EQ(progress, (std::vector<uint16_t>{0, 32768}));
  EXPECT_EQ(held, (std::vector<uint32_t>{64 * kBlockSize, 32 * kBlockSize}));
  EXPECT_EQ(mmc.TestUnitReady(), STARBURN_OK);
}

}  // namespace
