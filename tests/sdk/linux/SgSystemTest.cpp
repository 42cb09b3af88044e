// The running kernel beneath the SG_IO transport and the drive discovery
// (their tests script it): its answers for real files and the mount table.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <map>

#include "../SdkTestSupport.h"
#include "linux/SgSystem.h"

TEST(SgSystemTest, AnswersForRealNodes) {
  const std::shared_ptr<starburn::SgSystem> kernel = starburn::SgSystem::Kernel();
  sdktest::Scratch directory;
  for (const char* name : {"sg10", "sg2", "sg", "sgx", "sg1", "sr0", "sg3a"}) {
    sdktest::WriteFile(directory.File(name), "");
  }
  const std::string missing = directory.File("missing");
  EXPECT_EQ(kernel->List(directory.File(""), "sg"),
            (std::vector<std::string>{"sg1", "sg2", "sg10"}));
  EXPECT_TRUE(kernel->List(missing, "sg").empty());
  EXPECT_EQ(kernel->Open(missing, O_RDONLY), -ENOENT);
  struct stat info {};
  ASSERT_EQ(stat(directory.File("sg1").c_str(), &info), 0);
  const group* owner = getgrgid(info.st_gid);
  EXPECT_EQ(kernel->GroupOf(directory.File("sg1")), owner != nullptr ? owner->gr_name : "");
  EXPECT_EQ(kernel->GroupOf(missing), "");
  // A device the mount table lists once, at a point written without escapes.
  std::ifstream table("/proc/self/mounts");
  std::map<std::string, std::vector<std::string>> points;
  std::string device, point, rest;
  while (table >> device >> point && std::getline(table, rest)) points[device].push_back(point);
  for (const auto& [name, at] : points) {
    if (at.size() == 1 && at[0].find('\\') == std::string::npos) {
      EXPECT_EQ(kernel->MountPointOf(name), at[0]) << name;
    }
  }
  EXPECT_EQ(kernel->MountPointOf(missing), "");
}
