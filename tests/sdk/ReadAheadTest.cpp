// The recording's read-ahead must be invisible: the same blocks, in the same
// order, and a source's failure at the same pull as the source alone gives
// it, whatever the caller pulls and wherever it stops.

#include <gtest/gtest.h>

#include <vector>

#include "common/ReadAhead.h"

namespace {

using starburn::BlockSource;
using starburn::kBlockSize;
using starburn::ReadAhead;

// Blocks numbered in their first byte; the pull that would pass block
// failAt fails, and every pull after it, as an image whose source changed.
class NumberedBlocks : public BlockSource {
 public:
  NumberedBlocks(uint64_t count, uint64_t failAt) : count(count), failAt(failAt) {}
  uint32_t StartAddress() const override { return 7; }
  uint64_t BlockCount() const override { return count; }
  StarBurnStatus Pull(uint8_t* out, uint32_t blocks, std::string* error) override {
    if (failed || next + blocks > failAt) {
      failed = true;
      *error = "block " + std::to_string(failAt) + " changed";
      return STARBURN_STATUS_SOURCE_CHANGED;
    }
    for (uint32_t i = 0; i < blocks; ++i) out[std::size_t{i} * kBlockSize] = uint8_t(next++);
    return STARBURN_OK;
  }

 private:
  uint64_t count, failAt, next = 0;
  bool failed = false;
};

// What a caller pulling in runs of pull blocks, stopping after stopAfter
// pulls, sees: per pull its status and error, or its blocks' first bytes.
std::vector<std::string> Pulls(BlockSource& source, uint32_t pull, int stopAfter) {
  std::vector<std::string> seen;
  std::vector<uint8_t> buffer(std::size_t{pull} * kBlockSize);
  for (uint64_t done = 0; done < source.BlockCount() && int(seen.size()) < stopAfter;) {
    const auto blocks = uint32_t(std::min<uint64_t>(pull, source.BlockCount() - done));
    std::string error;
    const StarBurnStatus status = source.Pull(buffer.data(), blocks, &error);
    std::string line = std::to_string(status) + error + ":";
    for (uint32_t i = 0; status == STARBURN_OK && i < blocks; ++i) {
      line += std::to_string(buffer[std::size_t{i} * kBlockSize]) + ",";
    }
    seen.push_back(line);
    done += blocks;
  }
  return seen;
}

TEST(ReadAheadThreadsTest, GivesWhatTheSourceGives) {
  struct Row {
    uint64_t count, failAt;
    uint32_t runBlocks, pull;
    int stopAfter;
  };
  const Row rows[] = {
      {1000, 1000000, 32, 32, 1000},  // whole, the runs of the pulls
      {1000, 1000000, 32, 7, 1000},   // pulls across runs
      {1000, 500, 32, 32, 1000},      // a failure in the middle
      {1000, 0, 32, 32, 1000},        // at the first block
      {5000, 1000000, 32, 32, 3},     // the caller stops early, the runs ahead full
      {1, 1000000, 32, 32, 1000},     // one block
  };
  for (const Row& row : rows) {
    NumberedBlocks alone(row.count, row.failAt);
    NumberedBlocks behind(row.count, row.failAt);
    const std::vector<std::string> expected = Pulls(alone, row.pull, row.stopAfter);
    ReadAhead ahead(behind, row.runBlocks);
    EXPECT_EQ(ahead.StartAddress(), 7u);
    EXPECT_EQ(Pulls(ahead, row.pull, row.stopAfter), expected)
        << row.count << " blocks, failing at " << row.failAt << ", pulls of " << row.pull;
  }
}

}  // namespace
