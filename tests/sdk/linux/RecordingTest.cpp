// Burning, appending and erasing through the SDK's device calls the way the
// library makes them, on a drive found on a scripted SG_IO bus with an
// emulated recorder behind it. One table per family: the MMC commands each
// medium and drive habit is sent, pinned whole, so that a change to them is a
// decision a person with a drive can check. (Interruptions of a burn are the
// library's burn endings, read back by every reader, and the killed jobs of
// the data-safety tables.)

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../SdkTestSupport.h"
#include "SgIoKernelDouble.h"
#include "linux/DriveDiscovery.h"
#include "mmc/Answers.h"
#include "mmc/Profiles.h"

namespace {

using namespace starburn;
using sdktest::Notifications;
using sdktest::SgIoKernelDouble;

// A command as a person checking it against a drive reads it: its name, and
// for the commands whose fields choose what happens, those fields.
std::string Describe(const SgIoKernelDouble::Call& call) {
  std::string name = CommandName(call.Opcode());
  switch (call.Opcode()) {
    case opcode::kCloseTrackSession: {
      const uint8_t function = call.cdb[2] & 0x07;
      return name + (function == kCloseTrack     ? " (track)"
                     : function == kCloseSession ? " (session)"
                                                 : " (finalize)");
    }
    case opcode::kBlank:
      return name + ((call.cdb[1] & 0x07) == kBlankMinimal ? " (minimal)" : " (full)");
    case opcode::kFormatUnit: {
      char type[16];
      std::snprintf(type, sizeof type, " (type %02Xh)", call.dataOut.at(8) >> 2);
      return name + type;
    }
    case opcode::kModeSelect10: {
      const uint8_t* page = call.dataOut.data() + kModeHeaderLength;
      const uint8_t type = page[writeparams::kFlags] & 0x0F;
      const bool next = (page[writeparams::kMultiSession] >> 6) == writeparams::kMultiSessionNext;
      return name + " (page 05: " +
             (type == writeparams::kWriteTypeTrackAtOnce  ? "track at once"
              : type == writeparams::kWriteTypeDiscAtOnce ? "disc at once"
                                                          : "incremental") +
             (next ? ", next session allowed)" : ", last session)");
    }
    default:
      return name;
  }
}

// Every call begins with a survey of the disc: its state, then its tracks
// (READ TRACK INFORMATION once per track, and for the next one).
std::string Survey(int tracks) {
  return "TEST UNIT READY, GET CONFIGURATION, READ DISC INFORMATION, READ TRACK INFORMATION" +
         (tracks > 1 ? " x" + std::to_string(tracks) : "");
}
const std::string kSpeeds = ", MODE SENSE(10), GET PERFORMANCE, SET STREAMING";
// The configuration says whether the drive guards against underruns and, on
// DVD-R/-RW, whether the disc takes incremental writing now and with which
// link size; the next track's information gives its track mode.
const std::string kTrackAtOnce =
    ", GET CONFIGURATION, MODE SENSE(10), MODE SELECT(10) (page 05: track at once, next session "
    "allowed)";
const std::string kChoose = ", GET CONFIGURATION, READ TRACK INFORMATION";
const std::string kIncremental =
    ", MODE SENSE(10), MODE SELECT(10) (page 05: incremental, next session allowed)";
// Where incremental writing is not offered (DVD-R DL), a blank disc takes one
// disc-at-once session into a reservation of whole ECC blocks, and the flush
// closes the disc.
const std::string kDiscAtOnce = ", READ DISC INFORMATION" + kSpeeds +
                                ", MODE SENSE(10), MODE SELECT(10) (page 05: disc at once, last "
                                "session), RESERVE TRACK";
// 100 blocks: three WRITE(10) of 32 and one of 4, the buffer read for the
// progress notification, the flush; on CD the track is padded to its minimum
// of 300 blocks with zeros: ten WRITE(10). With the write parameters set, the
// next writable address is read again.
const std::string kWrite = ", WRITE(10) x4, READ BUFFER CAPACITY, SYNCHRONIZE CACHE, REQUEST SENSE";
const std::string kCdWrite =
    ", WRITE(10) x10, READ BUFFER CAPACITY, SYNCHRONIZE CACHE, REQUEST SENSE";
const std::string kRecheck = ", READ TRACK INFORMATION";
const std::string kCloseTrack = ", CLOSE TRACK/SESSION (track), REQUEST SENSE";
const std::string kCloseSession = ", CLOSE TRACK/SESSION (session), REQUEST SENSE";
// Overwritable media: the survey reads the volume descriptors from block 16
// on to find where the file system ends; on a freshly formatted disc a
// READ(10) finds none and a second reads the blocks before it, which must be
// zero for the disc to be blank. Every session's descriptors reach block 16
// last; a restricted-overwrite DVD-RW takes them as a whole group of 16
// blocks, the rest read first. A quick erase overwrites the first 80 blocks.
const std::string kFileSystem = ", READ(10) x4";
const std::string kDescriptorsLast = ", WRITE(10), SYNCHRONIZE CACHE, REQUEST SENSE";
const std::string kDescriptorGroupLast = ", READ(10), WRITE(10), SYNCHRONIZE CACHE, REQUEST SENSE";

struct Expected {
  std::string record;  // TrackAtOnceFromTree on the blank disc
  std::string close;   // CloseSession after it
  std::string append;  // TrackAtOnceFromTree of the second session; empty: the disc is closed
  std::string erase;   // Blank(quick), as the library erases; empty: the disc is not erasable
};

Expected ExpectedFor(const std::string& medium) {
  if (medium == "cd-r" || medium == "cd-rw") {
    return {Survey(1) + kTrackAtOnce + kRecheck + kCdWrite + kCloseTrack,
            Survey(2) + kTrackAtOnce + kCloseSession,
            Survey(2) + kTrackAtOnce + kRecheck + kCdWrite + kCloseTrack,
            medium == "cd-rw" ? Survey(3) + ", BLANK (minimal), REQUEST SENSE" : ""};
  }
  if (medium == "dvd-r" || medium == "dvd-rw") {  // a DVD-RW is blanked fully
    return {Survey(1) + kChoose + kSpeeds + kIncremental + kRecheck + kWrite + kCloseTrack,
            Survey(2) + kChoose + kIncremental + kCloseSession,
            Survey(2) + kChoose + kSpeeds + kIncremental + kRecheck + kWrite + kCloseTrack,
            medium == "dvd-rw" ? Survey(3) + ", BLANK (full), REQUEST SENSE" : ""};
  }
  if (medium == "dvd-r-dl")
    return {Survey(1) + kChoose + kDiscAtOnce + kRecheck + kWrite, Survey(1), "", ""};
  if (medium == "dvd+r" || medium == "dvd+r-dl" || medium == "bd-r") {
    return {Survey(1) + kSpeeds + kWrite + kCloseTrack, Survey(2) + kCloseSession,
            Survey(2) + kSpeeds + kWrite + kCloseTrack, ""};
  }
  // Overwritable: a blank DVD+RW or BD-RE is formatted first; a DVD+RW whose
  // background format was stopped by the eject has it restarted.
  const std::string restart =
      medium == "dvd+rw" ? ", READ FORMAT CAPACITIES, FORMAT UNIT (type 26h), REQUEST SENSE" : "";
  const std::string format =
      medium == "dvd+rw"  ? "READ FORMAT CAPACITIES, FORMAT UNIT (type 26h), REQUEST SENSE, "
      : medium == "bd-re" ? "READ FORMAT CAPACITIES, FORMAT UNIT (type 00h), REQUEST SENSE, "
                          : "";
  const std::string last = medium == "dvd-rw-ro" ? kDescriptorGroupLast : kDescriptorsLast;
  return {(format.empty() ? "" : Survey(1) + ", " + format) + Survey(1) + ", READ(10) x2" +
              kSpeeds + kWrite + last,
          Survey(1) + kFileSystem, Survey(1) + kFileSystem + restart + kSpeeds + kWrite + last,
          Survey(1) + kFileSystem + restart + kSpeeds +
              ", WRITE(10) x3, SYNCHRONIZE CACHE, REQUEST SENSE"};
}

class RecordingTest : public sdktest::SdkFixture {
 protected:
  // A drive with habits on sr0 of the scripted bus, found as CdRom0.
  void Plug(const char* name, const std::string& habits) {
    DriveModel model;
    std::string error;
    ASSERT_EQ(DriveModel::WithQuirks(habits, &model, &error), STARBURN_OK) << error;
    if (habits.find("busy") == std::string::npos) model.busyWriteOneIn = 0;  // no extra WRITE
    image = directory.File("disc.iso");
    this->medium = FindMedium(name);
    ASSERT_EQ(EmulatedRecorder::Create(this->medium, image, model, &recorder, &error), STARBURN_OK);
    node = &kernel->AddNode("sr0");
    node->drive = recorder;
    DeviceRegistry::Instance().AttachDiscovered(DiscoverDrives(kernel));
    ASSERT_EQ(DeviceRegistry::Instance().Drives().size(), 1u);
  }
  // The commands of the journal from entry from on, runs of one command
  // written once with their count: "WRITE(10) x20".
  std::string Sequence(std::size_t from) const {
    std::string text;
    for (std::size_t i = from; i < kernel->journal.size();) {
      std::size_t run = 1;
      const std::string name = Describe(kernel->journal[i]);
      while (i + run < kernel->journal.size() && Describe(kernel->journal[i + run]) == name) ++run;
      text += (text.empty() ? "" : ", ") + name + (run > 1 ? " x" + std::to_string(run) : "");
      i += run;
    }
    return text;
  }
  // A burn whose recording's and closing's commands land in *record and *close.
  StarBurnStatus Burn(uint32_t start, uint32_t blocks, const std::string& label,
                      std::string* record = nullptr, std::string* close = nullptr,
                      Notifications* seen = nullptr) {
    std::size_t from = 0;
    return SdkFixture::Burn("CdRom0", start, blocks, label, seen, [&](int stage) {
      if (stage == 1 && record != nullptr) *record = Sequence(from);
      if (stage == 2 && close != nullptr) *close = Sequence(from);
      from = kernel->journal.size();
    });
  }

  std::shared_ptr<SgIoKernelDouble> kernel = std::make_shared<SgIoKernelDouble>();
  SgIoKernelDouble::Node* node = nullptr;
  std::shared_ptr<EmulatedRecorder> recorder;
  const Medium* medium = nullptr;
  std::string image;
};

struct Row {
  const char* medium;
  const char* habits;  // STARBURN_VIRTUAL_QUIRKS
  uint32_t blocks;     // of each session
  bool pinned;         // the commands are those of ExpectedFor (100 blocks, no habit)
};

class SequenceTest : public RecordingTest, public testing::WithParamInterface<Row> {};

TEST_P(SequenceTest, BurnAppendAndEraseAsTheLibraryDoes) {
  const Row& row = GetParam();
  Plug(row.medium, row.habits);
  const Expected expected = ExpectedFor(row.medium);
  const bool overwritable = medium->kind == MediumClass::kOverwritable;
  const bool cd = IsCdProfile(medium->profile);
  const bool slow = std::string(row.habits).find("slow") != std::string::npos;
  // A CD track is padded to 300 blocks, a disc-at-once reservation to whole ECC blocks.
  uint32_t recorded = cd ? std::max(row.blocks, 300u) : row.blocks;
  if (expected.append.empty()) recorded = (recorded + 15) / 16 * 16;

  // The first session, with a progress notification every 512 blocks and at
  // the end, each with the buffer's state; a slow drive's flush shows the
  // data still in the buffer, and the closings show it empty.
  std::string record, close;
  Notifications seen;
  ASSERT_EQ(Burn(0, row.blocks, "FIRST", &record, &close, &seen), STARBURN_OK) << recordText;
  if (row.pinned) {
    EXPECT_EQ(record, expected.record);
    EXPECT_EQ(close, expected.close);
  }
  const uint64_t total = uint64_t{row.blocks} * kBlockSize;
  ASSERT_EQ(seen.progress.size(), (row.blocks + 511) / 512);
  for (const auto& [all, done] : seen.progress) EXPECT_EQ(all, total);
  EXPECT_EQ(seen.progress.back().second, total);
  ASSERT_EQ(seen.buffer.size(), seen.progress.size() + (slow ? 3 : 0));
  const uint32_t size = seen.buffer.back().first;
  EXPECT_EQ(size, 4u << 20);
  EXPECT_LT(seen.buffer.front().second, size);  // written, not yet flushed
  if (slow) {
    EXPECT_EQ(seen.buffer[seen.progress.size()],
              std::make_pair(size, size - recorded * kBlockSize));
    EXPECT_EQ(seen.buffer[seen.progress.size() + 1], std::make_pair(size, size));  // the track's
    EXPECT_EQ(seen.buffer.back(), std::make_pair(size, size));                     // the session's
  }
  if (std::string(row.habits).find("cd-units") != std::string::npos) {
    // A capabilities page that gives a DVD's speed in CD units is not believed:
    // the write is set to the fastest speed the disc takes, not the slowest.
    void* device = Open("CdRom0", 1);
    uint32_t speeds[4] = {};
    ASSERT_EQ(Call(StarBurn_CdvdBurnerGrabber_GetSpeeds, device, &speeds[0], &speeds[1], &speeds[2],
                   &speeds[3]),
              STARBURN_OK);
    EXPECT_EQ(speeds[2], medium->writeSpeeds.back() * 176 / 1385);
    Close(device);
  }

  // The disc was ejected; the next open pushes the tray back in.
  sdktest::Reading reading = Query("CdRom0", 'D');
  EXPECT_EQ(reading.blank, 0);
  EXPECT_EQ(reading.label, u"FIRST");
  StarBurnWChar exact[6];  // "FIRST" and its terminator, and a unit less
  EXPECT_EQ(StarBurn_GetVolumeLabelByLetter('D', exact, 6), STARBURN_OK);
  EXPECT_EQ(StarBurn_GetVolumeLabelByLetter('D', exact, 5), STARBURN_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(reading.usedBytes, uint64_t{recorded} * kBlockSize);
  if (expected.append.empty()) {
    EXPECT_EQ(reading.sessionStart, 0u);  // closed: no next session
    return;
  }
  const uint32_t gap = overwritable ? 0 : medium->firstSessionGap;
  const uint32_t second =
      (recorded + gap + medium->alignment - 1) / medium->alignment * medium->alignment;
  EXPECT_EQ(reading.sessionStart, second);
  EXPECT_EQ(reading.freeBytes, uint64_t{medium->capacity - second} * kBlockSize);

  // The second session goes where the query said.
  ASSERT_EQ(Burn(second, row.blocks, "SECOND", &record), STARBURN_OK) << recordText;
  if (row.pinned) {
    EXPECT_EQ(record, expected.append);
  }
  reading = Query("CdRom0", 'D');
  EXPECT_EQ(reading.label, u"SECOND");
  EXPECT_EQ(reading.usedBytes,
            uint64_t{overwritable ? second + row.blocks : 2 * recorded} * kBlockSize);

  // The erase: the tray locked, the drive checked, the blank; a disc that
  // cannot be blanked says so and keeps its sessions. Its eject, load and the
  // burn after it are exercised end to end.
  Notifications blanking;
  void* device = nullptr;
  ASSERT_EQ(
      StarBurn_CdvdBurnerGrabber_CreateExEx(&device, text, sizeof text, &systemError, &failure,
                                            &sdktest::Record, &blanking, u"CdRom0", 1, 1),
      STARBURN_OK);
  handles.push_back(device);
  ASSERT_EQ(Call(StarBurn_CdvdBurnerGrabber_TestUnitReady, device), STARBURN_OK);
  const std::size_t from = kernel->journal.size();
  if (!medium->erasable) {
    EXPECT_EQ(Call(StarBurn_CdvdBurnerGrabber_Blank, device, 1),
              STARBURN_STATUS_INCOMPATIBLE_MEDIUM);
    EXPECT_EQ(failure.asc, 0x30);
    EXPECT_EQ(expected.erase, "");
    Close(device);
    EXPECT_EQ(Query("CdRom0", 'D').label, u"SECOND");
    return;
  }
  ASSERT_EQ(Call(StarBurn_CdvdBurnerGrabber_Blank, device, 1), STARBURN_OK) << text;
  if (row.pinned) {
    EXPECT_EQ(Sequence(from), expected.erase);
  }
  if (slow) {  // the drive's progress indication, of 65536
    EXPECT_EQ(blanking.progress, (std::vector<std::pair<uint64_t, uint64_t>>{{65536, 0}}));
  }
  Close(device);
}

const Row kRows[] = {
    {"cd-r", "", 100, true},
    {"cd-rw", "", 100, true},
    {"dvd-r", "", 100, true},
    {"dvd-rw", "", 100, true},
    {"dvd+r", "", 100, true},
    {"dvd+rw", "", 100, true},
    {"dvd-rw-ro", "", 100, true},
    {"dvd-ram", "", 100, true},
    {"dvd+r-dl", "", 100, true},
    {"dvd-r-dl", "", 100, true},
    {"bd-r", "", 100, true},
    {"bd-re", "", 100, true},
    // A drive reset in the middle of the track goes back to its defaults: the
    // recording is set up again and the refused write sent once more. (Resets,
    // a flush that closes the track and a busy drive on the other media are
    // burned and read back end to end: MediaTest in orlet_burn_test.py.)
    {"dvd+r", "reset-at=100,page-speeds-in-cd-units", 400, false},
    {"cd-rw", "slow-operations=1", 600, false},  // flush, close and blank take a poll
};

INSTANTIATE_TEST_SUITE_P(MediaAndHabits, SequenceTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           std::string name = std::to_string(info.index) + "_";
                           for (const char* c = info.param.medium; *c != 0; ++c) {
                             name += *c == '+' ? "plus" : *c == '-' ? "_" : std::string(1, *c);
                           }
                           return name;
                         });

}  // namespace
