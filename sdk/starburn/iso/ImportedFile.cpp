#include "iso/ImportedFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace starburn {
namespace iso {

namespace {

// Blocks read from the disc at a time: 64 KiB, a common drive transfer.
constexpr uint32_t kBlocksPerRead = 32;

}  // namespace

StarBurnStatus ReadImportedFile(const Node& file, BlockReader& reader, uint64_t offset,
                                uint8_t* buffer, uint32_t size, uint32_t* done,
                                std::string* error) {
  *done = 0;
  if (file.directory || !file.imported || (buffer == nullptr && size != 0)) {
    if (error != nullptr) *error = "not a file read from the disc";
    return STARBURN_STATUS_INVALID_ARGUMENT;
  }
  std::vector<uint8_t> blocks(std::size_t{kBlocksPerRead} * kBlockSize);
  uint64_t extentStart = 0;  // the file offset where the current extent begins
  for (const Extent& extent : file.Extents()) {
    const uint64_t extentEnd = extentStart + extent.bytes;
    while (*done < size && offset + *done < extentEnd) {
      const uint64_t within = offset + *done - extentStart;
      const uint64_t firstBlock = within / kBlockSize;
      const uint32_t skip = static_cast<uint32_t>(within % kBlockSize);
      const uint64_t left = std::min<uint64_t>(size - *done, extentEnd - (offset + *done));
      const uint32_t count = static_cast<uint32_t>(
          std::min<uint64_t>(kBlocksPerRead, (skip + left + kBlockSize - 1) / kBlockSize));
      const StarBurnStatus status =
          reader.ReadBlocks(extent.block + static_cast<uint32_t>(firstBlock), count, blocks.data());
      if (status != STARBURN_OK) {
        if (error != nullptr) *error = "cannot read the file's blocks from the disc";
        return status;
      }
      const auto take =
          static_cast<uint32_t>(std::min<uint64_t>(left, uint64_t{count} * kBlockSize - skip));
      std::memcpy(buffer + *done, blocks.data() + skip, take);
      *done += take;
    }
    extentStart = extentEnd;
  }
  return STARBURN_OK;
}

}  // namespace iso
}  // namespace starburn
