// Burning, appending and erasing through the SDK's device calls the way the
// library does, on virtual drives of every writable kind; the abort call; and
// injected faults, after which earlier sessions still read back whole.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "DeviceCallsFixture.h"
#include "devices/Medium.h"
#include "devices/Sidecar.h"
#include "mmc/Cdb.h"
#include "mmc/MmcDrive.h"
#include "mmc/Sense.h"

namespace {

using drivetest::DeviceCallsFixture;
using drivetest::ImageBlock;
using drivetest::ImageFileBlock;
using drivetest::Notifications;
using drivetest::Reading;
using starburn::FindMedium;
using starburn::kBlockSize;

class DeviceRecordingTest : public DeviceCallsFixture {
 protected:
  // Every block of an image that was written at start reads back from the
  // image file as generated.
  void ExpectSessionIntact(const std::string& image, uint32_t start, uint32_t blocks,
                           const std::string& label) {
    for (uint32_t i = 0; i < blocks; ++i) {
      if (i == 16 && start == 0 && overwritable) continue;  // block 16 points at the newest session
      ASSERT_EQ(ImageFileBlock(image, start + i), ImageBlock(start, blocks, label, i))
          << label << " block " << i;
    }
  }
  bool overwritable = false;
};

class BurnAndAppendTest : public DeviceRecordingTest,
                          public testing::WithParamInterface<const char*> {};

TEST_P(BurnAndAppendTest, TwoSessionsAsTheLibraryBurnsThem) {
  const starburn::Medium& medium = *FindMedium(GetParam());
  overwritable = medium.kind == starburn::MediumClass::kOverwritable;
  const std::string image = directory.File("disc.iso");
  Attach(std::string(GetParam()) + "=" + image);

  // First session on the blank disc, with progress and buffer notifications.
  Notifications seen;
  ASSERT_EQ(Burn("CdRom0", 0, 1500, "FIRST", &seen), STARBURN_OK) << recordText;
  ASSERT_FALSE(seen.progress.empty());
  for (const auto& [total, done] : seen.progress) EXPECT_EQ(total, 1500u * kBlockSize);
  EXPECT_EQ(seen.progress.back().second, 1500u * kBlockSize);
  EXPECT_EQ(seen.progress.size(), 3u);  // at 512 and 1024 blocks, and at the end
  ASSERT_EQ(seen.buffer.size(), seen.progress.size());
  EXPECT_EQ(seen.buffer.back().first, 4u << 20);
  EXPECT_LT(seen.buffer.front().second, seen.buffer.front().first);  // written, not yet flushed

  // The disc was ejected; the next open pushes the tray back in.
  Reading reading = Query("CdRom0", 'D');
  EXPECT_EQ(reading.blank, 0);
  EXPECT_EQ(reading.usedBytes, 1500u * kBlockSize);
  EXPECT_EQ(reading.label, u"FIRST");
  const uint32_t gap = overwritable ? 0 : medium.firstSessionGap;
  const uint32_t second = (1500 + gap + medium.alignment - 1) / medium.alignment * medium.alignment;
  EXPECT_EQ(reading.sessionStart, overwritable ? 1504u : second);
  EXPECT_EQ(reading.freeBytes, uint64_t{medium.capacity - reading.sessionStart} * kBlockSize);

  // What the file-tree stage reads of a disc it continues.
  void* device = Open("CdRom0", 1);
  uint8_t fileSystem[4];
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetDiscFileSystem(device, text, sizeof text, &systemError,
                                                         &failure, fileSystem, 4),
            STARBURN_OK);
  EXPECT_EQ(std::vector<uint8_t>(fileSystem, fileSystem + 4),
            (std::vector<uint8_t>{0, 0, 1, 0}));  // ISO 9660, no Joliet, nothing else
  uint8_t last = 0;
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetLastTrack(device, text, sizeof text, &systemError,
                                                    &failure, &last),
            STARBURN_OK);
  EXPECT_EQ(last, 1);
  uint8_t track[STARBURN_TRACK_INFORMATION_SIZE];
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetTrackInformation(device, text, sizeof text, &systemError,
                                                           &failure, last, track, sizeof track),
            STARBURN_OK);
  EXPECT_EQ(track[0], 1);
  uint32_t address = 0;
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetLastAddress(device, text, sizeof text, &systemError,
                                                      &failure, &address),
            STARBURN_OK);
  EXPECT_EQ(address, 1499u);
  // The import reads the track through the drive.
  auto* provider = starburn::HandleTable::Instance().Find<starburn::DiscProvider>(device);
  ASSERT_NE(provider, nullptr);
  uint32_t start = 9, blocks = 0;
  ASSERT_EQ(provider->TrackExtent(last, &start, &blocks, nullptr), STARBURN_OK);
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(blocks, 1500u);
  std::vector<uint8_t> block(kBlockSize);
  ASSERT_EQ(provider->DiscReader().ReadBlocks(1499, 1, block.data()), STARBURN_OK);
  EXPECT_EQ(block, ImageBlock(0, 1500, "FIRST", 1499));
  Close(device);

  // The second session goes where the query said.
  ASSERT_EQ(Burn("CdRom0", reading.sessionStart, 700, "SECOND"), STARBURN_OK) << recordText;
  const uint32_t secondStart = reading.sessionStart;
  reading = Query("CdRom0", 'D');
  EXPECT_EQ(reading.label, u"SECOND");
  EXPECT_EQ(reading.usedBytes,
            uint64_t{overwritable ? secondStart + 700 : 1500 + 700} * kBlockSize);
  ExpectSessionIntact(image, 0, 1500, "FIRST");
  ExpectSessionIntact(image, secondStart, 700, "SECOND");
  if (overwritable) {  // block 16 now holds the second session's descriptors
    EXPECT_EQ(ImageFileBlock(image, 16), ImageBlock(secondStart, 700, "SECOND", 16));
    EXPECT_EQ(ImageFileBlock(image, 17), ImageBlock(secondStart, 700, "SECOND", 17));
  } else {
    device = Open("CdRom0", 1);
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetLastTrack(device, text, sizeof text, &systemError,
                                                      &failure, &last),
              STARBURN_OK);
    EXPECT_EQ(last, 2);
    Close(device);
  }
}

INSTANTIATE_TEST_SUITE_P(WritableMedia, BurnAndAppendTest,
                         testing::Values("cd-r", "cd-rw", "dvd-r", "dvd-rw", "dvd+r", "dvd+r-dl",
                                         "dvd-rw-ro", "bd-r", "dvd+rw", "dvd-ram", "bd-re"),
                         [](const auto& info) { return drivetest::MediumTestName(info.param); });

TEST_F(DeviceRecordingTest, TheImageMustStartAtTheNextWritableAddressAndFit) {
  Attach("cd-r=" + directory.File("a.iso"));
  EXPECT_EQ(Burn("CdRom0", 16, 100, "WRONG"), STARBURN_STATUS_WRONG_STATE);
  EXPECT_NE(recordText.find("next writable address is 0"), std::string::npos) << recordText;
  EXPECT_EQ(Burn("CdRom0", 0, FindMedium("cd-r")->capacity + 1, "HUGE"), STARBURN_STATUS_NO_SPACE);
  EXPECT_EQ(Query("CdRom0", 'D').blank, 1);
}

TEST_F(DeviceRecordingTest, EraseAsTheLibraryDoesIt) {
  const std::string cdrw = directory.File("rw.iso");
  const std::string dvdrw = directory.File("plusrw.iso");
  Attach("cd-rw=" + cdrw + ";dvd+rw=" + dvdrw + ";cd-r=" + directory.File("r.iso"));
  ASSERT_EQ(Burn("CdRom0", 0, 100, "ERASE ME"), STARBURN_OK) << recordText;
  ASSERT_EQ(Burn("CdRom1", 0, 100, "ERASE ME"), STARBURN_OK) << recordText;
  ASSERT_EQ(Burn("CdRom2", 0, 100, "KEEP ME"), STARBURN_OK) << recordText;

  for (const char* name : {"CdRom0", "CdRom1"}) {
    SCOPED_TRACE(name);
    const std::u16string wide(name, name + 6);
    void* device = nullptr;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_CreateExEx(&device, text, sizeof text, &systemError,
                                                    &failure, nullptr, nullptr, wide.c_str(), 1, 1),
              STARBURN_OK);
    handles.push_back(device);
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(device, text, sizeof text, &systemError, &failure),
        STARBURN_OK);
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_Blank(device, text, sizeof text, &systemError, &failure, 1),
        STARBURN_OK)
        << text;
    ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Eject(device, text, sizeof text, &systemError, &failure),
              STARBURN_OK);
    Close(device);
    device = Open(name, 1);
    ASSERT_EQ(
        StarBurn_CdvdBurnerGrabber_LoadEx(device, text, sizeof text, &systemError, &failure, 1),
        STARBURN_OK);
    Close(device);
    const Reading reading = Query(name, 0);
    EXPECT_EQ(reading.blank, 1);
    EXPECT_EQ(reading.usedBytes, 0u);
    EXPECT_EQ(reading.sessionStart, 0u);
  }
  EXPECT_EQ(drivetest::ReadFile(cdrw).size(), 0u);

  void* device = Open("CdRom2", 1);
  EXPECT_EQ(StarBurn_CdvdBurnerGrabber_Blank(device, text, sizeof text, &systemError, &failure, 1),
            STARBURN_STATUS_INCOMPATIBLE_MEDIUM);
  EXPECT_EQ(failure.asc, 0x30);
  Close(device);
  EXPECT_EQ(Query("CdRom2", 'F').label, u"KEEP ME");

  // Blanked discs take a new first session.
  EXPECT_EQ(Burn("CdRom0", 0, 40, "AGAIN"), STARBURN_OK) << recordText;
  EXPECT_EQ(Burn("CdRom1", 0, 40, "AGAIN"), STARBURN_OK) << recordText;
  EXPECT_EQ(Query("CdRom0", 'D').label, u"AGAIN");
  EXPECT_EQ(Query("CdRom1", 'E').label, u"AGAIN");
}

// A drive reset in the middle of the track goes back to its defaults: the
// recording is set up again and the refused write sent once more.
TEST_F(DeviceRecordingTest, ADriveResetMidTrackIsSetUpAgain) {
  for (const char* medium : {"cd-r", "dvd-r", "dvd+r"}) {
    starburn::DriveModel model = starburn::DriveModel::AllMedia();
    model.busyWriteOneIn = 0;
    auto recorder = AttachRecorder(medium, directory.File(std::string(medium) + ".iso"), model);
    starburn::FaultPlan plan;
    plan.resetAt = 100;
    recorder->SetFaults(plan);
    ASSERT_EQ(Burn(starburn::DeviceRegistry::Instance().Drives().back()->Name(), 0, 400, "RESET"),
              STARBURN_OK)
        << medium << ": " << recordText;
    ExpectSessionIntact(directory.File(std::string(medium) + ".iso"), 0, 400, "RESET");
  }
}

// A drive whose capabilities page gives a DVD's write speed in CD units: the
// figure GET PERFORMANCE does not list is not believed, and the write is set
// to the fastest speed the disc takes, not the slowest.
TEST_F(DeviceRecordingTest, APageSpeedInCdUnitsIsNotTakenForTheDiscs) {
  starburn::DriveModel model = starburn::DriveModel::AllMedia();
  model.pageSpeedsInCdUnits = true;
  AttachRecorder("dvd+r", directory.File("units.iso"), model);
  ASSERT_EQ(Burn("CdRom0", 0, 40, "UNITS"), STARBURN_OK) << recordText;
  void* device = Open("CdRom0", 1);
  uint32_t currentRead = 0, maximumRead = 0, currentWrite = 0, maximumWrite = 0;
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_GetSpeeds(device, text, sizeof text, &systemError, &failure,
                                                 &currentRead, &maximumRead, &currentWrite,
                                                 &maximumWrite),
            STARBURN_OK);
  Close(device);
  const starburn::Medium& medium = *starburn::FindMedium("dvd+r");
  EXPECT_EQ(currentWrite, medium.writeSpeeds.back() * 176 / 1385);  // the fastest, in CD units
}

TEST_F(DeviceRecordingTest, ACdRecorderThatClosesTheTrackAtTheFlushIsNotAFailure) {
  starburn::DriveModel model = starburn::DriveModel::AllMedia();
  model.flushClosesCdTrack = true;
  AttachRecorder("cd-r", directory.File("closing.iso"), model);
  ASSERT_EQ(Burn("CdRom0", 0, 40, "FIRST"), STARBURN_OK) << recordText;
  const uint32_t next = Query("CdRom0", 'D').sessionStart;
  ASSERT_EQ(Burn("CdRom0", next, 40, "SECOND"), STARBURN_OK) << recordText;
  EXPECT_EQ(Query("CdRom0", 'D').label, u"SECOND");
}

TEST_F(DeviceRecordingTest, ADriveStillAtWorkAfterTheDataIsSentIsFollowedToTheEnd) {
  // A drive that takes a poll to flush, to close and to blank, as real ones
  // take seconds to minutes.
  starburn::DriveModel model = starburn::DriveModel::AllMedia();
  model.longOperationPolls = 1;
  AttachRecorder("cd-rw", directory.File("slow.iso"), model);

  // The flush shows the data still in the buffer; the track's and then the
  // session's closing show it empty.
  Notifications seen;
  ASSERT_EQ(Burn("CdRom0", 0, 600, "SLOW", &seen), STARBURN_OK) << recordText;
  ASSERT_EQ(seen.progress.size(), 2u);  // at 512 blocks and at the end
  EXPECT_EQ(seen.progress.back(),
            std::make_pair(uint64_t{600} * kBlockSize, uint64_t{600} * kBlockSize));
  ASSERT_EQ(seen.buffer.size(), seen.progress.size() + 3);
  const uint32_t size = seen.buffer.back().first;
  EXPECT_EQ(seen.buffer[2], std::make_pair(size, size - 600 * kBlockSize));  // the flush
  EXPECT_EQ(seen.buffer[3], std::make_pair(size, size));                     // the track's close
  EXPECT_EQ(seen.buffer[4], std::make_pair(size, size));                     // the session's
  EXPECT_EQ(Query("CdRom0", 'D').label, u"SLOW");

  // A blank reports the drive's progress indication, of 65536.
  Notifications blanking;
  void* device = Open("CdRom0", 0, &drivetest::Record, &blanking);
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Blank(device, text, sizeof text, &systemError, &failure, 1),
            STARBURN_OK)
      << text;
  EXPECT_EQ(blanking.progress, (std::vector<std::pair<uint64_t, uint64_t>>{{65536, 0}}));
  Close(device);
  EXPECT_EQ(Query("CdRom0", 'D').blank, 1);
}

TEST_F(DeviceRecordingTest, AbortStopsTheWriteAndLeavesTheDiscAsItWas) {
  const std::string image = directory.File("a.iso");
  Attach("dvd-r=" + image);
  ASSERT_EQ(Burn("CdRom0", 0, 200, "FIRST"), STARBURN_OK);
  const uint32_t next = Query("CdRom0", 0).sessionStart;

  EXPECT_EQ(StarBurn_AbortDeviceWrite("CdRom0"), STARBURN_STATUS_WRONG_STATE);  // nothing records
  EXPECT_EQ(StarBurn_AbortDeviceWrite("CdRom7"), STARBURN_STATUS_NO_DEVICE);
  abortAt = 100;  // the source asks for the abort while the image is pulled
  StarBurnStatus closed = STARBURN_OK;
  drivetest::FakeImage* ignored = nullptr;
  EXPECT_EQ(Burn("CdRom0", next, 400, "ABORTED", nullptr, &closed, &ignored),
            STARBURN_STATUS_CANCELLED);
  EXPECT_NE(recordText.find("aborted"), std::string::npos) << recordText;
  EXPECT_EQ(closed, STARBURN_STATUS_WRONG_STATE);  // the broken track's session is not closed
  const Reading reading = Query("CdRom0", 'D');
  EXPECT_EQ(reading.sessionStart, next);
  EXPECT_EQ(reading.label, u"FIRST");
  ExpectSessionIntact(image, 0, 200, "FIRST");

  abortAt = -1;
  EXPECT_EQ(Burn("CdRom0", next, 50, "AFTER"), STARBURN_OK);  // a stale request does not linger
  EXPECT_EQ(Query("CdRom0", 'D').label, u"AFTER");
}

// Run under ThreadSanitizer with the threaded tests.
class DeviceAbortThreadsTest : public DeviceRecordingTest {};

TEST_F(DeviceAbortThreadsTest, AbortFromAnotherThreadWhileTheWriteRuns) {
  Attach("bd-r=" + directory.File("a.iso"));
  Notifications seen;
  std::string abortStatus;
  seen.onFirstProgress = [&abortStatus] {
    std::thread host(
        [&abortStatus] { abortStatus = std::to_string(StarBurn_AbortDeviceWrite(nullptr)); });
    host.join();
  };
  EXPECT_EQ(Burn("CdRom0", 0, 4096, "THREADED", &seen), STARBURN_STATUS_CANCELLED);
  EXPECT_EQ(abortStatus, "0");
  ASSERT_EQ(seen.progress.size(), 1u);  // stopped at the next write after the first notification
  EXPECT_EQ(Query("CdRom0", 0).blank, 1);
}

TEST_F(DeviceRecordingTest, InjectedFaultsNeverDamageEarlierSessions) {
  const std::string image = directory.File("a.iso");
  auto recorder = AttachRecorder("cd-r", image);
  ASSERT_EQ(Burn("CdRom0", 0, 300, "FIRST"), STARBURN_OK);
  const uint32_t next = Query("CdRom0", 0).sessionStart;
  using starburn::FaultPlan;
  using starburn::SenseCodes;

  {  // A write the drive fails: the drive's sense reaches the caller.
    FaultPlan plan;
    plan.commands.push_back({starburn::opcode::kWrite10, 3, 1, SenseCodes{0x3, 0x0C, 0x00}});
    recorder->SetFaults(plan);
    StarBurnStatus closed = STARBURN_OK;
    EXPECT_EQ(Burn("CdRom0", next, 400, "BROKEN", nullptr, &closed),
              STARBURN_STATUS_COMMAND_FAILED);
    EXPECT_EQ(recordFailure.senseKey, 0x3);
    EXPECT_EQ(recordFailure.asc, 0x0C);
    EXPECT_EQ(recordFailure.cdb[0], starburn::opcode::kWrite10);
    EXPECT_NE(recordText.find("MEDIUM ERROR"), std::string::npos) << recordText;
    EXPECT_EQ(closed, STARBURN_STATUS_WRONG_STATE);
  }
  {  // The disc runs out of space mid-track.
    FaultPlan plan;
    plan.spaceEndsAt = next + 100;
    recorder->SetFaults(plan);
    EXPECT_EQ(Burn("CdRom0", next, 400, "FULL"), STARBURN_STATUS_NO_SPACE);
  }
  {  // Blanking fails the way the drive says: 5 for a failed command, 8 for a
     // disc that cannot be blanked; the disc keeps its sessions.
    FaultPlan plan;
    plan.commands.push_back({starburn::opcode::kBlank, 0, 2, SenseCodes{0x3, 0x0C, 0x00}});
    recorder->SetFaults(plan);
    void* device = Open("CdRom0", 1);
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_Blank(device, text, sizeof text, &systemError, &failure, 1),
        STARBURN_STATUS_COMMAND_FAILED);
    EXPECT_EQ(failure.cdb[0], starburn::opcode::kBlank);
    plan.commands[0].sense = SenseCodes{0x5, 0x30, 0x05};
    recorder->SetFaults(plan);
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_Blank(device, text, sizeof text, &systemError, &failure, 0),
        STARBURN_STATUS_INCOMPATIBLE_MEDIUM);
    Close(device);
  }
  {  // Not ready: the recording open's first check fails.
    FaultPlan plan;
    plan.notReady = true;
    recorder->SetFaults(plan);
    void* device = Open("CdRom0", 0);
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_TestUnitReady(device, text, sizeof text, &systemError, &failure),
        STARBURN_STATUS_NOT_READY);
    Close(device);
    recorder->SetFaults(FaultPlan());
  }
  Reading reading = Query("CdRom0", 'D');
  EXPECT_EQ(reading.sessionStart, next);
  EXPECT_EQ(reading.label, u"FIRST");
  EXPECT_EQ(reading.usedBytes, 300u * kBlockSize);
  ExpectSessionIntact(image, 0, 300, "FIRST");

  {  // The session's closing fails after its track was closed: the next
     // burn closes that session first and lays its image out at the address
     // the closing gives the next session.
    FaultPlan plan;
    plan.commands.push_back(
        {starburn::opcode::kCloseTrackSession, 1, 1, SenseCodes{0x4, 0x44, 0x00}});
    recorder->SetFaults(plan);
    StarBurnStatus closed = STARBURN_OK;
    EXPECT_EQ(Burn("CdRom0", next, 300, "DANGLING", nullptr, &closed), STARBURN_OK);
    EXPECT_EQ(closed, STARBURN_STATUS_COMMAND_FAILED);
    reading = Query("CdRom0", 'D');
    EXPECT_EQ(reading.label, u"DANGLING");  // its track is recorded, its session open
    EXPECT_EQ(Burn("CdRom0", reading.sessionStart, 300, "THIRD"), STARBURN_OK) << recordText;
    reading = Query("CdRom0", 'D');
    EXPECT_EQ(reading.label, u"THIRD");
    EXPECT_EQ(reading.sessionStart, next + 300 + 6900 + 300 + 6900);
    ExpectSessionIntact(image, next + 300 + 6900, 300, "THIRD");
  }
  {  // Power fails mid-track; the drive comes back on at the next open with
     // the blocks that reached the disc as a damaged track in an open session,
     // which nothing offers for import; the next burn closes that session and
     // appends after it.
    const uint32_t at = Query("CdRom0", 0).sessionStart;
    FaultPlan plan;
    plan.powerLossAt = at + 77;
    recorder->SetFaults(plan);
    EXPECT_EQ(Burn("CdRom0", at, 400, "POWER"), STARBURN_STATUS_DEVICE_GONE);
    recorder->SetFaults(FaultPlan());
    reading = Query("CdRom0", 'D');
    EXPECT_EQ(reading.label, u"THIRD");
    EXPECT_EQ(reading.sessionStart, at + 77);
    EXPECT_EQ(Burn("CdRom0", reading.sessionStart, 50, "AFTER"), STARBURN_OK) << recordText;
    EXPECT_EQ(Query("CdRom0", 'D').label, u"AFTER");
    ExpectSessionIntact(image, at + 77 + 6900, 50, "AFTER");
  }
  ExpectSessionIntact(image, 0, 300, "FIRST");
  ExpectSessionIntact(image, next, 300, "DANGLING");
  EXPECT_NE(drivetest::ReadFile(starburn::SidecarPathOf(image))
                .find("session closed\ntrack " + std::to_string(next) + " 300\nsession closed"),
            std::string::npos)
      << drivetest::ReadFile(starburn::SidecarPathOf(image));
}

}  // namespace
