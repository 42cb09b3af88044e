// The MMC commands a burn and an erase send to a drive, per medium, as they
// leave through SG_IO: a drive on a scripted bus with an emulated recorder
// behind it, which refuses what a real recorder would refuse (a track before
// the write parameters, a DVD/BD write before SET STREAMING, a write to an
// unformatted DVD+RW/BD-RE). The sequences are held here whole, so that a
// change to them is a decision, and a person with a drive can check them
// against it.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DeviceCallsFixture.h"
#include "SgIoKernelDouble.h"
#include "devices/DeviceRegistry.h"
#include "devices/DriveDiscovery.h"
#include "mmc/Answers.h"

namespace {

using namespace starburn;
using drivetest::SgIoKernelDouble;

// A command as a person checking it against a drive wants to read it: its
// name, and for the commands whose fields choose what happens, those fields.
std::string Describe(const drivetest::SgIoCall& call) {
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

// The commands of the journal from entry from on, runs of one command
// written once with their count: "WRITE(10) x20".
std::string Sequence(const SgIoKernelDouble& kernel, std::size_t from) {
  std::vector<std::string> names;
  for (std::size_t i = from; i < kernel.journal.size(); ++i) {
    names.push_back(Describe(kernel.journal[i]));
  }
  std::string text;
  for (std::size_t i = 0; i < names.size();) {
    std::size_t run = 1;
    while (i + run < names.size() && names[i + run] == names[i]) ++run;
    if (!text.empty()) text += ", ";
    text += names[i] + (run > 1 ? " x" + std::to_string(run) : "");
    i += run;
  }
  return text;
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
// disc-at-once session into a reservation of whole ECC blocks (100 blocks:
// 112), and the flush closes the disc.
const std::string kDiscAtOnce =
    ", READ DISC INFORMATION" + std::string(", MODE SENSE(10), GET PERFORMANCE, SET STREAMING") +
    ", MODE SENSE(10), MODE SELECT(10) (page 05: disc at once, last session), RESERVE TRACK";
// 100 blocks: three WRITE(10) of 32 and one of 4, the buffer read for the
// progress notification, the flush.
const std::string kWrite = ", WRITE(10) x4, READ BUFFER CAPACITY, SYNCHRONIZE CACHE, REQUEST SENSE";
// With the write parameters set, the next writable address is read again.
const std::string kRecheck = ", READ TRACK INFORMATION";
// On CD the track is padded to its minimum of 300 blocks with zeros: ten
// WRITE(10).
const std::string kCdWrite =
    ", WRITE(10) x10, READ BUFFER CAPACITY, SYNCHRONIZE CACHE, REQUEST SENSE";
const std::string kCloseTrack = ", CLOSE TRACK/SESSION (track), REQUEST SENSE";
const std::string kCloseSession = ", CLOSE TRACK/SESSION (session), REQUEST SENSE";
const std::string kQuickBlank = ", BLANK (minimal), REQUEST SENSE";
// A DVD-RW is blanked fully: after a minimal blank it would take no session.
const std::string kDvdRwBlank = ", BLANK (full), REQUEST SENSE";
// Overwritable media: the survey reads the volume descriptors from block 16
// on to find where the file system ends; on a freshly formatted disc a
// READ(10) finds none and a second reads the blocks before it, which must be
// zero for the disc to be blank.
const std::string kFileSystem = ", READ(10) x4";
const std::string kNoFileSystem = ", READ(10) x2";
// Every session's descriptors reach block 16 last; a restricted-overwrite
// DVD-RW takes them as a whole group of 16 blocks, the rest read first.
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
            medium == "cd-rw" ? Survey(3) + kQuickBlank : ""};
  }
  if (medium == "dvd-r" || medium == "dvd-rw") {
    return {Survey(1) + kChoose + kSpeeds + kIncremental + kRecheck + kWrite + kCloseTrack,
            Survey(2) + kChoose + kIncremental + kCloseSession,
            Survey(2) + kChoose + kSpeeds + kIncremental + kRecheck + kWrite + kCloseTrack,
            medium == "dvd-rw" ? Survey(3) + kDvdRwBlank : ""};
  }
  if (medium == "dvd-r-dl") {
    return {Survey(1) + kChoose + kDiscAtOnce + kRecheck + kWrite, Survey(1), "", ""};
  }
  if (medium == "dvd+r" || medium == "dvd+r-dl" || medium == "bd-r") {
    return {Survey(1) + kSpeeds + kWrite + kCloseTrack, Survey(2) + kCloseSession,
            Survey(2) + kSpeeds + kWrite + kCloseTrack, ""};
  }
  // Overwritable: a blank DVD+RW or BD-RE is formatted first; each
  // session's descriptors are written to block 16 after it; a quick erase
  // overwrites the first 80 blocks.
  const std::string format =
      medium == "dvd+rw"  ? "READ FORMAT CAPACITIES, FORMAT UNIT (type 26h), REQUEST SENSE, "
      : medium == "bd-re" ? "READ FORMAT CAPACITIES, FORMAT UNIT (type 00h), REQUEST SENSE, "
                          : "";
  const std::string descriptors = medium == "dvd-rw-ro" ? kDescriptorGroupLast : kDescriptorsLast;
  return {(format.empty() ? "" : Survey(1) + ", " + format) + Survey(1) + kNoFileSystem + kSpeeds +
              kWrite + descriptors,
          Survey(1) + kFileSystem, Survey(1) + kFileSystem + kSpeeds + kWrite + descriptors,
          Survey(1) + kFileSystem + kSpeeds + ", WRITE(10) x3, SYNCHRONIZE CACHE, REQUEST SENSE"};
}

class SgIoCommandSequenceTest : public drivetest::DeviceCallsFixture,
                                public testing::WithParamInterface<const char*> {
 protected:
  // The SDK's calls of a burn as the library makes them, on the recording
  // handle; answers the commands each sent.
  struct Burned {
    std::string record, close;
  };
  Burned BurnSession(uint32_t start, uint32_t blocks) {
    Burned burned;
    drivetest::Notifications seen;
    void* device = Open("CdRom0", 0, &drivetest::Record, &seen);
    EXPECT_NE(device, nullptr) << text;
    auto* image = new drivetest::FakeImage(start, blocks, "SEQUENCE");
    void* tree = HandleTable::Instance().Add(image);
    std::size_t from = kernel->journal.size();
    EXPECT_EQ(StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
                  device, text, sizeof text, &systemError, &failure, tree, 0, 0, 1, 1, 5),
              STARBURN_OK)
        << text;
    burned.record = Sequence(*kernel, from);
    from = kernel->journal.size();
    EXPECT_EQ(
        StarBurn_CdvdBurnerGrabber_CloseSession(device, text, sizeof text, &systemError, &failure),
        STARBURN_OK)
        << text;
    burned.close = Sequence(*kernel, from);
    StarBurn_Destroy(&tree);
    Close(device);
    return burned;
  }

  std::shared_ptr<SgIoKernelDouble> kernel = std::make_shared<SgIoKernelDouble>();
};

TEST_P(SgIoCommandSequenceTest, BurnAppendAndErase) {
  const char* name = GetParam();
  std::shared_ptr<EmulatedRecorder> recorder;
  std::string error;
  DriveModel model = DriveModel::AllMedia();
  model.busyWriteOneIn = 0;  // the journal pins each WRITE; a busy answer adds one
  ASSERT_EQ(EmulatedRecorder::Create(FindMedium(name), directory.File("disc.iso"), model, &recorder,
                                     &error),
            STARBURN_OK);
  kernel->AddNode("sr0").drive = recorder;
  DeviceRegistry::Instance().AttachDiscovered(DiscoverDrives(kernel));

  const Expected expected = ExpectedFor(name);
  const Burned first = BurnSession(Query("CdRom0", 0).sessionStart, 100);
  EXPECT_EQ(first.record, expected.record);
  EXPECT_EQ(first.close, expected.close);
  if (expected.append.empty()) {
    EXPECT_EQ(Query("CdRom0", 0).sessionStart, 0u);  // closed: no next session
    return;
  }
  const Burned second = BurnSession(Query("CdRom0", 0).sessionStart, 100);
  EXPECT_EQ(second.record, expected.append);
  if (Query("CdRom0", 0).erasable == 0) {
    EXPECT_EQ(expected.erase, "");
    return;
  }
  void* device = Open("CdRom0", 0);
  const std::size_t from = kernel->journal.size();
  ASSERT_EQ(StarBurn_CdvdBurnerGrabber_Blank(device, text, sizeof text, &systemError, &failure, 1),
            STARBURN_OK)
      << text;
  EXPECT_EQ(Sequence(*kernel, from), expected.erase);
  Close(device);
  EXPECT_TRUE(Query("CdRom0", 0).blank);
}

INSTANTIATE_TEST_SUITE_P(WritableMedia, SgIoCommandSequenceTest,
                         testing::Values("cd-r", "cd-rw", "dvd-r", "dvd-rw", "dvd+r", "dvd+rw",
                                         "dvd-rw-ro", "dvd-ram", "dvd+r-dl", "dvd-r-dl", "bd-r",
                                         "bd-re"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return drivetest::MediumTestName(info.param);
                         });

}  // namespace
