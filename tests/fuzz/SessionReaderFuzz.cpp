// libFuzzer target: a session's blocks from block 16 on (the system area
// before them reads as zeros) go through the descriptor probe, both tree
// readers, an import into an image tree and a layout of a next session over
// it, whose metadata is streamed. Built by scripts/fuzz.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/BlockIo.h"
#include "common/ErrorOut.h"
#include "iso/ImageTree.h"
#include "iso/SessionProbe.h"
#include "iso/SessionReader.h"

namespace {

// The system area a session starts with, which the input leaves out.
constexpr uint32_t kSystemAreaBlocks = 16;

class InputReader : public starburn::BlockReader {
 public:
  InputReader(const uint8_t* data, std::size_t size) : data(data), size(size) {}
  StarBurnStatus ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override {
    for (uint64_t block = lba; block < uint64_t{lba} + count; ++block) {
      uint8_t* to = out + (block - lba) * starburn::kBlockSize;
      if (block >= BlockCount()) return STARBURN_STATUS_IO_ERROR;
      std::memset(to, 0, starburn::kBlockSize);
      if (block < kSystemAreaBlocks) continue;
      const uint64_t at = (block - kSystemAreaBlocks) * starburn::kBlockSize;
      if (at < size)
        std::memcpy(to, data + at, std::min<uint64_t>(starburn::kBlockSize, size - at));
    }
    return STARBURN_OK;
  }
  uint64_t BlockCount() const override {
    return kSystemAreaBlocks + (size + starburn::kBlockSize - 1) / starburn::kBlockSize;
  }

 private:
  const uint8_t* data;
  std::size_t size;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  InputReader reader(data, size);
  starburn::SessionSummary summary;
  std::string error;
  starburn::ProbeSession(reader, 0, &summary, &error);
  std::vector<starburn::iso::ImportedEntry> entries;
  starburn::iso::ReadSession(reader, 0, false, &entries, &error);
  for (bool level2 : {false, true}) {
    starburn::iso::ImageTree tree(nullptr, nullptr, level2, !level2);
    const starburn::ErrorOut out;
    if (tree.Import(reader, 0, !level2, out) != STARBURN_OK) continue;
    starburn::iso::ImageOptions options;
    options.startAddress = static_cast<uint32_t>(reader.BlockCount());
    options.volumeLabel = "NEXT";
    if (tree.Build(options, out) != STARBURN_OK) continue;
    std::unique_ptr<starburn::BlockSource> stream;
    if (tree.OpenImage(&stream, &error) != STARBURN_OK) continue;
    std::vector<uint8_t> block(starburn::kBlockSize);
    for (uint64_t i = 0; i < stream->BlockCount(); ++i) {
      if (stream->Pull(block.data(), 1, &error) != STARBURN_OK) break;
    }
  }
  return 0;
}
