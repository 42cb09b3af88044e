// The MMC layer against the emulated recorder, by medium: what a drive reports
// from blank through one, two and three sessions to a closed disc, blanking,
// formatting and overwriting, the rules on write addresses and capacity, the
// tray, speeds and the faults it can be told to show.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EmulatedDiscFixture.h"
#include "devices/EmulatedAnswers.h"
#include "devices/EmulatedRecorder.h"
#include "devices/Medium.h"
#include "devices/Sidecar.h"
#include "mmc/Bytes.h"
#include "mmc/MmcDrive.h"
#include "mmc/Profiles.h"

namespace {

using namespace starburn;
using drivetest::ImageBlock;
using drivetest::ScratchDirectory;

struct Rig {
  ScratchDirectory directory;
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

// States the speeds a DVD or BD recorder writes at.
void StateSpeeds(MmcDrive& mmc) {
  ASSERT_EQ(mmc.SetStreaming(0, UINT32_MAX, kMaximumSpeed, kMaximumSpeed), STARBURN_OK)
      << mmc.LastFailure().message;
}

// Sets what a recording of profile needs: the speeds on DVD and BD, the write
// parameters on CD and DVD-R/-RW (with the link size the drive lists).
void PrepareWrite(MmcDrive& mmc, uint16_t profile, bool lastSession, bool test = false) {
  if (UsesStreamingSpeed(profile)) StateSpeeds(mmc);
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
  std::vector<uint8_t> data;
  for (uint32_t i = 0; i < blocks; ++i) {
    const auto block = ImageBlock(start, blocks, label, i);
    data.insert(data.end(), block.begin(), block.end());
  }
  return mmc.Write(start, blocks, data.data());
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

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
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

  // Session 1, then two more: each starts after the medium's session gap.
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
    expected = AlignUp(uint64_t{starts[s]} + sizes[s] + gap, medium.alignment);
    next = Track(mmc, kInvisibleTrack);
    EXPECT_EQ(next.nextWritable, expected);
    EXPECT_EQ(next.freeBlocks, medium.capacity - expected);
    EXPECT_EQ(next.session, s + 2);
  }
  ASSERT_EQ(mmc.ReadToc(kTocFormatTracks, &toc), STARBURN_OK);
  ASSERT_EQ(toc.entries.size(), 4u);  // three tracks and the lead-out
  EXPECT_EQ(toc.entries[3].track, kLeadOutTrack);
  EXPECT_EQ(toc.entries[3].address, starts[2] + sizes[2]);

  // The sessions read back as written.
  std::vector<uint8_t> block(kBlockSize);
  for (int s = 0; s < 3; ++s) {
    for (uint32_t i : {0u, 16u, sizes[s] - 1}) {
      ASSERT_EQ(mmc.Read(starts[s] + i, 1, block.data()), STARBURN_OK);
      EXPECT_EQ(block, ImageBlock(starts[s], sizes[s], "SESSION", i));
    }
  }
  EXPECT_EQ(mmc.Read(starts[0] + sizes[0], 1, block.data()), STARBURN_STATUS_COMMAND_FAILED);

  // A write away from the next writable address is refused.
  PrepareWrite(mmc, medium.profile, false);
  EXPECT_EQ(WriteBlocks(mmc, static_cast<uint32_t>(expected) + medium.alignment, 1),
            STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(rig.Asc(), asc::kAddress);

  if (IsCdProfile(medium.profile)) {  // a CD track under 4 seconds is not closed
    ASSERT_EQ(WriteBlocks(mmc, static_cast<uint32_t>(expected), 299), STARBURN_OK);
    EXPECT_EQ(mmc.CloseTrackSession(kCloseTrack, next.track), STARBURN_STATUS_COMMAND_FAILED);
    EXPECT_EQ(rig.Asc(), asc::kCommandSequenceError);
    rig.Reconnect();  // the track is given up
  }

  // The drive comes back with the same disc from the sidecar.
  rig.Load(GetParam());
  EXPECT_EQ(Track(*rig.mmc, 3).start, starts[2]);
  EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).nextWritable, expected);

  // The last session closes the disc.
  RecordSession(*rig.mmc, medium.profile, 300, true);
  info = Disc(*rig.mmc);
  EXPECT_EQ(info.discStatus, kDiscComplete);
  EXPECT_EQ(info.sessions, 4);
  EXPECT_EQ(rig.mmc->ReadTrackInformation(kInvisibleTrack, &next), STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(WriteBlocks(*rig.mmc, static_cast<uint32_t>(expected) + 300, 1),
            STARBURN_STATUS_COMMAND_FAILED);
}

TEST_P(SequentialMediumTest, AWritePastTheCapacityIsRefused) {
  const Medium& medium = *FindMedium(GetParam());
  ScratchDirectory directory;
  const std::string image = directory.File("disc.iso");
  // An open session holding one track that ends one cluster before the end.
  const uint32_t room = 32;
  const uint32_t end = medium.capacity - room;
  ASSERT_EQ(truncate((drivetest::WriteFile(image, ""), image.c_str()), uint64_t{end} * kBlockSize),
            0);
  drivetest::WriteFile(SidecarPathOf(image), std::string("starburn-virtual-disc 1\nmedium ") +
                                                 medium.name + "\ndisc appendable\nsession open\n" +
                                                 "track 0 " + std::to_string(end) + "\n");
  std::shared_ptr<EmulatedRecorder> recorder;
  std::string error;
  ASSERT_EQ(EmulatedRecorder::Create(&medium, image, DriveModel::AllMedia(), &recorder, &error),
            STARBURN_OK)
      << error;
  std::unique_ptr<ScsiTransport> transport;
  ASSERT_EQ(recorder->Open(true, &transport, &error), STARBURN_OK);
  MmcDrive mmc(*transport);
  EXPECT_EQ(Track(mmc, kInvisibleTrack).freeBlocks, room);
  PrepareWrite(mmc, medium.profile, false);
  EXPECT_EQ(WriteBlocks(mmc, end, room - 1), STARBURN_OK) << mmc.LastFailure().message;
  EXPECT_EQ(WriteBlocks(mmc, end + room - 1, 2), STARBURN_STATUS_NO_SPACE);
  EXPECT_EQ(WriteBlocks(mmc, end + room - 1, 1), STARBURN_OK);
  EXPECT_EQ(Track(mmc, kInvisibleTrack).freeBlocks, 0u);
}

INSTANTIATE_TEST_SUITE_P(WrittenOnceAndSequential, SequentialMediumTest,
                         testing::Values("cd-r", "cd-rw", "dvd-r", "dvd-rw", "dvd+r", "dvd+r-dl",
                                         "bd-r"),
                         [](const auto& info) { return drivetest::MediumTestName(info.param); });

TEST(EmulatedRecorderTest, RewritableDiscsBlankBackToBlankAndWriteOnceDiscsRefuse) {
  for (const char* name : {"cd-rw", "dvd-rw"}) {
    Rig rig(name);
    const uint16_t profile = FindMedium(name)->profile;
    RecordSession(*rig.mmc, profile, 300, false);
    RecordSession(*rig.mmc, profile, 320, false);
    ASSERT_EQ(rig.mmc->Blank(kBlankMinimal), STARBURN_OK) << name;
    EXPECT_EQ(Disc(*rig.mmc).discStatus, kDiscBlank);
    EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).nextWritable, 0u);
    EXPECT_EQ(drivetest::ReadFile(rig.image).size(), 0u);
    EXPECT_NE(drivetest::ReadFile(SidecarPathOf(rig.image)).find("disc blank"), std::string::npos);
    if (profile == profile::kDvdRwSequential) {
      // A minimal blank leaves a DVD-RW to disc-at-once writing, until it is
      // blanked fully.
      PrepareWrite(*rig.mmc, profile, false);
      EXPECT_EQ(WriteBlocks(*rig.mmc, 0, 16), STARBURN_STATUS_COMMAND_FAILED);
      EXPECT_EQ(rig.Asc(), asc::kIllegalModeForTrack);
      ASSERT_EQ(rig.mmc->Blank(kBlankFull), STARBURN_OK);
    }
    EXPECT_EQ(RecordSession(*rig.mmc, profile, 300, false), 0u) << "blank again, written again";
  }
  for (const char* name : {"cd-r", "dvd+r", "bd-r"}) {
    Rig rig(name);
    EXPECT_EQ(rig.mmc->Blank(kBlankFull), STARBURN_STATUS_INCOMPATIBLE_MEDIUM) << name;
  }
}

TEST(EmulatedRecorderTest, OverwritableDiscsAreFormattedThenWrittenAnywhere) {
  for (const char* name : {"dvd+rw", "bd-re", "dvd-ram"}) {
    Rig rig(name);
    const Medium& medium = *FindMedium(name);
    MmcDrive& mmc = *rig.mmc;
    const bool preformatted = medium.profile == profile::kDvdRam;
    EXPECT_EQ(Disc(mmc).discStatus, preformatted ? kDiscOther : kDiscBlank) << name;
    StateSpeeds(mmc);
    // The drive offers one format of the whole disc, and takes no other.
    FormatCapacities offered;
    ASSERT_EQ(mmc.ReadFormatCapacities(&offered), STARBURN_OK);
    EXPECT_EQ(offered.currentState, preformatted ? kCapacityFormatted : kCapacityUnformatted);
    ASSERT_EQ(offered.formats.size(), 1u);
    const FormatCapacity format = offered.formats[0];
    EXPECT_EQ(format.type, medium.profile == profile::kDvdPlusRw ? kFormatDvdPlusRw : kFormatFull);
    EXPECT_EQ(format.blocks, medium.capacity);
    EXPECT_EQ(mmc.FormatUnit(0xFFFFFFFF, format.type, 0), STARBURN_STATUS_COMMAND_FAILED);
    EXPECT_EQ(rig.Asc(), asc::kInvalidFieldInParameters);
    if (!preformatted) {
      EXPECT_EQ(WriteBlocks(mmc, 0, 1), STARBURN_STATUS_INCOMPATIBLE_MEDIUM) << name;
      ASSERT_EQ(mmc.FormatUnit(format.blocks, format.type, format.parameter), STARBURN_OK);
    }
    const DiscInformation info = Disc(mmc);
    EXPECT_EQ(info.discStatus, kDiscOther);
    EXPECT_TRUE(info.erasable);
    EXPECT_EQ(Track(mmc, 1).size, medium.capacity);
    // Anywhere, in any order, and again over the same blocks.
    EXPECT_EQ(WriteBlocks(mmc, 5000, 3, "LATER"), STARBURN_OK);
    EXPECT_EQ(WriteBlocks(mmc, 0, 20, "FIRST"), STARBURN_OK);
    EXPECT_EQ(WriteBlocks(mmc, 16, 1, "AGAIN"), STARBURN_OK);
    std::vector<uint8_t> block(kBlockSize);
    ASSERT_EQ(mmc.Read(5001, 1, block.data()), STARBURN_OK);
    EXPECT_EQ(block, ImageBlock(5000, 3, "LATER", 1));
    ASSERT_EQ(mmc.Read(16, 1, block.data()), STARBURN_OK);
    EXPECT_EQ(block, ImageBlock(16, 1, "AGAIN", 0));
    ASSERT_EQ(mmc.Read(100, 1, block.data()), STARBURN_OK);  // never written: zeros
    EXPECT_EQ(block, std::vector<uint8_t>(kBlockSize, 0));
    EXPECT_EQ(WriteBlocks(mmc, medium.capacity - 1, 2), STARBURN_STATUS_NO_SPACE);
    EXPECT_EQ(mmc.Blank(kBlankMinimal), STARBURN_STATUS_INCOMPATIBLE_MEDIUM);
    // The sidecar keeps the format; the image keeps the data.
    rig.Load(name);
    EXPECT_EQ(Disc(*rig.mmc).discStatus, kDiscOther);
    ASSERT_EQ(rig.mmc->Read(5000, 1, block.data()), STARBURN_OK);
    EXPECT_EQ(block, ImageBlock(5000, 3, "LATER", 0));
  }
}

TEST(EmulatedRecorderTest, PressedDiscsAreCompleteAndRefuseWrites) {
  ScratchDirectory directory;
  const std::string image = directory.File("pressed.iso");
  std::string data;
  for (uint32_t i = 0; i < 40; ++i) {
    const auto block = ImageBlock(0, 40, "PRESSED", i);
    data.append(block.begin(), block.end());
  }
  drivetest::WriteFile(image, data);
  std::shared_ptr<EmulatedRecorder> recorder;
  std::string error;
  ASSERT_EQ(EmulatedRecorder::Create(FindMedium("dvd-rom"), image, DriveModel::AllMedia(),
                                     &recorder, &error),
            STARBURN_OK);
  std::unique_ptr<ScsiTransport> transport;
  ASSERT_EQ(recorder->Open(true, &transport, &error), STARBURN_OK);
  MmcDrive mmc(*transport);
  EXPECT_EQ(Disc(mmc).discStatus, kDiscComplete);
  EXPECT_EQ(Track(mmc, 1).size, 40u);
  EXPECT_EQ(WriteBlocks(mmc, 40, 1), STARBURN_STATUS_INCOMPATIBLE_MEDIUM);
  std::vector<uint8_t> block(kBlockSize);
  ASSERT_EQ(mmc.Read(16, 1, block.data()), STARBURN_OK);
  EXPECT_EQ(block, ImageBlock(0, 40, "PRESSED", 16));
}

TEST(EmulatedRecorderTest, TrayEjectLoadAndTheUnitAttentionAfterALoad) {
  Rig rig("cd-r");
  MmcDrive& mmc = *rig.mmc;
  ASSERT_EQ(mmc.PreventMediumRemoval(true), STARBURN_OK);
  EXPECT_EQ(mmc.StartStopUnit(true, false), STARBURN_STATUS_COMMAND_FAILED);  // removal prevented
  ASSERT_EQ(mmc.PreventMediumRemoval(false), STARBURN_OK);
  ASSERT_EQ(mmc.StartStopUnit(true, false), STARBURN_OK);
  EXPECT_EQ(mmc.TestUnitReady(), STARBURN_STATUS_NOT_READY);
  EXPECT_EQ(rig.Asc(), asc::kMediumNotPresent);
  EXPECT_EQ(mmc.LastFailure().record.ascq, 0x02);  // tray open
  Configuration configuration;
  ASSERT_EQ(mmc.GetConfiguration(kConfigurationCurrent, &configuration), STARBURN_OK);
  EXPECT_EQ(configuration.currentProfile, profile::kNone);

  // Another path to the drive pushes the tray back in with the same disc; the
  // first path hears of it once, then works.
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
  result = rig.transport->Execute(command);
  EXPECT_EQ(result.status, kScsiGood);
  // The MMC layer retries a unit attention itself.
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

TEST(EmulatedRecorderTest, SpeedsRoundDownToWhatTheDiscTakes) {
  Rig rig("cd-r");
  MmcDrive& mmc = *rig.mmc;
  auto speeds = [&mmc](uint32_t* read, uint32_t* write) {
    std::vector<uint8_t> page;
    ASSERT_EQ(mmc.ModeSense(kCapabilitiesPage, &page), STARBURN_OK);
    *read = GetBig16(&page[capabilities::kCurrentReadSpeed]);
    *write = GetBig16(&page[capabilities::kCurrentWriteSpeed]);
  };
  uint32_t read = 0, write = 0;
  speeds(&read, &write);
  EXPECT_EQ(write, 8467u);  // 48x: the fastest until told otherwise
  ASSERT_EQ(mmc.SetCdSpeed(3600, 1400), STARBURN_OK);
  speeds(&read, &write);
  EXPECT_EQ(read, 3528u);  // 20x, the fastest not above 3600
  EXPECT_EQ(write, 706u);  // 4x: 8x is 1411, above 1400
  ASSERT_EQ(mmc.SetCdSpeed(100, 100), STARBURN_OK);
  speeds(&read, &write);
  EXPECT_EQ(write, 706u);  // below the slowest: the slowest
  std::vector<WriteSpeed> list;
  ASSERT_EQ(mmc.GetWriteSpeeds(&list), STARBURN_OK);
  ASSERT_EQ(list.size(), FindMedium("cd-r")->writeSpeeds.size());
  EXPECT_EQ(list.front().writeSpeed, 8467u);
  BufferCapacity buffer;
  ASSERT_EQ(mmc.ReadBufferCapacity(&buffer), STARBURN_OK);
  EXPECT_EQ(buffer.size, 4u << 20);
  EXPECT_EQ(buffer.free, buffer.size);
}

TEST(EmulatedRecorderTest, WriteParametersChooseTheWriteTypeAndTestWritesRecordNothing) {
  Rig rig("cd-r");
  MmcDrive& mmc = *rig.mmc;
  // Packet writing (the page's state on power-up) is not how a CD track is written here.
  EXPECT_EQ(WriteBlocks(mmc, 0, 1), STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(rig.Asc(), asc::kIllegalModeForTrack);
  // What was set for a disc does not carry over to the next one loaded.
  PrepareWrite(mmc, profile::kCdR, false);
  ASSERT_EQ(mmc.StartStopUnit(true, false), STARBURN_OK);
  ASSERT_EQ(mmc.StartStopUnit(true, true), STARBURN_OK);
  EXPECT_EQ(WriteBlocks(mmc, 0, 1), STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(rig.Asc(), asc::kIllegalModeForTrack);
  PrepareWrite(mmc, profile::kCdR, false, /*test=*/true);
  EXPECT_EQ(WriteBlocks(mmc, 0, 10), STARBURN_OK);
  EXPECT_EQ(mmc.CloseTrackSession(kCloseTrack, 1), STARBURN_OK);
  EXPECT_EQ(Disc(mmc).discStatus, kDiscBlank);
  EXPECT_FALSE(drivetest::ReadFile(rig.image).size() > 0);
}

TEST(EmulatedRecorderTest, DvdAndBdSpeedsAreStatedRoundedDown) {
  for (const char* name : {"dvd-r", "bd-r"}) {
    SCOPED_TRACE(name);
    Rig rig(name);
    MmcDrive& mmc = *rig.mmc;
    const Medium& medium = *FindMedium(name);

    // A descriptor without a time is refused; a good one sets both speeds,
    // rounded down to what the disc takes.
    auto descriptor = PerformanceDescriptor(0, medium.capacity - 1, 0, 0);
    PutBig32(&descriptor[streaming::kWriteTime], 0);
    ScsiCommand command;
    const Cdb cdb = SetStreamingCdb(kPerformanceDescriptorSize);
    command.cdb = cdb.bytes;
    command.cdbLength = cdb.length;
    command.direction = DataDirection::kToDevice;
    command.data = descriptor.data();
    command.length = kPerformanceDescriptorSize;
    EXPECT_EQ(rig.transport->Execute(command).status, kScsiCheckCondition);
    ASSERT_EQ(mmc.SetStreaming(0, medium.capacity - 1, medium.readSpeeds.back(),
                               medium.writeSpeeds[1] + 1),
              STARBURN_OK);
    std::vector<uint8_t> page;
    ASSERT_EQ(mmc.ModeSense(kCapabilitiesPage, &page), STARBURN_OK);
    EXPECT_EQ(GetBig16(&page[capabilities::kCurrentReadSpeed]), medium.readSpeeds.back());
    EXPECT_EQ(GetBig16(&page[capabilities::kCurrentWriteSpeed]), medium.writeSpeeds[1]);
    PrepareWrite(mmc, medium.profile, false);
    EXPECT_EQ(WriteBlocks(mmc, 0, 16), STARBURN_OK) << mmc.LastFailure().message;
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

TEST(EmulatedRecorderTest, AnUnclosedTrackIsForgottenWhenItsPathCloses) {
  Rig rig("dvd+r");
  RecordSession(*rig.mmc, profile::kDvdPlusR, 20, false);
  const uint32_t next = Track(*rig.mmc, kInvisibleTrack).nextWritable;
  ASSERT_EQ(WriteBlocks(*rig.mmc, next, 8), STARBURN_OK);
  EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).nextWritable, next + 8);
  EXPECT_EQ(Disc(*rig.mmc).lastSessionState, kSessionIncomplete);
  rig.Reconnect();
  EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).nextWritable, next);
  EXPECT_EQ(Disc(*rig.mmc).lastSessionState, kSessionEmpty);
}

// Two programs with one image, as two processes attach it: the recorder of
// each holds the image for its paths, and the other sees the drive busy
// until it lets go, then the disc as written.
TEST(EmulatedRecorderTest, AnotherProgramHoldingTheImage) {
  Rig writer("dvd+r");
  StateSpeeds(*writer.mmc);
  ASSERT_EQ(WriteBlocks(*writer.mmc, 0, 32), STARBURN_OK);  // a track half written

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
  ASSERT_EQ(writer.mmc->CloseTrackSession(kCloseTrack, 1), STARBURN_OK);
  writer.mmc.reset();
  writer.transport.reset();  // the writer lets go
  ASSERT_EQ(other->Open(true, &path, &error), STARBURN_OK) << error;
  MmcDrive after(*path);
  const TrackInformation written = Track(after, 1);
  EXPECT_FALSE(written.blank);
  EXPECT_EQ(written.size, 32u);
}

TEST(EmulatedRecorderTest, InjectedFaults) {
  Rig rig("cd-r");
  MmcDrive& mmc = *rig.mmc;
  const uint32_t first = RecordSession(mmc, profile::kCdR, 300, false);

  // A command fails with the sense it was given, the given number of times.
  FaultPlan plan;
  plan.commands.push_back({opcode::kSynchronizeCache, 1, 1, {sensekey::kMediumError, 0x0C, 0x00}});
  rig.recorder->SetFaults(plan);
  EXPECT_EQ(mmc.SynchronizeCache(), STARBURN_OK);
  EXPECT_EQ(mmc.SynchronizeCache(), STARBURN_STATUS_COMMAND_FAILED);
  EXPECT_EQ(mmc.LastFailure().record.senseKey, sensekey::kMediumError);
  EXPECT_EQ(mmc.LastFailure().record.cdb[0], opcode::kSynchronizeCache);
  EXPECT_EQ(mmc.SynchronizeCache(), STARBURN_OK);

  plan = FaultPlan();
  plan.notReady = true;
  rig.recorder->SetFaults(plan);
  EXPECT_EQ(mmc.TestUnitReady(), STARBURN_STATUS_NOT_READY);
  InquiryData identity;
  EXPECT_EQ(mmc.Inquiry(&identity), STARBURN_OK);  // the drive itself still answers

  // Space ends in the middle of the next track although the disc claims more.
  plan = FaultPlan();
  rig.recorder->SetFaults(plan);
  const uint32_t next = Track(mmc, kInvisibleTrack).nextWritable;
  plan.spaceEndsAt = next + 40;
  rig.recorder->SetFaults(plan);
  PrepareWrite(mmc, profile::kCdR, false);
  EXPECT_EQ(WriteBlocks(mmc, next, 32), STARBURN_OK);
  EXPECT_EQ(mmc.Write(next + 32, 32, std::vector<uint8_t>(std::size_t{32} * kBlockSize).data()),
            STARBURN_STATUS_NO_SPACE);
  rig.Reconnect();

  // Power fails at a block: the blocks before it are stored, the path is dead,
  // a new path finds them as a damaged track in an open session, as a drive
  // shows a track a power cut ended, and the next track after it.
  plan = FaultPlan();
  plan.powerLossAt = next + 10;
  rig.recorder->SetFaults(plan);
  PrepareWrite(*rig.mmc, profile::kCdR, false);
  EXPECT_EQ(WriteBlocks(*rig.mmc, next, 32, "POWER"), STARBURN_STATUS_DEVICE_GONE);
  EXPECT_EQ(rig.mmc->TestUnitReady(), STARBURN_STATUS_DEVICE_GONE);
  EXPECT_EQ(drivetest::ImageFileBlock(rig.image, next + 9), ImageBlock(next, 32, "POWER", 9));
  EXPECT_NE(drivetest::ImageFileBlock(rig.image, next + 10), ImageBlock(next, 32, "POWER", 10));
  rig.Reconnect();
  const TrackInformation cut = Track(*rig.mmc, 2);
  EXPECT_TRUE(cut.damage);
  EXPECT_EQ(cut.start, next);
  EXPECT_EQ(cut.size, 10u);
  EXPECT_EQ(Track(*rig.mmc, kInvisibleTrack).nextWritable, next + 10);
  std::vector<uint8_t> block(kBlockSize);
  for (uint32_t i = 0; i < 40; ++i) {
    ASSERT_EQ(rig.mmc->Read(first + i, 1, block.data()), STARBURN_OK);
    EXPECT_EQ(block, ImageBlock(first, 300, "SESSION", i));
  }
}

}  // namespace
