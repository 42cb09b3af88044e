// The virtual-drive list and its sidecars: all-or-nothing attaching
// with clear refusals, images made by other tools, and the list read from the
// environment at the SDK's first start.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "SdkTestSupport.h"
#include "devices/DeviceRegistry.h"
#include "virtual/EmulatedDisc.h"
#include "virtual/Medium.h"
#include "virtual/Sidecar.h"
#include "virtual/VirtualDriveList.h"

namespace {

using namespace starburn;
using sdktest::Scratch;
using sdktest::WriteFile;

class VirtualDriveAttachTest : public testing::Test {
 protected:
  void SetUp() override { DeviceRegistry::Instance().DetachAll(); }
  void TearDown() override { DeviceRegistry::Instance().DetachAll(); }

  // Attaches list; answers the error text ("" on success).
  std::string Attach(const std::string& list) {
    std::string error;
    const StarBurnStatus status = AttachVirtualDriveList(list, DriveModel::AllMedia(), &error);
    EXPECT_EQ(status == STARBURN_OK, error.empty()) << error;
    return status == STARBURN_OK ? "" : error;
  }
  std::size_t Count() { return DeviceRegistry::Instance().Drives().size(); }

  Scratch directory;
};

TEST_F(VirtualDriveAttachTest, BadConfigurationIsRefusedWholeWithAClearMessage) {
  const std::string good = "cd-r=" + directory.File("good.iso") + ";";
  auto refused = [&](const std::string& entry, const std::string& expected) {
    const std::string error = Attach(good + entry);
    EXPECT_NE(error.find(expected), std::string::npos) << entry << ": " << error;
    EXPECT_EQ(Count(), 0u) << entry;  // not even the good entry
  };
  refused("cd-x=/b.iso", "entry 2 \"cd-x=/b.iso\": unknown medium \"cd-x\"; media: cd-rom cd-r");
  refused("bd-re", "MEDIUM=PATH");
  refused("empty=/a.iso", "takes no image path");
  refused("dvd+r=" + directory.File("no/such/a.iso"),
          "cannot create " + directory.File("no/such/a.iso"));
  refused("cd-rom=" + directory.File("missing.iso"), "a cd-rom needs an existing image");
  refused("dvd-r=" + directory.path, "is not a regular file");
  refused("cd-r=" + directory.File("good.iso"), "is the image of two virtual drives");

  WriteFile(directory.File("unreadable.iso"), std::string(4096, 'x'));
  namespace fs = std::filesystem;
  fs::permissions(directory.File("unreadable.iso"), fs::perms::none);
  if (!std::ifstream(directory.File("unreadable.iso"))) {  // not when run as root, nor on Windows
    refused("cd-r=" + directory.File("unreadable.iso"), "cannot open");
  }

  // Sidecars that do not match their image or their drive (the contradictions
  // a user makes by editing a state file are the data-safety table's:
  // StateContradictionTest in data_safety_test.py).
  const std::string image = directory.File("side.iso");
  WriteFile(image, std::string(std::size_t{10} * kBlockSize, '\0'));
  const std::string sidecar = SidecarPathOf(image);
  const struct {
    const char* medium;
    const char* state;  // after "starburn-virtual-disc 1\n" unless it starts with the magic
    const char* refusal;
  } sidecars[] = {
      // clang-format off
      {"cd-r", "medium cd-r\ndisc appendable\nsession closed\ntrack 0 20\n", "records data up to block 20, but the image ends at block 10"},
      {"cd-r", "medium cd-r\ndisc appendable\nsession closed\ntrack 0 0000000020\n", "records data up to block 20"},  // ten digits are read
      {"cd-r", "medium cd-r\ndisc appendable\nsession closed\ntrack 0 4294967296\n", "line 5: a track needs a start block"},  // past 32 bits
      {"cd-r", "medium cd-r\ndisc appendable\nsession closed\ntrack 0 99999999999999999999999\n", "line 5: a track needs a start block"},  // no overflow
      {"cd-r", "medium cd-r\ndisc appendable\nsession closed\ntrack 0 10\nsession closed\ntrack 5 2\n", "track 2 (start 5, 2 blocks) overlaps"},
      {"cd-r", "medium cd-r\ndisc blank\nsession closed\ntrack 0 10\n", "sessions are listed"},
      {"cd-r", "medium cd-r\ndisc appendable\nsession closed\ntrack 0 4\n", "beyond the recorded tracks, which end at block 4"},
      {"cd-r", "medium cd-r\ndisc appendable\nsession closed\ntrack 0 open\n", "line 5: an open track lies in a closed session"},
      {"cd-r", "starburn-virtual-disc 2\n", "line 1: unknown sidecar version"},
      {"cd-r", "medium cd-r\ndisc appendable\ntrack 0 10\n", "line 4: a track before any session"},
      {"cd-r", "medium cd-r\ndisc appendable\ncolour blue\n", "line 4: cannot read \"colour blue\""},
      // clang-format on
  };
  for (const auto& row : sidecars) {
    const std::string state = row.state;
    WriteFile(sidecar, state.rfind("starburn-virtual-disc", 0) == 0
                           ? state
                           : "starburn-virtual-disc 1\n" + state);
    refused(std::string(row.medium) + "=" + image, row.refusal);
  }
  {  // A track line cut short: the session's descriptor says where its volume ends.
    std::string cut(std::size_t{25} * kBlockSize, '\0');
    cut.replace(std::size_t{16} * kBlockSize, 6,
                "\x01"
                "CD001");
    cut[std::size_t{16} * kBlockSize + 80] = 10;  // volume space size, little-endian half
    WriteFile(directory.File("cut.iso"), cut);
    WriteFile(SidecarPathOf(directory.File("cut.iso")),
              "starburn-virtual-disc 1\nmedium cd-r\ndisc appendable\nsession closed\n"
              "track 0 8\nsession closed\ntrack 20 5\n");
    refused("cd-r=" + directory.File("cut.iso"),
            "the state file " + SidecarPathOf(directory.File("cut.iso")) +
                " does not match the image " + directory.File("cut.iso") +
                ": track 1 is recorded as 8 blocks from block 0, but its volume descriptor "
                "gives a volume of 10 blocks");
  }
  // A quirk the drives do not have (a typing error) is named.
  DriveModel model;
  std::string error;
  EXPECT_EQ(DriveModel::WithQuirks("quick-blanked,colour", &model, &error),
            STARBURN_STATUS_BAD_CONFIGURATION);
  EXPECT_EQ(error.rfind("unknown quirk \"colour\"", 0), 0u) << error;
  // Too many drives for the letters D: to Z: (fewer where the system uses some).
  std::string many;
  for (int i = 0; i < 24; ++i) many += "empty;";
  refused(many, "virtual drives: the letters D: to Z: run out");

  // And once right, everything is attached: media in any case, blanks around
  // the parts, empty entries skipped.
  WriteFile(sidecar,
            "# written by hand\nstarburn-virtual-disc 1\nmedium cd-r\ndisc appendable\n"
            "session closed\ntrack 0 10\n");
  EXPECT_EQ(Attach(" CD-R = " + directory.File("good.iso") + " ;;cd-r=" + image + ";empty= ;"), "");
  EXPECT_EQ(Count(), 3u);
  EXPECT_EQ(DeviceRegistry::Instance().FindByLetter('F')->Name(), "CdRom2");
  // A relative path is taken from the current folder; '=' may be part of it.
  std::vector<VirtualDriveSpec> specs;
  ASSERT_EQ(ParseVirtualDriveList("dvd+rw=rel/b=c.iso", &specs, &error), STARBURN_OK) << error;
  EXPECT_EQ(std::filesystem::u8path(specs.at(0).path),
            std::filesystem::current_path() / "rel" / "b=c.iso");
}

// What an interruption can leave, and what the next load that holds the image
// makes of it: the state file and the image always agree again afterwards.
TEST(EmulatedSidecarTest, TheNextLoadSettlesWhatAnInterruptionLeft) {
  const std::string head = "starburn-virtual-disc 1\nmedium cd-rw\n";
  const struct {
    const char* left;  // after head
    uint32_t imageBlocks;
    const char* settled;  // the state file after the load, after head
    uint32_t settledBlocks;
  } rows[] = {
      // clang-format off
      // Killed while blanking, before or after the image was emptied.
      {"disc erasing\nsession closed\ntrack 0 10\n", 10, "disc blank\n", 0},
      {"disc erasing\nsession closed\ntrack 0 10\n", 0, "disc blank\n", 0},
      // Killed after an open track was recorded, before its first block.
      {"disc appendable\nsession open\ntrack 0 open\n", 0, "disc blank\n", 0},
      {"disc appendable\nsession closed\ntrack 0 10\nsession open\ntrack 11410 open\n", 10, "disc appendable\nsession closed\ntrack 0 10\n", 10},
      // Killed inside the track: its blocks are a damaged track.
      {"disc appendable\nsession closed\ntrack 0 10\nsession open\ntrack 11410 open\n", 11417, "disc appendable\nsession closed\ntrack 0 10\nsession open\ntrack 11410 7 damaged\n", 11417},
      // Killed between the track's close and the session's close: nothing to settle.
      {"disc appendable\nsession closed\ntrack 0 10\nsession open\ntrack 11410 7\n", 11417, "disc appendable\nsession closed\ntrack 0 10\nsession open\ntrack 11410 7\n", 11417},
      // clang-format on
  };
  for (const auto& row : rows) {
    Scratch directory;
    const std::string image = directory.File("a.iso");
    WriteFile(image, std::string(std::size_t{row.imageBlocks} * kBlockSize, 'd'));
    WriteFile(SidecarPathOf(image), head + row.left);
    std::unique_ptr<EmulatedDisc> disc;
    std::string error;
    ASSERT_EQ(EmulatedDisc::Load(*FindMedium("cd-rw"), image, true, &disc, &error), STARBURN_OK)
        << row.left << error;
    const std::string state = sdktest::ReadFile(SidecarPathOf(image));
    EXPECT_EQ(state.substr(state.find("starburn-virtual-disc")), head + row.settled) << row.left;
    EXPECT_EQ(std::filesystem::file_size(image), uint64_t{row.settledBlocks} * kBlockSize)
        << row.left;
  }
}

#ifndef _WIN32
// A state file that cannot be written whole (the disk is full) is never put
// in place of the one that was: the load that had to settle it fails instead.
TEST(EmulatedSidecarTest, AStateFileThatCannotBeWrittenWholeLeavesTheOldOne) {
  Scratch directory;
  const std::string image = directory.File("a.iso");
  const std::string left =
      "starburn-virtual-disc 1\nmedium cd-r\ndisc appendable\n"
      "session closed\ntrack 0 10\nsession open\ntrack 11410 open\n";
  WriteFile(image, std::string(std::size_t{10} * kBlockSize, 'd'));
  WriteFile(SidecarPathOf(image), left);
  rlimit was{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
  const rlimit full{32, was.rlim_max};  // bytes: the new state file stops there
  void (*signal)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
  std::unique_ptr<EmulatedDisc> disc;
  std::string error;
  const StarBurnStatus status = EmulatedDisc::Load(*FindMedium("cd-r"), image, true, &disc, &error);
  setrlimit(RLIMIT_FSIZE, &was);
  std::signal(SIGXFSZ, signal);
  EXPECT_EQ(status, STARBURN_STATUS_BAD_CONFIGURATION);
  EXPECT_EQ(sdktest::ReadFile(SidecarPathOf(image)), left);
}
#endif

// The list in the environment is read at the SDK's first start. These run in
// a process of their own (tests/CMakeLists.txt), since an earlier start in the
// same process would already have read it.
TEST(DISABLED_VirtualDrivesEnvironmentTest, FirstStartReadsTheListAllOrNothing) {
  Scratch directory;
  const std::string good = "cd-r=" + directory.File("a.iso") + ";empty";
  // putenv keeps the text it is given on POSIX: it lives as long as the process.
  static std::string setting;
  setting = "STARBURN_VIRTUAL_DRIVES=" + good + ";floppy=" + directory.File("b.iso");
  putenv(setting.data());
  char text[STARBURN_ERROR_TEXT_SIZE];
  EXPECT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_STATUS_BAD_CONFIGURATION);
  EXPECT_EQ(std::string(text).rfind("STARBURN_VIRTUAL_DRIVES: entry 3", 0), 0u) << text;
  EXPECT_NE(std::string(text).find("unknown medium \"floppy\""), std::string::npos) << text;
  EXPECT_TRUE(DeviceRegistry::Instance().Drives().empty());
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_STATUS_NOT_STARTED);  // the refused start did not count

  static std::string second;
  second = "STARBURN_VIRTUAL_DRIVES=" + good;
  putenv(second.data());
  ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK) << text;
  EXPECT_STREQ(text, "");
  ASSERT_EQ(DeviceRegistry::Instance().Drives().size(), 2u);
  char target[32];
  EXPECT_EQ(StarBurn_GetDeviceTargetByLetter('E', target, sizeof target), STARBURN_OK);
  EXPECT_STREQ(target, "\\Device\\CdRom1");
  // A later start reads nothing again.
  ASSERT_EQ(StarBurn_UpStartEx(text, sizeof text), STARBURN_OK);
  EXPECT_EQ(DeviceRegistry::Instance().Drives().size(), 2u);
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_OK);
  EXPECT_EQ(StarBurn_DownShut(), STARBURN_OK);
  DeviceRegistry::Instance().DetachAll();
}

}  // namespace
