// The library on virtual drives, through the shipped shared libraries: a drive
// search finds them in list order with their letters, and each drive's record
// says what the SDK's emulated recorder holds.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "orlet/MediaBurning.h"
#include "starburn/StarBurn.h"

namespace {

constexpr std::size_t kBlock = 2048;

// An image as another tool would leave it: 40 blocks, a primary volume
// descriptor labelled label at block 16 and the terminator at block 17.
void WriteImage(const std::string& path, const std::string& label) {
  std::vector<char> image(40 * kBlock, 0);
  char* primary = &image[16 * kBlock];
  primary[0] = 1;
  std::copy_n("CD001", 5, primary + 1);
  primary[6] = 1;  // descriptor version
  std::memset(primary + 40, ' ', 32);
  std::copy(label.begin(), label.end(), primary + 40);
  primary[80] = 40;  // volume space size, little-endian half
  primary[87] = 40;  // big-endian half
  primary[129] = 8;  // logical block size 2048, both byte orders
  primary[130] = 8;
  // The root directory record: 34 bytes, its extent at block 18, one block
  // long, a directory, volume 1, the one-byte identifier 0.
  char* root = primary + 156;
  root[0] = 34;
  root[2] = root[9] = 18;
  root[11] = root[16] = 8;
  root[25] = 2;
  root[28] = root[31] = 1;
  root[32] = 1;
  char* terminator = &image[17 * kBlock];
  terminator[0] = static_cast<char>(255);
  std::copy_n("CD001", 5, terminator + 1);
  terminator[6] = 1;
  std::ofstream(path, std::ios::binary).write(image.data(), static_cast<long>(image.size()));
}

TEST(VirtualDrivesHostTest, SearchFindsTheVirtualDrivesInListOrderWithTheirDiscs) {
  char base[] = "/tmp/orlet-virtual-XXXXXX";
  ASSERT_NE(mkdtemp(base), nullptr);
  const std::string directory = base;
  WriteImage(directory + "/other.iso", "OTHER_TOOL");
  char error[STARBURN_ERROR_TEXT_SIZE];
  ASSERT_EQ(
      StarBurn_AttachVirtualDrives(
          ("cd-r=" + directory + "/blank.iso;empty;dvd+rw=" + directory + "/other.iso").c_str(),
          error, sizeof error),
      STARBURN_OK)
      << error;

  Orlet::MediaBurning* service = nullptr;
  ASSERT_EQ(Orlet::CreateMediaBurning(service), Orlet::ResultOk);
  ASSERT_EQ(service->Initialize(), Orlet::ResultOk);
  service->StartDriveSearch(0, 0);
  ASSERT_EQ(service->GetDriveCount(), 3u);

  Orlet::DriveInfo info;
  ASSERT_EQ(service->GetDriveInfo(0, info), Orlet::ResultOk);
  EXPECT_EQ(info.deviceName, L"CdRom0");
  EXPECT_EQ(info.driveLetter, L"D:");
  EXPECT_EQ(info.vendorId, L"StarBurn");
  EXPECT_EQ(info.productId, L"Virtual Recorder");
  EXPECT_EQ(info.discTypeName, L"CD-R");
  EXPECT_EQ(info.spaceText, L"Blank");
  EXPECT_EQ(info.isCd, 1u);
  EXPECT_EQ(info.isBlank, 1u);
  EXPECT_EQ(info.freeBytes, 359849ull * kBlock);
  EXPECT_EQ(info.capacitySeconds, 359849 / 75);
  EXPECT_EQ(info.sessionStartAddress, 0u);
  EXPECT_EQ(info.isErasable, 0u);
  EXPECT_EQ(info.volumeLabel, L"");
  EXPECT_NE(info.mediaFormats[2], 0u);
  EXPECT_EQ(service->IsDiscWritable(info), 1);
  // The drive rounds each asked speed down to one it has: 4x, 8x, 16x, 24x, 32x, 48x.
  std::vector<uint32_t> speeds;
  for (const auto& entry : info.writeSpeeds) speeds.push_back(entry.speed);
  EXPECT_EQ(speeds, (std::vector<uint32_t>{706, 1411, 2822, 4234, 5645, 8467}));

  ASSERT_EQ(service->GetDriveInfo(1, info), Orlet::ResultOk);
  EXPECT_EQ(info.driveLetter, L"E:");
  EXPECT_EQ(info.discTypeName, L"Empty");
  EXPECT_EQ(info.spaceText, L"");

  ASSERT_EQ(service->GetDriveInfo(2, info), Orlet::ResultOk);
  EXPECT_EQ(info.driveLetter, L"F:");
  EXPECT_EQ(info.discTypeName, L"DVD+RW");
  EXPECT_EQ(info.isDvd, 1u);
  EXPECT_EQ(info.isBlank, 0u);
  EXPECT_EQ(info.usedBytes, 40u * kBlock);
  EXPECT_EQ(info.spaceText, L"0.08 MB");
  EXPECT_EQ(info.volumeLabel, L"OTHER_TOOL");
  EXPECT_EQ(info.sessionStartAddress, 48u);  // after the volume, on the next ECC block
  EXPECT_NE(info.isErasable, 0u);

  service->Uninitialize();
  EXPECT_EQ(Orlet::DestroyMediaBurning(service), Orlet::ResultOk);
  for (const char* name : {"/blank.iso", "/other.iso"}) std::remove((directory + name).c_str());
  rmdir(directory.c_str());
}

}  // namespace
