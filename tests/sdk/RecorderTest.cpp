// The emulated recorder as the MMC layer sees it, by medium: what the drive
// reports from blank through three sessions to a closed disc, the commands it
// refuses (and with which sense), formatting and overwriting, the tray, speeds,
// long operations, a second program on the image and the faults it can be told
// to show.

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "SdkTestSupport.h"
#include "devices/EmulatedAnswers.h"
#include "devices/Sidecar.h"
#include "mmc/Bytes.h"
#include "mmc/MmcDrive.h"
#include "mmc/Profiles.h"

namespace {

using namespace starburn;
using sdktest::ImageBlock;

struct Rig {
  sdktest::Scratch directory;
  std::string image = directory.File("disc.iso");
  std::shared_ptr<EmulatedRecorder> recorder;
  std::unique_ptr<ScsiTransport> transport;
  std::unique_ptr<MmcDrive> mmc;

  explicit Rig(const char* medium, const DriveModel& model = DriveModel::AllMedia()) {
    Load(medium, model);
  }
  void Load(const char* medium, const DriveModel& model = DriveModel::AllMedia()) {
    mmc.reset();
    transport.reset();
    std::string error;
    ASSERT_EQ(EmulatedRecorder::Create(FindMedium(medium), image, model, &recorder, &error),
              STARBURN_OK)
        << error;
    Reconnect();
  }
  void Reconnect() {
    mmc.reset();
    transport.reset();
    std::string error;
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
void PrepareWrite(MmcDrive& mmc, uint16_t profile, bool lastSession, bool test = false) {
  if (UsesStreamingSpeed(profile)) {
    ASSERT_EQ(mmc.SetStreaming(0, UINT32_MAX, kMaximumSpeed, kMaximumSpeed), STARBURN_OK);
  }
  if (!UsesWriteParametersPage(profile)) return;
  std::vector<uint8_t> page;
  ASSERT_EQ(mmc.ModeSense(kWriteParametersPage, &page), STARBURN_OK);
  const bool cd = IsCdProfile(profile);
  page[writeparams::kFlags] =
      static_cast<uint8_t>((cd ? writeparams::kWriteTypeTrackAtOnce
                               : writeparams::kWriteTypeIncremental | writeparams::kLinkSizeValid) |
                           (test ? writeparams::kTestWrite : 0));
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

std::vector<uint8_t> ReadBlock(MmcDrive& mmc, uint32_t lba) {
  std::vector<uint8_t> block(kBlockSize);
  EXPECT_EQ(mmc.Read(lba, 1, block.data()), STARBURN_OK) << lba;
  return block;
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

class SequentialMediumTest : public testing::TestWithParam<const char*> {};

TEST_P(SequentialMediumTest, BlankThroughThreeSessionsToClosed) {
  Rig rig(GetParam());
  const Medium& medium = *FindMedium(GetParam());
  MmcDrive& mmc = *rig.mmc;
  Configuration configuration;
  ASSERT_EQ(mmc.GetConfiguration(kConfigurationCurrent, &configuration), STARBURN_OK);
  EXPECT_EQ(configuration.currentProfile, medium.profile);
  DiscInformation info = Disc(mmc);
  EXPECT_EQ(info.discStatus, kDiscBlank);
  EXPECT_EQ(info.erasable, medium.erasable);
  EXPECT_EQ(info.sessions, 1);
  const bool cd = IsCdProfile(medium.profile);
  const uint32_t leadOut = info.lastPossibleLeadOut;
  EXPECT_EQ(
      cd ? ((leadOut >> 16) * 60 + ((leadOut >> 8) & 0xFF)) * 75 + (leadOut & 0xFF) - 150 : leadOut,
      medium.capacity);
  TrackInformation next = Track(mmc, kInvisibleTrack);
  EXPECT_EQ(next.track, 1);
  EXPECT_EQ(next.nextWritable, 0u);
  EXPECT_EQ(next.freeBlocks, medium.capacity);
  Toc toc;
  EXPECT_EQ(mmc.ReadToc(kTocFormatSessions, &toc), STARBURN_STATUS_COMMAND_FAILED);  // no session

  // Three sessions: each starts after the medium's session gap.
  const uint32_t sizes[3] = {320, 301, 364};  // a CD track is 300 blocks at least
  uint32_t starts[3];
  uint64_t expected = 0;
  for (int s = 0; s < 3; ++s) {
    starts[s] = RecordSession(mmc, medium.profile, sizes[s], false);
    EXPECT_EQ(starts[s], expected) << "session " << s + 1;
    info = Disc(mmc);
    EXPECT_EQ(info.discStatus, kDiscAppendable);
    EXPECT_EQ(info.lastSessionState, kSessionEmpty);
    EXPECT_EQ(info.sessions, s + 2);  // the closed ones and the empty next one
    const TrackInformation closed = Track(mmc, s + 1);
    EXPECT_EQ(closed.start, starts[s]);
    EXPECT_EQ(closed.size, sizes[s]);
    EXPECT_FALSE(closed.nextWritableValid);
    EXPECT_EQ(closed.session, s + 1);
    ASSERT_EQ(mmc.ReadToc(kTocFormatSessions, &toc), STARBURN_OK);
    EXPECT_EQ(toc.last, s + 1);
    EXPECT_EQ(toc.entries.at(0).address, starts[s]);
    const uint32_t gap = s == 0 ? medium.firstSessionGap : medium.laterSessionGap;
    expected = (uint64_t{starts[s]} + sizes[s] + gap + medium.alignment - 1) / medium.alignment *
               medium.alignment;
    next = Track(mmc, kInvisibleTrack);
    EXPECT_EQ(next.nextWritable, expected);
    EXPECT_EQ(next.freeBlocks, medium.capacity - expected);
    EXPECT_EQ(next.session, s + 2);
  }
  ASSERT_EQ(mmc.ReadToc(kTocFormatTracks, &toc), STARBURN_OK);
  ASSERT_EQ(toc.entries.size(), 4u);  // three tracks and the lead-out
  EXPECT_EQ(toc.entries[3].track, kLeadOutTrack);
  EXPECT_EQ(toc.entries[3].address, starts[2] + sizes[2]);
  for (int s = 0; s < 3; ++s) {  // the sessions read back as written
    for (uint32_t i : {0u, 16u, sizes[s] - 1}) {
      EXPECT_EQ(ReadBlock(mmc, starts[s] + i), ImageBlock(starts[s], sizes[s], "SESSION", i));
    }
  }
  std::vector<uint8_t> block(kBlockSize);
  EXPECT_EQ(mmc.Read(starts[0] + sizes[0], 1, block.data()), STARBURN_STATUS_COMMAND_FAILED);

  // A write away from the next writable address is refused; a CD track under
  // 4 seconds is not closed (and given up with its path).
  PrepareWrite(mmc, medium.profile, false);
  EXPECT_EQ(WriteBlocks(mmc, static_cast<uint32_t>(expected) + medium.alignment, 1),
            STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(rig.Asc(), asc::kAddress);
  if (cd) {
    ASSERT_EQ(WriteBlocks(mmc, static_cast<uint32_t>(expected), 299), STARBURN_OK);
    EXPECT_EQ(mmc.CloseTrackSession(kCloseTrack, next.track), STARBURN_STATUS_COMMAND_FAILED);
    EXPECT_EQ(rig.Asc(), asc::kCommandSequenceError);
  }
  // The drive comes back with the same disc from the sidecar; the last
  // session closes the disc.
  rig.Load(GetParam());
  EXPECT_EQ(Track(*rig.mmc, 3).start, starts[2]);
  EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).nextWritable, expected);
  RecordSession(*rig.mmc, medium.profile, 300, true);
  info = Disc(*rig.mmc);
  EXPECT_EQ(info.discStatus, kDiscComplete);
  EXPECT_EQ(info.sessions, 4);
  EXPECT_EQ(rig.mmc->ReadTrackInformation(kInvisibleTrack, &next), STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(WriteBlocks(*rig.mmc, static_cast<uint32_t>(expected) + 300, 1),
            STARBURN_STATUS_COMMAND_FAILED);

  // An open session whose track ends one cluster before the end: the last
  // cluster is written, a block past it is refused.
  const uint32_t room = 32, end = medium.capacity - room;
  sdktest::WriteFile(rig.image, "");
  ASSERT_EQ(truncate(rig.image.c_str(), uint64_t{end} * kBlockSize), 0);
  sdktest::WriteFile(SidecarPathOf(rig.image),
                     std::string("starburn-virtual-disc 1\nmedium ") + medium.name +
                         "\ndisc appendable\nsession open\ntrack 0 " + std::to_string(end) + "\n");
  rig.Load(GetParam());
  EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).freeBlocks, room);
  PrepareWrite(*rig.mmc, medium.profile, false);
  EXPECT_EQ(WriteBlocks(*rig.mmc, end, room - 1), STARBURN_OK) << rig.mmc->LastFailure().message;
  EXPECT_EQ(WriteBlocks(*rig.mmc, end + room - 1, 2), STARBURN_STATUS_NO_SPACE);
  EXPECT_EQ(WriteBlocks(*rig.mmc, end + room - 1, 1), STARBURN_OK);
  EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).freeBlocks, 0u);
}

INSTANTIATE_TEST_SUITE_P(WrittenOnceAndSequential, SequentialMediumTest,
                         testing::Values("cd-r", "cd-rw", "dvd-r", "dvd-rw", "dvd+r", "dvd+r-dl",
                                         "bd-r"),
                         [](const auto& info) {
                           std::string name;
                           for (const char* c = info.param; *c != 0; ++c) {
                             name += *c == '+' ? "plus" : *c == '-' ? "_" : std::string(1, *c);
                           }
                           return name;
                         });

// What the recorder refuses, by medium and by what was (not) done first.
enum class Act {
  kBlank,              // BLANK (full)
  kWriteUnformatted,   // WRITE to a blank overwritable disc
  kFormatWrongSize,    // FORMAT UNIT of a size the drive did not offer
  kWritePressed,       // WRITE to a pressed disc
  kWriteNoParameters,  // WRITE with the write parameters as at power-up (packet)
  kWriteAfterReload,   // WRITE with parameters set for the disc before a tray cycle
  kWriteAfterMinimal,  // incremental WRITE after a minimal blank
  kStreamNoTime,       // SET STREAMING with a descriptor without a time
  kEjectLocked,        // START STOP UNIT (eject) with removal prevented
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
  };
  // clang-format on
  for (const Refusal& row : rows) {
    SCOPED_TRACE(row.medium);
    sdktest::Scratch directory;
    if (row.act == Act::kWritePressed) {
      sdktest::WriteFile(directory.File("disc.iso"), sdktest::ImageBytes(0, 40, "PRESSED"));
    }
    const Medium& medium = *FindMedium(row.medium);
    std::shared_ptr<EmulatedRecorder> recorder;
    std::unique_ptr<ScsiTransport> transport;
    std::string error;
    ASSERT_EQ(EmulatedRecorder::Create(&medium, directory.File("disc.iso"), DriveModel::AllMedia(),
                                       &recorder, &error),
              STARBURN_OK);
    ASSERT_EQ(recorder->Open(true, &transport, &error), STARBURN_OK);
    MmcDrive mmc(*transport);
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
        status = StatusOf(opcode::kSetStreaming, transport->Execute(command));
        break;
      }
      case Act::kEjectLocked:
        ASSERT_EQ(mmc.PreventMediumRemoval(true), STARBURN_OK);
        status = mmc.StartStopUnit(true, false);
        break;
    }
    EXPECT_EQ(status, row.status) << static_cast<int>(row.act);
    if (row.asc != 0) {
      EXPECT_EQ(mmc.LastFailure().record.asc, row.asc) << static_cast<int>(row.act);
    }
  }
}

TEST(EmulatedRecorderTest, RewritableDiscsBlankBackToBlankAndOverwritableOnesAreWrittenAnywhere) {
  for (const char* name : {"cd-rw", "dvd-rw"}) {
    Rig rig(name);
    const uint16_t profile = FindMedium(name)->profile;
    RecordSession(*rig.mmc, profile, 300, false);
    RecordSession(*rig.mmc, profile, 320, false);
    ASSERT_EQ(rig.mmc->Blank(kBlankFull), STARBURN_OK) << name;
    EXPECT_EQ(Disc(*rig.mmc).discStatus, kDiscBlank);
    EXPECT_EQ(sdktest::ReadFile(rig.image).size(), 0u);
    EXPECT_NE(sdktest::ReadFile(SidecarPathOf(rig.image)).find("disc blank"), std::string::npos);
    EXPECT_EQ(RecordSession(*rig.mmc, profile, 300, false), 0u) << "blank again, written again";
  }
  for (const char* name : {"dvd+rw", "bd-re", "dvd-ram"}) {
    Rig rig(name);
    const Medium& medium = *FindMedium(name);
    MmcDrive& mmc = *rig.mmc;
    const bool preformatted = medium.profile == profile::kDvdRam;
    EXPECT_EQ(Disc(mmc).discStatus, preformatted ? kDiscOther : kDiscBlank) << name;
    PrepareWrite(mmc, medium.profile, false);
    // The drive offers one format of the whole disc.
    FormatCapacities offered;
    ASSERT_EQ(mmc.ReadFormatCapacities(&offered), STARBURN_OK);
    EXPECT_EQ(offered.currentState, preformatted ? kCapacityFormatted : kCapacityUnformatted);
    ASSERT_EQ(offered.formats.size(), 1u);
    const FormatCapacity format = offered.formats[0];
    EXPECT_EQ(format.type, medium.profile == profile::kDvdPlusRw ? kFormatDvdPlusRw : kFormatFull);
    EXPECT_EQ(format.blocks, medium.capacity);
    if (!preformatted) {
      ASSERT_EQ(mmc.FormatUnit(format.blocks, format.type, format.parameter), STARBURN_OK);
    }
    EXPECT_EQ(Disc(mmc).discStatus, kDiscOther);
    EXPECT_TRUE(Disc(mmc).erasable);
    EXPECT_EQ(Track(mmc, 1).size, medium.capacity);
    // Anywhere, in any order, and again over the same blocks.
    EXPECT_EQ(WriteBlocks(mmc, 5000, 3, "LATER"), STARBURN_OK);
    EXPECT_EQ(WriteBlocks(mmc, 0, 20, "FIRST"), STARBURN_OK);
    EXPECT_EQ(WriteBlocks(mmc, 16, 1, "AGAIN"), STARBURN_OK);
    EXPECT_EQ(ReadBlock(mmc, 5001), ImageBlock(5000, 3, "LATER", 1));
    EXPECT_EQ(ReadBlock(mmc, 16), ImageBlock(16, 1, "AGAIN", 0));
    EXPECT_EQ(ReadBlock(mmc, 100), std::vector<uint8_t>(kBlockSize, 0));  // never written
    EXPECT_EQ(WriteBlocks(mmc, medium.capacity - 1, 2), STARBURN_STATUS_NO_SPACE);
    EXPECT_EQ(mmc.Blank(kBlankMinimal), STARBURN_STATUS_INCOMPATIBLE_MEDIUM);
    rig.Load(name);  // the sidecar keeps the format; the image keeps the data
    EXPECT_EQ(Disc(*rig.mmc).discStatus, kDiscOther);
    EXPECT_EQ(ReadBlock(*rig.mmc, 5000), ImageBlock(5000, 3, "LATER", 0));
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

// Speeds round down to what the disc takes: CD by SET CD SPEED, DVD and BD by
// SET STREAMING; a test write records nothing.
TEST(EmulatedRecorderTest, SpeedsRoundDownAndATestWriteRecordsNothing) {
  const struct {
    const char* medium;
    uint32_t askRead, askWrite;  // 0: the disc's slowest read and second write speed + 1
    uint32_t read, write;        // 0: the same, without the + 1
  } rows[] = {{"cd-r", 3600, 1400, 3528, 706},  // 20x is the fastest read not above 3600
              {"cd-r", 100, 100, 1764, 706},    // below the slowest: the slowest
              {"dvd-r", 0, 0, 0, 0},
              {"bd-r", 0, 0, 0, 0}};
  for (const auto& row : rows) {
    Rig rig(row.medium);
    MmcDrive& mmc = *rig.mmc;
    const Medium& medium = *FindMedium(row.medium);
    std::vector<uint8_t> page;
    ASSERT_EQ(mmc.ModeSense(kCapabilitiesPage, &page), STARBURN_OK);
    if (row.askRead != 0) {
      EXPECT_EQ(GetBig16(&page[capabilities::kCurrentWriteSpeed]), 8467u);  // 48x at first
      ASSERT_EQ(mmc.SetCdSpeed(row.askRead, row.askWrite), STARBURN_OK);
    } else {
      ASSERT_EQ(mmc.SetStreaming(0, medium.capacity - 1, medium.readSpeeds.back(),
                                 medium.writeSpeeds[1] + 1),
                STARBURN_OK);
    }
    ASSERT_EQ(mmc.ModeSense(kCapabilitiesPage, &page), STARBURN_OK);
    EXPECT_EQ(GetBig16(&page[capabilities::kCurrentReadSpeed]),
              row.read != 0 ? row.read : medium.readSpeeds.back());
    EXPECT_EQ(GetBig16(&page[capabilities::kCurrentWriteSpeed]),
              row.write != 0 ? row.write : medium.writeSpeeds[1]);
    std::vector<WriteSpeed> list;
    ASSERT_EQ(mmc.GetWriteSpeeds(&list), STARBURN_OK);
    EXPECT_EQ(list.size(), medium.writeSpeeds.size());
    BufferCapacity buffer;
    ASSERT_EQ(mmc.ReadBufferCapacity(&buffer), STARBURN_OK);
    EXPECT_EQ(buffer.size, 4u << 20);
    EXPECT_EQ(buffer.free, buffer.size);
    PrepareWrite(mmc, medium.profile, false, /*test=*/true);
    EXPECT_EQ(WriteBlocks(mmc, 0, 16), STARBURN_OK) << mmc.LastFailure().message;
    if (IsCdProfile(medium.profile)) {
      EXPECT_EQ(list.front().writeSpeed, 8467u);
      EXPECT_EQ(mmc.CloseTrackSession(kCloseTrack, 1), STARBURN_OK);
      EXPECT_EQ(Disc(mmc).discStatus, kDiscBlank);
      EXPECT_EQ(sdktest::ReadFile(rig.image).size(), 0u);
    }
  }
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
  progress.clear();
  ASSERT_EQ(mmc.Blank(kBlankMinimal,
                      [&](const SenseReport& report) {
                        EXPECT_TRUE(report.hasProgress);
                        progress.push_back(report.progress);
                      }),
            STARBURN_OK);
  EXPECT_EQ(progress, (std::vector<uint16_t>{0, 32768}));
  EXPECT_EQ(Disc(mmc).discStatus, kDiscBlank);
}

// An unclosed track is forgotten when its path closes; a second program with
// the image (as a second process attaches it) finds the drive busy until the
// first lets go, then the disc as written.
TEST(EmulatedRecorderTest, OpenTracksAndAnotherProgramHoldingTheImage) {
  Rig writer("dvd+r");
  RecordSession(*writer.mmc, profile::kDvdPlusR, 20, false);
  const uint32_t next = Track(*writer.mmc, kInvisibleTrack).nextWritable;
  ASSERT_EQ(WriteBlocks(*writer.mmc, next, 8), STARBURN_OK);
  EXPECT_EQ(Track(*writer.mmc, kInvisibleTrack).nextWritable, next + 8);
  EXPECT_EQ(Disc(*writer.mmc).lastSessionState, kSessionIncomplete);
  writer.Reconnect();
  EXPECT_EQ(Track(*writer.mmc, kInvisibleTrack).nextWritable, next);
  EXPECT_EQ(Disc(*writer.mmc).lastSessionState, kSessionEmpty);
  PrepareWrite(*writer.mmc, profile::kDvdPlusR, false);
  ASSERT_EQ(WriteBlocks(*writer.mmc, next, 32), STARBURN_OK);  // a track half written

  std::shared_ptr<EmulatedRecorder> other;
  std::string error;
  ASSERT_EQ(EmulatedRecorder::Create(FindMedium("dvd+r"), writer.image, DriveModel::AllMedia(),
                                     &other, &error),
            STARBURN_OK)
      << error;
  std::unique_ptr<ScsiTransport> path;
  EXPECT_EQ(other->Open(true, &path, &error), STARBURN_STATUS_DEVICE_BUSY);
  EXPECT_NE(error.find("another program is using the drive"), std::string::npos) << error;
  ASSERT_EQ(other->Open(false, &path, &error), STARBURN_OK) << error;
  MmcDrive reader(*path);
  InquiryData identity;
  EXPECT_EQ(reader.Inquiry(&identity), STARBURN_OK);
  Configuration configuration;
  ASSERT_EQ(reader.GetConfiguration(kConfigurationCurrent, &configuration), STARBURN_OK);
  EXPECT_EQ(configuration.currentProfile, profile::kDvdPlusR);
  DiscInformation info;
  EXPECT_EQ(reader.ReadDiscInformation(&info), STARBURN_STATUS_DEVICE_BUSY);  // not half a disc
  path.reset();
  ASSERT_EQ(writer.mmc->SynchronizeCache(), STARBURN_OK);
  ASSERT_EQ(writer.mmc->CloseTrackSession(kCloseTrack, 2), STARBURN_OK);
  writer.mmc.reset();
  writer.transport.reset();  // the writer lets go
  ASSERT_EQ(other->Open(true, &path, &error), STARBURN_OK) << error;
  MmcDrive after(*path);
  const TrackInformation written = Track(after, 2);
  EXPECT_FALSE(written.blank);
  EXPECT_EQ(written.size, 32u);
}

TEST(EmulatedRecorderTest, InjectedFaults) {
  Rig rig("cd-r");
  MmcDrive& mmc = *rig.mmc;
  RecordSession(mmc, profile::kCdR, 300, false);
  // A command fails with the sense it was given, after the given number of
  // successes, the given number of times.
  FaultPlan plan;
  plan.commands.push_back({opcode::kSynchronizeCache, 1, 1, {sensekey::kMediumError, 0x0C, 0x00}});
  rig.recorder->SetFaults(plan);
  EXPECT_EQ(mmc.SynchronizeCache(), STARBURN_OK);
  EXPECT_EQ(mmc.SynchronizeCache(), STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(mmc.LastFailure().record.senseKey, sensekey::kMediumError);
  EXPECT_EQ(mmc.SynchronizeCache(), STARBURN_OK);
  plan = FaultPlan();
  plan.notReady = true;
  rig.recorder->SetFaults(plan);
  EXPECT_EQ(mmc.TestUnitReady(), STARBURN_STATUS_NOT_READY);
  InquiryData identity;
  EXPECT_EQ(mmc.Inquiry(&identity), STARBURN_OK);  // the drive itself still answers
  // Power fails at a block: the blocks before it are stored, the path is dead,
  // a new path finds them as a damaged track.
  rig.recorder->SetFaults(FaultPlan());
  const uint32_t next = Track(mmc, kInvisibleTrack).nextWritable;
  plan = FaultPlan();
  plan.powerLossAt = next + 10;
  rig.recorder->SetFaults(plan);
  PrepareWrite(mmc, profile::kCdR, false);
  EXPECT_EQ(WriteBlocks(mmc, next, 32, "POWER"), STARBURN_STATUS_DEVICE_GONE);
  EXPECT_EQ(mmc.TestUnitReady(), STARBURN_STATUS_DEVICE_GONE);
  EXPECT_EQ(sdktest::ImageFileBlock(rig.image, next + 9), ImageBlock(next, 32, "POWER", 9));
  EXPECT_NE(sdktest::ImageFileBlock(rig.image, next + 10), ImageBlock(next, 32, "POWER", 10));
  rig.Reconnect();
  const TrackInformation cut = Track(*rig.mmc, 2);
  EXPECT_TRUE(cut.damage);
  EXPECT_EQ(std::make_pair(cut.start, cut.size), std::make_pair(next, 10u));
  EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).nextWritable, next + 10);
}

}  // namespace
