// Finding real drives, on a scripted kernel whose device nodes are a mix of
// usable drives, nodes the user may not open or that are busy, devices of
// other kinds and sg nodes of drives that also have an sr node. What a host
// sees: the registry's drives (names, letters, addresses) after the virtual
// ones, and the unusable nodes with their reasons through the C interface.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../SdkTestSupport.h"
#include "SgIoKernelDouble.h"
#include "devices/DeviceRegistry.h"
#include "linux/DriveDiscovery.h"
#include "linux/SgSystem.h"

namespace {

using namespace starburn;
using sdktest::SgIoKernelDouble;

class DriveDiscoveryTest : public sdktest::SdkFixture {
 protected:
  std::vector<std::vector<uint8_t>> FoundAddresses() {
    std::vector<std::vector<uint8_t>> found;
    EXPECT_EQ(StarBurn_FindDevice(STARBURN_PERIPHERAL_CDROM, 0, &OnFound, &found), STARBURN_OK);
    return found;
  }

  static void OnFound(uint32_t notification, void* context, void* address, void*) {
    if (notification != STARBURN_NOTIFY_DEVICE_FOUND) return;
    const auto* bytes = static_cast<const uint8_t*>(address);
    static_cast<std::vector<std::vector<uint8_t>>*>(context)->emplace_back(
        bytes, bytes + STARBURN_DEVICE_ADDRESS_SIZE);
  }

  std::string Target(char letter) {
    char target[64] = "";
    StarBurn_GetDeviceTargetByLetter(letter, target, sizeof target);
    return target;
  }

  std::shared_ptr<SgIoKernelDouble> kernel = std::make_shared<SgIoKernelDouble>();
};

TEST_F(DriveDiscoveryTest, UsableDrivesFollowTheVirtualOnesAndTheOthersSayWhy) {
  Attach("dvd+r=" + directory.File("v.iso"));
  auto recorder = [&](const char* medium, const std::string& image) {
    std::shared_ptr<EmulatedRecorder> made;
    std::string error;
    EXPECT_EQ(EmulatedRecorder::Create(FindMedium(medium), directory.File(image),
                                       DriveModel::AllMedia(), &made, &error),
              STARBURN_OK);
    return made;
  };
  SgIoKernelDouble::Node& first = kernel->AddNode("sr0");
  first.drive = recorder("cd-rw", "sr0.iso");
  first.address = {2, 0, 1, 0};
  kernel->AddNode("sr1").openErrno = EACCES;  // the user is not in the group cdrom
  SgIoKernelDouble::Node& rootOnly = kernel->AddNode("sr2");
  rootOnly.openErrno = EPERM;
  rootOnly.group = "root";
  kernel->AddNode("sr3").openErrno = EBUSY;                 // its disc is mounted
  kernel->AddNode("sr4").peripheralType = 0x0E;             // not an optical drive
  SgIoKernelDouble::Node& tenth = kernel->AddNode("sr10");  // numbers, not text, order the nodes
  tenth.drive = recorder("bd-re", "sr10.iso");
  tenth.addressKnown = false;
  kernel->AddNode("sg0").peripheralType = 0;                   // a disk
  kernel->AddNode("sg1").address = {2, 0, 1, 0};               // sr0's drive again
  SgIoKernelDouble::Node& unclaimed = kernel->AddNode("sg2");  // no sr node reaches it
  unclaimed.drive = recorder("dvd-r", "sg2.iso");
  unclaimed.address = {5, 1, 0, 0};
  kernel->AddNode("sg3").openErrno = EACCES;  // unknown kind: not reported

  DeviceRegistry::Instance().AttachDiscovered(DiscoverDrives(kernel));

  const auto drives = DeviceRegistry::Instance().Drives();
  ASSERT_EQ(drives.size(), 4u);
  EXPECT_EQ(drives[1]->Backend().Identity(), "/dev/sr0");
  EXPECT_EQ(drives[2]->Backend().Identity(), "/dev/sr10");
  EXPECT_EQ(drives[3]->Backend().Identity(), "/dev/sg2");
  EXPECT_EQ(Target('e'), "\\Device\\CdRom1");  // letters compare without case
  EXPECT_EQ(Target('G'), "\\Device\\CdRom3");
  char path[8];
  EXPECT_EQ(StarBurn_GetDeviceTargetByLetter('H', path, sizeof path), STARBURN_STATUS_NO_DEVICE);
  ASSERT_EQ(StarBurn_GetDeviceNameByDeviceAddress(2, 0, 1, 0, path, sizeof path), STARBURN_OK);
  EXPECT_STREQ(path, "\\\\.\\E:");
  EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(2, 0, 1, 0, path, 6),
            STARBURN_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(StarBurn_GetDeviceNameByDeviceAddress(2, 0, 2, 0, path, sizeof path),
            STARBURN_STATUS_NO_DEVICE);
  EXPECT_EQ(StarBurn_GetDeviceTargetByLetter('D', path, 5), STARBURN_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(StarBurn_FindDevice(  // no drive is of another peripheral type
                0x1F, 0, [](uint32_t, void*, void*, void*) { FAIL(); }, nullptr),
            STARBURN_OK);
  EXPECT_EQ(FoundAddresses(), (std::vector<std::vector<uint8_t>>{{0, kVirtualPort, 0, 0, 0},
                                                                 {1, 2, 0, 1, 0},
                                                                 {2, kUnknownPort, 0, 2, 0},
                                                                 {3, 5, 1, 0, 0}}));

  const struct {
    const char* node;
    StarBurnStatus status;
    const char* reason;
  } expected[] = {{"/dev/sr1", STARBURN_STATUS_PERMISSION_DENIED, "not in the group cdrom"},
                  {"/dev/sr2", STARBURN_STATUS_PERMISSION_DENIED, "only the administrator"},
                  {"/dev/sr3", STARBURN_STATUS_DEVICE_BUSY, "mounted"},
                  {"/dev/sr4", STARBURN_STATUS_NOT_SUPPORTED, "peripheral type 14"}};
  for (uint32_t i = 0; i < 4; ++i) {  // the unusable nodes, in order, as the C interface tells them
    char node[64];
    char reason[STARBURN_ERROR_TEXT_SIZE];
    StarBurnStatus status = STARBURN_OK;
    ASSERT_EQ(StarBurn_GetUnusableDevice(i, node, sizeof node, &status, reason, sizeof reason),
              STARBURN_OK);
    EXPECT_STREQ(node, expected[i].node);
    EXPECT_EQ(status, expected[i].status) << node;
    EXPECT_NE(std::string(reason).find(expected[i].reason), std::string::npos) << reason;
  }
  char small[8] = "x";
  StarBurnStatus status = 99;  // past the last: nothing, and no status
  EXPECT_EQ(StarBurn_GetUnusableDevice(4, small, sizeof small, &status, nullptr, 0),
            STARBURN_STATUS_NOT_FOUND);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(status, STARBURN_OK);
  char none = '#';  // a reason room of nothing is not written to
  EXPECT_EQ(StarBurn_GetUnusableDevice(0, small, sizeof small, nullptr, &none, 0),
            STARBURN_STATUS_BUFFER_TOO_SMALL);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(none, '#');
  EXPECT_EQ(kernel->OpenCount(), 0u);  // nothing was left open

  // A found drive is a drive like any other: the query reads its disc through
  // its node, and a recording handle opens the node exclusively.
  const sdktest::Reading reading = Query("CdRom1", 'E');
  EXPECT_EQ(reading.discType, 3);  // CD-RW
  EXPECT_EQ(reading.blank, 1);
  EXPECT_EQ(Query("CdRom2", 'F').discType, 19);  // BD-RE
  void* recording = Open("CdRom3", 0);
  ASSERT_NE(recording, nullptr) << text;
  EXPECT_EQ(kernel->opens.back(),
            (std::pair<std::string, int>("/dev/sg2", O_RDWR | O_NONBLOCK | O_CLOEXEC | O_EXCL)));
  Close(recording);
  EXPECT_EQ(kernel->OpenCount(), 0u);

  // Looking again adds no drive twice; a node that became busy says why at
  // its open.
  DeviceRegistry::Instance().AttachDiscovered(DiscoverDrives(kernel));
  EXPECT_EQ(DeviceRegistry::Instance().Drives().size(), 4u);
  kernel->nodes["/dev/sr0"].openErrno = EBUSY;
  EXPECT_EQ(Open("CdRom1", 0, nullptr, nullptr, &status), nullptr);
  EXPECT_EQ(status, STARBURN_STATUS_DEVICE_BUSY);
  EXPECT_NE(std::string(text).find("/dev/sr0: busy"), std::string::npos) << text;
  // The desktop mounted its disc: the message says where, and what to do.
  kernel->nodes["/dev/sr0"].mountPoint = "/media/me/HOLIDAY 2026";
  EXPECT_EQ(Open("CdRom1", 0, nullptr, nullptr, &status), nullptr);
  EXPECT_NE(std::string(text).find("/dev/sr0: busy: its disc is mounted at /media/me/HOLIDAY "
                                   "2026 (the desktop mounts discs it can read); unmount it with "
                                   "\"umount /media/me/HOLIDAY 2026\""),
            std::string::npos)
      << text;
}

// The running kernel beneath the discovery (scripted above): real files, the mount table.
TEST(SgSystemTest, AnswersForRealNodes) {
  const std::shared_ptr<SgSystem> kernel = SgSystem::Kernel();
  sdktest::Scratch directory;
  for (const char* name : {"sg10", "sg2", "sg", "sgx", "sg1", "sr0", "sg3a"}) {
    sdktest::WriteFile(directory.File(name), "");
  }
  const std::string missing = directory.File("missing");
  EXPECT_EQ(kernel->List(directory.File(""), "sg"),
            (std::vector<std::string>{"sg1", "sg2", "sg10"}));
  struct stat info {};
  ASSERT_EQ(stat(directory.File("sg1").c_str(), &info), 0);
  const group* owner = getgrgid(info.st_gid);
  EXPECT_EQ(kernel->GroupOf(directory.File("sg1")), owner != nullptr ? owner->gr_name : "");
  EXPECT_EQ(kernel->GroupOf(missing), "");
  // A file system without a device node (proc, tmpfs) that the table lists once.
  std::ifstream table("/proc/self/mounts");
  std::map<std::string, std::vector<std::string>> points;
  std::string device, point, rest;
  while (table >> device >> point && std::getline(table, rest)) points[device].push_back(point);
  for (const auto& [name, at] : points) {
    if (at.size() == 1 && name[0] != '/' && at[0].find('\\') == std::string::npos) {
      EXPECT_EQ(kernel->MountPointOf(name), at[0]) << name;
    }
  }
  EXPECT_EQ(kernel->MountPointOf(missing), "");
}

}  // namespace
