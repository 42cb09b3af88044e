// Reading the files of an imported session back through a device: what a
// host's verify does after a burn.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "IsoTestSupport.h"
#include "common/Object.h"

namespace {

using isotest::Tree;

// Writes byte at offset of the file at path.
void Poke(const std::string& path, uint64_t offset, char byte) {
  const int file = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(file, 0);
  ASSERT_EQ(::pwrite(file, &byte, 1, static_cast<off_t>(offset)), 1);
  ::close(file);
}

std::string Read(void* device, Tree& tree, void* node, uint64_t offset, uint32_t size,
                 StarBurnStatus* status = nullptr) {
  std::string bytes(size, '\0');
  uint32_t done = 0;
  char error[STARBURN_ERROR_TEXT_SIZE];
  const StarBurnStatus answer = StarBurn_ISO9660JolietFileTree_ReadFile(
      device, tree.handle, node, offset, bytes.data(), size, &done, error, sizeof error);
  if (status != nullptr) *status = answer;
  bytes.resize(done);
  return bytes;
}

TEST(IsoReadFileTest, ImportedFilesReadBackWholeAcrossBlocksAndExtents) {
  isotest::TempDir dir;
  std::string text;
  for (int i = 0; i < 3000; ++i) text += std::to_string(i) + ",";
  isotest::WriteFile(dir.path + "/text.txt", text);
  // Past 4 GiB a file takes a second extent; marks either side of the
  // boundary (4 GiB - 2048 bytes) and at the end show the extents' order.
  const uint64_t bigSize = (4ull << 30) + 10;
  const uint64_t boundary = (4ull << 30) - 2048;
  isotest::SparseFile(dir.path + "/big.bin", bigSize);
  Poke(dir.path + "/big.bin", boundary - 1, 'A');
  Poke(dir.path + "/big.bin", boundary, 'B');
  Poke(dir.path + "/big.bin", bigSize - 1, 'Z');
  {
    Tree writer(0, 1);
    writer.AddFile(writer.Root(), dir.path + "/text.txt", "text.txt");
    writer.AddFile(writer.Root(), dir.path + "/big.bin", "big.bin");
    ASSERT_EQ(writer.Build(), STARBURN_OK) << writer.error;
    ASSERT_EQ(writer.Save(dir.path + "/disc.iso"), STARBURN_OK) << writer.error;
  }
  isotest::FileReader reader(dir.path + "/disc.iso");
  void* device = starburn::HandleTable::Instance().Add(
      new isotest::DiscDouble(&reader, {{0, static_cast<uint32_t>(reader.BlockCount())}}));
  Tree reading(0, 1);
  char error[STARBURN_ERROR_TEXT_SIZE];
  ASSERT_EQ(StarBurn_ISO9660JolietFileTree_ImportTrack(device, reading.handle, 1, 1, error,
                                                       sizeof error, nullptr),
            STARBURN_OK)
      << error;
  const auto kids = reading.Kids(reading.Root());
  ASSERT_EQ(kids.size(), 2u);
  void* big = reading.Names(kids[0]).second == "big.bin" ? kids[0] : kids[1];
  void* small = big == kids[0] ? kids[1] : kids[0];

  EXPECT_EQ(Read(device, reading, small, 0, 1 << 20), text);  // short: the end of the file
  EXPECT_EQ(Read(device, reading, small, 2040, 20), text.substr(2040, 20));  // across blocks
  EXPECT_EQ(Read(device, reading, big, boundary - 2, 4), std::string("\0AB\0", 4));
  EXPECT_EQ(Read(device, reading, big, bigSize - 2, 100), std::string("\0Z", 2));
  EXPECT_EQ(Read(device, reading, big, bigSize, 10), "");

  StarBurnStatus status = STARBURN_OK;
  Read(device, reading, reading.Root(), 0, 10, &status);  // a directory holds no data
  EXPECT_EQ(status, STARBURN_STATUS_INVALID_ARGUMENT);
  Read(nullptr, reading, small, 0, 10, &status);
  EXPECT_EQ(status, STARBURN_STATUS_INVALID_ARGUMENT);
  StarBurn_Destroy(&device);
}

}  // namespace
